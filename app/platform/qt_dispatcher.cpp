#include "platform/qt_dispatcher.h"

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
      &context_, [&fn] { fn(); }, Qt::BlockingQueuedConnection);
}

}  // namespace melvaro

namespace melvaro {

TDispatcher& MainThreadDispatcher() {
  static TQtDispatcher dispatcher;
  return dispatcher;
}

}  // namespace melvaro
