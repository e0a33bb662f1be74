// What the start screen needs of the burning window (the main window, TForm1): laying
// it out for a chosen task, and closing it. The main window's module implements this
// and defines CreateBurningWindow.
#pragma once

#include <QString>
#include <memory>

class QWidget;

namespace melvaro {

class TStartForm;

enum class TTask {
  AudioCd,  // "Burn Audio CD": mode 0, TrackBox
  Mp3Disc,  // "Burn MP3 disc": mode 1, clbox, the first drive that writes CD-R/DVD-R/DVD-RAM
  Image,    // "Build / Burn .ISO": mode 1, clbox, the image tool bar, the last drive
};

class TBurningWindow {
 public:
  virtual ~TBurningWindow() = default;
  virtual QWidget* Window() = 0;
  // Called with the start screen already hidden: sets the mode, the caption, the tool
  // bars, the list, the file mask, the ruler and the drive list for `task`, shows the
  // window and runs New, in the order the task asks for (the image task runs New while
  // the window is still hidden).
  virtual void PrepareTask(TTask task, const QString& caption) = 0;
  // Closes the window as its own close button does; false when it stays open (the
  // close query was cancelled).
  virtual bool CloseWindow() = 0;
};

// Creates the burning window, hidden, for `startForm` (from which it takes the program
// folder and to which it returns when closed). Null while the program has none.
std::unique_ptr<TBurningWindow> CreateBurningWindow(TStartForm& startForm);

}  // namespace melvaro
