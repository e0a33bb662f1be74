// A fresh program folder (MELVARO_HOME) for each test, with helpers to put files in it.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include "qt_printers.h"

namespace melvaro::test {

class ProgramFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    previous_ = qgetenv("MELVARO_HOME");
    hadPrevious_ = qEnvironmentVariableIsSet("MELVARO_HOME");
    qputenv("MELVARO_HOME", folder_.path().toUtf8());
  }
  void TearDown() override {
    if (hadPrevious_) {
      qputenv("MELVARO_HOME", previous_);
    } else {
      qunsetenv("MELVARO_HOME");
    }
  }
  QString Folder() const { return folder_.path(); }
  void WriteFile(const QString& name, const QByteArray& content) {
    QFile file(folder_.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
  }

 private:
  QTemporaryDir folder_;
  QByteArray previous_;
  bool hadPrevious_ = false;
};

}  // namespace melvaro::test
