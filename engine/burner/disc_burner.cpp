#include "burner/disc_burner.h"

namespace melvaro {

TDiscBurner::TDiscBurner(TTransport& transport, TClock& clock) : TSCSIDevice(transport, clock) {
  Drive = this;
  OnMessage = [this](const std::string& message, uint8_t mType) { DoDebugMessage(message, mType); };
}

TDiscBurner::~TDiscBurner() = default;

void TDiscBurner::SetCacheSize(uint32_t bytes) {
  cacheSize_ = bytes < 2097152 ? 2097152 : bytes / 2048 * 2048;
}

int TDiscBurner::BuildImage(const std::string& fileName, bool direct) {
  OnImageDone = [this](const std::string& error) {
    if (OnWriteDone) OnWriteDone(this, error);
  };
  if (!direct) {
    // The job through the read-ahead cache and the write thread comes with burning;
    // until then the image is written here, and OnWriteDone has run on return.
    ISOFileName = fileName;
    BuildImageDirect(fileName);
    return 255;
  }
  return BuildImageDirect(fileName);
}

}  // namespace melvaro
