#include "ui/trends/formsvodtable.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFontMetrics>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>

#include "common/formatfloat.h"
#include "freezeproxy.h"
#include "summarydb.h"
#include "trenddb.h"
#include "ui/common/shift.h"
#include "ui/elements/outfield.h"

namespace {

constexpr int kBlocks = TFormSvodTable::kBlockCount;
constexpr int kColumns = TFormSvodTable::kColumnCount;
constexpr int kRows = TFormSvodTable::kRowCount;

const QString kLoadError = u"Ошибка загрузки данных в сводную таблицу."_qs;

TDateTime At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  return EncodeDateTime(year, month, day, hour, minute, second);
}

// The day most tests show: the middle of a month.
TDateTime Mar14(int hour = 0, int minute = 0, int second = 0) {
  return At(2024, 3, 14, hour, minute, second);
}

// Weights that differ per quantity and section, so that a weight applied to
// the wrong column shows.
SummaryConstants OwnConstants() {
  SummaryConstants constants{};
  constants[kKVF] = {0.5, 0.25};
  constants[kKGF] = {1.0 / 60.0, 0.02};
  constants[kKVRRS] = {0.1, 0.3};
  constants[kKVRRP] = {2.0, 1.5};
  constants[kKVRRFL] = {0.001, 1.0};
  return constants;
}

// "text" with its "." as the system's decimal separator, as the cells print.
QString Local(const QString& text) {
  QString result = text;
  return result.replace(u'.', QLocale::system().decimalPoint());
}

// A figure as a cell shows it.
QString Shown(double figure) {
  TFormatSettings settings = DefaultFormatSettings();
  settings.DecimalSeparator = QLocale::system().decimalPoint().front();
  return FormatFloat(u"# ### ##0.0 ;-# ### ##0.0 ;  ;"_qs, figure, settings);
}

// Moments compared to the second: day counts reached by different sums
// differ in their last bits.
QString Moment(TDateTime moment) {
  return QDateTimeFromDateTime(moment).toString(u"yyyy-MM-dd HH:mm:ss"_qs);
}

QString Cell(int block, int column, int row) {
  return TFormSvodTable::ValueCellName(block, column, row);
}

// Restores the shift settings a test changed, pass or fail.
struct ShiftSettingsGuard {
  ~ShiftSettingsGuard() {
    ShiftStartHour = 7;
    ShiftStartDays = 0;
  }
};

class FormSvodTableTest : public ::testing::Test {
 protected:
  void OpenDatabase(const QStringList& columns = {}, int viaPort = 0, int timeoutSec = 0) {
    m_database = std::make_unique<TrendDatabase>();
    ASSERT_TRUE(m_database->Open(columns, viaPort, timeoutSec)) << m_database->Error().toStdString();
    m_connected = true;
  }

  void Make() {
    SummarySource source;
    source.DatabaseConnected = [this] { return m_connected; };
    source.Database = m_database ? &m_database->Thread() : nullptr;
    source.Constants = [this] { return m_constants; };
    source.AddLogMessage = [this](const QString& text) { m_log << text; };
    source.Now = [this] { return m_now; };
    m_window = std::make_unique<TFormSvodTable>(source);
    m_window->TimerUpdate().stop();
    m_finished = std::make_unique<QSignalSpy>(m_window.get(), &TFormSvodTable::LoadFinished);
  }

  // Runs what may start a reload and waits until one has ended.
  [[nodiscard]] bool Run(const std::function<void()>& load) {
    const qsizetype before = m_finished->count();
    load();
    return QTest::qWaitFor([&] { return m_finished->count() > before; }, 15000);
  }
  [[nodiscard]] bool ShowDay(TDateTime day) {
    m_window->DateTimePicker1().setDate(QDateTimeFromDateTime(day).date());
    return Run([&] { m_window->Reload(); });
  }

  TOutField& Child(const QString& name) const {
    TOutField* child = m_window->findChild<TOutField*>(name);
    EXPECT_NE(child, nullptr) << name.toStdString();
    // A stand-in for a missing cell, never freed: it must not outlive the
    // application as a static widget would.
    static TOutField* const none = new TOutField;
    return child != nullptr ? *child : *none;
  }

  // The block's nine figures match the sums, and every cell shows its figure.
  void ExpectBlock(int block, const std::array<double, SummaryResult::kColumnCount>& sums) const {
    for (int c = 0; c < kColumns; ++c) {
      const double expected[kRows] = {sums[c], sums[kColumns + c], sums[c] + sums[kColumns + c]};
      for (int r = 0; r < kRows; ++r) {
        const double figure = m_window->Figure(block, c, r);
        EXPECT_NEAR(figure, expected[r], 1e-9 * std::max(1.0, std::abs(expected[r])))
            << Cell(block, c, r).toStdString();
        EXPECT_EQ(Child(Cell(block, c, r)).Caption(), Shown(figure)) << Cell(block, c, r).toStdString();
      }
    }
  }
  void ExpectBlockEquals(int block, int other) const {
    for (int c = 0; c < kColumns; ++c)
      for (int r = 0; r < kRows; ++r)
        EXPECT_EQ(m_window->Figure(block, c, r), m_window->Figure(other, c, r))
            << Cell(block, c, r).toStdString();
  }
  void ExpectBlockBlank(int block) const {
    for (int c = 0; c < kColumns; ++c) {
      for (int r = 0; r < kRows; ++r) {
        EXPECT_EQ(m_window->Figure(block, c, r), 0) << Cell(block, c, r).toStdString();
        EXPECT_TRUE(Child(Cell(block, c, r)).Caption().trimmed().isEmpty())
            << Cell(block, c, r).toStdString();
      }
    }
  }
  std::array<double, 60> AllFigures() const {
    std::array<double, 60> figures{};
    for (int b = 0; b < kBlocks; ++b)
      for (int c = 0; c < kColumns; ++c)
        for (int r = 0; r < kRows; ++r) figures[(b * kColumns + c) * kRows + r] = m_window->Figure(b, c, r);
    return figures;
  }
  qsizetype LogCount(const QString& text) const { return m_log.count(text); }
  std::string LogText() const { return m_log.join(u'\n').toStdString(); }

  // A month of rows around 14 March 2024: the last evening of February (not
  // in March's month block), the 1st from 06:00 (the hour before the month's
  // first shift is not in it either), every 20 minutes until the 14th's
  // night shift has ended and beyond into the 15th.
  void WriteMonth() {
    m_rows.AddSeries(At(2024, 2, 29, 20, 0), At(2024, 3, 1, 6, 0), 30);
    m_rows.AddSeries(At(2024, 3, 1, 6, 0), At(2024, 3, 15, 12, 0), 20);
    ASSERT_TRUE(m_rows.Write(*m_database)) << m_database->Error().toStdString();
  }
  SummaryInterval Interval(TDateTime day, int shift) const {
    SummaryInterval interval;
    ShiftRange(day, shift, interval.Start, interval.Stop);
    return interval;
  }
  SummaryInterval MonthInterval(TDateTime day) const {
    const DateTimeFields fields = DecodeDateTime(day);
    return {Interval(At(fields.Year, fields.Month, 1), 3).Start, Interval(day, 3).Stop};
  }
  void ExpectDay(TDateTime day) const {
    ExpectBlock(0, m_rows.Expected(Interval(day, 1), m_constants));
    ExpectBlock(1, m_rows.Expected(Interval(day, 2), m_constants));
    ExpectBlock(2, m_rows.Expected(Interval(day, 3), m_constants));
    ExpectBlock(3, m_rows.Expected(MonthInterval(day), m_constants));
  }

  TDateTime m_now = Mar14(12, 0);
  bool m_connected = false;
  SummaryConstants m_constants = DefaultSummaryConstants();
  QStringList m_log;
  SummaryRows m_rows;
  std::unique_ptr<TrendDatabase> m_database;
  std::unique_ptr<TFormSvodTable> m_window;
  std::unique_ptr<QSignalSpy> m_finished;
};

// ---- The window as it opens.

TEST_F(FormSvodTableTest, OpensOnTheProductionDayWithTheTableLaidOut) {
  m_now = Mar14(3, 0);  // the night shift of the 13th is under way
  Make();
  EXPECT_EQ(m_window->objectName(), u"FormSvodTable"_qs);
  EXPECT_EQ(m_window->windowTitle(), u"Таблица сводных параметров процесса флотации"_qs);
  EXPECT_EQ(m_window->DateTimePicker1().date(), QDate(2024, 3, 13));
  EXPECT_EQ(m_window->DateTimePicker1().displayFormat(), u"dd.MM.yyyy"_qs);
  EXPECT_TRUE(m_window->DateTimePicker1().calendarPopup());
  EXPECT_EQ(m_window->Day(), At(2024, 3, 13));
  EXPECT_EQ(Moment(m_window->IntervalStart()), Moment(At(2024, 3, 13, 7)));
  EXPECT_EQ(Moment(m_window->IntervalStop()), Moment(At(2024, 3, 14, 6, 59, 59)));
  EXPECT_EQ(m_window->LastReload(), m_now);
  EXPECT_TRUE(m_window->NeedReload());
  EXPECT_EQ(m_window->TickCount(), 0);
  EXPECT_FALSE(m_window->LoadBusy());
  EXPECT_EQ(m_window->TimerUpdate().interval(), 27000);
  EXPECT_EQ(m_window->ButReload().text(), u"Обновить"_qs);
  EXPECT_TRUE(m_window->ButReload().isDefault());
  EXPECT_FALSE(m_window->rect().intersects(m_window->ButReload().geometry())) << "out of sight";
  EXPECT_EQ(m_window->WaitPanel().text(), u"Дождитесь загрузки данных"_qs);
  EXPECT_TRUE(m_window->WaitPanel().isHidden());
  EXPECT_EQ(m_window->PanelTable().size(), QSize(838, 528));
  EXPECT_EQ(m_window->PrintBody(), &m_window->PanelTable());
  EXPECT_EQ(m_window->ExportFileStem(), u"svod-2024-03-13"_qs);

  for (int b = 0; b < kBlocks; ++b) {
    for (int c = 0; c < kColumns; ++c) {
      for (int r = 0; r < kRows; ++r) {
        const TOutField& cell = Child(Cell(b, c, r));
        SCOPED_TRACE(Cell(b, c, r).toStdString());
        EXPECT_EQ(qstrcmp(cell.metaObject()->className(), "TOutField"), 0);
        EXPECT_EQ(cell.parentWidget(), &m_window->PanelTable());
        EXPECT_EQ(cell.geometry(), QRect(187 + 130 * c, 106 + 105 * b + 35 * r, 130, 35));
        EXPECT_EQ(cell.OutFormat(), u"# ### ##0.0 ;-# ### ##0.0 ;  ;"_qs);
        EXPECT_EQ(cell.Brush().Color, r == 2 ? clYellow : clCream);
        EXPECT_EQ(cell.Font().Color(), clNavy);
        EXPECT_TRUE(cell.Font().Bold());
        EXPECT_TRUE(cell.Caption().trimmed().isEmpty());
      }
    }
  }
  EXPECT_EQ(Child(u"OutFieldL3VRRSSUM"_qs).geometry().topLeft(), QPoint(447, 386));

  struct CaptionCase {
    const char* Name;
    const char16_t* Text;
    QRect Geometry;
  };
  const CaptionCase captions[] = {
      {"CaptionParams", u"Параметры:", QRect(1, 1, 186, 105)},
      {"CaptionVFTop", u"Переработано исходной пульпы", QRect(187, 1, 130, 70)},
      {"CaptionVFUnit", u"м3", QRect(187, 71, 130, 35)},
      {"CaptionGFTop", u"Переработано исходной пульпы", QRect(317, 1, 130, 70)},
      {"CaptionGFUnit", u"Т", QRect(317, 71, 130, 35)},
      {"CaptionVRRSTop", u"Расход реагентов, л", QRect(447, 1, 130, 70)},
      {"CaptionVRRSUnit", u"Cобиратель", QRect(447, 71, 130, 35)},
      {"CaptionVRRPTop", u"Расход реагентов, л", QRect(577, 1, 130, 70)},
      {"CaptionVRRPUnit", u"Пенообра- зователь", QRect(577, 71, 130, 35)},
      {"CaptionVRFL", u"Расход флокулянта, л", QRect(707, 1, 130, 105)},
      {"CaptionL1", u"Смена 1", QRect(1, 106, 95, 105)},
      {"CaptionL2", u"Смена 2", QRect(1, 211, 95, 105)},
      {"CaptionL3", u"За сутки", QRect(1, 316, 95, 105)},
      {"CaptionL4", u"С начала месяца", QRect(1, 421, 95, 105)},
      {"CaptionL1Row1", u"Секция 1", QRect(96, 106, 91, 35)},
      {"CaptionL2Row2", u"Секция 2", QRect(96, 246, 91, 35)},
      {"CaptionL4RowSUM", u"Всего", QRect(96, 491, 91, 35)},
  };
  for (const CaptionCase& expected : captions) {
    const TOutField& cell = Child(QString::fromLatin1(expected.Name));
    SCOPED_TRACE(expected.Name);
    EXPECT_EQ(cell.Caption(), QString::fromUtf16(expected.Text));
    EXPECT_EQ(cell.OutFormat(), QString::fromUtf16(expected.Text));
    EXPECT_EQ(cell.Brush().Color, clSilver);
    EXPECT_EQ(cell.geometry(), expected.Geometry);
  }
  EXPECT_EQ(Child(u"CaptionVRRSUnit"_qs).Caption().front(), u'C') << "a Latin C";
  EXPECT_EQ(m_window->findChildren<TOutField*>().size(), 60 + 26);
}

TEST_F(FormSvodTableTest, CellsShowTheirFillsAndWrappedCaptions) {
  Make();
  m_window->resize(900, 640);
  m_window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
  const QImage table = m_window->PanelTable().grab().toImage();
  auto colourAt = [&](const QString& name, QPoint offset) {
    return table.pixelColor(Child(name).geometry().topLeft() + offset);
  };
  EXPECT_EQ(colourAt(u"OutFieldL1VF1"_qs, {5, 5}), ColorFromTColor(clCream));
  EXPECT_EQ(colourAt(u"OutFieldL2VRFLSUM"_qs, {5, 5}), ColorFromTColor(clYellow));
  EXPECT_EQ(colourAt(u"CaptionVRRPUnit"_qs, {2, 2}), ColorFromTColor(clSilver));
  // "Пенообра- зователь" takes two lines: ink above and below the cell's middle.
  const QRect frother = Child(u"CaptionVRRPUnit"_qs).geometry();
  auto inkInRows = [&](int from, int to) {
    for (int y = frother.top() + from; y < frother.top() + to; ++y)
      for (int x = frother.left() + 3; x < frother.right() - 3; ++x)
        if (table.pixelColor(x, y).lightness() < 80) return true;
    return false;
  };
  EXPECT_TRUE(inkInRows(2, 15));
  EXPECT_TRUE(inkInRows(20, 33));
}

TEST_F(FormSvodTableTest, TheTableStaysCentredBelowTheTopPanel) {
  Make();
  m_window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
  struct Case {
    QSize Window;
    QPoint Table;
  };
  const Case cases[] = {
      {{900, 640}, {31, 41 + 35}},
      {{1280, 1000}, {221, 41 + 215}},
      {{839, 570}, {0, 41 + 0}},
      // Smaller than the table: its top left corner stays in sight.
      {{600, 400}, {0, 41}},
  };
  for (const Case& c : cases) {
    m_window->resize(c.Window);
    EXPECT_EQ(m_window->PanelTable().pos(), c.Table) << c.Window.width() << "x" << c.Window.height();
    EXPECT_EQ(m_window->PanelTable().size(), QSize(838, 528));
  }
}

// ---- The query.

TEST_F(FormSvodTableTest, QueryText_IsExactAndItsBoundsAreHourAligned) {
  EXPECT_EQ(
      TSummaryReader::QueryText(At(2009, 3, 5, 7), At(2009, 3, 5, 18, 59, 59), OwnConstants()),
      u"select \r\n"
      u"0.5*sum(RVF1) as VF1, 0.0166666666666667*sum(RGF1) as GF1, 0.1*sum(TRRS1) as VRRS1, "
      u"2*sum(TRRP1) as VRRP1, 0.001*sum(TRFL1) as VRFL1, "
      u"0.25*sum(RVF2) as VF2, 0.02*sum(RGF2) as GF2, 0.3*sum(TRRS2) as VRRS2, "
      u"1.5*sum(TRRP2) as VRRP2, 1*sum(TRFL2) as VRFL2"
      u"\r\nfrom puf_data \r\nwhere RecMoment >= '2009-03-05 07:00:00' and RecMoment <= '2009-03-05 18:59:59'"_qs);

  struct Case {
    TDateTime Start;
    TDateTime Stop;
    const char* From;
    const char* To;
  };
  const Case cases[] = {
      {At(2009, 3, 5, 7), At(2009, 3, 5, 18, 59, 59), "2009-03-05 07:00:00", "2009-03-05 18:59:59"},
      {At(2009, 3, 5, 7, 30), At(2009, 3, 5, 18, 30), "2009-03-05 07:00:00", "2009-03-05 18:59:59"},
      {At(2009, 3, 5, 19, 59, 59), At(2009, 3, 6, 0, 0, 1), "2009-03-05 19:00:00", "2009-03-06 00:59:59"},
      {At(2009, 12, 31, 23), At(2010, 1, 1, 6, 59, 59), "2009-12-31 23:00:00", "2010-01-01 06:59:59"},
  };
  for (const Case& c : cases) {
    const QString text = TSummaryReader::QueryText(c.Start, c.Stop, DefaultSummaryConstants());
    EXPECT_TRUE(text.endsWith(u"where RecMoment >= '"_qs + QString::fromLatin1(c.From) +
                              u"' and RecMoment <= '"_qs + QString::fromLatin1(c.To) + u"'"_qs))
        << text.toStdString();
    EXPECT_TRUE(text.contains(u"0.0166666666666667*sum(TRFL2) as VRFL2\r\n"_qs)) << text.toStdString();
  }
}

// ---- Figures against the rows written.

TEST_F(FormSvodTableTest, FiguresAreTheWeightedSumsOfTheRowsInEachBlock) {
  OpenDatabase();
  WriteMonth();
  m_constants = OwnConstants();
  Make();
  ASSERT_TRUE(ShowDay(Mar14()));
  ExpectDay(Mar14());
  EXPECT_GT(m_window->Figure(3, 0, 2), m_window->Figure(2, 0, 2)) << "the month holds more than the day";
  EXPECT_EQ(Moment(m_window->IntervalStart()), Moment(At(2024, 3, 1, 7)));
  EXPECT_EQ(Moment(m_window->IntervalStop()), Moment(At(2024, 3, 15, 6, 59, 59)));
  EXPECT_FALSE(m_window->LoadBusy());
  EXPECT_TRUE(m_window->WaitPanel().isHidden());
  EXPECT_TRUE(m_log.isEmpty()) << LogText();

  EXPECT_EQ(m_window->PrintHeading(),
            QStringList({u"Таблица сводных параметров процесса флотации за 14.03.2024"_qs,
                         u"Смена 1: 14.03.2024 07:00:00 – 14.03.2024 18:59:59"_qs,
                         u"Смена 2: 14.03.2024 19:00:00 – 15.03.2024 06:59:59"_qs,
                         u"За сутки: 14.03.2024 07:00:00 – 15.03.2024 06:59:59"_qs,
                         u"С начала месяца: 01.03.2024 07:00:00 – 15.03.2024 06:59:59"_qs}));
  EXPECT_EQ(m_window->ExportFileStem(), u"svod-2024-03-14"_qs);

  // The weights are read at every reload.
  m_constants = DefaultSummaryConstants();
  ASSERT_TRUE(Run([&] { m_window->Reload(); }));
  ExpectDay(Mar14());
}

TEST_F(FormSvodTableTest, ADayWithoutRowsShowsSixtyBlankCells) {
  OpenDatabase();
  m_rows.AddSeries(At(2024, 4, 2, 7), At(2024, 4, 3, 7), 60);  // another month
  ASSERT_TRUE(m_rows.Write(*m_database));
  Make();
  ASSERT_TRUE(ShowDay(Mar14()));
  for (int b = 0; b < kBlocks; ++b) ExpectBlockBlank(b);
  EXPECT_TRUE(m_log.isEmpty()) << LogText();
}

TEST_F(FormSvodTableTest, OnTheFirstOfAMonthTheMonthBlockEqualsTheDay) {
  OpenDatabase();
  WriteMonth();
  Make();
  ASSERT_TRUE(ShowDay(At(2024, 3, 1)));
  ExpectDay(At(2024, 3, 1));
  EXPECT_GT(m_window->Figure(2, 0, 0), 0);
  ExpectBlockEquals(3, 2);
}

TEST_F(FormSvodTableTest, ASectionThatDoesNotRunLeavesItsCellsBlankAndTheTotalsToTheOther) {
  OpenDatabase();
  m_rows.AddSeries(Mar14(7), Mar14(19), 10, false);  // section 2's columns NULL
  // Rows where only the flow was written: the other sums take nothing from them.
  m_rows.Add(Mar14(19, 5), {500.0});
  m_rows.Add(Mar14(19, 6), {});
  ASSERT_TRUE(m_rows.Write(*m_database));
  Make();
  ASSERT_TRUE(ShowDay(Mar14()));
  ExpectDay(Mar14());
  for (int b = 0; b < kBlocks; ++b) {
    for (int c = 0; c < kColumns; ++c) {
      EXPECT_EQ(m_window->Figure(b, c, 1), 0);
      EXPECT_TRUE(Child(Cell(b, c, 1)).Caption().trimmed().isEmpty());
      EXPECT_EQ(m_window->Figure(b, c, 2), m_window->Figure(b, c, 0));
    }
  }
  EXPECT_NEAR(m_window->Figure(1, 0, 0), 500.0 / 60, 1e-9) << "the flow-only row";
  EXPECT_EQ(m_window->Figure(1, 1, 0), 0);
  EXPECT_TRUE(m_log.isEmpty()) << LogText();
}

TEST_F(FormSvodTableTest, BlocksFollowTheShiftStartHour) {
  ShiftSettingsGuard guard;
  ShiftStartHour = 8;
  OpenDatabase();
  const std::pair<TDateTime, const char*> moments[] = {
      {Mar14(7, 30), "the 13th's night shift"},
      {Mar14(8, 0), "shift 1"},
      {Mar14(19, 59), "shift 1"},
      {Mar14(20, 0), "shift 2"},
      {At(2024, 3, 15, 7, 59), "shift 2"},
      {At(2024, 3, 15, 8, 0), "the 15th"},
  };
  double value = 60;
  for (const auto& [moment, what] : moments) {
    m_rows.Add(moment, {value});
    value *= 2;
  }
  ASSERT_TRUE(m_rows.Write(*m_database));
  Make();
  ASSERT_TRUE(ShowDay(Mar14()));
  EXPECT_EQ(Moment(m_window->BlockInterval(0).Start), Moment(Mar14(8)));
  EXPECT_EQ(Moment(m_window->BlockInterval(0).Stop), Moment(Mar14(19, 59, 59)));
  EXPECT_EQ(Moment(m_window->BlockInterval(2).Stop), Moment(At(2024, 3, 15, 7, 59, 59)));
  EXPECT_EQ(Moment(m_window->BlockInterval(3).Start), Moment(At(2024, 3, 1, 8)));
  EXPECT_EQ(Moment(m_window->BlockInterval(3).Stop), Moment(At(2024, 3, 15, 7, 59, 59)));
  // Each row's flow is twice the one before, at 1/60 a row of 60 counts 1.
  EXPECT_NEAR(m_window->Figure(0, 0, 0), 2 + 4, 1e-9);
  EXPECT_NEAR(m_window->Figure(1, 0, 0), 8 + 16, 1e-9);
  EXPECT_NEAR(m_window->Figure(2, 0, 0), 2 + 4 + 8 + 16, 1e-9);
  EXPECT_NEAR(m_window->Figure(3, 0, 0), 1 + 2 + 4 + 8 + 16, 1e-9);
}

// ---- The timer.

TEST_F(FormSvodTableTest, TodayDuringTheFirstShiftRefreshesAndGrows) {
  OpenDatabase();
  m_rows.AddSeries(At(2024, 3, 10, 7), At(2024, 3, 10, 9), 5);  // earlier in the month
  m_rows.AddSeries(Mar14(7), Mar14(10), 1);
  ASSERT_TRUE(m_rows.Write(*m_database));
  m_now = Mar14(10, 0);
  Make();
  auto tick = [&] {
    m_now += 27.0 / 86400;
    m_window->TimerUpdateTimer();
  };
  auto reloadsAtTick = [&] {
    const qsizetype before = m_finished->count();
    tick();
    if (!m_window->LoadBusy()) return m_finished->count() > before;
    return QTest::qWaitFor([&] { return m_finished->count() > before; }, 15000);
  };

  ASSERT_TRUE(reloadsAtTick()) << "the first tick";
  ExpectDay(Mar14());
  ExpectBlockBlank(1);
  const double shift1 = m_window->Figure(0, 0, 2);
  const double month = m_window->Figure(3, 0, 2);
  EXPECT_GT(month, shift1);

  m_rows.AddSeries(Mar14(10), Mar14(10, 2), 1);
  ASSERT_TRUE(m_rows.Write(*m_database));
  ASSERT_TRUE(reloadsAtTick()) << "the second tick";
  EXPECT_EQ(m_window->TickCount(), 2);
  ExpectDay(Mar14());
  EXPECT_GT(m_window->Figure(0, 0, 2), shift1);
  EXPECT_GT(m_window->Figure(3, 0, 2), month);
  ExpectBlockBlank(1);

  // From then on every third tick: the last reload must be more than a
  // minute ago.
  m_rows.AddSeries(Mar14(10, 2), Mar14(10, 4), 1);
  ASSERT_TRUE(m_rows.Write(*m_database));
  const double before = m_window->Figure(0, 0, 2);
  EXPECT_FALSE(reloadsAtTick()) << "27 s after";
  EXPECT_FALSE(reloadsAtTick()) << "54 s after";
  EXPECT_EQ(m_window->Figure(0, 0, 2), before);
  ASSERT_TRUE(reloadsAtTick()) << "81 s after";
  EXPECT_EQ(m_window->LastReload(), m_now);
  EXPECT_EQ(m_window->TickCount(), 5);
  ExpectDay(Mar14());
  EXPECT_GT(m_window->Figure(0, 0, 2), before);
  EXPECT_TRUE(m_log.isEmpty()) << LogText();
}

TEST_F(FormSvodTableTest, APastDayIsReloadedAtTheFirstTwoTicksOnly) {
  OpenDatabase();
  m_now = Mar14(12);
  Make();
  m_window->DateTimePicker1().setDate(QDate(2024, 3, 12));
  int reloads = 0;
  for (int i = 1; i <= 8; ++i) {
    const qsizetype before = m_finished->count();
    m_now += 27.0 / 86400;
    m_window->TimerUpdateTimer();
    EXPECT_FALSE(m_window->TimerBusy());
    if (m_window->LoadBusy()) {
      ASSERT_TRUE(QTest::qWaitFor([&] { return m_finished->count() > before; }, 15000));
    }
    if (m_finished->count() > before) {
      ++reloads;
      EXPECT_LE(i, 2) << "tick " << i;
    }
  }
  EXPECT_EQ(reloads, 2);
  EXPECT_EQ(m_window->TickCount(), 8);
  EXPECT_EQ(m_window->Day(), At(2024, 3, 12));
}

TEST_F(FormSvodTableTest, WithoutAConnectionTheTimerDoesNothingButEnterStillAsks) {
  Make();              // no database thread at all
  m_connected = true;  // a connected flag alone does not make a connection
  m_window->TimerUpdateTimer();
  EXPECT_EQ(m_window->TickCount(), 0);
  EXPECT_TRUE(m_window->NeedReload());
  EXPECT_EQ(m_finished->count(), 0);

  ASSERT_TRUE(Run([&] { QTest::keyClick(m_window.get(), Qt::Key_Return); }));
  EXPECT_EQ(LogCount(kLoadError), 4) << LogText();
  for (int b = 0; b < kBlocks; ++b) ExpectBlockBlank(b);
  ASSERT_TRUE(Run([&] { QTest::keyClick(m_window.get(), Qt::Key_Enter); }));
  EXPECT_EQ(LogCount(kLoadError), 8) << LogText();
}

TEST_F(FormSvodTableTest, ADisconnectedDatabaseStopsTheTimer) {
  OpenDatabase();
  Make();
  m_connected = false;
  for (int i = 0; i < 3; ++i) m_window->TimerUpdateTimer();
  EXPECT_EQ(m_window->TickCount(), 0);
  EXPECT_EQ(m_finished->count(), 0);
  m_connected = true;
  ASSERT_TRUE(Run([&] { m_window->TimerUpdateTimer(); }));
  EXPECT_EQ(m_window->TickCount(), 1);
}

// ---- Failures.

TEST_F(FormSvodTableTest, AFailingBlockKeepsItsFiguresAndIsLoggedOnce) {
  OpenDatabase();
  WriteMonth();
  Make();
  ASSERT_TRUE(ShowDay(Mar14()));
  ExpectDay(Mar14());
  const std::array<double, 60> first = AllFigures();

  // Two rows too big to sum on the 2nd: only the month block's query fails,
  // and the day's blocks take the new rows.
  m_rows.AddSeries(At(2024, 3, 15, 12), At(2024, 3, 16), 20);
  ASSERT_TRUE(
      m_database->Exec(u"INSERT INTO puf_data (RecMoment, TRFL1) VALUES "
                       u"('2024-03-02 10:05:00', 1.7e308), ('2024-03-02 10:06:00', 1.7e308)"_qs));
  ASSERT_TRUE(m_rows.Write(*m_database));
  ASSERT_TRUE(ShowDay(At(2024, 3, 15)));
  EXPECT_EQ(LogCount(kLoadError), 1) << LogText();
  ExpectBlock(0, m_rows.Expected(Interval(At(2024, 3, 15), 1), m_constants));
  ExpectBlock(2, m_rows.Expected(Interval(At(2024, 3, 15), 3), m_constants));
  const std::array<double, 60> second = AllFigures();
  for (int i = 45; i < 60; ++i) EXPECT_EQ(second[i], first[i]) << "month cell " << i;
  // What the heading says of each block is what its figures are of.
  EXPECT_EQ(Moment(m_window->BlockInterval(0).Start), Moment(At(2024, 3, 15, 7)));
  EXPECT_EQ(Moment(m_window->BlockInterval(3).Stop), Moment(At(2024, 3, 15, 6, 59, 59)));
  EXPECT_EQ(m_window->PrintHeading().value(0),
            u"Таблица сводных параметров процесса флотации за 15.03.2024"_qs);

  // A column gone: every block fails, each once, and all keep their figures.
  m_log.clear();
  ASSERT_TRUE(m_database->Exec(u"ALTER TABLE puf_data DROP COLUMN TRRP2"_qs));
  ASSERT_TRUE(ShowDay(At(2024, 3, 14)));
  EXPECT_EQ(LogCount(kLoadError), 4) << LogText();
  EXPECT_EQ(AllFigures(), second);
  EXPECT_EQ(m_window->ExportFileStem(), u"svod-2024-03-15"_qs) << "nothing of the 14th was shown";
  EXPECT_FALSE(m_window->LoadBusy());
  EXPECT_TRUE(m_window->WaitPanel().isHidden());
}

TEST_F(FormSvodTableTest, AServerThatStallsLeavesTheWindowResponsiveAndTheFiguresKept) {
  FreezeProxy proxy(TrendDatabase::ServerPort());
  ASSERT_NE(proxy.Port(), 0);
  OpenDatabase({}, proxy.Port(), 1);
  WriteMonth();
  Make();
  ASSERT_TRUE(ShowDay(Mar14()));
  const std::array<double, 60> shown = AllFigures();

  proxy.SetFrozen(true);
  m_window->Reload();
  ASSERT_TRUE(m_window->LoadBusy());
  // A second reload while one runs does nothing.
  m_window->Reload();
  QTest::keyClick(m_window.get(), Qt::Key_Return);
  int turns = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] { ++turns; });
  ticker.start(10);
  ASSERT_TRUE(QTest::qWaitFor([&] { return turns >= 20; }, 5000));
  EXPECT_TRUE(m_window->LoadBusy());
  EXPECT_TRUE(m_window->WaitPanel().isVisibleTo(m_window.get()));
  const qsizetype before = m_finished->count();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !m_window->LoadBusy(); }, 20000));
  EXPECT_EQ(m_finished->count(), before + 1);
  // The first block's time-out closes the connection; the others fail at once.
  EXPECT_EQ(LogCount(kLoadError), 4) << LogText();
  EXPECT_EQ(AllFigures(), shown);
  EXPECT_TRUE(m_window->WaitPanel().isHidden());
  ASSERT_TRUE(m_database->Thread().WaitIdle(5000));
  EXPECT_FALSE(m_database->Thread().Connected());
  // Nothing of the refused reloads arrives later.
  QCoreApplication::processEvents();
  EXPECT_EQ(m_finished->count(), before + 1);
}

TEST_F(FormSvodTableTest, AWindowClosedWhileItsSumsAreReadDropsThem) {
  OpenDatabase();
  WriteMonth();
  Make();
  m_window->Reload();
  ASSERT_TRUE(m_window->LoadBusy());
  m_window.reset();
  // The queries finish on the database thread and their results find nobody.
  ASSERT_TRUE(m_database->Thread().WaitIdle(10000));
  QCoreApplication::processEvents();
  EXPECT_TRUE(m_log.isEmpty()) << LogText();
}

TEST_F(FormSvodTableTest, FiguresTooWideForTheirCellShrinkOrShowHashes) {
  OpenDatabase();
  m_constants[kKVF] = {1, 1};
  m_rows.Add(Mar14(8), {123456789012345.0, std::nullopt, std::nullopt, std::nullopt, std::nullopt, 1e40});
  m_rows.Add(Mar14(9), {1234.5});
  ASSERT_TRUE(m_rows.Write(*m_database));
  Make();
  ASSERT_TRUE(ShowDay(Mar14()));
  const TOutField& wide = Child(u"OutFieldL1VF1"_qs);
  EXPECT_EQ(wide.Caption(), Shown(123456789012345.0 + 1234.5));
  EXPECT_LT(wide.Font().PixelSize(), TFormSvodTable::kFigurePixelSize);
  EXPECT_LE(QFontMetrics(wide.Font().ToQFont()).horizontalAdvance(wide.Caption()), wide.width() - 6);
  EXPECT_DOUBLE_EQ(wide.OutValue(), 123456789012345.0 + 1234.5);

  const TOutField& huge = Child(u"OutFieldL1VF2"_qs);
  EXPECT_EQ(huge.Caption(), u"######"_qs);
  EXPECT_EQ(huge.OutValue(), 1e40) << "the figure is kept, only its text gives way";
  EXPECT_EQ(Child(u"OutFieldL1VFSUM"_qs).Caption(), u"######"_qs);

  const TOutField& plain = Child(u"OutFieldL1GF1"_qs);
  EXPECT_EQ(plain.Font().PixelSize(), TFormSvodTable::kFigurePixelSize);

  // The next reload with a figure that fits brings the full font back.
  ASSERT_TRUE(m_database->Exec(u"DELETE FROM puf_data WHERE RecMoment = '2024-03-14 08:00:00'"_qs));
  ASSERT_TRUE(Run([&] { m_window->Reload(); }));
  EXPECT_EQ(wide.Caption(), Local(u" 1 234.5 "_qs));
  EXPECT_EQ(wide.Font().PixelSize(), TFormSvodTable::kFigurePixelSize);
  EXPECT_TRUE(huge.Caption().trimmed().isEmpty());
}

// ---- The export.

struct ExportResult {
  int Calls = 0;
  bool Ok = false;
  QString Error;
  TPrintableView::ExportDone Done() {
    return [this](bool ok, const QString& error) {
      ++Calls;
      Ok = ok;
      Error = error;
    };
  }
};

TEST_F(FormSvodTableTest, CsvHoldsTheSixtyFiguresShownAndReadsBack) {
  OpenDatabase();
  WriteMonth();
  m_constants = OwnConstants();
  Make();
  ASSERT_TRUE(ShowDay(Mar14()));
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath(u"svod.csv"_qs);
  {
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old contents that are longer than nothing\n");
  }
  ExportResult result;
  m_window->ExportCsv(path, result.Done());
  ASSERT_EQ(result.Calls, 1) << "done runs before ExportCsv returns";
  ASSERT_TRUE(result.Ok) << result.Error.toStdString();

  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF")) << "no byte-order mark";
  EXPECT_FALSE(bytes.contains('\r'));
  const QStringList lines = QString::fromUtf8(bytes).split(u'\n');
  ASSERT_EQ(lines.size(), 1 + 60 + 1) << "a header, 60 lines, the last line ended";
  EXPECT_EQ(lines.back(), QString());
  EXPECT_EQ(lines[0], u"day,block,block_name,row,row_name,column,column_name,unit,from,to,value"_qs);

  const char* const blocks[] = {"L1", "L2", "L3", "L4"};
  const char16_t* const blockNames[] = {u"Смена 1", u"Смена 2", u"За сутки", u"С начала месяца"};
  const char* const rows[] = {"1", "2", "SUM"};
  const char16_t* const rowNames[] = {u"Секция 1", u"Секция 2", u"Всего"};
  const char* const columns[] = {"VF", "GF", "VRRS", "VRRP", "VRFL"};
  const char16_t* const columnNames[] = {u"Переработано исходной пульпы", u"Переработано исходной пульпы",
                                         u"Расход реагентов: собиратель",
                                         u"Расход реагентов: пенообразователь", u"Расход флокулянта"};
  const char16_t* const units[] = {u"м3", u"т", u"л", u"л", u"л"};
  const char* const from[] = {"2024-03-14T07:00:00", "2024-03-14T19:00:00", "2024-03-14T07:00:00",
                              "2024-03-01T07:00:00"};
  const char* const to[] = {"2024-03-14T18:59:59", "2024-03-15T06:59:59", "2024-03-15T06:59:59",
                            "2024-03-15T06:59:59"};
  int line = 1;
  for (int b = 0; b < kBlocks; ++b) {
    for (int r = 0; r < kRows; ++r) {
      for (int c = 0; c < kColumns; ++c, ++line) {
        const QStringList fields = lines[line].split(u',');
        SCOPED_TRACE(lines[line].toStdString());
        ASSERT_EQ(fields.size(), 11);
        EXPECT_EQ(fields[0], u"2024-03-14"_qs);
        EXPECT_EQ(fields[1], QString::fromLatin1(blocks[b]));
        EXPECT_EQ(fields[2], QString::fromUtf16(blockNames[b]));
        EXPECT_EQ(fields[3], QString::fromLatin1(rows[r]));
        EXPECT_EQ(fields[4], QString::fromUtf16(rowNames[r]));
        EXPECT_EQ(fields[5], QString::fromLatin1(columns[c]));
        EXPECT_EQ(fields[6], QString::fromUtf16(columnNames[c]));
        EXPECT_EQ(fields[7], QString::fromUtf16(units[c]));
        EXPECT_EQ(fields[8], QString::fromLatin1(from[b]));
        EXPECT_EQ(fields[9], QString::fromLatin1(to[b]));
        // One decimal, a point, and the same digits the cell shows.
        const double figure = m_window->Figure(b, c, r);
        bool ok = false;
        const double value = fields[10].toDouble(&ok);
        ASSERT_TRUE(ok);
        EXPECT_NEAR(value, figure, 0.05);
        EXPECT_EQ(fields[10].section(u'.', 1).size(), 1);
        QString shown = Child(Cell(b, c, r)).Caption().trimmed().remove(u' ');
        shown.replace(QLocale::system().decimalPoint(), u"."_qs);
        EXPECT_EQ(shown.isEmpty() ? u"0.0"_qs : shown, fields[10]);
      }
    }
  }
}

TEST_F(FormSvodTableTest, CsvOfAnEmptyTableAndAPathThatCannotBeWritten) {
  m_now = Mar14(12);
  Make();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  ExportResult written;
  m_window->ExportCsv(dir.filePath(u"empty.csv"_qs), written.Done());
  ASSERT_EQ(written.Calls, 1);
  ASSERT_TRUE(written.Ok) << written.Error.toStdString();
  QFile file(dir.filePath(u"empty.csv"_qs));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
  ASSERT_EQ(lines.size(), 62);
  EXPECT_EQ(lines[1],
            u"2024-03-14,L1,Смена 1,1,Секция 1,VF,Переработано исходной пульпы,м3,"
            u"2024-03-14T07:00:00,2024-03-14T18:59:59,0.0"_qs);

  const QString bad = dir.filePath(u"missing/folder/svod.csv"_qs);
  ExportResult failed;
  m_window->ExportCsv(bad, failed.Done());
  ASSERT_EQ(failed.Calls, 1);
  EXPECT_FALSE(failed.Ok);
  EXPECT_TRUE(failed.Error.startsWith(u"Не удалось сохранить файл "_qs + bad + u": "_qs))
      << failed.Error.toStdString();
  EXPECT_GT(failed.Error.size(), (u"Не удалось сохранить файл "_qs + bad + u": "_qs).size())
      << "with a reason";
  EXPECT_FALSE(QFile::exists(bad));
}

}  // namespace
