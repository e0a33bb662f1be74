// The plug-in back end ("WNASPI32.DLL"): a shared library loaded with dlopen that
// exports GetASPI32SupportInfo and SendASPI32Command (aspi_abi.h).
//
// Contract: records are passed to the library as they are; the library may complete an
// execute record later on its own thread and signal the record's eventfd. Loading tries
// the given path (when not empty), the program folder's libwnaspi32.so, then
// libwnaspi32.so through the system loader's search path.
#pragma once

#include <stdexcept>
#include <string>

#include "aspi_abi.h"
#include "aspi_backend.h"

namespace melvaro {

// A plug-in that lacks one of the two exports.
class EAssertionFailed : public std::logic_error {
 public:
  EAssertionFailed() : std::logic_error("Assertion failure") {}
};

class TAspiLibrary final : public TAspiBackend {
 public:
  // Loads the first library of the search order; Loaded() tells whether one was found.
  // Throws EAssertionFailed when the loaded library misses an export.
  explicit TAspiLibrary(const std::string& libraryPath);
  ~TAspiLibrary() override;
  TAspiLibrary(const TAspiLibrary&) = delete;
  TAspiLibrary& operator=(const TAspiLibrary&) = delete;

  bool Loaded() const { return handle_ != nullptr; }
  // Releases the library; true when the release succeeded or nothing was loaded.
  bool Unload();
  const std::string& LoadedPath() const { return path_; }

  uint32_t SupportInfo() override;
  uint8_t SendRequest(void* record) override;

 private:
  void* handle_ = nullptr;
  std::string path_;
  TGetASPI32SupportInfo supportInfo_ = nullptr;
  TSendASPI32Command sendCommand_ = nullptr;
};

}  // namespace melvaro
