#pragma once

#include <QSqlQuery>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <optional>

#include "common/tdatetime.h"
#include "storage/databasethread.h"
#include "support/mariadb.h"

// The history of one day for the trend benchmarks: a database of its own on
// a private MariaDB (one started with scripts/mariadb in a temporary folder,
// or the running one that FLOT_MARIADB_DIR describes), a puf_data table of
// the station's shape (RecMoment, 28 values, 8 mode flags) holding one row a
// minute from 07:00 of Day() to 06:59 of the next day (1440 rows, every value
// present), and the console's database thread connected to it. Made with a
// last day and a number of days, it holds those days instead (one row a
// minute from 07:00 of the first to 06:59 after the last), for the summary.
//
// Open() does all of that and says why it could not; the destructor drops
// the database and stops a server it started. User-interface thread only;
// one instance per process.
class TrendBenchDatabase {
 public:
  static constexpr int kRows = 1440;

  TrendBenchDatabase() : TrendBenchDatabase(Day(), 1) {}
  TrendBenchDatabase(TDateTime lastDay, int days);
  ~TrendBenchDatabase();
  TrendBenchDatabase(const TrendBenchDatabase&) = delete;
  TrendBenchDatabase& operator=(const TrendBenchDatabase&) = delete;

  bool Open(QString& error);

  // The day whose both shifts the rows fill (a past day: nothing polls).
  static TDateTime Day();
  // The interval of both shifts of Day() and the trend query over it.
  TDateTime IntervalStart() const { return m_start; }
  TDateTime IntervalStop() const { return m_stop; }
  QString TrendQuery() const;
  int RowCount() const { return m_days * kRows; }

  TDatabaseThread& Thread() { return *m_thread; }
  const MariaDbServer& Server() const { return *m_server; }
  const QString& DatabaseName() const { return m_name; }
  // A Qt connection of this thread to the database (QMYSQL).
  QString QtConnectionName() const { return m_qtName; }

 private:
  bool StartOwnServer(QString& error);
  bool RunScript(const char* action, QString& error) const;
  bool FillTable(QString& error);
  bool InsertDay(QSqlQuery& query, int day, QString& error);

  std::optional<QTemporaryDir> m_ownServer;
  std::optional<MariaDbServer> m_server;
  QString m_name;
  QString m_qtName;
  int m_days = 1;
  TDateTime m_start = 0;
  TDateTime m_stop = 0;
  std::unique_ptr<TDatabaseThread> m_thread;
};
