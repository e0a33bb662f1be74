// Drive set-up commands: mode pages 05h, 2Ah and 30h (MODE SENSE / MODE SELECT),
// GET CONFIGURATION, speeds (SET CD SPEED, SET STREAMING), SEND DVD STRUCTURE,
// SEND OPC INFORMATION and READ BUFFER CAPACITY.
#include <algorithm>
#include <cstring>
#include <vector>

#include "logical_unit.h"
#include "platform/byte_order.h"
#include "sense.h"

namespace melvaro::vrec {

namespace {

// Bytes per block for a write-parameters data block type (MMC-5 7.5.4.9); 0: reserved.
uint32_t DataBlockBytes(uint8_t type) {
  switch (type) {
    case 0:
      return 2352;
    case 1:
      return 2368;
    case 2:
    case 3:
      return 2448;
    case 8:
    case 10:
      return 2048;
    case 9:
      return 2336;
    case 11:
      return 2056;
    case 12:
      return 2324;
    case 13:
      return 2332;
    default:
      return 0;
  }
}

}  // namespace

const std::vector<uint16_t>& TLogicalUnit::WriteSpeeds() const {
  const TMedium* m = store_->Medium();
  return m && !m->Info().cd ? config_.dvdWriteSpeeds : config_.cdWriteSpeeds;
}

// The table speed at or below the requested one (the slowest when all are faster).
uint16_t TLogicalUnit::CurrentWriteSpeed() const {
  const auto& speeds = WriteSpeeds();
  if (speeds.empty()) return 0;
  uint16_t chosen = *std::min_element(speeds.begin(), speeds.end());
  for (uint16_t s : speeds)
    if (s <= requestedWriteSpeed_) chosen = std::max(chosen, s);
  return chosen;
}

uint16_t TLogicalUnit::CurrentReadSpeed() const {
  const TMedium* m = store_->Medium();
  const uint16_t max = m && !m->Info().cd ? config_.dvdReadSpeed : config_.cdReadSpeed;
  return std::min(max, requestedReadSpeed_);
}

uint32_t TLogicalUnit::WriteBlockSize() const {
  const TMedium* m = store_->Medium();
  if (m && !m->Info().cd) return 2048;
  const uint32_t bytes = DataBlockBytes(page05_[4] & 0x0F);
  return bytes ? bytes : 2048;
}

bool TLogicalUnit::AudioWrite() const {
  const TMedium* m = store_->Medium();
  return m && m->Info().cd && (page05_[3] & 0x04) == 0 && (page05_[4] & 0x0F) <= 3;
}

TCommandResult TLogicalUnit::ModeSense(const uint8_t* cdb, uint8_t* data, uint32_t length) {
  const uint8_t page = cdb[2] & 0x3F;
  const uint8_t control = cdb[2] >> 6;  // 0 current, 1 changeable, 2 default, 3 saved
  if (control == 3) return Fail(kIllegalRequest, 0x39, 0x00);  // saving not supported
  std::vector<uint8_t> pages;

  auto add05 = [&] {
    std::array<uint8_t, 52> p = page05_;
    if (control == 1) {
      p.fill(0xFF);
      p[0] = 0x05;
      p[1] = 0x32;
    } else if (control == 2) {
      p = DefaultWriteParameters();
    }
    pages.insert(pages.end(), p.begin(), p.end());
  };
  // MM Capabilities and Mechanical Status page (MMC-3 6.3.11) with its write speed
  // performance descriptors.
  auto add2A = [&] {
    const auto& speeds = WriteSpeeds();
    std::vector<uint8_t> p(32 + 4 * speeds.size(), 0);
    p[0] = 0x2A;
    p[1] = static_cast<uint8_t>(p.size() - 2);
    if (control != 1) {
      const TMedium* m = store_->Medium();
      const uint16_t maxRead = m && !m->Info().cd ? config_.dvdReadSpeed : config_.cdReadSpeed;
      const uint16_t maxWrite =
          speeds.empty() ? 0 : *std::max_element(speeds.begin(), speeds.end());
      const bool defaults = control == 2;
      p[2] = config_.capabilities[0];
      p[3] = config_.capabilities[1];
      p[4] = config_.capabilities[2];
      p[5] = 0x03;  // CD-DA commands supported, accurate stream
      p[6] = 0x29;  // tray loading, eject, lock
      PutBe16(&p[8], maxRead);
      PutBe16(&p[10], 256);  // volume levels
      PutBe16(&p[12], static_cast<uint16_t>(config_.bufferKb));
      PutBe16(&p[14], defaults ? maxRead : CurrentReadSpeed());
      PutBe16(&p[18], maxWrite);
      PutBe16(&p[20], defaults ? maxWrite : CurrentWriteSpeed());
      PutBe16(&p[28], defaults ? maxWrite : CurrentWriteSpeed());
      PutBe16(&p[30], static_cast<uint16_t>(speeds.size()));
      std::vector<uint16_t> sorted(speeds.begin(), speeds.end());
      std::sort(sorted.rbegin(), sorted.rend());
      for (size_t i = 0; i < sorted.size(); ++i) PutBe16(&p[32 + 4 * i + 2], sorted[i]);
    }
    pages.insert(pages.end(), p.begin(), p.end());
  };
  auto add30 = [&] {
    const uint8_t p[4] = {0x30, 0x02, 0x00, 0x00};
    pages.insert(pages.end(), p, p + 4);
  };

  if (page == 0x05)
    add05();
  else if (page == 0x2A)
    add2A();
  else if (page == 0x30 && config_.page30)
    add30();
  else if (page == 0x3F) {
    add05();
    add2A();
    if (config_.page30) add30();
  } else {
    return Fail(kIllegalRequest, 0x24, 0x00);
  }

  const uint32_t descriptor = config_.blockDescriptor ? 8 : 0;
  std::vector<uint8_t> answer(8 + descriptor, 0);
  if (descriptor) {
    PutBe16(&answer[6], 8);
    PutBe24(&answer[8 + 5], 2048);  // block length
  }
  answer.insert(answer.end(), pages.begin(), pages.end());
  PutBe16(&answer[0], static_cast<uint32_t>(answer.size() - 2));
  return Good(CopyAnswer(data, length, GetBe16(cdb + 7), answer));
}

TCommandResult TLogicalUnit::ModeSelect(const uint8_t* cdb, const uint8_t* data, uint32_t length) {
  const uint32_t listLength = std::min<uint32_t>(GetBe16(cdb + 7), length);
  if (listLength == 0) return Good();
  if (listLength < 8) return Fail(kIllegalRequest, 0x1A, 0x00);  // parameter list length error
  const uint32_t descriptors = GetBe16(data + 6);
  uint32_t at = 8 + descriptors;
  while (at + 2 <= listLength) {
    const uint8_t code = data[at] & 0x3F;
    const uint32_t pageLength = data[at + 1] + 2u;
    if (at + pageLength > listLength) return Fail(kIllegalRequest, 0x1A, 0x00);
    if (code != 0x05 || pageLength < 16) return Fail(kIllegalRequest, 0x26, 0x00);
    if (store_->Faults().refuseWriteParameters) return Fail(kIllegalRequest, 0x26, 0x00);
    const uint8_t* p = data + at;
    const uint8_t writeType = p[2] & 0x0F;
    const uint8_t multisession = p[3] >> 6;
    const uint8_t blockType = p[4] & 0x0F;
    const TMedium* m = store_->Medium();
    const bool cd = !m || m->Info().cd;
    bool valid = writeType <= 4 && multisession != 2 && DataBlockBytes(blockType) != 0;
    if (cd) {
      if ((writeType == 1 && !config_.tao) || (writeType == 2 && !config_.sao) ||
          (writeType == 3 && (!config_.raw || blockType == 0 || blockType > 3)) || writeType == 4)
        valid = false;
    } else if (m->kind == TMediumKind::DvdR || m->kind == TMediumKind::DvdRwSeq) {
      if (writeType != 0 && writeType != 2) valid = false;  // incremental or disc-at-once
    }
    if ((p[2] & 0x10) && !(config_.capabilities[1] & 0x04)) valid = false;  // test write
    if ((p[2] & 0x40) && !(config_.capabilities[2] & 0x80)) valid = false;  // BUFE
    if (!valid) return Fail(kIllegalRequest, 0x26, 0x00);
    std::array<uint8_t, 52> page = page05_;
    std::memcpy(page.data() + 2, p + 2, std::min<uint32_t>(pageLength, 52) - 2);
    if (TestWriteOn() != bool(page[2] & 0x10)) simNext_.reset();
    page05_ = page;
    at += pageLength;
  }
  return Good();
}

// GET CONFIGURATION (MMC-5 6.6): the profile list, and the features this drive has.
TCommandResult TLogicalUnit::GetConfiguration(const uint8_t* cdb, uint8_t* data, uint32_t length) {
  const uint8_t rt = cdb[1] & 0x03;
  const uint16_t startingFeature = GetBe16(cdb + 2);
  const TMedium* m = store_->Medium();
  const bool present = m && !store_->TrayOpen() && !store_->Faults().noMedium && ReadsMedium(*m);
  const uint16_t current = present ? m->Info().profile : 0;
  const TMediumKind kind = present ? m->kind : TMediumKind::CdRom;

  struct TFeature {
    uint16_t code;
    bool current;
    std::vector<uint8_t> body;
  };
  std::vector<TFeature> features;
  std::vector<uint8_t> profiles;
  std::vector<const TMediumKindInfo*> readable;
  for (const TMediumKindInfo& info : AllKinds())
    if (info.cd || config_.ReadsDvd()) readable.push_back(&info);
  std::sort(readable.begin(), readable.end(),
            [](auto* a, auto* b) { return a->profile > b->profile; });
  for (const TMediumKindInfo* info : readable) {
    const uint8_t entry[4] = {static_cast<uint8_t>(info->profile >> 8),
                              static_cast<uint8_t>(info->profile),
                              static_cast<uint8_t>(info->profile == current ? 1 : 0), 0};
    profiles.insert(profiles.end(), entry, entry + 4);
  }
  features.push_back({0x0000, true, profiles});
  features.push_back({0x0001, true, {0, 0, 0, 2, 1, 0, 0, 0}});     // core: ATAPI, DBE
  features.push_back({0x0003, true, {0x29, 0, 0, 0}});              // removable medium: tray
  features.push_back({0x0010, present, {0, 0, 8, 0, 0, 1, 0, 0}});  // random readable
  features.push_back({0x001E, present && m->Info().cd, {0, 0, 0, 0}});
  if (config_.ReadsDvd()) features.push_back({0x001F, present && !m->Info().cd, {0, 0, 0, 0}});
  const bool cdWrite = config_.capabilities[1] & 0x03;
  if (config_.feature002A) {
    features.push_back({0x002A, kind == TMediumKind::DvdPlusRw, {*config_.feature002A, 0, 0, 0}});
    features.push_back({0x002B, kind == TMediumKind::DvdPlusR, {*config_.feature002A, 0, 0, 0}});
  }
  if (cdWrite && config_.tao) {
    const uint8_t flags =
        static_cast<uint8_t>((config_.capabilities[2] & 0x80 ? 0x40 : 0) |
                             (config_.capabilities[1] & 0x04) | (config_.capabilities[1] & 0x02));
    features.push_back({0x002D,
                        present && (kind == TMediumKind::CdR || kind == TMediumKind::CdRw),
                        {flags, 0, 0, 0x01}});
  }
  if (cdWrite && (config_.sao || config_.raw)) {
    const uint8_t flags = static_cast<uint8_t>((config_.sao ? 0x20 : 0) | (config_.raw ? 0x10 : 0) |
                                               (config_.capabilities[1] & 0x06));
    features.push_back({0x002E,
                        present && (kind == TMediumKind::CdR || kind == TMediumKind::CdRw),
                        {flags, 0, 0, 0}});
  }
  if (config_.feature002F)
    features.push_back(
        {0x002F,
         kind == TMediumKind::DvdR || kind == TMediumKind::DvdRwSeq || kind == TMediumKind::DvdRwRo,
         {*config_.feature002F, 0, 0, 0}});
  if (config_.feature003B)
    features.push_back({0x003B, kind == TMediumKind::DvdPlusRDl, {*config_.feature003B, 0, 0, 0}});

  std::vector<uint8_t> answer(8, 0);
  PutBe16(&answer[6], current);
  for (const TFeature& f : features) {
    if (rt == 2 ? f.code != startingFeature : f.code < startingFeature) continue;
    if (rt == 1 && !f.current) continue;
    const uint8_t head[4] = {
        static_cast<uint8_t>(f.code >> 8), static_cast<uint8_t>(f.code),
        static_cast<uint8_t>((f.code <= 0x0003 ? 0x02 : 0) | (f.current ? 0x01 : 0)),
        static_cast<uint8_t>(f.body.size())};
    answer.insert(answer.end(), head, head + 4);
    answer.insert(answer.end(), f.body.begin(), f.body.end());
  }
  PutBe32(&answer[0], static_cast<uint32_t>(answer.size() - 4));
  return Good(CopyAnswer(data, length, GetBe16(cdb + 7), answer));
}

TCommandResult TLogicalUnit::SetCdSpeed(const uint8_t* cdb) {
  requestedReadSpeed_ = GetBe16(cdb + 2);
  requestedWriteSpeed_ = GetBe16(cdb + 4);
  return Good();
}

// SET STREAMING with a performance descriptor (MMC-5 6.39.3.1): the write rate it asks
// for becomes the requested write speed.
TCommandResult TLogicalUnit::SetStreaming(const uint8_t* cdb, const uint8_t* data,
                                          uint32_t length) {
  const uint32_t listLength = std::min<uint32_t>(GetBe16(cdb + 9), length);
  if (cdb[8] != 0) return Good();  // other descriptor types are accepted and ignored
  if (listLength < 28) return Fail(kIllegalRequest, 0x1A, 0x00);
  if (GetBe32(data + 8) < GetBe32(data + 4)) return Fail(kIllegalRequest, 0x26, 0x00);
  const uint32_t writeSize = GetBe32(data + 20);
  const uint32_t writeTime = GetBe32(data + 24);
  if (writeSize && writeTime)
    requestedWriteSpeed_ =
        static_cast<uint16_t>(std::min<uint64_t>(0xFFFF, uint64_t{writeSize} * 1000 / writeTime));
  return Good();
}

TCommandResult TLogicalUnit::SendDvdStructure(const uint8_t* cdb) {
  if (auto r = NotReady()) return *r;
  const TMedium* m = store_->Medium();
  const bool minusR = m->kind == TMediumKind::DvdR || m->kind == TMediumKind::DvdRwSeq ||
                      m->kind == TMediumKind::DvdRwRo;
  if (cdb[7] == 0x0F && minusR) return Good();  // time stamp
  return Fail(kIllegalRequest, 0x24, 0x00);
}

TCommandResult TLogicalUnit::SendOpc() {
  if (auto r = NotReady()) return *r;
  if (!WritesMedium(*store_->Medium())) return Fail(kIllegalRequest, 0x30, 0x05);
  return Good();
}

// READ BUFFER CAPACITY (MMC-5 6.25): buffer length and free bytes.
TCommandResult TLogicalUnit::ReadBufferCapacity(const uint8_t* cdb, uint8_t* data,
                                                uint32_t length) {
  TakeFromBuffer(0);
  const uint32_t size = config_.bufferKb * 1024;
  const uint32_t used = static_cast<uint32_t>(std::min<double>(size, bufferFill_));
  std::vector<uint8_t> answer(12, 0);
  PutBe16(&answer[0], 10);
  if (cdb[1] & 0x01) {  // block form: free blocks only
    answer[3] = 0x01;
    PutBe32(&answer[8], (size - used) / 2048);
  } else {
    PutBe32(&answer[4], size);
    PutBe32(&answer[8], size - used);
  }
  return Good(CopyAnswer(data, length, GetBe16(cdb + 7), answer));
}

}  // namespace melvaro::vrec
