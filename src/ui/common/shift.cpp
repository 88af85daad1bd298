#include "ui/common/shift.h"

#include <cmath>

namespace {

constexpr double kHoursPerDay = 24.0;
constexpr double kSecondsPerDay = 86400.0;
// A shift is 12 hours less one second, both shifts a day less one second, so
// that consecutive intervals never share a minute record.
constexpr double kHalfDayLessASecond = (12 * 3600 - 1) / kSecondsPerDay;
constexpr double kDayLessASecond = (24 * 3600 - 1) / kSecondsPerDay;

}  // namespace

bool ShiftRange(TDateTime date, int shift, TDateTime& start, TDateTime& stop) {
  const TDateTime base = std::trunc(date) + ShiftStartDays.load(std::memory_order_relaxed);
  start = base + ShiftStartHour.load(std::memory_order_relaxed) / kHoursPerDay;
  switch (shift) {
    case 1:
      stop = start + kHalfDayLessASecond;
      break;
    case 2:
      start += 12 / kHoursPerDay;
      stop = start + kHalfDayLessASecond;
      break;
    default:
      stop = start + kDayLessASecond;
      break;
  }
  return true;
}

TDateTime ProductionDay(TDateTime now) {
  TDateTime start = 0;
  TDateTime stop = 0;
  ShiftRange(std::floor(now), 3, start, stop);
  return now < start ? std::floor(now) - 1 : std::floor(now);
}
