#include "compilation/names.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace melvaro {

namespace {

// Characters a Windows short name holds besides letters, digits and "_"; they are
// not d-characters, so they become "_", but the name is still taken as it is.
constexpr const char* kShortNameExtras = "$%'-@~`!(){}^#&";

bool IsDCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// One part of a long name in d-characters; `lossy` is set when a character is dropped
// (blanks, dots) or stands for one no short name can hold.
std::string MapPart(const std::string& part, bool& lossy) {
  std::string out;
  for (size_t i = 0; i < part.size();) {
    const unsigned char c = static_cast<unsigned char>(part[i]);
    if (c >= 0x80) {
      // One UTF-8 sequence (or one stray byte) is one character.
      size_t n = 1;
      while (n < 4 && i + n < part.size() &&
             (static_cast<unsigned char>(part[i + n]) & 0xC0) == 0x80)
        ++n;
      out += '_';
      lossy = true;
      i += n;
      continue;
    }
    if (c == ' ' || c == '.') {
      lossy = true;
    } else if (c >= 'a' && c <= 'z') {
      out += static_cast<char>(c - 'a' + 'A');
    } else if (IsDCharacter(static_cast<char>(c))) {
      out += static_cast<char>(c);
    } else {
      if (c == 0 || !std::strchr(kShortNameExtras, c)) lossy = true;
      out += '_';
    }
    ++i;
  }
  return out;
}

template <class S>
int ComparePadded(const S& a, const S& b) {
  const size_t n = std::max(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const auto x =
        static_cast<std::make_unsigned_t<typename S::value_type>>(i < a.size() ? a[i] : ' ');
    const auto y =
        static_cast<std::make_unsigned_t<typename S::value_type>>(i < b.size() ? b[i] : ' ');
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

template <class S>
int CompareIdentifiers(const S& a, bool aDirectory, const S& b, bool bDirectory) {
  auto split = [](const S& s, bool directory, S& name, S& ext) {
    const size_t dot = directory ? S::npos : s.rfind(static_cast<typename S::value_type>('.'));
    name = dot == S::npos ? s : s.substr(0, dot);
    ext = dot == S::npos ? S() : s.substr(dot + 1);
  };
  S an, ae, bn, be;
  split(a, aDirectory, an, ae);
  split(b, bDirectory, bn, be);
  if (const int r = ComparePadded(an, bn)) return r;
  return ComparePadded(ae, be);
}

// At most `limit` units, without ending in the first half of a surrogate pair.
std::u16string Cut(const std::u16string& s, size_t limit) {
  if (s.size() <= limit) return s;
  size_t n = limit;
  if (n > 0 && s[n - 1] >= 0xD800 && s[n - 1] <= 0xDBFF) --n;
  return s.substr(0, n);
}

}  // namespace

T83Parts Split83(const std::string& longName, bool directory) {
  T83Parts p;
  size_t start = 0;
  while (start < longName.size() && longName[start] == '.') ++start;
  if (start > 0) p.lossy = true;
  const std::string s = longName.substr(start);
  const size_t dot = directory ? std::string::npos : s.rfind('.');
  p.base = MapPart(dot == std::string::npos ? s : s.substr(0, dot), p.lossy);
  if (dot != std::string::npos) p.ext = MapPart(s.substr(dot + 1), p.lossy);
  if (p.base.empty()) {
    p.base = "_";
    p.lossy = true;
  }
  if (p.base.size() > 8 || p.ext.size() > 3) p.lossy = true;
  return p;
}

std::string Compose83(const T83Parts& parts, int n) {
  std::string name;
  if (n <= 0) {
    name = parts.base.substr(0, 8);
  } else {
    const std::string tail = "~" + std::to_string(n);
    name = parts.base.substr(0, tail.size() < 8 ? 8 - tail.size() : 0) + tail;
  }
  if (!parts.ext.empty()) name += "." + parts.ext.substr(0, 3);
  return name;
}

std::string ShortName83(const std::string& longName, bool directory) {
  const T83Parts parts = Split83(longName, directory);
  return Compose83(parts, parts.lossy ? 1 : 0);
}

bool IsValid83(const std::string& name, bool directory) {
  const size_t dot = name.find('.');
  if (directory && dot != std::string::npos) return false;
  const std::string base = name.substr(0, dot);
  const std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
  for (const std::string* part : {&base, &ext})
    for (char c : *part)
      if (!IsDCharacter(c) && c != '~') return false;
  return true;
}

std::string IsoIdentifier(const std::string& shortName, bool directory) {
  if (directory || shortName.find('.') != std::string::npos) return shortName;
  return shortName + ".";
}

std::u16string JolietIdentifier(const std::u16string& longName, bool directory, int n,
                                TJolietChange* change) {
  std::u16string s = longName;
  bool replaced = false;
  for (char16_t& c : s) {
    if (c < 0x20 || c == u'*' || c == u'/' || c == u':' || c == u';' || c == u'?' || c == u'\\') {
      c = u'_';
      replaced = true;
    }
  }
  const bool shortened = s.size() > kJolietNameUnits;
  if (change)
    *change = shortened  ? TJolietChange::Shortened
              : replaced ? TJolietChange::Replaced
                         : TJolietChange::None;
  if (!shortened && n <= 0) return s;
  size_t extAt = std::u16string::npos;
  if (!directory) {
    const size_t dot = s.rfind(u'.');
    if (dot != std::u16string::npos && dot > 0 && s.size() - dot <= kJolietKeptExtension)
      extAt = dot;
  }
  const std::u16string ext = extAt == std::u16string::npos ? u"" : s.substr(extAt);
  std::u16string stem = extAt == std::u16string::npos ? s : s.substr(0, extAt);
  std::u16string tail;
  if (n > 0)
    for (char c : "~" + std::to_string(n)) tail.push_back(static_cast<char16_t>(c));
  if (stem.size() + tail.size() + ext.size() > kJolietNameUnits)
    stem = Cut(stem, kJolietNameUnits - tail.size() - ext.size());
  return stem + tail + ext;
}

int CompareIsoIdentifiers(const std::string& a, bool aDirectory, const std::string& b,
                          bool bDirectory) {
  return CompareIdentifiers(a, aDirectory, b, bDirectory);
}

int CompareJolietIdentifiers(const std::u16string& a, bool aDirectory, const std::u16string& b,
                             bool bDirectory) {
  return CompareIdentifiers(a, aDirectory, b, bDirectory);
}

}  // namespace melvaro
