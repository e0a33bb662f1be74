// TForm1: creation, the layout, the menus and the tool bars.
#include "main/main_window.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "burner/disc_burner.h"
#include "jobs/cd_writer_xp.h"
#include "main/burning_list.h"
#include "main/capacity_strip.h"
#include "main/explorer_panel.h"
#include "main/identity.h"
#include "main/start_form.h"
#include "platform/prompter.h"
#include "platform/url_opener.h"

namespace melvaro {

namespace {

constexpr int kClientWidth = 969;
constexpr int kClientHeight = 630;
constexpr int kExplorerWidth = 241;

QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback) {
  return QIcon::fromTheme(QString::fromLatin1(name), QApplication::style()->standardIcon(fallback));
}

}  // namespace

TForm1::TForm1(TStartForm* startForm, const TMainWindowSetup& setup, QWidget* parent)
    : QMainWindow(parent), startForm_(startForm) {
  setObjectName(QStringLiteral("TForm1"));
  setAccessibleName(identity::ProductName());
  setWindowTitle(identity::ProductName());
  if (QIcon::fallbackThemeName().isEmpty()) QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));

  TTransport& transport = setup.transport ? *setup.transport : ProcessTransport();
  burner_ = std::make_unique<TDiscBurner>(transport);

  BuildActions();
  BuildMenus();
  BuildToolBars();
  BuildCentre();
  resize(kClientWidth,
         kClientHeight + menuBar()->sizeHint().height() + fileBar_->sizeHint().height());
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());

  // Creation: the task is unchanged; the program folder and its work folder.
  taskChanged_ = false;
  programFolder_ = !setup.programFolder.isEmpty() ? setup.programFolder
                   : startForm_                   ? startForm_->ProgramFolder()
                                                  : QDir::currentPath();
  workFolder_ = programFolder_ + QStringLiteral("/temp");
  if (!QDir(workFolder_).exists() && !QDir().mkpath(workFolder_)) {
    Prompter().MessageBox(nullptr,
                          tr("I/O error: cannot create the work folder %1").arg(workFolder_),
                          tr("Information"), QMessageBox::Ok, QMessageBox::Critical);
    writer_ = std::make_unique<TCDWriterXP>(transport);
    return;
  }
  bool initialised = false;
  try {
    initialised = burner_->InitializeASPI(setup.preferPassThrough, setup.libraryPath);
  } catch (const std::exception&) {
    initialised = false;
  }
  writer_ = std::make_unique<TCDWriterXP>(transport);
  if (initialised && burner_->ASPIInitialized()) {
    explorer_->Refresh();
  } else {
    setEnabled(false);
    Prompter().MessageBox(
        nullptr,
        QStringLiteral("Error initializing ASPI Layer, Please visit support page, ") +
            identity::HomePageAddress() + QStringLiteral(" for more information"),
        tr("Information"), QMessageBox::Ok, QMessageBox::Critical);
  }
}

TForm1::~TForm1() = default;

void TForm1::BuildActions() {
  auto make = [this](QAction*& action, const QString& text, const QString& hint, QIcon icon,
                     const char* name) {
    action = new QAction(icon, text, this);
    action->setObjectName(QString::fromLatin1(name));
    if (!hint.isEmpty()) {
      action->setToolTip(hint);
      action->setStatusTip(hint);
    }
    return action;
  };
  using S = QStyle;
  make(actNew_, tr("&New"), tr("Creates a new task"), ThemeIcon("document-new", S::SP_FileIcon),
       "actNew");
  make(actOpen_, tr("&Open"), tr("Opens an existing task"),
       ThemeIcon("document-open", S::SP_DialogOpenButton), "actOpen");
  make(actSave_, tr("&Save"), tr("Saves current task"),
       ThemeIcon("document-save", S::SP_DialogSaveButton), "actSave");
  make(actRemove_, tr("&Remove the selected file"), QString(),
       ThemeIcon("list-remove", S::SP_DialogDiscardButton), "actRemove");
  make(actRemoveAll_, tr("Remove all files"), QString(),
       ThemeIcon("edit-delete", S::SP_DialogResetButton), "actRemoveAll");
  make(actAddFiles_, tr("Add &files..."), tr("Adds files to the Burning List"),
       ThemeIcon("list-add", S::SP_FileIcon), "actAddFiles");
  make(actAddFolder_, tr("Add f&older..."), tr("Adds a folder to the Burning List"),
       ThemeIcon("folder-new", S::SP_DirIcon), "actAddFolder");
  make(actEject_, tr("E&ject"), tr("Ejects the disc"), ThemeIcon("media-eject", S::SP_ArrowUp),
       "actEject");
  make(actDriveInfo_, tr("D&river Information"), tr("Displays the information of the drive"),
       ThemeIcon("drive-optical", S::SP_DriveCDIcon), "actDriveInfo");
  make(actDiscInfo_, tr("D&isk Information"), tr("Displays the information of the disc"),
       ThemeIcon("media-optical", S::SP_DriveDVDIcon), "actDiscInfo");
  make(actBurn_, tr("&Burn Disc"), tr("Burns the current task"),
       ThemeIcon("media-record", S::SP_DialogApplyButton), "actBurn");
  make(actCopy_, tr("&Copy Disc"), QString(), QIcon(), "actCopy");
  make(actErase_, tr("Er&ase Disc"), tr("Erases a CD \\ DVD"),
       ThemeIcon("edit-clear", S::SP_TrashIcon), "actErase");
  make(actBuildIso_, tr("B&uild .ISO Image"), tr("Builds ISO"),
       ThemeIcon("document-save-as", S::SP_DriveFDIcon), "actBuildIso");
  make(actBurnIso_, tr("Bu&rn .ISO Image"), tr("Burns ISO"),
       ThemeIcon("media-optical", S::SP_DriveCDIcon), "actBurnIso");
  make(actOptions_, tr("O&ptions"), tr("Options"),
       ThemeIcon("preferences-system", S::SP_FileDialogDetailedView), "actOptions");
  make(actCheckVersion_, tr("&Check the latest version"), QString(), QIcon(), "actCheckVersion");
  make(actHelp_, tr("Co&ntent"), tr("Help"), ThemeIcon("help-contents", S::SP_DialogHelpButton),
       "actHelp");
  make(actTechSupport_, tr("Te&chnical Support"), QString(), QIcon(), "actTechSupport");
  make(actSaleSupport_, tr("Sa&le Support"), QString(), QIcon(), "actSaleSupport");
  make(actHomePage_, tr("O&ur Homepage"), QString(), QIcon(), "actHomePage");
  make(actAbout_, tr("&About"), tr("About"), ThemeIcon("help-about", S::SP_MessageBoxInformation),
       "actAbout");
  make(actPlay_, tr("Pl&ay"), tr("Plays the selected audio file"),
       ThemeIcon("media-playback-start", S::SP_MediaPlay), "actPlay");
  make(actStop_, tr("Sto&p"), tr("Stops playing"),
       ThemeIcon("media-playback-stop", S::SP_MediaStop), "actStop");
  make(actInfo_, tr("&Info"), tr("Displays the information of the selected audio file"),
       ThemeIcon("dialog-information", S::SP_FileDialogInfoView), "actInfo");
  actHelp_->setShortcut(QKeySequence(Qt::Key_F2));
  actNew_->setShortcut(QKeySequence::New);
  actOpen_->setShortcut(QKeySequence::Open);
  actSave_->setShortcut(QKeySequence::Save);

  // Tool buttons show a short text under their picture.
  const QList<QPair<QAction*, QString>> shortTexts = {
      {actNew_, tr("New")},          {actOpen_, tr("Open")},       {actSave_, tr("Save")},
      {actPlay_, tr("Play")},        {actStop_, tr("Stop")},       {actInfo_, tr("Info")},
      {actEject_, tr("Eject")},      {actDriveInfo_, tr("Drive")}, {actDiscInfo_, tr("Disc")},
      {actBurn_, tr("Burn")},        {actErase_, tr("Erase")},     {actBuildIso_, tr("Build ISO")},
      {actBurnIso_, tr("Burn ISO")}, {actOptions_, tr("Options")}, {actAbout_, tr("About")},
      {actHelp_, tr("Help")}};
  for (const auto& [action, text] : shortTexts) action->setIconText(text);

  connect(actNew_, &QAction::triggered, this, [this] { NewTask(); });
  connect(actOpen_, &QAction::triggered, this, &TForm1::OpenTask);
  connect(actSave_, &QAction::triggered, this, [this] { SaveTask(); });
  connect(actRemove_, &QAction::triggered, this, &TForm1::RemoveSelected);
  connect(actRemoveAll_, &QAction::triggered, this, &TForm1::RemoveAll);
  connect(actAddFiles_, &QAction::triggered, this, &TForm1::AddFilesCommand);
  connect(actAddFolder_, &QAction::triggered, this, &TForm1::AddFolderCommand);
  connect(actEject_, &QAction::triggered, this, &TForm1::Eject);
  connect(actPlay_, &QAction::triggered, this, &TForm1::Play);
  connect(actStop_, &QAction::triggered, this, &TForm1::StopPlaying);
  connect(actHelp_, &QAction::triggered, this, &TForm1::ShowHelp);
  connect(actTechSupport_, &QAction::triggered, this,
          [this] { OpenAddress(QStringLiteral("mailto:") + identity::SupportMailAddress()); });
  connect(actSaleSupport_, &QAction::triggered, this,
          [this] { OpenAddress(QStringLiteral("mailto:") + identity::SalesMailAddress()); });
  connect(actHomePage_, &QAction::triggered, this,
          [this] { OpenAddress(identity::HomePageAddress()); });
  connect(actAbout_, &QAction::triggered, this, [this] {
    if (startForm_) startForm_->ShowAbout();
  });
  // Commands whose windows other modules provide.
  auto hook = [this](QAction* action, std::function<void()> TForm1::*member) {
    connect(action, &QAction::triggered, this, [this, member] {
      if (this->*member) (this->*member)();
    });
  };
  hook(actBurn_, &TForm1::OnBurnDisc);
  hook(actErase_, &TForm1::OnEraseDisc);
  hook(actBuildIso_, &TForm1::OnBuildImage);
  hook(actBurnIso_, &TForm1::OnBurnImage);
  hook(actOptions_, &TForm1::OnOptions);
  hook(actDriveInfo_, &TForm1::OnDriveInformation);
  hook(actDiscInfo_, &TForm1::OnDiscInformation);
  hook(actInfo_, &TForm1::OnFileInformation);
  connect(actCheckVersion_, &QAction::triggered, this, [this] {
    if (OnUpdateCheck)
      OnUpdateCheck(
          QStringLiteral("Checking the latest version failed,please check your network."));
  });
}

void TForm1::BuildMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu"));
  QMenu* task = bar->addMenu(tr("&Task"));
  task->setObjectName(QStringLiteral("mnuTask"));
  task->addActions({actNew_, actOpen_, actSave_});
  QMenu* edit = bar->addMenu(tr("&Edit"));
  edit->setObjectName(QStringLiteral("mnuEdit"));
  edit->addActions({actAddFiles_, actAddFolder_});
  edit->addSeparator();
  edit->addActions({actRemove_, actRemoveAll_});
  QMenu* disc = bar->addMenu(tr("D&isc"));
  disc->setObjectName(QStringLiteral("mnuDisc"));
  disc->addActions({actEject_, actDriveInfo_, actDiscInfo_});
  QMenu* operation = bar->addMenu(tr("&Operation"));
  operation->setObjectName(QStringLiteral("mnuOperation"));
  operation->addActions({actBurn_, actCopy_, actErase_});
  QMenu* image = bar->addMenu(tr("I&SO Image"));
  image->setObjectName(QStringLiteral("mnuIsoImage"));
  image->addActions({actBuildIso_, actBurnIso_});
  // "Options" is a menu bar entry of its own that runs the command.
  QAction* options = bar->addAction(actOptions_->text());
  options->setObjectName(QStringLiteral("mnuOptions"));
  connect(options, &QAction::triggered, actOptions_, &QAction::trigger);
  toolsMenu_ = bar->addMenu(tr("Too&ls"));
  toolsMenu_->setObjectName(QStringLiteral("mnuTools"));
  toolsMenu_->addAction(actCheckVersion_);
  connect(toolsMenu_, &QMenu::aboutToShow, this, [this] {
    if (OnUpdateCheck)
      OnUpdateCheck(QStringLiteral("Detect latest version failed,please check your network."));
  });
  QMenu* help = bar->addMenu(tr("&Help"));
  help->setObjectName(QStringLiteral("mnuHelp"));
  help->addAction(actHelp_);
  QMenu* contact = help->addMenu(tr("Con&tact Us"));
  contact->setObjectName(QStringLiteral("mnuContactUs"));
  contact->addActions({actTechSupport_, actSaleSupport_});
  help->addAction(actHomePage_);
  help->addSeparator();
  help->addAction(actAbout_);

  // The lists' pop-up menu.
  listMenu_ = new QMenu(this);
  listMenu_->setObjectName(QStringLiteral("PopupMenu"));
  auto popup = [this](const QString& text, QAction* target, const char* name) {
    QAction* a = listMenu_->addAction(target->icon(), text);
    a->setObjectName(QString::fromLatin1(name));
    connect(a, &QAction::triggered, target, &QAction::trigger);
    return a;
  };
  popup(tr("Pl&ay"), actPlay_, "popPlay");
  popup(tr("Sto&p"), actStop_, "popStop");
  listMenu_->addSeparator();
  popup(tr("&Remove"), actRemove_, "popRemove");
  popup(tr("Remove &All"), actRemoveAll_, "popRemoveAll");
  listMenu_->addSeparator();
  popup(tr("Add &files..."), actAddFiles_, "popAddFiles");
  popup(tr("Add f&older..."), actAddFolder_, "popAddFolder");
}

void TForm1::BuildToolBars() {
  auto make = [this](const QString& title, const char* name) {
    QToolBar* bar = new QToolBar(title, this);
    bar->setObjectName(QString::fromLatin1(name));
    bar->setAccessibleName(title);
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    bar->setIconSize(QSize(22, 22));
    bar->setMovable(false);
    addToolBar(Qt::TopToolBarArea, bar);
    return bar;
  };
  auto button = [](QToolBar* bar, QAction* action, const char* name) {
    bar->addAction(action);
    if (QWidget* w = bar->widgetForAction(action)) {
      w->setObjectName(QString::fromLatin1(name));
      w->setAccessibleName(action->iconText());
      w->setToolTip(action->toolTip());
    }
  };
  fileBar_ = make(tr("File"), "FileBar");
  button(fileBar_, actNew_, "tbNew");
  button(fileBar_, actOpen_, "tbOpen");
  button(fileBar_, actSave_, "tbSave");
  fileBar_->addSeparator();
  button(fileBar_, actPlay_, "tbPlay");
  button(fileBar_, actStop_, "tbStop");
  button(fileBar_, actInfo_, "tbInfo");

  driveBar_ = make(tr("Drive"), "DriveBar");
  auto* holder = new QWidget(driveBar_);
  auto* row = new QHBoxLayout(holder);
  row->setContentsMargins(6, 0, 6, 0);
  row->setSpacing(6);
  lDrive_ = new QLabel(tr("Drive:"), holder);
  lDrive_->setObjectName(QStringLiteral("lDrive"));
  lDrive_->setAccessibleName(lDrive_->text());
  cbDrives_ = new QComboBox(holder);
  cbDrives_->setObjectName(QStringLiteral("cbDrives"));
  cbDrives_->setAccessibleName(tr("Drive:"));
  cbDrives_->setEditable(false);
  cbDrives_->setMaxVisibleItems(8);
  cbDrives_->setMinimumContentsLength(16);
  cbDrives_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  lDrive_->setBuddy(cbDrives_);
  row->addWidget(lDrive_);
  row->addWidget(cbDrives_);
  driveBar_->addWidget(holder);
  connect(cbDrives_, &QComboBox::activated, this, [this](int index) { SelectDriveItem(index); });
  button(driveBar_, actEject_, "tbEject");
  button(driveBar_, actDriveInfo_, "tbDriveInfo");
  button(driveBar_, actDiscInfo_, "tbDiscInfo");

  burnBar_ = make(tr("Burn"), "BurnBar");
  button(burnBar_, actBurn_, "tbBurn");
  button(burnBar_, actErase_, "tbErase");
  imageBar_ = make(tr("ISO Image"), "ImageBar");
  button(imageBar_, actBuildIso_, "tbBuildIso");
  button(imageBar_, actBurnIso_, "tbBurnIso");
  helpBar_ = make(tr("Help"), "HelpBar");
  button(helpBar_, actOptions_, "tbOptions");
  button(helpBar_, actAbout_, "tbAbout");
  button(helpBar_, actHelp_, "tbHelp");
}

void TForm1::BuildCentre() {
  auto* centre = new QWidget(this);
  centre->setObjectName(QStringLiteral("Centre"));
  auto* column = new QVBoxLayout(centre);
  column->setContentsMargins(6, 6, 6, 4);
  column->setSpacing(4);

  splitter_ = new QSplitter(Qt::Horizontal, centre);
  splitter_->setObjectName(QStringLiteral("Splitter1"));
  listGroup_ = new QGroupBox(tr("Burning List - Destination Disc"), splitter_);
  listGroup_->setObjectName(QStringLiteral("gbBurningList"));
  listGroup_->setAccessibleName(listGroup_->title());
  auto* listLayout = new QVBoxLayout(listGroup_);
  listLayout->setContentsMargins(4, 4, 4, 4);
  trackBox_ = new TBurningList(QStringLiteral("TrackBox"),
                               {{tr("Track"), 100},
                                {tr("File Name"), 300},
                                {tr("Type"), 120},
                                {tr("Time (Hour : Minute : Second)"), 185}},
                               listGroup_);
  clbox_ = new TBurningList(QStringLiteral("clbox"),
                            {{tr("File Name"), 320}, {tr("File Size (Byte)"), 150}}, listGroup_);
  for (TBurningList* list : {trackBox_, clbox_}) {
    list->setAccessibleName(listGroup_->title());
    listLayout->addWidget(list);
    connect(list, &TBurningList::ExplorerDropped, this, &TForm1::DropFromExplorer);
    connect(list, &TBurningList::PathsDropped, this, &TForm1::AddPaths);
    connect(list, &TBurningList::DeletePressed, this, &TForm1::RemoveSelected);
    connect(list, &QTableWidget::cellDoubleClicked, this, [this](int, int) { Play(); });
    connect(list, &QWidget::customContextMenuRequested, this, &TForm1::ShowListMenu);
  }
  clbox_->horizontalHeaderItem(1)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);

  explorerGroup_ = new QGroupBox(tr("Drag and drop audio files to the Burning List"), splitter_);
  explorerGroup_->setObjectName(QStringLiteral("gbExplorer"));
  explorerGroup_->setAccessibleName(explorerGroup_->title());
  auto* explorerLayout = new QVBoxLayout(explorerGroup_);
  explorerLayout->setContentsMargins(4, 4, 4, 4);
  explorer_ = new TExplorerPanel(explorerGroup_);
  explorerLayout->addWidget(explorer_);
  trackBox_->SetExplorerList(explorer_->FileList());
  clbox_->SetExplorerList(explorer_->FileList());
  explorerGroup_->setMinimumWidth(180);

  splitter_->addWidget(listGroup_);
  splitter_->addWidget(explorerGroup_);
  splitter_->setStretchFactor(0, 1);
  splitter_->setStretchFactor(1, 0);
  splitter_->setSizes({kClientWidth - kExplorerWidth - 18, kExplorerWidth});
  column->addWidget(splitter_, 1);

  strip_ = new QWidget(centre);
  strip_->setObjectName(QStringLiteral("pnlRuler"));
  strip_->setFixedHeight(TRuler::kHeight);
  strip_->setMinimumWidth(TRuler::kWidth);
  imgLength_ = new TLengthRuler(strip_);
  imgSize_ = new TSizeRuler(strip_);
  imgLength_->move(0, 0);
  imgSize_->move(0, 0);
  bar_ = new TCapacityBar(strip_);
  bar_->raise();
  column->addWidget(strip_);
  setCentralWidget(centre);
  ShowList(Mp3Disc);
}

void TForm1::ShowList(int mode) {
  trackBox_->setVisible(mode == AudioCd);
  clbox_->setVisible(mode != AudioCd);
  imgLength_->setVisible(mode == AudioCd);
  imgSize_->setVisible(mode != AudioCd);
  bar_->raise();
}

void TForm1::PlaceToolBars(const QStringList& order) {
  const QList<QToolBar*> all = {fileBar_, driveBar_, burnBar_, imageBar_, helpBar_};
  for (QToolBar* bar : all) removeToolBar(bar);
  for (const QString& name : order) {
    QToolBar* bar = ToolBar(name);
    addToolBar(Qt::TopToolBarArea, bar);
    bar->show();
  }
  for (QToolBar* bar : all)
    if (!order.contains(bar->objectName())) {
      addToolBar(Qt::TopToolBarArea, bar);
      bar->hide();
    }
}

QToolBar* TForm1::ToolBar(const QString& name) const {
  for (QToolBar* bar : {fileBar_, driveBar_, burnBar_, imageBar_, helpBar_})
    if (bar->objectName() == name) return bar;
  return nullptr;
}

QStringList TForm1::ToolBarOrder() const {
  QList<QToolBar*> shown;
  for (QToolBar* bar : {fileBar_, driveBar_, burnBar_, imageBar_, helpBar_})
    if (!bar->isHidden()) shown << bar;
  std::sort(shown.begin(), shown.end(), [](QToolBar* a, QToolBar* b) {
    return a->y() != b->y() ? a->y() < b->y() : a->x() < b->x();
  });
  QStringList names;
  for (QToolBar* bar : shown) names << bar->objectName();
  return names;
}

TBurningList* TForm1::CurrentList() const {
  if (tag_ == AudioCd) return trackBox_;
  if (tag_ == Mp3Disc) return clbox_;
  return nullptr;
}

void TForm1::ShowHelp() {
  const QString file = startForm_ ? startForm_->HelpFile() : QString();
  QUrl url = QUrl::fromLocalFile(file);
  url.setFragment(QStringLiteral("Welcome"));
  UrlOpener().Open(url);
}

void TForm1::OpenAddress(const QString& address) {
  UrlOpener().Open(QUrl(address));
}

void TForm1::ShowListMenu(const QPoint& at) {
  auto* list = qobject_cast<QWidget*>(sender());
  if (!list) return;
  listMenu_->popup(static_cast<QAbstractScrollArea*>(list)->viewport()->mapToGlobal(at));
}

void TForm1::Inform(const QString& text) {
  Prompter().MessageBox(this, text, tr("Information"));
}

std::unique_ptr<TBurningWindow> CreateBurningWindow(TStartForm& startForm) {
  return std::make_unique<TForm1>(&startForm);
}

}  // namespace melvaro
