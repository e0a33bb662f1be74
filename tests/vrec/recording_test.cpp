// Write, close and append cycles, blanking and formatting, audio and test writes on the
// virtual drive's media.
#include <chrono>
#include <thread>

#include "vrec_harness.h"

namespace melvaro::vrec::test {
namespace {

struct TSequentialCase {
  const char* name;
  TMediumKind kind;
  uint8_t writeType;
  uint8_t appendable;  // page 05h byte 3 with multisession 11b
  uint32_t firstBlocks;
  uint32_t secondStart;  // where the invisible track starts after session 1 is closed
  bool finalizeByFunction;
};

// Failure messages name the case rather than dump its bytes.
void PrintTo(const TSequentialCase& c, std::ostream* os) {
  *os << c.name;
}

class SequentialMedia : public TVrecTest, public ::testing::WithParamInterface<TSequentialCase> {};

TEST_P(SequentialMedia, WriteCloseAppendFinalize) {
  const TSequentialCase& c = GetParam();
  Make(c.kind);
  const bool cd = KindInfo(c.kind).cd;
  ASSERT_EQ(Answer(SetWriteParameters(c.writeType, c.appendable, 0x08)), "good");

  TDiscInfo disc = DiscInfo();
  EXPECT_EQ(disc.status, 0);
  EXPECT_EQ(disc.sessions, 1);
  EXPECT_EQ(disc.erasable, KindInfo(c.kind).erasable);
  TTrackInfo next = TrackInfo(0xFF);
  EXPECT_EQ(next.number, 1);
  EXPECT_EQ(next.start, 0u);
  EXPECT_TRUE(next.blank && next.nwaValid);
  EXPECT_EQ(next.freeBlocks, KindInfo(c.kind).capacity);

  // Session 1, in two writes; a write anywhere but the next writable block is refused.
  EXPECT_EQ(Answer(Write(16, 16)), "5/21/02");
  ASSERT_EQ(Answer(Write(0, 32, 0x20)), "good");
  ASSERT_EQ(Answer(Write(32, c.firstBlocks - 32, 0x30)), "good");
  EXPECT_EQ(Answer(Write(0, 16)), "5/21/02");
  EXPECT_EQ(TrackInfo(1).nwa, c.firstBlocks);
  EXPECT_EQ(DiscInfo().status, 1);
  EXPECT_EQ(DiscInfo().lastSession, 1);
  ASSERT_EQ(Answer(Sync()), "good");
  ASSERT_EQ(Answer(Close(1, 1)), "good");
  ASSERT_EQ(Answer(Close(2)), "good");

  disc = DiscInfo();
  EXPECT_EQ(disc.status, 1) << "appendable";
  EXPECT_EQ(disc.lastSession, 0) << "the next session is empty";
  EXPECT_EQ(disc.sessions, 2);
  EXPECT_EQ(disc.lastTrackLast, 2);
  const TTrackInfo first = TrackInfo(1);
  EXPECT_EQ(first.size, c.firstBlocks);
  EXPECT_FALSE(first.nwaValid);
  next = TrackInfo(2);
  EXPECT_EQ(next.start, c.secondStart);
  EXPECT_EQ(next.nwa, c.secondStart);
  EXPECT_EQ(next.session, 2);
  EXPECT_EQ(TrackInfo(0xFF).start, c.secondStart);

  // Session 2, then the disc is closed.
  ASSERT_EQ(Answer(Write(c.secondStart, 32, 0x40)), "good");
  if (c.finalizeByFunction) {
    ASSERT_EQ(Answer(Close(1, 2)), "good");
    ASSERT_EQ(Answer(Close(c.kind == TMediumKind::DvdPlusRDl ? 6 : 5)), "good");
  } else {
    ASSERT_EQ(Answer(SetWriteParameters(c.writeType, c.appendable & 0x3F, 0x08)), "good");
    ASSERT_EQ(Answer(Close(2)), "good");
  }
  disc = DiscInfo();
  EXPECT_EQ(disc.status, 2) << "complete";
  EXPECT_EQ(disc.lastSession, 3);
  EXPECT_EQ(disc.sessions, 2);
  EXPECT_EQ(Answer(Write(c.secondStart + 32, 16)), "5/21/02");
  TCommandResult r;
  TrackInfo(0xFF, &r);
  EXPECT_EQ(Answer(r), "5/24/00") << "no invisible track on a complete disc";

  // Both sessions read back; the gap between them does not.
  const TBytes one = Read(31, 2, &r);
  ASSERT_EQ(Answer(r), "good");
  EXPECT_EQ(one[0], 0x20 + 31);
  EXPECT_EQ(one[2048], 0x30);
  EXPECT_EQ(Read(c.secondStart, 1)[0], 0x40);
  if (c.secondStart > c.firstBlocks) {
    Read(c.firstBlocks, 1, &r);
    EXPECT_EQ(Answer(r), "5/21/00");
  }
  // Closing a track again, or the track after the last, is harmless; past that it is not.
  EXPECT_EQ(Answer(Close(1, 1)), "good");
  EXPECT_EQ(Answer(Close(1, 9)), "5/24/00");
  (void)cd;
}

INSTANTIATE_TEST_SUITE_P(
    Vrec, SequentialMedia,
    ::testing::Values(
        TSequentialCase{"CdR", TMediumKind::CdR, 1, 0xC4, 300, 300 + 11400, false},
        TSequentialCase{"CdRw", TMediumKind::CdRw, 1, 0xC4, 300, 300 + 11400, false},
        TSequentialCase{"DvdR", TMediumKind::DvdR, 0, 0xE5, 300, 304, false},
        TSequentialCase{"DvdRwSequential", TMediumKind::DvdRwSeq, 0, 0xC5, 320, 320, false},
        TSequentialCase{"DvdPlusR", TMediumKind::DvdPlusR, 2, 0xC4, 300, 304, true},
        TSequentialCase{"DvdPlusRDl", TMediumKind::DvdPlusRDl, 2, 0xC4, 320, 320, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TVrecTest, AReservationKeepsOtherUnitsOut) {
  Make(TMediumKind::DvdPlusR);
  auto other = Reopen();
  auto runOther = [&](const TBytes& cdb) {
    return other->Execute(cdb.data(), cdb.size(), TDataDirection::None, nullptr, 0);
  };
  ASSERT_EQ(Run(Cdb6(0x16)).status, 0x00) << "RESERVE (6)";
  EXPECT_EQ(Run(Cdb6(0x00)).status, 0x00) << "the holder goes on";
  EXPECT_EQ(runOther(Cdb6(0x00)).status, 0x18) << "TEST UNIT READY of another unit";
  EXPECT_EQ(runOther(Cdb6(0x16)).status, 0x18) << "a second reservation";
  EXPECT_EQ(Write(0, 16).status, 0x00);
  EXPECT_EQ(runOther(Cdb6(0x17)).status, 0x00) << "RELEASE of a non-holder does nothing";
  EXPECT_EQ(runOther(Cdb6(0x00)).status, 0x18);
  uint8_t inquiry[36];
  const TBytes cdb = {0x12, 0, 0, 0, 36, 0};
  EXPECT_EQ(other->Execute(cdb.data(), cdb.size(), TDataDirection::In, inquiry, 36).status, 0x00)
      << "INQUIRY is answered";
  ASSERT_EQ(Run(Cdb6(0x17)).status, 0x00);
  EXPECT_EQ(runOther(Cdb6(0x00)).status, 0x00) << "free after RELEASE";
  ASSERT_EQ(runOther(Cdb6(0x16)).status, 0x00);
  EXPECT_EQ(Run(Cdb6(0x00)).status, 0x18);
  other.reset();  // a holder that ends frees the drive
  EXPECT_EQ(Run(Cdb6(0x00)).status, 0x00);
}

TEST_F(TVrecTest, LaterCdSessionsStartPastTheShorterLeadOut) {
  Make(TMediumKind::CdR);
  ASSERT_EQ(Answer(SetWriteParameters(1, 0xC4, 0x08)), "good");
  uint32_t start = 0;
  for (uint32_t gap : {11400u, 6900u, 6900u}) {
    ASSERT_EQ(Answer(Write(start, 100)), "good");
    ASSERT_EQ(Answer(Close(2)), "good");
    start += 100 + gap;
    EXPECT_EQ(TrackInfo(0xFF).start, start);
  }
  EXPECT_EQ(DiscInfo().sessions, 4);
  // Session information: the last complete session and its first track.
  const TBytes info = In({0x43, 0, 0x01, 0, 0, 0, 0, 0, 12, 0}, 12);
  ASSERT_EQ(info.size(), 12u);
  EXPECT_EQ(info[2], 1);
  EXPECT_EQ(info[3], 3);
  EXPECT_EQ(info[6], 3);
  EXPECT_EQ(GetBe32(&info[8]), 100u + 11400 + 100 + 6900);
}

TEST_F(TVrecTest, DvdMinusRReservedTrackWithTheBurnersClosingSequence) {
  Make(TMediumKind::DvdR);
  ASSERT_EQ(Answer(SetWriteParameters(0, 0xE5, 0x08)), "good");
  ASSERT_EQ(Answer(Reserve(1000)), "good");
  TTrackInfo reserved = TrackInfo(1);
  EXPECT_EQ(reserved.size, 1008u) << "rounded to whole ECC blocks";
  EXPECT_EQ(reserved.freeBlocks, 1008u);
  EXPECT_EQ(TrackInfo(2).start, 1008u) << "the invisible track follows the reservation";
  EXPECT_EQ(Answer(Write(1008, 16)), "good") << "the invisible track takes writes too";
  ASSERT_EQ(Answer(Close(1, 2)), "good");
  ASSERT_EQ(Answer(Write(0, 1000)), "good");
  EXPECT_EQ(Answer(Write(1000, 16)), "5/21/02") << "past the reservation";
  // The sequence the write thread sends: track N, track N + 1, session on N + 2.
  EXPECT_EQ(Answer(Close(1, 1, true)), "good");
  EXPECT_EQ(Answer(Close(1, 3, true)), "good");
  EXPECT_EQ(Answer(Close(2, 4, true)), "good");
  EXPECT_EQ(DiscInfo().status, 1);
  EXPECT_EQ(DiscInfo().sessions, 2);
  EXPECT_EQ(TrackInfo(3).start, 1024u);
}

// CLOSE TRACK/SESSION as MMC-5 has it: a session close reads the immediate bit, the
// close function and, on DVD-R, the multisession field of the write parameters (11b:
// another session may follow; 00b: the disc is closed); its track number field means
// nothing. After an immediate close the drive is busy closing and takes no other
// medium command until it is done.
TEST_F(TVrecTest, DvdMinusRSessionCloseReadsTheMultisessionField) {
  operationMs = 200;
  Make(TMediumKind::DvdR);
  ASSERT_EQ(Answer(SetWriteParameters(0, 0xE5, 0x08)), "good");
  ASSERT_EQ(Answer(Reserve(64)), "good");
  ASSERT_EQ(Answer(Write(0, 64)), "good");
  ASSERT_EQ(Answer(Close(1, 1, true)), "good");
  EXPECT_EQ(Answer(Close(2, 0, true)), "2/04/07") << "still closing the track";
  EXPECT_EQ(Answer(TestUnitReady()), "2/04/07");
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  ASSERT_EQ(Answer(TestUnitReady()), "good");
  ASSERT_EQ(Answer(Close(2, 0x1234)), "good") << "the track number is not looked at";
  EXPECT_EQ(DiscInfo().status, 1) << "appendable";
  EXPECT_EQ(DiscInfo().sessions, 2);

  const uint32_t start = TrackInfo(0xFF).start;
  ASSERT_EQ(Answer(Write(start, 32)), "good");
  ASSERT_EQ(Answer(SetWriteParameters(0, 0x25, 0x08)), "good");
  ASSERT_EQ(Answer(Close(1, 2)), "good");
  ASSERT_EQ(Answer(Close(2)), "good");
  EXPECT_EQ(DiscInfo().status, 2) << "complete";
  EXPECT_EQ(Answer(Write(start + 32, 16)), "5/21/02");
}

TEST_F(TVrecTest, UnformattedDvdPlusRwTakesWritesOnlyAfterFormatting) {
  operationMs = 150;
  Make(TMediumKind::DvdPlusRw);
  EXPECT_EQ(DiscInfo().status, 0);
  EXPECT_EQ(Answer(Write(0, 16)), "2/30/10");
  ASSERT_EQ(Answer(Format(0x26, 2295104, true)), "good");
  EXPECT_EQ(Answer(TestUnitReady()), "2/04/04") << "formatting in the background";
  TCommandResult r;
  const TBytes sense = In(Cdb6(0x03, 0, 18), 18, &r);
  ASSERT_EQ(sense.size(), 18u);
  EXPECT_EQ(sense[2] & 0x0F, 2);
  EXPECT_EQ(sense[15] & 0x80, 0x80) << "progress indication";
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(Answer(TestUnitReady()), "good");
  EXPECT_EQ(DiscInfo().status, 2);
  ASSERT_EQ(Answer(Write(5000, 32, 0x50)), "good");
  ASSERT_EQ(Answer(Write(0, 32, 0x60)), "good") << "overwritable anywhere";
  EXPECT_EQ(Read(5000, 1)[0], 0x50);
  EXPECT_EQ(Read(100, 1)[0], 0) << "formatted, never written";
  const TTrackInfo t = TrackInfo(1);
  EXPECT_EQ(t.size, 2295104u);
  EXPECT_EQ(t.nwa, 5040u);
  EXPECT_EQ(Answer(Write(2295104 - 16, 32)), "5/21/00");
  // Formatting again forgets the data.
  ASSERT_EQ(Answer(Format(0x26, 2295104, false)), "good");
  EXPECT_EQ(Read(5000, 1)[0], 0);
}

TEST_F(TVrecTest, DvdRwFormatsToRestrictedOverwriteAndBlanksBackToSequential) {
  Make(TMediumKind::DvdRwSeq);
  ASSERT_EQ(Answer(SetWriteParameters(0, 0xC5, 0x08)), "good");
  ASSERT_EQ(Answer(Write(0, 32, 0x10)), "good");
  EXPECT_EQ(Answer(Format(0x13, 0, false)), "5/26/00") << "quick grow needs restricted overwrite";
  ASSERT_EQ(Answer(Format(0x15, 1000, false)), "good");
  TBytes profile = In({0x46, 0x02, 0, 0, 0, 0, 0, 0, 16, 0}, 16);
  EXPECT_EQ(GetBe16(&profile[6]), 0x0013);
  EXPECT_EQ(Read(0, 1)[0], 0) << "a quick format forgets the data";
  ASSERT_EQ(Answer(Write(70000, 32, 0x33)), "good");
  ASSERT_EQ(Answer(Format(0x13, 0, false)), "good");
  EXPECT_EQ(Read(70000, 1)[0], 0x33) << "quick grow keeps the data";
  ASSERT_EQ(Answer(BlankDisc(1)), "good");
  profile = In({0x46, 0x02, 0, 0, 0, 0, 0, 0, 16, 0}, 16);
  EXPECT_EQ(GetBe16(&profile[6]), 0x0014);
  EXPECT_EQ(DiscInfo().status, 0);
  TCommandResult r;
  Read(70000, 1, &r);
  EXPECT_EQ(Answer(r), "5/21/00");
}

TEST_F(TVrecTest, BlankingACdRwLeavesAnEmptyDisc) {
  operationMs = 100;
  Make(TMediumKind::CdRw);
  ASSERT_EQ(Answer(SetWriteParameters(1, 0x04, 0x08)), "good");
  ASSERT_EQ(Answer(Write(0, 100)), "good");
  ASSERT_EQ(Answer(Close(2)), "good");
  EXPECT_EQ(DiscInfo().status, 2);
  ASSERT_EQ(Answer(BlankDisc(0, true)), "good");
  EXPECT_EQ(Answer(TestUnitReady()), "2/04/07");
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(DiscInfo().status, 0);
  EXPECT_EQ(TrackInfo(0xFF).start, 0u);
  EXPECT_EQ(Answer(BlankDisc(2)), "5/24/00") << "track blanking is not offered";
}

TEST_F(TVrecTest, DvdRamIsFormattedAndOverwritable) {
  Make(TMediumKind::DvdRam);
  EXPECT_EQ(DiscInfo().status, 3);
  ASSERT_EQ(Answer(Write(1234, 32, 0x70)), "good");
  EXPECT_EQ(Read(1234, 1)[0], 0x70);
  EXPECT_EQ(Answer(BlankDisc(1)), "5/30/05");
  ASSERT_EQ(Answer(Format(0x00, 2236704, false)), "good");
  EXPECT_EQ(Read(1234, 1)[0], 0);
}

TEST_F(TVrecTest, TrackAtOnceAudioIsReadBackWithReadCd) {
  Make(TMediumKind::CdR);
  ASSERT_EQ(Answer(SetWriteParameters(1, 0x00, 0x00)), "good");
  ASSERT_EQ(Answer(Write(0, 100, 0x01, 2352)), "good");
  ASSERT_EQ(Answer(Close(1, 1)), "good");
  ASSERT_EQ(Answer(Write(100, 50, 0x02, 2352)), "good");
  ASSERT_EQ(Answer(Close(1, 2)), "good");
  ASSERT_EQ(Answer(Close(2)), "good");
  EXPECT_EQ(DiscInfo().status, 2);

  TBytes cdb = Cdb10(0x43);
  PutBe16(&cdb[7], 100);
  const TBytes toc = In(cdb, 100);
  ASSERT_EQ(toc.size(), 4u + 3 * 8);
  EXPECT_EQ(toc[2], 1);
  EXPECT_EQ(toc[3], 2);
  EXPECT_EQ(toc[4 + 1], 0x10) << "audio track control";
  EXPECT_EQ(GetBe32(&toc[4 + 8 + 4]), 100u);
  EXPECT_EQ(toc[4 + 16 + 2], 0xAA);
  EXPECT_EQ(GetBe32(&toc[4 + 16 + 4]), 150u);

  TBytes readCd = Cdb12(0xBE);
  readCd[1] = 0x04;  // CD-DA
  PutBe32(&readCd[2], 101);
  PutBe24(&readCd[6], 2);
  readCd[9] = 0x10;
  const TBytes audio = In(readCd, 2 * 2352);
  ASSERT_EQ(audio.size(), 2u * 2352);
  EXPECT_EQ(audio[0], 0x03) << "sector 1 of track 2";
  EXPECT_EQ(audio[2352], 0x04);
  TCommandResult r;
  Read(0, 1, &r);
  EXPECT_EQ(Answer(r), "5/64/00") << "READ (10) of an audio track";
}

TEST_F(TVrecTest, TestWriteRecordsNothingAndClosesNothing) {
  Make(TMediumKind::CdR);
  ASSERT_EQ(Answer(SetWriteParameters(1, 0x04, 0x08, true)), "good");
  ASSERT_EQ(Answer(Write(0, 27)), "good");
  ASSERT_EQ(Answer(Write(27, 27)), "good");
  EXPECT_EQ(Answer(Write(100, 27)), "5/21/02") << "addresses are checked as for a real write";
  ASSERT_EQ(Answer(Sync()), "good");
  ASSERT_EQ(Answer(Close(2)), "good");
  EXPECT_EQ(unit->TestWriteBlocks(), 54u);
  EXPECT_EQ(DiscInfo().status, 0);
  EXPECT_EQ(TrackInfo(0xFF).start, 0u);
  ASSERT_EQ(Answer(SetWriteParameters(1, 0x04, 0x08, false)), "good");
  EXPECT_EQ(Answer(Write(0, 27)), "good") << "the real write starts at block 0";

  TDriveConfig noTest;
  noTest.capabilities[1] &= ~0x04;
  Make(TMediumKind::CdR, noTest);
  EXPECT_EQ(Answer(SetWriteParameters(1, 0x04, 0x08, true)), "5/26/00");
}

}  // namespace
}  // namespace melvaro::vrec::test
