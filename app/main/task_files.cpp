#include "main/task_files.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace melvaro {

namespace {

const QLatin1String kLineEnd("\r\n");

// Characters a size text may hold: digits and the thousands separators of any locale.
bool IsSizeChar(QChar c) {
  return c.isDigit() || c.isSpace() || c == QLatin1Char(',') || c == QLatin1Char('.') ||
         c == QLatin1Char('\'') || c == QChar(0x2019) || c == QChar(0x066C);
}

// Whether line[at] is a "*" followed by a size text and a "/".
bool StarBeforeSize(const QString& line, qsizetype at) {
  qsizetype i = at + 1;
  while (i < line.size() && IsSizeChar(line[i])) ++i;
  return i < line.size() && line[i] == QLatin1Char('/');
}

}  // namespace

QByteArray CdtText(const std::vector<TTrackCells>& rows) {
  QString text;
  for (const TTrackCells& r : rows)
    text += r.path + QLatin1Char('|') + r.type + QLatin1Char('/') + r.time + kLineEnd;
  return text.toUtf8();
}

QByteArray MptText(const std::vector<TDiscCells>& rows) {
  QString text;
  for (const TDiscCells& r : rows)
    text += r.caption + QLatin1Char('*') + r.size + QLatin1Char('/') + r.text + kLineEnd;
  return text.toUtf8();
}

QStringList TaskLines(const QByteArray& bytes) {
  QByteArray raw = bytes;
  if (raw.startsWith("\xEF\xBB\xBF")) raw.remove(0, 3);
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8.decode(raw);
  if (utf8.hasError()) text = QString::fromLatin1(raw);
  QStringList lines;
  qsizetype start = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c != QLatin1Char('\r') && c != QLatin1Char('\n')) continue;
    lines << text.mid(start, i - start);
    if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) ++i;
    start = i + 1;
  }
  if (start < text.size()) lines << text.mid(start);
  return lines;
}

TTrackCells ParseCdtLine(const QString& line) {
  TTrackCells cells;
  const qsizetype slash = line.lastIndexOf(QLatin1Char('/'));
  const QString head = slash < 0 ? line : line.left(slash);
  const qsizetype bar = head.lastIndexOf(QLatin1Char('|'));
  if (bar < 0) {
    cells.type = line.left(3);
  } else {
    cells.path = head.left(bar);
    cells.type = slash < 0 ? line.mid(bar + 1, 3) : head.mid(bar + 1);
  }
  cells.time = slash < 0 ? line : line.mid(slash + 1);
  return cells;
}

TDiscCells ParseMptLine(const QString& line) {
  TDiscCells cells;
  qsizetype star = -1;
  for (qsizetype i = line.size() - 1; i >= 0; --i) {
    if (line[i] == QLatin1Char('*') && StarBeforeSize(line, i)) {
      star = i;
      break;
    }
  }
  if (star < 0) star = line.lastIndexOf(QLatin1Char('*'));
  // Without a "*" the caption is empty and the size runs from the line's start.
  const qsizetype slash = line.indexOf(QLatin1Char('/'), star + 1);
  cells.caption = star < 0 ? QString() : line.left(star);
  if (slash >= 0) {
    cells.size = line.mid(star + 1, slash - star - 1);
    cells.text = line.mid(slash + 1);
  } else {
    cells.text = line;
  }
  return cells;
}

std::vector<TTrackCells> ParseCdt(const QByteArray& text) {
  std::vector<TTrackCells> rows;
  for (const QString& line : TaskLines(text)) rows.push_back(ParseCdtLine(line));
  return rows;
}

std::vector<TDiscCells> ParseMpt(const QByteArray& text) {
  std::vector<TDiscCells> rows;
  for (const QString& line : TaskLines(text)) rows.push_back(ParseMptLine(line));
  return rows;
}

std::optional<QByteArray> ReadTaskFile(const QString& path, QString* error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    if (error) *error = file.errorString();
    return std::nullopt;
  }
  QByteArray text = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    if (error) *error = file.errorString();
    return std::nullopt;
  }
  return text;
}

bool WriteTaskFile(const QString& path, const QByteArray& text, QString* error) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
    if (error) *error = file.errorString();
    return false;
  }
  return true;
}

QString WithDefaultExtension(const QString& name, const QString& ext) {
  if (name.isEmpty() || !QFileInfo(name).suffix().isEmpty()) return name;
  return name + QLatin1Char('.') + ext;
}

}  // namespace melvaro
