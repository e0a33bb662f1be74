// Every command of the drive object as it reaches the transport: CDB bytes and length,
// request flags, transfer length, and the time-out the completion wait uses.
#include <gtest/gtest.h>

#include "drive/scsi_device.h"
#include "support/fakes.h"

namespace melvaro {
namespace {

using test::TFakeClock;
using test::TFakeKernel;
using test::TScriptedBackend;

struct TDriveFixture {
  TDriveFixture() : transport(std::make_unique<TFakeKernel>()) {
    auto scripted = std::make_unique<TScriptedBackend>();
    backend = scripted.get();
    backend->deferred = true;
    clock.onWait = [this] { backend->CompletePending(); };
    // Created before the transport is up, so that no drive scan runs first.
    drive = std::make_unique<TSCSIDevice>(transport, clock);
    transport.UseBackend(std::move(scripted), "SCRIPTED");
    drive->SetCurrentAddress(1, 0, 0);
  }
  TTransport transport;
  TFakeClock clock;
  TScriptedBackend* backend = nullptr;
  std::unique_ptr<TSCSIDevice> drive;
};

struct TRow {
  const char* name;
  std::function<bool(TSCSIDevice&)> issue;
  std::vector<uint8_t> cdb;
  uint8_t flags;
  uint32_t bufLen;
  int timeoutMs;
  std::function<cdb::TCommandBlock()> block;
};

TEST(CommandTable, EveryCommandReachesTheTransportAsSpecified) {
  static uint8_t buf[65536];
  const uint8_t list[12] = {0, 0, 0, 8, 1, 2, 3, 4, 5, 6, 7, 8};
  const std::vector<TRow> rows = {
      {"TEST UNIT READY",
       [](auto& d) { return d.TestUnitReady(5000); },
       {0x00, 0, 0, 0, 0, 0},
       0x40,
       0,
       5000,
       [] { return cdb::TestUnitReady(5000); }},
      {"REZERO UNIT",
       [](auto& d) {
         d.RezeroUnit();
         return true;
       },
       {0x01, 0, 0, 0, 0, 0},
       0x40,
       0,
       10000,
       [] { return cdb::RezeroUnit(); }},
      {"REQUEST SENSE",
       [](auto& d) { return d.RequestSense(buf, 40); },
       {0x03, 0, 0, 0, 40, 0},
       0x48,
       40,
       10000,
       [] { return cdb::RequestSense(40); }},
      {"FORMAT UNIT",
       [&](auto& d) { return d.FormatUnit(0x11, list, 12); },
       {0x04, 0x11, 0, 0, 0, 0},
       0x50,
       12,
       10000,
       [] { return cdb::FormatUnit(0x11, 12); }},
      {"INQUIRY",
       [](auto& d) { return d.InquiryDevice(); },
       {0x12, 0, 0, 0, 0x80, 0},
       0x48,
       128,
       10000,
       [] { return cdb::Inquiry(); }},
      {"START STOP UNIT eject",
       [](auto& d) { return d.EjectMedium(true); },
       {0x1B, 0, 0, 0, 2, 0},
       0x40,
       0,
       20000,
       [] { return cdb::StartStopUnit(true); }},
      {"START STOP UNIT load",
       [](auto& d) { return d.EjectMedium(false); },
       {0x1B, 0, 0, 0, 3, 0},
       0x40,
       0,
       20000,
       [] { return cdb::StartStopUnit(false); }},
      {"ALLOW REMOVAL",
       [](auto& d) { return d.AllowMediumRemoval(true); },
       {0x1E, 0, 0, 0, 0, 0},
       0x40,
       0,
       10000,
       [] { return cdb::PreventAllowMediumRemoval(true); }},
      {"PREVENT REMOVAL",
       [](auto& d) { return d.AllowMediumRemoval(false); },
       {0x1E, 0, 0, 0, 1, 0},
       0x40,
       0,
       10000,
       [] { return cdb::PreventAllowMediumRemoval(false); }},
      {"READ FORMAT CAPACITIES",
       [](auto& d) { return d.ReadFormatCapacitiesRaw(buf); },
       {0x23, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0},
       0x48,
       248,
       10000,
       [] { return cdb::ReadFormatCapacities(); }},
      {"READ CAPACITY",
       [](auto& d) {
         uint32_t a, b;
         return d.ReadCapacity(a, b);
       },
       {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       0x48,
       8,
       10000,
       [] { return cdb::ReadCapacity(); }},
      {"READ (10)",
       [](auto& d) { return d.ReadSectors(0x01020304, 0x0506, 0x2800, buf); },
       {0x28, 0, 1, 2, 3, 4, 0, 5, 6, 0},
       0x48,
       0x2800,
       10000,
       [] { return cdb::Read10(0x01020304, 0x0506, 0x2800); }},
      {"WRITE (10)",
       [](auto& d) { return d.WriteSectors(0x00ABCDEF, 32, 0x50, 65536, buf); },
       {0x2A, 0, 0, 0xAB, 0xCD, 0xEF, 0, 0, 32, 0},
       0x50,
       65536,
       120000,
       [] { return cdb::Write10(0x00ABCDEF, 32, 0x50, 65536); }},
      {"SYNCHRONIZE CACHE immed",
       [](auto& d) { return d.SynchronizeCache(300000, true); },
       {0x35, 2, 0, 0, 0, 0, 0, 0, 0, 0},
       0x40,
       0,
       300000,
       [] { return cdb::SynchronizeCache(300000, true); }},
      {"SYNCHRONIZE CACHE",
       [](auto& d) { return d.SynchronizeCache(1000, false); },
       {0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       0x40,
       0,
       1000,
       [] { return cdb::SynchronizeCache(1000, false); }},
      {"READ TOC",
       [](auto& d) { return d.ReadTOC(4, buf, 0, true, 1, 26); },
       {0x43, 2, 4, 0, 0, 0, 1, 0, 26, 0},
       0x48,
       26,
       10000,
       [] { return cdb::ReadToc(4, 0, true, 1, 26); }},
      {"GET CONFIGURATION",
       [](auto& d) { return d.GetConfiguration(2, 0x2F, 114, buf); },
       {0x46, 2, 0, 0x2F, 0, 0, 0, 0, 114, 0},
       0x48,
       114,
       30000,
       [] { return cdb::GetConfiguration(2, 0x2F, 114); }},
      {"READ DISC INFORMATION",
       [](auto& d) { return d.ReadDiscInformation(buf, 56); },
       {0x51, 0, 0, 0, 0, 0, 0, 0, 56, 0},
       0x48,
       56,
       10000,
       [] { return cdb::ReadDiscInformation(56); }},
      {"READ TRACK INFORMATION",
       [](auto& d) { return d.ReadTrackInformation(0xFF); },
       {0x52, 1, 0, 0, 0, 0xFF, 0, 0, 0x28, 0},
       0x48,
       40,
       60000,
       [] { return cdb::ReadTrackInformation(0xFF); }},
      {"RESERVE TRACK",
       [](auto& d) { return d.ReserveTrack(0x00112233); },
       {0x53, 0, 0, 0, 0, 0, 0x11, 0x22, 0x33, 0, 0, 0},
       0x40,
       0,
       10000,
       [] { return cdb::ReserveTrack(0x00112233); }},
      {"SEND OPC INFORMATION",
       [](auto& d) { return d.SendOPCInformation(); },
       {0x54, 1, 0, 0, 0, 0, 0, 0, 0, 0},
       0x40,
       0,
       150000,
       [] { return cdb::SendOpcInformation(); }},
      {"MODE SELECT (10)",
       [&](auto& d) { return d.ModeSelect(list, 12); },
       {0x55, 0x10, 0, 0, 0, 0, 0, 0, 12, 0},
       0x50,
       12,
       10000,
       [] { return cdb::ModeSelect10(12); }},
      {"MODE SENSE current",
       [](auto& d) { return d.ModeSense(0x2A, buf, false, 128, 255); },
       {0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 128, 0},
       0x48,
       128,
       20000,
       [] { return cdb::ModeSense10(0x2A, false, 128); }},
      {"MODE SENSE defaults",
       [](auto& d) { return d.ModeSense(0x2A, buf, true, 255, 255); },
       {0x5A, 0, 0xAA, 0, 0, 0, 0, 0, 255, 0},
       0x48,
       255,
       20000,
       [] { return cdb::ModeSense10(0x2A, true, 255); }},
      {"CLOSE track",
       [](auto& d) { return d.CloseSessionCommand(true, true, false); },
       {0x5B, 1, 1, 0, 0, 0xFF, 0, 0, 0, 0},
       0x40,
       0,
       180000,
       [] { return cdb::CloseSession(true, true, false); }},
      {"CLOSE session",
       [](auto& d) { return d.CloseSessionCommand(false, false, false); },
       {0x5B, 0, 2, 0, 0, 0, 0, 0, 0, 0},
       0x40,
       0,
       180000,
       [] { return cdb::CloseSession(false, false, false); }},
      {"CLOSE finalize",
       [](auto& d) { return d.CloseSessionCommand(true, false, true); },
       {0x5B, 0, 5, 0, 0, 0xFF, 0, 0, 0, 0},
       0x40,
       0,
       180000,
       [] { return cdb::CloseSession(true, false, true); }},
      {"CLOSE TRACK/SESSION",
       [](auto& d) { return d.CloseTrackSession(true, 6, 7, 8, 9); },
       {0x5B, 1, 6, 7, 8, 9, 0, 0, 0, 0},
       0x40,
       0,
       180000,
       [] { return cdb::CloseTrackSession(true, 6, 7, 8, 9); }},
      {"READ BUFFER CAPACITY",
       [](auto& d) { return d.ReadBufferCapacityRaw(buf); },
       {0x5C, 0, 0, 0, 0, 0, 0, 0, 0x20, 0},
       0x48,
       32,
       10000,
       [] { return cdb::ReadBufferCapacity(); }},
      {"BLANK",
       [](auto& d) { return d.Blank(1); },
       {0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       0x40,
       0,
       4800000,
       [] { return cdb::Blank(1); }},
      {"SET STREAMING",
       [&](auto& d) { return d.SetStreaming(list, 12); },
       {0xB6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 12, 0},
       0x50,
       12,
       10000,
       [] { return cdb::SetStreaming(12); }},
      {"SET CD SPEED",
       [](auto& d) { return d.SetSpeed(0x1234, 2770); },
       {0xBB, 0, 0x12, 0x34, 0x0A, 0xD2, 0, 0, 0, 0, 0, 0},
       0x40,
       0,
       10000,
       [] { return cdb::SetCdSpeed(0x1234, 2770); }},
      {"SET CD SPEED maximum",
       [](auto& d) { return d.SetSpeed(0, 0); },
       {0xBB, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0},
       0x40,
       0,
       10000,
       [] { return cdb::SetCdSpeed(0, 0); }},
      {"SEND DVD STRUCTURE",
       [&](auto& d) { return d.SendDVDStructure(0x0F, list, 12); },
       {0xBF, 0, 0, 0, 0, 0, 0, 0x0F, 0, 12, 0, 0},
       0x50,
       12,
       10000,
       [] { return cdb::SendDvdStructure(0x0F, 12); }},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.name);
    TDriveFixture f;
    EXPECT_TRUE(row.issue(*f.drive));
    ASSERT_EQ(f.backend->Seen().size(), 1u);
    const auto& seen = f.backend->Seen()[0];
    EXPECT_EQ(seen.cdb, row.cdb);
    EXPECT_EQ(seen.flags, row.flags);
    EXPECT_EQ(seen.bufLen, row.bufLen);
    ASSERT_EQ(f.clock.waits.size(), 1u);
    EXPECT_EQ(f.clock.waits[0], std::max(row.timeoutMs, 10000));
    const cdb::TCommandBlock block = row.block();
    EXPECT_EQ(block.timeoutMs, row.timeoutMs);
    EXPECT_EQ(block.length, row.cdb.size());
    if (seen.flags & 0x10) {
      EXPECT_EQ(seen.outData.size(), row.bufLen);
    }
  }
}

TEST(CommandTable, LogicalUnitGoesIntoCdbByteOneAndParameterListsAreSent) {
  TDriveFixture f;
  f.drive->SetCurrentAddress(0, 3, 2);
  const uint8_t list[4] = {9, 8, 7, 6};
  EXPECT_TRUE(f.drive->FormatUnit(0x1F, list, 4));
  const auto& seen = f.backend->Seen().at(0);
  EXPECT_EQ(seen.cdb[1], 0x5F);  // unit 2 in bits 5-7, the command's own bits 0-4 kept
  EXPECT_EQ(seen.outData, std::vector<uint8_t>(list, list + 4));
}

TEST(CommandTable, ReadTocRefusesAllocationAbove255) {
  TDriveFixture f;
  uint8_t buf[512];
  EXPECT_THROW(f.drive->ReadTOC(0, buf, 0, false, 0, 256), ERangeError);
  EXPECT_TRUE(f.backend->Seen().empty());
}

TEST(CommandTable, AnswersAreConvertedAndCopied) {
  TDriveFixture f;
  f.backend->handler = [](TSCSIRequest& r) {
    for (uint32_t i = 0; i < r.BufLen; ++i) r.BufPointer[i] = static_cast<uint8_t>(i + 1);
  };
  uint32_t last = 0, len = 0;
  ASSERT_TRUE(f.drive->ReadCapacity(last, len));
  EXPECT_EQ(last, 0x01020304u);
  EXPECT_EQ(len, 0x05060708u);
  ASSERT_TRUE(f.drive->ReadTrackInformation(1));
  const auto& ti = f.drive->TrackInfo();
  EXPECT_EQ(ti[0], 2);  // data length bytes swapped
  EXPECT_EQ(ti[1], 1);
  EXPECT_EQ(ti[2], 3);   // single bytes stay
  EXPECT_EQ(ti[8], 12);  // track start reversed to little-endian
  EXPECT_EQ(ti[11], 9);
  EXPECT_EQ(ti[32], 33);  // bytes past 31 stay
  uint8_t page[256];
  std::memset(page, 0xEE, sizeof page);
  ASSERT_TRUE(f.drive->ModeSense(0x2A, page, false, 128, 200));
  EXPECT_EQ(page[0], 1);
  EXPECT_EQ(page[127], 128);
  EXPECT_EQ(page[128], 0);  // zeroed up to bufSize
  EXPECT_EQ(page[200], 0);  // bufSize + 1 bytes in all
  EXPECT_EQ(page[201], 0xEE);
}

TEST(CommandTable, FailedTrackInformationLeavesZeros) {
  TDriveFixture f;
  f.backend->handler = [](TSCSIRequest& r) {
    std::memset(r.BufPointer, 0x55, r.BufLen);
    test::CheckCondition(r, 5, 0x24, 0);
  };
  EXPECT_FALSE(f.drive->ReadTrackInformation(1));
  for (uint8_t b : f.drive->TrackInfo()) EXPECT_EQ(b, 0);
}

TEST(CommandTable, NoDriveSelectedReturnsAtOnce) {
  TDriveFixture f;
  f.drive->SetCurrentAddress(kNoDrive, kNoDrive, kNoDrive);
  uint8_t buf[2048];
  EXPECT_FALSE(f.drive->TestUnitReady(5000));
  EXPECT_FALSE(f.drive->ReadSectors(0, 1, 2048, buf));
  EXPECT_TRUE(f.drive->WriteSectors(0, 1, 0x50, 2048, buf));  // status 00h counts as success
  EXPECT_TRUE(f.drive->Blank(0));
  EXPECT_TRUE(f.backend->Seen().empty());
  EXPECT_EQ(f.drive->LastErrorText(), "");
}

}  // namespace
}  // namespace melvaro
