// TAudioInfo on files put together byte by byte: the first-frame search, the second
// frame check, the Xing header, the tag range and the playing time; and the lines the
// information dialog shows.
#include "audio/audio_info.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "audio/file_info_text.h"

namespace melvaro::audio {
namespace {

constexpr uint8_t kHeader128k[4] = {0xFF, 0xFB, 0x90, 0x64};  // MPEG-1 III 128 kbit/s, 417 bytes

class AudioFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/melvaro-audio-XXXXXX";
    folder = mkdtemp(pattern);
  }
  void TearDown() override { std::filesystem::remove_all(folder); }
  // A file of `size` bytes of 0x55 with the given pieces placed at their offsets.
  std::string Make(size_t size, std::initializer_list<std::pair<size_t, std::string>> pieces) {
    std::string data(size, '\x55');
    for (const auto& [at, bytes] : pieces) data.replace(at, bytes.size(), bytes);
    const std::string path = folder + "/f" + std::to_string(++files) + ".mp3";
    std::ofstream(path, std::ios::binary) << data;
    return path;
  }
  static std::string Header(const uint8_t* b = kHeader128k) {
    return std::string(reinterpret_cast<const char*>(b), 4);
  }
  static std::string Tag() {
    std::string t(128, ' ');
    t.replace(0, 3, "TAG");
    return t;
  }
  std::string folder;
  int files = 0;
};

TEST_F(AudioFile, ConstantBitRateWithTag) {
  const std::string path = Make(4000000, {{0, Header()}, {417, Header()}, {4000000 - 128, Tag()}});
  TAudioInfo info;
  info.Load(path);
  EXPECT_TRUE(info.Header().Valid());
  EXPECT_EQ(info.FirstFrameOffset(), 0);
  EXPECT_FALSE(info.Vbr());
  EXPECT_TRUE(info.Tag().Found());
  EXPECT_EQ(info.PlayingTimeMs(), 249000) << "3 999 872 bytes at 128 kbit/s";
  EXPECT_EQ(info.FileSize(), 4000000);
  const TMp3InfoText text = DescribeMp3(info);
  EXPECT_EQ(text.duration, "0:04:09 (249 seconds)");
  EXPECT_EQ(text.version, "MPEG 1.0 layer III");
  EXPECT_EQ(text.flags, "(Sync, No CRC, No Copyright, Original)");
  EXPECT_EQ(text.parameters, "128 kbps, 44100 Hz, Joint Stereo MS ");
  EXPECT_EQ(text.internal, "Frame len=417, 9592 frames");
  EXPECT_EQ(text.tagStatus, "Found ID3v1 tag");
}

TEST_F(AudioFile, XingHeaderMakesItVariable) {
  std::string xing("Xing\0\0\0\x0F\0\0\x03\xE8", 12);  // frames flag, 1000 frames
  TAudioInfo info;
  info.Load(Make(20000, {{100, Header()}, {136, xing}, {517, Header()}}));
  EXPECT_EQ(info.FirstFrameOffset(), 100);
  EXPECT_TRUE(info.Vbr());
  EXPECT_EQ(info.Frames(), 1000u);
  EXPECT_EQ(info.PlayingTimeMs(), 26000) << "round(26.12) seconds";
  EXPECT_FALSE(info.Tag().Found());
  xing[7] = 0x0E;  // no frame count
  info.Load(Make(20000, {{100, Header()}, {136, xing}, {517, Header()}}));
  EXPECT_TRUE(info.Vbr());
  EXPECT_EQ(info.PlayingTimeMs(), 0);
}

TEST_F(AudioFile, FirstFrameSearch) {
  TAudioInfo info;
  // A header across the first two pieces of the search.
  info.Load(Make(5000, {{126, Header()}, {126 + 417, Header()}}));
  EXPECT_EQ(info.FirstFrameOffset(), 126);
  EXPECT_TRUE(info.Header().Valid());
  // Garbage where the second frame should be.
  info.Load(Make(5000, {{0, Header()}}));
  EXPECT_EQ(info.FirstFrameOffset(), 0);
  EXPECT_FALSE(info.Header().Valid());
  EXPECT_EQ(DescribeMp3(info).version, "???");
  EXPECT_EQ(DescribeMp3(info).duration, "???");
  // A second frame past the end of the file does not count against the first.
  info.Load(Make(300, {{0, Header()}}));
  EXPECT_TRUE(info.Header().Valid());
  // Beyond the search limit.
  info.Load(Make(40000, {{10240 + 200, Header()}, {10240 + 617, Header()}}));
  EXPECT_EQ(info.FirstFrameOffset(), -1);
  EXPECT_FALSE(info.Header().Valid());
  EXPECT_EQ(DescribeMp3(info).internal, "???");
  // Nothing at all.
  info.Load(Make(0, {}));
  EXPECT_EQ(info.FirstFrameOffset(), -1);
  EXPECT_EQ(info.PlayingTimeMs(), -1);
  info.Load("   ");
  EXPECT_EQ(info.FileSize(), 0) << "an empty name loads nothing";
  EXPECT_THROW(info.Load(folder + "/missing.mp3"), std::system_error);
}

TEST_F(AudioFile, FreeFormatHasNoKnownPlayingTime) {
  const uint8_t free[4] = {0xFF, 0xFB, 0x00, 0x64};
  TAudioInfo info;
  info.Load(Make(3000, {{0, Header(free)}, {4, Header(free)}}));
  EXPECT_TRUE(info.Header().Valid());
  EXPECT_EQ(info.Header().BitRate(), 0);
  EXPECT_EQ(info.PlayingTimeMs(), -1);
  const TMp3InfoText text = DescribeMp3(info);
  EXPECT_EQ(text.duration, "???");
  EXPECT_EQ(text.internal, "Frame len=0, 0 frames");
}

TEST(InfoText, TagStatusAndDuration) {
  TID3v1Tag tag;
  EXPECT_EQ(TagStatusText(tag), "ID3v1 tag not found. You may add new one");
  std::array<uint8_t, 128> raw{};
  std::memcpy(raw.data(), "TAG", 3);
  raw[126] = 7;
  tag.Read(raw.data(), raw.size());
  EXPECT_EQ(TagStatusText(tag), "Found ID3v1.1 tag");
  raw[126] = 0;
  tag.Read(raw.data(), raw.size());
  EXPECT_EQ(TagStatusText(tag), "Found ID3v1 tag");
  EXPECT_EQ(DurationText(0), "0:00:00 (0 seconds)");
  EXPECT_EQ(DurationText(3723000), "1:02:03 (3723 seconds)");
  EXPECT_EQ(DurationText(-1), "???");
}

}  // namespace
}  // namespace melvaro::audio
