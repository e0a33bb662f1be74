// The library back end through dlopen: the virtual recorder's plug-in with completion
// on the request's eventfd, and plug-ins that never complete or lack an export.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <thread>

#include "drive/scsi_device.h"
#include "drive_store.h"
#include "support/fakes.h"
#include "support/vrec_drive.h"

namespace melvaro::test {
namespace {

const std::string kBin = MELVARO_BIN_DIR;
const std::string kVrecPlugin = kBin + "/libwnaspi32.so";
const std::string kNeverCompletes = MELVARO_TEST_PLUGIN_DIR "/libnever_completes.so";
const std::string kWithoutSend = MELVARO_TEST_PLUGIN_DIR "/libwithout_send.so";

using TVrecFolder = TVrecFolderEnvironment;
const auto* const kFolder = ::testing::AddGlobalTestEnvironment(new TVrecFolder);

// Real waits, recording whether each one ended because the event was signalled.
class TRecordingClock final : public TClock {
 public:
  uint64_t NowMs() override { return SystemClock().NowMs(); }
  void SleepMs(unsigned ms) override { SystemClock().SleepMs(ms); }
  bool WaitForEvent(TEvent& event, int timeoutMs) override {
    const bool signalled = event.WaitFor(timeoutMs);
    ++waits;
    if (!signalled) ++timedOut;
    return signalled;
  }
  int waits = 0;
  int timedOut = 0;
};

void LoadMedium(int drive, vrec::TMediumKind kind) {
  vrec::TDriveStore store(TVrecFolder::folder, drive);
  std::string error;
  store.Refresh(&error);
  ASSERT_TRUE(store.InsertMedium(vrec::TMedium::Blank(kind), "", &error)) << error;
}

// Lists the drives, writes a CD-R session and reads it back through the plug-in.
void WriteAndReadBack(TRecordingClock& clock) {
  TTransport transport(std::make_unique<TFakeKernel>());
  TSCSIDevice device(transport, clock);
  device.CompletionSpins = 0;  // every pending command waits on its eventfd
  ASSERT_TRUE(device.InitializeASPI(false, kVrecPlugin));
  EXPECT_EQ(transport.TransportName(), "WNASPI32.DLL");
  EXPECT_EQ(device.HostAdapterCount(), 1);
  ASSERT_EQ(device.DeviceList(),
            (std::vector<std::string>{"0:0:0,V: MELVARO VIRTUAL DVD-RW  1.00",
                                      "0:1:0,W: MELVARO VIRTUAL CD-RW   1.00"}));

  LoadMedium(0, vrec::TMediumKind::CdR);
  device.SetCurrentAddress(0, 0, 0);
  EXPECT_EQ(device.DriveLetter(), 'V');
  ASSERT_TRUE(device.TestUnitReady(5000)) << device.LastErrorText();
  ASSERT_TRUE(device.InquiryDevice());
  EXPECT_EQ(std::string(device.InquiryData().begin() + 16, device.InquiryData().begin() + 32),
            "VIRTUAL DVD-RW  ");

  uint8_t list[60] = {0, 0, 0, 0, 0, 0, 0, 0, 0x05, 0x32, 0x01, 0xC4, 0x08};
  ASSERT_TRUE(device.ModeSelect(list, sizeof list)) << device.LastErrorText();
  std::vector<uint8_t> data(27 * 2048);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + i / 2048);
  ASSERT_TRUE(device.WriteSectors(0, 27, 0x50, static_cast<uint32_t>(data.size()), data.data()))
      << device.LastErrorText();
  ASSERT_TRUE(device.SynchronizeCache(120000, false));
  ASSERT_TRUE(device.CloseSessionCommand(false, false, false)) << device.LastErrorText();

  std::vector<uint8_t> back(data.size(), 0xEE);
  ASSERT_TRUE(device.ReadSectors(0, 27, static_cast<uint32_t>(back.size()), back.data()));
  EXPECT_EQ(back, data);
  // A failure comes back with its sense data.
  EXPECT_FALSE(device.ReadSectors(500, 1, 2048, back.data()));
  EXPECT_EQ(device.LastSense()[2] & 0x0F, 0x05);
  EXPECT_EQ(device.LastSense()[12], 0x21);
  EXPECT_FALSE(device.LastErrorText().empty());
}

TEST(LibraryBackend, CompletesCommandsOnTheCallersThread) {
  TRecordingClock clock;
  WriteAndReadBack(clock);
  EXPECT_EQ(clock.waits, 0) << "every command's status was final when it was sent";
}

TEST(LibraryBackend, CompletesQueuedCommandsThroughTheirEventfd) {
  setenv("MELVARO_VREC_ASYNC", "1", 1);  // read when the plug-in starts
  TRecordingClock clock;
  WriteAndReadBack(clock);
  EXPECT_GT(clock.waits, 0) << "commands were still running when sent";
  EXPECT_EQ(clock.timedOut, 0) << "every command completed through its eventfd";
}

// Two threads send at once: one record runs on its sender's thread while the other is
// queued for the plug-in's worker, and every record still runs once and in order.
TEST(LibraryBackend, RecordsFromTwoThreadsRunOneAtATime) {
  LoadMedium(0, vrec::TMediumKind::CdR);
  LoadMedium(1, vrec::TMediumKind::CdR);
  TTransport transport(std::make_unique<TFakeKernel>());
  ASSERT_TRUE(transport.Initialize(false, kVrecPlugin));
  auto run = [&](uint8_t target, uint8_t fill, bool& ok) {
    TSCSIDevice device(transport, SystemClock());
    device.SetCurrentAddress(0, target, 0);
    uint8_t list[60] = {0, 0, 0, 0, 0, 0, 0, 0, 0x05, 0x32, 0x01, 0xC4, 0x08};
    ok = device.ModeSelect(list, sizeof list);
    std::vector<uint8_t> data(2048, fill), back(2048);
    for (uint32_t block = 0; ok && block < 300; ++block) {
      ok = device.WriteSectors(block, 1, 0x50, 2048, data.data()) &&
           device.ReadSectors(block, 1, 2048, back.data()) && back == data;
    }
  };
  bool first = false, second = false;
  std::thread other([&] { run(1, 0x11, second); });
  run(0, 0x22, first);
  other.join();
  EXPECT_TRUE(first);
  EXPECT_TRUE(second);
}

TEST(LibraryBackend, PreferencesChooseBetweenPassThroughAndPlugin) {
  {  // no kernel drives: the pass-through layer finds nothing and the plug-in is used
    TTransport transport(std::make_unique<TFakeKernel>());
    ASSERT_TRUE(transport.Initialize(true, kVrecPlugin));
    EXPECT_EQ(transport.TransportName(), "WNASPI32.DLL");
  }
  auto kernelWithDrive = [] {
    auto kernel = std::make_unique<TFakeKernel>();
    kernel->nodes[0].inquiry = InquiryAnswer("KERNEL", "DRIVE", "1.0");
    return kernel;
  };
  {
    TTransport transport(kernelWithDrive());
    ASSERT_TRUE(transport.Initialize(true, kVrecPlugin));
    EXPECT_EQ(transport.TransportName(), "QXASPI32");
  }
  {
    TTransport transport(kernelWithDrive());
    ASSERT_TRUE(transport.Initialize(false, kVrecPlugin));
    EXPECT_EQ(transport.TransportName(), "WNASPI32.DLL");
  }
}

TEST(LibraryBackend, APluginWithoutSendIsRefused) {
  TTransport transport(std::make_unique<TFakeKernel>());
  EXPECT_THROW(transport.Initialize(false, kWithoutSend), EAssertionFailed);
  EXPECT_FALSE(transport.ASPIInitialized());
  TFakeClock clock;
  TSCSIDevice device(transport, clock);
  EXPECT_FALSE(device.InitializeASPI(false, kWithoutSend));
}

TEST(LibraryBackend, ACommandThatNeverCompletesIsAbortedAndReportedAsTimeout) {
  TTransport transport(std::make_unique<TFakeKernel>());
  TFakeClock clock;
  TSCSIDevice device(transport, clock);
  ASSERT_TRUE(device.InitializeASPI(false, kNeverCompletes));
  void* plugin = dlopen(kNeverCompletes.c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(plugin, nullptr);
  auto aborts = reinterpret_cast<int (*)()>(dlsym(plugin, "TestPluginAborts"));
  ASSERT_NE(aborts, nullptr);

  device.SetCurrentAddress(0, 0, 0);
  const int before = aborts();
  clock.waits.clear();
  EXPECT_FALSE(device.TestUnitReady(5000));
  EXPECT_EQ(clock.waits, std::vector<int>{10000}) << "at least ten seconds";
  EXPECT_EQ(aborts(), before + 1);
  EXPECT_EQ(device.LastErrorText(), "COMMAND TIMEOUT");
  dlclose(plugin);
}

}  // namespace
}  // namespace melvaro::test
