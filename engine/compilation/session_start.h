// Where a recorded session begins, found with whatever the drive answers. Recorders
// answer READ DISC INFORMATION and READ TRACK INFORMATION; many read-only and emulated
// drives answer neither, or not every READ TOC format, and a pressed disc must still be
// read.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace melvaro {

class TSCSIDevice;

struct TSessionStart {
  uint8_t session = 0;  // the session found: the last one for 255 or a number past the count
  uint32_t block = 0;   // its first block
};

// The session count comes from READ DISC INFORMATION, else from READ TOC format 1, else
// a disc the drive reports ready counts as one session. The start comes from READ TRACK
// INFORMATION (one track per session), else READ TOC format 1 for the last session or
// format 0 (track = session) for an earlier one, else block 0 for the first session.
// Every answer taken in place of READ DISC INFORMATION or READ TRACK INFORMATION goes to
// `report` as an informational line. Returns 0 when the disc has no recorded session
// (or session 0 was asked for), 1 when the start was found, -1 when the session exists
// but no answer gives its start.
int FindSessionStart(TSCSIDevice& drive, uint8_t wanted, TSessionStart& start,
                     const std::function<void(const std::string&)>& report);

}  // namespace melvaro
