// Dates as the compilation keeps them: the packed DOS date and time of the platform's
// directory search (local time, 2-second resolution, 1980 to 2099) and the date-time
// value of the design (days since 30 December 1899, the fraction the time of day).
#pragma once

#include <cstdint>
#include <ctime>

namespace melvaro {

using TDateTime = double;

// Packed local date and time (date << 16 | time); 0 outside 1980 to 2099.
int32_t PackDosDate(std::time_t when);
// False when the packed value is no valid date.
bool DosDateToDateTime(int32_t packed, TDateTime& out);
TDateTime DateTimeNow();
// The calendar fields of a date-time value (no time zone applied).
struct TDateFields {
  int year, month, day, hour, minute, second, millisecond;
};
TDateFields DecodeDateTime(TDateTime value);
TDateTime EncodeDateTime(const TDateFields& f);
// The local standard-time offset from UTC in 15-minute units (east positive).
int8_t TimeZoneOffset15();
// The offset from UTC in 15-minute units (east positive) in effect at a local date and
// time, daylight saving included; within the -48 to 52 an ISO 9660 date can carry.
int8_t LocalOffset15At(TDateTime local);

}  // namespace melvaro
