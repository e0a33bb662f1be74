#include "main/start_form.h"

#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include "main/about_form.h"
#include "main/artwork.h"
#include "main/burning_window.h"
#include "main/identity.h"
#include "main/picture_button.h"
#include "main/program_files.h"
#include "main/strip_buttons.h"
#include "platform/prompter.h"
#include "platform/url_opener.h"
#include "settings/profile.h"

namespace melvaro {
namespace {

constexpr int kWidth = 521;
constexpr int kHeight = 383;
constexpr int kTitleHeight = 38;
constexpr int kBottomHeight = 28;
constexpr int kUpdateDelayMs = 2000;

// Option.ini's default plain background, 0x00DF967A in the file's BGR order.
const QColor kDefaultBackground(122, 150, 223);

QLabel* StripLabel(const QString& name, const QString& text, int pixelSize, bool bold,
                   QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setAccessibleName(text);
  QFont font = label->font();
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  label->setFont(font);
  label->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
  // Presses on the strip's labels drag the window.
  label->setAttribute(Qt::WA_TransparentForMouseEvents);
  return label;
}

// The start screen is the program's main window: assistive technology should see a
// frame, not the plain client area Qt reports for a QWidget window.
QAccessibleInterface* StartFormAccessible(const QString& className, QObject* object) {
  if (className == QLatin1String(TStartForm::staticMetaObject.className()) && object &&
      object->isWidgetType()) {
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
  }
  return nullptr;
}

}  // namespace

TStartForm::TStartForm(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      programFolder_(ProgramFolderPath()),
      color_(kDefaultBackground),
      gradientTop_(kDefaultBackground),
      gradientBottom_(kDefaultBackground) {
  setObjectName(QStringLiteral("TStartForm"));
  static const bool accessibleFactory = (QAccessible::installFactory(StartFormAccessible), true);
  (void)accessibleFactory;
  helpFile_ = HelpFilePath(programFolder_);
  version_ = TProfile::Load(OptionFilePath(programFolder_))
                 .ReadString(QStringLiteral("General"), QStringLiteral("Version"),
                             identity::DefaultVersion());
  const QString caption = identity::ProductName() + QStringLiteral(" V") + version_;
  setWindowTitle(caption);
  setAccessibleName(caption);
  setFixedSize(kWidth, kHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(kWidth / 2, kHeight / 2));
  }

  updateTimer_ = new QTimer(this);
  updateTimer_->setObjectName(QStringLiteral("UpdateTimer"));
  updateTimer_->setSingleShot(true);
  updateTimer_->setInterval(kUpdateDelayMs);
  connect(updateTimer_, &QTimer::timeout, this, &TStartForm::UpdateTimerFired);

  BuildControls();
  ShowPage(MainPage);
}

TStartForm::~TStartForm() = default;

void TStartForm::BuildControls() {
  // Title strip: picture, product name, version, maker, minimise, close.
  auto* logo = new QLabel(this);
  logo->setObjectName(QStringLiteral("imgLogo"));
  logo->setAttribute(Qt::WA_TransparentForMouseEvents);
  logo->setGeometry(12, 7, 24, 24);
  logo->setPixmap(
      RenderedIcon(QStringLiteral(":/icons/melvaro.svg"), QSize(24, 24), devicePixelRatioF()));
  auto* product = StripLabel(QStringLiteral("lblProduct"), identity::ProductName(), 17, true, this);
  product->setGeometry(42, 6, 90, 26);
  auto* version =
      StripLabel(QStringLiteral("lblVersion"), QStringLiteral("V") + version_, 12, false, this);
  version->setGeometry(42 + product->sizeHint().width() + 6, 11, 60, 18);

  auto* maker = new TLinkButton(QStringLiteral("lblMaker"), identity::PublisherName(), this);
  maker->SetPixelSize(12);
  maker->SetColor(QColor(226, 234, 255));
  maker->setToolTip(identity::PublisherWebAddress());
  const QSize makerSize = maker->sizeHint();
  maker->setGeometry(kWidth - 74 - makerSize.width(), (kTitleHeight - makerSize.height()) / 2,
                     makerSize.width(), makerSize.height());
  connect(maker, &QAbstractButton::clicked, this, &TStartForm::OpenPublisherSite);

  auto* minimise = new TCaptionButton(QStringLiteral("btnMinimize"), tr("Minimise"),
                                      TCaptionButton::TGlyph::Minimise, this);
  minimise->setGeometry(kWidth - 66, 6, 30, 26);
  connect(minimise, &QAbstractButton::clicked, this, &QWidget::showMinimized);
  auto* close = new TCaptionButton(QStringLiteral("btnClose"), tr("Close"),
                                   TCaptionButton::TGlyph::Close, this);
  close->setGeometry(kWidth - 36, 6, 30, 26);
  connect(close, &QAbstractButton::clicked, this, &TStartForm::CloseProgram);

  // Page 0: three tasks in a row of large cards, four smaller ones below.
  struct TButtonSpec {
    const char* name;
    QString label;
    const char* picture;
  };
  const TButtonSpec mainSpecs[] = {
      {"btnBurn", tr("Burn MP3 / Audio CD"), ":/start/burn.svg"},
      {"btnISO", tr("Build / Burn .ISO"), ":/start/iso.svg"},
      {"btnEraser", tr("Erase Disc"), ":/start/erase.svg"},
      {"btnMP3Splitter", tr("Split MP3"), ":/start/split.svg"},
      {"btnMP3Jointer", tr("Join MP3"), ":/start/join.svg"},
      {"btnMP3Tag", tr("Edit MP3 ID3 TAG"), ":/start/tag.svg"},
      {"btnHelp", tr("Help"), ":/start/help.svg"},
  };
  constexpr int kMargin = 16;
  constexpr int kGap = 12;
  const int top = kTitleHeight + 14;
  const int bigWidth = (kWidth - 2 * kMargin - 2 * kGap) / 3;
  const int smallWidth = (kWidth - 2 * kMargin - 3 * kGap) / 4;
  constexpr int kBigHeight = 150;
  constexpr int kSmallHeight = 118;
  for (int i = 0; i < 7; ++i) {
    auto* button = new TPictureButton(QLatin1String(mainSpecs[i].name), mainSpecs[i].label,
                                      QLatin1String(mainSpecs[i].picture), this);
    if (i < 3) {
      button->setGeometry(kMargin + i * (bigWidth + kGap), top, bigWidth, kBigHeight);
    } else {
      button->SetCompact(true);
      button->setGeometry(kMargin + (i - 3) * (smallWidth + kGap), top + kBigHeight + kGap,
                          smallWidth, kSmallHeight);
    }
    mainButtons_ << button;
  }
  connect(mainButtons_[0], &QAbstractButton::clicked, this, [this] { ShowPage(BurnPage); });
  connect(mainButtons_[1], &QAbstractButton::clicked, this, &TStartForm::PrepareImageTask);
  connect(mainButtons_[2], &QAbstractButton::clicked, this, &TStartForm::OpenErase);
  for (int i = 3; i < 6; ++i) {
    connect(mainButtons_[i], &QAbstractButton::clicked, this,
            [this] { ShowPage(InformationPage); });
  }
  connect(mainButtons_[6], &QAbstractButton::clicked, this, &TStartForm::OpenHelp);

  // Page 1: the two burn tasks under a question.
  auto* burnHeading = new QLabel(tr("What would you like to burn?"), this);
  burnHeading->setObjectName(QStringLiteral("lblBurnTitle"));
  burnHeading->setAccessibleName(burnHeading->text());
  QFont burnHeadingFont = burnHeading->font();
  burnHeadingFont.setPixelSize(18);
  burnHeadingFont.setBold(true);
  burnHeading->setFont(burnHeadingFont);
  burnHeading->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
  burnHeading->setAlignment(Qt::AlignCenter);
  burnHeading->setAttribute(Qt::WA_TransparentForMouseEvents);
  burnHeading->setGeometry(kMargin, kTitleHeight + 14, kWidth - 2 * kMargin, 28);
  burnHeading_ = burnHeading;
  const int burnWidth = 200;
  const int burnHeight = 190;
  const int burnTop = kTitleHeight + 52;
  auto* audio = new TPictureButton(QStringLiteral("btnAudioCD"), tr("Burn Audio CD"),
                                   QStringLiteral(":/start/audiocd.svg"), this);
  audio->setGeometry(kWidth / 2 - burnWidth - 10, burnTop, burnWidth, burnHeight);
  connect(audio, &QAbstractButton::clicked, this, &TStartForm::PrepareAudioCdTask);
  auto* mp3 = new TPictureButton(QStringLiteral("btnMP3"), tr("Burn MP3 disc"),
                                 QStringLiteral(":/start/mp3disc.svg"), this);
  mp3->setGeometry(kWidth / 2 + 10, burnTop, burnWidth, burnHeight);
  connect(mp3, &QAbstractButton::clicked, this, &TStartForm::PrepareMp3DiscTask);
  burnButtons_ << audio << mp3;

  // Page 2: what the MP3 tools are and where they come from.
  information_ = new QWidget(this);
  information_->setObjectName(QStringLiteral("pnlInformation"));
  information_->setAttribute(Qt::WA_StyledBackground);
  information_->setStyleSheet(
      QStringLiteral("#pnlInformation { background: rgba(255, 255, 255, 38); border-radius: 12px; }"
                     "QLabel { color: white; background: transparent; }"));
  information_->setGeometry(kMargin, kTitleHeight + 14, kWidth - 2 * kMargin, 238);
  auto* heading = new QLabel(tr("MP3 tools"), information_);
  heading->setObjectName(QStringLiteral("lblInformationTitle"));
  heading->setAccessibleName(heading->text());
  QFont headingFont = heading->font();
  headingFont.setPixelSize(19);
  headingFont.setBold(true);
  heading->setFont(headingFont);
  auto* text = new QLabel(
      tr("Splitting MP3 files, joining them into one and editing their ID3 tags in bulk are "
         "the work of Melvaro's companion, the Melvaro MP3 Toolkit. It cuts and joins on "
         "frame boundaries, so nothing is decoded again and no quality is lost.\n\n"
         "The tag of a single file in a burning list can be edited in Melvaro itself: "
         "select the file and choose File Information."),
      information_);
  text->setObjectName(QStringLiteral("lblInformation"));
  text->setAccessibleName(text->text());
  text->setWordWrap(true);
  text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  QFont textFont = text->font();
  textFont.setPixelSize(13);
  text->setFont(textFont);
  text->setAttribute(Qt::WA_TransparentForMouseEvents);
  auto* link = new TLinkButton(QStringLiteral("lblInformationLink"),
                               tr("Get the Melvaro MP3 Toolkit"), information_);
  link->SetPixelSize(13);
  link->SetColor(QColor(255, 226, 140));
  link->setToolTip(identity::HomePageAddress());
  connect(link, &QAbstractButton::clicked, this, &TStartForm::OpenHomePage);
  auto* column = new QVBoxLayout(information_);
  column->setContentsMargins(20, 14, 20, 14);
  column->setSpacing(8);
  column->addWidget(heading);
  column->addWidget(text, 1);
  column->addWidget(link, 0, Qt::AlignLeft);

  // The arrow back to page 0, on pages 1 and 2.
  auto* back = new TPictureButton(QStringLiteral("btnBack"), tr("Back"),
                                  QStringLiteral(":/start/back.svg"), this);
  back->SetShape(TPictureButton::TShape::Arrow);
  back->setGeometry(kMargin, kHeight - kBottomHeight - 44, 92, 34);
  connect(back, &QAbstractButton::clicked, this, [this] { ShowPage(MainPage); });
  back_ = back;

  // Bottom strip: the home page.
  QString address = identity::HomePageAddress();
  address.remove(QStringLiteral("http://")).remove(QStringLiteral("https://"));
  auto* home = new TLinkButton(QStringLiteral("lblHomePage"), address, this);
  home->SetPixelSize(12);
  home->SetColor(Qt::white);
  home->setToolTip(identity::HomePageAddress());
  const QSize homeSize = home->sizeHint();
  home->setGeometry(kWidth - kMargin - homeSize.width(),
                    kHeight - kBottomHeight + (kBottomHeight - homeSize.height()) / 2,
                    homeSize.width(), homeSize.height());
  connect(home, &QAbstractButton::clicked, this, &TStartForm::OpenHomePage);
  auto* publisher = StripLabel(QStringLiteral("lblCopyright"),
                               tr("Free software for burning CDs and DVDs"), 11, false, this);
  publisher->setGeometry(kMargin, kHeight - kBottomHeight + 5, 300, 18);
}

void TStartForm::ShowPage(int n) {
  if (n >= MainPage && n <= InformationPage) {
    for (QAbstractButton* b : mainButtons_) b->setVisible(n == MainPage);
    for (QAbstractButton* b : burnButtons_) b->setVisible(n == BurnPage);
    back_->setVisible(n != MainPage);
    burnHeading_->setVisible(n == BurnPage);
    information_->setVisible(n == InformationPage);
    // Keep the keyboard on the page: its first button takes the focus.
    QAbstractButton* first = n == MainPage   ? mainButtons_.front()
                             : n == BurnPage ? burnButtons_.front()
                                             : back_;
    if (isVisible()) first->setFocus(Qt::OtherFocusReason);
  }
  page_ = n;
}

void TStartForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  ShowPage(page_);
  const bool autoCheck =
      AutoCheckEnabled
          ? AutoCheckEnabled()
          : TProfile::Load(OptionFilePath(programFolder_))
                .ReadBool(QStringLiteral("General"), QStringLiteral("Detect New Version"), false);
  if (autoCheck) updateTimer_->start();
}

void TStartForm::UpdateTimerFired() {
  updateTimer_->stop();
  if (OnUpdateCheck) OnUpdateCheck();
}

void TStartForm::PrepareAudioCdTask() {
  if (!burningWindow_) return;
  hide();
  burningWindow_->PrepareTask(TTask::AudioCd, windowTitle() + QStringLiteral(" - Burn Audio CD"));
}

void TStartForm::PrepareMp3DiscTask() {
  if (!burningWindow_) return;
  hide();
  burningWindow_->PrepareTask(TTask::Mp3Disc, windowTitle() + QStringLiteral(" - Burn MP3 disc"));
}

void TStartForm::PrepareImageTask() {
  if (!burningWindow_) return;
  hide();
  burningWindow_->PrepareTask(TTask::Image, identity::ProductName() + QStringLiteral(" V") +
                                                version_ + QStringLiteral(" - Build / Burn .ISO"));
}

void TStartForm::OpenErase() {
  if (!OnErase) return;
  if (burningWindow_) burningWindow_->Window()->hide();
  OnErase();
}

void TStartForm::OpenHelp() {
  if (!QFileInfo::exists(helpFile_)) {
    Prompter().MessageBox(this, tr("The help file %1 is missing.").arg(helpFile_),
                          QStringLiteral("Information"));
    return;
  }
  QUrl url = QUrl::fromLocalFile(helpFile_);
  url.setFragment(QStringLiteral("Welcome"));
  UrlOpener().Open(url);
}

void TStartForm::OpenHomePage() {
  UrlOpener().Open(QUrl(identity::HomePageAddress()));
}

void TStartForm::OpenPublisherSite() {
  UrlOpener().Open(QUrl(identity::PublisherWebAddress()));
}

void TStartForm::CloseProgram() {
  if (burningWindow_) burningWindow_->CloseWindow();
  close();
}

void TStartForm::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  if (event->isAccepted()) Q_EMIT Closed();
}

void TStartForm::ShowAbout() {
  if (!about_) about_ = new TAboutForm(version_, this);
  const QRect area = geometry();
  about_->adjustSize();
  about_->move(area.center() - QPoint(about_->width() / 2, about_->height() / 2));
  about_->show();
  about_->raise();
  about_->activateWindow();
}

void TStartForm::SetBackgroundColor(const QColor& color) {
  fill_ = TFill::Color;
  color_ = color;
  update();
}

void TStartForm::SetBackgroundGradient(const QColor& top, const QColor& bottom) {
  fill_ = TFill::Gradient;
  gradientTop_ = top;
  gradientBottom_ = bottom;
  update();
}

bool TStartForm::SetBackgroundImage(const QString& fileName) {
  QPixmap picture;
  if (fileName.isEmpty() || !picture.load(fileName)) return false;
  fill_ = TFill::Image;
  image_ = picture;
  update();
  return true;
}

void TStartForm::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect all = rect();
  switch (fill_) {
    case TFill::Color:
      painter.fillRect(all, color_);
      break;
    case TFill::Gradient: {
      QLinearGradient gradient(all.topLeft(), all.bottomLeft());
      gradient.setColorAt(0, gradientTop_);
      gradient.setColorAt(1, gradientBottom_);
      painter.fillRect(all, gradient);
      break;
    }
    case TFill::Image: {
      // Scaled to cover the window, centred.
      const QSize size = image_.size().scaled(all.size(), Qt::KeepAspectRatioByExpanding);
      const QRect target(all.center() - QPoint(size.width() / 2, size.height() / 2), size);
      painter.setRenderHint(QPainter::SmoothPixmapTransform);
      painter.drawPixmap(target, image_);
      break;
    }
  }
  // The strips darken whatever lies below them, so white text reads on any fill.
  painter.fillRect(QRect(0, 0, all.width(), kTitleHeight), QColor(12, 22, 56, 120));
  painter.fillRect(QRect(0, kTitleHeight, all.width(), 1), QColor(255, 255, 255, 60));
  painter.fillRect(QRect(0, all.height() - kBottomHeight, all.width(), kBottomHeight),
                   QColor(12, 22, 56, 90));
  painter.setPen(QColor(12, 22, 56, 140));
  painter.drawRect(all.adjusted(0, 0, -1, -1));
}

void TStartForm::mousePressEvent(QMouseEvent* event) {
  dragStart_ = event->position().toPoint();
  dragging_ = true;
  QWidget::mousePressEvent(event);
}

void TStartForm::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_ && (event->buttons() & Qt::LeftButton)) {
    // The window manager moves the window where it can; elsewhere it follows the pointer.
    if (!(windowHandle() && windowHandle()->startSystemMove())) {
      move(event->globalPosition().toPoint() - dragStart_);
    }
  }
  QWidget::mouseMoveEvent(event);
}

}  // namespace melvaro
