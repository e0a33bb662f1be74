// What is checked before a burn sends its first write: the drive held for the job, the
// image file sound, a valid next writable address, and room for the data on the medium.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "burner/disc_burner.h"
#include "drive/messages.h"
#include "platform/byte_order.h"

namespace melvaro {

namespace {

bool Overwritable(uint8_t kind) {
  return kind == kKindDvdPlusRw || kind == kKindDvdRam || kind == kKindDvdRwRestricted;
}

}  // namespace

bool TDiscBurner::ClaimForJob(std::string& error) {
  jobClaim_ = false;
  if (DriveClaimed()) return true;
  if (!ClaimDrive()) {
    error = DriveInUse() ? std::string(msg::kDriveInUse) : LastErrorText();
    return false;
  }
  jobClaim_ = true;
  return true;
}

bool TDiscBurner::Refuse(const std::string& error) {
  ReleaseJobClaim();
  if (OnWriteDone) OnWriteDone(this, error);
  return false;
}

void TDiscBurner::ReleaseJobClaim() {
  if (jobClaim_) ReleaseDrive();
  jobClaim_ = false;
}

std::string TDiscBurner::CheckImageFile(const std::string& fileName, int64_t& bytes) {
  bytes = 0;
  const int fd = open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0) {
    if (fd >= 0) close(fd);
    return msg::Format(msg::kCantOpenFile, fileName);
  }
  std::string error;
  if (!S_ISREG(st.st_mode)) {
    error = msg::Format(msg::kImageNotAFile, fileName);
  } else if (st.st_size == 0) {
    error = msg::Format(msg::kImageEmpty, fileName);
  } else {
    bytes = st.st_size;
    // An ISO 9660 image says how large it is in its primary volume descriptor.
    uint8_t pvd[2048];
    if (pread(fd, pvd, sizeof pvd, 16 * 2048) == static_cast<ssize_t>(sizeof pvd) && pvd[0] == 1 &&
        std::memcmp(pvd + 1, "CD001", 5) == 0) {
      const uint64_t blockSize = GetLe16(pvd + 128) ? GetLe16(pvd + 128) : 2048;
      const uint64_t volume = uint64_t{GetLe32(pvd + 80)} * blockSize;
      if (volume > static_cast<uint64_t>(st.st_size))
        error = msg::Format(msg::kImageTruncated, fileName, (volume + 2047) / 2048,
                            (st.st_size + 2047) / 2048);
    }
  }
  close(fd);
  return error;
}

std::string TDiscBurner::CheckRoom(int64_t blocks, bool fromBlockZero) {
  const uint8_t kind = MediumKind();
  const uint32_t room = fromBlockZero && Overwritable(kind) ? DiscCapacity() : FreeBlocks();
  if (room == 0 || blocks <= int64_t{room}) return {};
  DoDebugMessage(">>> " + msg::Format(msg::kImageTooLarge, DeviceName(), blocks, room), 0);
  return std::string(msg::kDiscSpaceNotEnough);
}

// A session an interrupted burn left open is closed first (close-session): data written
// into it would sit behind the interrupted burn's descriptors, where no reader looks.
std::string TDiscBurner::CheckNextWritable() {
  if (Overwritable(CurrentMediumKind)) return {};
  if (UnfinishedSession()) return std::string(msg::kUnfinishedSession);
  if (!NextWritableValid) return std::string(msg::kNoNextWritableAddress);
  return {};
}

// An image goes on from block 0: a sequential medium must be blank.
std::string TDiscBurner::CheckImageStart() {
  CurrentMediumKind = MediumKind();
  if (Overwritable(CurrentMediumKind)) return {};
  NextWritableAddress();
  if (std::string error = CheckNextWritable(); !error.empty()) return error;
  if (StartBlock != 0) return std::string(msg::kImageNeedsBlankDisc);
  return {};
}

}  // namespace melvaro
