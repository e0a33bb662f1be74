// Handing a web address, a "mailto:" address or a file to the desktop (xdg-open through
// QDesktopServices). Windows go through UrlOpener(); tests install a recorder.
#pragma once

#include <QUrl>

namespace melvaro {

class TUrlOpener {
 public:
  virtual ~TUrlOpener() = default;
  // True when the desktop accepted the address.
  virtual bool Open(const QUrl& url) = 0;
};

// The opener in use: the one set last, else the desktop's. Main thread only.
TUrlOpener& UrlOpener();
// Installs `opener` (not owned; null restores the desktop's); returns the previous one.
TUrlOpener* SetUrlOpener(TUrlOpener* opener);

}  // namespace melvaro
