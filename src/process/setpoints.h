#pragma once

#include <QString>
#include <array>
#include <atomic>

// The twelve operator setpoints, in this order.
// clang-format off
enum SetpointIndex {
  kTRRS1 = 0, kTRRS2, kTRRP1, kTRRP2, kTRFL1, kTRFL2,
  kZRRS1, kZRRS2, kZRRP1, kZRRP2, kZRFL1, kZRFL2,
  kSetpointCount
};
// clang-format on

// Built-in values, used at a first start and as defaults for "LastSet".
inline constexpr std::array<float, kSetpointCount> kDefaultSetpoints = {30, 30, 70, 70, 10, 10,
                                                                        40, 40, 90, 90, 10, 10};

// Setpoint of a quantity for section 1 or 2.
inline SetpointIndex SetpointOf(SetpointIndex firstOfPair, int section) {
  return static_cast<SetpointIndex>(firstOfPair + (section - 1));
}

// Key in section "LastSet": "TRRS1", "TRRS2", ... "ZRFL2".
QString SetpointKey(SetpointIndex index);

// Flows in l/h and specific consumptions in ml/t. Written one value at a time
// by the user-interface thread and the station link, read by the read thread.
class SetpointBlock {
 public:
  SetpointBlock();
  float Get(SetpointIndex index) const;        // out of range reads 0
  void Set(SetpointIndex index, float value);  // out of range is ignored

 private:
  std::array<std::atomic<float>, kSetpointCount> m_values;
};
