#include "dispatcher.h"

#include <chrono>

namespace melvaro {

TQueueDispatcher::TQueueDispatcher() : mainThread_(std::this_thread::get_id()) {}

void TQueueDispatcher::Invoke(std::function<void()> fn) {
  if (OnMainThread()) {
    fn();
    return;
  }
  auto call = std::make_shared<TCall>();
  call->fn = std::move(fn);
  std::unique_lock lock(mutex_);
  queue_.push_back(call);
  queued_.notify_all();
  finished_.wait(lock, [&] { return call->finished; });
}

int TQueueDispatcher::ProcessPending() {
  if (!OnMainThread()) return 0;
  int ran = 0;
  for (;;) {
    std::shared_ptr<TCall> call;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) return ran;
      call = queue_.front();
      queue_.pop_front();
    }
    call->fn();
    ++ran;
    std::lock_guard lock(mutex_);
    call->finished = true;
    finished_.notify_all();
  }
}

bool TQueueDispatcher::RunUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    ProcessPending();
    if (done()) return true;
    std::unique_lock lock(mutex_);
    if (timeoutMs < 0) {
      // Wake now and then to test done() for conditions set without a hand-over.
      queued_.wait_for(lock, std::chrono::milliseconds(10), [&] { return !queue_.empty(); });
    } else {
      if (std::chrono::steady_clock::now() >= deadline) return done();
      queued_.wait_until(
          lock,
          std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(10)),
          [&] { return !queue_.empty(); });
    }
  }
}

}  // namespace melvaro
