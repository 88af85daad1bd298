#include "console/consolecontroller.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>
#include <vector>

#include "common/inifile.h"
#include "support/eventlogcapture.h"
#include "support/qtapplication.h"
#include "support/waitfor.h"

namespace {

QStringList Texts(const std::vector<TEventFIFO_Rec>& records) {
  QStringList texts;
  for (const TEventFIFO_Rec& record : records) texts << record.Text;
  return texts;
}

class ControllerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureQtApplication(); }

  void SetUp() override {
    DrainEventLog();
    IniFile ini(m_home.filePath(u"flotation-console.INI"_qs));
    IniUpdate update(ini);
    // Nothing starts by itself, nothing answers on the database port.
    ini.WriteInteger(u"System"_qs, u"AutoStartControl"_qs, 0);
    ini.WriteString(u"MySQL"_qs, u"Host"_qs, u"127.0.0.1:1"_qs);
    ini.WriteString(u"COM"_qs, u"HardReadPort"_qs, m_home.filePath(u"no-port-in"_qs));
    ini.WriteString(u"COM"_qs, u"HardWritePort"_qs, m_home.filePath(u"no-port-out"_qs));
    update.Commit();
  }
  void TearDown() override { DrainEventLog(); }

  QTemporaryDir m_home;
  TDateTime m_now = EncodeDateTime(2026, 3, 5, 10, 0, 0);
  TConsoleController m_controller{m_home.path(), [this] { return m_now; }};
};

TEST_F(ControllerTest, FirstTickRunsTheStartUpOnceBetweenItsTwoSignalsThenEveryTickTakesASnapshot) {
  m_controller.Open();
  std::vector<QString> order;
  QObject::connect(&m_controller, &TConsoleController::Ticked, [&](const ConsoleSnapshot& s) {
    order.push_back(u"tick "_qs + QString::number(s.Generation));
  });
  QObject::connect(&m_controller, &TConsoleController::StartingUp, [&] { order.push_back(u"starting"_qs); });
  QObject::connect(&m_controller, &TConsoleController::StartedUp, [&] { order.push_back(u"started"_qs); });
  const uint64_t first = m_controller.Snapshot().Generation;
  m_controller.Tick();
  m_controller.Tick();
  const std::vector<QString> expected = {u"tick "_qs + QString::number(first + 1), u"starting"_qs,
                                         u"started"_qs, u"tick "_qs + QString::number(first + 2)};
  EXPECT_EQ(order, expected);
  EXPECT_TRUE(m_controller.IsStartedUp());
  // AutoStartControl is off: no worker and no server.
  for (const ThreadSnapshot& thread : m_controller.Snapshot().Threads) EXPECT_FALSE(thread.Running);
  EXPECT_FALSE(m_controller.Snapshot().LanServerActive);
  EXPECT_DOUBLE_EQ(m_controller.Snapshot().Now, m_now);
}

TEST_F(ControllerTest, ControlSetCopiesModesAndSetpointsAndAuditsOnlyWhatChanged) {
  m_controller.Open();
  DrainEventLog();
  ModeFlags modes{};
  modes[F1AR] = 1;  // flotation reagents of section 1: automatic
  modes[F2RFL] = 1;
  modes[F2AFL] = 1;  // both flags: automatic wins
  SetpointValues setpoints{};
  for (int i = 0; i < kSetpointCount; ++i) setpoints[i] = kDefaultSetpoints[i];
  setpoints[kZRRS1] = 45.5f;
  setpoints[kTRFL2] = std::numeric_limits<float>::infinity();  // keeps the current value
  int changed = 0;
  QObject::connect(&m_controller, &TConsoleController::Changed, [&] { ++changed; });

  m_controller.ApplyControlSet(modes, setpoints);

  const ConsoleSnapshot& s = m_controller.Snapshot();
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(s.GroupMode(kGroupR, 1), kModeAutomatic);
  EXPECT_EQ(s.GroupMode(kGroupFL, 2), kModeAutomatic);
  EXPECT_EQ(s.GroupMode(kGroupR, 2), kModeOff);
  EXPECT_EQ(s.Mode(F2RFL), 1);
  EXPECT_FLOAT_EQ(s.Setpoint(kZRRS1), 45.5f);
  EXPECT_FLOAT_EQ(s.Setpoint(kTRFL2), kDefaultSetpoints[kTRFL2]);
  const QStringList expected = {
      u"Новое задание от оператора: режим управления дозатором реагента секции №1 = 2 (оператор)"_qs,
      u"Новое задание от оператора: режим управления дозатором флокулянта секции №2 = 2 (оператор)"_qs,
      u"Новое задание от оператора: удельный расход собирателя 1 = 45.5 (оператор)"_qs};
  QStringList audit = Texts(DrainEventLog());
  for (QString& line : audit) line.replace(u',', u'.');  // the locale's separator
  EXPECT_EQ(audit, expected);

  // The same again changes nothing and writes nothing.
  m_controller.ApplyControlSet(modes, setpoints);
  EXPECT_TRUE(DrainEventLog().empty());
}

TEST_F(ControllerTest, OperatorStartsAndStopsAWorkerAndSwitchesEmulationWithAnAuditLineEach) {
  m_controller.Open();
  m_controller.SetEmulationOn(true);
  m_controller.SetEmulationOn(true);  // no change, no line
  ASSERT_TRUE(m_controller.StartThread(WorkerKind::Read));
  EXPECT_FALSE(m_controller.StartThread(WorkerKind::Read));  // already running
  ASSERT_TRUE(WaitFor([&] { return m_controller.Refresh().Thread(WorkerKind::Read).Running; }));
  EXPECT_DOUBLE_EQ(m_controller.Snapshot().Thread(WorkerKind::Read).StartTime, m_now);
  EXPECT_TRUE(m_controller.StopThread(WorkerKind::Read));
  EXPECT_FALSE(m_controller.Refresh().Thread(WorkerKind::Read).Running);
  m_controller.SetEmulationOn(false);

  const QStringList audit = Texts(DrainEventLog()).filter(u"(оператор)"_qs);
  const QStringList expected = {
      u"Эмуляция модулей включена (оператор)"_qs, u"Поток приема запущен (оператор)"_qs,
      u"Поток приема остановлен (оператор)"_qs, u"Эмуляция модулей выключена (оператор)"_qs};
  EXPECT_EQ(audit, expected);
}

TEST_F(ControllerTest, DatabaseAttemptRunsOffThisThreadAndReportsBack) {
  std::vector<bool> outcomes;
  QObject::connect(&m_controller, &TConsoleController::DatabaseAttemptFinished,
                   [&](bool connected) { outcomes.push_back(connected); });
  m_controller.Open();  // the attempt of the start
  ASSERT_TRUE(WaitFor([&] { return outcomes.size() == 1; }));
  ASSERT_TRUE(m_controller.ConnectDatabase());
  EXPECT_TRUE(m_controller.Snapshot().DatabaseConnecting);
  EXPECT_FALSE(m_controller.ConnectDatabase());  // one attempt at a time
  ASSERT_TRUE(WaitFor([&] { return outcomes.size() == 2; }));
  EXPECT_FALSE(outcomes.back());
  EXPECT_FALSE(m_controller.Snapshot().DatabaseConnected);
  EXPECT_FALSE(m_controller.Snapshot().DatabaseConnecting);
  // Start-up's attempt and the operator's: two log records for the station.
  EXPECT_EQ(m_controller.Core().LogRecs().Count(), 2);
  EXPECT_TRUE(Texts(DrainEventLog()).contains(u"Подключение к MySQL серверу (оператор)"_qs));

  m_controller.Core().Config().Disabled = true;
  EXPECT_FALSE(m_controller.ConnectDatabase());
}

TEST_F(ControllerTest, StateAgeAndFreshnessFollowTheRecordsTimeStamp) {
  m_controller.Open();
  EXPECT_GT(m_controller.CheckStateAge(), TConsoleController::kStateFreshSec);  // no cycle yet
  EXPECT_FALSE(m_controller.Snapshot().StateFresh);
  struct Case {
    double ageSec;
    int shown;
    bool fresh;
  };
  const Case cases[] = {{0, 0, true},     {40.9, 40, true}, {41, 41, true},
                        {60.5, 60, true}, {61, 61, false},  {-61, 61, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ageSec);
    std::array<float, kValueSlotCount> values{};
    m_controller.Core().State().StateRecord.Store(m_now - c.ageSec / 86400.0, values);
    EXPECT_EQ(m_controller.CheckStateAge(), c.shown);
    EXPECT_EQ(m_controller.Snapshot().StateFresh, c.fresh);
  }
}

TEST_F(ControllerTest, CloseSavesAndWritesTheMessagesStillQueued) {
  m_controller.Open();
  m_controller.Core().State().Setpoints.Set(kTRRS2, 44.5f);
  for (int i = 0; i < 25; ++i) AddLogMessage(u"message "_qs + QString::number(i));
  ASSERT_TRUE(m_controller.Close());
  QDir logDir(m_controller.Core().LogDir());
  // The day's event-log file; the audit trail's file beside it is not this test's.
  QStringList files = logDir.entryList({u"*.log"_qs}, QDir::Files);
  files.removeIf([](const QString& name) { return name.endsWith(u".audit.log"_qs); });
  ASSERT_EQ(files.size(), 1);
  QFile file(logDir.filePath(files.first()));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray content = file.readAll();
  EXPECT_TRUE(content.contains("message 0\r\n"));
  EXPECT_TRUE(content.contains("message 24\r\n"));
  IniFile ini(m_controller.Core().IniPath());
  EXPECT_DOUBLE_EQ(ini.ReadFloat(u"LastSet"_qs, u"TRRS2"_qs, 0), 44.5);
}

}  // namespace
