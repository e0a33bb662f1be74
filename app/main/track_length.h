// The playing time of an audio file, measured from the file itself: an MP3 file from its
// first MPEG frame (the Xing header's frame count for a VBR file), a WAV file from its
// RIFF header (the data chunk's length over the format's bytes per second).
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace melvaro {

// Milliseconds; nullopt when the file cannot be read or holds no audio we can measure.
// Files are told apart by their content: "RIFF....WAVE" is a WAV file, anything else is
// searched for MPEG frames.
std::optional<int64_t> TrackLengthMs(const QString& path);
// The WAV part alone, from the first bytes of a file (at most 64 KiB are looked at) and
// its length.
std::optional<int64_t> WavLengthMs(const QByteArray& head, int64_t fileLength);

}  // namespace melvaro
