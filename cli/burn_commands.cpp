// build-iso, burn and burn-iso, with the checks before a job and the verification after.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "burner/disc_burner.h"
#include "commands.h"
#include "compilation_input.h"
#include "printable.h"

namespace melvaro::cli {

namespace {

struct TJobOptions {
  std::string label = "MELVARO", boot, output, import;
  uint16_t speed = 0;  // kB/s, 0 = the drive's maximum
  bool joliet = true, cached = false, testWrite = false, closeDisc = false, leaveOpen = false;
  bool opc = false, underrun = true, eject = false, verify = false;
  std::vector<std::string> paths;
};

bool Parse(const std::vector<std::string>& args, TJobOptions& o) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool value = i + 1 < args.size();
    if (a == "-o" && value)
      o.output = args[++i];
    else if (a == "--label" && value)
      o.label = args[++i];
    else if (a == "--boot" && value)
      o.boot = args[++i];
    else if (a == "--import" && value)
      o.import = args[++i];
    else if (a == "--speed" && value) {
      const std::string v = args[++i];
      if (v == "max")
        o.speed = 0;
      else if (!v.empty() && v.size() <= 5 &&
               v.find_first_not_of("0123456789") == std::string::npos && std::stoi(v) <= 65535)
        o.speed = static_cast<uint16_t>(std::stoi(v));
      else
        return false;
    } else if (a == "--no-joliet")
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
    else if (a == "--verify")
      o.verify = true;
    else if (!a.empty() && a[0] == '-')
      return false;
    else
      o.paths.push_back(a);
  }
  if (!o.import.empty() && o.import != "last" &&
      (o.import.find_first_not_of("0123456789") != std::string::npos || o.import.size() > 3))
    return false;
  return true;
}

// kDone, or the exit status with the message printed: kBadInput for a path or boot
// image that cannot be used, kJobFailed naming every file the compilation had to leave
// out (nothing is written then).
int Compile(TDiscBurner& burner, const TJobOptions& o) {
  burner.ClearCompilation(600000, 20000);
  burner.IdVolume = o.label;
  burner.JolietFileSystem = o.joliet;
  burner.BootImagePath = o.boot;
  burner.BootImageEnabled = !o.boot.empty();
  if (!o.boot.empty() && access(o.boot.c_str(), R_OK) != 0)
    return BadInput("cannot read the boot image " + o.boot);
  std::string error;
  if (!AddPaths(burner, o.paths, &error)) return BadInput(error);
  for (const auto& file : burner.LeftOut())
    JobFailed(Printable("not added to the disc: " + file.path + " (" + file.reason + ")"));
  return burner.LeftOut().empty() ? kDone : kJobFailed;
}

void Eject(TDiscBurner& burner) {
  burner.SynchronizeCache(300000, false);
  burner.AllowMediumRemoval(true);
  burner.EjectMedium(true);
}

// Set when a verify stopped at a block that cannot be read rather than one that differs.
bool unreadable = false;

// "verify: block N differs" or "... cannot be read", on standard error.
void ReportDifference(uint32_t block) {
  std::fprintf(stderr, "verify: block %u %s\n", block, unreadable ? "cannot be read" : "differs");
}

// Compares `blocks` disc blocks from `block` with `expected` (zeros past its end).
bool SameBlocks(TDiscBurner& burner, uint32_t block, uint32_t blocks, const uint8_t* expected,
                size_t expectedBytes, uint32_t& differs) {
  std::vector<uint8_t> disc(32 * 2048), want(32 * 2048);
  size_t offset = 0;
  for (uint32_t at = 0; at < blocks; at += 32) {
    const uint32_t n = std::min<uint32_t>(32, blocks - at);
    const size_t bytes = size_t{n} * 2048;
    std::fill(want.begin(), want.end(), 0);
    if (offset < expectedBytes)
      std::memcpy(want.data(), expected + offset, std::min(bytes, expectedBytes - offset));
    if (!burner.ReadSectors(block + at, static_cast<uint16_t>(n), static_cast<uint32_t>(bytes),
                            disc.data())) {
      // The block that cannot be read, not the first of the read.
      differs = block + at;
      for (uint32_t b = 0; b < n; ++b)
        if (!burner.ReadSectors(block + at + b, 1, 2048, disc.data())) {
          differs = block + at + b;
          break;
        }
      unreadable = true;
      return false;
    }
    for (uint32_t b = 0; b < n; ++b)
      if (std::memcmp(disc.data() + size_t{b} * 2048, want.data() + size_t{b} * 2048, 2048) != 0) {
        differs = block + at + b;
        return false;
      }
    offset += bytes;
  }
  return true;
}

// A file that cannot be read, or gives fewer than `length` bytes, is not verified:
// false with `unreadable` set.
bool SameAsFile(TDiscBurner& burner, uint32_t block, const std::string& path, int64_t length,
                uint32_t& differs, bool& unreadable) {
  std::vector<uint8_t> data(static_cast<size_t>(std::min<int64_t>(length, 64 << 20)));
  unreadable = false;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    unreadable = true;
    return false;
  }
  int64_t done = 0;
  bool same = true;
  while (same && done < length) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(data.size(), length - done));
    size_t got = 0;
    while (got < n) {
      const ssize_t r = pread(fd, data.data() + got, n - got, static_cast<off_t>(done + got));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      got += static_cast<size_t>(r);
    }
    if (got < n) {
      unreadable = true;
      same = false;
      break;
    }
    same = SameBlocks(burner, block + static_cast<uint32_t>(done / 2048),
                      static_cast<uint32_t>((n + 2047) / 2048), data.data(), n, differs);
    done += static_cast<int64_t>(n);
  }
  close(fd);
  return same;
}

int NotVerified(const std::string& path) {
  std::fprintf(stderr, "verify: cannot read %s: not verified\n", path.c_str());
  return kJobFailed;
}

// Reads the written session back: the header, the boot image, the padding and every new
// file's blocks.
int VerifySession(TDiscBurner& burner) {
  uint32_t differs = 0;
  bool unreadable = false;
  const auto& header = burner.HeaderStream();
  uint32_t block = burner.StartBlock;
  bool same = SameBlocks(burner, block, static_cast<uint32_t>(header.size() / 2048), header.data(),
                         header.size(), differs);
  block += static_cast<uint32_t>(header.size() / 2048);
  if (same && burner.BootImageEnabled) {
    same = SameAsFile(burner, block, burner.BootImagePath, int64_t{burner.BootImageBlocks} * 2048,
                      differs, unreadable);
    if (unreadable) return NotVerified(burner.BootImagePath);
    block += burner.BootImageBlocks;
  }
  if (same && burner.PadBlocks > 0)
    same = SameBlocks(burner, block, static_cast<uint32_t>(burner.PadBlocks), nullptr, 0, differs);
  for (const auto& f : burner.Files()) {
    if (!same) break;
    if (f->IsDirectory() || f->Imported || f->IsoLength == 0) continue;
    same = SameAsFile(burner, burner.FirstFileBlock + f->IsoLocation, f->SourcePath, f->IsoLength,
                      differs, unreadable);
    if (unreadable) return NotVerified(f->SourcePath);
  }
  if (!same) {
    ReportDifference(differs);
    return kJobFailed;
  }
  std::printf("verify: OK\n");
  return kDone;
}

}  // namespace

int BuildIso(const std::vector<std::string>& args, const TGlobalOptions& options) {
  TJobOptions o;
  if (!Parse(args, o) || o.output.empty() || o.paths.empty()) return Usage();
  TDiscBurner burner;  // no drive: the transport stays down
  ReportMessages(burner, options.debug);
  if (const int status = Compile(burner, o); status != kDone) return status;
  burner.LayoutImage(true);
  std::string error;
  try {
    error = RunJob(
        burner, [&] { return burner.BuildImage(o.output, !o.cached) != 0; }, options);
  } catch (const std::exception& e) {
    return JobFailed(e.what());
  }
  if (!error.empty()) return JobFailed(error);
  std::printf("%s: %lld blocks\n", o.output.c_str(), static_cast<long long>(burner.ImageBlocks()));
  return kDone;
}

int Burn(const std::vector<std::string>& args, const TGlobalOptions& options) {
  TJobOptions o;
  if (!Parse(args, o) || o.paths.empty() || !o.output.empty() || o.cached) return Usage();
  TDiscBurner burner;
  ReportMessages(burner, options.debug);
  if (const int status = Compile(burner, o); status != kDone) return status;
  int status = kDone;
  if (!OpenDrive(burner, options, TDriveUse::kWrite, status)) return status;
  std::string error;
  const uint8_t kind = burner.MediumKind();
  if (kind == kKindCdRom || kind == kKindDvdRom || kind == kKindUnknown)
    return BadInput("the medium in " + burner.DeviceName() + " cannot be written");
  if (burner.DiscStatus() == 2 && kind != kKindDvdPlusRw && kind != kKindDvdRam &&
      kind != kKindDvdRwRestricted)
    return BadInput("the disc is closed: no further session can be added");
  burner.TestWrite = o.testWrite;
  burner.FinalizeDisc = o.closeDisc;
  burner.FinalizeTrack = !o.leaveOpen;
  burner.PerformOPC = o.opc;
  burner.UnderrunProtection = o.underrun;
  if (o.speed) burner.SetWriteSpeed(o.speed);
  if (!o.import.empty())
    burner.ImportSessionNumber =
        o.import == "last" ? 255 : static_cast<uint16_t>(std::stoi(o.import));
  // The plan for the disc, to check the space before anything is written.
  burner.BurnPreparing = true;
  burner.LayoutImage(false);
  burner.BurnPreparing = false;
  if (!burner.UnreadDirectories.empty()) {
    for (const std::string& dir : burner.UnreadDirectories)
      std::fprintf(stderr, "error: the directory %s cannot be read from the disc\n", dir.c_str());
    return JobFailed("the earlier session cannot be imported whole");
  }
  const uint32_t capacity = burner.DiscCapacity();
  if (capacity > 0 && burner.VolumeEnd > capacity)
    return BadInput("not enough free space: the session ends at block " +
                    std::to_string(burner.VolumeEnd) + ", the disc holds " +
                    std::to_string(capacity));
  error = RunJob(
      burner, [&] { return burner.BurnCompilation(); }, options);
  if (!error.empty()) return JobFailed(error);
  std::printf("burnt %lld blocks from block %u on %s\n",
              static_cast<long long>(burner.ImageBlockCount), burner.StartBlock,
              burner.DeviceName().c_str());
  if (o.verify && !o.testWrite) status = VerifySession(burner);
  if (o.eject) Eject(burner);
  return status;
}

int BurnIso(const std::vector<std::string>& args, const TGlobalOptions& options) {
  TJobOptions o;
  if (!Parse(args, o) || o.paths.size() != 1 || !o.output.empty()) return Usage();
  const std::string image = o.paths[0];
  if (access(image.c_str(), R_OK) != 0) return BadInput("cannot read " + image);
  TDiscBurner burner;
  ReportMessages(burner, options.debug);
  int status = kDone;
  if (!OpenDrive(burner, options, TDriveUse::kWrite, status)) return status;
  if (o.speed) burner.SetWriteSpeed(o.speed);
  const std::string error = RunJob(
      burner, [&] { return burner.BurnImage(image); }, options);
  if (!error.empty()) return JobFailed(error);
  std::printf("burnt %lld blocks on %s\n", static_cast<long long>(burner.ImageBlockCount),
              burner.DeviceName().c_str());
  if (o.verify) {
    uint32_t differs = 0;
    bool unreadable = false;
    // The image as it was burnt: a file of another size since is not what was burnt.
    struct stat st;
    if (stat(image.c_str(), &st) != 0 || (st.st_size + 2047) / 2048 != burner.ImageBlockCount) {
      status = NotVerified(image);
    } else if (SameAsFile(burner, 0, image, st.st_size, differs, unreadable)) {
      std::printf("verify: OK\n");
    } else if (unreadable) {
      status = NotVerified(image);
    } else {
      ReportDifference(differs);
      status = kJobFailed;
    }
  }
  if (o.eject) Eject(burner);
  return status;
}

}  // namespace melvaro::cli
