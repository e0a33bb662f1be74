// The drive command table: for each command the engine sends, the CDB bytes, the CDB
// length, the request flags (direction and event), the transfer length and the
// time-out. Multi-byte CDB fields are big-endian (MMC-5, SPC-3).
#pragma once

#include <array>
#include <cstdint>

namespace melvaro::cdb {

inline constexpr uint8_t kFlagsIn = 0x48;    // data to the host, completion on an event
inline constexpr uint8_t kFlagsOut = 0x50;   // data to the drive
inline constexpr uint8_t kFlagsNone = 0x40;  // no data

struct TCommandBlock {
  std::array<uint8_t, 16> bytes{};
  uint8_t length = 0;  // 6, 10 or 12; never inferred from the bytes written
  uint8_t flags = kFlagsNone;
  uint32_t bufferLength = 0;
  int timeoutMs = 0;
};

TCommandBlock TestUnitReady(int timeoutMs);
TCommandBlock RezeroUnit();
TCommandBlock RequestSense(uint8_t length);
TCommandBlock FormatUnit(uint8_t byte1, uint32_t listLength);
TCommandBlock Inquiry();
TCommandBlock Reserve6();
TCommandBlock Release6();
TCommandBlock StartStopUnit(bool eject);
TCommandBlock PreventAllowMediumRemoval(bool allow);
TCommandBlock ReadFormatCapacities();
TCommandBlock ReadCapacity();
TCommandBlock Read10(uint32_t block, uint16_t count, uint32_t bufferLength);
TCommandBlock Write10(uint32_t block, uint16_t count, uint8_t flags, uint32_t bufferLength);
TCommandBlock SynchronizeCache(int timeoutMs, bool immed);
TCommandBlock ReadToc(uint8_t format, uint8_t control, bool msf, uint8_t track,
                      uint8_t allocLength);
TCommandBlock GetConfiguration(uint8_t rt, uint8_t feature, uint8_t allocLength);
TCommandBlock ReadDiscInformation(uint8_t length);
TCommandBlock ReadTrackInformation(uint8_t track);
TCommandBlock ReserveTrack(uint32_t blocks);
TCommandBlock SendOpcInformation();
TCommandBlock ModeSelect10(uint8_t length);
TCommandBlock ModeSense10(uint8_t page, bool defaults, uint16_t allocLength);
TCommandBlock CloseSession(bool closeTrack, bool immed, bool finalize);
TCommandBlock CloseTrackSession(bool immed, uint8_t function, uint8_t b3, uint8_t b4, uint8_t b5);
TCommandBlock ReadBufferCapacity();
TCommandBlock Blank(uint8_t blankingType);
TCommandBlock SetStreaming(uint16_t length);
TCommandBlock SetCdSpeed(uint16_t readSpeed, uint16_t writeSpeed);
TCommandBlock SendDvdStructure(uint8_t format, uint16_t length);

}  // namespace melvaro::cdb
