// TForm1: preparing a task, the drive selector, eject and the preview player.
#include <QAudioOutput>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QMediaPlayer>
#include <QSignalBlocker>
#include <QToolBar>
#include <QUrl>

#include "burner/disc_burner.h"
#include "jobs/cd_writer_xp.h"
#include "main/burning_list.h"
#include "main/explorer_panel.h"
#include "main/main_window.h"
#include "platform/prompter.h"

namespace melvaro {

namespace {

constexpr uint32_t kBurnableMedia =
    TSCSIDevice::capWriteCDR | TSCSIDevice::capWriteDVDR | TSCSIDevice::capWriteDVDRAM;

}  // namespace

void TForm1::PrepareTask(TTask task, const QString& caption) {
  task_ = task;
  switch (task) {
    case TTask::AudioCd:
      tag_ = AudioCd;
      setWindowTitle(caption);
      PlaceToolBars({QStringLiteral("FileBar"), QStringLiteral("DriveBar"),
                     QStringLiteral("BurnBar"), QStringLiteral("HelpBar")});
      ShowList(AudioCd);
      explorer_->SetMask(QStringLiteral("*.wav;*.mp3"));
      FillAudioDrives();
      show();
      NewTask();
      break;
    case TTask::Mp3Disc:
      tag_ = Mp3Disc;
      setWindowTitle(caption);
      PlaceToolBars({QStringLiteral("FileBar"), QStringLiteral("DriveBar"),
                     QStringLiteral("BurnBar"), QStringLiteral("HelpBar")});
      ShowList(Mp3Disc);
      explorer_->SetMask(QStringLiteral("*.mp3"));
      FillEngineDrives(false);
      show();
      NewTask();
      break;
    case TTask::Image:
      tag_ = Mp3Disc;
      setWindowTitle(caption);
      burnBar_->hide();
      imageBar_->show();
      NewTask();
      PlaceToolBars({QStringLiteral("FileBar"), QStringLiteral("DriveBar"),
                     QStringLiteral("ImageBar"), QStringLiteral("HelpBar")});
      ShowList(Mp3Disc);
      explorer_->SetMask(QStringLiteral("*.*"));
      FillEngineDrives(true);
      show();
      break;
  }
  setAccessibleName(windowTitle());
}

void TForm1::FillAudioDrives() {
  const QSignalBlocker quiet(cbDrives_);
  cbDrives_->clear();
  for (int16_t i = 0; i < writer_->DriveCount(); ++i)
    cbDrives_->addItem(writer_->DriveLetterAt(i) + QLatin1Char(':') + writer_->DriveNameAt(i) +
                       QLatin1Char(' ') + writer_->DriveDetailAt(i));
  if (cbDrives_->count() == 0) {
    cbDrives_->setToolTip(QString());
    actBurn_->setEnabled(false);
    Prompter().MessageBox(this, QStringLiteral("There are no compatible CDR drives reported."),
                          tr("Information"));
    return;
  }
  cbDrives_->setCurrentIndex(0);
  cbDrives_->setToolTip(cbDrives_->currentText());
  actBurn_->setEnabled(true);
}

void TForm1::FillEngineDrives(bool last) {
  const std::vector<std::string>& list = burner_->DeviceList();
  if (list.empty()) {
    // No drive: the combo keeps what it showed (the engine's list is empty).
    const QSignalBlocker quiet(cbDrives_);
    cbDrives_->clear();
    cbDrives_->setToolTip(QString());
    actBurn_->setEnabled(false);
    return;
  }
  {
    const QSignalBlocker quiet(cbDrives_);
    cbDrives_->clear();
    for (const std::string& entry : list) cbDrives_->addItem(QString::fromStdString(entry));
  }
  for (int i = 0; i < cbDrives_->count(); ++i) {
    SelectDriveItem(i);
    if (!last && (burner_->DeviceCapabilities() & kBurnableMedia)) {
      SelectDriveItem(i);
      return;
    }
  }
}

void TForm1::SelectDriveItem(int index) {
  {
    const QSignalBlocker quiet(cbDrives_);
    cbDrives_->setCurrentIndex(index);
  }
  DriveChanged();
}

void TForm1::DriveChanged() {
  cbDrives_->setToolTip(cbDrives_->currentText());
  if (tag_ != Mp3Disc) return;
  burner_->SelectDevice(cbDrives_->currentText().toStdString());
  actBurn_->setEnabled(burner_->DeviceCapabilities() & kBurnableMedia);
  const char letter = burner_->HaId() == kNoDrive ? '\0' : burner_->DriveLetter();
  lDrive_->setText(letter >= 'A' && letter <= 'Z' ? tr("Drive %1:").arg(QLatin1Char(letter))
                                                  : tr("Drive:"));
  lDrive_->setAccessibleName(lDrive_->text());
}

void TForm1::Eject() {
  if (tag_ == AudioCd) {
    writer_->SelectDrive(static_cast<int16_t>(cbDrives_->currentIndex()));
    writer_->EjectDisc();
  } else if (tag_ == Mp3Disc) {
    burner_->SynchronizeCache(300000, false);
    burner_->AllowMediumRemoval(true);
    burner_->EjectMedium(true);
  }
}

QString TForm1::SelectedFile() const {
  const TBurningList* list = CurrentList();
  if (!list) return QString();
  const QList<int> rows = list->SelectedRows();
  if (rows.isEmpty()) return QString();
  return list->Cells(rows.first()).value(tag_ == AudioCd ? 1 : 0);
}

void TForm1::Play() {
  StopPlaying();
  const QString file = SelectedFile();
  if (file.isEmpty()) return;
  if (!QFileInfo(file).isFile()) {
    Inform(QStringLiteral("An Error occur when trying to open the file."));
    return;
  }
  if (!player_) {
    player_ = new QMediaPlayer(this);
    audioOutput_ = new QAudioOutput(this);
    player_->setAudioOutput(audioOutput_);
    connect(player_, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error error) {
      if (error == QMediaPlayer::NoError) return;
      StopPlaying();
      Inform(QStringLiteral("An Error occur when trying to open the file."));
    });
  }
  player_->setSource(QUrl::fromLocalFile(file));
  player_->play();
}

void TForm1::StopPlaying() {
  if (!player_ || player_->playbackState() == QMediaPlayer::StoppedState) return;
  player_->stop();
  player_->setSource(QUrl());
}

bool TForm1::Playing() const {
  return player_ && player_->playbackState() == QMediaPlayer::PlayingState;
}

}  // namespace melvaro
