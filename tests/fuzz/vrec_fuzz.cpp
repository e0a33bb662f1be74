// Fuzz target: the virtual drive's command interpreter. The input is a CDB (its first
// byte chooses the length), a data direction and a data phase, run against a drive with
// a recorded CD-R, then a DVD+RW, so that no answer or write reaches outside its buffer.
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "logical_unit.h"

using namespace melvaro::vrec;

namespace {

std::unique_ptr<TLogicalUnit> MakeUnit(const std::string& folder, TMediumKind kind) {
  auto store = std::make_unique<TDriveStore>(folder, 0);
  std::string error;
  store->Refresh(&error);
  store->InsertMedium(TMedium::Blank(kind), "", &error);
  TDriveConfig config;
  config.operationMs = 0;
  return std::make_unique<TLogicalUnit>(config, std::move(store));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string folder = [] {
    char pattern[] = "/tmp/melvaro-vrec-fuzz-XXXXXX";
    return std::string(mkdtemp(pattern));
  }();
  static std::unique_ptr<TLogicalUnit> units[2] = {
      MakeUnit(folder + "/cd", TMediumKind::CdR),
      MakeUnit(folder + "/dvd", TMediumKind::DvdPlusRw)};
  if (size < 14) return 0;
  TLogicalUnit& unit = *units[data[0] & 1];
  const auto direction = static_cast<TDataDirection>(data[1] % 3);
  const uint8_t* cdb = data + 2;
  const size_t cdbLength = cdb[0] < 0x20 ? 6 : cdb[0] < 0x60 ? 10 : 12;
  std::vector<uint8_t> phase(data + 14, data + size);
  // Data-in answers get room of the length the input asks for, up to 64 kB.
  if (direction == TDataDirection::In) phase.assign((size_t{data[13]} << 8) % 65536 + data[12], 0);
  unit.Execute(cdb, cdbLength, direction, phase.data(), static_cast<uint32_t>(phase.size()));
  return 0;
}
