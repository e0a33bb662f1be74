// A virtual drive in a temporary vrec folder, with helpers that send MMC commands to
// it and decode the answers the tests look at.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "logical_unit.h"
#include "platform/byte_order.h"

namespace melvaro::vrec::test {

using TBytes = std::vector<uint8_t>;

inline std::string MakeTempFolder() {
  char pattern[] = "/tmp/melvaro-vrec-test-XXXXXX";
  const char* made = mkdtemp(pattern);
  return made ? made : "";
}

// Disc information fields.
struct TDiscInfo {
  uint8_t status, lastSession, sessions, firstTrackLast, lastTrackLast;
  bool erasable;
};

struct TTrackInfo {
  uint8_t number, session;
  uint32_t start, nwa, freeBlocks, size, lastRecorded;
  bool nwaValid, blank;
};

class TVrecTest : public ::testing::Test {
 protected:
  void SetUp() override { folder = MakeTempFolder(); }
  void TearDown() override {
    unit.reset();
    std::filesystem::remove_all(folder);
  }

  // A drive with a new medium of `kind`.
  TLogicalUnit& Make(TMediumKind kind, TDriveConfig config = {}) {
    MakeEmpty(config);
    std::string error;
    EXPECT_TRUE(unit->Store().InsertMedium(TMedium::Blank(kind), "", &error)) << error;
    return *unit;
  }
  TLogicalUnit& MakeEmpty(TDriveConfig config = {}) {
    config.operationMs = operationMs;
    unit.reset();
    unit = std::make_unique<TLogicalUnit>(config, std::make_unique<TDriveStore>(folder, 0));
    return *unit;
  }
  // A second unit on the same folder, as another process would see it.
  std::unique_ptr<TLogicalUnit> Reopen(TDriveConfig config = {}) {
    return std::make_unique<TLogicalUnit>(config, std::make_unique<TDriveStore>(folder, 0));
  }

  TCommandResult Run(const TBytes& cdb, TDataDirection direction = TDataDirection::None,
                     uint8_t* data = nullptr, uint32_t length = 0) {
    return unit->Execute(cdb.data(), cdb.size(), direction, data, length);
  }
  TBytes In(const TBytes& cdb, uint32_t length, TCommandResult* result = nullptr) {
    TBytes answer(length, 0xEE);
    const TCommandResult r = Run(cdb, TDataDirection::In, answer.data(), length);
    if (result) *result = r;
    answer.resize(r.transferred);
    return answer;
  }
  TCommandResult Out(const TBytes& cdb, TBytes data) {
    return Run(cdb, TDataDirection::Out, data.data(), static_cast<uint32_t>(data.size()));
  }

  static TBytes Cdb6(uint8_t op, uint8_t b1 = 0, uint8_t b4 = 0) { return {op, b1, 0, 0, b4, 0}; }
  static TBytes Cdb10(uint8_t op) { return {op, 0, 0, 0, 0, 0, 0, 0, 0, 0}; }
  static TBytes Cdb12(uint8_t op) { return {op, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}; }

  // MODE SELECT page 05h: write type, track mode with the multisession bits, data block
  // type, test write.
  TCommandResult SetWriteParameters(uint8_t writeType, uint8_t byte3, uint8_t blockType,
                                    bool testWrite = false) {
    TBytes list(8 + 52, 0);
    uint8_t* p = &list[8];
    p[0] = 0x05;
    p[1] = 0x32;
    p[2] = static_cast<uint8_t>(writeType | (testWrite ? 0x10 : 0));
    p[3] = byte3;
    p[4] = blockType;
    p[15] = 0x96;
    TBytes cdb = Cdb10(0x55);
    cdb[1] = 0x10;
    PutBe16(&cdb[7], static_cast<uint32_t>(list.size()));
    return Out(cdb, list);
  }
  // Data (2048) or audio (2352) blocks filled with `fill` + block offset.
  TCommandResult Write(uint32_t block, uint32_t count, uint8_t fill = 0x11,
                       uint32_t blockBytes = 2048) {
    TBytes data(size_t{count} * blockBytes);
    for (size_t i = 0; i < data.size(); ++i)
      data[i] = static_cast<uint8_t>(fill + i / blockBytes + i % blockBytes % 7);
    TBytes cdb = Cdb10(0x2A);
    PutBe32(&cdb[2], block);
    PutBe16(&cdb[7], count);
    return Out(cdb, data);
  }
  TBytes Read(uint32_t block, uint32_t count, TCommandResult* result = nullptr) {
    TBytes cdb = Cdb10(0x28);
    PutBe32(&cdb[2], block);
    PutBe16(&cdb[7], count);
    return In(cdb, count * 2048, result);
  }
  TCommandResult Close(uint8_t function, uint16_t number = 0, bool immediate = false) {
    TBytes cdb = Cdb10(0x5B);
    cdb[1] = immediate ? 1 : 0;
    cdb[2] = function;
    PutBe16(&cdb[4], number);
    return Run(cdb);
  }
  TCommandResult Sync() { return Run(Cdb10(0x35)); }
  TCommandResult TestUnitReady() { return Run(Cdb6(0x00)); }
  TCommandResult Format(uint8_t type, uint32_t blocks, bool immediate) {
    TBytes list = {0,
                   static_cast<uint8_t>(0x80 | (immediate ? 0x02 : 0)),
                   0,
                   8,
                   0,
                   0,
                   0,
                   0,
                   static_cast<uint8_t>(type << 2),
                   0,
                   0,
                   0};
    PutBe32(&list[4], blocks);
    return Out(Cdb6(0x04, 0x11), list);
  }
  TCommandResult BlankDisc(uint8_t type, bool immediate = false) {
    TBytes cdb = Cdb12(0xA1);
    cdb[1] = static_cast<uint8_t>(type | (immediate ? 0x10 : 0));
    return Run(cdb);
  }
  TCommandResult Reserve(uint32_t blocks) {
    TBytes cdb = Cdb10(0x53);
    PutBe32(&cdb[5], blocks);
    return Run(cdb);
  }

  TDiscInfo DiscInfo() {
    TBytes cdb = Cdb10(0x51);
    PutBe16(&cdb[7], 34);
    TCommandResult r;
    const TBytes a = In(cdb, 34, &r);
    EXPECT_EQ(r.status, 0) << "READ DISC INFORMATION";
    if (a.size() < 34) return {};
    return {static_cast<uint8_t>(a[2] & 3),
            static_cast<uint8_t>(a[2] >> 2 & 3),
            a[4],
            a[5],
            a[6],
            (a[2] & 0x10) != 0};
  }
  TTrackInfo TrackInfo(uint32_t number, TCommandResult* result = nullptr) {
    TBytes cdb = Cdb10(0x52);
    cdb[1] = 0x01;
    PutBe32(&cdb[2], number);
    PutBe16(&cdb[7], 40);
    TCommandResult r;
    const TBytes a = In(cdb, 40, &r);
    if (result) *result = r;
    if (a.size() < 32) return {};
    return {a[2],
            a[3],
            GetBe32(&a[8]),
            GetBe32(&a[12]),
            GetBe32(&a[16]),
            GetBe32(&a[24]),
            GetBe32(&a[28]),
            (a[7] & 1) != 0,
            (a[6] & 0x40) != 0};
  }

  std::string folder;
  uint32_t operationMs = 0;
  std::unique_ptr<TLogicalUnit> unit;
};

// "key/asc/ascq" of a failed command, "good" for success, "busy" for BUSY status.
inline std::string Answer(const TCommandResult& r) {
  if (r.status == 0) return "good";
  if (r.status == 0x08) return "busy";
  char text[16];
  std::snprintf(text, sizeof text, "%X/%02X/%02X", r.Key(), r.Asc(), r.Ascq());
  return text;
}

}  // namespace melvaro::vrec::test
