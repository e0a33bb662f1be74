#include "file_dates.h"

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace melvaro {

namespace {

// Days from 30 December 1899 to a civil date (proleptic Gregorian calendar).
int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 25569;  // 25569: 1899-12-30 to 1970-01-01
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468 - 25569;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

}  // namespace

int32_t PackDosDate(std::time_t when) {
  std::tm t{};
  if (!localtime_r(&when, &t)) return 0;
  const int year = t.tm_year + 1900;
  if (year < 1980 || year > 2099) return 0;
  const uint32_t date = static_cast<uint32_t>((year - 1980) << 9 | (t.tm_mon + 1) << 5 | t.tm_mday);
  const uint32_t time = static_cast<uint32_t>(t.tm_hour << 11 | t.tm_min << 5 | t.tm_sec / 2);
  return static_cast<int32_t>(date << 16 | time);
}

bool DosDateToDateTime(int32_t packed, TDateTime& out) {
  const uint32_t p = static_cast<uint32_t>(packed);
  TDateFields f{};
  f.year = static_cast<int>((p >> 25) & 0x7F) + 1980;
  f.month = static_cast<int>((p >> 21) & 0x0F);
  f.day = static_cast<int>((p >> 16) & 0x1F);
  f.hour = static_cast<int>((p >> 11) & 0x1F);
  f.minute = static_cast<int>((p >> 5) & 0x3F);
  f.second = static_cast<int>(p & 0x1F) * 2;
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (f.month < 1 || f.month > 12 || f.day < 1 || f.day > kDays[f.month - 1]) return false;
  const bool leap = (f.year % 4 == 0 && f.year % 100 != 0) || f.year % 400 == 0;
  if (f.month == 2 && f.day == 29 && !leap) return false;
  if (f.hour > 23 || f.minute > 59 || f.second > 59) return false;
  out = EncodeDateTime(f);
  return true;
}

TDateTime EncodeDateTime(const TDateFields& f) {
  return static_cast<double>(DaysFromCivil(f.year, f.month, f.day)) +
         (f.hour * 3600.0 + f.minute * 60.0 + f.second + f.millisecond / 1000.0) / 86400.0;
}

TDateTime DateTimeNow() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  std::tm t{};
  localtime_r(&ts.tv_sec, &t);
  return EncodeDateTime({t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                         static_cast<int>(ts.tv_nsec / 1000000)});
}

TDateFields DecodeDateTime(TDateTime value) {
  // Whole milliseconds, rounded, as the design's date-time arithmetic does.
  const double ms = std::round(value * 86400000.0);
  int64_t days = static_cast<int64_t>(std::floor(ms / 86400000.0));
  int64_t rest = static_cast<int64_t>(ms - static_cast<double>(days) * 86400000.0);
  TDateFields f{};
  CivilFromDays(days, f.year, f.month, f.day);
  f.hour = static_cast<int>(rest / 3600000);
  f.minute = static_cast<int>(rest / 60000 % 60);
  f.second = static_cast<int>(rest / 1000 % 60);
  f.millisecond = static_cast<int>(rest % 1000);
  return f;
}

int8_t LocalOffset15At(TDateTime local) {
  const TDateFields f = DecodeDateTime(local);
  std::tm t{};
  t.tm_year = f.year - 1900;
  t.tm_mon = f.month - 1;
  t.tm_mday = f.day;
  t.tm_hour = f.hour;
  t.tm_min = f.minute;
  t.tm_sec = f.second;
  t.tm_isdst = -1;
  errno = 0;
  if (std::mktime(&t) == -1 && errno != 0) return TimeZoneOffset15();
  const long quarters = std::lround(static_cast<double>(t.tm_gmtoff) / 900.0);
  return static_cast<int8_t>(std::clamp<long>(quarters, -48, 52));
}

int8_t TimeZoneOffset15() {
  tzset();
  // `timezone`: seconds west of UTC of the standard time.
  return static_cast<int8_t>(-timezone / 60 / 15);
}

}  // namespace melvaro
