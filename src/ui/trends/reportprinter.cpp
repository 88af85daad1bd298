#include "ui/trends/reportprinter.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLayout>
#include <QPageSize>
#include <QPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QPicture>
#include <QPrinter>
#include <QRegion>
#include <QSaveFile>
#include <QWidget>
#include <algorithm>

#include "ui/trends/printableview.h"

namespace {

constexpr double kMarginMm = 10;
// PDF pages are laid out at this resolution; text and lines stay vectors, so
// it only fixes how finely positions are rounded.
constexpr int kPdfResolution = 300;

constexpr double kTitlePoints = 10;
constexpr double kPrintedAtPoints = 9;
constexpr double kFirstHeadingPoints = 14;
constexpr double kHeadingPoints = 10;
const QString kFontFamily = u"Arial"_qs;

// A view that was never shown (or sits behind another) has pending layouts
// and resize events: its children still have their initial sizes, and
// PrintArea would describe that stale geometry. Layouts are activated from
// the top-level window down, each widget's after its parent's, the way a
// show would.
void LayOutForRendering(QWidget& body) {
  if (body.isVisible()) return;
  QWidget* window = body.window();
  window->ensurePolished();
  std::vector<QWidget*> chain;
  for (QWidget* w = &body; w != nullptr; w = w->isWindow() ? nullptr : w->parentWidget()) chain.push_back(w);
  std::reverse(chain.begin(), chain.end());
  auto activate = [](QWidget* w) {
    w->ensurePolished();
    if (QLayout* layout = w->layout()) layout->activate();
  };
  for (QWidget* w : chain) activate(w);
  for (QWidget* child : body.findChildren<QWidget*>()) activate(child);
}

// Draws "text" in one line of "area" with "flags", elided at the right when
// the line is too narrow; returns the height of a line of "font".
double DrawLine(QPainter& painter, const QRectF& area, const QFont& font, const QString& text, int flags) {
  painter.setFont(font);
  const QFontMetricsF metrics(painter.font(), painter.device());
  painter.drawText(area, flags | Qt::AlignTop | Qt::TextSingleLine,
                   metrics.elidedText(text, Qt::ElideRight, area.width()));
  return metrics.height();
}

// The body as lines and text. On a printer (and its preview) QWidget::render
// would paint the widget into one bitmap of the page's resolution and print
// that; recorded into a picture first, it stays vectors. The picture is
// replayed at its own resolution (see PrintReport), else its fonts would be
// scaled twice.
void DrawBody(QPainter& painter, QWidget& body, const QRect& area) {
  const QWidget::RenderFlags flags = QWidget::DrawWindowBackground | QWidget::DrawChildren;
  // Controls (a graph's zoom button, the date picker and the shift box of a
  // window printed whole) are not part of the page: the heading says the day
  // and the shift, and the style draws controls from bitmaps besides.
  QRegion region(area);
  for (const QWidget* child : body.findChildren<QWidget*>()) {
    const bool control = qobject_cast<const QAbstractButton*>(child) != nullptr ||
                         qobject_cast<const QAbstractSpinBox*>(child) != nullptr ||
                         qobject_cast<const QComboBox*>(child) != nullptr;
    if (control && child->isVisibleTo(&body))
      region -= QRect(child->mapTo(&body, QPoint(0, 0)), child->size());
  }
  if (painter.device() != nullptr && painter.device()->devType() == QInternal::Printer) {
    QPicture picture;
    {
      QPainter recorder(&picture);
      body.render(&recorder, QPoint(), region, flags);
    }
    painter.drawPicture(QPointF(0, 0), picture);
    return;
  }
  body.render(&painter, QPoint(), region, flags);
}

QFont PageFont(double points, bool bold = false) {
  QFont font(kFontFamily);
  font.setPointSizeF(points);
  font.setBold(bold);
  return font;
}

QString SaveError(const QString& path, const QString& reason) {
  return u"Не удалось сохранить файл %1: %2."_qs.arg(QDir::toNativeSeparators(path), reason);
}

}  // namespace

QString ReportPlantTitle() {
  // Unset, the display name is the application's name, i.e. the executable's:
  // no title for paper.
  const QString name = QGuiApplication::applicationDisplayName();
  if (name.isEmpty() || name == QCoreApplication::applicationName()) return u"Пульт управления флотацией"_qs;
  return name;
}

QString PrintedAtText(const QDateTime& moment) {
  return u"Напечатано %1 в %2"_qs.arg(moment.toString(u"dd.MM.yyyy"_qs), moment.toString(u"hh:mm:ss"_qs));
}

QPageLayout ReportPageLayout() {
  return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                     QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter);
}

void PaintReportPage(QPainter& painter, const QRectF& page, const TPrintableView& view,
                     const ReportPageInfo& info) {
  painter.save();
  const QPaintDevice* device = painter.device();
  const double mm = (device != nullptr ? device->logicalDpiY() : 96) / 25.4;
  painter.setPen(Qt::black);
  double y = page.top();

  // The title line: the plant at the left, the time of printing at the right.
  const QFont printedAtFont = PageFont(kPrintedAtPoints);
  const QString printedAt = PrintedAtText(info.PrintedAt);
  painter.setFont(printedAtFont);
  const double printedAtWidth = QFontMetricsF(painter.font(), device).horizontalAdvance(printedAt);
  painter.setPen(Qt::darkGray);
  DrawLine(painter, QRectF(page.left(), y, page.width(), page.height()), printedAtFont, printedAt,
           Qt::AlignRight);
  painter.setPen(Qt::black);
  const double titleWidth = std::max(0.0, page.width() - printedAtWidth - 5 * mm);
  y += DrawLine(painter, QRectF(page.left(), y, titleWidth, page.height()), PageFont(kTitlePoints),
                info.PlantTitle, Qt::AlignLeft);
  y += 1 * mm;
  painter.setPen(QPen(Qt::darkGray, 0.3 * mm));
  painter.drawLine(QPointF(page.left(), y), QPointF(page.right(), y));
  painter.setPen(Qt::black);
  y += 2 * mm;

  const QStringList heading = view.PrintHeading();
  for (qsizetype i = 0; i < heading.size(); ++i) {
    const QFont font = i == 0 ? PageFont(kFirstHeadingPoints, true) : PageFont(kHeadingPoints);
    y += DrawLine(painter, QRectF(page.left(), y, page.width(), page.bottom() - y), font, heading[i],
                  Qt::AlignLeft);
    if (i == 0) y += 1 * mm;
  }
  y += 4 * mm;

  QWidget* body = view.PrintBody();
  if (body != nullptr) {
    LayOutForRendering(*body);
    const QRect area = view.PrintArea().intersected(body->rect());
    const QRectF room(page.left(), y, page.width(), page.bottom() - y);
    if (!area.isEmpty() && room.width() > 0 && room.height() > 0) {
      const double scale = std::min(room.width() / area.width(), room.height() / area.height());
      const QSizeF drawn = QSizeF(area.size()) * scale;
      const QPointF origin(room.left() + (room.width() - drawn.width()) / 2,
                           room.top() + (room.height() - drawn.height()) / 2);
      painter.save();
      painter.translate(origin);
      painter.scale(scale, scale);
      DrawBody(painter, *body, area);
      painter.restore();
    }
  }
  painter.restore();
}

bool PrintReport(QPrinter& printer, const TPrintableView& view, const ReportPageInfo& info) {
  // A PDF printer without a file name (what Qt offers when no printer is
  // installed) is no printer for PrintWindow's "Печать"; a preview paints
  // on that very printer through its own engine, so it is not refused here.
  if (!printer.isValid()) return false;
  // Coordinates on paper are reals whatever the resolution; at the one of
  // pictures the body's picture keeps its font sizes (see DrawBody).
  printer.setResolution(QPicture().logicalDpiX());
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  // Without full-page mode the painter's origin is the printable area's corner.
  const QRectF page(QPointF(0, 0), printer.pageRect(QPrinter::DevicePixel).size());
  PaintReportPage(painter, page, view, info);
  return painter.end();
}

bool PrinterMissing(const QPrinter& printer) {
  return !printer.isValid() ||
         (printer.outputFormat() == QPrinter::PdfFormat && printer.outputFileName().isEmpty());
}

bool WritePdf(const QString& path, const TPrintableView& view, const ReportPageInfo& info, QString* error) {
  auto fail = [&](const QString& reason) {
    if (error != nullptr) *error = SaveError(path, reason);
    return false;
  };
  if (view.PrintBody() == nullptr) return fail(u"в окне нечего печатать"_qs);
  const QFileInfo target(path);
  if (!target.absoluteDir().exists())
    return fail(u"папка %1 не существует"_qs.arg(QDir::toNativeSeparators(target.absolutePath())));
  if (target.isDir()) return fail(u"это имя папки"_qs);

  // The document is made in memory and written in one piece, every byte
  // counted: a write cut short (a full disk, a file size limit) leaves the
  // temporary file short without any error that QSaveFile would remember,
  // and commit would then put a truncated PDF in place of a good file.
  QByteArray document;
  {
    QBuffer buffer(&document);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageLayout(ReportPageLayout());
    writer.setResolution(kPdfResolution);
    const QStringList heading = view.PrintHeading();
    writer.setTitle(heading.isEmpty() ? info.PlantTitle : heading.first());
    writer.setCreator(info.PlantTitle);
    QPainter painter;
    if (!painter.begin(&writer)) return fail(u"не удалось начать запись PDF"_qs);
    const QRectF page(QPointF(0, 0), writer.pageLayout().paintRectPixels(writer.resolution()).size());
    PaintReportPage(painter, page, view, info);
    // end() writes the rest of the document.
    if (!painter.end()) return fail(u"не удалось закончить запись PDF"_qs);
  }

  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return fail(u"нет доступа на запись (%1)"_qs.arg(file.errorString()));
  if (file.write(document) != document.size() || !file.flush()) {
    const QString reason = file.errorString();
    file.cancelWriting();
    return fail(u"ошибка записи, возможно, диск заполнен (%1)"_qs.arg(reason));
  }
  if (!file.commit()) return fail(u"ошибка записи, возможно, диск заполнен (%1)"_qs.arg(file.errorString()));
  return true;
}
