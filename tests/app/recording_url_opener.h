// A URL opener for tests: records the addresses instead of starting a browser.
#pragma once

#include <QUrl>
#include <vector>

#include "platform/url_opener.h"

namespace melvaro::test {

class TRecordingUrlOpener final : public TUrlOpener {
 public:
  TRecordingUrlOpener() : previous_(SetUrlOpener(this)) {}
  ~TRecordingUrlOpener() override { SetUrlOpener(previous_); }
  TRecordingUrlOpener(const TRecordingUrlOpener&) = delete;
  TRecordingUrlOpener& operator=(const TRecordingUrlOpener&) = delete;

  bool Open(const QUrl& url) override {
    opened.push_back(url);
    return true;
  }
  std::vector<QUrl> opened;

 private:
  TUrlOpener* previous_;
};

}  // namespace melvaro::test
