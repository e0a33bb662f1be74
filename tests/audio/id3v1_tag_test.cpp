// ID3v1 and ID3v1.1 tags: decoding, building, writing, replacing and deleting in files,
// and the genre table.
#include "audio/id3v1_tag.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace melvaro::audio {
namespace {

std::array<uint8_t, 128> RawTag(const std::string& title, uint8_t b125, uint8_t b126, uint8_t genre,
                                uint8_t pad = ' ') {
  std::array<uint8_t, 128> t;
  t.fill(pad);
  std::memcpy(t.data(), "TAG", 3);
  std::memcpy(&t[3], title.data(), std::min<size_t>(30, title.size()));
  std::memcpy(&t[33], "Artist", 6);
  std::memcpy(&t[93], "1999", 4);
  std::memcpy(&t[97], "A comment", 9);
  t[125] = b125;
  t[126] = b126;
  t[127] = genre;
  return t;
}

TEST(Id3v1Tag, DecodesFieldsTrackAndPadding) {
  TID3v1Tag tag;
  auto raw = RawTag("Song", 0, 7, 17);
  tag.Read(raw.data(), raw.size());
  ASSERT_TRUE(tag.Found());
  EXPECT_EQ(tag.Title(), "Song") << "spaces cut";
  EXPECT_EQ(tag.Artist(), "Artist");
  EXPECT_EQ(tag.Year(), "1999");
  EXPECT_EQ(tag.Comment(), "A comment");
  EXPECT_EQ(tag.Track(), 7);
  EXPECT_FALSE(tag.Version10());
  EXPECT_EQ(tag.GenreText(), "Rock");

  raw = RawTag("Zero padded", 0, 0, 200, 0);
  tag.Read(raw.data(), raw.size());
  EXPECT_EQ(tag.Title(), "Zero padded");
  EXPECT_EQ(tag.Track(), 0) << "byte 126 of 0: ID3v1.0";
  EXPECT_TRUE(tag.Version10());
  EXPECT_EQ(tag.GenreText(), "") << "no name for code 200";

  raw = RawTag("Tab\t and control\x01", ' ', 7, 0);
  tag.Read(raw.data(), raw.size());
  EXPECT_EQ(tag.Title(), "Tab\t and control") << "trailing codes of 32 or less go";
  EXPECT_EQ(tag.Track(), 0) << "byte 125 not 0: ID3v1.0";

  raw[0] = 'T', raw[1] = 'A', raw[2] = 'X';
  tag.Read(raw.data(), raw.size());
  EXPECT_FALSE(tag.Found());
  tag.Read(raw.data(), 127);
  EXPECT_FALSE(tag.Found());
}

TEST(Id3v1Tag, FieldsAreCutToTheirLengths) {
  TID3v1Tag tag;
  tag.SetField(TID3v1Tag::kTitle, std::string(31, 'x') + "y");
  EXPECT_EQ(tag.Title(), std::string(30, 'x'));
  EXPECT_TRUE(tag.Changed());
  tag.Build();
  EXPECT_FALSE(tag.Changed());
  tag.SetField(TID3v1Tag::kTitle, std::string(30, 'x'));
  EXPECT_FALSE(tag.Changed()) << "the same value changes nothing";
  tag.SetField(TID3v1Tag::kYear, "20261");
  EXPECT_EQ(tag.Year(), "2026");

  // A 30-character comment, then a track number: the file keeps 28 of it.
  tag.SetField(TID3v1Tag::kComment, std::string(30, 'c'));
  EXPECT_EQ(tag.Comment().size(), 30u);
  tag.SetTrack(12);
  tag.SetGenre(52);
  const auto built = tag.Build();
  TID3v1Tag back;
  back.Read(built.data(), built.size());
  EXPECT_EQ(back.Comment(), std::string(28, 'c'));
  EXPECT_EQ(back.Track(), 12);
  EXPECT_EQ(back.Genre(), 52);
  EXPECT_EQ(built[93 + 3], '6');
  EXPECT_EQ(built[3 + 29], 'x');
  tag.SetField(TID3v1Tag::kComment, std::string(30, 'd'));
  EXPECT_EQ(tag.Comment().size(), 28u) << "a comment of 28 once there is a track";
}

class TagFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/melvaro-id3-XXXXXX";
    folder = mkdtemp(pattern);
    path = folder + "/song.mp3";
    std::ofstream(path, std::ios::binary) << std::string(1000, 'a');
  }
  void TearDown() override { std::filesystem::remove_all(folder); }
  std::string folder, path;
};

TEST_F(TagFile, AppendThenReplaceInPlaceThenDelete) {
  TID3v1Tag tag;
  tag.SetField(TID3v1Tag::kTitle, "First");
  tag.WriteToFile(path);
  EXPECT_EQ(std::filesystem::file_size(path), 1128u) << "appended";
  tag.SetField(TID3v1Tag::kTitle, "Second");
  tag.WriteToFile(path);
  EXPECT_EQ(std::filesystem::file_size(path), 1128u) << "replaced in place";
  TID3v1Tag back;
  back.ReadFile(path);
  ASSERT_TRUE(back.Found());
  EXPECT_EQ(back.Title(), "Second");

  TID3v1Tag::DeleteFromFile(path);
  EXPECT_EQ(std::filesystem::file_size(path), 1000u);
  back.ReadFile(path);
  EXPECT_FALSE(back.Found());
  TID3v1Tag::DeleteFromFile(path);
  EXPECT_EQ(std::filesystem::file_size(path), 1000u) << "no tag: nothing cut";

  std::ofstream(path, std::ios::binary) << std::string(100, 'T');
  TID3v1Tag::DeleteFromFile(path);
  EXPECT_EQ(std::filesystem::file_size(path), 100u) << "shorter than a tag";
}

TEST_F(TagFile, FailuresReachTheCallerAndLeaveTheFile) {
  TID3v1Tag tag;
  EXPECT_THROW(tag.ReadFile(folder + "/missing.mp3"), std::system_error);
  EXPECT_THROW(tag.WriteToFile(folder + "/missing.mp3"), std::system_error);
  EXPECT_THROW(TID3v1Tag::DeleteFromFile(folder + "/missing.mp3"), std::system_error);
  EXPECT_FALSE(std::filesystem::exists(folder + "/missing.mp3"));
  // A device that is always full: the append fails and reports it.
  if (access("/dev/full", W_OK) == 0) {
    EXPECT_THROW(tag.WriteToFile("/dev/full"), std::system_error);
  }
  EXPECT_EQ(std::filesystem::file_size(path), 1000u);
}

TEST(Genres, TableOf148WithCodesThatSurviveSorting) {
  const auto& table = GenreTable();
  ASSERT_EQ(table.size(), 148u);
  for (size_t i = 0; i < table.size(); ++i) EXPECT_EQ(table[i].code, static_cast<int>(i));
  EXPECT_EQ(GenreName(0), "Blues");
  EXPECT_EQ(GenreName(81), "Folk/Rock");
  EXPECT_EQ(GenreName(123), "Acapella");
  EXPECT_EQ(GenreName(136), "Christian Gangs");
  EXPECT_EQ(GenreName(140), "Contemporary Ch?");
  EXPECT_EQ(GenreName(141), "Cristian Rock");
  EXPECT_EQ(GenreName(147), "Synthpop");
  EXPECT_EQ(GenreName(148), "");
  EXPECT_EQ(GenreName(-1), "");
  const auto sorted = GenresByName();
  ASSERT_EQ(sorted.size(), 148u);
  EXPECT_EQ(sorted.front().name, "Acapella");
  EXPECT_EQ(sorted.front().code, 123);
  for (const TGenre& g : sorted) EXPECT_EQ(GenreName(g.code), g.name);
  EXPECT_EQ(sorted.back().name, "Vocal");
}

}  // namespace
}  // namespace melvaro::audio
