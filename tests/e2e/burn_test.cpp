// Burning compilations and images through the engine to every writable virtual medium:
// the commands that reach the drive, the disc read back by xorriso, and the failures.
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <mutex>

#include "platform/byte_order.h"
#include "support/burn_fixture.h"

namespace melvaro::test {
namespace {

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new TVrecFolderEnvironment);

struct TBurnCase {
  const char* name;
  vrec::TMediumKind medium;
  std::vector<std::string> closes;
  bool format;  // an unformatted DVD+RW: formatted by the write thread
};

// Failure messages name the case rather than dump its bytes.
void PrintTo(const TBurnCase& c, std::ostream* os) {
  *os << c.name;
}

class BurnMedia : public Burn, public ::testing::WithParamInterface<TBurnCase> {};

TEST_P(BurnMedia, CompilationReadsBackAsItsSources) {
  const TBurnCase& c = GetParam();
  Load(c.medium);
  recorder->Clear();
  ASSERT_EQ(BurnCompilation(), "");
  const auto ops = Ops();
  EXPECT_EQ(Closes(), c.closes);
  // Data, then the flush, then the restore: write parameters for kind 1, the maximum
  // read speed with write speed 2, the tray loaded.
  const auto lastWrite = std::find(ops.rbegin(), ops.rend(), "2A");
  ASSERT_NE(lastWrite, ops.rend());
  EXPECT_NE(std::find(ops.rbegin(), lastWrite, "35"), lastWrite) << "SYNCHRONIZE CACHE";
  const std::vector<std::string> tail(ops.end() - 6, ops.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"BB", "01", "1E", "1B", "01", "00"}));
  EXPECT_NE(std::find(ops.rbegin(), ops.rbegin() + 12, "55"), ops.rbegin() + 12);
  const auto cdbs = recorder->Cdbs();
  const auto& speed = cdbs[cdbs.size() - 6];
  EXPECT_EQ(GetBe16(&speed[4]), 2) << "write speed 2 kB/s";
  EXPECT_EQ(cdbs[cdbs.size() - 3][4], 0x03) << "load, not eject";
  EXPECT_EQ(std::count(ops.begin(), ops.end(), "04") > 0, c.format);
  if (c.medium == vrec::TMediumKind::DvdR) {
    EXPECT_NE(std::find(ops.begin(), ops.end(), "53"), ops.end()) << "RESERVE TRACK";
    EXPECT_NE(std::find(ops.begin(), ops.end(), "BF"), ops.end()) << "time stamp";
  }
  EXPECT_EQ(burner->BytesWritten(), burner->ImageBlocks() * 2048);
  CheckDisc(burner->StartBlock);
  // A DVD write carries 32 blocks; past the image's end they hold zeros, not the bytes
  // of an earlier block.
  const uint32_t end = static_cast<uint32_t>(burner->StartBlock + burner->ImageBlocks());
  if (!vrec::KindInfo(c.medium).cd && end % 32 != 0) {
    const uint32_t tail = 32 - end % 32;
    std::vector<uint8_t> rest(size_t{tail} * 2048, 0xEE);
    ASSERT_TRUE(device->ReadSectors(end, static_cast<uint16_t>(tail), tail * 2048u, rest.data()));
    EXPECT_EQ(rest, std::vector<uint8_t>(rest.size(), 0));
  }
  EXPECT_FALSE(burner->JobRunning());
  EXPECT_EQ(burner->CacheFillPercent(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Vrec, BurnMedia,
    ::testing::Values(
        TBurnCase{"CdR", vrec::TMediumKind::CdR, {"5B.2"}, false},
        TBurnCase{"CdRw", vrec::TMediumKind::CdRw, {"5B.2"}, false},
        TBurnCase{"DvdR", vrec::TMediumKind::DvdR, {"5B.1", "5B.2"}, false},
        TBurnCase{"DvdRwRestricted", vrec::TMediumKind::DvdRwRo, {"5B.2"}, true},
        TBurnCase{"DvdRwSequential", vrec::TMediumKind::DvdRwSeq, {"5B.2"}, true},
        TBurnCase{"DvdPlusRwUnformatted", vrec::TMediumKind::DvdPlusRw, {"5B.3"}, true},
        TBurnCase{"DvdPlusR", vrec::TMediumKind::DvdPlusR, {"5B.1", "5B.2"}, false},
        TBurnCase{"DvdPlusRDl", vrec::TMediumKind::DvdPlusRDl, {"5B.1", "5B.2"}, false},
        TBurnCase{"DvdRam", vrec::TMediumKind::DvdRam, {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The disc's first `blocks` blocks, read through the drive.
std::string DiscBlocks(TSCSIDevice& d, uint32_t blocks) {
  std::string out(size_t{blocks} * 2048, '\0');
  for (uint32_t at = 0; at < blocks; at += 32) {
    const uint16_t n = static_cast<uint16_t>(std::min<uint32_t>(32, blocks - at));
    EXPECT_TRUE(
        d.ReadSectors(at, n, n * 2048u, reinterpret_cast<uint8_t*>(&out[size_t{at} * 2048])));
  }
  return out;
}

TEST_F(Burn, ImagesBurntBlockForBlock) {
  // One built by the engine, one by genisoimage.
  Compile();
  burner->LayoutImage(true);
  const std::string ours = sources + "/ours.iso";
  ASSERT_EQ(burner->BuildImage(ours, true), 1);
  const std::string theirs = sources + "/theirs.iso";
  ASSERT_EQ(
      std::system(("genisoimage -quiet -J -o '" + theirs + "' '" + sources + "/Disc'").c_str()), 0);
  for (const auto& [image, medium] :
       {std::pair{ours, vrec::TMediumKind::CdR}, std::pair{theirs, vrec::TMediumKind::DvdPlusR}}) {
    SCOPED_TRACE(image);
    Load(medium);
    results.clear();
    burner->SelectDevice(burner->DeviceList().at(kDvdDrive));
    ASSERT_EQ(Finish(burner->BurnImage(image)), "");
    const std::string bytes = ReadAll(image);
    EXPECT_EQ(burner->ImageBlockCount * 2048, static_cast<int64_t>(bytes.size()));
    EXPECT_EQ(DiscBlocks(*device, static_cast<uint32_t>(bytes.size() / 2048)), bytes);
  }
  results.clear();
  EXPECT_FALSE(burner->BurnImage(sources + "/missing.iso"));
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0],
            "CAN'T OPEN FILE \"" + sources + "/missing.iso\" OR FILE IS IN USES BY OTHER SOFTWARE");
}

TEST_F(Burn, BuildImageThroughTheCacheAddsOnlyThePostGap) {
  std::filesystem::remove(sources + "/Disc/big.bin");
  Compile();
  burner->LayoutImage(true);
  const std::string direct = sources + "/direct.iso", cached = sources + "/cached.iso";
  ASSERT_EQ(burner->BuildImage(direct, true), 1);
  results.clear();
  EXPECT_EQ(burner->BuildImage(cached, false), 255);
  ASSERT_EQ(Finish(true), "");
  const std::string a = ReadAll(direct), b = ReadAll(cached);
  ASSERT_LT(a.size(), 300u * 2048);
  ASSERT_EQ(b.size(), 300u * 2048) << "completed to 300 blocks";
  const size_t data = size_t{burner->FirstFileBlock} * 2048;
  EXPECT_EQ(a.substr(data), b.substr(data, a.size() - data)) << "the same file data";
  EXPECT_EQ(a.substr(0, 16 * 2048), b.substr(0, 16 * 2048));
  EXPECT_EQ(b.find_first_not_of('\0', a.size()), std::string::npos) << "zeros after";

  results.clear();
  EXPECT_EQ(burner->BuildImage(sources + "/no/such/folder/x.iso", false), 255);
  EXPECT_EQ(Finish(true), "CAN'T CREATE FILE \"" + sources + "/no/such/folder/x.iso\"");
  EXPECT_FALSE(std::filesystem::exists(sources + "/no"));
}

TEST_F(Burn, AbortWhileStreamingFlushesButNeitherClosesNorRestores) {
  Load(vrec::TMediumKind::CdR);
  burner->OnDebugMessage = [this](TSCSIDevice*, const std::string& m, uint8_t) {
    if (m.find("STARTING WRITE PROCESS") != std::string::npos) burner->AbortOperation();
  };
  recorder->Clear();
  EXPECT_EQ(BurnCompilation(), "OPERATION ABORTED BY USER");
  const auto ops = Ops();
  EXPECT_NE(std::find(ops.begin(), ops.end(), "35"), ops.end()) << "SYNCHRONIZE CACHE";
  EXPECT_TRUE(Closes().empty());
  const auto lastSpeed = std::find(ops.rbegin(), ops.rend(), "BB");
  const auto firstWrite = std::find(ops.begin(), ops.end(), "2A");
  EXPECT_TRUE(lastSpeed == ops.rend() || lastSpeed.base() <= firstWrite) << "no restore";
}

TEST_F(Burn, MissingSourcesEndTheJobWithTheirName) {
  Load(vrec::TMediumKind::CdR);
  burner->SelectDevice(burner->DeviceList().at(kDvdDrive));
  Compile();
  burner->LayoutImage(false);
  std::filesystem::remove(sources + "/Disc/readme.txt");
  recorder->Clear();
  results.clear();
  EXPECT_FALSE(burner->BurnCompilation()) << "before priming";
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0], "CAN'T OPEN FILE \"" + sources +
                            "/Disc/readme.txt\" OR FILE IS IN USES BY OTHER SOFTWARE");
  const auto ops = Ops();
  EXPECT_EQ(std::find(ops.begin(), ops.end(), "2A"), ops.end()) << "nothing written";

  // Removed while the burn runs: the cache is full of the 4 MiB file in front of it.
  // Writing has begun, so the disc is completed (the file's blocks hold zeros) and the
  // job names the file.
  MakeFile("Disc/readme.txt", 100);
  MakeFile("Disc/aaa-first.bin", 4 << 20);
  MakeFile("Disc/zzz-later.txt", 10);
  burner->OnDebugMessage = [this](TSCSIDevice*, const std::string& m, uint8_t) {
    if (m.find("STARTING WRITE PROCESS") != std::string::npos)
      std::filesystem::remove(sources + "/Disc/zzz-later.txt");
  };
  EXPECT_EQ(BurnCompilation(), "CAN'T OPEN FILE \"" + sources +
                                   "/Disc/zzz-later.txt\" OR FILE IS IN USES BY OTHER SOFTWARE");
  EXPECT_EQ(Closes(), std::vector<std::string>{"5B.2"});
  std::ofstream(sources + "/Disc/zzz-later.txt", std::ios::binary) << std::string(10, '\0');
  CheckDisc(burner->StartBlock);
}

TEST_F(Burn, ABusyDriveIsWaitedForAndAWriteErrorEndsTheJob) {
  Load(vrec::TMediumKind::DvdPlusR);
  SetFaults("busy=6");
  EXPECT_EQ(BurnCompilation(), "");
  CheckDisc(0);
  Load(vrec::TMediumKind::DvdPlusR);
  SetFaults("write-error-at=200");
  const std::string error = BurnCompilation();
  EXPECT_EQ(error.rfind("WRITER ERROR [", 0), 0u) << error;
  EXPECT_EQ(error.back(), ']');
}

TEST_F(Burn, AJobHoldsTheDriveFromItsFirstCommandToItsEnd) {
  Load(vrec::TMediumKind::DvdPlusR);
  recorder->Clear();
  EXPECT_EQ(BurnCompilation(), "");
  EXPECT_EQ(recorder->Reservations(), (std::vector<uint8_t>{0x16, 0x17}));
  EXPECT_FALSE(burner->DriveClaimed()) << "released at the job's end";
  // A claim belongs to the drive it was taken on: choosing a drive gives it up.
  ASSERT_TRUE(burner->ClaimDrive());
  EXPECT_TRUE(burner->DriveClaimed());
  recorder->Clear();
  burner->SelectDevice(burner->DeviceList().at(kDvdDrive));
  EXPECT_FALSE(burner->DriveClaimed());
  EXPECT_EQ(recorder->Reservations(), (std::vector<uint8_t>{0x17}));
}

TEST_F(Burn, TestWriteFinalizeTrackAndFinalizeDisc) {
  Load(vrec::TMediumKind::CdR);
  burner->TestWrite = true;
  recorder->Clear();
  EXPECT_EQ(BurnCompilation(), "");
  EXPECT_TRUE(Closes().empty());
  EXPECT_EQ(device->DiscStatus(), 0) << "nothing recorded";
  burner->TestWrite = false;

  burner->FinalizeTrack = false;
  EXPECT_EQ(BurnCompilation(), "");
  TDisc disc;
  device->GetDiscInfo(disc);
  EXPECT_EQ(disc.LastSessionState, 1) << "the session stays open";
  burner->FinalizeTrack = true;

  Load(vrec::TMediumKind::CdR);
  burner->FinalizeDisc = true;
  EXPECT_EQ(BurnCompilation(), "");
  EXPECT_EQ(device->DiscStatus(), 2) << "complete";
  CheckDisc(0);
}

}  // namespace
}  // namespace melvaro::test
