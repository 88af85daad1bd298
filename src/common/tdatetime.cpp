#include "common/tdatetime.h"

#include <QDate>
#include <QTime>
#include <algorithm>
#include <cmath>
#include <ctime>

namespace {

// Julian day number of 1899-12-30, day 0 of the day count.
constexpr qint64 kDayZeroJulian = 2415019;
constexpr qint64 kMsPerDayInt = 86400000;

// Day number and milliseconds into that day, the fraction rounded to the
// millisecond; 24:00 becomes the next day's 00:00.
void Split(TDateTime moment, qint64& day, qint64& ms) {
  if (!std::isfinite(moment)) {
    day = 0;
    ms = 0;
    return;
  }
  const double whole = std::trunc(moment);
  day = static_cast<qint64>(whole);
  ms = static_cast<qint64>(std::llround(std::fabs(moment - whole) * kMsPerDay));
  if (ms >= kMsPerDayInt) {
    ms -= kMsPerDayInt;
    ++day;
  }
}

TDateTime Join(qint64 day, qint64 ms) {
  const double fraction = static_cast<double>(ms) / kMsPerDay;
  return day < 0 ? static_cast<double>(day) - fraction : static_cast<double>(day) + fraction;
}

}  // namespace

TDateTime DateTimeFromQDateTime(const QDateTime& moment) {
  if (!moment.isValid()) return 0;
  const QDateTime local = moment.toLocalTime();
  return Join(local.date().toJulianDay() - kDayZeroJulian, local.time().msecsSinceStartOfDay());
}

QDateTime QDateTimeFromDateTime(TDateTime moment) {
  qint64 day = 0;
  qint64 ms = 0;
  Split(moment, day, ms);
  return QDateTime(QDate::fromJulianDay(day + kDayZeroJulian),
                   QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond) {
  const QDate date(year, month, day);
  if (!date.isValid()) return 0;
  const qint64 ms = ((static_cast<qint64>(hour) * 60 + minute) * 60 + second) * 1000 + millisecond;
  return Join(date.toJulianDay() - kDayZeroJulian, ms);
}

TDateTime NowDateTime() {
  // Straight from the system clock: QDateTime's conversion to local time
  // costs microseconds (it looks at the time zone file every time), and every
  // event-log message takes a time stamp.
  timespec now{};
  tm local{};
  if (::clock_gettime(CLOCK_REALTIME, &now) != 0 || ::localtime_r(&now.tv_sec, &local) == nullptr) {
    return DateTimeFromQDateTime(QDateTime::currentDateTime());
  }
  const qint64 day =
      QDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday).toJulianDay() - kDayZeroJulian;
  // A leap second reads as the last second of its minute.
  const qint64 second =
      (static_cast<qint64>(local.tm_hour) * 60 + local.tm_min) * 60 + std::min(local.tm_sec, 59);
  return Join(day, second * 1000 + now.tv_nsec / 1000000);
}

DateTimeFields DecodeDateTime(TDateTime moment) {
  qint64 day = 0;
  qint64 ms = 0;
  Split(moment, day, ms);
  const QDate date = QDate::fromJulianDay(day + kDayZeroJulian);
  DateTimeFields fields;
  if (date.isValid()) {
    fields.Year = date.year();
    fields.Month = date.month();
    fields.Day = date.day();
    fields.DayOfWeek = date.dayOfWeek();
  }
  fields.Hour = static_cast<int>(ms / 3600000);
  fields.Minute = static_cast<int>(ms / 60000 % 60);
  fields.Second = static_cast<int>(ms / 1000 % 60);
  fields.Millisecond = static_cast<int>(ms % 1000);
  return fields;
}
