// LayoutImage: the identifiers of both trees, the order of their directory records,
// directory numbering in path-table order, the areas of the image, the directory
// extent sizes and the file locations.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "compilation/compilation.h"
#include "compilation/names.h"
#include "drive/messages.h"
#include "drive/scsi_device.h"
#include "platform/byte_order.h"
#include "platform/text_encoding.h"

namespace melvaro {

namespace {

int64_t Blocks(int64_t bytes) {
  return (bytes + 2047) / 2048;
}

// A directory record of an identifier of n bytes, padded to an even length.
int RecordLength(size_t n) {
  return static_cast<int>(33 + n + (n % 2 == 0 ? 1 : 0));
}

}  // namespace

int64_t TCompilation::ImageBlocks() const {
  if (WritePostGap && ImageBlockCount < 300) return 300;
  return ImageBlockCount;
}

// Path-table order (ECMA-119 6.9.1): by level, then by the parent's number, then by
// identifier. Levels are numbered one after the other, so every parent has its number
// before its children are sorted; the order holds for any number of directories. The
// Joliet path table is ordered the same way by the Joliet identifiers, with numbers of
// its own.
void TCompilation::NumberDirectories() {
  TDEntry* root = RootDir();
  root->Number = 1;
  root->JolietNumber = 1;
  std::map<int, std::vector<TDEntry*>> byLevel;
  for (size_t i = 1; i < dirs_.size(); ++i) byLevel[dirs_[i]->Level].push_back(dirs_[i].get());
  isoOrder_.assign(1, root);
  jolietOrder_.assign(1, root);
  for (auto& [level, list] : byLevel) {
    std::stable_sort(list.begin(), list.end(), [](const TDEntry* a, const TDEntry* b) {
      if (a->Parent->Number != b->Parent->Number) return a->Parent->Number < b->Parent->Number;
      return CompareIsoIdentifiers(a->IsoName, true, b->IsoName, true) < 0;
    });
    for (TDEntry* d : list) {
      isoOrder_.push_back(d);
      d->Number = static_cast<uint32_t>(isoOrder_.size());
    }
    std::stable_sort(list.begin(), list.end(), [](const TDEntry* a, const TDEntry* b) {
      if (a->Parent->JolietNumber != b->Parent->JolietNumber)
        return a->Parent->JolietNumber < b->Parent->JolietNumber;
      return CompareJolietIdentifiers(a->JolietName, true, b->JolietName, true) < 0;
    });
    for (TDEntry* d : list) {
      jolietOrder_.push_back(d);
      d->JolietNumber = static_cast<uint32_t>(jolietOrder_.size());
    }
  }
}

// Each child list gets ISO 9660 identifiers that are 8.3 names of d-characters and
// unique in the directory. An entry keeps its alternate name when that is such a name
// and no earlier entry holds it; the others get the next free "~N" of their long name.
// Files and folders share the names: "RUN." and "RUN" would read back as one name.
void TCompilation::AssignIsoNames() {
  auto key = [](std::string id) {
    if (!id.empty() && id.back() == '.') id.pop_back();
    return id;
  };
  for (const auto& dir : dirs_) {
    std::unordered_set<std::string> used;
    std::vector<TFEntry*> later;
    for (TFEntry* e = dir->FirstEntry; e; e = e->Next) {
      const bool folder = e->IsDirectory();
      if (IsValid83(e->ShortName, folder)) {
        std::string id = IsoIdentifier(e->ShortName, folder);
        if (used.insert(key(id)).second) {
          e->IsoName = std::move(id);
          continue;
        }
      }
      later.push_back(e);
    }
    std::unordered_map<std::string, int> lastTail;  // where the search for a free "~N" resumes
    for (TFEntry* e : later) {
      const bool folder = e->IsDirectory();
      const T83Parts parts = Split83(e->LongName, folder);
      int& n = lastTail[parts.base.substr(0, 6) + "." + parts.ext.substr(0, 3)];
      std::string id;
      do id = IsoIdentifier(Compose83(parts, ++n), folder);
      while (!used.insert(key(id)).second);
      e->IsoName = std::move(id);
    }
    for (TFEntry* e = dir->FirstEntry; e; e = e->Next)
      if (e->Directory) e->Directory->IsoName = e->IsoName;
  }
}

// Each child list gets Joliet identifiers without forbidden characters, that fit a
// directory record and are unique in the directory (exactly: "README" and "readme" are
// two names). Names taken as they are come first; a changed name that meets another
// gets "~N" before its extension. Every name that changed is reported once.
void TCompilation::AssignJolietNames() {
  for (const auto& dir : dirs_) {
    std::unordered_set<std::u16string> used;
    std::vector<TFEntry*> later;
    for (TFEntry* e = dir->FirstEntry; e; e = e->Next) {
      TJolietChange change;
      std::u16string name =
          JolietIdentifier(Utf8ToUtf16(e->LongName), e->IsDirectory(), 0, &change);
      if (change == TJolietChange::None && used.insert(name).second) {
        e->JolietName = std::move(name);
        e->JolietReported.clear();
        continue;
      }
      later.push_back(e);
    }
    std::unordered_map<std::u16string, int> lastTail;
    for (TFEntry* e : later) {
      const std::u16string full = Utf8ToUtf16(e->LongName);
      TJolietChange change;
      std::u16string name = JolietIdentifier(full, e->IsDirectory(), 0, &change);
      int& n = lastTail[name];
      while (!used.insert(name).second) name = JolietIdentifier(full, e->IsDirectory(), ++n);
      e->JolietName = name;
      if (name != full && e->JolietReported != name) {
        e->JolietReported = name;
        const std::string path =
            (dir->Parent == dir.get() ? "" : BuildPath(dir.get())) + "\\" + e->LongName;
        Message(std::string(">>> JOLIET NAME ") +
                    (change == TJolietChange::Shortened ? "SHORTENED: " : "CHANGED: ") + path +
                    " -> " + Utf16ToUtf8(name),
                3);
      }
    }
    for (TFEntry* e = dir->FirstEntry; e; e = e->Next)
      if (e->Directory) e->Directory->JolietName = e->JolietName;
  }
}

// The directory records of both trees in identifier order (ECMA-119 9.3), after "."
// and "..". The child lists keep the order the entries were added in.
void TCompilation::SortRecords() {
  for (const auto& dir : dirs_) {
    dir->IsoRecords.clear();
    for (TFEntry* e = dir->FirstEntry; e; e = e->Next) dir->IsoRecords.push_back(e);
    dir->JolietRecords = dir->IsoRecords;
    std::sort(
        dir->IsoRecords.begin(), dir->IsoRecords.end(), [](const TFEntry* a, const TFEntry* b) {
          return CompareIsoIdentifiers(a->IsoName, a->IsDirectory(), b->IsoName, b->IsDirectory()) <
                 0;
        });
    std::sort(dir->JolietRecords.begin(), dir->JolietRecords.end(),
              [](const TFEntry* a, const TFEntry* b) {
                return CompareJolietIdentifiers(a->JolietName, a->IsDirectory(), b->JolietName,
                                                b->IsDirectory()) < 0;
              });
  }
}

int64_t TCompilation::ExtentSize(const TDEntry* dir, bool joliet) const {
  int64_t used = 68;
  int64_t free = 2048 - 68;
  for (const TFEntry* e : joliet ? dir->JolietRecords : dir->IsoRecords) {
    const size_t n = joliet ? 2 * (e->JolietName.size() + (e->IsDirectory() ? 0 : 2))
                            : e->IsoName.size() + (e->IsDirectory() ? 0 : 2);
    const int length = RecordLength(n);
    if (length > free) {
      used += free;
      free = 2048 - length;
    } else {
      free -= length;
    }
    used += length;
  }
  return (used + free + 2047) / 2048 * 2048;
}

int TCompilation::LayoutImage(bool toFile, TDEntry* root) {
  struct stat st;
  if (BootImagePath.empty() || stat(BootImagePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    BootImageEnabled = false;
  if (Drive) Drive->DoDebug = false;
  StartBlock = 0;
  if (!toFile && Drive) {
    CurrentMediumKind = Drive->MediumKind();
    SharedDriveState().CurrentMediumKind = CurrentMediumKind;
    if (BurnPreparing && !NextWritableAddress())
      Message(">>> " + std::string(msg::kErrorGettingNextWritableAddress), 0);
    if (StartBlock > 0xFF000000u) StartBlock = 0;
    if (ImportSessionNumber != 0) ImportSession(static_cast<uint8_t>(ImportSessionNumber), root);
  }

  AssignIsoNames();
  AssignJolietNames();
  SortRecords();
  NumberDirectories();

  int64_t b = int64_t{StartBlock} + 16;
  ++b;  // primary volume descriptor
  if (BootImageEnabled) ++b;
  if (JolietFileSystem) ++b;
  ++b;  // terminator
  uint32_t isoTable = 10, jolietTable = 10;
  for (size_t i = 1; i < isoOrder_.size(); ++i) {
    const size_t n = isoOrder_[i]->IsoName.size();
    isoTable += static_cast<uint32_t>(8 + n + (n % 2));
    jolietTable += static_cast<uint32_t>(8 + 2 * isoOrder_[i]->JolietName.size());
  }
  IsoPathTableSize = isoTable;
  PathTableL = static_cast<uint32_t>(b);
  b += Blocks(isoTable);
  PathTableM = static_cast<uint32_t>(b);
  b += Blocks(isoTable);
  JolietPathTableL = static_cast<uint32_t>(b);
  JolietPathTableSize = 0;
  if (JolietFileSystem) {
    JolietPathTableSize = jolietTable;
    b += Blocks(jolietTable);
    JolietPathTableM = static_cast<uint32_t>(b);
    b += Blocks(jolietTable);
  }
  IsoDirArea = static_cast<uint32_t>(b);
  int64_t offset = 0;
  for (const auto& d : dirs_) {
    d->IsoDirBlock = static_cast<uint32_t>(offset / 2048);
    d->IsoDirSize = ExtentSize(d.get(), false);
    offset += d->IsoDirSize;
  }
  IsoDirBytes = offset;
  b += Blocks(offset);
  JolietDirBytes = 0;
  if (JolietFileSystem) {
    JolietDirArea = static_cast<uint32_t>(b);
    offset = 0;
    for (const auto& d : dirs_) {
      d->JolietDirBlock = static_cast<uint32_t>(offset / 2048);
      d->JolietDirSize = ExtentSize(d.get(), true);
      offset += d->JolietDirSize;
    }
    JolietDirBytes = offset;
    b += Blocks(offset);
  }
  BootImageBlocks = 0;
  if (BootImageEnabled) {
    BootCatalogBlock = static_cast<uint32_t>(b);
    ++b;
    BootImageBlock = static_cast<uint32_t>(b);
    BootImageBlocks = static_cast<uint32_t>(Blocks(st.st_size));
    b += BootImageBlocks;
  }
  PadBlocks = 150 - b;
  FirstFileBlock = static_cast<uint32_t>(b < 150 ? 150 : b);

  int64_t t = 0;
  for (const auto& f : files_) {
    if (f->Imported) continue;
    if (f->IsDirectory() && f->Directory) {
      f->IsoLocation = f->Directory->IsoDirBlock;
      f->JolietLocation = f->Directory->JolietDirBlock;
      f->IsoLength = f->Directory->IsoDirSize;
      f->JolietLength = f->Directory->JolietDirSize;
    } else if (f->IsoLength == 0) {
      f->IsoLocation = f->JolietLocation = 0;
      f->JolietLength = 0;
    } else {
      f->JolietLength = f->IsoLength;
      f->IsoLocation = f->JolietLocation = static_cast<uint32_t>(t);
      t += Blocks(f->IsoLength);
    }
  }
  TotalFileBlocks = t;
  VolumeEnd = FirstFileBlock + t;
  ImageBlockCount = VolumeEnd - StartBlock;
  return 1;
}

bool TCompilation::NextWritableAddress() {
  StartBlock = 0;
  NextWritableValid = false;
  if (!Drive) return false;
  TSCSIDevice& d = *Drive;
  d.WaitForReady(10000, 500);
  const uint8_t kind = d.MediumKind();
  const bool finalize = d.FinalizeDisc;
  d.FinalizeDisc = true;
  d.SetWriteParameters(d.TestWrite, d.UnderrunProtection, true, kind);
  d.FinalizeDisc = finalize;
  d.WaitForReady(10000, 500);
  auto nwa = [&] {
    uint32_t v;
    std::memcpy(&v, &d.TrackInfo()[12], 4);
    return v;
  };
  if (kind == kKindDvdRam || kind == kKindDvdPlusRw) {
    for (uint32_t block = 32; block >= 16; --block) {
      uint8_t buffer[2048] = {};
      if (!d.ReadSectors(block, 1, 2048, buffer)) continue;
      if (std::memcmp(buffer + 1, "CD001", 5) == 0 && (buffer[0] == 1 || buffer[0] == 2)) {
        StartBlock = GetLe32(buffer + 80);
        break;
      }
    }
    NextWritableValid = true;
    return true;
  }
  if (kind == kKindDvdRwRestricted || kind == kKindDvdRwSequential) {
    d.RefreshDiscInformation();
    const bool ok = d.ReadTrackInformation(1);
    if (ok && nwa() != 0) StartBlock = nwa();
    NextWritableValid = ok && (d.TrackInfo()[7] & 0x01);
    return ok;
  }
  d.RefreshDiscInformation();
  const int sessions = d.SessionCount();
  const bool ok =
      d.ReadTrackInformation(sessions >= 255 ? 0xFF : static_cast<uint8_t>(sessions + 1));
  StartBlock = ok ? nwa() : 0;
  // NWA_V: without it the address field means nothing.
  NextWritableValid = ok && (d.TrackInfo()[7] & 0x01);
  return ok;
}

}  // namespace melvaro
