#include "stationdatabase.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QSqlError>
#include <QStringList>
#include <atomic>

namespace {

std::atomic<int> g_connectionNumber{0};

// InnoDB keeps a table's rows in primary-key order. With RecMoment as the primary key the
// minutes of one month lie side by side, so a month's SUM or a day's trend reads only those
// rows. DOUBLE, not FLOAT: the console widens its single-precision values and writes 15
// digits; a DOUBLE keeps every one of them, so what is read back equals what was sent.
QString PufDataDdl(const QString& table) {
  QStringList columns{QStringLiteral("RecMoment DATETIME NOT NULL PRIMARY KEY")};
  for (const QByteArray& name : RecordValueNames())
    columns << QString::fromLatin1(name) + QStringLiteral(" DOUBLE NULL");
  for (const QByteArray& name : RecordFlagNames())
    columns << QString::fromLatin1(name) + QStringLiteral(" TINYINT UNSIGNED NOT NULL");
  return QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4")
      .arg(table, columns.join(u", "));
}

// RecHash makes a record that is offered again and again (one whose time cannot be
// acknowledged) a single row.
const QString kPufRejectedDdl = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS puf_rejected ("
    " id BIGINT NOT NULL AUTO_INCREMENT PRIMARY KEY,"
    " ReceivedAt DATETIME NOT NULL,"
    " RecText MEDIUMTEXT NOT NULL,"
    " RecHash BINARY(32) NOT NULL,"
    " UNIQUE KEY RecHash (RecHash)"
    ") ENGINE=InnoDB DEFAULT CHARSET=utf8mb4");

// A line whose DeleteLogRec was lost is collected again; the unique key on its time, tick and
// the start of its text keeps it one row. The binary collation compares the text exactly.
const QString kPufLogDdl = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS puf_log ("
    " Id BIGINT NOT NULL AUTO_INCREMENT PRIMARY KEY,"
    " Tick INT NOT NULL,"
    " LogMoment DATETIME NOT NULL,"
    " Message TEXT CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL,"
    " ReceivedAt DATETIME NOT NULL,"
    " UNIQUE KEY LogLine (LogMoment, Tick, Message(255))"
    ") ENGINE=InnoDB DEFAULT CHARSET=utf8mb4");

QString StoreMinuteSql() {
  QStringList names{QStringLiteral("RecMoment")};
  for (const QByteArray& name : RecordValueNames()) names << QString::fromLatin1(name);
  for (const QByteArray& name : RecordFlagNames()) names << QString::fromLatin1(name);
  QStringList updates;
  for (qsizetype i = 1; i < names.size(); ++i) updates << QStringLiteral("%1=VALUES(%1)").arg(names[i]);
  const QString placeholders = QStringList(names.size(), QStringLiteral("?")).join(u',');
  return QStringLiteral("INSERT INTO puf_data (%1) VALUES (%2) ON DUPLICATE KEY UPDATE %3")
      .arg(names.join(u','), placeholders, updates.join(u','));
}

}  // namespace

StationDatabase::StationDatabase(StationDatabaseSettings settings)
    : m_settings(std::move(settings)),
      m_connectionName(QStringLiteral("flotation-station-%1").arg(g_connectionNumber.fetch_add(1))) {}

StationDatabase::~StationDatabase() {
  Close();
}

bool StationDatabase::IsValidDatabaseName(const QString& name) {
  static const QRegularExpression kName(QStringLiteral("^[A-Za-z0-9_]{1,64}$"));
  return kName.match(name).hasMatch();
}

void StationDatabase::Close() {
  m_storeMinute.reset();
  m_storeRejected.reset();
  m_storeLogLine.reset();
  m_open = false;
  if (QSqlDatabase::contains(m_connectionName)) {
    {
      QSqlDatabase database = QSqlDatabase::database(m_connectionName, false);
      database.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
  }
}

bool StationDatabase::Fail(QString& error, const QString& reason) {
  error = QStringLiteral("database %1:%2/%3: %4")
              .arg(m_settings.Host)
              .arg(m_settings.Port)
              .arg(m_settings.Database, reason);
  Close();
  return false;
}

bool StationDatabase::Execute(QSqlQuery& query, const QString& what, QString& error) {
  if (query.exec()) return true;
  error = QStringLiteral("%1: %2").arg(what, query.lastError().text());
  return false;
}

bool StationDatabase::Open(QString& error) {
  if (m_open) return true;
  Close();
  if (Connect(error)) {
    m_open = true;
    return true;
  }
  // Only now that no handle of the connection is left can it be removed.
  return Fail(error, error);
}

bool StationDatabase::Connect(QString& error) {
  if (!IsValidDatabaseName(m_settings.Database)) {
    error = QStringLiteral("the database name may hold letters, digits and _ only");
    return false;
  }

  QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), m_connectionName);
  if (!database.isValid()) {
    error = QStringLiteral("the Qt MySQL driver (QMYSQL) is not available");
    return false;
  }
  database.setHostName(m_settings.Host);
  database.setPort(m_settings.Port);
  database.setUserName(m_settings.User);
  database.setPassword(m_settings.Password);
  database.setConnectOptions(QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=%1;MYSQL_OPT_READ_TIMEOUT=%1;"
                                            "MYSQL_OPT_WRITE_TIMEOUT=%1")
                                 .arg(m_settings.TimeoutSeconds));
  // Connected without a default database first: it may not exist yet.
  if (!database.open()) {
    error = QStringLiteral("cannot connect: %1").arg(database.lastError().text());
    return false;
  }

  QSqlQuery query(database);
  query.prepare(QStringLiteral("SELECT COUNT(*) FROM information_schema.SCHEMATA WHERE SCHEMA_NAME = ?"));
  query.addBindValue(m_settings.Database);
  if (!Execute(query, QStringLiteral("looking for the database"), error)) return false;
  query.next();
  if (query.value(0).toInt() == 0) {
    if (!query.exec(QStringLiteral("CREATE DATABASE IF NOT EXISTS %1 CHARACTER SET utf8mb4")
                        .arg(m_settings.Database))) {
      error = QStringLiteral("cannot create the database: %1").arg(query.lastError().text());
      return false;
    }
  }
  if (!query.exec(QStringLiteral("USE %1").arg(m_settings.Database))) {
    error = QStringLiteral("cannot use the database: %1").arg(query.lastError().text());
    return false;
  }
  if (!CreateMissingTables(error)) return false;

  // Prepared once per session: the server checks them now (an account without INSERT fails
  // here) and each store only sends its values.
  const std::pair<std::optional<QSqlQuery>*, QString> statements[] = {
      {&m_storeMinute, StoreMinuteSql()},
      {&m_storeRejected,
       QStringLiteral("INSERT INTO puf_rejected (ReceivedAt, RecText, RecHash) VALUES (NOW(), ?, ?)"
                      " ON DUPLICATE KEY UPDATE id = id")},
      {&m_storeLogLine, QStringLiteral("INSERT INTO puf_log (Tick, LogMoment, Message, ReceivedAt)"
                                       " VALUES (?, ?, ?, NOW()) ON DUPLICATE KEY UPDATE Id = Id")},
  };
  for (const auto& [statement, sql] : statements) {
    statement->emplace(database);
    if (!(*statement)->prepare(sql)) {
      error =
          QStringLiteral("cannot prepare \"%1...\": %2").arg(sql.left(30), (*statement)->lastError().text());
      return false;
    }
  }
  return true;
}

bool StationDatabase::CreateMissingTables(QString& error) {
  // Looked up first, so that an account without CREATE can still store into tables made by
  // another one.
  QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
  query.prepare(QStringLiteral("SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA = ?"));
  query.addBindValue(m_settings.Database);
  if (!Execute(query, QStringLiteral("looking for the tables"), error)) return false;
  QStringList existing;
  while (query.next()) existing << query.value(0).toString().toLower();

  const std::pair<QString, QString> tables[] = {
      {QStringLiteral("puf_data"), PufDataDdl(QStringLiteral("puf_data"))},
      {QStringLiteral("puf_rejected"), kPufRejectedDdl},
      {QStringLiteral("puf_log"), kPufLogDdl}};
  for (const auto& [name, ddl] : tables) {
    if (existing.contains(name)) continue;
    if (!query.exec(ddl)) {
      error = QStringLiteral("cannot create %1: %2").arg(name, query.lastError().text());
      return false;
    }
  }
  return true;
}

bool StationDatabase::RunInTransaction(QSqlQuery& query, const QString& what, QString& error) {
  QSqlDatabase database = QSqlDatabase::database(m_connectionName, false);
  if (!database.transaction()) {
    error = QStringLiteral("cannot begin: %1").arg(database.lastError().text());
    return false;
  }
  if (!Execute(query, what, error)) {
    database.rollback();
    return false;
  }
  if (!database.commit()) {
    error = QStringLiteral("COMMIT failed: %1").arg(database.lastError().text());
    database.rollback();
    return false;
  }
  return true;
}

bool StationDatabase::StoreMinute(const MinuteRecord& record, QString& error) {
  if (!Open(error)) return false;
  QSqlQuery& query = *m_storeMinute;
  query.addBindValue(QString::fromLatin1(record.RecMoment));
  for (const std::optional<double>& value : record.Values)
    query.addBindValue(value ? QVariant(*value) : QVariant(QMetaType::fromType<double>()));
  for (const uint8_t flag : record.Flags) query.addBindValue(int(flag));
  if (RunInTransaction(query, QStringLiteral("storing minute %1").arg(QString::fromLatin1(record.RecMoment)),
                       error))
    return true;
  return Fail(error, error);
}

bool StationDatabase::StoreRejected(const QString& text, QString& error) {
  if (!Open(error)) return false;
  QSqlQuery& query = *m_storeRejected;
  query.addBindValue(text);
  query.addBindValue(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256));
  if (RunInTransaction(query, QStringLiteral("storing a rejected record"), error)) return true;
  return Fail(error, error);
}

bool StationDatabase::StoreLogLine(const LogLine& line, QString& error) {
  if (!Open(error)) return false;
  QSqlQuery& query = *m_storeLogLine;
  query.addBindValue(line.Tick);
  query.addBindValue(QString::fromLatin1(line.Moment));
  query.addBindValue(line.Message);
  if (RunInTransaction(query, QStringLiteral("storing log line %1").arg(QString::fromLatin1(line.TickText)),
                       error))
    return true;
  return Fail(error, error);
}
