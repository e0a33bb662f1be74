// Media survive the process that wrote them: state files, two processes on one drive, a
// process that dies in the middle of a burn, damaged state files.
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "vrec_harness.h"

namespace melvaro::vrec::test {
namespace {

TEST(MediumState, SerializeRoundTrip) {
  TMedium m = TMedium::Blank(TMediumKind::CdR);
  TSession s1;
  s1.closed = true;
  s1.tracks.push_back(TTrack{0, 300, 0, true, false, 4});
  TSession s2;
  s2.tracks.push_back(TTrack{11700, 27, 0, false, true, 0});
  s2.tracks.push_back(TTrack{11800, 5, 100, false, false, 4});
  m.sessions = {s1, s2};
  std::string error;
  const auto back = TMedium::Parse(m.Serialize(), &error);
  ASSERT_TRUE(back) << error;
  EXPECT_EQ(back->Serialize(), m.Serialize());
  EXPECT_EQ(back->sessions[1].tracks[1].reserved, 100u);
  EXPECT_TRUE(back->sessions[1].tracks[0].audio);
}

TEST(MediumState, DamagedStateIsRefused) {
  const std::string good = TMedium::Blank(TMediumKind::DvdPlusR).Serialize();
  const char* cases[] = {
      "",
      "melvaro-vrec-medium 2\nkind dvd+r\n",
      "melvaro-vrec-medium 1\nkind dvd+x\n",
      "melvaro-vrec-medium 1\ncapacity 100\n",
      "melvaro-vrec-medium 1\nkind cd-r\ncapacity 1000\nsession open\ntrack 900 200 0 0 0 4\n",
      "melvaro-vrec-medium 1\nkind cd-r\ntrack 0 1 0 0 0 4\n",
      "melvaro-vrec-medium 1\nkind cd-r\ncapacity 12x\n",
  };
  for (const char* text : cases) {
    std::string error;
    EXPECT_FALSE(TMedium::Parse(text, &error)) << text;
    EXPECT_FALSE(error.empty());
  }
  std::string error;
  EXPECT_TRUE(TMedium::Parse(good, &error)) << error;
}

class Persistence : public TVrecTest {};

TEST_F(Persistence, ASecondProcessSeesTheSameDiscAndAppendsToIt) {
  Make(TMediumKind::DvdPlusR);
  ASSERT_EQ(Answer(SetWriteParameters(2, 0xC4, 0x08)), "good");
  ASSERT_EQ(Answer(Write(0, 64, 0x21)), "good");
  ASSERT_EQ(Answer(Sync()), "good");
  ASSERT_EQ(Answer(Close(1, 1)), "good");
  ASSERT_EQ(Answer(Close(2)), "good");

  auto other = Reopen();
  std::swap(unit, other);  // talk to the second unit
  EXPECT_EQ(DiscInfo().sessions, 2);
  EXPECT_EQ(Read(63, 1)[0], 0x21 + 63);
  ASSERT_EQ(Answer(SetWriteParameters(2, 0xC4, 0x08)), "good");
  ASSERT_EQ(Answer(Write(64, 32, 0x42)), "good");
  ASSERT_EQ(Answer(Close(2)), "good");
  std::swap(unit, other);  // the first one notices the change
  EXPECT_EQ(DiscInfo().sessions, 3);
  EXPECT_EQ(Read(64, 1)[0], 0x42);
  other.reset();
}

TEST_F(Persistence, AProcessDyingMidBurnLeavesTheClosedSessionsReadable) {
  Make(TMediumKind::CdR);
  unit.reset();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    TLogicalUnit u(TDriveConfig{}, std::make_unique<TDriveStore>(folder, 0));
    auto run = [&](TBytes cdb, TBytes data = {}) {
      return u.Execute(cdb.data(), cdb.size(),
                       data.empty() ? TDataDirection::None : TDataDirection::Out, data.data(),
                       static_cast<uint32_t>(data.size()));
    };
    TBytes page(60, 0);
    page[8] = 0x05, page[9] = 0x32, page[10] = 0x01, page[11] = 0xC4, page[12] = 0x08;
    run({0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}, page);
    run({0x2A, 0, 0, 0, 0, 0, 0, 0, 27, 0}, TBytes(27 * 2048, 0x5A));
    run({0x5B, 0, 0x02, 0, 0, 0, 0, 0, 0, 0});
    for (uint32_t b = 11427; b < 11427 + 27 * 20; b += 27) {
      TBytes cdb = {0x2A, 0, 0, 0, 0, 0, 0, 0, 27, 0};
      PutBe32(&cdb[2], b);
      run(cdb, TBytes(27 * 2048, 0x6B));
    }
    _exit(0);  // no destructors, no saving: as if the process had been killed
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));

  MakeEmpty();
  const TDiscInfo disc = DiscInfo();
  EXPECT_EQ(disc.status, 1);
  const TTrackInfo first = TrackInfo(1);
  EXPECT_EQ(first.size, 27u);
  EXPECT_FALSE(first.nwaValid) << "session 1 stays closed";
  const TBytes data = Read(0, 27);
  ASSERT_EQ(data.size(), 27u * 2048);
  EXPECT_EQ(data.front(), 0x5A);
  EXPECT_EQ(data.back(), 0x5A);
}

TEST_F(Persistence, ADamagedStateFileShowsNoMedium) {
  Make(TMediumKind::CdR);
  unit.reset();
  std::ofstream(folder + "/drive0.state") << "tray closed\nmelvaro-vrec-medium 1\nkind ?\n";
  MakeEmpty();
  EXPECT_EQ(Answer(TestUnitReady()), "2/3A/01");
  std::string error;
  TDriveStore store(folder, 0);
  EXPECT_FALSE(store.Refresh(&error));
  EXPECT_NE(error.find("drive0.state"), std::string::npos) << error;
}

TEST_F(Persistence, FaultsSwitchedByAnotherProcessArePickedUp) {
  Make(TMediumKind::CdR);
  TDriveStore tool(folder, 0);
  std::string error;
  ASSERT_TRUE(tool.Refresh(&error)) << error;
  ASSERT_TRUE(tool.Faults().Apply("no-medium", &error));
  ASSERT_TRUE(tool.SaveFaults(&error)) << error;
  EXPECT_EQ(Answer(TestUnitReady()), "2/3A/01");
  ASSERT_TRUE(tool.Faults().Apply("clear", &error));
  ASSERT_TRUE(tool.SaveFaults(&error));
  EXPECT_EQ(Answer(TestUnitReady()), "good");
}

}  // namespace
}  // namespace melvaro::vrec::test
