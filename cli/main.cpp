// melvaro-cli: the engine's jobs from the command line.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audio/file_info_text.h"
#include "burner/disc_burner.h"
#include "compilation_input.h"
#include "drive/scsi_device.h"

namespace {

int Usage() {
  std::fprintf(
      stderr,
      "usage: melvaro-cli [--transport auto|pass-through|library] [--library FILE] [--debug] "
      "COMMAND\n\n  devices          the drives the transport finds, one per line\n"
      "  audio-info FILE  the MPEG and ID3 information of an MP3 file\n"
      "  build-iso -o IMAGE [--label TEXT] [--no-joliet] [--boot FILE] PATH...\n"
      "                   an ISO 9660 + Joliet image of files and folders\n");
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

// build-iso: ClearCompilation, the paths, LayoutImage, BuildImage (direct).
int BuildIso(const std::vector<std::string>& args) {
  std::string image, label, boot;
  bool joliet = true;
  std::vector<std::string> paths;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o" && i + 1 < args.size())
      image = args[++i];
    else if (args[i] == "--label" && i + 1 < args.size())
      label = args[++i];
    else if (args[i] == "--boot" && i + 1 < args.size())
      boot = args[++i];
    else if (args[i] == "--no-joliet")
      joliet = false;
    else if (!args[i].empty() && args[i][0] == '-')
      return Usage();
    else
      paths.push_back(args[i]);
  }
  if (image.empty() || paths.empty()) return Usage();
  melvaro::TDiscBurner burner;  // no drive: the transport stays down
  burner.OnDebugMessage = [](melvaro::TSCSIDevice*, const std::string& message, uint8_t) {
    std::fprintf(stderr, "%s\n", message.c_str());
  };
  burner.ClearCompilation(600000, 20000);
  burner.IdVolume = label;
  burner.JolietFileSystem = joliet;
  burner.BootImagePath = boot;
  burner.BootImageEnabled = !boot.empty();
  std::string error;
  if (!melvaro::cli::AddPaths(burner, paths, &error)) {
    std::fprintf(stderr, "melvaro-cli: %s\n", error.c_str());
    return 1;
  }
  burner.LayoutImage(true);
  std::string jobError;
  burner.OnWriteDone = [&](melvaro::TDiscBurner*, const std::string& e) { jobError = e; };
  try {
    burner.BuildImage(image, true);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "melvaro-cli: %s\n", e.what());
    return 1;
  }
  if (!jobError.empty()) {
    std::fprintf(stderr, "melvaro-cli: %s\n", jobError.c_str());
    return 1;
  }
  std::printf("%s: %lld blocks\n", image.c_str(), static_cast<long long>(burner.ImageBlockCount));
  return 0;
}

int main(int argc, char** argv) {
  if (argc >= 2 && std::string(argv[1]) == "build-iso")
    return BuildIso(std::vector<std::string>(argv + 2, argv + argc));
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
