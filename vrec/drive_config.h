// drives.ini: the virtual drives of a vrec folder, one [drive] section each, in order.
//
//   [drive]
//   vendor=MELVARO            INQUIRY identification (8, 16 and 4 characters)
//   product=VIRTUAL DVD-RW
//   revision=1.00
//   capabilities=3F 37 C1     mode page 2Ah bytes 2 to 4 (read, write, misc), hex
//   feature-002A=01           feature descriptor byte 4, hex; absent: no such feature
//   feature-002F=46
//   feature-003B=01
//   page-30=no                vendor page 30h reported
//   cd-write-speeds=706 ...   kB/s that SET CD SPEED snaps to, CD media and no medium
//   dvd-write-speeds=1385 ... kB/s for DVD media
//   cd-read-speed=7056        kB/s
//   dvd-read-speed=22160
//   buffer-kb=2048
//   block-descriptor=no       MODE SENSE answers carry an 8-byte block descriptor
//   write-modes=tao sao raw   CD write types MODE SELECT accepts
//   throughput=unlimited      unlimited, drive (the current write speed) or kB/s
//   ready-delay-ms=0          NOT READY 04h/01h after a load
//   operation-ms=20           BLANK, FORMAT UNIT, CLOSE with the immediate bit
//   faults=                   faults switched on when a process starts (faults.h)
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace melvaro::vrec {

enum class TThroughput : uint8_t { Unlimited, Drive, Fixed };

struct TDriveConfig {
  std::string vendor = "MELVARO";
  std::string product = "VIRTUAL DVD-RW";
  std::string revision = "1.00";
  uint8_t capabilities[3] = {0x3F, 0x37, 0xC1};
  std::optional<uint8_t> feature002A = 0x01;
  std::optional<uint8_t> feature002F = 0x46;
  std::optional<uint8_t> feature003B = 0x01;
  bool page30 = false;
  std::vector<uint16_t> cdWriteSpeeds = {706, 1411, 2822, 4234, 5645, 7056};
  std::vector<uint16_t> dvdWriteSpeeds = {1385, 2770, 5540, 11080, 16620, 22160};
  uint16_t cdReadSpeed = 7056;
  uint16_t dvdReadSpeed = 22160;
  uint32_t bufferKb = 2048;
  bool blockDescriptor = false;
  bool tao = true, sao = true, raw = true;
  TThroughput throughput = TThroughput::Unlimited;
  uint32_t throughputKbps = 0;
  uint32_t readyDelayMs = 0;
  uint32_t operationMs = 20;
  std::string faults;

  bool ReadsDvd() const { return capabilities[0] & 0x38; }
};

// The two drives `init` writes: a DVD±RW recorder that writes every medium, and a
// recorder that writes CD-R and CD-RW only.
std::vector<TDriveConfig> DefaultDrives();
// The same drives with a real recorder's timing: writes at the drive's speed, a few
// seconds to become ready, half a minute for blanking, formatting and closing.
std::vector<TDriveConfig> RealisticDrives();

// Parses drives.ini text; nullopt with `error` set (naming the line) when it is damaged.
std::optional<std::vector<TDriveConfig>> ParseDrivesIni(const std::string& text,
                                                        std::string* error);
std::string FormatDrivesIni(const std::vector<TDriveConfig>& drives);

// The folder of the virtual media: MELVARO_VREC, else the program folder's vrec.
std::string VrecFolder();

}  // namespace melvaro::vrec
