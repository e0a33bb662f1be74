#include "main/program_files.h"

#include <QDir>
#include <QFileInfo>

#include "main/identity.h"
#include "platform/program_folder.h"

namespace melvaro {

QString ProgramFolderPath() {
  return QString::fromStdString(ProgramFolder());
}

QString OptionFilePath(const QString& programFolder) {
  return programFolder + QStringLiteral("/Option.ini");
}

QString TipsFilePath(const QString& programFolder) {
  return programFolder + QStringLiteral("/Tips.ini");
}

QString HelpFilePath(const QString& programFolder) {
  const QString name = identity::ProductName() + QStringLiteral(".html");
  const QString own = programFolder + QLatin1Char('/') + name;
  if (QFileInfo::exists(own)) return own;
  const QString installed = QDir::cleanPath(QString::fromStdString(ExecutableFolder()) +
                                            QStringLiteral("/../share/melvaro/") + name);
  if (QFileInfo::exists(installed)) return installed;
  return own;
}

}  // namespace melvaro
