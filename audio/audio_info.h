// What the file information dialog shows of an MP3 file: the first frame's header, VBR
// recognised by a Xing header, the playing time and the ID3v1 tag.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "id3v1_tag.h"
#include "mpeg_frame_header.h"

namespace melvaro::audio {

class TAudioInfo {
 public:
  static constexpr int kSearchLimit = 10240;

  // Analyses the file. Throws std::system_error when it cannot be opened or read.
  void Load(const std::string& path);
  // Analyses an open file of `length` bytes.
  void Analyse(int fd, int64_t length);

  const TMpegFrameHdr& Header() const { return header_; }
  const TID3v1Tag& Tag() const { return tag_; }
  TID3v1Tag& Tag() { return tag_; }
  int FirstFrameOffset() const { return offset_; }
  bool Vbr() const { return vbr_; }
  uint32_t Frames() const { return frames_; }  // from the Xing header; 0 otherwise
  // Milliseconds, whole seconds only; -1 when it cannot be known (a bit rate of 0).
  int64_t PlayingTimeMs() const { return playingTimeMs_; }
  int64_t FileSize() const { return fileSize_; }
  std::time_t FileDate() const { return fileDate_; }
  uint32_t FileMode() const { return fileMode_; }

 private:
  TMpegFrameHdr header_;
  TID3v1Tag tag_;
  int offset_ = -1;
  bool vbr_ = false;
  uint32_t frames_ = 0;
  int64_t playingTimeMs_ = 0;
  int64_t fileSize_ = 0;
  std::time_t fileDate_ = 0;
  uint32_t fileMode_ = 0;
};

}  // namespace melvaro::audio
