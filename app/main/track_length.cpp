#include "main/track_length.h"

#include <QFile>
#include <algorithm>

#include "audio/audio_info.h"

namespace melvaro {

namespace {

uint32_t Le32(const char* p) {
  const auto* b = reinterpret_cast<const uint8_t*>(p);
  return b[0] | b[1] << 8 | b[2] << 16 | uint32_t{b[3]} << 24;
}

uint16_t Le16(const char* p) {
  const auto* b = reinterpret_cast<const uint8_t*>(p);
  return static_cast<uint16_t>(b[0] | b[1] << 8);
}

}  // namespace

std::optional<int64_t> WavLengthMs(const QByteArray& head, int64_t fileLength) {
  // RIFF header: "RIFF", length, "WAVE", then chunks of id, 32-bit length, data padded
  // to an even length.
  if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE") return std::nullopt;
  uint32_t bytesPerSecond = 0;
  qsizetype at = 12;
  while (at + 8 <= head.size()) {
    const QByteArray id = head.mid(at, 4);
    const uint32_t length = Le32(head.constData() + at + 4);
    const qsizetype body = at + 8;
    if (id == "fmt ") {
      if (length < 16 || body + 16 > head.size()) return std::nullopt;
      const uint16_t format = Le16(head.constData() + body);
      bytesPerSecond = Le32(head.constData() + body + 8);
      if (format == 0 || bytesPerSecond == 0) return std::nullopt;
    } else if (id == "data") {
      if (bytesPerSecond == 0) return std::nullopt;
      // A length beyond the file's end (a file cut short, or the 0xFFFFFFFF of a stream
      // writer) counts the bytes that are there.
      const int64_t available = std::max<int64_t>(0, fileLength - body);
      const int64_t data = std::min<int64_t>(length, available);
      return data * 1000 / bytesPerSecond;
    }
    at = body + length + (length & 1);
  }
  return std::nullopt;
}

std::optional<int64_t> TrackLengthMs(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const int64_t length = file.size();
  const QByteArray head = file.read(65536);
  file.close();
  if (head.startsWith("RIFF")) return WavLengthMs(head, length);
  try {
    audio::TAudioInfo info;
    info.Load(path.toStdString());
    if (!info.Header().Valid() || info.PlayingTimeMs() < 0) return std::nullopt;
    return info.PlayingTimeMs();
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace melvaro
