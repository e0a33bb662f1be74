// One job per drive across processes: claiming the current drive before a job that
// writes, erases or formats, and telling a reading job that another program holds it.
#include "drive/messages.h"
#include "drive/scsi_device.h"
#include "drive/sg_kernel.h"

namespace melvaro {

// The device node of a pass-through drive; empty for a plug-in's drive.
std::string TSCSIDevice::ClaimNodePath() {
  if (!transport_.IsSpti() || haId_ == kNoDrive) return {};
  const int position = transport_.Spti().PositionOf(haId_, targetId_, lun_);
  if (position < TSptiLayer::kFirstPosition) return {};
  return OpticalNodePath(position - TSptiLayer::kFirstPosition);
}

bool TSCSIDevice::ClaimDrive() {
  if (claimed_) return true;
  if (haId_ == kNoDrive) {
    lastErrorText_ = std::string(msg::kInvalidDeviceId);
    return false;
  }
  const std::string node = ClaimNodePath();
  if (!node.empty()) {
    TDeviceClaim::TResult result;
    nodeClaim_ = TDeviceClaim::ClaimNode(node, result);
    if (result == TDeviceClaim::TResult::InUse) {
      lastErrorText_ = std::string(msg::kDriveInUse);
      return false;
    }
    // A node that cannot be opened exclusively for another reason (permissions) is
    // left to the commands, which report it themselves.
    claimed_ = true;
    return true;
  }
  // A unit attention pending after a disc change answers the first command: ask again.
  bool reserved = Run(cdb::Reserve6(), nullptr);
  if (!reserved && (lastSense_[2] & 0x0F) == 0x06) reserved = Run(cdb::Reserve6(), nullptr);
  if (reserved) {
    reserved_ = claimed_ = true;
    return true;
  }
  if (DriveInUse()) return false;
  // A plug-in without reservations: nothing more can be done to keep others out.
  claimed_ = true;
  return true;
}

void TSCSIDevice::ReleaseDrive() {
  if (!claimed_) return;
  if (reserved_) {
    // The release keeps the last failure of the job.
    const std::string error = lastErrorText_;
    const auto sense = lastSense_;
    Run(cdb::Release6(), nullptr);
    lastErrorText_ = error;
    lastSense_ = sense;
  }
  nodeClaim_.reset();
  reserved_ = claimed_ = false;
}

bool TSCSIDevice::DriveInUse() {
  if (lastErrorText_ == msg::kDriveInUse || lastErrorText_ == msg::kTargetReservationConflict) {
    lastErrorText_ = std::string(msg::kDriveInUse);
    return true;
  }
  if (claimed_ || haId_ == kNoDrive) return false;
  const std::string node = ClaimNodePath();
  if (node.empty()) return false;
  if (!TDeviceClaim::Claimed(node)) return false;
  lastErrorText_ = std::string(msg::kDriveInUse);
  return true;
}

}  // namespace melvaro
