// RIFF WAVE files of CD audio: 44 100 Hz, 16-bit little-endian, stereo.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace melvaro::vrec {

// The 44-byte canonical header for `dataBytes` bytes of CD audio.
std::vector<uint8_t> CdWaveHeader(uint32_t dataBytes);

}  // namespace melvaro::vrec
