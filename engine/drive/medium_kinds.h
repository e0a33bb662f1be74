// Medium kinds, their names, the disc record and the drive state shared by every drive
// object of the process.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace melvaro {

// MediumKind codes: below 4 are CDs, 4 and above DVDs.
enum : uint8_t {
  kKindUnknown = 0,
  kKindCdRom = 1,
  kKindCdR = 2,
  kKindCdRw = 3,
  kKindDvdRom = 4,
  kKindDvdR = 5,
  kKindDvdRam = 6,
  kKindDvdRw = 7,  // a DVD-RW of no known recording mode
  kKindDvdRwRestricted = 8,
  kKindDvdRwSequential = 9,
  kKindDvdPlusRw = 10,
  kKindDvdPlusR = 11,
  kKindDvdPlusRDl = 12,
  kKindDdcdRom = 13,
  kKindDdcdR = 14,
  kKindDdcdRw = 15,
};

// "UNKNOWN", "CD-ROM", … indexed by kind.
extern const std::array<std::string_view, 16> MediumKindNames;
// The kind of a current profile (GET CONFIGURATION), 0 for any other profile.
uint8_t KindOfProfile(uint16_t profile);
// The medium name GetDiscInfo shows for a profile, and whether that medium is erasable.
std::string_view MediumNameOfProfile(uint16_t profile, bool* erasable = nullptr);

// Filled by GetDiscInfo.
struct TDisc {
  bool Ready = false;
  uint32_t TotalBlocks = 0;     // capacity of the disc in blocks
  uint32_t RecordedBlocks = 0;  // next writable address, or the last block
  uint32_t BlockSize = 0;
  uint8_t FirstSession = 0;  // first and last complete session (READ TOC format 1)
  uint8_t LastSession = 0;
  uint8_t LastSessionState = 0;  // 0 empty, 1 incomplete, 2 reserved or damaged, 3 complete
  uint8_t DiscState = 0;         // 0 empty, 1 incomplete, 2 complete, 3 other
  uint16_t Profile = 0;
  std::string MediumName;
  bool Erasable = false;
};

// The drive state the design keeps once per process: with more than one drive object,
// the last SelectDevice, erase or burn preparation wins.
struct TSharedDriveState {
  std::atomic<bool> SlowEraseDrive{false};
  std::atomic<bool> CloseSessionImmediate{true};
  std::atomic<uint8_t> CurrentMediumKind{0};
};
TSharedDriveState& SharedDriveState();

}  // namespace melvaro
