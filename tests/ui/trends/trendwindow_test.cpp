#include "ui/trends/trendwindow.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>
#include <vector>

#include "common/inifile.h"
#include "freezeproxy.h"
#include "trendconsole.h"
#include "trenddb.h"
#include "ui/trends/historyreader.h"
#include "ui/trends/levelgraph.h"
#include "ui/trends/trendrow.h"

namespace {

constexpr double kMinute = 1.0 / 1440;
constexpr double kSecond = 1.0 / 86400;

// Both shifts of this day run 07:00 ... 06:59:59 of the next.
const TDateTime kDay = EncodeDateTime(2024, 3, 14);
TDateTime At(int hour, int minute, int second = 0) {
  return EncodeDateTime(2024, 3, 14, hour, minute, second);
}

MinuteRecord Record(TDateTime moment, float rvf1, float zrrs1 = 0) {
  MinuteRecord record;
  record.RecMoment = moment;
  record.Values[1] = rvf1;    // RVF1
  record.Values[24] = zrrs1;  // ZRRS1
  return record;
}

// A window with one graph: series 0 the pulp flow of section 1, series 1 the
// collector's specific consumption on a right scale 1500 ... 9000.
class TestTrendWindow : public TTrendWindow {
 public:
  TestTrendWindow(TrendSource source, TrendWindowRules rules)
      : TTrendWindow(std::move(source), std::move(rules)) {
    setObjectName(QStringLiteral("TestTrend"));
    resize(800, 300);
    m_graph = new TLevelGraph(this);
    m_graph->setObjectName(QStringLiteral("LevelGraphTest"));
    m_graph->setGeometry(0, 0, 800, 300);
    m_graph->SetSecondStep(60);
    m_graph->SetEnablePresentArray(true);
    m_graph->SetGraphCount(2);
    m_graph->SetYMax(1200);
    m_graph->SetShowRightScale(true);
    m_graph->SetRightYMin(1500);
    m_graph->SetRightYMax(9000);
    m_graph->SetRightScaleStep(1500);
  }
  TLevelGraph& Graph() const { return *m_graph; }
  int Puts() const { return m_puts; }
  int DatabaseLoads() const { return m_databaseLoads; }

 protected:
  std::vector<TLevelGraph*> TrendGraphs() const override { return {m_graph}; }
  void PutRow(TDateTime at, const TrendRow& row) override {
    m_graph->AddPoint(0, at, row.Value(TrendColumn::RVF1));
    m_graph->AddPoint(1, at, RightToLeftScale(*m_graph, row.Value(TrendColumn::ZRRS1)));
    ++m_puts;
  }
  void AfterDatabaseLoad() override { ++m_databaseLoads; }
  std::vector<TrendColumn> ExportColumns() const override { return {TrendColumn::RVF1, TrendColumn::ZRRS1}; }

 private:
  TLevelGraph* m_graph = nullptr;
  int m_puts = 0;
  int m_databaseLoads = 0;
};

TrendWindowRules TestRules() {
  TrendWindowRules rules;
  rules.ReloadError = QStringLiteral("reload failed");
  rules.CheckError = QStringLiteral("check failed");
  rules.TimerError = QStringLiteral("timer failed");
  return rules;
}

// Three rows: 08:00, 4 minutes later (the gap is filled), 6 minutes after
// that (the gap stays).
void ExpectGapRule(const TLevelGraph& graph) {
  EXPECT_EQ(graph.GetPoint(0, At(7, 59)), -1) << "the first row reaches back";
  EXPECT_EQ(graph.GetPoint(0, At(8, 0)), 100);
  for (int minute = 1; minute <= 3; ++minute) EXPECT_EQ(graph.GetPoint(0, At(8, minute)), 200) << minute;
  for (int minute = 4; minute <= 9; ++minute) EXPECT_EQ(graph.GetPoint(0, At(8, minute)), -1) << minute;
  EXPECT_EQ(graph.GetPoint(0, At(8, 10)), 300);
  EXPECT_EQ(graph.GetPoint(0, At(8, 11)), -1);
}

class TrendWindowTest : public ::testing::Test {
 protected:
  void Make(TrendWindowRules rules = TestRules()) {
    m_window = std::make_unique<TestTrendWindow>(m_console.Source(), std::move(rules));
    m_window->DateTimePicker1().setDate(QDate(2024, 3, 14));
    m_finished = std::make_unique<QSignalSpy>(m_window.get(), &TTrendWindow::LoadFinished);
  }
  // Runs a load and waits until it ended.
  void Run(const std::function<void()>& load) {
    const qsizetype before = m_finished->count();
    load();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_finished->count() > before; }, 10000));
  }

  FakeTrendConsole m_console{At(10, 15)};
  std::unique_ptr<TestTrendWindow> m_window;
  std::unique_ptr<QSignalSpy> m_finished;
};

TEST_F(TrendWindowTest, ReloadFromMemoryKeepsGapsAndTheInterval) {
  m_console.Records = {Record(At(6, 30), 50), Record(At(8, 0), 100), Record(At(8, 4), 200),
                       Record(At(8, 10), 300), Record(kDay + 1 + 8 * kMinute * 60, 400)};
  Make();
  Run([&] { m_window->Reload(); });
  EXPECT_EQ(m_window->IntervalStart(), At(7, 0));
  EXPECT_NEAR(m_window->IntervalStop(), kDay + 1 + 7.0 / 24 - kSecond, 1e-9);
  ExpectGapRule(m_window->Graph());
  EXPECT_EQ(m_window->Graph().GetPoint(0, At(6, 30)), -1) << "before the interval";
  EXPECT_FALSE(m_window->LoadBusy());
  EXPECT_TRUE(m_window->WaitPanel().isHidden());
  EXPECT_NEAR(m_window->Graph().CursorTime(), (m_window->IntervalStart() + m_window->IntervalStop()) / 2,
              1e-9);
  EXPECT_EQ(m_window->DatabaseLoads(), 0) << "the memory path is no database load";
}

TEST_F(TrendWindowTest, RecordsOutOfOrderOrTwiceAndValuesOffTheScaleStayInTheirSlots) {
  // The clock set back (08:03 after 08:05), a minute twice, a value far
  // above the scale and one below it.
  m_console.Records = {Record(At(8, 0), 100), Record(At(8, 5), 200),  Record(At(8, 3), 300),
                       Record(At(8, 5), 400), Record(At(8, 6), 1e12), Record(At(8, 7), -1e12)};
  Make();
  Run([&] { m_window->Reload(); });
  const TLevelGraph& graph = m_window->Graph();
  for (int slot = 0; slot < graph.IntervalPointCount(); ++slot) {
    const TLevelGraph::Slot& s = graph.SlotAt(0, slot);
    if (s.Present && slot < 60) ADD_FAILURE() << "a value before the first record, slot " << slot;
  }
  EXPECT_EQ(graph.GetPoint(0, At(8, 1)), 200);
  // A record older than the step before it lands on that step, once.
  EXPECT_EQ(graph.SlotAt(0, 64).Max, double(1e12f));  // records hold floats
  EXPECT_EQ(graph.GetPoint(0, At(8, 6)), double(-1e12f));
  EXPECT_NEAR(m_window->LastShown(), At(8, 6, 50), 1e-9);
  m_window->Graph().grab();  // drawn clipped to the plot, not beyond it
}

TEST_F(TrendWindowTest, ShiftSelectionSetsTheIntervalAndTheTimeGrid) {
  struct Case {
    int Index;
    TDateTime Start;
    double LabelStepHours;
  };
  for (const Case& c :
       {Case{0, At(7, 0), 1}, Case{1, At(19, 0), 1}, Case{2, At(7, 0), 2}, Case{-1, At(7, 0), 2}}) {
    SCOPED_TRACE(c.Index);
    Make();
    m_window->ComboBox1().setCurrentIndex(c.Index);
    Run([&] { m_window->Reload(); });
    EXPECT_EQ(m_window->IntervalStart(), c.Start);
    EXPECT_EQ(m_window->ComboBox1().currentIndex(), c.Index < 0 ? 2 : c.Index);
    EXPECT_NEAR(m_window->Graph().XLabelStep(), c.LabelStepHours / 24, 1e-12);
    EXPECT_EQ(m_window->LastShown(), c.Start - kMinute);
  }
}

TEST_F(TrendWindowTest, TodayIsTheDayWhoseShiftsHoldTheMoment) {
  struct Case {
    TDateTime Now;
    QDate Expected;
  };
  for (const Case& c : {Case{At(10, 15), QDate(2024, 3, 14)}, Case{At(7, 0), QDate(2024, 3, 14)},
                        Case{At(6, 59, 59), QDate(2024, 3, 13)}, Case{At(0, 9), QDate(2024, 3, 13)},
                        Case{At(23, 59), QDate(2024, 3, 14)}}) {
    SCOPED_TRACE(QDateTimeFromDateTime(c.Now).toString().toStdString());
    m_console.Now = c.Now;
    Make();
    m_window->SelectToday();
    EXPECT_EQ(m_window->DateTimePicker1().date(), c.Expected);
    EXPECT_EQ(m_window->ComboBox1().currentIndex(), 2);
  }
}

TEST_F(TrendWindowTest, RightScaleValuesRoundTrip) {
  Make();
  TLevelGraph& graph = m_window->Graph();
  // The right scale's bottom (1500 - 1500 = 0) is YMin, its top (9000) YMax.
  EXPECT_DOUBLE_EQ(RightToLeftScale(graph, 0), 0);
  EXPECT_DOUBLE_EQ(RightToLeftScale(graph, 9000), 1200);
  EXPECT_DOUBLE_EQ(RightToLeftScale(graph, 4500), 600);
  EXPECT_DOUBLE_EQ(LeftToRightScale(graph, 600), 4500);
  EXPECT_EQ(LeftToRightScale(graph, -1), -1) << "an empty slot stays empty";
  graph.SetRightYMin(3000);  // bottom 1500: lower values would be negative
  EXPECT_EQ(RightToLeftScale(graph, 1000), 0);
  EXPECT_TRUE(std::isnan(RightToLeftScale(graph, kNoTrendValue)));
}

TEST_F(TrendWindowTest, UpdatesComeFromMemoryWhileItHasNewerRecords) {
  m_console.Records = {Record(At(8, 0), 100)};
  Make();
  Run([&] { m_window->Reload(); });
  EXPECT_EQ(m_window->LastShown(), At(8, 0));
  m_console.Records.push_back(Record(At(8, 1), 110));
  m_console.Records.push_back(Record(At(8, 2), 120));
  Run([&] { m_window->CheckForUpdates(); });
  // A record covers the stretch before its own time.
  // Each row starts at the previous row's last step, so the 08:00 slot also
  // holds the 08:02 record's value.
  EXPECT_EQ(m_window->Graph().SlotAt(0, 60).Min, 100);
  EXPECT_EQ(m_window->Graph().SlotAt(0, 60).Max, 120);
  EXPECT_EQ(m_window->Graph().GetPoint(0, At(8, 1)), 120);
  EXPECT_EQ(m_window->Graph().GetPoint(0, At(8, 2)), -1);
  EXPECT_NEAR(m_window->LastShown(), At(8, 1, 50), 1e-9);
}

TEST_F(TrendWindowTest, TimerReloadsOnItsFirstAndForcedTicksAndPollsInBetween) {
  m_console.Records = {Record(At(8, 0), 100)};
  Make();
  m_window->TimerUpdate().stop();
  std::vector<int> reloads;
  int lastPuts = 0;
  for (int tick = 0; tick < 6; ++tick) {
    m_console.Records.push_back(Record(At(8, 1 + tick), 100 + tick));
    const TDateTime shownBefore = m_window->LastShown();
    m_window->TimerUpdateTimer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_window->LoadBusy(); }, 5000));
    if (m_window->LastShown() < shownBefore || tick == 0) reloads.push_back(tick);
    EXPECT_GT(m_window->Puts(), lastPuts) << tick;
    lastPuts = m_window->Puts();
  }
  EXPECT_EQ(m_window->TickCount(), 6);
  EXPECT_EQ(m_window->Graph().GetPoint(0, At(8, 5)), 105);
  EXPECT_FALSE(m_window->NeedReload());
  EXPECT_FALSE(m_window->TimerBusy());
}

TEST_F(TrendWindowTest, NoPollingOutsideTheInterval) {
  m_console.Records = {Record(At(8, 0), 100)};
  Make();
  m_window->TimerUpdate().stop();
  m_window->DateTimePicker1().setDate(QDate(2024, 3, 10));  // a past day
  m_window->TimerUpdateTimer();                             // the first tick reloads
  ASSERT_TRUE(QTest::qWaitFor([&] { return !m_window->LoadBusy(); }, 5000));
  const int puts = m_window->Puts();
  m_console.Records.push_back(Record(At(8, 1), 110));
  m_window->TimerUpdateTimer();
  EXPECT_EQ(m_window->Puts(), puts);
}

TEST_F(TrendWindowTest, LimitsFromTheIniFileGoThroughTheSettersAndBadOnesAreLogged) {
  QTemporaryDir dir;
  IniFile ini(dir.filePath(QStringLiteral("limits.INI")));
  ini.WriteString(QStringLiteral("Good"), QStringLiteral("YMin"), QStringLiteral("10"));
  ini.WriteString(QStringLiteral("Good"), QStringLiteral("YMax"), QStringLiteral("500,5"));
  ini.WriteString(QStringLiteral("Good"), QStringLiteral("RightYMin"), QStringLiteral("40"));
  ini.WriteString(QStringLiteral("Good"), QStringLiteral("RightYMax"), QStringLiteral("640"));
  ini.WriteString(QStringLiteral("Good"), QStringLiteral("RightScaleStep"), QStringLiteral("40"));
  ini.WriteString(QStringLiteral("Bad"), QStringLiteral("YMin"), QStringLiteral("300"));
  ini.WriteString(QStringLiteral("Bad"), QStringLiteral("YMax"), QStringLiteral("100"));
  ini.WriteString(QStringLiteral("Bad"), QStringLiteral("YLabelStep"), QStringLiteral("0"));
  ini.WriteString(QStringLiteral("Bad"), QStringLiteral("RightScaleStep"), QStringLiteral("-5"));
  ini.WriteString(QStringLiteral("Bad"), QStringLiteral("RightYMin"), QStringLiteral("letters"));
  Make();
  TLevelGraph& graph = m_window->Graph();
  m_window->LoadGraphLimits(ini, QStringLiteral("Good"), graph, true);
  EXPECT_EQ(graph.YMin(), 10);
  EXPECT_EQ(graph.YMax(), 500.5);
  EXPECT_EQ(graph.RightYMin(), 40);
  EXPECT_EQ(graph.RightYMax(), 640);
  EXPECT_EQ(graph.RightScaleStep(), 40);
  EXPECT_TRUE(m_console.Log.isEmpty()) << m_console.Log.join(u'\n').toStdString();

  m_window->LoadGraphLimits(ini, QStringLiteral("Bad"), graph, true);
  EXPECT_EQ(graph.YMin(), 10);
  EXPECT_EQ(graph.YMax(), 500.5);
  EXPECT_EQ(graph.RightScaleStep(), 40);
  EXPECT_EQ(m_console.Log.size(), 4) << m_console.Log.join(u'\n').toStdString();

  IniFile saved(dir.filePath(QStringLiteral("saved.INI")));
  ASSERT_TRUE(TTrendWindow::SaveGraphLimits(saved, QStringLiteral("S"), graph, false));
  EXPECT_EQ(saved.ReadFloat(QStringLiteral("S"), QStringLiteral("YMax"), 0), 500.5);
  EXPECT_FALSE(saved.ValueExists(QStringLiteral("S"), QStringLiteral("RightYMin")));
}

// ---- Against the private database server.

class TrendWindowDatabaseTest : public TrendWindowTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_database.Open()) << m_database.Error().toStdString();
    m_console.Database = &m_database;
    m_console.Connected = true;
  }
  TrendDatabase m_database;
};

TEST_F(TrendWindowDatabaseTest, ReloadFromRowsKeepsGapsAndRaisesASmallYMax) {
  ASSERT_TRUE(m_database.Insert(At(6, 59, 59), {{"RVF1", 50}}));
  ASSERT_TRUE(m_database.Insert(At(8, 0), {{"RVF1", 100}, {"ZRRS1", 4500}}));
  ASSERT_TRUE(m_database.Insert(At(8, 4), {{"RVF1", 200}}));
  ASSERT_TRUE(m_database.Insert(At(8, 10), {{"RVF1", 300}}));
  ASSERT_TRUE(m_database.Insert(kDay + 1 + 7.0 / 24, {{"RVF1", 400}}));
  m_console.Records = {Record(At(8, 0), 999)};  // a database load ignores memory
  Make();
  m_window->Graph().SetYMax(2);
  Run([&] { m_window->Reload(); });
  ExpectGapRule(m_window->Graph());
  // 4500 ml/t is half the right scale: half of the YMax of 2 the load began with.
  EXPECT_EQ(m_window->Graph().SlotAt(1, 60).Max, 1);
  EXPECT_EQ(m_window->Graph().GetPoint(1, At(8, 1)), 0) << "a NULL reads as 0";
  EXPECT_EQ(m_window->Graph().YMax(), 5);
  EXPECT_EQ(m_window->DatabaseLoads(), 1);
  EXPECT_TRUE(m_console.Log.isEmpty()) << m_console.Log.join(u'\n').toStdString();
}

TEST_F(TrendWindowDatabaseTest, UpdatesComeFromTheDatabaseWhenMemoryHasNothingNewer) {
  ASSERT_TRUE(m_database.Insert(At(8, 0), {{"RVF1", 100}}));
  Make();
  Run([&] { m_window->Reload(); });
  ASSERT_TRUE(m_database.Insert(At(8, 1), {{"RVF1", 110}}));
  ASSERT_TRUE(m_database.Insert(At(8, 2), {{"RVF1", 120}}));
  Run([&] { m_window->CheckForUpdates(); });
  EXPECT_EQ(m_window->Graph().GetPoint(0, At(8, 1)), 120);
  EXPECT_NEAR(m_window->LastShown(), At(8, 1, 50), 1e-9);
  EXPECT_EQ(m_window->DatabaseLoads(), 2);
}

TEST_F(TrendWindowDatabaseTest, ASecondLoadIsRefusedWhileOneRuns) {
  for (int minute = 0; minute < 200; ++minute) {
    ASSERT_TRUE(m_database.Insert(At(8, 0) + minute * kMinute, {{"RVF1", 100.0 + minute}}));
  }
  Make();
  m_window->Reload();
  EXPECT_TRUE(m_window->LoadBusy());
  EXPECT_TRUE(m_window->WaitPanel().isVisibleTo(m_window.get()));
  m_window->Reload();
  m_window->CheckForUpdates();
  ASSERT_TRUE(QTest::qWaitFor([&] { return m_finished->count() == 1; }, 10000));
  QTest::qWait(50);
  EXPECT_EQ(m_finished->count(), 1);
  EXPECT_EQ(m_window->Graph().GetPoint(0, At(11, 18)), 299);
}

TEST_F(TrendWindowDatabaseTest, MissingColumnsAndBrokenDaysAreGapsAndLogLines) {
  // A table without ZRRS1: the series stays empty, the rest is drawn.
  TrendDatabase narrow;
  ASSERT_TRUE(narrow.Open({"RVF1"})) << narrow.Error().toStdString();
  ASSERT_TRUE(narrow.Insert(At(8, 0), {{"RVF1", 100}}));
  m_console.Database = &narrow;
  Make();
  Run([&] { m_window->Reload(); });
  EXPECT_EQ(m_window->Graph().GetPoint(0, At(8, 0)), 100);
  EXPECT_EQ(m_window->Graph().GetPoint(1, At(8, 0)), -1);
  EXPECT_TRUE(m_console.Log.join(u'\n').contains(u"puf_data has no column ZRRS1"_qs))
      << m_console.Log.join(u'\n').toStdString();
}

TEST_F(TrendWindowDatabaseTest, AFailedQueryKeepsTheGraphsAndLogsTheWindowsText) {
  ASSERT_TRUE(m_database.Insert(At(8, 0), {{"RVF1", 100}}));
  Make();
  Run([&] { m_window->Reload(); });
  ASSERT_TRUE(m_database.Exec(QStringLiteral("DROP TABLE puf_data")));
  Run([&] { m_window->CheckForUpdates(); });
  EXPECT_EQ(m_window->Graph().GetPoint(0, At(8, 0)), 100);
  ASSERT_GE(m_console.Log.size(), 1);
  EXPECT_EQ(m_console.Log.first(), u"check failed"_qs);
  EXPECT_FALSE(m_window->LoadBusy());
  Run([&] { m_window->Reload(); });
  EXPECT_EQ(m_console.Log.filter(u"reload failed"_qs).size(), 1);
  EXPECT_TRUE(m_window->WaitPanel().isHidden());
}

TEST_F(TrendWindowDatabaseTest, ADenseDayFromABrokenCollectorStaysInsideTheSlots) {
  // 30 000 rows in a day: one every 2.88 s, ten per slot.
  QStringList values;
  for (int i = 0; i < 30000; ++i) {
    values << QStringLiteral("('%1', %2)")
                  .arg(TrendDatabase::FormatMoment(At(7, 0) + i * 2.88 * kSecond))
                  .arg(i % 500);
  }
  for (qsizetype from = 0; from < values.size(); from += 5000) {
    ASSERT_TRUE(m_database.Exec(QStringLiteral("INSERT IGNORE INTO puf_data (RecMoment, RVF1) VALUES ") +
                                values.mid(from, 5000).join(u", "_qs)));
  }
  Make();
  Run([&] { m_window->Reload(); });
  EXPECT_GE(m_window->Graph().SlotAt(0, 0).Max, m_window->Graph().SlotAt(0, 0).Min);
  // 24 h less a second make 1439 slots: the day's last minute has none.
  EXPECT_TRUE(m_window->Graph().SlotAt(0, 1438).Present);
  EXPECT_EQ(m_window->Graph().IntervalPointCount(), 1439);
  EXPECT_TRUE(m_console.Log.isEmpty()) << m_console.Log.join(u'\n').toStdString();
}

TEST_F(TrendWindowTest, AServerThatStallsMidLoadLeavesTheWindowResponsiveAndEndsInTheErrorText) {
  FreezeProxy proxy(TrendDatabase::ServerPort());
  ASSERT_NE(proxy.Port(), 0);
  TrendDatabase database;
  ASSERT_TRUE(database.Open({}, proxy.Port(), 1)) << database.Error().toStdString();
  ASSERT_TRUE(database.Insert(At(8, 0), {{"RVF1", 100}}));
  m_console.Database = &database;
  m_console.Connected = true;
  Make();
  Run([&] { m_window->Reload(); });
  EXPECT_EQ(m_window->Graph().GetPoint(0, At(7, 59)), -1);

  proxy.SetFrozen(true);
  m_window->Reload();
  ASSERT_TRUE(m_window->LoadBusy());
  // The event loop keeps turning while the server says nothing.
  int turns = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] { ++turns; });
  ticker.start(10);
  ASSERT_TRUE(QTest::qWaitFor([&] { return turns >= 20; }, 5000));
  EXPECT_TRUE(m_window->WaitPanel().isVisibleTo(m_window.get()));
  EXPECT_TRUE(m_window->LoadBusy());
  // The read time-out ends the query.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !m_window->LoadBusy(); }, 20000));
  EXPECT_EQ(m_console.Log.value(0), u"reload failed"_qs) << m_console.Log.join(u'\n').toStdString();
  EXPECT_TRUE(m_window->WaitPanel().isHidden());
  // A connection that timed out is useless: it is closed, so the console
  // offers to reconnect and the trends fall back to memory.
  ASSERT_TRUE(database.Thread().WaitIdle(5000));
  EXPECT_FALSE(database.Thread().Connected());
}

// ---- Printing and the CSV export of the interval shown.

struct ExportResult {
  bool Called = false;
  int Calls = 0;
  bool Ok = false;
  QString Error;
  TPrintableView::ExportDone Done() {
    return [this](bool ok, const QString& error) {
      Called = true;
      ++Calls;
      Ok = ok;
      Error = error;
    };
  }
};

QString ReadText(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("<missing>");
  return QString::fromUtf8(file.readAll());
}

TEST_F(TrendWindowTest, HeadingAndFileStemNameTheDayAndTheShiftShown) {
  Make();
  m_window->ComboBox1().setCurrentIndex(0);
  EXPECT_EQ(m_window->PrintHeading().value(1),
            u"За 14.03.2024, смена №1: 14.03.2024 07:00:00 – 14.03.2024 18:59:59"_qs)
      << "before the first reload: the picker's choice";
  Run([&] { m_window->Reload(); });
  // What is printed is what the graphs show, not what the picker says now.
  m_window->DateTimePicker1().setDate(QDate(2024, 3, 1));
  m_window->ComboBox1().setCurrentIndex(2);
  EXPECT_EQ(m_window->PrintHeading().value(1),
            u"За 14.03.2024, смена №1: 14.03.2024 07:00:00 – 14.03.2024 18:59:59"_qs);
  EXPECT_EQ(m_window->ExportFileStem(), u"TestTrend-2024-03-14-smena1"_qs);
}

TEST_F(TrendWindowTest, CsvFromMemoryHoldsTheRecordsOfTheIntervalOnly) {
  QTemporaryDir dir;
  m_console.Records = {Record(At(6, 59), 1), Record(At(8, 0), 100.5f, 4500), Record(At(8, 1), 0.25f),
                       Record(kDay + 1 + 7.0 / 24, 9)};
  Make();
  Run([&] { m_window->Reload(); });
  ExportResult result;
  const QString path = dir.filePath(QStringLiteral("t.csv"));
  m_window->ExportCsv(path, result.Done());
  ASSERT_TRUE(QTest::qWaitFor([&] { return result.Called; }, 5000));
  EXPECT_TRUE(result.Ok) << result.Error.toStdString();
  EXPECT_EQ(ReadText(path),
            u"RecMoment,RVF1,ZRRS1\n2024-03-14T08:00:00,100.5,4500\n2024-03-14T08:01:00,0.25,0\n"_qs);
}

TEST_F(TrendWindowDatabaseTest, CsvFromTheDatabaseWritesRowsInOrderWithGapsAsEmptyFields) {
  QTemporaryDir dir;
  TrendDatabase narrow;  // a table without ZRRS1
  ASSERT_TRUE(narrow.Open({QStringLiteral("RVF1")})) << narrow.Error().toStdString();
  m_console.Database = &narrow;
  ASSERT_TRUE(narrow.Insert(At(8, 1), {{"RVF1", 1234.5678}}));
  ASSERT_TRUE(narrow.Insert(At(8, 0), {}));  // a NULL reads as 0
  ASSERT_TRUE(narrow.Insert(At(6, 0), {{"RVF1", 7}}));
  Make();
  Run([&] { m_window->Reload(); });
  ExportResult result;
  const QString path = dir.filePath(QStringLiteral("t.csv"));
  m_window->ExportCsv(path, result.Done());
  ASSERT_TRUE(QTest::qWaitFor([&] { return result.Called; }, 10000));
  EXPECT_TRUE(result.Ok) << result.Error.toStdString();
  EXPECT_EQ(ReadText(path),
            u"RecMoment,RVF1,ZRRS1\n2024-03-14T08:00:00,0,\n2024-03-14T08:01:00,1234.5678,\n"_qs);
}

TEST_F(TrendWindowDatabaseTest, AFailedOrAbandonedExportLeavesTheOldFileAndReportsOnce) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("t.csv"));
  {
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old\n");
  }
  ASSERT_TRUE(m_database.Insert(At(8, 0), {{"RVF1", 100}}));
  Make();
  ASSERT_TRUE(m_database.Exec(QStringLiteral("DROP TABLE puf_data")));
  ExportResult failed;
  m_window->ExportCsv(path, failed.Done());
  ASSERT_TRUE(QTest::qWaitFor([&] { return failed.Called; }, 10000));
  EXPECT_FALSE(failed.Ok);
  EXPECT_TRUE(failed.Error.startsWith(u"Не удалось сохранить файл "_qs + path)) << failed.Error.toStdString();
  EXPECT_EQ(ReadText(path), u"old\n"_qs);

  // The window closed while the rows are still on their way.
  ExportResult abandoned;
  m_window->ExportCsv(path, abandoned.Done());
  m_window.reset();
  EXPECT_EQ(abandoned.Calls, 1);
  EXPECT_FALSE(abandoned.Ok);
  QTest::qWait(0);
  EXPECT_EQ(abandoned.Calls, 1);
  EXPECT_EQ(ReadText(path), u"old\n"_qs);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("t.csv")})
      << "no temporary left";

  ExportResult unwritable;
  Make();
  m_window->ExportCsv(dir.filePath(QStringLiteral("t.csv/inside.csv")), unwritable.Done());
  ASSERT_TRUE(QTest::qWaitFor([&] { return unwritable.Called; }, 5000));
  EXPECT_FALSE(unwritable.Ok);
}

TEST(HistoryReader, WithoutADatabaseEveryReadFinishesWithAnError) {
  THistoryReader reader(nullptr);
  QSignalSpy finished(&reader, &THistoryReader::Finished);
  ASSERT_TRUE(reader.Start(At(7, 0), At(8, 0)));
  EXPECT_FALSE(reader.Start(At(7, 0), At(8, 0)));
  ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 5000));
  EXPECT_FALSE(finished.first().at(0).toBool());
  EXPECT_EQ(THistoryReader::QueryText(At(7, 0), At(8, 0)),
            u"select * from puf_data where RecMoment >= '2024-03-14 07:00:00' and RecMoment <= "
            u"'2024-03-14 08:00:00' order by RecMoment"_qs);
}

}  // namespace
