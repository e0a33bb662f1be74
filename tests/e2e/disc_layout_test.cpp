// TDiscBurner: its defaults, and the layout for a disc, which starts at the next
// writable block of the medium in the virtual drive.
#include "burner/disc_burner.h"
#include "platform/byte_order.h"
#include "support/vrec_drive.h"

namespace melvaro::test {
namespace {

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new TVrecFolderEnvironment);

class DiscLayout : public TVrecDriveTest {
 protected:
  void SetUp() override {
    TVrecDriveTest::SetUp();
    burner = std::make_unique<TDiscBurner>(*transport, clock);
    burner->OnDebugMessage = [this](TSCSIDevice*, const std::string& m, uint8_t type) {
      messages.emplace_back(m, type);
    };
  }
  void TearDown() override {
    burner.reset();
    TVrecDriveTest::TearDown();
  }
  uint32_t LayOutForTheDisc() {
    burner->SelectDevice(burner->DeviceList().at(kDvdDrive));
    burner->BurnPreparing = true;
    burner->LayoutImage(false);
    burner->BurnPreparing = false;
    burner->BuildHeader(false);
    return burner->StartBlock;
  }
  std::unique_ptr<TDiscBurner> burner;
  std::vector<std::pair<std::string, uint8_t>> messages;
};

TEST_F(DiscLayout, Defaults) {
  EXPECT_TRUE(burner->UnderrunProtection);
  EXPECT_FALSE(burner->TestWrite);
  EXPECT_FALSE(burner->FinalizeDisc);
  EXPECT_TRUE(burner->FinalizeTrack);
  EXPECT_FALSE(burner->ReplaceFile);
  EXPECT_FALSE(burner->PerformOPC);
  EXPECT_TRUE(burner->JolietFileSystem);
  EXPECT_TRUE(burner->WritePostGap);
  EXPECT_FALSE(burner->DoDebug);
  EXPECT_EQ(burner->Version, "1.23");
  EXPECT_EQ(burner->ReadSpeed, 0);
  EXPECT_EQ(burner->WriteSpeed(), 0);
  EXPECT_EQ(burner->DirectoryCount(), 0u);
  EXPECT_EQ(burner->CacheSize(), 4194304u);
  burner->SetCacheSize(1000);
  EXPECT_EQ(burner->CacheSize(), 2097152u);
  burner->SetCacheSize(3000001);
  EXPECT_EQ(burner->CacheSize(), 2998272u);
}

TEST_F(DiscLayout, ASecondSessionOnACdStartsAtTheNextWritableBlock) {
  Load(vrec::TMediumKind::CdR);
  WriteTrack(kKindCdR, 3000);
  CloseSession(kKindCdR, 1, false);
  const uint32_t start = LayOutForTheDisc();
  EXPECT_EQ(start, 3000u + 11400);
  EXPECT_EQ(burner->PathTableL, start + 16 + 3);
  EXPECT_EQ(burner->FirstFileBlock, start + 16 + 3 + 4 + 2) << "no padding after block 150";
  EXPECT_EQ(burner->ImageBlockCount, burner->VolumeEnd - start);
  const uint8_t* pvd = burner->HeaderStream().data() + 16 * 2048;
  EXPECT_EQ(GetLe32(pvd + 80), burner->VolumeEnd) << "the volume counts every earlier block";
  EXPECT_EQ(GetLe32(pvd + 158), burner->IsoDirArea);
  EXPECT_TRUE(burner->DoDebug) << "switched on again by the header";
  EXPECT_TRUE(messages.empty());
}

TEST_F(DiscLayout, OverwritableMediaStartAfterTheVolumeOnTheDisc) {
  Load(vrec::TMediumKind::DvdPlusRw);
  const uint8_t list[12] = {0, 0x82, 0, 8, 0, 0x23, 5, 0x40, 0x98, 0, 0, 0};
  ASSERT_TRUE(device->FormatUnit(0x11, list, sizeof list));
  ASSERT_TRUE(device->WaitForReady(10000, 1000));
  WriteTrack(kKindDvdPlusRw, 3000);
  EXPECT_EQ(LayOutForTheDisc(), 3000u) << "the volume space size of the ISO volume";
}

TEST_F(DiscLayout, NoNextWritableBlockIsReportedAndTheLayoutGoesOn) {
  vrec::TDriveStore store(TVrecFolderEnvironment::folder, kDvdDrive);
  std::string error;
  store.Refresh(&error);
  store.RemoveMedium(&error);
  EXPECT_EQ(LayOutForTheDisc(), 0u);
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back(),
            (std::pair<std::string, uint8_t>{">>> ERROR GETTING NEXT WRITABLE ADDRESS", 0}));
  EXPECT_EQ(burner->FirstFileBlock, 150u);
}

}  // namespace
}  // namespace melvaro::test
