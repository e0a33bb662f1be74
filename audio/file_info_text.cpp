#include "file_info_text.h"

#include <cstdio>

namespace melvaro::audio {

std::string TagStatusText(const TID3v1Tag& tag) {
  if (!tag.Found()) return "ID3v1 tag not found. You may add new one";
  return std::string("Found ID3v1") + (tag.Track() != 0 ? ".1" : "") + " tag";
}

std::string DurationText(int64_t playingTimeMs) {
  if (playingTimeMs < 0) return "???";
  const int64_t seconds = playingTimeMs / 1000;
  char text[64];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld (%lld seconds)",
                static_cast<long long>(seconds / 3600), static_cast<long long>(seconds / 60 % 60),
                static_cast<long long>(seconds % 60), static_cast<long long>(seconds));
  return text;
}

TMp3InfoText DescribeMp3(const TAudioInfo& info) {
  TMp3InfoText t;
  t.tagStatus = TagStatusText(info.Tag());
  const TMpegFrameHdr& h = info.Header();
  if (!h.Valid()) {
    t.duration = t.version = t.flags = t.parameters = t.internal = "???";
    return t;
  }
  t.duration = DurationText(info.PlayingTimeMs());
  t.version = "MPEG " + std::string(h.VersionText()) + " layer " + std::string(h.LayerText());
  t.flags = std::string("(") + (h.Sync() ? "Sync" : "No sync") +
            (h.CrcPresent() ? ", CRC" : ", No CRC") +
            (h.Copyright() ? ", Copyright" : ", No Copyright") +
            (h.Original() ? ", Original" : ", No Original") + ")";
  t.parameters = std::to_string(h.BitRate()) + " kbps, " + std::to_string(h.SampleRate()) +
                 " Hz, " + std::string(h.ChannelModeText()) + " " +
                 std::string(h.ModeExtensionText()) + " ";
  // A free-format frame has no length to count frames by.
  const int64_t frames = h.FrameLength() > 0 ? info.FileSize() / h.FrameLength() : 0;
  t.internal =
      "Frame len=" + std::to_string(h.FrameLength()) + ", " + std::to_string(frames) + " frames";
  return t;
}

}  // namespace melvaro::audio
