// The recorded state of one virtual disc: what kind of medium it is, how much of it is
// formatted, and its sessions and tracks. No I/O here; the user data lives in the
// medium's data files (medium_data.h) and the state is stored as text
// (Serialize/Parse).
//
// Sequential media (CD-R/RW, DVD-R, DVD-RW sequential, DVD+R, DVD+R DL) hold a list of
// sessions, each a list of tracks, numbered from 1 across the disc. While the disc is
// not complete, an "invisible" track (MMC-5 6.27) starts at the next writable block:
// inside the open session after its last track, or where the next session would start.
// Overwritable media (formatted DVD+RW, DVD-RAM, DVD-RW restricted overwrite) have one
// session with one track covering the formatted capacity. Pressed discs (CD-ROM,
// DVD-ROM) have one closed session with one data track.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace melvaro::vrec {

enum class TMediumKind : uint8_t {
  CdRom,
  CdR,
  CdRw,
  DvdRom,
  DvdR,
  DvdRam,
  DvdRwRo,
  DvdRwSeq,
  DvdPlusRw,
  DvdPlusR,
  DvdPlusRDl,
};

enum class TRecording : uint8_t { Pressed, Sequential, Overwrite };

struct TMediumKindInfo {
  TMediumKind kind;
  const char* name;     // the admin tool's name, "cd-r"
  const char* display;  // "CD-R"
  uint16_t profile;     // MMC-5 current profile
  uint32_t capacity;    // user data blocks of a blank disc
  bool cd;
  bool erasable;
  TRecording recording;
};

const TMediumKindInfo& KindInfo(TMediumKind kind);
std::optional<TMediumKind> KindByName(std::string_view name);
// Every kind, in the order of the enumeration.
const std::vector<TMediumKindInfo>& AllKinds();

// Blocks between the end of a closed CD session and the first block of the next one:
// lead-out, lead-in and pre-gap (Red/Orange Book multisession).
inline constexpr uint32_t kCdFirstSessionGap = 11400;
inline constexpr uint32_t kCdLaterSessionGap = 6900;
// DVD sessions start on an ECC block boundary.
inline constexpr uint32_t kDvdEccBlocks = 16;

struct TTrack {
  uint32_t start = 0;
  uint32_t recorded = 0;  // blocks written from start
  uint32_t reserved = 0;  // fixed size from RESERVE TRACK, 0 for a variable track
  bool closed = false;
  bool audio = false;
  uint8_t trackMode = 4;  // write-parameters track mode of the track's first write

  uint32_t Size() const { return reserved ? reserved : recorded; }
  uint32_t End() const { return start + Size(); }
  uint32_t NextWritable() const { return start + recorded; }
  bool Full() const { return reserved && recorded >= reserved; }
};

struct TSession {
  std::vector<TTrack> tracks;
  bool closed = false;
};

// A track located on the disc: its number from 1, its session number from 1.
struct TTrackRef {
  int number = 0;
  int session = 0;
  const TTrack* track = nullptr;
};

class TMedium {
 public:
  // A new disc of the kind, as it comes out of the box (a DVD+RW unformatted).
  static TMedium Blank(TMediumKind kind);
  // A pressed disc holding `blocks` blocks of data.
  static TMedium Pressed(TMediumKind kind, uint32_t blocks);

  TMediumKind kind = TMediumKind::CdR;
  uint32_t capacity = 0;     // user data blocks
  bool formatted = true;     // overwritable media only
  bool complete = false;     // finalized: no further session
  uint32_t recordedEnd = 0;  // overwritable media: one past the highest written block
  std::vector<TSession> sessions;

  const TMediumKindInfo& Info() const { return KindInfo(kind); }
  bool IsSequential() const { return Info().recording == TRecording::Sequential; }
  bool IsOverwrite() const { return Info().recording == TRecording::Overwrite; }
  bool IsPressed() const { return Info().recording == TRecording::Pressed; }

  // READ DISC INFORMATION byte 2 fields (MMC-5 6.22.3.1).
  uint8_t DiscStatus() const;        // 0 empty, 1 incomplete, 2 complete, 3 other
  uint8_t LastSessionState() const;  // 0 empty, 1 incomplete, 3 complete
  // Sessions as READ DISC INFORMATION counts them: the empty session that a next
  // recording would open counts too.
  int ReportedSessions() const;
  int RecordedTracks() const;
  // The track numbers of the first and last track of the last reported session.
  int FirstTrackOfLastSession() const;
  int LastTrackOfLastSession() const;

  bool HasOpenSession() const { return !sessions.empty() && !sessions.back().closed; }
  // The last track when it is open and of variable size: writes continue it.
  TTrack* GrowingTrack();
  // Start of the invisible track, or nullopt when the disc takes no further track.
  std::optional<uint32_t> InvisibleTrackStart() const;
  uint32_t NextSessionStart() const;
  // Track by number from 1; the invisible track is not included.
  std::optional<TTrackRef> Track(int number) const;
  // The recorded track holding a block.
  std::optional<TTrackRef> TrackAt(uint32_t block) const;
  // One past the last recorded block of the disc (0 on a blank disc).
  uint32_t RecordedBlocks() const;

  std::string Serialize() const;
  // Parses Serialize's text; nullopt with `error` set when the text is damaged.
  static std::optional<TMedium> Parse(std::string_view text, std::string* error);
};

}  // namespace melvaro::vrec
