// One virtual MMC recorder: takes a CDB with its data phase and answers with SCSI status
// and fixed-format sense data, as MMC-5 and SPC-3 define them, over the medium in its
// store. The command set is the one a recorder needs for reading disc and track
// information, writing data and audio discs in every session mode, blanking and
// formatting; vrec/README.md lists the commands and where the model departs from real
// drives.
//
// Execute is serialised by an internal lock, so the unit may be shared between threads;
// long operations (a limited write throughput, the delays of immediate operations) run
// on the caller's thread.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "drive_config.h"
#include "drive_store.h"
#include "platform/device_claim.h"

namespace melvaro::vrec {

enum class TDataDirection : uint8_t { None, In, Out };

struct TCommandResult {
  uint8_t status = 0;                  // SAM status: 00h GOOD, 02h CHECK CONDITION, 08h BUSY
  std::array<uint8_t, 18> sense = {};  // fixed format (SPC-3 4.5.3) with CHECK CONDITION
  uint32_t transferred = 0;            // data-in bytes placed in the buffer
  bool gone = false;                   // the drive is unreachable: no status at all

  uint8_t Key() const { return sense[2] & 0x0F; }
  uint8_t Asc() const { return sense[12]; }
  uint8_t Ascq() const { return sense[13]; }
};

class TLogicalUnit {
 public:
  using TTimePoint = std::chrono::steady_clock::time_point;

  TLogicalUnit(TDriveConfig config, std::unique_ptr<TDriveStore> store);
  ~TLogicalUnit();

  // Runs one command. `data` holds `length` bytes: the data-out bytes, or room for the
  // data-in answer (answers are cut to the allocation length and to `length`).
  TCommandResult Execute(const uint8_t* cdb, size_t cdbLength, TDataDirection direction,
                         uint8_t* data, uint32_t length);

  const TDriveConfig& Config() const { return config_; }
  // Blocks accepted by test writes since the unit was made.
  uint64_t TestWriteBlocks() const { return testWriteBlocks_; }
  // The store, for the admin tool and tests; not to be used while commands run.
  TDriveStore& Store() { return *store_; }

 private:
  static std::array<uint8_t, 52> DefaultWriteParameters();
  // Copies an answer into the data-in buffer, cut to the buffer and the allocation
  // length; the bytes copied.
  static uint32_t CopyAnswer(uint8_t* data, uint32_t length, uint32_t allocation,
                             const std::vector<uint8_t>& bytes);
  // Answers.
  TCommandResult Good(uint32_t transferred = 0) const;
  TCommandResult Fail(uint8_t key, uint8_t asc, uint8_t ascq) const;
  std::array<uint8_t, 18> CurrentConditionSense() const;

  // Conditions shared by the commands.
  std::optional<TCommandResult> NotReady() const;
  bool ReadsMedium(const TMedium& m) const;
  bool WritesMedium(const TMedium& m) const;
  bool Busy() const;
  void StartOperation(uint32_t ms, uint8_t ascq);
  const std::vector<uint16_t>& WriteSpeeds() const;
  uint16_t CurrentWriteSpeed() const;
  uint16_t CurrentReadSpeed() const;
  bool TestWriteOn() const { return page05_[2] & 0x10; }
  uint32_t WriteBlockSize() const;
  bool AudioWrite() const;
  void MarkDirty();
  void SaveNow();
  void SaveFaults();
  void TakeFromBuffer(uint64_t bytes);
  double DrainRate() const;

  // Commands (logical_unit_*.cpp).
  TCommandResult TestUnitReady();
  TCommandResult RequestSense(const uint8_t* cdb, uint8_t* data, uint32_t length);
  TCommandResult Inquiry(const uint8_t* cdb, uint8_t* data, uint32_t length);
  TCommandResult StartStopUnit(const uint8_t* cdb);
  TCommandResult PreventAllow(const uint8_t* cdb);
  TCommandResult ModeSense(const uint8_t* cdb, uint8_t* data, uint32_t length);
  TCommandResult ModeSelect(const uint8_t* cdb, const uint8_t* data, uint32_t length);
  TCommandResult GetConfiguration(const uint8_t* cdb, uint8_t* data, uint32_t length);
  TCommandResult SetCdSpeed(const uint8_t* cdb);
  TCommandResult SetStreaming(const uint8_t* cdb, const uint8_t* data, uint32_t length);
  TCommandResult SendDvdStructure(const uint8_t* cdb);
  TCommandResult ReadBufferCapacity(const uint8_t* cdb, uint8_t* data, uint32_t length);
  TCommandResult ReadDiscInformation(const uint8_t* cdb, uint8_t* data, uint32_t length);
  TCommandResult ReadTrackInformation(const uint8_t* cdb, uint8_t* data, uint32_t length);
  TCommandResult ReadToc(const uint8_t* cdb, uint8_t* data, uint32_t length);
  TCommandResult ReadCapacity(uint8_t* data, uint32_t length);
  TCommandResult ReadFormatCapacities(const uint8_t* cdb, uint8_t* data, uint32_t length);
  TCommandResult Read10(const uint8_t* cdb, uint8_t* data, uint32_t length);
  TCommandResult ReadCd(const uint8_t* cdb, uint8_t* data, uint32_t length);
  TCommandResult Write10(const uint8_t* cdb, const uint8_t* data, uint32_t length);
  TCommandResult SynchronizeCache(const uint8_t* cdb);
  TCommandResult ReserveTrack(const uint8_t* cdb);
  TCommandResult CloseTrackSession(const uint8_t* cdb);
  TCommandResult Blank(const uint8_t* cdb);
  TCommandResult FormatUnit(const uint8_t* cdb, const uint8_t* data, uint32_t length);
  TCommandResult SendOpc();
  TCommandResult Reserve();
  TCommandResult Release();
  // Whether a unit of another process (or another unit of this one) holds the drive.
  bool ReservedElsewhere();

  // Where a write at `block` goes on a sequential medium, or the failure.
  std::optional<TCommandResult> FindWriteTarget(TMedium& m, uint32_t block, uint32_t count,
                                                TTrack*& track, bool& newTrack);
  std::optional<TCommandResult> CheckErasable(const TMedium& m) const;

  TDriveConfig config_;
  std::unique_ptr<TDriveStore> store_;
  std::mutex lock_;
  std::string storeError_;

  std::array<uint8_t, 52> page05_;
  uint16_t requestedWriteSpeed_ = 0xFFFF;
  uint16_t requestedReadSpeed_ = 0xFFFF;
  bool preventRemoval_ = false;
  TTimePoint busyStart_{};
  TTimePoint busyUntil_{};
  uint8_t busyAscq_ = 0;
  TTimePoint readyAt_{};
  double bufferFill_ = 0;
  TTimePoint bufferTime_{};
  std::optional<uint32_t> simNext_;
  uint64_t testWriteBlocks_ = 0;
  bool dirty_ = false;
  TTimePoint lastSave_{};
  std::unique_ptr<TDeviceClaim> reservation_;
  int lockFd_ = -1;
};

}  // namespace melvaro::vrec
