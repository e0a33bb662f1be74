// The engine's drive object on a virtual drive, reached through the library back end
// and the virtual recorder's plug-in, with a clock that runs a hundred times faster
// than real time.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "drive/scsi_device.h"
#include "drive_store.h"
#include "support/fakes.h"

namespace melvaro::test {

// The plug-in reads its folder once per process: one folder for the whole test program.
class TVrecFolderEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/melvaro-e2e-XXXXXX";
    folder = mkdtemp(pattern);
    setenv("MELVARO_VREC", folder.c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(folder); }
  static inline std::string folder;
};

// Sleeps a hundredth of the time asked for; waits for events in real time.
class TScaledClock final : public TClock {
 public:
  uint64_t NowMs() override { return virtualMs; }
  void SleepMs(unsigned ms) override {
    virtualMs += ms;
    sleeps.push_back(ms);
    std::this_thread::sleep_for(std::chrono::microseconds(ms * 10));
  }
  bool WaitForEvent(TEvent& event, int timeoutMs) override { return event.WaitFor(timeoutMs); }
  std::atomic<uint64_t> virtualMs{0};
  std::vector<unsigned> sleeps;
};

class TVrecDriveTest : public ::testing::Test {
 protected:
  static constexpr int kDvdDrive = 0;  // writes every medium
  static constexpr int kCdDrive = 1;   // writes CD-R and CD-RW

  void SetUp() override {
    transport = std::make_unique<TTransport>(std::make_unique<TFakeKernel>());
    device = std::make_unique<TSCSIDevice>(*transport, clock);
    ASSERT_TRUE(device->InitializeASPI(false, MELVARO_BIN_DIR "/libwnaspi32.so"));
    for (int drive : {kDvdDrive, kCdDrive}) {
      vrec::TDriveStore store(TVrecFolderEnvironment::folder, drive);
      std::string error;
      store.Refresh(&error);
      store.Faults() = vrec::TFaults();
      store.SaveFaults(&error);
      store.RemoveMedium(&error);
    }
    SharedDriveState().CurrentMediumKind = 0;
  }
  void TearDown() override {
    device.reset();
    transport.reset();
  }

  // Puts a new medium in a drive and selects that drive.
  void Load(vrec::TMediumKind kind, int drive = kDvdDrive, const std::string& image = "") {
    vrec::TDriveStore store(TVrecFolderEnvironment::folder, drive);
    std::string error;
    store.Refresh(&error);
    const vrec::TMedium medium =
        image.empty() ? vrec::TMedium::Blank(kind)
                      : vrec::TMedium::Pressed(
                            kind, static_cast<uint32_t>(std::filesystem::file_size(image) / 2048));
    ASSERT_TRUE(store.InsertMedium(medium, image, &error)) << error;
    Select(drive);
  }
  void Select(int drive) { device->SelectDevice(device->DeviceList().at(drive)); }
  void SetFaults(const std::string& faults, int drive = kDvdDrive) {
    vrec::TDriveStore store(TVrecFolderEnvironment::folder, drive);
    std::string error;
    store.Refresh(&error);
    ASSERT_TRUE(store.Faults().ApplyAll(faults, &error)) << error;
    ASSERT_TRUE(store.SaveFaults(&error)) << error;
  }

  // Writes `blocks` blocks at the next writable block with plain WRITE commands, after
  // the engine's write parameters for the kind; returns the start block.
  uint32_t WriteTrack(uint8_t kind, uint32_t blocks, bool closeDisc = false) {
    device->FinalizeDisc = closeDisc;
    EXPECT_TRUE(device->SetWriteParameters(false, true, closeDisc, kind))
        << device->LastErrorText();
    device->FinalizeDisc = false;
    uint32_t start = 0;
    if (device->ReadTrackInformation(0xFF)) std::memcpy(&start, &device->TrackInfo()[12], 4);
    for (uint32_t at = 0; at < blocks; at += 32) {
      const uint16_t n = static_cast<uint16_t>(std::min<uint32_t>(32, blocks - at));
      std::vector<uint8_t> data(32 * 2048, 0x4D);
      if (at == 0 && blocks > 17) {
        // A primary volume descriptor at block 16 naming the session's size.
        uint8_t* pvd = &data[16 * 2048];
        std::memset(pvd, 0, 2048);
        pvd[0] = 1;
        std::memcpy(pvd + 1, "CD001", 5);
        const uint32_t size = start + blocks;
        std::memcpy(pvd + 80, &size, 4);
      }
      EXPECT_TRUE(device->WriteSectors(start + at, n, 0x50, n * 2048u, data.data()))
          << device->LastErrorText();
    }
    EXPECT_TRUE(device->SynchronizeCache(120000, false));
    return start;
  }
  // Closes the track and the session as the write thread does for the kind: write
  // parameters again (FinalizeDisc as given), then CLOSE TRACK/SESSION.
  void CloseSession(uint8_t kind, uint8_t track, bool closeDisc) {
    device->FinalizeDisc = closeDisc;
    device->SetWriteParameters(false, true, closeDisc, kind);
    device->FinalizeDisc = false;
    EXPECT_TRUE(device->CloseTrackSession(false, 1, 0, 0, track)) << device->LastErrorText();
    uint8_t function = 2;
    if (closeDisc && kind == kKindDvdPlusR) function = 5;
    if (closeDisc && kind == kKindDvdPlusRDl) function = 6;
    EXPECT_TRUE(device->CloseTrackSession(false, function, 0, 0, 0)) << device->LastErrorText();
  }

  TScaledClock clock;
  std::unique_ptr<TTransport> transport;
  std::unique_ptr<TSCSIDevice> device;
};

}  // namespace melvaro::test
