// Selecting a drive, its model switches and capabilities, speed texts, and the
// WaitForReady loops, against scripted drive answers and the fake clock.
#include "support/scripted_drive.h"

namespace melvaro::test {
namespace {

class DriveInfo : public TScriptedDriveTest {
 protected:
  std::vector<std::string> Messages() { return messages; }
  void Capture() {
    device->OnDebugMessage = [this](TSCSIDevice*, const std::string& m, uint8_t type) {
      if (type == 0) messages.push_back(m);
    };
  }
  std::vector<std::string> messages;
};

TEST_F(DriveInfo, SelectDeviceTakesTheAddressFromTheEntry) {
  Start();
  Capture();
  int changes = 0;
  device->OnDeviceChange = [&](TSCSIDevice*) { ++changes; };
  device->SelectDevice("1:0:0");
  EXPECT_EQ(device->HaId(), 1);
  EXPECT_EQ(device->DeviceName(), "1:0:0");
  EXPECT_EQ(device->InquiryName(), "SCRIPTED RECORDER         1.00");
  EXPECT_EQ(device->InquiryName().size(), 30u);
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(messages.empty());

  for (const char* bad : {"1:0", "x:0:0,C: SOMETHING", "1:0:y,C:"}) {
    messages.clear();
    device->SelectDevice(bad);
    EXPECT_EQ(messages, std::vector<std::string>{"INVALID DEVICE ID / NOT A CD OR DVD DRIVE"})
        << bad;
    EXPECT_EQ(device->HaId(), kNoDrive);
    EXPECT_EQ(device->DeviceType(), 0x7F);
    EXPECT_EQ(device->DeviceName(), "");
  }
  messages.clear();
  device->SelectDevice("");
  EXPECT_TRUE(messages.empty()) << "an empty identifier fails silently";
  EXPECT_EQ(changes, 1);

  TScriptedDriveSpec disk;
  disk.deviceType = 0x00;
  Start(disk);
  Capture();
  Select();
  EXPECT_EQ(messages.size(), 1u) << "not a CD or DVD drive";
  TScriptedDriveSpec worm;
  worm.deviceType = 0x04;
  Start(worm);
  Select();
  EXPECT_EQ(device->DeviceType(), 0x04) << "a write-once device can be selected";
  EXPECT_EQ(device->HaId(), 0);
}

TEST_F(DriveInfo, ModelSwitches) {
  struct {
    const char* vendor;
    const char* product;
    bool underrun, linkSize, slowErase, closeImmediate, slowReady;
  } cases[] = {
      {"PLEXTOR ", "DVDR   PX-716A  ", false, false, false, true, false},
      {"RICOH   ", "CD-W512EB       ", true, false, false, true, false},
      {"YAMAHA  ", "CRX175E         ", false, true, false, true, false},
      {"SONY    ", "CD-RW  CRX800E  ", false, true, false, true, false},
      {"MATSHITA", "UJDA750 DVD/CDRW", false, false, true, true, false},
      {"TDK     ", "CDRW321040X     ", false, false, true, false, false},
      {"PIONEER ", "DVD-RW  DVR-103 ", false, false, false, true, true},
      {"PIONEER ", " DVD-RW  DVR-104", false, false, false, true, false},
      {"TD      ", "TDKCDRW         ", false, false, false, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.vendor) + c.product);
    TScriptedDriveSpec spec;
    spec.vendor = c.vendor;
    spec.product = c.product;
    Start(spec);
    Select();
    EXPECT_EQ(device->UnderrunByModel(), c.underrun);
    EXPECT_EQ(device->LinkSizeByModel(), c.linkSize);
    EXPECT_EQ(SharedDriveState().SlowEraseDrive.load(), c.slowErase);
    EXPECT_EQ(SharedDriveState().CloseSessionImmediate.load(), c.closeImmediate);
    EXPECT_EQ(device->SlowReadyDrive(), c.slowReady);
    EXPECT_EQ((device->DeviceCapabilities() & TSCSIDevice::capUnderrunProtection) != 0, true);
  }
  SharedDriveState().SlowEraseDrive = false;
  SharedDriveState().CloseSessionImmediate = true;
}

TEST_F(DriveInfo, CapabilitiesFromPage2AAndFeatures) {
  TScriptedDriveSpec spec;
  spec.page2A[0] = 0x3B;  // CD-R, CD-RW, DVD-ROM, DVD-R, DVD-RAM; no method 2
  spec.page2A[1] = 0x03;  // CD-R, CD-RW writing only
  spec.page2A[2] = 0x00;  // no underrun protection
  spec.features = {{0x2A, 0x01}, {0x3B, 0x00}, {0x2F, 0x01}};
  spec.maxWriteSpeed = 0;
  spec.currentWriteSpeed = 0;
  Start(spec);
  ASSERT_TRUE(device->ReadCapabilities());
  using D = TSCSIDevice;
  const uint32_t expected = D::capReadCDR | D::capReadCDRW | D::capReadDVDROM | D::capReadDVDR |
                            D::capReadDVDRW | D::capReadDVDRAM | D::capReadDVDPlusR |
                            D::capReadDVDPlusRW | D::capReadDVDPlusRDL | D::capWriteCDR |
                            D::capWriteCDRW | D::capWriteDVDPlusR | D::capWriteDVDPlusRW |
                            D::capWriteDVDR | D::capWriteDVDRW;
  EXPECT_EQ(device->DeviceCapabilities(), expected);
  EXPECT_EQ(device->MaxWriteSpeed(), 1385) << "a speed of 0 counts as 1385 kB/s";
  EXPECT_EQ(device->CurrentWriteSpeed(), 1385);
  EXPECT_EQ(device->MaxReadSpeed(), 7056);
  EXPECT_EQ(device->DeviceMaxWriteSpeed(), 1385);

  spec.features = {{0x2F, 0x46}};  // present, but byte 4 is not exactly 01h
  spec.page2A[1] = 0x00;
  spec.blockDescriptor = true;
  Start(spec);
  ASSERT_TRUE(device->ReadCapabilities());
  EXPECT_TRUE(device->DeviceCapabilities() & D::capReadDVDR);
  EXPECT_FALSE(device->DeviceCapabilities() & D::capWriteDVDR);
  EXPECT_EQ(device->CapabilitiesPage()[0], 0x2A) << "found after the block descriptor";

  hook = [](TSCSIRequest& r) {
    if (r.CDB[0] != 0x5A) return false;
    CheckCondition(r, 5, 0x24, 0);
    return true;
  };
  EXPECT_FALSE(device->ReadCapabilities());
  EXPECT_EQ(device->MaxWriteSpeed(), 0);
  EXPECT_EQ(device->DeviceCapabilities(), 0u);
}

TEST(SpeedText, FactorAndGroupedKilobytes) {
  struct {
    uint16_t speed;
    uint8_t kind;
    const char* text;
  } cases[] = {
      {2770, 8, "2.0X(2,770 KB/s)"},  {7056, 2, "40X(7,056 KB/s)"},
      {11080, 5, "63X(11,080 KB/s)"}, {16620, 10, "12.0X(16,620 KB/s)"},
      {1385, 6, "1.0X(1,385 KB/s)"},  {176, 1, "1X(176 KB/s)"},
      {5540, 11, "31X(5,540 KB/s)"},  {2077, 7, "1.5X(2,077 KB/s)"},
  };
  for (const auto& c : cases) EXPECT_EQ(TSCSIDevice::SpeedText(c.speed, c.kind), c.text);
}

class WaitForReady : public TScriptedDriveTest {
 protected:
  // The drive is not ready (NOT READY 04h/01h) for the first `busy` commands of `op`.
  void NotReadyFor(uint8_t op, int busy) {
    hook = [op, busy, count = 0](TSCSIRequest& r) mutable {
      if (r.CDB[0] != op || count++ >= busy) return false;
      CheckCondition(r, 2, 0x04, 0x01);
      return true;
    };
  }
  std::vector<unsigned> sleeps;
};

TEST_F(WaitForReady, BudgetsAndIntervals) {
  Start();
  SharedDriveState().CurrentMediumKind = kKindCdR;
  // Ready at once: one interval's sleep, one refresh, one TEST UNIT READY.
  uint64_t before = clock.now;
  EXPECT_TRUE(device->WaitForReady(10000, 500));
  EXPECT_EQ(clock.now - before, 500u);

  // Becoming ready: three more refreshes.
  NotReadyFor(0x51, 3);
  before = clock.now;
  EXPECT_TRUE(device->WaitForReady(10000, 1000));
  EXPECT_EQ(clock.now - before, 4000u);

  // A budget below one interval ends after the first sleep.
  NotReadyFor(0x51, 100);
  before = clock.now;
  EXPECT_FALSE(device->WaitForReady(300, 1000));
  EXPECT_EQ(clock.now - before, 1000u);

  // Never ready within the budget.
  before = clock.now;
  EXPECT_FALSE(device->WaitForReady(10000, 1000));
  EXPECT_EQ(clock.now - before, 11000u);

  // DVD-RAM skips the refresh loop, then asks REQUEST SENSE.
  SharedDriveState().CurrentMediumKind = kKindDvdRam;
  hook = nullptr;
  before = clock.now;
  const size_t seen = backend->Seen().size();
  EXPECT_TRUE(device->WaitForReady(10000, 1000)) << "no refresh loop: straight to the tests";
  EXPECT_EQ(clock.now - before, 1000u);
  std::vector<uint8_t> ops;
  for (size_t i = seen; i < backend->Seen().size(); ++i) ops.push_back(backend->Seen()[i].cdb[0]);
  EXPECT_EQ(ops, (std::vector<uint8_t>{0x00, 0x00, 0x03}));
  SharedDriveState().CurrentMediumKind = 0;
}

TEST_F(WaitForReady, SlowDrivesFirstPollEveryOneAndAHalfSeconds) {
  TScriptedDriveSpec spec;
  spec.vendor = "PIONEER ";
  spec.product = "DVD-RW  DVR-104 ";
  Start(spec);
  Select();
  ASSERT_TRUE(device->SlowReadyDrive());
  NotReadyFor(0x00, 2);
  const uint64_t before = clock.now;
  EXPECT_TRUE(device->WaitForReady(20000, 1000));
  EXPECT_EQ(clock.now - before, 3 * 1500u + 1000u);
}

}  // namespace
}  // namespace melvaro::test

namespace melvaro::test {
namespace {

// A CD that reports 255 sessions: the track after them cannot be named with one byte, so
// the space queries ask for the invisible track (FFh) instead of failing.
TEST_F(DriveInfo, TwoHundredFiftyFiveSessions) {
  Start();
  hook = [](TSCSIRequest& r) {
    if (r.CDB[0] == 0x51) {
      r.BufPointer[2] = 0x01 | 0x04;  // incomplete, last session incomplete
      r.BufPointer[4] = 255;
      r.BufPointer[6] = 255;
      return true;
    }
    if (r.CDB[0] == 0x52) {
      PutBe32(r.BufPointer + 8, 300000);   // start
      PutBe32(r.BufPointer + 12, 300000);  // next writable address
      PutBe32(r.BufPointer + 16, 59849);   // free
      PutBe32(r.BufPointer + 24, 59849);   // size
      return true;
    }
    if (r.CDB[0] == 0x43) {  // no ATIP, no TOC
      CheckCondition(r, 5, 0x24, 0);
      return true;
    }
    if (r.CDB[0] == 0x23) {  // a capacity that means "ask the track"
      PutBe32(r.BufPointer + 4, 0xFFFD0001);
      return true;
    }
    return false;
  };
  EXPECT_EQ(device->SessionCount(), 255);
  EXPECT_EQ(device->UsedBlocks(), 300000u);
  uint8_t lastTrackAsked = 0;
  for (const auto& seen : backend->Seen())
    if (seen.cdb[0] == 0x52) lastTrackAsked = seen.cdb[5];
  EXPECT_EQ(lastTrackAsked, 0xFF);
  EXPECT_EQ(device->DiscCapacity(), 300000u + 59849) << "start + free of the track after them";
  for (const auto& seen : backend->Seen())
    if (seen.cdb[0] == 0x52) lastTrackAsked = seen.cdb[5];
  EXPECT_EQ(lastTrackAsked, 0xFF);
}

}  // namespace
}  // namespace melvaro::test
