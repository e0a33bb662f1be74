// Fuzz target: the directory reader of the session import, on one block of arbitrary
// bytes read as a Joliet and as an ISO 9660 extent block.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "compilation/directory_reader.h"

using namespace melvaro;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The reader is given exactly the bytes there are, so that any read past them is
  // caught by the address sanitizer.
  for (bool joliet : {true, false})
    for (bool first : {true, false})
      ReadDirectoryBlock(data, size, joliet, first, [](const TRecordedEntry& e) {
        volatile size_t n = e.name.size();
        (void)n;
      });
  return 0;
}
