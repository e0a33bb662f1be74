// Mode page 05h as the engine sends it for each medium kind and switch, the write-type
// trials, and the other recording parameter lists.
#include "support/scripted_drive.h"

namespace melvaro::test {
namespace {

class WriteParameters : public TScriptedDriveTest {
 protected:
  // Sends the page and returns the MODE SELECT data (empty when nothing was sent).
  std::vector<uint8_t> Sent(bool testWrite, bool underrun, bool flag, uint8_t kind,
                            bool finalize = false) {
    const size_t before = ModeSelects().size();
    device->FinalizeDisc = finalize;
    EXPECT_TRUE(device->SetWriteParameters(testWrite, underrun, flag, kind));
    const auto all = ModeSelects();
    return all.size() > before ? all.back() : std::vector<uint8_t>();
  }
};

TEST_F(WriteParameters, PageBytesByMediumKind) {
  Start();
  device->ReadCapabilities();
  struct {
    uint8_t kind;
    bool finalize, flag;
    uint8_t b2, b3, b5;
    uint32_t packet;
  } cases[] = {
      {kKindCdR, false, false, 0x01, 0xC4, 0x00, 0},
      {kKindCdRw, false, false, 0x01, 0xC4, 0, 0},
      {kKindCdRom, false, false, 0x01, 0xC4, 0, 0},
      {kKindDvdRom, false, false, 0x01, 0xC4, 0, 0},
      {kKindDdcdR, false, false, 0x01, 0xC4, 0, 0},
      {kKindCdR, true, false, 0x01, 0x04, 0, 0},
      {kKindDvdR, false, false, 0x20, 0xE5, 0x10, 16},
      {kKindDvdRwRestricted, false, false, 0x20, 0xC5, 0x10, 0},
      {kKindDvdRwSequential, true, false, 0x20, 0xC5, 0x10, 0},
      {kKindDvdPlusRw, false, false, 0x22, 0x04, 0x10, 0},
      {kKindDvdPlusR, false, false, 0x22, 0xC4, 0x00, 16},
      {kKindDvdPlusRDl, false, true, 0x22, 0xC4, 0x00, 0},
      {kKindDvdPlusRDl, false, false, 0x22, 0x04, 0x00, 0},
      {kKindDvdRw, true, false, 0x01, 0xE4, 0x00, 0},  // only the multisession step
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.kind) + (c.finalize ? " finalize" : "") +
                 (c.flag ? " flag" : ""));
    const auto list = Sent(false, false, c.flag, c.kind, c.finalize);
    ASSERT_EQ(list.size(), 60u) << "page length 32h + 10";
    for (int i = 0; i < 8; ++i) EXPECT_EQ(list[i], 0) << "header byte " << i;
    const uint8_t* p = &list[8];
    EXPECT_EQ(p[0], 0x05);
    EXPECT_EQ(p[1], 0x32);
    EXPECT_EQ(p[2], c.b2);
    EXPECT_EQ(p[3], c.b3);
    EXPECT_EQ(p[4], 0x08);
    EXPECT_EQ(p[5], c.b5);
    EXPECT_EQ(GetBe32(p + 10), c.packet);
    EXPECT_EQ(p[14], 0x00);
    EXPECT_EQ(p[15], 0x96);
    for (int i = 6; i <= 9; ++i) EXPECT_EQ(p[i], 0) << "byte " << i;
    EXPECT_EQ(p[16], 0xA0 + 16) << "the drive's own bytes are kept";
  }
  EXPECT_TRUE(Sent(false, false, false, kKindDvdRam).empty()) << "DVD-RAM: nothing sent";
}

TEST_F(WriteParameters, UnderrunTestWriteAndLinkSize) {
  TScriptedDriveSpec spec;
  spec.page2A[1] = 0x33;  // no test write
  spec.page2A[2] = 0x41;  // no buffer-underrun protection
  Start(spec);
  device->ReadCapabilities();
  auto list = Sent(true, true, false, kKindCdR);
  EXPECT_EQ(list[8 + 2], 0x01) << "neither BUFE nor test write without the capability";
  EXPECT_EQ(list[8 + 3], 0x04) << "a test write closes nothing";

  spec.page2A[1] = 0x37;
  spec.page2A[2] = 0xC1;
  spec.product = "CD-RW  CRX800E  ";  // link size by model
  Start(spec);
  Select();
  EXPECT_TRUE(device->LinkSizeByModel());
  list = Sent(true, true, false, kKindCdR);
  EXPECT_EQ(list[8 + 2], 0x01 | 0x20 | 0x40 | 0x10);
}

TEST_F(WriteParameters, BlockDescriptorLeavesTheTailOfThePageZero) {
  TScriptedDriveSpec spec;
  spec.blockDescriptor = true;
  Start(spec);
  device->ReadCapabilities();
  const auto list = Sent(false, false, false, kKindCdR);
  ASSERT_EQ(list.size(), 60u);
  EXPECT_EQ(list[8 + 44], 0xA0 + 44) << "45 page bytes are sent";
  for (int i = 45; i < 52; ++i) EXPECT_EQ(list[8 + i], 0) << "page byte " << i;
  EXPECT_EQ(list[8 + 2], 0x01);
}

TEST_F(WriteParameters, DetectWriteModesTriesRawSessionAndTrackAtOnce) {
  Start();
  hook = [](TSCSIRequest& r) {
    if (r.CDB[0] == 0x55 && (r.BufPointer[8 + 2] & 0x0F) == 0x03) {
      CheckCondition(r, 5, 0x26, 0);  // raw refused
      return true;
    }
    return false;
  };
  device->DetectWriteModes();
  EXPECT_EQ(device->SupportedWriteModes(), 2 | 4);
  const auto lists = ModeSelects();
  ASSERT_EQ(lists.size(), 3u);
  EXPECT_EQ(lists[0][8 + 2], 0x03);
  EXPECT_EQ(lists[0][8 + 4], 0x01);
  EXPECT_EQ(lists[1][8 + 2], 0x02);
  EXPECT_EQ(lists[2][8 + 2], 0x01);
  for (const auto& list : lists) {
    EXPECT_EQ(list.size(), 0x32u + 10);
    EXPECT_EQ(list[8 + 3], 0);
    EXPECT_EQ(list[8 + 15], 0x96);
  }
  EXPECT_EQ(device->WriteParametersPage()[2], 0x01) << "left at track-at-once";
}

TEST_F(WriteParameters, StreamingTimeStampAndBufferCapacity) {
  Start();
  ASSERT_TRUE(device->SetStreamingSpeed(500, 2000, 11521, 7980, 1000, 1000));
  auto seen = backend->Seen().back();
  ASSERT_EQ(seen.cdb[0], 0xB6);
  ASSERT_EQ(seen.outData.size(), 28u);
  EXPECT_EQ(GetBe32(&seen.outData[4]), 0u) << "the start block field is always 0";
  EXPECT_EQ(GetBe32(&seen.outData[8]), 2000u);
  EXPECT_EQ(GetBe32(&seen.outData[12]), 11521u);
  EXPECT_EQ(GetBe32(&seen.outData[16]), 1000u);
  EXPECT_EQ(GetBe32(&seen.outData[20]), 7980u);
  EXPECT_EQ(GetBe32(&seen.outData[24]), 1000u);

  std::tm when{};
  when.tm_year = 2026 - 1900, when.tm_mon = 11, when.tm_mday = 10, when.tm_hour = 9;
  when.tm_min = 5, when.tm_sec = 7, when.tm_isdst = -1;
  ASSERT_TRUE(device->SendTimeStamp(std::chrono::system_clock::from_time_t(std::mktime(&when))));
  seen = backend->Seen().back();
  ASSERT_EQ(seen.cdb[0], 0xBF);
  EXPECT_EQ(seen.cdb[7], 0x0F);
  ASSERT_EQ(seen.outData.size(), 22u);
  EXPECT_EQ(seen.outData[1], 0x14);
  EXPECT_EQ(std::string(seen.outData.begin() + 8, seen.outData.end()), "20261210090507");

  hook = [](TSCSIRequest& r) {
    if (r.CDB[0] != 0x5C) return false;
    PutBe32(r.BufPointer + 4, 4 << 20);
    PutBe32(r.BufPointer + 8, 0xFFFFFFFF);
    return true;
  };
  uint32_t length = 0, free = 0;
  ASSERT_TRUE(device->ReadBufferCapacity(length, free));
  EXPECT_EQ(free, 4u << 20) << "FFFFFFFFh free counts as the whole buffer";
  EXPECT_EQ(device->DeviceFreeBufferSize(), device->DeviceBufferSize());
  hook = [](TSCSIRequest& r) {
    CheckCondition(r, 5, 0x20, 0);
    return true;
  };
  EXPECT_FALSE(device->ReadBufferCapacity(length, free));
  EXPECT_EQ(device->DeviceFreeBufferSize(), 0u);
}

}  // namespace
}  // namespace melvaro::test
