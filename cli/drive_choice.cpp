#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "burner/disc_burner.h"
#include "options.h"
#include "platform/dispatcher.h"

namespace melvaro::cli {

bool OpenDrive(TDiscBurner& burner, const TGlobalOptions& options) {
  burner.DoDebug = options.debug;
  if (!burner.InitializeASPI(options.transport != "library", options.library)) {
    std::fprintf(stderr,
                 "melvaro-cli: no drive can be reached (no pass-through drive and no drive "
                 "plug-in)\n");
    return false;
  }
  const auto& list = burner.DeviceList();
  if (list.empty()) {
    std::fprintf(stderr, "melvaro-cli: no CD or DVD drive found\n");
    return false;
  }
  if (!options.drive.empty()) {
    for (size_t i = 0; i < list.size(); ++i) {
      const bool index = options.drive.find_first_not_of("0123456789") == std::string::npos &&
                         std::strtoul(options.drive.c_str(), nullptr, 10) == i;
      if (list[i] == options.drive || list[i].rfind(options.drive + ",", 0) == 0 || index) {
        burner.SelectDevice(list[i]);
        return true;
      }
    }
    std::fprintf(stderr, "melvaro-cli: no drive %s\n", options.drive.c_str());
    return false;
  }
  // The first drive with a writable medium ready in it.
  for (const std::string& entry : list) {
    burner.SelectDevice(entry);
    if (!burner.TestUnitReady(5000)) continue;
    TDisc disc;
    burner.GetDiscInfo(disc);
    if (disc.Ready && disc.DiscState != 2 && burner.MediumKind() > kKindCdRom &&
        burner.MediumKind() != kKindDvdRom)
      return true;
  }
  std::fprintf(stderr, "melvaro-cli: no drive holds a writable medium\n");
  return false;
}

std::string RunJob(TDiscBurner& burner, const std::function<bool()>& start,
                   const TGlobalOptions& options) {
  TQueueDispatcher dispatcher;
  burner.Dispatcher = &dispatcher;
  bool done = false;
  std::string error;
  burner.OnWriteDone = [&](TDiscBurner*, const std::string& e) {
    error = e;
    done = true;
  };
  const bool started = start();
  const int64_t total = burner.ImageBlocks() * 2048;
  const bool show = options.progress && isatty(2);
  while (started && !dispatcher.RunUntil([&] { return done; }, 1000)) {
    if (show && total > 0) {
      const int64_t written = burner.BytesWritten();
      std::fprintf(stderr, "\r%3d%%  %lld/%lld blocks  cache %3d%%  ",
                   static_cast<int>(written * 100 / total), static_cast<long long>(written / 2048),
                   static_cast<long long>(total / 2048), burner.CacheFillPercent());
    }
  }
  if (show && started) std::fprintf(stderr, "\r%60s\r", "");
  burner.WaitForJob();
  burner.OnWriteDone = nullptr;
  burner.Dispatcher = nullptr;
  if (!started && error.empty()) return "the job did not start";
  return error;
}

}  // namespace melvaro::cli
