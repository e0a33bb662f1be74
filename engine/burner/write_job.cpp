// The burn jobs: BurnCompilation, BurnImage and BuildImage through the read-ahead cache,
// and the write thread that prepares the drive for the medium, streams the cache's
// blocks with WRITE (10), flushes, closes track and session by medium kind, restores
// the drive and reports through OnWriteDone on the main thread.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
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
  if (writeThread_.joinable()) writeThread_.join();
}

void TDiscBurner::RaiseWriteDone(const std::string& error) {
  if (!OnWriteDone) return;
  auto done = [this, error] { OnWriteDone(this, error); };
  if (Dispatcher)
    Dispatcher->Invoke(done);
  else
    done();
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
    do {
      clock_.SleepMs(5000);
      RefreshDiscInformation();
    } while (lastSense_[12] == 0x04);
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
  abort_ = false;
  jobRunning_ = true;
  writeThread_ = std::thread([this, toFile] { RunWriteThread(toFile); });
}

// One WRITE (10), retried every 600 ms while the drive is busy. False with the job's
// error text set when it fails for good or the job is aborted.
bool TDiscBurner::WriteBlock(uint32_t block, uint32_t bytes, const uint8_t* data,
                             std::string& error) {
  for (int attempt = 0; attempt < 10000; ++attempt) {
    if (abort_) {
      error = std::string(msg::kOperationAborted);
      return false;
    }
    if (WriteSectors(block, static_cast<uint16_t>(bytes / 2048), 0x50, bytes, data)) return true;
    if (!(TargetBusy() || lastSense_[12] == 0x04 || lastSense_[12] == 0x00)) {
      error = std::string(msg::kWriterError) + " [" + lastErrorText_ + "]";
      return false;
    }
    clock_.SleepMs(600);
  }
  error = std::string(msg::kWriterBusy);
  return false;
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

  if (toFile) {
    std::string destinationError;
    imageFd_ = imageDestination_.Open(ISOFileName, destinationError) ? imageDestination_.Fd() : -1;
    if (imageFd_ < 0) {
      DoDebugMessage(">>> " + destinationError, 0);
      fail(msg::Format(msg::kCantCreateFile, ISOFileName));
      FinishDisc(kind, track);
      return Done(true);
    }
  } else {
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
    SetWriteParameters(TestWrite, UnderrunProtection, true, kind);
    FinalizeDisc = finalize;
    if (kind == kKindDvdR || kind == kKindDvdRwRestricted || kind == kKindDvdRwSequential ||
        kind == kKindDvdPlusRw || kind == kKindDvdPlusR || kind == kKindDvdPlusRDl)
      SetStreamingSpeed(StartBlock, static_cast<uint32_t>(StartBlock + ImageBlocks()),
                        static_cast<uint32_t>(ReadSpeed / 1385.0 * 1440.25),
                        static_cast<uint32_t>(WriteSpeed() / 1385.0 * 1440.25), 1000, 1000);
    track = static_cast<uint8_t>(SessionCount() + 1);
    if (kind == kKindDvdR) {
      SetStreaming(kDvdRStreaming, sizeof kDvdRStreaming);
      SendTimeStamp(std::chrono::system_clock::now());
      ReserveTrack(static_cast<uint32_t>((ImageBlocks() + 31) / 32 * 32));
      WaitForReady(10000, 1000);
    }
    if (kind != kKindDvdRam && !TestWrite && PerformOPC) SendOPCInformation();
    DoDebugMessage(">>> " + msg::FormatText(msg::kStartingWriteProcess,
                                            {std::string(MediumKindNames[kind & 0x0F]),
                                             WriteSpeedText(speed, kind)}),
                   1);
    if (TestWrite) DoDebugMessage(">>> " + std::string(msg::kTestDummyWrite), 1);
  }

  // Stream.
  int32_t a;
  {
    std::lock_guard<TDriveLock> hold(DeviceLock());
    a = cache_->GetBlock(transfer);
  }
  const bool discMode = !toFile;
  if (imageJob_ || toFile) StartBlock = 0;
  uint32_t written = 0;
  int countdown = 5;
  std::string error;
  if (discMode && !imageJob_ && RewritableDvd(kind)) {
    // The new descriptor set at block 0, so that the disc shows it first.
    SetErrorReported(true);
    std::vector<uint8_t> copy(DescriptorCopy().begin(), DescriptorCopy().begin() + 65536);
    const uint32_t n = a > 0 ? static_cast<uint32_t>(a) : 65536;
    auto writeCopy = [&] {
      return WriteSectors(0, static_cast<uint16_t>(n / 2048), 0x50, n, copy.data());
    };
    auto format = [&] {
      if (FormatUnit(0x11, kDvdPlusRwFormat, 12)) {
        do {
          clock_.SleepMs(2000);
          RefreshDiscInformation();
        } while (lastSense_[12] == 0x04);
      }
    };
    bool ok = writeCopy();
    if (!ok && lastSense_[12] == 0x30 && kind == kKindDvdPlusRw) {
      format();
      ok = writeCopy();
      if (!ok && lastSense_[12] == 0x30) format();
    }
    if (ok) {
      SynchronizeCache(1800000, false);
    } else if (TargetBusy() || lastSense_[12] == 0x04 || lastSense_[12] == 0x00) {
      clock_.SleepMs(600);
    } else {
      fail(std::string(msg::kWriterError) + " [" + lastErrorText_ + "]");
      a = 0;
    }
  }
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
      if (!WriteBlock(StartBlock + written, bytes, transfer->data.data(), error)) {
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

void TDiscBurner::FinishDisc(uint8_t kind, uint8_t track) {
  uint32_t length, free;
  if (kind != kKindDvdRam) ReadBufferCapacity(length, free);
  if (OnFinalizingTrack) OnFinalizingTrack(this);
  if (kind == kKindDvdR || kind == kKindDvdRwRestricted || kind == kKindDvdRwSequential) {
    SynchronizeCache(1800000, true);
    deviceFreeBufferSize_ = deviceBufferSize_.load();
    while (!RefreshDiscInformation()) {
      deviceFreeBufferSize_ = deviceFreeBufferSize_ - deviceBufferSize_ / 960;
      clock_.SleepMs(1000);
    }
  } else if (!SynchronizeCache(120000, false)) {
    SynchronizeCache(120000, true);
  }
  deviceBufferSize_ = 0;
  deviceFreeBufferSize_ = 0;
  if (!cache_->ErrorText().empty()) return;
  if (!TestWrite && kind != kKindDvdRam && FinalizeTrack) {
    if (kind != kKindDvdR) SetWriteParameters(TestWrite, UnderrunProtection, FinalizeDisc, kind);
    switch (kind) {
      case kKindDvdPlusR:
        CloseTrackSession(false, 1, 0, 0, track);
        CloseTrackSession(false, 2, 0, 0, 0xFF);
        break;
      case kKindDvdPlusRDl:
        CloseTrackSession(false, 1, 0, 0, track);
        CloseTrackSession(false, FinalizeDisc ? 6 : 2, 0, 0, 0);
        break;
      case kKindDvdR:
        CloseTrackSession(true, 1, 0, 0, track);
        CloseTrackSession(true, 1, 0, 0, static_cast<uint8_t>(track + 1));
        CloseTrackSession(true, 2, 0, 0, static_cast<uint8_t>(track + 2));
        break;
      case kKindDvdRwRestricted:
      case kKindDvdRwSequential:
        CloseTrackSession(true, 2, 0, 0, 0);
        break;
      case kKindDvdPlusRw:
        CloseTrackSession(false, 3, 0, 0, 0xFF);
        break;
      default: {
        const bool immediate = SharedDriveState().CloseSessionImmediate;
        int attempts = 0;
        while (!CloseSessionCommand(false, immediate, false)) {
          if ((TargetBusy() || lastSense_[12] == 0x04) && ++attempts < 1000) {
            clock_.SleepMs(1000);
            continue;
          }
          CloseSessionCommand(false, immediate, false);
          break;
        }
      }
    }
  }
  WaitForReady(240000, 5000);
  if (kind != kKindDvdRam) ReadBufferCapacity(length, free);
  RestoreDrive();
}

void TDiscBurner::Done(bool toFile) {
  std::string error;
  {
    std::lock_guard<TDriveLock> hold(DeviceLock());
    std::lock_guard<std::mutex> file(currentFileLock_);
    currentFile_ = cache_->CurrentFile();
    error = cache_->ErrorText();
  }
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
