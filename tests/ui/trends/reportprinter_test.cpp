#include "ui/trends/reportprinter.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>

#include "printfixtures.h"
#include "support/files.h"

namespace {

const QDateTime kPrintedAt(QDate(2026, 12, 10), QTime(14, 3, 7));

ReportPageInfo TestInfo() {
  ReportPageInfo info;
  info.PlantTitle = u"Обогатительная фабрика №2"_qs;
  info.PrintedAt = kPrintedAt;
  return info;
}

QString InfoValue(const QString& pdfinfo, const QString& key) {
  const QRegularExpression line(u"^"_qs + key + u":\\s*(.*)$"_qs, QRegularExpression::MultilineOption);
  return line.match(pdfinfo).captured(1).trimmed();
}

// The smallest rectangle holding every pixel of "color".
QRect ColorBounds(const QImage& image, QRgb color) {
  QRect bounds;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) == color) bounds |= QRect(x, y, 1, 1);
  return bounds;
}

// Lowers the largest file this process may write for as long as it lives:
// a write past it fails as on a full disk (EFBIG instead of a signal).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &m_old);
    rlimit limited = m_old;
    limited.rlim_cur = bytes;
    m_active = setrlimit(RLIMIT_FSIZE, &limited) == 0;
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &m_old);
    std::signal(SIGXFSZ, m_oldHandler);
  }
  bool Active() const { return m_active; }

 private:
  rlimit m_old{};
  void (*m_oldHandler)(int) = nullptr;
  bool m_active = false;
};

class ReportPrinterTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
  QString Path(const QString& name) const { return m_dir.filePath(name); }

  QTemporaryDir m_dir;
  FakePrintableView m_view;
};

TEST_F(ReportPrinterTest, WritePdf_ViewNeverShown_OneA4LandscapePageOfTextAndLines) {
  const QString path = Path(u"svod.pdf"_qs);
  ASSERT_TRUE(WriteFileBytes(path, "an older file"));
  QString error;
  ASSERT_TRUE(WritePdf(path, m_view, TestInfo(), &error)) << error.toStdString();
  EXPECT_TRUE(error.isEmpty());
  EXPECT_TRUE(ReadFileBytes(path).startsWith("%PDF"));

  const QString info = RunPdfTool(u"pdfinfo"_qs, {path});
  EXPECT_EQ(InfoValue(info, u"Pages"_qs), u"1"_qs);
  const QSizeF size = PdfPageSize(path);
  EXPECT_NEAR(size.width(), 841.89, 1.0);
  EXPECT_NEAR(size.height(), 595.28, 1.0);
  EXPECT_EQ(InfoValue(info, u"Title"_qs), u"Сводная таблица за 10.12.2026"_qs);
  EXPECT_EQ(InfoValue(info, u"Creator"_qs), u"Обогатительная фабрика №2"_qs);

  const QString text = PdfText(path);
  for (const QString& expected :
       {u"Обогатительная фабрика №2"_qs, u"Напечатано 10.12.2026 в 14:03:07"_qs,
        u"Сводная таблица за 10.12.2026"_qs, u"Смена 1: 07:00:00 – 18:59:59"_qs, u"31415"_qs, u"2718"_qs})
    EXPECT_TRUE(text.contains(expected)) << expected.toStdString() << " missing in:\n" << text.toStdString();
  // Hidden children, parts outside PrintArea and the view's top panel stay off the page.
  for (const QString& absent : {u"Дождитесь"_qs, u"НЕВИДИМО"_qs, u"Верхняя панель"_qs})
    EXPECT_FALSE(text.contains(absent)) << absent.toStdString();

  // Lines and text only: the controls' cached screen pictures are not used.
  EXPECT_EQ(PdfImageCount(path), 0);
}

// The body keeps its proportions (800 x 400), fills the width or the height
// left below the heading, and sits centred between the page's sides.
TEST_F(ReportPrinterTest, PaintReportPage_ScalesTheBodyUniformlyAndCentresIt) {
  struct Case {
    QSize image;
    QRect page;
    bool fillsWidth;
  };
  for (const Case& c :
       {Case{{1000, 900}, {20, 30, 960, 840}, true}, Case{{1600, 600}, {20, 20, 1560, 560}, false}}) {
    SCOPED_TRACE(c.image.width());
    QImage image(c.image, QImage::Format_ARGB32);
    image.fill(Qt::white);
    {
      QPainter painter(&image);
      PaintReportPage(painter, QRectF(c.page), m_view, TestInfo());
      EXPECT_TRUE(painter.transform().isIdentity());
    }
    const QRect body = ColorBounds(image, FakePrintableView::kBodyColor);
    ASSERT_FALSE(body.isEmpty());
    EXPECT_TRUE(c.page.contains(body));
    EXPECT_NEAR(double(body.width()) / body.height(), 2.0, 0.02);
    EXPECT_NEAR(body.left() - c.page.left(), c.page.right() - body.right(), 2);
    if (c.fillsWidth) {
      EXPECT_NEAR(body.width(), c.page.width(), 2);
    } else {
      EXPECT_NEAR(body.bottom(), c.page.bottom(), 2);
      EXPECT_GT(body.left() - c.page.left(), 100);
    }
    // Room is left for the heading above the body.
    EXPECT_GT(body.top() - c.page.top(), 40);
  }
}

TEST_F(ReportPrinterTest, WritePdf_UnwritablePlaces_FailWithASentenceAndLeaveNothing) {
  ASSERT_TRUE(WriteFileBytes(Path(u"plain-file"_qs), "x"));
  for (const QString& path :
       {Path(u"missing/svod.pdf"_qs), Path(u"plain-file/svod.pdf"_qs), u"/proc/self/svod.pdf"_qs}) {
    SCOPED_TRACE(path.toStdString());
    QString error;
    EXPECT_FALSE(WritePdf(path, m_view, TestInfo(), &error));
    EXPECT_TRUE(
        error.startsWith(u"Не удалось сохранить файл "_qs + QDir::toNativeSeparators(path) + u": "_qs))
        << error.toStdString();
    EXPECT_TRUE(error.endsWith(u'.'));
    EXPECT_FALSE(QFileInfo::exists(path));
  }
  EXPECT_FALSE(WritePdf(Path(u"missing/svod.pdf"_qs), m_view, TestInfo(), nullptr));
}

TEST_F(ReportPrinterTest, WritePdf_WriteFailsMidway_KeepsTheOldFileAndNoFragment) {
  const QString path = Path(u"svod.pdf"_qs);
  ASSERT_TRUE(WriteFileBytes(path, "the good old report"));
  QString error;
  bool written = true;
  {
    const FileSizeLimit limit(4096);
    ASSERT_TRUE(limit.Active());
    written = WritePdf(path, m_view, TestInfo(), &error);
  }
  EXPECT_FALSE(written);
  EXPECT_TRUE(error.startsWith(u"Не удалось сохранить файл "_qs + QDir::toNativeSeparators(path) + u": "_qs))
      << error.toStdString();
  EXPECT_EQ(ReadFileBytes(path), "the good old report");
  EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{u"svod.pdf"_qs});
}

// What Qt offers without an installed printer is no printer for "Печать".
TEST_F(ReportPrinterTest, PrinterMissing_PdfOutputWithoutAFile) {
  QPrinter printer;
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString());
  EXPECT_TRUE(PrinterMissing(printer));
  printer.setOutputFileName(m_dir.filePath(u"printed.pdf"_qs));
  EXPECT_FALSE(PrinterMissing(printer));
}

TEST(ReportPlantTitle, TheDisplayNameWhenOneIsSetElseTheConsoleName) {
  const QString saved = QGuiApplication::applicationDisplayName();
  QGuiApplication::setApplicationDisplayName(QString());
  // Without a display name Qt answers the executable's name, no title for paper.
  EXPECT_EQ(ReportPlantTitle(), u"Пульт управления флотацией"_qs);
  QGuiApplication::setApplicationDisplayName(u"Фабрика №2: флотация"_qs);
  EXPECT_EQ(ReportPlantTitle(), u"Фабрика №2: флотация"_qs);
  QGuiApplication::setApplicationDisplayName(saved);
}

TEST(PrintedAtText, DayAndTimeWithLeadingZeros) {
  EXPECT_EQ(PrintedAtText(QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7))),
            u"Напечатано 04.03.2026 в 05:06:07"_qs);
}

}  // namespace
