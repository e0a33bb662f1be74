// The engine's hand-over to the main thread (TDispatcher) on Qt's event loop: a worker
// thread's call is queued to the main thread and the worker waits until it has run.
#pragma once

#include <QObject>
#include <atomic>

#include "platform/dispatcher.h"

namespace melvaro {

class TQtDispatcher final : public TDispatcher {
 public:
  // Construct on the main thread (the thread of the QApplication); the event loop there
  // runs the handed-over calls.
  TQtDispatcher();
  ~TQtDispatcher() override;

  // On the main thread fn runs at once. From another thread fn is queued and the caller
  // blocks until the main thread's event loop (or a local loop, e.g. a modal dialog's)
  // has run it. The main thread must not be blocked waiting for that caller.
  void Invoke(std::function<void()> fn) override;
  // On the main thread, runs the calls queued by workers at once (the main thread is
  // waiting for a worker and cannot return to its loop); elsewhere does nothing.
  int ProcessPending() override;

 private:
  QObject context_;
  std::atomic<int> ran_{0};  // handed-over calls run so far
};

}  // namespace melvaro

namespace melvaro {

// The program's one dispatcher, created by the first call, which must come from the main
// thread after the QApplication exists; it lives until the process ends.
TDispatcher& MainThreadDispatcher();

}  // namespace melvaro
