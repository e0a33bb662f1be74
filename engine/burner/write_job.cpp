// The burn jobs: BurnCompilation, BurnImage and BuildImage through the read-ahead cache,
// and the write thread that prepares the drive for the medium, streams the cache's
// blocks with WRITE (10), flushes, closes track and session by medium kind, restores
// the drive and reports through OnWriteDone on the main thread.
//
// A job's result tells what happened to the disc: the write parameters, the track
// reservation, the flush, the descriptor copy and every closing command end the job
// with the drive's error when they fail; commands that only tune the recording (speed,
// streaming, time stamp, power calibration) are reported on the debug channel and the
// job goes on. Every wait is bounded and looks at the abort flag, and a drive that no
// longer answers at all ends the job at once.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "burner/disc_burner.h"
#include "drive/messages.h"
#include "platform/thread_priority.h"

namespace melvaro {

namespace {

constexpr uint8_t kDvdRwSequentialFormat[12] = {0x00, 0xA2, 0x00, 0x08, 0x00, 0x00,
                                                0x03, 0xE8, 0x54, 0x00, 0x00, 0x10};
constexpr uint8_t kDvdRwGrowFormat[12] = {0x00, 0x82, 0x00, 0x08, 0x00, 0x00,
                                          0x00, 0x00, 0x4C, 0x00, 0x00, 0x10};
constexpr uint8_t kDvdRwQuickFormat[12] = {0x00, 0x82, 0x00, 0x08, 0x00, 0x00,
                                           0x00, 0x00, 0x54, 0x00, 0x00, 0x10};
constexpr uint8_t kDvdPlusRwFormat[12] = {0x00, 0x82, 0x00, 0x08, 0x00, 0x23,
                                          0x05, 0x40, 0x98, 0x00, 0x00, 0x00};
constexpr uint8_t kDvdRStreaming[28] = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x23,
                                        0x12, 0x7F, 0x00, 0x00, 0xAB, 0xBD, 0x00, 0x00, 0x03, 0xE8,
                                        0x00, 0x00, 0x05, 0x8A, 0x00, 0x00, 0x03, 0xE8};

bool RewritableDvd(uint8_t kind) {
  return kind == kKindDvdPlusRw || kind == kKindDvdRwRestricted || kind == kKindDvdRwSequential ||
         kind == kKindDvdRam;
}

// "40X (7,056 KB/s)" or "8.0X (11,080 KB/s)": the write thread's speed text.
std::string WriteSpeedText(uint16_t speed, uint8_t kind) {
  std::string text = TSCSIDevice::SpeedText(speed, kind >= 5 && kind <= 11 ? 6 : 1);
  const size_t x = text.find('X');
  return x == std::string::npos ? text : text.insert(x + 1, " ");
}

}  // namespace

std::string TDiscBurner::CurrentFile() {
  std::lock_guard<std::mutex> hold(currentFileLock_);
  return currentFile_;
}

int TDiscBurner::CacheFillPercent() {
  std::lock_guard<std::mutex> hold(cacheLock_);  // the write thread frees the cache
  if (!jobRunning_ || !cache_) return 0;
  const double filled = static_cast<double>(static_cast<uint32_t>(cache_->BufferedBytes()));
  return static_cast<int>(std::nearbyint(filled / cacheSize_ * 100));
}

void TDiscBurner::WaitForJob() {
  if (!writeThread_.joinable()) return;
  // OnWriteDone itself may ask: the job has ended as far as it is concerned.
  if (writeThread_.get_id() == std::this_thread::get_id() ||
      writeDoneThread_.load() == std::this_thread::get_id())
    return;
  // The write thread may be handing OnWriteDone over to this very thread: run the
  // hand-overs here while waiting, or neither would ever go on.
  std::unique_lock<std::mutex> hold(endLock_);
  while (!writeEnded_) {
    hold.unlock();
    if (Dispatcher) Dispatcher->ProcessPending();
    hold.lock();
    threadEnded_.wait_for(hold, std::chrono::milliseconds(20),
                          [&] { return writeEnded_ || handingOver_; });
    handingOver_ = false;
  }
  hold.unlock();
  writeThread_.join();
}

void TDiscBurner::RaiseWriteDone(const std::string& error) {
  if (!OnWriteDone) return;
  auto done = [this, error] {
    writeDoneThread_ = std::this_thread::get_id();
    OnWriteDone(this, error);
    writeDoneThread_ = std::thread::id();
  };
  if (Dispatcher) {
    {
      std::lock_guard<std::mutex> hold(endLock_);
      handingOver_ = true;
    }
    threadEnded_.notify_all();
    Dispatcher->Invoke(done);
  } else {
    done();
  }
}

// A job cannot start without a drive: nothing would be sent, and nothing would fail.
bool TDiscBurner::DriveMissing() {
  if (ASPIInitialized() && HaId() != kNoDrive) return false;
  if (OnWriteDone) OnWriteDone(this, std::string(msg::kNoDriveSelected));
  return true;
}

// Creates the cache and waits for it to be primed; false (after OnWriteDone on this
// thread) when it fails first.
bool TDiscBurner::StartCache(uint32_t blockSize, TCacheSources sources, int64_t imageLength) {
  WaitForJob();
  // Reset before the starting call returns, so that a poll between it and the write
  // thread's start never shows the previous job's count.
  bytesWritten_ = 0;
  auto cache = std::make_unique<TCacheThread>(cacheSize_, DeviceLock(), blockSize, WritePostGap,
                                              imageLength, std::move(sources));
  {
    std::lock_guard<std::mutex> hold(cacheLock_);
    cache_ = std::move(cache);
  }
  for (;;) {
    if (cache_->Primed()) return true;
    const std::string error = cache_->ErrorText();
    if (!error.empty()) {
      {
        std::lock_guard<std::mutex> hold(currentFileLock_);
        currentFile_ = cache_->CurrentFile();
      }
      if (OnWriteDone) OnWriteDone(this, error);
      std::lock_guard<std::mutex> hold(cacheLock_);
      cache_.reset();
      return false;
    }
    // Looked at every 100 ms, and at once when the cache reports either.
    clock_.WaitForEvent(cache_->PrimedOrFailed(), 100);
  }
}

// The header stream, the boot image, the padding and the file table.
TCacheSources TDiscBurner::CompilationSources() {
  TCacheSources sources;
  sources.header = &HeaderStreamForJob();
  if (BootImageEnabled) sources.bootImage = BootImagePath;
  sources.bootBlocks = BootImageBlocks;
  sources.padCount = PadBlocks > 0 ? static_cast<uint32_t>(PadBlocks) : 0;
  sources.files = &Files();
  return sources;
}

bool TDiscBurner::BurnCompilation() {
  abort_ = false;
  if (DriveMissing()) return false;
  std::string refusal;
  if (!ClaimForJob(refusal)) return Refuse(refusal);
  const uint8_t kind = MediumKind();
  const uint32_t blockSize = kind == kKindCdR || kind == kKindCdRw ? 55296 : 65536;
  if (CurrentMediumKind == kKindDvdRwRestricted || CurrentMediumKind == kKindDvdRwSequential) {
    if (CurrentMediumKind == kKindDvdRwSequential) {
      FormatUnit(0x11, kDvdRwSequentialFormat, 12);
    } else if (!FormatUnit(0x11, kDvdRwGrowFormat, 12)) {
      FormatUnit(0x11, kDvdRwQuickFormat, 12);
    }
    // The quick format runs in the drive; an hour is far more than it takes.
    int waited = 0;
    do {
      clock_.SleepMs(5000);
      waited += 5000;
      RefreshDiscInformation();
    } while (lastSense_[12] == 0x04 && !abort_ && waited < 3600000);
  }
  BurnPreparing = true;
  LayoutImage(false, LayoutRoot());
  BuildHeader(false, LayoutRoot());
  BurnPreparing = false;
  if (refusal = CheckNextWritable(); !refusal.empty()) return Refuse(refusal);
  if (refusal = CheckRoom(ImageBlockCount, false); !refusal.empty()) return Refuse(refusal);
  imageJob_ = false;
  TCacheSources sources = CompilationSources();
  if (!StartCache(blockSize, std::move(sources), ImageBlockCount * 2048)) {
    ReleaseJobClaim();
    return false;
  }
  StartWriteThread(false);
  return true;
}

bool TDiscBurner::BurnImage(const std::string& fileName) {
  abort_ = false;
  if (DriveMissing()) return false;
  int64_t bytes = 0;
  std::string refusal = CheckImageFile(fileName, bytes);
  if (!refusal.empty()) return Refuse(refusal);
  if (!ClaimForJob(refusal)) return Refuse(refusal);
  const uint8_t kind = MediumKind();
  const uint32_t blockSize = kind == kKindCdR || kind == kKindCdRw ? 55296 : 65536;
  ImageBlockCount = (bytes + 2047) / 2048;
  if (refusal = CheckImageStart(); !refusal.empty()) return Refuse(refusal);
  if (refusal = CheckRoom(ImageBlockCount, true); !refusal.empty()) return Refuse(refusal);
  imageJob_ = true;
  TCacheSources sources;
  sources.imageFile = fileName;
  if (!StartCache(blockSize, std::move(sources), ImageBlockCount * 2048)) {
    ReleaseJobClaim();
    return false;
  }
  StartWriteThread(false);
  return true;
}

int TDiscBurner::BuildImage(const std::string& fileName, bool direct) {
  if (direct) {
    OnImageDone = [this](const std::string& error) {
      if (OnWriteDone) OnWriteDone(this, error);
    };
    return BuildImageDirect(fileName);
  }
  abort_ = false;
  ISOFileName = fileName;
  LayoutImage(true, LayoutRoot());
  BuildHeader(true, LayoutRoot());
  imageJob_ = false;
  TCacheSources sources = CompilationSources();
  if (StartCache(65536, std::move(sources), ImageBlockCount * 2048)) StartWriteThread(true);
  return 255;
}

void TDiscBurner::StartWriteThread(bool toFile) {
  WaitForJob();
  jobRunning_ = true;
  {
    std::lock_guard<std::mutex> hold(endLock_);
    writeEnded_ = false;
    handingOver_ = false;
  }
  writeThread_ = std::thread([this, toFile] {
    RunWriteThread(toFile);
    {
      std::lock_guard<std::mutex> hold(endLock_);
      writeEnded_ = true;
    }
    threadEnded_.notify_all();
  });
}

std::string TDiscBurner::DriveError() const {
  return std::string(msg::kWriterError) + " [" + lastErrorText_ + "]";
}

// The last command failed because the drive is busy or still becoming ready, so that it
// may be sent again: BUSY status, or sense data with the codes 04h (not ready) or 00h.
// A failure without sense data (no device, a selection or command time-out) is a drive
// that does not answer: nothing is gained by asking it again.
bool TDiscBurner::DriveBusy() const {
  if (targetBusy_) return true;
  const bool sense = (lastSense_[0] & 0x7E) == 0x70;
  return sense && (lastSense_[12] == 0x04 || lastSense_[12] == 0x00);
}

void TDiscBurner::ReportIgnored(const char* command) {
  DoDebugMessage("<<< " + std::string(command) + " [" + lastErrorText_ + "]", 0);
}

// Runs `poll` every intervalMs until it succeeds. False with `error` set when the drive
// fails other than by being busy, is still busy after totalMs, or the job is aborted.
bool TDiscBurner::AwaitDrive(int totalMs, int intervalMs, const std::function<bool()>& poll,
                             std::string& error) {
  for (int waited = 0;; waited += intervalMs) {
    if (poll()) return true;
    if (!DriveBusy() || waited >= totalMs) {
      error = DriveError();
      return false;
    }
    if (abort_) {
      error = std::string(msg::kOperationAborted);
      return false;
    }
    clock_.SleepMs(static_cast<unsigned>(intervalMs));
  }
}

// FORMAT UNIT with the DVD+RW basic format, then the wait while the drive reports the
// format in progress. False (with `error`) only when the job is aborted meanwhile or
// the drive no longer answers; a refused format is left to the write that follows.
bool TDiscBurner::FormatDvdPlusRw(std::string& error) {
  if (!FormatUnit(0x11, kDvdPlusRwFormat, 12)) {
    if (DriveBusy() || (lastSense_[0] & 0x7E) == 0x70) return true;
    error = DriveError();
    return false;
  }
  for (int waited = 0; waited < 1800000; waited += 2000) {
    if (abort_) {
      error = std::string(msg::kOperationAborted);
      return false;
    }
    clock_.SleepMs(2000);
    if (RefreshDiscInformation() || lastSense_[12] != 0x04) break;
  }
  return true;
}

// One WRITE (10), retried every 600 ms while the drive is busy. With mayFormat (the first
// write to a DVD+RW) a disc that is not formatted yet is formatted, at most twice. False
// with the job's error text set when it fails for good or the job is aborted.
bool TDiscBurner::WriteBlock(uint32_t block, uint32_t bytes, const uint8_t* data,
                             std::string& error, bool mayFormat) {
  int formats = 0;
  for (int attempt = 0; attempt < 10000; ++attempt) {
    if (abort_) {
      error = std::string(msg::kOperationAborted);
      return false;
    }
    if (mayFormat) SetErrorReported(true);  // an unformatted disc is expected here
    if (WriteSectors(block, static_cast<uint16_t>(bytes / 2048), 0x50, bytes, data)) return true;
    if (mayFormat && lastSense_[12] == 0x30 && formats < 2) {
      ++formats;
      if (!FormatDvdPlusRw(error)) return false;
      continue;
    }
    if (!DriveBusy()) {
      error = DriveError();
      return false;
    }
    clock_.SleepMs(600);
  }
  error = std::string(msg::kWriterBusy);
  return false;
}

// The drive preparation of a disc job. False with `error` set when the drive cannot be
// prepared: nothing has been written then.
bool TDiscBurner::PrepareDrive(uint8_t& kind, uint8_t& track, bool& bufferPolls,
                               std::string& error) {
  uint32_t length, free;
  bufferPolls = ReadBufferCapacity(length, free);
  kind = MediumKind();
  jobKind_ = kind;
  SharedDriveState().CurrentMediumKind = kind;
  EjectMedium(false);
  if (kind != kKindDvdPlusRw) RezeroUnit();
  SetSpeed(ReadSpeed, WriteSpeed());
  WaitForReady(10000, 1000);
  const uint16_t speed = CurrentWriteSpeed();
  const bool finalize = FinalizeDisc;
  FinalizeDisc = true;
  const bool parameters = SetWriteParameters(TestWrite, UnderrunProtection, true, kind);
  FinalizeDisc = finalize;
  if (!parameters) {
    error = DriveError();
    return false;
  }
  if (kind == kKindDvdR || kind == kKindDvdRwRestricted || kind == kKindDvdRwSequential ||
      kind == kKindDvdPlusRw || kind == kKindDvdPlusR || kind == kKindDvdPlusRDl) {
    if (!SetStreamingSpeed(StartBlock, static_cast<uint32_t>(StartBlock + ImageBlocks()),
                           static_cast<uint32_t>(ReadSpeed / 1385.0 * 1440.25),
                           static_cast<uint32_t>(WriteSpeed() / 1385.0 * 1440.25), 1000, 1000))
      ReportIgnored("SET STREAMING");
  }
  track = static_cast<uint8_t>(SessionCount() + 1);
  if (kind == kKindDvdR) {
    if (!SetStreaming(kDvdRStreaming, sizeof kDvdRStreaming)) ReportIgnored("SET STREAMING");
    if (!SendTimeStamp(std::chrono::system_clock::now())) ReportIgnored("SEND DVD STRUCTURE");
    if (!ReserveTrack(static_cast<uint32_t>((ImageBlocks() + 31) / 32 * 32))) {
      error = DriveError();
      return false;
    }
    WaitForReady(10000, 1000);
  }
  if (kind != kKindDvdRam && !TestWrite && PerformOPC && !SendOPCInformation())
    ReportIgnored("SEND OPC INFORMATION");
  DoDebugMessage(">>> " + msg::FormatText(msg::kStartingWriteProcess,
                                          {std::string(MediumKindNames[kind & 0x0F]),
                                           WriteSpeedText(speed, kind)}),
                 1);
  if (TestWrite) DoDebugMessage(">>> " + std::string(msg::kTestDummyWrite), 1);
  return true;
}

void TDiscBurner::RunWriteThread(bool toFile) {
  // Best effort: time-critical when the process may raise a thread's priority.
  SetThreadNice(-5);
  cache_->SetErrorText("");
  // The transfer buffer: each GetBlock hands the next block over in its place.
  auto transfer = std::make_unique<TCacheBlock>();
  const int64_t imageBytes = ImageBlocks() * 2048;
  auto fail = [&](const std::string& error) {
    cache_->SetErrorText(error);
    cache_->Abort();
  };
  uint8_t kind = 0;
  uint8_t track = 1;
  bool bufferPolls = false;
  std::string error;

  if (toFile) {
    std::string destinationError;
    imageFd_ = imageDestination_.Open(ISOFileName, destinationError) ? imageDestination_.Fd() : -1;
    if (imageFd_ < 0) {
      DoDebugMessage(">>> " + destinationError, 0);
      fail(msg::Format(msg::kCantCreateFile, ISOFileName));
      FinishDisc(kind, track);
      return Done(true);
    }
  } else if (!PrepareDrive(kind, track, bufferPolls, error)) {
    fail(error);
  }

  // Stream.
  int32_t a = 0;
  if (!cache_->HasError()) {
    std::lock_guard<TDriveLock> hold(DeviceLock());
    a = cache_->GetBlock(transfer);
  }
  const bool discMode = !toFile;
  if (imageJob_ || toFile) StartBlock = 0;
  uint32_t written = 0;
  int countdown = 5;
  while (a != 0 && !abort_) {
    if (a == -1) {
      cache_->WaitForData(1);
      std::lock_guard<TDriveLock> hold(DeviceLock());
      a = cache_->GetBlock(transfer);
      continue;
    }
    uint32_t bytes = static_cast<uint32_t>(a);
    if (discMode && !imageJob_ && kind != kKindCdR && kind != kKindCdRw) {
      // Every WRITE on DVD media carries 32 blocks; past the image's end they are zeros.
      std::memset(transfer->data.data() + bytes, 0, 65536 - bytes);
      bytes = 65536;
    }
    {
      std::lock_guard<std::mutex> hold(currentFileLock_);
      currentFile_ = cache_->CurrentFile();
    }
    bytesWritten_ = std::min<int64_t>(bytesWritten_ + bytes, imageBytes);
    if (discMode) {
      if (countdown == 0 && bufferPolls) {
        uint32_t length, free;
        bufferPolls = ReadBufferCapacity(length, free);
        countdown = 5;
      }
      --countdown;
      // A DVD+RW that was never formatted says so at its first write.
      const bool mayFormat = written == 0 && kind == kKindDvdPlusRw;
      if (!WriteBlock(StartBlock + written, bytes, transfer->data.data(), error, mayFormat)) {
        fail(error);
        break;
      }
    } else {
      size_t done = 0;
      while (done < bytes) {
        const ssize_t n = write(imageFd_, transfer->data.data() + done, bytes - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
      }
      if (done < bytes) {
        fail(msg::Format(msg::kCantCreateFile, ISOFileName) + ": " +
             std::strerror(errno ? errno : ENOSPC));
        break;
      }
    }
    written += bytes / 2048;
    // The next block.
    for (;;) {
      if (abort_) break;
      {
        std::lock_guard<TDriveLock> hold(DeviceLock());
        a = cache_->GetBlock(transfer);
      }
      if (cache_->HasError()) {
        a = 0;
        break;
      }
      if (a != -1) break;
      cache_->WaitForData(1);
    }
  }
  if (abort_ && cache_->ErrorText().empty()) fail(std::string(msg::kOperationAborted));
  if (toFile && cache_->ErrorText().empty()) return Done(true);
  FinishDisc(kind, track);
  Done(toFile);
}

// On rewritable DVD media a later session's descriptor set is copied to block 0, where
// readers look first. Only after the session's data are on the disc: until then block 0
// keeps pointing at the earlier sessions, which a failed or aborted burn leaves intact.
// The copy fills one 32-block write (FFh after the descriptors) unless the session
// starts within those blocks; a first session at block 0 carries its own.
bool TDiscBurner::WriteDescriptorCopy(uint8_t kind, std::string& error) {
  if (imageJob_ || !RewritableDvd(kind) || StartBlock == 0 || TestWrite) return true;
  const uint32_t used = static_cast<uint32_t>((DescriptorCopyLength() + 2047) / 2048);
  const uint32_t blocks = StartBlock >= 32 ? 32 : std::min<uint32_t>(used, StartBlock);
  if (blocks == 0) return true;
  std::vector<uint8_t> copy(DescriptorCopy().begin(),
                            DescriptorCopy().begin() + size_t{blocks} * 2048);
  if (!WriteBlock(0, blocks * 2048, copy.data(), error, false)) return false;
  if (!SynchronizeCache(1800000, false)) {
    error = DriveError();
    return false;
  }
  return true;
}

// One closing command, sent again every second while the drive is busy (at most 1000
// times; with sendAgain a refusal is also sent once more). With the immediate bit the
// drive goes on closing after it answers: it is then waited for until it is ready, as
// it takes no other command meanwhile. False with `error` set when the closing failed.
bool TDiscBurner::CloseStep(const std::function<bool()>& send, bool immediate, bool sendAgain,
                            std::string& error) {
  for (int attempt = 0;; ++attempt) {
    if (send()) break;
    if (DriveBusy() && attempt < 1000 && !abort_) {
      clock_.SleepMs(1000);
      continue;
    }
    if (sendAgain && send()) break;
    error = abort_ ? std::string(msg::kOperationAborted) : DriveError();
    return false;
  }
  if (!immediate) return true;
  return AwaitDrive(
      1800000, 1000, [this] { return TestUnitReady(5000); }, error);
}

// Closes the track and the session as the medium needs; with FinalizeDisc the disc too,
// where the medium can be finalized.
bool TDiscBurner::CloseSession(uint8_t kind, uint8_t track, std::string& error) {
  auto close = [&](bool immediate, uint8_t function, uint8_t number) {
    return CloseStep([=, this] { return CloseTrackSession(immediate, function, 0, 0, number); },
                     immediate, false, error);
  };
  if (kind != kKindDvdR && !SetWriteParameters(TestWrite, UnderrunProtection, FinalizeDisc, kind)) {
    error = DriveError();
    return false;
  }
  switch (kind) {
    case kKindDvdPlusR:
      // Function 5 closes the session and finalizes the disc (with its minimal radius).
      return close(false, 1, track) && close(false, FinalizeDisc ? 5 : 2, 0xFF);
    case kKindDvdPlusRDl:
      return close(false, 1, track) && close(false, FinalizeDisc ? 6 : 2, 0);
    case kKindDvdR:
      // A DVD-R session close reads the multisession field of the write parameters:
      // 11b leaves room for another session, 00b closes the disc. The track number
      // field means nothing to it.
      if (FinalizeDisc && !SetMultisessionField(0)) {
        error = DriveError();
        return false;
      }
      return close(true, 1, track) && close(true, 2, 0);
    case kKindDvdRwRestricted:
    case kKindDvdRwSequential:
      return close(true, 2, 0);
    case kKindDvdPlusRw:
      return close(false, 3, 0xFF);
    default: {
      const bool immediate = SharedDriveState().CloseSessionImmediate;
      return CloseStep([=, this] { return CloseSessionCommand(false, immediate, false); },
                       immediate, true, error);
    }
  }
}

void TDiscBurner::FinishDisc(uint8_t kind, uint8_t track) {
  // The job's first failure stands; a later one only when there was none.
  std::string error;
  auto fail = [&](const std::string& text) {
    if (cache_->ErrorText().empty()) cache_->SetErrorText(text);
    cache_->Abort();
  };
  uint32_t length, free;
  if (kind != kKindDvdRam) ReadBufferCapacity(length, free);
  if (OnFinalizingTrack) OnFinalizingTrack(this);
  if (kind == kKindDvdR || kind == kKindDvdRwRestricted || kind == kKindDvdRwSequential) {
    bool flushed = SynchronizeCache(1800000, true);
    if (!flushed) {
      fail(DriveError());
    } else {
      // The drive writes out its buffer meanwhile: the display shows it draining.
      deviceFreeBufferSize_ = deviceBufferSize_.load();
      flushed = AwaitDrive(
          1800000, 1000,
          [this] {
            if (RefreshDiscInformation()) return true;
            deviceFreeBufferSize_ = deviceFreeBufferSize_ - deviceBufferSize_ / 960;
            return false;
          },
          error);
      if (!flushed) fail(error);
    }
  } else if (!SynchronizeCache(120000, false) && !SynchronizeCache(120000, true)) {
    fail(DriveError());
  }
  deviceBufferSize_ = 0;
  deviceFreeBufferSize_ = 0;
  if (!cache_->ErrorText().empty()) return;
  if (!WriteDescriptorCopy(kind, error)) return fail(error);
  if (!TestWrite && kind != kKindDvdRam && FinalizeTrack && !CloseSession(kind, track, error))
    return fail(error);
  std::string notReady;  // a drive still busy after closing is restored all the same
  AwaitDrive(
      240000, 5000, [this] { return TestUnitReady(5000); }, notReady);
  if (kind != kKindDvdRam) ReadBufferCapacity(length, free);
  RestoreDrive();
}

void TDiscBurner::Done(bool toFile) {
  std::string error;
  std::vector<std::string> sourceErrors;
  {
    std::lock_guard<TDriveLock> hold(DeviceLock());
    std::lock_guard<std::mutex> file(currentFileLock_);
    currentFile_ = cache_->CurrentFile();
    error = cache_->ErrorText();
    sourceErrors = cache_->SourceErrors();
  }
  // Sources made up with zeros: the disc is whole, but it does not hold those files.
  for (const std::string& text : sourceErrors) DoDebugMessage(">>> " + text, 0);
  if (error.empty() && !sourceErrors.empty()) error = sourceErrors.front();
  jobRunning_ = false;
  cache_->Wait();
  {
    std::lock_guard<std::mutex> hold(cacheLock_);
    cache_.reset();
  }
  if (toFile && imageFd_ >= 0) {
    imageFd_ = -1;
    // The image replaces an earlier file of its name only when it is complete.
    std::string commitError;
    if (!error.empty())
      imageDestination_.Discard();
    else if (!imageDestination_.Commit(commitError))
      error = msg::Format(msg::kCantCreateFile, ISOFileName) + ": " + commitError;
  }
  ReleaseJobClaim();
  transport_.SetReleaseHandleAfterCommand(true);
  {
    std::lock_guard<std::mutex> file(currentFileLock_);
    currentFile_.clear();
  }
  RaiseWriteDone(error);
}

}  // namespace melvaro
