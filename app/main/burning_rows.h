// The cells of the two burning lists and the totals read back from them: track captions,
// types and playing times of the Audio CD list, sizes of the MP3 disc list, and the
// capacity bar's width and hint for a total.
#pragma once

#include <QLocale>
#include <QString>
#include <cstdint>

namespace melvaro {

// numerator / denominator rounded to the nearest integer, halves to even. denominator > 0.
int64_t RoundHalfEven(int64_t numerator, int64_t denominator);

// "Track " + the number of rows the list held before the row.
QString TrackCaption(int rowsBefore);
// The file's extension without its dot, upper-cased, at most 4 characters ("MP3").
QString TrackType(const QString& path);
// Hours, " : ", minutes, " : ", seconds, without padding ("0 : 3 : 5").
QString TimeText(int64_t seconds);
// A length in milliseconds as whole seconds, halves to even (184 500 ms: 184 s).
int64_t SecondsOfLength(int64_t milliseconds);
// The seconds of a time cell ("1 : 2 : 5" = 3725). A cell that is not three whole
// numbers separated by ":" ("Error", an empty cell) counts as 0.
int64_t TimeCellSeconds(const QString& cell);

// A size in bytes with the locale's thousands separators and no decimals; 0 gives "".
QString SizeText(int64_t bytes, const QLocale& locale = QLocale());
// The bytes of a size cell written with any thousands separator ("1,234,567",
// "1.234.567", "1 234 567"); an empty cell or one that holds anything but digits and
// separators counts as 0.
int64_t SizeCellBytes(const QString& cell);

// The capacity bar: its hint and width in pixels for a total time (Audio CD) ...
QString TimeHint(int64_t totalSeconds);
int TimeBarWidth(int64_t totalSeconds);
// ... and for a total size (MP3 disc).
int64_t SizeMegabytes(int64_t totalBytes);
QString SizeHint(int64_t totalBytes);
int SizeBarWidth(int64_t totalBytes);
// The hints after Remove All.
QString EmptyTimeHint();
QString EmptySizeHint();

}  // namespace melvaro
