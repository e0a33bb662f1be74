// The pass-through back end ("QXASPI32"): answers the ASPI entry points itself and
// executes commands with SG_IO on the optical device nodes.
//
// Contract: /dev/srN stands at drive-letter position N + 2. At initialisation every
// CD/DVD node is opened, asked INQUIRY (96 bytes, kept: the first 40) and its address;
// drives without an address sit on one extra adapter after the real ones. INQUIRY is
// answered from that cache; every other command goes to the drive with a fixed
// 120-second time-out and completes synchronously; when the kernel cannot carry a
// command out, the host status says why. A drive's handle is opened at its
// first command and kept, unless ReleaseHandleAfterCommand is on.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "aspi_backend.h"
#include "sg_kernel.h"

namespace melvaro {

class TSptiLayer final : public TAspiBackend {
 public:
  static constexpr int kTableSize = 27;
  static constexpr int kFirstPosition = 2;  // "C"
  static constexpr int kLastPosition = 26;  // names no drive letter, never matches
  static constexpr uint8_t kNoAddressMarker = 0xFA;
  static constexpr unsigned kTimeoutSeconds = 120;

  struct TEntry {
    uint8_t haId = 0;
    uint8_t target = 0;
    uint8_t lun = 0;
    uint8_t position = 0;
    bool present = false;
    int handle = -1;
    std::array<uint8_t, 40> inquiry{};
  };

  explicit TSptiLayer(TSgKernel& kernel) : kernel_(kernel) {}
  ~TSptiLayer() override { Shutdown(); }

  // Probes the drives when the layer is not ready; returns the number found (0 at once
  // when it is already ready).
  int Initialize();
  // Closes every handle, clears the table, marks the layer not ready.
  void Shutdown();
  bool Ready() const { return ready_; }
  uint8_t AdapterCount() const { return adapterCount_; }
  // The letter position ("A" = 0) of the first present entry at the address, or -1.
  int PositionOf(uint8_t haId, uint8_t target, uint8_t lun) const;
  void SetReleaseHandleAfterCommand(bool value) { releaseHandle_ = value; }
  const TEntry& Entry(int position) const { return table_[position]; }

  uint32_t SupportInfo() override;
  uint8_t SendRequest(void* record) override;

 private:
  int OpenNode(int position);
  uint8_t Execute(struct TSCSIRequest& request);
  void ComputeAdapterCount();

  TSgKernel& kernel_;
  bool ready_ = false;
  bool releaseHandle_ = false;
  uint8_t adapterCount_ = 0;
  uint8_t noAddressCount_ = 0;
  std::array<TEntry, kTableSize> table_{};
};

}  // namespace melvaro
