// What the transport needs of a back end: the two ASPI entry points.
#pragma once

#include <cstdint>

namespace melvaro {

class TAspiBackend {
 public:
  virtual ~TAspiBackend() = default;
  // GetASPI32SupportInfo: high byte status, low byte adapter count.
  virtual uint32_t SupportInfo() = 0;
  // SendASPI32Command: executes one record (aspi_abi.h) and returns its status byte.
  virtual uint8_t SendRequest(void* record) = 0;
};

}  // namespace melvaro
