// The lines the file information dialog and `melvaro-cli audio-info` show for an MP3
// file.
#pragma once

#include <string>

#include "audio_info.h"

namespace melvaro::audio {

struct TMp3InfoText {
  std::string duration;    // "0:04:09 (249 seconds)"
  std::string version;     // "MPEG 1.0 layer III"
  std::string flags;       // "(Sync, No CRC, No Copyright, Original)"
  std::string parameters;  // "128 kbps, 44100 Hz, Joint Stereo MS "
  std::string internal;    // "Frame len=417, 9592 frames"
  std::string tagStatus;   // "Found ID3v1.1 tag", or the invitation to add one
};

// Every line reads "???" when the file has no valid MPEG header; a playing time that
// cannot be known reads "???" too.
TMp3InfoText DescribeMp3(const TAudioInfo& info);
std::string TagStatusText(const TID3v1Tag& tag);
// "h:nn:ss (%d seconds)".
std::string DurationText(int64_t playingTimeMs);

}  // namespace melvaro::audio
