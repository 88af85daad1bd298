#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QSizeF>
#include <QStringList>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidget>
#include <vector>

#include "common/tdatetime.h"
#include "ui/elements/outfield.h"
#include "ui/trends/levelgraph.h"
#include "ui/trends/printableview.h"

// A printable view as the print code meets it: a top panel that is not
// printed, and a body laid out by the view's layout (800 x 400 once laid
// out: twice as wide as high) holding two value fields with known figures,
// a level graph with a line and a zoom button, a date picker and a shift
// box (controls, kept off the page), a hidden wait panel and, right of PrintArea, a
// field that must stay off the page. The view is never shown unless a test
// shows it. The body's background is kBodyColor, so a page picture shows
// where the body landed.
class FakePrintableView : public QWidget, public TPrintableView {
 public:
  static constexpr QRgb kBodyColor = 0xff2080c0;
  static constexpr int kAreaWidth = 800;
  static constexpr int kAreaHeight = 400;

  FakePrintableView() {
    setObjectName(u"FakePrintableView"_qs);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* top = new QLabel(u"Верхняя панель с выбором даты"_qs, this);
    top->setFixedHeight(40);
    layout->addWidget(top);
    m_body = new QWidget(this);
    m_body->setAutoFillBackground(true);
    QPalette palette = m_body->palette();
    palette.setColor(QPalette::Window, QColor::fromRgb(kBodyColor));
    m_body->setPalette(palette);
    layout->addWidget(m_body, 1);
    // The body is 900 wide; PrintArea keeps its left 800.
    resize(kAreaWidth + 100, 40 + kAreaHeight);

    AddField(u"31415"_qs, QRect(20, 20, 160, 30), 31415);
    AddField(u"2718"_qs, QRect(200, 20, 160, 30), 2718);
    AddField(u"OffArea"_qs, QRect(kAreaWidth + 10, 20, 80, 30), 0)->SetCaption(u"НЕВИДИМО"_qs);

    m_graph = new TLevelGraph(m_body);
    m_graph->setGeometry(20, 70, 760, 300);
    m_graph->SetYMax(100);
    m_graph->SetYLabelStep(20);
    m_graph->SetXLabelStep(2.0 / 24);
    m_graph->SetGraphCount(1);
    m_graph->SetGraphPen(0, ElementPen(clRed, 2));
    const TDateTime start = EncodeDateTime(2026, 12, 10, 7, 0);
    m_graph->SetNewIntervalAccepted(false);
    m_graph->SetNewStartTime(start);
    m_graph->SetNewStopTime(start + 0.5);
    m_graph->SetNewCursorTime(start + 0.25);
    m_graph->SetNewIntervalAccepted(true);
    m_graph->ResetData();
    m_graph->CalcRegion();
    for (int minute = 0; minute < 720; ++minute)
      m_graph->AddPoint(0, start + minute / 1440.0, 20 + minute / 12.0);
    m_graph->UpdateChanges();
    // A zoom button on the graph, as the trend windows have: a control, not
    // part of the page (and drawn by the style from bitmaps).
    auto* zoom = new QToolButton(m_graph);
    zoom->setText(u"[]"_qs);
    zoom->setGeometry(735, 2, 20, 18);
    // A date picker and a shift box, as a window printed whole has them.
    auto* picker = new QDateEdit(QDate(2026, 12, 10), m_body);
    picker->setGeometry(380, 20, 120, 25);
    auto* shift = new QComboBox(m_body);
    shift->addItem(u"Обе смены"_qs);
    shift->setGeometry(510, 20, 150, 25);

    m_waitPanel = new QLabel(u"Дождитесь загрузки данных"_qs, m_body);
    m_waitPanel->setGeometry(300, 150, 300, 60);
    m_waitPanel->hide();
  }

  QStringList PrintHeading() const override { return m_heading; }
  QWidget* PrintBody() const override { return m_body; }
  QRect PrintArea() const override { return QRect(0, 0, kAreaWidth, m_body->height()); }
  QString ExportFileStem() const override { return u"svod-2026-12-10"_qs; }
  void ExportCsv(const QString& path, ExportDone done) override {
    m_exportPaths.push_back(path);
    m_pendingDone = std::move(done);
  }

  QStringList m_heading{u"Сводная таблица за 10.12.2026"_qs, u"Смена 1: 07:00:00 – 18:59:59"_qs};
  QWidget* m_body = nullptr;
  TLevelGraph* m_graph = nullptr;
  QLabel* m_waitPanel = nullptr;
  std::vector<QString> m_exportPaths;
  // The "done" of the last ExportCsv, run by the test when it likes.
  ExportDone m_pendingDone;

 private:
  TOutField* AddField(const QString& name, const QRect& geometry, double value) {
    auto* field = new TOutField(m_body);
    field->setObjectName(u"OutField"_qs + name);
    field->setGeometry(geometry);
    field->SetBrushColor(clCream);
    field->SetFont(ElementFont(u"Arial"_qs, 16, clNavy, true));
    field->SetOutFormat(u"###0"_qs);
    field->SetOutValue(value);
    return field;
  }
};

// Runs a poppler tool and returns what it printed; an absent tool fails the
// test with a hint instead of letting it pass unseen.
inline QString RunPdfTool(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForStarted(5000)) {
    ADD_FAILURE() << program.toStdString() << " cannot be started (install poppler-utils)";
    return QString();
  }
  if (!process.waitForFinished(30000)) {
    ADD_FAILURE() << program.toStdString() << " did not finish";
    process.kill();
    process.waitForFinished();
    return QString();
  }
  EXPECT_EQ(process.exitCode(), 0) << program.toStdString() << ": "
                                   << process.readAllStandardError().toStdString();
  return QString::fromUtf8(process.readAllStandardOutput());
}

// The text of a PDF, layout kept, as pdftotext reads it.
inline QString PdfText(const QString& path) {
  return RunPdfTool(u"pdftotext"_qs, {u"-layout"_qs, u"-enc"_qs, u"UTF-8"_qs, path, u"-"_qs});
}

// The first page's size in points as pdfinfo reports it; empty when unknown.
inline QSizeF PdfPageSize(const QString& path) {
  const QString info = RunPdfTool(u"pdfinfo"_qs, {path});
  const QRegularExpressionMatch size =
      QRegularExpression(u"^Page size:\\s*([0-9.]+) x ([0-9.]+) pts"_qs, QRegularExpression::MultilineOption)
          .match(info);
  if (!size.hasMatch()) ADD_FAILURE() << "no page size in:\n" << info.toStdString();
  return size.hasMatch() ? QSizeF(size.captured(1).toDouble(), size.captured(2).toDouble()) : QSizeF();
}

// How many images the PDF holds (pdfimages -list, less its two header lines).
inline int PdfImageCount(const QString& path) {
  const QStringList lines = RunPdfTool(u"pdfimages"_qs, {u"-list"_qs, path}).split(u'\n', Qt::SkipEmptyParts);
  return int(lines.size()) - 2;
}
