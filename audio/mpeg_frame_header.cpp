#include "mpeg_frame_header.h"

namespace melvaro::audio {

namespace {

// kbit/s by row and bit-rate index; index 0 is free format, 15 is not allowed.
constexpr int kBitRates[5][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, -1},  // 1, I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, -1},     // 1, II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, -1},      // 1, III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, -1},     // 2, I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1},          // 2, II/III
};

constexpr int kSampleRates[4][3] = {
    {0, 0, 0}, {44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

}  // namespace

int TMpegFrameHdr::Layer() const {
  return (4 - ((b_[1] >> 1) & 0x03)) % 4;
}

int TMpegFrameHdr::SamplesPerFrame() const {
  if (Layer() == 1) return 384;
  if (Layer() == 3 && version_ != 1) return 576;
  return 1152;
}

bool TMpegFrameHdr::Decode(const uint8_t* bytes, size_t count) {
  if (count < 4) return false;
  for (int i = 0; i < 4; ++i) b_[i] = bytes[i];
  static constexpr int kVersions[4] = {3, 0, 2, 1};  // bits 4..3 of b1: 00, 01, 10, 11
  version_ = kVersions[(b_[1] >> 3) & 0x03];
  const int layer = Layer();
  bitRate_ = -1;
  if (version_ != 0 && layer != 0) {
    const int row = version_ == 1 ? layer - 1 : layer == 1 ? 3 : 4;
    bitRate_ = kBitRates[row][BitRateIndex()];
  }
  sampleRate_ =
      version_ != 0 && SampleRateIndex() < 3 ? kSampleRates[version_][SampleRateIndex()] : -1;
  frameLength_ = 0;
  if (sampleRate_ > 0 && bitRate_ >= 0 && layer != 0) {
    const int64_t bps = BitRateBps();
    if (layer == 1) {
      frameLength_ = static_cast<int>((12 * bps / sampleRate_ + (Padding() ? 1 : 0)) * 4);
    } else {
      const int64_t factor = layer == 3 && version_ != 1 ? 72 : 144;
      frameLength_ = static_cast<int>(factor * bps / sampleRate_ + (Padding() ? 1 : 0));
    }
  }
  valid_ = Sync() && version_ != 0 && layer != 0 && bitRate_ != -1 && sampleRate_ != -1;
  return valid_;
}

int TMpegFrameHdr::Find(const uint8_t* buffer, size_t count, TMpegFrameHdr* header) {
  TMpegFrameHdr probe;
  for (size_t i = 0; i + 4 <= count; ++i) {
    if (buffer[i] != 0xFF || (buffer[i + 1] & 0xE0) != 0xE0) continue;
    if (probe.Decode(buffer + i, count - i)) {
      if (header) *header = probe;
      return static_cast<int>(i);
    }
  }
  return -1;
}

std::string_view TMpegFrameHdr::VersionText() const {
  static constexpr std::string_view kTexts[4] = {"?!!", "1.0", "2.0", "2.5"};
  return kTexts[version_];
}

std::string_view TMpegFrameHdr::LayerText() const {
  static constexpr std::string_view kTexts[4] = {"?!!", "I", "II", "III"};
  return kTexts[Layer()];
}

std::string_view TMpegFrameHdr::ChannelModeText() const {
  static constexpr std::string_view kTexts[4] = {"Stereo", "Joint Stereo", "Dual", "Mono"};
  return kTexts[ChannelMode()];
}

std::string_view TMpegFrameHdr::ModeExtensionText() const {
  if (ChannelMode() != 1) return "";
  static constexpr std::string_view kBands[4] = {"Bands 4-31", "Bands 8-31", "Bands 12-31",
                                                 "Bands 16-31"};
  static constexpr std::string_view kLayer3[4] = {"", "Intensity", "MS", "MS/Intensity"};
  return Layer() == 3 ? kLayer3[ModeExtension()] : kBands[ModeExtension()];
}

}  // namespace melvaro::audio
