// A manual-reset event with timed waits, backed by a Linux eventfd.
//
// Once set, the event stays signalled until Reset(). Its descriptor can be handed to
// another component (the drive plug-in signals completion by writing to it), so the
// event is usable across a C interface as well as between threads of this process.
#pragma once

namespace melvaro {

class TEvent {
 public:
  TEvent();  // starts reset; throws std::system_error when no eventfd can be created
  ~TEvent();
  TEvent(const TEvent&) = delete;
  TEvent& operator=(const TEvent&) = delete;

  void Set();
  void Reset();
  // Waits at most timeoutMs milliseconds (negative: without limit). True when signalled.
  // A successful wait also orders this thread after the one that set the event.
  bool WaitFor(int timeoutMs);
  bool IsSet() const;
  // The eventfd descriptor; writing an 8-byte count to it sets the event.
  int Handle() const { return fd_; }

 private:
  int fd_;
};

}  // namespace melvaro
