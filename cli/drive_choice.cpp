#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "burner/disc_burner.h"
#include "drive/messages.h"
#include "drive/node_access.h"
#include "options.h"
#include "printable.h"

namespace melvaro::cli {

int BadInput(const std::string& text) {
  std::fprintf(stderr, "melvaro-cli: %s\n", text.c_str());
  return kBadInput;
}

int JobFailed(const std::string& text) {
  std::fprintf(stderr, "error: %s\n", text.c_str());
  return kJobFailed;
}

namespace {

bool limitReached = false;
std::set<std::string> limitsTold;  // a limit met once per file dropped is told once

}  // namespace

void ReportMessages(TDiscBurner& burner, bool debug) {
  burner.DoDebug = debug;
  limitReached = false;
  limitsTold.clear();
  burner.OnDebugMessage = [debug](TSCSIDevice*, const std::string& message, uint8_t type) {
    if (type == 3) {
      limitReached = true;
      if (!limitsTold.insert(message).second && !debug) return;
    }
    if (debug || type == 0 || type == 3 || type == 4)
      std::fprintf(stderr, "%s\n", Printable(message).c_str());
  };
}

bool LimitReached() {
  return limitReached;
}

namespace {

// Whether the drive's capabilities include writing the medium kind.
bool Writes(const TDiscBurner& burner, uint8_t kind) {
  using D = TSCSIDevice;
  const uint32_t caps = burner.DeviceCapabilities();
  switch (kind) {
    case kKindCdR:
      return caps & D::capWriteCDR;
    case kKindCdRw:
      return caps & D::capWriteCDRW;
    case kKindDvdR:
      return caps & D::capWriteDVDR;
    case kKindDvdRam:
      return caps & D::capWriteDVDRAM;
    case kKindDvdRw:
    case kKindDvdRwRestricted:
    case kKindDvdRwSequential:
      return caps & D::capWriteDVDRW;
    case kKindDvdPlusRw:
      return caps & D::capWriteDVDPlusRW;
    case kKindDvdPlusR:
      return caps & D::capWriteDVDPlusR;
    case kKindDvdPlusRDl:
      return caps & D::capWriteDVDPlusRDL;
    default:
      return false;
  }
}

}  // namespace

namespace {

// Whether the drive has a medium. A drive reports a medium change (a tray closed, a disc
// put in) once as a unit attention; that answer is not taken for "no medium".
bool HasMedium(TDiscBurner& burner) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (burner.TestUnitReady(5000)) return true;
    if ((burner.LastSense()[2] & 0x0F) != 0x06) return false;
  }
  return false;
}

enum class TTake { kTaken, kNotReady, kInUse, kReadOnly };

bool ChooseDrive(TDiscBurner& burner, const TGlobalOptions& options, TDriveUse use, int& status);

// Claims (or, for reading, checks) the selected drive and waits for its readiness.
TTake Take(TDiscBurner& burner, TDriveUse use, std::string& readOnly) {
  if (use != TDriveUse::kRead) {
    if (readOnly = ReadOnlyNote(burner); !readOnly.empty()) return TTake::kReadOnly;
    if (!burner.ClaimDrive()) return burner.DriveInUse() ? TTake::kInUse : TTake::kNotReady;
    burner.ReadCapabilities();  // read again now that nobody else holds the drive
  } else if (burner.DriveInUse()) {
    return TTake::kInUse;
  }
  if (HasMedium(burner)) return TTake::kTaken;
  return burner.DriveInUse() ? TTake::kInUse : TTake::kNotReady;
}

}  // namespace

void PrintNodeNotes(TDiscBurner& burner) {
  TTransport& transport = burner.Transport();
  if (transport.ASPIInitialized() && !transport.IsSpti()) return;
  for (const std::string& note : NodeAccessNotes(transport))
    std::fprintf(stderr, "melvaro-cli: %s\n", note.c_str());
}

bool SelectDrive(TDiscBurner& burner, const TGlobalOptions& options, std::string* entry) {
  if (!burner.InitializeASPI(options.transport != "library", options.library)) {
    PrintNodeNotes(burner);
    BadInput("no drive can be reached (no pass-through drive and no drive plug-in)");
    return false;
  }
  if (options.transport == "pass-through" && !burner.Transport().IsSpti()) {
    PrintNodeNotes(burner);
    BadInput("no pass-through drive found");
    return false;
  }
  const auto& list = burner.DeviceList();
  if (list.empty()) {
    PrintNodeNotes(burner);
    BadInput("no CD or DVD drive found");
    return false;
  }
  if (options.drive.empty()) return true;
  for (size_t i = 0; i < list.size(); ++i) {
    const bool index = options.drive.find_first_not_of("0123456789") == std::string::npos &&
                       std::strtoul(options.drive.c_str(), nullptr, 10) == i;
    if (list[i] == options.drive || list[i].rfind(options.drive + ",", 0) == 0 || index) {
      burner.SelectDevice(list[i]);
      if (entry) *entry = list[i];
      return true;
    }
  }
  PrintNodeNotes(burner);
  BadInput("no drive " + options.drive);
  return false;
}

bool OpenDrive(TDiscBurner& burner, const TGlobalOptions& options, TDriveUse use, int& status) {
  status = kBadInput;
  if (!ChooseDrive(burner, options, use, status)) return false;
  status = kDone;
  return true;
}

namespace {

bool ChooseDrive(TDiscBurner& burner, const TGlobalOptions& options, TDriveUse use, int& status) {
  std::string entry;
  if (!SelectDrive(burner, options, &entry)) return false;
  std::string readOnly;  // the note of a drive passed over because it cannot write
  if (!options.drive.empty()) {
    switch (Take(burner, use, readOnly)) {
      case TTake::kTaken:
        return true;
      case TTake::kInUse:
        status = JobFailed(std::string(msg::kDriveInUse) + " (" + entry + ")");
        return false;
      case TTake::kReadOnly:
        BadInput(readOnly);
        return false;
      case TTake::kNotReady:
        BadInput("no medium in drive " + entry);
        return false;
    }
  }
  const auto& list = burner.DeviceList();
  std::string inUse;
  for (const std::string& entry : list) {
    burner.SelectDevice(entry);
    std::string note;
    const TTake taken = Take(burner, use, note);
    if (taken == TTake::kReadOnly) readOnly = note;
    if (taken == TTake::kInUse && inUse.empty()) inUse = entry;
    if (taken != TTake::kTaken) continue;
    if (use != TDriveUse::kWrite) return true;
    const uint8_t kind = burner.MediumKind();
    const bool overwritable =
        kind == kKindDvdPlusRw || kind == kKindDvdRam || kind == kKindDvdRwRestricted;
    if (Writes(burner, kind) && (overwritable || burner.DiscStatus() != 2)) return true;
  }
  burner.SelectDevice("");
  if (!readOnly.empty()) std::fprintf(stderr, "melvaro-cli: %s\n", readOnly.c_str());
  if (!inUse.empty()) {
    status = JobFailed(std::string(msg::kDriveInUse) + " (" + inUse + ")");
    return false;
  }
  BadInput(use == TDriveUse::kWrite ? "no drive holds a writable medium"
                                    : "no drive holds a medium");
  return false;
}

}  // namespace

}  // namespace melvaro::cli
