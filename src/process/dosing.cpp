#include "process/dosing.h"

#include <QString>
#include <algorithm>

#include "configuration/config.h"
#include "process/processstate.h"
#include "storage/eventlog.h"

namespace {

constexpr long double kThousandth = 0.001L;

struct Limits {
  double TRRS, TRRP, TRFL, ZRRS, ZRRP, ZRFL;
};

// Flow of one reagent in the mode of its group. The specific consumption is
// the one in force from the previous cycle, so a new setpoint reaches the
// flow one cycle after it has been taken over.
double ReagentFlow(ReagentMode mode, float load, float specificInForce, float flowSetpoint) {
  switch (mode) {
    case kModeAutomatic:
      return static_cast<double>(static_cast<long double>(load) * specificInForce * kThousandth);
    case kModeManual:
      return flowSetpoint;
    default:
      return 0;
  }
}

void DoseSection(ProcessState& state, const Limits& limits, int j) {
  ValueBlock& averaged = state.AveragedValues;
  const SetpointBlock& setpoints = state.Setpoints;
  const int section = j + 1;

  // Operators change modes and setpoints meanwhile; one reading each keeps
  // the section's flows and in-force values consistent within the cycle.
  const ReagentMode reagentMode = averaged.GroupMode(kGroupR, section);
  const ReagentMode flocculantMode = averaged.GroupMode(kGroupFL, section);
  const float setTRRS = setpoints.Get(SetpointOf(kTRRS1, section));
  const float setTRRP = setpoints.Get(SetpointOf(kTRRP1, section));
  const float setTRFL = setpoints.Get(SetpointOf(kTRFL1, section));
  const float setZRRS = setpoints.Get(SetpointOf(kZRRS1, section));
  const float setZRRP = setpoints.Get(SetpointOf(kZRRP1, section));
  const float setZRFL = setpoints.Get(SetpointOf(kZRFL1, section));

  const long double density = averaged.Get(Slot::PLF[j]);
  const long double pulpFlow = averaged.Get(Slot::RVF[j]);
  averaged.Set(Slot::RGF[j], static_cast<float>(density * pulpFlow * kThousandth));
  const float load = averaged.Get(Slot::RGF[j]);

  const double collector = ReagentFlow(reagentMode, load, averaged.Get(Slot::ZRRS[j]), setTRRS);
  averaged.Set(Slot::TRRS[j], static_cast<float>(LimitToRange(collector, 0, limits.TRRS)));
  const double frother = ReagentFlow(reagentMode, load, averaged.Get(Slot::ZRRP[j]), setTRRP);
  averaged.Set(Slot::TRRP[j], static_cast<float>(LimitToRange(frother, 0, limits.TRRP)));
  const double flocculant = ReagentFlow(flocculantMode, load, averaged.Get(Slot::ZRFL[j]), setTRFL);
  averaged.Set(Slot::TRFL[j], static_cast<float>(LimitToRange(flocculant, 0, limits.TRFL)));

  // In manual mode the in-force specific consumptions keep the values they
  // had when the group left automatic or off.
  if (reagentMode != kModeManual) {
    averaged.Set(Slot::ZRRS[j], static_cast<float>(LimitToRange(setZRRS, 0, limits.ZRRS)));
    averaged.Set(Slot::ZRRP[j], static_cast<float>(LimitToRange(setZRRP, 0, limits.ZRRP)));
  }
  if (flocculantMode != kModeManual) {
    averaged.Set(Slot::ZRFL[j], static_cast<float>(LimitToRange(setZRFL, 0, limits.ZRFL)));
  }
}

}  // namespace

double LimitToRange(double value, double low, double high) {
  if (!(value >= low)) return low;
  if (value > high) return high;
  return value;
}

bool CalcWorks(ProcessState& state, const TConfig& config) {
  try {
    const std::size_t count = std::min<std::size_t>(config.InputSignals.size(), state.Averages.size());
    for (std::size_t i = 0; i < count; ++i) {
      const TSignalSet* signal = config.InputSignals[i].get();
      TFlyAverage* average = state.Averages[i].get();
      if (signal == nullptr || average == nullptr) continue;
      const int slot = InputSlot(signal->Module, signal->RecIndex);
      if (slot < 0) continue;
      average->SetNewData(state.InstantValues.Get(slot));
      average->SetAccepted(true);
      state.AveragedValues.Set(slot, static_cast<float>(average->GetAverage()));
    }

    const Limits limits{config.MAX_TRRS, config.MAX_TRRP, config.MAX_TRFL,
                        config.MAX_ZRRS, config.MAX_ZRRP, config.MAX_ZRFL};
    for (int j = 0; j < 2; ++j) DoseSection(state, limits, j);
    return true;
  } catch (...) {
    AddLogMessage(QStringLiteral("Error in CalcWorks()"), 0);
    return false;
  }
}
