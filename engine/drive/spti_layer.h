// The pass-through back end ("QXASPI32"): answers the ASPI entry points itself and
// executes commands with SG_IO on the optical device nodes.
//
// Contract: /dev/srN stands at drive-letter position N + 2. At initialisation every
// CD/DVD node is opened, asked INQUIRY (96 bytes, kept: the first 40) and its address;
// drives without an address sit on one extra adapter after the real ones. INQUIRY is
// answered from that cache; every other command goes to the drive with its own
// time-out, 120 seconds at the least, and completes synchronously; when the kernel
// cannot carry a command out, the host status says so and the request's context the
// system's reason. A drive's handle is opened at its first command and kept, unless
// ReleaseHandleAfterCommand is on. A node that opens only for reading is kept as a drive
// that cannot write; a CD/DVD node that does not open at all is kept in Unreachable()
// with the system's reason, so that the user can be told why the drive is missing.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "aspi_backend.h"
#include "sg_kernel.h"

namespace melvaro {

class TSptiLayer final : public TAspiBackend {
 public:
  static constexpr int kTableSize = 27;
  static constexpr int kFirstPosition = 2;  // "C"
  static constexpr int kLastPosition = 26;  // names no drive letter, never matches
  static constexpr uint8_t kNoAddressMarker = 0xFA;
  static constexpr unsigned kTimeoutSeconds = 120;  // the least time-out a command gets

  struct TEntry {
    uint8_t haId = 0;
    uint8_t target = 0;
    uint8_t lun = 0;
    uint8_t position = 0;
    bool present = false;
    int handle = -1;
    int writeError = 0;  // errno of the read-write open when the node opened read-only
    std::array<uint8_t, 40> inquiry{};
  };

  // A CD/DVD node that could not be opened or asked INQUIRY at initialisation.
  struct TUnreachable {
    int node = 0;         // N of /dev/srN
    int error = 0;        // errno
    bool opened = false;  // it opened, but INQUIRY failed
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
  const std::vector<TUnreachable>& Unreachable() const { return unreachable_; }

  uint32_t SupportInfo() override;
  uint8_t SendRequest(void* record) override;
  uint8_t SendRequestWith(void* record, TRequestContext& context) override;

 private:
  // A descriptor (read-write when the node allows it, else read-only; writeError tells
  // why not read-write) or -errno.
  int OpenNode(int position, int& writeError);
  uint8_t Execute(struct TSCSIRequest& request, TRequestContext& context);
  void ComputeAdapterCount();

  TSgKernel& kernel_;
  bool ready_ = false;
  bool releaseHandle_ = false;
  uint8_t adapterCount_ = 0;
  uint8_t noAddressCount_ = 0;
  std::array<TEntry, kTableSize> table_{};
  std::vector<TUnreachable> unreachable_;
};

}  // namespace melvaro
