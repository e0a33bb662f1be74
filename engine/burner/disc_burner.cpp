#include "burner/disc_burner.h"

namespace melvaro {

TDiscBurner::TDiscBurner(TTransport& transport, TClock& clock) : TSCSIDevice(transport, clock) {
  Drive = this;
  OnMessage = [this](const std::string& message, uint8_t mType) { DoDebugMessage(message, mType); };
}

TDiscBurner::~TDiscBurner() {
  AbortOperation();
  WaitForJob();
}

void TDiscBurner::SetCacheSize(uint32_t bytes) {
  cacheSize_ = bytes < 2097152 ? 2097152 : bytes / 2048 * 2048;
}

}  // namespace melvaro
