#include "ui/trends/levelgraph.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>
#include <vector>

#include "common/inifile.h"
#include "support/files.h"
#include "support/waitfor.h"

namespace {

constexpr double kMinute = 1.0 / 1440;
constexpr double kHour = 1.0 / 24;

// A day shift: 07:00 ... 19:00, 720 one-minute slots.
const TDateTime kShiftStart = EncodeDateTime(2024, 3, 14, 7, 0);
const TDateTime kShiftStop = EncodeDateTime(2024, 3, 14, 19, 0);

TDateTime AtMinute(int minute) {
  return kShiftStart + minute * kMinute;
}

// Switches the interval the way the trend windows do.
void SwitchInterval(TLevelGraph& graph, TDateTime start, TDateTime stop, TDateTime cursor) {
  graph.SetNewIntervalAccepted(false);
  graph.SetNewStartTime(start);
  graph.SetNewStopTime(stop);
  graph.SetNewCursorTime(cursor);
  graph.SetNewIntervalAccepted(true);
  graph.ResetData();
  graph.CalcRegion();
}

// A 600 x 200 graph over the day shift, values 0 ... 100 with a grid of 20,
// a time grid of two hours, three series.
class LevelGraphTest : public testing::Test {
 protected:
  void SetUp() override {
    m_graph = std::make_unique<TLevelGraph>();
    m_graph->setObjectName(u"LevelGraphRP"_qs);
    m_graph->resize(600, 200);
    m_graph->SetMessageSink([this](QMessageBox::Icon icon, const QString& caption, const QString& text) {
      m_messages.push_back({icon, caption, text});
    });
    m_graph->SetYMax(100);
    m_graph->SetYLabelStep(20);
    m_graph->SetXLabelStep(2 * kHour);
    m_graph->SetGraphCount(3);
    SwitchInterval(*m_graph, kShiftStart, kShiftStop, AtMinute(360));
  }

  void Show() {
    m_graph->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_graph.get()));
    ASSERT_TRUE(WaitFor([&] { return m_graph->RedrawCount() > 0 && !m_graph->NeedRepaint(); }));
  }

  struct Message {
    QMessageBox::Icon icon;
    QString caption;
    QString text;
  };

  std::unique_ptr<TLevelGraph> m_graph;
  std::vector<Message> m_messages;
};

TEST(LevelGraph, StartsWithTheComponentDefaults) {
  TLevelGraph graph;
  EXPECT_STREQ(graph.metaObject()->className(), "TLevelGraph");
  EXPECT_EQ(graph.BorderPen(), ElementPen(clBlack, 1));
  EXPECT_EQ(graph.BackColor(), clSilver);
  EXPECT_EQ(graph.GraphBackColor(), clWhite);
  EXPECT_EQ(graph.GraphTop(), 10);
  EXPECT_EQ(graph.GraphLeft(), 30);
  EXPECT_EQ(graph.GraphSubWidth(), 30);
  EXPECT_EQ(graph.GraphSubHeight(), 15);
  EXPECT_EQ(graph.GraphCount(), 1);
  EXPECT_TRUE(graph.ShowScaleY());
  EXPECT_TRUE(graph.ShowScaleX());
  EXPECT_EQ(graph.YMax(), 0);
  EXPECT_EQ(graph.YMin(), 0);
  EXPECT_FALSE(graph.ShowCursor());
  EXPECT_FALSE(graph.ShowBorder());
  EXPECT_FALSE(graph.Transparent());
  EXPECT_TRUE(graph.EnablePresentArray());
  EXPECT_EQ(graph.CurrentGraph(), 0);
  EXPECT_EQ(graph.GraphPen(), ElementPen(clBlack, 1));
  EXPECT_EQ(graph.CursorType(), tm_cursor_VLine);
  EXPECT_DOUBLE_EQ(graph.DataStep(), kMinute);
  EXPECT_EQ(graph.SecondStep(), 60);
  EXPECT_EQ(graph.ArraySize(), 1000);
  EXPECT_EQ(graph.ScaleXFormat(), u"hh:mm"_qs);
  EXPECT_EQ(graph.ScaleYFormat(), u"###%"_qs);
  EXPECT_TRUE(graph.AutoYScaleFormat());
  EXPECT_TRUE(graph.AutoXScaleFormat());
  EXPECT_EQ(graph.AlarmColor(), clRed);
  EXPECT_EQ(graph.BestNetLineCount(), 4);
  EXPECT_FALSE(graph.ShowRightScale());
  EXPECT_FALSE(graph.NewIntervalAccepted());
  EXPECT_TRUE(graph.NeedRepaint());
  EXPECT_EQ(graph.focusPolicy(), Qt::StrongFocus);
  EXPECT_TRUE(graph.testAttribute(Qt::WA_OpaquePaintEvent));
  EXPECT_EQ(graph.GetPoint(0, 0), -1);
}

// Values folded into one slot, in order, and what the slot then holds.
struct SlotCase {
  const char* name;
  std::vector<std::pair<double, bool>> values;  // value, alarm
  double min;
  double max;  // checked only with a range
  bool hasRange;
  bool alarm;
};

TEST_F(LevelGraphTest, AddPoint_FoldsValuesIntoMinMaxSlots) {
  const std::vector<SlotCase> cases = {
      {"one value", {{5, false}}, 5, 0, false, false},
      {"rising pair", {{5, false}, {8, false}}, 5, 8, true, false},
      {"falling pair", {{8, false}, {5, false}}, 5, 8, true, false},
      {"equal values", {{7, false}, {7, false}}, 7, 0, false, false},
      {"5 then 3 then 8", {{5, false}, {3, false}, {8, false}}, 3, 8, true, false},
      {"inside an existing range", {{3, false}, {8, false}, {5, false}}, 3, 8, true, false},
      {"alarm survives later values", {{5, true}, {6, false}, {4, false}}, 4, 6, true, true},
      {"late alarm", {{5, false}, {5, true}}, 5, 0, false, true},
  };
  for (const SlotCase& c : cases) {
    SCOPED_TRACE(c.name);
    m_graph->ResetData();
    for (const auto& [value, alarm] : c.values)
      m_graph->AddPoint(2, AtMinute(10) + 20.0 / 86400, value, alarm);
    const TLevelGraph::Slot& slot = m_graph->SlotAt(2, 10);
    EXPECT_TRUE(slot.Present);
    EXPECT_EQ(slot.Min, c.min);
    EXPECT_EQ(slot.HasRange, c.hasRange);
    if (c.hasRange) {
      EXPECT_EQ(slot.Max, c.max);
    }
    EXPECT_EQ(slot.Alarm, c.alarm);
    EXPECT_EQ(m_graph->GetPoint(2, AtMinute(10)), c.min);
    EXPECT_FALSE(m_graph->SlotAt(2, 9).Present);
    EXPECT_FALSE(m_graph->SlotAt(2, 11).Present);
    EXPECT_FALSE(m_graph->SlotAt(1, 10).Present);
  }
}

TEST_F(LevelGraphTest, AddPoint_KeepsToTheIntervalAndTheStore) {
  EXPECT_EQ(m_graph->IntervalSize(), 12 * 3600);
  EXPECT_EQ(m_graph->IntervalPointCount(), 720);

  m_graph->AddPoint(0, kShiftStart - 10 * kMinute, 1);  // before the start: slot 0
  m_graph->AddPoint(0, AtMinute(5), 2);                 // exactly on a minute: that minute
  m_graph->AddPoint(0, AtMinute(719), 3);               // the last slot
  m_graph->AddPoint(0, kShiftStop, 4);                  // slot 720: beyond the interval
  m_graph->AddPoint(0, kShiftStop + kMinute, 5);        // after the stop: not stored
  m_graph->AddPoint(16, AtMinute(1), 6);
  m_graph->AddPoint(-1, AtMinute(1), 6);
  EXPECT_EQ(m_graph->SlotAt(0, 0).Min, 1);
  EXPECT_EQ(m_graph->SlotAt(0, 5).Min, 2);
  EXPECT_EQ(m_graph->SlotAt(0, 719).Min, 3);
  EXPECT_FALSE(m_graph->SlotAt(0, 720).Present);
  EXPECT_EQ(m_graph->GetPoint(0, kShiftStop + kMinute), -1);
  EXPECT_EQ(m_graph->GetPoint(0, AtMinute(4)), -1);
  EXPECT_EQ(m_graph->GetPoint(16, AtMinute(5)), -1);

  m_graph->DelPoint(0, AtMinute(5));
  EXPECT_EQ(m_graph->GetPoint(0, AtMinute(5)), -1);
  m_graph->ResetGraph(0);
  EXPECT_EQ(m_graph->GetPoint(0, AtMinute(0)), -1);

  // A day at one minute: 1440 slots.
  SwitchInterval(*m_graph, kShiftStart, kShiftStart + 1, kShiftStart);
  EXPECT_EQ(m_graph->IntervalPointCount(), 1440);

  // The full store: 50 h at one minute is exactly 3000 slots.
  SwitchInterval(*m_graph, kShiftStart, kShiftStart + 3000 * kMinute, kShiftStart);
  EXPECT_EQ(m_graph->IntervalPointCount(), 3000);
  m_graph->AddPoint(1, kShiftStart + 2999 * kMinute, 9);
  EXPECT_EQ(m_graph->SlotAt(1, 2999).Min, 9);
  EXPECT_EQ(m_graph->GetPoint(1, kShiftStart + 3000 * kMinute), -1);

  // An interval beyond the store neither writes past it nor breaks drawing.
  SwitchInterval(*m_graph, kShiftStart, kShiftStart + 4000 * kMinute, kShiftStart);
  EXPECT_EQ(m_graph->IntervalPointCount(), 4000);
  m_graph->AddPoint(1, kShiftStart + 3500 * kMinute, 9);
  EXPECT_EQ(m_graph->GetPoint(1, kShiftStart + 3500 * kMinute), -1);
  m_graph->AddPoint(1, kShiftStart + 2999 * kMinute, 9);
  EXPECT_EQ(m_graph->SlotAt(1, 2999).Min, 9);
  EXPECT_FALSE(m_graph->grab().isNull());
}

TEST_F(LevelGraphTest, CalcRegion_ComputesTheGeometry) {
  m_graph->SetYMax(1001);
  ASSERT_TRUE(m_graph->CalcRegion());
  EXPECT_EQ(m_graph->PlotLeft(), 30);
  EXPECT_EQ(m_graph->PlotTop(), 10);
  EXPECT_EQ(m_graph->PlotRight(), 570);
  EXPECT_EQ(m_graph->PlotBottom(), 185);
  EXPECT_EQ(m_graph->PlotWidth(), 541);
  EXPECT_EQ(m_graph->PlotHeight(), 176);
  EXPECT_DOUBLE_EQ(m_graph->YRange(), 1001);
  EXPECT_DOUBLE_EQ(m_graph->PixelsPerSlot(), 541.0 / 720);
  EXPECT_DOUBLE_EQ(m_graph->PixelsPerUnit(), 176.0 / 1001);
  // 07:00 lies 3.5 two-hour steps into the day: halves round to even, so the
  // grid starts at 10:00 (even hours); an hour grid starts at 08:00.
  EXPECT_NEAR(m_graph->XNetStart(), EncodeDateTime(2024, 3, 14, 10, 0), 1e-9);
  EXPECT_NEAR(TLevelGraph::CalcStartNetPoint(kShiftStart, kHour), EncodeDateTime(2024, 3, 14, 8, 0), 1e-9);

  EXPECT_EQ(m_graph->TimeToScreenX(AtMinute(360)), 30 + 360 * 541.0 / 720);
  EXPECT_EQ(m_graph->TimeToScreenX(kShiftStart - 1), 30);
  EXPECT_EQ(m_graph->TimeToScreenX(kShiftStop + 1), 570);
  EXPECT_DOUBLE_EQ(m_graph->YToScreen(500.5), 185 - 88);
  EXPECT_EQ(m_graph->YToScreen(5000), 10);
  EXPECT_EQ(m_graph->YToScreen(-5), 185);
  EXPECT_NEAR(m_graph->ScreenToTime(m_graph->IndexToScreenX(360)), AtMinute(360), 1e-9);
  EXPECT_DOUBLE_EQ(m_graph->ScreenToY(185 - 88), 500.5);

  struct Broken {
    const char* name;
    std::function<void(TLevelGraph&)> apply;
  };
  const std::vector<Broken> broken = {
      {"empty interval", [](TLevelGraph& g) { SwitchInterval(g, kShiftStop, kShiftStart, kShiftStart); }},
      {"no value step", [](TLevelGraph& g) { g.SetYLabelStep(0); }},
      {"time step of 100 ms", [](TLevelGraph& g) { g.SetXLabelStep(0.1 / 86400); }},
  };
  for (const Broken& b : broken) {
    SCOPED_TRACE(b.name);
    TLevelGraph graph;
    graph.resize(600, 200);
    graph.SetYMax(100);
    graph.SetYLabelStep(20);
    graph.SetXLabelStep(kHour);
    SwitchInterval(graph, kShiftStart, kShiftStop, kShiftStart);
    ASSERT_TRUE(graph.CalcRegion());
    b.apply(graph);
    EXPECT_FALSE(graph.CalcRegion());
  }
}

// Data in series 0, the flags, and the limits CheckAutoLimits arrives at.
struct LimitsCase {
  const char* name;
  std::vector<double> values;
  bool positiveY;
  double yMin;
  double yMax;
};

TEST_F(LevelGraphTest, CheckAutoLimits_AddsAMarginToTheData) {
  const std::vector<LimitsCase> cases = {
      {"flat line at 7", {7, 7, 7}, false, 6.685, 7.315},  {"all zero", {0, 0}, false, -0.15, 1.15},
      {"all zero, positive", {0, 0}, true, 0, 1.15},       {"100 to 900", {100, 500, 900}, false, -20, 1020},
      {"100 to 900, positive", {100, 900}, true, 0, 1020},
  };
  for (const LimitsCase& c : cases) {
    SCOPED_TRACE(c.name);
    TLevelGraph graph;
    graph.resize(600, 200);
    graph.SetYMax(50);
    graph.SetYLabelStep(10);
    graph.SetXLabelStep(kHour);
    graph.SetAutoYMin(true);
    graph.SetAutoYMax(true);
    graph.SetPositiveY(c.positiveY);
    SwitchInterval(graph, kShiftStart, kShiftStop, kShiftStart);
    for (std::size_t i = 0; i < c.values.size(); ++i) graph.AddPoint(0, AtMinute(int(i) * 3), c.values[i]);
    graph.AddPoint(1, AtMinute(1), 5000);  // not drawn (GraphCount 1), not counted
    graph.CheckAutoLimits();
    EXPECT_NEAR(graph.YMin(), c.yMin, 1e-9);
    EXPECT_NEAR(graph.YMax(), c.yMax, 1e-9);
  }
}

// A fixed range and what AutoYScale chooses for it.
struct ScaleCase {
  double range;
  double step;
  const char* format;
};

TEST_F(LevelGraphTest, CheckAutoLimits_ChoosesRoundGridSteps) {
  const std::vector<ScaleCase> cases = {{1000, 250, "###0"}, {20, 5, "###0"}, {10.05, 2.5, "#0.0"}};
  for (const ScaleCase& c : cases) {
    SCOPED_TRACE(c.range);
    m_graph->SetYMin(0);
    m_graph->SetYMax(c.range);
    m_graph->SetAutoYScale(true);
    m_graph->CheckAutoLimits();
    EXPECT_DOUBLE_EQ(m_graph->YLabelStep(), c.step);
    EXPECT_EQ(m_graph->ScaleYFormat(), QString::fromLatin1(c.format));
    EXPECT_DOUBLE_EQ(m_graph->YMax(), c.range);  // the limits are not automatic
  }
}

TEST_F(LevelGraphTest, Setters_WithEqualValuesDoNotRedraw) {
  m_graph->SetShowCursor(true);
  m_graph->SetShowRightScale(true);
  Show();
  const std::vector<std::pair<const char*, std::function<void(TLevelGraph&)>>> same = {
      {"YMax", [](TLevelGraph& g) { g.SetYMax(g.YMax()); }},
      {"YMin", [](TLevelGraph& g) { g.SetYMin(g.YMin()); }},
      {"YLabelStep", [](TLevelGraph& g) { g.SetYLabelStep(g.YLabelStep()); }},
      {"XLabelStep", [](TLevelGraph& g) { g.SetXLabelStep(g.XLabelStep()); }},
      {"CursorTime", [](TLevelGraph& g) { g.SetCursorTime(g.CursorTime()); }},
      {"GraphCount", [](TLevelGraph& g) { g.SetGraphCount(g.GraphCount()); }},
      {"GraphPen", [](TLevelGraph& g) { g.SetGraphPen(1, g.GetGraphPen(1)); }},
      {"BackColor", [](TLevelGraph& g) { g.SetBackColor(g.BackColor()); }},
      {"GraphLeft", [](TLevelGraph& g) { g.SetGraphLeft(g.GraphLeft()); }},
      {"ShowCursor", [](TLevelGraph& g) { g.SetShowCursor(true); }},
      {"ShowRightScale", [](TLevelGraph& g) { g.SetShowRightScale(true); }},
      {"RightYMin", [](TLevelGraph& g) { g.SetRightYMin(g.RightYMin()); }},
      {"XScaleFont", [](TLevelGraph& g) { g.SetXScaleFont(g.XScaleFont()); }},
      {"LegendStrings", [](TLevelGraph& g) { g.SetLegendStrings(g.LegendStrings()); }},
      {"ScaleYFormat", [](TLevelGraph& g) { g.SetScaleYFormat(g.ScaleYFormat()); }},
      {"SecondStep", [](TLevelGraph& g) { g.SetSecondStep(g.SecondStep()); }},
      {"accepted interval", [](TLevelGraph& g) { g.SetNewIntervalAccepted(true); }},
      {"plain repaint", [](TLevelGraph& g) { g.repaint(); }},
  };
  for (const auto& [name, apply] : same) {
    SCOPED_TRACE(name);
    const int before = m_graph->RedrawCount();
    apply(*m_graph);
    EXPECT_FALSE(m_graph->NeedRepaint());
    QCoreApplication::processEvents();
    EXPECT_EQ(m_graph->RedrawCount(), before);
  }

  const int before = m_graph->RedrawCount();
  m_graph->SetYMax(200);
  EXPECT_TRUE(m_graph->NeedRepaint());
  EXPECT_TRUE(WaitFor([&] { return m_graph->RedrawCount() == before + 1; }));
}

TEST_F(LevelGraphTest, Setters_KeepTheirRules) {
  m_graph->SetYMin(10);
  m_graph->SetYMax(5);
  EXPECT_DOUBLE_EQ(m_graph->YMin(), 5 - 0.001);
  m_graph->SetYMin(8);
  EXPECT_DOUBLE_EQ(m_graph->YMax(), 8 + 0.001);

  m_graph->SetArraySize(3000);
  m_graph->SetArraySize(5);
  EXPECT_EQ(m_graph->ArraySize(), 3000);
  ASSERT_EQ(m_messages.size(), 1u);
  EXPECT_EQ(m_messages[0].icon, QMessageBox::Critical);
  EXPECT_EQ(m_messages[0].caption, u"Ошибка"_qs);
  EXPECT_EQ(m_messages[0].text, u"Допускаются целые числа в диапазоне от 10 до 3000"_qs);
  m_graph->setProperty("IntervalPointCount", 5);
  ASSERT_EQ(m_messages.size(), 2u);
  EXPECT_EQ(m_messages[1].icon, QMessageBox::Warning);
  EXPECT_EQ(m_messages[1].caption, u"Справка"_qs);
  EXPECT_EQ(m_messages[1].text, u"Это поле только для чтения 2."_qs);
  EXPECT_EQ(m_graph->IntervalPointCount(), 720);

  m_graph->SetDataStep(0.005 / 86400);  // 5 ms: refused
  EXPECT_EQ(m_graph->SecondStep(), 60);
  m_graph->SetDataStep(10.4 / 86400);
  EXPECT_EQ(m_graph->SecondStep(), 10);
  m_graph->SetSecondStep(0.005);
  EXPECT_EQ(m_graph->SecondStep(), 1);
  m_graph->SetGraphCount(40);
  EXPECT_EQ(m_graph->GraphCount(), 16);
}

TEST_F(LevelGraphTest, NewInterval_SwitchesIntervalAndCursorInOneStep) {
  const TDateTime nightStart = kShiftStop;
  const TDateTime nightStop = kShiftStop + 0.5;
  m_graph->SetNewIntervalAccepted(false);
  m_graph->SetNewStartTime(nightStart);
  m_graph->SetNewStopTime(nightStop);
  m_graph->SetNewCursorTime(nightStart + kHour);
  EXPECT_EQ(m_graph->StartTime(), kShiftStart);  // nothing yet
  EXPECT_EQ(m_graph->CursorTime(), AtMinute(360));

  m_graph->SetNewIntervalAccepted(true);
  EXPECT_EQ(m_graph->StartTime(), nightStart);
  EXPECT_EQ(m_graph->StopTime(), nightStop);
  EXPECT_EQ(m_graph->CursorTime(), nightStart + kHour);
  m_graph->ResetData();
  ASSERT_TRUE(m_graph->CalcRegion());
  m_graph->AddPoint(0, nightStart + 2 * kMinute, 42);
  EXPECT_EQ(m_graph->SlotAt(0, 2).Min, 42);

  // A new stop or cursor withdraws the acceptance; setting it again applies.
  m_graph->SetNewCursorTime(nightStart + 2 * kHour);
  EXPECT_FALSE(m_graph->NewIntervalAccepted());
  EXPECT_EQ(m_graph->CursorTime(), nightStart + kHour);
  m_graph->SetNewIntervalAccepted(true);
  EXPECT_EQ(m_graph->CursorTime(), nightStart + 2 * kHour);
}

TEST_F(LevelGraphTest, Cursor_FollowsArrowKeysAndMouse) {
  Show();
  QSignalSpy changes(m_graph.get(), &TLevelGraph::changed);

  QTest::keyClick(m_graph.get(), Qt::Key_Right);
  EXPECT_NEAR(m_graph->CursorTime(), AtMinute(361), 1e-9);
  QTest::keyClick(m_graph.get(), Qt::Key_Left);
  QTest::keyClick(m_graph.get(), Qt::Key_Left);
  EXPECT_NEAR(m_graph->CursorTime(), AtMinute(359), 1e-9);
  EXPECT_EQ(changes.count(), 3);
  EXPECT_EQ(changes.at(0).at(0).value<TLevelGraph*>(), m_graph.get());

  // At the bounds the keys are taken but nothing moves.
  m_graph->SetCursorTime(kShiftStart);
  QKeyEvent left(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier);
  QCoreApplication::sendEvent(m_graph.get(), &left);
  EXPECT_TRUE(left.isAccepted());
  EXPECT_EQ(m_graph->CursorTime(), kShiftStart);
  m_graph->SetCursorTime(kShiftStop);
  QTest::keyClick(m_graph.get(), Qt::Key_Right);
  EXPECT_EQ(m_graph->CursorTime(), kShiftStop);
  EXPECT_EQ(changes.count(), 3);

  // A click puts the cursor under the mouse: x of minute 180.
  const int x = int(m_graph->IndexToScreenX(180)) + 1;
  QTest::mouseClick(m_graph.get(), Qt::LeftButton, Qt::NoModifier, QPoint(x, 100));
  EXPECT_NEAR(m_graph->CursorTime(), m_graph->ScreenToTime(x), 1e-12);
  EXPECT_EQ(int(m_graph->TimeToIndex(m_graph->CursorTime())), 180);
  EXPECT_EQ(changes.count(), 4);
  EXPECT_TRUE(m_graph->hasFocus());

  // With a right-button handler the right button leaves the cursor alone.
  QSignalSpy rightPresses(m_graph.get(), &TLevelGraph::rightMouseDown);
  const TDateTime before = m_graph->CursorTime();
  QTest::mousePress(m_graph.get(), Qt::RightButton, Qt::NoModifier, QPoint(400, 100));
  EXPECT_EQ(rightPresses.count(), 1);
  EXPECT_EQ(m_graph->CursorTime(), before);
  EXPECT_EQ(changes.count(), 4);
}

TEST(LevelGraphPens, RoundTripThroughGraphColorsIni) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString iniName = dir.filePath(u"GraphColors.INI"_qs);
  {
    TLevelGraph graph;
    graph.setObjectName(u"LevelGraphRS"_qs);
    graph.SetIniName(iniName);
    graph.SetGraphPen(0, ElementPen(clRed, 3));
    graph.SetGraphPen(1, ElementPen(clBlue, 2));
    graph.SetGraphPen(15, ElementPen(0x123456, 5));
  }  // saved on destruction
  const IniFile ini(iniName);
  EXPECT_EQ(ini.ReadInteger(u"LevelGraphRS"_qs, u"pw0"_qs, -1), 3);
  EXPECT_EQ(ini.ReadInteger(u"LevelGraphRS"_qs, u"pc1"_qs, -1), int(clBlue));
  EXPECT_EQ(ini.ReadInteger(u"LevelGraphRS"_qs, u"pw15"_qs, -1), 5);

  TLevelGraph loaded;
  loaded.setObjectName(u"LevelGraphRS"_qs);
  loaded.SetIniName(iniName);
  EXPECT_EQ(loaded.GetGraphPen(0), ElementPen(clRed, 3));
  EXPECT_EQ(loaded.GetGraphPen(1), ElementPen(clBlue, 2));
  EXPECT_EQ(loaded.GetGraphPen(15), ElementPen(0x123456, 5));
  EXPECT_EQ(loaded.GetGraphPen(2), ElementPen(clBlack, 1));
}

TEST(LevelGraphPens, GarbageInTheFileKeepsSanePens) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString iniName = dir.filePath(u"GraphColors.INI"_qs);
  ASSERT_TRUE(WriteFileBytes(iniName,
                             "[LevelGraphRP]\r\npw0=abc\r\npc0=-5\r\npw1=99999\r\npc1=16777216\r\n"
                             "pw2=3\r\npc2=255\r\npw3=\r\npc3=0x\xff\xfe\r\n[LevelGraphRP\r\n\x01\x02=\r\n"));
  TLevelGraph graph;
  graph.setObjectName(u"LevelGraphRP"_qs);
  graph.SetGraphPen(0, ElementPen(clGreen, 2));
  graph.SetIniName(iniName);
  EXPECT_EQ(graph.GetGraphPen(0), ElementPen(clGreen, 2));
  EXPECT_EQ(graph.GetGraphPen(1), ElementPen(clBlack, ElementPen::kMaxWidth));
  EXPECT_EQ(graph.GetGraphPen(2), ElementPen(clRed, 3));
  EXPECT_EQ(graph.GetGraphPen(3), ElementPen(clBlack, 1));

  // Pure binary noise reads as an empty file.
  const QString noise = dir.filePath(u"Noise.INI"_qs);
  ASSERT_TRUE(WriteFileBytes(noise, QByteArray("\x00\xff\x13[\n=\r\x80", 9).repeated(50)));
  TLevelGraph other;
  other.setObjectName(u"LevelGraphRP"_qs);
  other.SetIniName(noise);
  EXPECT_EQ(other.GetGraphPen(0), ElementPen(clBlack, 1));
}

TEST_F(LevelGraphTest, Picture_DrawsSeriesGapsAlarmsAndGrid) {
  m_graph->SetGraphCount(1);
  m_graph->SetGraphPen(0, ElementPen(clBlue, 3));
  m_graph->SetLabelNetPen(ElementPen(clLime, 1));
  m_graph->SetShowScaleX(false);
  m_graph->SetShowScaleY(false);
  ASSERT_TRUE(m_graph->CalcRegion());
  for (int minute = 60; minute <= 120; ++minute) m_graph->AddPoint(0, AtMinute(minute), 50);
  // gap 121 ... 179
  for (int minute = 180; minute <= 240; ++minute) m_graph->AddPoint(0, AtMinute(minute), 50, minute >= 200);
  m_graph->AddPoint(0, AtMinute(300), 50);  // a lone slot between gaps
  m_graph->UpdateChanges();
  Show();

  const QImage image = m_graph->grab().toImage();
  const auto at = [&](int minute, double value) {
    return image.pixelColor(int(m_graph->IndexToScreenX(minute)) - 2, int(m_graph->YToScreen(value)));
  };
  EXPECT_EQ(at(90, 50), QColor(Qt::blue));
  EXPECT_EQ(at(190, 50), QColor(Qt::blue));
  EXPECT_EQ(at(220, 50), QColor(Qt::red));  // alarm slots
  EXPECT_EQ(at(150, 50), QColor(Qt::white));
  EXPECT_EQ(at(300, 50), QColor(Qt::white));
  EXPECT_EQ(at(90, 70), QColor(Qt::white));
  // Grid lines one pixel above the values 20 ... 80, silver outside the plot.
  EXPECT_EQ(image.pixelColor(300, int(m_graph->YToScreen(60)) - 1), QColor(Qt::green));
  EXPECT_EQ(image.pixelColor(5, 5), ColorFromTColor(clSilver));
}

TEST_F(LevelGraphTest, Picture_DrawsTheCursorAndTheRightScale) {
  m_graph->SetYMax(1001);
  m_graph->SetYLabelStep(200);
  m_graph->SetScaleYFormat(u"###0"_qs);
  m_graph->SetShowRightScale(true);
  m_graph->SetRightYMin(1500);
  m_graph->SetRightScaleStep(1500);
  m_graph->SetShowCursor(true);
  m_graph->SetCursorPen(ElementPen(clFuchsia, 1));
  m_graph->SetLabelNetPen(ElementPen(clLime, 1));
  Show();
  const QImage image = m_graph->grab().toImage();
  const int cursorX = int(m_graph->TimeToScreenX(m_graph->CursorTime()));
  EXPECT_EQ(image.pixelColor(cursorX, 100), QColor(Qt::magenta));
  // Grid lines at 200 ... 1000 and none at 0 or past 1000.
  for (int value = 200; value <= 1000; value += 200) {
    EXPECT_EQ(image.pixelColor(100, int(m_graph->YToScreen(value)) - 1), QColor(Qt::green)) << value;
  }
  EXPECT_NE(image.pixelColor(100, m_graph->PlotBottom() - 1), QColor(Qt::green));
  // Right-scale labels beside the plot: ink to the right of the lines.
  const int y = int(m_graph->YToScreen(600));
  bool ink = false;
  for (int x = m_graph->PlotRight() + 4; x < image.width(); ++x)
    for (int dy = -4; dy <= 4; ++dy) ink = ink || image.pixelColor(x, y + dy).value() < 96;
  EXPECT_TRUE(ink);
}

TEST_F(LevelGraphTest, Picture_ACursorMoveRedrawsNothingAndLeavesNoTrace) {
  m_graph->SetGraphCount(1);
  m_graph->SetShowCursor(true);
  m_graph->SetCursorPen(ElementPen(clFuchsia, 1));
  for (int minute = 0; minute < 720; ++minute) m_graph->AddPoint(0, AtMinute(minute), 50);
  m_graph->UpdateChanges();
  Show();
  const int redraws = m_graph->RedrawCount();
  const int oldX = int(m_graph->TimeToScreenX(m_graph->CursorTime()));
  m_graph->SetCursorTime(AtMinute(100));
  const QImage image = m_graph->grab().toImage();
  EXPECT_EQ(m_graph->RedrawCount(), redraws);
  EXPECT_EQ(image.pixelColor(int(m_graph->TimeToScreenX(AtMinute(100))), 40), QColor(Qt::magenta));
  EXPECT_NE(image.pixelColor(oldX, 40), QColor(Qt::magenta));
}

TEST_F(LevelGraphTest, Picture_SlotsSharingAPixelColumnAreNotJoinedAcrossAGap) {
  // A day on 240 pixels: six slots to a column. Slot 600 holds 80, slot 601
  // is empty, from slot 602 on the line goes on at 20, all on one column:
  // nothing may join 80 and 20 there.
  m_graph->resize(300, 200);
  SwitchInterval(*m_graph, kShiftStart, kShiftStart + 1, kShiftStart);
  m_graph->SetGraphCount(1);
  m_graph->SetGraphPen(0, ElementPen(clBlue, 1));
  m_graph->SetShowScaleX(false);
  m_graph->SetShowScaleY(false);
  m_graph->SetLabelNetPen(ElementPen(clWhite, 1));
  ASSERT_TRUE(m_graph->CalcRegion());
  const int x = int(m_graph->IndexToScreenX(600));
  ASSERT_EQ(int(m_graph->IndexToScreenX(603)), x);
  for (int minute = 590; minute <= 600; ++minute) m_graph->AddPoint(0, AtMinute(minute), 80);
  for (int minute = 602; minute <= 620; ++minute) m_graph->AddPoint(0, AtMinute(minute), 20);
  m_graph->UpdateChanges();
  Show();
  const QImage image = m_graph->grab().toImage();
  EXPECT_EQ(image.pixelColor(x, int(m_graph->YToScreen(50))), QColor(Qt::white));
  EXPECT_EQ(image.pixelColor(x, int(m_graph->YToScreen(80))), QColor(Qt::blue));
  EXPECT_EQ(image.pixelColor(x, int(m_graph->YToScreen(20))), QColor(Qt::blue));
}

}  // namespace
