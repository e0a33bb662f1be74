#include "writing/cache_thread.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "drive/messages.h"
#include "platform/thread_priority.h"

namespace melvaro {

namespace {

void SleepMs(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int64_t RoundUp(int64_t n) {
  return (n + 2047) / 2048 * 2048;
}

}  // namespace

TCacheThread::TCacheThread(uint32_t capacity, TDriveLock& lock, uint32_t blockSize,
                           bool postGapSwitch, int64_t imageLength, TCacheSources sources)
    : lock_(lock),
      blockSize_(std::min(blockSize, kMaxBlockBytes)),
      maxBlocks_(capacity / std::min(blockSize, kMaxBlockBytes)),
      postGap_(postGapSwitch && imageLength < 614400),
      imageLength_(imageLength),
      sources_(std::move(sources)),
      remaining_(imageLength) {
  thread_ = std::thread([this] { Run(); });
}

TCacheThread::~TCacheThread() {
  abortRequested_ = true;
  Wait();
}

void TCacheThread::Wait() {
  if (thread_.joinable()) thread_.join();
}

std::string TCacheThread::ErrorText() {
  std::lock_guard<std::mutex> hold(textLock_);
  return errorText_;
}

void TCacheThread::SetErrorText(const std::string& text) {
  std::lock_guard<std::mutex> hold(textLock_);
  errorText_ = text;
  hasError_ = !text.empty();
  if (hasError_) settled_.Set();
}

std::vector<std::string> TCacheThread::SourceErrors() {
  std::lock_guard<std::mutex> hold(textLock_);
  return sourceErrors_;
}

void TCacheThread::AddSourceError(const std::string& text) {
  std::lock_guard<std::mutex> hold(textLock_);
  sourceErrors_.push_back(text);
}

void TCacheThread::MarkPrimed() {
  if (!primed_.exchange(true)) settled_.Set();
}

std::string TCacheThread::CurrentFile() {
  std::lock_guard<std::mutex> hold(textLock_);
  return currentFile_;
}

size_t TCacheThread::QueuedBlocks() {
  std::lock_guard<TDriveLock> hold(lock_);
  return blocks_.size();
}

namespace {
constexpr int kTierNice[4] = {19, 10, 5, 0};  // idle, lowest, lower, normal
}

// Only where the thread may raise its priority again: otherwise the first full queue
// would leave it at idle priority, starved by any busy process, for the rest of the job.
void TCacheThread::SetTier(int tier) {
  if (tier == priorityState_ || !tiers_) return;
  priorityState_ = tier;
  SetThreadNice(kTierNice[tier]);
}

void TCacheThread::StartBlock() {
  std::lock_guard<TDriveLock> hold(lock_);
  if (!spare_.empty()) {
    current_ = std::move(spare_.back());
    spare_.pop_back();
  } else {
    current_.reset(new TBlock);  // not value-initialised: every byte used is written
  }
}

void TCacheThread::QueueCurrent(uint32_t count) {
  current_->count = count;
  blocks_.push_back(std::move(current_));
  if (consumerWaiting_) changed_.notify_all();
}

void TCacheThread::QueueCopy(const uint8_t* data, uint32_t count) {
  StartBlock();
  std::memcpy(current_->data.data(), data, count);
  QueueCurrent(count);
}

void TCacheThread::WaitForData(int ms) {
  std::unique_lock<TDriveLock> hold(lock_);
  if (!blocks_.empty() || finished_) return;
  consumerWaiting_ = true;
  changed_.wait_for(hold, std::chrono::milliseconds(ms));
  consumerWaiting_ = false;
}

// Waits while the queue is full; false when the job is aborted meanwhile.
bool TCacheThread::WaitForRoom() {
  std::unique_lock<TDriveLock> hold(lock_);
  while (blocks_.size() + 1 >= maxBlocks_ && maxBlocks_ > 1) {
    SetTier(0);
    if (abortRequested_) return false;
    MarkPrimed();
    producerWaiting_ = true;
    changed_.wait_for(hold, std::chrono::milliseconds(1));
    producerWaiting_ = false;
  }
  return true;
}

void TCacheThread::AbortPath() {
  while (taking_) SleepMs(10);
  reading_ = true;
  {
    std::lock_guard<TDriveLock> hold(lock_);
    blocks_.clear();
    spare_.clear();
    {
      std::lock_guard<std::mutex> text(textLock_);
      if (errorText_.empty()) errorText_ = std::string(msg::kOperationAborted);
      hasError_ = true;
    }
    finished_ = true;
    settled_.Set();
  }
  reading_ = false;
}

void TCacheThread::Run() {
  tiers_ = MayRaiseThreadPriority(kTierNice[3]);
  SetThreadNice(kTierNice[2]);
  bufferedBytes_ = 0;
  uint32_t fill = 0;  // bytes in the assembly buffer

  // Header phase.
  if (sources_.imageFile.empty() && sources_.header) {
    const std::vector<uint8_t>& header = *sources_.header;
    size_t at = 0;
    while (at < header.size()) {
      const size_t n = std::min<size_t>(blockSize_, header.size() - at);
      if (n < blockSize_) {
        StartBlock();
        std::memcpy(current_->data.data(), header.data() + at, n);
        fill = static_cast<uint32_t>(n);
        {
          std::lock_guard<TDriveLock> hold(lock_);
          bufferedBytes_ += static_cast<int64_t>(n);
        }
        break;
      }
      {
        std::lock_guard<TDriveLock> hold(lock_);
        QueueCopy(header.data() + at, static_cast<uint32_t>(n));
        bufferedBytes_ += static_cast<int64_t>(n);
      }
      at += n;
      if (!WaitForRoom()) return AbortPath();
    }
  }

  // Source phase: (path, length) pairs; an empty path stands for zero bytes.
  struct TSource {
    std::string path;
    int64_t length;
  };
  std::vector<TSource> list;
  if (!sources_.imageFile.empty()) {
    list.push_back({sources_.imageFile, imageLength_});
  } else {
    if (!sources_.bootImage.empty())
      list.push_back({sources_.bootImage, int64_t{sources_.bootBlocks} * 2048});
    if (sources_.padCount) list.push_back({"", int64_t{sources_.padCount} * 2048});
    if (sources_.files)
      for (const auto& f : *sources_.files)
        if (!f->IsDirectory() && !f->Imported && !f->SourcePath.empty() && f->IsoLength > 0)
          list.push_back({f->SourcePath, f->IsoLength});
    // The post-gap continues the last block rather than starting blocks of its own, so
    // that the image ends in as few 32-block writes as its length needs.
    if (postGap_) {
      std::lock_guard<TDriveLock> hold(lock_);
      list.push_back({"", 614400 - imageLength_});
      remaining_ += 614400 - imageLength_;
    }
  }
  int fd = -1;
  auto closeFile = [&] {
    if (fd >= 0) close(fd);
    fd = -1;
  };
  for (const TSource& source : list) {
    closeFile();
    if (!source.path.empty()) {
      {
        std::lock_guard<std::mutex> text(textLock_);
        currentFile_ = source.path;
      }
      fd = open(source.path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0 && !primed_) {
        std::lock_guard<TDriveLock> hold(lock_);
        SetErrorText(msg::Format(msg::kCantOpenFile, source.path));
        finished_ = true;
        return;
      }
      if (fd < 0) AddSourceError(msg::Format(msg::kCantOpenFile, source.path));
    }
    int64_t left = source.length;
    bool ended = fd < 0;  // the file gave less than its planned length
    while (left > 0) {
      if (!current_) StartBlock();
      uint8_t* assembly = current_->data.data();
      const uint32_t room = blockSize_ - fill;
      const uint32_t want = static_cast<uint32_t>(std::min<int64_t>(room, left));
      uint32_t got = 0;
      if (fd >= 0 && !ended) {
        while (got < want) {
          const ssize_t n = read(fd, assembly + fill + got, want - got);
          if (n < 0 && errno == EINTR) continue;
          if (n <= 0) {
            ended = true;
            AddSourceError(
                msg::Format(n < 0 ? msg::kCantReadFile : msg::kFileShorter, source.path));
            break;
          }
          got += static_cast<uint32_t>(n);
        }
      }
      // Zeros for padding, for what a short file did not give, and up to the block
      // boundary after a file's last piece.
      const uint32_t rounded = static_cast<uint32_t>(RoundUp(want));
      std::memset(assembly + fill + got, 0, rounded - got);
      if (abortRequested_) {
        closeFile();
        return AbortPath();
      }
      {
        std::lock_guard<TDriveLock> hold(lock_);
        fill += rounded;
        if (fill >= blockSize_) {
          QueueCurrent(fill);
          fill = 0;
        }
        left -= want;
        bufferedBytes_ += rounded;
      }
      size_t queued;
      {
        std::lock_guard<TDriveLock> hold(lock_);
        queued = blocks_.size();
      }
      SetTier(queued < maxBlocks_ / 4 ? 3 : queued < maxBlocks_ / 2 ? 2 : 1);
      if (!WaitForRoom()) {
        closeFile();
        return AbortPath();
      }
    }
  }
  closeFile();
  {
    std::lock_guard<TDriveLock> hold(lock_);
    if (fill > 0) QueueCurrent(fill);
    fill = 0;
  }
  MarkPrimed();
  std::unique_lock<TDriveLock> hold(lock_);
  while (remaining_ > 0 && !abortRequested_) {
    producerWaiting_ = true;
    changed_.wait_for(hold, std::chrono::milliseconds(10));
    producerWaiting_ = false;
  }
  finished_ = true;
  if (consumerWaiting_) changed_.notify_all();
}

int32_t TCacheThread::GetBlock(std::unique_ptr<TCacheBlock>& transfer) {
  std::lock_guard<TDriveLock> hold(lock_);
  if (remaining_ == 0 && finished_) return 0;
  if (blocks_.empty()) return finished_ ? 0 : -1;
  while (reading_) {
    if (abortRequested_) return 0;
    SleepMs(1);
  }
  taking_ = true;
  std::unique_ptr<TBlock> block = std::move(blocks_.front());
  blocks_.pop_front();
  const uint32_t count = block->count;
  std::swap(block, transfer);
  bufferedBytes_ -= count;
  remaining_ -= count;
  if (block) spare_.push_back(std::move(block));
  taking_ = false;
  // The producer, waiting for room, is woken when half the queue is free (or after its
  // 1 ms), not for every block: it then refills many blocks in one go. At the end it
  // is woken to report the data finished.
  if (producerWaiting_ && (blocks_.size() <= maxBlocks_ / 2 || remaining_ <= 0))
    changed_.notify_all();
  return static_cast<int32_t>(count);
}

}  // namespace melvaro
