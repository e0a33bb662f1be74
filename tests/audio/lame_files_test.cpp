// MP3 files made by lame, read back: version, layer, rates, frame length, VBR and the
// playing time of five seconds of sound, and the ID3v1 tag lame wrote.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "audio/audio_info.h"
#include "audio/file_info_text.h"

namespace melvaro::audio {
namespace {

class LameFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/melvaro-lame-XXXXXX";
    folder = mkdtemp(pattern);
    // Five seconds of noise: stereo and mono 16-bit samples at 44.1 and 22.05 kHz.
    std::mt19937 random(7);
    for (auto [name, bytes] :
         {std::pair{"stereo44.raw", 44100 * 4 * 5}, std::pair{"mono44.raw", 44100 * 2 * 5},
          std::pair{"stereo22.raw", 22050 * 4 * 5}, std::pair{"mono11.raw", 11025 * 2 * 5}}) {
      std::string data(static_cast<size_t>(bytes), '\0');
      for (char& c : data) c = static_cast<char>(random() >> 8);
      std::ofstream(folder + "/" + name, std::ios::binary) << data;
    }
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(folder); }

  // Encodes a raw file with lame; the path of the MP3.
  static std::string Lame(const std::string& raw, const std::string& options) {
    const std::string out = folder + "/" + std::to_string(++count) + ".mp3";
    const std::string command = "lame --quiet -r --bitwidth 16 --signed --little-endian " +
                                options + " '" + folder + "/" + raw + "' '" + out + "' 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return out;
  }
  static inline std::string folder;
  static inline int count = 0;
};

TEST_F(LameFiles, RatesLayersAndPlayingTimes) {
  struct {
    const char* raw;
    const char* options;
    const char* version;
    int bitRate, sampleRate;
    const char* channels;
    bool vbr;
  } cases[] = {
      {"stereo44.raw", "-s 44.1 -m s -b 128", "1.0", 128, 44100, "Stereo", false},
      {"stereo44.raw", "-s 44.1 -m j -b 320", "1.0", 320, 44100, "Joint Stereo", false},
      {"mono44.raw", "-s 44.1 -m m -b 64", "1.0", 64, 44100, "Mono", false},
      {"stereo44.raw", "-s 44.1 -m j -V 2", "1.0", -1, 44100, "Joint Stereo", true},
      {"mono44.raw", "-s 44.1 -m m -V 6", "1.0", -1, 44100, "Mono", true},
      {"stereo22.raw", "-s 22.05 --resample 22.05 -m s -b 32", "2.0", 32, 22050, "Stereo", false},
      {"stereo22.raw", "-s 22.05 --resample 22.05 -m j -V 4", "2.0", -1, 22050, "Joint Stereo",
       true},
      {"mono11.raw", "-s 11.025 --resample 11.025 -m m -b 16", "2.5", 16, 11025, "Mono", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.raw) + " " + c.options);
    const std::string path = Lame(c.raw, c.options);
    TAudioInfo info;
    info.Load(path);
    const TMpegFrameHdr& h = info.Header();
    ASSERT_TRUE(h.Valid());
    EXPECT_EQ(info.FirstFrameOffset(), 0);
    EXPECT_EQ(h.VersionText(), c.version);
    EXPECT_EQ(h.LayerText(), "III");
    EXPECT_EQ(h.SampleRate(), c.sampleRate);
    EXPECT_EQ(h.ChannelModeText(), c.channels);
    if (c.bitRate > 0) {
      EXPECT_EQ(h.BitRate(), c.bitRate);
    }
    const int factor = h.Version() == 1 ? 144 : 72;
    EXPECT_EQ(h.FrameLength(),
              factor * h.BitRate() * 1000 / h.SampleRate() + (h.Padding() ? 1 : 0));
    EXPECT_EQ(info.Vbr(), c.vbr);
    EXPECT_NEAR(static_cast<double>(info.PlayingTimeMs()), 5000, 1000);
    EXPECT_FALSE(info.Tag().Found());
    EXPECT_NE(DescribeMp3(info).duration, "???");
  }
}

TEST_F(LameFiles, TagWrittenByLame) {
  const std::string path =
      Lame("stereo44.raw",
           "-s 44.1 -b 128 --id3v1-only --tt 'A Title' --ta 'An Artist' --tl 'The Album' "
           "--ty 2001 --tc 'Said it' --tn 7 --tg Rock");
  TAudioInfo info;
  info.Load(path);
  const TID3v1Tag& tag = info.Tag();
  ASSERT_TRUE(tag.Found());
  EXPECT_EQ(tag.Title(), "A Title");
  EXPECT_EQ(tag.Artist(), "An Artist");
  EXPECT_EQ(tag.Album(), "The Album");
  EXPECT_EQ(tag.Year(), "2001");
  EXPECT_EQ(tag.Comment(), "Said it");
  EXPECT_EQ(tag.Track(), 7);
  EXPECT_EQ(tag.GenreText(), "Rock");
  EXPECT_EQ(DescribeMp3(info).tagStatus, "Found ID3v1.1 tag");
  EXPECT_NEAR(static_cast<double>(info.PlayingTimeMs()), 5000, 1000) << "the tag is not audio";

  // Rewriting the tag keeps the file's audio and replaces the tag in place.
  const auto size = std::filesystem::file_size(path);
  TID3v1Tag edit = tag;
  edit.SetField(TID3v1Tag::kTitle, "Another Title");
  edit.SetTrack(0);
  edit.WriteToFile(path);
  EXPECT_EQ(std::filesystem::file_size(path), size);
  info.Load(path);
  EXPECT_EQ(info.Tag().Title(), "Another Title");
  EXPECT_EQ(info.Tag().Track(), 0);
  EXPECT_TRUE(info.Header().Valid());
}

}  // namespace
}  // namespace melvaro::audio
