// Erasing: StartErase sends the erase for the medium kind and hands the waiting to the
// erase thread, which keeps a time-based progress, restores the drive and reports the
// end through OnEraseDone on the main thread.
#include <cmath>
#include <cstring>
#include <vector>

#include "messages.h"
#include "scsi_device.h"

namespace melvaro {

namespace {

// FORMAT UNIT parameter lists: FOV and Immed, one descriptor.
constexpr uint8_t kDvdRamFormat[12] = {0x00, 0x82, 0x00, 0x08, 0x00, 0x22, 0x21,
                                       0x20, 0x00, 0x00, 0x08, 0x00};  // 2 236 704 blocks, type 0
constexpr uint8_t kDvdPlusRwFormat[12] = {0x00, 0x82, 0x00, 0x08, 0x00, 0x23, 0x05,
                                          0x40, 0x98, 0x00, 0x00, 0x00};  // 2 295 104 blocks, 26h

uint16_t EraseSecondsFor(uint8_t kind, uint8_t blankType) {
  const bool dvd = kind > kKindCdRw;
  if (blankType == 1) return dvd ? (kind == kKindDvdRw ? 180 : 600) : 150;
  if (blankType == 0) return dvd ? 4440 : 4500;
  return dvd ? 8880 : 4500;
}

}  // namespace

void TSCSIDevice::RestoreDrive() {
  SetWriteParameters(false, false, false, 1);
  SetSpeed(MaxReadSpeed(), 2);
  RezeroUnit();
  AllowMediumRemoval(true);
  EjectMedium(false);
  RezeroUnit();
  TestUnitReady(5000);
}

bool TSCSIDevice::StartErase(uint8_t blankType) {
  // The drive is held from the first command to the erase's end.
  const bool claimedBefore = claimed_;
  if (!ClaimDrive()) return false;
  eraseClaim_ = !claimedBefore;
  const bool started = StartClaimedErase(blankType);
  if (!started && eraseClaim_) {
    ReleaseDrive();
    eraseClaim_ = false;
  }
  return started;
}

bool TSCSIDevice::StartClaimedErase(uint8_t blankType) {
  TestUnitReady(5000);
  EjectMedium(false);
  const uint8_t kind = MediumKind();
  SharedDriveState().CurrentMediumKind = kind;
  blankType_ = blankType;
  auto ready = [&] { return TestUnitReady(5000) || WaitForReady(30000, 5000); };
  if (!ready()) return false;
  if (kind != kKindDvdRam) {
    SetSpeed(ReadSpeed, WriteSpeed());
    SetWriteParameters(false, false, false, kind);
  }
  const uint16_t speed = CurrentWriteSpeed();
  if (!ready()) return false;
  DoDebugMessage(
      ">>> " + msg::FormatText(msg::kStartingEraseProcess,
                               {std::string(MediumKindNames[kind & 0x0F]), SpeedText(speed, kind)}),
      1);

  bool started = false;
  if (kind == kKindDvdPlusRw) {
    started = FormatUnit(0x11, kDvdPlusRwFormat, sizeof kDvdPlusRwFormat);
    if (!started) {
      RezeroUnit();
      clock_.SleepMs(1000);
      started = FormatUnit(0x11, kDvdPlusRwFormat, sizeof kDvdPlusRwFormat);
    }
  } else if (kind == kKindDvdRam && blankType == 1) {
    const std::vector<uint8_t> zeros(65536, 0);
    for (uint32_t block = 0; block <= 320; block += 32)
      WriteSectors(block, 32, 0x50, 65536, zeros.data());
    SynchronizeCache(30000, false);
    started = true;
  } else if (kind == kKindDvdRam) {
    started = FormatUnit(0x11, kDvdRamFormat, sizeof kDvdRamFormat);
  } else {
    started = Blank(blankType);
  }
  if (!started) {
    erasing_ = false;
    if (OnEraseDone) OnEraseDone(this, true);
    return false;
  }
  if (eraseThread_.joinable()) eraseThread_.join();  // the previous erase, long ended
  eraseProgress_ = 0;
  erasing_ = true;
  const uint16_t seconds = EraseSecondsFor(kind, blankType);
  eraseThread_ = std::thread([this, kind, seconds] { RunEraseThread(kind, seconds); });
  return true;
}

void TSCSIDevice::RunEraseThread(uint8_t kind, uint16_t eraseSeconds) {
  double a = 0;
  bool failureSeen = false;  // the drive said ERASE FAILURE at some point
  auto asc = [&] {
    if (lastSense_[12] == 0x51) failureSeen = true;
    return lastSense_[12];
  };
  auto update = [&] { eraseProgress_ = static_cast<int>(std::lround(a / eraseSeconds * 100)); };
  auto pollTur = [&] {
    if (!TestUnitReady(5000)) clock_.SleepMs(2000);
  };
  const std::vector<uint8_t> zeros(65536, 0);

  switch (SharedDriveState().CurrentMediumKind.load()) {
    case kKindDvdRwRestricted:
    case kKindDvdRwSequential:
      do {
        update();
        a += 1;
        pollTur();
        update();
      } while (asc() == 0x04 && a <= eraseSeconds);
      clock_.SleepMs(5000);
      do {
        update();
        a += 1;
        pollTur();
      } while (asc() == 0x04 && a <= eraseSeconds);
      break;
    case kKindDvdPlusRw: {
      do {
        clock_.SleepMs(2000);
        a += 2;
        RefreshDiscInformation();
        update();
      } while (asc() == 0x04);
      const uint32_t writes = blankType_ == 1 ? 65 : 71001;
      bool written = true;
      for (uint32_t i = 0; i < writes && written; ++i)
        written = WriteSectors(i * 32, 32, 0x50, 65536, zeros.data());
      if (written) {
        clock_.SleepMs(300);
        a += 1;
        update();
        SynchronizeCache(30000, false);
        CloseTrackSession(false, 3, 0, 0, 0);
      }
      break;
    }
    case kKindDvdRam:
      if (blankType_ == 1) {
        for (uint32_t i = 0; i < 65; ++i) WriteSectors(i * 32, 32, 0x50, 65536, zeros.data());
        SynchronizeCache(30000, false);
      }
      break;
    default:
      break;
  }

  if (SharedDriveState().SlowEraseDrive) {
    do {
      update();
      a += 2;
      pollTur();
    } while (asc() == 0x04 && a <= eraseSeconds);
    RefreshDiscInformation();
    clock_.SleepMs(5000);
  }
  if (!(TestUnitReady(5000) && RefreshDiscInformation())) {
    asc();
    if (kind != kKindDvdRam) {
      do {
        update();
        RefreshDiscInformation();
        a += 5;
        if (asc() == 0x04) clock_.SleepMs(5000);
      } while (asc() == 0x04 && a <= eraseSeconds);
    }
    do {
      update();
      a += 2;
      pollTur();
    } while (asc() == 0x04 && a <= eraseSeconds);
    do {
      update();
      uint8_t sense[40] = {};
      RequestSense(sense, sizeof sense);
      a += 2;
      if (sense[0] == 0xF0) sense[12] = 0x04;
      if (sense[12] == 0x51) failureSeen = true;
      clock_.SleepMs(2000);
      if (sense[12] == 0) break;
    } while (a <= eraseSeconds);
  }
  if (transport_.TransportName() == kSptiTransportName) transport_.Reset();
  eraseProgress_ = 100;

  RestoreDrive();

  // Only a drive that plainly says the erase failed makes it an error: an ERASE FAILURE
  // sense, or a disc that does not read blank now (BLANK media report an empty disc,
  // formatted media no longer hold an ISO 9660 volume).
  bool withError = failureSeen;
  if (!withError) {
    if (kind == kKindDvdRam || kind == kKindDvdPlusRw) {
      withError = VolumeBlocks() != 0;
    } else {
      const int status = DiscStatus();
      withError = status == 1 || status == 2;
    }
  }
  if (eraseClaim_) {
    ReleaseDrive();
    eraseClaim_ = false;
  }
  erasing_ = false;
  auto done = [this, withError] {
    erasing_ = false;
    if (OnEraseDone) OnEraseDone(this, withError);
  };
  if (Dispatcher)
    Dispatcher->Invoke(done);
  else
    done();
}

}  // namespace melvaro
