// Names as the compilation needs them: UTF-8 (the platform's file names) to UTF-16
// (Joliet's UCS-2 fields, big-endian on the disc) and back.
#pragma once

#include <string>

namespace melvaro {

// Invalid UTF-8 bytes become U+FFFD; characters beyond the basic plane become
// surrogate pairs.
std::u16string Utf8ToUtf16(const std::string& text);
std::string Utf16ToUtf8(const std::u16string& text);
// ASCII letters upper-cased, every other byte unchanged.
std::string UpperAscii(std::string text);

}  // namespace melvaro
