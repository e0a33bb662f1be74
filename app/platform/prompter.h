// The one way the application asks the user something: message boxes and the file,
// folder, input and colour dialogs. Windows call Prompter(); tests install a scripted
// prompter with SetPrompter and check the captions, texts and buttons it was asked.
#pragma once

#include <QColor>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

namespace melvaro {

class TPrompter {
 public:
  using TButton = QMessageBox::StandardButton;
  using TButtons = QMessageBox::StandardButtons;
  using TIcon = QMessageBox::Icon;

  virtual ~TPrompter() = default;

  // A message box owned by `parent` (may be null) with `text`, `caption` and `buttons`;
  // returns the button chosen, or the escape button (Cancel, No, else the only button)
  // when the box is closed otherwise.
  virtual TButton MessageBox(QWidget* parent, const QString& text, const QString& caption,
                             TButtons buttons = QMessageBox::Ok,
                             TIcon icon = QMessageBox::Information) = 0;

  // File dialogs. `filter` is in Qt's form ("Skin files (*.mskn);;All files (*)"); see
  // QtFileFilter for the "description|patterns" form. Empty result (or list): cancelled.
  virtual QString OpenFileName(QWidget* parent, const QString& caption, const QString& folder,
                               const QString& filter) = 0;
  virtual QStringList OpenFileNames(QWidget* parent, const QString& caption, const QString& folder,
                                    const QString& filter) = 0;
  virtual QString SaveFileName(QWidget* parent, const QString& caption, const QString& folder,
                               const QString& filter) = 0;
  // A folder; empty when cancelled.
  virtual QString FolderName(QWidget* parent, const QString& caption, const QString& folder) = 0;
  // A line of text with `label` above it; nullopt when cancelled.
  virtual std::optional<QString> InputText(QWidget* parent, const QString& caption,
                                           const QString& label, const QString& text) = 0;
  // A colour starting at `initial`; nullopt when cancelled.
  virtual std::optional<QColor> Color(QWidget* parent, const QString& caption,
                                      const QColor& initial) = 0;
};

// The prompter every window uses: the one set last, else the Qt dialogs. Main thread only.
TPrompter& Prompter();
// Installs `prompter` (not owned; null restores the Qt dialogs). Returns the previous one
// (null when the Qt dialogs were in use).
TPrompter* SetPrompter(TPrompter* prompter);

// Turns a filter of "description|patterns|description|patterns" pairs, patterns
// separated by ";" ("Skin files (*.mskn)|*.mskn"), into Qt's form, one
// "description (patterns)" per pair joined by ";;". A description that already names
// its patterns in brackets is kept as it is. Text without "|" is returned unchanged.
QString QtFileFilter(const QString& pipeFilter);

}  // namespace melvaro
