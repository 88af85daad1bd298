#include "historygenerator.h"

#include <array>
#include <optional>

#include "common/tdatetime.h"
#include "configuration/config.h"
#include "historyplan.h"
#include "process/acquisition.h"
#include "process/dosing.h"
#include "process/processstate.h"
#include "processmodel.h"
#include "station/commandset.h"

namespace {

constexpr int kSecondsPerMinute = 60;
constexpr double kSecondsPerDay = 86400;
// The simulator's channels 0 and 1; 2 and 3 are the tank levels.
constexpr int kDensityChannel = 0;
constexpr int kPulpFlowChannel = 1;
// Where the simulator's density and pulp flow settle, as shares of full scale: the plan's
// values are met at these points and the model's wandering around them is kept.
constexpr double kModelDensityShare = 0.45;
constexpr double kModelFlowShare = 0.60;
constexpr double kPercent = 100;

// The console as the read thread sees it: the built-in configuration, the process state and
// one simulated module per section.
struct Console {
  explicit Console(uint64_t seed)
      : Models{ProcessModel(seed, Config.I7017_1_addr), ProcessModel(seed, Config.I7017_2_addr)} {
    Restart();
  }

  // A console that has just started: everything zero, every group off.
  void Restart() {
    State.Reset();
    State.CreateAverages(Config);
  }

  TConfig Config;  // before Models, which take the modules' addresses from it
  ProcessState State;
  std::array<ProcessModel, 2> Models;
};

// The module's channels as the plan wants them. With the built-in calibration (the identity)
// a count is the physical value, so the counts are chosen in g/l, m³/h and %.
std::array<double, ProcessModel::kChannelCount> ChannelCounts(ProcessModel& model, double elapsedSeconds,
                                                              const SectionPlan& plan) {
  const std::array<int, ProcessModel::kChannelCount> counts = model.CountsAt(elapsedSeconds);
  std::array<double, ProcessModel::kChannelCount> channels{};
  for (int channel = 0; channel < ProcessModel::kChannelCount; ++channel) {
    const double share = double(counts[channel]) / ProcessModel::kFullScale;
    switch (channel) {
      case kDensityChannel:
        channels[channel] = plan.Density * share / kModelDensityShare;
        break;
      case kPulpFlowChannel:
        channels[channel] = plan.PulpFlow * share / kModelFlowShare;
        break;
      default:
        channels[channel] = share * kPercent;
        break;
    }
  }
  return channels;
}

// What the console's input polling does with a module's answer: each signal of the module takes
// its channel into its slot.
void PutIntoRawValues(Console& console, int module,
                      const std::array<double, ProcessModel::kChannelCount>& channels) {
  for (const auto& signal : console.Config.InputSignals) {
    if (signal->Module != module) continue;
    const int chanel = signal->Chanel;
    const int slot = InputSlot(module, signal->RecIndex);
    if (chanel < 0 || chanel >= ProcessModel::kChannelCount || slot < 0) continue;
    console.State.RawValues.Set(slot, static_cast<float>(channels[chanel]));
  }
}

// The operators' part: modes and setpoints as the plan has them for this minute.
void ApplyOperators(ProcessState& state, const MinutePlan& plan) {
  for (int section = 1; section <= 2; ++section) {
    const SectionPlan& wanted = plan.Sections[section - 1];
    state.AveragedValues.SetGroupMode(kGroupR, section, wanted.Reagents);
    state.AveragedValues.SetGroupMode(kGroupFL, section, wanted.Flocculant);
    state.Setpoints.Set(SetpointOf(kZRRS1, section), wanted.ZRRS);
    state.Setpoints.Set(SetpointOf(kZRRP1, section), wanted.ZRRP);
    state.Setpoints.Set(SetpointOf(kZRFL1, section), wanted.ZRFL);
    state.Setpoints.Set(SetpointOf(kTRRS1, section), wanted.TRRS);
    state.Setpoints.Set(SetpointOf(kTRRP1, section), wanted.TRRP);
    state.Setpoints.Set(SetpointOf(kTRFL1, section), wanted.TRFL);
  }
}

}  // namespace

bool GenerateHistory(uint64_t seed, const QDateTime& firstMinute, int64_t minuteCount,
                     const MinuteSink& sink) {
  const HistoryPlan plan(seed);
  Console console(seed);
  ProcessState& state = console.State;
  QDateTime first = firstMinute.toUTC();
  first.setTime(QTime(first.time().hour(), first.time().minute()));
  bool powerWasCut = false;

  for (int64_t index = 0; index < minuteCount; ++index) {
    // Stepping in UTC and converting each minute keeps a day of daylight-saving change the
    // length it really had.
    const TDateTime minuteStart =
        DateTimeFromQDateTime(first.addSecs(index * kSecondsPerMinute).toLocalTime());
    const MinutePlan minute = plan.At(HistoryPlan::LocalMinuteOf(minuteStart));
    if (minute.Gap != Outage::None) {
      powerWasCut = powerWasCut || minute.Gap == Outage::PowerCut;
      continue;
    }
    if (powerWasCut) {
      console.Restart();
      powerWasCut = false;
    }
    ApplyOperators(state, minute);

    for (int second = 0; second < kSecondsPerMinute; ++second) {
      const double elapsed = double(index * kSecondsPerMinute + second);
      for (int module = 0; module < 2; ++module)
        PutIntoRawValues(console, module,
                         ChannelCounts(console.Models[module], elapsed, minute.Sections[module]));
      // As on the read thread, a step that fails ends the cycle.
      const TDateTime now = minuteStart + double(second) / kSecondsPerDay;
      if (TranslateIn(state, console.Config) && UpdateStateRecord(state, console.Config, now))
        CalcWorks(state, console.Config);
    }
    // A minute in which no cycle got through has no record of its own.
    const std::optional<MinuteRecord> record = state.MinuteRecords.Last();
    if (record && record->RecMoment >= minuteStart && !sink(RecordToText(*record, true).toLatin1()))
      return false;
  }
  return true;
}
