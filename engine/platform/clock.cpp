#include "clock.h"

#include <chrono>
#include <thread>

#include "event.h"

namespace melvaro {

uint64_t MonotonicMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

namespace {

class TSystemClock final : public TClock {
 public:
  uint64_t NowMs() override { return MonotonicMs(); }
  void SleepMs(unsigned ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  bool WaitForEvent(TEvent& event, int timeoutMs) override { return event.WaitFor(timeoutMs); }
};

}  // namespace

TClock& SystemClock() {
  static TSystemClock clock;
  return clock;
}

}  // namespace melvaro
