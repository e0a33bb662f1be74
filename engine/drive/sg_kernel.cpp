// The pass-through seam on the real kernel: /dev/srN nodes, SG_IO and
// SCSI_IOCTL_GET_IDLUN. It only moves bytes; the SPTI layer interprets them.
#include "sg_kernel.h"

#include <fcntl.h>
#include <scsi/scsi.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

namespace melvaro {

std::string OpticalNodePath(int node) {
  return "/dev/sr" + std::to_string(node);
}

namespace {

class TLinuxSgKernel final : public TSgKernel {
 public:
  int NodeDeviceType(int node) override {
    struct stat st {};
    if (stat(OpticalNodePath(node).c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return -1;
    std::ifstream type("/sys/class/block/sr" + std::to_string(node) + "/device/type");
    int value = -1;
    if (type >> value) return value;
    return 5;  // an sr node is a CD/DVD device even where sysfs does not say so
  }
  int Open(const std::string& path, bool readWrite) override {
    // O_NONBLOCK lets the node open without a medium in the tray.
    return open(path.c_str(), (readWrite ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
  }
  void Close(int fd) override { close(fd); }
  int SgIo(int fd, sg_io_hdr_t& hdr) override {
    int r;
    do r = ioctl(fd, SG_IO, &hdr);
    while (r < 0 && errno == EINTR);
    return r < 0 ? -1 : 0;
  }
  bool GetAddress(int fd, TScsiAddress& address) override {
    struct {
      uint32_t dev_id;
      uint32_t host_unique_id;
    } idlun{};
    if (ioctl(fd, SCSI_IOCTL_GET_IDLUN, &idlun) != 0) return false;
    address.target = idlun.dev_id & 0xFF;
    address.lun = (idlun.dev_id >> 8) & 0xFF;
    address.channel = (idlun.dev_id >> 16) & 0xFF;
    address.host = (idlun.dev_id >> 24) & 0xFF;
    return true;
  }
};

}  // namespace

std::unique_ptr<TSgKernel> MakeLinuxSgKernel() {
  return std::make_unique<TLinuxSgKernel>();
}

}  // namespace melvaro
