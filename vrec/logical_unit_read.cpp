// Disc and track information and reading: READ DISC INFORMATION, READ TRACK INFORMATION,
// READ TOC/PMA/ATIP, READ CAPACITY, READ FORMAT CAPACITIES, READ (10) and READ CD.
#include <algorithm>
#include <cstring>
#include <vector>

#include "logical_unit.h"
#include "platform/byte_order.h"
#include "sense.h"

namespace melvaro::vrec {

namespace {

// Logical block to the 4-byte MSF form 00 M S F (MMC-5 6.26.2.4), lead-in offset 150.
void PutMsf(uint8_t* p, int64_t block) {
  const int64_t f = block + 150;
  p[0] = 0;
  p[1] = static_cast<uint8_t>(f / 4500);
  p[2] = static_cast<uint8_t>(f / 75 % 60);
  p[3] = static_cast<uint8_t>(f % 75);
}

void PutAddress(uint8_t* p, int64_t block, bool msf) {
  if (msf)
    PutMsf(p, block);
  else
    PutBe32(p, static_cast<uint32_t>(block));
}

// Damages a block the way a failing disc might: scattered bytes change.
void Corrupt(uint8_t* block) {
  for (size_t i = 0; i < 2048; i += 97) block[i] ^= 0xA5;
}

// The lead-in start of a blank CD-R/RW as ATIP carries it (97:26:66, a negative
// address).
constexpr int64_t kAtipLeadInStart = (97 * 60 + 26) * 75 + 66 - 450000 - 150;

}  // namespace

// READ DISC INFORMATION, standard disc information (MMC-5 6.22.3.1), 34 bytes.
TCommandResult TLogicalUnit::ReadDiscInformation(const uint8_t* cdb, uint8_t* data,
                                                 uint32_t length) {
  if (auto r = NotReady()) return *r;
  if ((cdb[1] & 0x07) != 0) return Fail(kIllegalRequest, 0x24, 0x00);
  const TMedium& m = *store_->Medium();
  std::vector<uint8_t> a(34, 0);
  PutBe16(&a[0], 32);
  a[2] = static_cast<uint8_t>((m.Info().erasable ? 0x10 : 0) | m.LastSessionState() << 2 |
                              m.DiscStatus());
  a[3] = 1;
  const int sessions = m.ReportedSessions();
  const int first = m.FirstTrackOfLastSession();
  const int last = m.LastTrackOfLastSession();
  a[4] = static_cast<uint8_t>(sessions);
  a[5] = static_cast<uint8_t>(first);
  a[6] = static_cast<uint8_t>(last);
  a[7] = 0x20;                                                              // unrestricted use
  if (m.kind == TMediumKind::DvdPlusRw) a[7] |= m.formatted ? 0x03 : 0x00;  // background format
  a[9] = static_cast<uint8_t>(sessions >> 8);
  a[10] = static_cast<uint8_t>(first >> 8);
  a[11] = static_cast<uint8_t>(last >> 8);
  const auto next = m.InvisibleTrackStart();
  if (m.Info().cd) {
    // Lead-in of the next session and the last possible lead-out start, as MSF.
    if (!next) {
      PutBe32(&a[16], 0xFFFFFFFF);
      PutBe32(&a[20], 0xFFFFFFFF);
    } else {
      int64_t leadIn = kAtipLeadInStart;
      if (m.sessions.size() > 1 || (m.sessions.size() == 1 && !m.HasOpenSession())) {
        const TSession& last = m.sessions.back();
        const uint32_t sessionStart =
            m.HasOpenSession() && !last.tracks.empty() ? last.tracks.front().start : *next;
        leadIn = int64_t{sessionStart} - 4650;  // lead-in 4500 and pre-gap 150 before it
      }
      PutMsf(&a[16], leadIn < 0 ? leadIn + 450000 : leadIn);
      PutMsf(&a[20], m.capacity);
    }
  } else if (next) {
    PutBe32(&a[16], *next);
    PutBe32(&a[20], m.capacity);
  }
  a[32] = 0;  // disc application code
  return Good(CopyAnswer(data, length, GetBe16(cdb + 7), a));
}

// READ TRACK INFORMATION (MMC-5 6.27), 48 bytes.
TCommandResult TLogicalUnit::ReadTrackInformation(const uint8_t* cdb, uint8_t* data,
                                                  uint32_t length) {
  if (auto r = NotReady()) return *r;
  const TMedium& m = *store_->Medium();
  const uint8_t type = cdb[1] & 0x03;
  const uint32_t value = GetBe32(cdb + 2);
  const bool dvd = !m.Info().cd;
  const uint32_t fixedPacket = dvd && !m.IsOverwrite() ? 16 : 0;
  std::vector<uint8_t> a(48, 0);
  PutBe16(&a[0], 46);
  auto put = [&](int number, int session, uint32_t start, uint32_t size, uint32_t recorded,
                 uint32_t freeBlocks, bool nwaValid, uint32_t nwa, uint8_t mode, bool audio,
                 bool blank, bool reservedTrack) {
    a[2] = static_cast<uint8_t>(number);
    a[3] = static_cast<uint8_t>(session);
    a[5] = mode & 0x0F;
    a[6] = static_cast<uint8_t>((reservedTrack ? 0x80 : 0) | (blank ? 0x40 : 0) |
                                (fixedPacket ? 0x30 : 0) | (audio ? 0x0F : 0x01));
    a[7] = static_cast<uint8_t>((recorded ? 0x02 : 0) | (nwaValid ? 0x01 : 0));
    PutBe32(&a[8], start);
    PutBe32(&a[12], nwaValid ? nwa : 0);
    PutBe32(&a[16], freeBlocks);
    PutBe32(&a[20], fixedPacket);
    PutBe32(&a[24], size);
    PutBe32(&a[28], recorded ? start + recorded - 1 : 0);
    a[32] = static_cast<uint8_t>(number >> 8);
    a[33] = static_cast<uint8_t>(session >> 8);
  };

  if (m.IsOverwrite()) {
    if (type == 0x01   ? (value != 1 && value != 0xFF)
        : type == 0x00 ? value >= m.capacity
                       : value != 1)
      return Fail(kIllegalRequest, 0x24, 0x00);
    const uint32_t nwa = (m.recordedEnd + kDvdEccBlocks - 1) / kDvdEccBlocks * kDvdEccBlocks;
    put(1, 1, 0, m.capacity, m.recordedEnd, m.capacity - std::min(nwa, m.capacity),
        m.formatted && nwa < m.capacity, nwa, 4, false, m.recordedEnd == 0, false);
    return Good(CopyAnswer(data, length, GetBe16(cdb + 7), a));
  }

  // Resolve the request to a recorded track or the invisible one.
  const int tracks = m.RecordedTracks();
  const auto invisible = m.InvisibleTrackStart();
  int number = 0;
  // While the last track still grows it is the incomplete track FFh names, and there
  // is no invisible track after it yet.
  const bool growing = const_cast<TMedium&>(m).GrowingTrack() != nullptr;
  if (type == 0x01) {
    if (value == 0xFF)
      number = growing ? tracks : invisible ? tracks + 1 : 0;
    else
      number = static_cast<int>(value);
  } else if (type == 0x00) {
    if (auto ref = m.TrackAt(value))
      number = ref->number;
    else if (invisible && !growing && value >= *invisible && value < m.capacity)
      number = tracks + 1;
    else {
      for (int n = 1; n <= tracks; ++n) {
        const TTrack* t = m.Track(n)->track;
        if (value >= t->start && value < t->End()) number = n;
      }
    }
  } else if (type == 0x02) {
    int before = 0;
    for (size_t s = 0; s < m.sessions.size(); ++s) {
      if (static_cast<uint32_t>(s + 1) == value && !m.sessions[s].tracks.empty())
        number = before + 1;
      before += static_cast<int>(m.sessions[s].tracks.size());
    }
    if (!number && invisible && value == static_cast<uint32_t>(m.ReportedSessions()))
      number = tracks + 1;
  }
  if (number >= 1 && number <= tracks) {
    const TTrackRef ref = *m.Track(number);
    const TTrack& t = *ref.track;
    const bool growing = !t.closed && !t.reserved && number == tracks && !m.complete;
    const bool open = !t.closed && !m.complete && (growing || !t.Full());
    uint32_t freeBlocks = 0;
    if (open) freeBlocks = growing ? m.capacity - t.NextWritable() : t.reserved - t.recorded;
    const uint32_t size = growing ? t.recorded + freeBlocks : t.Size();
    put(number, ref.session, t.start, size, t.recorded, freeBlocks, open, t.NextWritable(),
        t.trackMode, t.audio, t.recorded == 0, t.reserved != 0);
    return Good(CopyAnswer(data, length, GetBe16(cdb + 7), a));
  }
  if (number == tracks + 1 && invisible && !growing) {
    const int session = m.HasOpenSession() ? static_cast<int>(m.sessions.size())
                                           : static_cast<int>(m.sessions.size()) + 1;
    const uint32_t freeBlocks = m.capacity - *invisible;
    put(number, session, *invisible, freeBlocks, 0, freeBlocks, true, *invisible,
        dvd ? 5 : (page05_[3] & 0x0F), false, true, false);
    return Good(CopyAnswer(data, length, GetBe16(cdb + 7), a));
  }
  return Fail(kIllegalRequest, 0x24, 0x00);
}

// READ TOC/PMA/ATIP formats 0 (TOC), 1 (session information) and 4 (ATIP)
// (MMC-5 6.26).
TCommandResult TLogicalUnit::ReadToc(const uint8_t* cdb, uint8_t* data, uint32_t length) {
  if (auto r = NotReady()) return *r;
  const TMedium& m = *store_->Medium();
  const bool msf = cdb[1] & 0x02;
  const uint8_t format = cdb[2] & 0x0F;
  const uint8_t start = cdb[6];
  const uint32_t allocation = GetBe16(cdb + 7);

  if (format == 4) {
    if (m.kind != TMediumKind::CdR && m.kind != TMediumKind::CdRw)
      return Fail(kIllegalRequest, 0x24, 0x00);
    std::vector<uint8_t> a(28, 0);
    PutBe16(&a[0], 26);
    a[4] = 0x50;                                       // writing power
    a[6] = m.kind == TMediumKind::CdRw ? 0xC0 : 0x80;  // rewritable disc type
    PutMsf(&a[4 + 4 - 1], kAtipLeadInStart + 450000);  // lead-in start, bytes 8-10
    a[7] = 0;
    PutMsf(&a[4 + 8 - 1], m.capacity);  // last lead-out start, 12-14
    a[11] = 0;
    return Good(CopyAnswer(data, length, allocation, a));
  }

  // The tracks a TOC shows: those of closed sessions and closed tracks of the open one.
  struct TEntry {
    int number;
    int session;
    const TTrack* track;
  };
  std::vector<TEntry> entries;
  int n = 0;
  for (size_t s = 0; s < m.sessions.size(); ++s)
    for (const TTrack& t : m.sessions[s].tracks) {
      ++n;
      if ((m.sessions[s].closed || t.closed) && t.recorded)
        entries.push_back({n, static_cast<int>(s) + 1, &t});
    }
  if (m.IsOverwrite() && m.formatted) {
    static const TTrack whole;  // start 0; size comes from the capacity below
    entries.push_back({1, 1, &whole});
  }
  if (entries.empty()) return Fail(kIllegalRequest, 0x24, 0x00);
  const uint32_t leadOut = m.IsOverwrite() ? m.capacity : entries.back().track->End();
  auto control = [](const TTrack* t) -> uint8_t { return t->audio ? 0x10 : 0x14; };

  std::vector<uint8_t> a(4, 0);
  if (format == 0) {
    a[2] = static_cast<uint8_t>(entries.front().number);
    a[3] = static_cast<uint8_t>(entries.back().number);
    if (start != 0xAA && start > entries.back().number) return Fail(kIllegalRequest, 0x24, 0x00);
    for (const TEntry& e : entries) {
      if (start == 0xAA || e.number < start) continue;
      uint8_t d[8] = {0, control(e.track), static_cast<uint8_t>(e.number), 0};
      PutAddress(d + 4, e.track->start, msf);
      a.insert(a.end(), d, d + 8);
    }
    uint8_t d[8] = {0, control(entries.back().track), 0xAA, 0};
    PutAddress(d + 4, leadOut, msf);
    a.insert(a.end(), d, d + 8);
  } else if (format == 1) {
    // The first track of the last complete session.
    int lastComplete = 0;
    for (size_t s = 0; s < m.sessions.size(); ++s)
      if (m.sessions[s].closed) lastComplete = static_cast<int>(s) + 1;
    if (m.IsOverwrite() || m.IsPressed()) lastComplete = 1;
    const TEntry* first = &entries.front();
    for (const TEntry& e : entries)
      if (e.session == lastComplete) {
        first = &e;
        break;
      }
    a[2] = 1;
    a[3] = static_cast<uint8_t>(std::max(1, lastComplete));
    uint8_t d[8] = {0, control(first->track), static_cast<uint8_t>(first->number), 0};
    PutAddress(d + 4, first->track->start, msf);
    a.insert(a.end(), d, d + 8);
  } else {
    return Fail(kIllegalRequest, 0x24, 0x00);
  }
  PutBe16(&a[0], static_cast<uint32_t>(a.size() - 2));
  return Good(CopyAnswer(data, length, allocation, a));
}

// READ CAPACITY (MMC-5 6.23): the last readable block and the block length.
TCommandResult TLogicalUnit::ReadCapacity(uint8_t* data, uint32_t length) {
  if (auto r = NotReady()) return *r;
  const TMedium& m = *store_->Medium();
  uint32_t blocks = m.IsOverwrite() ? (m.formatted ? m.capacity : 0) : m.RecordedBlocks();
  std::vector<uint8_t> a(8, 0);
  PutBe32(&a[0], blocks ? blocks - 1 : 0);
  PutBe32(&a[4], 2048);
  return Good(CopyAnswer(data, length, 8, a));
}

// READ FORMAT CAPACITIES (MMC-5 6.24): the current/maximum descriptor, then the
// formattable descriptors of the medium.
TCommandResult TLogicalUnit::ReadFormatCapacities(const uint8_t* cdb, uint8_t* data,
                                                  uint32_t length) {
  if (auto r = NotReady()) return *r;
  const TMedium& m = *store_->Medium();
  const uint32_t full = KindInfo(m.kind).capacity ? KindInfo(m.kind).capacity : m.capacity;
  std::vector<uint8_t> a(4, 0);
  auto add = [&](uint32_t blocks, uint8_t typeByte, uint32_t parameter) {
    uint8_t d[8];
    PutBe32(d, blocks);
    d[4] = typeByte;
    PutBe24(d + 5, parameter);
    a.insert(a.end(), d, d + 8);
  };
  const bool blank = m.IsSequential() && m.RecordedTracks() == 0 && !m.HasOpenSession();
  const uint8_t current = m.IsOverwrite() ? (m.formatted ? 0x02 : 0x01) : (blank ? 0x01 : 0x02);
  add(m.IsSequential() && !blank ? m.RecordedBlocks() : m.capacity, current, 2048);
  switch (m.kind) {
    case TMediumKind::DvdPlusRw:
      add(full, 0x26 << 2, 0);
      break;
    case TMediumKind::DvdRam:
      add(full, 0x00 << 2, 2048);
      break;
    case TMediumKind::DvdRwSeq:
      add(full, 0x10 << 2, 16);
      add(full, 0x15 << 2, 16);
      break;
    case TMediumKind::DvdRwRo:
      add(full, 0x10 << 2, 16);
      add(full, 0x13 << 2, 16);
      add(full, 0x15 << 2, 16);
      break;
    default:
      break;
  }
  a[3] = static_cast<uint8_t>(a.size() - 4);
  return Good(CopyAnswer(data, length, GetBe16(cdb + 7), a));
}

TCommandResult TLogicalUnit::Read10(const uint8_t* cdb, uint8_t* data, uint32_t length) {
  if (auto r = NotReady()) return *r;
  const TMedium& m = *store_->Medium();
  const uint32_t block = GetBe32(cdb + 2);
  const uint32_t count = GetBe16(cdb + 7);
  if (uint64_t{count} * 2048 > length) return Fail(kIllegalRequest, 0x24, 0x00);
  const TFaults& faults = store_->Faults();
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t b = block + i;
    if (m.IsOverwrite()) {
      if (!m.formatted || b >= m.capacity) return Fail(kIllegalRequest, 0x21, 0x00);
    } else {
      const auto ref = m.TrackAt(b);
      if (!ref) return Fail(kIllegalRequest, 0x21, 0x00);
      if (ref->track->audio) return Fail(kIllegalRequest, 0x64, 0x00);
    }
    if (faults.mediumErrorAt && *faults.mediumErrorAt == b) {
      auto r = Fail(kMediumError, 0x11, 0x00);
      r.sense[0] |= 0x80;  // the information field holds the failing block
      PutBe32(&r.sense[3], b);
      return r;
    }
  }
  if (count && !store_->ReadData(block, count, data, &storeError_))
    return Fail(kMediumError, 0x11, 0x00);
  if (faults.corruptReadAt && *faults.corruptReadAt >= block &&
      *faults.corruptReadAt < block + count)
    Corrupt(data + uint64_t{*faults.corruptReadAt - block} * 2048);
  return Good(count * 2048);
}

// READ CD (MMC-5 6.19): audio sectors as 2352 bytes (user data selected), data sectors
// as their 2048 user bytes.
TCommandResult TLogicalUnit::ReadCd(const uint8_t* cdb, uint8_t* data, uint32_t length) {
  if (auto r = NotReady()) return *r;
  const TMedium& m = *store_->Medium();
  if (!m.Info().cd) return Fail(kIllegalRequest, 0x30, 0x02);
  const uint8_t expected = (cdb[1] >> 2) & 0x07;  // 0 any, 1 CD-DA, 2 mode 1
  const uint32_t block = GetBe32(cdb + 2);
  const uint32_t count = GetBe24(cdb + 6);
  const uint8_t fields = cdb[9];
  if (count == 0) return Good();
  const auto ref = m.TrackAt(block);
  if (!ref || block + uint64_t{count} > ref->track->start + uint64_t{ref->track->recorded})
    return Fail(kIllegalRequest, 0x21, 0x00);
  const bool audio = ref->track->audio;
  if ((expected == 1 && !audio) || (expected > 1 && audio))
    return Fail(kIllegalRequest, 0x64, 0x00);
  if (audio) {
    if (!(fields & 0x10) && fields != 0xF8) return Fail(kIllegalRequest, 0x24, 0x00);
    if (uint64_t{count} * 2352 > length) return Fail(kIllegalRequest, 0x24, 0x00);
    if (!store_->ReadAudio(block, count, data, &storeError_)) return Fail(kMediumError, 0x11, 0x00);
    return Good(count * 2352);
  }
  if ((fields & 0xF8) != 0x10) return Fail(kIllegalRequest, 0x24, 0x00);  // user data only
  if (uint64_t{count} * 2048 > length) return Fail(kIllegalRequest, 0x24, 0x00);
  if (!store_->ReadData(block, count, data, &storeError_)) return Fail(kMediumError, 0x11, 0x00);
  return Good(count * 2048);
}

}  // namespace melvaro::vrec
