// info, ls, extract and erase: what is on the disc, and taking it off again.
#include <array>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "burner/disc_burner.h"
#include "commands.h"
#include "compilation/session_start.h"
#include "drive/messages.h"
#include "platform/dispatcher.h"
#include "platform/file_dates.h"
#include "printable.h"

namespace melvaro::cli {

namespace {

const char* kDiscStates[] = {"empty", "incomplete", "complete", "other"};
const char* kSessionStates[] = {"empty", "incomplete", "damaged", "complete"};

std::string Flags(uint32_t caps, const std::vector<std::pair<uint32_t, const char*>>& names) {
  std::string out;
  for (const auto& [bit, name] : names)
    if (caps & bit) out += (out.empty() ? "" : " ") + std::string(name);
  return out.empty() ? "-" : out;
}

// After an import: the directories that could not be read are named, exit 1; so is a
// limit of the compilation reached (said once by the message sink).
int ImportStatus(TDiscBurner& burner) {
  for (const std::string& dir : burner.UnreadDirectories)
    std::fprintf(stderr, "error: the directory %s cannot be read from the disc\n", dir.c_str());
  if (!burner.UnreadDirectories.empty()) return kJobFailed;
  if (LimitReached()) {
    std::fprintf(stderr,
                 "error: the session holds more than the compilation can take; "
                 "not every entry is listed\n");
    return kJobFailed;
  }
  return kDone;
}

// "--session N|last": 255 for the last one.
bool SessionOption(const std::vector<std::string>& args, size_t& i, uint8_t& session) {
  if (args[i] != "--session" || i + 1 >= args.size()) return false;
  const std::string& v = args[++i];
  if (v == "last")
    session = 255;
  else if (!v.empty() && v.find_first_not_of("0123456789") == std::string::npos && v.size() < 4)
    session = static_cast<uint8_t>(std::min(255, std::stoi(v)));
  else
    return false;
  return session != 0;
}

struct TTrackExtent {
  uint32_t start = 0, size = 0;
  bool open = false;  // still being written (or left so by an interrupted burn)
};

// The blocks a track holds: for a closed track its size; for one still open the
// track's size counts every block left to it, so the recorded part is measured up to
// the next writable block (or the last recorded one).
TTrackExtent RecordedExtent(const std::array<uint8_t, 40>& info) {
  auto field = [&](size_t at) {
    uint32_t v;
    std::memcpy(&v, &info[at], 4);
    return v;
  };
  TTrackExtent t;
  t.start = field(8);
  t.size = field(24);
  const bool nwaValid = info[7] & 0x01, lraValid = info[7] & 0x02;
  const uint32_t free = field(16);
  t.open = nwaValid && free > 0;
  if (t.open) {
    const uint32_t nwa = field(12);
    if (nwa >= t.start) t.size = nwa - t.start;
  } else if (lraValid && field(28) >= t.start && field(28) - t.start + 1 < t.size &&
             (info[6] & 0x40) == 0 && free > 0) {
    t.size = field(28) - t.start + 1;
  }
  return t;
}

// The session an ls or extract reads: refused when it is the one an interrupted burn
// left unfinished, whose files were never all written.
bool ReadableSession(TDiscBurner& burner, uint8_t session) {
  if (!burner.UnfinishedSession()) return true;
  const int count = burner.SessionCount();
  return session != 255 && session < count;
}

std::string DateText(TDateTime value) {
  const TDateFields f = DecodeDateTime(value);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour,
                f.minute, f.second);
  return text;
}

}  // namespace

int Info(const std::vector<std::string>& args, const TGlobalOptions& options) {
  if (!args.empty()) return Usage();
  TDiscBurner burner;
  ReportMessages(burner, options.debug);
  int status = kDone;
  if (!OpenDrive(burner, options, TDriveUse::kRead, status)) return status;
  using D = TSCSIDevice;
  const uint32_t caps = burner.DeviceCapabilities();
  std::printf("drive: %s\n", burner.DeviceName().c_str());
  std::printf("identity: %s\n", burner.InquiryName().c_str());
  std::printf("reads: %s\n", Flags(caps, {{D::capReadCDR, "CD-R"},
                                          {D::capReadCDRW, "CD-RW"},
                                          {D::capReadDVDROM, "DVD-ROM"},
                                          {D::capReadDVDR, "DVD-R"},
                                          {D::capReadDVDRW, "DVD-RW"},
                                          {D::capReadDVDRAM, "DVD-RAM"},
                                          {D::capReadDVDPlusR, "DVD+R"},
                                          {D::capReadDVDPlusRW, "DVD+RW"},
                                          {D::capReadDVDPlusRDL, "DVD+R-DL"}})
                                 .c_str());
  std::printf("writes: %s\n", Flags(caps, {{D::capWriteCDR, "CD-R"},
                                           {D::capWriteCDRW, "CD-RW"},
                                           {D::capWriteDVDR, "DVD-R"},
                                           {D::capWriteDVDRW, "DVD-RW"},
                                           {D::capWriteDVDRAM, "DVD-RAM"},
                                           {D::capWriteDVDPlusR, "DVD+R"},
                                           {D::capWriteDVDPlusRW, "DVD+RW"},
                                           {D::capWriteDVDPlusRDL, "DVD+R-DL"},
                                           {D::capTestWrite, "test-write"},
                                           {D::capUnderrunProtection, "underrun-protection"}})
                                  .c_str());
  const uint8_t modes = burner.SupportedWriteModes();
  std::printf("write modes: %s%s%s\n", modes & 4 ? "TAO " : "", modes & 2 ? "SAO " : "",
              modes & 1 ? "raw" : "");
  std::printf("speeds: read %u kB/s, write %u kB/s, current write %u kB/s\n", burner.MaxReadSpeed(),
              burner.MaxWriteSpeed(), burner.CurrentWriteSpeed());
  TDisc disc;
  burner.GetDiscInfo(disc);
  const uint8_t kind = burner.MediumKind();
  std::printf("medium: %s (%s)\n", std::string(MediumKindNames[kind & 15]).c_str(),
              disc.MediumName.c_str());
  std::printf("disc: %s, last session %s, %s\n", kDiscStates[disc.DiscState & 3],
              kSessionStates[disc.LastSessionState & 3],
              disc.Erasable ? "erasable" : "not erasable");
  const bool unfinished = burner.UnfinishedSession();
  if (unfinished) std::printf("%s\n", std::string(msg::kUnfinishedSession).c_str());
  // Sessions as the import finds them, also on drives that do not answer READ DISC
  // INFORMATION or READ TRACK INFORMATION.
  auto report = [&](const std::string& line) { burner.DoDebugMessage(line, 1); };
  TSessionStart last;
  const int sessions = FindSessionStart(burner, 255, last, report) != 0 ? last.session : 0;
  std::printf("sessions: %d\n", sessions);
  for (int s = 1; s <= sessions && s < 255; ++s) {
    if (burner.ReadTrackInformation(static_cast<uint8_t>(s))) {
      const TTrackExtent track = RecordedExtent(burner.TrackInfo());
      std::printf("  session %d: start %u, size %u%s\n", s, track.start, track.size,
                  track.open ? " (unfinished)" : "");
      continue;
    }
    TSessionStart at;
    if (FindSessionStart(burner, static_cast<uint8_t>(s), at, nullptr) <= 0) continue;
    uint32_t size = 0;
    if (uint32_t lastBlock, length;
        s == sessions && burner.ReadCapacity(lastBlock, length) && lastBlock >= at.block)
      size = lastBlock - at.block + 1;  // the last session runs to the disc's last block
    std::printf("  session %d: start %u, size %u\n", s, at.block, size);
  }
  const uint32_t used = burner.UsedBlocks(), free = burner.FreeBlocks(),
                 capacity = burner.DiscCapacity();
  std::printf("blocks: used %u, free %u, capacity %u\n", used, free, capacity);
  return kDone;
}

int Ls(const std::vector<std::string>& args, const TGlobalOptions& options) {
  uint8_t session = 255;
  for (size_t i = 0; i < args.size(); ++i)
    if (!SessionOption(args, i, session)) return Usage();
  TDiscBurner burner;
  ReportMessages(burner, options.debug);
  int status = kDone;
  if (!OpenDrive(burner, options, TDriveUse::kRead, status)) return status;
  if (!ReadableSession(burner, session)) return JobFailed(std::string(msg::kUnfinishedSession));
  burner.ClearCompilation(600000, 20000);
  if (!burner.ImportSession(session)) return JobFailed("no file system found in that session");
  std::function<void(const TDEntry*, const std::string&)> list = [&](const TDEntry* dir,
                                                                     const std::string& path) {
    for (const TFEntry* e = dir->FirstEntry; e; e = e->Next) {
      const std::string p = path + "\\" + e->LongName;
      if (e->IsDirectory()) {
        std::printf("%12s %s %s\\\n", "<DIR>", DateText(e->DateTime).c_str(), Printable(p).c_str());
        list(e->Directory, p);
      } else {
        std::printf("%12lld %s %s\n", static_cast<long long>(e->IsoLength),
                    DateText(e->DateTime).c_str(), Printable(p).c_str());
      }
    }
  };
  list(burner.RootDir(), "");
  return ImportStatus(burner);
}

int Extract(const std::vector<std::string>& args, const TGlobalOptions& options) {
  uint8_t session = 255;
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--session") {
      if (!SessionOption(args, i, session)) return Usage();
    } else {
      rest.push_back(args[i]);
    }
  }
  if (rest.size() != 2) return Usage();
  TDiscBurner burner;
  ReportMessages(burner, options.debug);
  int status = kDone;
  if (!OpenDrive(burner, options, TDriveUse::kRead, status)) return status;
  if (!ReadableSession(burner, session)) return JobFailed(std::string(msg::kUnfinishedSession));
  burner.ClearCompilation(600000, 20000);
  if (!burner.ImportSession(session)) return JobFailed("no file system found in that session");
  std::string discPath = rest[0];
  if (discPath.empty() || discPath[0] != '\\') discPath = "\\" + discPath;
  const size_t slash = discPath.find_last_of('\\');
  const TDEntry* dir = burner.FindDirectory(slash == 0 ? "\\" : discPath.substr(0, slash));
  const TFEntry* entry = burner.FindEntry(dir, discPath.substr(slash + 1));
  if (!entry || entry->IsDirectory()) {
    // A file may be missing because its directory could not be read.
    if (const int status = ImportStatus(burner); status != kDone) return status;
    return BadInput("no file " + rest[0] + " on the disc");
  }
  try {
    if (burner.ExtractFile(entry, rest[1]) != 1)
      return JobFailed(burner.ReadFailureBlock
                           ? "the file could not be read: block " +
                                 std::to_string(*burner.ReadFailureBlock) + " cannot be read"
                           : "the file could not be written to " + rest[1]);
  } catch (const std::exception& e) {
    return BadInput(e.what());
  }
  std::printf("%s: %lld bytes\n", rest[1].c_str(), static_cast<long long>(entry->IsoLength));
  return kDone;
}

int CloseSession(const std::vector<std::string>& args, const TGlobalOptions& options) {
  if (!args.empty()) return Usage();
  TDiscBurner burner;
  ReportMessages(burner, options.debug);
  int status = kDone;
  if (!OpenDrive(burner, options, TDriveUse::kExclusive, status)) return status;
  if (!burner.UnfinishedSession()) return BadInput(std::string(msg::kNoUnfinishedSession));
  if (!burner.CloseUnfinishedSession()) return JobFailed(burner.LastErrorText());
  std::printf("closed the unfinished session on %s\n", burner.DeviceName().c_str());
  return kDone;
}

int Erase(const std::vector<std::string>& args, const TGlobalOptions& options) {
  bool full = false;
  for (const std::string& a : args) {
    if (a == "--full")
      full = true;
    else
      return Usage();
  }
  TDiscBurner burner;
  ReportMessages(burner, options.debug);
  int status = kDone;
  if (!OpenDrive(burner, options, TDriveUse::kExclusive, status)) return status;
  if (!burner.IsErasable()) return BadInput("the medium cannot be erased");
  TQueueDispatcher dispatcher;
  burner.Dispatcher = &dispatcher;
  bool done = false, failed = false;
  burner.OnEraseDone = [&](TSCSIDevice*, bool withError) {
    failed = withError;
    done = true;
  };
  if (!burner.StartErase(full ? 0 : 1))
    return JobFailed(done ? "the drive refused to erase the disc" : "the drive is not ready");
  while (!dispatcher.RunUntil([&] { return done; }, 1000))
    if (options.progress) std::fprintf(stderr, "progress: %d%%\n", burner.EraseProgress());
  if (failed) return JobFailed("the drive reports that the erase failed");
  std::printf("erased\n");
  return kDone;
}

}  // namespace melvaro::cli

namespace melvaro::cli {

int Eject(const std::vector<std::string>& args, const TGlobalOptions& options) {
  bool load = false;
  for (const std::string& a : args) {
    if (a == "--load")
      load = true;
    else
      return Usage();
  }
  TDiscBurner burner;
  ReportMessages(burner, options.debug);
  if (!SelectDrive(burner, options)) return kBadInput;
  if (options.drive.empty()) burner.SelectDevice(burner.DeviceList().front());
  if (burner.DriveInUse())  // never open the tray under another program's job
    return JobFailed(std::string(msg::kDriveInUse) + " (" + burner.DeviceName() + ")");
  if (!load) burner.AllowMediumRemoval(true);
  if (!burner.EjectMedium(!load))
    return JobFailed(std::string(load ? "the tray of " : "the disc in ") + burner.DeviceName() +
                     (load ? " did not close" : " was not ejected") + " (" +
                     burner.LastErrorText() + ")");
  std::printf("%s %s\n", load ? "loaded" : "ejected", burner.DeviceName().c_str());
  return kDone;
}

}  // namespace melvaro::cli
