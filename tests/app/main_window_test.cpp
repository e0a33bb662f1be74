// The main window: start-up without drives, the three tasks' set-up, rows, totals and
// the capacity bar, drops, removing, task files, New and the close query.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <map>

#include "burner/disc_burner.h"
#include "jobs/cd_writer_xp.h"
#include "main/burning_list.h"
#include "main/capacity_strip.h"
#include "main/explorer_panel.h"
#include "main_window_fixture.h"

namespace melvaro {
namespace {

using test::MainWindowTest;

// A WAV file of `ms` milliseconds: 8 000 Hz, mono, 8 bits (8 000 bytes a second).
void WriteWav(const QString& path, int64_t ms) {
  const uint32_t data = static_cast<uint32_t>(ms * 8);
  QByteArray bytes("RIFF");
  auto le32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.append(static_cast<char>(v >> (8 * i)));
  };
  auto le16 = [&](uint16_t v) {
    bytes.append(static_cast<char>(v));
    bytes.append(static_cast<char>(v >> 8));
  };
  le32(36 + data);
  bytes.append("WAVEfmt ");
  le32(16);
  le16(1);
  le16(1);
  le32(8000);
  le32(8000);
  le16(1);
  le16(8);
  bytes.append("data");
  le32(data);
  bytes.append(QByteArray(static_cast<qsizetype>(data), '\x80'));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

void WriteSized(const QString& path, qint64 size) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  ASSERT_TRUE(file.resize(size));
}

QStringList Column(const TBurningList* list, int column) {
  QStringList cells;
  for (int row = 0; row < list->rowCount(); ++row) cells << list->Cells(row).value(column);
  return cells;
}

QStringList ComboItems(const QComboBox* combo) {
  QStringList items;
  for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
  return items;
}

// Waits for the explorer list to show `folder`.
void ShowFolder(TExplorerPanel* explorer, const QString& folder) {
  QSignalSpy ready(explorer, &TExplorerPanel::FolderReady);
  explorer->SetFolder(folder);
  if (!explorer->FolderLoaded()) {
    ASSERT_TRUE(ready.wait(20000)) << folder.toStdString();
  }
  // The model hands rows over in batches after the folder was read.
  for (int i = 0; i < 50 && explorer->Items().empty(); ++i) QTest::qWait(20);
}

class NoDriveStart : public MainWindowTest {
  bool WithPlugin() const override { return false; }
};

TEST_F(NoDriveStart, DisablesTheWindowAndSaysWhy) {
  ASSERT_EQ(prompter.prompts.size(), 1u);
  EXPECT_EQ(prompter.prompts[0].text,
            "Error initializing ASPI Layer, Please visit support page, "
            "http://melvaro.example.org for more information");
  EXPECT_FALSE(Window().isEnabled());
  EXPECT_FALSE(Window().isVisible());
  EXPECT_TRUE(QDir(Folder() + "/temp").exists());
}

TEST_F(MainWindowTest, CreationMakesTheWorkFolderAndAsksNothing) {
  EXPECT_TRUE(prompter.prompts.empty());
  EXPECT_TRUE(Window().isEnabled());
  EXPECT_FALSE(Window().isVisible());
  EXPECT_TRUE(QDir(Folder() + "/temp").exists());
  EXPECT_EQ(Window().WorkFolder(), Folder() + "/temp");
  EXPECT_FALSE(Window().TaskChanged());
}

TEST_F(MainWindowTest, ListsHaveTheirColumnsAndNames) {
  struct TColumn {
    const char* header;
    int width;
  };
  auto check = [](const TBurningList* list, std::vector<TColumn> columns) {
    ASSERT_EQ(list->columnCount(), static_cast<int>(columns.size()));
    for (int c = 0; c < list->columnCount(); ++c) {
      EXPECT_EQ(list->horizontalHeaderItem(c)->text(), columns[c].header);
      EXPECT_EQ(list->columnWidth(c), columns[c].width) << columns[c].header;
    }
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_TRUE(list->showGrid());
  };
  check(
      Window().TrackBox(),
      {{"Track", 100}, {"File Name", 300}, {"Type", 120}, {"Time (Hour : Minute : Second)", 185}});
  check(Window().Clbox(), {{"File Name", 320}, {"File Size (Byte)", 150}});
  EXPECT_EQ(Window().objectName(), "TForm1");
  for (const char* name : {"TrackBox", "clbox", "cbDrives", "lDrive", "lbFiles", "ProgressBar1",
                           "ImgLength", "ImgSize"}) {
    auto* widget = Window().findChild<QWidget*>(name);
    ASSERT_NE(widget, nullptr) << name;
    EXPECT_FALSE(widget->accessibleName().isEmpty()) << name;
  }
  EXPECT_EQ(Window().DriveCombo()->accessibleName(), "Drive:");
  EXPECT_EQ(Window().DriveCombo()->maxVisibleItems(), 8);
  EXPECT_FALSE(Window().DriveCombo()->isEditable());
}

TEST_F(MainWindowTest, ToolButtonsCarryTheirHints) {
  const std::map<QString, QString> hints = {
      {"tbNew", "Creates a new task"},
      {"tbOpen", "Opens an existing task"},
      {"tbSave", "Saves current task"},
      {"tbPlay", "Plays the selected audio file"},
      {"tbStop", "Stops playing"},
      {"tbInfo", "Displays the information of the selected audio file"},
      {"tbEject", "Ejects the disc"},
      {"tbDriveInfo", "Displays the information of the drive"},
      {"tbDiscInfo", "Displays the information of the disc"},
      {"tbBurn", "Burns the current task"},
      {"tbErase", "Erases a CD \\ DVD"},
      {"tbBuildIso", "Builds ISO"},
      {"tbBurnIso", "Burns ISO"},
      {"tbOptions", "Options"},
      {"tbAbout", "About"},
      {"tbHelp", "Help"}};
  for (const auto& [name, hint] : hints) {
    auto* button = Window().findChild<QToolButton*>(name);
    ASSERT_NE(button, nullptr) << name.toStdString();
    EXPECT_EQ(button->toolTip(), hint) << name.toStdString();
    EXPECT_FALSE(button->accessibleName().isEmpty()) << name.toStdString();
  }
  QStringList fileBar;
  for (QAction* a : Window().ToolBar("FileBar")->actions())
    fileBar << (a->isSeparator() ? QStringLiteral("|") : a->objectName());
  EXPECT_EQ(fileBar,
            QStringList({"actNew", "actOpen", "actSave", "|", "actPlay", "actStop", "actInfo"}));
}

TEST_F(MainWindowTest, MenusHoldEveryEntry) {
  QStringList entries;
  for (QAction* top : Window().menuBar()->actions()) {
    entries << top->text();
    if (!top->menu()) continue;
    for (QAction* a : top->menu()->actions()) {
      if (a->isSeparator()) continue;
      entries << "  " + a->text();
      if (a->menu())
        for (QAction* b : a->menu()->actions()) entries << "    " + b->text();
    }
  }
  EXPECT_EQ(entries, QStringList({"&Task",
                                  "  &New",
                                  "  &Open",
                                  "  &Save",
                                  "&Edit",
                                  "  Add &files...",
                                  "  Add f&older...",
                                  "  &Remove the selected file",
                                  "  Remove all files",
                                  "D&isc",
                                  "  E&ject",
                                  "  D&river Information",
                                  "  D&isk Information",
                                  "&Operation",
                                  "  &Burn Disc",
                                  "  &Copy Disc",
                                  "  Er&ase Disc",
                                  "I&SO Image",
                                  "  B&uild .ISO Image",
                                  "  Bu&rn .ISO Image",
                                  "O&ptions",
                                  "Too&ls",
                                  "  &Check the latest version",
                                  "&Help",
                                  "  Co&ntent",
                                  "  Con&tact Us",
                                  "    Te&chnical Support",
                                  "    Sa&le Support",
                                  "  O&ur Homepage",
                                  "  &About"}));
  auto* popup = Window().findChild<QMenu*>("PopupMenu");
  ASSERT_NE(popup, nullptr);
  QStringList items;
  for (QAction* a : popup->actions())
    if (!a->isSeparator()) items << a->text();
  EXPECT_EQ(items, QStringList({"Pl&ay", "Sto&p", "&Remove", "Remove &All", "Add &files...",
                                "Add f&older..."}));
}

TEST_F(MainWindowTest, AudioCdTask) {
  Window().PrepareTask(TTask::AudioCd, "Melvaro V2.7 - Burn Audio CD");
  EXPECT_EQ(Window().Mode(), TForm1::AudioCd);
  EXPECT_EQ(Window().windowTitle(), "Melvaro V2.7 - Burn Audio CD");
  EXPECT_TRUE(Window().isVisible());
  EXPECT_EQ(Window().ToolBarOrder(), QStringList({"FileBar", "DriveBar", "BurnBar", "HelpBar"}));
  EXPECT_TRUE(Window().TrackBox()->isVisible());
  EXPECT_FALSE(Window().Clbox()->isVisible());
  EXPECT_EQ(Window().Explorer()->Mask(), "*.wav;*.mp3");
  EXPECT_TRUE(Window().findChild<QWidget*>("ImgLength")->isVisible());
  EXPECT_FALSE(Window().findChild<QWidget*>("ImgSize")->isVisible());
  // Both default recorders write CD-R.
  const QStringList items = ComboItems(Window().DriveCombo());
  ASSERT_EQ(items.size(), 2);
  EXPECT_TRUE(items[0].endsWith(":MELVARO VIRTUAL DVD-RW 1.00")) << items[0].toStdString();
  EXPECT_TRUE(items[1].endsWith(":MELVARO VIRTUAL CD-RW 1.00")) << items[1].toStdString();
  EXPECT_EQ(items[0].at(1), ':');
  EXPECT_EQ(Window().DriveCombo()->currentIndex(), 0);
  EXPECT_EQ(Window().DriveCombo()->toolTip(), items[0]);
  EXPECT_TRUE(Window().BurnAction()->isEnabled());
  EXPECT_TRUE(prompter.prompts.empty());
}

TEST_F(MainWindowTest, Mp3DiscTaskSelectsTheFirstWriter) {
  Window().PrepareTask(TTask::Mp3Disc, "Melvaro V2.7 - Burn MP3 disc");
  EXPECT_EQ(Window().Mode(), TForm1::Mp3Disc);
  EXPECT_EQ(Window().windowTitle(), "Melvaro V2.7 - Burn MP3 disc");
  EXPECT_EQ(Window().ToolBarOrder(), QStringList({"FileBar", "DriveBar", "BurnBar", "HelpBar"}));
  EXPECT_FALSE(Window().TrackBox()->isVisible());
  EXPECT_TRUE(Window().Clbox()->isVisible());
  EXPECT_EQ(Window().Explorer()->Mask(), "*.mp3");
  EXPECT_FALSE(Window().findChild<QWidget*>("ImgLength")->isVisible());
  EXPECT_TRUE(Window().findChild<QWidget*>("ImgSize")->isVisible());
  const auto& list = Window().Burner().DeviceList();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(ComboItems(Window().DriveCombo()),
            QStringList({QString::fromStdString(list[0]), QString::fromStdString(list[1])}));
  EXPECT_EQ(Window().DriveCombo()->currentIndex(), 0);
  EXPECT_EQ(Window().DriveCombo()->toolTip(), QString::fromStdString(list[0]));
  EXPECT_EQ(Window().Burner().DeviceName(), list[0]);
  EXPECT_TRUE(Window().BurnAction()->isEnabled());
  EXPECT_EQ(Window().DriveLabel()->text(),
            QStringLiteral("Drive %1:").arg(QLatin1Char(Window().Burner().DriveLetter())));
}

TEST_F(MainWindowTest, ImageTaskLeavesTheLastDriveSelected) {
  Window().PrepareTask(TTask::Image, "Melvaro V2.7 - Build / Burn .ISO");
  EXPECT_EQ(Window().Mode(), TForm1::Mp3Disc);
  EXPECT_EQ(Window().windowTitle(), "Melvaro V2.7 - Build / Burn .ISO");
  EXPECT_EQ(Window().ToolBarOrder(), QStringList({"FileBar", "DriveBar", "ImageBar", "HelpBar"}));
  EXPECT_TRUE(Window().Clbox()->isVisible());
  EXPECT_EQ(Window().Explorer()->Mask(), "*.*");
  EXPECT_EQ(Window().DriveCombo()->currentIndex(), 1);
  EXPECT_EQ(Window().Burner().DeviceName(), Window().Burner().DeviceList().at(1));
  // Back to a burn task: the burn bar returns, the image bar goes.
  Window().PrepareTask(TTask::AudioCd, "Melvaro V2.7 - Burn Audio CD");
  EXPECT_EQ(Window().ToolBarOrder(), QStringList({"FileBar", "DriveBar", "BurnBar", "HelpBar"}));
}

class ReaderThenCdrWriter : public MainWindowTest {
  QByteArray Drives() const override { return QByteArray(test::kReadOnlyDrive) + test::kCdrDrive; }
};

TEST_F(ReaderThenCdrWriter, Mp3DiscTaskSelectsTheSecondDrive) {
  Window().PrepareTask(TTask::Mp3Disc, "Melvaro V2.7 - Burn MP3 disc");
  EXPECT_EQ(Window().DriveCombo()->currentIndex(), 1);
  EXPECT_TRUE(Window().BurnAction()->isEnabled());
  // The audio writer lists the CD-R writer alone.
  Window().PrepareTask(TTask::AudioCd, "Melvaro V2.7 - Burn Audio CD");
  const QStringList items = ComboItems(Window().DriveCombo());
  ASSERT_EQ(items.size(), 1);
  EXPECT_TRUE(items[0].endsWith(":MELVARO VIRTUAL CD-R 1.10")) << items[0].toStdString();
}

class CdrwOnlyWriter : public MainWindowTest {
  QByteArray Drives() const override { return test::kCdrwOnlyDrive; }
};

TEST_F(CdrwOnlyWriter, LeavesBurnDisabledAndTheAudioListEmpty) {
  Window().PrepareTask(TTask::Mp3Disc, "Melvaro V2.7 - Burn MP3 disc");
  EXPECT_EQ(Window().DriveCombo()->count(), 1);
  EXPECT_FALSE(Window().BurnAction()->isEnabled());
  EXPECT_TRUE(prompter.prompts.empty());
  Window().PrepareTask(TTask::AudioCd, "Melvaro V2.7 - Burn Audio CD");
  EXPECT_EQ(Window().DriveCombo()->count(), 0);
  ASSERT_EQ(prompter.prompts.size(), 1u);
  EXPECT_EQ(prompter.prompts[0].text, "There are no compatible CDR drives reported.");
  EXPECT_EQ(prompter.prompts[0].caption, "Information");
}

TEST_F(MainWindowTest, AudioWriterDriveMembers) {
  TCDWriterXP& writer = Window().AudioWriter();
  ASSERT_EQ(writer.DriveCount(), 2);
  EXPECT_EQ(writer.DriveNameAt(0), "MELVARO VIRTUAL DVD-RW");
  EXPECT_EQ(writer.DriveNameAt(1), "MELVARO VIRTUAL CD-RW");
  EXPECT_EQ(writer.DriveDetailAt(1), "1.00");
  EXPECT_EQ(writer.DriveLetterAt(0).size(), 1);
  EXPECT_NE(writer.DriveLetterAt(0), writer.DriveLetterAt(1));
  EXPECT_EQ(writer.DriveNameAt(2), "");
  EXPECT_FALSE(writer.SelectDrive(2));
  EXPECT_FALSE(writer.EjectDisc());
  EXPECT_EQ(writer.GetWriterMaxSpeed(), 0);
  ASSERT_TRUE(writer.SelectDrive(1));
  EXPECT_EQ(writer.GetWriterMaxSpeed(), 40);  // 7 056 kB/s
  EXPECT_TRUE(writer.SetWriterSpeed(8));
  EXPECT_EQ(writer.Device().WriteSpeed(), 1411);
  EXPECT_FALSE(writer.DiscLoaded());  // no medium
  EXPECT_EQ(writer.RecordedSize(), 0);
  EXPECT_TRUE(writer.EjectDisc());
}

TEST_F(MainWindowTest, TrackRowsTotalsAndRemoval) {
  Window().PrepareTask(TTask::AudioCd, "Melvaro V2.7 - Burn Audio CD");
  const QString a = Folder() + "/a.wav", b = Folder() + "/b b.wav", bad = Folder() + "/bad.mp3";
  WriteWav(a, 185400);
  WriteWav(b, 184500);
  WriteSized(bad, 100);
  Window().AddTracks({a, b, bad, a});
  const TBurningList* list = Window().TrackBox();
  EXPECT_EQ(Column(list, 0), QStringList({"Track 0", "Track 1", "Track 2", "Track 3"}));
  EXPECT_EQ(Column(list, 1), QStringList({a, b, bad, a}));
  EXPECT_EQ(Column(list, 2), QStringList({"WAV", "WAV", "MP3", "WAV"}));
  EXPECT_EQ(Column(list, 3), QStringList({"0 : 3 : 5", "0 : 3 : 4", "Error", "0 : 3 : 5"}));
  Window().UpdateCapacityBar();
  EXPECT_EQ(Window().TotalTime(), 185 + 184 + 185);
  EXPECT_EQ(Window().CapacityBar()->BarWidth(), 105);  // 554 × 0.19 = 105.26
  EXPECT_EQ(Window().CapacityBar()->Hint(), "Time(Hour : Minute : Second) - 0 : 9 : 14");

  // Remove with nothing selected marks the task changed and changes no row.
  Window().SetTaskChanged(false);
  Window().TrackBox()->clearSelection();
  Window().RemoveSelected();
  EXPECT_EQ(list->rowCount(), 4);
  EXPECT_TRUE(Window().TaskChanged());
  // The Delete key removes the selection; the other rows keep their captions.
  Window().TrackBox()->selectRow(1);
  QTest::keyClick(Window().TrackBox(), Qt::Key_Delete);
  EXPECT_EQ(Column(list, 0), QStringList({"Track 0", "Track 2", "Track 3"}));
  EXPECT_EQ(Window().TotalTime(), 370);
  Window().AddTracks({b});
  EXPECT_EQ(Column(list, 0).last(), "Track 3");

  Window().LoadTrackRows({{"/x.mp3", "MP3", "1 : 2 : 5"}});
  Window().UpdateCapacityBar();
  EXPECT_EQ(Window().CapacityBar()->BarWidth(), 708);
  EXPECT_EQ(Window().CapacityBar()->Hint(), "Time(Hour : Minute : Second) - 1 : 2 : 5");
  Window().RemoveAll();
  EXPECT_EQ(list->rowCount(), 0);
  EXPECT_EQ(Window().CapacityBar()->BarWidth(), 0);
  EXPECT_EQ(Window().CapacityBar()->Hint(), "Time(Hour : Minute : Second) - 0 :0 : 0");
}

TEST_F(MainWindowTest, DiscRowsTotalsAndTheCapacityBar) {
  Window().PrepareTask(TTask::Mp3Disc, "Melvaro V2.7 - Burn MP3 disc");
  const int64_t mib = 1048576;
  QDir(Folder()).mkpath("album/cd 2");
  WriteSized(Folder() + "/big.iso", 700 * mib);
  WriteSized(Folder() + "/album/one.mp3", 3000);
  WriteSized(Folder() + "/album/cd 2/two.mp3", 4000);
  WriteSized(Folder() + "/empty.mp3", 0);
  Window().AddDiscRows({Folder() + "/big.iso"});
  Window().UpdateCapacityBar();
  EXPECT_EQ(Window().CapacityBar()->Hint(), "700 MB");
  EXPECT_EQ(Window().CapacityBar()->BarWidth(), 129);
  Window().AddDiscRows({Folder() + "/album", Folder() + "/empty.mp3"});
  const TBurningList* list = Window().Clbox();
  EXPECT_EQ(Column(list, 0),
            QStringList({Folder() + "/big.iso", Folder() + "/album/", Folder() + "/empty.mp3"}));
  EXPECT_EQ(Column(list, 1),
            QStringList({QLocale().toString(700 * mib), QLocale().toString(7000), ""}));
  EXPECT_EQ(Window().TotalSize(), 700 * mib + 7000);

  WriteSized(Folder() + "/dvd.iso", 4482 * mib);
  Window().LoadDiscRows({});
  Window().AddDiscRows({Folder() + "/dvd.iso"});
  Window().UpdateCapacityBar();
  EXPECT_EQ(Window().CapacityBar()->BarWidth(), 827);
  Window().RemoveAll();
  EXPECT_EQ(Window().CapacityBar()->Hint(), "0 MB");
  EXPECT_EQ(Window().CapacityBar()->BarWidth(), 0);
}

TEST_F(MainWindowTest, DropsTakeTheSelectedFilesOfTheExplorerList) {
  Window().PrepareTask(TTask::Mp3Disc, "Melvaro V2.7 - Burn MP3 disc");
  const QString music = Folder() + "/music";
  QDir(Folder()).mkpath("music/folder.mp3");
  WriteSized(music + "/a.mp3", 2048);
  WriteSized(music + "/b.MP3", 1000);
  WriteSized(music + "/c.txt", 10);
  TExplorerPanel* explorer = Window().Explorer();
  ShowFolder(explorer, music);
  QStringList captions;
  for (const auto& item : explorer->Items()) captions << item.caption + "=" + item.sizeText;
  EXPECT_EQ(captions, QStringList({"..= ", "folder.mp3= ", "a.mp3=2 KB", "b.MP3=1 KB"}));

  explorer->SelectCaptions({"folder.mp3", "a.mp3", "b.MP3", ".."});
  Window().SetTaskChanged(false);
  Window().DropFromExplorer();
  Window().DropFromExplorer();  // duplicates are kept
  EXPECT_EQ(Column(Window().Clbox(), 0),
            QStringList({music + "/a.mp3", music + "/b.MP3", music + "/a.mp3", music + "/b.MP3"}));
  EXPECT_EQ(Window().TotalSize(), 2 * 3048);
  EXPECT_EQ(Window().CapacityBar()->Hint(), "0 MB");
  EXPECT_TRUE(Window().TaskChanged());

  // The drives view adds nothing, yet marks the task changed.
  ShowFolder(explorer, QString());
  EXPECT_EQ(explorer->CurrentFolder(), "Drives");
  explorer->FileList()->selectAll();
  Window().SetTaskChanged(false);
  Window().DropFromExplorer();
  EXPECT_EQ(Window().Clbox()->rowCount(), 4);
  EXPECT_TRUE(Window().TaskChanged());
}

TEST_F(MainWindowTest, DragsAreAcceptedFromTheFileListAndTheFileManagerOnly) {
  Window().PrepareTask(TTask::AudioCd, "Melvaro V2.7 - Burn Audio CD");
  TBurningList* list = Window().TrackBox();
  QMimeData files;
  files.setUrls({QUrl::fromLocalFile(Folder() + "/x.mp3")});
  QMimeData text;
  text.setText("x.mp3");
  EXPECT_TRUE(list->AcceptsDrag(Window().Explorer()->FileList(), &files));
  EXPECT_FALSE(list->AcceptsDrag(Window().Explorer()->FolderTree(), &files));
  EXPECT_TRUE(list->AcceptsDrag(nullptr, &files));
  EXPECT_FALSE(list->AcceptsDrag(nullptr, &text));

  // A drop from the file manager: audio files, and the audio files of a folder.
  QDir(Folder()).mkpath("cd/disc 1");
  WriteWav(Folder() + "/cd/disc 1/02.wav", 1000);
  WriteWav(Folder() + "/cd/01.wav", 2000);
  WriteSized(Folder() + "/cd/cover.jpg", 10);
  WriteWav(Folder() + "/single.wav", 3000);
  QMimeData dropped;
  dropped.setUrls({QUrl::fromLocalFile(Folder() + "/single.wav"),
                   QUrl::fromLocalFile(Folder() + "/cd"),
                   QUrl::fromLocalFile(Folder() + "/cd/cover.jpg")});
  EXPECT_FALSE(list->Drop(Window().Explorer()->FolderTree(), &dropped));
  EXPECT_EQ(list->rowCount(), 0);
  EXPECT_TRUE(list->Drop(nullptr, &dropped));
  EXPECT_EQ(Column(list, 1), QStringList({Folder() + "/single.wav", Folder() + "/cd/01.wav",
                                          Folder() + "/cd/disc 1/02.wav"}));
  EXPECT_EQ(Column(list, 3), QStringList({"0 : 0 : 3", "0 : 0 : 2", "0 : 0 : 1"}));
  EXPECT_TRUE(Window().TaskChanged());
}

TEST_F(MainWindowTest, AddCommandsUseTheFileDialogs) {
  Window().PrepareTask(TTask::Mp3Disc, "Melvaro V2.7 - Burn MP3 disc");
  QDir(Folder()).mkpath("album");
  WriteSized(Folder() + "/album/x.mp3", 5000);
  WriteSized(Folder() + "/y.mp3", 1);
  prompter.Answer(QStringList({Folder() + "/y.mp3"}));
  Window().AddFilesCommand();
  prompter.Answer(Folder() + "/album");
  Window().AddFolderCommand();
  prompter.Answer(QString());
  Window().AddFolderCommand();  // cancelled
  EXPECT_EQ(Column(Window().Clbox(), 0), QStringList({Folder() + "/y.mp3", Folder() + "/album/"}));
  EXPECT_EQ(Window().TotalSize(), 5001);
}

TEST_F(MainWindowTest, TaskFilesRoundTripThroughTheWindow) {
  Window().PrepareTask(TTask::AudioCd, "Melvaro V2.7 - Burn Audio CD");
  const QString odd = Folder() + "/odd|na*me ü";
  QDir().mkpath(odd);
  WriteWav(odd + "/t r|ack.wav", 61000);
  Window().AddTracks({odd + "/t r|ack.wav", Folder() + "/missing.mp3"});
  const auto rows = Window().TrackRows();
  prompter.Answer(Folder() + "/list");
  EXPECT_EQ(Window().SaveTask(), TForm1::TSaveResult::Saved);
  EXPECT_FALSE(Window().TaskChanged());
  QFile saved(Folder() + "/list.cdt");
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_EQ(
      saved.readAll(),
      (odd + "/t r|ack.wav|WAV/0 : 1 : 1\r\n" + Folder() + "/missing.mp3|MP3/Error\r\n").toUtf8());
  EXPECT_EQ(prompter.prompts.back().filter, "Audio CD Task File (*.cdt)");

  Window().RemoveAll();
  prompter.Answer(Folder() + "/list.cdt");
  Window().OpenTask();
  EXPECT_EQ(Window().TrackRows(), rows);
  EXPECT_EQ(Column(Window().TrackBox(), 0), QStringList({"0", "1"}));
  EXPECT_FALSE(Window().TaskChanged());
  EXPECT_EQ(Window().CapacityBar()->Hint(), "Time(Hour : Minute : Second) - 0 : 1 : 1");

  // A file that cannot be read is reported and the list stays.
  Window().SetTaskChanged(true);
  prompter.Answer(Folder() + "/nothing here.cdt");
  Window().OpenTask();
  EXPECT_EQ(Window().TrackRows(), rows);
  EXPECT_TRUE(Window().TaskChanged());
  EXPECT_TRUE(prompter.Messages().last().contains("nothing here.cdt"));
}

TEST_F(MainWindowTest, EmptyAndMalformedMp3TaskFiles) {
  Window().PrepareTask(TTask::Mp3Disc, "Melvaro V2.7 - Burn MP3 disc");
  WriteSized(Folder() + "/empty.mpt", 0);
  QFile bad(Folder() + "/bad.mpt");
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("no separators\r\n/a*b/c*1,234/\n");
  bad.close();
  Window().AddDiscRows({Folder() + "/empty.mpt"});
  Window().SetTaskChanged(true);
  prompter.Answer(Folder() + "/empty.mpt");
  Window().OpenTask();
  EXPECT_EQ(Window().Clbox()->rowCount(), 0);
  EXPECT_TRUE(Window().TaskChanged());

  prompter.Answer(Folder() + "/bad.mpt");
  Window().OpenTask();
  EXPECT_EQ(Window().DiscRows(),
            (std::vector<TDiscCells>{{"", "", "no separators"}, {"/a*b/c", "1,234", ""}}));
  EXPECT_EQ(Window().TotalSize(), 1234);
  EXPECT_FALSE(Window().TaskChanged());
}

TEST_F(MainWindowTest, SaveClearsTheMarkEvenWhenCancelledButNotWhenItFails) {
  Window().PrepareTask(TTask::Mp3Disc, "Melvaro V2.7 - Burn MP3 disc");
  Window().SetTaskChanged(true);
  prompter.Answer(QString());
  EXPECT_EQ(Window().SaveTask(), TForm1::TSaveResult::Cancelled);
  EXPECT_FALSE(Window().TaskChanged());
  Window().SetTaskChanged(true);
  WriteSized(Folder() + "/file", 1);
  prompter.Answer(Folder() + "/file/list.mpt");
  EXPECT_EQ(Window().SaveTask(), TForm1::TSaveResult::Failed);
  EXPECT_TRUE(Window().TaskChanged());
  EXPECT_EQ(prompter.prompts.back().kind, test::TPrompt::TKind::Message);
}

TEST_F(MainWindowTest, NewAsksToSaveAChangedTask) {
  Window().PrepareTask(TTask::Mp3Disc, "Melvaro V2.7 - Burn MP3 disc");
  WriteSized(Folder() + "/a.mp3", 10);
  Window().AddPaths({Folder() + "/a.mp3"});
  ASSERT_TRUE(Window().TaskChanged());
  prompter.Answer(QMessageBox::Cancel);
  EXPECT_FALSE(Window().NewTask());
  EXPECT_EQ(Window().Clbox()->rowCount(), 1);
  EXPECT_EQ(prompter.prompts.back().text, "The task has been changed, save it?");
  EXPECT_EQ(prompter.prompts.back().caption, "Query");
  EXPECT_EQ(prompter.prompts.back().buttons,
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  // Yes, then a cancelled save dialog: the lists are emptied all the same.
  prompter.Answer(QMessageBox::Yes);
  prompter.Answer(QString());
  EXPECT_TRUE(Window().NewTask());
  EXPECT_EQ(Window().Clbox()->rowCount(), 0);
  EXPECT_EQ(Window().CapacityBar()->Hint(), "");
  EXPECT_EQ(Window().CapacityBar()->BarWidth(), 0);
  EXPECT_FALSE(Window().TaskChanged());
  // Choosing a task asks before the list is emptied.
  Window().AddPaths({Folder() + "/a.mp3"});
  prompter.Answer(QMessageBox::No);
  Window().PrepareTask(TTask::AudioCd, "Melvaro V2.7 - Burn Audio CD");
  EXPECT_EQ(Window().Clbox()->rowCount(), 0);
}

TEST_F(MainWindowTest, CloseQueryKeepsTheWindowOnCancelAndReturnsToTheStartScreen) {
  Window().PrepareTask(TTask::Mp3Disc, "Melvaro V2.7 - Burn MP3 disc");
  WriteSized(Folder() + "/a.mp3", 10);
  Window().AddPaths({Folder() + "/a.mp3"});
  prompter.Answer(QMessageBox::Cancel);
  EXPECT_FALSE(Window().close());
  EXPECT_TRUE(Window().isVisible());
  EXPECT_TRUE(Window().TaskChanged());
  prompter.Answer(QMessageBox::No);
  EXPECT_TRUE(Window().close());
  EXPECT_FALSE(Window().isVisible());
  EXPECT_TRUE(start_->isVisible());
  EXPECT_FALSE(Window().TaskChanged());
  EXPECT_TRUE(Window().ClosedFlag());
  EXPECT_EQ(Window().Clbox()->rowCount(), 1);  // hidden, not emptied
  EXPECT_EQ(prompter.prompts.size(), 2u);
  // Closed: closing again asks nothing.
  Window().SetTaskChanged(true);
  EXPECT_TRUE(Window().CloseWindow());
  EXPECT_EQ(prompter.prompts.size(), 2u);
  // A cancelled save dialog clears the mark: the next close asks nothing.
  Window().show();
  EXPECT_FALSE(Window().ClosedFlag());
  prompter.Answer(QString());
  Window().SaveTask();
  EXPECT_TRUE(Window().close());
  EXPECT_EQ(prompter.prompts.size(), 3u);
}

TEST_F(MainWindowTest, CompilationTakesFilesAndWholeFolders) {
  Window().PrepareTask(TTask::Mp3Disc, "Melvaro V2.7 - Burn MP3 disc");
  EXPECT_FALSE(Window().FillCompilation(0));
  EXPECT_EQ(prompter.Messages().last(), "Atleast one MP3 file should be selected");
  QDir(Folder()).mkpath("album/cd 2");
  WriteSized(Folder() + "/album/one.mp3", 3000);
  WriteSized(Folder() + "/album/cd 2/two.mp3", 4000);
  WriteSized(Folder() + "/single.mp3", 10);
  Window().AddDiscRows({Folder() + "/single.mp3", Folder() + "/album"});
  TDiscBurner& burner = Window().Burner();
  ASSERT_TRUE(burner.ClearCompilation(600000, 20000));
  ASSERT_TRUE(Window().FillCompilation(0));
  EXPECT_EQ(burner.FileCount(), 5u);  // two files, two folders and single.mp3
  EXPECT_NE(burner.FindEntry(burner.RootDir(), "single.mp3"), nullptr);
  TDEntry* album = burner.FindDirectory("\\album");
  ASSERT_NE(album, nullptr);
  EXPECT_NE(burner.FindEntry(album, "one.mp3"), nullptr);
  TDEntry* cd2 = burner.FindDirectory("\\album\\cd 2");
  ASSERT_NE(cd2, nullptr);
  EXPECT_NE(burner.FindEntry(cd2, "two.mp3"), nullptr);

  // A row whose file has gone is reported, not left off the disc unsaid.
  Window().AddDiscRows({Folder() + "/gone.mp3"});
  ASSERT_TRUE(burner.ClearCompilation(600000, 20000));
  EXPECT_FALSE(Window().FillCompilation(0));
  EXPECT_TRUE(prompter.Messages().last().contains("gone.mp3"));
}

}  // namespace
}  // namespace melvaro
