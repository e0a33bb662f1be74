#include "messages.h"

namespace melvaro::msg {

std::string FormatText(std::string_view format, std::initializer_list<std::string> args) {
  std::string out;
  out.reserve(format.size() + 32);
  auto next = args.begin();
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() &&
        (format[i + 1] == 'd' || format[i + 1] == 's') && next != args.end()) {
      out += *next++;
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

}  // namespace melvaro::msg

namespace melvaro {

std::string_view ASPIStatusText(uint8_t status, uint8_t hostStatus, uint8_t targetStatus,
                                bool& targetBusy) {
  switch (status) {
    case 0x00:
    case 0x01:
      return msg::kNoError;
    case 0x02:
    case 0x03:
      return msg::kOperationAborted;
    case 0x04:
      switch (hostStatus) {
        case 0x00:
          switch (targetStatus) {
            case 0x00:
            case 0x02:
              return msg::kCheckCondition;
            case 0x08:
              targetBusy = true;
              return msg::kTargetBusy;
            case 0x18:
              return msg::kTargetReservationConflict;
            case 0x28:
              return msg::kTargetQueueFull;
            default:
              return msg::kUnknown;
          }
        case 0x09:
          return msg::kCommandTimeout;
        case 0x0B:
          return msg::kSrbTimeout;
        case 0x0D:
          return msg::kMessageReject;
        case 0x0E:
          return msg::kBusReset;
        case 0x0F:
          return msg::kParityError;
        case 0x10:
          return msg::kRequestSenseFailed;
        case 0x11:
          return msg::kSelectionTimeout;
        case 0x12:
          return msg::kDataOverrun;
        case 0x13:
          return msg::kUnexpectedBusFree;
        default:
          return msg::kUnknown;
      }
    case 0x80:
      return msg::kInvalidRequest;
    case 0x81:
      return msg::kInvalidHostAdapter;
    case 0x82:
      return msg::kNoDevice;
    case 0xE0:
      return msg::kInvalidSrb;
    case 0xE1:
      return msg::kBufferAlignment;
    case 0xE5:
      return msg::kAspiIsBusy;
    case 0xE6:
      return msg::kBufferTooBig;
    default:
      return msg::kUnknown;
  }
}

std::string_view SenseKeyText(const uint8_t* sense, size_t senseLen) {
  const uint8_t b0 = senseLen > 0 ? sense[0] : 0;
  if (b0 == 0x00) return msg::kNoError;
  if ((b0 & 0x7E) != 0x70) return msg::kUnknown;
  const uint8_t b2 = senseLen > 2 ? sense[2] : 0;
  static constexpr std::string_view kKeyTexts[16] = {
      "",  // key 0: decided by the filemark / end-of-medium / length bits below
      "RECOVERED ERROR",
      "NOT READY",
      "MEDIUM ERROR",
      "HARDWARE ERROR",
      "ILLEGAL REQUEST",
      "UNIT ATTENTION",
      "DATA PROTECT",
      "ERASE CHECK",
      msg::kCheckCondition,
      "COPYABORTED",
      "ABORTED COMMAND",
      msg::kCheckCondition,
      "VOLUME OVERFLOW",
      "MISCOMPARE",
      "RESERVED"};
  const uint8_t key = b2 & 0x0F;
  if (key != 0) return kKeyTexts[key];
  if (b2 & 0x80) return "FILEMARK";
  if (b2 & 0x40) return "END OF MEDIA";
  if (b2 & 0x20) return "ILLEGAL LENGTH";
  return "NO ADDITIONAL SENSE INFORMATION";
}

}  // namespace melvaro
