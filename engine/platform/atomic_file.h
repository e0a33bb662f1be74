// Whole-file reads and replacements. A replacement writes a temporary file beside the
// target and renames it over the target, so a reader sees the old file or the new one,
// never a half-written one, whatever happens to the writing process.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace melvaro {

// Replaces `path` with `content`. With `durable`, the data is flushed to the device
// before the rename. False with `error` set (naming the file and the system's reason)
// when any step fails; the old file is then untouched and no temporary file is left.
bool WriteFileAtomically(const std::string& path, std::string_view content, bool durable,
                         std::string* error);

// The whole file, or nullopt when it cannot be read (errno tells why).
std::optional<std::string> ReadWholeFile(const std::string& path);

}  // namespace melvaro
