#include "main/bootstrap.h"

#include <gtest/gtest.h>

#include <QApplication>

#include "main/burning_window.h"
#include "main/start_form.h"
#include "program_folder_fixture.h"

namespace melvaro {
namespace {

using ProgramStartTest = test::ProgramFolderTest;

TEST_F(ProgramStartTest, CreatesTheStartScreenWiredToTheBurningWindowAndShowsNothing) {
  const auto program = CreateProgram();
  ASSERT_NE(program->startForm, nullptr);
  EXPECT_EQ(program->startForm->BurningWindow(), program->burningWindow.get());
  EXPECT_EQ(program->startForm->ProgramFolder(), Folder());
  for (QWidget* window : QApplication::topLevelWidgets()) {
    EXPECT_FALSE(window->isVisible()) << window->objectName().toStdString();
  }
}

}  // namespace
}  // namespace melvaro
