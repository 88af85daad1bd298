#include "ui/trends/formgraphbaklevel.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

#include "common/formatfloat.h"
#include "common/inifile.h"
#include "support/files.h"
#include "trendconsole.h"
#include "trenddb.h"
#include "ui/elements/arrow.h"
#include "ui/elements/label.h"
#include "ui/elements/outfield.h"
#include "ui/trends/levelgraph.h"

namespace {

TDateTime At(int hour, int minute, int second = 0) {
  return EncodeDateTime(2024, 3, 14, hour, minute, second);
}

// Slots of the minute record's value block.
constexpr int kURFK1 = 2, kURFK2 = 6, kURFK12 = 3;

MinuteRecord Record(TDateTime moment, float level1, float level2, float level12) {
  MinuteRecord record;
  record.RecMoment = moment;
  record.Values[kURFK1] = level1;
  record.Values[kURFK2] = level2;
  record.Values[kURFK12] = level12;
  return record;
}

// "text" with its "." as the system's decimal separator, as the fields print.
QString Local(const char* text) {
  return QString::fromUtf8(text).replace(u'.', QLocale::system().decimalPoint());
}

class FormGraphBakLevelTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

  void Make() {
    m_window = std::make_unique<TFormGraphBakLevel>(m_console.Source(), m_dir.path());
    m_window->TimerUpdate().stop();
    m_finished = std::make_unique<QSignalSpy>(m_window.get(), &TTrendWindow::LoadFinished);
  }
  // Runs a load and waits until it ended; false when it did not end in time.
  [[nodiscard]] bool Run(const std::function<void()>& load) {
    const qsizetype before = m_finished->count();
    load();
    return QTest::qWaitFor([&] { return m_finished->count() > before; }, 10000);
  }
  QString IniPath() const { return m_dir.filePath(QStringLiteral("config/FormGraphBakLevel.INI")); }
  void WriteIni(const QByteArray& text) {
    ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("config")));
    ASSERT_TRUE(WriteFileBytes(IniPath(), text));
  }
  TLevelGraph& Graph() const { return m_window->LevelGraphBakLevel(); }
  template <class T>
  T& Child(const QString& name) const {
    T* child = m_window->findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name.toStdString();
    return *child;
  }
  QString Readout(int i) const {
    static const char* const kNames[] = {"OutFieldLevel1", "OutFieldLevel2", "OutFieldLevel12"};
    return Child<TOutField>(QString::fromLatin1(kNames[i])).Caption();
  }

  QTemporaryDir m_dir;
  FakeTrendConsole m_console{At(10, 15)};
  std::unique_ptr<TFormGraphBakLevel> m_window;
  std::unique_ptr<QSignalSpy> m_finished;
};

TEST_F(FormGraphBakLevelTest, DesignValuesTextsAndPens) {
  Make();
  EXPECT_EQ(m_window->objectName(), u"FormGraphBakLevel"_qs);
  EXPECT_EQ(m_window->windowTitle(), u"График уровней в баках суточных запасов реагентов"_qs);
  EXPECT_EQ(m_window->size(), QSize(812, 516));
  EXPECT_EQ(m_window->palette().color(QPalette::Window), ColorFromTColor(clMoneyGreen));
  EXPECT_EQ(m_window->IniPath(), IniPath());
  EXPECT_TRUE(QDir(m_dir.filePath(QStringLiteral("config"))).exists()) << "the style folder is made";
  EXPECT_EQ(m_window->TimerUpdate().interval(), 30000);
  EXPECT_EQ(Child<TLabel>(u"LabelTop"_qs).text(), u"Графики  изменения уровней в баках флотоконцентрата"_qs);
  EXPECT_EQ(Child<TLabel>(u"LabelPercent"_qs).text(), u"            %"_qs);
  EXPECT_EQ(Child<TLabel>(u"LabelPercent"_qs).parentWidget(), &Graph());
  EXPECT_EQ(Child<TLabel>(u"LabelDateTime"_qs).text(), u"Дата, время:"_qs);
  EXPECT_EQ(Child<TLabel>(u"LabelLevel1"_qs).text(), u"Уровень в баке секции 1:"_qs);
  EXPECT_EQ(Child<TLabel>(u"LabelLevel2"_qs).text(), u"Уровень в баке секции 2:"_qs);
  EXPECT_EQ(Child<TLabel>(u"LabelLevel12"_qs).text(), u"Уровень в общем баке:"_qs);
  EXPECT_EQ(m_window->ComboBox1().currentText(), u"Обе смены"_qs);
  EXPECT_TRUE(m_window->NeedReload());

  const TLevelGraph& graph = Graph();
  EXPECT_EQ(graph.YMin(), 0);
  EXPECT_EQ(graph.YMax(), 101);
  EXPECT_EQ(graph.YLabelStep(), 10);
  EXPECT_EQ(graph.GraphTop(), 20);
  EXPECT_EQ(graph.GraphLeft(), 50);
  EXPECT_EQ(graph.GraphSubWidth(), 40);
  EXPECT_EQ(graph.GraphSubHeight(), 95);
  EXPECT_EQ(graph.GraphCount(), 3);
  EXPECT_FALSE(graph.ShowRightScale());
  EXPECT_EQ(graph.BackColor(), clMoneyGreen);
  EXPECT_EQ(graph.IniName(), m_dir.path() + u"/GraphColors.INI"_qs);
  const TColor colours[] = {clRed, clBlue, clGreen};
  for (int i = 0; i < 3; ++i) {
    const TArrow& arrow = Child<TArrow>(u"ArrowLegend"_qs + QString::number(i + 1));
    EXPECT_EQ(arrow.Color(), colours[i]) << i;
    EXPECT_EQ(graph.GetGraphPen(i), ElementPen(arrow.Color(), arrow.ArrowWidth())) << i;
  }
}

TEST_F(FormGraphBakLevelTest, LegendArrowsFromTheStyleFileRecolourTheSeries) {
  WriteIni("[ArrowLegend2]\r\nColor=65535\r\nArrowWidth=4\r\n[ArrowLegend3]\r\nColor=-5\r\nArrowWidth=x\r\n");
  std::vector<MinuteRecord> records;
  for (int minute = 0; minute <= 60; ++minute) records.push_back(Record(At(8, minute), 20, 50, 80));
  m_console.Records = records;
  Make();
  EXPECT_EQ(Graph().GetGraphPen(0), ElementPen(clRed, 3));
  EXPECT_EQ(Graph().GetGraphPen(1), ElementPen(clYellow, 4));
  EXPECT_EQ(Graph().GetGraphPen(2), ElementPen(clGreen, 3)) << "a broken style keeps the design";

  m_window->Reload();
  m_window->show();
  const QImage image = Graph().grab().toImage();
  const int x = int(Graph().TimeToScreenX(At(8, 30))) - 2;
  EXPECT_EQ(image.pixelColor(x, int(Graph().YToScreen(20))), ColorFromTColor(clRed));
  EXPECT_EQ(image.pixelColor(x, int(Graph().YToScreen(50))), ColorFromTColor(clYellow));
  EXPECT_EQ(image.pixelColor(x, int(Graph().YToScreen(80))), ColorFromTColor(clGreen));
}

TEST_F(FormGraphBakLevelTest, BottomPanelKeepsItsMiddlePartCentred) {
  Make();
  const QWidget& panel = Child<QWidget>(u"PanelBottom"_qs);
  const QWidget& left = Child<QWidget>(u"PanelBottomLeft"_qs);
  const QWidget& middle = Child<QWidget>(u"PanelBottomCenter"_qs);
  const QWidget& right = Child<QWidget>(u"PanelBottomRight"_qs);
  EXPECT_EQ(panel.parentWidget(), &Graph());
  for (const QSize size : {QSize(812, 516), QSize(1281, 900), QSize(631, 400), QSize(500, 300)}) {
    SCOPED_TRACE(size.width());
    m_window->resize(size);
    m_window->FormResize();
    EXPECT_EQ(Graph().geometry().bottom(), size.height() - 1);
    EXPECT_EQ(Graph().width(), size.width());
    EXPECT_EQ(panel.geometry(), QRect(0, Graph().height() - 74, size.width(), 74));
    const int side = std::max(0, (size.width() - 630) / 2);
    EXPECT_EQ(left.geometry(), QRect(0, 0, side, 74));
    EXPECT_EQ(middle.geometry(), QRect(side, 0, 630, 74));
    EXPECT_EQ(right.geometry(), QRect(side + 630, 0, side, 74));
    // The time labels stay above the panel.
    EXPECT_LT(Graph().height() - Graph().GraphSubHeight() + 20, panel.y());
  }
}

TEST_F(FormGraphBakLevelTest, ReadoutsFollowTheCursorAndGapsShowBlank) {
  // 08:00 ... 08:02 hold levels (one of them missing), 08:10 after a gap.
  m_console.Records = {Record(At(8, 0), 45.5, -1, 0), Record(At(8, 1), 45.5, -1, 0),
                       Record(At(8, 2), 60, 70, 80), Record(At(8, 10), 10, 10, 10)};
  Make();
  ASSERT_TRUE(Run([&] { m_window->Reload(); }));
  // After the reload the cursor sits in the middle of the day, over a gap.
  EXPECT_NEAR(Graph().CursorTime(), (m_window->IntervalStart() + m_window->IntervalStop()) / 2, 1e-9);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Readout(i).trimmed(), QString()) << i;
  EXPECT_EQ(Child<TOutField>(u"OutFieldDateTime"_qs).Caption(), u"14.03.2024 18:59:59"_qs);

  Graph().SetCursorTime(At(8, 0));
  m_window->LevelGraphBakLevelChange();
  EXPECT_EQ(Readout(0), Local("45.5 %"));
  EXPECT_EQ(Readout(1).trimmed(), QString()) << "a level of -1 is no value";
  EXPECT_EQ(Readout(2).trimmed(), QString()) << "zero shows blank as well";

  // A click inside the gap (a pixel spans about two minutes here).
  const int x = int(Graph().TimeToScreenX(At(8, 5, 30)));
  QTest::mouseClick(&Graph(), Qt::LeftButton, {}, QPoint(x, 100));
  const TDateTime clicked = Graph().CursorTime();
  ASSERT_EQ(Graph().GetPoint(0, clicked), -1);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Readout(i).trimmed(), QString()) << i;
  EXPECT_EQ(Child<TOutField>(u"OutFieldDateTime"_qs).Caption(),
            FormatDateTime(u"dd.mm.yyyy hh:nn:ss"_qs, clicked));
  EXPECT_TRUE(Child<TOutField>(u"OutFieldDateTime"_qs).Caption().startsWith(u"14.03.2024 08:0"_qs));
}

TEST_F(FormGraphBakLevelTest, WithoutTheDatabaseTheTicksReloadAndAppendFromMemory) {
  m_console.Records = {Record(At(8, 0), 40, 50, 60)};
  Make();
  const TDateTime marker = At(20, 0);
  std::vector<int> reloads;
  for (int tick = 0; tick < 7; ++tick) {
    m_console.Records.push_back(Record(At(8, 1 + tick), 41 + tick, 50, 60));
    Graph().AddPoint(0, marker, 7);
    m_window->TimerUpdateTimer();
    EXPECT_FALSE(m_window->LoadBusy());
    if (Graph().GetPoint(0, marker) == -1) reloads.push_back(tick);
  }
  EXPECT_EQ(reloads, (std::vector<int>{0, 4}));
  EXPECT_EQ(m_window->TickCount(), 7);
  // Every record reached the graph; each covers the minute before its own.
  EXPECT_EQ(Graph().GetPoint(0, At(8, 0)), 40);
  for (int minute = 1; minute <= 6; ++minute)
    EXPECT_EQ(Graph().GetPoint(0, At(8, minute)), 41 + minute) << minute;
  EXPECT_EQ(Graph().GetPoint(0, At(8, 7)), -1);
  EXPECT_TRUE(m_console.Log.isEmpty());
}

TEST_F(FormGraphBakLevelTest, EnterReloadsTheChosenDayAndShift) {
  m_console.Records = {Record(EncodeDateTime(2024, 3, 13, 20, 0), 40, 50, 60)};
  Make();
  m_window->Reload();
  EXPECT_EQ(m_window->IntervalStart(), At(7, 0));
  m_window->DateTimePicker1().setDate(QDate(2024, 3, 13));
  m_window->ComboBox1().setCurrentIndex(1);
  EXPECT_EQ(m_window->IntervalStart(), At(7, 0)) << "choosing alone does not reload";
  QTest::keyClick(&m_window->ComboBox1(), Qt::Key_Enter);
  EXPECT_EQ(m_window->IntervalStart(), EncodeDateTime(2024, 3, 13, 19, 0));
  EXPECT_EQ(Graph().GetPoint(0, EncodeDateTime(2024, 3, 13, 20, 0)), 40);
}

TEST_F(FormGraphBakLevelTest, LimitsAreReadAndWrittenWithoutRightScaleKeys) {
  WriteIni("[LevelGraphBakLevelLimits]\r\nYMin=10\r\nYMax=90,5\r\nYLabelStep=oops\r\n");
  Make();
  EXPECT_EQ(Graph().YMin(), 10);
  EXPECT_EQ(Graph().YMax(), 90.5);
  EXPECT_EQ(Graph().YLabelStep(), 10);
  Graph().SetYLabelStep(20);
  m_window.reset();
  const IniFile ini(IniPath());
  const QString section = u"LevelGraphBakLevelLimits"_qs;
  EXPECT_EQ(ini.ReadFloat(section, u"YMin"_qs, -1), 10);
  EXPECT_EQ(ini.ReadFloat(section, u"YMax"_qs, -1), 90.5);
  EXPECT_EQ(ini.ReadFloat(section, u"YLabelStep"_qs, -1), 20);
  EXPECT_FALSE(ini.ValueExists(section, u"RightYMin"_qs));
}

// ---- Against the private database server.

class FormGraphBakLevelDatabaseTest : public FormGraphBakLevelTest {
 protected:
  void SetUp() override {
    FormGraphBakLevelTest::SetUp();
    ASSERT_TRUE(m_database.Open()) << m_database.Error().toStdString();
    m_console.Database = &m_database;
    m_console.Connected = true;
  }
  TrendDatabase m_database;
};

TEST_F(FormGraphBakLevelDatabaseTest, ADatabaseLoadRaisesASmallYMaxAndRefreshesTheReadouts) {
  WriteIni("[LevelGraphBakLevelLimits]\r\nYMax=2\r\nYLabelStep=1\r\n");
  m_console.Now = At(19, 30);
  ASSERT_TRUE(m_database.Insert(At(18, 59), {{"URFK1", 1.5}, {"URFK2", 33}}));
  ASSERT_TRUE(m_database.Insert(At(19, 0), {{"URFK1", 1.5}, {"URFK2", 33}}));
  Make();
  ASSERT_TRUE(Run([&] { m_window->Reload(); }));
  EXPECT_EQ(Graph().YMax(), 5);
  // The cursor is at 18:59:59, in the slot the 19:00 row filled.
  EXPECT_EQ(Readout(0), Local("1.5 %"));
  EXPECT_EQ(Readout(1), Local("33.0 %"));
  EXPECT_EQ(Readout(2).trimmed(), QString()) << "a NULL reads as 0";
  EXPECT_TRUE(m_console.Log.isEmpty()) << m_console.Log.join(u'\n').toStdString();
}

TEST_F(FormGraphBakLevelDatabaseTest, FailedLoadsAreLoggedWithTheWindowsTexts) {
  Make();
  ASSERT_TRUE(m_database.Exec(QStringLiteral("DROP TABLE puf_data")));
  ASSERT_TRUE(Run([&] { m_window->Reload(); }));
  ASSERT_TRUE(Run([&] { m_window->CheckForUpdates(); }));
  EXPECT_EQ(m_console.Log.filter(u"Ошибка"_qs),
            (QStringList{u"Ошибка в TFormGraphDSUS::Reload()"_qs,
                         u"Ошибка в TFormGraphDSUS::CheckForUpdates()."_qs}));
  EXPECT_FALSE(m_window->LoadBusy());
  EXPECT_TRUE(m_window->WaitPanel().isHidden());
}

}  // namespace
