// TStartForm: the start screen and the application's main window. It records the
// program folder and the version, offers the tasks on three pages of picture buttons,
// prepares the burning window for the chosen task, arms the automatic update check and
// owns the About box. Closing it ends the program.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QPoint>
#include <QString>
#include <QWidget>
#include <functional>

class QLabel;
class QTimer;
class QAbstractButton;

namespace melvaro {

class TAboutForm;
class TBurningWindow;

class TStartForm : public QWidget {
  Q_OBJECT

 public:
  enum TPage { MainPage = 0, BurnPage = 1, InformationPage = 2 };

  // Creation: the program folder, the identity texts and help file, the version from
  // the program folder's Option.ini (default "2.7"), the caption "Melvaro V" + version.
  explicit TStartForm(QWidget* parent = nullptr);
  ~TStartForm() override;

  QString ProgramFolder() const { return programFolder_; }
  QString Version() const { return version_; }
  // The program folder's "Melvaro.html" (the help pages).
  QString HelpFile() const { return helpFile_; }

  // The page kept in the window's Tag; shown again whenever the window is shown.
  int Page() const { return page_; }
  // Shows page 0, 1 or 2; any other number changes nothing on screen. The kept page
  // becomes n in every case.
  void ShowPage(int n);

  // The burning window the tasks lay out (not owned; may be null).
  void SetBurningWindow(TBurningWindow* window) { burningWindow_ = window; }
  TBurningWindow* BurningWindow() const { return burningWindow_; }

  // Commands of the buttons, callable from tests.
  void PrepareAudioCdTask();
  void PrepareMp3DiscTask();
  void PrepareImageTask();
  void OpenErase();
  void OpenHelp();
  void OpenHomePage();
  void OpenPublisherSite();
  // Closes the burning window, then this window (ending the program) even when the
  // burning window stayed open.
  void CloseProgram();

  // The About box, created on first use, shown without blocking.
  void ShowAbout();
  TAboutForm* AboutForm() const { return about_; }

  // The background fill; the options set it. An image that cannot be loaded leaves
  // the fill as it was and returns false.
  void SetBackgroundColor(const QColor& color);
  void SetBackgroundGradient(const QColor& top, const QColor& bottom);
  bool SetBackgroundImage(const QString& fileName);

  // The automatic update check: when AutoCheckEnabled answers true as the window is
  // shown, the one-shot 2000 ms timer is started; when it fires, OnUpdateCheck runs.
  QTimer* UpdateTimer() const { return updateTimer_; }
  std::function<bool()> AutoCheckEnabled;
  std::function<void()> OnUpdateCheck;
  // Runs the erase task (the erase dialog's module sets it).
  std::function<void()> OnErase;

 Q_SIGNALS:
  // The window was closed: the program ends.
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  void BuildControls();
  void UpdateTimerFired();

  QString programFolder_;
  QString version_;
  QString helpFile_;
  int page_ = MainPage;
  TBurningWindow* burningWindow_ = nullptr;
  TAboutForm* about_ = nullptr;
  QTimer* updateTimer_ = nullptr;

  enum class TFill { Color, Gradient, Image };
  TFill fill_ = TFill::Color;
  QColor color_;
  QColor gradientTop_;
  QColor gradientBottom_;
  QPixmap image_;

  bool dragging_ = false;
  QPoint dragStart_;

  QList<QAbstractButton*> mainButtons_;
  QList<QAbstractButton*> burnButtons_;
  QWidget* burnHeading_ = nullptr;
  QAbstractButton* back_ = nullptr;
  QWidget* information_ = nullptr;
};

}  // namespace melvaro
