// Scripted stand-ins for the kernel, the clock and a transport back end.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "drive/aspi_abi.h"
#include "drive/aspi_backend.h"
#include "drive/sg_kernel.h"
#include "platform/clock.h"
#include "platform/event.h"

namespace melvaro::test {

// Time passes only when the engine sleeps; waits are recorded and resolved by a hook.
class TFakeClock final : public TClock {
 public:
  uint64_t NowMs() override { return now; }
  void SleepMs(unsigned ms) override { now += ms; }
  bool WaitForEvent(TEvent& event, int timeoutMs) override {
    waits.push_back(timeoutMs);
    if (onWait) onWait();
    if (event.WaitFor(0)) return true;
    now += static_cast<uint64_t>(timeoutMs);
    return false;
  }
  uint64_t now = 0;
  std::vector<int> waits;
  std::function<void()> onWait;
};

// Answers records itself. Execute records go to `handler` (default: completed);
// with `deferred`, they stay pending until the clock's wait completes them.
class TScriptedBackend final : public TAspiBackend {
 public:
  struct TSeen {
    std::vector<uint8_t> cdb;
    uint8_t flags;
    uint32_t bufLen;
    std::vector<uint8_t> outData;
  };
  uint32_t SupportInfo() override { return 0x0101; }
  uint8_t SendRequest(void* record) override {
    auto* bytes = static_cast<uint8_t*>(record);
    if (bytes[0] == kScHaInquiry) {
      auto& r = *static_cast<THaInquiryRequest*>(record);
      r.HaCount = adapters;
      std::memcpy(r.ManagerId, "SCRIPTED MANAGER", 16);
      std::memcpy(r.Identifier, "SCRIPT", 6);
      r.Status = r.HaId < adapters ? kSsComp : kSsInvalidHa;
      return r.Status;
    }
    if (bytes[0] == kScAbortSrb) {
      ++aborts;
      bytes[1] = kSsComp;
      return kSsComp;
    }
    if (bytes[0] != kScExecScsiCmd) {
      bytes[1] = kSsErr;
      return kSsErr;
    }
    auto& r = *static_cast<TSCSIRequest*>(record);
    TSeen seen{std::vector<uint8_t>(r.CDB, r.CDB + r.CDBLen), r.Flags, r.BufLen, {}};
    if ((r.Flags & kSrbDirOut) && r.BufPointer)
      seen.outData.assign(r.BufPointer, r.BufPointer + r.BufLen);
    seen_.push_back(seen);
    if (deferred) {
      pending_ = &r;
      return kSsPending;
    }
    Complete(r);
    return r.Status;
  }
  // Completes a deferred record (from the fake clock's wait hook).
  void CompletePending() {
    if (!pending_) return;
    TSCSIRequest& r = *pending_;
    pending_ = nullptr;
    Complete(r);
    const uint64_t one = 1;
    [[maybe_unused]] auto n = write(r.Event, &one, sizeof one);
  }
  // Signals a deferred record's eventfd without completing it, as a plug-in's late
  // signal for an earlier record on the same descriptor would.
  void SignalPending() {
    const uint64_t one = 1;
    if (pending_) [[maybe_unused]]
      auto n = write(pending_->Event, &one, sizeof one);
  }
  void Complete(TSCSIRequest& r) {
    r.Status = kSsComp;
    if (handler) handler(r);
  }
  const std::vector<TSeen>& Seen() const { return seen_; }

  uint8_t adapters = 1;
  bool deferred = false;
  int aborts = 0;
  std::function<void(TSCSIRequest&)> handler;

 private:
  std::vector<TSeen> seen_;
  TSCSIRequest* pending_ = nullptr;
};

// Fills a record with a CHECK CONDITION and fixed-format sense.
inline void CheckCondition(TSCSIRequest& r, uint8_t key, uint8_t asc, uint8_t ascq,
                           uint8_t addLen = 10) {
  r.Status = kSsErr;
  r.TargStat = kStatusCheckCondition;
  r.SenseArea[0] = 0x70;
  r.SenseArea[2] = key;
  r.SenseArea[7] = addLen;
  r.SenseArea[12] = asc;
  r.SenseArea[13] = ascq;
}

// A kernel with scripted /dev/srN nodes.
class TFakeKernel final : public TSgKernel {
 public:
  struct TNode {
    int deviceType = 5;
    std::vector<uint8_t> inquiry;  // answer to INQUIRY
    bool hasAddress = true;
    TScsiAddress address;
    bool openable = true;
    int openError = EACCES;  // errno of a refused open
    bool readOnly = false;   // opens only read-only; the read-write open gets openError
    // Other commands: returns the SCSI status and may fill sense; a negative value fails
    // the ioctl with that -errno.
    std::function<int(sg_io_hdr_t&)> command = [](sg_io_hdr_t&) { return 0; };
    TNodeOwner owner{true, "root", "cdrom", 0660, false};
  };
  int NodeDeviceType(int node) override {
    auto it = nodes.find(node);
    return it == nodes.end() ? -1 : it->second.deviceType;
  }
  int Open(const std::string& path, bool readWrite) override {
    ++opens;
    const int node = std::stoi(path.substr(7));
    auto it = nodes.find(node);
    if (it == nodes.end()) return -ENOENT;
    if (!it->second.openable || (readWrite && it->second.readOnly)) return -it->second.openError;
    const int fd = nextFd++;
    fds[fd] = node;
    return fd;
  }
  void Close(int fd) override {
    ++closes;
    fds.erase(fd);
  }
  int SgIo(int fd, sg_io_hdr_t& hdr) override {
    auto it = fds.find(fd);
    if (it == fds.end()) return -EBADF;
    TNode& node = nodes[it->second];
    const uint8_t* cdb = hdr.cmdp;
    cdbs.emplace_back(cdb, cdb + hdr.cmd_len);
    timeouts.push_back(hdr.timeout);
    if (cdb[0] == 0x12) {
      std::memcpy(hdr.dxferp, node.inquiry.data(),
                  std::min<size_t>(node.inquiry.size(), hdr.dxfer_len));
      hdr.status = 0;
      return 0;
    }
    const int status = node.command(hdr);
    if (status < 0) return status;
    hdr.status = static_cast<uint8_t>(status);
    return 0;
  }
  bool GetAddress(int fd, TScsiAddress& address) override {
    TNode& node = nodes[fds.at(fd)];
    if (!node.hasAddress) return false;
    address = node.address;
    return true;
  }
  TNodeOwner NodeOwner(const std::string& path) override {
    auto it = nodes.find(std::stoi(path.substr(7)));
    return it == nodes.end() ? TNodeOwner{} : it->second.owner;
  }
  std::map<int, TNode> nodes;
  std::map<int, int> fds;
  std::vector<std::vector<uint8_t>> cdbs;
  std::vector<unsigned> timeouts;
  int opens = 0, closes = 0, nextFd = 100;
};

// Standard INQUIRY data of a CD/DVD drive.
inline std::vector<uint8_t> InquiryAnswer(const std::string& vendor8, const std::string& product16,
                                          const std::string& rev4, uint8_t type = 0x05) {
  std::vector<uint8_t> a(96, 0);
  a[0] = type;
  a[4] = 31;
  std::memcpy(&a[8], vendor8.data(), 8);
  std::memcpy(&a[16], product16.data(), 16);
  std::memcpy(&a[32], rev4.data(), 4);
  return a;
}

}  // namespace melvaro::test
