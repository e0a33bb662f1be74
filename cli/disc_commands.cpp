// info, ls, extract and erase: what is on the disc, and taking it off again.
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "burner/disc_burner.h"
#include "commands.h"
#include "compilation/session_start.h"
#include "platform/dispatcher.h"
#include "platform/file_dates.h"

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
  if (!OpenDrive(burner, options, false, false)) return kBadInput;
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
  // Sessions as the import finds them, also on drives that do not answer READ DISC
  // INFORMATION or READ TRACK INFORMATION.
  auto report = [&](const std::string& line) { burner.DoDebugMessage(line, 1); };
  TSessionStart last;
  const int sessions = FindSessionStart(burner, 255, last, report) != 0 ? last.session : 0;
  std::printf("sessions: %d\n", sessions);
  for (int s = 1; s <= sessions && s < 255; ++s) {
    TSessionStart at;
    if (FindSessionStart(burner, static_cast<uint8_t>(s), at, nullptr) <= 0) continue;
    uint32_t size = 0;
    if (burner.ReadTrackInformation(static_cast<uint8_t>(s))) {
      std::memcpy(&size, &burner.TrackInfo()[24], 4);
    } else if (uint32_t lastBlock, length;
               s == sessions && burner.ReadCapacity(lastBlock, length) && lastBlock >= at.block) {
      size = lastBlock - at.block + 1;  // the last session runs to the disc's last block
    }
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
  if (!OpenDrive(burner, options, false, false)) return kBadInput;
  burner.ClearCompilation(65535, 8191);
  if (!burner.ImportSession(session)) return JobFailed("no file system found in that session");
  std::function<void(const TDEntry*, const std::string&)> list = [&](const TDEntry* dir,
                                                                     const std::string& path) {
    for (const TFEntry* e = dir->FirstEntry; e; e = e->Next) {
      const std::string p = path + "\\" + e->LongName;
      if (e->IsDirectory()) {
        std::printf("%12s %s %s\\\n", "<DIR>", DateText(e->DateTime).c_str(), p.c_str());
        list(e->Directory, p);
      } else {
        std::printf("%12lld %s %s\n", static_cast<long long>(e->IsoLength),
                    DateText(e->DateTime).c_str(), p.c_str());
      }
    }
  };
  list(burner.RootDir(), "");
  return kDone;
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
  if (!OpenDrive(burner, options, false, false)) return kBadInput;
  burner.ClearCompilation(65535, 8191);
  if (!burner.ImportSession(session)) return JobFailed("no file system found in that session");
  std::string discPath = rest[0];
  if (discPath.empty() || discPath[0] != '\\') discPath = "\\" + discPath;
  const size_t slash = discPath.find_last_of('\\');
  const TDEntry* dir = burner.FindDirectory(slash == 0 ? "\\" : discPath.substr(0, slash));
  const TFEntry* entry = burner.FindEntry(dir, discPath.substr(slash + 1));
  if (!entry || entry->IsDirectory()) return BadInput("no file " + rest[0] + " on the disc");
  try {
    if (burner.ExtractFile(entry, rest[1]) != 1) return JobFailed("the file could not be read");
  } catch (const std::exception& e) {
    return BadInput(e.what());
  }
  std::printf("%s: %lld bytes\n", rest[1].c_str(), static_cast<long long>(entry->IsoLength));
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
  if (!OpenDrive(burner, options, false)) return kBadInput;
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
  if (!load) burner.AllowMediumRemoval(true);
  if (!burner.EjectMedium(!load))
    return JobFailed(std::string(load ? "the tray of " : "the disc in ") + burner.DeviceName() +
                     (load ? " did not close" : " was not ejected") + " (" +
                     burner.LastErrorText() + ")");
  std::printf("%s %s\n", load ? "loaded" : "ejected", burner.DeviceName().c_str());
  return kDone;
}

}  // namespace melvaro::cli
