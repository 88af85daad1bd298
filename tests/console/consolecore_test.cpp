#include "console/consolecore.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

#include "common/inifile.h"

namespace {

TEST(ConsoleCore, OpenUsesBuiltInSetpointsWithoutAFile) {
  QTemporaryDir home;
  TConsoleCore core(home.path());
  core.Open();
  for (int i = 0; i < kSetpointCount; ++i) {
    EXPECT_FLOAT_EQ(core.State().Setpoints.Get(static_cast<SetpointIndex>(i)), kDefaultSetpoints[i]);
  }
  EXPECT_EQ(core.State().MinuteRecords.Count(), 0u);
  ASSERT_NE(core.State().Averages[0], nullptr);
  EXPECT_EQ(core.State().Averages[kInputSignalCount], nullptr);
}

TEST(ConsoleCore, SetpointsSurviveARestartWithACommaSeparator) {
  QTemporaryDir home;
  {
    TConsoleCore core(home.path());
    core.Ini().SetDecimalSeparator(u',');
    core.Open();
    core.State().Setpoints.Set(kZRRP2, 0.1f);
    core.State().Setpoints.Set(kTRRS1, 12.5f);
    ASSERT_TRUE(core.Close());
  }
  EXPECT_EQ(IniFile(home.filePath("flotation-console.INI")).ReadString("LastSet", "TRRS1", ""), "12,5");
  TConsoleCore again(home.path());
  again.Open();
  EXPECT_EQ(again.State().Setpoints.Get(kZRRP2), 0.1f);
  EXPECT_EQ(again.State().Setpoints.Get(kTRRS1), 12.5f);
}

TEST(ConsoleCore, CycleStepsRunOnTheInjectedClock) {
  QTemporaryDir home;
  TDateTime now = EncodeDateTime(2008, 1, 17, 11, 43, 15);
  TConsoleCore core(home.path(), [&] { return now; });
  core.Open();
  core.State().RawValues.Set(0, 300);
  core.State().RawValues.Set(1, 200);
  ASSERT_TRUE(core.TranslateIn());
  ASSERT_TRUE(core.UpdateStateRecord());
  ASSERT_TRUE(core.CalcWorks());
  EXPECT_DOUBLE_EQ(core.State().StateRecord.RecMoment(), now);
  EXPECT_FLOAT_EQ(core.State().AveragedValues.Get(Slot::RGF[0]), 60.0f);
}

}  // namespace
