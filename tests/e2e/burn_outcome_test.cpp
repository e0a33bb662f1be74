// What a burn job reports when things go wrong: failed preparation, flush and closing
// commands, sources that cannot be read, no drive, a drive that goes away, the job's end
// awaited on the main thread; and the earlier sessions of a DVD+RW after a burn that
// did not finish. The faults come from the virtual recorder; the discs are read back
// by xorriso.
#include <cstdlib>
#include <fstream>

#include "support/burn_fixture.h"

namespace melvaro::test {
namespace {

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new TVrecFolderEnvironment);

class Outcome : public Burn {
 protected:
  // Starts a burn of the compilation laid out already; `change` runs between the layout
  // and the start. The job's error text.
  std::string BurnAfter(const std::function<void()>& change) {
    results.clear();
    burner->SelectDevice(burner->DeviceList().at(kDvdDrive));
    Compile();
    burner->LayoutImage(false);
    change();
    return Finish(burner->BurnCompilation());
  }
  std::string Pattern(const std::string& name, size_t size) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i * 13 + name.size());
    return data;
  }
};

struct TFailureCase {
  const char* name;
  vrec::TMediumKind medium;
  const char* fault;
  const char* reason;  // the drive's words in the job's error text
  bool written;        // data was written before the failure
  std::vector<std::string> closes;
};

class CommandFailure : public Outcome, public ::testing::WithParamInterface<TFailureCase> {};

// A burn whose session was not prepared, flushed or closed is not reported as burnt.
TEST_P(CommandFailure, EndsTheJobWithTheDrivesError) {
  const TFailureCase& c = GetParam();
  Load(c.medium);
  SetFaults(c.fault);
  recorder->Clear();
  const std::string error = BurnCompilation();
  EXPECT_EQ(error.rfind("WRITER ERROR [", 0), 0u) << error;
  EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  EXPECT_EQ(results.size(), 1u);
  const auto ops = Ops();
  EXPECT_EQ(std::count(ops.begin(), ops.end(), "2A") > 0, c.written);
  EXPECT_EQ(Closes(), c.closes);
}

INSTANTIATE_TEST_SUITE_P(
    Vrec, CommandFailure,
    ::testing::Values(
        TFailureCase{"CdRFlush", vrec::TMediumKind::CdR, "flush-error", "WRITE ERROR", true, {}},
        TFailureCase{"DvdRFlush", vrec::TMediumKind::DvdR, "flush-error", "WRITE ERROR", true, {}},
        TFailureCase{
            "DvdPlusRFlush", vrec::TMediumKind::DvdPlusR, "flush-error", "WRITE ERROR", true, {}},
        TFailureCase{"CdRClose",
                     vrec::TMediumKind::CdR,
                     "close-error",
                     "SESSION FIXATION ERROR",
                     true,
                     {"5B.2", "5B.2"}},
        TFailureCase{"DvdPlusRSessionClose",
                     vrec::TMediumKind::DvdPlusR,
                     "close-error=2",
                     "SESSION FIXATION ERROR",
                     true,
                     {"5B.1", "5B.2"}},
        TFailureCase{"DvdRTrackClose",
                     vrec::TMediumKind::DvdR,
                     "close-error=1",
                     "SESSION FIXATION ERROR",
                     true,
                     {"5B.1"}},
        TFailureCase{"DvdPlusRwClose",
                     vrec::TMediumKind::DvdPlusRw,
                     "close-error=3",
                     "SESSION FIXATION ERROR",
                     true,
                     {"5B.3"}},
        TFailureCase{"CdRWriteParameters",
                     vrec::TMediumKind::CdR,
                     "refuse-write-parameters",
                     "INVALID FIELD IN PARAMETER LIST",
                     false,
                     {}},
        TFailureCase{"DvdRReserveTrack",
                     vrec::TMediumKind::DvdR,
                     "write-protect",
                     "WRITE PROTECTED",
                     false,
                     {}}),
    [](const auto& info) { return std::string(info.param.name); });

// A source that cannot be read, or that is shorter than it was at layout, leaves a whole
// disc (its place filled with zeros) and a job that names it.
TEST_F(Outcome, SourcesThatCannotBeReadAreNamedAndTheDiscIsCompleted) {
  struct {
    const char* file;
    std::function<void(const std::string&)> change;
    std::string error;
    std::string onDisc;
  } cases[] = {
      {"Disc/Folder/data.bin",
       [](const std::string& path) {
         std::filesystem::remove(path);
         std::filesystem::create_directory(path);  // opens, but gives no bytes
       },
       "CAN'T READ FILE \"%\"", std::string(300000, '\0')},
      {"Disc/big.bin", [](const std::string& path) { std::filesystem::resize_file(path, 1000); },
       "FILE \"%\" IS SHORTER THAN WHEN IT WAS ADDED",
       Pattern("Disc/big.bin", 1000) + std::string((1 << 20) - 1000, '\0')},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = sources + "/" + c.file;
    Load(vrec::TMediumKind::CdR);
    recorder->Clear();
    const std::string error = BurnAfter([&] { c.change(path); });
    std::string expected = c.error;
    expected.replace(expected.find('%'), 1, path);
    EXPECT_EQ(error, expected);
    EXPECT_EQ(Closes(), std::vector<std::string>{"5B.2"}) << "the session is closed";
    const std::string out = ExtractSession(burner->StartBlock);
    EXPECT_EQ(ReadFile(out + "/" + c.file), c.onDisc);
    EXPECT_EQ(ReadFile(out + "/Disc/readme.txt"), ReadFile(sources + "/Disc/readme.txt"));
    EXPECT_EQ(ReadFile(out + "/Disc/Folder/Deeper/one.bin"),
              Pattern("Disc/Folder/Deeper/one.bin", 1));
    std::filesystem::remove_all(path);
    MakeFile(c.file, std::string(c.file) == "Disc/big.bin" ? 1 << 20 : 300000);
  }
}

// An image built from a source that shrank is not kept: the earlier image stays.
TEST_F(Outcome, AnImageFromAShrunkSourceDoesNotReplaceTheEarlierOne) {
  const std::string image = sources + "/disc.iso";
  Compile();
  burner->LayoutImage(true);
  results.clear();
  burner->BuildImage(image, false);
  ASSERT_EQ(Finish(true), "");
  const std::string before = ReadFile(image);
  std::filesystem::resize_file(sources + "/Disc/big.bin", 10);
  results.clear();
  burner->BuildImage(image, false);
  EXPECT_EQ(Finish(true),
            "FILE \"" + sources + "/Disc/big.bin\" IS SHORTER THAN WHEN IT WAS ADDED");
  EXPECT_EQ(ReadFile(image), before);
}

// Without a drive nothing can be sent, so nothing is reported as done.
TEST_F(Outcome, NoDriveSelectedIsAFailure) {
  Load(vrec::TMediumKind::CdR);
  burner->SelectDevice("9:9:9,Z: NO SUCH DRIVE");
  ASSERT_EQ(burner->HaId(), kNoDrive);
  Compile();
  burner->LayoutImage(false);
  const std::string image = sources + "/disc.iso";
  std::ofstream(image, std::ios::binary) << std::string(300 * 2048, 'x');
  recorder->Clear();
  results.clear();
  EXPECT_FALSE(burner->BurnCompilation());
  EXPECT_FALSE(burner->BurnImage(image));
  EXPECT_EQ(results, (std::vector<std::string>{"NO DRIVE SELECTED", "NO DRIVE SELECTED"}));
  EXPECT_TRUE(recorder->Cdbs().empty());
  EXPECT_FALSE(burner->JobRunning());
}

struct TGoneCase {
  const char* name;
  vrec::TMediumKind medium;
  bool whileFlushing;  // else with the write of block 200
};

class GoneDrive : public Outcome, public ::testing::WithParamInterface<TGoneCase> {};

// A drive that goes away mid-job (a pulled cable) ends the job at once, with an error.
TEST_P(GoneDrive, EndsTheJobWithAnError) {
  const TGoneCase& c = GetParam();
  Load(c.medium);
  if (c.whileFlushing)
    burner->OnFinalizingTrack = [this](TDiscBurner*) { SetFaults("gone"); };
  else
    SetFaults("gone-at=200");
  const std::string error = BurnCompilation();
  EXPECT_EQ(error, "WRITER ERROR [NO DEVICE]");
  EXPECT_FALSE(burner->JobRunning());
  burner->OnFinalizingTrack = nullptr;
  SetFaults("clear");
}

INSTANTIATE_TEST_SUITE_P(Vrec, GoneDrive,
                         ::testing::Values(TGoneCase{"CdR", vrec::TMediumKind::CdR, false},
                                           TGoneCase{"DvdR", vrec::TMediumKind::DvdR, false},
                                           TGoneCase{"DvdPlusR", vrec::TMediumKind::DvdPlusR,
                                                     false},
                                           TGoneCase{"DvdRFlushing", vrec::TMediumKind::DvdR, true},
                                           TGoneCase{"CdRFlushing", vrec::TMediumKind::CdR, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The main thread waits for a job (WaitForJob, the burner's end) while the write thread
// hands OnWriteDone over to it: the hand-over runs during the wait.
TEST_F(Outcome, WaitingForTheJobOnTheMainThreadRunsItsEnd) {
  Load(vrec::TMediumKind::CdR);
  burner->SelectDevice(burner->DeviceList().at(kDvdDrive));
  Compile();
  burner->LayoutImage(false);
  results.clear();
  ASSERT_TRUE(burner->BurnCompilation());
  burner->WaitForJob();
  EXPECT_EQ(results, std::vector<std::string>{""});

  // A drive gone mid-job, and the burner destroyed while the job runs.
  Load(vrec::TMediumKind::DvdR);
  SetFaults("gone-at=100");
  burner->SelectDevice(burner->DeviceList().at(kDvdDrive));
  Compile();
  burner->LayoutImage(false);
  results.clear();
  ASSERT_TRUE(burner->BurnCompilation());
  burner.reset();
  ASSERT_EQ(results.size(), 1u);
  EXPECT_FALSE(results[0].empty());
}

struct TThirdSessionCase {
  const char* name;
  bool abort;         // aborted when writing starts
  int failAt;         // a write error this many blocks into the session (-1: none)
  const char* fault;  // a fault set before the burn
};

class DvdPlusRwSessions : public Outcome,
                          public ::testing::WithParamInterface<TThirdSessionCase> {};

// The descriptor copy at block 0 comes after the session's data: a third session that
// does not finish leaves the second, and with it every file of the first, readable.
TEST_P(DvdPlusRwSessions, EarlierSessionsSurviveAThirdThatDoesNotFinish) {
  const TThirdSessionCase& c = GetParam();
  MakeFile("One/first.txt", 100);
  MakeFile("Two/Folder/second.bin", 70000);
  MakeFile("Three/third.bin", 200000);
  const std::string both = sources + "/Both";
  std::filesystem::create_directories(both);
  std::filesystem::copy(sources + "/One", both, std::filesystem::copy_options::recursive);
  std::filesystem::copy(sources + "/Two", both, std::filesystem::copy_options::recursive);

  Load(vrec::TMediumKind::DvdPlusRw);
  ASSERT_EQ(BurnCompilation(kDvdDrive, sources + "/One"), "");
  burner->ImportSessionNumber = 255;
  ASSERT_EQ(BurnCompilation(kDvdDrive, sources + "/Two"), "");
  CheckDisc(0, both);

  burner->OnDebugMessage = [this, c](TSCSIDevice*, const std::string& m, uint8_t) {
    if (m.find("STARTING WRITE PROCESS") == std::string::npos) return;
    if (c.abort) burner->AbortOperation();
    if (c.failAt >= 0) SetFaults("write-error-at=" + std::to_string(burner->StartBlock + c.failAt));
  };
  if (*c.fault) SetFaults(c.fault);
  const std::string error = BurnCompilation(kDvdDrive, sources + "/Three");
  burner->ImportSessionNumber = 0;
  EXPECT_FALSE(error.empty());
  if (c.abort) {
    EXPECT_EQ(error, "OPERATION ABORTED BY USER");
  }
  SetFaults("clear");
  CheckDisc(0, both);
}

INSTANTIATE_TEST_SUITE_P(Vrec, DvdPlusRwSessions,
                         ::testing::Values(TThirdSessionCase{"Aborted", true, -1, ""},
                                           TThirdSessionCase{"WriteError", false, 40, ""},
                                           TThirdSessionCase{"CopyRefused", false, -1,
                                                             "write-error-at=0"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace melvaro::test
