// Faults a virtual drive can be told to show, to prove the engine's error paths:
//   no-medium            the drive reports no medium whatever is loaded
//   unit-attention       once, after the next load: UNIT ATTENTION 28h/00h
//   busy=K               the next K writes answer BUSY status and NOT READY 04h/08h in turn
//   medium-error-at=LBA  reading that block fails with MEDIUM ERROR 11h/00h
//   write-error-at=LBA   a write covering that block fails with MEDIUM ERROR 0Ch/00h
//   write-protect        writes, blanking and formatting fail with DATA PROTECT 27h/00h
//   refuse-blank         BLANK and FORMAT UNIT fail with MEDIUM ERROR 51h/00h
//   corrupt-read=LBA     that recorded block reads back with damaged bytes
//   flush-error          SYNCHRONIZE CACHE fails with MEDIUM ERROR 0Ch/00h
//   close-error          CLOSE TRACK/SESSION fails with MEDIUM ERROR 72h/00h
//   close-error=F        only close function F fails (1 track, 2 session, ...)
//   refuse-write-parameters  MODE SELECT of page 05h fails with ILLEGAL REQUEST 26h/00h
//   gone                 the drive has gone (a pulled cable): no command reaches it
//   gone-at=LBA          the drive goes when a write covering that block is sent
//   clear                no faults
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace melvaro::vrec {

enum class TUnitAttention : uint8_t { Off, Armed, Pending };

struct TFaults {
  bool noMedium = false;
  TUnitAttention unitAttention = TUnitAttention::Off;
  uint32_t busy = 0;
  uint32_t busyAnswered = 0;  // how many busy answers were given, to alternate their form
  std::optional<uint32_t> mediumErrorAt;
  std::optional<uint32_t> writeErrorAt;
  std::optional<uint32_t> corruptReadAt;
  bool writeProtect = false;
  bool refuseBlank = false;
  bool flushError = false;
  std::optional<uint8_t> closeError;  // 0: every close function
  bool refuseWriteParameters = false;
  bool gone = false;
  std::optional<uint32_t> goneAt;

  // Applies one "name" or "name=value" setting; false with `error` set when unknown.
  bool Apply(std::string_view setting, std::string* error);
  // Applies space-separated settings.
  bool ApplyAll(std::string_view settings, std::string* error);
  // The settings in Apply's form, space-separated ("" when there are none).
  std::string Serialize() const;
  bool operator==(const TFaults&) const = default;
};

}  // namespace melvaro::vrec
