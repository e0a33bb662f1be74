// TDiscBurner: the one object through which the application reaches the disc engine:
// the drive (TSCSIDevice) and the compilation (TCompilation) together, with the
// published properties and events of both.
//
// A job (BuildImage with Direct false, BurnCompilation, BurnImage) is started from the
// main thread and runs on two threads of its own: the read-ahead cache and the write
// thread. One job runs at a time; while it runs the main thread only polls the progress
// accessors below and may call AbortOperation. The job ends with OnWriteDone, handed
// to the main thread through Dispatcher when one is set (the write thread waits for the
// handler to return), else run on the write thread. A job that fails before its write
// thread starts (a source that cannot be opened) reports through OnWriteDone on the
// calling thread, before the starting call returns false.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "compilation/compilation.h"
#include "drive/scsi_device.h"
#include "platform/image_destination.h"
#include "writing/cache_thread.h"

namespace melvaro {

class TDiscBurner : public TSCSIDevice, public TCompilation {
 public:
  using TWriteDoneEvent = std::function<void(TDiscBurner* sender, const std::string& error)>;
  using TNotifyEvent = std::function<void(TDiscBurner* sender)>;

  explicit TDiscBurner(TTransport& transport = ProcessTransport(), TClock& clock = SystemClock());
  ~TDiscBurner() override;

  // Writes the compilation to an image file. Direct: on the caller's thread; returns 1
  // after OnWriteDone; throws std::system_error when a file cannot be read or written.
  // Otherwise through the cache and the write thread: returns 255 at once, the job ends
  // with OnWriteDone (write_job.cpp).
  int BuildImage(const std::string& fileName, bool direct);
  // Burns the laid-out compilation to the disc in the current drive. True when the
  // write thread was started; False when the cache failed before priming (reported
  // through OnWriteDone already).
  bool BurnCompilation();
  // Burns an image file from block 0. False when it cannot be opened or the cache
  // failed before priming (reported through OnWriteDone).
  bool BurnImage(const std::string& fileName);
  // Asks the running job to stop: the drive is flushed, the track is not closed and
  // OnWriteDone reports "OPERATION ABORTED BY USER". Any thread.
  void AbortOperation() { abort_ = true; }
  // Waits for the write thread of the last job to end (OnWriteDone has then run). On
  // the main thread the dispatcher's pending hand-overs run meanwhile, so OnWriteDone
  // runs here when the job ends during the wait.
  void WaitForJob();
  // Progress, safe to poll from any thread while a job runs: whether it runs, the bytes
  // sent so far (at most the image's size), the source file being read, and how full
  // the read-ahead cache is (0 to 100; 0 when no job runs).
  bool JobRunning() const { return jobRunning_; }
  int64_t BytesWritten() const { return bytesWritten_; }
  std::string CurrentFile();
  int CacheFillPercent();

  // The read-ahead cache size in bytes: at least 2 MiB, a multiple of 2048.
  void SetCacheSize(uint32_t bytes);
  uint32_t CacheSize() const { return cacheSize_; }

  // Close the track and session after the data (off: the session stays open).
  bool FinalizeTrack = true;
  // Send OPC information before writing (not on DVD-RAM, not in a test write).
  bool PerformOPC = false;
  // The image file BuildImage writes (set by BuildImage itself).
  std::string ISOFileName;
  std::string Version = "1.23";
  // The job's end: the error text, empty on success. See the top of this file for the
  // thread it runs on.
  TWriteDoneEvent OnWriteDone;
  // The data has been written and flushing begins. Raised on the write thread: a
  // handler that touches the user interface hands its work to the main thread itself.
  TNotifyEvent OnFinalizingTrack;

 private:
  // Pre-write checks (job_checks.cpp).
  bool ClaimForJob(std::string& error);
  void ReleaseJobClaim();
  static std::string CheckImageFile(const std::string& fileName, int64_t& bytes);
  std::string CheckRoom(int64_t blocks, bool fromBlockZero);
  std::string CheckNextWritable();
  std::string CheckImageStart();
  bool Refuse(const std::string& error);

  TCacheSources CompilationSources();
  bool DriveMissing();
  void StartWriteThread(bool toFile);
  void RunWriteThread(bool toFile);
  bool StartCache(uint32_t blockSize, TCacheSources sources, int64_t imageLength);
  bool PrepareDrive(uint8_t& kind, uint8_t& track, bool& bufferPolls, std::string& error);
  bool WriteBlock(uint32_t block, uint32_t bytes, const uint8_t* data, std::string& error,
                  bool mayFormat);
  bool FormatDvdPlusRw(std::string& error);
  bool WriteDescriptorCopy(uint8_t kind, std::string& error);
  bool CloseSession(uint8_t kind, uint8_t track, std::string& error);
  bool CloseStep(const std::function<bool()>& send, bool immediate, bool sendAgain,
                 std::string& error);
  bool AwaitDrive(int totalMs, int intervalMs, const std::function<bool()>& poll,
                  std::string& error);
  bool DriveBusy() const;
  std::string DriveError() const;
  void ReportIgnored(const char* command);
  void FinishDisc(uint8_t kind, uint8_t track);
  void Done(bool toFile);
  void RaiseWriteDone(const std::string& error);

  uint32_t cacheSize_ = 4194304;
  std::mutex cacheLock_;  // changes of cache_, against CacheFillPercent on other threads
  std::unique_ptr<TCacheThread> cache_;
  std::thread writeThread_;
  // The write thread's end, and its hand-over of OnWriteDone, for WaitForJob.
  std::mutex endLock_;
  std::condition_variable threadEnded_;
  bool writeEnded_ = true;
  bool handingOver_ = false;
  std::atomic<std::thread::id> writeDoneThread_{};  // running OnWriteDone
  std::atomic<bool> abort_{false};
  std::atomic<bool> jobRunning_{false};
  std::atomic<int64_t> bytesWritten_{0};
  std::mutex currentFileLock_;
  std::string currentFile_;
  bool jobClaim_ = false;  // the job claimed the drive and releases it at its end
  bool imageJob_ = false;  // BurnImage: block 0, no descriptor copy, blocks as read
  uint8_t jobKind_ = 0;
  int imageFd_ = -1;
  TImageDestination imageDestination_;
};

}  // namespace melvaro
