// Names on the disc: the 8.3 identifiers of the primary tree, the Joliet identifiers,
// the order of directory records and path tables, the names read back from a disc, and
// the time zone offset of recording dates.
#include "compilation/names.h"

#include <sys/time.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <set>

#include "compilation/directory_reader.h"
#include "compilation_fixture.h"
#include "platform/text_encoding.h"

namespace melvaro::test {
namespace {

struct TRecord {
  std::string id;  // UTF-8 for Joliet; "\0" and "\1" for "." and ".."
  uint32_t extent = 0;
  uint32_t length = 0;
  uint8_t flags = 0;
  uint8_t date[7] = {};
};

// The records of a directory extent in their order.
std::vector<TRecord> Records(const uint8_t* extent, int64_t size, bool joliet) {
  std::vector<TRecord> out;
  for (int64_t block = 0; block < size; block += 2048) {
    for (int64_t at = block; at < block + 2048 && extent[at] != 0; at += extent[at]) {
      const uint8_t* r = extent + at;
      EXPECT_LE(at + r[0], block + 2048) << "a record crosses a block boundary";
      TRecord rec;
      rec.extent = GetLe32(r + 2);
      rec.length = GetLe32(r + 10);
      std::memcpy(rec.date, r + 18, 7);
      rec.flags = r[25];
      const uint8_t n = r[32];
      if (joliet && n > 1) {
        std::u16string wide;
        for (int i = 0; i + 1 < n; i += 2)
          wide.push_back(static_cast<char16_t>(GetBe16(r + 33 + i)));
        rec.id = Utf16ToUtf8(wide);
      } else {
        rec.id.assign(reinterpret_cast<const char*>(r + 33), n);
      }
      out.push_back(rec);
    }
  }
  return out;
}

struct TPathRecord {
  std::string id;
  uint32_t extent;
  uint16_t parent;
};

std::vector<TPathRecord> PathTable(const uint8_t* table, size_t size, bool joliet) {
  std::vector<TPathRecord> out;
  for (size_t at = 0; at < size;) {
    const uint8_t n = table[at];
    TPathRecord rec{"", GetLe32(table + at + 2), GetLe16(table + at + 6)};
    if (joliet && out.size() > 0) {
      std::u16string wide;
      for (int i = 0; i + 1 < n; i += 2)
        wide.push_back(static_cast<char16_t>(GetBe16(table + at + 8 + i)));
      rec.id = Utf16ToUtf8(wide);
    } else {
      rec.id.assign(reinterpret_cast<const char*>(table + at + 8), n);
    }
    out.push_back(rec);
    at += 8 + n + (n % 2);
  }
  return out;
}

TEST(ShortNames, AreMadeAsWindowsMakesThemFromDCharacters) {
  struct {
    const char* name;
    bool folder;
    const char* shortName;
  } cases[] = {
      {"readme", false, "README"},
      {"README.TXT", false, "README.TXT"},
      {"Makefile", false, "MAKEFILE"},
      {"Mixed Case.txt", false, "MIXEDC~1.TXT"},
      {"my-song.mp3", false, "MY_SONG.MP3"},
      {".bashrc", false, "BASHRC~1"},
      {"archive.tar.gz", false, "ARCHIV~1.GZ"},
      {"café.txt", false, "CAF_~1.TXT"},
      {"a+b.txt", false, "A_B~1.TXT"},
      {"index.html", false, "INDEX~1.HTM"},
      {"日本語", false, "___~1"},
      {"Music", true, "MUSIC"},
      {"Album.2020", true, "ALBUM2~1"},
      {"My Folder With A Long Name", true, "MYFOLD~1"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    EXPECT_EQ(ShortName83(k.name, k.folder), k.shortName);
    EXPECT_TRUE(IsValid83(k.shortName, k.folder));
  }
  EXPECT_EQ(Compose83(Split83("Photo 2024 001.jpeg", false), 12), "PHOTO~12.JPE");
  EXPECT_EQ(IsoIdentifier("RUN", false), "RUN.") << "a file's identifier has its separator";
  EXPECT_EQ(IsoIdentifier("README.TXT", false), "README.TXT");
  EXPECT_EQ(IsoIdentifier("MUSIC", true), "MUSIC");
  for (const char* bad : {"", "readme", "TOOLONGNAME", "A.B.C", "A B", "A.TEXT", "C++"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(IsValid83(bad, false));
  }
  EXPECT_FALSE(IsValid83("DIR.X", true)) << "folders have no extension";
}

TEST(JolietIdentifiers, ForbiddenCharactersLengthAndTails) {
  const std::u16string smile = u"\U0001F600";
  struct {
    std::u16string name;
    bool folder;
    int n;
    std::u16string identifier;
    TJolietChange change;
  } cases[] = {
      {u"run", false, 0, u"run", TJolietChange::None},
      {u"semi;colon*?.txt", false, 0, u"semi_colon__.txt", TJolietChange::Replaced},
      {u"back\\slash.txt", false, 0, u"back_slash.txt", TJolietChange::Replaced},
      {u"colon:tab\t\x01.txt", false, 0, u"colon_tab__.txt", TJolietChange::Replaced},
      {std::u16string(104, u'a') + u".mp3", false, 0, std::u16string(99, u'a') + u".mp3",
       TJolietChange::Shortened},
      {std::u16string(146, u'b') + u".flac", false, 0, std::u16string(98, u'b') + u".flac",
       TJolietChange::Shortened},
      {std::u16string(146, u'b') + u".flac", false, 2, std::u16string(96, u'b') + u"~2.flac",
       TJolietChange::Shortened},
      // An extension too long to be one is cut like the rest.
      {std::u16string(90, u'c') + u"." + std::u16string(20, u'e'), false, 0,
       std::u16string(90, u'c') + u"." + std::u16string(12, u'e'), TJolietChange::Shortened},
      // Folders keep no extension apart.
      {std::u16string(100, u'd') + u".abcdef", true, 0, std::u16string(100, u'd') + u".ab",
       TJolietChange::Shortened},
      {u"song.mp3", false, 2, u"song~2.mp3", TJolietChange::None},
      {u"Music", true, 1, u"Music~1", TJolietChange::None},
      // A surrogate pair is never split, and stays as it is where it fits.
      {std::u16string(98, u'a') + smile + std::u16string(10, u'b') + u".txt", false, 0,
       std::u16string(98, u'a') + u".txt", TJolietChange::Shortened},
      {smile + u".txt", false, 0, smile + u".txt", TJolietChange::None},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(Utf16ToUtf8(k.name));
    TJolietChange change;
    const std::u16string id = JolietIdentifier(k.name, k.folder, k.n, &change);
    EXPECT_EQ(id, k.identifier);
    EXPECT_EQ(change, k.change);
    EXPECT_LE(id.size(), kJolietNameUnits);
  }
}

TEST(IdentifierOrder, ByNameThenExtensionPaddedWithBlanks) {
  std::vector<std::pair<std::string, bool>> iso = {
      {"B.TXT", false}, {"A_B.TXT", false}, {"A.Z", false}, {"AB", true}, {"A.TXT", false}};
  std::sort(iso.begin(), iso.end(), [](const auto& a, const auto& b) {
    return CompareIsoIdentifiers(a.first, a.second, b.first, b.second) < 0;
  });
  EXPECT_EQ(
      iso,
      (std::vector<std::pair<std::string, bool>>{
          {"A.TXT", false}, {"A.Z", false}, {"AB", true}, {"A_B.TXT", false}, {"B.TXT", false}}));
  // Joliet by UTF-16 code units: capitals before small letters; "a.txt" before "a-b.txt"
  // because the name "a" is compared as "a  ".
  std::vector<std::pair<std::u16string, bool>> joliet = {
      {u"a-b.txt", false}, {u"a b", true}, {u"a.txt", false}, {u"B.txt", false}};
  std::sort(joliet.begin(), joliet.end(), [](const auto& a, const auto& b) {
    return CompareJolietIdentifiers(a.first, a.second, b.first, b.second) < 0;
  });
  EXPECT_EQ(joliet,
            (std::vector<std::pair<std::u16string, bool>>{
                {u"B.txt", false}, {u"a.txt", false}, {u"a b", true}, {u"a-b.txt", false}}));
}

// The names the peers are shown, in one folder.
class DiscNames : public CompilationTest {
 protected:
  void Fill() {
    for (const std::string& name : std::vector<std::string>{
             "run", "Makefile", "upper/README", "lower/readme", std::string(100, 'f') + ".txt",
             std::string(146, 'g') + ".mp3", std::string(110, 'h') + "1.flac",
             std::string(110, 'h') + "2.flac", std::string("semi;colon*?.txt"),
             std::string("back\\slash.txt"), std::string("tab\there.txt"),
             std::string("Mixed Case.txt")})
      ASSERT_EQ(c.InsertFile("\\", File(name, 3), false), 1) << name;
    ASSERT_TRUE(c.CreateDirectory(c.RootDir(), "Beta", 16));
    ASSERT_TRUE(c.CreateDirectory(c.RootDir(), "alpha", 16));
  }
};

TEST_F(DiscNames, BothTreesHoldValidSortedDistinctIdentifiers) {
  Fill();
  Header();
  EXPECT_EQ(c.HeaderStream().size(), size_t{c.JolietDirArea} * 2048 + c.JolietDirBytes)
      << "the planned header is the written one";
  const auto iso = Records(Block(c.IsoDirArea), c.RootDir()->IsoDirSize, false);
  const auto joliet = Records(Block(c.JolietDirArea), c.RootDir()->JolietDirSize, true);
  for (const auto* tree : {&iso, &joliet}) {
    ASSERT_EQ(tree->size(), 2u + 14);
    EXPECT_EQ((*tree)[0].id, std::string(1, '\0'));
    EXPECT_EQ((*tree)[1].id, std::string(1, '\1'));
  }
  std::set<std::string> isoIds, jolietIds;
  for (size_t i = 2; i < iso.size(); ++i) {
    const bool folder = iso[i].flags & 2;
    std::string id = iso[i].id;
    if (!folder) {
      ASSERT_EQ(id.substr(id.size() - 2), ";1");
      id.resize(id.size() - 2);
      EXPECT_NE(id.find('.'), std::string::npos) << "a file's identifier has its separator";
    }
    EXPECT_TRUE(IsValid83(id, folder)) << id;
    if (i > 2) {
      const bool before = iso[i - 1].flags & 2;
      std::string last = iso[i - 1].id;
      if (!before) last.resize(last.size() - 2);
      EXPECT_LT(CompareIsoIdentifiers(last, before, id, folder), 0) << last << " " << id;
    }
    isoIds.insert(id);
  }
  EXPECT_EQ(isoIds.size(), 14u) << "distinct";
  for (const char* id :
       {"RUN.", "MAKEFILE.", "README.", "README~1.", "MIXEDC~1.TXT", "ALPHA", "BETA"})
    EXPECT_TRUE(isoIds.count(id)) << id;

  for (size_t i = 2; i < joliet.size(); ++i) {
    const bool folder = joliet[i].flags & 2;
    std::string id = joliet[i].id;
    if (!folder) {
      ASSERT_EQ(id.substr(id.size() - 2), ";1");
      id.resize(id.size() - 2);
      EXPECT_NE(id.back(), '.') << "no dot before the version";
    }
    EXPECT_EQ(id.find_first_of(";*?:\\\t"), std::string::npos) << id;
    EXPECT_LE(Utf8ToUtf16(id).size(), kJolietNameUnits);
    if (i > 2) {
      const bool before = joliet[i - 1].flags & 2;
      std::string last = joliet[i - 1].id;
      if (!before) last.resize(last.size() - 2);
      EXPECT_LT(CompareJolietIdentifiers(Utf8ToUtf16(last), before, Utf8ToUtf16(id), folder), 0)
          << last << " " << id;
    }
    jolietIds.insert(id);
  }
  EXPECT_EQ(jolietIds.size(), 14u) << "distinct";
  for (const std::string& id :
       {std::string("run"), std::string("Makefile"), std::string("README"), std::string("readme"),
        std::string(99, 'f') + ".txt", std::string(99, 'g') + ".mp3",
        std::string(98, 'h') + ".flac", std::string(96, 'h') + "~1.flac",
        std::string("semi_colon__.txt"), std::string("back_slash.txt"), std::string("tab_here.txt"),
        std::string("alpha"), std::string("Beta")})
    EXPECT_TRUE(jolietIds.count(id)) << id;
}

TEST_F(DiscNames, PathTablesFollowEachTreesOwnOrder) {
  TDEntry* beta = c.CreateDirectory(c.RootDir(), "beta", 16);
  TDEntry* alpha = c.CreateDirectory(c.RootDir(), "Alpha", 16);
  c.CreateDirectory(c.RootDir(), "Gamma", 16);
  c.CreateDirectory(beta, "sub", 16);
  c.CreateDirectory(alpha, "Zed", 16);
  Header();
  const auto iso = PathTable(Block(c.PathTableL), c.IsoPathTableSize, false);
  const auto joliet = PathTable(Block(c.JolietPathTableL), c.JolietPathTableSize, true);
  auto names = [](const std::vector<TPathRecord>& t) {
    std::vector<std::pair<std::string, uint16_t>> out;
    for (size_t i = 1; i < t.size(); ++i) out.emplace_back(t[i].id, t[i].parent);
    return out;
  };
  EXPECT_EQ(names(iso), (std::vector<std::pair<std::string, uint16_t>>{
                            {"ALPHA", 1}, {"BETA", 1}, {"GAMMA", 1}, {"ZED", 2}, {"SUB", 3}}));
  EXPECT_EQ(names(joliet), (std::vector<std::pair<std::string, uint16_t>>{
                               {"Alpha", 1}, {"Gamma", 1}, {"beta", 1}, {"Zed", 2}, {"sub", 4}}));
  // Every path table record points where its parent's directory record points.
  for (const auto& [table, joliet_] : {std::pair{&iso, false}, std::pair{&joliet, true}}) {
    for (size_t i = 1; i < table->size(); ++i) {
      const TPathRecord& rec = (*table)[i];
      const uint32_t parentExtent = (*table)[rec.parent - 1].extent;
      const auto records = Records(Block(parentExtent), 2048, joliet_);
      const auto it = std::find_if(records.begin(), records.end(),
                                   [&](const TRecord& r) { return r.id == rec.id; });
      ASSERT_NE(it, records.end()) << rec.id;
      EXPECT_EQ(it->extent, rec.extent) << rec.id;
      EXPECT_EQ(it->flags & 2, 2);
    }
  }
  // The type M tables hold the same records.
  EXPECT_EQ(GetBe16(Block(c.JolietPathTableM) + 10 + 6), 1);
}

TEST_F(DiscNames, ImportedEntriesAndNewOnesGetDistinctIdentifiers) {
  TSearchRec folder;
  folder.Name = "Photos";
  folder.Attr = faDirectory;
  TDEntry* photos = c.AddDirectory(c.RootDir(), folder);
  ASSERT_TRUE(photos);
  // Entries as an import brings them, one with the 13-character name older versions
  // gave imported entries.
  for (const char* name : {"PHOTO_2024_001.JPG", "PHOTO_2024_002.JPG"}) {
    TSearchRec rec;
    rec.Name = name;
    rec.Size = 100;
    if (name[13] == '1') rec.AlternateName = "PHOTO_2024_00";
    ASSERT_EQ(c.AddFileEntry(photos, rec, false, 5000, ""), 1);
  }
  ASSERT_EQ(c.InsertFile("\\Photos", File("photo_2024_003.jpg", 10), false), 1);
  ASSERT_EQ(c.InsertFile("\\Photos", File("photo_2024_004.jpg", 10), false), 1);
  Header();
  for (bool joliet : {false, true}) {
    SCOPED_TRACE(joliet);
    const auto records = Records(Block((joliet ? c.JolietDirArea + photos->JolietDirBlock
                                               : c.IsoDirArea + photos->IsoDirBlock)),
                                 2048, joliet);
    ASSERT_EQ(records.size(), 6u);
    std::set<std::string> ids;
    for (size_t i = 2; i < records.size(); ++i) ids.insert(records[i].id);
    EXPECT_EQ(ids.size(), 4u);
    if (!joliet) {
      EXPECT_EQ(ids, (std::set<std::string>{"PHOTO_~1.JPG;1", "PHOTO_~2.JPG;1", "PHOTO_~3.JPG;1",
                                            "PHOTO_~4.JPG;1"}));
    }
  }
}

TEST_F(CompilationTest, RecordingDatesCarryTheLocalOffset) {
  TZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
  c.ClearCompilation(65535, 8191);
  auto fileOf = [&](const char* name, int month) {
    const std::string path = File(name, 10);
    std::tm t{};
    t.tm_year = 2026 - 1900, t.tm_mon = month - 1, t.tm_mday = 15, t.tm_hour = 12;
    t.tm_isdst = -1;
    const timeval times[2] = {{std::mktime(&t), 0}, {std::mktime(&t), 0}};
    utimes(path.c_str(), times);
    return path;
  };
  ASSERT_EQ(c.InsertFile("\\", fileOf("summer.txt", 7), false), 1);
  ASSERT_EQ(c.InsertFile("\\", fileOf("winter.txt", 1), false), 1);
  TDateFields july{2026, 7, 1, 9, 0, 0, 0};
  c.DateModification = EncodeDateTime(july);
  Header();
  for (bool joliet : {false, true}) {
    const auto records = Records(Block(joliet ? c.JolietDirArea : c.IsoDirArea), 2048, joliet);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[2].date[3], 12) << "local time";
    EXPECT_EQ(records[2].date[6], 8) << "summer.txt: UTC+2";
    EXPECT_EQ(records[3].date[6], 4) << "winter.txt: UTC+1";
  }
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Block(17) + 830), 16), "2026070109000000");
  EXPECT_EQ(Block(17)[830 + 16], 8) << "the volume dates carry it too";
}

TEST(DirectoryReader, AFileWithoutExtensionReadsWithoutItsDot) {
  struct {
    bool joliet;
    std::u16string id;
    uint8_t flags;
    std::string name;
  } cases[] = {
      {true, u"run.;1", 0, "run"},  // as this program once wrote it
      {true, u"run;1", 0, "run"},
      {true, u"odd.", 0, "odd."},  // no version: the name is as it stands
      {true, u"folder.", 2, "folder."},
      {true, u"notes.txt;1", 0, "notes.txt"},
      {false, u"RUN.;1", 0, "RUN"},
      {false, u"README.TXT;1", 0, "README.TXT"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(Utf16ToUtf8(k.id));
    std::vector<uint8_t> id;
    for (char16_t u : k.id) {
      if (k.joliet) id.push_back(static_cast<uint8_t>(u >> 8));
      id.push_back(static_cast<uint8_t>(u));
    }
    uint8_t block[2048] = {};
    block[0] = static_cast<uint8_t>(33 + id.size() + (id.size() % 2 == 0));
    block[25] = k.flags;
    block[32] = static_cast<uint8_t>(id.size());
    std::memcpy(block + 33, id.data(), id.size());
    std::vector<std::string> names;
    ReadDirectoryBlock(block, sizeof block, k.joliet, false,
                       [&](const TRecordedEntry& e) { names.push_back(e.name); });
    EXPECT_EQ(names, std::vector<std::string>{k.name});
  }
}

}  // namespace
}  // namespace melvaro::test
