// Copying a run of bytes from one open file into another, each from its current position:
// inside the kernel (copy_file_range) where the kernel and both file systems allow it,
// through a buffer in user space where they refuse.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <vector>

namespace melvaro {

// The kernel's copy call, in copy_file_range's shape: -1 with errno on failure, 0 at the
// end of the source. Tests pass one that refuses or fails.
using TKernelCopyCall = ssize_t (*)(int fdIn, off64_t* offIn, int fdOut, off64_t* offOut,
                                    size_t length, unsigned flags);
TKernelCopyCall SystemKernelCopy();

enum class TCopyFault { kNone, kRead, kWrite, kCopy };

struct TCopyResult {
  int64_t copied = 0;  // less than asked only when the source ended first (or on a fault)
  TCopyFault fault = TCopyFault::kNone;
  int error = 0;  // errno of the fault
};

class TFileCopier {
 public:
  explicit TFileCopier(TKernelCopyCall kernelCopy = SystemKernelCopy()) : kernelCopy_(kernelCopy) {}

  // Copies up to `count` bytes from `in` to `out` and advances both positions. A kernel
  // that refuses the pair (EXDEV, EINVAL, ENOSYS, EOPNOTSUPP, EPERM, EBADF, ETXTBSY) or
  // copies nothing is answered with read and write through a buffer of 131 072 bytes for
  // the rest of the run; any other error ends the copy with a fault (kCopy from the
  // kernel, kRead or kWrite from the buffered copy).
  TCopyResult Copy(int in, int out, int64_t count);

 private:
  TKernelCopyCall kernelCopy_;
  std::vector<uint8_t> buffer_;
};

}  // namespace melvaro
