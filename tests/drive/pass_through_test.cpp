// The pass-through back end over a scripted kernel: which nodes become drives, their
// addresses and letters, the INQUIRY cache, handles, and failures of the kernel call.
#include <gtest/gtest.h>

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
  // kernel gives no address; /dev/sr4: a drive that opens read-only.
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

}  // namespace
}  // namespace melvaro::test
