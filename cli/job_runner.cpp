#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>

#include "burner/disc_burner.h"
#include "options.h"
#include "platform/dispatcher.h"

namespace melvaro::cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) {
  interrupted = 1;
}

}  // namespace

std::string RunJob(TDiscBurner& burner, const std::function<bool()>& start,
                   const TGlobalOptions& options) {
  TQueueDispatcher dispatcher;
  burner.Dispatcher = &dispatcher;
  bool done = false;
  std::string error;
  burner.OnWriteDone = [&](TDiscBurner*, const std::string& e) {
    error = e;
    done = true;
  };
  interrupted = 0;
  auto previous = std::signal(SIGINT, OnInterrupt);
  const bool started = start();
  const double total = static_cast<double>(burner.ImageBlocks()) * 2048 / 1e6;
  const bool bar = isatty(2) && !options.progress;
  const auto began = std::chrono::steady_clock::now();
  bool aborting = false;
  while (started && !dispatcher.RunUntil([&] { return done; }, bar ? 250 : 1000)) {
    if (interrupted && !aborting) {
      aborting = true;
      std::fprintf(stderr, "\naborting...\n");
      burner.AbortOperation();
    }
    if (total <= 0 || !burner.JobRunning()) continue;
    const double written = static_cast<double>(burner.BytesWritten()) / 1e6;
    const int percent = static_cast<int>(written * 100 / total);
    if (bar) {
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
      const double speed = seconds > 0 ? written / seconds : 0;
      const int left = speed > 0 ? static_cast<int>((total - written) / speed) : 0;
      char line[41];
      const int filled = percent * 40 / 100;
      for (int i = 0; i < 40; ++i) line[i] = i < filled ? '#' : '-';
      line[40] = 0;
      std::fprintf(stderr, "\r[%s] %3d%% %.1f/%.1f MB %.1f MB/s %d:%02d left ", line, percent,
                   written, total, speed, left / 60, left % 60);
    } else {
      std::fprintf(stderr, "progress: %d%% %.1f/%.1f MB\n", percent, written, total);
    }
  }
  if (bar && started) std::fprintf(stderr, "\r%90s\r", "");
  burner.WaitForJob();
  std::signal(SIGINT, previous);
  burner.OnWriteDone = nullptr;
  burner.Dispatcher = nullptr;
  if (!started && error.empty()) return "the job did not start";
  return error;
}

}  // namespace melvaro::cli
