// TSCSIDevice: the engine's drive object. It stands for one current optical drive,
// issues SCSI commands to it through the process's transport, keeps the text and sense
// data of the last failure and reports through OnDebugMessage.
//
// Every command returns true exactly when its request completed (status 01h), unless
// documented otherwise, and leaves LastErrorText and LastSense describing the failure.
// Commands never retry by themselves.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "aspi_abi.h"
#include "medium_kinds.h"
#include "platform/clock.h"
#include "platform/device_claim.h"
#include "platform/dispatcher.h"
#include "platform/drive_lock.h"
#include "scsi_commands.h"
#include "transport.h"

namespace melvaro {

// A query asked for more than it can express (READ TOC allocation above 255 bytes).
class ERangeError : public std::out_of_range {
 public:
  using std::out_of_range::out_of_range;
};

inline constexpr uint8_t kNoDrive = 0xFE;

class TSCSIDevice {
 public:
  using TOnDebugMsg =
      std::function<void(TSCSIDevice* sender, const std::string& message, uint8_t mType)>;
  using TDeviceChangedEvent = std::function<void(TSCSIDevice* sender)>;
  using TEraseDoneEvent = std::function<void(TSCSIDevice* sender, bool withError)>;

  // DeviceCapabilities flags.
  enum : uint32_t {
    capReadCDR = 1u << 0,
    capReadCDRW = 1u << 1,
    capReadMethod2 = 1u << 2,
    capReadDVDROM = 1u << 3,
    capReadDVDR = 1u << 4,
    capReadDVDRW = 1u << 5,
    capReadDVDRAM = 1u << 6,
    capReadDVDPlusR = 1u << 7,
    capReadDVDPlusRDL = 1u << 8,
    capReadDVDPlusRW = 1u << 9,
    capWriteCDR = 1u << 10,
    capWriteCDRW = 1u << 11,
    capTestWrite = 1u << 12,
    capWriteDVDR = 1u << 13,
    capWriteDVDRW = 1u << 14,
    capWriteDVDRAM = 1u << 15,
    capWriteDVDPlusR = 1u << 16,
    capWriteDVDPlusRDL = 1u << 17,
    capWriteDVDPlusRW = 1u << 18,
    capUnderrunProtection = 1u << 20,
  };

  // Uses the given transport (the process's by default) and clock. When the transport
  // is already initialised, adapters and drives are scanned at once.
  explicit TSCSIDevice(TTransport& transport = ProcessTransport(), TClock& clock = SystemClock());
  // Waits for a running erase to end.
  virtual ~TSCSIDevice();
  TSCSIDevice(const TSCSIDevice&) = delete;
  TSCSIDevice& operator=(const TSCSIDevice&) = delete;

  // Transport plumbing.
  // Initialises the transport (pass-through first when preferSpti), then inquires
  // adapter 0 and scans the drives. False when no transport could be started, also when
  // the plug-in misses an export.
  bool InitializeASPI(bool preferSpti, const std::string& libraryPath);
  // Asks adapter haId for its adapter count into HostAdapterCount (-1 when the inquiry
  // fails, 7 when it reports 0).
  void HostAdapterInquiry(uint8_t haId);
  // Rebuilds DeviceList: one "H:T:L,X: VENDOR  PRODUCT         REV " line per CD/DVD drive.
  void ScanDevices();
  // The drive letter of the current drive; '\0' when the plug-in cannot tell, '\x7f'
  // when the pass-through table has no such address.
  char DriveLetter();
  // The plug-in's drive number (0 = "A") for an address, 80h when it cannot tell.
  uint8_t GetDiskInfo(uint8_t haId, uint8_t target, uint8_t lun);
  // Executes one request on the current drive (waits at least 10 s for asynchronous
  // completion; a time-out aborts the request and reports "COMMAND TIMEOUT").
  void ExecSCSICommand(TSCSIRequest& request, int timeoutMs);
  bool AbortRequest(TSCSIRequest& request);
  // Makes an address current without asking the drive anything.
  void SetCurrentAddress(uint8_t haId, uint8_t target, uint8_t lun);

  void DoDebugMessage(const std::string& message, uint8_t mType);
  void LockDevice() { lock_.Enter(); }
  TDriveLock& DeviceLock() { return lock_; }
  void UnlockDevice() { lock_.Leave(); }

  // Commands (CDBs and time-outs: scsi_commands.h).
  bool TestUnitReady(int timeoutMs);
  void RezeroUnit();
  bool RequestSense(uint8_t* buffer, uint8_t length);
  bool FormatUnit(uint8_t byte1, const uint8_t* list, uint32_t listLength);
  bool InquiryDevice();  // 128 bytes into InquiryData
  bool EjectMedium(bool eject);
  bool AllowMediumRemoval(bool allow);
  // The raw answer (248 bytes) for the medium layer to interpret.
  bool ReadFormatCapacitiesRaw(uint8_t* answer248);
  bool ReadCapacity(uint32_t& lastBlock, uint32_t& blockLength);
  bool ReadSectors(uint32_t block, uint16_t count, uint32_t bufferLength, uint8_t* buffer);
  // True when the status is 01h or 00h.
  bool WriteSectors(uint32_t block, uint16_t count, uint8_t flags, uint32_t bufferLength,
                    const uint8_t* buffer);
  bool SynchronizeCache(int timeoutMs, bool immed);
  // Throws ERangeError when allocLength is above 255.
  bool ReadTOC(uint8_t format, uint8_t* buffer, uint8_t control, bool msf, uint8_t track,
               int allocLength);
  bool GetConfiguration(uint8_t rt, uint8_t feature, uint8_t allocLength, uint8_t* buffer);
  bool ReadDiscInformation(uint8_t* buffer, uint8_t length);
  // 40 bytes into TrackInfo, multi-byte fields converted to host order; zeros on failure.
  bool ReadTrackInformation(uint8_t track);
  bool ReserveTrack(uint32_t blocks);
  bool SendOPCInformation();
  bool ModeSelect(const uint8_t* list, uint8_t length);
  // Zeroes bufSize + 1 bytes of buffer, then copies allocLength bytes of the answer.
  bool ModeSense(uint8_t page, uint8_t* buffer, bool defaults, uint16_t allocLength,
                 size_t bufSize);
  bool CloseSessionCommand(bool closeTrack, bool immed, bool finalize);
  bool CloseTrackSession(bool immed, uint8_t function, uint8_t b3, uint8_t b4, uint8_t b5);
  // The raw 32-byte answer for the write-parameter layer.
  bool ReadBufferCapacityRaw(uint8_t* answer32);
  // BLANK with the immediate bit; true when the status is 01h or 00h.
  bool Blank(uint8_t blankingType);
  bool SetStreaming(const uint8_t* descriptor, uint16_t length);
  bool SetSpeed(uint16_t readSpeed, uint16_t writeSpeed);
  bool SendDVDStructure(uint8_t format, const uint8_t* list, uint16_t length);

  // One job per drive across processes (drive_claim.cpp). A job that writes, erases or
  // formats claims the current drive first: a pass-through drive's node is opened with
  // O_EXCL and locked, a plug-in's drive is reserved (RESERVE (6)). False with
  // LastErrorText set when the drive cannot be claimed; DriveInUse() then tells
  // whether another program holds it. True at once while this object holds it.
  bool ClaimDrive();
  void ReleaseDrive();
  bool DriveClaimed() const { return claimed_; }
  // Whether another program holds the current drive for a job (a reading job then does
  // not start), or refused the last claim or command for that reason.
  bool DriveInUse();

  // Drive identity, capabilities and readiness (drive_info.cpp, wait_for_ready.cpp).
  // Makes the drive of a DeviceList entry ("H:T:L,...") current; on failure no drive is
  // current and "INVALID DEVICE ID / NOT A CD OR DVD DRIVE" goes to the debug channel.
  void SelectDevice(const std::string& deviceId);
  void ReadInquiry();
  bool ReadCapabilities();
  bool HasPage30();
  uint16_t MaxWriteSpeed();  // kB/s, from a fresh ReadCapabilities; 0 when it fails
  uint16_t MaxReadSpeed();
  uint16_t CurrentWriteSpeed();
  // Sends SET CD SPEED (ReadSpeed, value), result ignored, and keeps the value.
  void SetWriteSpeed(uint16_t value);
  uint16_t WriteSpeed() const { return writeSpeed_; }
  // "2.0X(2,770 KB/s)" for kinds 6 to 10, "40X(7,056 KB/s)" otherwise; the number
  // separators follow the user's locale.
  static std::string SpeedText(uint16_t speed, uint8_t kind);
  // Polls until the drive is ready or the budget (ms) is spent.
  bool WaitForReady(int totalMs, int intervalMs);

  // The medium (medium_info.cpp, space_queries.cpp). Every query asks the drive afresh.
  uint8_t MediumKind();
  bool IsErasable();
  void GetDiscInfo(TDisc& disc);
  bool RefreshDiscInformation();
  int DiscStatus();
  int SessionCount();
  // On a disc that reports 255 sessions the track after them is asked for as FFh.
  uint32_t UsedBlocks();
  uint32_t FreeBlocks();
  uint32_t DiscCapacity();
  uint32_t VolumeBlocks();
  bool ReadFormatCapacities(uint32_t& blocks, uint32_t& blockLength);
  // Whether the last session holds recorded data but was never closed: what an
  // interrupted (killed, aborted or failed) burn leaves on a sequential medium.
  bool UnfinishedSession();
  // Whether READ TRACK INFORMATION data describes a track an unfinished burn left open.
  static bool OpenTrack(const std::array<uint8_t, 40>& info);
  // Closes the track and the session an interrupted burn left open (CD-R, CD-RW, DVD-R,
  // DVD-RW, DVD+R), leaving the disc appendable; false with LastErrorText set when there
  // is none or the drive cannot close it (session_close.cpp).
  bool CloseUnfinishedSession();
  static uint32_t MSFToBlocks(uint8_t h, uint8_t m, uint8_t s, uint8_t f);

  // Write parameters and recording procedures (write_parameters.cpp).
  void DetectWriteModes();
  bool SetWriteParameters(bool testWrite, bool underrun, bool flag, uint8_t kind);
  // Sends the drive's current write parameters back with another multisession field
  // (page byte 3, bits 7-6): 3 keeps the disc appendable when the session is closed,
  // 0 closes the disc with it.
  bool SetMultisessionField(uint8_t field);
  bool SetStreamingSpeed(uint32_t startBlock, uint32_t endBlock, uint32_t readSize,
                         uint32_t writeSize, uint32_t readTime, uint32_t writeTime);
  bool SendTimeStamp(std::chrono::system_clock::time_point when);
  bool ReadBufferCapacity(uint32_t& length, uint32_t& free);

  // Erasing (erase.cpp). BlankType 0 erases the whole disc, 1 quickly. True when the
  // erase runs; OnEraseDone follows from the erase thread, through Dispatcher.
  bool StartErase(uint8_t blankType);
  // After an erase or a burn: track-at-once write parameters, the maximum read speed
  // with write speed 2, the tray loaded.
  void RestoreDrive();
  int EraseProgress() const { return erasing_ ? eraseProgress_.load() : 0; }
  bool Erasing() const { return erasing_; }
  // Runs OnEraseDone on the main thread; without one it runs on the erase thread.
  TDispatcher* Dispatcher = nullptr;
  TEraseDoneEvent OnEraseDone;

  // State.
  uint8_t HaId() const { return haId_; }
  uint8_t TargetId() const { return targetId_; }
  uint8_t Lun() const { return lun_; }
  int8_t HostAdapterCount() const { return hostAdapterCount_; }
  const std::string& LastErrorText() const { return lastErrorText_; }
  const std::array<uint8_t, kSenseAreaLen>& LastSense() const { return lastSense_; }
  bool TargetBusy() const { return targetBusy_; }
  const std::vector<std::string>& DeviceList() const { return deviceList_; }
  const std::string& DeviceName() const { return deviceName_; }
  uint8_t DeviceType() const { return deviceType_; }
  const std::array<uint8_t, 131>& InquiryData() const { return inquiryData_; }
  const std::array<uint8_t, 40>& TrackInfo() const { return trackInfo_; }
  const std::string& InquiryName() const { return inquiryName_; }
  uint32_t DeviceCapabilities() const { return deviceCapabilities_; }
  const std::array<uint8_t, 516>& CapabilitiesPage() const { return capabilitiesPage_; }
  const std::array<uint8_t, 54>& WriteParametersPage() const { return writeParametersPage_; }
  uint16_t DeviceMaxWriteSpeed() const { return deviceMaxWriteSpeed_; }
  uint16_t DeviceMaxReadSpeed() const { return deviceMaxReadSpeed_; }
  uint8_t SupportedWriteModes() const { return supportedWriteModes_; }
  const std::array<uint8_t, 56>& DiscInformation() const { return discInformation_; }
  const std::array<uint8_t, 26>& AtipData() const { return atipData_; }
  const TDisc& DiscRecord() const { return discRecord_; }
  uint32_t DeviceBufferSize() const { return deviceBufferSize_; }
  uint32_t DeviceFreeBufferSize() const { return deviceFreeBufferSize_; }
  uint8_t BlankType() const { return blankType_; }
  // Model switches of the current drive (the process-wide ones: SharedDriveState).
  bool UnderrunByModel() const { return underrunByModel_; }
  bool LinkSizeByModel() const { return linkSizeByModel_; }
  bool SlowReadyDrive() const { return slowReadyDrive_; }
  bool ASPIInitialized() const { return transport_.ASPIInitialized(); }
  TTransport& Transport() { return transport_; }
  TClock& Clock() { return clock_; }
  // Set by the first command of the object; later failures produce no report.
  bool ErrorReported() const { return errorReported_; }
  void SetErrorReported(bool value) { errorReported_ = value; }

  // How often a command that is still pending is looked at again (with a yield between)
  // before the engine sleeps on its event; 0 waits on the event at once.
  int CompletionSpins = 2000;

  // Published options and events.
  bool DoDebug = false;
  bool UnderrunProtection = true;
  bool TestWrite = false;
  bool FinalizeDisc = false;
  uint16_t ReadSpeed = 0;
  TOnDebugMsg OnDebugMessage;
  TDeviceChangedEvent OnDeviceChange;

 protected:
  // Builds a fresh request from a command block and executes it; true on status 01h.
  bool Run(const cdb::TCommandBlock& block, uint8_t* buffer, bool acceptPending = false);
  // The one-time error report, and the report of every failure the system gives a
  // reason for (systemError: from the back end, empty for an answer of the drive).
  void ReportAfterCommand(const TSCSIRequest& request, const std::string& systemError);

  TTransport& transport_;
  TClock& clock_;
  TDriveLock lock_;
  uint8_t haId_ = kNoDrive;
  uint8_t targetId_ = kNoDrive;
  uint8_t lun_ = kNoDrive;
  int8_t hostAdapterCount_ = 0;
  std::string lastErrorText_;
  std::array<uint8_t, kSenseAreaLen> lastSense_{};
  bool targetBusy_ = false;
  std::vector<std::string> deviceList_;
  std::string deviceName_;
  uint8_t deviceType_ = 0;
  std::array<uint8_t, 131> inquiryData_{};
  std::array<uint8_t, 40> trackInfo_{};
  THaInquiryRequest haInquiry_{};
  bool errorReported_ = false;
  std::string lastSystemError_;  // the system's reason last reported, until a command succeeds

  std::string inquiryName_;
  uint32_t deviceCapabilities_ = 0;
  std::array<uint8_t, 516> capabilitiesPage_{};
  std::array<uint8_t, 54> writeParametersPage_{};
  uint16_t deviceMaxWriteSpeed_ = 0;
  uint16_t deviceMaxReadSpeed_ = 0;
  uint16_t writeSpeed_ = 0;
  uint8_t supportedWriteModes_ = 0;
  bool underrunByModel_ = false;
  bool linkSizeByModel_ = false;
  bool slowReadyDrive_ = false;
  std::array<uint8_t, 56> discInformation_{};
  std::array<uint8_t, 26> atipData_{};
  TDisc discRecord_;
  std::atomic<uint32_t> deviceBufferSize_{0};
  std::atomic<uint32_t> deviceFreeBufferSize_{0};

 private:
  bool StartClaimedErase(uint8_t blankType);
  void SpaceQueryWriteParameters();
  uint8_t PrepareSpaceQuery();
  void RunEraseThread(uint8_t kind, uint16_t eraseSeconds);
  void EndErase();
  std::string ClaimNodePath();
  std::unique_ptr<TDeviceClaim> nodeClaim_;
  bool claimed_ = false;
  bool reserved_ = false;
  bool eraseClaim_ = false;
  uint8_t unfinishedTrack_ = 0;  // the first track UnfinishedSession found open
  uint8_t blankType_ = 0;
  std::atomic<bool> erasing_{false};
  std::atomic<int> eraseProgress_{0};
  std::thread eraseThread_;
};

// The failure text of a completed request: the transport status text, or for CHECK
// CONDITION the sense-key text followed by " (" ASC/ASCQ text ")" when the additional
// sense length is not 0. Sets targetBusy for a BUSY target.
std::string CommandErrorText(const TSCSIRequest& request, bool& targetBusy);

// The one-line description of a request used by the debug reports: command name, CDB
// byte 0, flags, CDB length, address, status, buffer length, CDB bytes 1-15 and up to
// 257 bytes of the data buffer, all in upper-case hexadecimal.
std::string RequestSummary(const TSCSIRequest& request);
// The "<<< " report line of a failed request with its host and target status, sense
// bytes 0, 2, 12 and 13, and the failure text.
std::string ReportLine(const TSCSIRequest& request, const std::string& errorText);

}  // namespace melvaro
