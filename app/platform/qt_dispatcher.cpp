#include "platform/qt_dispatcher.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

namespace melvaro {

TQtDispatcher::TQtDispatcher() = default;
TQtDispatcher::~TQtDispatcher() = default;

void TQtDispatcher::Invoke(std::function<void()> fn) {
  if (QThread::currentThread() == context_.thread()) {
    fn();
    return;
  }
  QMetaObject::invokeMethod(
      &context_,
      [this, &fn] {
        fn();
        ++ran_;
      },
      Qt::BlockingQueuedConnection);
}

int TQtDispatcher::ProcessPending() {
  if (QThread::currentThread() != context_.thread()) return 0;
  const int before = ran_;
  QCoreApplication::sendPostedEvents(&context_, QEvent::MetaCall);
  return ran_ - before;
}

}  // namespace melvaro

namespace melvaro {

TDispatcher& MainThreadDispatcher() {
  static TQtDispatcher dispatcher;
  return dispatcher;
}

}  // namespace melvaro
