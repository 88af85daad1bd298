// The console's own printable views on paper: the summary table and a
// flotation trend window, filled from the private database, written as PDF
// and read back.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "printfixtures.h"
#include "summarydb.h"
#include "trendconsole.h"
#include "trenddb.h"
#include "ui/elements/outfield.h"
#include "ui/trends/formflotgraph.h"
#include "ui/trends/formsvodtable.h"
#include "ui/trends/reportprinter.h"

namespace {

const TDateTime kDay = EncodeDateTime(2026, 12, 10);

ReportPageInfo FixedInfo() {
  ReportPageInfo info;
  info.PlantTitle = u"Пульт управления флотацией"_qs;
  info.PrintedAt = QDateTime(QDate(2026, 12, 11), QTime(8, 15, 0));
  return info;
}

class PrintViewsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_database.Open()) << m_database.Error().toStdString();
    ASSERT_TRUE(m_dir.isValid());
  }
  TrendDatabase m_database;
  QTemporaryDir m_dir;
};

TEST_F(PrintViewsTest, TheSummaryOnPaperHoldsTheDayTheShiftHoursAndTheFiguresShown) {
  SummaryRows rows;
  rows.AddSeries(kDay + 7.0 / 24, kDay + 1 + 7.0 / 24, 10);
  ASSERT_TRUE(rows.Write(m_database));
  SummarySource source;
  source.DatabaseConnected = [] { return true; };
  source.Database = &m_database.Thread();
  source.Now = [] { return kDay + 1.5; };
  TFormSvodTable table(source);
  table.TimerUpdate().stop();
  table.DateTimePicker1().setDate(QDate(2026, 12, 10));
  QSignalSpy finished(&table, &TFormSvodTable::LoadFinished);
  table.Reload();
  ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 10000));
  ASSERT_GT(table.Figure(2, 0, 2), 0);

  const QString path = m_dir.filePath(u"svod.pdf"_qs);
  QString error;
  ASSERT_TRUE(WritePdf(path, table, FixedInfo(), &error)) << error.toStdString();
  const QSizeF size = PdfPageSize(path);
  EXPECT_NEAR(size.width(), 841.89, 1);
  EXPECT_NEAR(size.height(), 595.28, 1);
  const QString text = PdfText(path);
  EXPECT_TRUE(text.contains(u"Таблица сводных параметров процесса флотации за 10.12.2026"_qs));
  EXPECT_TRUE(text.contains(u"Смена 1: 10.12.2026 07:00:00 – 10.12.2026 18:59:59"_qs));
  EXPECT_TRUE(text.contains(u"Напечатано 11.12.2026 в 08:15:00"_qs));
  // Every figure the table shows is on the page as the cell writes it.
  for (int block = 0; block < TFormSvodTable::kBlockCount; ++block) {
    for (int column = 0; column < TFormSvodTable::kColumnCount; ++column) {
      for (int row = 0; row < TFormSvodTable::kRowCount; ++row) {
        const QString shown = table.ValueCell(block, column, row)->Caption().trimmed();
        ASSERT_FALSE(shown.isEmpty());
        EXPECT_TRUE(text.contains(shown))
            << TFormSvodTable::ValueCellName(block, column, row).toStdString() << " " << shown.toStdString();
      }
    }
  }
  EXPECT_EQ(PdfImageCount(path), 0) << "the table is lines and text";
}

TEST_F(PrintViewsTest, ATrendWindowOnPaperIsVectorsWithTheDayAndTheShift) {
  for (int minute = 0; minute < 12 * 60; ++minute) {
    ASSERT_TRUE(m_database.Insert(kDay + 7.0 / 24 + minute / 1440.0,
                                  {{"RVF1", 500.0 + minute % 50}, {"TRRS1", 40}, {"ZRRS1", 3000}}));
  }
  FakeTrendConsole console(kDay + 1.5);
  console.Database = &m_database;
  console.Connected = true;
  QTemporaryDir home;
  TFormFlotGraph window(0, console.Source(), home.path());
  window.TimerUpdate().stop();
  window.resize(1280, 940);
  window.show();  // the print window prints the view in front
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.ShowAllGraphs();
  window.DateTimePicker1().setDate(QDate(2026, 12, 10));
  window.ComboBox1().setCurrentIndex(0);
  QSignalSpy finished(&window, &TTrendWindow::LoadFinished);
  window.Reload();
  ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 10000));

  const QString path = m_dir.filePath(u"trend.pdf"_qs);
  QString error;
  ASSERT_TRUE(WritePdf(path, window, FixedInfo(), &error)) << error.toStdString();
  const QString text = PdfText(path);
  EXPECT_TRUE(text.contains(u"Графики параметров флотации секции №1"_qs));
  EXPECT_TRUE(text.contains(u"За 10.12.2026, смена №1: 10.12.2026 07:00:00 – 10.12.2026 18:59:59"_qs));
  EXPECT_TRUE(text.contains(u"Расход исходной пульпы"_qs)) << "the graphs' captions";
  EXPECT_FALSE(text.contains(u"Обновить"_qs)) << "no controls of the top panel";
  EXPECT_EQ(PdfImageCount(path), 0) << "graphs, captions and legends are lines and text";
}

}  // namespace
