// melvaro-cli: the engine's jobs from the command line.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audio/file_info_text.h"
#include "burner/disc_burner.h"
#include "compilation_input.h"
#include "options.h"

using namespace melvaro;

namespace {

const char* kUsage =
    "usage: melvaro-cli [--drive ID] [--transport auto|pass-through|library] [--library FILE]\n"
    "                   [--debug] [--progress] COMMAND [OPTIONS] [ARGS]\n\n"
    "  devices           the drives the transport finds, one per line\n"
    "  build-iso -o IMAGE [--label TEXT] [--no-joliet] [--boot FILE] [--cached] PATH...\n"
    "                    an ISO 9660 + Joliet image of files and folders\n"
    "  burn [--label TEXT] [--test-write] [--close-disc] [--leave-track-open] [--opc]\n"
    "       [--no-underrun-protection] [--boot FILE] [--no-joliet] [--eject] PATH...\n"
    "                    a data disc (a new session) of files and folders\n"
    "  burn-iso [--eject] IMAGE\n"
    "                    an image file, block for block from block 0\n"
    "  audio-info FILE   the MPEG and ID3 information of an MP3 file\n"
    "A PATH that is a file goes to the disc's root; a folder becomes a disc folder of its\n"
    "name. --drive takes a devices entry, its H:T:L prefix or a zero-based index; without\n"
    "it the first drive holding a writable medium is used.\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "melvaro-cli: %s\n", message.c_str());
  return 1;
}

void Report(TDiscBurner& burner, bool debug) {
  burner.OnDebugMessage = [debug](TSCSIDevice*, const std::string& message, uint8_t type) {
    // Type 0 and 3 to 4 are errors and limits; the rest only with --debug.
    if (debug || type == 0 || type >= 3) std::fprintf(stderr, "%s\n", message.c_str());
  };
}

// The MPEG and ID3v1 information of an MP3 file, as the file information dialog shows it.
int AudioInfo(const std::string& path) {
  audio::TAudioInfo info;
  try {
    info.Load(path);
  } catch (const std::exception& e) {
    return Fail(std::string("An error occurs when try to load the information of the MP3 file (") +
                e.what() + ")");
  }
  const auto text = audio::DescribeMp3(info);
  std::printf(
      "File: %s\nDuration: %s\nVersion: %s\nFlags: %s\nParameters: %s\nInternal: %s\n"
      "Tag: %s\n",
      path.c_str(), text.duration.c_str(), text.version.c_str(), text.flags.c_str(),
      text.parameters.c_str(), text.internal.c_str(), text.tagStatus.c_str());
  const auto& tag = info.Tag();
  if (tag.Found())
    std::printf(
        "Title: %s\nArtist: %s\nAlbum: %s\nYear: %s\nComment: %s\nTrack: %d\n"
        "Genre: %s (%d)\n",
        tag.Title().c_str(), tag.Artist().c_str(), tag.Album().c_str(), tag.Year().c_str(),
        tag.Comment().c_str(), tag.Track(), std::string(tag.GenreText()).c_str(), tag.Genre());
  return 0;
}

int Devices(const cli::TGlobalOptions& options) {
  TDiscBurner burner;
  Report(burner, options.debug);
  burner.DoDebug = options.debug;
  if (!burner.InitializeASPI(options.transport != "library", options.library))
    return Fail("no drive can be reached (no pass-through drive and no drive plug-in)");
  if (options.transport == "pass-through" && !burner.Transport().IsSpti())
    return Fail("no pass-through drive found");
  for (const std::string& entry : burner.DeviceList()) std::printf("%s\n", entry.c_str());
  return 0;
}

struct TImageOptions {
  std::string label, boot, output;
  bool joliet = true, cached = false, testWrite = false, closeDisc = false, leaveOpen = false;
  bool opc = false, underrun = true, eject = false;
  std::vector<std::string> paths;
};

bool ParseImageOptions(const std::vector<std::string>& args, TImageOptions& o) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool value = i + 1 < args.size();
    if (a == "-o" && value)
      o.output = args[++i];
    else if (a == "--label" && value)
      o.label = args[++i];
    else if (a == "--boot" && value)
      o.boot = args[++i];
    else if (a == "--no-joliet")
      o.joliet = false;
    else if (a == "--cached")
      o.cached = true;
    else if (a == "--test-write")
      o.testWrite = true;
    else if (a == "--close-disc")
      o.closeDisc = true;
    else if (a == "--leave-track-open")
      o.leaveOpen = true;
    else if (a == "--opc")
      o.opc = true;
    else if (a == "--no-underrun-protection")
      o.underrun = false;
    else if (a == "--eject")
      o.eject = true;
    else if (!a.empty() && a[0] == '-')
      return false;
    else
      o.paths.push_back(a);
  }
  return true;
}

bool Compile(TDiscBurner& burner, const TImageOptions& o, std::string& error) {
  burner.ClearCompilation(600000, 20000);
  burner.IdVolume = o.label;
  burner.JolietFileSystem = o.joliet;
  burner.BootImagePath = o.boot;
  burner.BootImageEnabled = !o.boot.empty();
  return cli::AddPaths(burner, o.paths, &error);
}

void Eject(TDiscBurner& burner) {
  burner.SynchronizeCache(300000, false);
  burner.AllowMediumRemoval(true);
  burner.EjectMedium(true);
}

int BuildIso(const std::vector<std::string>& args, const cli::TGlobalOptions& options) {
  TImageOptions o;
  if (!ParseImageOptions(args, o) || o.output.empty() || o.paths.empty()) return Usage();
  TDiscBurner burner;  // no drive: the transport stays down
  Report(burner, options.debug);
  std::string error;
  if (!Compile(burner, o, error)) return Fail(error);
  burner.LayoutImage(true);
  try {
    error = cli::RunJob(
        burner,
        [&] {
          // The direct build has reported through OnWriteDone when it returns.
          return burner.BuildImage(o.output, !o.cached) != 0;
        },
        options);
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  if (!error.empty()) return Fail(error);
  std::printf("%s: %lld blocks\n", o.output.c_str(), static_cast<long long>(burner.ImageBlocks()));
  return 0;
}

int Burn(const std::vector<std::string>& args, const cli::TGlobalOptions& options) {
  TImageOptions o;
  if (!ParseImageOptions(args, o) || o.paths.empty() || !o.output.empty()) return Usage();
  TDiscBurner burner;
  Report(burner, options.debug);
  if (!cli::OpenDrive(burner, options)) return 1;
  std::string error;
  if (!Compile(burner, o, error)) return Fail(error);
  burner.TestWrite = o.testWrite;
  burner.FinalizeDisc = o.closeDisc;
  burner.FinalizeTrack = !o.leaveOpen;
  burner.PerformOPC = o.opc;
  burner.UnderrunProtection = o.underrun;
  burner.LayoutImage(false);
  error = cli::RunJob(
      burner, [&] { return burner.BurnCompilation(); }, options);
  if (!error.empty()) return Fail(error);
  std::printf("burnt %lld blocks from block %u on %s\n",
              static_cast<long long>(burner.ImageBlockCount), burner.StartBlock,
              burner.DeviceName().c_str());
  if (o.eject) Eject(burner);
  return 0;
}

int BurnIso(const std::vector<std::string>& args, const cli::TGlobalOptions& options) {
  std::string image;
  bool eject = false;
  for (const std::string& a : args) {
    if (a == "--eject")
      eject = true;
    else if (!a.empty() && a[0] == '-')
      return Usage();
    else if (image.empty())
      image = a;
    else
      return Usage();
  }
  if (image.empty()) return Usage();
  TDiscBurner burner;
  Report(burner, options.debug);
  if (!cli::OpenDrive(burner, options)) return 1;
  const std::string error = cli::RunJob(
      burner, [&] { return burner.BurnImage(image); }, options);
  if (!error.empty()) return Fail(error);
  std::printf("burnt %lld blocks on %s\n", static_cast<long long>(burner.ImageBlockCount),
              burner.DeviceName().c_str());
  if (eject) Eject(burner);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  cli::TGlobalOptions options;
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; ++i) {
    const std::string a = argv[i];
    const bool value = i + 1 < argc;
    if (a == "--drive" && value)
      options.drive = argv[++i];
    else if (a == "--transport" && value)
      options.transport = argv[++i];
    else if (a == "--library" && value)
      options.library = argv[++i];
    else if (a == "--debug")
      options.debug = true;
    else if (a == "--progress")
      options.progress = true;
    else if (a == "-h" || a == "--help")
      return std::fputs(kUsage, stdout), 0;
    else
      return Usage();
  }
  if (options.transport != "auto" && options.transport != "pass-through" &&
      options.transport != "library")
    return Usage();
  if (i >= argc) return Usage();
  const std::string command = argv[i];
  const std::vector<std::string> args(argv + i + 1, argv + argc);
  if (command == "devices") return args.empty() ? Devices(options) : Usage();
  if (command == "build-iso") return BuildIso(args, options);
  if (command == "burn") return Burn(args, options);
  if (command == "burn-iso") return BurnIso(args, options);
  if (command == "audio-info") return args.size() == 1 ? AudioInfo(args[0]) : Usage();
  return Usage();
}
