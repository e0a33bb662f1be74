// Drive and medium information read through the engine from every kind of virtual
// medium: blank, with one open session, with a closed session, and after closing the
// disc. The sessions are written with plain WRITE and CLOSE TRACK/SESSION commands.
#include <cstdio>
#include <fstream>

#include "support/vrec_drive.h"

namespace melvaro::test {
namespace {

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new TVrecFolderEnvironment);

// Every query of the medium, on one line.
std::string Describe(TSCSIDevice& d) {
  TDisc disc;
  d.GetDiscInfo(disc);
  const uint8_t kind = d.MediumKind();
  const bool erasable = d.IsErasable();
  const int sessions = d.SessionCount();
  const uint32_t used = d.UsedBlocks(), free = d.FreeBlocks(), capacity = d.DiscCapacity();
  char line[400];
  std::snprintf(line, sizeof line,
                "kind %d, %s, %u/%u blocks, sessions %d-%d, last %d, disc %d, erasable %d | %s "
                "sessions %d used %u free %u capacity %u",
                kind, disc.Ready ? disc.MediumName.c_str() : "not ready", disc.RecordedBlocks,
                disc.TotalBlocks, disc.FirstSession, disc.LastSession, disc.LastSessionState,
                disc.DiscState, disc.Erasable, erasable ? "erasable" : "fixed", sessions, used,
                free, capacity);
  return line;
}

struct TMediumCase {
  const char* name;
  vrec::TMediumKind medium;
  uint8_t kind;
  std::array<const char*, 4> expected;  // blank, open session, closed session, closed disc
};

// Failure messages name the case rather than dump its bytes.
void PrintTo(const TMediumCase& c, std::ostream* os) {
  *os << c.name;
}

class MediumInformation : public TVrecDriveTest,
                          public ::testing::WithParamInterface<TMediumCase> {};

TEST_P(MediumInformation, BlankOpenSessionClosedSessionClosedDisc) {
  const TMediumCase& c = GetParam();
  Load(c.medium);
  SharedDriveState().CurrentMediumKind = c.kind;
  EXPECT_EQ(Describe(*device), c.expected[0]) << "blank";
  if (c.kind == kKindDvdPlusRw) {
    const uint8_t list[12] = {0, 0x82, 0, 8, 0, 0x23, 5, 0x40, 0x98, 0, 0, 0};
    ASSERT_TRUE(device->FormatUnit(0x11, list, sizeof list));
    ASSERT_TRUE(device->WaitForReady(10000, 1000));
  }
  WriteTrack(c.kind, 3000);
  EXPECT_EQ(Describe(*device), c.expected[1]) << "open session";
  CloseSession(c.kind, 1, false);
  EXPECT_EQ(Describe(*device), c.expected[2]) << "closed session";
  WriteTrack(c.kind, 1000);
  CloseSession(c.kind, 2, true);
  EXPECT_EQ(Describe(*device), c.expected[3]) << "closed disc";
}

INSTANTIATE_TEST_SUITE_P(
    Vrec, MediumInformation,
    ::testing::Values(
        TMediumCase{"CdR",
                    vrec::TMediumKind::CdR,
                    kKindCdR,
                    {"kind 2, CD-R, 0/359849 blocks, sessions 0-0, last 0, disc 0, erasable 0 | "
                     "fixed sessions 0 used 0 free 359849 capacity 359999",
                     "kind 2, CD-R, 3000/359849 blocks, sessions 0-0, last 1, disc 1, erasable 0 | "
                     "fixed sessions 1 used 2999 free 356849 capacity 359999",
                     "kind 2, CD-R, 14400/359849 blocks, sessions 1-1, last 0, disc 1, erasable 0 "
                     "| fixed sessions 1 used 14400 free 345449 capacity 359999",
                     "kind 2, CD-R, 15400/359999 blocks, sessions 1-2, last 3, disc 2, erasable 0 "
                     "| fixed sessions 2 used 15399 free 0 capacity 359999"}},
        TMediumCase{"CdRw",
                    vrec::TMediumKind::CdRw,
                    kKindCdRw,
                    {"kind 3, CD-RW, 0/359849 blocks, sessions 0-0, last 0, disc 0, erasable 1 | "
                     "erasable sessions 0 used 0 free 359849 capacity 359999",
                     "kind 3, CD-RW, 3000/359849 blocks, sessions 0-0, last 1, disc 1, erasable 1 "
                     "| erasable sessions 1 used 2999 free 356849 capacity 359999",
                     "kind 3, CD-RW, 14400/359849 blocks, sessions 1-1, last 0, disc 1, erasable 1 "
                     "| erasable sessions 1 used 14400 free 345449 capacity 359999",
                     "kind 3, CD-RW, 15400/359999 blocks, sessions 1-2, last 3, disc 2, erasable 1 "
                     "| erasable sessions 2 used 15399 free 0 capacity 359999"}},
        TMediumCase{"DvdR",
                    vrec::TMediumKind::DvdR,
                    kKindDvdR,
                    {"kind 5, DVD-R, 0/2295104 blocks, sessions 0-0, last 0, disc 0, erasable 0 | "
                     "fixed sessions 0 used 0 free 2295104 capacity 2295104",
                     "kind 5, DVD-R, 3000/2295104 blocks, sessions 0-0, last 1, disc 1, erasable 0 "
                     "| fixed sessions 1 used 3000 free 2292104 capacity 2295104",
                     "kind 5, DVD-R, 0/0 blocks, sessions 1-1, last 0, disc 1, erasable 0 | fixed "
                     "sessions 1 used 3008 free 2292096 capacity 2295104",
                     "kind 5, DVD-R, 0/0 blocks, sessions 1-2, last 0, disc 1, erasable 0 | fixed "
                     "sessions 2 used 4016 free 2291088 capacity 2295104"}},
        TMediumCase{"DvdRam",
                    vrec::TMediumKind::DvdRam,
                    kKindDvdRam,
                    {"kind 6, DVD-RAM, 0/2236704 blocks, sessions 1-1, last 3, disc 3, erasable 1 "
                     "| erasable sessions 1 used 0 free 2236704 capacity 2236704",
                     "kind 6, DVD-RAM, 3008/2236704 blocks, sessions 1-1, last 3, disc 3, erasable "
                     "1 | erasable sessions 1 used 3000 free 2233704 capacity 2236704",
                     "kind 6, DVD-RAM, 3008/2236704 blocks, sessions 1-1, last 3, disc 3, erasable "
                     "1 | erasable sessions 1 used 3000 free 2233704 capacity 2236704",
                     "kind 6, DVD-RAM, 4016/2236704 blocks, sessions 1-1, last 3, disc 3, erasable "
                     "1 | erasable sessions 1 used 3000 free 2233704 capacity 2236704"}},
        TMediumCase{
            "DvdRwRo",
            vrec::TMediumKind::DvdRwRo,
            kKindDvdRwRestricted,
            {"kind 8, DVD-RW Restricted Overwrite, 0/2295104 blocks, sessions 1-1, last 3, disc 2, "
             "erasable 1 | erasable sessions 1 used 0 free 2295104 capacity 2295104",
             "kind 8, DVD-RW Restricted Overwrite, 3008/2295104 blocks, sessions 1-1, last 3, disc "
             "2, erasable 1 | erasable sessions 1 used 2295104 free 2292096 capacity 2295104",
             "kind 8, DVD-RW Restricted Overwrite, 3008/2295104 blocks, sessions 1-1, last 3, disc "
             "2, erasable 1 | erasable sessions 1 used 2295104 free 2292096 capacity 2295104",
             "kind 8, DVD-RW Restricted Overwrite, 4016/2295104 blocks, sessions 1-1, last 3, disc "
             "2, erasable 1 | erasable sessions 1 used 2295104 free 2291088 capacity 2295104"}},
        TMediumCase{
            "DvdRwSeq",
            vrec::TMediumKind::DvdRwSeq,
            kKindDvdRwSequential,
            {"kind 9, DVD-RW Sequential Recording, 0/2295104 blocks, sessions 0-0, last 0, disc 0, "
             "erasable 1 | erasable sessions 0 used 0 free 2295104 capacity 2295104",
             "kind 9, DVD-RW Sequential Recording, 3000/2295104 blocks, sessions 0-0, last 1, disc "
             "1, erasable 1 | erasable sessions 1 used 2295104 free 2292104 capacity 2295104",
             "kind 9, DVD-RW Sequential Recording, 0/0 blocks, sessions 1-1, last 0, disc 1, "
             "erasable 1 | erasable sessions 1 used 0 free 2292096 capacity 2295104",
             "kind 9, DVD-RW Sequential Recording, 0/0 blocks, sessions 1-2, last 0, disc 1, "
             "erasable 1 | erasable sessions 2 used 0 free 2291088 capacity 2295104"}},
        TMediumCase{"DvdPlusRw",
                    vrec::TMediumKind::DvdPlusRw,
                    kKindDvdPlusRw,
                    {"kind 10, DVD+RW, 0/2295104 blocks, sessions 0-0, last 0, disc 0, erasable 1 "
                     "| erasable sessions 0 used 0 free 2295104 capacity 2295104",
                     "kind 10, DVD+RW, 3008/2295104 blocks, sessions 1-1, last 3, disc 2, erasable "
                     "1 | erasable sessions 1 used 3000 free 2292104 capacity 2295104",
                     "kind 10, DVD+RW, 3008/2295104 blocks, sessions 1-1, last 3, disc 2, erasable "
                     "1 | erasable sessions 1 used 3000 free 2292104 capacity 2295104",
                     "kind 10, DVD+RW, 4016/2295104 blocks, sessions 1-1, last 3, disc 2, erasable "
                     "1 | erasable sessions 1 used 3000 free 2292104 capacity 2295104"}},
        TMediumCase{"DvdPlusR",
                    vrec::TMediumKind::DvdPlusR,
                    kKindDvdPlusR,
                    {"kind 11, DVD+R, 0/2295104 blocks, sessions 0-0, last 0, disc 0, erasable 0 | "
                     "fixed sessions 0 used 0 free 2295104 capacity 2295104",
                     "kind 11, DVD+R, 3000/2295104 blocks, sessions 0-0, last 1, disc 1, erasable "
                     "0 | fixed sessions 1 used 3000 free 2292104 capacity 2295104",
                     "kind 11, DVD+R, 0/0 blocks, sessions 1-1, last 0, disc 1, erasable 0 | fixed "
                     "sessions 1 used 3008 free 2292096 capacity 2295104",
                     "kind 11, DVD+R, 0/0 blocks, sessions 1-2, last 3, disc 2, erasable 0 | fixed "
                     "sessions 2 used 0 free 0 capacity 0"}},
        TMediumCase{"DvdPlusRDl",
                    vrec::TMediumKind::DvdPlusRDl,
                    kKindDvdPlusRDl,
                    {"kind 12, ???????, 0/4173824 blocks, sessions 0-0, last 0, disc 0, erasable 0 "
                     "| fixed sessions 0 used 0 free 4173824 capacity 4173824",
                     "kind 12, ???????, 3000/4173824 blocks, sessions 0-0, last 1, disc 1, "
                     "erasable 0 | fixed sessions 1 used 3000 free 4170824 capacity 4173824",
                     "kind 12, ???????, 0/0 blocks, sessions 1-1, last 0, disc 1, erasable 0 | "
                     "fixed sessions 1 used 3008 free 4170816 capacity 4173824",
                     "kind 12, ???????, 0/0 blocks, sessions 1-2, last 3, disc 2, erasable 0 | "
                     "fixed sessions 2 used 0 free 0 capacity 0"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TVrecDriveTest, PressedDiscsAndNoMedium) {
  const std::string image = TVrecFolderEnvironment::folder + "/pressed.iso";
  std::vector<uint8_t> data(300 * 2048, 0);
  data[16 * 2048] = 1;
  std::memcpy(&data[16 * 2048 + 1], "CD001", 5);
  data[16 * 2048 + 80] = 44;  // 300 blocks
  data[16 * 2048 + 81] = 1;
  std::ofstream(image, std::ios::binary)
      .write(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));

  Load(vrec::TMediumKind::CdRom, kDvdDrive, image);
  EXPECT_EQ(Describe(*device),
            "kind 1, CD-ROM, 300/300 blocks, sessions 1-1, last 3, disc 2, erasable 0 | fixed "
            "sessions 1 used 299 free 0 capacity 300");
  EXPECT_EQ(device->VolumeBlocks(), 300u);
  Load(vrec::TMediumKind::DvdRom, kDvdDrive, image);
  EXPECT_EQ(Describe(*device),
            "kind 4, DVD-ROM, 0/0 blocks, sessions 1-1, last 3, disc 2, erasable 0 | fixed "
            "sessions 1 used 0 free 0 capacity 0");
  vrec::TDriveStore store(TVrecFolderEnvironment::folder, kDvdDrive);
  std::string error;
  store.Refresh(&error);
  ASSERT_TRUE(store.RemoveMedium(&error));
  EXPECT_EQ(Describe(*device),
            "kind 0, not ready, 0/0 blocks, sessions 0-0, last 0, disc 0, erasable 0 | fixed "
            "sessions 0 used 0 free 0 capacity 0");
  EXPECT_EQ(device->DiscStatus(), -1);
}

}  // namespace
}  // namespace melvaro::test
