// WaitForReady: the polling loops that wait for a drive to finish becoming ready, a
// format or a long write. Every sleep goes through the clock seam.
#include <cstring>

#include "scsi_device.h"

namespace melvaro {

bool TSCSIDevice::WaitForReady(int totalMs, int intervalMs) {
  int budget = totalMs;
  uint8_t sense[40] = {};
  auto asc = [&] { return lastSense_[12]; };
  const unsigned interval = static_cast<unsigned>(intervalMs > 0 ? intervalMs : 0);

  if (slowReadyDrive_ || SharedDriveState().SlowEraseDrive) {
    do {
      clock_.SleepMs(1500);
      budget -= 1500;
      if (budget < 0) break;
      TestUnitReady(5000);
    } while (asc() == 0x04);
  }
  if (SharedDriveState().CurrentMediumKind == kKindDvdRam) {
    sense[12] = 0x04;
  } else {
    do {
      clock_.SleepMs(interval);
      RefreshDiscInformation();
      budget -= intervalMs;
      if (budget < 0) return false;
    } while (asc() == 0x04);
  }
  if (TestUnitReady(5000) && sense[12] == 0) return true;
  do {
    clock_.SleepMs(interval);
    budget -= intervalMs;
    if (budget < 0) return false;
    TestUnitReady(5000);
  } while (asc() == 0x04);
  do {
    std::memset(sense, 0, sizeof sense);
    RequestSense(sense, sizeof sense);
    budget -= intervalMs;
    if (budget < 0) return false;
    if (sense[0] == 0xF0) sense[12] = 0x04;
    if (sense[12] == 0x04) clock_.SleepMs(interval);
  } while (sense[12] != 0);
  return true;
}

}  // namespace melvaro
