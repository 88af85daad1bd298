#include "console/consolecore.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "common/inifile.h"
#include "support/eventlogcapture.h"
#include "support/files.h"
#include "support/waitfor.h"

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

// What a kill -9 leaves: the core goes without its exit save.
TEST(ConsoleCore, SetpointsReachTheFileWhileRunningAndOnlyTheyDo) {
  QTemporaryDir home;
  const QString path = home.filePath("flotation-console.INI");
  ASSERT_TRUE(WriteFileBytes(path, "[MySQL]\r\nHost=db1\r\n[Plant]\r\nNote=kept by hand\r\n"));
  {
    TConsoleCore core(home.path());
    core.Open();
    // A settings window's edit that was never applied.
    core.Config().Host = QStringLiteral("half-edited");
    const CommandReply reply =
        core.CommandSet().ExecCommand(u"SetZRRS1"_qs, u"45"_qs, u"TCP 10.0.0.7:51234"_qs);
    ASSERT_TRUE(reply.Recognised);
    // The setpoint window's way.
    core.State().Setpoints.Set(kTRRP2, 75.5f);
    ASSERT_TRUE(WaitFor([&] {
      const IniFile ini(path);
      return ini.ReadFloat("LastSet", "ZRRS1", 0) == 45 && ini.ReadFloat("LastSet", "TRRP2", 0) == 75.5;
    })) << ReadFileBytes(path).constData();
  }
  const IniFile ini(path);
  EXPECT_EQ(ini.ReadString("MySQL", "Host", ""), "db1");
  EXPECT_EQ(ini.ReadString("Plant", "Note", ""), "kept by hand");
  EXPECT_EQ(ini.ReadSection("LastSet").size(), kSetpointCount);

  TConsoleCore again(home.path());
  again.Open();
  EXPECT_EQ(again.State().Setpoints.Get(kZRRS1), 45.0f);
  EXPECT_EQ(again.State().Setpoints.Get(kTRRP2), 75.5f);
  EXPECT_EQ(again.State().Setpoints.Get(kZRRS2), kDefaultSetpoints[kZRRS2]);
  EXPECT_EQ(again.Config().Host.Get(), "db1");
}

// The settings window's apply and the writer share the file; neither may put
// back what the other has just replaced.
TEST(ConsoleCore, SettingsSavesAndSetpointWritesKeepEachOthersChanges) {
  QTemporaryDir home;
  const QString path = home.filePath("flotation-console.INI");
  TConsoleCore core(home.path());
  core.Open();
  for (int round = 1; round <= 20; ++round) {
    core.State().Setpoints.Set(kTRRS1, static_cast<float>(round));
    core.Config().MAX_TRRS = 1000 + round;
    ASSERT_TRUE(core.SaveConfig());
  }
  ASSERT_TRUE(WaitFor([&] { return IniFile(path).ReadFloat("LastSet", "TRRS1", 0) == 20; }));
  EXPECT_EQ(IniFile(path).ReadFloat("CONST", "MAX_TRRS", 0), 1020);
}

TEST(ConsoleCore, AnUnwritableFileIsLoggedOnceAndTheConsoleGoesOn) {
  QTemporaryDir home;
  // A folder where the file should be: it reads as empty and cannot be replaced.
  ASSERT_TRUE(QDir(home.path()).mkpath("flotation-console.INI/occupied"));
  DrainEventLog();
  TConsoleCore core(home.path());
  core.Open();
  const auto writerFailures = [] {
    int count = 0;
    for (const TEventFIFO_Rec& record : DrainEventLog())
      count += record.Text.startsWith(u"Не удалось записать уставки в файл"_qs) ? 1 : 0;
    return count;
  };
  core.State().Setpoints.Set(kZRRS1, 45);
  int failures = 0;
  ASSERT_TRUE(WaitFor([&] { return (failures += writerFailures()) > 0; }));
  for (int value = 46; value < 50; ++value) {
    core.State().Setpoints.Set(kZRRS1, static_cast<float>(value));
    ASSERT_TRUE(core.CommandSet().ExecCommand(u"SetZRRS2"_qs, QString::number(value), u"COM1"_qs).Recognised);
  }
  EXPECT_EQ(core.State().Setpoints.Get(kZRRS2), 49.0f);
  EXPECT_FALSE(core.Close());
  EXPECT_EQ(failures + writerFailures(), 1);
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
