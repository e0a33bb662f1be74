#include "medium.h"

#include <algorithm>
#include <charconv>
#include <sstream>

namespace melvaro::vrec {

namespace {

constexpr uint32_t kCd80Blocks = 359849;     // last possible lead-out start 79:59:74
constexpr uint32_t kDvdBlocks = 2295104;     // single-layer 4.7 GB
constexpr uint32_t kDvdDlBlocks = 4173824;   // DVD+R DL 8.5 GB
constexpr uint32_t kDvdRamBlocks = 2236704;  // 4.7 GB DVD-RAM after defect management

const std::vector<TMediumKindInfo> kKinds = {
    {TMediumKind::CdRom, "cd-rom", "CD-ROM", 0x0008, 0, true, false, TRecording::Pressed},
    {TMediumKind::CdR, "cd-r", "CD-R", 0x0009, kCd80Blocks, true, false, TRecording::Sequential},
    {TMediumKind::CdRw, "cd-rw", "CD-RW", 0x000A, kCd80Blocks, true, true, TRecording::Sequential},
    {TMediumKind::DvdRom, "dvd-rom", "DVD-ROM", 0x0010, 0, false, false, TRecording::Pressed},
    {TMediumKind::DvdR, "dvd-r", "DVD-R", 0x0011, kDvdBlocks, false, false, TRecording::Sequential},
    {TMediumKind::DvdRam, "dvd-ram", "DVD-RAM", 0x0012, kDvdRamBlocks, false, true,
     TRecording::Overwrite},
    {TMediumKind::DvdRwRo, "dvd-rw-ro", "DVD-RW restricted overwrite", 0x0013, kDvdBlocks, false,
     true, TRecording::Overwrite},
    {TMediumKind::DvdRwSeq, "dvd-rw", "DVD-RW sequential", 0x0014, kDvdBlocks, false, true,
     TRecording::Sequential},
    {TMediumKind::DvdPlusRw, "dvd+rw", "DVD+RW", 0x001A, kDvdBlocks, false, true,
     TRecording::Overwrite},
    {TMediumKind::DvdPlusR, "dvd+r", "DVD+R", 0x001B, kDvdBlocks, false, false,
     TRecording::Sequential},
    {TMediumKind::DvdPlusRDl, "dvd+r-dl", "DVD+R DL", 0x002B, kDvdDlBlocks, false, false,
     TRecording::Sequential},
};

uint32_t RoundUp(uint32_t value, uint32_t unit) {
  return (value + unit - 1) / unit * unit;
}

}  // namespace

const std::vector<TMediumKindInfo>& AllKinds() {
  return kKinds;
}

const TMediumKindInfo& KindInfo(TMediumKind kind) {
  return kKinds[static_cast<size_t>(kind)];
}

std::optional<TMediumKind> KindByName(std::string_view name) {
  for (const TMediumKindInfo& info : kKinds)
    if (name == info.name) return info.kind;
  return std::nullopt;
}

TMedium TMedium::Blank(TMediumKind kind) {
  TMedium m;
  m.kind = kind;
  m.capacity = KindInfo(kind).capacity;
  // A new DVD+RW comes unformatted; DVD-RAM and a DVD-RW in restricted-overwrite mode
  // are formatted by definition.
  m.formatted = kind != TMediumKind::DvdPlusRw;
  return m;
}

TMedium TMedium::Pressed(TMediumKind kind, uint32_t blocks) {
  TMedium m;
  m.kind = kind;
  m.capacity = blocks;
  m.complete = true;
  TSession session;
  session.closed = true;
  TTrack track;
  track.recorded = blocks;
  track.closed = true;
  session.tracks.push_back(track);
  m.sessions.push_back(session);
  return m;
}

uint8_t TMedium::DiscStatus() const {
  if (IsOverwrite()) {
    if (!formatted) return 0;
    return kind == TMediumKind::DvdRam ? 3 : 2;
  }
  if (complete) return 2;
  return RecordedTracks() == 0 && !HasOpenSession() ? 0 : 1;
}

uint8_t TMedium::LastSessionState() const {
  if (IsOverwrite()) return formatted ? 3 : 0;
  if (complete) return 3;
  if (HasOpenSession()) return 1;
  return 0;
}

int TMedium::ReportedSessions() const {
  if (IsOverwrite()) return 1;
  int count = static_cast<int>(sessions.size());
  if (!complete && !HasOpenSession()) ++count;  // the empty session
  return count;
}

int TMedium::RecordedTracks() const {
  if (IsOverwrite()) return 1;
  int count = 0;
  for (const TSession& s : sessions) count += static_cast<int>(s.tracks.size());
  return count;
}

int TMedium::FirstTrackOfLastSession() const {
  if (IsOverwrite()) return 1;
  if (complete || HasOpenSession()) {
    int before = 0;
    for (size_t i = 0; i + 1 < sessions.size(); ++i)
      before += static_cast<int>(sessions[i].tracks.size());
    return before + 1;
  }
  return RecordedTracks() + 1;
}

int TMedium::LastTrackOfLastSession() const {
  if (IsOverwrite()) return 1;
  const int recorded = RecordedTracks();
  if (complete) return recorded;
  // An open session shows the invisible track after its tracks, unless its last track
  // still grows (then that track is the one that takes the next block).
  if (HasOpenSession()) {
    const TSession& open = sessions.back();
    const bool growing =
        !open.tracks.empty() && !open.tracks.back().closed && !open.tracks.back().reserved;
    return growing ? recorded : recorded + 1;
  }
  return recorded + 1;
}

TTrack* TMedium::GrowingTrack() {
  if (!HasOpenSession() || sessions.back().tracks.empty()) return nullptr;
  TTrack& last = sessions.back().tracks.back();
  if (last.closed || last.reserved) return nullptr;
  return &last;
}

uint32_t TMedium::NextSessionStart() const {
  if (sessions.empty()) return 0;
  uint32_t end = 0;
  for (const TTrack& t : sessions.back().tracks) end = std::max(end, t.End());
  if (Info().cd) return end + (sessions.size() == 1 ? kCdFirstSessionGap : kCdLaterSessionGap);
  return RoundUp(end, kDvdEccBlocks);
}

std::optional<uint32_t> TMedium::InvisibleTrackStart() const {
  if (!IsSequential() || complete) return std::nullopt;
  uint32_t start;
  if (HasOpenSession()) {
    const TSession& open = sessions.back();
    start = 0;
    for (const TTrack& t : open.tracks) start = std::max(start, t.End());
    if (open.tracks.empty()) start = NextSessionStart();
  } else {
    start = NextSessionStart();
  }
  if (start >= capacity) return std::nullopt;
  return start;
}

std::optional<TTrackRef> TMedium::Track(int number) const {
  if (number < 1) return std::nullopt;
  int n = 0;
  for (size_t s = 0; s < sessions.size(); ++s)
    for (const TTrack& t : sessions[s].tracks)
      if (++n == number) return TTrackRef{n, static_cast<int>(s) + 1, &t};
  return std::nullopt;
}

std::optional<TTrackRef> TMedium::TrackAt(uint32_t block) const {
  int n = 0;
  for (size_t s = 0; s < sessions.size(); ++s)
    for (const TTrack& t : sessions[s].tracks) {
      ++n;
      if (block >= t.start && block < t.start + t.recorded)
        return TTrackRef{n, static_cast<int>(s) + 1, &t};
    }
  return std::nullopt;
}

uint32_t TMedium::RecordedBlocks() const {
  if (IsOverwrite()) return recordedEnd;
  uint32_t end = 0;
  for (const TSession& s : sessions)
    for (const TTrack& t : s.tracks) end = std::max(end, t.start + t.recorded);
  return end;
}

// The state file: one "key value" per line; "session" opens a session, "track" lines
// belong to the session above them.
std::string TMedium::Serialize() const {
  std::ostringstream out;
  out << "melvaro-vrec-medium 1\n";
  out << "kind " << Info().name << "\n";
  out << "capacity " << capacity << "\n";
  out << "formatted " << (formatted ? 1 : 0) << "\n";
  out << "complete " << (complete ? 1 : 0) << "\n";
  out << "recorded-end " << recordedEnd << "\n";
  for (const TSession& s : sessions) {
    out << "session " << (s.closed ? "closed" : "open") << "\n";
    for (const TTrack& t : s.tracks)
      out << "track " << t.start << " " << t.recorded << " " << t.reserved << " "
          << (t.closed ? 1 : 0) << " " << (t.audio ? 1 : 0) << " " << int{t.trackMode} << "\n";
  }
  return out.str();
}

namespace {

bool ParseNumber(std::string_view text, uint32_t& value) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    size_t j = i;
    while (j < line.size() && line[j] != ' ') ++j;
    if (j > i) words.push_back(line.substr(i, j - i));
    i = j;
  }
  return words;
}

}  // namespace

std::optional<TMedium> TMedium::Parse(std::string_view text, std::string* error) {
  auto fail = [&](const std::string& what) -> std::optional<TMedium> {
    if (error) *error = what;
    return std::nullopt;
  };
  TMedium m;
  bool sawHeader = false, sawKind = false;
  size_t lineNo = 0;
  while (!text.empty()) {
    const size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    ++lineNo;
    const auto w = Words(line);
    if (w.empty()) continue;
    const std::string where = "line " + std::to_string(lineNo);
    if (!sawHeader) {
      if (w.size() != 2 || w[0] != "melvaro-vrec-medium" || w[1] != "1")
        return fail("not a virtual medium state file");
      sawHeader = true;
      continue;
    }
    uint32_t v = 0;
    if (w[0] == "kind" && w.size() == 2) {
      auto kind = KindByName(w[1]);
      if (!kind) return fail(where + ": unknown medium kind");
      m.kind = *kind;
      sawKind = true;
    } else if ((w[0] == "capacity" || w[0] == "formatted" || w[0] == "complete" ||
                w[0] == "recorded-end") &&
               w.size() == 2 && ParseNumber(w[1], v)) {
      if (w[0] == "capacity") m.capacity = v;
      if (w[0] == "formatted") m.formatted = v != 0;
      if (w[0] == "complete") m.complete = v != 0;
      if (w[0] == "recorded-end") m.recordedEnd = v;
    } else if (w[0] == "session" && w.size() == 2 && (w[1] == "open" || w[1] == "closed")) {
      TSession s;
      s.closed = w[1] == "closed";
      m.sessions.push_back(s);
    } else if (w[0] == "track" && w.size() == 7 && !m.sessions.empty()) {
      uint32_t f[6];
      for (int i = 0; i < 6; ++i)
        if (!ParseNumber(w[i + 1], f[i])) return fail(where + ": bad track");
      TTrack t;
      t.start = f[0];
      t.recorded = f[1];
      t.reserved = f[2];
      t.closed = f[3] != 0;
      t.audio = f[4] != 0;
      t.trackMode = static_cast<uint8_t>(f[5] & 0x0F);
      if (uint64_t{t.start} + t.Size() > m.capacity) return fail(where + ": track past capacity");
      m.sessions.back().tracks.push_back(t);
    } else {
      return fail(where + ": not understood");
    }
  }
  if (!sawHeader || !sawKind) return fail("incomplete state file");
  if (m.recordedEnd > m.capacity) return fail("recorded end past capacity");
  return m;
}

}  // namespace melvaro::vrec
