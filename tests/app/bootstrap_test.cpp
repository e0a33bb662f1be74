#include "main/bootstrap.h"

#include <gtest/gtest.h>

#include <QApplication>

#include "main/burning_window.h"
#include "main/start_form.h"
#include "program_folder_fixture.h"
#include "scripted_prompter.h"

namespace melvaro {
namespace {

using ProgramStartTest = test::ProgramFolderTest;

TEST_F(ProgramStartTest, CreatesTheStartScreenWiredToTheBurningWindowAndShowsNothing) {
  // The main window tells of a missing drive transport in a message box.
  test::TScriptedPrompter prompter;
  const auto program = CreateProgram();
  ASSERT_NE(program->startForm, nullptr);
  ASSERT_NE(program->burningWindow, nullptr);
  EXPECT_EQ(program->startForm->BurningWindow(), program->burningWindow.get());
  EXPECT_EQ(program->startForm->ProgramFolder(), Folder());
  for (QWidget* window : QApplication::topLevelWidgets()) {
    EXPECT_FALSE(window->isVisible()) << window->objectName().toStdString();
  }
}

}  // namespace
}  // namespace melvaro
