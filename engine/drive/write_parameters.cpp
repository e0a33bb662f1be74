// Mode page 05h (write parameters) by medium kind, the write-type trials, and the
// parameter lists of SET STREAMING, SEND DVD STRUCTURE (time stamp) and READ BUFFER
// CAPACITY.
#include <cstring>
#include <ctime>

#include "platform/byte_order.h"
#include "scsi_device.h"

namespace melvaro {

namespace {

// Reads mode page 05h (current values) into a 513-byte answer; the page offset found.
bool ReadPage05(TSCSIDevice& d, std::array<uint8_t, 513>& answer) {
  return d.ModeSense(0x05, answer.data(), false, 512, 512);
}

// The mode parameter list for MODE SELECT: an 8-byte header of zeros, then `pageBytes`
// bytes of the page, then zeros up to `listLength`.
std::vector<uint8_t> ParameterList(const std::array<uint8_t, 54>& page, size_t pageBytes,
                                   size_t listLength) {
  std::vector<uint8_t> list(listLength, 0);
  const size_t n = std::min({pageBytes, page.size(), listLength > 8 ? listLength - 8 : 0});
  std::memcpy(list.data() + 8, page.data(), n);
  return list;
}

}  // namespace

bool TSCSIDevice::SetWriteParameters(bool testWrite, bool underrun, bool flag, uint8_t kind) {
  if (kind == kKindDvdRam) return true;
  std::array<uint8_t, 513> answer{};
  if (!ReadPage05(*this, answer)) return false;
  int offset = answer[16] == 0x05 ? 16 : answer[8] == 0x05 ? 8 : answer[7] == 0x05 ? 7 : 8;
  std::array<uint8_t, 54>& p = writeParametersPage_;
  std::memcpy(p.data(), answer.data() + offset, p.size());

  uint32_t packet;
  p[1] = 0x32;
  if (kind == kKindDvdR) {
    p[2] = 0x60, p[3] = 0xE5, p[5] = 0x10, packet = 16;
  } else {
    p[2] = 0x01, p[3] = 0x04, p[5] = 0x00, packet = 0;
  }
  p[4] = 0x08;
  if (kind == kKindDvdPlusRw || kind == kKindDvdPlusR) {
    p[2] = 0x22;
    p[3] |= 0xC0;
  }
  if (linkSizeByModel_) p[2] |= 0x20;
  if (kind == kKindDvdR || kind == kKindDvdRw || kind == kKindDvdRwRestricted ||
      kind == kKindDvdRwSequential || kind == kKindDvdPlusR) {
    p[3] |= 0xE0;
  } else if (!testWrite && !FinalizeDisc) {
    p[3] |= 0xC0;
  } else if ((p[3] & 0xC0) == 0xC0) {
    p[3] &= 0x3F;
  }
  const bool bufe = (deviceCapabilities_ & capUnderrunProtection) && underrun;
  p[2] = static_cast<uint8_t>(bufe ? p[2] | 0x40 : p[2] & ~0x40);
  const bool test = (deviceCapabilities_ & capTestWrite) && testWrite;
  p[2] = static_cast<uint8_t>(test ? p[2] | 0x10 : p[2] & ~0x10);
  p[6] = p[7] = p[8] = p[9] = 0;
  if (kind == kKindDvdPlusR) p[6] = 0x10, packet = 16;
  if (kind == kKindDvdRwRestricted || kind == kKindDvdRwSequential)
    p[2] = 0x20, p[3] = 0xC5, p[5] = 0x10;
  if (kind == kKindDvdPlusR) p[3] = 0xC4, p[6] = 0;
  if (kind == kKindDvdPlusRDl) {
    p[2] = static_cast<uint8_t>((p[2] & 0xF0) | 0x02 | 0x20);
    p[3] = static_cast<uint8_t>((p[3] & 0xF0) | 0x04);
    p[6] = 0;
    p[5] = 0;
    p[3] &= static_cast<uint8_t>(~0x20);
    packet = 0;
    p[3] = static_cast<uint8_t>((p[3] & 0x3F) | (flag ? 0xC0 : 0x00));
  } else if (underrun && (capabilitiesPage_[4] & 0x80)) {
    p[2] |= 0x40;
  }
  if (kind == kKindDvdPlusRw) p[3] = 0x04, p[5] = 0x10;
  PutBe32(&p[10], packet);
  p[14] = 0x00;
  p[15] = 0x96;

  const size_t listLength = p[1] + 10u;
  const auto list = ParameterList(p, static_cast<size_t>(61 - offset), listLength);
  return ModeSelect(list.data(), static_cast<uint8_t>(list.size()));
}

bool TSCSIDevice::SetMultisessionField(uint8_t field) {
  std::array<uint8_t, 513> answer{};
  if (!ReadPage05(*this, answer)) return false;
  const int offset = answer[16] == 0x05 ? 16 : answer[8] == 0x05 ? 8 : answer[7] == 0x05 ? 7 : 8;
  std::array<uint8_t, 54>& p = writeParametersPage_;
  std::memcpy(p.data(), answer.data() + offset, p.size());
  p[0] &= 0x3F;  // the PS bit is not sent back
  p[3] = static_cast<uint8_t>((p[3] & 0x3F) | (field & 0x03) << 6);
  const size_t listLength = p[1] + 10u;
  const auto list = ParameterList(p, static_cast<size_t>(61 - offset), listLength);
  return ModeSelect(list.data(), static_cast<uint8_t>(list.size()));
}

void TSCSIDevice::DetectWriteModes() {
  supportedWriteModes_ = 0;
  struct TTrial {
    uint8_t writeType, blockType, flag;
  };
  const TTrial trials[] = {{0x03, 0x01, 1}, {0x02, 0x00, 2}, {0x01, 0x00, 4}};
  for (const TTrial& trial : trials) {
    std::array<uint8_t, 513> answer{};
    if (!ReadPage05(*this, answer)) continue;
    const int offset = answer[16] == 0x05 ? 16 : 8;
    std::array<uint8_t, 54>& p = writeParametersPage_;
    std::memcpy(p.data(), answer.data() + offset, p.size());
    p[4] = trial.blockType;
    p[2] = trial.writeType;
    p[3] = 0;
    p[8] = 0;
    p[9] = 0;
    p[14] = 0x00;
    p[15] = 0x96;
    const size_t listLength = p[1] + 10u;
    const auto list = ParameterList(p, p[1] + 2u, listLength);
    if (ModeSelect(list.data(), static_cast<uint8_t>(list.size())))
      supportedWriteModes_ |= trial.flag;
  }
}

bool TSCSIDevice::SetStreamingSpeed(uint32_t startBlock, uint32_t endBlock, uint32_t readSize,
                                    uint32_t writeSize, uint32_t readTime, uint32_t writeTime) {
  (void)startBlock;  // the descriptor always starts at block 0
  uint8_t d[28] = {};
  PutBe32(d + 4, 0);
  PutBe32(d + 8, endBlock);
  PutBe32(d + 12, readSize);
  PutBe32(d + 16, readTime);
  PutBe32(d + 20, writeSize);
  PutBe32(d + 24, writeTime);
  return SetStreaming(d, sizeof d);
}

bool TSCSIDevice::SendTimeStamp(std::chrono::system_clock::time_point when) {
  const std::time_t t = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  localtime_r(&t, &local);
  uint8_t list[22] = {0x00, 0x14};
  char digits[15];
  std::strftime(digits, sizeof digits, "%Y%m%d%H%M%S", &local);
  std::memcpy(list + 8, digits, 14);
  return SendDVDStructure(0x0F, list, sizeof list);
}

bool TSCSIDevice::ReadBufferCapacity(uint32_t& length, uint32_t& free) {
  uint8_t answer[32];
  if (!ReadBufferCapacityRaw(answer)) {
    deviceFreeBufferSize_ = 0;
    return false;
  }
  length = GetBe32(answer + 4);
  free = GetBe32(answer + 8);
  if (free == 0xFFFFFFFF) free = length;
  deviceBufferSize_ = length;
  deviceFreeBufferSize_ = free;
  return true;
}

}  // namespace melvaro
