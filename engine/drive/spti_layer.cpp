#include "spti_layer.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "aspi_abi.h"

namespace melvaro {

namespace {

// The adapter status for a command the kernel could not carry out: the call failed, or
// the host adapter (Linux DID_* codes) or the driver reported an error.
uint8_t HostStatusOf(bool called, uint8_t hostStatus) {
  if (!called) return kHaseSelectionTimeout;
  switch (hostStatus) {
    case 0x01:  // DID_NO_CONNECT
    case 0x04:  // DID_BAD_TARGET
      return kHaseSelectionTimeout;
    case 0x03:  // DID_TIME_OUT
      return kHaseTimeout;
    case 0x08:  // DID_RESET
      return kHaseBusReset;
    case 0x06:  // DID_PARITY
      return kHaseParityError;
    default:
      return kHaseUnexpectedBusFree;
  }
}

}  // namespace

int TSptiLayer::OpenNode(int position, int& writeError) {
  const std::string path = OpticalNodePath(position - kFirstPosition);
  int fd = kernel_.Open(path, true);
  writeError = fd < 0 ? -fd : 0;
  if (fd < 0) fd = kernel_.Open(path, false);
  return fd;
}

void TSptiLayer::ComputeAdapterCount() {
  int highest = 0;
  for (int p = 1; p < kTableSize; ++p) highest = std::max<int>(highest, table_[p].haId);
  adapterCount_ = static_cast<uint8_t>(highest + 1);
}

int TSptiLayer::Initialize() {
  if (ready_) return 0;
  noAddressCount_ = 0;
  adapterCount_ = 0;
  table_.fill(TEntry{});
  unreachable_.clear();
  int found = 0;
  for (int position = kFirstPosition; position < kLastPosition; ++position) {
    const int node = position - kFirstPosition;
    if (kernel_.NodeDeviceType(node) != 5) continue;
    int writeError = 0;
    const int fd = OpenNode(position, writeError);
    if (fd < 0) {
      unreachable_.push_back({node, -fd, false});
      continue;
    }
    std::vector<uint8_t> answer(1025, 0);
    uint8_t cdb[6] = {0x12, 0x00, 0x00, 0x00, 0x60, 0x00};
    uint8_t sense[24] = {};
    sg_io_hdr_t hdr{};
    hdr.interface_id = 'S';
    hdr.dxfer_direction = SG_DXFER_FROM_DEV;
    hdr.cmd_len = sizeof cdb;
    hdr.mx_sb_len = sizeof sense;
    hdr.dxfer_len = 96;
    hdr.dxferp = answer.data();
    hdr.cmdp = cdb;
    hdr.sbp = sense;
    hdr.timeout = kTimeoutSeconds * 1000;
    if (const int error = kernel_.SgIo(fd, hdr); error != 0) {
      kernel_.Close(fd);
      unreachable_.push_back({node, -error, true});
      continue;
    }
    TEntry& entry = table_[position];
    entry.writeError = writeError;
    std::memcpy(entry.inquiry.data(), answer.data(), entry.inquiry.size());
    TScsiAddress address;
    if (kernel_.GetAddress(fd, address)) {
      entry.haId = address.host;
      entry.target = address.target;
      entry.lun = address.lun;
    } else {
      entry.haId = 0;
      entry.target = noAddressCount_++;
      entry.lun = kNoAddressMarker;
    }
    entry.position = static_cast<uint8_t>(position);
    entry.present = true;
    entry.handle = -1;
    kernel_.Close(fd);
    ++found;
  }
  ComputeAdapterCount();
  if (noAddressCount_ > 0) {
    for (TEntry& entry : table_) {
      if (entry.present && entry.lun == kNoAddressMarker) {
        entry.lun = 0;
        entry.haId = adapterCount_;
      }
    }
    ComputeAdapterCount();
  }
  ready_ = true;
  return found;
}

void TSptiLayer::Shutdown() {
  for (TEntry& entry : table_) {
    if (entry.present && entry.handle >= 0) kernel_.Close(entry.handle);
    entry.handle = -1;
  }
  table_.fill(TEntry{});
  unreachable_.clear();
  adapterCount_ = 0;
  ready_ = false;
}

int TSptiLayer::PositionOf(uint8_t haId, uint8_t target, uint8_t lun) const {
  for (int p = kFirstPosition; p <= kLastPosition; ++p) {
    const TEntry& e = table_[p];
    if (e.present && e.haId == haId && e.target == target && e.lun == lun) return p;
  }
  return -1;
}

uint32_t TSptiLayer::SupportInfo() {
  if (adapterCount_ == 0) return static_cast<uint32_t>(kSsNoAdapters) << 8;
  return (static_cast<uint32_t>(kSsComp) << 8) | adapterCount_;
}

uint8_t TSptiLayer::SendRequest(void* record) {
  TRequestContext context;
  return SendRequestWith(record, context);
}

uint8_t TSptiLayer::SendRequestWith(void* record, TRequestContext& context) {
  if (!record) return kSsErr;
  auto* bytes = static_cast<uint8_t*>(record);
  switch (bytes[0]) {
    case kScHaInquiry: {
      auto& r = *static_cast<THaInquiryRequest*>(record);
      r.HaCount = adapterCount_;
      if (r.HaId >= adapterCount_) {
        r.Status = kSsInvalidHa;
        return r.Status;
      }
      r.HaScsiId = 7;
      std::memset(r.ManagerId, 0, sizeof r.ManagerId);
      std::memcpy(r.ManagerId, "MELVARO SG_IO   ", 16);
      std::memset(r.Identifier, 0, sizeof r.Identifier);
      std::memcpy(r.Identifier, "SPTI  ", 6);
      r.Identifier[5] = static_cast<uint8_t>('0' + r.HaId % 10);
      std::memset(r.Unique, 0, sizeof r.Unique);
      r.Unique[0] = 7;
      r.Unique[3] = 8;
      r.Unique[6] = 0xFF;
      r.Status = kSsComp;
      return r.Status;
    }
    case kScGetDevType: {
      auto& r = *static_cast<TGetDevTypeRequest*>(record);
      const bool found = PositionOf(r.HaId, r.Target, r.Lun) >= 0;
      r.Status = found ? kSsComp : kSsNoDevice;
      r.DeviceType = found ? 0x05 : 0x1F;
      return r.Status;
    }
    case kScExecScsiCmd:
      return Execute(*static_cast<TSCSIRequest*>(record), context);
    case kScGetDiskInfo:
      bytes[1] = kSsPending;
      return kSsErr;
    default:
      bytes[1] = kSsErr;
      return kSsErr;
  }
}

uint8_t TSptiLayer::Execute(TSCSIRequest& r, TRequestContext& context) {
  const int position = PositionOf(r.HaId, r.Target, r.Lun);
  if (position < 0) {
    r.Status = kSsNoDevice;
    return r.Status;
  }
  TEntry& entry = table_[position];
  if (r.CDB[0] == 0x12) {
    if (r.HaId >= adapterCount_) {
      r.Status = kSsInvalidHa;
      return r.Status;
    }
    if (r.BufPointer)
      std::memcpy(r.BufPointer, entry.inquiry.data(), std::min<uint32_t>(36, r.BufLen));
    r.Status = kSsComp;
    return r.Status;
  }
  const std::string path = OpticalNodePath(position - kFirstPosition);
  int openError = 0;
  if (entry.handle < 0) {
    const int fd = OpenNode(position, entry.writeError);
    if (fd >= 0)
      entry.handle = fd;
    else
      openError = -fd;
  }
  uint8_t sense[kSenseAreaLen] = {};
  sg_io_hdr_t hdr{};
  hdr.interface_id = 'S';
  hdr.dxfer_direction = (r.Flags & kSrbDirIn)    ? SG_DXFER_FROM_DEV
                        : (r.Flags & kSrbDirOut) ? SG_DXFER_TO_DEV
                                                 : SG_DXFER_NONE;
  hdr.cmd_len = r.CDBLen;
  hdr.mx_sb_len = std::min<uint8_t>(r.SenseLen, kSenseAreaLen);
  hdr.dxfer_len = hdr.dxfer_direction == SG_DXFER_NONE ? 0 : r.BufLen;
  hdr.dxferp = hdr.dxfer_direction == SG_DXFER_NONE ? nullptr : r.BufPointer;
  hdr.cmdp = r.CDB;
  hdr.sbp = sense;
  // Commands that take long (closing a session, flushing a DVD's cache, blanking) ask
  // for more; an expired command is aborted and the drive reset, so none gets less.
  hdr.timeout = std::max<unsigned>(kTimeoutSeconds * 1000, std::max(context.timeoutMs, 0));
  int callError = 0;
  if (entry.handle >= 0) callError = -kernel_.SgIo(entry.handle, hdr);
  const bool called = entry.handle >= 0 && callError == 0;
  if (openError != 0)
    context.systemError = "open " + path + ": " + std::strerror(openError);
  else if (callError != 0)
    context.systemError = "SG_IO " + path + ": " + std::strerror(callError);
  // DRIVER_SENSE (08h) only says that sense data came back.
  const bool transportOk = called && hdr.host_status == 0 && (hdr.driver_status & ~0x08) == 0;
  if (transportOk && hdr.status == 0) {
    r.Status = kSsComp;
  } else {
    r.Status = kSsErr;
    if (called) {
      std::memcpy(r.SenseArea, sense, std::min<size_t>(hdr.sb_len_wr, kSenseAreaLen));
      r.TargStat = hdr.status;
    }
    if (!transportOk) r.HaStat = HostStatusOf(called, hdr.host_status);
  }
  if (releaseHandle_ && entry.handle >= 0) {
    kernel_.Close(entry.handle);
    entry.handle = -1;
  }
  return r.Status;
}

}  // namespace melvaro
