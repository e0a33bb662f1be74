#include "id3v1_tag.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace melvaro::audio {

namespace {

[[noreturn]] void Throw(const std::string& what, const std::string& path) {
  throw std::system_error(errno, std::generic_category(), what + " " + path);
}

// A text field: cut at the first 0, then trailing characters of code 32 or less go.
std::string Field(const uint8_t* bytes, size_t length) {
  size_t n = 0;
  while (n < length && bytes[n] != 0) ++n;
  while (n > 0 && bytes[n - 1] <= 32) --n;
  return std::string(reinterpret_cast<const char*>(bytes), n);
}

void PutField(uint8_t* out, const std::string& value, size_t length) {
  std::memset(out, ' ', length);
  std::memcpy(out, value.data(), std::min(length, value.size()));
}

class TFile {
 public:
  TFile(const std::string& path, int flags)
      : path_(path), fd_(open(path.c_str(), flags | O_CLOEXEC)) {
    if (fd_ < 0) Throw("cannot open", path);
  }
  ~TFile() {
    if (fd_ >= 0) close(fd_);
  }
  int fd() const { return fd_; }
  int64_t Size() const {
    struct stat st;
    if (fstat(fd_, &st) != 0) Throw("cannot read", path_);
    return st.st_size;
  }
  bool ReadAt(int64_t at, uint8_t* out, size_t n) const {
    size_t done = 0;
    while (done < n) {
      const ssize_t r = pread(fd_, out + done, n - done, static_cast<off_t>(at + done));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return false;
      done += static_cast<size_t>(r);
    }
    return true;
  }
  bool WriteAt(int64_t at, const uint8_t* in, size_t n) const {
    size_t done = 0;
    while (done < n) {
      const ssize_t r = pwrite(fd_, in + done, n - done, static_cast<off_t>(at + done));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) {
        if (r == 0) errno = ENOSPC;
        return false;
      }
      done += static_cast<size_t>(r);
    }
    return true;
  }

 private:
  std::string path_;
  int fd_;
};

}  // namespace

void TID3v1Tag::Read(const uint8_t* buffer, size_t count) {
  found_ = false;
  changed_ = false;
  if (count < 128 || std::memcmp(buffer, "TAG", 3) != 0) return;
  found_ = true;
  title_ = Field(buffer + 3, 30);
  artist_ = Field(buffer + 33, 30);
  album_ = Field(buffer + 63, 30);
  year_ = Field(buffer + 93, 4);
  comment_ = Field(buffer + 97, 30);
  if (buffer[125] == 0 && buffer[126] != 0) {
    track_ = buffer[126];
    version10_ = false;
  } else {
    track_ = 0;
    version10_ = true;
  }
  genre_ = buffer[127];
}

void TID3v1Tag::ReadRange(int fd, int64_t start, int64_t end) {
  found_ = false;
  changed_ = false;
  if (end - start < 128) return;
  uint8_t tag[128];
  size_t done = 0;
  while (done < sizeof tag) {
    const ssize_t r =
        pread(fd, tag + done, sizeof tag - done, static_cast<off_t>(end - 128 + done));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) throw std::system_error(errno, std::generic_category(), "cannot read the tag");
    if (r == 0) return;
    done += static_cast<size_t>(r);
  }
  Read(tag, sizeof tag);
}

void TID3v1Tag::ReadFile(const std::string& path) {
  TFile file(path, O_RDONLY);
  ReadRange(file.fd(), 0, file.Size());
}

void TID3v1Tag::SetField(TField field, const std::string& value) {
  std::string* target = nullptr;
  size_t length = 30;
  switch (field) {
    case kTitle:
      target = &title_;
      break;
    case kArtist:
      target = &artist_;
      break;
    case kYear:
      target = &year_, length = 4;
      break;
    case kAlbum:
      target = &album_;
      break;
    case kComment:
      target = &comment_, length = version10_ ? 30 : 28;
      break;
  }
  if (!target) return;
  const std::string cut = value.substr(0, length);
  if (cut != *target) {
    *target = cut;
    changed_ = true;
  }
}

void TID3v1Tag::SetGenre(int code) {
  if (code != genre_) {
    genre_ = code;
    changed_ = true;
  }
}

void TID3v1Tag::SetTrack(int track) {
  if (track != track_) {
    track_ = track;
    version10_ = track == 0;
    changed_ = true;
  }
}

std::array<uint8_t, 128> TID3v1Tag::Build() {
  std::array<uint8_t, 128> t{};
  std::memcpy(t.data(), "TAG", 3);
  PutField(&t[3], title_, 30);
  PutField(&t[33], artist_, 30);
  PutField(&t[63], album_, 30);
  PutField(&t[93], year_, 4);
  PutField(&t[97], comment_, 30);
  if (!version10_) {
    t[125] = 0;
    t[126] = static_cast<uint8_t>(track_);
  }
  t[127] = static_cast<uint8_t>(genre_);
  changed_ = false;
  return t;
}

void TID3v1Tag::WriteToFile(const std::string& path) {
  TFile file(path, O_RDWR);
  const int64_t size = file.Size();
  const auto tag = Build();
  uint8_t old[128];
  if (size >= 128 && file.ReadAt(size - 128, old, 128) && std::memcmp(old, "TAG", 3) == 0) {
    if (!file.WriteAt(size - 128, tag.data(), tag.size()) || fsync(file.fd()) != 0) {
      const int err = errno;
      file.WriteAt(size - 128, old, 128);  // put the former tag back
      errno = err;
      Throw("cannot write the tag of", path);
    }
    return;
  }
  if (!file.WriteAt(size, tag.data(), tag.size()) || fsync(file.fd()) != 0) {
    const int err = errno;
    // Cut back to the former length; a file that refuses even that keeps the bytes.
    [[maybe_unused]] const int cut = ftruncate(file.fd(), size);
    errno = err;
    Throw("cannot write the tag of", path);
  }
}

void TID3v1Tag::DeleteFromFile(const std::string& path) {
  TFile file(path, O_RDWR);
  const int64_t size = file.Size();
  uint8_t old[3];
  if (size < 128 || !file.ReadAt(size - 128, old, 3) || std::memcmp(old, "TAG", 3) != 0) return;
  if (ftruncate(file.fd(), size - 128) != 0) Throw("cannot remove the tag of", path);
}

}  // namespace melvaro::audio
