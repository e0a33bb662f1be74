#include "drive_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/program_folder.h"

namespace melvaro::vrec {

namespace {

constexpr uint64_t kDataBlock = 2048;
constexpr uint64_t kAudioBlock = 2352;

bool SysFail(std::string* error, const std::string& what, const std::string& path) {
  if (error) *error = what + " " + path + ": " + std::strerror(errno);
  return false;
}

bool AllZero(const uint8_t* p, size_t n) {
  return n == 0 || (p[0] == 0 && std::memcmp(p, p + 1, n - 1) == 0);
}

}  // namespace

TDriveStore::TDriveStore(std::string folder, int index)
    : base_(JoinPath(folder, "drive" + std::to_string(index))) {}

TDriveStore::~TDriveStore() {
  CloseFiles();
}

void TDriveStore::CloseFiles() {
  if (dataFd_ >= 0) close(dataFd_);
  if (audioFd_ >= 0) close(audioFd_);
  dataFd_ = audioFd_ = -1;
}

TDriveStore::TStamp TDriveStore::StampOf(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return TStamp();
  return TStamp{st.st_ino, int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec,
                st.st_size};
}

bool TDriveStore::Refresh(std::string* error) {
  bool ok = true;
  const TStamp state = StampOf(StatePath());
  if (!(state == stateStamp_)) {
    stateStamp_ = state;
    CloseFiles();
    medium_.reset();
    trayOpen_ = false;
    if (state.size >= 0) {
      const auto text = ReadWholeFile(StatePath());
      if (!text) {
        ok = SysFail(error, "cannot read", StatePath());
      } else {
        // First line: the tray; the rest, when present, the medium.
        const size_t nl = text->find('\n');
        const std::string first = text->substr(0, nl);
        const std::string rest = nl == std::string::npos ? "" : text->substr(nl + 1);
        if (first != "tray open" && first != "tray closed") {
          ok = false;
          if (error) *error = StatePath() + ": not a virtual drive state file";
        } else {
          trayOpen_ = first == "tray open";
          if (rest.find_first_not_of(" \n") != std::string::npos) {
            std::string why;
            medium_ = TMedium::Parse(rest, &why);
            if (!medium_) {
              ok = false;
              if (error) *error = StatePath() + ": " + why;
            }
          }
        }
      }
    }
  }
  const TStamp faults = StampOf(FaultsPath());
  if (!(faults == faultsStamp_)) {
    faultsStamp_ = faults;
    faults_ = TFaults();
    if (faults.size >= 0) {
      const auto text = ReadWholeFile(FaultsPath());
      std::string why;
      if (!text || !faults_.ApplyAll(*text, &why)) {
        faults_ = TFaults();
        ok = false;
        if (error) *error = FaultsPath() + ": " + (text ? why : std::strerror(errno));
      }
    }
  }
  return ok;
}

bool TDriveStore::SaveState(std::string* error) {
  std::string text = trayOpen_ ? "tray open\n" : "tray closed\n";
  if (medium_) text += medium_->Serialize();
  if (!WriteFileAtomically(StatePath(), text, false, error)) return false;
  stateStamp_ = StampOf(StatePath());
  return true;
}

bool TDriveStore::SaveFaults(std::string* error) {
  if (!WriteFileAtomically(FaultsPath(), faults_.Serialize() + "\n", false, error)) return false;
  faultsStamp_ = StampOf(FaultsPath());
  return true;
}

bool TDriveStore::InsertMedium(const TMedium& medium, const std::string& imagePath,
                               std::string* error) {
  // The new data file is built beside the old one and renamed over it, so a failed
  // copy leaves the drive as it was.
  const std::string temp = DataPath() + ".new";
  const int out = open(temp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) return SysFail(error, "cannot create", temp);
  bool ok = true;
  if (!imagePath.empty()) {
    const int in = open(imagePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
      ok = SysFail(error, "cannot open", imagePath);
    } else {
      std::vector<uint8_t> buffer(1 << 20);
      off_t offset = 0;
      for (;;) {
        const ssize_t n = read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
          ok = SysFail(error, "cannot read", imagePath);
          break;
        }
        if (n == 0) break;
        // Zero runs stay holes.
        for (ssize_t at = 0; at < n; at += kDataBlock) {
          const size_t len = std::min<size_t>(kDataBlock, static_cast<size_t>(n - at));
          if (AllZero(buffer.data() + at, len)) continue;
          if (pwrite(out, buffer.data() + at, len, offset + at) != static_cast<ssize_t>(len)) {
            ok = SysFail(error, "cannot write", temp);
            break;
          }
        }
        if (!ok) break;
        offset += n;
      }
      close(in);
      if (ok && ftruncate(out, offset) != 0) ok = SysFail(error, "cannot write", temp);
    }
  }
  close(out);
  if (ok && rename(temp.c_str(), DataPath().c_str()) != 0)
    ok = SysFail(error, "cannot replace", DataPath());
  if (!ok) {
    unlink(temp.c_str());
    return false;
  }
  CloseFiles();
  unlink(AudioPath().c_str());
  medium_ = medium;
  trayOpen_ = false;
  return SaveState(error);
}

bool TDriveStore::RemoveMedium(std::string* error) {
  CloseFiles();
  medium_.reset();
  trayOpen_ = false;
  unlink(DataPath().c_str());
  unlink(AudioPath().c_str());
  return SaveState(error);
}

bool TDriveStore::Read(int& fd, const std::string& path, uint64_t offset, size_t length,
                       uint8_t* out, std::string* error) {
  if (fd < 0) fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return SysFail(error, "cannot open", path);
  size_t done = 0;
  while (done < length) {
    const ssize_t n = pread(fd, out + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return SysFail(error, "cannot read", path);
    if (n == 0) break;  // past the end: never written
    done += static_cast<size_t>(n);
  }
  std::memset(out + done, 0, length - done);
  return true;
}

bool TDriveStore::Write(int& fd, const std::string& path, uint64_t offset, size_t length,
                        const uint8_t* in, std::string* error) {
  if (fd < 0) fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return SysFail(error, "cannot open", path);
  if (AllZero(in, length)) {
    // Zeros need no space: past the end they read back as zeros anyway; inside the file
    // they become a hole.
    struct stat st;
    if (fstat(fd, &st) == 0 && static_cast<uint64_t>(st.st_size) <= offset) return true;
    if (fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset),
                  static_cast<off_t>(length)) == 0)
      return true;
  }
  size_t done = 0;
  while (done < length) {
    const ssize_t n = pwrite(fd, in + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return SysFail(error, "cannot write", path);
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool TDriveStore::ReadData(uint32_t block, uint32_t count, uint8_t* out, std::string* error) {
  return Read(dataFd_, DataPath(), block * kDataBlock, count * kDataBlock, out, error);
}
bool TDriveStore::WriteData(uint32_t block, uint32_t count, const uint8_t* in, std::string* error) {
  return Write(dataFd_, DataPath(), block * kDataBlock, count * kDataBlock, in, error);
}
bool TDriveStore::ReadAudio(uint32_t block, uint32_t count, uint8_t* out, std::string* error) {
  return Read(audioFd_, AudioPath(), block * kAudioBlock, count * kAudioBlock, out, error);
}
bool TDriveStore::WriteAudio(uint32_t block, uint32_t count, const uint8_t* in,
                             std::string* error) {
  return Write(audioFd_, AudioPath(), block * kAudioBlock, count * kAudioBlock, in, error);
}

bool TDriveStore::ClearData(std::string* error) {
  for (auto [fd, path] : {std::pair{&dataFd_, DataPath()}, std::pair{&audioFd_, AudioPath()}}) {
    if (*fd < 0) *fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (*fd < 0 || ftruncate(*fd, 0) != 0) return SysFail(error, "cannot clear", path);
  }
  return true;
}

}  // namespace melvaro::vrec
