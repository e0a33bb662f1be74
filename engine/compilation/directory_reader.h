// Reads the directory records of one 2048-byte block of a recorded ISO 9660 or Joliet
// directory extent. The block comes from a disc, so nothing in it is trusted: a record
// is taken only when it lies wholly inside the block and its identifier inside the
// record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace melvaro {

struct TRecordedEntry {
  std::string name;          // converted, version suffix and a file's empty extension cut
  bool nameTooLong = false;  // the identifier exceeded the limits; name holds its bytes
  uint32_t extent = 0;
  uint32_t length = 0;
  uint8_t flags = 0;
  uint8_t date[6] = {};  // years since 1900, month, day, hour, minute, second
};

// Calls `entry` for every record of the block; "." and ".." (and, in ISO trees, XA
// system-use blocks) are passed over. `firstBlock`: the extent's first block, whose two
// leading records are "." and "..".
void ReadDirectoryBlock(const uint8_t* block, size_t size, bool joliet, bool firstBlock,
                        const std::function<void(const TRecordedEntry&)>& entry);

}  // namespace melvaro
