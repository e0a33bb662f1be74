// The program folder: where Option.ini, Tips.ini, temp/, Skins/ and vrec/ live, and
// where the drive plug-in is looked for.
#pragma once

#include <string>

namespace melvaro {

// MELVARO_HOME when set; otherwise the executable's folder when it is writable;
// otherwise ~/.local/share/melvaro. No trailing "/".
std::string ProgramFolder();

// The folder of the running executable (from /proc/self/exe), no trailing "/".
std::string ExecutableFolder();

// Joins two POSIX path pieces with exactly one "/".
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace melvaro
