// The system calls of the pass-through layer, behind one seam so that tests can play
// the kernel's part (drives present or not, failing calls, check conditions).
#pragma once

#include <scsi/sg.h>

#include <memory>
#include <string>

namespace melvaro {

// The address the kernel gives a SCSI device (SCSI_IOCTL_GET_IDLUN).
struct TScsiAddress {
  uint8_t host = 0;     // the port (host adapter) number
  uint8_t channel = 0;  // the path id; not kept by the engine
  uint8_t target = 0;
  uint8_t lun = 0;
};

// Who may open a device node: its owner, group and mode, and whether the calling
// process belongs to that group.
struct TNodeOwner {
  bool known = false;   // false when the node could not be examined
  std::string user;     // the owner's name, or the number where the name is unknown
  std::string group;    // likewise for the group
  unsigned mode = 0;    // the permission bits
  bool member = false;  // the process's user is in the group (primary or supplementary)
};

class TSgKernel {
 public:
  virtual ~TSgKernel() = default;
  // Peripheral device type of /dev/srN as the kernel reports it; -1 when the node is absent.
  virtual int NodeDeviceType(int node) = 0;
  // open(2) of a device node, read-write or read-only: a descriptor, or -errno.
  virtual int Open(const std::string& path, bool readWrite) = 0;
  virtual void Close(int fd) = 0;
  // ioctl(fd, SG_IO, &hdr): 0 on success, -errno on failure.
  virtual int SgIo(int fd, sg_io_hdr_t& hdr) = 0;
  // SCSI_IOCTL_GET_IDLUN: true when the kernel answered.
  virtual bool GetAddress(int fd, TScsiAddress& address) = 0;
  virtual TNodeOwner NodeOwner(const std::string& path) = 0;
};

// The real kernel.
std::unique_ptr<TSgKernel> MakeLinuxSgKernel();

// "/dev/srN".
std::string OpticalNodePath(int node);

}  // namespace melvaro
