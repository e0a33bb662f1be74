// TCacheThread: reads a whole image in order, ahead of the writer, into a bounded queue
// of blocks of up to 64 KiB: the header stream, the boot image, the padding, then every
// file of the file table, with consecutive files sharing blocks (or, for burning an
// image file, that one file). The write thread takes the blocks off the front.
//
// A source that cannot be opened before the cache is primed stops it (nothing has been
// written yet). Once writing may have begun, a source that cannot be opened or read, or
// that gives fewer bytes than it had at layout, is made up with zeros so that the disc
// stays consistent, and is named in SourceErrors: the job then ends with an error.
//
// The queue, BufferedBytes and Remaining change only under the drive's lock; the
// flags shared with the write thread and the main thread are atomics.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "compilation/entries.h"
#include "platform/drive_lock.h"
#include "platform/event.h"

namespace melvaro {

// A queue block: up to 64 KiB of image data and the count of its bytes (a multiple of
// 2048). The write thread's transfer buffer is a block of the same kind, so that a block
// changes hands without being copied.
struct TCacheBlock {
  uint32_t count = 0;
  std::array<uint8_t, 65536> data;
};

struct TCacheSources {
  // Kept as it is, so that a verification can compare the disc with it afterwards.
  const std::vector<uint8_t>* header = nullptr;
  std::string bootImage;
  uint32_t bootBlocks = 0;
  uint32_t padCount = 0;
  const std::vector<std::unique_ptr<TFEntry>>* files = nullptr;
  std::string imageFile;  // set for burning an image file: the only source
};

class TCacheThread {
 public:
  static constexpr uint32_t kMaxBlockBytes = 65536;

  // Starts reading at once.
  TCacheThread(uint32_t capacity, TDriveLock& lock, uint32_t blockSize, bool postGapSwitch,
               int64_t imageLength, TCacheSources sources);
  ~TCacheThread();  // waits for the thread
  TCacheThread(const TCacheThread&) = delete;
  TCacheThread& operator=(const TCacheThread&) = delete;

  // Hands the first queued block over in `transfer` (the block `transfer` held goes back
  // to the cache for reuse) and returns its byte count; -1 when nothing is queued yet,
  // 0 when the data has ended or the job was aborted (`transfer` is then unchanged).
  // Bytes of the block beyond the count are left over from its earlier use.
  int32_t GetBlock(std::unique_ptr<TCacheBlock>& transfer);
  void Abort() {
    abortRequested_ = true;
    changed_.notify_all();
  }
  // Waits at most `ms` milliseconds for a block to be queued (or the data to end).
  void WaitForData(int ms);
  void Wait();

  bool Primed() const { return primed_; }
  // Set once the cache is primed or has failed: a starting job waits on it.
  TEvent& PrimedOrFailed() { return settled_; }
  bool Finished() const { return finished_; }
  std::string ErrorText();
  // Cheap enough for every block: whether ErrorText is set.
  bool HasError() const { return hasError_; }
  void SetErrorText(const std::string& text);
  // The sources made up with zeros, one text each naming the file, in order.
  std::vector<std::string> SourceErrors();
  std::string CurrentFile();
  int64_t BufferedBytes() const { return bufferedBytes_; }
  uint32_t MaxBlocks() const { return maxBlocks_; }
  size_t QueuedBlocks();

 private:
  using TBlock = TCacheBlock;
  void Run();
  bool WaitForRoom();  // false on abort
  void AbortPath();
  // The block being filled, from the spare blocks when there is one.
  void StartBlock();
  // Queues the block being filled with `count` bytes (under the lock).
  void QueueCurrent(uint32_t count);
  // Queues a copy of `count` bytes (under the lock).
  void QueueCopy(const uint8_t* data, uint32_t count);
  void SetTier(int tier);
  void MarkPrimed();
  void AddSourceError(const std::string& text);

  TDriveLock& lock_;
  const uint32_t blockSize_;
  const uint32_t maxBlocks_;
  const bool postGap_;
  const int64_t imageLength_;
  TCacheSources sources_;

  std::deque<std::unique_ptr<TBlock>> blocks_;
  // Blocks handed back by GetBlock, reused so that the queue does not allocate (and
  // fault in) fresh memory for every 64 KiB.
  std::vector<std::unique_ptr<TBlock>> spare_;
  std::atomic<bool> reading_{false};
  std::atomic<bool> taking_{false};
  std::atomic<bool> abortRequested_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> primed_{false};
  std::atomic<bool> hasError_{false};
  std::atomic<int64_t> bufferedBytes_{0};
  int64_t remaining_;
  int priorityState_ = 2;
  bool tiers_ = false;  // the thread may move between the tiers
  std::mutex textLock_;
  std::string errorText_;
  std::vector<std::string> sourceErrors_;
  std::string currentFile_;
  std::unique_ptr<TBlock> current_;  // where a block is put together before it is queued
  std::condition_variable_any changed_;
  // Under the lock: which side waits on changed_ for the other.
  bool producerWaiting_ = false;
  bool consumerWaiting_ = false;
  TEvent settled_;
  std::thread thread_;
};

}  // namespace melvaro
