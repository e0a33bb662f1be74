// StartErase and the erase thread against scripted drive answers: the commands sent for
// each medium, the time-based progress, the end report on the main thread, and the
// failures a drive reports.
#include <cmath>

#include "platform/dispatcher.h"
#include "support/scripted_drive.h"

namespace melvaro::test {
namespace {

class Erase : public TScriptedDriveTest {
 protected:
  // A drive with the profile that, after the erase command, is busy (NOT READY 04h/07h)
  // for `busyPolls` TEST UNIT READY commands; progress is sampled at each of them.
  void Script(uint16_t profile, int busyPolls) {
    TScriptedDriveSpec s;
    s.profile = profile;
    Start(s);
    device->Dispatcher = &dispatcher;
    device->OnEraseDone = [this](TSCSIDevice*, bool withError) {
      done.push_back(withError);
      onMainThread = dispatcher.OnMainThread();
    };
    hook = [this, busyPolls](TSCSIRequest& r) {
      const uint8_t op = r.CDB[0];
      if (op == 0xA1 || op == 0x04) erasing = true;
      if (op == 0xA1 && refuseBlank) {
        CheckCondition(r, 5, 0x30, 0x05);
        return true;
      }
      if (erasing && op == 0x00) {
        progress.push_back(device->EraseProgress());
        if (busy < busyPolls) {
          ++busy;
          CheckCondition(r, 2, failAsc, 0x07);
          return true;
        }
      }
      if (op == 0x51) {  // disc information: blank afterwards unless told otherwise
        r.BufPointer[2] = static_cast<uint8_t>(0x10 | (erasing ? discStatusAfter : 2));
        return true;
      }
      return false;
    };
  }
  bool Run(uint8_t blankType) {
    if (!device->StartErase(blankType)) return false;
    EXPECT_TRUE(dispatcher.RunUntil([&] { return !done.empty(); }, 20000));
    return true;
  }
  std::vector<const TScriptedBackend::TSeen*> Commands(uint8_t op) const {
    std::vector<const TScriptedBackend::TSeen*> out;
    for (const auto& seen : backend->Seen())
      if (seen.cdb[0] == op) out.push_back(&seen);
    return out;
  }

  TQueueDispatcher dispatcher;
  std::vector<bool> done;
  bool onMainThread = false;
  bool erasing = false;
  bool refuseBlank = false;
  int busy = 0;
  uint8_t failAsc = 0x04;
  uint8_t discStatusAfter = 0;
  std::vector<int> progress;
};

TEST_F(Erase, QuickAndFullCdRw) {
  struct {
    uint8_t blankType, byte1;
    int expectedSeconds;
  } cases[] = {{1, 0x11, 150}, {0, 0x10, 4500}};
  for (const auto& c : cases) {
    SCOPED_TRACE(int{c.blankType});
    done.clear();
    progress.clear();
    erasing = false;
    busy = 0;
    Script(0x000A, 10);
    ASSERT_TRUE(Run(c.blankType));
    const auto blanks = Commands(0xA1);
    ASSERT_EQ(blanks.size(), 1u);
    EXPECT_EQ(blanks[0]->cdb.size(), 12u);
    EXPECT_EQ(blanks[0]->cdb[1], c.byte1);
    EXPECT_EQ(done, std::vector<bool>{false});
    EXPECT_TRUE(onMainThread);
    EXPECT_FALSE(device->Erasing());
    EXPECT_EQ(device->EraseProgress(), 0) << "0 once the erase has ended";
    // Progress: each failed poll counts two seconds of the expected duration.
    ASSERT_GE(progress.size(), 3u);
    EXPECT_EQ(progress[0], 0);
    for (size_t i = 1; i < progress.size(); ++i) EXPECT_GE(progress[i], progress[i - 1]);
    EXPECT_EQ(progress.back(), 100) << "the restore's TEST UNIT READY comes after the jump";
    const int beforeJump = progress[progress.size() - 2];
    // Ten failed polls of two seconds after one five-second refresh pass.
    EXPECT_EQ(beforeJump, static_cast<int>(std::lround(23.0 / c.expectedSeconds * 100)));
    // The drive is restored: track-at-once parameters for kind 1, the maximum read
    // speed with write speed 2, the tray loaded.
    const auto selects = ModeSelects();
    ASSERT_FALSE(selects.empty());
    EXPECT_EQ(selects.back()[8 + 2] & 0x0F, 0x01);
    const auto speeds = Commands(0xBB);
    ASSERT_FALSE(speeds.empty());
    EXPECT_EQ(GetBe16(&speeds.back()->cdb[2]), 7056);
    EXPECT_EQ(GetBe16(&speeds.back()->cdb[4]), 2);
    EXPECT_EQ(Commands(0x1B).back()->cdb[4], 0x03);
  }
}

TEST_F(Erase, RefusedBlankIsReportedBeforeStartEraseReturns) {
  Script(0x000A, 0);
  refuseBlank = true;
  EXPECT_FALSE(device->StartErase(1));
  EXPECT_EQ(done, std::vector<bool>{true});
  EXPECT_TRUE(onMainThread) << "on the caller's thread";
  EXPECT_FALSE(device->Erasing());
}

TEST_F(Erase, AnEraseTheDriveReportsAsFailedEndsWithError) {
  Script(0x000A, 3);
  failAsc = 0x51;  // ERASE FAILURE
  ASSERT_TRUE(Run(1));
  EXPECT_EQ(done, std::vector<bool>{true});

  done.clear();
  erasing = false;
  busy = 0;
  Script(0x0014, 2);
  discStatusAfter = 2;  // the disc still reads complete
  ASSERT_TRUE(Run(1));
  EXPECT_EQ(done, std::vector<bool>{true});
}

TEST_F(Erase, DvdPlusRwIsFormattedThenOverwrittenWithZeros) {
  Script(0x001A, 0);
  ASSERT_TRUE(Run(1));
  const auto formats = Commands(0x04);
  ASSERT_EQ(formats.size(), 1u);
  EXPECT_EQ(formats[0]->cdb[1], 0x11);
  EXPECT_EQ(formats[0]->outData, (std::vector<uint8_t>{0x00, 0x82, 0x00, 0x08, 0x00, 0x23, 0x05,
                                                       0x40, 0x98, 0x00, 0x00, 0x00}));
  const auto writes = Commands(0x2A);
  ASSERT_EQ(writes.size(), 65u);
  for (size_t i = 0; i < writes.size(); ++i) {
    EXPECT_EQ(GetBe32(&writes[i]->cdb[2]), i * 32);
    EXPECT_EQ(GetBe16(&writes[i]->cdb[7]), 32);
  }
  const auto closes = Commands(0x5B);
  ASSERT_EQ(closes.size(), 1u);
  EXPECT_EQ(closes[0]->cdb[2], 3);
  EXPECT_EQ(done, std::vector<bool>{false});
}

TEST_F(Erase, QuickDvdRamWritesZeroBlocksWithoutFormatting) {
  Script(0x0012, 0);
  ASSERT_TRUE(Run(1));
  EXPECT_TRUE(Commands(0x04).empty());
  EXPECT_EQ(Commands(0x2A).size(), 11u + 65u);
  EXPECT_EQ(done, std::vector<bool>{false});
}

}  // namespace
}  // namespace melvaro::test
