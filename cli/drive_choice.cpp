#include <cstdio>
#include <cstdlib>

#include "burner/disc_burner.h"
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

void ReportMessages(TDiscBurner& burner, bool debug) {
  burner.DoDebug = debug;
  burner.OnDebugMessage = [debug](TSCSIDevice*, const std::string& message, uint8_t type) {
    if (debug || type == 0 || type == 3 || type == 4)
      std::fprintf(stderr, "%s\n", Printable(message).c_str());
  };
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

bool OpenDrive(TDiscBurner& burner, const TGlobalOptions& options, bool needWritable) {
  if (!burner.InitializeASPI(options.transport != "library", options.library)) {
    BadInput("no drive can be reached (no pass-through drive and no drive plug-in)");
    return false;
  }
  if (options.transport == "pass-through" && !burner.Transport().IsSpti()) {
    BadInput("no pass-through drive found");
    return false;
  }
  const auto& list = burner.DeviceList();
  if (list.empty()) {
    BadInput("no CD or DVD drive found");
    return false;
  }
  if (!options.drive.empty()) {
    for (size_t i = 0; i < list.size(); ++i) {
      const bool index = options.drive.find_first_not_of("0123456789") == std::string::npos &&
                         std::strtoul(options.drive.c_str(), nullptr, 10) == i;
      if (list[i] == options.drive || list[i].rfind(options.drive + ",", 0) == 0 || index) {
        burner.SelectDevice(list[i]);
        if (burner.TestUnitReady(5000)) return true;
        BadInput("no medium in drive " + list[i]);
        return false;
      }
    }
    BadInput("no drive " + options.drive);
    return false;
  }
  for (const std::string& entry : list) {
    burner.SelectDevice(entry);
    if (!burner.TestUnitReady(5000)) continue;
    if (!needWritable) return true;
    const uint8_t kind = burner.MediumKind();
    const bool overwritable =
        kind == kKindDvdPlusRw || kind == kKindDvdRam || kind == kKindDvdRwRestricted;
    if (Writes(burner, kind) && (overwritable || burner.DiscStatus() != 2)) return true;
  }
  BadInput(needWritable ? "no drive holds a writable medium" : "no drive holds a medium");
  return false;
}

}  // namespace melvaro::cli
