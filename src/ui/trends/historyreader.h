#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "common/tdatetime.h"
#include "ui/trends/trendrow.h"

class TDatabaseThread;

// Reads the history of an interval for a trend window without ever making
// the window wait: the query "select * from puf_data" + TimeRangeWhere(from,
// to) + " order by RecMoment" runs on the database thread, and the rows come
// back to this object's thread in order, in small batches while they are
// still being fetched (RowsArrived), then Finished once. One read at a time.
//
// A read whose object is destroyed first is abandoned: the database thread
// finishes its query and drops the rows. User-interface thread only.
class THistoryReader : public QObject {
  Q_OBJECT

 public:
  // Rows per batch handed over while fetching.
  static constexpr int kBatchRows = 20;

  // "database" must outlive the reader; nullptr reads nothing (every Start
  // finishes with an error).
  explicit THistoryReader(TDatabaseThread* database, QObject* parent = nullptr);
  ~THistoryReader() override;

  // Starts a read; false (and nothing happens) while one runs.
  bool Start(TDateTime from, TDateTime to);
  bool Running() const { return m_running; }

  // The query text of a read, for logs and tests.
  static QString QueryText(TDateTime from, TDateTime to);

 signals:
  void RowsArrived(const std::vector<TrendRow>& rows);
  // ok false: the query failed (error says why); rows delivered before stay
  // delivered. "warnings" names what the rows lacked (missing columns, values
  // that were not numbers), once per read.
  void Finished(bool ok, int rowCount, const QString& error, const QStringList& warnings);

 private:
  struct Shared;
  void Collect();

  TDatabaseThread* m_database;
  std::shared_ptr<Shared> m_shared;
  bool m_running = false;
  int m_delivered = 0;
};
