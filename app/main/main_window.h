// TForm1: the main (burning) window. It holds the burning list of the current task
// (TrackBox for an Audio CD, clbox for an MP3 disc or an image task), the explorer panel
// the files are dragged from, the drive selector, the capacity bar over its ruler, the
// menus and tool bars, and the one disc engine object and audio CD writer of the run.
//
// The window's decisions are plain methods (the rows, the totals, the task files, the
// drive selection, the close query); slots are one-line calls into them, so tests drive
// the same code a click does.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "main/burning_window.h"
#include "main/task_files.h"

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QMediaPlayer;
class QAudioOutput;
class QMenu;
class QSplitter;
class QToolBar;

namespace melvaro {

class TBurningList;
class TCapacityBar;
class TCDWriterXP;
class TDiscBurner;
class TExplorerPanel;
class TLengthRuler;
class TSizeRuler;
class TStartForm;
class TTransport;

// How the window reaches its drives; the program uses the defaults.
struct TMainWindowSetup {
  QString programFolder;            // empty: the start screen's
  TTransport* transport = nullptr;  // null: the process's transport
  std::string libraryPath;          // the drive plug-in to try first; empty: the usual places
  bool preferPassThrough = true;
};

class TForm1 final : public QMainWindow, public TBurningWindow {
  Q_OBJECT

 public:
  enum TMode { AudioCd = 0, Mp3Disc = 1 };

  // Creates the window hidden: the work folder "temp" in the program folder, the drive
  // transport and its drive list; without any drive transport the window is disabled and
  // the user told so.
  TForm1(TStartForm* startForm, const TMainWindowSetup& setup = {}, QWidget* parent = nullptr);
  ~TForm1() override;

  // TBurningWindow. `caption` is the window's whole caption for the task.
  QWidget* Window() override { return this; }
  void PrepareTask(TTask task, const QString& caption) override;
  bool CloseWindow() override;

  // State.
  int Mode() const { return tag_; }
  void SetMode(int mode) { tag_ = mode; }
  TTask Task() const { return task_; }
  bool TaskChanged() const { return taskChanged_; }
  void SetTaskChanged(bool changed) { taskChanged_ = changed; }
  bool ClosedFlag() const { return closed_; }
  QString ProgramFolder() const { return programFolder_; }
  QString WorkFolder() const { return workFolder_; }
  void SetWorkFolder(const QString& folder) { workFolder_ = folder; }

  // The parts the other windows and the tests reach.
  TDiscBurner& Burner() { return *burner_; }
  TCDWriterXP& AudioWriter() { return *writer_; }
  TBurningList* TrackBox() const { return trackBox_; }
  TBurningList* Clbox() const { return clbox_; }
  TBurningList* CurrentList() const;
  TExplorerPanel* Explorer() const { return explorer_; }
  QComboBox* DriveCombo() const { return cbDrives_; }
  QLabel* DriveLabel() const { return lDrive_; }
  TCapacityBar* CapacityBar() const { return bar_; }
  QAction* BurnAction() const { return actBurn_; }
  // The visible tool bars' object names from left to right (as laid out).
  QStringList ToolBarOrder() const;
  QToolBar* ToolBar(const QString& name) const;

  // Rows (Part of the lists' logic; each marks nothing by itself unless said).
  // Appends Audio CD rows for `paths`: caption "Track n", path, type, time measured
  // from the file ("Error" when it cannot be measured).
  void AddTracks(const QStringList& paths);
  // Appends MP3 disc rows: a file with its size, a folder (with or without its
  // trailing "/") as "path/" with the size of everything below it.
  void AddDiscRows(const QStringList& paths);
  // The explorer drop on the list of the current mode: the selected files of the
  // explorer list, then the totals, then the task marked changed.
  void DropFromExplorer();
  // A drop of paths from the desktop's file manager (or the Add commands): Audio CD
  // mode adds the audio files among them (a folder: its audio files, in name order,
  // folders below included); MP3 disc mode adds every file and folder.
  void AddPaths(const QStringList& paths);
  void AddFilesCommand();
  void AddFolderCommand();
  void RemoveSelected();
  void RemoveAll();

  // Totals read from the cells, and the capacity bar set from them.
  int64_t TotalTime() const;
  int64_t TotalSize() const;
  void UpdateCapacityBar();

  // Task files.
  std::vector<TTrackCells> TrackRows() const;
  std::vector<TDiscCells> DiscRows() const;
  void LoadTrackRows(const std::vector<TTrackCells>& rows);
  void LoadDiscRows(const std::vector<TDiscCells>& rows);
  enum class TSaveResult { Saved, Cancelled, Failed };
  TSaveResult SaveTask();
  void OpenTask();
  // New: asks to save a changed task (Cancel stops and returns false), empties both
  // lists, clears the bar and the task-changed mark.
  bool NewTask();
  // The close query: true when the window may close.
  bool CloseQuery();

  // Drives.
  void FillAudioDrives();
  // Fills the combo with the engine's drive list and selects as the task asks: the
  // first drive that writes CD-R, DVD-R or DVD-RAM (else the last), or with `last` the
  // last drive.
  void FillEngineDrives(bool last);
  // The combo's change handling for item `index`.
  void SelectDriveItem(int index);
  void DriveChanged();
  void Eject();

  // Preview.
  void Play();
  void StopPlaying();
  bool Playing() const;
  // The file a preview or the information command acts on; empty without a selection.
  QString SelectedFile() const;

  // Fills the engine's compilation from clbox (after the session import when
  // `importSession` is not 0). False when nothing was added because the list is empty
  // (the user is told) or a row could not be added (the user is told which).
  bool FillCompilation(uint8_t importSession);

  // Commands whose windows live in other modules; unset, they do nothing.
  std::function<void()> OnBurnDisc;
  std::function<void()> OnEraseDisc;
  std::function<void()> OnBuildImage;
  std::function<void()> OnBurnImage;
  std::function<void()> OnOptions;
  std::function<void()> OnDriveInformation;
  std::function<void()> OnDiscInformation;
  std::function<void()> OnFileInformation;
  // The update check, with the text to show when it fails.
  std::function<void(const QString& failureText)> OnUpdateCheck;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildActions();
  void BuildMenus();
  void BuildToolBars();
  void BuildCentre();
  void PlaceToolBars(const QStringList& order);
  void ShowList(int mode);
  void ShowHelp();
  void OpenAddress(const QString& address);
  void ShowListMenu(const QPoint& at);
  void Inform(const QString& text);

  TStartForm* startForm_ = nullptr;
  std::unique_ptr<TDiscBurner> burner_;
  std::unique_ptr<TCDWriterXP> writer_;
  QString programFolder_;
  QString workFolder_;
  int tag_ = Mp3Disc;
  TTask task_ = TTask::Mp3Disc;
  bool taskChanged_ = false;
  bool closed_ = false;

  TBurningList* trackBox_ = nullptr;
  TBurningList* clbox_ = nullptr;
  TExplorerPanel* explorer_ = nullptr;
  QGroupBox* listGroup_ = nullptr;
  QGroupBox* explorerGroup_ = nullptr;
  QSplitter* splitter_ = nullptr;
  QComboBox* cbDrives_ = nullptr;
  QLabel* lDrive_ = nullptr;
  QWidget* strip_ = nullptr;
  TLengthRuler* imgLength_ = nullptr;
  TSizeRuler* imgSize_ = nullptr;
  TCapacityBar* bar_ = nullptr;
  QMenu* listMenu_ = nullptr;
  QMenu* toolsMenu_ = nullptr;
  QToolBar* fileBar_ = nullptr;
  QToolBar* driveBar_ = nullptr;
  QToolBar* burnBar_ = nullptr;
  QToolBar* imageBar_ = nullptr;
  QToolBar* helpBar_ = nullptr;

  QAction* actNew_ = nullptr;
  QAction* actOpen_ = nullptr;
  QAction* actSave_ = nullptr;
  QAction* actRemove_ = nullptr;
  QAction* actRemoveAll_ = nullptr;
  QAction* actAddFiles_ = nullptr;
  QAction* actAddFolder_ = nullptr;
  QAction* actEject_ = nullptr;
  QAction* actDriveInfo_ = nullptr;
  QAction* actDiscInfo_ = nullptr;
  QAction* actBurn_ = nullptr;
  QAction* actCopy_ = nullptr;
  QAction* actErase_ = nullptr;
  QAction* actBuildIso_ = nullptr;
  QAction* actBurnIso_ = nullptr;
  QAction* actOptions_ = nullptr;
  QAction* actCheckVersion_ = nullptr;
  QAction* actHelp_ = nullptr;
  QAction* actTechSupport_ = nullptr;
  QAction* actSaleSupport_ = nullptr;
  QAction* actHomePage_ = nullptr;
  QAction* actAbout_ = nullptr;
  QAction* actPlay_ = nullptr;
  QAction* actStop_ = nullptr;
  QAction* actInfo_ = nullptr;

  QMediaPlayer* player_ = nullptr;
  QAudioOutput* audioOutput_ = nullptr;
};

}  // namespace melvaro
