#include "file_copy.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace melvaro {

namespace {

constexpr size_t kBuffer = 131072;
constexpr int64_t kKernelRun = int64_t{1} << 30;  // the most one kernel call is asked for

bool Refused(int error) {
  switch (error) {
    case EXDEV:       // two file systems (kernels before 5.3, and unlike ones after 5.19)
    case EINVAL:      // a file system or file type without the operation
    case ENOSYS:      // no such call (old kernels, some sandboxes)
    case EOPNOTSUPP:  // the same as ENOTSUP here
    case EPERM:       // sandboxes that filter the call
    case EBADF:       // descriptors the call does not take (append mode)
    case ETXTBSY:
      return true;
    default:
      return false;
  }
}

ssize_t KernelCopy(int fdIn, off64_t* offIn, int fdOut, off64_t* offOut, size_t length,
                   unsigned flags) {
  return ::copy_file_range(fdIn, offIn, fdOut, offOut, length, flags);
}

}  // namespace

TKernelCopyCall SystemKernelCopy() {
  return KernelCopy;
}

TCopyResult TFileCopier::Copy(int in, int out, int64_t count) {
  TCopyResult r;
  bool kernel = kernelCopy_ != nullptr;
  while (r.copied < count) {
    const int64_t want = count - r.copied;
    if (kernel) {
      const ssize_t n = kernelCopy_(in, nullptr, out, nullptr,
                                    static_cast<size_t>(std::min(want, kKernelRun)), 0);
      if (n > 0) {
        r.copied += n;
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && !Refused(errno)) {
        r.fault = TCopyFault::kCopy;
        r.error = errno;
        return r;
      }
      // Refused, or nothing copied: some file systems copy nothing from files that do
      // hold data, so a read tells the source's end from that.
      kernel = false;
      continue;
    }
    if (buffer_.empty()) buffer_.resize(kBuffer);
    const ssize_t got =
        read(in, buffer_.data(), static_cast<size_t>(std::min<int64_t>(want, kBuffer)));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      r.fault = TCopyFault::kRead;
      r.error = errno;
      return r;
    }
    if (got == 0) break;
    for (ssize_t done = 0; done < got;) {
      const ssize_t n = write(out, buffer_.data() + done, static_cast<size_t>(got - done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        r.fault = TCopyFault::kWrite;
        r.error = n < 0 ? errno : EIO;
        return r;
      }
      done += n;
    }
    r.copied += got;
  }
  return r;
}

}  // namespace melvaro
