#include "faults.h"

#include <charconv>

namespace melvaro::vrec {

namespace {

bool ParseBlock(std::string_view text, uint32_t& value) {
  if (text.empty()) return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

bool TFaults::Apply(std::string_view setting, std::string* error) {
  const size_t eq = setting.find('=');
  const std::string_view name = setting.substr(0, eq);
  const bool hasValue = eq != std::string_view::npos;
  const std::string_view value = hasValue ? setting.substr(eq + 1) : std::string_view();
  auto fail = [&](const char* why) {
    if (error) *error = std::string(why) + ": " + std::string(setting);
    return false;
  };
  uint32_t number = 0;
  if (name == "clear" && !hasValue) {
    *this = TFaults();
  } else if (name == "no-medium" && !hasValue) {
    noMedium = true;
  } else if (name == "unit-attention" && !hasValue) {
    unitAttention = TUnitAttention::Armed;
  } else if (name == "unit-attention" && value == "pending") {
    unitAttention = TUnitAttention::Pending;
  } else if (name == "write-protect" && !hasValue) {
    writeProtect = true;
  } else if (name == "refuse-blank" && !hasValue) {
    refuseBlank = true;
  } else if (name == "flush-error" && !hasValue) {
    flushError = true;
  } else if (name == "close-error" && !hasValue) {
    closeError = 0;
  } else if (name == "refuse-write-parameters" && !hasValue) {
    refuseWriteParameters = true;
  } else if (name == "gone" && !hasValue) {
    gone = true;
  } else if (name == "close-error") {
    if (!ParseBlock(value, number) || number < 1 || number > 7)
      return fail("a close function from 1 to 7 is needed");
    closeError = static_cast<uint8_t>(number);
  } else if (name == "busy" || name == "busy-answered" || name == "medium-error-at" ||
             name == "write-error-at" || name == "corrupt-read" || name == "gone-at") {
    if (!hasValue || !ParseBlock(value, number)) return fail("a number is needed");
    if (name == "busy") busy = number;
    if (name == "busy-answered") busyAnswered = number;
    if (name == "medium-error-at") mediumErrorAt = number;
    if (name == "write-error-at") writeErrorAt = number;
    if (name == "corrupt-read") corruptReadAt = number;
    if (name == "gone-at") goneAt = number;
  } else {
    return fail("unknown fault");
  }
  return true;
}

bool TFaults::ApplyAll(std::string_view settings, std::string* error) {
  size_t i = 0;
  while (i < settings.size()) {
    while (i < settings.size() &&
           (settings[i] == ' ' || settings[i] == '\t' || settings[i] == '\n' || settings[i] == ','))
      ++i;
    size_t j = i;
    while (j < settings.size() && settings[j] != ' ' && settings[j] != '\t' &&
           settings[j] != '\n' && settings[j] != ',')
      ++j;
    if (j > i && !Apply(settings.substr(i, j - i), error)) return false;
    i = j;
  }
  return true;
}

std::string TFaults::Serialize() const {
  std::string out;
  auto add = [&](const std::string& s) {
    if (!out.empty()) out += ' ';
    out += s;
  };
  if (noMedium) add("no-medium");
  if (unitAttention == TUnitAttention::Armed) add("unit-attention");
  if (unitAttention == TUnitAttention::Pending) add("unit-attention=pending");
  if (busy) add("busy=" + std::to_string(busy));
  if (busyAnswered) add("busy-answered=" + std::to_string(busyAnswered));
  if (mediumErrorAt) add("medium-error-at=" + std::to_string(*mediumErrorAt));
  if (writeErrorAt) add("write-error-at=" + std::to_string(*writeErrorAt));
  if (corruptReadAt) add("corrupt-read=" + std::to_string(*corruptReadAt));
  if (writeProtect) add("write-protect");
  if (refuseBlank) add("refuse-blank");
  if (flushError) add("flush-error");
  if (closeError) add(*closeError ? "close-error=" + std::to_string(*closeError) : "close-error");
  if (refuseWriteParameters) add("refuse-write-parameters");
  if (gone) add("gone");
  if (goneAt) add("gone-at=" + std::to_string(*goneAt));
  return out;
}

}  // namespace melvaro::vrec
