#include "platform/qt_dispatcher.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
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

// A main thread that waits for a worker (joining a job's thread) without returning to its
// event loop still runs the worker's handed-over call when it asks for pending ones.
TEST(QtDispatcher, ProcessPendingRunsAQueuedCallWithoutTheEventLoop) {
  TQtDispatcher dispatcher;
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    dispatcher.Invoke([] {});
    returned = true;
  });
  int ran = 0;
  for (int i = 0; i < 30000 && !returned; ++i) {
    ran += dispatcher.ProcessPending();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  worker.join();
  EXPECT_TRUE(returned);
  EXPECT_EQ(ran, 1);
  int offMain = -1;
  std::thread([&] { offMain = dispatcher.ProcessPending(); }).join();
  EXPECT_EQ(offMain, 0);
}

}  // namespace
}  // namespace melvaro
