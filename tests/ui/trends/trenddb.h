#pragma once

#include <unistd.h>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <atomic>
#include <initializer_list>
#include <memory>
#include <utility>

#include "common/tdatetime.h"
#include "storage/database.h"
#include "storage/databasethread.h"
#include "support/mariadb.h"

// A history database of its own on the private test server: a database
// named after the process and a counter, holding a puf_data table with the
// columns the trend windows read, and a database thread whose connection is
// open on it. The rows are the test's: Insert writes one (columns it does not
// name are NULL). The destructor closes the thread and drops the database.
class TrendDatabase {
 public:
  TrendDatabase() = default;
  TrendDatabase(const TrendDatabase&) = delete;
  TrendDatabase& operator=(const TrendDatabase&) = delete;

  ~TrendDatabase() {
    m_thread.reset();
    if (m_admin.isValid() && m_admin.isOpen() && !m_name.isEmpty()) {
      QSqlQuery(m_admin).exec(QStringLiteral("DROP DATABASE IF EXISTS ") + m_name);
    }
    m_admin = QSqlDatabase();
    if (!m_adminName.isEmpty()) QSqlDatabase::removeDatabase(m_adminName);
  }

  // The columns of the table; "columns" empty: all the windows read.
  static QStringList AllColumns() {
    return {"RVF1",  "RVF2",  "PLF1",  "PLF2",  "RGF1",  "RGF2",  "TRRS1",
            "TRRS2", "ZRRS1", "ZRRS2", "TRRP1", "TRRP2", "ZRRP1", "ZRRP2",
            "TRFL1", "TRFL2", "ZRFL1", "ZRFL2", "URFK1", "URFK2", "URFK12_1"};
  }

  // Creates the database and the table and connects the thread; false with
  // the reason in Error() when something failed.
  // "viaPort" (not 0) connects the thread through that port of 127.0.0.1
  // instead of the server's own, with reads and writes timing out after
  // "timeoutSec".
  bool Open(const QStringList& columns = {}, int viaPort = 0, int timeoutSec = 0) {
    const std::optional<MariaDbServer> server = MariaDbServer::Find();
    if (!server) return Fail(QStringLiteral("no test server: FLOT_MARIADB_DIR/env is missing"));
    static std::atomic<int> counter{0};
    const int n = ++counter;
    m_name = QStringLiteral("trends_%1_%2").arg(getpid()).arg(n);
    m_adminName = QStringLiteral("trenddb-admin-%1").arg(n);
    m_admin = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), m_adminName);
    m_admin.setHostName(server->Host);
    m_admin.setPort(server->Port);
    m_admin.setUserName(server->User);
    m_admin.setPassword(server->Password);
    if (!m_admin.open()) return Fail(m_admin.lastError().text());
    QStringList definitions{QStringLiteral("RecMoment DATETIME NOT NULL PRIMARY KEY")};
    for (const QString& column : columns.isEmpty() ? AllColumns() : columns)
      definitions << column + u" DOUBLE NULL"_qs;
    if (!Exec(QStringLiteral("CREATE DATABASE ") + m_name) || !Exec(QStringLiteral("USE ") + m_name) ||
        !Exec(QStringLiteral("CREATE TABLE puf_data (%1) ENGINE=InnoDB").arg(definitions.join(u", "_qs)))) {
      return false;
    }
    m_thread = std::make_unique<TDatabaseThread>();
    const QString host = viaPort != 0 ? QStringLiteral("127.0.0.1:%1").arg(viaPort) : server->HostWithPort();
    const DatabaseSettings settings{host, server->User, server->Password, 5, false};
    const QString name = m_name;
    m_thread->Post([name, timeoutSec](TSQLConnection& connection) {
      SetConnectionParam(QStringLiteral("Database"), name, connection);
      if (timeoutSec > 0) connection.SetReadWriteTimeoutSec(timeoutSec);
    });
    m_thread->ConnectAsync(settings, {});
    if (!m_thread->WaitIdle(10000) || !m_thread->Connected())
      return Fail(QStringLiteral("the thread did not connect"));
    return true;
  }

  bool Exec(const QString& sql) {
    QSqlQuery query(m_admin);
    if (query.exec(sql)) return true;
    return Fail(sql + u": "_qs + query.lastError().text());
  }

  // One row at "moment"; "values" are column names with their values.
  bool Insert(TDateTime moment, std::initializer_list<std::pair<const char*, double>> values) {
    QStringList names{QStringLiteral("RecMoment")};
    QStringList texts{u"'"_qs + FormatMoment(moment) + u"'"_qs};
    for (const auto& [name, value] : values) {
      names << QString::fromLatin1(name);
      texts << FloatToSqlText(value);
    }
    return Exec(QStringLiteral("INSERT INTO puf_data (%1) VALUES (%2)")
                    .arg(names.join(u", "_qs), texts.join(u", "_qs)));
  }

  static QString FormatMoment(TDateTime moment) {
    return QDateTimeFromDateTime(moment).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
  }

  TDatabaseThread& Thread() { return *m_thread; }
  const QString& Error() const { return m_error; }
  static int ServerPort() {
    const std::optional<MariaDbServer> server = MariaDbServer::Find();
    return server ? server->Port : 0;
  }
  const QString& Name() const { return m_name; }

 private:
  bool Fail(const QString& error) {
    m_error = error;
    return false;
  }

  QString m_name;
  QString m_adminName;
  QSqlDatabase m_admin;
  std::unique_ptr<TDatabaseThread> m_thread;
  QString m_error;
};
