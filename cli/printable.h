// Names as melvaro-cli prints them: a file name may hold control characters, which
// would move the cursor or end the line; they are shown as "\xNN".
#pragma once

#include <cstdio>
#include <string>

namespace melvaro::cli {

inline std::string Printable(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", u);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace melvaro::cli
