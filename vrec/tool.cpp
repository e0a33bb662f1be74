// melvaro-vrec: loads, ejects, inspects and dumps the media of the virtual recorder,
// and switches its faults.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "drive_config.h"
#include "drive_store.h"
#include "platform/atomic_file.h"
#include "platform/program_folder.h"
#include "recorder.h"
#include "wav_writer.h"

namespace {

using namespace melvaro;
using namespace melvaro::vrec;

const char* kUsage =
    "usage: melvaro-vrec COMMAND [OPTIONS]\n"
    "  init [--realistic]                write the default drives.ini (when there is none)\n"
    "                                    and empty drives; --realistic: drive timing as a\n"
    "                                    real recorder's, for demonstrations\n"
    "  drives                            list the drives\n"
    "  load --drive N --medium KIND      KIND: cd-r cd-rw dvd-r dvd-rw dvd-rw-ro dvd+r\n"
    "                                    dvd+r-dl dvd+rw dvd-ram cd-rom:FILE dvd-rom:FILE\n"
    "  eject --drive N                   take the medium out\n"
    "  status --drive N                  medium, disc state, sessions and tracks\n"
    "  dump --drive N -o FILE            the user data area as 2048-byte blocks\n"
    "  export-audio --drive N -o DIR     the audio tracks as WAV files\n"
    "  fault --drive N NAME[=VALUE]...   no-medium unit-attention busy=K medium-error-at=LBA\n"
    "                                    write-error-at=LBA write-protect refuse-blank\n"
    "                                    corrupt-read=LBA flush-error close-error[=F]\n"
    "                                    refuse-write-parameters gone gone-at=LBA clear\n"
    "The folder is MELVARO_VREC, else the program folder's vrec.\n";

int Fail(const std::string& message) {
  std::cerr << "melvaro-vrec: " << message << "\n";
  return 1;
}

struct TArgs {
  std::string command;
  std::map<std::string, std::string> options;
  std::vector<std::string> rest;
};

bool Parse(int argc, char** argv, TArgs& args, std::string& error) {
  if (argc < 2) return error = "no command", false;
  args.command = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--drive" || a == "--medium" || a == "-o") {
      if (i + 1 >= argc) return error = a + " needs a value", false;
      args.options[a] = argv[++i];
    } else if (a == "--realistic") {
      args.options[a] = "yes";
    } else if (a.rfind("--", 0) == 0) {
      return error = "unknown option " + a, false;
    } else {
      args.rest.push_back(a);
    }
  }
  return true;
}

bool DriveIndex(const TArgs& args, size_t count, size_t& index, std::string& error) {
  auto it = args.options.find("--drive");
  if (it == args.options.end()) return error = "--drive N is needed", false;
  char* end = nullptr;
  const unsigned long n = std::strtoul(it->second.c_str(), &end, 10);
  if (it->second.empty() || *end || n >= count)
    return error = "no drive " + it->second + " (drives 0 to " + std::to_string(count - 1) + ")",
           false;
  index = n;
  return true;
}

std::string StateName(uint8_t status) {
  static const char* names[] = {"empty", "incomplete", "complete", "other"};
  return names[status & 3];
}

std::string SessionStateName(uint8_t state) {
  static const char* names[] = {"empty", "incomplete", "damaged", "complete"};
  return names[state & 3];
}

int Status(const TDriveConfig& config, TDriveStore& store, size_t index) {
  std::cout << "drive " << index << ": " << config.vendor << " " << config.product << " "
            << config.revision << "\n";
  const TMedium* m = store.Medium();
  if (!m) {
    std::cout << "medium: none\n";
    return 0;
  }
  std::cout << "medium: " << m->Info().name << " (" << m->Info().display << ")"
            << (store.TrayOpen() ? ", tray open" : "") << "\n";
  std::cout << "disc: " << StateName(m->DiscStatus()) << ", last session "
            << SessionStateName(m->LastSessionState())
            << (m->IsOverwrite() ? (m->formatted ? ", formatted" : ", unformatted") : "") << "\n";
  std::cout << "capacity: " << m->capacity << " blocks, recorded " << m->RecordedBlocks() << "\n";
  if (m->IsOverwrite()) {
    if (m->formatted)
      std::cout << "session 1: start 0, size " << m->capacity << ", closed\n"
                << "  track 1: start 0, size " << m->capacity << ", mode data, next writable "
                << m->recordedEnd << "\n";
    return 0;
  }
  int number = 0;
  for (size_t s = 0; s < m->sessions.size(); ++s) {
    const TSession& session = m->sessions[s];
    const uint32_t start = session.tracks.empty() ? 0 : session.tracks.front().start;
    uint32_t end = start;
    for (const TTrack& t : session.tracks) end = std::max(end, t.End());
    std::cout << "session " << s + 1 << ": start " << start << ", size " << end - start << ", "
              << (session.closed ? "closed" : "open") << "\n";
    for (const TTrack& t : session.tracks) {
      ++number;
      std::cout << "  track " << number << ": start " << t.start << ", size " << t.Size()
                << ", mode " << (t.audio ? "audio" : "data") << ", next writable ";
      if (t.closed || m->complete || t.Full())
        std::cout << "none";
      else
        std::cout << t.NextWritable();
      if (t.reserved) std::cout << ", reserved";
      std::cout << "\n";
    }
  }
  if (const auto next = m->InvisibleTrackStart())
    std::cout << "next track: start " << *next << ", free " << m->capacity - *next << "\n";
  return 0;
}

// Copies blocks [0, blocks) of the data file, keeping zero blocks as holes; written to
// a temporary file renamed over FILE at the end.
int Dump(TDriveStore& store, const std::string& file) {
  const TMedium* m = store.Medium();
  if (!m) return Fail("no medium in the drive");
  const uint32_t blocks = m->RecordedBlocks();
  const std::string temp = file + ".part";
  const int out = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) return Fail("cannot create " + temp + ": " + std::strerror(errno));
  std::vector<uint8_t> chunk(32 * 2048);
  std::string error;
  bool ok = true;
  for (uint32_t at = 0; at < blocks && ok; at += 32) {
    const uint32_t n = std::min<uint32_t>(32, blocks - at);
    if (!store.ReadData(at, n, chunk.data(), &error)) {
      ok = false;
      break;
    }
    for (uint32_t i = 0; i < n; ++i) {
      const uint8_t* b = chunk.data() + size_t{i} * 2048;
      bool zero = true;
      for (size_t k = 0; k < 2048 && zero; ++k) zero = b[k] == 0;
      if (zero) continue;
      if (pwrite(out, b, 2048, off_t{at + i} * 2048) != 2048) {
        error = "cannot write " + temp + ": " + std::strerror(errno);
        ok = false;
        break;
      }
    }
  }
  if (ok && ftruncate(out, off_t{blocks} * 2048) != 0) {
    error = "cannot write " + temp + ": " + std::strerror(errno);
    ok = false;
  }
  if (close(out) != 0 && ok) {
    error = "cannot write " + temp + ": " + std::strerror(errno);
    ok = false;
  }
  if (ok && rename(temp.c_str(), file.c_str()) != 0) {
    error = "cannot replace " + file + ": " + std::strerror(errno);
    ok = false;
  }
  if (!ok) {
    unlink(temp.c_str());
    return Fail(error);
  }
  std::cout << "dumped " << blocks << " blocks to " << file << "\n";
  return 0;
}

int ExportAudio(TDriveStore& store, const std::string& folder) {
  const TMedium* m = store.Medium();
  if (!m) return Fail("no medium in the drive");
  if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST)
    return Fail("cannot create " + folder + ": " + std::strerror(errno));
  int number = 0, exported = 0;
  std::vector<uint8_t> sectors(27 * 2352);
  std::string error;
  for (const TSession& s : m->sessions)
    for (const TTrack& t : s.tracks) {
      ++number;
      if (!t.audio || !t.recorded) continue;
      char name[32];
      std::snprintf(name, sizeof name, "track%02d.wav", number);
      const std::string path = JoinPath(folder, name);
      const std::string temp = path + ".part";
      FILE* out = std::fopen(temp.c_str(), "wb");
      if (!out) return Fail("cannot create " + temp + ": " + std::strerror(errno));
      const auto header = CdWaveHeader(t.recorded * 2352);
      bool ok = std::fwrite(header.data(), 1, header.size(), out) == header.size();
      for (uint32_t at = 0; at < t.recorded && ok; at += 27) {
        const uint32_t n = std::min<uint32_t>(27, t.recorded - at);
        ok = store.ReadAudio(t.start + at, n, sectors.data(), &error) &&
             std::fwrite(sectors.data(), 1, size_t{n} * 2352, out) == size_t{n} * 2352;
      }
      ok = std::fclose(out) == 0 && ok;
      if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        return Fail("cannot write " + path + (error.empty() ? "" : ": " + error));
      }
      std::cout << path << "\n";
      ++exported;
    }
  if (!exported) std::cout << "no audio tracks\n";
  return 0;
}

int Load(TDriveStore& store, const std::string& spec) {
  const size_t colon = spec.find(':');
  const std::string name = spec.substr(0, colon);
  const auto kind = KindByName(name);
  if (!kind) return Fail("unknown medium " + spec);
  const bool pressed = KindInfo(*kind).recording == TRecording::Pressed;
  std::string error;
  if (pressed) {
    if (colon == std::string::npos || colon + 1 == spec.size())
      return Fail(name + " needs an image: " + name + ":FILE");
    const std::string image = spec.substr(colon + 1);
    struct stat st;
    if (stat(image.c_str(), &st) != 0)
      return Fail("cannot open " + image + ": " + std::strerror(errno));
    if (st.st_size == 0 || st.st_size % 2048 != 0)
      return Fail(image + " is not a whole number of 2048-byte blocks");
    const uint64_t blocks = st.st_size / 2048;
    const uint64_t limit = *kind == TMediumKind::CdRom ? 405000 : 4173824;
    if (blocks > limit) return Fail(image + " does not fit on a " + KindInfo(*kind).display);
    if (!store.InsertMedium(TMedium::Pressed(*kind, static_cast<uint32_t>(blocks)), image, &error))
      return Fail(error);
  } else {
    if (colon != std::string::npos) return Fail(name + " takes no image");
    if (!store.InsertMedium(TMedium::Blank(*kind), "", &error)) return Fail(error);
  }
  // A load arms a pending unit attention.
  if (store.Faults().unitAttention == TUnitAttention::Armed) {
    store.Faults().unitAttention = TUnitAttention::Pending;
    if (!store.SaveFaults(&error)) return Fail(error);
  }
  std::cout << "loaded " << KindInfo(*kind).display << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  TArgs args;
  std::string error;
  if (argc >= 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "help")) {
    std::cout << kUsage;
    return 0;
  }
  if (!Parse(argc, argv, args, error)) return Fail(error + "\n" + kUsage);
  const std::string folder = VrecFolder();
  if (args.command == "init" && args.options.count("--realistic")) {
    // Written before InitFolder would write the fast defaults; an existing drives.ini
    // is kept either way.
    struct stat st;
    const std::string ini = JoinPath(folder, "drives.ini");
    if (stat(ini.c_str(), &st) != 0) {
      if (!InitFolder(folder, &error)) return Fail(error);
      if (!WriteFileAtomically(ini, FormatDrivesIni(RealisticDrives()), true, &error))
        return Fail(error);
    }
  }
  if (!InitFolder(folder, &error)) return Fail(error);
  const auto configs = LoadDriveConfigs(folder, &error);
  if (!configs) return Fail(error);
  if (configs->empty()) return Fail("drives.ini lists no drives");

  if (args.command == "init" || args.command == "drives") {
    for (size_t i = 0; i < configs->size(); ++i) {
      TDriveStore store(folder, static_cast<int>(i));
      if (!store.Refresh(&error)) return Fail(error);
      struct stat st;
      if (args.command == "init" && stat(store.StatePath().c_str(), &st) != 0 &&
          !store.SaveState(&error))
        return Fail(error);
      const TDriveConfig& c = (*configs)[i];
      std::cout << i << ": " << c.vendor << " " << c.product << " " << c.revision << ", medium "
                << (store.Medium() ? store.Medium()->Info().name : "none") << "\n";
    }
    if (args.command == "init") std::cout << "folder " << folder << "\n";
    return 0;
  }

  size_t index = 0;
  if (!DriveIndex(args, configs->size(), index, error)) return Fail(error);
  TDriveStore store(folder, static_cast<int>(index));
  if (!store.Refresh(&error) && args.command != "eject" && args.command != "load")
    return Fail(error);

  if (args.command == "load") {
    auto it = args.options.find("--medium");
    if (it == args.options.end()) return Fail("--medium KIND is needed");
    return Load(store, it->second);
  }
  if (args.command == "eject") {
    if (!store.RemoveMedium(&error)) return Fail(error);
    std::cout << "ejected\n";
    return 0;
  }
  if (args.command == "status") return Status((*configs)[index], store, index);
  if (args.command == "dump" || args.command == "export-audio") {
    auto it = args.options.find("-o");
    if (it == args.options.end()) return Fail("-o is needed");
    return args.command == "dump" ? Dump(store, it->second) : ExportAudio(store, it->second);
  }
  if (args.command == "fault") {
    if (args.rest.empty()) {
      const std::string now = store.Faults().Serialize();
      std::cout << (now.empty() ? "no faults" : now) << "\n";
      return 0;
    }
    for (const std::string& f : args.rest)
      if (!store.Faults().Apply(f, &error)) return Fail(error);
    if (!store.SaveFaults(&error)) return Fail(error);
    const std::string now = store.Faults().Serialize();
    std::cout << (now.empty() ? "no faults" : now) << "\n";
    return 0;
  }
  return Fail("unknown command " + args.command + "\n" + kUsage);
}
