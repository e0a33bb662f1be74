#include "event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

#include "clock.h"

namespace melvaro {

TEvent::TEvent() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

TEvent::~TEvent() {
  close(fd_);
}

void TEvent::Set() {
  const uint64_t one = 1;
  // A full counter (never reached here) would leave the event signalled anyway.
  [[maybe_unused]] ssize_t n = write(fd_, &one, sizeof one);
}

void TEvent::Reset() {
  uint64_t count;
  while (read(fd_, &count, sizeof count) < 0 && errno == EINTR) {
  }
}

bool TEvent::IsSet() const {
  pollfd p{fd_, POLLIN, 0};
  return poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

bool TEvent::WaitFor(int timeoutMs) {
  const uint64_t deadline = MonotonicMs() + static_cast<uint64_t>(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    int wait = -1;
    if (timeoutMs >= 0) {
      const uint64_t now = MonotonicMs();
      wait = now >= deadline ? 0 : static_cast<int>(deadline - now);
    }
    pollfd p{fd_, POLLIN, 0};
    const int r = poll(&p, 1, wait);
    if (r == 1) {
      // Read and write the count back: the read pairs with the setter's write, so what
      // the setter wrote before signalling is visible here, and the event stays set.
      uint64_t count = 0;
      if (read(fd_, &count, sizeof count) == sizeof count && count != 0) {
        [[maybe_unused]] ssize_t n = write(fd_, &count, sizeof count);
      }
      return true;
    }
    if (r == 0) return false;
    if (errno != EINTR) return false;
  }
}

}  // namespace melvaro
