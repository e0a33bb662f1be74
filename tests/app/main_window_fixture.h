// The main window on the virtual recorder: a fresh program folder and vrec folder per
// test, the recorder's plug-in reached through the library back end (the pass-through
// layer sees a kernel without optical drives), and a scripted prompter.
//
// The plug-in reads its drives once per process, and ctest runs every test in a process
// of its own; a test that needs other drives than the ones already loaded in this
// process is skipped.
#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "drive/transport.h"
#include "main/main_window.h"
#include "main/start_form.h"
#include "program_folder_fixture.h"
#include "scripted_prompter.h"
#include "support/fakes.h"

namespace melvaro::test {

// drives.ini sections of the virtual recorder.
inline const char* const kReadOnlyDrive =
    "[drive]\nvendor=MELVARO\nproduct=VIRTUAL DVD-ROM\nrevision=2.00\ncapabilities=3F 00 00\n"
    "feature-002A=\nfeature-002F=\nfeature-003B=\n";
inline const char* const kCdrDrive =
    "[drive]\nvendor=MELVARO\nproduct=VIRTUAL CD-R\nrevision=1.10\ncapabilities=07 05 00\n"
    "feature-002A=\nfeature-002F=\nfeature-003B=\ndvd-write-speeds=\ndvd-read-speed=0\n";
inline const char* const kCdrwOnlyDrive =
    "[drive]\nvendor=MELVARO\nproduct=VIRTUAL CD-RW ONLY\nrevision=1.20\ncapabilities=07 02 00\n"
    "feature-002A=\nfeature-002F=\nfeature-003B=\ndvd-write-speeds=\ndvd-read-speed=0\n";

class MainWindowTest : public ProgramFolderTest {
 protected:
  // The drives.ini of the test; empty: the recorder's two default drives.
  virtual QByteArray Drives() const { return {}; }
  // Whether the window finds the plug-in.
  virtual bool WithPlugin() const { return true; }

  void SetUp() override {
    ProgramFolderTest::SetUp();
    ASSERT_TRUE(vrec_.isValid());
    const QByteArray wanted = (WithPlugin() ? "plug-in\n" : "none\n") + Drives();
    static QByteArray loaded;  // the drives this process's plug-in has read
    if (!loaded.isNull() && loaded != wanted)
      GTEST_SKIP() << "needs a process of its own (ctest runs each test alone)";
    loaded = wanted;
    static QTemporaryDir processVrec;  // the plug-in's folder for the whole process
    qputenv("MELVARO_VREC", processVrec.path().toUtf8());
    if (!Drives().isEmpty()) {
      QFile ini(processVrec.filePath("drives.ini"));
      ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
      ini.write(Drives());
    }
    vrecFolder_ = processVrec.path();
    transport_ = std::make_unique<TTransport>(std::make_unique<TFakeKernel>());
    start_ = std::make_unique<TStartForm>();
    TMainWindowSetup setup;
    setup.programFolder = Folder();
    setup.transport = transport_.get();
    setup.libraryPath =
        WithPlugin() ? MELVARO_BIN_DIR "/libwnaspi32.so" : "/nonexistent/libwnaspi32.so";
    window_ = std::make_unique<TForm1>(start_.get(), setup);
  }
  void TearDown() override {
    window_.reset();
    start_.reset();
    transport_.reset();
    ProgramFolderTest::TearDown();
  }

  TForm1& Window() { return *window_; }
  QString VrecFolder() const { return vrecFolder_; }

  TScriptedPrompter prompter;
  QTemporaryDir vrec_;
  QString vrecFolder_;
  std::unique_ptr<TTransport> transport_;
  std::unique_ptr<TStartForm> start_;
  std::unique_ptr<TForm1> window_;
};

}  // namespace melvaro::test
