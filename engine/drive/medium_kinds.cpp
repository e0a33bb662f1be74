#include "medium_kinds.h"

namespace melvaro {

const std::array<std::string_view, 16> MediumKindNames = {
    "UNKNOWN", "CD-ROM", "CD-R",   "CD-RW", "DVD-ROM",  "DVD-R",    "DVD-RAM", "DVD-RW",
    "DVD-RW",  "DVD-RW", "DVD+RW", "DVD+R", "DVD+R DL", "DDCD-ROM", "DDCD-R",  "DDCD-RW",
};

uint8_t KindOfProfile(uint16_t profile) {
  switch (profile) {
    case 0x0008:
      return kKindCdRom;
    case 0x0009:
      return kKindCdR;
    case 0x000A:
      return kKindCdRw;
    case 0x0010:
      return kKindDvdRom;
    case 0x0011:
      return kKindDvdR;
    case 0x0012:
      return kKindDvdRam;
    case 0x0013:
      return kKindDvdRwRestricted;
    case 0x0014:
      return kKindDvdRwSequential;
    case 0x001A:
      return kKindDvdPlusRw;
    case 0x001B:
      return kKindDvdPlusR;
    case 0x002B:
      return kKindDvdPlusRDl;
    case 0x0020:
      return kKindDdcdRom;
    case 0x0021:
      return kKindDdcdR;
    case 0x0022:
      return kKindDdcdRw;
    default:
      return kKindUnknown;
  }
}

std::string_view MediumNameOfProfile(uint16_t profile, bool* erasable) {
  struct TName {
    uint16_t profile;
    std::string_view name;
    bool erasable;
  };
  static constexpr TName kNames[] = {
      {0x0001, "Non-removable disk", false},
      {0x0002, "Removable disk", false},
      {0x0003, "MO Eraseable", true},
      {0x0004, "MO Write Once", false},
      {0x0005, "AS-MO", false},
      {0x0008, "CD-ROM", false},
      {0x0009, "CD-R", false},
      {0x000A, "CD-RW", true},
      {0x0010, "DVD-ROM", false},
      {0x0011, "DVD-R", false},
      {0x0012, "DVD-RAM", false},
      {0x0013, "DVD-RW Restricted Overwrite", true},
      {0x0014, "DVD-RW Sequential Recording", true},
      {0x001A, "DVD+RW", true},
      {0x001B, "DVD+R", false},
      {0x0020, "DDCD-ROM", false},
      {0x0021, "DDCD-R", false},
      {0x0022, "DDCD-RW", true},
  };
  for (const TName& n : kNames)
    if (n.profile == profile) {
      if (erasable) *erasable = n.erasable;
      return n.name;
    }
  if (erasable) *erasable = false;
  return "???????";
}

TSharedDriveState& SharedDriveState() {
  static TSharedDriveState state;
  return state;
}

}  // namespace melvaro
