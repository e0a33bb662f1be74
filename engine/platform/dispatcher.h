// Hand-over of work from engine threads to the main thread.
//
// Worker threads never touch a user interface. Whatever must run on the main thread
// (job-end events, questions to the user) is passed to a TDispatcher, which runs the
// function there and returns when it has run. The desktop application supplies one
// built on its event loop; the command-line front end and the tests use
// TQueueDispatcher, whose main loop is ProcessPending / RunUntil.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace melvaro {

class TDispatcher {
 public:
  virtual ~TDispatcher() = default;
  // Runs fn on the main thread and waits for it to finish. Called on the main thread
  // itself, fn runs at once.
  virtual void Invoke(std::function<void()> fn) = 0;
  // Called on the main thread, runs at once the functions waiting there and returns how
  // many ran; on any other thread it does nothing and returns 0. A main thread that
  // waits for a worker thread (a job's end, joining it) calls this while it waits, so
  // that a worker handing a call over is not left waiting for a busy main loop.
  virtual int ProcessPending() = 0;
};

// A queue-driven main loop. The thread that constructs it is the main thread.
class TQueueDispatcher final : public TDispatcher {
 public:
  TQueueDispatcher();
  void Invoke(std::function<void()> fn) override;

  // Runs every queued function; returns how many ran (0 off the main thread).
  int ProcessPending() override;
  // Main thread only: runs queued functions until done() is true or timeoutMs have
  // passed (negative: no limit). Returns done().
  bool RunUntil(const std::function<bool()>& done, int timeoutMs = -1);
  bool OnMainThread() const { return std::this_thread::get_id() == mainThread_; }

 private:
  struct TCall {
    std::function<void()> fn;
    bool finished = false;
  };
  std::thread::id mainThread_;
  std::mutex mutex_;
  std::condition_variable queued_;
  std::condition_variable finished_;
  std::deque<std::shared_ptr<TCall>> queue_;
};

}  // namespace melvaro
