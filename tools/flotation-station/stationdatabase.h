#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <optional>

#include "minuterecord.h"

struct StationDatabaseSettings {
  QString Host = QStringLiteral("127.0.0.1");
  int Port = 3306;
  QString User;
  QString Password;
  QString Database = QStringLiteral("dravo");
  // Seconds the client waits for a connection and for each answer of the server. A dead server
  // must fail an exchange, not hang the station.
  int TimeoutSeconds = 10;
};

// The station's MySQL/MariaDB storage: creates the database and its three tables when they are
// missing and stores what the console hands over, each item in a transaction of its own. Every
// Store* returns true only after COMMIT succeeded; that is what allows the console to forget the
// item. After a failure the connection is closed and the next Open starts afresh (a restarted
// server drops the old session). Values reach the server only as bound parameters of prepared
// statements. One thread: the one that calls Open uses the object until it is destroyed.
class StationDatabase {
 public:
  explicit StationDatabase(StationDatabaseSettings settings);
  ~StationDatabase();
  StationDatabase(const StationDatabase&) = delete;
  StationDatabase& operator=(const StationDatabase&) = delete;

  bool Open(QString& error);
  void Close();
  bool IsOpen() const { return m_open; }

  // Upsert into puf_data keyed on RecMoment: a minute stored again replaces its values.
  bool StoreMinute(const MinuteRecord& record, QString& error);
  // A record text that could not be parsed, kept in puf_rejected (once per distinct text).
  bool StoreRejected(const QString& text, QString& error);
  // Into puf_log; a line stored before (same time, tick and text) is not stored again.
  bool StoreLogLine(const LogLine& line, QString& error);

  // True for a name that may stand in SQL text as a database identifier.
  static bool IsValidDatabaseName(const QString& name);

 private:
  // Connects, creates what is missing and prepares the statements; leaves closing to Open.
  bool Connect(QString& error);
  bool Execute(QSqlQuery& query, const QString& what, QString& error);
  bool RunInTransaction(QSqlQuery& query, const QString& what, QString& error);
  bool CreateMissingTables(QString& error);
  // Closes the connection and puts the server's address in front of `reason`.
  bool Fail(QString& error, const QString& reason);

  StationDatabaseSettings m_settings;
  QString m_connectionName;
  bool m_open = false;
  std::optional<QSqlQuery> m_storeMinute;
  std::optional<QSqlQuery> m_storeRejected;
  std::optional<QSqlQuery> m_storeLogLine;
};
