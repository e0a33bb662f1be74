// The medium in the current drive: its kind, the disc record, disc information, the ISO
// 9660 volume size and the format capacities.
#include <cstring>

#include "platform/byte_order.h"
#include "scsi_device.h"

namespace melvaro {

namespace {

uint32_t Host32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

}  // namespace

uint32_t TSCSIDevice::MSFToBlocks(uint8_t h, uint8_t m, uint8_t s, uint8_t f) {
  return uint32_t{h} * 270000 + uint32_t{m} * 4500 + uint32_t{s} * 75 + f;
}

bool TSCSIDevice::RefreshDiscInformation() {
  discInformation_.fill(0);
  std::array<uint8_t, 56> answer{};
  const bool ok = ReadDiscInformation(answer.data(), 56);
  if (ok) {
    discInformation_ = answer;
    const uint16_t length = GetBe16(&answer[0]);
    std::memcpy(&discInformation_[0], &length, 2);
  }
  return ok;
}

int TSCSIDevice::DiscStatus() {
  if (!RefreshDiscInformation()) return -1;
  return discInformation_[2] & 0x03;
}

bool TSCSIDevice::OpenTrack(const std::array<uint8_t, 40>& info) {
  const bool blank = info[6] & 0x40, reserved = info[6] & 0x80, nwaValid = info[7] & 0x01;
  return (!blank && nwaValid) || (blank && reserved);
}

bool TSCSIDevice::UnfinishedSession() {
  const uint8_t kind = MediumKind();
  if (kind == kKindDvdPlusRw || kind == kKindDvdRam || kind == kKindDvdRwRestricted ||
      kind == kKindCdRom || kind == kKindDvdRom)
    return false;
  if (!RefreshDiscInformation()) return false;
  const uint8_t discState = discInformation_[2] & 0x03;
  const uint8_t sessionState = (discInformation_[2] >> 2) & 0x03;
  if (discState != 1 || sessionState != 1) return false;  // incomplete disc, incomplete session
  // A track of the open session still being written: recorded data and a next writable
  // block inside it, or reserved and not yet written. A session whose tracks are all
  // closed was only left open, and takes a further track.
  const uint8_t firstTrack = discInformation_[5], lastTrack = discInformation_[6];
  for (int track = firstTrack ? firstTrack : 1; track <= lastTrack; ++track) {
    if (!ReadTrackInformation(static_cast<uint8_t>(track))) continue;
    if (OpenTrack(trackInfo_)) {
      unfinishedTrack_ = static_cast<uint8_t>(track);
      return true;
    }
  }
  return false;
}

int TSCSIDevice::SessionCount() {
  if (!RefreshDiscInformation() || (discInformation_[2] & 0x03) == 0) return 0;
  int sessions = discInformation_[4];
  if (((discInformation_[2] >> 2) & 0x03) == 0 && sessions != 0) --sessions;
  return sessions;
}

uint8_t TSCSIDevice::MediumKind() {
  std::array<uint8_t, 114> config{};
  uint8_t kind = kKindUnknown;
  if (GetConfiguration(2, 0x00, 114, config.data())) kind = KindOfProfile(GetBe16(&config[6]));
  if (kind == kKindUnknown) {
    atipData_.fill(0);
    if (ReadTOC(4, atipData_.data(), 0, true, 0, 26)) {
      if (atipData_[6] & 0x80)
        kind = (atipData_[6] & 0x40) ? kKindCdRw : kKindCdR;
      else
        kind = kKindCdRom;
    }
  }
  if (kind == kKindUnknown && RefreshDiscInformation())
    kind = (discInformation_[2] & 0x10) ? kKindCdRw : kKindCdR;
  if (kind == kKindUnknown && TestUnitReady(5000)) kind = kKindCdRom;
  return kind;
}

bool TSCSIDevice::IsErasable() {
  if (RefreshDiscInformation()) return discInformation_[2] & 0x10;
  const uint8_t kind = MediumKind();
  SharedDriveState().CurrentMediumKind = kind;
  return kind == kKindDvdRam || kind == kKindDvdRwRestricted || kind == kKindDvdRwSequential ||
         kind == kKindDvdPlusRw;
}

void TSCSIDevice::GetDiscInfo(TDisc& disc) {
  discRecord_ = TDisc();
  TDisc& d = discRecord_;
  if (!TestUnitReady(5000)) {
    WaitForReady(3000, 5000);
    if (!TestUnitReady(5000)) {
      d.Ready = false;
      return;
    }
  }
  d.Ready = true;

  std::array<uint8_t, 114> toc{};
  if (ReadTOC(0, toc.data(), 0, false, 0, 114)) {
    const uint8_t lastTrack = toc[3];
    toc.fill(0);
    ReadTOC(0, toc.data(), 0, false, lastTrack, 114);
    uint8_t sessions[4] = {};
    ReadTOC(1, sessions, 0, false, 0, 4);
    d.FirstSession = sessions[2];
    d.LastSession = sessions[3];
    atipData_.fill(0);
    d.TotalBlocks = ReadTOC(4, atipData_.data(), 0, true, 0, 26)
                        ? MSFToBlocks(0, atipData_[12], atipData_[13], atipData_[14])
                        : 0;
    d.MediumName = "CD-ROM";
  }

  std::array<uint8_t, 114> config{};
  if (GetConfiguration(2, 0x00, 114, config.data())) {
    const uint16_t profile = GetBe16(&config[6]);
    bool erasable = false;
    d.MediumName = std::string(MediumNameOfProfile(profile, &erasable));
    if (erasable) d.Erasable = true;
    d.Profile = profile;
    if (ReadTrackInformation(MediumKind() < kKindDvdRom ? 0xFF : 1)) {
      d.RecordedBlocks = Host32(&trackInfo_[12]);
      d.TotalBlocks = d.RecordedBlocks + Host32(&trackInfo_[16]);
      d.BlockSize = 2048;
      RefreshDiscInformation();
    } else if (ReadFormatCapacities(d.RecordedBlocks, d.BlockSize)) {
      if (d.RecordedBlocks > d.TotalBlocks) d.TotalBlocks = d.RecordedBlocks;
    }
  }

  if (RefreshDiscInformation()) {
    d.LastSessionState = (discInformation_[2] >> 2) & 0x03;
    d.DiscState = discInformation_[2] & 0x03;
    d.Erasable = discInformation_[2] & 0x10;
  } else {
    ReadCapacity(d.RecordedBlocks, d.BlockSize);
    if (ReadTrackInformation(0)) d.MediumName = "CD-ROM";
  }
  if (d.RecordedBlocks > d.TotalBlocks) d.TotalBlocks = d.RecordedBlocks;
  disc = d;
}

uint32_t TSCSIDevice::VolumeBlocks() {
  for (uint32_t block = 16; block <= 32; ++block) {
    std::array<uint8_t, 2137> buffer{};
    if (!ReadSectors(block, 1, 2048, buffer.data())) continue;
    if (std::memcmp(&buffer[1], "CD001", 5) == 0 && (buffer[0] == 1 || buffer[0] == 2))
      return GetLe32(&buffer[80]);
  }
  return 0;
}

bool TSCSIDevice::ReadFormatCapacities(uint32_t& blocks, uint32_t& blockLength) {
  blockLength = 2048;
  std::array<uint8_t, 248> answer{};
  if (!ReadFormatCapacitiesRaw(answer.data())) return false;
  auto is = [&](size_t at, uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    return answer[at] == a && answer[at + 1] == b && answer[at + 2] == c && answer[at + 3] == d;
  };
  if (is(8, 0, 0, 8, 0))
    blocks = GetBe32(&answer[4]);
  else if (is(16, 0, 0, 8, 0) || is(16, 0x98, 0, 0, 0))
    blocks = GetBe32(&answer[12]);
  else if (is(24, 0, 0, 8, 0))
    blocks = GetBe32(&answer[20]);
  else
    blocks = GetBe32(&answer[4]);
  return true;
}

}  // namespace melvaro
