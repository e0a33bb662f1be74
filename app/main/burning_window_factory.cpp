// Stands in for the main window's module, which defines CreateBurningWindow itself (this
// file goes when it lands). Without a burning window the start screen's tasks do nothing.
#include "main/burning_window.h"

namespace melvaro {

std::unique_ptr<TBurningWindow> CreateBurningWindow(TStartForm&) {
  return nullptr;
}

}  // namespace melvaro
