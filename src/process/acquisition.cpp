#include "process/acquisition.h"

#include <QString>

#include "configuration/config.h"
#include "process/processstate.h"
#include "storage/eventlog.h"

bool TranslateIn(ProcessState& state, const TConfig& config) {
  try {
    for (const auto& signal : config.InputSignals) {
      if (!signal) continue;
      // A RecIndex outside the module's four slots would reach into the
      // other module's values or the outputs.
      const int slot = InputSlot(signal->Module, signal->RecIndex);
      if (slot < 0) continue;
      const double value = signal->CalibrateValue(state.RawValues.Get(slot), false);
      state.InstantValues.Set(slot, static_cast<float>(value));
    }
    return true;
  } catch (...) {
    AddLogMessage(QStringLiteral("Error in TranslateIn()"), 0);
    return false;
  }
}

bool UpdateStateRecord(ProcessState& state, const TConfig& config, TDateTime now) {
  try {
    StateRecord record;
    state.AveragedValues.CopyTo(record.Values);
    record.RecMoment = now;
    state.StateRecord.Store(now, record.Values);
    state.MinuteRecords.Update(record, config.MinuteRecordLimit);
    return true;
  } catch (...) {
    AddLogMessage(QStringLiteral("Error in UpdateStateRecord()"), 0);
    return false;
  }
}
