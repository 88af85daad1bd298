#include "process/setpoints.h"

namespace {

constexpr std::array<const char*, kSetpointCount> kSetpointKeys = {"TRRS1", "TRRS2", "TRRP1", "TRRP2",
                                                                   "TRFL1", "TRFL2", "ZRRS1", "ZRRS2",
                                                                   "ZRRP1", "ZRRP2", "ZRFL1", "ZRFL2"};

bool IsValidIndex(SetpointIndex index) {
  return index >= 0 && index < kSetpointCount;
}

}  // namespace

QString SetpointKey(SetpointIndex index) {
  if (!IsValidIndex(index)) return QString();
  return QString::fromLatin1(kSetpointKeys[index]);
}

SetpointBlock::SetpointBlock() {
  for (int i = 0; i < kSetpointCount; ++i) m_values[i].store(kDefaultSetpoints[i], std::memory_order_relaxed);
}

float SetpointBlock::Get(SetpointIndex index) const {
  if (!IsValidIndex(index)) return 0;
  return m_values[index].load(std::memory_order_relaxed);
}

void SetpointBlock::Set(SetpointIndex index, float value) {
  if (!IsValidIndex(index)) return;
  m_values[index].store(value, std::memory_order_relaxed);
}
