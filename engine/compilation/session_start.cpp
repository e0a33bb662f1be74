// FindSessionStart: the session count and the first block of a session, from the first
// of the drive's answers that gives them.
#include "compilation/session_start.h"

#include <array>
#include <cstring>

#include "drive/messages.h"
#include "drive/scsi_device.h"
#include "platform/byte_order.h"

namespace melvaro {

namespace {

// READ TOC format 1: the first and last complete session, and the first track of the last.
struct TSessionToc {
  bool answered = false;
  uint8_t lastSession = 0;
  uint8_t firstTrackOfLast = 0;
  uint32_t start = 0;
};

TSessionToc ReadSessionToc(TSCSIDevice& d) {
  TSessionToc toc;
  std::array<uint8_t, 12> answer{};
  if (!d.ReadTOC(1, answer.data(), 0, false, 0, static_cast<int>(answer.size()))) return toc;
  toc.answered = true;
  toc.lastSession = answer[3];
  toc.firstTrackOfLast = answer[6];
  toc.start = GetBe32(&answer[8]);
  return toc;
}

}  // namespace

int FindSessionStart(TSCSIDevice& d, uint8_t wanted, TSessionStart& start,
                     const std::function<void(const std::string&)>& report) {
  auto say = [&](const std::string& text) {
    if (report) report(">>> " + text);
  };
  int count = d.SessionCount();
  // A disc information answer of an empty disc has a length; a refused command none.
  const bool discInformation = d.DiscInformation()[0] != 0 || d.DiscInformation()[1] != 0;
  TSessionToc toc;
  bool tocAsked = false;
  if (count == 0 && !discInformation) {
    toc = ReadSessionToc(d);
    tocAsked = true;
    if (toc.answered && toc.lastSession > 0) {
      count = toc.lastSession;
      say(msg::FormatText(msg::kSessionCountFrom, {std::to_string(count), "READ TOC FORMAT 1"}));
    } else if (!toc.answered && d.TestUnitReady(5000)) {
      count = 1;
      say(msg::FormatText(msg::kSessionCountFrom, {"1", "TEST UNIT READY"}));
    }
  }
  if (count == 0) return 0;
  uint8_t session = wanted;
  if (session == 255 || session > count) session = static_cast<uint8_t>(count);
  if (session == 0) return 0;
  start.session = session;

  auto found = [&](uint32_t block, const char* source) {
    start.block = block;
    say(msg::FormatText(msg::kSessionStartFrom,
                        {std::to_string(session), std::to_string(block), source}));
    return 1;
  };
  if (d.ReadTrackInformation(session)) {
    uint32_t block;
    std::memcpy(&block, &d.TrackInfo()[8], 4);
    return found(block, "READ TRACK INFORMATION");
  }
  if (!tocAsked) toc = ReadSessionToc(d);
  if (toc.answered && toc.lastSession == session && toc.firstTrackOfLast != 0)
    return found(toc.start, "READ TOC FORMAT 1");
  if (session > 1) {
    std::array<uint8_t, 12> tracks{};
    if (d.ReadTOC(0, tracks.data(), 0, false, session, static_cast<int>(tracks.size())) &&
        tracks[6] == session)
      return found(GetBe32(&tracks[8]), "READ TOC FORMAT 0");
    return -1;
  }
  return found(0, "THE DISC'S FIRST BLOCK");
}

}  // namespace melvaro
