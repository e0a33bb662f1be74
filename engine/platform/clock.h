// The clock and sleeper seam of the engine.
//
// Every sleep, polling interval and timed wait of the engine goes through a TClock, so
// that tests of ready loops, busy retries and completion time-outs run in milliseconds
// while the program uses real time.
#pragma once

#include <cstdint>

namespace melvaro {

class TEvent;

// Milliseconds of the system's monotonic clock.
uint64_t MonotonicMs();

class TClock {
 public:
  virtual ~TClock() = default;
  // Milliseconds since an arbitrary fixed point; never goes backwards.
  virtual uint64_t NowMs() = 0;
  virtual void SleepMs(unsigned ms) = 0;
  // Waits until the event is set or timeoutMs have passed; true when it was set.
  virtual bool WaitForEvent(TEvent& event, int timeoutMs) = 0;
};

// Real time: the monotonic clock, nanosleep and the event's own wait.
TClock& SystemClock();

}  // namespace melvaro
