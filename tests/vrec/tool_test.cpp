// melvaro-vrec as a user runs it: its commands, their output and their errors.
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "vrec_harness.h"

namespace melvaro::vrec::test {
namespace {

struct TRun {
  int exitCode;
  std::string output;
};

class Tool : public TVrecTest {
 protected:
  TRun Vrec(const std::string& args) {
    const std::string command =
        "MELVARO_VREC='" + folder + "' " MELVARO_BIN_DIR "/melvaro-vrec " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    TRun run{-1, ""};
    if (!pipe) return run;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, n);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
  }
  std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
};

TEST_F(Tool, InitWritesTheDefaultDrivesOnceAndEmptyDrives) {
  TRun r = Vrec("init");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("0: MELVARO VIRTUAL DVD-RW 1.00, medium none"), std::string::npos);
  EXPECT_NE(r.output.find("1: MELVARO VIRTUAL CD-RW 1.00, medium none"), std::string::npos);
  std::string error;
  auto drives = ParseDrivesIni(ReadFile(folder + "/drives.ini"), &error);
  ASSERT_TRUE(drives) << error;
  ASSERT_EQ(drives->size(), 2u);
  EXPECT_EQ(FormatDrivesIni(*drives), FormatDrivesIni(DefaultDrives())) << "round trip";
  EXPECT_EQ(ReadFile(folder + "/drive1.state"), "tray closed\n");

  std::ofstream(folder + "/drives.ini") << "[drive]\nproduct=ONLY ONE\n";
  r = Vrec("init");
  EXPECT_NE(r.output.find("0: MELVARO ONLY ONE 1.00"), std::string::npos) << "kept as edited";
  std::ofstream(folder + "/drives.ini") << "[drive]\nspeed=fast\n";
  r = Vrec("drives");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("drives.ini line 2"), std::string::npos) << r.output;
}

TEST_F(Tool, RealisticTimingIsAChoiceOfInit) {
  ASSERT_EQ(Vrec("init --realistic").exitCode, 0);
  const std::string ini = ReadFile(folder + "/drives.ini");
  EXPECT_NE(ini.find("throughput=drive"), std::string::npos) << ini;
  EXPECT_NE(ini.find("ready-delay-ms=3000"), std::string::npos);
  std::filesystem::remove(folder + "/drives.ini");
  ASSERT_EQ(Vrec("init").exitCode, 0);
  EXPECT_NE(ReadFile(folder + "/drives.ini").find("throughput=unlimited"), std::string::npos);
}

TEST_F(Tool, LoadStatusEjectAndTheirErrors) {
  std::ofstream(folder + "/odd.iso") << "not blocks";
  struct {
    std::string args;
    int exitCode;
    const char* says;
  } cases[] = {
      {"load --drive 0 --medium dvd+rw", 0, "loaded DVD+RW"},
      {"status --drive 0", 0, "disc: empty, last session empty, unformatted"},
      {"load --drive 0 --medium cd-x", 1, "unknown medium cd-x"},
      {"load --drive 0 --medium cd-rom", 1, "cd-rom needs an image"},
      {"load --drive 0 --medium cd-r:" + folder + "/odd.iso", 1, "cd-r takes no image"},
      {"load --drive 0 --medium dvd-rom:" + folder + "/odd.iso", 1, "not a whole number"},
      {"load --drive 0 --medium dvd-rom:" + folder + "/none.iso", 1, "cannot open"},
      {"load --drive 2 --medium cd-r", 1, "no drive 2 (drives 0 to 1)"},
      {"load --medium cd-r", 1, "--drive N is needed"},
      {"status --drive 0", 0, "medium: dvd+rw (DVD+RW)"},
      {"eject --drive 0", 0, "ejected"},
      {"status --drive 0", 0, "medium: none"},
      {"dump --drive 0 -o " + folder + "/out.iso", 1, "no medium in the drive"},
      {"spin --drive 0", 1, "unknown command spin"},
  };
  for (const auto& c : cases) {
    const TRun r = Vrec(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.args << "\n" << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << "\n" << r.output;
  }
  EXPECT_FALSE(std::ifstream(folder + "/out.iso")) << "no dump file was left";
}

TEST_F(Tool, FaultsAreSetShownAndCleared) {
  TRun r = Vrec("fault --drive 1 busy=2 write-protect");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(r.output, "busy=2 write-protect\n");
  EXPECT_EQ(Vrec("fault --drive 1").output, "busy=2 write-protect\n");
  r = Vrec("fault --drive 1 busy=many");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("a number is needed: busy=many"), std::string::npos);
  EXPECT_EQ(Vrec("fault --drive 1").output, "busy=2 write-protect\n") << "unchanged";
  EXPECT_EQ(Vrec("fault --drive 1 clear").output, "no faults\n");
}

TEST_F(Tool, ExportAudioWritesEachAudioTrackAsWave) {
  Make(TMediumKind::CdRw);
  ASSERT_EQ(Answer(SetWriteParameters(1, 0x00, 0x00)), "good");
  ASSERT_EQ(Answer(Write(0, 30, 0x05, 2352)), "good");
  ASSERT_EQ(Answer(Close(1, 1)), "good");
  ASSERT_EQ(Answer(Write(30, 40, 0x09, 2352)), "good");
  ASSERT_EQ(Answer(Close(2)), "good");
  unit.reset();

  const TRun r = Vrec("export-audio --drive 0 -o " + folder + "/wav");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::string one = ReadFile(folder + "/wav/track01.wav");
  const std::string two = ReadFile(folder + "/wav/track02.wav");
  ASSERT_EQ(one.size(), 44u + 30 * 2352);
  ASSERT_EQ(two.size(), 44u + 40 * 2352);
  EXPECT_EQ(one.substr(0, 4), "RIFF");
  EXPECT_EQ(one.substr(8, 8), "WAVEfmt ");
  EXPECT_EQ(GetLe32(reinterpret_cast<const uint8_t*>(one.data()) + 24), 44100u);
  EXPECT_EQ(GetLe32(reinterpret_cast<const uint8_t*>(two.data()) + 40), 40u * 2352);
  EXPECT_EQ(static_cast<uint8_t>(two[44]), 0x09);
  EXPECT_EQ(static_cast<uint8_t>(two[44 + 2352]), 0x0A) << "second sector of track 2";
}

}  // namespace
}  // namespace melvaro::vrec::test
