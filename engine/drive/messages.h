// The engine's message catalog: fixed upper-case English texts, compiled in.
//
// Four groups: the engine's own messages (some are formats with "%d" and "%s"), the
// transport status texts, the sense-key texts and the additional-sense-code texts
// (SPC-3 / MMC-5 additional sense code list).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace melvaro::msg {

// Drive safety: told to the user as they stand.
inline constexpr std::string_view kDriveInUse = "the drive is in use by another program";
inline constexpr std::string_view kUnfinishedSession =
    "the disc holds an unfinished session from an interrupted burn";

inline constexpr std::string_view kNoUnfinishedSession = "the disc holds no unfinished session";
inline constexpr std::string_view kSessionNotClosable =
    "the unfinished session cannot be closed on this medium";
inline constexpr std::string_view kDiscSpaceNotEnough =
    "The space of the disc in not enough, please insert another disc.";
inline constexpr std::string_view kNoNextWritableAddress =
    "THE DRIVE REPORTS NO VALID NEXT WRITABLE ADDRESS: NOTHING WAS WRITTEN";
inline constexpr std::string_view kImageNeedsBlankDisc =
    "AN IMAGE IS WRITTEN FROM BLOCK 0: THE DISC IN THE DRIVE IS NOT BLANK";
inline constexpr std::string_view kImageNotAFile = "\"%s\" IS NOT AN IMAGE FILE";
inline constexpr std::string_view kImageEmpty = "THE IMAGE FILE \"%s\" IS EMPTY";
inline constexpr std::string_view kImageTruncated =
    "THE IMAGE FILE \"%s\" IS TRUNCATED: ITS ISO 9660 VOLUME HOLDS %d BLOCKS, THE FILE %d";
inline constexpr std::string_view kImageTooLarge =
    "%s: THE IMAGE NEEDS %d BLOCKS, THE DISC HAS %d FREE";

// Engine messages.
inline constexpr std::string_view kErrorGettingNextWritableAddress =
    "ERROR GETTING NEXT WRITABLE ADDRESS";
inline constexpr std::string_view kMaximumDirectories = "MAXIMUM DIRECTORIES CAN BE %d";
inline constexpr std::string_view kMaximumFiles = "MAXIMUM FILES CAN BE %d";
inline constexpr std::string_view kInvalidDestinationPath = "INVALID DESTINATION PATH";
inline constexpr std::string_view kImportNameTooLong =
    "ERROR IMPORTING SESSION, FILE NAME LENGTH EXCEEDS 120 CHARS";
inline constexpr std::string_view kErrorImportingSession = "ERROR IMPORTING SESSION";
inline constexpr std::string_view kImportIsoNotFound =
    "ERROR IMPORTING SESSION %d (ISO IMAGE NOT FOUND)";
inline constexpr std::string_view kImportingSession = "IMPORTING SESSION # %d";
inline constexpr std::string_view kSessionCountFrom = "SESSION COUNT %d FROM %s";
inline constexpr std::string_view kSessionStartFrom = "SESSION %d STARTS AT BLOCK %d FROM %s";
inline constexpr std::string_view kExtractingFile = "EXTRACTING FILE %s TO %s";
inline constexpr std::string_view kInternalError0004 = "INTERNAL ERROR 0004";
inline constexpr std::string_view kInternalError0005 = "INTERNAL ERROR 0005";
inline constexpr std::string_view kStartingWriteProcess = "STARTING WRITE PROCESS ON %s AT %s";
inline constexpr std::string_view kStartingEraseProcess = "STARTING ERASE PROCESS ON %s AT %s";
inline constexpr std::string_view kTestDummyWrite = "TEST/DUMMY WRITE";
inline constexpr std::string_view kOperationAborted = "OPERATION ABORTED BY USER";
inline constexpr std::string_view kCantOpenFile =
    "CAN'T OPEN FILE \"%s\" OR FILE IS IN USES BY OTHER SOFTWARE";
inline constexpr std::string_view kCantCreateFile = "CAN'T CREATE FILE \"%s\"";
inline constexpr std::string_view kCantReadFile = "CAN'T READ FILE \"%s\"";
inline constexpr std::string_view kFileShorter = "FILE \"%s\" IS SHORTER THAN WHEN IT WAS ADDED";
inline constexpr std::string_view kNoDriveSelected = "NO DRIVE SELECTED";
inline constexpr std::string_view kWriterBusy = "WRITER BUSY/BUFFER FULL";
inline constexpr std::string_view kWriterError = "WRITER ERROR";
inline constexpr std::string_view kInvalidDeviceId = "INVALID DEVICE ID / NOT A CD OR DVD DRIVE";
inline constexpr std::string_view kNoError = "";
inline constexpr std::string_view kUnknown = "UNKNOWN";

// Transport status texts.
inline constexpr std::string_view kCheckCondition = "CHECK CONDITION";
inline constexpr std::string_view kTargetBusy = "TARGET BUSY";
inline constexpr std::string_view kTargetReservationConflict = "TARGET RESERVATION CONFLICT";
inline constexpr std::string_view kTargetQueueFull = "TARGET QUEUE FULL";
inline constexpr std::string_view kCommandTimeout = "COMMAND TIMEOUT";
inline constexpr std::string_view kSrbTimeout = "SRB TIMEOUT";
inline constexpr std::string_view kMessageReject = "MESSAGE REJECT";
inline constexpr std::string_view kBusReset = "BUS RESET";
inline constexpr std::string_view kParityError = "PARITY ERROR";
inline constexpr std::string_view kRequestSenseFailed = "REQUEST SENSE FAILED";
inline constexpr std::string_view kSelectionTimeout = "SELECTION TIMEOUT";
inline constexpr std::string_view kDataOverrun = "DATA OVERRUN";
inline constexpr std::string_view kUnexpectedBusFree = "UNEXPECTED BUS FREE";
inline constexpr std::string_view kInvalidRequest = "INVALID REQUEST";
inline constexpr std::string_view kInvalidHostAdapter = "INVALID HOST ADAPTER";
inline constexpr std::string_view kNoDevice = "NO DEVICE";
inline constexpr std::string_view kInvalidSrb = "INVALID SRB";
inline constexpr std::string_view kBufferAlignment = "BUFFER ALIGNMENT";
inline constexpr std::string_view kAspiIsBusy = "ASPI IS BUSY";
inline constexpr std::string_view kBufferTooBig = "BUFFER TOO BIG";

// Fills the "%d" and "%s" placeholders of a catalog format, in order, with the given
// texts. Placeholders without a value are left as they stand.
std::string FormatText(std::string_view format, std::initializer_list<std::string> args);

inline std::string FormatArg(std::string_view s) {
  return std::string(s);
}
template <typename N>
requires std::is_integral_v<N> std::string FormatArg(N n) {
  return std::to_string(n);
}

// Format(kMaximumFiles, 600000) gives "MAXIMUM FILES CAN BE 600000".
template <typename... Args>
std::string Format(std::string_view format, const Args&... args) {
  return FormatText(format, {FormatArg(args)...});
}

}  // namespace melvaro::msg

namespace melvaro {

// The completion text of a transport request (status, host status, target status);
// sets targetBusy when the target reported BUSY. An empty text means no error.
std::string_view ASPIStatusText(uint8_t status, uint8_t hostStatus, uint8_t targetStatus,
                                bool& targetBusy);

// The text of fixed-format sense data as a failed command reports it: "" for sense
// byte 0 of 00h, "UNKNOWN" for a format other than 70h/71h, the sense-key text
// otherwise (keys 9 and 12 keep "CHECK CONDITION"). senseLen bytes are valid.
std::string_view SenseKeyText(const uint8_t* sense, size_t senseLen);

// The additional-sense-code text of (asc, ascq), or the two codes in decimal joined by
// "," when the pair has no text (for example "128,0").
std::string SenseCodeText(uint8_t asc, uint8_t ascq);

}  // namespace melvaro
