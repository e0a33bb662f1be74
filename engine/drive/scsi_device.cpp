#include "scsi_device.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

#include "command_names.h"
#include "messages.h"
#include "platform/event.h"

namespace melvaro {
namespace {

std::string Hex2(uint8_t v) {
  char s[3];
  std::snprintf(s, sizeof s, "%02X", v);
  return s;
}

// Operation codes whose failure as the first command is expected and not reported.
bool QuietOnFirstFailure(uint8_t opcode) {
  static constexpr uint8_t kQuiet[] = {0x00, 0x01, 0x04, 0x12, 0x1B, 0x1E, 0x23, 0x35, 0x43,
                                       0x46, 0x51, 0x52, 0x55, 0x5A, 0x5C, 0xB6, 0xBB};
  return std::find(std::begin(kQuiet), std::end(kQuiet), opcode) != std::end(kQuiet);
}

}  // namespace

std::string CommandErrorText(const TSCSIRequest& request, bool& targetBusy) {
  std::string text(ASPIStatusText(request.Status, request.HaStat, request.TargStat, targetBusy));
  if (text != msg::kCheckCondition) return text;
  const uint8_t* sense = request.SenseArea;
  text = SenseKeyText(sense, kSenseAreaLen);
  if (sense[7] != 0) text += " (" + SenseCodeText(sense[12], sense[13]) + ")";
  return text;
}

TSCSIDevice::TSCSIDevice(TTransport& transport, TClock& clock)
    : transport_(transport), clock_(clock) {
  if (transport_.ASPIInitialized()) {
    HostAdapterInquiry(0);
    ScanDevices();
  }
}

bool TSCSIDevice::InitializeASPI(bool preferSpti, const std::string& libraryPath) {
  bool ok = false;
  try {
    ok = transport_.Initialize(preferSpti, libraryPath);
  } catch (const std::exception&) {
    ok = false;
  }
  if (ok) {
    HostAdapterInquiry(0);
    ScanDevices();
  }
  return ok;
}

void TSCSIDevice::HostAdapterInquiry(uint8_t haId) {
  haInquiry_ = THaInquiryRequest{};
  haInquiry_.Command = kScHaInquiry;
  haInquiry_.HaId = haId;
  transport_.Send(&haInquiry_);
  if (haInquiry_.Status != kSsComp) {
    hostAdapterCount_ = -1;
  } else {
    hostAdapterCount_ = haInquiry_.HaCount == 0 ? 7 : static_cast<int8_t>(haInquiry_.HaCount);
  }
}

void TSCSIDevice::SetCurrentAddress(uint8_t haId, uint8_t target, uint8_t lun) {
  haId_ = haId;
  targetId_ = target;
  lun_ = lun;
}

void TSCSIDevice::ScanDevices() {
  deviceList_.clear();
  const uint8_t savedHa = haId_, savedTarget = targetId_, savedLun = lun_;
  if (DoDebug) DoDebugMessage(">>> " + transport_.TransportName(), 1);
  const int adapters = hostAdapterCount_;
  for (int adapter = 0; adapter < adapters; ++adapter) {
    HostAdapterInquiry(static_cast<uint8_t>(adapter));
    auto field = [](const uint8_t* bytes) {
      std::string s(reinterpret_cast<const char*>(bytes),
                    strnlen(reinterpret_cast<const char*>(bytes), 16));
      const auto first = s.find_first_not_of(' ');
      if (first == std::string::npos) return std::string();
      return s.substr(first, s.find_last_not_of(' ') - first + 1);
    };
    if (DoDebug) {
      DoDebugMessage(">>> " + std::string(reinterpret_cast<const char*>(haInquiry_.ManagerId), 16) +
                         " (" + field(haInquiry_.Identifier) + ")",
                     1);
    }
    for (uint8_t target = 0; target < 8; ++target) {
      for (uint8_t lun = 0; lun < 8; ++lun) {
        SetCurrentAddress(static_cast<uint8_t>(adapter), target, lun);
        inquiryData_.fill(0);
        if (!InquiryDevice()) continue;
        const uint8_t type = inquiryData_[0];
        if (type != 0x05 && type != 0x04) continue;
        const char letter = DriveLetter();
        std::string entry = std::to_string(adapter) + ":" + std::to_string(target) + ":" +
                            std::to_string(lun) + ",";
        if (letter == '\0' || letter == '\x7f') {
          entry += "?:";
        } else {
          entry += letter;
          entry += ':';
        }
        entry += ' ';
        entry.append(reinterpret_cast<const char*>(&inquiryData_[8]), 28);
        if (type == 0x04) entry += " (not supported)";
        deviceList_.push_back(entry);
      }
    }
  }
  SetCurrentAddress(savedHa, savedTarget, savedLun);
  lastErrorText_.clear();
}

char TSCSIDevice::DriveLetter() {
  if (transport_.IsSpti()) {
    const int position = transport_.Spti().PositionOf(haId_, targetId_, lun_);
    return position < 0 ? '\x7f' : static_cast<char>('A' + position);
  }
  // Letters "C" onward stand for /dev/sr0 onward; "B" has no node.
  TSgKernel& kernel = transport_.Kernel();
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    const int node = letter - 'C';
    if (kernel.NodeDeviceType(node) < 0) continue;
    const std::string path = OpticalNodePath(node);
    int fd = kernel.Open(path, true);
    if (fd < 0) fd = kernel.Open(path, false);
    if (fd < 0) continue;
    TScsiAddress address;
    const bool match =
        kernel.GetAddress(fd, address) && address.host == haId_ && address.target == targetId_;
    kernel.Close(fd);
    if (match) return letter;
  }
  const uint8_t drive = GetDiskInfo(haId_, targetId_, lun_);
  return drive != 0x80 ? static_cast<char>('A' + drive) : '\0';
}

uint8_t TSCSIDevice::GetDiskInfo(uint8_t haId, uint8_t target, uint8_t lun) {
  TGetDiskInfoRequest request{};
  request.Command = kScGetDiskInfo;
  request.HaId = haId;
  request.Target = target;
  request.Lun = lun;
  transport_.Send(&request);
  return request.Status == kSsComp ? request.Int13Drive : 0x80;
}

bool TSCSIDevice::AbortRequest(TSCSIRequest& request) {
  TAbortRequest abort{};
  abort.Command = kScAbortSrb;
  abort.HaId = haId_;
  abort.ToAbort = &request;
  transport_.Send(&abort);
  return abort.Status == kSsComp;
}

void TSCSIDevice::DoDebugMessage(const std::string& message, uint8_t mType) {
  if (OnDebugMessage) OnDebugMessage(this, message, mType);
}

void TSCSIDevice::ExecSCSICommand(TSCSIRequest& request, int timeoutMs) {
  lastErrorText_.clear();
  targetBusy_ = false;
  lastSense_.fill(0);
  if (!transport_.ASPIInitialized() || haId_ == kNoDrive) return;

  // One completion event per thread, reused: a signal that arrives late for an earlier
  // command is told apart by the record's status, which is stored before the signal.
  thread_local TEvent completion;
  const bool notify = request.Flags & kSrbEventNotify;
  if (notify) {
    completion.Reset();
    request.Event = completion.Handle();
  } else {
    request.Event = 0;
  }
  request.Command = kScExecScsiCmd;
  request.HaId = haId_;
  request.Target = targetId_;
  request.Lun = lun_;
  request.SenseLen = kSenseLen;
  request.CDB[1] = static_cast<uint8_t>((request.CDB[1] & 0x1F) | (lun_ << 5));

  TRequestContext context;
  context.timeoutMs = timeoutMs;
  transport_.Send(&request, context);
  bool completed = LoadRequestStatus(&request) != kSsPending;
  // Most commands complete within microseconds; a short spin saves the sleep and the
  // wake-up of the event wait for them.
  for (int spin = 0; notify && !completed && spin < CompletionSpins; ++spin) {
    std::this_thread::yield();
    completed = LoadRequestStatus(&request) != kSsPending;
  }
  while (notify && !completed && clock_.WaitForEvent(completion, std::max(timeoutMs, 10000))) {
    completion.Reset();  // before the status is looked at, so no signal is lost
    completed = LoadRequestStatus(&request) != kSsPending;
  }
  if (!completed) {
    // Nothing came back: take the request back from the plug-in before it is reused.
    AbortRequest(request);
    StoreRequestStatus(&request, kSsErr);
    request.HaStat = kHaseTimeout;
  }
  const uint8_t status = LoadRequestStatus(&request);
  if (status != kSsPending && status != kSsComp) {
    bool busy = false;
    lastErrorText_ = CommandErrorText(request, busy);
    targetBusy_ = busy;
    std::memcpy(lastSense_.data(), request.SenseArea, kSenseAreaLen);
  }
  ReportAfterCommand(request, context.systemError);
  request.Event = 0;
  if (reinterpret_cast<uintptr_t>(request.BufPointer) % 4 != 0) {
    DoDebugMessage("aaaa" + std::to_string(reinterpret_cast<uintptr_t>(request.BufPointer)), 0);
  }
}

std::string RequestSummary(const TSCSIRequest& r) {
  char address[64];
  std::snprintf(address, sizeof address, "%u:%X:%u <%02X> [%05X]", r.HaId, r.Target, r.Lun,
                LoadRequestStatus(&r), r.BufLen);
  std::string s =
      "(" + Hex2(r.CDB[0]) + ") {" + Hex2(r.Flags) + "|" + Hex2(r.CDBLen) + "} - " + address + " ";
  for (int i = 1; i < 16; ++i) s += Hex2(r.CDB[i]) + " ";
  s = CommandName(r.CDB[0]) + " " + s + " ";
  s += "|";
  if (r.BufLen != 0 && r.BufPointer) {
    const uint32_t n = std::min<uint32_t>(r.BufLen, 257);
    for (uint32_t i = 0; i < n; ++i) s += Hex2(r.BufPointer[i]) + " ";
  }
  return s;
}

std::string ReportLine(const TSCSIRequest& r, const std::string& errorText) {
  return "<<< " + RequestSummary(r) + "= " + Hex2(r.HaStat) + " " + Hex2(r.TargStat) + " " +
         Hex2(r.SenseArea[0]) + " " + Hex2(r.SenseArea[2]) + " ASC:" + Hex2(r.SenseArea[12]) +
         ",ASQ:" + Hex2(r.SenseArea[13]) + " " + errorText;
}

void TSCSIDevice::ReportAfterCommand(const TSCSIRequest& r, const std::string& systemError) {
  // Only the first command writes the latch, and only a change writes the last reason,
  // so that commands of other threads that succeed share nothing but reads.
  const bool first = !errorReported_;
  if (first) errorReported_ = true;
  const uint8_t status = LoadRequestStatus(&r);
  if (status == kSsPending || status == kSsComp) {
    if (!lastSystemError_.empty()) lastSystemError_.clear();
    return;
  }
  bool report = first && !QuietOnFirstFailure(r.CDB[0]) &&
                !(r.SenseArea[12] == 0x04 && r.SenseArea[13] == 0x08);
  // A command the system refused never reached the drive: its reason is always told,
  // once for a run of commands that fail for the same reason.
  if (systemError != lastSystemError_) {
    if (!systemError.empty()) report = true;
    lastSystemError_ = systemError;
  }
  if (!report) return;
  DoDebugMessage(ReportLine(r, systemError.empty() ? lastErrorText_
                                                   : lastErrorText_ + " [" + systemError + "]"),
                 0);
}

}  // namespace melvaro
