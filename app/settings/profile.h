// A profile file (Option.ini, Tips.ini): "[Section]" lines, each followed by
// "key=value" lines.
//
// Reading is forgiving: sections and keys match without regard to case, keys keep their
// inner blanks ("Auto Eject_No Disc"), keys and values are trimmed, a UTF-8 byte-order
// mark and CR LF line ends are accepted, and lines that are neither (comments, damaged
// lines, lines before the first section) are kept as they are and written back
// unchanged. The first of two sections or keys of the same name is the one read and
// written. Saving replaces the whole file atomically, so a crash or a full disk leaves
// the previous file in place.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace melvaro {

class TProfile {
 public:
  TProfile() = default;
  // The file's contents; a missing or unreadable file gives an empty profile (every
  // read then returns its default). `loaded` (when given) tells whether it was read.
  static TProfile Load(const QString& path, bool* loaded = nullptr);
  // From text, as Load reads a file (UTF-8).
  static TProfile Parse(const QByteArray& text);

  // Writes every line to `path` (UTF-8, LF line ends) through a temporary file renamed
  // over it. False with `error` set (the file and the system's reason) when it failed;
  // the file on disk is then unchanged.
  bool Save(const QString& path, QString* error = nullptr) const;
  QByteArray Text() const;

  bool HasSection(const QString& section) const;
  bool HasKey(const QString& section, const QString& key) const;
  // Section names in file order, and the key names of one section.
  QStringList Sections() const;
  QStringList Keys(const QString& section) const;

  // The value, trimmed; `fallback` when the key is missing (an empty value is a value).
  QString ReadString(const QString& section, const QString& key,
                     const QString& fallback = QString()) const;
  // A decimal integer (sign allowed); `fallback` when missing or not a whole number.
  qint64 ReadInteger(const QString& section, const QString& key, qint64 fallback) const;
  // True for any non-zero integer; `fallback` when missing or not a number.
  bool ReadBool(const QString& section, const QString& key, bool fallback) const;

  // Sets a value: replaces the first key of that name in the first section of that name,
  // else appends the key to the section, else appends the section. The value is stored
  // trimmed; line breaks inside it become blanks (they would start new lines).
  void WriteString(const QString& section, const QString& key, const QString& value);
  void WriteInteger(const QString& section, const QString& key, qint64 value);
  // Written as 1 or 0.
  void WriteBool(const QString& section, const QString& key, bool value);

  // Removes a key or a whole section; nothing happens when it is missing.
  void EraseKey(const QString& section, const QString& key);
  void EraseSection(const QString& section);

 private:
  struct TLine {
    QString key;  // empty: a line kept verbatim (comment, damaged, blank)
    QString value;
    QString raw;  // the verbatim text of a kept line
  };
  struct TSection {
    QString name;
    QString header;  // the header line as read ("[General]"); rebuilt when empty
    std::vector<TLine> lines;
  };

  const TSection* FindSection(const QString& name) const;
  TSection* FindSection(const QString& name);
  static const TLine* FindKey(const TSection& section, const QString& key);

  std::vector<QString> preamble_;  // lines before the first section
  std::vector<TSection> sections_;
};

}  // namespace melvaro
