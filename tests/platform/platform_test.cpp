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
#include "platform/device_claim.h"
#include "platform/dispatcher.h"
#include "platform/event.h"
#include "platform/image_destination.h"

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

TEST(DeviceClaim, OneHolderAtATime) {
  char pattern[] = "/tmp/melvaro-claim-test-XXXXXX";
  const std::string folder = mkdtemp(pattern);
  const std::string path = folder + "/drive0.lock";
  TDeviceClaim::TResult result;
  EXPECT_FALSE(TDeviceClaim::Claimed(path)) << "no lock file yet";
  auto first = TDeviceClaim::ClaimFile(path, result);
  ASSERT_TRUE(first);
  EXPECT_EQ(result, TDeviceClaim::TResult::Held);
  EXPECT_TRUE(TDeviceClaim::Claimed(path));
  EXPECT_FALSE(TDeviceClaim::ClaimFile(path, result)) << "a second holder, even in this process";
  EXPECT_EQ(result, TDeviceClaim::TResult::InUse);
  first.reset();
  EXPECT_FALSE(TDeviceClaim::Claimed(path)) << "the lock ends with its holder";
  EXPECT_TRUE(TDeviceClaim::ClaimFile(path, result));
  EXPECT_FALSE(TDeviceClaim::ClaimFile(folder + "/missing/x.lock", result));
  EXPECT_EQ(result, TDeviceClaim::TResult::Failed);
  std::filesystem::remove_all(folder);
}

TEST(ImageDestination, CheckedResolvedAndReplacedWhole) {
  char pattern[] = "/tmp/melvaro-dest-test-XXXXXX";
  const std::string folder = mkdtemp(pattern);
  std::string error;
  struct TCase {
    std::string path;
    const char* says;
  } refused[] = {{"/dev/null", "not a regular file"},
                 {folder, "Is a directory"},
                 {folder + "/", "Is a directory"},
                 {folder + "/missing/x.iso", "No such file"}};
  for (const auto& c : refused) {
    TImageDestination d;
    EXPECT_FALSE(d.Open(c.path, error)) << c.path;
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
    EXPECT_EQ(d.Fd(), -1);
  }
  std::ofstream(folder + "/old.iso") << "old";
  std::filesystem::create_symlink("old.iso", folder + "/link.iso");
  std::ofstream(folder + "/link.iso.part") << "someone else's";
  {
    TImageDestination a, b;
    ASSERT_TRUE(a.Open(folder + "/link.iso", error)) << error;
    ASSERT_TRUE(b.Open(folder + "/link.iso", error)) << error;
    EXPECT_EQ(a.Path(), folder + "/old.iso");
    EXPECT_NE(a.TempPath(), b.TempPath()) << "each job has a name of its own";
    ASSERT_EQ(write(a.Fd(), "new", 3), 3);
    ASSERT_TRUE(a.Commit(error)) << error;
    ASSERT_EQ(write(b.Fd(), "lost", 4), 4);
    const std::string temp = b.TempPath();
    ASSERT_TRUE(std::filesystem::exists(temp));
    b.Discard();
    EXPECT_FALSE(std::filesystem::exists(temp));
  }
  EXPECT_TRUE(std::filesystem::is_symlink(folder + "/link.iso"));
  EXPECT_EQ(ReadWholeFile(folder + "/old.iso").value_or(""), "new");
  EXPECT_EQ(ReadWholeFile(folder + "/link.iso.part").value_or(""), "someone else's");
  size_t files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder)) ++files;
  EXPECT_EQ(files, 3u) << "no temporary file is left";
  std::filesystem::remove_all(folder);
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
