// The drive object's lock: recursive, so that a worker thread that owns the drive can
// call operations that take the lock again.
#pragma once

#include <mutex>

namespace melvaro {

class TDriveLock {
 public:
  void Enter() { mutex_.lock(); }
  void Leave() { mutex_.unlock(); }
  // For std::lock_guard and friends.
  void lock() { Enter(); }
  void unlock() { Leave(); }

 private:
  std::recursive_mutex mutex_;
};

}  // namespace melvaro
