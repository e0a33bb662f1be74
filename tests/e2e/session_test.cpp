// Multisession discs: a second session imports the first and shows every file of both;
// the import's details; extraction; discs whose directories are damaged.
#include <sys/stat.h>

#include <cstring>

#include "platform/byte_order.h"
#include "support/burn_fixture.h"

namespace melvaro::test {
namespace {

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new TVrecFolderEnvironment);

class Sessions : public Burn {
 protected:
  void SetUp() override {
    Burn::SetUp();
    // Session 2 brings new files next to the first session's, and one new folder.
    second = sources + "/Second";
    MakeFile("Second/Folder/added.txt", 5000);
    MakeFile("Second/added-at-top.bin", 70000);
    both = sources + "/Both";
    std::filesystem::copy(sources + "/Disc", both, std::filesystem::copy_options::recursive);
    std::filesystem::copy(second, both,
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::overwrite_existing);
  }
  std::string second, both;
};

struct TSessionCase {
  const char* name;
  vrec::TMediumKind medium;
};

// Failure messages name the case rather than dump its bytes.
void PrintTo(const TSessionCase& c, std::ostream* os) {
  *os << c.name;
}

class SessionMedia : public Sessions, public ::testing::WithParamInterface<TSessionCase> {};

TEST_P(SessionMedia, TheSecondSessionShowsEveryFile) {
  Load(GetParam().medium);
  ASSERT_EQ(BurnCompilation(), "");
  const uint32_t first = burner->StartBlock;
  burner->ImportSessionNumber = 255;
  ASSERT_EQ(BurnCompilation(kDvdDrive, second), "");
  burner->ImportSessionNumber = 0;
  const uint32_t start = burner->StartBlock;
  EXPECT_GT(start, first);
  {
    std::lock_guard<std::mutex> hold(messagesLock);
    EXPECT_NE(std::find(messages.begin(), messages.end(), ">>> IMPORTING SESSION # 1"),
              messages.end());
  }
  CheckDisc(start, both);
  if (GetParam().medium == vrec::TMediumKind::DvdPlusRw) {
    // Overwritable media carry the newest descriptor set at block 0, where readers look.
    CheckDisc(0, both);
  } else {
    CheckDisc(first, sources + "/Disc");  // the first session is still whole
  }
  // isoinfo reads a file of the first session through the second one's Joliet tree.
  const std::string image = sources + "/disc.iso";
  const std::string command = "isoinfo -i '" + image + "' -T " + std::to_string(start) +
                              " -J -x '/Disc/Folder/data.bin;1' | cmp - '" + sources +
                              "/Disc/Folder/data.bin'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

INSTANTIATE_TEST_SUITE_P(Vrec, SessionMedia,
                         ::testing::Values(TSessionCase{"CdR", vrec::TMediumKind::CdR},
                                           TSessionCase{"DvdPlusR", vrec::TMediumKind::DvdPlusR},
                                           TSessionCase{"DvdR", vrec::TMediumKind::DvdR},
                                           TSessionCase{"DvdPlusRw", vrec::TMediumKind::DvdPlusRw}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Sessions, ImportDetailsAndExtraction) {
  Load(vrec::TMediumKind::CdR);
  ASSERT_EQ(BurnCompilation(), "");
  burner->JolietFileSystem = false;
  ASSERT_EQ(BurnCompilation(kDvdDrive, second), "");  // ISO 9660 only
  burner->JolietFileSystem = true;
  ASSERT_EQ(BurnCompilation(kDvdDrive, second), "");  // a third session

  // 255 is the last session.
  burner->ClearCompilation(65535, 8191);
  {
    std::lock_guard<std::mutex> hold(messagesLock);
    messages.clear();
  }
  ASSERT_TRUE(burner->ImportSession(255));
  {
    std::lock_guard<std::mutex> hold(messagesLock);
    EXPECT_EQ(messages.front(), ">>> IMPORTING SESSION # 3");
  }
  // The ISO-only session: long names are the ISO names without ";1".
  burner->ClearCompilation(65535, 8191);
  ASSERT_TRUE(burner->ImportSession(2));
  TDEntry* folder = burner->FindDirectory("\\DISC\\FOLDER");
  ASSERT_TRUE(folder);
  EXPECT_TRUE(burner->FindEntry(folder, "ADDED.TXT"));
  EXPECT_EQ(burner->FindEntry(folder, "ADDED.TXT")->LongName, "ADDED.TXT");

  // The first session, through Joliet: names and structure, imported at their blocks.
  burner->ClearCompilation(65535, 8191);
  ASSERT_TRUE(burner->ImportSession(1));
  const TFEntry* data = burner->FindEntry(burner->FindDirectory("\\Disc\\Folder"), "data.bin");
  ASSERT_TRUE(data);
  EXPECT_TRUE(data->Imported);
  EXPECT_EQ(data->ShortName, "DATA.BIN");
  EXPECT_EQ(data->IsoLength, 300000);
  EXPECT_TRUE(burner->FindDirectory("\\Disc\\Folder\\Deeper"));
  EXPECT_EQ(burner->CompilationSize, 0) << "imported files add nothing";

  const std::string dest = sources + "/extracted.bin";
  ASSERT_EQ(burner->ExtractFile(data, dest), 1);
  EXPECT_EQ(ReadFile(dest), ReadFile(sources + "/Disc/Folder/data.bin"));
  struct stat st;
  ASSERT_EQ(stat(dest.c_str(), &st), 0);
  struct stat src;
  ASSERT_EQ(stat((sources + "/Disc/Folder/data.bin").c_str(), &src), 0);
  EXPECT_LE(std::llabs(static_cast<long long>(st.st_mtime - src.st_mtime)), 2)
      << "the recorded date, to the 2 seconds a file date keeps";

  // A block that cannot be read: reported, and no file is left.
  SetFaults("medium-error-at=" + std::to_string(data->IsoLocation + 40));
  EXPECT_EQ(burner->ExtractFile(data, sources + "/broken.bin"), 0);
  EXPECT_FALSE(std::filesystem::exists(sources + "/broken.bin"));
  EXPECT_FALSE(std::filesystem::exists(sources + "/broken.bin.part"));
}

// A pressed disc made from an engine image whose directories were damaged on purpose.
class DamagedDisc : public Sessions {
 protected:
  std::string Image() {
    Compile();
    burner->JolietFileSystem = false;
    burner->LayoutImage(true);
    const std::string image = sources + "/damaged.iso";
    burner->BuildImage(image, true);
    burner->JolietFileSystem = true;
    return image;
  }
  // The root's ISO directory extent, in the image file's bytes.
  static size_t RootExtent(const std::string& bytes) {
    return size_t{GetLe32(reinterpret_cast<const uint8_t*>(bytes.data()) + 16 * 2048 + 158)} * 2048;
  }
  void Press(const std::string& bytes) {
    const std::string image = sources + "/pressed.iso";
    std::ofstream(image, std::ios::binary) << bytes;
    Load(vrec::TMediumKind::CdRom, kDvdDrive, image);
    burner->SelectDevice(burner->DeviceList().at(kDvdDrive));
    burner->ClearCompilation(65535, 8191);
  }
};

TEST_F(DamagedDisc, ADirectoryPointingAtItsParentDoesNotLoop) {
  std::string bytes = ReadFile(Image());
  const size_t root = RootExtent(bytes);
  // The root's third record is the item of \DISC; point it back at the root.
  const size_t item = root + 68;
  ASSERT_EQ(bytes[item + 25] & 2, 2);
  PutLe32(reinterpret_cast<uint8_t*>(&bytes[item + 2]), static_cast<uint32_t>(root / 2048));
  Press(bytes);
  EXPECT_TRUE(burner->ImportSession(1));
  EXPECT_TRUE(burner->FindDirectory("\\DISC"));
  EXPECT_LT(burner->DirectoryCount(), 5u);
}

TEST_F(DamagedDisc, BadLengthsAndTimesAreReadSafely) {
  std::string bytes = ReadFile(Image());
  const size_t root = RootExtent(bytes);
  const size_t item = root + 68;
  auto* b = reinterpret_cast<uint8_t*>(&bytes[0]);
  // An hour of 25 in the folder item, and a record that claims to run past its block in
  // the folder's own extent.
  b[item + 18 + 3] = 25;
  const size_t folder = size_t{GetLe32(b + item + 2)} * 2048;
  b[folder + 68] = 250;
  b[folder + 68 + 32] = 240;
  Press(bytes);
  EXPECT_TRUE(burner->ImportSession(1));
  TDEntry* disc = burner->FindDirectory("\\DISC");
  ASSERT_TRUE(disc) << "the import goes on past the invalid time";
  EXPECT_GT(burner->FindEntry(burner->RootDir(), "DISC")->DateTime, 40000.0)
      << "an invalid date becomes the time of the import";
}

// A supplementary descriptor is read as Joliet only when its escape sequences name
// UCS-2; any other (or an enhanced descriptor, version 2) leaves the primary tree.
TEST_F(DamagedDisc, OnlyJolietEscapeSequencesMakeTheJolietTree) {
  Compile();
  burner->LayoutImage(true);
  const std::string image = sources + "/joliet.iso";
  burner->BuildImage(image, true);
  const std::string good = ReadFile(image);
  ASSERT_EQ(good[17 * 2048], 2) << "the Joliet descriptor";
  struct {
    const char* escape;
    uint8_t version;
    const char* name;
  } cases[] = {{"%/@", 1, "Disc"}, {"%/C", 1, "Disc"}, {"%/E", 1, "Disc"},
               {"%/F", 1, "DISC"}, {"%(B", 1, "DISC"}, {"%/@", 2, "DISC"}};
  for (const auto& k : cases) {
    SCOPED_TRACE(std::string(k.escape) + " version " + std::to_string(k.version));
    std::string bytes = good;
    std::memcpy(&bytes[17 * 2048 + 88], k.escape, 3);
    bytes[17 * 2048 + 6] = static_cast<char>(k.version);
    Press(bytes);
    ASSERT_TRUE(burner->ImportSession(1));
    ASSERT_TRUE(burner->RootDir()->FirstEntry);
    EXPECT_EQ(burner->RootDir()->FirstEntry->LongName, k.name);
  }
}

}  // namespace
}  // namespace melvaro::test
