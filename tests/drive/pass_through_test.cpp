// The pass-through back end over a scripted kernel: which nodes become drives, their
// addresses and letters, the INQUIRY cache, handles, and failures of the kernel call.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

#include "drive/node_access.h"
#include "drive/scsi_device.h"
#include "support/fakes.h"

namespace melvaro::test {
namespace {

std::string Entry(const std::string& address, char letter, const std::string& v8,
                  const std::string& p16, const std::string& r4) {
  return address + "," + letter + ": " + v8 + p16 + r4;
}

class PassThrough : public ::testing::Test {
 protected:
  // /dev/sr0: a drive at host 1, target 3; /dev/sr1: a hard disk; /dev/sr2: a drive the
  // kernel gives no address; /dev/sr3: a drive this user may not open; /dev/sr4: a
  // drive that opens read-only.
  void SetUp() override {
    auto k = std::make_unique<TFakeKernel>();
    k->nodes[0].inquiry = InquiryAnswer("PLEXTOR ", "DVDR   PX-716A  ", "1.11");
    k->nodes[0].address = {1, 0, 3, 0};
    k->nodes[1].deviceType = 0;
    k->nodes[2].inquiry = InquiryAnswer("USB     ", "PORTABLE WRITER ", "2.00");
    k->nodes[2].hasAddress = false;
    k->nodes[4].inquiry = InquiryAnswer("LITE-ON ", "DVDRW SOHW-1633S", "BS0C");
    k->nodes[4].address = {0, 0, 0, 0};
    k->nodes[4].readOnly = true;
    k->nodes[4].owner = {true, "root", "cdrom", 0640, true};
    k->nodes[3].openable = false;
    kernel = k.get();
    transport = std::make_unique<TTransport>(std::move(k));
    device = std::make_unique<TSCSIDevice>(*transport, clock);
    ASSERT_TRUE(device->InitializeASPI(true, "/nonexistent/libwnaspi32.so"));
  }
  TFakeKernel* kernel = nullptr;
  TFakeClock clock;
  std::unique_ptr<TTransport> transport;
  std::unique_ptr<TSCSIDevice> device;
};

TEST_F(PassThrough, DrivesAreListedWithAddressesAndLetters) {
  EXPECT_EQ(transport->TransportName(), "QXASPI32");
  EXPECT_EQ(device->HostAdapterCount(), 3) << "hosts 0 and 1, and the extra adapter";
  EXPECT_EQ(device->DeviceList(), (std::vector<std::string>{
                                      Entry("0:0:0", 'G', "LITE-ON ", "DVDRW SOHW-1633S", "BS0C"),
                                      Entry("1:3:0", 'C', "PLEXTOR ", "DVDR   PX-716A  ", "1.11"),
                                      Entry("2:0:0", 'E', "USB     ", "PORTABLE WRITER ", "2.00"),
                                  }));
  device->SetCurrentAddress(2, 0, 0);
  EXPECT_EQ(device->DriveLetter(), 'E');
  device->SetCurrentAddress(1, 5, 0);
  EXPECT_EQ(device->DriveLetter(), '\x7f') << "no such address";
}

TEST_F(PassThrough, InquiryIsAnsweredFromTheCacheWith36Bytes) {
  const size_t sent = kernel->cdbs.size();
  device->SetCurrentAddress(1, 3, 0);
  ASSERT_TRUE(device->InquiryDevice());
  EXPECT_EQ(kernel->cdbs.size(), sent) << "the kernel is not asked again";
  const auto& data = device->InquiryData();
  EXPECT_EQ(std::string(data.begin() + 8, data.begin() + 36), "PLEXTOR DVDR   PX-716A  1.11");
  for (size_t i = 36; i < 128; ++i) EXPECT_EQ(data[i], 0) << "byte " << i;
}

TEST_F(PassThrough, HandlesAreKeptOrReleasedAfterEachCommand) {
  device->SetCurrentAddress(0, 0, 0);
  const int opens = kernel->opens;
  ASSERT_TRUE(device->TestUnitReady(5000));
  ASSERT_TRUE(device->TestUnitReady(5000));
  EXPECT_EQ(kernel->opens, opens + 2) << "read-write refused, then read-only, once";
  EXPECT_EQ(kernel->fds.size(), 1u) << "the handle stays open";
  EXPECT_EQ(kernel->timeouts.back(), 120000u);

  const int closes = kernel->closes;
  ASSERT_TRUE(device->EjectMedium(false));
  EXPECT_EQ(kernel->closes, closes + 1) << "the eject releases the handle";
  EXPECT_TRUE(kernel->fds.empty());
  transport->SetReleaseHandleAfterCommand(true);
  ASSERT_TRUE(device->TestUnitReady(5000));
  ASSERT_TRUE(device->TestUnitReady(5000));
  EXPECT_EQ(kernel->closes, closes + 3);
  EXPECT_TRUE(kernel->fds.empty());
}

TEST_F(PassThrough, FailuresOfTheDriveAndOfTheKernelCall) {
  device->SetCurrentAddress(1, 3, 0);
  kernel->nodes[0].command = [](sg_io_hdr_t& hdr) {
    const uint8_t sense[18] = {0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x3A, 0x01};
    std::memcpy(hdr.sbp, sense, sizeof sense);
    hdr.sb_len_wr = sizeof sense;
    hdr.driver_status = 0x08;
    return 2;
  };
  EXPECT_FALSE(device->TestUnitReady(5000));
  EXPECT_EQ(device->LastSense()[2], 0x02);
  EXPECT_EQ(device->LastSense()[12], 0x3A);
  EXPECT_NE(device->LastErrorText().find("MEDIUM NOT PRESENT"), std::string::npos)
      << device->LastErrorText();

  // The kernel call itself failing, or the host adapter reporting an error, never
  // passes for success and always says why.
  struct {
    int result;          // -1: the ioctl fails
    uint8_t hostStatus;  // Linux DID_* code
    const char* text;
  } cases[] = {
      {-1, 0x00, "SELECTION TIMEOUT"}, {0, 0x01, "SELECTION TIMEOUT"},
      {0, 0x03, "COMMAND TIMEOUT"},    {0, 0x08, "BUS RESET"},
      {0, 0x06, "PARITY ERROR"},       {0, 0x07, "UNEXPECTED BUS FREE"},
  };
  for (const auto& c : cases) {
    kernel->nodes[0].command = [c](sg_io_hdr_t& hdr) {
      hdr.host_status = c.hostStatus;
      return c.result;
    };
    EXPECT_FALSE(device->TestUnitReady(5000)) << c.text;
    EXPECT_EQ(device->LastSense()[12], 0) << "no sense from a failed call";
    EXPECT_EQ(device->LastErrorText(), c.text);
  }
}

TEST_F(PassThrough, EachCommandReachesTheKernelWithItsOwnTimeoutOr120Seconds) {
  device->SetCurrentAddress(1, 3, 0);
  struct {
    const char* name;
    std::function<bool()> send;
    unsigned kernelMs;
  } cases[] = {
      {"TEST UNIT READY asking 5 s", [&] { return device->TestUnitReady(5000); }, 120000},
      {"WRITE (10) asking 120 s",
       [&] {
         uint8_t block[2048] = {};
         return device->WriteSectors(0, 1, cdb::kFlagsOut, sizeof block, block);
       },
       120000},
      {"SEND OPC INFORMATION", [&] { return device->SendOPCInformation(); }, 150000},
      {"CLOSE TRACK/SESSION", [&] { return device->CloseTrackSession(false, 2, 0, 0, 0); }, 180000},
      {"SYNCHRONIZE CACHE of a DVD", [&] { return device->SynchronizeCache(1800000, true); },
       1800000},
      {"BLANK", [&] { return device->Blank(0); }, 4800000},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(c.send()) << c.name;
    EXPECT_EQ(kernel->timeouts.back(), c.kernelMs) << c.name;
  }
}

TEST_F(PassThrough, TheSystemsReasonForAFailedCallIsInTheDebugLine) {
  std::vector<std::pair<std::string, uint8_t>> lines;
  device->OnDebugMessage = [&](TSCSIDevice*, const std::string& m, uint8_t type) {
    lines.emplace_back(m, type);
  };
  device->SetCurrentAddress(1, 3, 0);
  ASSERT_TRUE(device->TestUnitReady(5000));  // the one-time report is spent
  int result = -EPERM;
  kernel->nodes[0].command = [&](sg_io_hdr_t&) { return result; };
  uint32_t last = 0, length = 0;
  EXPECT_FALSE(device->ReadCapacity(last, length));
  EXPECT_EQ(device->LastErrorText(), "SELECTION TIMEOUT") << "the status mapping stays";
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].second, 0);
  EXPECT_EQ(lines[0].first.rfind("<<< READ CAPACITY", 0), 0u) << lines[0].first;
  EXPECT_NE(lines[0].first.find("SELECTION TIMEOUT [SG_IO /dev/sr0: Operation not permitted]"),
            std::string::npos)
      << lines[0].first;

  // The same reason again is not repeated; another reason, or the same one after a
  // success, is told.
  EXPECT_FALSE(device->ReadCapacity(last, length));
  EXPECT_EQ(lines.size(), 1u);
  result = -EIO;
  EXPECT_FALSE(device->TestUnitReady(5000));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[1].first.find("[SG_IO /dev/sr0: Input/output error]"), std::string::npos)
      << lines[1].first;
  result = 0;
  ASSERT_TRUE(device->TestUnitReady(5000));
  result = -EIO;
  EXPECT_FALSE(device->TestUnitReady(5000));
  EXPECT_EQ(lines.size(), 3u);

  // A drive's answer is not a system failure: the one-time report alone decides.
  kernel->nodes[0].command = [](sg_io_hdr_t& hdr) {
    const uint8_t sense[18] = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x20, 0x00};
    std::memcpy(hdr.sbp, sense, sizeof sense);
    hdr.sb_len_wr = sizeof sense;
    return 2;
  };
  EXPECT_FALSE(device->ReadCapacity(last, length));
  EXPECT_EQ(lines.size(), 3u);

  // A node that no longer opens: the open's reason.
  device->EjectMedium(false);  // refused by the drive, but gives the handle back
  ASSERT_TRUE(kernel->fds.empty());
  kernel->nodes[0].openable = false;
  EXPECT_FALSE(device->TestUnitReady(5000));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_NE(lines[3].first.find("SELECTION TIMEOUT [open /dev/sr0: Permission denied]"),
            std::string::npos)
      << lines[3].first;
}

TEST_F(PassThrough, NodesThisUserCannotUseAreNamedWithTheReason) {
  const auto notes = NodeAccessNotes(*transport);
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(notes[0],
            "/dev/sr3: permission denied, the drive is not listed (owner root, group cdrom, mode "
            "0660); this user is not in group cdrom: add the user to it and log in again");
  EXPECT_EQ(notes[1],
            "/dev/sr4 opens for reading only (Permission denied; owner root, group cdrom, mode "
            "0640): discs can be read, but writing and erasing need write permission on the "
            "node; the mode gives group cdrom no write permission");
  for (const std::string& entry : device->DeviceList())
    EXPECT_EQ(entry.find(",F:"), std::string::npos) << "sr3 is not listed: " << entry;

  device->SetCurrentAddress(0, 0, 0);
  EXPECT_EQ(ReadOnlyNote(*device), notes[1]);
  device->SetCurrentAddress(1, 3, 0);
  EXPECT_EQ(ReadOnlyNote(*device), "") << "sr0 opens for writing";

  // Other reasons, and a node whose owner cannot be looked up.
  EXPECT_EQ(UnreachableNodeText("/dev/sr5", EBUSY, false, TNodeOwner{}),
            "/dev/sr5: cannot be opened (Device or resource busy)");
  EXPECT_EQ(UnreachableNodeText("/dev/sr5", EIO, true, TNodeOwner{}),
            "/dev/sr5: the drive did not answer INQUIRY (Input/output error)");
  EXPECT_EQ(UnreachableNodeText("/dev/sr5", EACCES, false, {true, "root", "disk", 0600, true}),
            "/dev/sr5: permission denied, the drive is not listed (owner root, group disk, mode "
            "0600); the mode gives group disk no read permission");
  EXPECT_EQ(ReadOnlyNodeText("/dev/sr5", EROFS, TNodeOwner{}),
            "/dev/sr5 opens for reading only (Read-only file system): discs can be read, but "
            "writing and erasing need write permission on the node");
}

}  // namespace
}  // namespace melvaro::test

namespace melvaro::test {
namespace {

// An emulated ATAPI drive keeps no default mode values: its capabilities are read from
// the current ones.
TEST_F(PassThrough, CapabilitiesOfADriveWithoutDefaultModeValues) {
  device->SetCurrentAddress(1, 3, 0);
  std::vector<uint8_t> pageControls;
  kernel->nodes[0].command = [&](sg_io_hdr_t& hdr) {
    if (hdr.cmdp[0] != 0x5A) return 0;
    const bool capabilities = (hdr.cmdp[2] & 0x3F) == 0x2A;
    if (capabilities) pageControls.push_back(hdr.cmdp[2] & 0xC0);
    if ((hdr.cmdp[2] & 0xC0) != 0 || !capabilities) {  // INVALID FIELD IN CDB
      const uint8_t sense[18] = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x00};
      std::memcpy(hdr.sbp, sense, sizeof sense);
      hdr.sb_len_wr = sizeof sense;
      return 2;
    }
    auto* out = static_cast<uint8_t*>(hdr.dxferp);
    std::memset(out, 0, hdr.dxfer_len);
    out[1] = 34;
    out[8] = 0x2A;
    out[9] = 26;
    out[10] = 0x09;  // reads CD-R and DVD-ROM
    out[16] = 0x02;  // 704 kB/s
    out[17] = 0xC0;
    return 0;
  };
  ASSERT_TRUE(device->ReadCapabilities());
  EXPECT_EQ(pageControls, (std::vector<uint8_t>{0x80, 0x00, 0x00}))
      << "defaults, current values in their place, and the current values kept as the page";
  const uint32_t caps = device->DeviceCapabilities();
  EXPECT_TRUE(caps & TSCSIDevice::capReadCDR);
  EXPECT_TRUE(caps & TSCSIDevice::capReadDVDROM);
  EXPECT_FALSE(caps & TSCSIDevice::capWriteCDR);
  EXPECT_EQ(device->DeviceMaxReadSpeed(), 704);
}

}  // namespace
}  // namespace melvaro::test
