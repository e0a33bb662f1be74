// Task files: the burning list of one mode saved as text, one line per row, each line
// ended by CR LF, UTF-8, no header.
//
//   .cdt (Audio CD):  path "|" type "/" time      /home/u/song.mp3|MP3/0 : 3 : 5
//   .mpt (MP3 disc):  caption "*" size "/" text   /home/u/Music/*12,345,678/
//
// "/" separates folders here and "|" and "*" may occur in file names, so the readers take
// the fields from the right: the time after the last "/" and the type after the last "|"
// before it; the caption before the last "*" that is followed by a size text and a "/".
// A line that does not hold its separators still gives a row, with shortened cells.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace melvaro {

struct TTrackCells {
  QString path;
  QString type;
  QString time;
  bool operator==(const TTrackCells&) const = default;
};

struct TDiscCells {
  QString caption;
  QString size;
  QString text;  // the third field, carried through unchanged; empty for dragged rows
  bool operator==(const TDiscCells&) const = default;
};

QByteArray CdtText(const std::vector<TTrackCells>& rows);
QByteArray MptText(const std::vector<TDiscCells>& rows);

// The lines of a file's text: a line ends at CR, LF or CR LF; a UTF-8 byte-order mark is
// skipped. Text that is not UTF-8 is read as Latin-1. No text gives no line.
QStringList TaskLines(const QByteArray& text);
TTrackCells ParseCdtLine(const QString& line);
TDiscCells ParseMptLine(const QString& line);
std::vector<TTrackCells> ParseCdt(const QByteArray& text);
std::vector<TDiscCells> ParseMpt(const QByteArray& text);

// The whole file, or nullopt with `error` set to the system's reason.
std::optional<QByteArray> ReadTaskFile(const QString& path, QString* error);
// Replaces the file through a temporary file renamed over it: the old file stays
// whole when writing fails. False with `error` set.
bool WriteTaskFile(const QString& path, const QByteArray& text, QString* error);

// `name` with ".ext" appended when it has no extension of its own.
QString WithDefaultExtension(const QString& name, const QString& ext);

}  // namespace melvaro
