// Command dispatch, the shared conditions (no medium, becoming ready, busy), the unit's
// own commands (TEST UNIT READY, REQUEST SENSE, INQUIRY, START STOP UNIT, PREVENT ALLOW
// MEDIUM REMOVAL, RESERVE (6) and RELEASE (6)) and the drive buffer model.
#include "logical_unit.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "platform/byte_order.h"
#include "sense.h"

namespace melvaro::vrec {

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// Commands answered while an immediate operation runs or the unit becomes ready.
bool AllowedWhileBusy(uint8_t op) {
  return op == 0x03 || op == 0x12 || op == 0x46 || op == 0x5A || op == 0x5C || op == 0x4A;
}

// Commands that do not report a pending unit attention (SPC-3 5.6, MMC-5 4.1.6.1).
bool SkipsUnitAttention(uint8_t op) {
  return op == 0x03 || op == 0x12 || op == 0x46 || op == 0x4A;
}

// Commands answered while another initiator holds the unit reserved (SPC-2 5.5.1).
bool AllowedWhileReserved(uint8_t op) {
  return op == 0x03 || op == 0x12 || op == 0x17;
}

void PutPadded(uint8_t* out, const std::string& text, size_t width) {
  std::memset(out, ' ', width);
  std::memcpy(out, text.data(), std::min(width, text.size()));
}

}  // namespace

// Write parameters after power-on: track-at-once, data mode 1, multisession off, audio
// pause 150.
std::array<uint8_t, 52> TLogicalUnit::DefaultWriteParameters() {
  std::array<uint8_t, 52> p{};
  p[0] = 0x05;
  p[1] = 0x32;
  p[2] = 0x01;
  p[3] = 0x04;
  p[4] = 0x08;
  p[15] = 0x96;
  return p;
}

uint32_t TLogicalUnit::CopyAnswer(uint8_t* data, uint32_t length, uint32_t allocation,
                                  const std::vector<uint8_t>& bytes) {
  const uint32_t n = std::min<uint32_t>({length, allocation, static_cast<uint32_t>(bytes.size())});
  if (n) std::memcpy(data, bytes.data(), n);
  return n;
}

TLogicalUnit::TLogicalUnit(TDriveConfig config, std::unique_ptr<TDriveStore> store)
    : config_(std::move(config)), store_(std::move(store)), page05_(DefaultWriteParameters()) {
  store_->Refresh(&storeError_);
  if (!config_.faults.empty()) {
    std::string error;
    if (store_->Faults().ApplyAll(config_.faults, &error)) store_->SaveFaults(&error);
  }
  lastSave_ = bufferTime_ = Clock::now();
}

TLogicalUnit::~TLogicalUnit() {
  if (dirty_) SaveNow();
  if (lockFd_ >= 0) close(lockFd_);
}

bool TLogicalUnit::ReservedElsewhere() {
  if (reservation_) return false;
  if (lockFd_ < 0) lockFd_ = open(store_->LockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  return lockFd_ >= 0 && TDeviceClaim::Claimed(store_->LockPath(), lockFd_);
}

// RESERVE (6): the whole unit for this initiator, until RELEASE or its end.
TCommandResult TLogicalUnit::Reserve() {
  if (reservation_) return Good();
  TDeviceClaim::TResult result;
  reservation_ = TDeviceClaim::ClaimFile(store_->LockPath(), result);
  if (result == TDeviceClaim::TResult::InUse) {
    TCommandResult r;
    r.status = 0x18;
    return r;
  }
  if (!reservation_) return Fail(kHardwareError, 0x44, 0x00);
  return Good();
}

// RELEASE (6): GOOD also when this initiator holds no reservation.
TCommandResult TLogicalUnit::Release() {
  reservation_.reset();
  return Good();
}

TCommandResult TLogicalUnit::Good(uint32_t transferred) const {
  TCommandResult r;
  r.transferred = transferred;
  return r;
}

TCommandResult TLogicalUnit::Fail(uint8_t key, uint8_t asc, uint8_t ascq) const {
  TCommandResult r;
  r.status = 0x02;
  r.sense = FixedSense(key, asc, ascq);
  return r;
}

bool TLogicalUnit::Busy() const {
  return Clock::now() < busyUntil_;
}

void TLogicalUnit::StartOperation(uint32_t ms, uint8_t ascq) {
  busyStart_ = Clock::now();
  busyUntil_ = busyStart_ + milliseconds(ms);
  busyAscq_ = ascq;
}

bool TLogicalUnit::ReadsMedium(const TMedium& m) const {
  return m.Info().cd || config_.ReadsDvd();
}

bool TLogicalUnit::WritesMedium(const TMedium& m) const {
  const uint8_t w = config_.capabilities[1];
  auto bit0 = [](const std::optional<uint8_t>& f) { return f && (*f & 0x01); };
  switch (m.kind) {
    case TMediumKind::CdR:
      return w & 0x01;
    case TMediumKind::CdRw:
      return w & 0x02;
    case TMediumKind::DvdR:
    case TMediumKind::DvdRwSeq:
    case TMediumKind::DvdRwRo:
      return (w & 0x10) || config_.feature002F.has_value();
    case TMediumKind::DvdRam:
      return w & 0x20;
    case TMediumKind::DvdPlusR:
    case TMediumKind::DvdPlusRw:
      return bit0(config_.feature002A);
    case TMediumKind::DvdPlusRDl:
      return bit0(config_.feature003B);
    default:
      return false;
  }
}

// The condition REQUEST SENSE reports and that medium-access commands fail with.
std::array<uint8_t, 18> TLogicalUnit::CurrentConditionSense() const {
  TMedium* m = store_->Medium();
  if (store_->TrayOpen()) return FixedSense(kNotReady, 0x3A, 0x02);
  if (!m || store_->Faults().noMedium) return FixedSense(kNotReady, 0x3A, 0x01);
  const auto now = Clock::now();
  if (now < readyAt_) return FixedSense(kNotReady, 0x04, 0x01);
  if (now < busyUntil_) {
    auto sense = FixedSense(kNotReady, 0x04, busyAscq_);
    const double total = std::chrono::duration<double>(busyUntil_ - busyStart_).count();
    const double done = std::chrono::duration<double>(now - busyStart_).count();
    const uint32_t progress =
        total > 0 ? std::min<uint32_t>(65535, static_cast<uint32_t>(done / total * 65536)) : 0;
    sense[15] = 0x80;  // SKSV: progress indication
    PutBe16(&sense[16], progress);
    return sense;
  }
  if (!ReadsMedium(*m)) return FixedSense(kNotReady, 0x30, 0x00);
  return FixedSense(kNoSense, 0, 0);
}

std::optional<TCommandResult> TLogicalUnit::NotReady() const {
  const auto sense = CurrentConditionSense();
  if ((sense[2] & 0x0F) == kNoSense) return std::nullopt;
  TCommandResult r;
  r.status = 0x02;
  r.sense = sense;
  return r;
}

void TLogicalUnit::MarkDirty() {
  dirty_ = true;
  if (Clock::now() - lastSave_ > milliseconds(500)) SaveNow();
}

void TLogicalUnit::SaveNow() {
  std::string error;
  store_->SaveState(&error);
  dirty_ = false;
  lastSave_ = Clock::now();
}

void TLogicalUnit::SaveFaults() {
  std::string error;
  store_->SaveFaults(&error);
}

TCommandResult TLogicalUnit::Execute(const uint8_t* cdb, size_t cdbLength, TDataDirection direction,
                                     uint8_t* data, uint32_t length) {
  std::lock_guard<std::mutex> hold(lock_);
  if (cdbLength < 6) return Fail(kIllegalRequest, 0x20, 0x00);
  const uint8_t op = cdb[0];
  const size_t needed = op < 0x20 ? 6 : op < 0x60 ? 10 : 12;
  if (cdbLength < needed) return Fail(kIllegalRequest, 0x20, 0x00);
  if (!data) length = 0;
  if (direction == TDataDirection::In && length) std::memset(data, 0, length);

  if (!AllowedWhileReserved(op) && ReservedElsewhere()) {
    TCommandResult r;
    r.status = 0x18;  // RESERVATION CONFLICT
    return r;
  }
  store_->Refresh(&storeError_);
  TFaults& faults = store_->Faults();
  if (faults.gone) {
    TCommandResult r;
    r.gone = true;
    return r;
  }
  if (faults.unitAttention == TUnitAttention::Pending && !SkipsUnitAttention(op)) {
    faults.unitAttention = TUnitAttention::Off;
    SaveFaults();
    return Fail(kUnitAttention, 0x28, 0x00);
  }
  if ((Busy() || Clock::now() < readyAt_) && !AllowedWhileBusy(op) && store_->Medium() &&
      !store_->TrayOpen()) {
    if (auto r = NotReady()) return *r;
  }

  switch (op) {
    case 0x00:
      return TestUnitReady();
    case 0x01:
      return TestUnitReady();  // REZERO UNIT: nothing to seek
    case 0x03:
      return RequestSense(cdb, data, length);
    case 0x04:
      return FormatUnit(cdb, data, length);
    case 0x12:
      return Inquiry(cdb, data, length);
    case 0x16:
      return Reserve();
    case 0x17:
      return Release();
    case 0x1B:
      return StartStopUnit(cdb);
    case 0x1E:
      return PreventAllow(cdb);
    case 0x23:
      return ReadFormatCapacities(cdb, data, length);
    case 0x25:
      return ReadCapacity(data, length);
    case 0x28:
      return Read10(cdb, data, length);
    case 0x2A:
      return Write10(cdb, data, length);
    case 0x35:
      return SynchronizeCache(cdb);
    case 0x43:
      return ReadToc(cdb, data, length);
    case 0x46:
      return GetConfiguration(cdb, data, length);
    case 0x51:
      return ReadDiscInformation(cdb, data, length);
    case 0x52:
      return ReadTrackInformation(cdb, data, length);
    case 0x53:
      return ReserveTrack(cdb);
    case 0x54:
      return SendOpc();
    case 0x55:
      return ModeSelect(cdb, data, length);
    case 0x5A:
      return ModeSense(cdb, data, length);
    case 0x5B:
      return CloseTrackSession(cdb);
    case 0x5C:
      return ReadBufferCapacity(cdb, data, length);
    case 0xA1:
      return Blank(cdb);
    case 0xB6:
      return SetStreaming(cdb, data, length);
    case 0xBB:
      return SetCdSpeed(cdb);
    case 0xBE:
      return ReadCd(cdb, data, length);
    case 0xBF:
      return SendDvdStructure(cdb);
    default:
      return Fail(kIllegalRequest, 0x20, 0x00);
  }
}

TCommandResult TLogicalUnit::TestUnitReady() {
  if (auto r = NotReady()) return *r;
  return Good();
}

TCommandResult TLogicalUnit::RequestSense(const uint8_t* cdb, uint8_t* data, uint32_t length) {
  const auto sense = CurrentConditionSense();
  const uint32_t n = std::min<uint32_t>({cdb[4], length, static_cast<uint32_t>(sense.size())});
  if (n) std::memcpy(data, sense.data(), n);
  return Good(n);
}

// Standard INQUIRY data (SPC-3 6.4.2): a removable CD/DVD device, SPC-3, 36 bytes.
TCommandResult TLogicalUnit::Inquiry(const uint8_t* cdb, uint8_t* data, uint32_t length) {
  if (cdb[1] & 0x01) return Fail(kIllegalRequest, 0x24, 0x00);  // no vital product data
  uint8_t answer[36] = {};
  answer[0] = 0x05;  // peripheral device type: CD/DVD
  answer[1] = 0x80;  // removable medium
  answer[2] = 0x05;  // SPC-3
  answer[3] = 0x02;  // response data format
  answer[4] = sizeof answer - 5;
  PutPadded(answer + 8, config_.vendor, 8);
  PutPadded(answer + 16, config_.product, 16);
  PutPadded(answer + 32, config_.revision, 4);
  const uint32_t allocation = GetBe16(cdb + 3);
  const uint32_t n = std::min<uint32_t>({allocation, length, sizeof answer});
  if (n) std::memcpy(data, answer, n);
  return Good(n);
}

TCommandResult TLogicalUnit::StartStopUnit(const uint8_t* cdb) {
  const bool loadEject = cdb[4] & 0x02;
  const bool start = cdb[4] & 0x01;
  if (!loadEject) return Good();  // spindle start/stop: nothing to model
  std::string error;
  if (!start) {
    if (preventRemoval_) return Fail(kIllegalRequest, 0x53, 0x02);
    if (dirty_) SaveNow();
    store_->SetTrayOpen(true);
    simNext_.reset();
    store_->SaveState(&error);
    return Good();
  }
  if (!store_->TrayOpen()) return Good();
  store_->SetTrayOpen(false);
  store_->SaveState(&error);
  if (store_->Medium()) {
    readyAt_ = Clock::now() + milliseconds(config_.readyDelayMs);
    if (store_->Faults().unitAttention == TUnitAttention::Armed) {
      store_->Faults().unitAttention = TUnitAttention::Pending;
      SaveFaults();
    }
  }
  return Good();
}

TCommandResult TLogicalUnit::PreventAllow(const uint8_t* cdb) {
  preventRemoval_ = cdb[4] & 0x01;
  return Good();
}

double TLogicalUnit::DrainRate() const {
  const double kbps =
      config_.throughput == TThroughput::Fixed ? config_.throughputKbps : CurrentWriteSpeed();
  return std::max(1.0, kbps) * 1000.0;
}

// The drive buffer fills with written bytes and drains at the recording speed. With a
// limited throughput a write waits for room, which paces the host like a real drive.
void TLogicalUnit::TakeFromBuffer(uint64_t bytes) {
  const double size = config_.bufferKb * 1024.0;
  const double rate = DrainRate();
  auto drain = [&] {
    const auto now = Clock::now();
    bufferFill_ = std::max(
        0.0, bufferFill_ - std::chrono::duration<double>(now - bufferTime_).count() * rate);
    bufferTime_ = now;
  };
  drain();
  if (config_.throughput != TThroughput::Unlimited && bufferFill_ + bytes > size) {
    const double wait = (bufferFill_ + bytes - size) / rate;
    std::this_thread::sleep_for(std::chrono::duration<double>(wait));
    drain();
  }
  bufferFill_ = std::min(size, bufferFill_ + static_cast<double>(bytes));
}

}  // namespace melvaro::vrec
