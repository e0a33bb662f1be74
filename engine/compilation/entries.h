// The two record types of the compilation tree: a directory (TDEntry) and an entry of a
// directory's child list (TFEntry), a file or the item standing for a subdirectory.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/file_dates.h"

namespace melvaro {

struct TFEntry;

struct TDEntry {
  std::string ShortName;  // 8.3 alternate name ("CD_ROOT" for the root)
  std::string LongName;   // Joliet name ("CD Root Directory" for the root)
  uint8_t Reserved1[8] = {};
  int64_t IsoDirSize = 0;     // bytes of the ISO directory extent, a multiple of 2048
  int64_t JolietDirSize = 0;  // the same for Joliet
  std::string Path;           // "\" or "\A\B", upper-cased long names from the root
  uint32_t IsoDirBlock = 0;   // relative to the ISO directory area
  uint32_t JolietDirBlock = 0;
  uint8_t Level = 1;          // 1 for the root
  uint32_t Number = 0;        // path-table number, root = 1
  TDEntry* Parent = nullptr;  // the root is its own parent
  TFEntry* FirstEntry = nullptr;
  uint32_t Reserved2 = 0;

  // Kept by the compilation so that appending and looking up stay cheap with many
  // entries: the last child, and the children by upper-cased long name in list order.
  TFEntry* LastEntry = nullptr;
  std::unordered_map<std::string, std::vector<TFEntry*>> ByName;
  std::string ExactPath;  // Path with the long names as they are

  // Set by the layout: the identifiers of the directory in both trees, its number in
  // the Joliet path table (which is ordered by the Joliet identifiers), and the child
  // list in the order of each tree's directory records (by identifier).
  std::string IsoName;
  std::u16string JolietName;
  uint32_t JolietNumber = 0;
  std::vector<TFEntry*> IsoRecords;
  std::vector<TFEntry*> JolietRecords;
};

struct TFEntry {
  std::string ShortName;   // 8.3 alternate name, upper case; the ISO 9660 name is made of it
  std::string LongName;    // the name as given; Joliet names are made of it, lookups compare it
  std::string SourcePath;  // the disk file; empty for directory items and imported files
  bool Imported = false;   // lies in an earlier session; its locations are final
  TDateTime DateTime = 0;
  int64_t IsoLength = 0;
  int64_t JolietLength = 0;
  int64_t Reserved1 = 0;
  uint32_t IsoLocation = 0;  // relative to FirstFileBlock for new files
  uint32_t JolietLocation = 0;
  uint32_t Attributes = 0;  // 0x10 directory, 0x02 hidden, 0x20 archive
  bool ResetArchive = false;
  TDEntry* Directory = nullptr;  // for a directory item
  TFEntry* Next = nullptr;
  uint8_t Reserved2 = 0;
  uint32_t Reserved3 = 0;

  // The identifiers the layout writes, ";1" not included; unique in the directory.
  std::string IsoName;
  std::u16string JolietName;
  std::u16string JolietReported;  // the changed Joliet name last reported
  bool IsDirectory() const { return Attributes & 0x10; }
};

}  // namespace melvaro
