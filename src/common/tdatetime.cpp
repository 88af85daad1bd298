#include "common/tdatetime.h"

#include <QDate>
#include <QTime>
#include <cmath>

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
  return DateTimeFromQDateTime(QDateTime::currentDateTime());
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
