// The layout and the header bytes: areas, numbering, extent sizes, path tables,
// descriptors and the boot catalog.
#include <algorithm>
#include <map>

#include "compilation_fixture.h"
#include "platform/file_dates.h"

namespace melvaro::test {
namespace {

TEST_F(CompilationTest, EmptyCompilation) {
  const auto& header = Header();
  EXPECT_EQ(c.IsoPathTableSize, 10u);
  EXPECT_EQ(c.JolietPathTableSize, 10u);
  EXPECT_EQ(c.PathTableL, 19u);
  EXPECT_EQ(c.PathTableM, 20u);
  EXPECT_EQ(c.JolietPathTableL, 21u);
  EXPECT_EQ(c.JolietPathTableM, 22u);
  EXPECT_EQ(c.IsoDirArea, 23u);
  EXPECT_EQ(c.JolietDirArea, 24u);
  EXPECT_EQ(c.RootDir()->IsoDirSize, 2048);
  EXPECT_EQ(c.PadBlocks, 125);
  EXPECT_EQ(c.FirstFileBlock, 150u);
  EXPECT_EQ(c.ImageBlockCount, 150);
  EXPECT_EQ(c.ImageBlocks(), 300);
  c.WritePostGap = false;
  EXPECT_EQ(c.ImageBlocks(), 150);
  EXPECT_EQ(header.size(), 25u * 2048);
  for (size_t i = 0; i < 16 * 2048; ++i) ASSERT_EQ(header[i], 0) << "system area byte " << i;
  // The root's path table record: 10 bytes, extent, parent 1.
  const uint8_t* l = Block(19);
  EXPECT_EQ(l[0], 1);
  EXPECT_EQ(GetLe32(l + 2), 23u);
  EXPECT_EQ(GetLe16(l + 6), 1);
  EXPECT_EQ(GetBe32(Block(20) + 2), 23u) << "type M is big-endian";
  EXPECT_EQ(c.DescriptorCopyLength(), 19u * 2048);
  EXPECT_EQ(c.DescriptorCopy()[19 * 2048], 0xFF) << "the rest of the copy is FFh";
}

TEST_F(CompilationTest, DirectoriesNumberedInPathTableOrderKeepTheirExtentOrder) {
  TDEntry* zeta = c.CreateDirectory(c.RootDir(), "Zeta", 16);
  TDEntry* alpha = c.CreateDirectory(c.RootDir(), "Alpha", 16);
  Header();
  EXPECT_EQ(alpha->Number, 2u);
  EXPECT_EQ(zeta->Number, 3u);
  EXPECT_LT(zeta->IsoDirBlock, alpha->IsoDirBlock) << "extents in creation order";
  const uint8_t* l = Block(c.PathTableL);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(l + 10 + 8), 5), "ALPHA");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(l + 10 + 14 + 8), 4), "ZETA");
  const uint8_t* j = Block(c.JolietPathTableL);
  EXPECT_EQ(j[10], 10) << "Alpha in UCS-2";
  EXPECT_EQ(GetBe16(j + 10 + 8), 'A');
  EXPECT_EQ(GetBe16(j + 10 + 8 + 2), 'l');
}

TEST_F(CompilationTest, PathTablesStayInOrderBeyond9999Directories) {
  c.ClearCompilation(600000, 20000);
  // Level 2 created in descending name order, level 3 under every 100th of them.
  for (int i = 10049; i >= 0; --i) {
    TDEntry* d = c.CreateDirectory(c.RootDir(), "D" + std::to_string(100000 + i), 16);
    ASSERT_TRUE(d);
    if (i % 100 == 0) c.CreateDirectory(d, "SUB" + std::to_string(i % 7), 16);
  }
  Header();
  const size_t size = c.IsoPathTableSize;
  std::vector<uint8_t> table(Block(c.PathTableL), Block(c.PathTableL) + size);
  uint16_t lastParent = 0;
  std::string lastName;
  size_t records = 0;
  for (size_t at = 0; at < table.size();) {
    const uint8_t n = table[at];
    const uint16_t parent = GetLe16(&table[at + 6]);
    const std::string name(reinterpret_cast<const char*>(&table[at + 8]), n);
    if (records > 0) {
      ASSERT_GE(parent, lastParent) << "record " << records;
      if (parent == lastParent) {
        ASSERT_GT(name, lastName) << "record " << records;
      }
    }
    lastParent = parent;
    lastName = name;
    at += 8 + n + (n % 2);
    ++records;
  }
  EXPECT_EQ(records, c.DirectoryCount() + 1);
  EXPECT_EQ(c.FindDirectory("\\D100000")->Number, 2u);
}

TEST_F(CompilationTest, RecordsThatExactlyFillABlock) {
  // ISO 9660: 45 records of 44 bytes ("F00001.TX;1") after "." and "..": 2048.
  for (int i = 1; i <= 45; ++i)
    ASSERT_EQ(
        c.InsertFile("\\", File("f" + std::to_string(100000 + i).substr(1) + ".tx", 1), false), 1);
  Header();
  EXPECT_EQ(c.RootDir()->IsoDirSize, 2048);
  ASSERT_EQ(c.InsertFile("\\", File("z.tx", 1), false), 1);
  Header();
  EXPECT_EQ(c.RootDir()->IsoDirSize, 4096);
  const uint8_t* second = Block(c.IsoDirArea + 1);
  EXPECT_EQ(second[0], 40) << "the 46th record starts the second block";
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(second + 33), 5), "Z.TX;");
  EXPECT_EQ(Block(c.IsoDirArea)[2047], '1') << "the 45th record ends the first block";

  // Joliet: 22 records of 90 bytes (26-character names and ";1"): 2048.
  c.ClearCompilation(65535, 8191);
  for (int i = 0; i < 22; ++i)
    ASSERT_EQ(c.InsertFile("\\", File(std::string(22, 'a' + i) + ".txt", 1), false), 1);
  Header();
  EXPECT_EQ(c.RootDir()->JolietDirSize, 2048);
  ASSERT_EQ(c.InsertFile("\\", File(std::string(22, 'z') + ".txt", 1), false), 1);
  Header();
  EXPECT_EQ(c.RootDir()->JolietDirSize, 4096);
  const uint8_t* joliet = Block(c.JolietDirArea + 1);
  EXPECT_EQ(joliet[0], 90) << "the 23rd record starts the second block";
  EXPECT_EQ(GetBe16(joliet + 33), 'z');
  EXPECT_EQ(c.HeaderStream().size(), size_t{c.JolietDirArea + 2} * 2048)
      << "the planned extents are the written ones";
}

TEST_F(CompilationTest, PathTableOfExactly4096Bytes) {
  // 10 + 254 records of 16 bytes (8-character names) + one of 10 and one of 12: 4096.
  for (int i = 0; i < 254; ++i) {
    TSearchRec rec;
    rec.Name = "D" + std::to_string(10000000 + i).substr(1);
    rec.Attr = faDirectory;
    ASSERT_TRUE(c.AddDirectory(c.RootDir(), rec));
  }
  for (const char* name : {"A", "ABC"}) {
    TSearchRec last;
    last.Name = name;
    last.Attr = faDirectory;
    ASSERT_TRUE(c.AddDirectory(c.RootDir(), last));
  }
  Header();
  EXPECT_EQ(c.IsoPathTableSize, 4096u);
  EXPECT_EQ(c.PathTableM, c.PathTableL + 2) << "two blocks, no padding block";
}

TEST_F(CompilationTest, ZeroLengthHiddenAndJolietOff) {
  ASSERT_EQ(c.InsertFile("\\", File("empty.dat", 0), false), 1);
  ASSERT_EQ(c.InsertFile("\\", File("data.bin", 5000), false), 1);
  c.RootDir()->FirstEntry->Next->Attributes |= faHidden;
  Header();
  const TFEntry* empty = c.RootDir()->FirstEntry;
  const TFEntry* data = empty->Next;
  EXPECT_EQ(empty->IsoLocation, 0u);
  EXPECT_EQ(data->IsoLocation, 0u) << "a zero-length file takes no blocks";
  EXPECT_EQ(c.TotalFileBlocks, 3);
  for (uint32_t area : {c.IsoDirArea, c.JolietDirArea}) {
    // By name: data.bin, then empty.dat.
    const uint8_t* r = Block(area) + 68;
    EXPECT_EQ(GetLe32(r + 2), 150u);
    EXPECT_EQ(GetLe32(r + 10), 5000u);
    EXPECT_EQ(r[25] & 1, 1) << "hidden: the existence bit";
    r += r[0];
    EXPECT_EQ(GetLe32(r + 2), 0u) << "extent 0 for the empty file";
    EXPECT_EQ(r[25] & 1, 0);
  }

  c.JolietFileSystem = false;
  Header();
  EXPECT_EQ(Block(17)[0], 255) << "the terminator follows the primary descriptor";
  EXPECT_EQ(c.IsoDirArea, c.PathTableM + 1);
  EXPECT_EQ(c.HeaderStream().size(), size_t{c.IsoDirArea + 1} * 2048);
}

TEST_F(CompilationTest, JolietNamesFitTheirRecordsAndStayUnique) {
  const std::string prefix(104, 'n');
  ASSERT_EQ(c.InsertFile("\\", File(prefix + "1.txt", 1), false), 1);
  ASSERT_EQ(c.InsertFile("\\", File(prefix + "2.txt", 1), false), 1);
  ASSERT_EQ(c.InsertFile("\\", File("short.txt", 1), false), 1);
  Header();
  const TFEntry* first = c.RootDir()->FirstEntry;
  EXPECT_EQ(first->JolietName, std::u16string(99, u'n') + u".txt") << "the stem is cut";
  EXPECT_EQ(first->Next->JolietName, std::u16string(97, u'n') + u"~1.txt");
  EXPECT_EQ(first->Next->Next->JolietName, u"short.txt");
  // Both shortened names are told, once, however often the compilation is laid out.
  auto shortened = [&] {
    return std::count_if(messages.begin(), messages.end(), [](const auto& m) {
      return m.second == 3 && m.first.rfind(">>> JOLIET NAME SHORTENED: \\nnn", 0) == 0;
    });
  };
  EXPECT_EQ(shortened(), 2);
  Header();
  EXPECT_EQ(shortened(), 2);
  // Every record of the Joliet root fits its length byte and the block.
  const uint8_t* r = Block(c.JolietDirArea);
  int records = 0;
  for (size_t at = 0; at < 2048 && r[at]; at += r[at]) ++records;
  EXPECT_EQ(records, 5);
}

TEST_F(CompilationTest, VolumeDescriptorFields) {
  TZone zone("UTC0");  // the offset bytes below are 0
  c.IdVolume = "mydisc7";
  c.IdPublisher = "Somebody";
  const auto& header = Header();
  (void)header;
  const uint8_t* pvd = Block(16);
  EXPECT_EQ(pvd[0], 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(pvd + 1), 5), "CD001");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(pvd + 40), 32),
            "MYDISC7" + std::string(25, ' '));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(pvd + 318), 8), "SOMEBODY");
  EXPECT_EQ(GetLe32(pvd + 80), 150u);
  EXPECT_EQ(GetBe32(pvd + 84), 150u);
  EXPECT_EQ(pvd[88], 0) << "no escape sequence in the primary descriptor";
  EXPECT_EQ(GetLe16(pvd + 128), 2048);
  EXPECT_EQ(GetLe32(pvd + 140), c.PathTableL);
  EXPECT_EQ(GetBe32(pvd + 148), c.PathTableM);
  EXPECT_EQ(pvd[156], 34);
  EXPECT_EQ(GetLe32(pvd + 158), c.IsoDirArea);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(pvd + 847), 16), std::string(16, '0'));
  EXPECT_EQ(pvd[881], 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(pvd + 1024), 8), std::string(8, ' '));

  const uint8_t* svd = Block(17);
  EXPECT_EQ(svd[0], 2);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(svd + 88), 3), "%/@");
  std::u16string volume;
  for (int i = 0; i < 16; ++i) volume.push_back(static_cast<char16_t>(GetBe16(svd + 40 + 2 * i)));
  EXPECT_EQ(volume, u"mydisc7         ") << "case kept, 9 UCS-2 spaces";
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(svd + 813), 16), "1899123000000000")
      << "DateCreation 0";
  EXPECT_EQ(svd[829], 0);
  EXPECT_EQ(svd[702 + 36], 0) << "the 37th byte of a file identifier stays zero";
  EXPECT_EQ(GetLe32(svd + 158), c.JolietDirArea);

  c.IdVolume = "A volume label of 20";
  Header();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Block(16) + 40), 20), "A VOLUME LABEL OF 20");
  EXPECT_EQ(GetBe16(Block(17) + 40 + 2 * 15), 'o') << "16 characters in the Joliet field";

  TDateFields f = {2026, 12, 10, 9, 5, 7, 345};
  c.DateModification = EncodeDateTime(f);
  Header();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Block(17) + 830), 16), "2026121009050734");
}

TEST_F(CompilationTest, BootRecordAndCatalog) {
  struct {
    size_t bytes;
    uint8_t media;
  } cases[] = {{1228800, 1}, {1474560, 2}, {2949120, 3}, {2048, 4}, {4096, 4}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.bytes);
    c.BootImagePath = File("boot.img", k.bytes);
    c.BootImageEnabled = true;
    Header();
    const uint8_t* record = Block(17);
    EXPECT_EQ(record[0], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(record + 7), 23),
              "EL TORITO SPECIFICATION");
    EXPECT_EQ(GetLe32(record + 71), c.BootCatalogBlock);
    EXPECT_EQ(Block(18)[0], 2) << "the Joliet descriptor follows";
    const uint8_t* catalog = Block(c.BootCatalogBlock);
    uint16_t sum = 0;
    for (int i = 0; i < 32; i += 2) sum = static_cast<uint16_t>(sum + GetLe16(catalog + i));
    EXPECT_EQ(sum, 0) << "the validation entry sums to 0";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(catalog + 4), 19), "Kelvo CD/DVD Burner");
    EXPECT_EQ(catalog[30], 0x55);
    EXPECT_EQ(catalog[31], 0xAA);
    EXPECT_EQ(catalog[32], 0x88);
    EXPECT_EQ(catalog[33], k.media);
    EXPECT_EQ(GetLe16(catalog + 38), 1);
    EXPECT_EQ(GetLe32(catalog + 40), c.BootImageBlock);
    EXPECT_EQ(c.BootImageBlock, c.BootCatalogBlock + 1);
    EXPECT_EQ(c.BootImageBlocks, (k.bytes + 2047) / 2048);
    EXPECT_EQ(c.HeaderStream().size(), size_t{c.BootCatalogBlock + 1} * 2048);
  }
  c.BootImagePath = folder + "/gone.img";
  c.BootImageEnabled = true;
  Header();
  EXPECT_FALSE(c.BootImageEnabled) << "a missing boot image is left out";
  EXPECT_EQ(Block(17)[0], 2);
}

}  // namespace
}  // namespace melvaro::test
