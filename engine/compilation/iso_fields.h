// Field encodings of ECMA-119: both-endian numbers, the 7-byte recording date of a
// directory record, the 17-byte volume descriptor date, a-fields and UCS-2 fields.
#pragma once

#include <cstdint>
#include <string>

#include "platform/byte_order.h"
#include "platform/file_dates.h"

namespace melvaro {

// Little-endian then big-endian (ECMA-119 7.2.3, 7.3.3).
inline void PutBoth16(uint8_t* p, uint32_t v) {
  PutLe16(p, v);
  PutBe16(p + 2, v);
}
inline void PutBoth32(uint8_t* p, uint32_t v) {
  PutLe32(p, v);
  PutBe32(p + 4, v);
}

// Years since 1900, month, day, hour, minute, second, offset in 15-minute units.
void PutRecordDate(uint8_t* p, TDateTime date, int8_t offset15);
// "yyyymmddhhnnsszz": the date's digits and the milliseconds' first two digits, then
// the offset from UTC in 15-minute units.
void PutVolumeDate(uint8_t* p, TDateTime date, int8_t offset15);
// "0000000000000000" and a zero byte.
void PutNoVolumeDate(uint8_t* p);
// The text upper-cased, padded with spaces or cut to the width.
void PutAField(uint8_t* p, const std::string& text, size_t width);
// The text as UCS-2 big-endian, padded with spaces or cut to width / 2 characters.
void PutUcs2Field(uint8_t* p, const std::string& text, size_t width);

}  // namespace melvaro
