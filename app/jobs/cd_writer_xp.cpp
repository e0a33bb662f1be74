#include "jobs/cd_writer_xp.h"

#include <algorithm>

namespace melvaro {

namespace {

QString Trimmed(const uint8_t* bytes, size_t length) {
  return QString::fromLatin1(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(length))
      .trimmed();
}

// kB/s in CD speed steps of 176.4 kB/s, halves to even.
int64_t SpeedSteps(int64_t kBps) {
  const int64_t n = kBps * 10, d = 1764;
  int64_t q = n / d;
  const int64_t r = n % d;
  if (2 * r > d || (2 * r == d && (q & 1))) ++q;
  return q;
}

}  // namespace

TCDWriterXP::TCDWriterXP(TTransport& transport, TClock& clock)
    : device_(std::make_unique<TSCSIDevice>(transport, clock)) {
  Refresh();
}

TCDWriterXP::~TCDWriterXP() = default;

void TCDWriterXP::Refresh() {
  drives_.clear();
  selected_ = -1;
  if (!device_->ASPIInitialized()) return;
  device_->ScanDevices();
  for (const std::string& id : device_->DeviceList()) {
    device_->SelectDevice(id);
    if (device_->HaId() == kNoDrive) continue;
    if (!(device_->DeviceCapabilities() & TSCSIDevice::capWriteCDR)) continue;
    const auto& inquiry = device_->InquiryData();
    TDrive drive;
    drive.id = id;
    const char letter = device_->DriveLetter();
    drive.letter = letter >= 'A' && letter <= 'Z' ? QString(QLatin1Char(letter)) : QString();
    const QString vendor = Trimmed(&inquiry[8], 8);
    const QString product = Trimmed(&inquiry[16], 16);
    drive.name = vendor.isEmpty() ? product : vendor + QLatin1Char(' ') + product;
    drive.detail = Trimmed(&inquiry[32], 4);
    drives_.push_back(std::move(drive));
  }
  device_->SelectDevice(std::string());
}

QString TCDWriterXP::DriveLetterAt(int16_t index) const {
  return index >= 0 && index < DriveCount() ? drives_[index].letter : QString();
}

QString TCDWriterXP::DriveNameAt(int16_t index) const {
  return index >= 0 && index < DriveCount() ? drives_[index].name : QString();
}

QString TCDWriterXP::DriveDetailAt(int16_t index) const {
  return index >= 0 && index < DriveCount() ? drives_[index].detail : QString();
}

bool TCDWriterXP::SelectDrive(int16_t index) {
  if (index < 0 || index >= DriveCount()) {
    selected_ = -1;
    return false;
  }
  device_->SelectDevice(drives_[index].id);
  selected_ = device_->HaId() == kNoDrive ? -1 : index;
  return Selected();
}

bool TCDWriterXP::EjectDisc() {
  if (!Selected()) return false;
  device_->AllowMediumRemoval(true);
  return device_->EjectMedium(true);
}

bool TCDWriterXP::DiscLoaded() {
  if (!Selected() || !device_->TestUnitReady(5000)) return false;
  const uint8_t kind = device_->MediumKind();
  if (kind != kKindCdR && kind != kKindCdRw) return false;
  TDisc disc;
  device_->GetDiscInfo(disc);
  return disc.Ready && disc.DiscState != 2;
}

int32_t TCDWriterXP::RecordedSize() {
  if (!Selected()) return 0;
  TDisc disc;
  device_->GetDiscInfo(disc);
  if (!disc.Ready || disc.DiscState == 0) return 0;
  return static_cast<int32_t>(
      std::max<uint32_t>(1, std::min<uint32_t>(device_->UsedBlocks(), INT32_MAX)));
}

int16_t TCDWriterXP::GetWriterMaxSpeed() {
  if (!Selected()) return 0;
  return static_cast<int16_t>(std::min<int64_t>(SpeedSteps(device_->MaxWriteSpeed()), INT16_MAX));
}

bool TCDWriterXP::SetWriterSpeed(int16_t speed) {
  if (!Selected()) return false;
  const int64_t kBps = speed <= 0 ? 0xFFFF : std::min<int64_t>(0xFFFF, (speed * 1764 + 5) / 10);
  device_->SetWriteSpeed(static_cast<uint16_t>(kBps));
  return true;
}

}  // namespace melvaro
