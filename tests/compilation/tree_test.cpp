// The compilation tree: inserting, names, limits, lookups and removal.
#include <algorithm>

#include "compilation_fixture.h"

namespace melvaro::test {
namespace {

TEST_F(CompilationTest, AfterConstruction) {
  EXPECT_EQ(c.DirectoryCount(), 0u);
  EXPECT_EQ(c.FileCount(), 0u);
  EXPECT_EQ(c.RootDir()->ShortName, "CD_ROOT");
  EXPECT_EQ(c.RootDir()->LongName, "CD Root Directory");
  EXPECT_EQ(c.RootDir()->Path, "\\");
  EXPECT_EQ(c.RootDir()->Parent, c.RootDir());
  EXPECT_EQ(c.FindDirectory(""), c.RootDir());
  EXPECT_EQ(c.FindDirectory("\\"), c.RootDir());
}

TEST_F(CompilationTest, NamesOfInsertedFiles) {
  ASSERT_EQ(c.InsertFile("\\", File("readme", 10), false), 1);
  ASSERT_EQ(c.InsertFile("\\", File("Mixed Case.txt", 10), false), 1);
  ASSERT_EQ(c.InsertFile("\\", File(".hidden", 10), false), 1);
  const TFEntry* e = c.RootDir()->FirstEntry;
  ASSERT_TRUE(e);
  EXPECT_EQ(e->LongName, "readme") << "the name as it is: no dot appended";
  EXPECT_EQ(e->ShortName, "README");
  EXPECT_EQ(e->SourcePath, folder + "/readme");
  EXPECT_EQ(e->Next->ShortName, "MIXEDC~1.TXT") << "an 8.3 alternate name";
  EXPECT_EQ(e->Next->Next->LongName, ".hidden") << "a dot file is an ordinary entry";
  EXPECT_EQ(e->Next->Next->ShortName, "HIDDEN~1");
  EXPECT_EQ(c.FindEntry(c.RootDir(), "README"), e) << "looked up ignoring case";
  EXPECT_EQ(c.CompilationSize, 3 * 2048);

  TDEntry* d = c.CreateDirectory(c.RootDir(), "\\My Folder With A Long Name\\", 16);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->LongName, "My Folder With A Long Name");
  EXPECT_EQ(d->ShortName, "MYFOLD~1") << "8.3, blanks dropped";
  EXPECT_EQ(d->Path, "\\MY FOLDER WITH A LONG NAME");
  EXPECT_EQ(TCompilation::MakeShortName("a~b{c}"), "A_B_C_") << "above 'z' becomes _ too";
}

TEST_F(CompilationTest, DuplicatesAndReplacing) {
  const std::string path = File("song.mp3", 5000);
  ASSERT_EQ(c.InsertFile("\\", path, false), 1);
  ASSERT_EQ(c.InsertFile("\\", path, false), 1) << "handed over, but not added twice";
  EXPECT_EQ(c.FileCount(), 1u);
  EXPECT_EQ(c.CompilationSize, 3 * 2048);
  c.ReplaceFile = true;
  File("song.mp3", 9000);
  ASSERT_EQ(c.InsertFile("\\", path, false), 1);
  EXPECT_EQ(c.FileCount(), 1u);
  EXPECT_EQ(c.RootDir()->FirstEntry->IsoLength, 9000);
  EXPECT_EQ(c.CompilationSize, 5 * 2048) << "one copy counted";
}

TEST_F(CompilationTest, LongNamesLimitsAndBadDestinations) {
  EXPECT_EQ(c.InsertFile("\\", File(std::string(105, 'a') + ".txt", 1), false), 1);
  EXPECT_EQ(c.InsertFile("\\", File(std::string(106, 'b') + ".txt", 1), false), 1);
  EXPECT_EQ(c.InsertFile("\\", File(std::string(246, 'c') + ".txt", 1), false), 1);
  EXPECT_EQ(c.FileCount(), 3u) << "long names are kept, whatever their length";
  EXPECT_EQ(c.RootDir()->FirstEntry->Next->Next->LongName, std::string(246, 'c') + ".txt");
  EXPECT_TRUE(c.LeftOut().empty());

  EXPECT_EQ(c.InsertFile("\\NOWHERE", File("x.txt", 1), false), 0);
  EXPECT_EQ(messages.back(), (std::pair<std::string, uint8_t>{"INVALID DESTINATION PATH", 4}));
  EXPECT_EQ(c.InsertFile("\\", folder + "/missing.txt", false), 255);

  c.ClearCompilation(2, 1);
  EXPECT_TRUE(c.CreateDirectory(c.RootDir(), "one", 16));
  messages.clear();
  EXPECT_FALSE(c.CreateDirectory(c.RootDir(), "two", 16));
  EXPECT_EQ(
      messages,
      (std::vector<std::pair<std::string, uint8_t>>{{">>> MAXIMUM DIRECTORIES CAN BE 1", 3}}));
  EXPECT_EQ(c.InsertFile("\\", File("f1.txt", 1), false), 1);
  EXPECT_EQ(c.InsertFile("\\", File("f2.txt", 1), false), 1);
  EXPECT_EQ(c.FileCount(), 2u) << "the directory item and one file";
  EXPECT_EQ(messages.back(), (std::pair<std::string, uint8_t>{"MAXIMUM FILES CAN BE 2", 3}));
}

TEST_F(CompilationTest, NamesDifferingInCaseAreTwoEntries) {
  const std::string upper = File("upper/README", 10);
  const std::string lower = File("lower/readme", 20);
  ASSERT_EQ(c.InsertFile("\\", upper, false), 1);
  ASSERT_EQ(c.InsertFile("\\", lower, false), 1);
  ASSERT_EQ(c.FileCount(), 2u);
  EXPECT_EQ(c.FindEntry(c.RootDir(), "readme")->SourcePath, lower) << "the exact name first";
  EXPECT_EQ(c.FindEntry(c.RootDir(), "README")->SourcePath, upper);
  EXPECT_EQ(c.FindEntry(c.RootDir(), "ReadMe")->SourcePath, upper) << "then ignoring case";
  EXPECT_TRUE(c.LeftOut().empty());

  // Folders too: "Docs" and "docs" are two folders, each with its own files.
  TDEntry* docs = c.ForceDirectory("\\Docs");
  TDEntry* lowerDocs = c.ForceDirectory("\\docs");
  ASSERT_TRUE(docs && lowerDocs);
  EXPECT_NE(docs, lowerDocs);
  EXPECT_EQ(c.DirectoryCount(), 2u);
  ASSERT_EQ(c.InsertFile("\\Docs", File("a/same.txt", 1), false), 1);
  ASSERT_EQ(c.InsertFile("\\docs", File("b/same.txt", 2), false), 1);
  EXPECT_TRUE(c.FindEntry(docs, "same.txt"));
  EXPECT_TRUE(c.FindEntry(lowerDocs, "same.txt"));
  EXPECT_EQ(c.FindDirectory("\\docs"), lowerDocs);
  EXPECT_EQ(c.FindDirectory("\\DOCS"), docs) << "the first ignoring case";
  TDEntry* gone = lowerDocs;
  ASSERT_TRUE(c.RemoveDirectory(gone));
  EXPECT_EQ(c.FindDirectory("\\docs"), docs) << "its twin stays";
  EXPECT_TRUE(c.FindEntry(docs, "same.txt"));
  EXPECT_EQ(c.DirectoryCount(), 1u);
}

TEST_F(CompilationTest, WhatCannotBeAddedIsReported) {
  const std::string first = File("one/song.mp3", 10);
  const std::string second = File("two/song.mp3", 10);
  ASSERT_EQ(c.InsertFile("\\", first, false), 1);
  ASSERT_EQ(c.InsertFile("\\", first, false), 1);
  EXPECT_TRUE(c.LeftOut().empty()) << "the same file twice is simply there once";
  EXPECT_TRUE(messages.empty());
  ASSERT_EQ(c.InsertFile("\\", second, false), 1);
  EXPECT_EQ(c.FileCount(), 1u);
  ASSERT_EQ(c.LeftOut().size(), 1u) << "another file of the same name";
  EXPECT_EQ(c.LeftOut()[0].path, second);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].second, 4);
  EXPECT_NE(messages[0].first.find(second), std::string::npos) << messages[0].first;

  // A file where a folder of that name stands is not put over it.
  c.ForceDirectory("\\data");
  ASSERT_EQ(c.InsertFile("\\", File("three/data", 5), false), 1);
  EXPECT_EQ(c.LeftOut().size(), 2u);
  EXPECT_TRUE(c.RootDir()->FirstEntry->Next->IsDirectory());

  // A full file table.
  c.ClearCompilation(1, 10);
  EXPECT_TRUE(c.LeftOut().empty()) << "cleared with the compilation";
  ASSERT_EQ(c.InsertFile("\\", first, false), 1);
  ASSERT_EQ(c.InsertFile("\\", File("other.txt", 1), false), 1);
  ASSERT_EQ(c.LeftOut().size(), 1u);
  EXPECT_EQ(c.LeftOut()[0].reason, "MAXIMUM FILES REACHED");
}

TEST_F(CompilationTest, FilesOf4GiBAreRefused) {
  const std::string path = folder + "/huge.bin";
  std::ofstream(path).close();
  std::filesystem::resize_file(path, uint64_t{1} << 32);  // sparse
  EXPECT_EQ(c.InsertFile("\\", path, false), 1);
  EXPECT_EQ(c.FileCount(), 0u);
  ASSERT_FALSE(messages.empty());
  EXPECT_NE(messages.back().first.find("4 GB"), std::string::npos);
  ASSERT_EQ(c.LeftOut().size(), 1u);
  EXPECT_EQ(c.LeftOut()[0].path, path);
  std::filesystem::resize_file(path, (uint64_t{1} << 32) - 1);
  EXPECT_EQ(c.InsertFile("\\", path, false), 1);
  EXPECT_EQ(c.FileCount(), 1u) << "one byte less fits";
}

TEST_F(CompilationTest, DirectoriesAndKeptPaths) {
  TDEntry* music = c.ForceDirectory("\\Music\\Rock");
  ASSERT_TRUE(music);
  EXPECT_EQ(c.DirectoryCount(), 2u);
  EXPECT_EQ(c.FindDirectory("\\music\\rock\\"), music) << "case and trailing \\ do not matter";
  EXPECT_EQ(music->Level, 3);
  EXPECT_FALSE(c.ForceDirectory("\\Video\\")) << "a path ending in \\ returns none";
  EXPECT_TRUE(c.FindDirectory("\\VIDEO"));

  const std::string song = File("albums/Jazz/Blue/song.mp3", 100);
  ASSERT_EQ(c.InsertFile("\\", song, true), 1);
  std::string below = folder;
  std::replace(below.begin(), below.end(), '/', '\\');
  TDEntry* kept = c.FindDirectory(below + "\\albums\\Jazz\\Blue");
  ASSERT_TRUE(kept) << "the file's folder below the root";
  EXPECT_TRUE(c.FindEntry(kept, "SONG.MP3"));
  c.LastFolderOnly = true;
  ASSERT_EQ(c.InsertFile("\\", song, true), 1);
  EXPECT_TRUE(c.FindEntry(c.FindDirectory("\\Blue"), "song.mp3"));
}

TEST_F(CompilationTest, Removal) {
  TDEntry* a = c.ForceDirectory("\\A");
  TDEntry* b = c.ForceDirectory("\\A\\B");
  ASSERT_EQ(c.InsertFile("\\A", File("1.txt", 1), false), 1);
  ASSERT_EQ(c.InsertFile("\\A\\B", File("2.txt", 1), false), 1);
  ASSERT_EQ(c.InsertFile("\\", File("3.txt", 1), false), 1);
  EXPECT_EQ(c.DirectoryCount(), 2u);
  EXPECT_EQ(c.FileCount(), 5u);
  TDEntry* root = c.RootDir();
  EXPECT_FALSE(c.RemoveDirectory(root));
  EXPECT_EQ(root, c.RootDir());
  ASSERT_TRUE(c.RemoveDirectory(a));
  EXPECT_EQ(a, nullptr);
  (void)b;
  EXPECT_EQ(c.DirectoryCount(), 0u);
  EXPECT_EQ(c.FileCount(), 1u);
  EXPECT_FALSE(c.FindDirectory("\\A\\B"));
  EXPECT_EQ(c.RootDir()->FirstEntry->LongName, "3.txt");
  EXPECT_TRUE(c.RemoveFile("\\", "3.TXT"));
  EXPECT_FALSE(c.RemoveFile("\\", "3.txt"));
  EXPECT_EQ(c.FileCount(), 0u);
  ASSERT_EQ(c.InsertFile("\\", File("4.txt", 1), false), 1);
  EXPECT_EQ(c.RootDir()->FirstEntry->LongName, "4.txt") << "the child list is whole again";
}

TEST_F(CompilationTest, AddFileEventRenamesAndSkips) {
  c.OnAddFile = [](TCompilation*, const std::string& path, std::string& longName,
                   std::string& shortName, TDateTime&, uint32_t, int64_t size, bool& skip) {
    if (path.find("skip") != std::string::npos) skip = true;
    longName = "renamed-" + longName;
    shortName = "RENAMED";
    EXPECT_GT(size, 0);
  };
  ASSERT_EQ(c.InsertFile("\\", File("keep.txt", 5), false), 1);
  ASSERT_EQ(c.InsertFile("\\", File("skip.txt", 5), false), 1);
  ASSERT_EQ(c.FileCount(), 1u);
  EXPECT_EQ(c.RootDir()->FirstEntry->LongName, "renamed-keep.txt");
  EXPECT_EQ(c.RootDir()->FirstEntry->ShortName, "RENAMED");
}

TEST(SourceFileSize, FilesAndFolderTrees) {
  char pattern[] = "/tmp/melvaro-size-XXXXXX";
  const std::string folder = mkdtemp(pattern);
  std::filesystem::create_directories(folder + "/a/b");
  std::ofstream(folder + "/a/one") << std::string(10, 'x');
  std::ofstream(folder + "/a/b/two") << std::string(5, 'x');
  EXPECT_EQ(TCompilation::SourceFileSize(folder + "/a/"), 15);
  EXPECT_EQ(TCompilation::SourceFileSize(folder + "/a/one"), 10);
  EXPECT_EQ(TCompilation::SourceFileSize(folder + "/none"), 0);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace melvaro::test
