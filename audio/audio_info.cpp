#include "audio_info.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <system_error>

namespace melvaro::audio {

namespace {

// Reads up to n bytes at an offset; the count read.
size_t ReadAt(int fd, int64_t at, uint8_t* out, size_t n) {
  size_t done = 0;
  while (done < n) {
    const ssize_t r = pread(fd, out + done, n - done, static_cast<off_t>(at + done));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) throw std::system_error(errno, std::generic_category(), "cannot read the file");
    if (r == 0) break;
    done += static_cast<size_t>(r);
  }
  return done;
}

}  // namespace

void TAudioInfo::Load(const std::string& path) {
  *this = TAudioInfo();
  size_t b = path.find_first_not_of(" \t");
  if (b == std::string::npos) return;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "cannot open " + path);
  struct stat st;
  try {
    if (fstat(fd, &st) != 0)
      throw std::system_error(errno, std::generic_category(), "cannot read " + path);
    Analyse(fd, st.st_size);
  } catch (...) {
    close(fd);
    throw;
  }
  close(fd);
  fileSize_ = st.st_size;
  fileDate_ = st.st_mtime;
  fileMode_ = st.st_mode;
}

void TAudioInfo::Analyse(int fd, int64_t length) {
  header_ = TMpegFrameHdr();
  tag_ = TID3v1Tag();
  offset_ = -1;
  vbr_ = false;
  frames_ = 0;
  playingTimeMs_ = 0;

  // The first frame: 128 bytes, then pieces of up to 124 behind the last 4 bytes of the
  // buffer, so that a header across two pieces is found.
  uint8_t buffer[132];
  size_t filled = 0;
  int64_t read = 0;
  while (read < kSearchLimit && read < length) {
    const size_t want =
        static_cast<size_t>(std::min<int64_t>(filled == 0 ? 128 : 124, length - read));
    const size_t got = ReadAt(fd, read, buffer + filled, want);
    if (got == 0) break;
    const int64_t bufferStart = read - static_cast<int64_t>(filled);
    filled += got;
    read += static_cast<int64_t>(got);
    TMpegFrameHdr found;
    const int at = TMpegFrameHdr::Find(buffer, filled, &found);
    if (at >= 0) {
      header_ = found;
      offset_ = static_cast<int>(bufferStart + at);
      break;
    }
    if (filled >= 4) {
      std::memmove(buffer, buffer + filled - 4, 4);
      filled = 4;
    }
  }

  // The second frame must be a frame too.
  if (header_.Valid() && offset_ + int64_t{header_.FrameLength()} + 4 < length) {
    uint8_t next[4];
    TMpegFrameHdr second;
    if (ReadAt(fd, offset_ + header_.FrameLength(), next, 4) == 4) second.Decode(next, 4);
    header_.SetValid(second.Valid());
  }

  // Xing header of a VBR file.
  if (header_.Valid()) {
    const bool mono = header_.ChannelMode() == 3;
    const int d = header_.Version() == 1 ? (mono ? 21 : 36) : (mono ? 13 : 21);
    if (offset_ + int64_t{d} + 12 < length) {
      uint8_t xing[12];
      if (ReadAt(fd, offset_ + d, xing, 12) == 12 && std::memcmp(xing, "Xing", 4) == 0) {
        vbr_ = true;
        frames_ = (xing[7] & 0x01) ? (uint32_t{xing[8]} << 24 | uint32_t{xing[9]} << 16 |
                                      uint32_t{xing[10]} << 8 | xing[11])
                                   : 0;
        const int samples = header_.Version() == 1 ? 1152 : 576;
        if (header_.SampleRate() > 0) {
          const double seconds = double(frames_) * samples / header_.SampleRate();
          playingTimeMs_ = static_cast<int64_t>(std::nearbyint(seconds)) * 1000;
        }
      }
    }
  }

  const int64_t start = header_.Valid() ? offset_ + header_.FrameLength() : 0;
  tag_.ReadRange(fd, start, length);

  if (!vbr_) {
    // A bit rate of 0 (free format, or no header at all) leaves the time unknown.
    const int64_t bps = header_.BitRateBps();
    if (bps <= 0 || offset_ < 0) {
      playingTimeMs_ = -1;
    } else {
      const int64_t audioBytes = length - offset_ - (tag_.Found() ? 128 : 0);
      playingTimeMs_ = audioBytes * 8 / bps * 1000;
    }
  }
}

}  // namespace melvaro::audio
