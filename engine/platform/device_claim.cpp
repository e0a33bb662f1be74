#include "device_claim.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace melvaro {

namespace {

struct flock WholeFile(short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;
  return lock;
}

}  // namespace

std::unique_ptr<TDeviceClaim> TDeviceClaim::Lock(const std::string& path, int fd, TResult& result) {
  struct flock lock = WholeFile(F_WRLCK);
  int r;
  do r = fcntl(fd, F_OFD_SETLK, &lock);
  while (r != 0 && errno == EINTR);
  if (r != 0) {
    result = errno == EAGAIN || errno == EACCES ? TResult::InUse : TResult::Failed;
    close(fd);
    return nullptr;
  }
  result = TResult::Held;
  return std::unique_ptr<TDeviceClaim>(new TDeviceClaim(path, fd));
}

std::unique_ptr<TDeviceClaim> TDeviceClaim::ClaimNode(const std::string& path, TResult& result) {
  // O_NONBLOCK: the node opens without a medium in the tray.
  const int fd = open(path.c_str(), O_RDONLY | O_EXCL | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    result = errno == EBUSY ? TResult::InUse : TResult::Failed;
    return nullptr;
  }
  return Lock(path, fd, result);
}

std::unique_ptr<TDeviceClaim> TDeviceClaim::ClaimFile(const std::string& path, TResult& result) {
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    result = TResult::Failed;
    return nullptr;
  }
  return Lock(path, fd, result);
}

bool TDeviceClaim::Claimed(const std::string& path, int fd) {
  const bool own = fd < 0;
  if (own) fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct flock lock = WholeFile(F_RDLCK);
  const bool claimed = fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
  if (own) close(fd);
  return claimed;
}

TDeviceClaim::~TDeviceClaim() {
  if (fd_ >= 0) close(fd_);
}

}  // namespace melvaro
