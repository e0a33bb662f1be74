// One MPEG audio frame header (ISO/IEC 11172-3, ISO/IEC 13818-3 and the MPEG 2.5
// extension): its fields, their texts, the frame length, and the search for the first
// header in a buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace melvaro::audio {

class TMpegFrameHdr {
 public:
  // Decodes 4 bytes; false and nothing changed when fewer than 4 are given. Returns
  // Valid(): sync, a known version and layer, a bit rate and sample rate from the tables.
  bool Decode(const uint8_t* bytes, size_t count);
  // Offset of the first position holding a header that decodes as valid, or -1.
  static int Find(const uint8_t* buffer, size_t count, TMpegFrameHdr* header = nullptr);

  bool Valid() const { return valid_; }
  void SetValid(bool valid) { valid_ = valid; }
  int Version() const { return version_; }  // 0 reserved, 1 MPEG-1, 2 MPEG-2, 3 MPEG-2.5
  int Layer() const;                        // 0 reserved, 1 to 3
  int BitRate() const { return bitRate_; }  // kbit/s; 0 free format, -1 unknown
  int64_t BitRateBps() const { return int64_t{bitRate_} * 1000; }
  int SampleRate() const { return sampleRate_; }    // Hz, -1 unknown
  int FrameLength() const { return frameLength_; }  // bytes, 0 without a sample rate
  bool Sync() const { return b_[0] == 0xFF && (b_[1] & 0xE0) == 0xE0; }
  bool CrcPresent() const { return (b_[1] & 0x01) == 0; }
  bool Padding() const { return b_[2] & 0x02; }
  int BitRateIndex() const { return b_[2] >> 4; }
  int SampleRateIndex() const { return (b_[2] >> 2) & 0x03; }
  int ChannelMode() const { return b_[3] >> 6; }  // 0 stereo, 1 joint, 2 dual, 3 mono
  int ModeExtension() const { return (b_[3] >> 4) & 0x03; }
  bool Copyright() const { return b_[3] & 0x08; }
  bool Original() const { return b_[3] & 0x04; }
  int SamplesPerFrame() const;  // 384 for Layer I, 1152 or 576 for Layers II and III

  std::string_view VersionText() const;
  std::string_view LayerText() const;
  std::string_view ChannelModeText() const;
  std::string_view ModeExtensionText() const;

 private:
  uint8_t b_[4] = {};
  bool valid_ = false;
  int version_ = 0;
  int bitRate_ = -1;
  int sampleRate_ = -1;
  int frameLength_ = 0;
};

}  // namespace melvaro::audio
