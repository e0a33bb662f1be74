// app_screenshots OUTPUT_FOLDER [SUFFIX]: renders every registered window into
// OUTPUT_FOLDER/NAME SUFFIX.png. Run on the offscreen platform by scripts/screenshots,
// with a program folder of its own (MELVARO_HOME).
#include <QApplication>
#include <QDir>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "shots.h"

namespace melvaro::shots {
std::vector<TShot>& Shots() {
  static std::vector<TShot> shots;
  return shots;
}
}  // namespace melvaro::shots

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: app_screenshots OUTPUT_FOLDER [SUFFIX]\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  const QString suffix = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
  QDir().mkpath(folder);
  int failures = 0;
  for (const auto& shot : melvaro::shots::Shots()) {
    std::vector<std::unique_ptr<QObject>> keep;
    QWidget* widget = shot.make(keep);
    // Let layouts, style polish and pending paints settle before the picture.
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    const QString path = QDir(folder).filePath(shot.name + suffix + QStringLiteral(".png"));
    if (!widget || !widget->grab().save(path)) {
      std::fprintf(stderr, "could not render %s\n", qPrintable(path));
      ++failures;
      continue;
    }
    std::printf("%s\n", qPrintable(path));
  }
  return failures == 0 ? 0 : 1;
}
