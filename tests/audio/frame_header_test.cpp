// MPEG audio frame headers: decoding, frame lengths, texts, and the search for the
// first one.
#include <gtest/gtest.h>

#include "audio/mpeg_frame_header.h"

namespace melvaro::audio {
namespace {

TEST(FrameHeader, DecodesTheStandardCases) {
  struct {
    uint8_t b[4];
    bool valid;
    const char *version, *layer;
    int bitRate, sampleRate, frameLength;
  } cases[] = {
      {{0xFF, 0xFB, 0x90, 0x64}, true, "1.0", "III", 128, 44100, 417},
      {{0xFF, 0xFB, 0x92, 0x64}, true, "1.0", "III", 128, 44100, 418},  // padding
      {{0xFF, 0xF3, 0x80, 0xC4}, true, "2.0", "III", 64, 22050, 208},   // 208.97 truncated
      {{0xFF, 0xFF, 0x10, 0x00}, true, "1.0", "I", 32, 44100, 32},      // Layer I
      {{0xFF, 0xFF, 0x12, 0x00}, true, "1.0", "I", 32, 44100, 36},      // Layer I padding
      {{0xFF, 0xFD, 0xA0, 0x00}, true, "1.0", "II", 192, 44100, 626},
      {{0xFF, 0xE3, 0x40, 0x00}, true, "2.5", "III", 32, 11025, 208},
      {{0xFF, 0xFB, 0xF0, 0x64}, false, "1.0", "III", -1, 44100, 0},     // bit-rate index 15
      {{0xFF, 0xFB, 0x9C, 0x64}, false, "1.0", "III", 128, -1, 0},       // sample-rate index 3
      {{0xFF, 0xEB, 0x90, 0x64}, false, "?!!", "III", -1, -1, 0},        // reserved version
      {{0xFF, 0xF9, 0x90, 0x64}, false, "1.0", "?!!", -1, 44100, 0},     // reserved layer
      {{0xFE, 0xFB, 0x90, 0x64}, false, "1.0", "III", 128, 44100, 417},  // no sync
      {{0xFF, 0xFB, 0x00, 0x64}, true, "1.0", "III", 0, 44100, 0},       // free format
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::vector<int>(c.b, c.b + 4)));
    TMpegFrameHdr h;
    EXPECT_EQ(h.Decode(c.b, 4), c.valid);
    EXPECT_EQ(h.VersionText(), c.version);
    EXPECT_EQ(h.LayerText(), c.layer);
    EXPECT_EQ(h.BitRate(), c.bitRate);
    EXPECT_EQ(h.SampleRate(), c.sampleRate);
    EXPECT_EQ(h.FrameLength(), c.frameLength);
  }
  TMpegFrameHdr h;
  EXPECT_FALSE(h.Decode(nullptr, 3)) << "fewer than 4 bytes";
  const uint8_t joint[4] = {0xFF, 0xFB, 0x90, 0x64};
  ASSERT_TRUE(h.Decode(joint, 4));
  EXPECT_EQ(h.ChannelModeText(), "Joint Stereo");
  EXPECT_EQ(h.ModeExtensionText(), "MS");
  EXPECT_FALSE(h.CrcPresent());
  EXPECT_TRUE(h.Original());
  EXPECT_FALSE(h.Copyright());
  EXPECT_EQ(h.BitRateBps(), 128000);
  const uint8_t layer2Joint[4] = {0xFF, 0xFC, 0xA0, 0x70};
  h.Decode(layer2Joint, 4);
  EXPECT_EQ(h.ModeExtensionText(), "Bands 16-31");
  EXPECT_TRUE(h.CrcPresent());
  const uint8_t mono[4] = {0xFF, 0xFB, 0x90, 0xF4};
  h.Decode(mono, 4);
  EXPECT_EQ(h.ChannelModeText(), "Mono");
  EXPECT_EQ(h.ModeExtensionText(), "") << "only joint stereo has a mode extension";
}

TEST(FrameHeader, FindSkipsFalseSyncs) {
  const uint8_t buffer[] = {0x00, 0xFF, 0xFB, 0xF0, 0x64,  // index 15: not a header
                            0xFF, 0x00, 0xFF, 0xFB, 0x90, 0x64, 0x00};
  TMpegFrameHdr found;
  EXPECT_EQ(TMpegFrameHdr::Find(buffer, sizeof buffer, &found), 7);
  EXPECT_EQ(found.BitRate(), 128);
  EXPECT_EQ(TMpegFrameHdr::Find(buffer, 10), -1) << "the header must fit in the buffer";
  EXPECT_EQ(TMpegFrameHdr::Find(buffer, 0), -1);
}

}  // namespace
}  // namespace melvaro::audio
