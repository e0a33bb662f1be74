// Erasing written virtual discs through the engine: the disc reads blank afterwards,
// the end arrives on the main thread, and a drive that refuses is reported at once.
#include "platform/dispatcher.h"
#include "support/vrec_drive.h"

namespace melvaro::test {
namespace {

class EraseDisc : public TVrecDriveTest {
 protected:
  void SetUp() override {
    TVrecDriveTest::SetUp();
    device->Dispatcher = &dispatcher;
    device->OnEraseDone = [this](TSCSIDevice*, bool withError) { done.push_back(withError); };
  }
  // Loads the medium and records a closed session of 2000 blocks on it.
  void Written(vrec::TMediumKind medium, uint8_t kind) {
    Load(medium);
    if (kind == kKindDvdPlusRw) {
      const uint8_t list[12] = {0, 0x82, 0, 8, 0, 0x23, 5, 0x40, 0x98, 0, 0, 0};
      ASSERT_TRUE(device->FormatUnit(0x11, list, sizeof list));
      ASSERT_TRUE(device->WaitForReady(10000, 1000));
    }
    WriteTrack(kind, 2000);
    CloseSession(kind, 1, false);
  }
  void EraseAndWait(uint8_t blankType) {
    ASSERT_TRUE(device->StartErase(blankType)) << device->LastErrorText();
    EXPECT_TRUE(device->Erasing());
    ASSERT_TRUE(dispatcher.RunUntil([&] { return !done.empty(); }, 60000));
    EXPECT_FALSE(device->Erasing());
  }
  TQueueDispatcher dispatcher;
  std::vector<bool> done;
};

TEST_F(EraseDisc, RewritableMediaReadBlankAfterwards) {
  struct {
    vrec::TMediumKind medium;
    uint8_t kind, blankType;
  } cases[] = {
      {vrec::TMediumKind::CdRw, kKindCdRw, 1},
      {vrec::TMediumKind::CdRw, kKindCdRw, 0},
      {vrec::TMediumKind::DvdRwSeq, kKindDvdRwSequential, 1},
      {vrec::TMediumKind::DvdRwRo, kKindDvdRwRestricted, 1},
      {vrec::TMediumKind::DvdPlusRw, kKindDvdPlusRw, 1},
      {vrec::TMediumKind::DvdRam, kKindDvdRam, 1},
      {vrec::TMediumKind::DvdRam, kKindDvdRam, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(vrec::KindInfo(c.medium).name) + " type " +
                 std::to_string(c.blankType));
    done.clear();
    Written(c.medium, c.kind);
    ASSERT_GT(device->VolumeBlocks(), 0u) << "a volume before the erase";
    EraseAndWait(c.blankType);
    EXPECT_EQ(done, std::vector<bool>{false});
    EXPECT_EQ(device->VolumeBlocks(), 0u) << "no volume afterwards";
    TDisc disc;
    device->GetDiscInfo(disc);
    EXPECT_TRUE(disc.Ready);
    if (c.kind == kKindCdRw || c.kind == kKindDvdRwSequential || c.kind == kKindDvdRwRestricted) {
      EXPECT_EQ(disc.DiscState, 0) << "empty";
      EXPECT_EQ(device->MediumKind(), c.kind == kKindCdRw ? kKindCdRw : kKindDvdRwSequential);
    }
  }
}

TEST_F(EraseDisc, FullDvdPlusRwEraseOverwritesTheWholeDisc) {
  Written(vrec::TMediumKind::DvdPlusRw, kKindDvdPlusRw);
  EraseAndWait(0);
  EXPECT_EQ(done, std::vector<bool>{false});
  std::vector<uint8_t> block(2048, 0xFF);
  ASSERT_TRUE(device->ReadSectors(71000 * 32, 1, 2048, block.data()));
  EXPECT_EQ(block, std::vector<uint8_t>(2048, 0));
}

TEST_F(EraseDisc, ADriveThatRefusesReportsAtOnce) {
  Written(vrec::TMediumKind::CdRw, kKindCdRw);
  SetFaults("refuse-blank");
  EXPECT_FALSE(device->StartErase(1));
  EXPECT_EQ(done, std::vector<bool>{true}) << "before StartErase returned";
  EXPECT_FALSE(device->Erasing());
  EXPECT_GT(device->VolumeBlocks(), 0u) << "the disc is untouched";

  done.clear();
  Load(vrec::TMediumKind::CdR);
  EXPECT_FALSE(device->StartErase(1)) << "a CD-R cannot be blanked";
  EXPECT_EQ(done, std::vector<bool>{true});
}

TEST_F(EraseDisc, NoMediumDoesNotStart) {
  vrec::TDriveStore store(TVrecFolderEnvironment::folder, kDvdDrive);
  std::string error;
  store.Refresh(&error);
  store.RemoveMedium(&error);
  Select(kDvdDrive);
  EXPECT_FALSE(device->StartErase(1));
  EXPECT_TRUE(done.empty()) << "not ready: nothing is reported";
}

}  // namespace
}  // namespace melvaro::test
