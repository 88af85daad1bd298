#include "process/valueblock.h"

#include <cstring>

namespace {

constexpr int kModeSlotCount = 2;
constexpr int kBytesPerSlot = static_cast<int>(sizeof(float));
static_assert(kModeSlotCount * kBytesPerSlot == kModeFlagCount);

bool IsModeSlot(int slot) {
  return slot >= Slot::ModeBytesFirst && slot < Slot::ModeBytesFirst + kModeSlotCount;
}

bool IsValidSlot(int slot) {
  return slot >= 0 && slot < kValueSlotCount;
}

bool IsValidFlag(ModeFlag flag) {
  return flag >= 0 && flag < kModeFlagCount;
}

}  // namespace

int InputSlot(int module, int recIndex) {
  if (module < 0 || module > 1 || recIndex < 0 || recIndex >= kInputSlotsPerModule) return -1;
  return kInputSlotsPerModule * module + recIndex;
}

int OutputSlot(int module, int recIndex) {
  if (module < 0 || module > 1 || recIndex < 0 || recIndex >= kOutputSlotsPerModule) return -1;
  return kFirstOutputSlot + kOutputSlotsPerModule * module + recIndex;
}

ModeFlag AutomaticFlag(ReagentGroup group, int section) {
  const bool second = section == 2;
  if (group == kGroupFL) return second ? F2AFL : F1AFL;
  return second ? F2AR : F1AR;
}

ModeFlag ManualFlag(ReagentGroup group, int section) {
  const bool second = section == 2;
  if (group == kGroupFL) return second ? F2RFL : F1RFL;
  return second ? F2RR : F1RR;
}

ReagentMode ModeFromFlags(uint8_t automaticFlag, uint8_t manualFlag) {
  if (automaticFlag != 0) return kModeAutomatic;
  if (manualFlag != 0) return kModeManual;
  return kModeOff;
}

ReagentMode ModeFromCode(int code) {
  if (code == kModeAutomatic) return kModeAutomatic;
  if (code == kModeManual) return kModeManual;
  return kModeOff;
}

ValueBlock::ValueBlock() {
  Clear();
}

float ValueBlock::Get(int slot) const {
  if (!IsValidSlot(slot)) return 0;
  if (IsModeSlot(slot)) {
    // The bytes lie in memory in flag order, as in a record's slot array.
    uint8_t bytes[kBytesPerSlot];
    const int first = (slot - Slot::ModeBytesFirst) * kBytesPerSlot;
    for (int k = 0; k < kBytesPerSlot; ++k) bytes[k] = m_modes[first + k].load(std::memory_order_relaxed);
    float value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
  }
  return m_slots[slot].load(std::memory_order_relaxed);
}

void ValueBlock::Set(int slot, float value) {
  if (!IsValidSlot(slot)) return;
  if (IsModeSlot(slot)) {
    uint8_t bytes[kBytesPerSlot];
    std::memcpy(bytes, &value, sizeof value);
    const int first = (slot - Slot::ModeBytesFirst) * kBytesPerSlot;
    for (int k = 0; k < kBytesPerSlot; ++k) m_modes[first + k].store(bytes[k], std::memory_order_relaxed);
    return;
  }
  m_slots[slot].store(value, std::memory_order_relaxed);
}

uint8_t ValueBlock::GetMode(ModeFlag flag) const {
  if (!IsValidFlag(flag)) return 0;
  return m_modes[flag].load(std::memory_order_relaxed);
}

void ValueBlock::SetMode(ModeFlag flag, uint8_t value) {
  if (!IsValidFlag(flag)) return;
  m_modes[flag].store(value, std::memory_order_relaxed);
}

ReagentMode ValueBlock::GroupMode(ReagentGroup group, int section) const {
  return ModeFromFlags(GetMode(AutomaticFlag(group, section)), GetMode(ManualFlag(group, section)));
}

void ValueBlock::SetGroupMode(ReagentGroup group, int section, ReagentMode mode) {
  SetMode(AutomaticFlag(group, section), mode == kModeAutomatic ? 1 : 0);
  SetMode(ManualFlag(group, section), mode == kModeManual ? 1 : 0);
}

void ValueBlock::CopyTo(std::array<float, kValueSlotCount>& out) const {
  for (int slot = 0; slot < kValueSlotCount; ++slot) out[slot] = Get(slot);
}

void ValueBlock::Clear() {
  for (auto& slot : m_slots) slot.store(0, std::memory_order_relaxed);
  for (auto& mode : m_modes) mode.store(0, std::memory_order_relaxed);
}

uint8_t ModeByte(const std::array<float, kValueSlotCount>& values, ModeFlag flag) {
  if (!IsValidFlag(flag)) return 0;
  uint8_t bytes[kModeFlagCount];
  std::memcpy(bytes, &values[Slot::ModeBytesFirst], sizeof bytes);
  return bytes[flag];
}

void SetModeByte(std::array<float, kValueSlotCount>& values, ModeFlag flag, uint8_t value) {
  if (!IsValidFlag(flag)) return;
  uint8_t bytes[kModeFlagCount];
  std::memcpy(bytes, &values[Slot::ModeBytesFirst], sizeof bytes);
  bytes[flag] = value;
  std::memcpy(&values[Slot::ModeBytesFirst], bytes, sizeof bytes);
}
