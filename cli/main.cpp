// melvaro-cli: the engine's jobs from the command line.
#include <cstdio>
#include <cstring>
#include <string>

#include "audio/file_info_text.h"
#include "drive/scsi_device.h"

namespace {

int Usage() {
  std::fprintf(
      stderr,
      "usage: melvaro-cli [--transport auto|pass-through|library] [--library FILE] [--debug] "
      "COMMAND\n\n  devices          the drives the transport finds, one per line\n"
      "  audio-info FILE  the MPEG and ID3 information of an MP3 file\n");
  return 2;
}

}  // namespace

// The MPEG and ID3v1 information of an MP3 file, as the file information dialog shows it.
int AudioInfo(const std::string& path) {
  melvaro::audio::TAudioInfo info;
  try {
    info.Load(path);
  } catch (const std::exception& e) {
    std::fprintf(stderr,
                 "melvaro-cli: An error occurs when try to load the information of the "
                 "MP3 file (%s)\n",
                 e.what());
    return 1;
  }
  const auto text = melvaro::audio::DescribeMp3(info);
  std::printf(
      "File: %s\nDuration: %s\nVersion: %s\nFlags: %s\nParameters: %s\nInternal: %s\n"
      "Tag: %s\n",
      path.c_str(), text.duration.c_str(), text.version.c_str(), text.flags.c_str(),
      text.parameters.c_str(), text.internal.c_str(), text.tagStatus.c_str());
  const auto& tag = info.Tag();
  if (tag.Found()) {
    std::printf(
        "Title: %s\nArtist: %s\nAlbum: %s\nYear: %s\nComment: %s\nTrack: %d\n"
        "Genre: %s (%d)\n",
        tag.Title().c_str(), tag.Artist().c_str(), tag.Album().c_str(), tag.Year().c_str(),
        tag.Comment().c_str(), tag.Track(), std::string(tag.GenreText()).c_str(), tag.Genre());
  }
  return 0;
}

int main(int argc, char** argv) {
  std::string transport = "auto", library, command, argument;
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
    } else if (!command.empty() && argument.empty() && arg[0] != '-') {
      argument = arg;
    } else {
      return Usage();
    }
  }
  if (command == "audio-info" && !argument.empty()) return AudioInfo(argument);
  if (command != "devices" || !argument.empty() ||
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
