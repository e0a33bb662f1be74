#include "transport.h"

namespace melvaro {

TTransport::TTransport(std::unique_ptr<TSgKernel> kernel)
    : kernel_(std::move(kernel)), spti_(*kernel_) {}

TTransport::~TTransport() {
  library_.reset();
  name_.clear();
  if (spti_.Ready()) spti_.Shutdown();
}

bool TTransport::TakeSpti(int found) {
  if (found <= 0) return false;
  active_ = &spti_;
  initialized_ = true;
  name_ = kSptiTransportName;
  return true;
}

bool TTransport::Initialize(bool preferSpti, const std::string& libraryPath) {
  bool ready = initialized_;
  if (!ready && preferSpti) ready = TakeSpti(spti_.Initialize());
  if (!ready) {
    library_.reset();
    auto library = std::make_unique<TAspiLibrary>(libraryPath);  // may throw EAssertionFailed
    if (library->Loaded()) {
      library_ = std::move(library);
      active_ = library_.get();
      initialized_ = true;
      name_ = kLibraryTransportName;
      ready = true;
    }
  }
  if (!ready) ready = TakeSpti(spti_.Initialize());
  if (ready) SupportInfo();
  preferSpti_ = preferSpti;
  return initialized_;
}

bool TTransport::Unload() {
  if (!library_) return true;
  initialized_ = false;
  active_ = nullptr;
  const bool ok = library_->Unload();
  library_.reset();
  return ok;
}

void TTransport::Reset() {
  if (name_ != kSptiTransportName) {
    Unload();
  } else {
    initialized_ = false;
    active_ = nullptr;
    spti_.Shutdown();
  }
  custom_.reset();
  name_.clear();
  Initialize(preferSpti_, std::string());
}

void TTransport::UseBackend(std::unique_ptr<TAspiBackend> backend, const std::string& name) {
  library_.reset();
  custom_ = std::move(backend);
  active_ = custom_.get();
  initialized_ = active_ != nullptr;
  name_ = name;
}

uint32_t TTransport::SupportInfo() {
  return active_ ? active_->SupportInfo() : 0;
}

uint8_t TTransport::Send(void* record) {
  return active_ ? active_->SendRequest(record) : 0x04;
}

uint8_t TTransport::Send(void* record, TRequestContext& context) {
  return active_ ? active_->SendRequestWith(record, context) : 0x04;
}

TTransport& ProcessTransport() {
  static TTransport transport;
  return transport;
}

}  // namespace melvaro
