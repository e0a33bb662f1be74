// UsedBlocks, FreeBlocks and DiscCapacity: the recorded, free and total space of the
// disc, by medium kind.
#include <algorithm>
#include <cstring>

#include "scsi_device.h"

namespace melvaro {

namespace {

uint32_t Host32(const std::array<uint8_t, 40>& info, size_t at) {
  uint32_t v;
  std::memcpy(&v, &info[at], 4);
  return v;
}

// READ TRACK INFORMATION takes a one-byte track number; on a disc that reports 255
// sessions the track after the last session is asked for as FFh, the invisible track.
uint8_t TrackAfter(int sessions) {
  return sessions >= 255 ? 0xFF : static_cast<uint8_t>(sessions + 1);
}

// Track information field offsets.
constexpr size_t kStart = 8, kNwa = 12, kFree = 16, kSize = 24, kLastRecorded = 28;

}  // namespace

void TSCSIDevice::SpaceQueryWriteParameters() {
  const bool finalize = FinalizeDisc;
  FinalizeDisc = true;
  SetWriteParameters(false, UnderrunProtection, true, SharedDriveState().CurrentMediumKind);
  FinalizeDisc = finalize;
}

// The preparation all three queries share: write parameters for the current kind with
// FinalizeDisc forced on, then the disc information. Returns the last track number of
// the last session (0 when the read failed).
uint8_t TSCSIDevice::PrepareSpaceQuery() {
  SpaceQueryWriteParameters();
  discInformation_[6] = 0;
  RefreshDiscInformation();
  return discInformation_[6];
}

uint32_t TSCSIDevice::UsedBlocks() {
  const uint8_t k = MediumKind();
  const uint8_t t = PrepareSpaceQuery();

  if (k >= kKindDvdRom) {
    if (!ReadTrackInformation(t) || Host32(trackInfo_, kSize) == 0xFFFFFFFF) return 0;
    if (k == kKindDvdRam || k == kKindDvdPlusRw) return VolumeBlocks();
    if (k == kKindDvdRwRestricted || k == kKindDvdRwSequential) {
      const uint32_t size = Host32(trackInfo_, kSize), free = Host32(trackInfo_, kFree);
      const uint32_t nwa = Host32(trackInfo_, kNwa);
      uint32_t blocks, length;
      if (ReadFormatCapacities(blocks, length)) return size == free ? 0 : size;
      return nwa;
    }
    return Host32(trackInfo_, kNwa);
  }
  const int s = SessionCount();
  if (ReadTrackInformation(TrackAfter(s))) {
    uint32_t r = Host32(trackInfo_, kNwa);
    if (r == 0xFFFFFFFF) r = Host32(trackInfo_, kSize);
    if (s == 0 || r != 0) return r;
  }
  uint32_t last, length;
  if (ReadCapacity(last, length)) {
    if (last <= 0x7F000000) return last;
    uint32_t blocks;
    return ReadFormatCapacities(blocks, length) ? blocks : 0;
  }
  return ReadTrackInformation(TrackAfter(SessionCount())) ? Host32(trackInfo_, kFree) : 0;
}

uint32_t TSCSIDevice::FreeBlocks() {
  const uint8_t k = MediumKind();
  uint8_t t = PrepareSpaceQuery();

  if (k >= kKindDvdRom) {
    if (!ReadTrackInformation(t)) return 0;
    const uint32_t size = Host32(trackInfo_, kSize), free = Host32(trackInfo_, kFree);
    if (k == kKindDvdRwRestricted) {
      if (Host32(trackInfo_, kNwa) != 0) return free;
      uint32_t blocks, length;
      if (ReadFormatCapacities(blocks, length)) return free == size ? free : blocks - size;
    } else if (k == kKindDvdRam || k == kKindDvdPlusRw) {
      return size - VolumeBlocks();
    }
    if (size == 0xFFFFFFFF) return 0;
    if (Host32(trackInfo_, kLastRecorded) == 0) return size;
    return free;
  }
  SpaceQueryWriteParameters();
  if (DiscStatus() == 2) return 0;
  RefreshDiscInformation();
  t = discInformation_[6];
  if (!ReadTrackInformation(t) && !ReadTrackInformation(t)) return 0;
  // A track an interrupted burn left open counts its whole remaining space as its size:
  // only its free blocks are free.
  const bool openTrack = !(trackInfo_[6] & 0x40) && (trackInfo_[7] & 0x01);
  if (openTrack) return Host32(trackInfo_, kFree);
  return std::max(Host32(trackInfo_, kFree), Host32(trackInfo_, kSize));
}

uint32_t TSCSIDevice::DiscCapacity() {
  const uint8_t k = MediumKind();
  const uint8_t t = PrepareSpaceQuery();

  if (k >= kKindDvdRom) {
    if (!ReadTrackInformation(t)) return 0;
    const uint32_t sum = Host32(trackInfo_, kFree) + Host32(trackInfo_, kNwa);
    if (k == kKindDvdRam || k == kKindDvdRwRestricted || k == kKindDvdPlusRw) {
      uint32_t blocks, length;
      if (ReadFormatCapacities(blocks, length)) return blocks;
    }
    return sum;
  }
  const int s = SessionCount();
  uint32_t r = 0;
  atipData_.fill(0);
  if (ReadTOC(4, atipData_.data(), 0, true, 0, 26)) {
    r = MSFToBlocks(0, atipData_[12], atipData_[13], atipData_[14]);
    uint32_t last, length;
    if (r < 20000 && ReadCapacity(last, length) && last > r) r = last;
  } else {
    uint32_t blocks, length;
    if (ReadFormatCapacities(blocks, length)) {
      r = blocks;
      if (r == 0xFFFD0001) {
        r = 0;
        if (ReadTrackInformation(TrackAfter(s)) || ReadTrackInformation(static_cast<uint8_t>(s)))
          r = Host32(trackInfo_, kStart) + Host32(trackInfo_, kFree);
      }
    } else {
      if (ReadTrackInformation(static_cast<uint8_t>(s)))
        return Host32(trackInfo_, kStart) + Host32(trackInfo_, kFree);
      if (ReadFormatCapacities(blocks, length)) return blocks;
    }
  }
  if (r == 0xFFFFFFFF) r = UsedBlocks();
  return r;
}

}  // namespace melvaro
