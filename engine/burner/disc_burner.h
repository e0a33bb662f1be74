// TDiscBurner: the one object through which the application reaches the disc engine:
// the drive (TSCSIDevice) and the compilation (TCompilation) together, with the
// published properties and events of both.
#pragma once

#include <functional>
#include <string>

#include "compilation/compilation.h"
#include "drive/scsi_device.h"

namespace melvaro {

class TDiscBurner : public TSCSIDevice, public TCompilation {
 public:
  using TWriteDoneEvent = std::function<void(TDiscBurner* sender, const std::string& error)>;
  using TNotifyEvent = std::function<void(TDiscBurner* sender)>;

  explicit TDiscBurner(TTransport& transport = ProcessTransport(), TClock& clock = SystemClock());
  ~TDiscBurner() override;

  // Writes the compilation to an image file. Direct: on the caller's thread; returns 1
  // after OnWriteDone. Throws std::system_error when a file cannot be read or written.
  int BuildImage(const std::string& fileName, bool direct);

  // The read-ahead cache size in bytes: at least 2 MiB, a multiple of 2048.
  void SetCacheSize(uint32_t bytes);
  uint32_t CacheSize() const { return cacheSize_; }

  bool FinalizeTrack = true;
  bool PerformOPC = false;
  std::string ISOFileName;
  std::string Version = "1.23";
  TWriteDoneEvent OnWriteDone;
  TNotifyEvent OnFinalizingTrack;

 private:
  uint32_t cacheSize_ = 4194304;
};

}  // namespace melvaro
