#include "main/start_form.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "main/about_form.h"
#include "main/burning_window.h"
#include "program_folder_fixture.h"
#include "recording_url_opener.h"
#include "scripted_prompter.h"

namespace melvaro {
namespace {

// Records what the start screen asks of the burning window.
class TFakeBurningWindow final : public TBurningWindow {
 public:
  explicit TFakeBurningWindow(TStartForm& start) : start_(start) {}
  QWidget* Window() override { return &window_; }
  void PrepareTask(TTask task, const QString& caption) override {
    tasks.push_back(task);
    captions << caption;
    startVisibleWhilePreparing = start_.isVisible();
    window_.show();
  }
  bool CloseWindow() override {
    ++closeCalls;
    if (refuseClose) return false;
    window_.hide();
    return true;
  }
  std::vector<TTask> tasks;
  QStringList captions;
  bool startVisibleWhilePreparing = true;
  bool refuseClose = false;
  int closeCalls = 0;

 private:
  TStartForm& start_;
  QWidget window_;
};

class StartFormTest : public test::ProgramFolderTest {
 protected:
  QAbstractButton* Button(TStartForm& form, const char* name) {
    auto* button = form.findChild<QAbstractButton*>(QLatin1String(name));
    EXPECT_NE(button, nullptr) << name;
    return button;
  }
  QStringList VisibleButtons(TStartForm& form) {
    QStringList names;
    for (const char* name : {"btnBurn", "btnISO", "btnEraser", "btnMP3Splitter", "btnMP3Jointer",
                             "btnMP3Tag", "btnHelp", "btnAudioCD", "btnMP3", "btnBack"}) {
      if (Button(form, name)->isVisible()) names << QLatin1String(name);
    }
    if (form.findChild<QWidget*>(QStringLiteral("pnlInformation"))->isVisible()) {
      names << QStringLiteral("pnlInformation");
    }
    return names;
  }
};

const QStringList kMainPage = {QStringLiteral("btnBurn"),       QStringLiteral("btnISO"),
                               QStringLiteral("btnEraser"),     QStringLiteral("btnMP3Splitter"),
                               QStringLiteral("btnMP3Jointer"), QStringLiteral("btnMP3Tag"),
                               QStringLiteral("btnHelp")};
const QStringList kBurnPage = {QStringLiteral("btnAudioCD"), QStringLiteral("btnMP3"),
                               QStringLiteral("btnBack")};
const QStringList kInformationPage = {QStringLiteral("btnBack"), QStringLiteral("pnlInformation")};

TEST_F(StartFormTest, WithoutOptionFileShowsVersionTwoPointSevenInItsCaptions) {
  TStartForm form;
  EXPECT_EQ(form.objectName(), QStringLiteral("TStartForm"));
  EXPECT_EQ(form.ProgramFolder(), Folder());
  EXPECT_EQ(form.Version(), QStringLiteral("2.7"));
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Melvaro V2.7"));
  EXPECT_EQ(form.accessibleName(), QStringLiteral("Melvaro V2.7"));
  EXPECT_EQ(form.findChild<QLabel*>(QStringLiteral("lblVersion"))->text(), QStringLiteral("V2.7"));
  EXPECT_EQ(form.findChild<QLabel*>(QStringLiteral("lblProduct"))->text(),
            QStringLiteral("Melvaro"));
  EXPECT_EQ(form.size(), QSize(521, 383));
  EXPECT_TRUE(form.windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_EQ(form.HelpFile(), Folder() + QStringLiteral("/Melvaro.html"));
}

TEST_F(StartFormTest, TakesTheVersionFromTheOptionFile) {
  WriteFile(QStringLiteral("Option.ini"), "[general]\r\nversion = 3.1\r\n");
  TStartForm form;
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Melvaro V3.1"));
  EXPECT_EQ(form.findChild<QLabel*>(QStringLiteral("lblVersion"))->text(), QStringLiteral("V3.1"));
}

TEST_F(StartFormTest, ShowsEachPageAndKeepsTheNumberOfAnyOther) {
  TStartForm form;
  form.show();
  EXPECT_EQ(VisibleButtons(form), kMainPage);
  struct TCase {
    int page;
    QStringList visible;
  } cases[] = {{1, kBurnPage}, {2, kInformationPage}, {0, kMainPage},
               {1, kBurnPage}, {7, kBurnPage},        {-1, kBurnPage}};
  for (const TCase& c : cases) {
    form.ShowPage(c.page);
    EXPECT_EQ(VisibleButtons(form), c.visible) << c.page;
    EXPECT_EQ(form.Page(), c.page);
  }
}

TEST_F(StartFormTest, ButtonsMoveBetweenPages) {
  TStartForm form;
  form.show();
  QTest::mouseClick(Button(form, "btnBurn"), Qt::LeftButton);
  EXPECT_EQ(form.Page(), 1);
  QTest::mouseClick(Button(form, "btnBack"), Qt::LeftButton);
  EXPECT_EQ(form.Page(), 0);
  for (const char* name : {"btnMP3Splitter", "btnMP3Jointer", "btnMP3Tag"}) {
    form.ShowPage(0);
    QTest::mouseClick(Button(form, name), Qt::LeftButton);
    EXPECT_EQ(form.Page(), 2) << name;
    EXPECT_EQ(VisibleButtons(form), kInformationPage);
  }
}

TEST_F(StartFormTest, PictureButtonsAreReachableByKeyboardAndNamedByTheirLabels) {
  TStartForm form;
  form.show();
  const std::pair<const char*, const char*> labels[] = {
      {"btnBurn", "Burn MP3 / Audio CD"},
      {"btnISO", "Build / Burn .ISO"},
      {"btnEraser", "Erase Disc"},
      {"btnMP3Splitter", "Split MP3"},
      {"btnMP3Jointer", "Join MP3"},
      {"btnMP3Tag", "Edit MP3 ID3 TAG"},
      {"btnHelp", "Help"},
      {"btnAudioCD", "Burn Audio CD"},
      {"btnMP3", "Burn MP3 disc"},
      {"btnBack", "Back"},
  };
  for (const auto& [name, label] : labels) {
    QAbstractButton* button = Button(form, name);
    EXPECT_EQ(button->accessibleName(), QLatin1String(label)) << name;
    EXPECT_EQ(button->text(), QLatin1String(label)) << name;
    EXPECT_TRUE(button->focusPolicy() & Qt::TabFocus) << name;
  }
  // Tab walks through the page's buttons; Space presses the one with the focus.
  QApplication::setActiveWindow(&form);
  Button(form, "btnBurn")->setFocus();
  QStringList reached;
  for (int i = 0; i < 12; ++i) {
    reached << QApplication::focusWidget()->objectName();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  for (const QString& name : kMainPage) EXPECT_TRUE(reached.contains(name)) << name.toStdString();
  Button(form, "btnBurn")->setFocus();
  QTest::keyClick(Button(form, "btnBurn"), Qt::Key_Space);
  EXPECT_EQ(form.Page(), 1);
}

TEST_F(StartFormTest, TasksHideTheStartScreenAndPrepareTheBurningWindow) {
  struct TCase {
    const char* page1Button;  // null: the task's button is on page 0
    const char* button;
    TTask task;
    const char* caption;
    int pageAfterReturn;
  } cases[] = {
      {"btnBurn", "btnAudioCD", TTask::AudioCd, "Melvaro V2.7 - Burn Audio CD", 1},
      {"btnBurn", "btnMP3", TTask::Mp3Disc, "Melvaro V2.7 - Burn MP3 disc", 1},
      {nullptr, "btnISO", TTask::Image, "Melvaro V2.7 - Build / Burn .ISO", 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.button);
    TStartForm form;
    TFakeBurningWindow window(form);
    form.SetBurningWindow(&window);
    form.show();
    if (c.page1Button) QTest::mouseClick(Button(form, c.page1Button), Qt::LeftButton);
    QTest::mouseClick(Button(form, c.button), Qt::LeftButton);
    ASSERT_EQ(window.tasks.size(), 1u);
    EXPECT_EQ(window.tasks[0], c.task);
    EXPECT_EQ(window.captions[0], QLatin1String(c.caption));
    EXPECT_FALSE(window.startVisibleWhilePreparing);
    EXPECT_FALSE(form.isVisible());
    // Back from the task, the page it was chosen from shows again.
    window.Window()->hide();
    form.show();
    EXPECT_EQ(form.Page(), c.pageAfterReturn);
    EXPECT_EQ(VisibleButtons(form), c.pageAfterReturn == 1 ? kBurnPage : kMainPage);
  }
}

TEST_F(StartFormTest, TheImageCaptionUsesTheProductNameAndVersion) {
  WriteFile(QStringLiteral("Option.ini"), "[General]\nVersion=3.0\n");
  TStartForm form;
  TFakeBurningWindow window(form);
  form.SetBurningWindow(&window);
  form.setWindowTitle(QStringLiteral("changed"));
  form.PrepareImageTask();
  form.PrepareAudioCdTask();
  EXPECT_EQ(window.captions, QStringList({QStringLiteral("Melvaro V3.0 - Build / Burn .ISO"),
                                          QStringLiteral("changed - Burn Audio CD")}));
}

TEST_F(StartFormTest, WithoutABurningWindowATaskLeavesTheStartScreenUp) {
  TStartForm form;
  form.show();
  form.PrepareMp3DiscTask();
  EXPECT_TRUE(form.isVisible());
}

TEST_F(StartFormTest, EraseHidesTheBurningWindowAndOpensTheEraseTask) {
  TStartForm form;
  TFakeBurningWindow window(form);
  form.SetBurningWindow(&window);
  window.Window()->show();
  int erases = 0;
  form.OnErase = [&] { ++erases; };
  form.show();
  QTest::mouseClick(Button(form, "btnEraser"), Qt::LeftButton);
  EXPECT_EQ(erases, 1);
  EXPECT_FALSE(window.Window()->isVisible());
}

TEST_F(StartFormTest, CloseEndsTheProgramEvenWhenTheBurningWindowStaysOpen) {
  for (bool refuse : {false, true}) {
    TStartForm form;
    TFakeBurningWindow window(form);
    window.refuseClose = refuse;
    form.SetBurningWindow(&window);
    form.show();
    QSignalSpy closed(&form, &TStartForm::Closed);
    QTest::mouseClick(Button(form, "btnClose"), Qt::LeftButton);
    EXPECT_EQ(window.closeCalls, 1) << refuse;
    EXPECT_EQ(closed.count(), 1) << refuse;
    EXPECT_FALSE(form.isVisible());
  }
}

TEST_F(StartFormTest, LinksOpenTheHomePageAndTheMakersSite) {
  test::TRecordingUrlOpener opener;
  TStartForm form;
  form.show();
  QTest::mouseClick(Button(form, "lblHomePage"), Qt::LeftButton);
  QTest::mouseClick(Button(form, "lblMaker"), Qt::LeftButton);
  form.ShowPage(2);
  QTest::mouseClick(Button(form, "lblInformationLink"), Qt::LeftButton);
  ASSERT_EQ(opener.opened.size(), 3u);
  EXPECT_EQ(opener.opened[0], QUrl(QStringLiteral("http://melvaro.example.org")));
  EXPECT_EQ(opener.opened[1].host(), QStringLiteral("melvaro.example.org"));
  EXPECT_EQ(opener.opened[2], opener.opened[0]);
}

TEST_F(StartFormTest, HelpOpensTheHelpPagesAtWelcome) {
  test::TRecordingUrlOpener opener;
  test::TScriptedPrompter prompter;
  {
    TStartForm form;
    form.show();
    QTest::mouseClick(Button(form, "btnHelp"), Qt::LeftButton);
    EXPECT_TRUE(opener.opened.empty());
    ASSERT_EQ(prompter.prompts.size(), 1u);
    EXPECT_EQ(prompter.prompts[0].caption, QStringLiteral("Information"));
    EXPECT_TRUE(prompter.prompts[0].text.contains(QStringLiteral("Melvaro.html")));
  }
  WriteFile(QStringLiteral("Melvaro.html"), "<html><h1 id=\"Welcome\">Melvaro</h1></html>");
  TStartForm form;
  form.show();
  QTest::mouseClick(Button(form, "btnHelp"), Qt::LeftButton);
  ASSERT_EQ(opener.opened.size(), 1u);
  EXPECT_EQ(opener.opened[0].toLocalFile(), Folder() + QStringLiteral("/Melvaro.html"));
  EXPECT_EQ(opener.opened[0].fragment(), QStringLiteral("Welcome"));
}

TEST_F(StartFormTest, DraggingTheBackgroundMovesTheWindow) {
  TStartForm form;
  form.show();
  const QPoint start = form.pos();
  const QPoint grip(260, 20);  // the title strip, between the labels
  QMouseEvent press(QEvent::MouseButtonPress, grip, form.mapToGlobal(grip), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&form, &press);
  const QPoint to = form.mapToGlobal(grip) + QPoint(40, 25);
  QMouseEvent move(QEvent::MouseMove, form.mapFromGlobal(to), to, Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QApplication::sendEvent(&form, &move);
  EXPECT_EQ(form.pos(), start + QPoint(40, 25));
  // Without the left button held the window stays.
  QMouseEvent hover(QEvent::MouseMove, QPoint(10, 10), form.mapToGlobal(QPoint(10, 10)),
                    Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&form, &hover);
  EXPECT_EQ(form.pos(), start + QPoint(40, 25));
}

TEST_F(StartFormTest, ShowingArmsTheUpdateCheckWhenTheOptionIsOn) {
  for (bool on : {false, true}) {
    SCOPED_TRACE(on);
    WriteFile(QStringLiteral("Option.ini"),
              on ? "[General]\nDetect New Version=1\n" : "[General]\nDetect New Version=0\n");
    TStartForm form;
    int checks = 0;
    form.OnUpdateCheck = [&] { ++checks; };
    EXPECT_FALSE(form.UpdateTimer()->isActive());
    form.show();
    EXPECT_EQ(form.UpdateTimer()->isActive(), on);
    EXPECT_EQ(form.UpdateTimer()->interval(), 2000);
    EXPECT_TRUE(form.UpdateTimer()->isSingleShot());
    if (!on) continue;
    // Let it fire at once: it runs the check one time and stays off.
    form.UpdateTimer()->start(0);
    QSignalSpy fired(form.UpdateTimer(), &QTimer::timeout);
    ASSERT_TRUE(fired.wait(10000));
    QCoreApplication::processEvents();
    EXPECT_EQ(checks, 1);
    EXPECT_FALSE(form.UpdateTimer()->isActive());
    // Coming back to the start screen arms it again.
    form.hide();
    form.show();
    EXPECT_TRUE(form.UpdateTimer()->isActive());
  }
}

TEST_F(StartFormTest, TheOptionsDecideWhetherTheCheckIsArmed) {
  TStartForm form;
  form.AutoCheckEnabled = [] { return true; };
  form.show();
  EXPECT_TRUE(form.UpdateTimer()->isActive());
}

TEST_F(StartFormTest, AboutBoxIsCreatedOnceAndShownWithoutBlocking) {
  TStartForm form;
  EXPECT_EQ(form.AboutForm(), nullptr);
  form.ShowAbout();
  TAboutForm* about = form.AboutForm();
  ASSERT_NE(about, nullptr);
  EXPECT_TRUE(about->isVisible());
  EXPECT_FALSE(about->isModal());
  EXPECT_EQ(about->objectName(), QStringLiteral("TAboutForm"));
  EXPECT_EQ(about->windowTitle(), QStringLiteral("About"));
  EXPECT_TRUE(about->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_EQ(about->findChild<QLabel*>(QStringLiteral("lblVersion"))->text(),
            QStringLiteral("Version 2.7"));
  auto* ok = about->findChild<QAbstractButton*>(QStringLiteral("btnOK"));
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->text(), QStringLiteral("OK"));
  QTest::mouseClick(ok, Qt::LeftButton);
  EXPECT_FALSE(about->isVisible());
  form.ShowAbout();
  EXPECT_EQ(form.AboutForm(), about);
  EXPECT_TRUE(about->isVisible());
}

TEST_F(StartFormTest, BackgroundFollowsTheOptions) {
  TStartForm form;
  form.SetBackgroundColor(QColor(10, 200, 30));
  const QImage plain = form.grab().toImage();
  EXPECT_EQ(plain.pixelColor(3, 200), QColor(10, 200, 30));
  form.SetBackgroundGradient(QColor(255, 0, 0), QColor(0, 0, 255));
  const QImage gradient = form.grab().toImage();
  const QColor high = gradient.pixelColor(3, 60);
  const QColor low = gradient.pixelColor(3, 340);
  EXPECT_GT(high.red(), low.red());
  EXPECT_LT(high.blue(), low.blue());
  EXPECT_FALSE(form.SetBackgroundImage(Folder() + QStringLiteral("/missing.bmp")));
  EXPECT_EQ(form.grab().toImage().pixelColor(3, 60), high);
}

}  // namespace
}  // namespace melvaro
