#include "platform/prompter.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QInputDialog>

namespace melvaro {
namespace {

class TQtPrompter final : public TPrompter {
 public:
  TButton MessageBox(QWidget* parent, const QString& text, const QString& caption, TButtons buttons,
                     TIcon icon) override {
    QMessageBox box(icon, caption, text, buttons, parent);
    box.setObjectName(QStringLiteral("MessageBox"));
    const auto chosen = static_cast<TButton>(box.exec());
    if (chosen != QMessageBox::NoButton) return chosen;
    return EscapeButton(buttons);
  }
  QString OpenFileName(QWidget* parent, const QString& caption, const QString& folder,
                       const QString& filter) override {
    return QFileDialog::getOpenFileName(parent, caption, folder, filter);
  }
  QStringList OpenFileNames(QWidget* parent, const QString& caption, const QString& folder,
                            const QString& filter) override {
    return QFileDialog::getOpenFileNames(parent, caption, folder, filter);
  }
  QString SaveFileName(QWidget* parent, const QString& caption, const QString& folder,
                       const QString& filter) override {
    return QFileDialog::getSaveFileName(parent, caption, folder, filter);
  }
  QString FolderName(QWidget* parent, const QString& caption, const QString& folder) override {
    return QFileDialog::getExistingDirectory(parent, caption, folder);
  }
  std::optional<QString> InputText(QWidget* parent, const QString& caption, const QString& label,
                                   const QString& text) override {
    bool ok = false;
    QString answer = QInputDialog::getText(parent, caption, label, QLineEdit::Normal, text, &ok);
    if (!ok) return std::nullopt;
    return answer;
  }
  std::optional<QColor> Color(QWidget* parent, const QString& caption,
                              const QColor& initial) override {
    const QColor chosen = QColorDialog::getColor(initial, parent, caption);
    if (!chosen.isValid()) return std::nullopt;
    return chosen;
  }

 private:
  static TButton EscapeButton(TButtons buttons) {
    for (TButton b : {QMessageBox::Cancel, QMessageBox::No, QMessageBox::Abort, QMessageBox::Close,
                      QMessageBox::Ok}) {
      if (buttons.testFlag(b)) return b;
    }
    return QMessageBox::NoButton;
  }
};

TQtPrompter& QtPrompter() {
  static TQtPrompter prompter;
  return prompter;
}

TPrompter* installed = nullptr;

}  // namespace

TPrompter& Prompter() {
  return installed ? *installed : QtPrompter();
}

TPrompter* SetPrompter(TPrompter* prompter) {
  TPrompter* previous = installed;
  installed = prompter;
  return previous;
}

QString QtFileFilter(const QString& pipeFilter) {
  if (!pipeFilter.contains(QLatin1Char('|'))) return pipeFilter;
  const QStringList parts = pipeFilter.split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i < parts.size(); i += 2) {
    const QString description = parts[i].trimmed();
    QStringList patterns;
    if (i + 1 < parts.size()) {
      for (const QString& p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (!p.trimmed().isEmpty()) patterns << p.trimmed();
      }
    }
    const QString joined = patterns.join(QLatin1Char(' '));
    if (description.isEmpty()) {
      filters << QStringLiteral("(%1)").arg(joined);
    } else if (patterns.isEmpty() || description.contains(QLatin1Char('('))) {
      filters << description;
    } else {
      filters << QStringLiteral("%1 (%2)").arg(description, joined);
    }
  }
  return filters.join(QStringLiteral(";;"));
}

}  // namespace melvaro
