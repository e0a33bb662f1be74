// What the virtual drive answers: identification, profiles and features, mode pages,
// speeds, the buffer, error conditions and switchable faults.
#include <chrono>
#include <thread>

#include "vrec_harness.h"

namespace melvaro::vrec::test {
namespace {

class Answers : public TVrecTest {
 protected:
  TBytes Config(uint8_t rt, uint16_t feature) {
    TBytes cdb = Cdb10(0x46);
    cdb[1] = rt;
    PutBe16(&cdb[2], feature);
    PutBe16(&cdb[7], 512);
    return In(cdb, 512);
  }
  TBytes ModeSense(uint8_t pageByte, TCommandResult* r = nullptr) {
    TBytes cdb = Cdb10(0x5A);
    cdb[2] = pageByte;
    PutBe16(&cdb[7], 512);
    return In(cdb, 512, r);
  }
  uint16_t CurrentWriteSpeed() {
    const TBytes a = ModeSense(0x2A);
    return GetBe16(&a[8 + 20]);
  }
};

TEST_F(Answers, InquiryIdentifiesARemovableMmcDevice) {
  MakeEmpty();
  const TBytes a = In({0x12, 0, 0, 0, 0x80, 0}, 128);
  ASSERT_EQ(a.size(), 36u);
  EXPECT_EQ(a[0], 0x05);
  EXPECT_EQ(a[1], 0x80);
  EXPECT_EQ(std::string(a.begin() + 8, a.begin() + 36), "MELVARO VIRTUAL DVD-RW  1.00");
  TCommandResult r;
  In({0x12, 0x01, 0x80, 0, 0xFF, 0}, 255, &r);
  EXPECT_EQ(Answer(r), "5/24/00") << "no vital product data pages";
}

TEST_F(Answers, EveryMediumShowsItsProfileAndCurrentFeatures) {
  struct {
    TMediumKind kind;
    uint16_t profile;
    uint16_t feature;  // a feature that is current with this medium
  } cases[] = {
      {TMediumKind::CdR, 0x0009, 0x002D},        {TMediumKind::CdRw, 0x000A, 0x002D},
      {TMediumKind::DvdR, 0x0011, 0x002F},       {TMediumKind::DvdRam, 0x0012, 0x001F},
      {TMediumKind::DvdRwRo, 0x0013, 0x002F},    {TMediumKind::DvdRwSeq, 0x0014, 0x002F},
      {TMediumKind::DvdPlusRw, 0x001A, 0x002A},  {TMediumKind::DvdPlusR, 0x001B, 0x002B},
      {TMediumKind::DvdPlusRDl, 0x002B, 0x003B},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(KindInfo(c.kind).name);
    Make(c.kind);
    TBytes all = Config(0, 0);
    ASSERT_GE(all.size(), 8u);
    EXPECT_EQ(GetBe16(&all[6]), c.profile);
    EXPECT_EQ(GetBe32(&all[0]) + 4, all.size());
    // The profile list marks the current profile.
    bool marked = false;
    for (size_t at = 12; at + 4 <= 12u + all[11]; at += 4)
      if (GetBe16(&all[at]) == c.profile) marked = all[at + 2] & 1;
    EXPECT_TRUE(marked);
    const TBytes one = Config(2, c.feature);
    ASSERT_GE(one.size(), 13u);
    EXPECT_EQ(GetBe16(&one[8]), c.feature);
    EXPECT_EQ(one[10] & 1, 1) << "current";
    const TBytes current = Config(1, 0x0020);
    for (size_t at = 8; at + 4 <= current.size(); at += 4 + current[at + 3])
      EXPECT_EQ(current[at + 2] & 1, 1) << "RT 1 lists only current features";
  }
}

TEST_F(Answers, FeatureWriteBytesComeFromTheDriveDescription) {
  MakeEmpty();
  const TBytes plus = Config(2, 0x002A);
  ASSERT_EQ(plus.size(), 16u);
  EXPECT_EQ(plus[12], 0x01);
  EXPECT_EQ(Config(2, 0x002F)[12], 0x46);
  EXPECT_EQ(GetBe16(&plus[6]), 0) << "no medium, no current profile";

  MakeEmpty(DefaultDrives()[1]);  // CD recorder
  EXPECT_EQ(Config(2, 0x002A).size(), 8u) << "no DVD+RW feature";
  const TBytes all = Config(0, 0);
  EXPECT_EQ(all[11], 3 * 4) << "CD-ROM, CD-R and CD-RW profiles only";
}

TEST_F(Answers, ModePagesWithAndWithoutBlockDescriptor) {
  Make(TMediumKind::CdR);
  TBytes a = ModeSense(0x05);
  ASSERT_EQ(a.size(), 8u + 52);
  EXPECT_EQ(a[8], 0x05);
  EXPECT_EQ(a[9], 0x32);
  a = ModeSense(0x2A | 0x80);  // default values
  EXPECT_EQ(a[8], 0x2A);
  EXPECT_EQ(a[8 + 2], 0x3F);
  EXPECT_EQ(a[8 + 3], 0x37);
  EXPECT_EQ(a[8 + 4], 0xC1);
  EXPECT_EQ(GetBe16(&a[8 + 18]), 7056) << "the fastest CD write speed";
  EXPECT_EQ(GetBe16(&a[8 + 12]), 2048) << "buffer size in kB";
  TCommandResult r;
  ModeSense(0x30, &r);
  EXPECT_EQ(Answer(r), "5/24/00");

  TDriveConfig config;
  config.blockDescriptor = true;
  config.page30 = true;
  Make(TMediumKind::CdR, config);
  a = ModeSense(0x05);
  EXPECT_EQ(GetBe16(&a[6]), 8);
  EXPECT_EQ(a[16], 0x05) << "the page follows the block descriptor";
  EXPECT_EQ(ModeSense(0x30)[16], 0x30);
}

TEST_F(Answers, SetCdSpeedSnapsToTheSpeedTable) {
  Make(TMediumKind::CdR);
  struct {
    uint16_t asked, got;
  } cases[] = {{0xFFFF, 7056}, {7056, 7056}, {7000, 5645}, {2822, 2822}, {1, 706}};
  for (const auto& c : cases) {
    TBytes cdb = Cdb12(0xBB);
    PutBe16(&cdb[2], 0xFFFF);
    PutBe16(&cdb[4], c.asked);
    ASSERT_EQ(Answer(Run(cdb)), "good");
    EXPECT_EQ(CurrentWriteSpeed(), c.got) << c.asked;
  }
  std::string error;
  ASSERT_TRUE(unit->Store().InsertMedium(TMedium::Blank(TMediumKind::DvdPlusR), "", &error));
  EXPECT_EQ(CurrentWriteSpeed(), 1385) << "the last request, snapped to the DVD table";
}

TEST_F(Answers, StreamingTimeStampAndOpc) {
  Make(TMediumKind::DvdR);
  TBytes descriptor(28, 0);
  PutBe32(&descriptor[8], 2295103);  // end block
  PutBe32(&descriptor[20], 11521);   // kB written ...
  PutBe32(&descriptor[24], 1000);    // ... per 1000 ms
  TBytes streaming = Cdb12(0xB6);
  PutBe16(&streaming[9], 28);
  ASSERT_EQ(Answer(Out(streaming, descriptor)), "good");
  EXPECT_EQ(CurrentWriteSpeed(), 11080) << "the fastest table speed not above 11 521";
  PutBe16(&streaming[9], 20);
  EXPECT_EQ(Answer(Out(streaming, TBytes(20, 0))), "5/1A/00") << "short descriptor";

  TBytes stamp = Cdb12(0xBF);
  stamp[7] = 0x0F;
  PutBe16(&stamp[8], 22);
  TBytes list(22, '0');
  list[0] = 0, list[1] = 20;
  EXPECT_EQ(Answer(Out(stamp, list)), "good");
  EXPECT_EQ(Answer(Run(Cdb10(0x54))), "good") << "SEND OPC INFORMATION";
  Make(TMediumKind::DvdPlusR);
  EXPECT_EQ(Answer(Out(stamp, list)), "5/24/00") << "time stamps are for DVD-R/RW";
  Make(TMediumKind::CdRom);
  EXPECT_EQ(Answer(Run(Cdb10(0x54))), "5/30/05") << "a pressed disc takes no OPC";
}

TEST_F(Answers, BufferFillsWithWritesAndEmptiesOnSynchronize) {
  TDriveConfig slow;
  slow.dvdWriteSpeeds = {1};  // drains 1 kB a second: nothing to speak of during the test
  Make(TMediumKind::DvdPlusR, slow);
  auto capacity = [&] {
    const TBytes a = In({0x5C, 0, 0, 0, 0, 0, 0, 0, 12, 0}, 12);
    return std::pair{GetBe32(&a[4]), GetBe32(&a[8])};
  };
  EXPECT_EQ(capacity(), (std::pair{2048u * 1024, 2048u * 1024}));
  ASSERT_EQ(Answer(SetWriteParameters(2, 0xC4, 0x08)), "good");
  for (uint32_t b = 0; b < 32 * 40; b += 32) ASSERT_EQ(Answer(Write(b, 32)), "good");
  EXPECT_LT(capacity().second, 64u * 1024) << "written faster than the drive records";
  ASSERT_EQ(Answer(Sync()), "good");
  EXPECT_EQ(capacity().second, 2048u * 1024);
}

TEST_F(Answers, ErrorConditions) {
  Make(TMediumKind::CdR);
  TBytes pageBad(8 + 52, 0);
  pageBad[8] = 0x05;
  pageBad[9] = 0x32;
  pageBad[10] = 0x01;
  pageBad[11] = 0x84;  // multisession 10b is reserved
  pageBad[12] = 0x08;
  TBytes select = Cdb10(0x55);
  PutBe16(&select[7], 60);
  EXPECT_EQ(Answer(Out(select, pageBad)), "5/26/00");
  pageBad[11] = 0x04;
  pageBad[12] = 0x05;  // reserved data block type
  EXPECT_EQ(Answer(Out(select, pageBad)), "5/26/00");
  EXPECT_EQ(Answer(Run(Cdb10(0xEE))), "5/20/00") << "unknown operation code";
  EXPECT_EQ(Answer(BlankDisc(0)), "5/30/05") << "a CD-R cannot be blanked";
  EXPECT_EQ(Answer(Format(0x26, 0, false)), "5/30/05");
  TCommandResult r;
  Read(0, 1, &r);
  EXPECT_EQ(Answer(r), "5/21/00") << "nothing recorded yet";
  In({0x43, 0, 0, 0, 0, 0, 0, 0, 100, 0}, 100, &r);
  EXPECT_EQ(Answer(r), "5/24/00") << "no TOC on a blank disc";
  const TBytes atip = In({0x43, 0x02, 0x04, 0, 0, 0, 0, 0, 28, 0}, 28, &r);
  ASSERT_EQ(Answer(r), "good");
  EXPECT_EQ(atip[6], 0x80);
  EXPECT_EQ(atip[12] * 4500 + atip[13] * 75 + atip[14] - 150, 359849);

  // Prevented removal, eject, an open tray, a load.
  EXPECT_EQ(Answer(Run({0x1E, 0, 0, 0, 1, 0})), "good");
  EXPECT_EQ(Answer(Run({0x1B, 0, 0, 0, 0x02, 0})), "5/53/02");
  EXPECT_EQ(Answer(Run({0x1E, 0, 0, 0, 0, 0})), "good");
  EXPECT_EQ(Answer(Run({0x1B, 0, 0, 0, 0x02, 0})), "good");
  EXPECT_EQ(Answer(TestUnitReady()), "2/3A/02");
  EXPECT_EQ(Answer(Write(0, 1)), "2/3A/02");
  EXPECT_EQ(Answer(Run({0x1B, 0, 0, 0, 0x03, 0})), "good");
  EXPECT_EQ(Answer(TestUnitReady()), "good");

  std::string error;
  ASSERT_TRUE(unit->Store().RemoveMedium(&error));
  EXPECT_EQ(Answer(TestUnitReady()), "2/3A/01");
  In({0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34, &r);
  EXPECT_EQ(Answer(r), "2/3A/01");

  // A DVD in the CD recorder.
  MakeEmpty(DefaultDrives()[1]);
  ASSERT_TRUE(unit->Store().InsertMedium(TMedium::Blank(TMediumKind::DvdR), "", &error));
  EXPECT_EQ(Answer(TestUnitReady()), "2/30/00");
}

TEST_F(Answers, BecomingReadyAfterALoad) {
  TDriveConfig config;
  config.readyDelayMs = 100;
  Make(TMediumKind::CdR, config);
  ASSERT_EQ(Answer(Run({0x1B, 0, 0, 0, 0x02, 0})), "good");
  ASSERT_EQ(Answer(Run({0x1B, 0, 0, 0, 0x03, 0})), "good");
  EXPECT_EQ(Answer(TestUnitReady()), "2/04/01");
  EXPECT_EQ(In({0x12, 0, 0, 0, 36, 0}, 36).size(), 36u) << "INQUIRY is answered meanwhile";
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  EXPECT_EQ(Answer(TestUnitReady()), "good");
}

TEST_F(Answers, Faults) {
  Make(TMediumKind::CdR);
  ASSERT_EQ(Answer(SetWriteParameters(1, 0xC4, 0x08)), "good");
  TFaults& faults = unit->Store().Faults();
  std::string error;

  ASSERT_TRUE(faults.ApplyAll("busy=3", &error)) << error;
  EXPECT_EQ(Answer(Write(0, 10)), "busy");
  EXPECT_EQ(Answer(Write(0, 10)), "2/04/08");
  EXPECT_EQ(Answer(Write(0, 10)), "busy");
  EXPECT_EQ(Answer(Write(0, 10)), "good");

  ASSERT_TRUE(faults.ApplyAll("write-error-at=15", &error));
  EXPECT_EQ(Answer(Write(10, 10)), "3/0C/00");
  ASSERT_TRUE(faults.ApplyAll("clear write-protect", &error));
  EXPECT_EQ(Answer(Write(10, 10)), "7/27/00");
  ASSERT_TRUE(faults.ApplyAll("clear medium-error-at=4 corrupt-read=7", &error));
  ASSERT_EQ(Answer(Write(10, 10)), "good");
  TCommandResult r;
  Read(3, 2, &r);
  EXPECT_EQ(Answer(r), "3/11/00");
  EXPECT_EQ(GetBe32(&r.sense[3]), 4u) << "the information field names the block";
  const TBytes seven = Read(7, 1, &r);
  ASSERT_EQ(Answer(r), "good");
  faults = TFaults();
  EXPECT_NE(seven, Read(7, 1)) << "the damaged block differs from the recorded one";

  ASSERT_TRUE(faults.ApplyAll("no-medium", &error));
  EXPECT_EQ(Answer(TestUnitReady()), "2/3A/01");
  faults = TFaults();

  // The flush, the closing commands and the write parameters, each refused on its own.
  ASSERT_TRUE(faults.ApplyAll("flush-error", &error));
  EXPECT_EQ(Answer(Sync()), "3/0C/00");
  ASSERT_TRUE(faults.ApplyAll("clear close-error=2", &error));
  EXPECT_EQ(Answer(Sync()), "good");
  EXPECT_EQ(Answer(Close(1, 1)), "good");
  EXPECT_EQ(Answer(Close(2)), "3/72/00");
  ASSERT_TRUE(faults.ApplyAll("clear close-error", &error));
  EXPECT_EQ(Answer(Close(1, 1)), "3/72/00");
  ASSERT_TRUE(faults.ApplyAll("clear refuse-write-parameters", &error));
  EXPECT_EQ(Answer(SetWriteParameters(1, 0xC4, 0x08)), "5/26/00");
  faults = TFaults();
  EXPECT_EQ(Answer(SetWriteParameters(1, 0xC4, 0x08)), "good");

  // A drive that goes away with a write answers nothing from then on, that write
  // included, until the fault is cleared.
  ASSERT_TRUE(faults.ApplyAll("gone-at=40", &error));
  EXPECT_FALSE(Write(20, 10).gone);
  EXPECT_TRUE(Write(30, 16).gone);
  EXPECT_TRUE(TestUnitReady().gone);
  EXPECT_TRUE(In({0x12, 0, 0, 0, 36, 0}, 36).empty());
  EXPECT_EQ(faults.Serialize(), "gone gone-at=40");
  faults = TFaults();
  ASSERT_TRUE(unit->Store().SaveFaults(&error)) << error;  // the drive had saved its state
  EXPECT_FALSE(TestUnitReady().gone);

  Make(TMediumKind::CdRw);
  ASSERT_TRUE(unit->Store().Faults().ApplyAll("refuse-blank", &error));
  EXPECT_EQ(Answer(BlankDisc(1)), "3/51/00");

  // A unit attention is reported once, after the next load.
  ASSERT_TRUE(unit->Store().Faults().ApplyAll("clear unit-attention", &error));
  EXPECT_EQ(Answer(TestUnitReady()), "good");
  ASSERT_EQ(Answer(Run({0x1B, 0, 0, 0, 0x02, 0})), "good");
  ASSERT_EQ(Answer(Run({0x1B, 0, 0, 0, 0x03, 0})), "good");
  EXPECT_EQ(In({0x12, 0, 0, 0, 36, 0}, 36).size(), 36u) << "INQUIRY does not take it";
  EXPECT_EQ(Answer(TestUnitReady()), "6/28/00");
  EXPECT_EQ(Answer(TestUnitReady()), "good");
}

TEST(FaultSettings, ParseAndFormat) {
  struct {
    const char* settings;
    bool ok;
    const char* formatted;
  } cases[] = {
      {"busy=4 write-protect", true, "busy=4 write-protect"},
      {"medium-error-at=100,corrupt-read=7", true, "medium-error-at=100 corrupt-read=7"},
      {"unit-attention refuse-blank no-medium", true, "no-medium unit-attention refuse-blank"},
      {"write-protect clear", true, ""},
      {"flush-error close-error gone", true, "flush-error close-error gone"},
      {"close-error=2 refuse-write-parameters gone-at=300", true,
       "close-error=2 refuse-write-parameters gone-at=300"},
      {"close-error=0", false, ""},
      {"close-error=8", false, ""},
      {"gone-at", false, ""},
      {"busy", false, ""},
      {"busy=x", false, ""},
      {"write-error-at=-1", false, ""},
      {"explode", false, ""},
  };
  for (const auto& c : cases) {
    TFaults f;
    std::string error;
    EXPECT_EQ(f.ApplyAll(c.settings, &error), c.ok) << c.settings;
    if (c.ok)
      EXPECT_EQ(f.Serialize(), c.formatted);
    else
      EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace melvaro::vrec::test
