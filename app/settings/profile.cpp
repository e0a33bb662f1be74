#include "settings/profile.h"

#include <QFile>

#include "platform/atomic_file.h"

namespace melvaro {
namespace {

bool SameName(const QString& a, const QString& b) {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString OneLine(QString text) {
  text.replace(QLatin1String("\r\n"), QLatin1String(" "));
  text.replace(QLatin1Char('\r'), QLatin1Char(' '));
  text.replace(QLatin1Char('\n'), QLatin1Char(' '));
  return text.trimmed();
}

}  // namespace

TProfile TProfile::Load(const QString& path, bool* loaded) {
  const auto content = ReadWholeFile(path.toStdString());
  if (loaded) *loaded = content.has_value();
  if (!content) return TProfile();
  return Parse(QByteArray::fromStdString(*content));
}

TProfile TProfile::Parse(const QByteArray& bytes) {
  TProfile profile;
  QString text = QString::fromUtf8(bytes);
  if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
  QStringList lines = text.split(QLatin1Char('\n'));
  // A final line end does not start another line.
  if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
  for (QString line : lines) {
    if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
    const QString trimmed = line.trimmed();
    if (trimmed.startsWith(QLatin1Char('['))) {
      // "[Name]"; a header whose "]" is missing still names its section.
      qsizetype end = trimmed.indexOf(QLatin1Char(']'));
      if (end < 0) end = trimmed.size();
      profile.sections_.push_back({trimmed.mid(1, end - 1).trimmed(), line, {}});
      continue;
    }
    TLine entry;
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals > 0 && !trimmed.startsWith(QLatin1Char(';'))) {
      entry.key = line.left(equals).trimmed();
      entry.value = line.mid(equals + 1).trimmed();
    }
    if (entry.key.isEmpty()) {
      entry = TLine{{}, {}, line};
    }
    if (profile.sections_.empty()) {
      // Keys before any section belong to no section and are never read.
      profile.preamble_.push_back(line);
    } else {
      profile.sections_.back().lines.push_back(entry);
    }
  }
  return profile;
}

QByteArray TProfile::Text() const {
  QString out;
  for (const QString& line : preamble_) out += line + QLatin1Char('\n');
  for (const TSection& section : sections_) {
    out += (section.header.isEmpty() ? QStringLiteral("[%1]").arg(section.name) : section.header) +
           QLatin1Char('\n');
    for (const TLine& line : section.lines) {
      out += (line.key.isEmpty() ? line.raw : line.key + QLatin1Char('=') + line.value) +
             QLatin1Char('\n');
    }
  }
  return out.toUtf8();
}

bool TProfile::Save(const QString& path, QString* error) const {
  const QByteArray text = Text();
  std::string why;
  if (WriteFileAtomically(path.toStdString(), std::string_view(text.constData(), text.size()),
                          /*durable=*/true, &why)) {
    return true;
  }
  if (error) *error = QString::fromStdString(why);
  return false;
}

const TProfile::TSection* TProfile::FindSection(const QString& name) const {
  for (const TSection& section : sections_) {
    if (SameName(section.name, name.trimmed())) return &section;
  }
  return nullptr;
}

TProfile::TSection* TProfile::FindSection(const QString& name) {
  return const_cast<TSection*>(static_cast<const TProfile*>(this)->FindSection(name));
}

const TProfile::TLine* TProfile::FindKey(const TSection& section, const QString& key) {
  for (const TLine& line : section.lines) {
    if (!line.key.isEmpty() && SameName(line.key, key.trimmed())) return &line;
  }
  return nullptr;
}

bool TProfile::HasSection(const QString& section) const {
  return FindSection(section);
}

bool TProfile::HasKey(const QString& section, const QString& key) const {
  const TSection* s = FindSection(section);
  return s && FindKey(*s, key);
}

QStringList TProfile::Sections() const {
  QStringList names;
  for (const TSection& section : sections_) names << section.name;
  return names;
}

QStringList TProfile::Keys(const QString& section) const {
  QStringList names;
  if (const TSection* s = FindSection(section)) {
    for (const TLine& line : s->lines) {
      if (!line.key.isEmpty()) names << line.key;
    }
  }
  return names;
}

QString TProfile::ReadString(const QString& section, const QString& key,
                             const QString& fallback) const {
  const TSection* s = FindSection(section);
  const TLine* line = s ? FindKey(*s, key) : nullptr;
  return line ? line->value : fallback;
}

qint64 TProfile::ReadInteger(const QString& section, const QString& key, qint64 fallback) const {
  if (!HasKey(section, key)) return fallback;
  bool ok = false;
  const qint64 value = ReadString(section, key).toLongLong(&ok, 10);
  return ok ? value : fallback;
}

bool TProfile::ReadBool(const QString& section, const QString& key, bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

void TProfile::WriteString(const QString& section, const QString& key, const QString& value) {
  const QString name = OneLine(section);
  const QString keyName = OneLine(key);
  if (keyName.isEmpty()) return;
  TSection* s = FindSection(name);
  if (!s) {
    sections_.push_back({name, {}, {}});
    s = &sections_.back();
  }
  if (TLine* line = const_cast<TLine*>(FindKey(*s, keyName))) {
    line->value = OneLine(value);
    return;
  }
  // A new key goes after the section's last key, before trailing blank lines.
  auto at = s->lines.end();
  while (at != s->lines.begin() && std::prev(at)->key.isEmpty() &&
         std::prev(at)->raw.trimmed().isEmpty()) {
    --at;
  }
  s->lines.insert(at, TLine{keyName, OneLine(value), {}});
}

void TProfile::WriteInteger(const QString& section, const QString& key, qint64 value) {
  WriteString(section, key, QString::number(value));
}

void TProfile::WriteBool(const QString& section, const QString& key, bool value) {
  WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TProfile::EraseKey(const QString& section, const QString& key) {
  TSection* s = FindSection(section);
  if (!s) return;
  std::erase_if(s->lines, [&](const TLine& line) {
    return !line.key.isEmpty() && SameName(line.key, key.trimmed());
  });
}

void TProfile::EraseSection(const QString& section) {
  std::erase_if(sections_, [&](const TSection& s) { return SameName(s.name, section.trimmed()); });
}

}  // namespace melvaro
