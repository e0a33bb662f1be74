// How a failed command becomes LastErrorText, LastSense and the debug report lines.
#include <gtest/gtest.h>

#include "drive/scsi_device.h"
#include "support/fakes.h"

namespace melvaro {
namespace {

using test::CheckCondition;

struct TReportFixture {
  TReportFixture() : transport(std::make_unique<test::TFakeKernel>()) {
    auto scripted = std::make_unique<test::TScriptedBackend>();
    backend = scripted.get();
    // Created before the transport is up, so that no drive scan runs first.
    drive = std::make_unique<TSCSIDevice>(transport, clock);
    transport.UseBackend(std::move(scripted), "SCRIPTED");
    drive->SetCurrentAddress(1, 0, 0);
    drive->OnDebugMessage = [this](TSCSIDevice* sender, const std::string& m, uint8_t type) {
      EXPECT_EQ(sender, drive.get());
      lines.push_back({m, type});
    };
  }
  TTransport transport;
  test::TFakeClock clock;
  test::TScriptedBackend* backend;
  std::unique_ptr<TSCSIDevice> drive;
  std::vector<std::pair<std::string, uint8_t>> lines;
};

TEST(FailureText, SenseDecidesForCheckCondition) {
  struct Case {
    const char* name;
    std::function<void(TSCSIRequest&)> answer;
    const char* text;
    bool busy;
  };
  const Case cases[] = {
      {"no medium", [](auto& r) { CheckCondition(r, 2, 0x3A, 0x01, 10); },
       "NOT READY (MEDIUM NOT PRESENT - TRAY CLOSED)", false},
      {"additional length 0", [](auto& r) { CheckCondition(r, 2, 0x3A, 0x01, 0); }, "NOT READY",
       false},
      {"pair outside the table", [](auto& r) { CheckCondition(r, 5, 0x80, 0x00); },
       "ILLEGAL REQUEST (128,0)", false},
      {"key 9", [](auto& r) { CheckCondition(r, 9, 0x00, 0x00); },
       "CHECK CONDITION (NO ADDITIONAL SENSE INFORMATION)", false},
      {"no sense bytes (failed pass-through call)", [](auto& r) { r.Status = kSsErr; }, "", false},
      {"busy target",
       [](auto& r) {
         r.Status = kSsErr;
         r.TargStat = kStatusBusy;
       },
       "TARGET BUSY", true},
      {"no device", [](auto& r) { r.Status = kSsNoDevice; }, "NO DEVICE", false},
      {"aborted", [](auto& r) { r.Status = kSsAborted; }, "OPERATION ABORTED BY USER", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TReportFixture f;
    f.backend->handler = c.answer;
    EXPECT_FALSE(f.drive->TestUnitReady(5000));
    EXPECT_EQ(f.drive->LastErrorText(), c.text);
    EXPECT_EQ(f.drive->TargetBusy(), c.busy);
  }
}

TEST(FailureText, LastErrorAndSenseDescribeOnlyTheLatestCommand) {
  TReportFixture f;
  f.backend->handler = [](auto& r) { CheckCondition(r, 3, 0x11, 0x00); };
  uint8_t buf[2048];
  EXPECT_FALSE(f.drive->ReadSectors(5, 1, 2048, buf));
  EXPECT_EQ(f.drive->LastErrorText(), "MEDIUM ERROR (UNRECOVERED READ ERROR)");
  EXPECT_EQ(f.drive->LastSense()[12], 0x11);
  f.backend->handler = nullptr;
  EXPECT_TRUE(f.drive->ReadSectors(5, 1, 2048, buf));
  EXPECT_EQ(f.drive->LastErrorText(), "");
  EXPECT_EQ(f.drive->LastSense()[12], 0);
}

TEST(ReportLine, TestUnitReadyWithoutMediumReadsExactly) {
  TReportFixture f;
  TSCSIRequest seen{};
  f.backend->handler = [&](TSCSIRequest& r) {
    CheckCondition(r, 2, 0x3A, 0x01, 10);
    seen = r;
  };
  EXPECT_FALSE(f.drive->TestUnitReady(5000));
  EXPECT_EQ(ReportLine(seen, f.drive->LastErrorText()),
            "<<< TEST UNIT READY        (00) {40|06} - 1:0:0 <04> [00000] 00 00 00 00 00 00 00 00 "
            "00 00 00 00 00 00 "
            "00  |= 00 02 70 02 ASC:3A,ASQ:01 NOT READY (MEDIUM NOT PRESENT - TRAY CLOSED)");
  // TEST UNIT READY failing first is expected and not reported.
  EXPECT_TRUE(f.lines.empty());
}

TEST(ReportLine, SummaryShowsTargetInHexAndAtMost257DataBytes) {
  TSCSIRequest r{};
  std::vector<uint8_t> data(300, 0xAB);
  r.HaId = 2;
  r.Target = 11;
  r.Lun = 0;
  r.Flags = 0x50;
  r.CDBLen = 10;
  r.CDB[0] = 0x2A;
  r.CDB[8] = 1;
  r.BufLen = 0x12345;
  r.BufPointer = data.data();
  r.Status = kSsErr;
  const std::string s = RequestSummary(r);
  const std::string want =
      "WRITE (10)             (2A) {50|0A} - 2:B:0 <04> [12345] 00 00 00 00 00 00 00 01 00 00 00 "
      "00 00 00 00  |AB AB ";
  EXPECT_EQ(s.rfind(want, 0), 0u) << s;
  size_t count = 0;
  for (size_t at = s.find('|'); (at = s.find("AB ", at)) != std::string::npos; at += 3) ++count;
  EXPECT_EQ(count, 257u);
}

TEST(ReportLine, OnlyTheFirstCommandOfADriveObjectIsReported) {
  TReportFixture f;
  f.backend->handler = [](auto& r) { CheckCondition(r, 3, 0x11, 0x00); };
  uint8_t buf[2048] = {};
  EXPECT_FALSE(f.drive->ReadSectors(7, 1, 2048, buf));
  EXPECT_FALSE(f.drive->ReadSectors(8, 1, 2048, buf));
  ASSERT_EQ(f.lines.size(), 1u);
  EXPECT_EQ(f.lines[0].second, 0);
  const std::string want =
      "<<< READ (10)              (28) {48|0A} - 1:0:0 <04> [00800] 00 00 00 00 07";
  EXPECT_EQ(f.lines[0].first.rfind(want, 0), 0u) << f.lines[0].first;
  EXPECT_NE(
      f.lines[0].first.find("= 00 02 70 03 ASC:11,ASQ:00 MEDIUM ERROR (UNRECOVERED READ ERROR)"),
      std::string::npos);
}

TEST(ReportLine, LongWriteInProgressAndQuietCommandsAreNotReported) {
  for (int quiet = 0; quiet < 2; ++quiet) {
    TReportFixture f;
    uint8_t buf[2048] = {};
    if (quiet == 0) {
      f.backend->handler = [](auto& r) { CheckCondition(r, 2, 0x04, 0x08); };
      EXPECT_FALSE(f.drive->ReadSectors(0, 1, 2048, buf));
    } else {
      f.backend->handler = [](auto& r) { CheckCondition(r, 5, 0x24, 0x00); };
      EXPECT_FALSE(f.drive->ModeSense(0x2A, buf, false, 128, 255));
    }
    EXPECT_TRUE(f.drive->ErrorReported());
    EXPECT_TRUE(f.lines.empty());
  }
}

TEST(ReportLine, UnalignedBufferAddsTheAlignmentLine) {
  TReportFixture f;
  f.drive->SetErrorReported(true);
  alignas(8) uint8_t buf[2056] = {};
  EXPECT_TRUE(f.drive->ReadSectors(0, 1, 2048, buf + 1));
  ASSERT_EQ(f.lines.size(), 1u);
  EXPECT_EQ(f.lines[0].first, "aaaa" + std::to_string(reinterpret_cast<uintptr_t>(buf + 1)));
  EXPECT_EQ(f.lines[0].second, 0);
}

TEST(Timeout, PendingRequestIsAbortedAndReportsCommandTimeout) {
  TReportFixture f;
  f.backend->deferred = true;  // never completed: the clock's wait runs out
  EXPECT_FALSE(f.drive->TestUnitReady(3000));
  EXPECT_EQ(f.clock.waits, std::vector<int>{10000});
  EXPECT_EQ(f.backend->aborts, 1);
  EXPECT_EQ(f.drive->LastErrorText(), "COMMAND TIMEOUT");
}

TEST(Timeout, ASignalForAnEarlierCommandDoesNotEndTheWait) {
  TReportFixture f;
  f.backend->deferred = true;
  int waits = 0;
  f.clock.onWait = [&] {
    if (++waits == 1)
      f.backend->SignalPending();  // stale: the record is still pending
    else
      f.backend->CompletePending();
  };
  EXPECT_TRUE(f.drive->TestUnitReady(3000)) << f.drive->LastErrorText();
  EXPECT_EQ(f.clock.waits, (std::vector<int>{10000, 10000}));
  EXPECT_EQ(f.backend->aborts, 0);
}

}  // namespace
}  // namespace melvaro
