#include "ui/trends/formflokgraph.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

#include "common/inifile.h"
#include "support/files.h"
#include "trendconsole.h"
#include "trenddb.h"
#include "ui/elements/arrow.h"
#include "ui/elements/label.h"
#include "ui/elements/outfield.h"
#include "ui/trends/formgraphftpoint.h"
#include "ui/trends/levelgraph.h"

namespace {

constexpr double kMinute = 1.0 / 1440;
constexpr TColor kCream = 15793151;

TDateTime At(int hour, int minute, int second = 0) {
  return EncodeDateTime(2024, 3, 14, hour, minute, second);
}

// Slots of the minute record's value block.
constexpr int kTRFL1 = 22, kTRFL2 = 23, kZRFL1 = 28, kZRFL2 = 29;

MinuteRecord Record(TDateTime moment, float trfl1, float zrfl1, float trfl2 = 0, float zrfl2 = 0) {
  MinuteRecord record;
  record.RecMoment = moment;
  record.Values[kTRFL1] = trfl1;
  record.Values[kZRFL1] = zrfl1;
  record.Values[kTRFL2] = trfl2;
  record.Values[kZRFL2] = zrfl2;
  return record;
}

class FormFlokGraphTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

  void Make() {
    m_window = std::make_unique<TFormFlokGraph>(m_console.Source(), m_dir.path());
    m_window->TimerUpdate().stop();
    m_window->PointWindow().Timer1().stop();
    m_finished = std::make_unique<QSignalSpy>(m_window.get(), &TTrendWindow::LoadFinished);
  }
  // Runs a load and waits until it ended; false when it did not end in time.
  [[nodiscard]] bool Run(const std::function<void()>& load) {
    const qsizetype before = m_finished->count();
    load();
    return QTest::qWaitFor([&] { return m_finished->count() > before; }, 10000);
  }
  QString IniPath() const { return m_dir.filePath(QStringLiteral("FormFlokGraph.INI")); }
  void WriteIni(const QByteArray& text) { ASSERT_TRUE(WriteFileBytes(IniPath(), text)); }
  TLevelGraph& S1() const { return m_window->LevelGraphS1(); }
  TLevelGraph& S2() const { return m_window->LevelGraphS2(); }
  template <class T>
  T& Child(const char* name) const {
    T* child = m_window->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return *child;
  }

  QTemporaryDir m_dir;
  FakeTrendConsole m_console{At(10, 15)};
  std::unique_ptr<TFormFlokGraph> m_window;
  std::unique_ptr<QSignalSpy> m_finished;
};

TEST_F(FormFlokGraphTest, DesignValuesTextsAndPens) {
  Make();
  EXPECT_EQ(m_window->objectName(), u"FormFlokGraph"_qs);
  EXPECT_EQ(m_window->windowTitle(), u"График расхода флокулянта"_qs);
  EXPECT_EQ(m_window->IniPath(), IniPath());
  EXPECT_EQ(m_window->TimerUpdate().interval(), 1000);
  EXPECT_EQ(Child<QWidget>("PanelTop").height(), 51);
  EXPECT_EQ(Child<QWidget>("PanelTop").palette().color(QPalette::Window), ColorFromTColor(kCream));
  EXPECT_EQ(Child<TLabel>("LabelTop").text(), u"График расхода флокулянта за"_qs);
  EXPECT_EQ(Child<TLabel>("LabelTRS").text(), u"Текущий расход"_qs);
  EXPECT_EQ(Child<TLabel>("LabelURS").text(), u"Удельный расход"_qs);
  EXPECT_EQ(m_window->ComboBox1().currentText(), u"Обе смены"_qs);
  EXPECT_EQ(m_window->DateTimePicker1().date(), QDate(2024, 3, 14));
  EXPECT_EQ(m_window->ArrowTRS().Color(), clRed);
  EXPECT_EQ(m_window->ArrowURS().Color(), clBlue);

  for (TLevelGraph* graph : {&S1(), &S2()}) {
    SCOPED_TRACE(graph->objectName().toStdString());
    const QString suffix = graph->objectName().right(1);
    EXPECT_EQ(graph->YMin(), 0);
    EXPECT_EQ(graph->YMax(), 400);
    EXPECT_EQ(graph->YLabelStep(), 50);
    EXPECT_TRUE(graph->ShowRightScale());
    EXPECT_EQ(graph->RightYMin(), 40);
    EXPECT_EQ(graph->RightYMax(), 320);
    EXPECT_EQ(graph->RightScaleStep(), 40);
    EXPECT_EQ(graph->GraphTop(), 26);
    EXPECT_EQ(graph->GraphLeft(), 60);
    EXPECT_EQ(graph->GraphSubWidth(), 60);
    EXPECT_EQ(graph->GraphSubHeight(), 20);
    EXPECT_EQ(graph->GraphCount(), 2);
    EXPECT_EQ(graph->BackColor(), kCream);
    EXPECT_EQ(graph->GraphBackColor(), clWhite);
    EXPECT_EQ(graph->SecondStep(), 60);
    EXPECT_EQ(graph->ScaleYFormat(), u"###0"_qs);
    EXPECT_TRUE(graph->ShowCursor());
    EXPECT_TRUE(graph->ShowBorder());
    EXPECT_EQ(graph->IniName(), m_dir.path() + u"/GraphColors.INI"_qs);
    EXPECT_EQ(graph->GetGraphPen(0), ElementPen(clRed, 3));
    EXPECT_EQ(graph->GetGraphPen(1), ElementPen(clBlue, 3));
    EXPECT_EQ(graph->findChild<TLabel*>(u"LabelS"_qs + suffix)->text(), u" Секция №"_qs + suffix);
    EXPECT_EQ(graph->findChild<TLabel*>(u"LabelLeftUnitS"_qs + suffix)->text(), u"л/ч"_qs);
    EXPECT_EQ(graph->findChild<TLabel*>(u"LabelRightUnitS"_qs + suffix)->text(), u"мл/т"_qs);
    ASSERT_EQ(graph->actions().size(), 1);
    EXPECT_EQ(graph->actions().first()->text(), u"Показать цифровые значения"_qs);
    EXPECT_EQ(graph->contextMenuPolicy(), Qt::ActionsContextMenu);
  }
}

TEST_F(FormFlokGraphTest, RestyledArrowsRecolourTheirSeriesAndCaptions) {
  WriteIni("[ArrowURS]\r\nColor=32768\r\nArrowWidth=5\r\n[ArrowTRS]\r\nColor=not a colour\r\n");
  Make();
  for (TLevelGraph* graph : {&S1(), &S2()}) {
    EXPECT_EQ(graph->GetGraphPen(0), ElementPen(clRed, 3));
    EXPECT_EQ(graph->GetGraphPen(1), ElementPen(clGreen, 5));
  }
  EXPECT_EQ(Child<TLabel>("LabelURS").palette().color(QPalette::WindowText), ColorFromTColor(clGreen));
  EXPECT_EQ(Child<TLabel>("LabelTRS").palette().color(QPalette::WindowText), ColorFromTColor(clRed));
}

TEST_F(FormFlokGraphTest, TopRowIsCentredAndTheGraphsShareTheHeight) {
  Make();
  for (const QSize size : {QSize(1000, 700), QSize(1280, 951), QSize(700, 400)}) {
    SCOPED_TRACE(size.width());
    m_window->resize(size);
    m_window->FormResize();
    const TLabel& caption = Child<TLabel>("LabelTop");
    const QWidget& picker = m_window->DateTimePicker1();
    const QWidget& combo = m_window->ComboBox1();
    const int w = size.width();
    EXPECT_EQ(caption.x(), (w - caption.width() - picker.width() - combo.width()) / 2);
    EXPECT_EQ(picker.x(), caption.x() + caption.width() + 4);
    EXPECT_EQ(combo.x(), picker.x() + picker.width() + 4);
    const TArrow& arrow = m_window->ArrowURS();
    const TLabel& label = Child<TLabel>("LabelURS");
    EXPECT_EQ(arrow.x(), w - arrow.width() - label.width() - 20);
    EXPECT_EQ(label.x(), arrow.x() + arrow.width() + 5);
    for (TLevelGraph* graph : {&S1(), &S2()}) {
      const QWidget* unit = graph->findChild<TLabel*>(u"LabelRightUnitS"_qs + graph->objectName().right(1));
      EXPECT_EQ(unit->x() + unit->width(), w - 10);
    }
    EXPECT_EQ(S1().geometry(), QRect(0, 51, w, (size.height() - 51) / 2));
    EXPECT_EQ(S2().y(), S1().y() + S1().height());
    EXPECT_EQ(S2().y() + S2().height(), size.height());
    EXPECT_EQ(m_window->WaitPanel().x(), (w - m_window->WaitPanel().width()) / 2);
  }
}

TEST_F(FormFlokGraphTest, WithoutTheDatabaseOnlyEnterLoadsAndItLoadsFromMemory) {
  m_console.Records = {Record(At(8, 0), 12, 160, 30, 80), Record(At(8, 1), 14, 160, 32, 80)};
  Make();
  for (int tick = 0; tick < 7; ++tick) m_window->TimerUpdateTimer();
  EXPECT_EQ(m_window->TickCount(), 0) << "the timer waits for the database";
  EXPECT_EQ(S1().GetPoint(0, At(8, 0)), -1);

  QTest::keyClick(&m_window->DateTimePicker1(), Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return m_finished->count() == 1; }, 2000)) << "Enter did not reload";
  EXPECT_EQ(S1().GetPoint(0, At(8, 0)), 12);
  EXPECT_EQ(S2().GetPoint(0, At(8, 0)), 30);
  // 160 ml/t is half the design right scale (0 ... 320 onto 0 ... 400).
  EXPECT_EQ(S1().GetPoint(1, At(8, 0)), 200);
  EXPECT_EQ(S2().GetPoint(1, At(8, 0)), 100);
  EXPECT_EQ(S1().SlotAt(0, 60).Max, 14) << "the second record covers the minute before it";
  EXPECT_NEAR(m_window->LastShown(), At(8, 0, 50), 1e-9);
  EXPECT_TRUE(m_console.Log.isEmpty());
}

TEST_F(FormFlokGraphTest, ReloadLeavesTheCursorAndAClickMovesBothCursors) {
  m_console.Records = {Record(At(8, 0), 12, 160)};
  Make();
  EXPECT_EQ(S1().CursorTime(), 0);
  m_window->Reload();
  EXPECT_EQ(S1().CursorTime(), 0) << "the cursor is not put into the interval";
  EXPECT_EQ(S2().CursorTime(), 0);

  const int x = S2().PlotLeft() + 200;
  QTest::mouseClick(&S2(), Qt::LeftButton, {}, QPoint(x, 100));
  const TDateTime clicked = S2().ScreenToTime(x);
  EXPECT_NEAR(S2().CursorTime(), clicked, 1e-9);
  EXPECT_NEAR(S1().CursorTime(), clicked, 1e-9);
  m_window->Reload();
  EXPECT_NEAR(S1().CursorTime(), clicked, 1e-9) << "a reload keeps the operator's cursor";
}

TEST_F(FormFlokGraphTest, ChangedRightScaleLimitsPutTheValueAtMidHeightAndBackInThePointWindow) {
  WriteIni(
      "[GraphLimits1]\r\nYMin=0\r\nYMax=400\r\nRightYMin=40\r\nRightScaleStep=40\r\nRightYMax=640\r\n"
      "[GraphLimits2]\r\nYMax=oops\r\nRightScaleStep=\r\n");
  std::vector<MinuteRecord> records;
  for (int minute = 0; minute <= 60; ++minute) records.push_back(Record(At(8, minute), 50, 320, 50, 320));
  m_console.Records = records;
  Make();
  EXPECT_EQ(S1().RightYMax(), 640);
  EXPECT_EQ(S2().RightYMax(), 320) << "unreadable values keep the design limits";
  EXPECT_EQ(S2().YMax(), 400);
  m_window->Reload();
  EXPECT_EQ(S1().GetPoint(1, At(8, 30)), 200);
  EXPECT_EQ(S2().GetPoint(1, At(8, 30)), 400);

  m_window->show();
  const QImage image = S1().grab().toImage();
  const int x = int(S1().TimeToScreenX(At(8, 30))) - 2;
  const int y = int(S1().YToScreen(200));
  EXPECT_NEAR(y, (S1().PlotTop() + S1().PlotBottom()) / 2, 1);
  EXPECT_EQ(image.pixelColor(x, y), QColor(Qt::blue));
  EXPECT_EQ(image.pixelColor(x, y + 10), QColor(Qt::white));

  S1().SetCursorTime(At(8, 30));
  m_window->CmdShowSatelliteClick();
  const TFormGraphFtPoint& point = m_window->PointWindow();
  EXPECT_EQ(point.FieldSpecific().OutValue(), 320);
  EXPECT_EQ(point.FieldFlow().OutValue(), 50);
}

TEST_F(FormFlokGraphTest, LimitsOfBothGraphsAreWrittenAtDestruction) {
  WriteIni("[GraphLimits2]\r\nYMax=250\r\nYLabelStep=25\r\n");
  Make();
  S1().SetRightYMax(480);
  m_window.reset();
  const IniFile ini(IniPath());
  struct Expected {
    const char* Section;
    const char* Key;
    double Value;
  };
  for (const Expected& e :
       {Expected{"GraphLimits1", "YMin", 0}, Expected{"GraphLimits1", "YMax", 400},
        Expected{"GraphLimits1", "YLabelStep", 50}, Expected{"GraphLimits1", "RightYMin", 40},
        Expected{"GraphLimits1", "RightYMax", 480}, Expected{"GraphLimits1", "RightScaleStep", 40},
        Expected{"GraphLimits2", "YMax", 250}, Expected{"GraphLimits2", "YLabelStep", 25},
        Expected{"GraphLimits2", "RightYMax", 320}}) {
    EXPECT_EQ(ini.ReadFloat(QString::fromLatin1(e.Section), QString::fromLatin1(e.Key), -99), e.Value)
        << e.Section << " " << e.Key;
  }
}

TEST_F(FormFlokGraphTest, PointWindowShowsSectionOneAndStepsBothGraphs) {
  // The 08:02 record covers 08:01; 08:02 itself stays empty.
  m_console.Records = {Record(At(8, 0), 12.5, 80, 99, 99), Record(At(8, 1), 12.5, 80, 99, 99),
                       Record(At(8, 2), 12.5, 80, 99, 99)};
  Make();
  TFormGraphFtPoint& point = m_window->PointWindow();
  EXPECT_TRUE(point.isHidden()) << "made at start, shown on request";
  EXPECT_EQ(point.parentWidget(), m_window.get());
  EXPECT_EQ(point.windowTitle(), u"Текущая точка графика"_qs);
  EXPECT_EQ(point.findChildren<TOutField*>().size(), 3) << "time and the two section 1 values";
  EXPECT_EQ(point.findChild<QLabel*>(u"LabelOutFieldTRFL"_qs)->text(), u"Текущий расход, л/ч:"_qs);
  EXPECT_EQ(point.findChild<QLabel*>(u"LabelOutFieldZRFL"_qs)->text(), u"Удельный расход мл/т:"_qs);
  EXPECT_EQ(point.FieldFlow().Pen().Color(), clRed);
  EXPECT_EQ(point.FieldSpecific().Pen().Color(), clBlue);

  m_window->Reload();
  S1().SetCursorTime(At(8, 0));
  S2().SetCursorTime(At(8, 0));
  m_console.Active = m_window.get();
  m_window->CmdShowSatelliteClick();
  EXPECT_TRUE(point.isVisible());
  EXPECT_EQ(point.FieldFlow().OutValue(), 12.5);
  EXPECT_DOUBLE_EQ(point.FieldSpecific().OutValue(), 80);
  EXPECT_EQ(point.TimeField().Caption(), u"14.03.2024 08:00:00"_qs);

  point.ButGoRightClick();
  EXPECT_NEAR(S1().CursorTime(), At(8, 1), 1e-9);
  EXPECT_NEAR(S2().CursorTime(), At(8, 1), 1e-9);
  EXPECT_EQ(point.FieldFlow().OutValue(), 12.5);
  point.ButGoRightClick();
  EXPECT_EQ(point.FieldFlow().Caption().trimmed(), QString());
  EXPECT_EQ(point.FieldSpecific().Caption().trimmed(), QString());
  EXPECT_EQ(point.TimeField().Caption(), u"14.03.2024 08:02:00"_qs);

  S1().SetCursorTime(S1().StartTime());
  point.ButGoLeftClick();
  EXPECT_EQ(S1().CursorTime(), S1().StartTime()) << "not before the interval";
  EXPECT_NEAR(S2().CursorTime(), At(8, 2), 1e-9);
  S1().SetCursorTime(S1().StopTime());
  point.ButGoRightClick();
  EXPECT_EQ(S1().CursorTime(), S1().StopTime()) << "not after the interval";

  m_console.Active = nullptr;
  point.Timer1Timer();
  EXPECT_FALSE(point.isVisible()) << "another view is active";
}

// ---- Against the private database server.

class FormFlokGraphDatabaseTest : public FormFlokGraphTest {
 protected:
  void SetUp() override {
    FormFlokGraphTest::SetUp();
    ASSERT_TRUE(m_database.Open()) << m_database.Error().toStdString();
    m_console.Database = &m_database;
    m_console.Connected = true;
  }
  TrendDatabase m_database;
};

TEST_F(FormFlokGraphDatabaseTest, TimerReloadsOnTheFirstAndSixthTicks) {
  ASSERT_TRUE(m_database.Insert(At(8, 0), {{"TRFL1", 10}, {"ZRFL1", 160}, {"TRFL2", 20}, {"ZRFL2", 80}}));
  Make();
  // A point a reload clears and an update leaves alone.
  const TDateTime marker = At(20, 0);
  std::vector<int> reloads;
  for (int tick = 0; tick < 8; ++tick) {
    S1().AddPoint(0, marker, 7);
    m_window->TimerUpdateTimer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_window->LoadBusy(); }, 10000)) << tick;
    if (S1().GetPoint(0, marker) == -1) reloads.push_back(tick);
  }
  EXPECT_EQ(reloads, (std::vector<int>{0, 5}));
  EXPECT_EQ(m_window->TickCount(), 8);
  EXPECT_EQ(S1().GetPoint(1, At(8, 0)), 200);
  EXPECT_EQ(S2().GetPoint(0, At(8, 0)), 20);
}

TEST_F(FormFlokGraphDatabaseTest, ADatabaseLoadKeepsASmallYMaxAndAFailedReloadIsNotLogged) {
  WriteIni("[GraphLimits1]\r\nYMax=2\r\nYLabelStep=1\r\n");
  ASSERT_TRUE(m_database.Insert(At(8, 0), {{"TRFL1", 1}}));
  Make();
  ASSERT_TRUE(Run([&] { m_window->Reload(); }));
  EXPECT_EQ(S1().GetPoint(0, At(8, 0)), 1);
  EXPECT_EQ(S1().YMax(), 2) << "no minimum YMax in this window";

  ASSERT_TRUE(m_database.Exec(QStringLiteral("DROP TABLE puf_data")));
  ASSERT_TRUE(Run([&] { m_window->Reload(); }));
  EXPECT_FALSE(m_window->LoadBusy());
  EXPECT_TRUE(m_window->WaitPanel().isHidden());
  EXPECT_TRUE(m_console.Log.filter(u"Ошибка"_qs).isEmpty()) << m_console.Log.join(u'\n').toStdString();

  ASSERT_TRUE(Run([&] { m_window->CheckForUpdates(); }));
  ASSERT_FALSE(m_console.Log.isEmpty());
  EXPECT_EQ(m_console.Log.filter(u"Ошибка"_qs),
            QStringList{u"Ошибка в TFormFlotGraph::CheckForUpdates()."_qs});
}

}  // namespace
