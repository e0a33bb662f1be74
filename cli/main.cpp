// melvaro-cli: the engine's jobs from the command line.
#include <cstdio>
#include <cstring>
#include <string>

#include "drive/scsi_device.h"

namespace {

int Usage() {
  std::fprintf(
      stderr,
      "usage: melvaro-cli [--transport auto|pass-through|library] [--library FILE] [--debug] "
      "COMMAND\n\n  devices   the drives the transport finds, one per line\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string transport = "auto", library, command;
  bool debug = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--transport" && i + 1 < argc) {
      transport = argv[++i];
    } else if (arg == "--library" && i + 1 < argc) {
      library = argv[++i];
    } else if (arg == "--debug") {
      debug = true;
    } else if (arg == "-h" || arg == "--help") {
      return Usage(), 0;
    } else if (command.empty() && arg[0] != '-') {
      command = arg;
    } else {
      return Usage();
    }
  }
  if (command != "devices" ||
      (transport != "auto" && transport != "pass-through" && transport != "library")) {
    return Usage();
  }
  melvaro::TSCSIDevice drive;
  drive.DoDebug = debug;
  drive.OnDebugMessage = [](melvaro::TSCSIDevice*, const std::string& message, uint8_t) {
    std::fprintf(stderr, "%s\n", message.c_str());
  };
  if (!drive.InitializeASPI(transport != "library", library)) {
    std::fprintf(
        stderr,
        "melvaro-cli: no drive can be reached (no pass-through drive and no drive plug-in)\n");
    return 1;
  }
  if (transport == "pass-through" && !drive.Transport().IsSpti()) {
    std::fprintf(stderr, "melvaro-cli: no pass-through drive found\n");
    return 1;
  }
  for (const std::string& entry : drive.DeviceList()) std::printf("%s\n", entry.c_str());
  return 0;
}
