// The current drive: selection, identification, model switches, capabilities, speeds.
#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstring>

#include "messages.h"
#include "platform/byte_order.h"
#include "scsi_device.h"

namespace melvaro {

namespace {

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// The 16-bit fields of the capabilities page are kept in host order once read.
uint16_t Host16(const std::array<uint8_t, 516>& page, size_t at) {
  uint16_t v;
  std::memcpy(&v, &page[at], 2);
  return v;
}
void PutHost16(std::array<uint8_t, 516>& page, size_t at, uint16_t v) {
  std::memcpy(&page[at], &v, 2);
}

// The page offset in a MODE SENSE (10) answer: after the 8-byte header, or after a
// block descriptor as well; some drives answer one byte short.
int FindPage(const uint8_t* answer, uint8_t page, int fallback) {
  if (answer[16] == page) return 16;
  if (answer[8] == page) return 8;
  if (answer[7] == page) return 7;
  return fallback;
}

void CopyPage(std::array<uint8_t, 516>& to, const std::array<uint8_t, 256>& answer, int offset) {
  to.fill(0);
  // The answer buffer holds 255 bytes; the rest of the copy stays zero.
  std::memcpy(to.data(), answer.data() + offset, 255 - offset);
}

}  // namespace

TSCSIDevice::~TSCSIDevice() {
  if (eraseThread_.joinable()) eraseThread_.join();
  ReleaseDrive();
}

void TSCSIDevice::SelectDevice(const std::string& deviceId) {
  ReleaseDrive();  // a claim belongs to the drive it was taken on
  auto fail = [&](bool report) {
    if (report) DoDebugMessage(std::string(msg::kInvalidDeviceId), 0);
    deviceName_.clear();
    inquiryName_.clear();
    deviceType_ = 0x7F;
    haId_ = targetId_ = lun_ = kNoDrive;
  };
  if (deviceId.size() <= 4) return fail(!deviceId.empty());
  auto digit = [&](size_t at) { return deviceId[at] >= '0' && deviceId[at] <= '9'; };
  if (!digit(0) || !digit(2) || !digit(4)) return fail(true);
  SetCurrentAddress(static_cast<uint8_t>(deviceId[0] - '0'),
                    static_cast<uint8_t>(deviceId[2] - '0'),
                    static_cast<uint8_t>(deviceId[4] - '0'));
  deviceName_ = deviceId;
  ReadInquiry();
  if (inquiryData_[0] != 0x05 && inquiryData_[0] != 0x04) return fail(true);

  const std::string product(inquiryData_.begin() + 16, inquiryData_.begin() + 32);
  const std::string vendor(inquiryData_.begin() + 8, inquiryData_.begin() + 16);
  const std::string trimmedProduct = Trim(product);
  std::string trimmedVendor = Trim(vendor);
  if (trimmedVendor.size() < 3) trimmedVendor = "     ";
  TSharedDriveState& shared = SharedDriveState();
  underrunByModel_ = trimmedProduct == "CD-W512EB";
  linkSizeByModel_ = trimmedProduct == "CRX175E" || trimmedProduct == "CD-RW  CRX800E";
  shared.SlowEraseDrive =
      trimmedProduct.rfind("UJDA", 0) == 0 || trimmedVendor.rfind("TDK", 0) == 0;
  shared.CloseSessionImmediate = trimmedProduct != "CDRW321040X";
  slowReadyDrive_ = product == "DVD-RW  DVR-103 " || product == "DVD-RW  DVR-104 ";
  if (slowReadyDrive_) shared.CloseSessionImmediate = true;
  if (OnDeviceChange) OnDeviceChange(this);
  DetectWriteModes();
}

void TSCSIDevice::ReadInquiry() {
  ReadCapabilities();
  if (!InquiryDevice()) {
    inquiryName_ = lastErrorText_;
    return;
  }
  deviceType_ = inquiryData_[0];
  for (size_t i = 8; i <= 55; ++i)
    if (inquiryData_[i] < 0x20) inquiryData_[i] = ' ';
  const auto text = [&](size_t from, size_t to) {
    return std::string(inquiryData_.begin() + from, inquiryData_.begin() + to);
  };
  inquiryName_ = text(8, 16) + " " + text(16, 32) + " " + text(32, 36);
}

bool TSCSIDevice::HasPage30() {
  std::array<uint8_t, 256> answer{};
  if (!ModeSense(0x30, answer.data(), false, 128, 254)) return false;
  return answer[16] == 0x30 || answer[8] == 0x30 || answer[7] == 0x30;
}

bool TSCSIDevice::ReadCapabilities() {
  deviceCapabilities_ = 0;
  deviceMaxWriteSpeed_ = 0;
  deviceMaxReadSpeed_ = 0;
  capabilitiesPage_.fill(0);
  std::array<uint8_t, 256> answer{};
  int offset = 15;
  // A drive that keeps no default values (emulated ATAPI drives among them) is asked for
  // its current ones.
  if (ModeSense(0x2A, answer.data(), true, 255, 254) ||
      ModeSense(0x2A, answer.data(), false, 255, 254)) {
    offset = FindPage(answer.data(), 0x2A, 8);
    CopyPage(capabilitiesPage_, answer, offset);
    const uint8_t read = capabilitiesPage_[2], write = capabilitiesPage_[3],
                  misc = capabilitiesPage_[4];
    uint32_t caps = 0;
    if (read & 0x01) caps |= capReadCDR;
    if (read & 0x02) caps |= capReadCDRW;
    if (read & 0x04) caps |= capReadMethod2;
    if (read & 0x08) caps |= capReadDVDROM;
    if (read & 0x10) caps |= capReadDVDR | capReadDVDRW;
    if (read & 0x20) caps |= capReadDVDRAM;
    if (write & 0x01) caps |= capWriteCDR;
    if (write & 0x02) caps |= capWriteCDRW;
    if (write & 0x04) caps |= capTestWrite;
    if (write & 0x10) caps |= capWriteDVDR | capWriteDVDRW;
    if (write & 0x20) caps |= capWriteDVDRAM;
    if ((misc & 0x80) || HasPage30() || underrunByModel_) caps |= capUnderrunProtection;
    const uint16_t maxWrite = GetBe16(&capabilitiesPage_[18]);
    const uint16_t maxRead = GetBe16(&capabilitiesPage_[8]);
    const uint16_t ramOnly = (write & 0x20) ? 1 : 0;
    deviceMaxWriteSpeed_ = maxWrite ? maxWrite : ramOnly;
    deviceMaxReadSpeed_ = maxRead ? maxRead : ramOnly;

    struct TFeature {
      uint8_t code;
      uint32_t present, writes;
    };
    const TFeature features[] = {
        {0x2A, capReadDVDPlusR | capReadDVDPlusRW, capWriteDVDPlusR | capWriteDVDPlusRW},
        {0x3B, capReadDVDPlusRDL, capWriteDVDPlusRDL},
        {0x2F, capReadDVDR | capReadDVDRW, capWriteDVDR | capWriteDVDRW},
    };
    for (const TFeature& f : features) {
      std::array<uint8_t, 114> config{};
      if (!GetConfiguration(2, f.code, 114, config.data())) continue;
      if (GetBe16(&config[8]) != f.code) continue;
      caps |= f.present;
      if (config[12] == 0x01) caps |= f.writes;
    }
    deviceCapabilities_ = caps;
  }

  answer.fill(0);
  if (!ModeSense(0x2A, answer.data(), false, 128, 254)) return false;
  offset = FindPage(answer.data(), 0x2A, offset);
  CopyPage(capabilitiesPage_, answer, offset);
  if (GetBe16(&capabilitiesPage_[18]) == 0) PutBe16(&capabilitiesPage_[18], 1385);
  if (GetBe16(&capabilitiesPage_[20]) == 0) PutBe16(&capabilitiesPage_[20], 1385);
  for (size_t at : {8, 12, 14, 18, 20})
    PutHost16(capabilitiesPage_, at, GetBe16(&capabilitiesPage_[at]));
  deviceMaxWriteSpeed_ = std::max(deviceMaxWriteSpeed_, Host16(capabilitiesPage_, 18));
  deviceMaxReadSpeed_ = std::max(deviceMaxReadSpeed_, Host16(capabilitiesPage_, 8));
  return true;
}

uint16_t TSCSIDevice::MaxWriteSpeed() {
  return ReadCapabilities() ? Host16(capabilitiesPage_, 18) : 0;
}

uint16_t TSCSIDevice::MaxReadSpeed() {
  return ReadCapabilities() ? Host16(capabilitiesPage_, 8) : 0;
}

uint16_t TSCSIDevice::CurrentWriteSpeed() {
  return ReadCapabilities() ? Host16(capabilitiesPage_, 20) : 0;
}

void TSCSIDevice::SetWriteSpeed(uint16_t value) {
  SetSpeed(ReadSpeed, value);
  writeSpeed_ = value;
}

std::string TSCSIDevice::SpeedText(uint16_t speed, uint8_t kind) {
  const lconv* locale = std::localeconv();
  const std::string decimal =
      locale && locale->decimal_point && *locale->decimal_point ? locale->decimal_point : ".";
  const std::string thousands =
      locale && locale->thousands_sep && *locale->thousands_sep ? locale->thousands_sep : ",";
  std::string factor;
  if (kind >= 6 && kind <= 10) {
    const long tenths = std::lround(speed / 1385.0 * 10);
    factor = std::to_string(tenths / 10) + decimal + std::to_string(tenths % 10);
  } else {
    factor = std::to_string(std::lround(speed / 176.4));
  }
  std::string digits = std::to_string(speed);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
    digits.insert(static_cast<size_t>(at), thousands);
  return factor + "X(" + digits + " KB/s)";
}

}  // namespace melvaro
