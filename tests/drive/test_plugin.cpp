// Drive plug-ins that misbehave, to prove the library back end's error paths:
//   TEST_PLUGIN_NEVER_COMPLETES  one adapter with one drive whose commands never finish
//   TEST_PLUGIN_WITHOUT_SEND     exports GetASPI32SupportInfo only
#include <atomic>
#include <cstring>

#include "drive/aspi_abi.h"

using namespace melvaro;

extern "C" __attribute__((visibility("default"))) uint32_t GetASPI32SupportInfo() {
  return uint32_t{kSsComp} << 8 | 1;
}

#ifdef TEST_PLUGIN_NEVER_COMPLETES

namespace {
std::atomic<int> aborts{0};
}

// How many abort requests found their record.
extern "C" __attribute__((visibility("default"))) int TestPluginAborts() {
  return aborts.load();
}

extern "C" __attribute__((visibility("default"))) uint32_t SendASPI32Command(void* srb) {
  const uint8_t command = static_cast<uint8_t*>(srb)[0];
  if (command == kScHaInquiry) {
    auto* r = static_cast<THaInquiryRequest*>(srb);
    r->HaCount = 1;
    StoreRequestStatus(r, kSsComp);
    return kSsComp;
  }
  if (command == kScGetDevType) {
    auto* r = static_cast<TGetDevTypeRequest*>(srb);
    const bool known = r->Target == 0 && r->Lun == 0;
    r->DeviceType = known ? 0x05 : 0x1F;
    StoreRequestStatus(r, known ? kSsComp : kSsNoDevice);
    return known ? kSsComp : kSsNoDevice;
  }
  if (command == kScExecScsiCmd) {
    StoreRequestStatus(srb, kSsPending);  // and nothing ever follows
    return kSsPending;
  }
  if (command == kScAbortSrb) {
    auto* r = static_cast<TAbortRequest*>(srb);
    ++aborts;
    StoreRequestStatus(r->ToAbort, kSsAborted);
    StoreRequestStatus(r, kSsComp);
    return kSsComp;
  }
  StoreRequestStatus(srb, kSsInvalidCmd);
  return kSsInvalidCmd;
}

#endif
