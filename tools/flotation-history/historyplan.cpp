#include "historyplan.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "simrandom.h"

namespace {

// What a random draw is for; with the place in time it keys the draw, so that adding a draw of
// one kind never shifts the numbers of another.
enum Purpose : uint64_t { kShiftDraw = 1, kShortGapDraw, kMediumGapDraw, kPowerCutDraw, kWaveDraw };

// The draws of one shift of one section, by field.
enum ShiftField : uint64_t {
  kWholeShiftStop = 0,
  kStopChance,
  kStopStart,
  kStopLength,
  kFlowFactor,
  kDensityFactor,
  kModesOffWhileStopped,
  // The fields of the reagents' group; the flocculant's follow kGroupFieldStride later.
  kManualChance,
  kManualStart,
  kManualLength,
  kOffChance,
  kOffStart,
  kOffLength,
  kSetpoints = 20,  // + the setpoint's place
};
constexpr uint64_t kGroupFieldStride = 6;

constexpr std::array<double, 2> kNominalPulpFlow = {560, 520};  // m³/h
constexpr std::array<double, 2> kNominalDensity = {185, 195};   // g/l

// Shares of shifts, per section and per reagent group.
constexpr double kWholeShiftStopShare = 0.06;
constexpr double kStopInShiftShare = 0.18;
constexpr double kManualShare = 0.22;
constexpr double kOffShare = 0.08;
constexpr double kModesOffWhileStoppedShare = 0.6;
// Days with a short or a medium silence of the modules.
constexpr double kShortGapShare = 0.2;
constexpr double kMediumGapShare = 0.35;

// A section takes this long to start or stop; the new shift's throughput is reached over the
// first minutes of the shift.
constexpr int kRampMinutes = 6;
constexpr double kShiftChangeMinutes = 20;
// After a power cut the console starts with every group off until the operator sets them.
constexpr double kRestartOffMinutesLeast = 8;
constexpr double kRestartOffMinutesSpread = 12;

int64_t FloorDiv(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

double RoundTo(double value, double step) {
  return std::round(value / step) * step;
}

}  // namespace

struct HistoryPlan::ShiftPlan {
  bool StoppedAllShift = false;
  int64_t StopStart = -1;
  int64_t StopLength = 0;
  double FlowFactor = 1;
  double DensityFactor = 1;
  bool ModesOffWhileStopped = false;
  struct Period {
    int64_t Start = -1;
    int64_t Length = 0;
    bool Holds(int64_t minute) const { return Start >= 0 && minute >= Start && minute < Start + Length; }
  };
  std::array<Period, 2> Manual;  // by group: reagents, flocculant
  std::array<Period, 2> Off;
  float ZRRS = 0, ZRRP = 0, ZRFL = 0, TRRS = 0, TRRP = 0, TRFL = 0;
};

HistoryPlan::HistoryPlan(uint64_t seed) : m_seed(seed) {}

int64_t HistoryPlan::LocalMinuteOf(double moment) {
  return static_cast<int64_t>(std::llround(moment * kMinutesPerDay));
}

double HistoryPlan::Random(uint64_t a, uint64_t b, uint64_t c) const {
  uint64_t state = m_seed;
  for (const uint64_t key : {a, b, c}) state = SplitMix64(state) ^ key;
  return UnitUniform(state);
}

HistoryPlan::ShiftPlan HistoryPlan::Shift(int section, int64_t shift) const {
  const uint64_t key = static_cast<uint64_t>(shift) * 2 + static_cast<uint64_t>(section);
  const auto draw = [&](uint64_t field) { return Random(kShiftDraw, key, field); };
  ShiftPlan plan;
  plan.StoppedAllShift = draw(kWholeShiftStop) < kWholeShiftStopShare;
  if (!plan.StoppedAllShift && draw(kStopChance) < kStopInShiftShare) {
    plan.StopStart = 60 + static_cast<int64_t>(draw(kStopStart) * 480);
    plan.StopLength = 20 + static_cast<int64_t>(draw(kStopLength) * 160);
  }
  plan.FlowFactor = 0.80 + 0.28 * draw(kFlowFactor);
  plan.DensityFactor = 0.88 + 0.20 * draw(kDensityFactor);
  plan.ModesOffWhileStopped = draw(kModesOffWhileStopped) < kModesOffWhileStoppedShare;
  for (uint64_t group = 0; group < 2; ++group) {
    const uint64_t at = group * kGroupFieldStride;
    if (draw(kManualChance + at) < kManualShare) {
      plan.Manual[group].Start = static_cast<int64_t>(draw(kManualStart + at) * 600);
      plan.Manual[group].Length = 120 + static_cast<int64_t>(draw(kManualLength + at) * 180);
    }
    if (draw(kOffChance + at) < kOffShare) {
      plan.Off[group].Start = static_cast<int64_t>(draw(kOffStart + at) * 660);
      plan.Off[group].Length = 30 + static_cast<int64_t>(draw(kOffLength + at) * 90);
    }
  }
  plan.ZRRS = static_cast<float>(RoundTo(600 + 600 * draw(kSetpoints + 0), 10));
  plan.ZRRP = static_cast<float>(RoundTo(50 + 70 * draw(kSetpoints + 1), 5));
  plan.ZRFL = static_cast<float>(RoundTo(30 + 90 * draw(kSetpoints + 2), 5));
  plan.TRRS = static_cast<float>(RoundTo(50 + 70 * draw(kSetpoints + 3), 5));
  plan.TRRP = static_cast<float>(RoundTo(4 + 8 * draw(kSetpoints + 4), 0.5));
  plan.TRFL = static_cast<float>(RoundTo(4 + 10 * draw(kSetpoints + 5), 0.5));
  return plan;
}

bool HistoryPlan::Running(int section, int64_t localMinute) const {
  const int64_t sinceFirstShift = localMinute - kFirstShiftStartMinute;
  const int64_t shift = FloorDiv(sinceFirstShift, kMinutesPerShift);
  const int64_t minute = sinceFirstShift - shift * kMinutesPerShift;
  const ShiftPlan plan = Shift(section, shift);
  if (plan.StoppedAllShift) return false;
  return !(plan.StopStart >= 0 && minute >= plan.StopStart && minute < plan.StopStart + plan.StopLength);
}

ReagentMode HistoryPlan::GroupMode(const ShiftPlan& shift, int group, int64_t minuteInShift) {
  if (shift.StoppedAllShift && shift.ModesOffWhileStopped) return kModeOff;
  if (shift.Off[group].Holds(minuteInShift)) return kModeOff;
  if (shift.Manual[group].Holds(minuteInShift)) return kModeManual;
  return kModeAutomatic;
}

int64_t HistoryPlan::PowerCutStart(int64_t week) const {
  const double latest = static_cast<double>(kMinutesPerWeek - kPowerCutMinutes);
  return week * kMinutesPerWeek +
         static_cast<int64_t>(Random(kPowerCutDraw, static_cast<uint64_t>(week), 0) * latest);
}

Outage HistoryPlan::GapAt(int64_t localMinute) const {
  const int64_t cutStart = PowerCutStart(FloorDiv(localMinute, kMinutesPerWeek));
  const int64_t cutEnd = cutStart + kPowerCutMinutes;
  if (localMinute >= cutStart && localMinute < cutEnd) return Outage::PowerCut;

  // At most one medium silence in the first half of a day and one short one in the second
  // half, so that two never run into each other and become one of another length. A silence
  // that would touch the power cut is left out for the same reason.
  const int64_t day = FloorDiv(localMinute, kMinutesPerDay);
  const int64_t minute = localMinute - day * kMinutesPerDay;
  const auto silent = [&](Purpose purpose, double share, int64_t earliest, int64_t latest, int64_t shortest,
                          int64_t lengths) {
    const uint64_t key = static_cast<uint64_t>(day);
    if (Random(purpose, key, 0) >= share) return false;
    const int64_t start =
        earliest + static_cast<int64_t>(Random(purpose, key, 1) * double(latest - earliest));
    const int64_t length = shortest + static_cast<int64_t>(Random(purpose, key, 2) * double(lengths));
    const int64_t first = day * kMinutesPerDay + start;
    if (first - 1 < cutEnd && first + length + 1 > cutStart) return false;
    return minute >= start && minute < start + length;
  };
  if (silent(kMediumGapDraw, kMediumGapShare, 20, 700, 6, 5)) return Outage::Silent;
  if (silent(kShortGapDraw, kShortGapShare, 740, 1400, 3, 2)) return Outage::Silent;
  return Outage::None;
}

bool HistoryPlan::ModesOffAfterRestart(int64_t localMinute) const {
  // A power cut ends at most a week before; the one of this week may lie ahead.
  const int64_t week = FloorDiv(localMinute, kMinutesPerWeek);
  for (const int64_t cutWeek : {week, week - 1}) {
    const int64_t since = localMinute - (PowerCutStart(cutWeek) + kPowerCutMinutes);
    const double offMinutes =
        kRestartOffMinutesLeast +
        kRestartOffMinutesSpread * Random(kPowerCutDraw, static_cast<uint64_t>(cutWeek), 1);
    if (since >= 0 && double(since) < offMinutes) return true;
  }
  return false;
}

MinutePlan HistoryPlan::At(int64_t localMinute) const {
  MinutePlan minute;
  minute.Gap = GapAt(localMinute);

  const int64_t sinceFirstShift = localMinute - kFirstShiftStartMinute;
  const int64_t shiftNumber = FloorDiv(sinceFirstShift, kMinutesPerShift);
  const int64_t minuteInShift = sinceFirstShift - shiftNumber * kMinutesPerShift;
  const bool modesOffAfterRestart = ModesOffAfterRestart(localMinute);

  for (int section = 0; section < 2; ++section) {
    const ShiftPlan shift = Shift(section, shiftNumber);
    const ShiftPlan previous = Shift(section, shiftNumber - 1);
    SectionPlan& plan = minute.Sections[section];

    int running = 0;
    for (int back = 0; back < kRampMinutes; ++back) running += Running(section, localMinute - back) ? 1 : 0;
    plan.RunLevel = double(running) / kRampMinutes;

    // The new shift's working point is reached gradually; two slow waves keep the trend alive
    // within a shift.
    const double change = std::min(1.0, double(minuteInShift) / kShiftChangeMinutes);
    const double flowFactor = previous.FlowFactor + change * (shift.FlowFactor - previous.FlowFactor);
    const double densityFactor =
        previous.DensityFactor + change * (shift.DensityFactor - previous.DensityFactor);
    const double pi2 = 2 * std::numbers::pi;
    const auto phase = [&](uint64_t which) { return pi2 * Random(kWaveDraw, uint64_t(section), which); };
    const double t = double(localMinute);
    const double flowWave =
        1 + 0.03 * std::sin(pi2 * t / 131 + phase(0)) + 0.02 * std::sin(pi2 * t / 37 + phase(1));
    const double densityWave = 1 + 0.03 * std::sin(pi2 * t / 173 + phase(2));
    const double flow = kNominalPulpFlow[section] * flowFactor * flowWave;
    const double density = kNominalDensity[section] * densityFactor * densityWave;
    plan.PulpFlow = kIdlePulpFlow + plan.RunLevel * (flow - kIdlePulpFlow);
    plan.Density = kIdleDensity + plan.RunLevel * (density - kIdleDensity);

    plan.Reagents = modesOffAfterRestart ? kModeOff : GroupMode(shift, 0, minuteInShift);
    plan.Flocculant = modesOffAfterRestart ? kModeOff : GroupMode(shift, 1, minuteInShift);
    plan.ZRRS = shift.ZRRS;
    plan.ZRRP = shift.ZRRP;
    plan.ZRFL = shift.ZRFL;
    plan.TRRS = shift.TRRS;
    plan.TRRP = shift.TRRP;
    plan.TRFL = shift.TRFL;
  }
  return minute;
}
