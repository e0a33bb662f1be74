// The platform pieces the engine's threads rely on: the event, the main-thread
// dispatcher, whole-file replacement.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/atomic_file.h"
#include "platform/dispatcher.h"
#include "platform/event.h"

namespace melvaro {
namespace {

TEST(Event, ManualResetWithTimedWaits) {
  TEvent event;
  EXPECT_FALSE(event.WaitFor(0));
  EXPECT_FALSE(event.WaitFor(20)) << "nobody sets it";
  std::thread setter([&] { event.Set(); });
  EXPECT_TRUE(event.WaitFor(-1));
  setter.join();
  EXPECT_TRUE(event.WaitFor(0)) << "stays set until reset";
  EXPECT_TRUE(event.IsSet());
  event.Reset();
  EXPECT_FALSE(event.IsSet());
  // A plug-in sets it by writing to the descriptor.
  const uint64_t one = 1;
  ASSERT_EQ(write(event.Handle(), &one, sizeof one), 8);
  EXPECT_TRUE(event.WaitFor(0));
}

TEST(Dispatcher, WorkFromAThreadRunsOnTheMainThreadAndIsWaitedFor) {
  TQueueDispatcher dispatcher;
  std::atomic<bool> returned{false};
  bool ranOnMain = false;
  int value = 0;
  std::thread worker([&] {
    dispatcher.Invoke([&] {
      ranOnMain = dispatcher.OnMainThread();
      value = 42;
    });
    returned = true;  // only after the main thread ran the function
  });
  EXPECT_TRUE(dispatcher.RunUntil([&] { return returned.load(); }, 10000));
  worker.join();
  EXPECT_TRUE(ranOnMain);
  EXPECT_EQ(value, 42);
  int direct = 0;
  dispatcher.Invoke([&] { direct = 1; });
  EXPECT_EQ(direct, 1) << "on the main thread itself it runs at once";
  EXPECT_EQ(dispatcher.ProcessPending(), 0);
}

TEST(AtomicFile, ReplacesWholeOrNotAtAll) {
  char pattern[] = "/tmp/melvaro-file-test-XXXXXX";
  const std::string folder = mkdtemp(pattern);
  const std::string path = folder + "/Option.ini";
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(path, "[General]\nA=1\n", true, &error)) << error;
  ASSERT_TRUE(WriteFileAtomically(path, "[General]\nA=2\n", false, &error)) << error;
  EXPECT_EQ(ReadWholeFile(path).value_or(""), "[General]\nA=2\n");
  EXPECT_FALSE(WriteFileAtomically(folder + "/missing/x.ini", "x", true, &error));
  EXPECT_NE(error.find("missing/x.ini"), std::string::npos) << error;
  // A target that cannot be replaced (a folder) keeps its place and leaves no temporary.
  std::filesystem::create_directory(folder + "/taken");
  EXPECT_FALSE(WriteFileAtomically(folder + "/taken", "x", false, &error));
  EXPECT_TRUE(std::filesystem::is_directory(folder + "/taken"));
  size_t entries = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(folder)) ++entries;
  EXPECT_EQ(entries, 2u) << "Option.ini and the folder only";
  EXPECT_FALSE(ReadWholeFile(folder + "/none"));
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace melvaro
