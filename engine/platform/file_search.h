// The directory search the compilation reads disk files with (find first / find next):
// names, sizes, attributes and packed dates of the entries matching a path.
//
// Linux keeps no 8.3 names, so AlternateName is always empty; attribute 0x10 marks a
// directory, and neither the hidden (0x02) nor the archive (0x20) attribute is reported.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace melvaro {

inline constexpr uint32_t faDirectory = 0x10;
inline constexpr uint32_t faHidden = 0x02;
inline constexpr uint32_t faArchive = 0x20;

struct TSearchRec {
  int32_t Time = 0;  // packed DOS date and time, local time (file_dates.h)
  int64_t Size = 0;
  uint32_t Attr = 0;
  std::string Name;           // the entry's name, no folder
  std::string AlternateName;  // the 8.3 name; always empty on Linux
};

// The entries matching `path`: a file or folder path matches itself; a last component
// with the wildcards * and ? matches the folder's entries by that pattern ("*.*" matches
// every entry). "." and ".." are reported for a wildcard search of a folder, as the
// platform search does. Entries come sorted by name. Empty when nothing matches.
std::vector<TSearchRec> FindFiles(const std::string& path);

// Replaces a file's attributes; on Linux only the read-only bit (01h) maps onto the
// permissions, so clearing the archive bit changes nothing. False when the file is gone.
bool SetFileAttributes(const std::string& path, uint32_t attributes);

}  // namespace melvaro
