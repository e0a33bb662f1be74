// Names on the disc: the 8.3 alternate names of the primary tree, built as the
// Windows file systems build them but from d-characters only (ECMA-119 7.4.1, 7.5,
// 7.6), the Joliet identifiers (UCS-2, without the characters Joliet forbids, short
// enough for a directory record), and the ordering of directory records (ECMA-119 9.3).
#pragma once

#include <cstddef>
#include <string>

namespace melvaro {

// A long name taken apart for its 8.3 alternate name: the name and extension in
// d-characters, not yet cut to 8 and 3, and whether anything was lost on the way
// (a character dropped or replaced that a Windows short name cannot hold, or a part
// too long), in which case the alternate name carries a "~N" tail.
struct T83Parts {
  std::string base, ext;
  bool lossy = false;
};
// Folders have no extension: their dots are dropped.
T83Parts Split83(const std::string& longName, bool directory);
// The alternate name with tail number n (0: none): "README.TXT", "MYFILE~1.TXT",
// "RUN" (a file without extension; the identifier adds its "." separator).
std::string Compose83(const T83Parts& parts, int n);
// The alternate name a new entry gets: without tail when nothing was lost, else "~1".
std::string ShortName83(const std::string& longName, bool directory);
// An 8.3 name of d-characters (and "~"), with at most one "." for files.
bool IsValid83(const std::string& name, bool directory);
// The ISO 9660 identifier without version: a file always carries the "." separator.
std::string IsoIdentifier(const std::string& shortName, bool directory);

// Joliet identifiers are kept to this many UTF-16 units (without ";1"), so that every
// record fits its one-byte length and the readers in use take them in full.
inline constexpr size_t kJolietNameUnits = 103;
// An extension longer than this (with its dot) is not kept apart when a name is cut.
inline constexpr size_t kJolietKeptExtension = 16;

enum class TJolietChange { None, Replaced, Shortened };
// The Joliet identifier of a long name: characters Joliet forbids ("*", "/", ":",
// ";", "?", "\", control characters) become "_", and a name longer than the limit
// is cut in its stem, keeping its extension. With n > 0, "~n" goes before the
// extension. Surrogate pairs are never split.
std::u16string JolietIdentifier(const std::u16string& longName, bool directory, int n,
                                TJolietChange* change = nullptr);

// ECMA-119 9.3: by name, then by extension, each compared as if the shorter were
// padded with blanks; directories compare by their whole identifier. Negative,
// zero or positive. Joliet identifiers compare the same way by UTF-16 code units.
int CompareIsoIdentifiers(const std::string& a, bool aDirectory, const std::string& b,
                          bool bDirectory);
int CompareJolietIdentifiers(const std::u16string& a, bool aDirectory, const std::u16string& b,
                             bool bDirectory);

}  // namespace melvaro
