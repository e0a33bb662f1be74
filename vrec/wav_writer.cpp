#include "wav_writer.h"

#include <cstring>

#include "platform/byte_order.h"

namespace melvaro::vrec {

std::vector<uint8_t> CdWaveHeader(uint32_t dataBytes) {
  std::vector<uint8_t> h(44, 0);
  std::memcpy(&h[0], "RIFF", 4);
  PutLe32(&h[4], 36 + dataBytes);
  std::memcpy(&h[8], "WAVE", 4);
  std::memcpy(&h[12], "fmt ", 4);
  PutLe32(&h[16], 16);         // fmt chunk size
  PutLe16(&h[20], 1);          // PCM
  PutLe16(&h[22], 2);          // channels
  PutLe32(&h[24], 44100);      // sample rate
  PutLe32(&h[28], 44100 * 4);  // byte rate
  PutLe16(&h[32], 4);          // block align
  PutLe16(&h[34], 16);         // bits per sample
  std::memcpy(&h[36], "data", 4);
  PutLe32(&h[40], dataBytes);
  return h;
}

}  // namespace melvaro::vrec
