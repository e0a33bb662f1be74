// The commands of TSCSIDevice: each builds its block from the command table and runs
// it with a buffer of its own (no buffers are shared between commands or threads).
#include <cstring>
#include <vector>

#include "scsi_device.h"

namespace melvaro {

bool TSCSIDevice::Run(const cdb::TCommandBlock& block, uint8_t* buffer, bool acceptPending) {
  TSCSIRequest request{};
  request.Flags = block.flags;
  request.CDBLen = block.length;
  request.BufLen = block.bufferLength;
  request.BufPointer = buffer;
  std::memcpy(request.CDB, block.bytes.data(), sizeof request.CDB);
  ExecSCSICommand(request, block.timeoutMs);
  const uint8_t status = LoadRequestStatus(&request);
  return status == kSsComp || (acceptPending && status == kSsPending);
}

bool TSCSIDevice::TestUnitReady(int timeoutMs) {
  return Run(cdb::TestUnitReady(timeoutMs), nullptr);
}

void TSCSIDevice::RezeroUnit() {
  Run(cdb::RezeroUnit(), nullptr);
}

bool TSCSIDevice::RequestSense(uint8_t* buffer, uint8_t length) {
  return Run(cdb::RequestSense(length), buffer);
}

bool TSCSIDevice::FormatUnit(uint8_t byte1, const uint8_t* list, uint32_t listLength) {
  std::vector<uint8_t> data(list, list + listLength);
  return Run(cdb::FormatUnit(byte1, listLength), data.data());
}

bool TSCSIDevice::InquiryDevice() {
  std::vector<uint8_t> answer(128, 0);
  std::memcpy(answer.data(), inquiryData_.data(), answer.size());
  const bool ok = Run(cdb::Inquiry(), answer.data());
  std::memcpy(inquiryData_.data(), answer.data(), answer.size());
  return ok;
}

bool TSCSIDevice::EjectMedium(bool eject) {
  transport_.SetReleaseHandleAfterCommand(true);
  const bool ok = Run(cdb::StartStopUnit(eject), nullptr);
  transport_.SetReleaseHandleAfterCommand(false);
  return ok;
}

bool TSCSIDevice::AllowMediumRemoval(bool allow) {
  if (allow) transport_.SetReleaseHandleAfterCommand(true);
  const bool ok = Run(cdb::PreventAllowMediumRemoval(allow), nullptr);
  transport_.SetReleaseHandleAfterCommand(false);
  return ok;
}

bool TSCSIDevice::ReadFormatCapacitiesRaw(uint8_t* answer248) {
  std::memset(answer248, 0, 248);
  return Run(cdb::ReadFormatCapacities(), answer248);
}

bool TSCSIDevice::ReadCapacity(uint32_t& lastBlock, uint32_t& blockLength) {
  uint8_t answer[8] = {};
  const bool ok = Run(cdb::ReadCapacity(), answer);
  auto be32 = [&](int at) {
    return (uint32_t{answer[at]} << 24) | (uint32_t{answer[at + 1]} << 16) |
           (uint32_t{answer[at + 2]} << 8) | answer[at + 3];
  };
  lastBlock = be32(0);
  blockLength = be32(4);
  return ok;
}

bool TSCSIDevice::ReadSectors(uint32_t block, uint16_t count, uint32_t bufferLength,
                              uint8_t* buffer) {
  return Run(cdb::Read10(block, count, bufferLength), buffer);
}

bool TSCSIDevice::WriteSectors(uint32_t block, uint16_t count, uint8_t flags, uint32_t bufferLength,
                               const uint8_t* buffer) {
  // The transport never writes into the buffer of an outgoing transfer.
  return Run(cdb::Write10(block, count, flags, bufferLength), const_cast<uint8_t*>(buffer), true);
}

bool TSCSIDevice::SynchronizeCache(int timeoutMs, bool immed) {
  return Run(cdb::SynchronizeCache(timeoutMs, immed), nullptr);
}

bool TSCSIDevice::ReadTOC(uint8_t format, uint8_t* buffer, uint8_t control, bool msf, uint8_t track,
                          int allocLength) {
  if (allocLength < 0 || allocLength > 255)
    throw ERangeError("READ TOC allocation length above 255");
  return Run(cdb::ReadToc(format, control, msf, track, static_cast<uint8_t>(allocLength)), buffer);
}

bool TSCSIDevice::GetConfiguration(uint8_t rt, uint8_t feature, uint8_t allocLength,
                                   uint8_t* buffer) {
  return Run(cdb::GetConfiguration(rt, feature, allocLength), buffer);
}

bool TSCSIDevice::ReadDiscInformation(uint8_t* buffer, uint8_t length) {
  return Run(cdb::ReadDiscInformation(length), buffer);
}

bool TSCSIDevice::ReadTrackInformation(uint8_t track) {
  std::array<uint8_t, 40> answer{};
  if (!Run(cdb::ReadTrackInformation(track), answer.data())) {
    trackInfo_.fill(0);
    return false;
  }
  // Data length (0-1) and the 32-bit fields from 8 to 31 to host order, in place.
  auto swap = [&](int at, int width) {
    for (int i = 0; i < width / 2; ++i) std::swap(answer[at + i], answer[at + width - 1 - i]);
  };
  swap(0, 2);
  for (int at = 8; at < 32; at += 4) swap(at, 4);
  trackInfo_ = answer;
  return true;
}

bool TSCSIDevice::ReserveTrack(uint32_t blocks) {
  return Run(cdb::ReserveTrack(blocks), nullptr);
}

bool TSCSIDevice::SendOPCInformation() {
  return Run(cdb::SendOpcInformation(), nullptr);
}

bool TSCSIDevice::ModeSelect(const uint8_t* list, uint8_t length) {
  std::vector<uint8_t> data(list, list + length);
  return Run(cdb::ModeSelect10(length), data.data());
}

bool TSCSIDevice::ModeSense(uint8_t page, uint8_t* buffer, bool defaults, uint16_t allocLength,
                            size_t bufSize) {
  std::memset(buffer, 0, bufSize + 1);
  std::vector<uint8_t> answer(allocLength, 0);
  if (!Run(cdb::ModeSense10(page, defaults, allocLength), answer.data())) return false;
  std::memcpy(buffer, answer.data(), std::min<size_t>(allocLength, bufSize + 1));
  return true;
}

bool TSCSIDevice::CloseSessionCommand(bool closeTrack, bool immed, bool finalize) {
  return Run(cdb::CloseSession(closeTrack, immed, finalize), nullptr);
}

bool TSCSIDevice::CloseTrackSession(bool immed, uint8_t function, uint8_t b3, uint8_t b4,
                                    uint8_t b5) {
  return Run(cdb::CloseTrackSession(immed, function, b3, b4, b5), nullptr);
}

bool TSCSIDevice::ReadBufferCapacityRaw(uint8_t* answer32) {
  std::memset(answer32, 0, 32);
  return Run(cdb::ReadBufferCapacity(), answer32);
}

bool TSCSIDevice::Blank(uint8_t blankingType) {
  return Run(cdb::Blank(blankingType), nullptr, true);
}

bool TSCSIDevice::SetStreaming(const uint8_t* descriptor, uint16_t length) {
  std::vector<uint8_t> data(descriptor, descriptor + length);
  return Run(cdb::SetStreaming(length), data.data());
}

bool TSCSIDevice::SetSpeed(uint16_t readSpeed, uint16_t writeSpeed) {
  return Run(cdb::SetCdSpeed(readSpeed, writeSpeed), nullptr);
}

bool TSCSIDevice::SendDVDStructure(uint8_t format, const uint8_t* list, uint16_t length) {
  std::vector<uint8_t> data(list, list + length);
  return Run(cdb::SendDvdStructure(format, length), data.data());
}

}  // namespace melvaro
