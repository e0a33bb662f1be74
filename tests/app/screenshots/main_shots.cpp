// The main window in its two modes, with rows, on the virtual recorder.
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include "main/explorer_panel.h"
#include "main/main_window.h"
#include "main/start_form.h"
#include "shots.h"

namespace melvaro::shots {
namespace {

// A folder of sample files in the program folder: audio files whose headers give their
// lengths, and MP3 files and folders of plausible sizes (sparse files).
QString SampleFolder() {
  const QString folder = QDir(qEnvironmentVariable("MELVARO_HOME", QDir::tempPath()))
                             .filePath(QStringLiteral("Music"));
  QDir().mkpath(folder + QStringLiteral("/Live at the Harbour"));
  QDir().mkpath(folder + QStringLiteral("/Demos"));
  auto wav = [&](const QString& name, int seconds) {
    const uint32_t rate = 176400, data = rate * static_cast<uint32_t>(seconds);
    QByteArray h("RIFF");
    auto le32 = [&](uint32_t v) {
      for (int i = 0; i < 4; ++i) h.append(static_cast<char>(v >> (8 * i)));
    };
    auto le16 = [&](uint16_t v) {
      h.append(static_cast<char>(v)).append(static_cast<char>(v >> 8));
    };
    le32(36 + data);
    h.append("WAVEfmt ");
    le32(16), le16(1), le16(2), le32(44100), le32(rate), le16(4), le16(16);
    h.append("data");
    le32(data);
    QFile file(folder + QLatin1Char('/') + name);
    if (file.open(QIODevice::WriteOnly)) {
      file.write(h);
      file.resize(h.size() + data);
    }
  };
  auto sized = [&](const QString& name, qint64 size) {
    QFile file(folder + QLatin1Char('/') + name);
    if (file.open(QIODevice::WriteOnly)) file.resize(size);
  };
  wav(QStringLiteral("01 Morning Light.wav"), 252);
  wav(QStringLiteral("02 Paper Boats.wav"), 198);
  wav(QStringLiteral("03 The Long Way Home.wav"), 331);
  wav(QStringLiteral("04 Salt and Silver.wav"), 227);
  sized(QStringLiteral("05 Night Train.mp3"), 6215301);
  sized(QStringLiteral("06 Lanterns.mp3"), 4811072);
  sized(QStringLiteral("Live at the Harbour/01 Intro.mp3"), 2210004);
  sized(QStringLiteral("Live at the Harbour/02 Open Water.mp3"), 9922113);
  sized(QStringLiteral("Demos/sketch 1.mp3"), 3100000);
  sized(QStringLiteral("notes.txt"), 800);
  return folder;
}

void WaitForFolder(TExplorerPanel* explorer, const QString& folder) {
  QEventLoop loop;
  QObject::connect(explorer, &TExplorerPanel::FolderReady, &loop, &QEventLoop::quit);
  QTimer::singleShot(5000, &loop, &QEventLoop::quit);
  explorer->SetFolder(folder);
  if (!explorer->FolderLoaded()) loop.exec();
  QEventLoop settle;
  QTimer::singleShot(200, &settle, &QEventLoop::quit);
  settle.exec();
}

TForm1* MainWindow(std::vector<std::unique_ptr<QObject>>& keep) {
  auto start = std::make_unique<TStartForm>();
  TMainWindowSetup setup;
  setup.libraryPath = MELVARO_BIN_DIR "/libwnaspi32.so";
  auto window = std::make_unique<TForm1>(start.get(), setup);
  TForm1* form = window.get();
  keep.push_back(std::move(start));
  keep.push_back(std::move(window));
  return form;
}

MELVARO_SHOT("main_audio_cd", [](auto& keep) -> QWidget* {
  const QString music = SampleFolder();
  TForm1* form = MainWindow(keep);
  form->PrepareTask(TTask::AudioCd, QStringLiteral("Melvaro V2.7 - Burn Audio CD"));
  form->AddTracks({music + QStringLiteral("/01 Morning Light.wav"),
                   music + QStringLiteral("/02 Paper Boats.wav"),
                   music + QStringLiteral("/03 The Long Way Home.wav"),
                   music + QStringLiteral("/04 Salt and Silver.wav")});
  form->UpdateCapacityBar();
  WaitForFolder(form->Explorer(), music);
  return form;
});

MELVARO_SHOT("main_mp3_disc", [](auto& keep) -> QWidget* {
  const QString music = SampleFolder();
  TForm1* form = MainWindow(keep);
  form->PrepareTask(TTask::Mp3Disc, QStringLiteral("Melvaro V2.7 - Burn MP3 disc"));
  form->AddDiscRows({music + QStringLiteral("/05 Night Train.mp3"),
                     music + QStringLiteral("/06 Lanterns.mp3"),
                     music + QStringLiteral("/Live at the Harbour")});
  form->UpdateCapacityBar();
  WaitForFolder(form->Explorer(), music);
  return form;
});

MELVARO_SHOT("main_image", [](auto& keep) -> QWidget* {
  const QString music = SampleFolder();
  TForm1* form = MainWindow(keep);
  form->PrepareTask(TTask::Image, QStringLiteral("Melvaro V2.7 - Build / Burn .ISO"));
  form->AddDiscRows({music + QStringLiteral("/Demos"), music + QStringLiteral("/notes.txt")});
  form->UpdateCapacityBar();
  WaitForFolder(form->Explorer(), music);
  return form;
});

}  // namespace
}  // namespace melvaro::shots
