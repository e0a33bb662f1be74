// Burning a compilation of 1 000 files of 2 MiB to an unthrottled virtual DVD+R, and
// building its image through the cache, against `cat` of the same files into one file,
// each in a child process of its own, in pairs run in turn: cat, burn, cat, image. Prints
// one line per round (five, or as many as the second argument says): the burn's ratio to
// its cat with and without the ready waits the burn sequence prescribes, the cached
// image's ratio to its cat, and the peak memory of both jobs in MiB.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "burner/disc_burner.h"
#include "drive_store.h"
#include "platform/dispatcher.h"
#include "platform/event.h"
#include "recorder.h"

using namespace melvaro;

namespace {

// The ready waits of the burn sequence (sleeps of 100 ms and more, which the virtual
// recorder never needs) are added up instead of slept, and added to the measured time
// afterwards; shorter sleeps, which wait for data, are real. Not sleeping them keeps
// the run free of a side effect that would otherwise dominate it on virtual machines:
// memory freed just before a job (the previous job's output) goes back to the host
// after about two seconds, and a job that writes its 2 GiB later pays for fresh pages
// that cat, started at once, does not.
class TReadyWaitClock final : public TClock {
 public:
  uint64_t NowMs() override { return SystemClock().NowMs() + skipped; }
  void SleepMs(unsigned ms) override {
    if (ms >= 100)
      skipped += ms;
    else
      SystemClock().SleepMs(ms);
  }
  bool WaitForEvent(TEvent& event, int timeoutMs) override { return event.WaitFor(timeoutMs); }
  std::atomic<uint64_t> skipped{0};
};

struct TRun {
  double seconds = 0, waits = 0, peakMiB = 0;
};

// Runs `job` in a child; the child writes its wait seconds into a pipe.
TRun InChild(const std::function<double()>& job) {
  sync();  // every job starts with the same (empty) backlog of dirty pages
  int pipefd[2];
  if (pipe(pipefd) != 0) std::exit(1);
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    close(pipefd[0]);
    const double waits = job();
    (void)!write(pipefd[1], &waits, sizeof waits);
    _exit(0);
  }
  close(pipefd[1]);
  TRun run;
  (void)!read(pipefd[0], &run.waits, sizeof run.waits);
  close(pipefd[0]);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.peakMiB = usage.ru_maxrss / 1024.0;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::exit(1);
  return run;
}

void Compile(TDiscBurner& b, const std::string& folder) {
  b.ClearCompilation(600000, 20000);
  for (int i = 0; i < 1000; ++i)
    b.InsertFile("\\", folder + "/f" + std::to_string(i) + ".bin", false);
}

double Burn(const std::string& folder, const std::string& vrec, bool toImage) {
  TReadyWaitClock clock;
  TTransport transport;
  TDiscBurner burner(transport, clock);
  TQueueDispatcher dispatcher;
  burner.Dispatcher = &dispatcher;
  bool done = false;
  std::string error;
  burner.OnWriteDone = [&](TDiscBurner*, const std::string& e) {
    error = e;
    done = true;
  };
  Compile(burner, folder);
  if (toImage) {
    burner.LayoutImage(true);
    burner.BuildImage(folder + "/../image.iso", false);
  } else {
    std::string why;
    if (!vrec::InitFolder(vrec, &why)) std::exit(5);
    vrec::TDriveStore store(vrec, 0);
    store.Refresh(&why);
    if (!store.InsertMedium(vrec::TMedium::Blank(vrec::TMediumKind::DvdPlusR), "", &why))
      std::exit(6);
    if (!burner.InitializeASPI(false, MELVARO_BIN_DIR "/libwnaspi32.so")) std::exit(2);
    burner.SelectDevice(burner.DeviceList().at(0));
    burner.LayoutImage(false);
    if (!burner.BurnCompilation()) std::exit(3);
  }
  dispatcher.RunUntil([&] { return done; });
  burner.WaitForJob();
  if (!error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    std::exit(4);
  }
  return clock.skipped / 1000.0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string work = argc > 1 ? argv[1] : "/tmp/melvaro-bench-burn";
  const std::string folder = work + "/files";
  std::filesystem::create_directories(folder);
  setenv("MELVARO_VREC", (work + "/vrec").c_str(), 1);
  std::vector<char> data(2 << 20);
  for (int i = 0; i < 1000; ++i) {
    std::fill(data.begin(), data.end(), static_cast<char>(i));
    std::ofstream(folder + "/f" + std::to_string(i) + ".bin", std::ios::binary)
        .write(data.data(), data.size());
  }
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  auto cat = [&] {
    const double seconds = InChild([&] {
                             std::string command = "cat";
                             for (int i = 0; i < 1000; ++i)
                               command += " " + folder + "/f" + std::to_string(i) + ".bin";
                             command += " > " + work + "/cat.out";
                             return std::system(command.c_str()) == 0 ? 0.0 : 1.0;
                           }).seconds;
    std::filesystem::remove(work + "/cat.out");
    return seconds;
  };
  for (int round = 0; round < rounds; ++round) {
    const double catBeforeBurn = cat();
    const TRun burnRun = InChild([&] { return Burn(folder, work + "/vrec", false); });
    std::filesystem::remove(work + "/vrec/drive0.data");
    const double catBeforeImage = cat();
    const TRun imageRun = InChild([&] { return Burn(folder, work + "/vrec", true); });
    std::filesystem::remove(work + "/image.iso");
    if (std::getenv("MELVARO_BENCH_VERBOSE"))
      std::fprintf(stderr,
                   "cat %.2f s, burn %.2f s + %.2f s of ready waits, cat %.2f s, image %.2f s\n",
                   catBeforeBurn, burnRun.seconds, burnRun.waits, catBeforeImage, imageRun.seconds);
    std::printf("%.3f %.3f %.3f %.0f %.0f\n", (burnRun.seconds + burnRun.waits) / catBeforeBurn,
                burnRun.seconds / catBeforeBurn, imageRun.seconds / catBeforeImage, burnRun.peakMiB,
                imageRun.peakMiB);
    std::fflush(stdout);
  }
  std::filesystem::remove_all(work);
  return 0;
}
