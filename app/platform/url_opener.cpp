#include "platform/url_opener.h"

#include <QDesktopServices>

namespace melvaro {
namespace {

class TDesktopUrlOpener final : public TUrlOpener {
 public:
  bool Open(const QUrl& url) override { return QDesktopServices::openUrl(url); }
};

TUrlOpener* installed = nullptr;

}  // namespace

TUrlOpener& UrlOpener() {
  static TDesktopUrlOpener desktop;
  return installed ? *installed : desktop;
}

TUrlOpener* SetUrlOpener(TUrlOpener* opener) {
  TUrlOpener* previous = installed;
  installed = opener;
  return previous;
}

}  // namespace melvaro
