#include "platform/prompter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include "scripted_prompter.h"

namespace melvaro {
namespace {

TEST(QtFileFilter, TurnsDescriptionAndPatternPairsIntoQtFilters) {
  struct TCase {
    const char* pipes;
    const char* qt;
  } cases[] = {
      {"Skin files (*.mskn)|*.mskn", "Skin files (*.mskn)"},
      {"Bitmap (*.bmp)|*.bmp", "Bitmap (*.bmp)"},
      {"Audio CD task|*.cdt|MP3 disc task|*.mpt", "Audio CD task (*.cdt);;MP3 disc task (*.mpt)"},
      {"*.mp3 ; *.wmv ; *.wav ; *.mid|*.mp3;*.wma;*.wav;*.mid",
       "*.mp3 ; *.wmv ; *.wav ; *.mid (*.mp3 *.wma *.wav *.mid)"},
      {"|*.iso", "(*.iso)"},
      {"ISO image|", "ISO image"},
      {"Images (*.iso);;All files (*)", "Images (*.iso);;All files (*)"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(QtFileFilter(QString::fromUtf8(c.pipes)), QString::fromUtf8(c.qt)) << c.pipes;
  }
}

// The Qt prompter's box, answered by pressing one of its buttons.
TEST(QtPrompter, ShowsTheCaptionTextAndButtonsAndReturnsTheOnePressed) {
  ASSERT_EQ(SetPrompter(nullptr), nullptr);
  QString seenCaption;
  QString seenText;
  int buttonCount = 0;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    seenCaption = box->windowTitle();
    seenText = box->text();
    buttonCount = static_cast<int>(box->buttons().size());
    box->button(QMessageBox::No)->click();
  });
  const auto chosen = Prompter().MessageBox(
      nullptr, QStringLiteral("The task has been changed, save it?"), QStringLiteral("Query"),
      QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Question);
  EXPECT_EQ(chosen, QMessageBox::No);
  EXPECT_EQ(seenCaption, QStringLiteral("Query"));
  EXPECT_EQ(seenText, QStringLiteral("The task has been changed, save it?"));
  EXPECT_EQ(buttonCount, 3);
}

TEST(QtPrompter, AnEscapedBoxAnswersItsCancelButton) {
  QTimer::singleShot(0, [] {
    if (QWidget* box = QApplication::activeModalWidget()) box->close();
  });
  EXPECT_EQ(Prompter().MessageBox(nullptr, QStringLiteral("?"), QStringLiteral("Query"),
                                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel),
            QMessageBox::Cancel);
}

TEST(ScriptedPrompter, RecordsEachQuestionAndAnswersInOrder) {
  test::TScriptedPrompter scripted;
  EXPECT_EQ(&Prompter(), &scripted);
  scripted.Answer(QMessageBox::Yes);
  scripted.Answer(QStringLiteral("/tmp/task.mpt"));
  scripted.AnswerCancel();
  EXPECT_EQ(Prompter().MessageBox(nullptr, QStringLiteral("Save?"), QStringLiteral("Query"),
                                  QMessageBox::Yes | QMessageBox::No),
            QMessageBox::Yes);
  // An information box needs no queued answer.
  EXPECT_EQ(Prompter().MessageBox(nullptr, QStringLiteral("Done"), QStringLiteral("Information")),
            QMessageBox::Ok);
  EXPECT_EQ(Prompter().SaveFileName(nullptr, QStringLiteral("Save"), QString(),
                                    QStringLiteral("MP3 disc task (*.mpt)")),
            QStringLiteral("/tmp/task.mpt"));
  EXPECT_EQ(Prompter().InputText(nullptr, QStringLiteral("Label"), QStringLiteral("Name:"),
                                 QStringLiteral("CD")),
            std::nullopt);
  ASSERT_EQ(scripted.prompts.size(), 4u);
  EXPECT_EQ(scripted.prompts[0].caption, QStringLiteral("Query"));
  EXPECT_EQ(scripted.prompts[0].buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(scripted.prompts[2].filter, QStringLiteral("MP3 disc task (*.mpt)"));
  EXPECT_EQ(scripted.Messages(), QStringList({QStringLiteral("Save?"), QStringLiteral("Done")}));
}

}  // namespace
}  // namespace melvaro
