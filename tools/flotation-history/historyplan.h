#pragma once

#include <array>
#include <cstdint>

#include "process/valueblock.h"

// What the plant and its operators did in one minute, as the history generator replays it:
// whether the console recorded the minute at all, and per section the pulp that reached the
// sensors, the control modes and the operator's setpoints.
//
// Everything is a pure function of the seed and the local minute number (minutes since
// 1899-12-30 00:00 local time), never of where a fill starts: a shift looks the same in a
// three-day fill and in a month. Value type; any thread.

// Why a minute has no record.
enum class Outage {
  None,
  // The modules did not answer for a few minutes; the console kept running.
  Silent,
  // The console was off (a power cut): it starts afresh when the outage ends.
  PowerCut,
};

struct SectionPlan {
  // 1 while the section runs, 0 while it stands, in between while it starts or stops.
  double RunLevel = 1;
  double PulpFlow = 0;  // m³/h, at the pulp-flow sensor
  double Density = 0;   // g/l
  ReagentMode Reagents = kModeAutomatic;
  ReagentMode Flocculant = kModeAutomatic;
  // The operator's setpoints: specific consumptions in ml/t, manual flows in l/h.
  float ZRRS = 0, ZRRP = 0, ZRFL = 0;
  float TRRS = 0, TRRP = 0, TRFL = 0;
};

struct MinutePlan {
  Outage Gap = Outage::None;
  std::array<SectionPlan, 2> Sections;
};

class HistoryPlan {
 public:
  static constexpr int64_t kMinutesPerShift = 720;
  // Shifts run 07:00-19:00 and 19:00-07:00.
  static constexpr int64_t kFirstShiftStartMinute = 7 * 60;
  static constexpr int64_t kMinutesPerDay = 1440;
  static constexpr int64_t kMinutesPerWeek = 7 * kMinutesPerDay;
  static constexpr int kPowerCutMinutes = 60;
  // Below the built-in MIN_RVF of 40 m³/h: a standing section does not count as running.
  static constexpr double kIdlePulpFlow = 4;
  static constexpr double kIdleDensity = 15;

  explicit HistoryPlan(uint64_t seed);

  MinutePlan At(int64_t localMinute) const;
  Outage GapAt(int64_t localMinute) const;

  // The local minute number of a day count (rounded to the minute).
  static int64_t LocalMinuteOf(double moment);

 private:
  struct ShiftPlan;
  ShiftPlan Shift(int section, int64_t shift) const;
  bool Running(int section, int64_t localMinute) const;
  static ReagentMode GroupMode(const ShiftPlan& shift, int group, int64_t minuteInShift);
  int64_t PowerCutStart(int64_t week) const;
  // The console starts with every group off; the operator needs a few minutes to set them.
  bool ModesOffAfterRestart(int64_t localMinute) const;
  double Random(uint64_t a, uint64_t b, uint64_t c) const;

  uint64_t m_seed;
};
