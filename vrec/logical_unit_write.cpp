// Recording: WRITE (10) on sequential and overwritable media, test writes, RESERVE
// TRACK, SYNCHRONIZE CACHE, CLOSE TRACK/SESSION, BLANK and FORMAT UNIT.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "logical_unit.h"
#include "platform/byte_order.h"
#include "sense.h"

namespace melvaro::vrec {

std::optional<TCommandResult> TLogicalUnit::FindWriteTarget(TMedium& m, uint32_t block,
                                                            uint32_t count, TTrack*& track,
                                                            bool& newTrack) {
  track = nullptr;
  newTrack = false;
  if (m.complete) return Fail(kIllegalRequest, 0x21, 0x02);
  if (TTrack* growing = m.GrowingTrack(); growing && growing->NextWritable() == block) {
    track = growing;
  } else if (m.HasOpenSession()) {
    for (TTrack& t : m.sessions.back().tracks)
      if (!t.closed && t.reserved && !t.Full() && t.NextWritable() == block) track = &t;
  }
  if (!track) {
    const auto start = m.InvisibleTrackStart();
    if (!start || *start != block || m.GrowingTrack()) return Fail(kIllegalRequest, 0x21, 0x02);
    newTrack = true;
  }
  const uint64_t end = uint64_t{block} + count;
  if (end > m.capacity) return Fail(kIllegalRequest, 0x21, 0x00);
  if (track && track->reserved && end > uint64_t{track->start} + track->reserved)
    return Fail(kIllegalRequest, 0x21, 0x02);
  return std::nullopt;
}

TCommandResult TLogicalUnit::Write10(const uint8_t* cdb, const uint8_t* data, uint32_t length) {
  if (auto r = NotReady()) return *r;
  TMedium& m = *store_->Medium();
  TFaults& faults = store_->Faults();
  if (!WritesMedium(m)) return Fail(kIllegalRequest, 0x30, 0x05);
  if (faults.writeProtect) return Fail(kDataProtect, 0x27, 0x00);
  if (faults.busy) {
    --faults.busy;
    const bool busyStatus = faults.busyAnswered++ % 2 == 0;
    SaveFaults();
    if (busyStatus) {
      TCommandResult r;
      r.status = 0x08;
      return r;
    }
    return Fail(kNotReady, 0x04, 0x08);
  }
  const uint32_t block = GetBe32(cdb + 2);
  const uint32_t count = GetBe16(cdb + 7);
  const uint32_t blockBytes = WriteBlockSize();
  if (uint64_t{count} * blockBytes > length) return Fail(kIllegalRequest, 0x24, 0x00);
  if (count == 0) return Good();
  if (m.kind == TMediumKind::DvdPlusRw && !m.formatted) return Fail(kNotReady, 0x30, 0x10);
  if (faults.writeErrorAt && *faults.writeErrorAt >= block &&
      *faults.writeErrorAt < uint64_t{block} + count)
    return Fail(kMediumError, 0x0C, 0x00);
  if (faults.goneAt && *faults.goneAt >= block && *faults.goneAt < uint64_t{block} + count) {
    faults.gone = true;
    SaveFaults();
    TCommandResult r;
    r.gone = true;
    return r;
  }

  if (m.IsOverwrite()) {
    if (uint64_t{block} + count > m.capacity) return Fail(kIllegalRequest, 0x21, 0x00);
    TakeFromBuffer(uint64_t{count} * 2048);
    if (TestWriteOn()) {
      testWriteBlocks_ += count;
      return Good();
    }
    if (!store_->WriteData(block, count, data, &storeError_)) return Fail(kMediumError, 0x0C, 0x00);
    m.recordedEnd = std::max(m.recordedEnd, block + count);
    MarkDirty();
    return Good();
  }

  if (TestWriteOn()) {
    // Simulation: the addresses are checked as for a real write, nothing is recorded.
    if (!simNext_ || *simNext_ != block) {
      TTrack* track;
      bool newTrack;
      if (auto r = FindWriteTarget(m, block, count, track, newTrack)) return *r;
    } else if (uint64_t{block} + count > m.capacity) {
      return Fail(kIllegalRequest, 0x21, 0x00);
    }
    TakeFromBuffer(uint64_t{count} * blockBytes);
    simNext_ = block + count;
    testWriteBlocks_ += count;
    return Good();
  }

  TTrack* track = nullptr;
  bool newTrack = false;
  if (auto r = FindWriteTarget(m, block, count, track, newTrack)) return *r;
  const bool audio = AudioWrite();
  if (track && track->recorded && track->audio != audio) return Fail(kIllegalRequest, 0x64, 0x00);
  TakeFromBuffer(uint64_t{count} * blockBytes);
  bool written;
  if (audio) {
    // Raw block types carry sub-channel bytes after each 2352-byte sector; only the
    // sector is kept.
    if (blockBytes == 2352) {
      written = store_->WriteAudio(block, count, data, &storeError_);
    } else {
      std::vector<uint8_t> sectors(size_t{count} * 2352);
      for (uint32_t i = 0; i < count; ++i)
        std::memcpy(&sectors[size_t{i} * 2352], data + size_t{i} * blockBytes, 2352);
      written = store_->WriteAudio(block, count, sectors.data(), &storeError_);
    }
  } else {
    written = store_->WriteData(block, count, data, &storeError_);
  }
  if (!written) return Fail(kMediumError, 0x0C, 0x00);
  if (newTrack) {
    if (!m.HasOpenSession()) m.sessions.emplace_back();
    TTrack t;
    t.start = block;
    t.audio = audio;
    t.trackMode = m.Info().cd ? static_cast<uint8_t>(page05_[3] & 0x0F) : uint8_t{5};
    m.sessions.back().tracks.push_back(t);
    track = &m.sessions.back().tracks.back();
    SaveNow();  // a new track is a change of the disc's structure
  }
  track->recorded += count;
  MarkDirty();
  return Good();
}

TCommandResult TLogicalUnit::SynchronizeCache(const uint8_t* cdb) {
  if (auto r = NotReady()) return *r;
  if (store_->Faults().flushError) return Fail(kMediumError, 0x0C, 0x00);
  const bool immediate = cdb[1] & 0x02;
  TakeFromBuffer(0);
  if (config_.throughput != TThroughput::Unlimited && bufferFill_ > 0) {
    const double seconds = bufferFill_ / DrainRate();
    if (immediate)
      StartOperation(static_cast<uint32_t>(seconds * 1000), 0x08);  // long write in progress
    else
      std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  }
  bufferFill_ = 0;
  if (dirty_) SaveNow();
  return Good();
}

// RESERVE TRACK (MMC-5 6.31): a track of fixed size at the invisible track's start.
TCommandResult TLogicalUnit::ReserveTrack(const uint8_t* cdb) {
  if (auto r = NotReady()) return *r;
  TMedium& m = *store_->Medium();
  if (!m.IsSequential() || !WritesMedium(m)) return Fail(kIllegalRequest, 0x30, 0x05);
  if (store_->Faults().writeProtect) return Fail(kDataProtect, 0x27, 0x00);
  uint32_t blocks = GetBe32(cdb + 5);
  if (TestWriteOn()) return Good();
  const auto start = m.InvisibleTrackStart();
  if (!start || m.GrowingTrack()) return Fail(kIllegalRequest, 0x2C, 0x00);
  if (!m.Info().cd) blocks = (blocks + kDvdEccBlocks - 1) / kDvdEccBlocks * kDvdEccBlocks;
  if (blocks == 0 || uint64_t{*start} + blocks > m.capacity)
    return Fail(kIllegalRequest, 0x21, 0x00);
  if (!m.HasOpenSession()) m.sessions.emplace_back();
  TTrack t;
  t.start = *start;
  t.reserved = blocks;
  t.trackMode = m.Info().cd ? static_cast<uint8_t>(page05_[3] & 0x0F) : uint8_t{5};
  t.audio = AudioWrite();
  m.sessions.back().tracks.push_back(t);
  SaveNow();
  return Good();
}

// CLOSE TRACK/SESSION (MMC-5 6.3): function 1 closes a track, 2 the session (the
// multisession field of the write parameters decides whether the disc stays
// appendable), 3 ends DVD+RW formatting, 5 and 6 finalize DVD±R discs.
TCommandResult TLogicalUnit::CloseTrackSession(const uint8_t* cdb) {
  if (auto r = NotReady()) return *r;
  TMedium& m = *store_->Medium();
  const bool immediate = cdb[1] & 0x01;
  const uint8_t function = cdb[2] & 0x07;
  const uint32_t number = GetBe16(cdb + 4);
  if (!WritesMedium(m)) return Fail(kIllegalRequest, 0x30, 0x05);
  if (function != 1 && function != 2 && function != 3 && function != 5 && function != 6)
    return Fail(kIllegalRequest, 0x24, 0x00);
  if (const auto& e = store_->Faults().closeError; e && (*e == 0 || *e == function))
    return Fail(kMediumError, 0x72, 0x00);
  if (TestWriteOn()) {
    simNext_.reset();
    return Good();
  }
  if (dirty_) SaveNow();
  auto finish = [&] {
    SaveNow();
    if (immediate) StartOperation(config_.operationMs, 0x07);
    return Good();
  };
  if (m.IsOverwrite()) {
    if (function == 5 || function == 6) return Fail(kIllegalRequest, 0x24, 0x00);
    return finish();
  }
  const bool cd = m.Info().cd;
  const bool plus = m.kind == TMediumKind::DvdPlusR || m.kind == TMediumKind::DvdPlusRDl;
  if (function == 3 || ((function == 5 || function == 6) && cd))
    return Fail(kIllegalRequest, 0x24, 0x00);

  auto closeOpenTracks = [&] {
    if (!m.HasOpenSession()) return;
    auto& tracks = m.sessions.back().tracks;
    std::erase_if(tracks, [](const TTrack& t) { return !t.reserved && t.recorded == 0; });
    for (TTrack& t : tracks) t.closed = true;
  };
  if (function == 1) {
    const int tracks = m.RecordedTracks();
    if (number == 0 || number > static_cast<uint32_t>(tracks) + 1)
      return Fail(kIllegalRequest, 0x24, 0x00);
    if (number <= static_cast<uint32_t>(tracks)) {
      TTrack& t = const_cast<TTrack&>(*m.Track(static_cast<int>(number))->track);
      if (!t.closed && (t.recorded || t.reserved)) t.closed = true;
    }
    return finish();  // the invisible track and closed tracks: nothing to do
  }
  if (m.complete) return Fail(kIllegalRequest, 0x2C, 0x00);
  const bool nextSessionAllowed = (page05_[3] >> 6) == 3;
  if (function == 2) {
    if (!m.HasOpenSession()) return finish();  // nothing recorded since the last close
    closeOpenTracks();
    if (m.sessions.back().tracks.empty()) {
      m.sessions.pop_back();
      return finish();
    }
    m.sessions.back().closed = true;
    if (!plus && !nextSessionAllowed) m.complete = true;
    return finish();
  }
  // 5, 6: finalize the disc.
  closeOpenTracks();
  if (m.HasOpenSession()) {
    if (m.sessions.back().tracks.empty())
      m.sessions.pop_back();
    else
      m.sessions.back().closed = true;
  }
  m.complete = true;
  return finish();
}

std::optional<TCommandResult> TLogicalUnit::CheckErasable(const TMedium& m) const {
  if (!WritesMedium(m)) return Fail(kIllegalRequest, 0x30, 0x05);
  if (store_->Faults().writeProtect) return Fail(kDataProtect, 0x27, 0x00);
  if (store_->Faults().refuseBlank) return Fail(kMediumError, 0x51, 0x00);
  return std::nullopt;
}

// BLANK (MMC-5 6.2): full (0) and minimal (1) blanking of CD-RW and DVD-RW. A DVD-RW
// returns to sequential recording.
TCommandResult TLogicalUnit::Blank(const uint8_t* cdb) {
  if (auto r = NotReady()) return *r;
  TMedium& m = *store_->Medium();
  if (m.kind != TMediumKind::CdRw && m.kind != TMediumKind::DvdRwSeq &&
      m.kind != TMediumKind::DvdRwRo)
    return Fail(kIllegalRequest, 0x30, 0x05);
  if (auto r = CheckErasable(m)) return *r;
  const uint8_t type = cdb[1] & 0x07;
  const bool immediate = cdb[1] & 0x10;
  if (type > 1) return Fail(kIllegalRequest, 0x24, 0x00);
  if (!store_->ClearData(&storeError_)) return Fail(kMediumError, 0x51, 0x00);
  m = TMedium::Blank(m.kind == TMediumKind::DvdRwRo ? TMediumKind::DvdRwSeq : m.kind);
  simNext_.reset();
  SaveNow();
  if (immediate) StartOperation(config_.operationMs, 0x07);
  return Good();
}

// FORMAT UNIT (MMC-5 6.5) with a format list: DVD+RW type 26h, DVD-RAM types 00h/01h,
// DVD-RW full (10h), quick grow (13h) and quick (15h).
TCommandResult TLogicalUnit::FormatUnit(const uint8_t* cdb, const uint8_t* data, uint32_t length) {
  if (auto r = NotReady()) return *r;
  TMedium& m = *store_->Medium();
  if (m.kind != TMediumKind::DvdPlusRw && m.kind != TMediumKind::DvdRam &&
      m.kind != TMediumKind::DvdRwSeq && m.kind != TMediumKind::DvdRwRo)
    return Fail(kIllegalRequest, 0x30, 0x05);
  if (auto r = CheckErasable(m)) return *r;
  if (!(cdb[1] & 0x10) || (cdb[1] & 0x07) != 1 || length < 12)
    return Fail(kIllegalRequest, 0x24, 0x00);
  const bool immediate = data[1] & 0x02;
  if (GetBe16(data + 2) != 8) return Fail(kIllegalRequest, 0x26, 0x00);
  const uint32_t blocks = GetBe32(data + 4);
  const uint8_t type = data[8] >> 2;
  const uint32_t full = KindInfo(m.kind).capacity;
  if (blocks > full && blocks != 0xFFFFFFFF) return Fail(kIllegalRequest, 0x26, 0x00);

  bool keepData = false;
  TMediumKind after = m.kind;
  switch (m.kind) {
    case TMediumKind::DvdPlusRw:
      if (type != 0x26) return Fail(kIllegalRequest, 0x26, 0x00);
      break;
    case TMediumKind::DvdRam:
      if (type != 0x00 && type != 0x01) return Fail(kIllegalRequest, 0x26, 0x00);
      break;
    default:  // DVD-RW
      if (type == 0x13) {
        if (m.kind != TMediumKind::DvdRwRo) return Fail(kIllegalRequest, 0x26, 0x00);
        keepData = true;
      } else if (type != 0x10 && type != 0x15) {
        return Fail(kIllegalRequest, 0x26, 0x00);
      }
      after = TMediumKind::DvdRwRo;
      break;
  }
  if (!keepData) {
    if (!store_->ClearData(&storeError_)) return Fail(kMediumError, 0x31, 0x00);
    m = TMedium::Blank(after);
  }
  m.formatted = true;
  simNext_.reset();
  SaveNow();
  if (immediate) StartOperation(config_.operationMs, 0x04);
  return Good();
}

}  // namespace melvaro::vrec
