// The start screen's three pages and the About box.
#include "main/about_form.h"
#include "main/start_form.h"
#include "shots.h"

namespace melvaro::shots {
namespace {

QWidget* StartPage(std::vector<std::unique_ptr<QObject>>& keep, int page) {
  auto form = std::make_unique<TStartForm>();
  form->show();
  form->ShowPage(page);
  QWidget* widget = form.get();
  keep.push_back(std::move(form));
  return widget;
}

MELVARO_SHOT("start_main", [](auto& keep) { return StartPage(keep, 0); });
MELVARO_SHOT("start_burn", [](auto& keep) { return StartPage(keep, 1); });
MELVARO_SHOT("start_information", [](auto& keep) { return StartPage(keep, 2); });
MELVARO_SHOT("about", [](auto& keep) -> QWidget* {
  auto form = std::make_unique<TStartForm>();
  form->ShowAbout();
  QWidget* about = form->AboutForm();
  keep.push_back(std::move(form));
  return about;
});

}  // namespace
}  // namespace melvaro::shots
