#include "aspi_library.h"

#include <dlfcn.h>

#include <vector>

#include "platform/program_folder.h"

namespace melvaro {

TAspiLibrary::TAspiLibrary(const std::string& libraryPath) {
  std::vector<std::string> candidates;
  if (!libraryPath.empty()) candidates.push_back(libraryPath);
  candidates.push_back(JoinPath(ProgramFolder(), "libwnaspi32.so"));
  candidates.push_back("libwnaspi32.so");
  for (const std::string& candidate : candidates) {
    handle_ = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_) {
      path_ = candidate;
      break;
    }
  }
  if (!handle_) return;
  supportInfo_ = reinterpret_cast<TGetASPI32SupportInfo>(dlsym(handle_, "GetASPI32SupportInfo"));
  sendCommand_ = reinterpret_cast<TSendASPI32Command>(dlsym(handle_, "SendASPI32Command"));
  if (!supportInfo_ || !sendCommand_) {
    Unload();
    throw EAssertionFailed();
  }
}

TAspiLibrary::~TAspiLibrary() {
  Unload();
}

bool TAspiLibrary::Unload() {
  if (!handle_) return true;
  const bool ok = dlclose(handle_) == 0;
  handle_ = nullptr;
  supportInfo_ = nullptr;
  sendCommand_ = nullptr;
  return ok;
}

uint32_t TAspiLibrary::SupportInfo() {
  return supportInfo_ ? supportInfo_() : 0;
}

uint8_t TAspiLibrary::SendRequest(void* record) {
  return sendCommand_ ? static_cast<uint8_t>(sendCommand_(record)) : kSsErr;
}

}  // namespace melvaro
