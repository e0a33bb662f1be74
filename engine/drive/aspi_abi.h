// The request records and entry points shared between the engine and a drive plug-in
// (the ASPI for Win32 calling conventions, as Melvaro uses them on Linux).
//
// A plug-in is a shared library exporting, with C linkage:
//   uint32_t GetASPI32SupportInfo(void);   high byte status (01h, or E8h: no adapters),
//                                          low byte the host adapter count
//   uint32_t SendASPI32Command(void* srb); takes one record below, returns its status
//
// The records keep the ASPI fields, order and widths, byte-packed and little-endian,
// except that the data buffer address is pointer-sized. The layout is pinned by the
// static_asserts below; plug-ins and the engine must be built from this header.
//
// Asynchronous completion: when the execute record's flags contain kSrbEventNotify,
// Event holds an eventfd. The plug-in may return kSsPending and finish later on a
// thread of its own; it then stores every result field, stores Status last (release
// order, see StoreRequestStatus) and writes an 8-byte 1 to the eventfd. The engine may
// close its eventfd as soon as it sees the status, so a plug-in that signals after
// storing the status duplicates the descriptor when it accepts the record and signals
// its duplicate. After an abort request for a record has returned, the plug-in no
// longer reads or writes that record.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace melvaro {

// Record command codes.
inline constexpr uint8_t kScHaInquiry = 0x00;
inline constexpr uint8_t kScGetDevType = 0x01;
inline constexpr uint8_t kScExecScsiCmd = 0x02;
inline constexpr uint8_t kScAbortSrb = 0x03;
inline constexpr uint8_t kScGetDiskInfo = 0x06;

// Record status values.
inline constexpr uint8_t kSsPending = 0x00;
inline constexpr uint8_t kSsComp = 0x01;
inline constexpr uint8_t kSsAborted = 0x02;
inline constexpr uint8_t kSsAbortFail = 0x03;
inline constexpr uint8_t kSsErr = 0x04;
inline constexpr uint8_t kSsInvalidCmd = 0x80;
inline constexpr uint8_t kSsInvalidHa = 0x81;
inline constexpr uint8_t kSsNoDevice = 0x82;
inline constexpr uint8_t kSsInvalidSrb = 0xE0;
inline constexpr uint8_t kSsBufferAlign = 0xE1;
inline constexpr uint8_t kSsAspiIsBusy = 0xE5;
inline constexpr uint8_t kSsBufferTooBig = 0xE6;
inline constexpr uint8_t kSsNoAdapters = 0xE8;

// Execute-record flags.
inline constexpr uint8_t kSrbDirIn = 0x08;
inline constexpr uint8_t kSrbDirOut = 0x10;
inline constexpr uint8_t kSrbEventNotify = 0x40;

// Host status values.
inline constexpr uint8_t kHaseOk = 0x00;
inline constexpr uint8_t kHaseTimeout = 0x09;
inline constexpr uint8_t kHaseSrbTimeout = 0x0B;
inline constexpr uint8_t kHaseMessageReject = 0x0D;
inline constexpr uint8_t kHaseBusReset = 0x0E;
inline constexpr uint8_t kHaseParityError = 0x0F;
inline constexpr uint8_t kHaseRequestSenseFailed = 0x10;
inline constexpr uint8_t kHaseSelectionTimeout = 0x11;
inline constexpr uint8_t kHaseDataOverrun = 0x12;
inline constexpr uint8_t kHaseUnexpectedBusFree = 0x13;

// SCSI target status values (SAM).
inline constexpr uint8_t kStatusGood = 0x00;
inline constexpr uint8_t kStatusCheckCondition = 0x02;
inline constexpr uint8_t kStatusBusy = 0x08;
inline constexpr uint8_t kStatusReservationConflict = 0x18;
inline constexpr uint8_t kStatusQueueFull = 0x28;

inline constexpr size_t kSenseAreaLen = 33;
inline constexpr uint8_t kSenseLen = 24;

#pragma pack(push, 1)

// Execute SCSI command (SRB_ExecSCSICmd).
struct TSCSIRequest {
  uint8_t Command;                   // 0: kScExecScsiCmd
  uint8_t Status;                    // 1: completion status
  uint8_t HaId;                      // 2: host adapter
  uint8_t Flags;                     // 3: direction and event flags
  uint32_t HdrReserved;              // 4
  uint8_t Target;                    // 8
  uint8_t Lun;                       // 9
  uint16_t Reserved1;                // 10
  uint32_t BufLen;                   // 12: bytes to transfer
  uint8_t* BufPointer;               // 16: data buffer (pointer-sized)
  uint8_t SenseLen;                  // 24: always 24
  uint8_t CDBLen;                    // 25: 6, 10 or 12
  uint8_t HaStat;                    // 26: host status
  uint8_t TargStat;                  // 27: SCSI status byte
  int32_t Event;                     // 28: eventfd signalled at completion, or 0
  uint8_t Reserved2[20];             // 32
  uint8_t CDB[16];                   // 52
  uint8_t SenseArea[kSenseAreaLen];  // 68
};

// Host adapter inquiry (SRB_HAInquiry).
struct THaInquiryRequest {
  uint8_t Command;         // 0: kScHaInquiry
  uint8_t Status;          // 1
  uint8_t HaId;            // 2
  uint8_t Flags;           // 3
  uint32_t HdrReserved;    // 4
  uint8_t HaCount;         // 8: number of host adapters
  uint8_t HaScsiId;        // 9: the adapter's own SCSI id
  uint8_t ManagerId[16];   // 10
  uint8_t Identifier[16];  // 26
  uint8_t Unique[16];      // 42: alignment mask, targets, maximum transfer length
  uint16_t Reserved1;      // 58
};

// Get device type (SRB_GDEVBlock).
struct TGetDevTypeRequest {
  uint8_t Command;       // 0: kScGetDevType
  uint8_t Status;        // 1
  uint8_t HaId;          // 2
  uint8_t Flags;         // 3
  uint32_t HdrReserved;  // 4
  uint8_t Target;        // 8
  uint8_t Lun;           // 9
  uint8_t DeviceType;    // 10: peripheral device type, 1Fh for none
  uint8_t Reserved1;     // 11
};

// Abort a pending request (SRB_Abort).
struct TAbortRequest {
  uint8_t Command;       // 0: kScAbortSrb
  uint8_t Status;        // 1
  uint8_t HaId;          // 2
  uint8_t Flags;         // 3
  uint32_t HdrReserved;  // 4
  void* ToAbort;         // 8: the execute record to abort (pointer-sized)
};

// Get disk information (SRB_GetDiskInfo).
struct TGetDiskInfoRequest {
  uint8_t Command;       // 0: kScGetDiskInfo
  uint8_t Status;        // 1
  uint8_t HaId;          // 2
  uint8_t Flags;         // 3
  uint32_t HdrReserved;  // 4
  uint8_t Target;        // 8
  uint8_t Lun;           // 9
  uint8_t DriveFlags;    // 10
  uint8_t Int13Drive;    // 11: drive number, 0 = "A"
  uint8_t Heads;         // 12
  uint8_t Sectors;       // 13
  uint8_t Reserved[10];  // 14
};

#pragma pack(pop)

static_assert(sizeof(void*) == 8, "the record layout below assumes 64-bit pointers");
static_assert(offsetof(TSCSIRequest, BufLen) == 12);
static_assert(offsetof(TSCSIRequest, BufPointer) == 16);
static_assert(offsetof(TSCSIRequest, SenseLen) == 24);
static_assert(offsetof(TSCSIRequest, Event) == 28);
static_assert(offsetof(TSCSIRequest, CDB) == 52);
static_assert(offsetof(TSCSIRequest, SenseArea) == 68);
static_assert(sizeof(TSCSIRequest) == 101);
static_assert(sizeof(THaInquiryRequest) == 60);
static_assert(sizeof(TGetDevTypeRequest) == 12);
static_assert(sizeof(TAbortRequest) == 16);
static_assert(sizeof(TGetDiskInfoRequest) == 24);

// The status byte of a record that completes asynchronously is written by the plug-in's
// thread while the engine may look at it; both sides go through these two.
inline uint8_t LoadRequestStatus(const void* record) {
  return std::atomic_ref<uint8_t>(*(static_cast<uint8_t*>(const_cast<void*>(record)) + 1))
      .load(std::memory_order_acquire);
}
inline void StoreRequestStatus(void* record, uint8_t status) {
  std::atomic_ref<uint8_t>(*(static_cast<uint8_t*>(record) + 1))
      .store(status, std::memory_order_release);
}

using TGetASPI32SupportInfo = uint32_t (*)();
using TSendASPI32Command = uint32_t (*)(void* srb);

}  // namespace melvaro
