// What the transport needs of a back end: the two ASPI entry points.
#pragma once

#include <cstdint>
#include <string>

namespace melvaro {

// What travels with an execute record besides the record, which has no field for it:
// the command's own time-out, and back from a back end that calls the system, the
// system's reason when that call failed.
struct TRequestContext {
  int timeoutMs = 0;
  std::string systemError;  // "SG_IO /dev/sr0: Operation not permitted"; empty when none
};

class TAspiBackend {
 public:
  virtual ~TAspiBackend() = default;
  // GetASPI32SupportInfo: high byte status, low byte adapter count.
  virtual uint32_t SupportInfo() = 0;
  // SendASPI32Command: executes one record (aspi_abi.h) and returns its status byte.
  virtual uint8_t SendRequest(void* record) = 0;
  // The same with the request's context; back ends that have no use for it send the
  // record alone.
  virtual uint8_t SendRequestWith(void* record, TRequestContext& context) {
    (void)context;
    return SendRequest(record);
  }
};

}  // namespace melvaro
