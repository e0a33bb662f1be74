// Path tables and directory extents (ECMA-119 9.1 and 9.4; Joliet: the same records
// with UCS-2 big-endian identifiers).
#include <cstring>

#include "compilation/compilation.h"
#include "compilation/iso_fields.h"

namespace melvaro {

namespace {

void PadToBlock(std::vector<uint8_t>& out) {
  out.resize((out.size() + 2047) / 2048 * 2048, 0);
}

std::vector<uint8_t> Ucs2(const std::u16string& s) {
  std::vector<uint8_t> out;
  for (char16_t c : s) {
    out.push_back(static_cast<uint8_t>(c >> 8));
    out.push_back(static_cast<uint8_t>(c));
  }
  return out;
}

void PathRecord(std::vector<uint8_t>& out, const std::vector<uint8_t>& id, uint32_t extent,
                uint16_t parent, bool bigEndian) {
  out.push_back(static_cast<uint8_t>(id.size()));
  out.push_back(0);
  uint8_t numbers[6];
  if (bigEndian) {
    PutBe32(numbers, extent);
    PutBe16(numbers + 4, parent);
  } else {
    PutLe32(numbers, extent);
    PutLe16(numbers + 4, parent);
  }
  out.insert(out.end(), numbers, numbers + 6);
  out.insert(out.end(), id.begin(), id.end());
  if (id.size() % 2) out.push_back(0);
}

}  // namespace

void TCompilation::WriteIsoPathTable(bool bigEndian) {
  std::vector<uint8_t> table;
  PathRecord(table, {0}, IsoDirArea, 1, bigEndian);
  for (size_t i = 1; i < isoOrder_.size(); ++i) {
    const TDEntry* d = isoOrder_[i];
    PathRecord(table, std::vector<uint8_t>(d->IsoName.begin(), d->IsoName.end()),
               IsoDirArea + d->IsoDirBlock, static_cast<uint16_t>(d->Parent->Number), bigEndian);
  }
  PadToBlock(table);
  header_.insert(header_.end(), table.begin(), table.end());
}

void TCompilation::WriteJolietPathTable(bool bigEndian) {
  std::vector<uint8_t> table;
  PathRecord(table, {0}, JolietDirArea, 1, bigEndian);
  for (size_t i = 1; i < jolietOrder_.size(); ++i) {
    const TDEntry* d = jolietOrder_[i];
    PathRecord(table, Ucs2(d->JolietName), JolietDirArea + d->JolietDirBlock,
               static_cast<uint16_t>(d->Parent->JolietNumber), bigEndian);
  }
  PadToBlock(table);
  header_.insert(header_.end(), table.begin(), table.end());
}

void TCompilation::WriteDirectory(const TDEntry* dir, bool joliet) {
  const uint32_t area = joliet ? JolietDirArea : IsoDirArea;
  auto block = [&](const TDEntry* d) {
    return area + (joliet ? d->JolietDirBlock : d->IsoDirBlock);
  };
  auto size = [&](const TDEntry* d) { return joliet ? d->JolietDirSize : d->IsoDirSize; };
  const TDateTime now = DateTimeNow();
  std::vector<uint8_t> extent;
  size_t blockStart = 0;
  auto add = [&](const std::vector<uint8_t>& id, uint32_t location, uint32_t length, TDateTime date,
                 uint8_t flags) {
    const size_t recordLength = 33 + id.size() + (id.size() % 2 == 0 ? 1 : 0);
    if (extent.size() - blockStart + recordLength > 2048) {
      extent.resize(blockStart + 2048, 0);  // the rest of the block stays zero
      blockStart = extent.size();
    }
    uint8_t r[33];
    r[0] = static_cast<uint8_t>(recordLength);
    r[1] = 0;
    PutBoth32(r + 2, location);
    PutBoth32(r + 10, length);
    PutRecordDate(r + 18, date, OffsetAt(date));
    r[25] = flags;
    r[26] = 0;
    r[27] = 0;
    PutBoth16(r + 28, 1);
    r[32] = static_cast<uint8_t>(id.size());
    extent.insert(extent.end(), r, r + 33);
    extent.insert(extent.end(), id.begin(), id.end());
    if (id.size() % 2 == 0) extent.push_back(0);
    if (extent.size() - blockStart == 2048) blockStart = extent.size();
  };
  add({0}, block(dir), static_cast<uint32_t>(size(dir)), now, 2);
  add({1}, block(dir->Parent), static_cast<uint32_t>(size(dir->Parent)), now, 2);
  for (const TFEntry* e : joliet ? dir->JolietRecords : dir->IsoRecords) {
    std::vector<uint8_t> id;
    if (joliet) {
      id = Ucs2(e->JolietName + (e->IsDirectory() ? u"" : u";1"));
    } else {
      const std::string name = e->IsoName + (e->IsDirectory() ? "" : ";1");
      id.assign(name.begin(), name.end());
    }
    uint8_t flags = e->IsDirectory() ? 2 : 0;
    if (e->Attributes & 0x02) flags |= 1;
    const int64_t length = joliet ? e->JolietLength : e->IsoLength;
    uint32_t location;
    if (e->IsDirectory())
      location = area + (joliet ? e->JolietLocation : e->IsoLocation);
    else if (length == 0)
      location = 0;
    else if (e->Imported)
      location = e->IsoLocation;
    else
      location = FirstFileBlock + (joliet ? e->JolietLocation : e->IsoLocation);
    add(id, location, static_cast<uint32_t>(length), e->DateTime, flags);
  }
  extent.resize(static_cast<size_t>(size(dir)), 0);
  header_.insert(header_.end(), extent.begin(), extent.end());
}

void TCompilation::WriteIsoDirectories() {
  for (const auto& d : dirs_) WriteDirectory(d.get(), false);
}

void TCompilation::WriteJolietDirectories() {
  for (const auto& d : dirs_) WriteDirectory(d.get(), true);
}

}  // namespace melvaro
