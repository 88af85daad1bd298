// The console core keeps its unconfirmed minutes across a restart, as the
// central station sees them through the command set.

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include "common/inifile.h"
#include "console/consolecore.h"
#include "support/eventlogcapture.h"

namespace {

class ConsoleCoreJournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_home.isValid());
    DrainEventLog();
  }

  std::unique_ptr<TConsoleCore> Console() {
    auto core = std::make_unique<TConsoleCore>(m_home.path(), [this] { return m_now; });
    core->Open();
    return core;
  }

  // One acquisition cycle at hh:mm:ss with the process moving.
  void CycleAt(TConsoleCore& core, int hour, int minute, int second) {
    m_now = EncodeDateTime(2008, 1, 17, hour, minute, second);
    core.State().RawValues.Set(0, static_cast<float>(100 + minute * 7 + second));
    ASSERT_TRUE(core.TranslateIn());
    ASSERT_TRUE(core.CalcWorks());
    ASSERT_TRUE(core.UpdateStateRecord());
  }

  static QString Ask(TConsoleCore& core, const QString& command, const QString& data = {}) {
    return core.CommandSet().ExecCommand(command, data, u"127.0.0.1"_qs, u'.').Text;
  }

  static QString Logged() {
    QString text;
    for (const TEventFIFO_Rec& r : DrainEventLog()) text += r.Text + u'\n';
    return text;
  }

  QTemporaryDir m_home;
  TDateTime m_now = EncodeDateTime(2008, 1, 17, 10, 0, 0);
};

TEST_F(ConsoleCoreJournalTest, ARestartedConsoleOffersItsUnconfirmedMinutesAgainWithTheirValues) {
  QString oldest;
  {
    auto core = Console();
    for (int minute = 0; minute < 4; ++minute) {
      CycleAt(*core, 10, minute, 20);
      CycleAt(*core, 10, minute, 50);
    }
    ASSERT_EQ(Ask(*core, u"SetSaveFlag"_qs, u"2008-01-17 10:01:00"_qs), u"SetSaveFlag_OK:"_qs);
    ASSERT_EQ(Ask(*core, u"GetUnsavedCount"_qs), u"GetUnsavedCount_OK:3"_qs);  // two ended, one running
    oldest = Ask(*core, u"GetUnsavedRecord"_qs);
    ASSERT_TRUE(core->Close());
  }
  EXPECT_TRUE(QFileInfo::exists(m_home.filePath(u"minutes.journal"_qs)));

  auto core = Console();
  EXPECT_TRUE(Logged().contains(u"восстановлено записей, не подтверждённых станцией: 2."_qs));
  EXPECT_EQ(Ask(*core, u"GetUnsavedCount"_qs), u"GetUnsavedCount_OK:2"_qs);
  EXPECT_EQ(Ask(*core, u"GetUnsavedRecord"_qs), oldest);
  ASSERT_EQ(Ask(*core, u"SetSaveFlag"_qs, u"2008-01-17 10:00:00"_qs), u"SetSaveFlag_OK:"_qs);
  EXPECT_TRUE(Ask(*core, u"GetUnsavedRecord"_qs)
                  .startsWith(u"GetUnsavedRecord_OK:RecMoment='2008-01-17 10:02:00'"_qs));
  // The console goes on with the minute it now lives in.
  CycleAt(*core, 10, 9, 0);
  EXPECT_EQ(Ask(*core, u"GetUnsavedCount"_qs), u"GetUnsavedCount_OK:2"_qs);
}

TEST_F(ConsoleCoreJournalTest, SwitchedOffTheMinutesLiveInMemoryOnly) {
  {
    IniFile ini(m_home.filePath(u"flotation-console.INI"_qs));
    ASSERT_TRUE(ini.WriteInteger(u"System"_qs, u"MinuteJournal"_qs, 0));
  }
  {
    auto core = Console();
    EXPECT_EQ(core->MinuteJournal(), nullptr);
    CycleAt(*core, 10, 0, 50);
    CycleAt(*core, 10, 1, 50);
    EXPECT_EQ(Ask(*core, u"GetUnsavedCount"_qs), u"GetUnsavedCount_OK:2"_qs);
    ASSERT_TRUE(core->Close());
  }
  EXPECT_FALSE(QFileInfo::exists(m_home.filePath(u"minutes.journal"_qs)));
  auto core = Console();
  EXPECT_EQ(Ask(*core, u"GetUnsavedCount"_qs), u"GetUnsavedCount_OK:0"_qs);
}

TEST_F(ConsoleCoreJournalTest, AJournalThatCannotBeWrittenLeavesTheConsoleRunningInMemory) {
  ASSERT_TRUE(QDir(m_home.path()).mkdir(u"minutes.journal"_qs));
  auto core = Console();
  EXPECT_TRUE(Logged().contains(u"минутные записи хранятся в памяти"_qs));
  for (int minute = 0; minute < 3; ++minute) CycleAt(*core, 10, minute, 50);
  EXPECT_EQ(Ask(*core, u"GetUnsavedCount"_qs), u"GetUnsavedCount_OK:3"_qs);
  ASSERT_EQ(Ask(*core, u"SetSaveFlag"_qs, u"2008-01-17 10:00:00"_qs), u"SetSaveFlag_OK:"_qs);
  EXPECT_EQ(Ask(*core, u"GetUnsavedCount"_qs), u"GetUnsavedCount_OK:2"_qs);
  EXPECT_TRUE(core->Close());  // the configuration itself is saved all the same
  EXPECT_TRUE(QFileInfo(m_home.filePath(u"minutes.journal"_qs)).isDir());
}

}  // namespace
