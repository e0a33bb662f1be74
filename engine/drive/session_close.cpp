// Closing the session an interrupted burn left open, so that the disc can be read and,
// when the medium allows it, appended to.
#include "drive/messages.h"
#include "drive/scsi_device.h"

namespace melvaro {

namespace {

bool Closable(uint8_t kind) {
  switch (kind) {
    case kKindCdR:
    case kKindCdRw:
    case kKindDvdR:
    case kKindDvdRw:
    case kKindDvdRwSequential:
    case kKindDvdPlusR:
    case kKindDvdPlusRDl:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool TSCSIDevice::CloseUnfinishedSession() {
  const uint8_t kind = MediumKind();
  if (!UnfinishedSession()) {
    lastErrorText_ = std::string(msg::kNoUnfinishedSession);
    return false;
  }
  if (!Closable(kind)) {
    lastErrorText_ = std::string(msg::kSessionNotClosable);
    return false;
  }
  const uint8_t first = unfinishedTrack_, last = discInformation_[6];
  // Closed so that a further session may follow.
  const bool finalize = FinalizeDisc;
  FinalizeDisc = false;
  SetWriteParameters(false, UnderrunProtection, false, kind);
  FinalizeDisc = finalize;
  WaitForReady(10000, 500);
  RefreshDiscInformation();
  bool trackClosed = true;
  std::string trackError;
  for (int track = first; track <= last; ++track) {
    if (!ReadTrackInformation(static_cast<uint8_t>(track))) continue;
    if (OpenTrack(trackInfo_) && !CloseTrackSession(false, 1, 0, 0, static_cast<uint8_t>(track))) {
      trackClosed = false;
      trackError = lastErrorText_;
    }
    WaitForReady(240000, 1000);
  }
  WaitForReady(240000, 1000);
  const bool sessionClosed = CloseTrackSession(false, 2, 0, 0, 0);
  const std::string sessionError = lastErrorText_;
  WaitForReady(240000, 1000);
  if (UnfinishedSession()) {
    lastErrorText_ = std::string(msg::kSessionNotClosable) + " [" +
                     (!trackClosed     ? trackError
                      : !sessionClosed ? sessionError
                                       : "") +
                     "]";
    return false;
  }
  return true;
}

}  // namespace melvaro
