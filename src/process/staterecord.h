#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "common/tdatetime.h"
#include "process/valueblock.h"

// A time-stamped copy of the averaged value block. The minute records are
// records of the same kind.
struct StateRecord {
  TDateTime RecMoment = 0;
  std::array<float, kValueSlotCount> Values{};  // slots 14-15 carry the mode bytes
  uint8_t Saved = 0;                            // 1 = fetched by the central station

  uint8_t Mode(ModeFlag flag) const { return ModeByte(Values, flag); }
};
using MinuteRecord = StateRecord;

// The live state record: written by the read thread once a cycle, read by any
// thread slot by slot (a copy may mix two successive cycles). Saved is always 0.
class LiveStateRecord {
 public:
  LiveStateRecord();
  void Store(TDateTime moment, const std::array<float, kValueSlotCount>& values);
  StateRecord Load() const;
  TDateTime RecMoment() const { return m_recMoment.load(std::memory_order_relaxed); }
  void Clear();

 private:
  std::atomic<double> m_recMoment;
  std::array<std::atomic<float>, kValueSlotCount> m_values;
};
