// Holding a drive for one job against other processes: the device node (or a drive's
// lock file) opened and an advisory lock taken on it. The lock is an open file
// description lock, so it also keeps out a second holder in the same process, and it
// goes away with the descriptor when the holder ends, however it ends.
#pragma once

#include <memory>
#include <string>

namespace melvaro {

class TDeviceClaim {
 public:
  enum class TResult { Held, InUse, Failed };

  // A device node: opened with O_EXCL (which the kernel refuses while another program
  // holds the node exclusively or has it mounted) and locked.
  static std::unique_ptr<TDeviceClaim> ClaimNode(const std::string& path, TResult& result);
  // A lock file, created when missing, and locked.
  static std::unique_ptr<TDeviceClaim> ClaimFile(const std::string& path, TResult& result);
  // Whether another holder has the lock of `path` (a node or a lock file); false when the
  // path cannot be opened. `fd` >= 0 is used instead of opening the path.
  static bool Claimed(const std::string& path, int fd = -1);

  ~TDeviceClaim();
  TDeviceClaim(const TDeviceClaim&) = delete;
  TDeviceClaim& operator=(const TDeviceClaim&) = delete;

  const std::string& Path() const { return path_; }

 private:
  TDeviceClaim(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  static std::unique_ptr<TDeviceClaim> Lock(const std::string& path, int fd, TResult& result);

  std::string path_;
  int fd_ = -1;
};

}  // namespace melvaro
