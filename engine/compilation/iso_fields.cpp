#include "compilation/iso_fields.h"

#include <cstdio>
#include <cstring>

#include "platform/text_encoding.h"

namespace melvaro {

void PutRecordDate(uint8_t* p, TDateTime date, int8_t offset15) {
  const TDateFields f = DecodeDateTime(date);
  p[0] = static_cast<uint8_t>(f.year - 1900);
  p[1] = static_cast<uint8_t>(f.month);
  p[2] = static_cast<uint8_t>(f.day);
  p[3] = static_cast<uint8_t>(f.hour);
  p[4] = static_cast<uint8_t>(f.minute);
  p[5] = static_cast<uint8_t>(f.second);
  p[6] = static_cast<uint8_t>(offset15);
}

void PutVolumeDate(uint8_t* p, TDateTime date, int8_t offset15) {
  const TDateFields f = DecodeDateTime(date);
  char text[40];
  std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d%02d", f.year, f.month, f.day, f.hour,
                f.minute, f.second, f.millisecond);
  std::memcpy(p, text, 16);
  p[16] = static_cast<uint8_t>(offset15);
}

void PutNoVolumeDate(uint8_t* p) {
  std::memset(p, '0', 16);
  p[16] = 0;
}

void PutAField(uint8_t* p, const std::string& text, size_t width) {
  const std::string upper = UpperAscii(text);
  std::memset(p, ' ', width);
  std::memcpy(p, upper.data(), std::min(width, upper.size()));
}

void PutUcs2Field(uint8_t* p, const std::string& text, size_t width) {
  std::u16string s = Utf8ToUtf16(text);
  s.resize(width / 2, u' ');
  for (size_t i = 0; i < s.size(); ++i) PutBe16(p + 2 * i, s[i]);
}

}  // namespace melvaro
