// The pass-through seam on the real kernel: /dev/srN nodes, SG_IO and
// SCSI_IOCTL_GET_IDLUN. It only moves bytes; the SPTI layer interprets them.
#include "sg_kernel.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <scsi/scsi.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <vector>

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
    const int fd = open(path.c_str(), (readWrite ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
    return fd < 0 ? -errno : fd;
  }
  void Close(int fd) override { close(fd); }
  int SgIo(int fd, sg_io_hdr_t& hdr) override {
    int r;
    do r = ioctl(fd, SG_IO, &hdr);
    while (r < 0 && errno == EINTR);
    return r < 0 ? -errno : 0;
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
  TNodeOwner NodeOwner(const std::string& path) override {
    TNodeOwner owner;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return owner;
    owner.known = true;
    owner.mode = st.st_mode & 07777;
    std::vector<char> buffer(16384);
    struct passwd pw {};
    struct passwd* pwFound = nullptr;
    owner.user = getpwuid_r(st.st_uid, &pw, buffer.data(), buffer.size(), &pwFound) == 0 && pwFound
                     ? pw.pw_name
                     : std::to_string(st.st_uid);
    struct group gr {};
    struct group* grFound = nullptr;
    owner.group = getgrgid_r(st.st_gid, &gr, buffer.data(), buffer.size(), &grFound) == 0 && grFound
                      ? gr.gr_name
                      : std::to_string(st.st_gid);
    owner.member = getegid() == st.st_gid;
    const int count = getgroups(0, nullptr);
    if (count > 0) {
      std::vector<gid_t> groups(static_cast<size_t>(count));
      const int n = getgroups(count, groups.data());
      for (int i = 0; i < n; ++i) owner.member = owner.member || groups[i] == st.st_gid;
    }
    return owner;
  }
};

}  // namespace

std::unique_ptr<TSgKernel> MakeLinuxSgKernel() {
  return std::make_unique<TLinuxSgKernel>();
}

}  // namespace melvaro
