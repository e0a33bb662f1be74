// Finding a session's start on drives that refuse some of the commands that give it, as
// read-only and emulated drives do: a pressed disc played by a scripted kernel.
#include "compilation/session_start.h"

#include <set>

#include "compilation_fixture.h"
#include "drive/scsi_device.h"
#include "support/fakes.h"

namespace melvaro::test {
namespace {

// A read-only drive holding a disc whose sessions start at `starts`, with the image's
// blocks from block 0. It refuses the operation codes and READ TOC formats it is told to.
struct TPressedDisc {
  std::vector<uint8_t> image;
  std::vector<uint32_t> starts{0};
  std::set<uint8_t> refused;     // operation codes answered with INVALID COMMAND OPERATION CODE
  std::set<uint8_t> refusedToc;  // READ TOC formats answered with INVALID FIELD IN CDB

  static int Refuse(sg_io_hdr_t& hdr, uint8_t asc) {
    const uint8_t sense[18] = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, asc, 0x00};
    std::memcpy(hdr.sbp, sense, sizeof sense);
    hdr.sb_len_wr = sizeof sense;
    hdr.driver_status = 0x08;
    return 2;
  }
  static void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
  }
  int Answer(sg_io_hdr_t& hdr) {
    const uint8_t* cdb = hdr.cmdp;
    auto* out = static_cast<uint8_t*>(hdr.dxferp);
    const uint8_t sessions = static_cast<uint8_t>(starts.size());
    if (refused.count(cdb[0])) return Refuse(hdr, 0x20);
    switch (cdb[0]) {
      case 0x00:
        return 0;
      case 0x28: {
        const uint32_t block = GetBe32(cdb + 2);
        const uint32_t count = GetBe16(cdb + 7);
        for (uint32_t i = 0; i < count; ++i) {
          const size_t at = size_t{block + i} * 2048;
          uint8_t* to = out + size_t{i} * 2048;
          if (at + 2048 <= image.size())
            std::memcpy(to, image.data() + at, 2048);
          else
            std::memset(to, 0, 2048);
        }
        return 0;
      }
      case 0x51:  // a complete disc, its last session complete
        std::memset(out, 0, hdr.dxfer_len);
        out[1] = 32;
        out[2] = sessions ? 0x0E : 0x00;
        out[3] = 1;
        out[4] = sessions;
        return 0;
      case 0x52:
        std::memset(out, 0, hdr.dxfer_len);
        if (cdb[5] == 0 || cdb[5] > sessions) return Refuse(hdr, 0x24);
        out[1] = 38;
        out[2] = cdb[5];
        Put32(out + 8, starts[cdb[5] - 1]);
        return 0;
      case 0x43: {
        const uint8_t format = cdb[2] & 0x0F;
        if (refusedToc.count(format)) return Refuse(hdr, 0x24);
        std::memset(out, 0, hdr.dxfer_len);
        out[1] = 10;
        out[2] = 1;
        out[3] = sessions;
        out[5] = 0x14;
        if (format == 1) {
          out[6] = sessions;  // one track per session
          Put32(out + 8, starts.back());
        } else {
          const uint8_t track = std::max<uint8_t>(cdb[6], 1);
          if (track > sessions) return Refuse(hdr, 0x24);
          out[6] = track;
          Put32(out + 8, starts[track - 1]);
        }
        return 0;
      }
      default:
        return Refuse(hdr, 0x20);
    }
  }
};

class PressedDisc : public CompilationTest {
 protected:
  void SetUp() override {
    CompilationTest::SetUp();
    auto k = std::make_unique<TFakeKernel>();
    k->nodes[0].inquiry = InquiryAnswer("QEMU    ", "QEMU DVD-ROM    ", "2.5+");
    k->nodes[0].command = [this](sg_io_hdr_t& hdr) { return disc.Answer(hdr); };
    transport = std::make_unique<TTransport>(std::move(k));
    drive = std::make_unique<TSCSIDevice>(*transport, clock);
    ASSERT_TRUE(drive->InitializeASPI(true, "/nonexistent/libwnaspi32.so"));
    drive->SetCurrentAddress(0, 0, 0);
  }
  // The report lines of one search.
  std::vector<std::string> Find(uint8_t wanted, TSessionStart& start, int expected) {
    std::vector<std::string> lines;
    EXPECT_EQ(FindSessionStart(*drive, wanted, start,
                               [&](const std::string& line) { lines.push_back(line); }),
              expected);
    return lines;
  }

  TPressedDisc disc;
  TFakeClock clock;
  std::unique_ptr<TTransport> transport;
  std::unique_ptr<TSCSIDevice> drive;
};

TEST_F(PressedDisc, EachRefusalIsAnsweredByTheNextSource) {
  struct {
    const char* name;
    std::vector<uint32_t> starts;
    std::set<uint8_t> refused, refusedToc;
    uint8_t wanted;
    int result;
    uint8_t session;
    uint32_t block;
    std::vector<std::string> lines;
  } cases[] = {
      {"a recorder",
       {0, 20000},
       {},
       {},
       255,
       1,
       2,
       20000,
       {">>> SESSION 2 STARTS AT BLOCK 20000 FROM READ TRACK INFORMATION"}},
      {"no READ TRACK INFORMATION",
       {0, 20000},
       {0x52},
       {},
       255,
       1,
       2,
       20000,
       {">>> SESSION 2 STARTS AT BLOCK 20000 FROM READ TOC FORMAT 1"}},
      {"an earlier session from the track list",
       {0, 20000, 41000},
       {0x52},
       {},
       2,
       1,
       2,
       20000,
       {">>> SESSION 2 STARTS AT BLOCK 20000 FROM READ TOC FORMAT 0"}},
      {"the first session of several",
       {0, 20000},
       {0x52},
       {0, 1},
       1,
       1,
       1,
       0,
       {">>> SESSION 1 STARTS AT BLOCK 0 FROM THE DISC'S FIRST BLOCK"}},
      {"a pressed disc without READ TOC format 1",
       {0},
       {0x52},
       {1},
       255,
       1,
       1,
       0,
       {">>> SESSION 1 STARTS AT BLOCK 0 FROM THE DISC'S FIRST BLOCK"}},
      {"no disc information",
       {0, 20000},
       {0x51, 0x52},
       {},
       255,
       1,
       2,
       20000,
       {">>> SESSION COUNT 2 FROM READ TOC FORMAT 1",
        ">>> SESSION 2 STARTS AT BLOCK 20000 FROM READ TOC FORMAT 1"}},
      {"a ready disc and nothing else",
       {0},
       {0x51, 0x52, 0x43},
       {},
       255,
       1,
       1,
       0,
       {">>> SESSION COUNT 1 FROM TEST UNIT READY",
        ">>> SESSION 1 STARTS AT BLOCK 0 FROM THE DISC'S FIRST BLOCK"}},
      {"a later session nothing locates", {0, 20000}, {0x52, 0x43}, {}, 2, -1, 2, 0, {}},
      {"session 0", {0}, {}, {}, 0, 0, 0, 0, {}},
  };
  for (const auto& c : cases) {
    disc.starts = c.starts;
    disc.refused = c.refused;
    disc.refusedToc = c.refusedToc;
    TSessionStart start;
    EXPECT_EQ(Find(c.wanted, start, c.result), c.lines) << c.name;
    EXPECT_EQ(start.session, c.session) << c.name;
    EXPECT_EQ(start.block, c.block) << c.name;
  }
}

TEST_F(PressedDisc, AnEmptyDiscHasNoSessionAndNothingIsGuessed) {
  disc.refused = {0x52};
  disc.starts.clear();  // disc information: no session
  TSessionStart start;
  EXPECT_TRUE(Find(255, start, 0).empty());
}

// A pressed disc in a drive that answers neither READ TRACK INFORMATION nor READ TOC
// format 1 is listed, and the import says which answer it used.
TEST_F(PressedDisc, IsImported) {
  ASSERT_EQ(c.InsertFile("\\", File("readme.txt", 100), false), 1);
  ASSERT_TRUE(c.ForceDirectory("\\Folder"));
  ASSERT_EQ(c.InsertFile("\\Folder", File("data.bin", 70000), false), 1);
  disc.image = Header();
  disc.refused = {0x52};
  disc.refusedToc = {1};

  TCompilation read;
  read.ClearCompilation(65535, 8191);
  std::vector<std::pair<std::string, uint8_t>> lines;
  read.OnMessage = [&](const std::string& m, uint8_t type) { lines.emplace_back(m, type); };
  read.Drive = drive.get();
  ASSERT_TRUE(read.ImportSession(255, nullptr));
  const TFEntry* data = read.FindEntry(read.FindDirectory("\\Folder"), "data.bin");
  ASSERT_TRUE(data);
  EXPECT_TRUE(data->Imported);
  EXPECT_EQ(data->IsoLength, 70000);
  EXPECT_TRUE(read.FindEntry(read.RootDir(), "readme.txt"));
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], std::make_pair(std::string(">>> IMPORTING SESSION # 1"), uint8_t{1}));
  EXPECT_EQ(
      lines[1],
      std::make_pair(std::string(">>> SESSION 1 STARTS AT BLOCK 0 FROM THE DISC'S FIRST BLOCK"),
                     uint8_t{1}));

  // A later session nothing can locate is the import's error, named as before.
  disc.starts = {0, 20000};
  disc.refused = {0x52, 0x43};
  lines.clear();
  EXPECT_FALSE(read.ImportSession(2, nullptr));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], std::make_pair(std::string(">>> ERROR IMPORTING SESSION # 2"), uint8_t{4}));
}

}  // namespace
}  // namespace melvaro::test
