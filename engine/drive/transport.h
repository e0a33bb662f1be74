// The process's SCSI transport: one for all drive objects. It chooses a back end (the
// SG_IO pass-through layer or a drive plug-in), starts and stops it, and passes
// request records to it.
#pragma once

#include <memory>
#include <string>

#include "aspi_backend.h"
#include "aspi_library.h"
#include "sg_kernel.h"
#include "spti_layer.h"

namespace melvaro {

inline constexpr const char* kLibraryTransportName = "WNASPI32.DLL";
inline constexpr const char* kSptiTransportName = "QXASPI32";

class TTransport {
 public:
  explicit TTransport(std::unique_ptr<TSgKernel> kernel = MakeLinuxSgKernel());
  ~TTransport();
  TTransport(const TTransport&) = delete;
  TTransport& operator=(const TTransport&) = delete;

  // TransportInitialize: with preferSpti the pass-through layer first, then the plug-in;
  // without, the plug-in first. Returns ASPIInitialized. Throws EAssertionFailed when the
  // plug-in lacks an export (the transport then counts as not initialised).
  bool Initialize(bool preferSpti, const std::string& libraryPath);
  // ResetASPI: shuts the active back end down and initialises again with the remembered
  // preference and no library path.
  void Reset();
  // UnloadASPI: releases a loaded plug-in; true when released or nothing was loaded.
  bool Unload();
  // Pass-through only: close a drive's handle after each command while on.
  void SetReleaseHandleAfterCommand(bool value) { spti_.SetReleaseHandleAfterCommand(value); }

  // Uses a back end supplied by the caller (the scripted fake of the tests) under the
  // given name, in place of whatever was active.
  void UseBackend(std::unique_ptr<TAspiBackend> backend, const std::string& name);

  bool ASPIInitialized() const { return initialized_; }
  const std::string& TransportName() const { return name_; }
  bool IsSpti() const { return initialized_ && name_ == kSptiTransportName; }
  const TSptiLayer& Spti() const { return spti_; }
  TSgKernel& Kernel() { return *kernel_; }

  uint32_t SupportInfo();
  // Passes one record to the active back end; kSsErr when none is active.
  uint8_t Send(void* record);
  uint8_t Send(void* record, TRequestContext& context);

 private:
  bool TakeSpti(int found);

  std::unique_ptr<TSgKernel> kernel_;
  TSptiLayer spti_;
  std::unique_ptr<TAspiLibrary> library_;
  std::unique_ptr<TAspiBackend> custom_;
  TAspiBackend* active_ = nullptr;
  bool initialized_ = false;
  bool preferSpti_ = true;
  std::string name_;
};

// The transport of this process, created on first use.
TTransport& ProcessTransport();

}  // namespace melvaro
