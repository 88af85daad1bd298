#include "process/valueblock.h"

#include <gtest/gtest.h>

#include <QString>
#include <cstring>

#include "process/setpoints.h"
#include "process/staterecord.h"

namespace {

TEST(ValueBlockSlots, InputAndOutputSlotsOfModules) {
  struct Case {
    int module, recIndex, input, output;
  };
  const Case cases[] = {
      {0, 0, 0, 8},  {0, 2, 2, 10},  {0, 3, 3, -1},   {1, 0, 4, 11},  {1, 2, 6, 13},
      {1, 3, 7, -1}, {0, 4, -1, -1}, {0, -1, -1, -1}, {2, 0, -1, -1}, {-1, 0, -1, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(InputSlot(c.module, c.recIndex), c.input) << c.module << "/" << c.recIndex;
    EXPECT_EQ(OutputSlot(c.module, c.recIndex), c.output) << c.module << "/" << c.recIndex;
  }
}

TEST(ValueBlockSlots, OutOfRangeSlotsReadZeroAndIgnoreWrites) {
  ValueBlock block;
  for (int slot = 0; slot < kValueSlotCount; ++slot) {
    if (slot != 14 && slot != 15) block.Set(slot, static_cast<float>(slot + 1));
  }
  block.Set(-1, 99);
  block.Set(kValueSlotCount, 99);
  EXPECT_EQ(block.Get(-1), 0);
  EXPECT_EQ(block.Get(kValueSlotCount), 0);
  for (int slot = 0; slot < kValueSlotCount; ++slot) {
    if (slot == 14 || slot == 15) continue;
    EXPECT_EQ(block.Get(slot), slot + 1) << slot;
  }
  for (int flag = 0; flag < kModeFlagCount; ++flag) EXPECT_EQ(block.GetMode(static_cast<ModeFlag>(flag)), 0);
}

TEST(ValueBlockModes, ModeBytesTravelThroughSlots14And15) {
  ValueBlock block;
  block.SetMode(F1AR, 1);
  block.SetMode(F2RR, 1);
  block.SetMode(F2RFL, 1);

  std::array<float, kValueSlotCount> values{};
  block.CopyTo(values);
  uint8_t bytes[kModeFlagCount];
  std::memcpy(bytes, &values[14], sizeof bytes);
  const uint8_t expected[kModeFlagCount] = {1, 0, 0, 1, 0, 0, 0, 1};
  for (int k = 0; k < kModeFlagCount; ++k) {
    EXPECT_EQ(bytes[k], expected[k]) << "byte " << k;
    EXPECT_EQ(ModeByte(values, static_cast<ModeFlag>(k)), expected[k]) << "flag " << k;
  }

  ValueBlock copy;
  copy.Set(14, block.Get(14));
  copy.Set(15, block.Get(15));
  for (int k = 0; k < kModeFlagCount; ++k) {
    EXPECT_EQ(copy.GetMode(static_cast<ModeFlag>(k)), expected[k]) << "flag " << k;
  }
}

TEST(ValueBlockModes, SetModeByteChangesOnlyItsByte) {
  std::array<float, kValueSlotCount> values{};
  values[13] = 1.5f;
  values[16] = 2.5f;
  SetModeByte(values, F2AFL, 1);
  SetModeByte(values, F1RR, 1);
  SetModeByte(values, F1RR, 0);
  for (int k = 0; k < kModeFlagCount; ++k) {
    EXPECT_EQ(ModeByte(values, static_cast<ModeFlag>(k)), k == F2AFL ? 1 : 0) << "flag " << k;
  }
  EXPECT_EQ(values[13], 1.5f);
  EXPECT_EQ(values[16], 2.5f);
}

TEST(ValueBlockModes, FlagsOfGroups) {
  EXPECT_EQ(AutomaticFlag(kGroupR, 1), F1AR);
  EXPECT_EQ(ManualFlag(kGroupR, 1), F1RR);
  EXPECT_EQ(AutomaticFlag(kGroupR, 2), F2AR);
  EXPECT_EQ(ManualFlag(kGroupR, 2), F2RR);
  EXPECT_EQ(AutomaticFlag(kGroupFL, 1), F1AFL);
  EXPECT_EQ(ManualFlag(kGroupFL, 1), F1RFL);
  EXPECT_EQ(AutomaticFlag(kGroupFL, 2), F2AFL);
  EXPECT_EQ(ManualFlag(kGroupFL, 2), F2RFL);
}

TEST(ValueBlockModes, ModeFromFlagsAndCodes) {
  EXPECT_EQ(ModeFromFlags(0, 0), kModeOff);
  EXPECT_EQ(ModeFromFlags(0, 1), kModeManual);
  EXPECT_EQ(ModeFromFlags(1, 0), kModeAutomatic);
  EXPECT_EQ(ModeFromFlags(1, 1), kModeAutomatic);
  EXPECT_EQ(ModeFromFlags(0, 7), kModeManual);

  EXPECT_EQ(ModeFromCode(2), kModeAutomatic);
  EXPECT_EQ(ModeFromCode(1), kModeManual);
  for (int code : {0, 3, -1, 255}) EXPECT_EQ(ModeFromCode(code), kModeOff) << code;
}

TEST(ValueBlockModes, SetGroupModeWritesBothFlagsOfThatGroupOnly) {
  ValueBlock block;
  block.SetMode(F1AFL, 1);
  block.SetMode(F2AR, 1);
  block.SetMode(F2RR, 1);
  EXPECT_EQ(block.GroupMode(kGroupR, 2), kModeAutomatic);

  block.SetGroupMode(kGroupR, 2, kModeManual);
  EXPECT_EQ(block.GetMode(F2AR), 0);
  EXPECT_EQ(block.GetMode(F2RR), 1);
  EXPECT_EQ(block.GroupMode(kGroupR, 2), kModeManual);

  block.SetGroupMode(kGroupR, 2, kModeAutomatic);
  EXPECT_EQ(block.GetMode(F2AR), 1);
  EXPECT_EQ(block.GetMode(F2RR), 0);

  block.SetGroupMode(kGroupR, 2, kModeOff);
  EXPECT_EQ(block.GroupMode(kGroupR, 2), kModeOff);

  EXPECT_EQ(block.GroupMode(kGroupFL, 1), kModeAutomatic);
  EXPECT_EQ(block.GroupMode(kGroupR, 1), kModeOff);
  EXPECT_EQ(block.GroupMode(kGroupFL, 2), kModeOff);
}

TEST(ValueBlockModes, ClearResetsSlotsAndModes) {
  ValueBlock block;
  block.Set(3, 5);
  block.SetMode(F2RFL, 1);
  block.Clear();
  EXPECT_EQ(block.Get(3), 0);
  EXPECT_EQ(block.GetMode(F2RFL), 0);
}

TEST(Setpoints, DefaultsKeysAndRange) {
  SetpointBlock setpoints;
  for (int i = 0; i < kSetpointCount; ++i) {
    EXPECT_EQ(setpoints.Get(static_cast<SetpointIndex>(i)), kDefaultSetpoints[i]);
  }
  EXPECT_EQ(setpoints.Get(kTRRS1), 30);
  EXPECT_EQ(setpoints.Get(kZRRP2), 90);

  const char* keys[] = {"TRRS1", "TRRS2", "TRRP1", "TRRP2", "TRFL1", "TRFL2",
                        "ZRRS1", "ZRRS2", "ZRRP1", "ZRRP2", "ZRFL1", "ZRFL2"};
  for (int i = 0; i < kSetpointCount; ++i) {
    EXPECT_EQ(SetpointKey(static_cast<SetpointIndex>(i)), QString::fromLatin1(keys[i]));
  }
  EXPECT_EQ(SetpointOf(kTRFL1, 2), kTRFL2);

  setpoints.Set(kSetpointCount, 5);
  setpoints.Set(static_cast<SetpointIndex>(-1), 5);
  EXPECT_EQ(setpoints.Get(kSetpointCount), 0);
  setpoints.Set(kZRFL2, 12.5f);
  EXPECT_EQ(setpoints.Get(kZRFL2), 12.5f);
  EXPECT_EQ(setpoints.Get(kZRFL1), 10);
}

TEST(LiveStateRecord, StoreLoadAndClear) {
  LiveStateRecord live;
  std::array<float, kValueSlotCount> values{};
  for (int slot = 0; slot < kValueSlotCount; ++slot) values[slot] = static_cast<float>(slot) * 0.5f;
  live.Store(39464.5, values);

  const StateRecord record = live.Load();
  EXPECT_EQ(record.RecMoment, 39464.5);
  EXPECT_EQ(live.RecMoment(), 39464.5);
  EXPECT_EQ(record.Values, values);
  EXPECT_EQ(record.Saved, 0);

  live.Clear();
  const StateRecord cleared = live.Load();
  EXPECT_EQ(cleared.RecMoment, 0);
  EXPECT_EQ(cleared.Values, (std::array<float, kValueSlotCount>{}));
}

}  // namespace
