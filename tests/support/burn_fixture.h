// A TDiscBurner on a virtual drive, reached through the plug-in with every CDB recorded,
// with a source tree to burn and helpers that run jobs and read the disc back.
#pragma once

#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>

#include "burner/disc_burner.h"
#include "drive/aspi_library.h"
#include "platform/dispatcher.h"
#include "support/vrec_drive.h"

namespace melvaro::test {

// The plug-in, with every CDB it is sent recorded. The reservation a job holds the drive
// with (RESERVE (6) and RELEASE (6)) is kept apart, so that the sequences of the jobs
// read as the drive sees them between the two.
class TRecordingBackend final : public TAspiBackend {
 public:
  TRecordingBackend() : library_(MELVARO_BIN_DIR "/libwnaspi32.so") {}
  uint32_t SupportInfo() override { return library_.SupportInfo(); }
  uint8_t SendRequest(void* record) override {
    if (static_cast<uint8_t*>(record)[0] == kScExecScsiCmd) {
      const auto* r = static_cast<TSCSIRequest*>(record);
      std::lock_guard<std::mutex> hold(lock_);
      if (r->CDB[0] == 0x16 || r->CDB[0] == 0x17)
        reservations_.push_back(r->CDB[0]);
      else
        cdbs_.emplace_back(r->CDB, r->CDB + r->CDBLen);
    }
    return library_.SendRequest(record);
  }
  // The RESERVE (16h) and RELEASE (17h) operation codes sent, in order.
  std::vector<uint8_t> Reservations() {
    std::lock_guard<std::mutex> hold(lock_);
    return reservations_;
  }
  std::vector<std::vector<uint8_t>> Cdbs() {
    std::lock_guard<std::mutex> hold(lock_);
    return cdbs_;
  }
  void Clear() {
    std::lock_guard<std::mutex> hold(lock_);
    cdbs_.clear();
    reservations_.clear();
  }

 private:
  TAspiLibrary library_;
  std::mutex lock_;
  std::vector<std::vector<uint8_t>> cdbs_;
  std::vector<uint8_t> reservations_;
};

class Burn : public TVrecDriveTest {
 protected:
  void SetUp() override {
    TVrecDriveTest::SetUp();
    auto backend = std::make_unique<TRecordingBackend>();
    recorder = backend.get();
    burnTransport.UseBackend(std::move(backend), "WNASPI32.DLL");
    burner = std::make_unique<TDiscBurner>(burnTransport, clock);
    burner->Dispatcher = &dispatcher;
    burner->OnWriteDone = [this](TDiscBurner*, const std::string& error) {
      results.push_back(error);
    };
    burner->OnDebugMessage = [this](TSCSIDevice*, const std::string& m, uint8_t) {
      std::lock_guard<std::mutex> hold(messagesLock);
      messages.push_back(m);
    };
    char pattern[] = "/tmp/melvaro-burn-XXXXXX";
    sources = mkdtemp(pattern);
    MakeFile("Disc/readme.txt", 100);
    MakeFile("Disc/Folder/data.bin", 300000);
    MakeFile("Disc/Folder/Deeper/one.bin", 1);
    MakeFile("Disc/big.bin", 1 << 20);
  }
  void TearDown() override {
    burner.reset();
    std::filesystem::remove_all(sources);
    TVrecDriveTest::TearDown();
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  void MakeFile(const std::string& name, size_t size) {
    const std::string path = sources + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i * 13 + name.size());
    std::ofstream(path, std::ios::binary) << data;
  }
  // The compilation: a folder (the Disc folder by default) with its contents, as the
  // disc folder \Disc.
  void Compile(std::string folder = "") {
    if (folder.empty()) folder = sources + "/Disc";
    burner->ClearCompilation(600000, 20000);
    std::function<void(const std::string&, const std::string&)> add = [&](const std::string& folder,
                                                                          const std::string& disc) {
      burner->ForceDirectory(disc);
      for (const TSearchRec& r : FindFiles(folder + "/*")) {
        if (r.Name == "." || r.Name == "..") continue;
        if (r.Attr & faDirectory)
          add(folder + "/" + r.Name, disc + "\\" + r.Name);
        else
          ASSERT_EQ(burner->InsertFile(disc, folder + "/" + r.Name, false), 1);
      }
    };
    add(folder, "\\Disc");
  }
  // Runs a burn job to its end, polling its progress as a window's timer would; the
  // job's error text.
  std::string Finish(bool started) {
    if (!started) return results.empty() ? "not started" : results.back();
    int64_t written = 0;
    const int64_t image = burner->ImageBlocks() * 2048;
    EXPECT_TRUE(dispatcher.RunUntil(
        [&] {
          const int fill = burner->CacheFillPercent();
          EXPECT_TRUE(fill >= 0 && fill <= 100) << fill;
          const int64_t now = burner->BytesWritten();
          EXPECT_TRUE(now >= written && now <= image) << now << " " << written << " " << image;
          written = now;
          burner->CurrentFile();
          return !results.empty();
        },
        120000));
    burner->WaitForJob();
    return results.empty() ? "no OnWriteDone" : results.back();
  }
  std::string BurnCompilation(int drive = kDvdDrive, const std::string& folder = "") {
    results.clear();
    burner->SelectDevice(burner->DeviceList().at(drive));
    Compile(folder);
    burner->LayoutImage(false);
    return Finish(burner->BurnCompilation());
  }
  // Operation codes, with CLOSE TRACK/SESSION as 5Bh.function.
  std::vector<std::string> Ops() {
    std::vector<std::string> ops;
    for (const auto& cdb : recorder->Cdbs()) {
      char text[16];
      if (cdb[0] == 0x5B)
        std::snprintf(text, sizeof text, "5B.%d", cdb[2] & 7);
      else
        std::snprintf(text, sizeof text, "%02X", cdb[0]);
      ops.push_back(text);
    }
    return ops;
  }
  std::vector<std::string> Closes() {
    std::vector<std::string> out;
    for (const std::string& op : Ops())
      if (op.rfind("5B", 0) == 0) out.push_back(op);
    return out;
  }
  // The disc's blocks as an image file, and the session at `start` as xorriso extracts
  // it; the folder it went to, empty (with a failure recorded) when either step failed.
  std::string ExtractSession(uint32_t start) {
    const std::string image = sources + "/disc.iso";
    const std::string vrec = MELVARO_BIN_DIR "/melvaro-vrec";
    const std::string dump = "MELVARO_VREC='" + TVrecFolderEnvironment::folder + "' " + vrec +
                             " dump --drive 0 -o '" + image + "' >/dev/null";
    if (std::system(dump.c_str()) != 0) {
      ADD_FAILURE() << dump;
      return "";
    }
    const std::string out = sources + "/out";
    std::filesystem::remove_all(out);
    const std::string extract = "xorriso -abort_on FAILURE -indev stdio:'" + image +
                                "' -load sbsector " + std::to_string(start) +
                                " -osirrox on -extract / '" + out + "' >/dev/null 2>&1";
    if (std::system(extract.c_str()) != 0) {
      ADD_FAILURE() << extract;
      return "";
    }
    return out;
  }
  // The session at `start` holds exactly the files of `expected` (default the sources).
  void CheckDisc(uint32_t start, std::string expected = "") {
    if (expected.empty()) expected = sources + "/Disc";
    const std::string out = ExtractSession(start);
    ASSERT_FALSE(out.empty());
    ASSERT_EQ(std::system(("chmod -R u+w '" + out + "'").c_str()), 0);
    EXPECT_EQ(std::system(("diff -r '" + expected + "' '" + out + "/Disc'").c_str()), 0);
  }

  TTransport burnTransport{std::make_unique<TFakeKernel>()};
  TRecordingBackend* recorder = nullptr;
  std::unique_ptr<TDiscBurner> burner;
  TQueueDispatcher dispatcher;
  std::vector<std::string> results;
  std::mutex messagesLock;
  std::vector<std::string> messages;
  std::string sources;
};

}  // namespace melvaro::test
