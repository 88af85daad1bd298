#pragma once

#include <array>
#include <memory>

#include "process/flyaverage.h"
#include "process/minuterecords.h"
#include "process/setpoints.h"
#include "process/staterecord.h"
#include "process/valueblock.h"

class TConfig;

inline constexpr int kMovingAverageCount = 10;
// The longest moving average: a day of one-second cycles.
inline constexpr int kMaxAverageSize = 86400;

// The live process state of both flotation sections. Owned by the console
// core for the whole run; shared by the read and write threads, the station
// link, the TCP query threads and the windows under the rules of each member.
struct ProcessState {
  ValueBlock RawValues;       // module counts in, module output values out
  ValueBlock InstantValues;   // calibrated values
  ValueBlock AveragedValues;  // the process state proper, with the mode bytes
  SetpointBlock Setpoints;
  LiveStateRecord StateRecord;
  MinuteRecordList MinuteRecords;
  // One per input signal, by signal index; used by the read thread only.
  std::array<std::unique_ptr<TFlyAverage>, kMovingAverageCount> Averages;

  // Creates one moving average per input signal of the configuration (the
  // first kMovingAverageCount), sized to its AverageSize (1 ... kMaxAverageSize,
  // a larger size is cut and logged); earlier
  // averages are released. Not while the read thread runs.
  void CreateAverages(const TConfig& config);
  // Everything back to zero, no averages, setpoints built-in. Not while any
  // worker runs.
  void Reset();
};
