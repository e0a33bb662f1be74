// Fixed-format sense data (SPC-3 4.5.3) and the sense keys the virtual drive reports.
#pragma once

#include <array>
#include <cstdint>

namespace melvaro::vrec {

inline constexpr uint8_t kNoSense = 0x0;
inline constexpr uint8_t kNotReady = 0x2;
inline constexpr uint8_t kMediumError = 0x3;
inline constexpr uint8_t kHardwareError = 0x4;
inline constexpr uint8_t kIllegalRequest = 0x5;
inline constexpr uint8_t kUnitAttention = 0x6;
inline constexpr uint8_t kDataProtect = 0x7;

// 18 bytes: response code 70h (current error), the key, additional length 10, the
// additional sense code and its qualifier.
inline std::array<uint8_t, 18> FixedSense(uint8_t key, uint8_t asc, uint8_t ascq) {
  std::array<uint8_t, 18> s = {};
  s[0] = 0x70;
  s[2] = key;
  s[7] = 10;
  s[12] = asc;
  s[13] = ascq;
  return s;
}

}  // namespace melvaro::vrec
