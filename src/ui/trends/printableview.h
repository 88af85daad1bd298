#pragma once

#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>

// A view that the print window can print, preview, save as PDF and export
// as CSV: the summary table and the trend windows. A view implements it
// beside QWidget; the print window finds it with dynamic_cast on the main
// window's active view. User-interface thread only.
class TPrintableView {
 public:
  virtual ~TPrintableView() = default;

  // What the page says above the picture, one line each: the view's title
  // first, then the day and the shift hours it shows ("За 10.12.2026",
  // "Смена 1: 07:00:00 – 18:59:59" ...). The print code adds the plant's
  // title and the time of printing itself.
  virtual QStringList PrintHeading() const = 0;

  // The widget whose picture is the page's body, drawn as lines and text,
  // scaled to the room below the heading with its proportions kept. A child
  // of the view (the table, the graphs' panel), not the top panel with the
  // date picker.
  virtual QWidget* PrintBody() const = 0;
  // The part of PrintBody to draw, in its coordinates; the whole of it by
  // default.
  virtual QRect PrintArea() const { return PrintBody()->rect(); }

  // A file name without folder and extension for the save dialogs, e.g.
  // "svod-2026-12-10".
  virtual QString ExportFileStem() const = 0;

  // Writes the view's figures to "path" as CSV (UTF-8, a header line, the
  // decimal point, ISO times; see doc/files.md). Finishes later when data
  // must be read first: "done" runs exactly once on the user-interface
  // thread, with ok false and a sentence for the operator when nothing was
  // written. A failed export leaves no file behind; an existing file at
  // "path" is replaced only by a complete one.
  using ExportDone = std::function<void(bool ok, const QString& error)>;
  virtual void ExportCsv(const QString& path, ExportDone done) = 0;
};
