// melvaro-cli: the engine's jobs from the command line.
//
// The command line is read here, in one grammar for every command (CLI11): global options
// before the command, the command's own options and operands after it, "--name VALUE"
// or "--name=VALUE", "--" before operands that begin with "-". Every command has its own
// --help, and an error names the option or operand at fault. A command's handler gets its
// arguments back in one plain form: the options given, then the operands.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>
#include <vector>

#include "audio/file_info_text.h"
#include "burner/disc_burner.h"
#include "commands.h"

using namespace melvaro;

namespace melvaro::cli {

namespace {

using THandler = int (*)(const std::vector<std::string>&, const TGlobalOptions&);

// A command as the parser knows it: its options with the spelling its handler reads, and
// its operands.
struct TCommand {
  CLI::App* app = nullptr;
  THandler run = nullptr;
  std::string operands;  // for the usage line
  struct TGiven {
    CLI::Option* option;
    std::string spelling;
    bool value;
  };
  std::vector<TGiven> options;
  std::vector<CLI::Option*> operandOptions;

  TCommand& Flag(const std::string& names, const std::string& spelling, const std::string& help) {
    options.push_back({app->add_flag(names, help), spelling, false});
    return *this;
  }
  // An option with a value; given more than once, the last one counts.
  TCommand& Value(const std::string& names, const std::string& spelling, const std::string& type,
                  const std::string& help, const CLI::Validator* check = nullptr) {
    CLI::Option* o = app->add_option(names, help)
                         ->type_name(type)
                         ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    if (check) o->check(*check);
    options.push_back({o, spelling, true});
    return *this;
  }
  TCommand& Required() {
    options.back().option->required();
    return *this;
  }
  TCommand& Operands(const std::string& name, int count, const std::string& help) {
    CLI::Option* o = app->add_option(name, help)->required();
    if (count < 0)
      o->expected(CLI::detail::expected_max_vector_size);  // one or more, all taken
    else
      o->expected(count);
    operandOptions.push_back(o);
    operands += (operands.empty() ? "" : " ") + name + (count < 0 ? "..." : "");
    return *this;
  }

  std::vector<std::string> Arguments() const {
    std::vector<std::string> args;
    for (const TGiven& o : options) {
      if (o.option->count() == 0 || (!o.value && !o.option->as<bool>())) continue;
      args.push_back(o.spelling);
      if (o.value) args.push_back(o.option->results().back());
    }
    for (const CLI::Option* o : operandOptions)
      for (const std::string& value : o->results()) args.push_back(value);
    return args;
  }
};

// "max" or a speed in kB/s.
const CLI::Validator kSpeed(
    [](std::string& v) -> std::string {
      if (v == "max") return "";
      if (!v.empty() && v.size() <= 5 && v.find_first_not_of("0123456789") == std::string::npos &&
          std::stoi(v) <= 65535)
        return "";
      return "'" + v + "' is neither max nor a speed in kB/s up to 65535";
    },
    "", "speed");

// "last" or a session number.
CLI::Validator SessionCheck(bool zeroAllowed) {
  return CLI::Validator(
      [zeroAllowed](std::string& v) -> std::string {
        if (v == "last") return "";
        if (!v.empty() && v.size() <= 3 && v.find_first_not_of("0123456789") == std::string::npos &&
            (zeroAllowed || std::stoi(v) > 0))
          return "";
        return "'" + v + "' is neither last nor a session number";
      },
      "", "session");
}

const CLI::Validator kImportSession = SessionCheck(true);
const CLI::Validator kSession = SessionCheck(false);

const char* kPaths =
    "A PATH that is a file goes to the disc's root; a folder becomes a disc folder of its\n"
    "name with its whole contents.";
const char* kFooter =
    "--drive takes a devices entry, its H:T:L prefix or a zero-based index; without it the\n"
    "first drive holding a writable medium is used.\n"
    "'melvaro-cli COMMAND --help' tells a command's options.\n"
    "Exit status: 0 done, 1 the job failed, 2 bad usage or input.";

// The first operand of the command line, where the command should have been.
std::string FirstOperand(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--drive" || a == "--transport" || a == "--library")
      ++i;
    else if (a.empty() || a[0] != '-')
      return a;
  }
  return "";
}

}  // namespace

int Usage() {
  std::fputs(
      "usage: melvaro-cli [--drive ID] [--transport auto|pass-through|library] [--library FILE]\n"
      "                   [--debug] [--progress] COMMAND [OPTIONS] [ARGS]\n"
      "'melvaro-cli --help' lists the commands, 'melvaro-cli COMMAND --help' tells one.\n",
      stderr);
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
  CLI::App app("melvaro-cli: data discs, images and erasing on CD and DVD recorders",
               "melvaro-cli");
  app.footer(kFooter);
  app.require_subcommand(1);
  app.add_option("--drive", options.drive, "the drive: a devices entry, its H:T:L or an index")
      ->type_name("ID");
  app.add_option("--transport", options.transport, "how drives are reached (default auto)")
      ->type_name("auto|pass-through|library")
      ->check(CLI::IsMember({"auto", "pass-through", "library"}).description(""));
  app.add_option("--library", options.library, "the drive plug-in to load")->type_name("FILE");
  app.add_flag("--debug", options.debug, "every debug line of the engine on standard error");
  app.add_flag("--progress", options.progress, "progress as one plain line per second");

  std::vector<TCommand> commands;
  auto command = [&](const char* name, const char* help, THandler run) -> TCommand& {
    TCommand c;
    c.app = app.add_subcommand(name, help);
    c.app->footer("");
    c.run = run;
    commands.push_back(std::move(c));
    return commands.back();
  };
  auto imageOptions = [](TCommand& c) {
    c.Value("--label", "--label", "TEXT", "the volume label (default MELVARO)")
        .Flag("--no-joliet", "--no-joliet", "ISO 9660 names only, without the Joliet tree")
        .Value("--boot", "--boot", "FILE", "an El Torito boot image");
  };
  commands.reserve(16);  // the references below stay valid

  command("devices", "the drives, one entry per line", Devices);
  command("info", "the drive, its capabilities and speeds, the medium and disc", Info);
  {
    TCommand& c = command("build-iso", "build an image file from files and folders", BuildIso);
    c.Value("-o,--output", "-o", "IMAGE", "the image file to write").Required();
    imageOptions(c);
    c.Flag("--cached", "--cached", "write through the read-ahead cache and the write thread")
        .Operands("PATH", -1, "files and folders for the image");
    c.app->footer(kPaths);
  }
  {
    TCommand& c = command("burn", "burn files and folders as a data session", Burn);
    imageOptions(c);
    c.Value("--speed", "--speed", "max|KBPS", "the write speed (default the drive's)", &kSpeed)
        .Flag("--test-write", "--test-write", "simulate: the laser stays off")
        .Flag("--close-disc", "--close-disc", "close the disc: no session can follow")
        .Flag("--leave-track-open", "--leave-track-open", "do not close the track")
        .Flag("--opc", "--opc", "power calibration before writing")
        .Flag("--no-underrun-protection", "--no-underrun-protection",
              "switch the drive's buffer underrun protection off")
        .Value("--import", "--import", "last|N",
               "carry the files of an earlier session into the new one", &kImportSession)
        .Flag("--verify", "--verify", "read the session back and compare it")
        .Flag("--eject", "--eject", "eject the disc at the end")
        .Operands("PATH", -1, "files and folders for the session");
    c.app->footer(kPaths);
  }
  {
    TCommand& c = command("burn-iso", "burn an image file", BurnIso);
    c.Value("--speed", "--speed", "max|KBPS", "the write speed (default the drive's)", &kSpeed)
        .Flag("--verify", "--verify", "read the disc back and compare it with the image")
        .Flag("--eject", "--eject", "eject the disc at the end")
        .Operands("IMAGE", 1, "the image file");
  }
  command("erase", "erase a rewritable disc", Erase)
      .Flag("--full", "--full", "erase the whole disc rather than quickly");
  command("close-session", "close the session an interrupted burn left unfinished", CloseSession);
  command("eject", "open the tray", Eject).Flag("--load", "--load", "close the tray instead");
  command("ls", "the tree of a recorded session", Ls)
      .Value("--session", "--session", "N|last", "the session (default the last)", &kSession);
  command("extract", "copy a file off a recorded session", Extract)
      .Value("--session", "--session", "N|last", "the session (default the last)", &kSession)
      .Operands("DISC-PATH", 1, "the file on the disc, as \\folder\\name")
      .Operands("DEST", 1, "where to write it");
  command("audio-info", "the MPEG and ID3 information of an MP3 file", AudioInfo)
      .Operands("FILE", 1, "the MP3 file");

  const TCommand* run = nullptr;
  std::vector<std::string> args;
  try {
    app.parse(argc, argv);
    for (const TCommand& c : commands)
      if (c.app->parsed()) {
        args = c.Arguments();  // a flag's value is converted here
        run = &c;
      }
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    const auto chosen = app.get_subcommands();
    const TCommand* c = nullptr;
    for (const TCommand& each : commands)
      if (!chosen.empty() && each.app == chosen.front()) c = &each;
    if (c) {
      std::fprintf(stderr,
                   "melvaro-cli %s: %s\nusage: melvaro-cli [GLOBAL OPTIONS] %s [OPTIONS]%s%s\n"
                   "'melvaro-cli %s --help' tells the options.\n",
                   c->app->get_name().c_str(), e.what(), c->app->get_name().c_str(),
                   c->operands.empty() ? "" : " ", c->operands.c_str(), c->app->get_name().c_str());
      return kBadInput;
    }
    const std::string operand = FirstOperand(argc, argv);
    if (chosen.empty() && !operand.empty())
      std::fprintf(stderr, "melvaro-cli: no command %s\n", operand.c_str());
    else
      std::fprintf(stderr, "melvaro-cli: %s\n", e.what());
    return Usage();
  }
  return run ? run->run(args, options) : Usage();
}
