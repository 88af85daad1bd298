#pragma once

#include <QDateTime>
#include <QPageLayout>
#include <QRectF>
#include <QString>

class QPainter;
class QPrinter;
class TPrintableView;

// The page of a printed view: the plant's title and the time of printing on
// the first line, the view's heading below, and the view's body scaled to
// the rest of the page with its proportions kept, drawn as lines and text.
// Everything here runs on the user-interface thread: it paints the view's
// widgets.

// The plant's title as the page shows it: the application's display name
// when one was set, else the console's own name.
QString ReportPlantTitle();

// What a page says besides the view itself. Plain value type.
struct ReportPageInfo {
  QString PlantTitle = ReportPlantTitle();
  QDateTime PrintedAt = QDateTime::currentDateTime();
};

// "Напечатано dd.MM.yyyy в hh:mm:ss".
QString PrintedAtText(const QDateTime& moment);

// A4 landscape with 10 mm margins: the page of PDF files and the print
// window's printer until the operator chooses another.
QPageLayout ReportPageLayout();

// Paints one page into "page" (the printable area, in the painter's
// coordinates). On a printer use PrintReport, which sets the resolution
// this needs. The view's body need not be shown on screen: its layouts are
// brought up to date first; hidden children stay out. The painter's state is
// left as it was.
void PaintReportPage(QPainter& painter, const QRectF& page, const TPrintableView& view,
                     const ReportPageInfo& info);

// Prints (or fills a preview with) one page on "printer" in its current
// layout, at the resolution of QPicture (it sets it); false when the printer
// cannot be painted on and nothing was printed. A PDF printer without a file
// name is the caller's to refuse (see PrinterMissing): a preview paints on
// exactly such a printer.
bool PrintReport(QPrinter& printer, const TPrintableView& view, const ReportPageInfo& info);

// No printer to print on: an invalid one, or the PDF output without a file
// name that Qt offers when none is installed.
bool PrinterMissing(const QPrinter& printer);

// Writes the page as a one-page PDF (ReportPageLayout) to "path", titled with
// the first heading line and created by the plant title. The file is written
// in full or not at all: an existing file is replaced only by a complete
// one. On failure returns false and, when "error" is given, sets it to a
// sentence for the operator ("Не удалось сохранить файл <path>: <reason>.").
bool WritePdf(const QString& path, const TPrintableView& view, const ReportPageInfo& info,
              QString* error = nullptr);
