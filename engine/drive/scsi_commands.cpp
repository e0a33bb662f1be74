#include "scsi_commands.h"

namespace melvaro::cdb {
namespace {

TCommandBlock Make(uint8_t length, uint8_t opcode, uint8_t flags, uint32_t bufferLength,
                   int timeoutMs) {
  TCommandBlock c;
  c.length = length;
  c.bytes[0] = opcode;
  c.flags = flags;
  c.bufferLength = bufferLength;
  c.timeoutMs = timeoutMs;
  return c;
}

void Put16(TCommandBlock& c, int at, uint16_t v) {
  c.bytes[at] = static_cast<uint8_t>(v >> 8);
  c.bytes[at + 1] = static_cast<uint8_t>(v);
}

void Put32(TCommandBlock& c, int at, uint32_t v) {
  for (int i = 0; i < 4; ++i) c.bytes[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

}  // namespace

TCommandBlock TestUnitReady(int timeoutMs) {
  return Make(6, 0x00, kFlagsNone, 0, timeoutMs);
}

TCommandBlock RezeroUnit() {
  return Make(6, 0x01, kFlagsNone, 0, 10000);
}

TCommandBlock RequestSense(uint8_t length) {
  auto c = Make(6, 0x03, kFlagsIn, length, 10000);
  c.bytes[4] = length;
  return c;
}

TCommandBlock FormatUnit(uint8_t byte1, uint32_t listLength) {
  auto c = Make(6, 0x04, kFlagsOut, listLength, 10000);
  c.bytes[1] = byte1;
  return c;
}

TCommandBlock Inquiry() {
  auto c = Make(6, 0x12, kFlagsIn, 128, 10000);
  c.bytes[4] = 0x80;
  return c;
}

TCommandBlock StartStopUnit(bool eject) {
  auto c = Make(6, 0x1B, kFlagsNone, 0, 20000);
  c.bytes[4] = eject ? 0x02 : 0x03;
  return c;
}

TCommandBlock PreventAllowMediumRemoval(bool allow) {
  auto c = Make(6, 0x1E, kFlagsNone, 0, 10000);
  c.bytes[4] = allow ? 0x00 : 0x01;
  return c;
}

TCommandBlock ReadFormatCapacities() {
  auto c = Make(10, 0x23, kFlagsIn, 248, 10000);
  c.bytes[8] = 0xF8;
  return c;
}

TCommandBlock ReadCapacity() {
  return Make(10, 0x25, kFlagsIn, 8, 10000);
}

TCommandBlock Read10(uint32_t block, uint16_t count, uint32_t bufferLength) {
  auto c = Make(10, 0x28, kFlagsIn, bufferLength, 10000);
  Put32(c, 2, block);
  Put16(c, 7, count);
  return c;
}

TCommandBlock Write10(uint32_t block, uint16_t count, uint8_t flags, uint32_t bufferLength) {
  auto c = Make(10, 0x2A, flags, bufferLength, 120000);
  Put32(c, 2, block);
  Put16(c, 7, count);
  return c;
}

TCommandBlock SynchronizeCache(int timeoutMs, bool immed) {
  auto c = Make(10, 0x35, kFlagsNone, 0, timeoutMs);
  c.bytes[1] = immed ? 0x02 : 0x00;
  return c;
}

TCommandBlock ReadToc(uint8_t format, uint8_t control, bool msf, uint8_t track,
                      uint8_t allocLength) {
  auto c = Make(10, 0x43, kFlagsIn, allocLength, 10000);
  c.bytes[1] = msf ? 0x02 : 0x00;
  c.bytes[2] = format;
  c.bytes[6] = track;
  c.bytes[8] = allocLength;
  c.bytes[9] = control;
  return c;
}

TCommandBlock GetConfiguration(uint8_t rt, uint8_t feature, uint8_t allocLength) {
  auto c = Make(10, 0x46, kFlagsIn, allocLength, 30000);
  c.bytes[1] = rt;
  c.bytes[3] = feature;
  c.bytes[8] = allocLength;
  return c;
}

TCommandBlock ReadDiscInformation(uint8_t length) {
  auto c = Make(10, 0x51, kFlagsIn, length, 10000);
  c.bytes[8] = length;
  return c;
}

TCommandBlock ReadTrackInformation(uint8_t track) {
  auto c = Make(10, 0x52, kFlagsIn, 40, 60000);
  c.bytes[1] = 0x01;
  c.bytes[5] = track;
  c.bytes[8] = 0x28;
  return c;
}

TCommandBlock ReserveTrack(uint32_t blocks) {
  auto c = Make(12, 0x53, kFlagsNone, 0, 10000);
  Put32(c, 5, blocks);
  return c;
}

TCommandBlock SendOpcInformation() {
  auto c = Make(10, 0x54, kFlagsNone, 0, 150000);
  c.bytes[1] = 0x01;
  return c;
}

TCommandBlock ModeSelect10(uint8_t length) {
  auto c = Make(10, 0x55, kFlagsOut, length, 10000);
  c.bytes[1] = 0x10;
  c.bytes[8] = length;
  return c;
}

TCommandBlock ModeSense10(uint8_t page, bool defaults, uint16_t allocLength) {
  auto c = Make(10, 0x5A, kFlagsIn, allocLength, 20000);
  c.bytes[2] = defaults ? static_cast<uint8_t>(page + 0x80) : page;
  Put16(c, 7, allocLength);
  return c;
}

TCommandBlock CloseSession(bool closeTrack, bool immed, bool finalize) {
  auto c = Make(10, 0x5B, kFlagsNone, 0, 180000);
  c.bytes[1] = immed ? 0x01 : 0x00;
  c.bytes[2] = finalize ? 0x05 : closeTrack ? 0x01 : 0x02;
  c.bytes[5] = closeTrack ? 0xFF : 0x00;
  return c;
}

TCommandBlock CloseTrackSession(bool immed, uint8_t function, uint8_t b3, uint8_t b4, uint8_t b5) {
  auto c = Make(10, 0x5B, kFlagsNone, 0, 180000);
  c.bytes[1] = immed ? 0x01 : 0x00;
  c.bytes[2] = function;
  c.bytes[3] = b3;
  c.bytes[4] = b4;
  c.bytes[5] = b5;
  return c;
}

TCommandBlock ReadBufferCapacity() {
  auto c = Make(10, 0x5C, kFlagsIn, 32, 10000);
  c.bytes[8] = 0x20;
  return c;
}

// RESERVE (6) / RELEASE (6) of the whole logical unit (SPC-2).
TCommandBlock Reserve6() {
  return Make(6, 0x16, kFlagsNone, 0, 10000);
}

TCommandBlock Release6() {
  return Make(6, 0x17, kFlagsNone, 0, 10000);
}

TCommandBlock Blank(uint8_t blankingType) {
  auto c = Make(12, 0xA1, kFlagsNone, 0, 4800000);
  c.bytes[1] = static_cast<uint8_t>(blankingType + 0x10);
  return c;
}

TCommandBlock SetStreaming(uint16_t length) {
  auto c = Make(12, 0xB6, kFlagsOut, length, 10000);
  Put16(c, 9, length);
  return c;
}

TCommandBlock SetCdSpeed(uint16_t readSpeed, uint16_t writeSpeed) {
  auto c = Make(12, 0xBB, kFlagsNone, 0, 10000);
  Put16(c, 2, readSpeed == 0 ? 0xFFFF : readSpeed);
  Put16(c, 4, writeSpeed == 0 ? 0xFFFF : writeSpeed);
  return c;
}

TCommandBlock SendDvdStructure(uint8_t format, uint16_t length) {
  auto c = Make(12, 0xBF, kFlagsOut, length, 10000);
  c.bytes[7] = format;
  Put16(c, 8, length);
  return c;
}

}  // namespace melvaro::cdb
