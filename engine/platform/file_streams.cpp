#include "file_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace melvaro {

int64_t TStreamEx::Size() {
  const int64_t at = Seek(0, 1);
  const int64_t end = Seek(0, 2);
  Seek(at, 0);
  return end;
}

void THandleStreamEx::SetSize(int64_t size) {
  if (ftruncate(fd_, static_cast<off_t>(size)) != 0 || lseek(fd_, size, SEEK_SET) < 0)
    throw std::system_error(errno, std::generic_category(), "cannot set the file size");
}

int32_t THandleStreamEx::Read(void* buffer, int32_t count) {
  int32_t done = 0;
  while (done < count) {
    const ssize_t n =
        read(fd_, static_cast<char*>(buffer) + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return 0;
    if (n == 0) break;
    done += static_cast<int32_t>(n);
  }
  return done;
}

int32_t THandleStreamEx::Write(const void* buffer, int32_t count) {
  int32_t done = 0;
  while (done < count) {
    const ssize_t n =
        write(fd_, static_cast<const char*>(buffer) + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return 0;
    done += static_cast<int32_t>(n);
  }
  return done;
}

int64_t THandleStreamEx::Seek(int64_t offset, uint16_t origin) {
  const int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
  return lseek(fd_, static_cast<off_t>(offset), whence);
}

TFileStreamEx::TFileStreamEx(const std::string& fileName, uint16_t mode) : THandleStreamEx(-1) {
  int flags = O_CLOEXEC;
  if (mode == fmCreate) {
    flags |= O_RDWR | O_CREAT | O_TRUNC;
  } else {
    const int access = mode & 0x03;
    flags |= access == fmOpenWrite ? O_WRONLY : access == fmOpenReadWrite ? O_RDWR : O_RDONLY;
  }
  fd_ = open(fileName.c_str(), flags, 0644);
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), fileName);
}

TFileStreamEx::~TFileStreamEx() {
  Close();
}

bool TFileStreamEx::Close() {
  if (fd_ < 0) return true;
  const bool ok = close(fd_) == 0;
  fd_ = -1;
  return ok;
}

}  // namespace melvaro
