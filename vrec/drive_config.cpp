#include "drive_config.h"

#include <charconv>
#include <cstdlib>
#include <sstream>

#include "platform/program_folder.h"

namespace melvaro::vrec {

std::vector<TDriveConfig> DefaultDrives() {
  TDriveConfig dvd;
  TDriveConfig cd;
  cd.product = "VIRTUAL CD-RW";
  cd.capabilities[0] = 0x07;  // CD-R, CD-RW, method 2
  cd.capabilities[1] = 0x07;  // write CD-R, CD-RW, test write
  cd.feature002A.reset();
  cd.feature002F.reset();
  cd.feature003B.reset();
  cd.dvdWriteSpeeds.clear();
  cd.dvdReadSpeed = 0;
  cd.bufferKb = 1024;
  return {dvd, cd};
}

std::vector<TDriveConfig> RealisticDrives() {
  std::vector<TDriveConfig> drives = DefaultDrives();
  for (TDriveConfig& d : drives) {
    d.throughput = TThroughput::Drive;
    d.readyDelayMs = 3000;
    d.operationMs = 30000;
  }
  return drives;
}

std::string VrecFolder() {
  const char* env = std::getenv("MELVARO_VREC");
  if (env && *env) return env;
  return JoinPath(ProgramFolder(), "vrec");
}

namespace {

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  const size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

bool ParseUnsigned(const std::string& text, uint32_t& value, int base = 10) {
  if (text.empty()) return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return ec == std::errc() && end == text.data() + text.size();
}

bool ParseBool(const std::string& text, bool& value) {
  if (text == "yes" || text == "1" || text == "true") return value = true, true;
  if (text == "no" || text == "0" || text == "false") return value = false, true;
  return false;
}

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

std::string Hex(uint8_t v) {
  static const char* digits = "0123456789ABCDEF";
  return {digits[v >> 4], digits[v & 15]};
}

bool ParseKey(TDriveConfig& d, const std::string& key, const std::string& value) {
  uint32_t n = 0;
  auto speeds = [&](std::vector<uint16_t>& list) {
    list.clear();
    for (const std::string& w : Split(value)) {
      if (!ParseUnsigned(w, n) || n == 0 || n > 0xFFFF) return false;
      list.push_back(static_cast<uint16_t>(n));
    }
    return true;
  };
  auto feature = [&](std::optional<uint8_t>& f) {
    if (value.empty()) return f.reset(), true;
    if (!ParseUnsigned(value, n, 16) || n > 0xFF) return false;
    f = static_cast<uint8_t>(n);
    return true;
  };
  if (key == "vendor") return d.vendor = value, true;
  if (key == "product") return d.product = value, true;
  if (key == "revision") return d.revision = value, true;
  if (key == "faults") return d.faults = value, true;
  if (key == "capabilities") {
    const auto w = Split(value);
    if (w.size() != 3) return false;
    for (int i = 0; i < 3; ++i) {
      if (!ParseUnsigned(w[i], n, 16) || n > 0xFF) return false;
      d.capabilities[i] = static_cast<uint8_t>(n);
    }
    return true;
  }
  if (key == "feature-002A") return feature(d.feature002A);
  if (key == "feature-002F") return feature(d.feature002F);
  if (key == "feature-003B") return feature(d.feature003B);
  if (key == "page-30") return ParseBool(value, d.page30);
  if (key == "block-descriptor") return ParseBool(value, d.blockDescriptor);
  if (key == "cd-write-speeds") return speeds(d.cdWriteSpeeds);
  if (key == "dvd-write-speeds") return speeds(d.dvdWriteSpeeds);
  if (key == "cd-read-speed" || key == "dvd-read-speed") {
    if (!ParseUnsigned(value, n) || n > 0xFFFF) return false;
    (key[0] == 'c' ? d.cdReadSpeed : d.dvdReadSpeed) = static_cast<uint16_t>(n);
    return true;
  }
  if (key == "buffer-kb") return ParseUnsigned(value, d.bufferKb) && d.bufferKb <= 0xFFFF;
  if (key == "ready-delay-ms") return ParseUnsigned(value, d.readyDelayMs);
  if (key == "operation-ms") return ParseUnsigned(value, d.operationMs);
  if (key == "write-modes") {
    d.tao = d.sao = d.raw = false;
    for (const std::string& w : Split(value)) {
      if (w == "tao")
        d.tao = true;
      else if (w == "sao")
        d.sao = true;
      else if (w == "raw")
        d.raw = true;
      else
        return false;
    }
    return true;
  }
  if (key == "throughput") {
    if (value == "unlimited") return d.throughput = TThroughput::Unlimited, true;
    if (value == "drive") return d.throughput = TThroughput::Drive, true;
    if (!ParseUnsigned(value, d.throughputKbps) || d.throughputKbps == 0) return false;
    d.throughput = TThroughput::Fixed;
    return true;
  }
  return false;
}

std::string JoinSpeeds(const std::vector<uint16_t>& list) {
  std::string out;
  for (uint16_t s : list) out += (out.empty() ? "" : " ") + std::to_string(s);
  return out;
}

}  // namespace

std::optional<std::vector<TDriveConfig>> ParseDrivesIni(const std::string& text,
                                                        std::string* error) {
  std::vector<TDriveConfig> drives;
  std::istringstream in(text);
  int lineNo = 0;
  for (std::string raw; std::getline(in, raw);) {
    ++lineNo;
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      if (line.rfind("[drive", 0) != 0) {
        if (error) *error = "drives.ini line " + std::to_string(lineNo) + ": unknown section";
        return std::nullopt;
      }
      drives.emplace_back();
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string::npos || drives.empty() ||
        !ParseKey(drives.back(), Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)))) {
      if (error) *error = "drives.ini line " + std::to_string(lineNo) + ": " + line;
      return std::nullopt;
    }
  }
  return drives;
}

std::string FormatDrivesIni(const std::vector<TDriveConfig>& drives) {
  std::ostringstream out;
  out << "; Melvaro virtual recorder: one [drive] section per drive, numbered from 0 in\n"
         "; this order. Media and their state live beside this file (driveN.*).\n";
  for (size_t i = 0; i < drives.size(); ++i) {
    const TDriveConfig& d = drives[i];
    auto feature = [](const std::optional<uint8_t>& f) { return f ? Hex(*f) : std::string(); };
    std::string modes;
    if (d.tao) modes += "tao";
    if (d.sao) modes += modes.empty() ? "sao" : " sao";
    if (d.raw) modes += modes.empty() ? "raw" : " raw";
    out << "\n[drive" << i << "]\n"
        << "vendor=" << d.vendor << "\n"
        << "product=" << d.product << "\n"
        << "revision=" << d.revision << "\n"
        << "capabilities=" << Hex(d.capabilities[0]) << " " << Hex(d.capabilities[1]) << " "
        << Hex(d.capabilities[2]) << "\n"
        << "feature-002A=" << feature(d.feature002A) << "\n"
        << "feature-002F=" << feature(d.feature002F) << "\n"
        << "feature-003B=" << feature(d.feature003B) << "\n"
        << "page-30=" << (d.page30 ? "yes" : "no") << "\n"
        << "cd-write-speeds=" << JoinSpeeds(d.cdWriteSpeeds) << "\n"
        << "dvd-write-speeds=" << JoinSpeeds(d.dvdWriteSpeeds) << "\n"
        << "cd-read-speed=" << d.cdReadSpeed << "\n"
        << "dvd-read-speed=" << d.dvdReadSpeed << "\n"
        << "buffer-kb=" << d.bufferKb << "\n"
        << "block-descriptor=" << (d.blockDescriptor ? "yes" : "no") << "\n"
        << "write-modes=" << modes << "\n"
        << "throughput="
        << (d.throughput == TThroughput::Unlimited ? std::string("unlimited")
            : d.throughput == TThroughput::Drive   ? std::string("drive")
                                                   : std::to_string(d.throughputKbps))
        << "\n"
        << "ready-delay-ms=" << d.readyDelayMs << "\n"
        << "operation-ms=" << d.operationMs << "\n"
        << "faults=" << d.faults << "\n";
  }
  return out.str();
}

}  // namespace melvaro::vrec
