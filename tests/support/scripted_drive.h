// A drive answered by a script through the scripted back end: INQUIRY identity, mode
// pages 05h and 2Ah (with or without a block descriptor), features, and hooks for
// everything else. Every request stays recorded in the back end.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>

#include "drive/scsi_device.h"
#include "platform/byte_order.h"
#include "support/fakes.h"

namespace melvaro::test {

struct TScriptedDriveSpec {
  std::string vendor = "SCRIPTED";
  std::string product = "RECORDER        ";
  uint8_t deviceType = 0x05;
  bool blockDescriptor = false;
  uint8_t page2A[3] = {0x3F, 0x37, 0xC1};  // bytes 2-4
  uint16_t maxWriteSpeed = 7056, currentWriteSpeed = 7056, maxReadSpeed = 7056;
  std::map<uint8_t, uint8_t> features;  // feature code (low byte) -> descriptor byte 4
  uint16_t profile = 0x0009;
};

class TScriptedDriveTest : public ::testing::Test {
 protected:
  void Start(TScriptedDriveSpec s = {}) {
    spec = s;
    auto b = std::make_unique<TScriptedBackend>();
    backend = b.get();
    backend->handler = [this](TSCSIRequest& r) { Answer(r); };
    transport.UseBackend(std::move(b), "WNASPI32.DLL");
    device = std::make_unique<TSCSIDevice>(transport, clock);
    device->SetCurrentAddress(0, 0, 0);
  }
  void Select() { device->SelectDevice("0:0:0,C: " + spec.vendor + spec.product + "1.00"); }

  // The data of every MODE SELECT sent so far.
  std::vector<std::vector<uint8_t>> ModeSelects() const {
    std::vector<std::vector<uint8_t>> out;
    for (const auto& seen : backend->Seen())
      if (seen.cdb[0] == 0x55) out.push_back(seen.outData);
    return out;
  }
  std::vector<uint8_t> OpCodes() const {
    std::vector<uint8_t> out;
    for (const auto& seen : backend->Seen()) out.push_back(seen.cdb[0]);
    return out;
  }

  void Answer(TSCSIRequest& r) {
    if (hook && hook(r)) return;
    uint8_t* out = r.BufPointer;
    switch (r.CDB[0]) {
      case 0x12: {
        const auto a = InquiryAnswer(spec.vendor, spec.product, "1.00", spec.deviceType);
        std::memcpy(out, a.data(), std::min<size_t>(a.size(), r.BufLen));
        break;
      }
      case 0x5A: {
        const uint8_t page = r.CDB[2] & 0x3F;
        const size_t at = spec.blockDescriptor ? 16 : 8;
        std::vector<uint8_t> a(at + 60, 0);
        if (spec.blockDescriptor) a[7] = 8;
        if (page == 0x05) {
          a[at] = 0x05;
          a[at + 1] = 0x32;
          for (size_t i = 2; i < 52; ++i) a[at + i] = static_cast<uint8_t>(0xA0 + i);
        } else if (page == 0x2A) {
          a[at] = 0x2A;
          a[at + 1] = 0x1C;
          std::memcpy(&a[at + 2], spec.page2A, 3);
          PutBe16(&a[at + 8], spec.maxReadSpeed);
          PutBe16(&a[at + 12], 2048);
          PutBe16(&a[at + 14], spec.maxReadSpeed);
          PutBe16(&a[at + 18], spec.maxWriteSpeed);
          PutBe16(&a[at + 20], spec.currentWriteSpeed);
        } else {
          CheckCondition(r, 5, 0x24, 0);
          return;
        }
        std::memcpy(out, a.data(), std::min<size_t>(a.size(), r.BufLen));
        break;
      }
      case 0x46: {
        std::vector<uint8_t> a(16, 0);
        PutBe16(&a[6], spec.profile);
        const uint8_t feature = r.CDB[3];
        if (feature != 0) {
          auto it = spec.features.find(feature);
          if (it == spec.features.end()) break;  // header only
          PutBe16(&a[8], feature);
          a[11] = 4;
          a[12] = it->second;
        }
        std::memcpy(out, a.data(), std::min<size_t>(a.size(), r.BufLen));
        break;
      }
      default:
        break;
    }
  }

  TScriptedDriveSpec spec;
  TFakeClock clock;
  TTransport transport{std::make_unique<TFakeKernel>()};
  TScriptedBackend* backend = nullptr;
  std::unique_ptr<TSCSIDevice> device;
  // Answers a request itself when it returns true.
  std::function<bool(TSCSIRequest&)> hook;
};

}  // namespace melvaro::test
