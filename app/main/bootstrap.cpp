#include "main/bootstrap.h"

#include <QApplication>
#include <QIcon>

#include "main/artwork.h"
#include "main/burning_window.h"
#include "main/identity.h"
#include "main/start_form.h"
#include "platform/qt_dispatcher.h"

namespace melvaro {

TProgram::TProgram() = default;
TProgram::~TProgram() = default;

std::unique_ptr<TProgram> CreateProgram() {
  MainThreadDispatcher();
  auto program = std::make_unique<TProgram>();
  program->startForm = std::make_unique<TStartForm>();
  program->burningWindow = CreateBurningWindow(*program->startForm);
  program->startForm->SetBurningWindow(program->burningWindow.get());
  return program;
}

namespace {

QIcon ProgramIcon() {
  QIcon icon;
  for (int side : {16, 24, 32, 48, 64, 128, 256}) {
    icon.addPixmap(RenderedIcon(QStringLiteral(":/icons/melvaro.svg"), QSize(side, side), 1.0));
  }
  return icon;
}

}  // namespace

int RunMelvaro(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(identity::ProductName());
  QApplication::setDesktopFileName(QStringLiteral("melvaro"));
  QApplication::setWindowIcon(ProgramIcon());
  // The start screen ends the program, even while other windows (the About box) are up.
  QApplication::setQuitOnLastWindowClosed(false);

  auto program = CreateProgram();
  QObject::connect(program->startForm.get(), &TStartForm::Closed, &application,
                   &QCoreApplication::quit);
  program->startForm->show();
  const int code = QApplication::exec();
  program.reset();
  return code;
}

}  // namespace melvaro
