// The main() of the application's tests: GoogleTest inside a QApplication on the
// offscreen platform (unless QT_QPA_PLATFORM names another), so windows are created,
// shown and painted without a display.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
