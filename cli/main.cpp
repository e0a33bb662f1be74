// melvaro-cli: the engine's jobs from the command line.
#include <cstdio>
#include <string>
#include <vector>

#include "audio/file_info_text.h"
#include "burner/disc_burner.h"
#include "commands.h"

using namespace melvaro;

namespace melvaro::cli {

namespace {

const char* kUsage =
    "usage: melvaro-cli [--drive ID] [--transport auto|pass-through|library] [--library FILE]\n"
    "                   [--debug] [--progress] COMMAND [OPTIONS] [ARGS]\n\n"
    "  devices                 the drives, one entry per line\n"
    "  info                    the drive, its capabilities and speeds, the medium and disc\n"
    "  build-iso -o IMAGE [--label TEXT] [--no-joliet] [--boot FILE] [--cached] PATH...\n"
    "  burn [--label TEXT] [--speed max|KBPS] [--test-write] [--close-disc]\n"
    "       [--leave-track-open] [--opc] [--no-underrun-protection] [--import last|N]\n"
    "       [--boot FILE] [--no-joliet] [--verify] [--eject] PATH...\n"
    "  burn-iso [--verify] [--eject] IMAGE\n"
    "  erase [--full]\n"
    "  close-session           closes the session an interrupted burn left unfinished\n"
    "  eject [--load]          opens the tray (with --load closes it)\n"
    "  ls [--session N|last]   the tree of a recorded session\n"
    "  extract [--session N|last] DISC-PATH DEST\n"
    "  audio-info FILE         the MPEG and ID3 information of an MP3 file\n\n"
    "A PATH that is a file goes to the disc's root; a folder becomes a disc folder of its\n"
    "name with its whole contents. --drive takes a devices entry, its H:T:L prefix or a\n"
    "zero-based index; without it the first drive holding a writable medium is used.\n"
    "Exit status: 0 done, 1 the job failed, 2 bad usage or input.\n";

}  // namespace

int Usage() {
  std::fputs(kUsage, stderr);
  return kBadInput;
}

int AudioInfo(const std::vector<std::string>& args, const TGlobalOptions&) {
  if (args.size() != 1) return Usage();
  audio::TAudioInfo info;
  try {
    info.Load(args[0]);
  } catch (const std::exception& e) {
    return BadInput(
        std::string("An error occurs when try to load the information of the MP3 file (") +
        e.what() + ")");
  }
  const auto text = audio::DescribeMp3(info);
  std::printf(
      "File: %s\nDuration: %s\nVersion: %s\nFlags: %s\nParameters: %s\nInternal: %s\n"
      "Tag: %s\n",
      args[0].c_str(), text.duration.c_str(), text.version.c_str(), text.flags.c_str(),
      text.parameters.c_str(), text.internal.c_str(), text.tagStatus.c_str());
  const auto& tag = info.Tag();
  if (tag.Found())
    std::printf(
        "Title: %s\nArtist: %s\nAlbum: %s\nYear: %s\nComment: %s\nTrack: %d\n"
        "Genre: %s (%d)\n",
        tag.Title().c_str(), tag.Artist().c_str(), tag.Album().c_str(), tag.Year().c_str(),
        tag.Comment().c_str(), tag.Track(), std::string(tag.GenreText()).c_str(), tag.Genre());
  return kDone;
}

int Devices(const std::vector<std::string>& args, const TGlobalOptions& options) {
  if (!args.empty()) return Usage();
  TDiscBurner burner;
  ReportMessages(burner, options.debug);
  if (!SelectDrive(burner, options)) return kBadInput;
  for (const std::string& entry : burner.DeviceList()) std::printf("%s\n", entry.c_str());
  PrintNodeNotes(burner);
  return kDone;
}

}  // namespace melvaro::cli

int main(int argc, char** argv) {
  using namespace melvaro::cli;
  TGlobalOptions options;
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
    else if (a == "-h" || a == "--help") {
      Usage();
      return kDone;
    } else {
      return Usage();
    }
  }
  if (options.transport != "auto" && options.transport != "pass-through" &&
      options.transport != "library")
    return Usage();
  if (i >= argc) return Usage();
  const std::string command = argv[i];
  const std::vector<std::string> args(argv + i + 1, argv + argc);
  struct {
    const char* name;
    int (*run)(const std::vector<std::string>&, const TGlobalOptions&);
  } commands[] = {{"devices", Devices},
                  {"info", Info},
                  {"build-iso", BuildIso},
                  {"burn", Burn},
                  {"burn-iso", BurnIso},
                  {"erase", Erase},
                  {"close-session", CloseSession},
                  {"eject", Eject},
                  {"ls", Ls},
                  {"extract", Extract},
                  {"audio-info", AudioInfo}};
  for (const auto& c : commands)
    if (command == c.name) return c.run(args, options);
  return Usage();
}
