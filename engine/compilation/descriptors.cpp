// The volume descriptor set (ECMA-119 8.4, 8.5, 8.3; Joliet), the El Torito boot record
// and boot catalog.
#include <cstring>

#include "compilation/compilation.h"
#include "compilation/iso_fields.h"

namespace melvaro {

namespace {

using TBlock = std::array<uint8_t, 2048>;

void Head(TBlock& b, uint8_t type) {
  b.fill(0);
  b[0] = type;
  std::memcpy(&b[1], "CD001", 5);
  b[6] = 1;
}

void RootRecord(uint8_t* r, uint32_t extent, int64_t size) {
  r[0] = 34;
  PutBoth32(r + 2, extent);
  PutBoth32(r + 10, static_cast<uint32_t>(size));
  r[25] = 2;
  PutBoth16(r + 28, 1);
  r[32] = 1;
  r[33] = 0;
}

}  // namespace

void TCompilation::WritePrimaryDescriptor() {
  TBlock b;
  Head(b, 1);
  PutAField(&b[8], IdSystem, 32);
  PutAField(&b[40], IdVolume, 32);
  PutBoth32(&b[80], static_cast<uint32_t>(VolumeEnd));
  // Bytes 88-119 of the primary descriptor are unused (ECMA-119 8.4.10) and stay zero:
  // readers that look for the Joliet escape sequence in any descriptor would take a
  // primary descriptor carrying it for the Joliet one and decode ISO names as UCS-2.
  PutBoth16(&b[120], 1);
  PutBoth16(&b[124], 1);
  PutBoth16(&b[128], 2048);
  PutBoth32(&b[132], IsoPathTableSize);
  PutLe32(&b[140], PathTableL);
  PutBe32(&b[148], PathTableM);
  RootRecord(&b[156], IsoDirArea, RootDir()->IsoDirSize);
  PutAField(&b[190], IdVolumeSet, 128);
  PutAField(&b[318], IdPublisher, 128);
  PutAField(&b[446], IdPreparer, 128);
  PutAField(&b[574], IdApplication, 128);
  PutAField(&b[702], FileCopyright, 37);
  PutAField(&b[739], FileAbstract, 37);
  PutAField(&b[776], FileBibliographic, 37);
  const TDateTime now = DateTimeNow();
  PutVolumeDate(&b[813], now, OffsetAt(now));
  PutVolumeDate(&b[830], now, OffsetAt(now));
  PutNoVolumeDate(&b[847]);
  PutNoVolumeDate(&b[864]);
  b[881] = 1;
  std::memset(&b[1024], ' ', 8);
  header_.insert(header_.end(), b.begin(), b.end());
}

void TCompilation::WriteJolietDescriptor() {
  TBlock b;
  Head(b, 2);
  PutUcs2Field(&b[8], IdSystem, 32);
  PutUcs2Field(&b[40], IdVolume, 32);
  PutBoth32(&b[80], static_cast<uint32_t>(VolumeEnd));
  std::memcpy(&b[88], "%/@", 3);
  PutBoth16(&b[120], 1);
  PutBoth16(&b[124], 1);
  PutBoth16(&b[128], 2048);
  PutBoth32(&b[132], JolietPathTableSize);
  PutLe32(&b[140], JolietPathTableL);
  PutBe32(&b[148], JolietPathTableM);
  RootRecord(&b[156], JolietDirArea, RootDir()->JolietDirSize);
  PutUcs2Field(&b[190], IdVolumeSet, 128);
  PutUcs2Field(&b[318], IdPublisher, 128);
  PutUcs2Field(&b[446], IdPreparer, 128);
  PutUcs2Field(&b[574], IdApplication, 128);
  PutUcs2Field(&b[702], FileCopyright, 36);
  PutUcs2Field(&b[739], FileAbstract, 36);
  PutUcs2Field(&b[776], FileBibliographic, 36);
  PutVolumeDate(&b[813], DateCreation, OffsetAt(DateCreation));
  PutVolumeDate(&b[830], DateModification, OffsetAt(DateModification));
  PutNoVolumeDate(&b[847]);
  PutNoVolumeDate(&b[864]);
  b[881] = 1;
  std::memset(&b[1024], ' ', 8);
  header_.insert(header_.end(), b.begin(), b.end());
}

void TCompilation::WriteBootRecord() {
  TBlock b;
  Head(b, 0);
  static const char kSystem[] = "EL TORITO SPECIFICATION";
  std::memcpy(&b[7], kSystem, sizeof kSystem - 1);
  PutLe32(&b[71], BootCatalogBlock);
  header_.insert(header_.end(), b.begin(), b.end());
}

void TCompilation::WriteTerminator() {
  TBlock b;
  Head(b, 255);
  header_.insert(header_.end(), b.begin(), b.end());
}

// El Torito validation entry and initial/default entry.
void TCompilation::WriteBootCatalog() {
  TBlock b{};
  b[0] = 1;
  b[1] = 0;
  static const char kId[] = "Kelvo CD/DVD Burner";
  std::memcpy(&b[4], kId, sizeof kId - 1);
  b[30] = 0x55;
  b[31] = 0xAA;
  uint16_t sum = 0;
  for (int i = 0; i < 32; i += 2) sum = static_cast<uint16_t>(sum + GetLe16(&b[i]));
  PutLe16(&b[28], static_cast<uint16_t>(0x10000 - sum));
  b[32] = 0x88;
  b[33] = BootImageBlocks == 600 ? 1 : BootImageBlocks == 720 ? 2 : BootImageBlocks == 1440 ? 3 : 4;
  PutLe16(&b[38], 1);
  PutLe32(&b[40], BootImageBlock);
  header_.insert(header_.end(), b.begin(), b.end());
}

}  // namespace melvaro
