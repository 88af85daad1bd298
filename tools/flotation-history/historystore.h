#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantList>
#include <cstdint>
#include <optional>

#include "stationdatabase.h"

// Writes generated minute records into puf_data exactly as flotation-station stores the ones
// it collects: the station creates the database and its tables, each record text is parsed by
// the station's own parser and lands in the same columns with the same upsert on RecMoment.
// Only the pace differs: many rows go in one statement and a whole fill in one transaction, so
// a month takes seconds, and a fill that fails or is interrupted leaves the table as it was.
//
// One thread: the one that calls Open uses the object until it is destroyed.
class HistoryStore {
 public:
  static constexpr int kRowsPerStatement = 500;

  explicit HistoryStore(StationDatabaseSettings settings);
  ~HistoryStore();
  HistoryStore(const HistoryStore&) = delete;
  HistoryStore& operator=(const HistoryStore&) = delete;

  // Connects (creating the database and the tables when they are missing) and begins the
  // transaction of the fill.
  bool Open(QString& error);
  // Whether puf_data holds any row, as the fill's transaction sees it.
  std::optional<bool> HasRows(QString& error);
  // Parses one record text ("RecMoment='...',PLF1=...") and queues it; a full batch is sent.
  bool Add(const QByteArray& recordText, QString& error);
  // Sends what is queued and commits. Nothing is stored before this succeeds.
  bool Commit(QString& error);
  // Rows sent so far (committed once Commit succeeded).
  int64_t RowCount() const { return m_rowCount; }

 private:
  bool Flush(QString& error);
  void Close();

  StationDatabaseSettings m_settings;
  QString m_connectionName;
  bool m_open = false;
  QVariantList m_pending;  // bind values of the queued rows, row after row
  int m_pendingRows = 0;
  int64_t m_rowCount = 0;
};
