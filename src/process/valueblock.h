#pragma once

#include <array>
#include <atomic>
#include <cstdint>

// Slots of a value block, section 1 / section 2.
namespace Slot {
inline constexpr int PLF[2] = {0, 4};
inline constexpr int RVF[2] = {1, 5};
inline constexpr int URFK[2] = {2, 6};
inline constexpr int URFK12[2] = {3, 7};
inline constexpr int OARS[2] = {8, 11};
inline constexpr int OARP[2] = {9, 12};
inline constexpr int OAFL[2] = {10, 13};
inline constexpr int ModeBytesFirst = 14;  // slots 14 and 15 carry the eight mode bytes
inline constexpr int RGF[2] = {16, 17};
inline constexpr int TRRS[2] = {18, 19};
inline constexpr int TRRP[2] = {20, 21};
inline constexpr int TRFL[2] = {22, 23};
inline constexpr int ZRRS[2] = {24, 25};
inline constexpr int ZRRP[2] = {26, 27};
inline constexpr int ZRFL[2] = {28, 29};
}  // namespace Slot

inline constexpr int kValueSlotCount = 30;
inline constexpr int kInputSlotsPerModule = 4;
inline constexpr int kOutputSlotsPerModule = 3;
inline constexpr int kFirstOutputSlot = 8;

// Slot of an input signal's value, or -1 when module or RecIndex is out of
// range (such a signal has no slot and is never read or written).
int InputSlot(int module, int recIndex);
// Slot of an output signal's value, or -1 when out of range.
int OutputSlot(int module, int recIndex);

// The eight mode flags, in byte order within slots 14-15.
enum ModeFlag { F1AR = 0, F2AR, F1RR, F2RR, F1AFL, F2AFL, F1RFL, F2RFL, kModeFlagCount };

// Control mode of a reagent group.
enum ReagentMode { kModeOff = 0, kModeManual = 1, kModeAutomatic = 2 };

// Reagent groups: the flotation reagents (collector and frother) and the
// flocculant of each section.
enum ReagentGroup { kGroupR = 0, kGroupFL = 1 };

// Automatic and manual flag of a group of a section (1 or 2).
ModeFlag AutomaticFlag(ReagentGroup group, int section);
ModeFlag ManualFlag(ReagentGroup group, int section);
// Automatic wins over manual; neither is off.
ReagentMode ModeFromFlags(uint8_t automaticFlag, uint8_t manualFlag);
// Mode code to flags: 2 automatic, 1 manual, anything else off.
ReagentMode ModeFromCode(int code);

// 30 single-precision slots in the layout above. Each slot (and each mode
// byte) is loaded and stored on its own, so threads share a block without a
// lock; a reader may see values of two successive cycles side by side.
class ValueBlock {
 public:
  ValueBlock();

  // Out-of-range slots read 0 and ignore writes. Slots 14-15 read and write
  // the mode bytes as the floats they occupy.
  float Get(int slot) const;
  void Set(int slot, float value);

  uint8_t GetMode(ModeFlag flag) const;
  void SetMode(ModeFlag flag, uint8_t value);
  ReagentMode GroupMode(ReagentGroup group, int section) const;
  // Sets the pair of flags of a group: the automatic flag first, then the manual.
  void SetGroupMode(ReagentGroup group, int section, ReagentMode mode);

  // Copies the block slot by slot, mode bytes packed into slots 14-15.
  void CopyTo(std::array<float, kValueSlotCount>& out) const;
  void Clear();

 private:
  std::array<std::atomic<float>, kValueSlotCount> m_slots;  // 14-15 unused: see m_modes
  std::array<std::atomic<uint8_t>, kModeFlagCount> m_modes;
};

// Packs and unpacks mode bytes in a plain slot array (records).
uint8_t ModeByte(const std::array<float, kValueSlotCount>& values, ModeFlag flag);
void SetModeByte(std::array<float, kValueSlotCount>& values, ModeFlag flag, uint8_t value);
