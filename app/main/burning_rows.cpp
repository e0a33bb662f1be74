#include "main/burning_rows.h"

#include <QFileInfo>
#include <QStringList>

namespace melvaro {

int64_t RoundHalfEven(int64_t numerator, int64_t denominator) {
  const bool negative = numerator < 0;
  const int64_t n = negative ? -numerator : numerator;
  int64_t q = n / denominator;
  const int64_t r = n % denominator;
  if (2 * r > denominator || (2 * r == denominator && (q & 1))) ++q;
  return negative ? -q : q;
}

QString TrackCaption(int rowsBefore) {
  return QStringLiteral("Track %1").arg(rowsBefore);
}

QString TrackType(const QString& path) {
  return QFileInfo(path).suffix().left(4).toUpper();
}

QString TimeText(int64_t seconds) {
  return QStringLiteral("%1 : %2 : %3")
      .arg(seconds / 3600)
      .arg((seconds % 3600) / 60)
      .arg(seconds % 60);
}

int64_t SecondsOfLength(int64_t milliseconds) {
  return RoundHalfEven(milliseconds, 1000);
}

int64_t TimeCellSeconds(const QString& cell) {
  const QStringList parts = cell.split(QLatin1Char(':'));
  if (parts.size() != 3) return 0;
  int64_t value[3];
  for (int i = 0; i < 3; ++i) {
    bool ok = false;
    value[i] = parts[i].trimmed().toLongLong(&ok);
    if (!ok || value[i] < 0) return 0;
  }
  return value[0] * 3600 + value[1] * 60 + value[2];
}

QString SizeText(int64_t bytes, const QLocale& locale) {
  if (bytes == 0) return QString();
  QLocale grouped = locale;
  grouped.setNumberOptions(grouped.numberOptions() & ~QLocale::OmitGroupSeparator);
  return grouped.toString(static_cast<qlonglong>(bytes));
}

int64_t SizeCellBytes(const QString& cell) {
  int64_t total = 0;
  bool digits = false;
  for (const QChar c : cell) {
    if (c.isDigit() && c.digitValue() >= 0) {
      if (total > (INT64_MAX - 9) / 10) return 0;
      total = total * 10 + c.digitValue();
      digits = true;
    } else if (!(c.isSpace() || c == QLatin1Char(',') || c == QLatin1Char('.') ||
                 c == QLatin1Char('\'') || c == QChar(0x2019) || c == QChar(0x066C))) {
      return 0;
    }
  }
  return digits ? total : 0;
}

QString TimeHint(int64_t totalSeconds) {
  return QStringLiteral("Time(Hour : Minute : Second) - ") + TimeText(totalSeconds);
}

int TimeBarWidth(int64_t totalSeconds) {
  return static_cast<int>(RoundHalfEven(totalSeconds * 19, 100));
}

int64_t SizeMegabytes(int64_t totalBytes) {
  return RoundHalfEven(totalBytes, 1048576);
}

QString SizeHint(int64_t totalBytes) {
  return QStringLiteral("%1 MB").arg(SizeMegabytes(totalBytes));
}

int SizeBarWidth(int64_t totalBytes) {
  return static_cast<int>(RoundHalfEven(SizeMegabytes(totalBytes) * 969, 5250));
}

QString EmptyTimeHint() {
  return QStringLiteral("Time(Hour : Minute : Second) - 0 :0 : 0");
}
QString EmptySizeHint() {
  return QStringLiteral("0 MB");
}

}  // namespace melvaro
