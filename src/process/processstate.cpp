#include "process/processstate.h"

#include <QString>
#include <algorithm>
#include <new>

#include "configuration/config.h"
#include "storage/eventlog.h"

void ProcessState::CreateAverages(const TConfig& config) {
  for (auto& average : Averages) average.reset();
  try {
    const std::size_t count = std::min<std::size_t>(config.InputSignals.size(), Averages.size());
    for (std::size_t i = 0; i < count; ++i) {
      const TSignalSet* signal = config.InputSignals[i].get();
      if (signal == nullptr) continue;
      int size = std::max(1, static_cast<int>(signal->AverageSize));
      if (size > kMaxAverageSize) {
        // A hand-edited size would otherwise ask for gigabytes of history.
        AddLogMessage(u"Размер среднего сигнала "_qs + signal->SignalName + u" ("_qs + QString::number(size) +
                      u") уменьшен до "_qs + QString::number(kMaxAverageSize) + u'.');
        size = kMaxAverageSize;
      }
      auto average = std::make_unique<TFlyAverage>();
      average->SetSize(size);
      Averages[i] = std::move(average);
    }
  } catch (const std::bad_alloc&) {
    // The signals without an average are left out of the averaging.
    AddLogMessage(QStringLiteral("Error in CreateAverages()"), 0);
  }
}

void ProcessState::Reset() {
  RawValues.Clear();
  InstantValues.Clear();
  AveragedValues.Clear();
  for (int i = 0; i < kSetpointCount; ++i) {
    const auto index = static_cast<SetpointIndex>(i);
    Setpoints.Set(index, kDefaultSetpoints[i]);
  }
  StateRecord.Clear();
  MinuteRecords.Clear();
  for (auto& average : Averages) average.reset();
}
