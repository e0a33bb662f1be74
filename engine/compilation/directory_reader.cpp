#include "compilation/directory_reader.h"

#include <cstring>

#include "platform/byte_order.h"
#include "platform/text_encoding.h"

namespace melvaro {

void ReadDirectoryBlock(const uint8_t* block, size_t size, bool joliet, bool firstBlock,
                        const std::function<void(const TRecordedEntry&)>& entry) {
  size = std::min<size_t>(size, 2048);
  size_t at = 0;
  int index = 0;
  while (at < 2015 && at + 33 <= size) {
    if (!joliet && at + 8 <= size && GetLe32(block + at) == 0 && block[at + 5] == 0x55 &&
        block[at + 6] == 0x58 && block[at + 7] == 0x41) {
      at += 14;  // an XA system-use block
      continue;
    }
    const uint8_t length = block[at];
    if (length == 0) break;                        // the rest of the block is padding
    if (length < 34 || at + length > size) break;  // no record fits: the block ends
    const uint8_t* r = block + at;
    const uint8_t idLength = r[32];
    at += length;
    ++index;
    if (33u + idLength > length) continue;  // the identifier overruns its record
    if (joliet ? (firstBlock && index <= 2) : (idLength == 1 && (r[33] == 0 || r[33] == 1)))
      continue;
    TRecordedEntry e;
    e.extent = GetLe32(r + 2);
    e.length = GetLe32(r + 10);
    e.flags = r[25];
    std::memcpy(e.date, r + 18, 6);
    const std::string raw(reinterpret_cast<const char*>(r + 33), idLength);
    if ((joliet && idLength > 214) || (!joliet && idLength >= 240)) {
      e.nameTooLong = true;
      e.name = raw;
    } else if (joliet) {
      std::u16string wide;
      for (size_t i = 0; i + 1 < idLength; i += 2)
        wide.push_back(static_cast<char16_t>(r[33 + i] << 8 | r[34 + i]));
      e.name = Utf16ToUtf8(wide);
    } else {
      e.name = raw;
    }
    if (!e.nameTooLong) {
      const size_t semicolon = e.name.size() > 2 ? e.name.find(';', 2) : std::string::npos;
      if (semicolon != std::string::npos) e.name.resize(semicolon);
      // "NAME.;1" is a file without extension: the "." is the separator ISO 9660 asks
      // for, not part of the name. Joliet identifiers written that way (this program
      // once wrote "run.;1") read back the same.
      if (!(e.flags & 0x02) && e.name.size() > 1 && e.name.back() == '.' &&
          (!joliet || semicolon != std::string::npos))
        e.name.pop_back();
    }
    entry(e);
  }
}

}  // namespace melvaro
