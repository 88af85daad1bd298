#include "ui/trends/formflotgraph.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <memory>
#include <optional>
#include <vector>

#include "common/inifile.h"
#include "process/valueblock.h"
#include "support/files.h"
#include "support/modaldialogs.h"
#include "support/waitfor.h"
#include "ui/common/elementeditmode.h"
#include "ui/editors/labelfont.h"
#include "ui/elements/label.h"
#include "ui/elements/outfield.h"
#include "ui/trends/formgraphflpoint.h"
#include "ui/trends/levelgraph.h"
#include "ui/trends/trenddb.h"

namespace {

constexpr double kMinute = 1.0 / 1440;
constexpr double kSecond = 1.0 / 86400;

// Thursday 14 March 2024; both shifts run from 07:00 to 06:59:59 of the 15th.
TDateTime At(int hour, int minute) {
  return hour >= 7 ? EncodeDateTime(2024, 3, 14, hour, minute) : EncodeDateTime(2024, 3, 15, hour, minute);
}
// The middle of a minute's slot, clear of rounding at the slot edges.
TDateTime Mid(int hour, int minute) {
  return At(hour, minute) + 30 * kSecond;
}

TLabel* LabelWithText(const QWidget& parent, const QString& text) {
  for (TLabel* label : parent.findChildren<TLabel*>()) {
    if (label->text() == text) return label;
  }
  return nullptr;
}

TColor TextColorOf(const QWidget& widget) {
  return TColorFromColor(widget.palette().color(widget.foregroundRole()));
}

// A minute record of one section with the seven plotted quantities.
struct Minute {
  TDateTime At;
  double RVF, PLF, RGF, TRRS, ZRRS, TRRP, ZRRP;
};

MinuteRecord RecordOf(const Minute& m, int section) {
  MinuteRecord record;
  record.RecMoment = m.At;
  const auto s = static_cast<size_t>(section);
  record.Values[Slot::RVF[s]] = static_cast<float>(m.RVF);
  record.Values[Slot::PLF[s]] = static_cast<float>(m.PLF);
  record.Values[Slot::RGF[s]] = static_cast<float>(m.RGF);
  record.Values[Slot::TRRS[s]] = static_cast<float>(m.TRRS);
  record.Values[Slot::ZRRS[s]] = static_cast<float>(m.ZRRS);
  record.Values[Slot::TRRP[s]] = static_cast<float>(m.TRRP);
  record.Values[Slot::ZRRP[s]] = static_cast<float>(m.ZRRP);
  return record;
}

// A flotation window over a temporary application folder, seeing the
// console through fields the test sets: the clock (10:15 on the 14th), the
// in-memory minute records, the database (none until UseDatabase), the
// active view (the window itself) and the event log.
class FormFlotGraphTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

  QString AppDir() const { return m_dir.path(); }
  QString IniPath(int section = 0) const {
    return AppDir() + QStringLiteral("/config/FormFlotGraph%1.INI").arg(section + 1);
  }

  TrendSource Source() {
    TrendSource source;
    source.DatabaseConnected = [this] { return m_db != nullptr && m_db->Thread().Connected(); };
    source.Database = m_db != nullptr ? &m_db->Thread() : nullptr;
    source.MinuteRecords = [this] { return m_records; };
    source.AddLogMessage = [this](const QString& text) { m_log << text; };
    source.Now = [this] { return m_now; };
    source.ActiveView = [this]() -> QWidget* { return m_activeView; };
    return source;
  }

  std::unique_ptr<TFormFlotGraph> Make(int section = 0) {
    auto window = std::make_unique<TFormFlotGraph>(section, Source(), AppDir());
    window->resize(1000, 700);
    // Shown, so that resizing lays it out as it does on the screen.
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    m_activeView = window.get();
    return window;
  }

  void UseDatabase() {
    m_db = std::make_unique<TrendDatabase>();
    ASSERT_TRUE(m_db->Open()) << m_db->Error().toStdString();
  }

  // Reloads and waits until the load has ended.
  static void ReloadAndWait(TFormFlotGraph& window) {
    QSignalSpy finished(&window, &TTrendWindow::LoadFinished);
    window.Reload();
    ASSERT_TRUE(finished.count() > 0 || finished.wait(10000));
  }

  bool Logged(const QString& part) const {
    for (const QString& line : m_log) {
      if (line.contains(part)) return true;
    }
    return false;
  }

  QTemporaryDir m_dir;
  TDateTime m_now = At(10, 15);
  std::vector<MinuteRecord> m_records;
  std::unique_ptr<TrendDatabase> m_db;
  QWidget* m_activeView = nullptr;
  QStringList m_log;
};

struct GraphDesign {
  const char* Name;
  const char16_t* Title;
  double YMax;
  double YLabelStep;
  int GraphCount;
  // Right scale (0 0 0: none).
  double RightYMin, RightYMax, RightScaleStep;
};

// RightYMax of the frother graph is where its labels put the top: 0 at the
// bottom edge, 50 per grid line of 10, so 300 at 60.
const GraphDesign kDesigns[] = {
    {"LevelGraphRP", u"Расход исходной пульпы, м3/ч", 1001, 200, 1, 0, 0, 0},
    {"LevelGraphPP", u"Плотность исходной пульпы, г/л", 300, 50, 1, 0, 0, 0},
    {"LevelGraphWP", u"Весовая нагрузка по твердому, т/ч", 150, 25, 1, 0, 0, 0},
    {"LevelGraphRS", u"Расход собирателя", 1200, 200, 2, 1500, 9000, 1500},
    {"LevelGraphRN", u"Расход вспенивателя", 60, 10, 2, 50, 300, 50},
};

void ExpectDesignLimits(const TLevelGraph& graph, const GraphDesign& design) {
  SCOPED_TRACE(design.Name);
  EXPECT_EQ(graph.YMin(), 0);
  EXPECT_EQ(graph.YMax(), design.YMax);
  EXPECT_EQ(graph.YLabelStep(), design.YLabelStep);
  EXPECT_EQ(graph.ShowRightScale(), design.RightScaleStep > 0);
  if (design.RightScaleStep > 0) {
    EXPECT_EQ(graph.RightYMin(), design.RightYMin);
    EXPECT_EQ(graph.RightYMax(), design.RightYMax);
    EXPECT_EQ(graph.RightScaleStep(), design.RightScaleStep);
  }
}

TEST_F(FormFlotGraphTest, Construction_GraphsCarryTheirDesign) {
  auto window = Make();
  for (int i = 0; i < TFormFlotGraph::kGraphCount; ++i) {
    const GraphDesign& design = kDesigns[i];
    SCOPED_TRACE(design.Name);
    TLevelGraph* graph = window->Graph(i);
    ASSERT_NE(graph, nullptr);
    EXPECT_EQ(graph->objectName(), QLatin1String(design.Name));
    EXPECT_NE(LabelWithText(*graph, QString::fromUtf16(design.Title)), nullptr);
    ExpectDesignLimits(*graph, design);
    EXPECT_EQ(graph->GraphCount(), design.GraphCount);

    EXPECT_EQ(graph->GraphTop(), 20);
    EXPECT_EQ(graph->GraphLeft(), 50);
    EXPECT_EQ(graph->GraphSubWidth(), 40);
    // The five-graph layout: only the bottom graph has time labels and room for them.
    EXPECT_EQ(graph->GraphSubHeight(), i == 4 ? 30 : 10);
    EXPECT_EQ(graph->ShowScaleX(), i == 4);
    EXPECT_TRUE(graph->ShowScaleY());
    EXPECT_TRUE(graph->ShowCursor());
    EXPECT_TRUE(graph->ShowBorder());
    EXPECT_EQ(graph->BorderPen().Width(), 2);
    EXPECT_TRUE(graph->EnablePresentArray());
    EXPECT_EQ(graph->SecondStep(), 60);
    EXPECT_NEAR(graph->DataStep(), kMinute, 1e-12);
    EXPECT_EQ(graph->ArraySize(), 3000);
    EXPECT_NEAR(graph->XLabelStep(), 2.0 / 24, 1e-12);
    EXPECT_TRUE(graph->MinXLabel());
    EXPECT_TRUE(graph->MaxXLabel());
    EXPECT_EQ(graph->LabelNetPen().Style(), TPenStyle::psDot);
    EXPECT_EQ(graph->ScaleXFormat(), u"hh:mm"_qs);
    EXPECT_EQ(graph->ScaleYFormat(), u"###0"_qs);
    EXPECT_EQ(graph->BestNetLineCount(), 4);
    EXPECT_EQ(graph->IniName(), AppDir() + u"/GraphColors.INI"_qs);
    EXPECT_EQ(graph->GraphBackColor(), clWhite);
    EXPECT_EQ(graph->BackColor(), TColor{15793151});
    EXPECT_EQ(graph->XScaleFont(), ElementFont(u"Times New Roman"_qs, 16, clNavy, true));
    EXPECT_EQ(graph->YScaleFont().PixelSize(), 13);
    EXPECT_TRUE(graph->YScaleFont().Bold());
    EXPECT_EQ(graph->YScaleFont().Color(), clBlack);
    EXPECT_FALSE(graph->AutoYMin() || graph->AutoYMax() || graph->AutoYScale());
    EXPECT_EQ(graph->GetGraphPen(0), ElementPen(clRed, 2));
    if (design.GraphCount == 2) {
      EXPECT_EQ(graph->GetGraphPen(1), ElementPen(clBlue, 2));
    }

    QToolButton* zoom = window->ZoomButton(i);
    ASSERT_NE(zoom, nullptr);
    EXPECT_EQ(zoom->objectName(), u"SBut"_qs + QLatin1String(design.Name) + u"Zoom"_qs);
    EXPECT_EQ(zoom->text(), u"[]"_qs);
    EXPECT_EQ(zoom->toolTip(), u"Развернуть график на весь экран"_qs);
    EXPECT_EQ(zoom->property("Tag").toInt(), i);
    EXPECT_EQ(zoom->parentWidget(), graph);
  }
  EXPECT_EQ(window->Graph(5), nullptr);
  EXPECT_EQ(window->ZoomButton(-1), nullptr);

  // The reagent graphs name their series in the series' colours.
  for (int i : {3, 4}) {
    TLabel* left = LabelWithText(*window->Graph(i), u"Текущий расход, л/ч"_qs);
    TLabel* right = LabelWithText(*window->Graph(i), u"Удельный расход, мл/т"_qs);
    ASSERT_NE(left, nullptr);
    ASSERT_NE(right, nullptr);
    EXPECT_EQ(TextColorOf(*left), clRed);
    EXPECT_EQ(TextColorOf(*right), clBlue);
    EXPECT_LT(left->x(), right->x());
  }

  EXPECT_EQ(window->findChild<QAction*>(u"CmdShowSatellite"_qs)->text(), u"Показать цифровые значения"_qs);
  EXPECT_EQ(window->PointWindow(), nullptr);
  EXPECT_TRUE(window->AllShown());
  EXPECT_EQ(window->windowTitle(), u"Графики параметров процесса флотации"_qs);
}

TEST_F(FormFlotGraphTest, Construction_EachSectionHasItsNameColourAndIniFile) {
  struct Case {
    int section;
    const char* objectName;
    const char16_t* labelTop;
    TColor color;
  };
  const Case cases[] = {
      {0, "FormFlotGraph1", u"Графики параметров флотации секции №1", 15793151},
      {1, "FormFlotGraph2", u"Графики параметров флотации секции №2", 16768494},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.objectName);
    auto window = Make(c.section);
    EXPECT_EQ(window->objectName(), QLatin1String(c.objectName));
    EXPECT_EQ(window->IniPath(), IniPath(c.section));
    EXPECT_EQ(window->WindowColor(), c.color);
    EXPECT_EQ(window->Graph(0)->BackColor(), c.color);

    QWidget& panel = window->PanelTop();
    EXPECT_EQ(panel.height(), 41);
    EXPECT_EQ(panel.width(), window->width());
    EXPECT_EQ(TColorFromColor(panel.palette().color(QPalette::Window)), c.color);
    auto* labelTop = panel.findChild<TLabel*>(u"LabelTop"_qs);
    ASSERT_NE(labelTop, nullptr);
    EXPECT_EQ(labelTop->text(), QString::fromUtf16(c.labelTop));

    // Date and shift on the right of the panel; the default button out of sight.
    QDateEdit& picker = window->DateTimePicker1();
    EXPECT_TRUE(panel.isAncestorOf(&picker));
    EXPECT_GT(picker.mapTo(window.get(), QPoint(0, 0)).x(), window->width() / 2);
    EXPECT_EQ(picker.date(), QDate(2024, 3, 14));
    EXPECT_TRUE(panel.isAncestorOf(&window->ComboBox1()));
    EXPECT_EQ(window->ComboBox1().currentText(), u"Обе смены"_qs);
    const QRect button(window->ButReload().mapTo(window.get(), QPoint(0, 0)), window->ButReload().size());
    EXPECT_FALSE(window->rect().intersects(button));
  }
}

TEST_F(FormFlotGraphTest, Construction_AStoredCaptionColourRecoloursItsSeries) {
  {
    auto window = Make();
    TLabel* left = LabelWithText(*window->Graph(3), u"Текущий расход, л/ч"_qs);
    TLabel* right = LabelWithText(*window->Graph(4), u"Удельный расход, мл/т"_qs);
    ASSERT_NE(left, nullptr);
    ASSERT_NE(right, nullptr);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(LabelFontFile(*left, AppDir())).path()));
    ASSERT_TRUE(
        IniFile(LabelFontFile(*left, AppDir())).WriteInteger(left->objectName(), u"FontColor"_qs, clGreen));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(LabelFontFile(*right, AppDir())).path()));
    ASSERT_TRUE(IniFile(LabelFontFile(*right, AppDir()))
                    .WriteInteger(right->objectName(), u"FontColor"_qs, clPurple));
  }
  auto window = Make();
  EXPECT_EQ(window->Graph(3)->GetGraphPen(0), ElementPen(clGreen, 2));
  EXPECT_EQ(window->Graph(3)->GetGraphPen(1), ElementPen(clBlue, 2));
  EXPECT_EQ(window->Graph(4)->GetGraphPen(0), ElementPen(clRed, 2));
  EXPECT_EQ(window->Graph(4)->GetGraphPen(1), ElementPen(clPurple, 2));
}

TEST_F(FormFlotGraphTest, Limits_RoundTripThroughTheIniFile) {
  {
    auto window = Make();
    TLevelGraph& rp = *window->Graph(0);
    rp.SetYMax(900);
    rp.SetYMin(100);
    rp.SetYLabelStep(100);
    TLevelGraph& rs = *window->Graph(3);
    rs.SetYMax(1000);
    rs.SetYLabelStep(250);
    rs.SetRightYMin(2000);
    rs.SetRightScaleStep(2000);
    rs.SetRightYMax(8000);
  }
  const IniFile ini(IniPath());
  EXPECT_EQ(ini.ReadFloat(u"LevelGraphRPLimits"_qs, u"YMin"_qs, -1), 100);
  EXPECT_EQ(ini.ReadFloat(u"LevelGraphRPLimits"_qs, u"YMax"_qs, -1), 900);
  EXPECT_EQ(ini.ReadFloat(u"LevelGraphRPLimits"_qs, u"YLabelStep"_qs, -1), 100);
  EXPECT_FALSE(ini.ValueExists(u"LevelGraphRPLimits"_qs, u"RightYMin"_qs));
  EXPECT_EQ(ini.ReadFloat(u"LevelGraphRSLimits"_qs, u"RightYMax"_qs, -1), 8000);
  EXPECT_EQ(ini.ReadFloat(u"LevelGraphRNLimits"_qs, u"RightScaleStep"_qs, -1), 50);
  EXPECT_EQ(ini.ReadFloat(u"LevelGraphPPLimits"_qs, u"YMax"_qs, -1), 300);

  auto window = Make();
  EXPECT_EQ(window->Graph(0)->YMin(), 100);
  EXPECT_EQ(window->Graph(0)->YMax(), 900);
  EXPECT_EQ(window->Graph(0)->YLabelStep(), 100);
  EXPECT_EQ(window->Graph(3)->YMax(), 1000);
  EXPECT_EQ(window->Graph(3)->YLabelStep(), 250);
  EXPECT_EQ(window->Graph(3)->RightYMin(), 2000);
  EXPECT_EQ(window->Graph(3)->RightScaleStep(), 2000);
  EXPECT_EQ(window->Graph(3)->RightYMax(), 8000);
  for (int i : {1, 2, 4}) ExpectDesignLimits(*window->Graph(i), kDesigns[i]);
  EXPECT_TRUE(m_log.isEmpty()) << m_log.join(u'\n').toStdString();
}

TEST_F(FormFlotGraphTest, Limits_AKeyTheFileLacksKeepsTheDesignValue) {
  ASSERT_TRUE(QDir().mkpath(AppDir() + u"/config"_qs));
  ASSERT_TRUE(WriteFileBytes(IniPath(), "[LevelGraphPPLimits]\r\nYMax=400\r\n"));
  auto window = Make();
  EXPECT_EQ(window->Graph(1)->YMax(), 400);
  EXPECT_EQ(window->Graph(1)->YMin(), 0);
  EXPECT_EQ(window->Graph(1)->YLabelStep(), 50);
}

TEST_F(FormFlotGraphTest, Limits_UnusableValuesKeepTheDesign) {
  struct Case {
    const char* name;
    QByteArray ini;
    bool logged;
  };
  const Case cases[] = {
      {"YMax below YMin", "[LevelGraphRPLimits]\nYMin=500\nYMax=100\n", true},
      {"zero step", "[LevelGraphRPLimits]\nYLabelStep=0\n", true},
      {"right step negative", "[LevelGraphRSLimits]\nRightScaleStep=-5\n", true},
      {"letters", "[LevelGraphRPLimits]\nYMin=abc\nYMax=1e\nYLabelStep=2O0\n", false},
      {"value cut off", "[LevelGraphRPLimits]\nYMax=", false},
      {"cut in a section name", "[LevelGraphRNLim", false},
  };
  ASSERT_TRUE(QDir().mkpath(AppDir() + u"/config"_qs));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m_log.clear();
    ASSERT_TRUE(WriteFileBytes(IniPath(), c.ini));
    auto window = Make();
    for (int i = 0; i < TFormFlotGraph::kGraphCount; ++i) ExpectDesignLimits(*window->Graph(i), kDesigns[i]);
    if (c.logged) {
      EXPECT_TRUE(Logged(u"Limits"_qs)) << m_log.join(u'\n').toStdString();
    }
  }
}

TEST_F(FormFlotGraphTest, RightScale_SpecificConsumptionSitsAtItsLabelAndReadsBack) {
  m_records = {RecordOf({At(8, 0), 500, 200, 100, 600, 4500, 30, 250}, 0)};
  auto window = Make();
  EXPECT_EQ(window->Graph(4)->RightYMax(), 300);
  ReloadAndWait(*window);

  TLevelGraph& rs = *window->Graph(3);
  TLevelGraph& rn = *window->Graph(4);
  // The collector's 4500 on the grid line labelled 4500 (600 on the left),
  // the frother's 250 on the line labelled 250 (50 on the left).
  EXPECT_NEAR(rs.GetPoint(1, Mid(8, 0)), 600, 1e-9);
  EXPECT_NEAR(rn.GetPoint(1, Mid(8, 0)), 50, 1e-9);
  EXPECT_NEAR(rs.GetPoint(0, Mid(8, 0)), 600, 1e-9);
  EXPECT_NEAR(rn.GetPoint(0, Mid(8, 0)), 30, 1e-9);

  window->Graph(0)->SetCursorTime(Mid(8, 0));
  window->LevelGraphRPChange(window->Graph(0));
  window->CmdShowSatelliteClick();
  TFormGraphFLPoint* point = window->PointWindow();
  ASSERT_NE(point, nullptr);
  const double expected[] = {500, 200, 100, 600, 4500, 30, 250};
  for (int row = 0; row < TFormGraphFLPoint::kRowCount; ++row) {
    SCOPED_TRACE(row);
    ASSERT_NE(point->Field(row), nullptr);
    EXPECT_NEAR(point->Field(row)->OutValue(), expected[row], 1e-6);
  }
  EXPECT_EQ(point->Field(4)->Caption().trimmed(), u"4 500.0"_qs);
}

// Rows in the database, loaded as a reload of today (both shifts) reads them.
TEST_F(FormFlotGraphTest, Reload_FromTheDatabaseFillsGapsUpToFiveMinutes) {
  UseDatabase();
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_TRUE(m_db->Insert(EncodeDateTime(2024, 3, 14, 6, 30), {{"RVF1", 999}}));  // before the interval
  ASSERT_TRUE(m_db->Insert(At(8, 0), {{"RVF1", 100}, {"RVF2", 900}}));
  ASSERT_TRUE(m_db->Insert(At(8, 4), {{"RVF1", 200}}));   // 4 minutes on: filled
  ASSERT_TRUE(m_db->Insert(At(8, 10), {{"RVF1", 300}}));  // 6 minutes on: a gap
  ASSERT_TRUE(m_db->Insert(At(8, 12), {{"RVF1", 400}}));
  ASSERT_TRUE(m_db->Insert(EncodeDateTime(2024, 3, 15, 7, 0, 0), {{"RVF1", 777}}));  // after the interval
  auto window = Make();
  ReloadAndWait(*window);
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_EQ(window->IntervalStart(), At(7, 0));
  EXPECT_NEAR(window->IntervalStop(), At(6, 59) + 59 * kSecond, 1e-9);

  const TLevelGraph& rp = *window->Graph(0);
  struct Expected {
    int hour, minute;
    double value;  // -1: empty
  };
  const Expected minutes[] = {
      {7, 0, -1},   {7, 59, -1},                             // the first row only at its own time
      {8, 0, 100},  {8, 1, 200},  {8, 2, 200}, {8, 3, 200},  // the next row fills back to it
      {8, 4, -1},   {8, 7, -1},   {8, 9, -1},                // more than 5 minutes: a gap
      {8, 10, 300}, {8, 11, 400}, {8, 12, -1},               // the last row waits for its successor
      {6, 59, -1},
  };
  for (const Expected& e : minutes) {
    SCOPED_TRACE(QStringLiteral("%1:%2").arg(e.hour).arg(e.minute, 2, 10, QChar(u'0')).toStdString());
    EXPECT_EQ(rp.GetPoint(0, Mid(e.hour, e.minute)), e.value);
  }
  // 08:00 also received the next row's first fill step.
  EXPECT_EQ(rp.SlotAt(0, 60).Max, 200);
  EXPECT_NEAR(window->LastShown(), At(8, 10) + 110 * kSecond, 1e-9);
  // NULL columns read as 0; the section-2 column is not this window's.
  EXPECT_EQ(window->Graph(1)->GetPoint(0, Mid(8, 0)), 0);
  EXPECT_TRUE(m_log.isEmpty()) << m_log.join(u'\n').toStdString();
}

TEST_F(FormFlotGraphTest, Reload_TheSecondSectionReadsItsOwnColumns) {
  UseDatabase();
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_TRUE(m_db->Insert(At(9, 0), {{"RVF1", 1},
                                      {"RVF2", 2},
                                      {"PLF2", 3},
                                      {"RGF2", 4},
                                      {"TRRS2", 5},
                                      {"ZRRS2", 6000},
                                      {"TRRP2", 7},
                                      {"ZRRP2", 100}}));
  auto window = Make(1);
  ReloadAndWait(*window);
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_EQ(window->Graph(0)->GetPoint(0, Mid(9, 0)), 2);
  EXPECT_EQ(window->Graph(1)->GetPoint(0, Mid(9, 0)), 3);
  EXPECT_EQ(window->Graph(2)->GetPoint(0, Mid(9, 0)), 4);
  EXPECT_EQ(window->Graph(3)->GetPoint(0, Mid(9, 0)), 5);
  EXPECT_NEAR(window->Graph(3)->GetPoint(1, Mid(9, 0)), 800, 1e-9);
  EXPECT_EQ(window->Graph(4)->GetPoint(0, Mid(9, 0)), 7);
  EXPECT_NEAR(window->Graph(4)->GetPoint(1, Mid(9, 0)), 20, 1e-9);
}

TEST_F(FormFlotGraphTest, Reload_FromTheDatabaseRaisesAYMaxBelowFive) {
  ASSERT_TRUE(QDir().mkpath(AppDir() + u"/config"_qs));
  ASSERT_TRUE(WriteFileBytes(IniPath(), "[LevelGraphPPLimits]\nYMax=2\nYLabelStep=1\n"));
  m_records = {RecordOf({At(8, 0), 1, 1, 1, 1, 1, 1, 1}, 0)};
  {
    // From memory the limit stays.
    auto window = Make();
    ReloadAndWait(*window);
    EXPECT_EQ(window->Graph(1)->YMax(), 2);
  }
  ASSERT_TRUE(WriteFileBytes(IniPath(), "[LevelGraphPPLimits]\nYMax=2\nYLabelStep=1\n"));
  UseDatabase();
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_TRUE(m_db->Insert(At(8, 0), {{"PLF1", 1}}));
  auto window = Make();
  EXPECT_EQ(window->Graph(1)->YMax(), 2);
  ReloadAndWait(*window);
  EXPECT_EQ(window->Graph(1)->YMax(), 5);
  EXPECT_EQ(window->Graph(0)->YMax(), 1001);
}

TEST_F(FormFlotGraphTest, Reload_AFailedQueryIsLoggedWithTheWindowsText) {
  UseDatabase();
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_TRUE(m_db->Insert(At(8, 0), {{"RVF1", 100}}));
  auto window = Make();
  ReloadAndWait(*window);
  ASSERT_EQ(window->Graph(0)->GetPoint(0, Mid(8, 0)), 100);

  ASSERT_TRUE(m_db->Exec(u"DROP TABLE puf_data"_qs));
  QSignalSpy finished(window.get(), &TTrendWindow::LoadFinished);
  window->CheckForUpdates();
  ASSERT_TRUE(finished.count() > 0 || finished.wait(10000));
  EXPECT_TRUE(m_log.contains(u"Ошибка в TFormFlotGraph::CheckForUpdates()."_qs))
      << m_log.join(u'\n').toStdString();
  EXPECT_EQ(window->Graph(0)->GetPoint(0, Mid(8, 0)), 100);

  ReloadAndWait(*window);
  EXPECT_TRUE(m_log.contains(u"Ошибка в TFormFlotGraph::Reload()"_qs)) << m_log.join(u'\n').toStdString();
  EXPECT_FALSE(window->WaitPanel().isVisible());
  EXPECT_FALSE(window->LoadBusy());
}

TEST_F(FormFlotGraphTest, Reload_WithoutTheDatabaseShowsTheMemoryOfTheInterval) {
  // Section 1's values 10 apart from section 2's, to see which one is read.
  const auto both = [](const Minute& m) {
    MinuteRecord record = RecordOf(m, 0);
    const MinuteRecord second = RecordOf(
        {m.At, m.RVF + 10, m.PLF + 10, m.RGF + 10, m.TRRS + 10, m.ZRRS + 1500, m.TRRP + 10, m.ZRRP + 50}, 1);
    for (int section = 0; section < 2; ++section) {
      for (const int* slot :
           {Slot::RVF, Slot::PLF, Slot::RGF, Slot::TRRS, Slot::ZRRS, Slot::TRRP, Slot::ZRRP}) {
        if (section == 1)
          record.Values[static_cast<size_t>(slot[1])] = second.Values[static_cast<size_t>(slot[1])];
      }
    }
    return record;
  };
  m_records = {
      both({EncodeDateTime(2024, 3, 14, 6, 50), 1, 1, 1, 1, 1500, 1, 50}),  // before the interval
      both({At(9, 0), 500, 200, 100, 600, 4500, 30, 100}),
      both({At(9, 3), 550, 210, 110, 650, 6000, 40, 150}),
      both({EncodeDateTime(2024, 3, 15, 9, 0), 999, 999, 999, 999, 9000, 59, 300}),  // after it
  };
  auto section1 = Make(0);
  ReloadAndWait(*section1);
  auto section2 = Make(1);
  ReloadAndWait(*section2);

  struct Expected {
    int graph, series, hour, minute;
    double section1, section2;
  };
  const Expected cases[] = {
      {0, 0, 7, 0, -1, -1},   // nothing reaches back from the first record in the interval...
      {0, 0, 6, 59, -1, -1},  // ...and nothing from the one after it
      {0, 0, 9, 0, 500, 510},  {0, 0, 9, 1, 550, 560}, {0, 0, 9, 3, -1, -1},
      {1, 0, 9, 2, 210, 220},  {2, 0, 9, 2, 110, 120}, {3, 0, 9, 2, 650, 660},
      {3, 1, 9, 2, 800, 1000}, {4, 0, 9, 2, 40, 50},   {4, 1, 9, 2, 30, 40},
  };
  for (const Expected& e : cases) {
    SCOPED_TRACE(QStringLiteral("graph %1 series %2 at %3:%4")
                     .arg(e.graph)
                     .arg(e.series)
                     .arg(e.hour)
                     .arg(e.minute)
                     .toStdString());
    EXPECT_NEAR(section1->Graph(e.graph)->GetPoint(e.series, Mid(e.hour, e.minute)), e.section1, 1e-4);
    EXPECT_NEAR(section2->Graph(e.graph)->GetPoint(e.series, Mid(e.hour, e.minute)), e.section2, 1e-4);
  }
  EXPECT_TRUE(m_log.isEmpty()) << m_log.join(u'\n').toStdString();
}

TEST_F(FormFlotGraphTest, Zoom_OneGraphTakesTheWindowAndGivesItBack) {
  auto window = Make();

  QTest::mouseClick(window->ZoomButton(2), Qt::LeftButton);
  EXPECT_FALSE(window->AllShown());
  EXPECT_TRUE(window->ZoomFlag(2));
  for (int i = 0; i < TFormFlotGraph::kGraphCount; ++i) {
    SCOPED_TRACE(i);
    const TLevelGraph& graph = *window->Graph(i);
    EXPECT_EQ(graph.isVisible(), i == 2);
    EXPECT_EQ(graph.ShowScaleX(), i == 2);
    EXPECT_EQ(graph.GraphSubHeight(), i == 2 ? 30 : 10);
  }
  EXPECT_EQ(window->Graph(2)->geometry(), QRect(0, 41, window->width(), window->height() - 41));
  // It keeps the window when the window grows.
  window->resize(1100, 800);
  EXPECT_EQ(window->Graph(2)->geometry(), QRect(0, 41, 1100, 800 - 41));

  QTest::mouseClick(window->ZoomButton(2), Qt::LeftButton);
  EXPECT_TRUE(window->AllShown());
  EXPECT_FALSE(window->ZoomFlag(2));
  int top = 41;
  for (int i = 0; i < TFormFlotGraph::kGraphCount; ++i) {
    SCOPED_TRACE(i);
    const TLevelGraph& graph = *window->Graph(i);
    EXPECT_TRUE(graph.isVisible());
    EXPECT_EQ(graph.ShowScaleX(), i == 4);
    EXPECT_EQ(graph.GraphSubHeight(), i == 4 ? 30 : 10);
    EXPECT_EQ(graph.y(), top);
    EXPECT_EQ(graph.width(), 1100);
    top += graph.height();
  }
  EXPECT_EQ(top, 800);
  EXPECT_EQ(window->Graph(0)->height(), (800 - 41 - 20) / 5);

  // Indices without a graph change nothing.
  for (int ix : {-1, 5, 9, 10}) window->InverseZoom(ix);
  EXPECT_TRUE(window->AllShown());
}

TEST_F(FormFlotGraphTest, Zoom_AfterTheMainWindowShowedAllGraphsTheButtonZoomsAtOnce) {
  auto window = Make();
  window->InverseZoom(3);
  window->ShowAllGraphs();  // the main window shows the window again
  EXPECT_FALSE(window->ZoomFlag(3));
  QTest::mouseClick(window->ZoomButton(3), Qt::LeftButton);
  EXPECT_FALSE(window->AllShown());
  EXPECT_TRUE(window->Graph(3)->isVisible());
  EXPECT_FALSE(window->Graph(0)->isVisible());
}

TEST_F(FormFlotGraphTest, Layout_ButtonsAndRightCaptionsFollowTheWindowsWidth) {
  auto window = Make();
  for (const QSize size : {QSize(1280, 983), QSize(1024, 727), QSize(800, 500)}) {
    SCOPED_TRACE(size.width());
    window->resize(size);
    for (int i = 0; i < TFormFlotGraph::kGraphCount; ++i) {
      const QToolButton& zoom = *window->ZoomButton(i);
      EXPECT_EQ(zoom.x(), size.width() - zoom.width() - 16);
    }
    for (int i : {3, 4}) {
      const TLabel* right = LabelWithText(*window->Graph(i), u"Удельный расход, мл/т"_qs);
      ASSERT_NE(right, nullptr);
      EXPECT_EQ(right->x(), size.width() - right->width() - 50);
    }
    const int h = (size.height() - 41 - 10) / 5;
    EXPECT_EQ(window->Graph(0)->height(), h);
    EXPECT_EQ(window->Graph(4)->height(), h + 10);
    EXPECT_EQ(window->Graph(4)->geometry().bottom(), size.height() - 1);
    EXPECT_EQ(window->PanelTop().width(), size.width());
    const QWidget& picker = window->DateTimePicker1();
    EXPECT_LE(picker.mapTo(window.get(), QPoint(picker.width(), 0)).x(), size.width());
  }
}

TEST_F(FormFlotGraphTest, Cursor_AClickOnAnyGraphMovesAllFive) {
  m_records = {RecordOf({At(8, 0), 1, 1, 1, 1, 1, 1, 1}, 0)};
  auto window = Make();
  ReloadAndWait(*window);
  const TDateTime middle = window->Graph(0)->CursorTime();
  EXPECT_NEAR(middle, (window->IntervalStart() + window->IntervalStop()) / 2, 1e-9);

  TLevelGraph& pp = *window->Graph(1);
  QTest::mouseClick(&pp, Qt::LeftButton, Qt::NoModifier, QPoint(200, pp.height() / 2));
  const TDateTime clicked = pp.CursorTime();
  EXPECT_LT(clicked, middle - 60 * kMinute);
  for (int i = 0; i < TFormFlotGraph::kGraphCount; ++i)
    EXPECT_EQ(window->Graph(i)->CursorTime(), clicked) << i;

  QTest::keyClick(window->Graph(4), Qt::Key_Right);
  for (int i = 0; i < TFormFlotGraph::kGraphCount; ++i) {
    EXPECT_NEAR(window->Graph(i)->CursorTime(), clicked + kMinute, 1e-9) << i;
  }
}

TEST_F(FormFlotGraphTest, Popup_TheRightButtonOffersThePointWindow) {
  auto window = Make();
  TLevelGraph& wp = *window->Graph(2);
  QContextMenuEvent menuRequest(QContextMenuEvent::Mouse, QPoint(300, wp.height() / 2),
                                wp.mapToGlobal(QPoint(300, wp.height() / 2)));
  QApplication::sendEvent(&wp, &menuRequest);
  ASSERT_TRUE(WaitFor([&] { return window->PopupMenu1().isVisible(); }));
  ASSERT_EQ(window->PopupMenu1().actions().size(), 1);
  window->PopupMenu1().actions().front()->trigger();
  window->PopupMenu1().hide();
  ASSERT_NE(window->PointWindow(), nullptr);
  TFormGraphFLPoint* point = window->PointWindow();
  EXPECT_TRUE(point->isVisible());
  EXPECT_EQ(point->windowTitle(), u"Текущая точка графика"_qs);
  EXPECT_TRUE(point->windowFlags() & Qt::WindowStaysOnTopHint);

  // Made once, shown again.
  point->hide();
  window->CmdShowSatellite().trigger();
  EXPECT_EQ(window->PointWindow(), point);
  EXPECT_TRUE(point->isVisible());
}

TEST_F(FormFlotGraphTest, PointWindow_ShowsTheRowsAndStepsWithinTheInterval) {
  m_records = {RecordOf({At(7, 0), 500, 200, 100, 600, 4500, 30, 100}, 0),
               RecordOf({At(7, 2), 510, 210, 110, 610, 6000, 35, 200}, 0)};
  auto window = Make();
  ReloadAndWait(*window);
  window->CmdShowSatelliteClick();
  TFormGraphFLPoint& point = *window->PointWindow();

  const char16_t* captions[] = {
      u"Расход пульпы, м3/ч:",
      u"Плотность пульпы, г/л:",
      u"Нагрузка по твердому, т/ч:",
      u"Текущий расход собирателя, л/ч:",
      u"Удельный расход собирателя, мл/т:",
      u"Текущий расход пенообразователя,  л/ч:",
      u"Удельный расход пенообразователя, мл/т:",
  };
  for (int row = 0; row < TFormGraphFLPoint::kRowCount; ++row) {
    const QLabel* caption = point.findChild<QLabel*>(u"Label"_qs + point.Field(row)->objectName());
    ASSERT_NE(caption, nullptr) << row;
    EXPECT_EQ(caption->text(), QString::fromUtf16(captions[row])) << row;
  }
  // Each field is framed in its series' colour.
  EXPECT_EQ(point.Field(0)->Pen().Color(), clRed);
  EXPECT_EQ(point.Field(4)->Pen().Color(), clBlue);
  EXPECT_EQ(point.Field(5)->Pen().Color(), clRed);

  // At the start of the interval a step back is refused.
  for (int i = 0; i < TFormFlotGraph::kGraphCount; ++i) window->Graph(i)->SetCursorTime(At(7, 0));
  QTest::mouseClick(&point.ButGoLeft(), Qt::LeftButton);
  for (int i = 0; i < TFormFlotGraph::kGraphCount; ++i)
    EXPECT_EQ(window->Graph(i)->CursorTime(), At(7, 0)) << i;
  ASSERT_TRUE(WaitFor([&] { return point.Field(0)->OutValue() == 500; }));
  EXPECT_EQ(point.TimeField().Caption(), u"14.03.2024 07:00:00"_qs);

  // One minute on: every graph, and the fields follow.
  QTest::mouseClick(&point.ButGoRight(), Qt::LeftButton);
  for (int i = 0; i < TFormFlotGraph::kGraphCount; ++i) {
    EXPECT_NEAR(window->Graph(i)->CursorTime(), At(7, 1), 1e-9) << i;
  }
  ASSERT_TRUE(WaitFor([&] { return point.Field(0)->OutValue() == 510; }));
  EXPECT_NEAR(point.Field(4)->OutValue(), 6000, 1e-3);
  EXPECT_NEAR(point.Field(6)->OutValue(), 200, 1e-3);
  EXPECT_EQ(point.TimeField().Caption(), u"14.03.2024 07:01:00"_qs);

  // An empty minute shows blank fields.
  QTest::mouseClick(&point.ButGoRight(), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return point.Field(0)->OutValue() == -1; }));
  EXPECT_EQ(point.Field(4)->OutValue(), -1);
  EXPECT_TRUE(point.Field(4)->Caption().trimmed().isEmpty());

  // At the end of the interval a step on is refused.
  const TDateTime stop = window->IntervalStop();
  for (int i = 0; i < TFormFlotGraph::kGraphCount; ++i) window->Graph(i)->SetCursorTime(stop);
  QTest::mouseClick(&point.ButGoRight(), Qt::LeftButton);
  for (int i = 0; i < TFormFlotGraph::kGraphCount; ++i) EXPECT_EQ(window->Graph(i)->CursorTime(), stop) << i;
  QTest::mouseClick(&point.ButGoLeft(), Qt::LeftButton);
  EXPECT_NEAR(window->Graph(4)->CursorTime(), stop - kMinute, 1e-9);

  // Another view becomes active: the point window hides itself.
  QWidget other;
  m_activeView = &other;
  EXPECT_TRUE(WaitFor([&] { return !point.isVisible(); }));
}

TEST_F(FormFlotGraphTest, EditMode_TheRightButtonOpensTheScaleDialogInstead) {
  SetElementEditMode(true);
  auto window = Make();
  SetElementEditMode(false);
  TLevelGraph& rs = *window->Graph(3);
  const TDateTime cursor = rs.CursorTime();
  QString seen;
  WhenModalShows([&](QWidget& modal) {
    seen = QString::fromLatin1(modal.metaObject()->className());
    modal.close();
  });
  QTest::mouseClick(&rs, Qt::RightButton, Qt::NoModifier, QPoint(300, rs.height() / 2));
  EXPECT_EQ(seen, u"TFormEditGraph"_qs);
  EXPECT_EQ(rs.CursorTime(), cursor);
  QContextMenuEvent menuRequest(QContextMenuEvent::Mouse, QPoint(300, rs.height() / 2),
                                rs.mapToGlobal(QPoint(300, rs.height() / 2)));
  QApplication::sendEvent(&rs, &menuRequest);
  EXPECT_FALSE(window->PopupMenu1().isVisible());
}

}  // namespace
