#pragma once

#include <QDateTime>

// A point in time as the console stores and exchanges it: days since
// 1899-12-30 00:00 local time, the time of day as the fraction.
using TDateTime = double;

inline constexpr double kMsPerDay = 86400000.0;

// Local date and time to a day count, to the millisecond. An invalid
// QDateTime gives 0.
TDateTime DateTimeFromQDateTime(const QDateTime& moment);

// Day count to local date and time, rounded to the nearest millisecond.
// For negative counts the fraction is the time of day of the day before
// zero, as the day count convention has it (-1.25 is 1899-12-29 06:00).
QDateTime QDateTimeFromDateTime(TDateTime moment);

// Convenience builders, local time.
TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                         int millisecond = 0);

// The current local time as a day count.
TDateTime NowDateTime();

// The fields of a day count, as FormatDateTime and the minute records use
// them. Rounded to the millisecond first, so 23:59:59.9996 reads as the next
// day's 00:00:00.000.
struct DateTimeFields {
  int Year = 1899;
  int Month = 12;
  int Day = 30;
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  int Millisecond = 0;
  int DayOfWeek = 7;  // 1 = Monday ... 7 = Sunday
};
DateTimeFields DecodeDateTime(TDateTime moment);
