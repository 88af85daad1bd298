#pragma once

#include <atomic>
#include <cstdint>

#include "common/tdatetime.h"

// The shift settings, process-wide and for the current run only: the settings
// window writes them on the user-interface thread, the windows that query
// read them there too; atomics so that a reader elsewhere is still no race.
inline std::atomic<uint16_t> ShiftStartHour{7};
inline std::atomic<int32_t> ShiftStartDays{0};

// The interval of a shift selection (1 first shift, 2 second shift, 3 and
// anything else both) on the day of `date`, shifted by ShiftStartDays days
// and starting at ShiftStartHour. Each shift is 12 hours less a second, both
// shifts 24 hours less a second. Always true.
bool ShiftRange(TDateTime date, int shift, TDateTime& start, TDateTime& stop);

// The production day whose shifts hold "now", whole days: before the first
// shift of a calendar day starts (at night) that is the calendar day before,
// so a night-shift operator sees the shift under way, not an empty tomorrow.
TDateTime ProductionDay(TDateTime now);
