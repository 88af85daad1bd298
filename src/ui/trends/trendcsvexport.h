#pragma once

#include <QObject>
#include <QSaveFile>
#include <QString>
#include <memory>
#include <vector>

#include "common/tdatetime.h"
#include "ui/trends/printableview.h"
#include "ui/trends/trendrow.h"
#include "ui/trends/trendwindow.h"

class THistoryReader;

// Writes the minute records of an interval to a CSV file for a spreadsheet:
// "RecMoment" in ISO local time and the given columns, one line a minute,
// oldest first, the decimal point, an empty field for a value the row lacks.
// The rows come from the history database when it is connected (read on the
// database thread, written while they arrive), from the in-memory minute
// records otherwise. The file is written through QSaveFile: a failed or
// abandoned export leaves nothing behind and keeps an older file.
//
// The export owns itself: it is a child of "owner", deletes itself when it
// has ended, and "done" runs exactly once, also when the owner is destroyed
// first (with ok false). User-interface thread only.
class TTrendCsvExport : public QObject {
  Q_OBJECT

 public:
  static void Start(const TrendSource& source, TDateTime from, TDateTime to, std::vector<TrendColumn> columns,
                    const QString& path, TPrintableView::ExportDone done, QObject* owner);
  ~TTrendCsvExport() override;

  // The header line without its line end.
  static QString HeaderLine(const std::vector<TrendColumn>& columns);
  // One row's line without its line end.
  static QString RowLine(const TrendRow& row, const std::vector<TrendColumn>& columns);

 private:
  TTrendCsvExport(std::vector<TrendColumn> columns, const QString& path, TPrintableView::ExportDone done,
                  QObject* owner);
  bool Open();
  void Write(const std::vector<TrendRow>& rows);
  void Finish(bool ok, const QString& error);

  std::vector<TrendColumn> m_columns;
  QString m_path;
  TPrintableView::ExportDone m_done;
  QSaveFile m_file;
  THistoryReader* m_reader = nullptr;
  bool m_writeFailed = false;
};
