// TForm1: the burning lists' rows, their totals, the task files and the close query.
#include <QCloseEvent>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include "burner/disc_burner.h"
#include "main/burning_list.h"
#include "main/burning_rows.h"
#include "main/capacity_strip.h"
#include "main/explorer_panel.h"
#include "main/list_compilation.h"
#include "main/main_window.h"
#include "main/start_form.h"
#include "main/track_length.h"
#include "platform/prompter.h"

namespace melvaro {

namespace {

const QString kCdtFilter = QStringLiteral("Audio CD Task File (*.cdt)|*.cdt");
const QString kMptFilter = QStringLiteral("MP3 Disc Task File (*.mpt)|*.mpt");
const QString kChangedQuestion = QStringLiteral("The task has been changed, save it?");

bool IsAudioFile(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  return suffix == QLatin1String("mp3") || suffix == QLatin1String("wav");
}

// The audio files below a folder, folders first visited in name order.
QStringList AudioFilesIn(const QString& folder) {
  QStringList found;
  QDir dir(folder);
  const auto entries = dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                                         QDir::Name | QDir::IgnoreCase | QDir::DirsLast);
  for (const QFileInfo& entry : entries) {
    if (entry.isDir() && !entry.isSymLink())
      found << AudioFilesIn(entry.filePath());
    else if (entry.isFile() && IsAudioFile(entry.fileName()))
      found << entry.filePath();
  }
  return found;
}

}  // namespace

void TForm1::AddTracks(const QStringList& paths) {
  for (const QString& path : paths) {
    const int before = trackBox_->rowCount();
    const std::optional<int64_t> ms = TrackLengthMs(path);
    trackBox_->AppendRow({TrackCaption(before), path, TrackType(path),
                          ms ? TimeText(SecondsOfLength(*ms)) : QStringLiteral("Error")});
  }
}

void TForm1::AddDiscRows(const QStringList& paths) {
  for (QString path : paths) {
    while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
    const bool folder = QFileInfo(path).isDir();
    if (folder && !path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
    const int64_t size = TDiscBurner::SourceFileSize(QFile::encodeName(path).toStdString());
    const int row = clbox_->AppendRow({path, SizeText(size)});
    clbox_->item(row, 1)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  }
}

void TForm1::DropFromExplorer() {
  const QStringList files = explorer_->SelectedFiles();
  if (tag_ == AudioCd) {
    AddTracks(files);
  } else if (tag_ == Mp3Disc) {
    AddDiscRows(files);
  } else {
    return;
  }
  UpdateCapacityBar();
  taskChanged_ = true;
}

void TForm1::AddPaths(const QStringList& paths) {
  if (tag_ == AudioCd) {
    QStringList audio;
    for (const QString& path : paths) {
      const QFileInfo info(path);
      if (info.isDir())
        audio << AudioFilesIn(path);
      else if (info.isFile() && IsAudioFile(path))
        audio << path;
    }
    if (audio.isEmpty()) return;
    AddTracks(audio);
  } else if (tag_ == Mp3Disc) {
    QStringList existing;
    for (const QString& path : paths)
      if (QFileInfo::exists(path)) existing << path;
    if (existing.isEmpty()) return;
    AddDiscRows(existing);
  } else {
    return;
  }
  UpdateCapacityBar();
  taskChanged_ = true;
}

void TForm1::AddFilesCommand() {
  QString filter;
  if (tag_ == AudioCd)
    filter = tr("Audio files (*.mp3 *.wav *.MP3 *.WAV);;All files (*)");
  else if (task_ == TTask::Image)
    filter = tr("All files (*)");
  else
    filter = tr("MP3 files (*.mp3 *.MP3);;All files (*)");
  const QString folder = explorer_->CurrentFolder() == TExplorerPanel::kDrives
                             ? QDir::homePath()
                             : explorer_->CurrentFolder();
  const QStringList files = Prompter().OpenFileNames(this, tr("Add files"), folder, filter);
  if (!files.isEmpty()) AddPaths(files);
}

void TForm1::AddFolderCommand() {
  const QString folder = explorer_->CurrentFolder() == TExplorerPanel::kDrives
                             ? QDir::homePath()
                             : explorer_->CurrentFolder();
  const QString chosen = Prompter().FolderName(this, tr("Add folder"), folder);
  if (!chosen.isEmpty()) AddPaths({chosen});
}

void TForm1::RemoveSelected() {
  if (TBurningList* list = CurrentList()) {
    const QList<int> rows = list->SelectedRows();
    if (tag_ == AudioCd || !rows.isEmpty()) {
      for (auto it = rows.rbegin(); it != rows.rend(); ++it) list->removeRow(*it);
      UpdateCapacityBar();
    }
  }
  taskChanged_ = true;
}

void TForm1::RemoveAll() {
  if (tag_ == AudioCd) {
    trackBox_->setRowCount(0);
    bar_->SetTotal(0, EmptyTimeHint());
  } else if (tag_ == Mp3Disc) {
    clbox_->setRowCount(0);
    bar_->SetTotal(0, EmptySizeHint());
  }
  taskChanged_ = true;
}

int64_t TForm1::TotalTime() const {
  int64_t total = 0;
  for (int row = 0; row < trackBox_->rowCount(); ++row)
    total += TimeCellSeconds(trackBox_->Cells(row).value(3));
  return total;
}

int64_t TForm1::TotalSize() const {
  int64_t total = 0;
  for (int row = 0; row < clbox_->rowCount(); ++row)
    total += SizeCellBytes(clbox_->Cells(row).value(1));
  return total;
}

void TForm1::UpdateCapacityBar() {
  if (tag_ == AudioCd) {
    const int64_t total = TotalTime();
    bar_->SetTotal(TimeBarWidth(total), TimeHint(total));
  } else if (tag_ == Mp3Disc) {
    const int64_t total = TotalSize();
    bar_->SetTotal(SizeBarWidth(total), SizeHint(total));
  }
}

std::vector<TTrackCells> TForm1::TrackRows() const {
  std::vector<TTrackCells> rows;
  for (int row = 0; row < trackBox_->rowCount(); ++row) {
    const QStringList cells = trackBox_->Cells(row);
    rows.push_back({cells.value(1), cells.value(2), cells.value(3)});
  }
  return rows;
}

std::vector<TDiscCells> TForm1::DiscRows() const {
  std::vector<TDiscCells> rows;
  for (int row = 0; row < clbox_->rowCount(); ++row) {
    const QStringList cells = clbox_->Cells(row);
    rows.push_back({cells.value(0), cells.value(1), cells.value(2)});
  }
  return rows;
}

void TForm1::LoadTrackRows(const std::vector<TTrackCells>& rows) {
  trackBox_->setRowCount(0);
  for (size_t n = 0; n < rows.size(); ++n)
    trackBox_->AppendRow({QString::number(n), rows[n].path, rows[n].type, rows[n].time});
}

void TForm1::LoadDiscRows(const std::vector<TDiscCells>& rows) {
  clbox_->setRowCount(0);
  for (const TDiscCells& r : rows) {
    const int row = clbox_->AppendRow({r.caption, r.size, r.text});
    clbox_->item(row, 1)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  }
}

TForm1::TSaveResult TForm1::SaveTask() {
  TSaveResult result = TSaveResult::Cancelled;
  if (tag_ == AudioCd || tag_ == Mp3Disc) {
    const bool audio = tag_ == AudioCd;
    const QString name =
        WithDefaultExtension(Prompter().SaveFileName(this, tr("Save"), QString(),
                                                     QtFileFilter(audio ? kCdtFilter : kMptFilter)),
                             audio ? QStringLiteral("cdt") : QStringLiteral("mpt"));
    if (!name.isEmpty()) {
      QString error;
      if (WriteTaskFile(name, audio ? CdtText(TrackRows()) : MptText(DiscRows()), &error)) {
        result = TSaveResult::Saved;
      } else {
        Prompter().MessageBox(this, tr("The task could not be saved to %1: %2").arg(name, error),
                              tr("Information"), QMessageBox::Ok, QMessageBox::Warning);
        return TSaveResult::Failed;
      }
    }
  }
  taskChanged_ = false;
  return result;
}

void TForm1::OpenTask() {
  if (tag_ != AudioCd && tag_ != Mp3Disc) {
    taskChanged_ = false;
    return;
  }
  const bool audio = tag_ == AudioCd;
  const QString name = Prompter().OpenFileName(this, tr("Open"), QString(),
                                               QtFileFilter(audio ? kCdtFilter : kMptFilter));
  if (name.isEmpty()) {
    taskChanged_ = false;
    return;
  }
  // The file is read before the list is emptied: a name that cannot be read leaves
  // the list as it was.
  QString error;
  const std::optional<QByteArray> text = ReadTaskFile(name, &error);
  if (!text) {
    Prompter().MessageBox(this, tr("Cannot open file \"%1\". %2").arg(name, error),
                          tr("Information"), QMessageBox::Ok, QMessageBox::Warning);
    return;
  }
  if (audio) {
    LoadTrackRows(ParseCdt(*text));
  } else {
    LoadDiscRows(ParseMpt(*text));
  }
  UpdateCapacityBar();
  // A file without any text leaves the task-changed mark as it was.
  if (!text->isEmpty()) taskChanged_ = false;
}

bool TForm1::NewTask() {
  if (taskChanged_) {
    const auto answer = Prompter().MessageBox(
        this, kChangedQuestion, tr("Query"),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Question);
    if (answer == QMessageBox::Cancel) return false;
    // A list whose saving failed is kept.
    if (answer == QMessageBox::Yes && SaveTask() == TSaveResult::Failed) return false;
  }
  trackBox_->setRowCount(0);
  clbox_->setRowCount(0);
  bar_->SetTotal(0, QString());
  taskChanged_ = false;
  return true;
}

bool TForm1::CloseQuery() {
  if (closed_ || !taskChanged_) return true;
  const auto answer = Prompter().MessageBox(
      this, kChangedQuestion, tr("Query"), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
      QMessageBox::Question);
  if (answer == QMessageBox::Cancel) return false;
  if (answer == QMessageBox::Yes && SaveTask() == TSaveResult::Failed) return false;
  taskChanged_ = false;
  return true;
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (!CloseQuery()) {
    event->ignore();
    return;
  }
  const bool wasShown = isVisible();
  StopPlaying();
  closed_ = true;
  event->accept();
  if (wasShown && startForm_) startForm_->show();
}

void TForm1::showEvent(QShowEvent* event) {
  closed_ = false;
  QMainWindow::showEvent(event);
}

bool TForm1::CloseWindow() {
  return !isVisible() ? (close(), true) : close();
}

bool TForm1::FillCompilation(uint8_t importSession) {
  if (importSession != 0) {
    burner_->ImportSessionNumber = 0;
    burner_->ImportSession(importSession, burner_->RootDir());
  }
  if (clbox_->rowCount() == 0) {
    Prompter().MessageBox(this, QStringLiteral("Atleast one MP3 file should be selected"),
                          tr("Information"));
    return false;
  }
  for (int row = 0; row < clbox_->rowCount(); ++row) {
    QString error;
    if (!AddListedPath(*burner_, clbox_->Cells(row).value(0), &error)) {
      Prompter().MessageBox(this, error, tr("Information"), QMessageBox::Ok, QMessageBox::Warning);
      return false;
    }
  }
  return true;
}

}  // namespace melvaro
