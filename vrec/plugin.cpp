// libwnaspi32.so over the virtual recorder: an ASPI manager with one host adapter whose
// targets 0, 1, ... are the drives of the vrec folder (MELVARO_VREC, else the program
// folder's vrec), prepared with the default drives on first use.
//
// Contract (drive/aspi_abi.h): execute records run one at a time, in the order they were
// sent. A record sent while no other is queued or running runs at once on the caller's
// thread, and SendASPI32Command returns its final status (a drive behind the kernel's
// pass-through service answers the same way). Otherwise, or always when the environment
// variable MELVARO_VREC_ASYNC is 1, the record is queued for the library's own worker
// thread and the caller gets kSsPending. At completion the result fields are stored,
// then Status (release order), then the record's eventfd is signalled when the record
// asked for it. The caller may close its eventfd as soon as it sees the status, so for a
// queued record the library signals a duplicate of the descriptor taken when it
// accepted the record. An abort takes a queued record off the queue or disowns a
// running one; either way the record and its buffer are not touched after the abort
// request returns. Data moves through a private buffer for that reason.
#include <fcntl.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "drive/aspi_abi.h"
#include "drive_config.h"
#include "recorder.h"

namespace {

using namespace melvaro;
using melvaro::vrec::TDataDirection;
using melvaro::vrec::TVirtualRecorder;

constexpr uint8_t kAdapterScsiId = 7;
constexpr uint32_t kMaxTransfer = 0x40000;
constexpr int kIdleSpins = 2000;

class TManager {
 public:
  TManager() {
    const char* async = std::getenv("MELVARO_VREC_ASYNC");
    alwaysQueue_ = async && std::string(async) == "1";
    recorder_ = TVirtualRecorder::Open(vrec::VrecFolder(), &error_);
    if (recorder_) worker_ = std::thread([this] { Run(); });
  }
  ~TManager() {
    {
      std::lock_guard<std::mutex> hold(lock_);
      stop_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
  }

  uint32_t SupportInfo() const {
    if (!recorder_ || recorder_->DriveCount() == 0) return uint32_t{kSsNoAdapters} << 8;
    return uint32_t{kSsComp} << 8 | 1;
  }

  uint32_t Send(void* srb) {
    const uint8_t command = static_cast<uint8_t*>(srb)[0];
    switch (command) {
      case kScHaInquiry:
        return HaInquiry(static_cast<THaInquiryRequest*>(srb));
      case kScGetDevType:
        return GetDevType(static_cast<TGetDevTypeRequest*>(srb));
      case kScExecScsiCmd:
        return Execute(static_cast<TSCSIRequest*>(srb));
      case kScAbortSrb:
        return Abort(static_cast<TAbortRequest*>(srb));
      case kScGetDiskInfo:
        return GetDiskInfo(static_cast<TGetDiskInfoRequest*>(srb));
      default:
        StoreRequestStatus(srb, kSsInvalidCmd);
        return kSsInvalidCmd;
    }
  }

 private:
  struct TQueued {
    TSCSIRequest* record;
    int event;            // the descriptor to signal at completion, or -1
    bool ownEvent;        // the library's own duplicate, closed after the signal
    bool onCallerThread;  // run inside the caller's SendASPI32Command
  };

  bool Known(uint8_t ha, uint8_t target, uint8_t lun) const {
    return recorder_ && ha == 0 && lun == 0 && target < recorder_->DriveCount();
  }

  uint32_t HaInquiry(THaInquiryRequest* r) {
    if (!recorder_ || r->HaId != 0) {
      StoreRequestStatus(r, kSsInvalidHa);
      return kSsInvalidHa;
    }
    r->HaCount = 1;
    r->HaScsiId = kAdapterScsiId;
    std::memcpy(r->ManagerId, "MELVARO VREC    ", 16);
    std::memcpy(r->Identifier, "VIRTUAL RECORDER", 16);
    std::memset(r->Unique, 0, sizeof r->Unique);
    r->Unique[3] = 8;  // targets
    std::memcpy(&r->Unique[4], &kMaxTransfer, 4);
    StoreRequestStatus(r, kSsComp);
    return kSsComp;
  }

  uint32_t GetDevType(TGetDevTypeRequest* r) {
    if (!Known(r->HaId, r->Target, r->Lun)) {
      r->DeviceType = 0x1F;
      StoreRequestStatus(r, kSsNoDevice);
      return kSsNoDevice;
    }
    r->DeviceType = 0x05;
    StoreRequestStatus(r, kSsComp);
    return kSsComp;
  }

  // Virtual drives have no kernel device; they are shown at letters from "V" on.
  uint32_t GetDiskInfo(TGetDiskInfoRequest* r) {
    if (!Known(r->HaId, r->Target, r->Lun)) {
      StoreRequestStatus(r, kSsNoDevice);
      return kSsNoDevice;
    }
    r->DriveFlags = 0;
    r->Int13Drive = static_cast<uint8_t>('V' - 'A' + r->Target);
    r->Heads = 0;
    r->Sectors = 0;
    StoreRequestStatus(r, kSsComp);
    return kSsComp;
  }

  uint32_t Execute(TSCSIRequest* r) {
    if (!recorder_ || r->HaId != 0) {
      StoreRequestStatus(r, kSsInvalidHa);
      return kSsInvalidHa;
    }
    if (!Known(r->HaId, r->Target, r->Lun)) {
      StoreRequestStatus(r, kSsNoDevice);
      return kSsNoDevice;
    }
    if (r->CDBLen == 0 || r->CDBLen > 16 || (r->BufLen && !r->BufPointer)) {
      StoreRequestStatus(r, kSsInvalidSrb);
      return kSsInvalidSrb;
    }
    if (r->BufLen > kMaxTransfer) {
      StoreRequestStatus(r, kSsBufferTooBig);
      return kSsBufferTooBig;
    }
    const bool notify = (r->Flags & kSrbEventNotify) && r->Event > 0;
    StoreRequestStatus(r, kSsPending);
    std::unique_lock<std::mutex> hold(lock_);
    if (!alwaysQueue_ && queue_.empty() && !running_) {
      // The caller waits inside this call, so its own descriptor stays open throughout.
      TQueued job{r, notify ? static_cast<int>(r->Event) : -1, false, true};
      Perform(job, hold);
      const bool queued = !queue_.empty();  // by other threads meanwhile
      hold.unlock();
      if (queued) wake_.notify_one();
      return LoadRequestStatus(r);
    }
    queue_.push_back({r, notify ? fcntl(r->Event, F_DUPFD_CLOEXEC, 0) : -1, true, false});
    hold.unlock();
    wake_.notify_one();
    return kSsPending;
  }

  uint32_t Abort(TAbortRequest* r) {
    std::unique_lock<std::mutex> hold(lock_);
    auto* target = static_cast<TSCSIRequest*>(r->ToAbort);
    // A record running on its sender's thread uses the sender's buffer: it is let
    // finish (as a command in the kernel's pass-through service would be).
    ended_.wait(hold, [&] { return !(inlineRunning_ && running_ == target); });
    bool found = false;
    for (auto it = queue_.begin(); it != queue_.end(); ++it)
      if (it->record == target) {
        if (it->event >= 0) close(it->event);
        queue_.erase(it);
        found = true;
        break;
      }
    if (!found && running_ == target) {
      disowned_ = true;
      found = true;
    }
    if (found) StoreRequestStatus(target, kSsAborted);
    const uint8_t status = found ? kSsComp : kSsAbortFail;
    StoreRequestStatus(r, status);
    return status;
  }

  void Run() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
      // A burn sends its next command right after the last one completed: look for it
      // for a moment before going to sleep.
      for (int spin = 0; spin < kIdleSpins && !stop_ && (queue_.empty() || running_); ++spin) {
        hold.unlock();
        std::this_thread::yield();
        hold.lock();
      }
      wake_.wait(hold, [&] { return stop_ || (!queue_.empty() && !running_); });
      if (stop_) return;
      const TQueued job = queue_.front();
      queue_.pop_front();
      Perform(job, hold);
    }
  }

  // Runs one record; `hold` holds lock_ on entry and on return, not while the drive
  // works. Records run one at a time: running_ is set throughout.
  void Perform(const TQueued& job, std::unique_lock<std::mutex>& hold) {
    TSCSIRequest* const r = job.record;
    running_ = r;
    disowned_ = false;
    uint8_t cdb[16];
    const size_t cdbLength = r->CDBLen;
    std::memcpy(cdb, r->CDB, cdbLength);
    const TDataDirection direction = r->Flags & kSrbDirIn    ? TDataDirection::In
                                     : r->Flags & kSrbDirOut ? TDataDirection::Out
                                                             : TDataDirection::None;
    const uint32_t length = r->BufLen;
    const size_t target = r->Target;
    // Data written to the drive is read straight from the caller's buffer while the
    // caller waits in SendASPI32Command; everything else goes through buffer_.
    const bool direct = job.onCallerThread && direction == TDataDirection::Out;
    if (!direct) {
      if (buffer_.size() < length) buffer_.resize(length);
      if (direction == TDataDirection::Out)
        std::memcpy(buffer_.data(), r->BufPointer, length);
      else
        std::memset(buffer_.data(), 0, length);
    }
    inlineRunning_ = job.onCallerThread;
    hold.unlock();
    uint8_t* const data = !length ? nullptr : direct ? r->BufPointer : buffer_.data();
    const vrec::TCommandResult result =
        recorder_->Drive(target).Execute(cdb, cdbLength, direction, data, length);
    hold.lock();
    running_ = nullptr;
    inlineRunning_ = false;
    ended_.notify_all();
    if (disowned_) {
      if (job.ownEvent && job.event >= 0) close(job.event);
      return;
    }
    if (direction == TDataDirection::In && result.transferred)
      std::memcpy(r->BufPointer, buffer_.data(), result.transferred);
    r->HaStat = kHaseOk;
    r->TargStat = result.status;
    std::memset(r->SenseArea, 0, sizeof r->SenseArea);
    if (result.status == kStatusCheckCondition)
      std::memcpy(r->SenseArea, result.sense.data(),
                  std::min<size_t>(result.sense.size(), r->SenseLen));
    // The caller may release the record as soon as it sees the status. A drive that has
    // gone answers as an address without a device.
    StoreRequestStatus(r, result.gone                    ? kSsNoDevice
                          : result.status == kStatusGood ? kSsComp
                                                         : kSsErr);
    if (job.event >= 0) {
      hold.unlock();
      const uint64_t one = 1;
      (void)!write(job.event, &one, sizeof one);
      if (job.ownEvent) close(job.event);
      hold.lock();
    }
  }

  std::unique_ptr<TVirtualRecorder> recorder_;
  std::string error_;
  std::mutex lock_;
  std::condition_variable wake_;
  std::condition_variable ended_;  // a running record has ended
  std::deque<TQueued> queue_;
  TSCSIRequest* running_ = nullptr;
  bool disowned_ = false;
  bool stop_ = false;
  bool alwaysQueue_ = false;
  bool inlineRunning_ = false;   // running_ runs on its sender's thread
  std::vector<uint8_t> buffer_;  // used by the one running record only
  std::thread worker_;
};

TManager& Manager() {
  static TManager manager;
  return manager;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) uint32_t GetASPI32SupportInfo() {
  return Manager().SupportInfo();
}

extern "C" __attribute__((visibility("default"))) uint32_t SendASPI32Command(void* srb) {
  if (!srb) return kSsInvalidSrb;
  return Manager().Send(srb);
}
