#include "image_destination.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

namespace melvaro {

namespace {

std::string Reason(int error) {
  return std::strerror(error);
}

// Follows symbolic links from `path` to the name of the file they finally name (which
// need not exist yet). False with errno set for a loop or an unreadable link.
bool FollowLinks(std::string& path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return errno == ENOENT;  // a new file
    if (!S_ISLNK(st.st_mode)) return true;
    std::vector<char> target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4095) + 1);
    const ssize_t n = readlink(path.c_str(), target.data(), target.size());
    if (n < 0) return false;
    std::string next(target.data(), static_cast<size_t>(n));
    if (next.empty() || next[0] != '/') {
      const size_t slash = path.find_last_of('/');
      if (slash != std::string::npos) next = path.substr(0, slash + 1) + next;
    }
    path = next;
  }
  errno = ELOOP;
  return false;
}

}  // namespace

bool TImageDestination::Open(const std::string& requested, std::string& error) {
  Discard();
  std::string path = requested;
  if (path.empty() || path.back() == '/') {
    error = "cannot write the image " + requested + ": " + Reason(EISDIR);
    return false;
  }
  if (!FollowLinks(path)) {
    error = "cannot write the image " + requested + ": " + Reason(errno);
    return false;
  }
  struct stat st {};
  bool existing = false;
  if (stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      error = "cannot write the image " + requested + ": " + Reason(EISDIR);
      return false;
    }
    if (!S_ISREG(st.st_mode)) {
      error = "cannot write the image " + requested + ": not a regular file";
      return false;
    }
    existing = true;
  }
  // A name nobody else uses: created exclusively, never an existing file reused.
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  int fd = -1;
  std::string name;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%d-%u-%08x.part", static_cast<int>(getpid()), counter++,
                  random());
    name = path + suffix;
    fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    error = "cannot write the image " + requested + ": " + Reason(errno);
    return false;
  }
  if (existing) fchmod(fd, st.st_mode & 07777);  // the new image keeps the old one's mode
  path_ = path;
  existed_ = existing;
  temp_ = name;
  fd_ = fd;
  return true;
}

bool TImageDestination::Commit(std::string& error) {
  if (fd_ < 0) {
    error = "cannot write the image " + path_;
    return false;
  }
  const bool closed = close(fd_) == 0;
  const int closeError = errno;
  fd_ = -1;
  if (!closed) {
    error = "cannot write the image " + path_ + ": " + Reason(closeError);
    Discard();
    return false;
  }
  if (rename(temp_.c_str(), path_.c_str()) != 0) {
    error = "cannot replace " + path_ + ": " + Reason(errno);
    Discard();
    return false;
  }
  temp_.clear();
  return true;
}

void TImageDestination::Discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
}

}  // namespace melvaro
