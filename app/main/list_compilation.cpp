#include "main/list_compilation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>

#include "compilation/compilation.h"
#include "platform/file_search.h"

namespace melvaro {

namespace {

// A directory record holds a 32-bit length.
constexpr int64_t kLargestFile = (int64_t{1} << 32) - 1;

bool AddFolder(TCompilation& c, const std::string& folder, const std::string& discPath,
               QString* error) {
  if (!c.ForceDirectory(discPath)) {
    if (error)
      *error =
          QObject::tr("Cannot create the disc folder %1").arg(QString::fromStdString(discPath));
    return false;
  }
  for (const TSearchRec& rec : FindFiles(folder + "/*")) {
    if (rec.Name == "." || rec.Name == "..") continue;
    const std::string path = folder + "/" + rec.Name;
    if (rec.Attr & faDirectory) {
      if (!AddFolder(c, path, discPath + "\\" + rec.Name, error)) return false;
    } else if (rec.Size > kLargestFile) {
      if (error)
        *error = QObject::tr("%1 is 4 GB or larger and cannot be put on the disc")
                     .arg(QString::fromStdString(path));
      return false;
    } else if (c.InsertFile(discPath, path, false) != 1) {
      if (error) *error = QObject::tr("Cannot add %1").arg(QString::fromStdString(path));
      return false;
    }
  }
  return true;
}

}  // namespace

bool AddListedPath(TCompilation& compilation, const QString& caption, QString* error) {
  const bool folderRow = caption.endsWith(QLatin1Char('/'));
  QString path = caption;
  while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
  const QFileInfo info(path);
  if (!info.exists()) {
    if (error) *error = QObject::tr("%1 does not exist").arg(caption);
    return false;
  }
  const std::string local = QFile::encodeName(path).toStdString();
  if (folderRow || info.isDir()) {
    const QString name = info.fileName().isEmpty() ? QStringLiteral("ROOT") : info.fileName();
    return AddFolder(compilation, local, "\\" + QFile::encodeName(name).toStdString(), error);
  }
  if (info.size() > kLargestFile) {
    if (error)
      *error = QObject::tr("%1 is 4 GB or larger and cannot be put on the disc").arg(caption);
    return false;
  }
  if (compilation.InsertFile("\\", local, false) != 1) {
    if (error) *error = QObject::tr("Cannot add %1").arg(caption);
    return false;
  }
  return true;
}

}  // namespace melvaro
