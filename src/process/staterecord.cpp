#include "process/staterecord.h"

LiveStateRecord::LiveStateRecord() {
  Clear();
}

void LiveStateRecord::Store(TDateTime moment, const std::array<float, kValueSlotCount>& values) {
  for (int slot = 0; slot < kValueSlotCount; ++slot) {
    m_values[slot].store(values[slot], std::memory_order_relaxed);
  }
  m_recMoment.store(moment, std::memory_order_relaxed);
}

StateRecord LiveStateRecord::Load() const {
  StateRecord record;
  record.RecMoment = m_recMoment.load(std::memory_order_relaxed);
  for (int slot = 0; slot < kValueSlotCount; ++slot) {
    record.Values[slot] = m_values[slot].load(std::memory_order_relaxed);
  }
  record.Saved = 0;
  return record;
}

void LiveStateRecord::Clear() {
  m_recMoment.store(0, std::memory_order_relaxed);
  for (auto& value : m_values) value.store(0, std::memory_order_relaxed);
}
