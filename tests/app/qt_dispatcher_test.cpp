#include "platform/qt_dispatcher.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <thread>

namespace melvaro {
namespace {

TEST(QtDispatcher, RunsAWorkersCallOnTheMainThreadAndWaitsForIt) {
  TQtDispatcher dispatcher;
  QThread* ranOn = nullptr;
  std::atomic<bool> returned{false};
  bool ranBeforeReturn = false;
  QEventLoop loop;
  std::thread worker([&] {
    dispatcher.Invoke([&] {
      ranOn = QThread::currentThread();
      ranBeforeReturn = !returned;
    });
    returned = true;
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  // A guard against a hang: the loop ends when the worker has returned.
  QTimer::singleShot(30000, &loop, &QEventLoop::quit);
  loop.exec();
  worker.join();
  EXPECT_TRUE(returned);
  EXPECT_EQ(ranOn, QCoreApplication::instance()->thread());
  EXPECT_TRUE(ranBeforeReturn);
}

TEST(QtDispatcher, RunsAMainThreadCallAtOnce) {
  TQtDispatcher dispatcher;
  bool ran = false;
  dispatcher.Invoke([&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_EQ(&MainThreadDispatcher(), &MainThreadDispatcher());
}

}  // namespace
}  // namespace melvaro
