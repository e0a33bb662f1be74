// Program start: the windows in their order, then the event loop.
#pragma once

#include <memory>

namespace melvaro {

class TBurningWindow;
class TStartForm;

// The windows that live for the whole run. Members are destroyed in reverse order, so
// the start screen, which the others refer to, goes last.
struct TProgram {
  TProgram();
  ~TProgram();
  std::unique_ptr<TStartForm> startForm;
  std::unique_ptr<TBurningWindow> burningWindow;
  // The burn job, options, file information, decoding and tips windows join here, in
  // that order, as their modules land.
};

// With a QApplication running: creates the start screen first, then the burning window
// and the other windows. Nothing is shown yet.
std::unique_ptr<TProgram> CreateProgram();

// main(): the application titled "Melvaro", the windows, the start screen shown, the event
// loop until the start screen is closed. Returns the exit code.
int RunMelvaro(int argc, char** argv);

}  // namespace melvaro
