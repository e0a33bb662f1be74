// A prompter for tests: records every question (kind, caption, text, buttons, filter)
// and answers from a queue, in order. A message box offering only OK is answered OK
// unless the next queued answer is a button; any other question without a queued answer fails the
// test and is answered as if cancelled. Installed for its lifetime.
#pragma once

#include <gtest/gtest.h>

#include <QColor>
#include <QStringList>
#include <deque>
#include <variant>
#include <vector>

#include "platform/prompter.h"
#include "qt_printers.h"

namespace melvaro::test {

struct TPrompt {
  enum class TKind { Message, OpenFile, OpenFiles, SaveFile, Folder, Input, Color };
  TKind kind;
  QString caption;
  QString text;  // the message, the input label
  TPrompter::TButtons buttons;
  TPrompter::TIcon icon = QMessageBox::NoIcon;
  QString filter;
  QString folder;  // the folder a file dialog starts in; the input's start text
};

class TScriptedPrompter final : public TPrompter {
 public:
  TScriptedPrompter() : previous_(SetPrompter(this)) {}
  ~TScriptedPrompter() override {
    SetPrompter(previous_);
    EXPECT_TRUE(answers_.empty()) << answers_.size() << " answer(s) never asked for";
  }
  TScriptedPrompter(const TScriptedPrompter&) = delete;
  TScriptedPrompter& operator=(const TScriptedPrompter&) = delete;

  // The next question is answered with this button, file name, folder or text (an
  // empty text cancels a file or folder dialog), list of file names, cancellation of
  // an input or colour dialog, or colour.
  void Answer(TButton button) { answers_.emplace_back(button); }
  void Answer(const QString& text) { answers_.emplace_back(text); }
  void Answer(const QStringList& names) { answers_.emplace_back(names); }
  void AnswerCancel() { answers_.emplace_back(Cancelled{}); }
  void Answer(const QColor& color) { answers_.emplace_back(color); }

  std::vector<TPrompt> prompts;

  // The captions and texts of the message boxes asked so far.
  QStringList Messages() const {
    QStringList texts;
    for (const TPrompt& p : prompts) {
      if (p.kind == TPrompt::TKind::Message) texts << p.text;
    }
    return texts;
  }

  TButton MessageBox(QWidget*, const QString& text, const QString& caption, TButtons buttons,
                     TIcon icon) override {
    prompts.push_back({TPrompt::TKind::Message, caption, text, buttons, icon, {}, {}});
    if (buttons == TButtons(QMessageBox::Ok) &&
        (answers_.empty() || !std::holds_alternative<TButton>(answers_.front()))) {
      return QMessageBox::Ok;
    }
    const auto answer = Next<TButton>(caption, text);
    if (!answer) return Escape(buttons);
    EXPECT_TRUE(buttons.testFlag(*answer))
        << "answered with a button the box does not offer: " << caption.toStdString();
    return *answer;
  }
  QString OpenFileName(QWidget*, const QString& caption, const QString& folder,
                       const QString& filter) override {
    prompts.push_back({TPrompt::TKind::OpenFile, caption, {}, {}, {}, filter, folder});
    return Next<QString>(caption, {}).value_or(QString());
  }
  QStringList OpenFileNames(QWidget*, const QString& caption, const QString& folder,
                            const QString& filter) override {
    prompts.push_back({TPrompt::TKind::OpenFiles, caption, {}, {}, {}, filter, folder});
    return Next<QStringList>(caption, {}).value_or(QStringList());
  }
  QString SaveFileName(QWidget*, const QString& caption, const QString& folder,
                       const QString& filter) override {
    prompts.push_back({TPrompt::TKind::SaveFile, caption, {}, {}, {}, filter, folder});
    return Next<QString>(caption, {}).value_or(QString());
  }
  QString FolderName(QWidget*, const QString& caption, const QString& folder) override {
    prompts.push_back({TPrompt::TKind::Folder, caption, {}, {}, {}, {}, folder});
    return Next<QString>(caption, {}).value_or(QString());
  }
  std::optional<QString> InputText(QWidget*, const QString& caption, const QString& label,
                                   const QString& text) override {
    prompts.push_back({TPrompt::TKind::Input, caption, label, {}, {}, {}, text});
    return Next<QString>(caption, label);
  }
  std::optional<QColor> Color(QWidget*, const QString& caption, const QColor&) override {
    prompts.push_back({TPrompt::TKind::Color, caption, {}, {}, {}, {}, {}});
    return Next<QColor>(caption, {});
  }

 private:
  struct Cancelled {};
  using TAnswer = std::variant<TButton, QString, QStringList, Cancelled, QColor>;

  template <typename T>
  std::optional<T> Next(const QString& caption, const QString& text) {
    if (answers_.empty()) {
      ADD_FAILURE() << "unexpected question \"" << caption.toStdString()
                    << "\": " << text.toStdString();
      return std::nullopt;
    }
    TAnswer answer = answers_.front();
    answers_.pop_front();
    if (std::holds_alternative<Cancelled>(answer)) return std::nullopt;
    if (!std::holds_alternative<T>(answer)) {
      ADD_FAILURE() << "the queued answer does not fit the question \"" << caption.toStdString()
                    << "\"";
      return std::nullopt;
    }
    return std::get<T>(answer);
  }
  static TButton Escape(TButtons buttons) {
    for (TButton b : {QMessageBox::Cancel, QMessageBox::No, QMessageBox::Ok}) {
      if (buttons.testFlag(b)) return b;
    }
    return QMessageBox::NoButton;
  }

  TPrompter* previous_;
  std::deque<TAnswer> answers_;
};

}  // namespace melvaro::test
