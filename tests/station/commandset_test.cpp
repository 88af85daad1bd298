#include "station/commandset.h"

#include <gtest/gtest.h>

#include <cmath>

#include "common/tdatetime.h"
#include "fieldbus/threadcontrol.h"
#include "support/fakelogenvironment.h"
#include "support/eventlogcapture.h"

namespace {

class CommandSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_environment.SetNow(EncodeDateTime(2008, 1, 17, 11, 43, 15));
    m_environment.SetTickCount(4242);
    SetLogEnvironment(&m_environment);
    DrainEventLog();
  }
  void TearDown() override {
    DrainEventLog();
    SetLogEnvironment(nullptr);
  }

  CommandReply Exec(const QString& command, const QString& data = QString(), QChar separator = u'.') {
    return m_commands.ExecCommand(command, data, u"COM1"_qs, separator);
  }

  // A state at a moment, one minute record per call with its own minute.
  void AddMinute(TDateTime moment, float plf1 = 1.25f) {
    std::array<float, kValueSlotCount> values{};
    values[Slot::PLF[0]] = plf1;
    m_state.MinuteRecords.Update(StateRecord{moment, values, 0}, 4320);
  }

  FakeLogEnvironment m_environment;
  ProcessState m_state;
  LogRecList m_logRecs;
  ThreadControl m_linkControl;
  TCommandSet m_commands{m_state, m_logRecs, m_linkControl};
};

TEST(RecordToText, WritesEveryItemInOrderWithWidenedValues) {
  StateRecord record;
  record.RecMoment = EncodeDateTime(2008, 1, 17, 11, 43, 15);
  record.Values[Slot::PLF[0]] = 1.25f;
  record.Values[Slot::RVF[0]] = 412;
  record.Values[Slot::TRRS[0]] = 0.1f;
  record.Values[Slot::ZRRS[1]] = 12.5f;
  record.Values[Slot::OARS[1]] = -3;
  record.Values[Slot::URFK12[1]] = 1e20f;
  SetModeByte(record.Values, F1AR, 1);
  SetModeByte(record.Values, F2RR, 1);

  const QString expected =
      u"RecMoment='2008-01-17 11:43:15',"
      u"PLF1=1.25,RVF1=412,URFK1=0,URFK12_1=0,OARS1=0,OARP1=0,OAFL1=0,RGF1=0,"
      u"TRRS1=0.100000001490116,TRRP1=0,TRFL1=0,ZRRS1=0,ZRRP1=0,ZRFL1=0,"
      u"PLF2=0,RVF2=0,URFK2=0,URFK12_2=1.00000002004088E20,OARS2=-3,OARP2=0,OAFL2=0,RGF2=0,"
      u"TRRS2=0,TRRP2=0,TRFL2=0,ZRRS2=12.5,ZRRP2=0,ZRFL2=0,"
      u"F1AR=1,F2AR=0,F1RR=0,F2RR=1,F1AFL=0,F2AFL=0,F1RFL=0,F2RFL=0"_qs;
  EXPECT_EQ(RecordToText(record, false), expected);
  QString minute = expected;
  minute.replace(u"11:43:15"_qs, u"11:43:00"_qs);
  EXPECT_EQ(RecordToText(record, true), minute);
}

TEST(TextToNumber, AcceptsPlainDecimalsWithEitherSeparator) {
  struct Case {
    const char16_t* Text;
    QChar Separator;
    std::optional<double> Value;
  };
  const Case cases[] = {
      {u"12.5", u'.', 12.5},
      {u"12,5", u'.', 12.5},
      {u"12,5", u',', 12.5},
      {u"12.5", u',', 12.5},
      {u" -3 \t", u'.', -3.0},
      {u"+1e3", u'.', 1000.0},
      {u"1E-2", u'.', 0.01},
      {u"2,5E1", u'.', 25.0},
      {u".5", u'.', 0.5},
      {u"5.", u'.', 5.0},
      {u"0", u'.', 0.0},
      {u"1,234.5", u'.', std::nullopt},
      {u"1.2.3", u'.', std::nullopt},
      {u"abc", u'.', std::nullopt},
      {u"", u'.', std::nullopt},
      {u"  ", u'.', std::nullopt},
      {u"nan", u'.', std::nullopt},
      {u"NaN", u'.', std::nullopt},
      {u"inf", u'.', std::nullopt},
      {u"-Infinity", u'.', std::nullopt},
      {u"0x1p3", u'.', std::nullopt},
      {u"12abc", u'.', std::nullopt},
      {u"12 5", u'.', std::nullopt},
      {u"1e", u'.', std::nullopt},
      {u"e5", u'.', std::nullopt},
      {u"--1", u'.', std::nullopt},
      {u".", u'.', std::nullopt},
      {u"1e999", u'.', std::nullopt},
      {u"12\u0660", u'.', std::nullopt},
  };
  for (const Case& c : cases) {
    const QString text = QString::fromUtf16(c.Text);
    EXPECT_EQ(TextToNumber(text, c.Separator), c.Value)
        << text.toStdString() << " sep " << c.Separator.toLatin1();
  }
}

TEST_F(CommandSetTest, MinuteRecordExchangeRightAfterStart) {
  EXPECT_EQ(Exec(u"GetUnsavedCount"_qs).Text, u"GetUnsavedCount_OK:0");
  const CommandReply none = Exec(u"GetUnsavedRecord"_qs);
  EXPECT_EQ(none.Text, u"Error:no records");
  EXPECT_TRUE(none.Recognised);
}

TEST_F(CommandSetTest, SetSaveFlagMatchesTheMinuteTextExactly) {
  AddMinute(EncodeDateTime(2008, 1, 17, 11, 43, 15));
  AddMinute(EncodeDateTime(2008, 1, 17, 11, 44, 2));
  ASSERT_EQ(Exec(u"GetUnsavedCount"_qs).Text, u"GetUnsavedCount_OK:2");
  EXPECT_TRUE(
      Exec(u"GetUnsavedRecord"_qs).Text.startsWith(u"GetUnsavedRecord_OK:RecMoment='2008-01-17 11:43:00',"));

  EXPECT_EQ(Exec(u"SetSaveFlag"_qs, u"2008-01-17 11:43:15"_qs).Text, u"Error:record not found");
  EXPECT_EQ(Exec(u"SetSaveFlag"_qs, u"'2008-01-17 11:43:00'"_qs).Text, u"Error:record not found");
  EXPECT_EQ(Exec(u"SetSaveFlag"_qs, QString()).Text, u"Error:record not found");
  EXPECT_EQ(Exec(u"GetUnsavedCount"_qs).Text, u"GetUnsavedCount_OK:2");

  EXPECT_EQ(Exec(u"SetSaveFlag"_qs, u"2008-01-17 11:43:00"_qs).Text, u"SetSaveFlag_OK:");
  EXPECT_EQ(Exec(u"GetUnsavedCount"_qs).Text, u"GetUnsavedCount_OK:1");
  EXPECT_TRUE(
      Exec(u"GetUnsavedRecord"_qs).Text.startsWith(u"GetUnsavedRecord_OK:RecMoment='2008-01-17 11:44:00',"));
}

TEST_F(CommandSetTest, CurrentMinuteSavedOnlyUntilTheNextCycle) {
  AddMinute(EncodeDateTime(2008, 1, 17, 11, 44, 2));
  EXPECT_EQ(Exec(u"SetSaveFlag"_qs, u"2008-01-17 11:44:00"_qs).Text, u"SetSaveFlag_OK:");
  EXPECT_EQ(Exec(u"GetUnsavedCount"_qs).Text, u"GetUnsavedCount_OK:0");
  AddMinute(EncodeDateTime(2008, 1, 17, 11, 44, 3), 2.5f);  // next cycle, same minute
  EXPECT_EQ(Exec(u"GetUnsavedCount"_qs).Text, u"GetUnsavedCount_OK:1");
  EXPECT_TRUE(Exec(u"GetUnsavedRecord"_qs).Text.contains(u",PLF1=2.5,"));
}

TEST_F(CommandSetTest, GetStateRecWritesTheLiveRecordWithSeconds) {
  std::array<float, kValueSlotCount> values{};
  values[Slot::TRRS[0]] = 0.1f;
  m_state.StateRecord.Store(EncodeDateTime(2008, 1, 17, 11, 43, 15), values);
  const QString reply = Exec(u"GetStateRec"_qs).Text;
  EXPECT_TRUE(reply.startsWith(u"GetStateRec_OK:RecMoment='2008-01-17 11:43:15',PLF1=0,"))
      << reply.toStdString();
  EXPECT_TRUE(reply.contains(u",TRRS1=0.100000001490116,"));
}

TEST_F(CommandSetTest, SetpointCommandsStoreLogAndAudit) {
  const CommandReply comma = Exec(u"SetTRRS1"_qs, u"12,5"_qs, u',');
  EXPECT_EQ(comma.Text, u"SetTRRS_OK:");
  EXPECT_EQ(m_state.Setpoints.Get(kTRRS1), 12.5f);
  EXPECT_EQ(Exec(u"SetTRRS1"_qs, u"7.25"_qs).Text, u"SetTRRS_OK:");
  EXPECT_EQ(m_state.Setpoints.Get(kTRRS1), 7.25f);

  // Every setpoint command reaches its own setpoint of its own section.
  const struct {
    const char16_t* Command;
    SetpointIndex Index;
  } targets[] = {{u"SetZRRS1", kZRRS1}, {u"SetZRRS2", kZRRS2}, {u"SetZRRP1", kZRRP1}, {u"SetZRRP2", kZRRP2},
                 {u"SetZRFL1", kZRFL1}, {u"SetZRFL2", kZRFL2}, {u"SetTRRS2", kTRRS2}, {u"SetTRRP1", kTRRP1},
                 {u"SetTRRP2", kTRRP2}, {u"SetTRFL1", kTRFL1}, {u"SetTRFL2", kTRFL2}};
  float value = 100;
  for (const auto& target : targets) {
    const QString command = QString::fromUtf16(target.Command);
    const CommandReply reply = Exec(command, QString::number(++value));
    EXPECT_EQ(reply.Text, command.left(command.size() - 1) + u"_OK:"_qs) << command.toStdString();
    EXPECT_EQ(m_state.Setpoints.Get(target.Index), value) << command.toStdString();
  }
  EXPECT_EQ(m_linkControl.ErrorCount.load(), 0);

  // The station's log records: the first one with the locale's comma.
  ASSERT_EQ(m_logRecs.Count(), 13u);
  EXPECT_EQ(*m_logRecs.Oldest(),
            u"4242\t2008-01-17 11:43:15\tНовое задание c ЦСБ: текущий расход собирателя 1 = 12,5");
  // The audit trail names where the command came from.
  const std::vector<TEventFIFO_Rec> audit = DrainEventLog();
  ASSERT_EQ(audit.size(), 13u);
  EXPECT_EQ(audit[0].Text, u"Новое задание c ЦСБ: текущий расход собирателя 1 = 12,5 (COM1)");
}

TEST_F(CommandSetTest, SetCommandDataErrorsChangeNothingAndCount) {
  const struct {
    const char16_t* Command;
    const char16_t* Data;
    const char16_t* Reply;
  } cases[] = {
      {u"SetTRRS1", u"abc", u"SetTRRS_Error:bad data"},
      {u"SetTRRS1", u"", u"SetTRRS_Error:no data"},
      {u"SetTRRS1", u"nan", u"SetTRRS_Error:bad data"},
      {u"SetTRRS1", u"inf", u"SetTRRS_Error:bad data"},
      // Beyond single precision it would be stored as infinity.
      {u"SetTRRS1", u"1e300", u"SetTRRS_Error:bad data"},
      {u"SetZRFL2", u"1;DROP", u"SetZRFL_Error:bad data"},
      {u"SetModeR1", u"", u"SetModeR_Error:no data"},
      {u"SetModeFL2", u"two", u"SetModeFL_Error:bad data"},
  };
  int errors = 0;
  for (const auto& c : cases) {
    EXPECT_EQ(Exec(QString::fromUtf16(c.Command), QString::fromUtf16(c.Data)).Text,
              QString::fromUtf16(c.Reply));
    EXPECT_EQ(m_linkControl.ErrorCount.load(), ++errors);
  }
  EXPECT_EQ(m_state.Setpoints.Get(kTRRS1), kDefaultSetpoints[kTRRS1]);
  EXPECT_EQ(m_state.Setpoints.Get(kZRFL2), kDefaultSetpoints[kZRFL2]);
  EXPECT_EQ(m_logRecs.Count(), 0u);
  EXPECT_TRUE(DrainEventLog().empty());
}

TEST_F(CommandSetTest, ModeCodesAreTruncatedTowardZero) {
  const struct {
    const char16_t* Data;
    ReagentMode Mode;
    const char16_t* Code;
  } cases[] = {
      {u"2", kModeAutomatic, u"2"}, {u"1.9", kModeManual, u"1"}, {u"7", kModeOff, u"7"},
      {u"0", kModeOff, u"0"},       {u"-1.5", kModeOff, u"-1"},  {u"2,99", kModeAutomatic, u"2"},
      {u"1e30", kModeOff, u"1E30"},
  };
  for (const auto& c : cases) {
    m_logRecs.Clear();
    EXPECT_EQ(Exec(u"SetModeFL2"_qs, QString::fromUtf16(c.Data)).Text, u"SetModeFL_OK:");
    EXPECT_EQ(m_state.AveragedValues.GroupMode(kGroupFL, 2), c.Mode)
        << QString::fromUtf16(c.Data).toStdString();
    EXPECT_EQ(m_state.AveragedValues.GetMode(F2AFL), c.Mode == kModeAutomatic ? 1 : 0);
    EXPECT_EQ(m_state.AveragedValues.GetMode(F2RFL), c.Mode == kModeManual ? 1 : 0);
    EXPECT_TRUE(m_logRecs.Oldest()->endsWith(u"режим управления дозатором флокулянта секции №2 = "_qs +
                                             QString::fromUtf16(c.Code)));
  }
  // The other groups stay as they were.
  EXPECT_EQ(m_state.AveragedValues.GroupMode(kGroupR, 2), kModeOff);
  EXPECT_EQ(Exec(u"SetModeR1"_qs, u"2"_qs).Text, u"SetModeR_OK:");
  EXPECT_EQ(m_state.AveragedValues.GetMode(F1AR), 1);
  EXPECT_EQ(m_state.AveragedValues.GetMode(F1RR), 0);
  EXPECT_EQ(m_state.AveragedValues.GroupMode(kGroupFL, 1), kModeOff);
}

TEST_F(CommandSetTest, LogRecordExchange) {
  EXPECT_EQ(Exec(u"GetLogRecCount"_qs).Text, u"GetLogRecCount_OK:0");
  const CommandReply empty = Exec(u"GetLogRec"_qs);
  EXPECT_TRUE(empty.Text.isEmpty());
  EXPECT_TRUE(empty.Recognised);

  m_logRecs.AddLogRec(u"first"_qs, 12345, EncodeDateTime(2008, 1, 17, 11, 43, 15));
  m_logRecs.AddLogRec(u"second"_qs, 12999, EncodeDateTime(2008, 1, 17, 11, 43, 16));
  m_logRecs.AddLogRec(u"wrapped"_qs, -5, EncodeDateTime(2008, 1, 17, 11, 43, 17));
  EXPECT_EQ(Exec(u"GetLogRec"_qs).Text, u"GetLogRec_OK:12345\t2008-01-17 11:43:15\tfirst");
  EXPECT_EQ(Exec(u"GetLogRecCount"_qs).Text, u"GetLogRecCount_OK:3");

  // A prefix of the tick number is enough; the oldest line that begins with it goes.
  EXPECT_EQ(Exec(u"DeleteLogRec"_qs, u"129"_qs).Text, u"DeleteLogRec_OK:1");
  EXPECT_EQ(Exec(u"DeleteLogRec"_qs, u"12"_qs).Text, u"DeleteLogRec_OK:1");
  EXPECT_EQ(Exec(u"DeleteLogRec"_qs, u"12"_qs).Text, u"DeleteLogRec_OK:0");
  EXPECT_EQ(Exec(u"DeleteLogRec"_qs, QString()).Text, u"DeleteLogRec_OK:0");
  EXPECT_EQ(Exec(u"GetLogRec"_qs).Text, u"GetLogRec_OK:-5\t2008-01-17 11:43:17\twrapped");
  EXPECT_EQ(Exec(u"DeleteLogRec"_qs, u"-5"_qs).Text, u"DeleteLogRec_OK:1");
  EXPECT_EQ(Exec(u"GetLogRecCount"_qs).Text, u"GetLogRecCount_OK:0");
}

TEST_F(CommandSetTest, LogRecordsKeepTheNewest500) {
  m_environment.SetTickCount(0xFFFFFFFFu);  // wraps to -1 as a signed tick
  m_logRecs.AddLogRec(u"oldest"_qs);
  EXPECT_TRUE(m_logRecs.Oldest()->startsWith(u"-1\t2008-01-17 11:43:15\toldest"));
  for (int i = 1; i <= 500; ++i) m_logRecs.AddLogRec(u"line "_qs + QString::number(i), i, 0);
  EXPECT_EQ(Exec(u"GetLogRecCount"_qs).Text, u"GetLogRecCount_OK:500");
  EXPECT_TRUE(m_logRecs.Oldest()->endsWith(u"\tline 1"));
}

TEST_F(CommandSetTest, UnknownCommandsAreNotRecognised) {
  for (const char16_t* command :
       {u"getstaterec", u"GetStateRec ", u"SetTRRS3", u"SetTRRS", u"SetModeR12", u"Quit"}) {
    const CommandReply reply = Exec(QString::fromUtf16(command), u"1"_qs);
    EXPECT_EQ(reply.Text, u":)\r\n");
    EXPECT_FALSE(reply.Recognised) << QString::fromUtf16(command).toStdString();
  }
  EXPECT_EQ(m_logRecs.Count(), 0u);
}

}  // namespace
