#include "historystore.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <atomic>

#include "minuterecord.h"

namespace {

std::atomic<int> g_connectionNumber{0};

QStringList ColumnNames() {
  QStringList names{QStringLiteral("RecMoment")};
  for (const QByteArray& name : RecordValueNames()) names << QString::fromLatin1(name);
  for (const QByteArray& name : RecordFlagNames()) names << QString::fromLatin1(name);
  return names;
}

// The station's upsert, for `rows` rows at once: a minute already in the table takes the new
// values.
QString UpsertSql(int rows) {
  const QStringList names = ColumnNames();
  QStringList updates;
  for (qsizetype i = 1; i < names.size(); ++i) updates << QStringLiteral("%1=VALUES(%1)").arg(names[i]);
  const QString row = u'(' + QStringList(names.size(), QStringLiteral("?")).join(u',') + u')';
  return QStringLiteral("INSERT INTO puf_data (%1) VALUES %2 ON DUPLICATE KEY UPDATE %3")
      .arg(names.join(u','), QStringList(rows, row).join(u','), updates.join(u','));
}

QString SqlError(const QString& what, const QSqlError& error) {
  return QStringLiteral("%1: %2").arg(what, error.text());
}

}  // namespace

HistoryStore::HistoryStore(StationDatabaseSettings settings)
    : m_settings(std::move(settings)),
      m_connectionName(QStringLiteral("flotation-history-%1").arg(g_connectionNumber.fetch_add(1))) {}

HistoryStore::~HistoryStore() {
  Close();
}

void HistoryStore::Close() {
  m_open = false;
  if (!QSqlDatabase::contains(m_connectionName)) return;
  {
    QSqlDatabase database = QSqlDatabase::database(m_connectionName, false);
    // An open transaction ends with the session: what was not committed is gone.
    database.close();
  }
  QSqlDatabase::removeDatabase(m_connectionName);
}

bool HistoryStore::Open(QString& error) {
  Close();
  {
    // The station's own table creation, so that the table is the one it fills.
    StationDatabase station(m_settings);
    if (!station.Open(error)) return false;
  }
  QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), m_connectionName);
  database.setHostName(m_settings.Host);
  database.setPort(m_settings.Port);
  database.setUserName(m_settings.User);
  database.setPassword(m_settings.Password);
  database.setDatabaseName(m_settings.Database);
  database.setConnectOptions(QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=%1;MYSQL_OPT_READ_TIMEOUT=%1;"
                                            "MYSQL_OPT_WRITE_TIMEOUT=%1")
                                 .arg(m_settings.TimeoutSeconds));
  if (!database.open()) {
    error = SqlError(QStringLiteral("cannot connect"), database.lastError());
    return false;
  }
  if (!database.transaction()) {
    error = SqlError(QStringLiteral("cannot begin"), database.lastError());
    return false;
  }
  m_open = true;
  m_pending.clear();
  m_pendingRows = 0;
  m_rowCount = 0;
  return true;
}

std::optional<bool> HistoryStore::HasRows(QString& error) {
  if (!m_open) {
    error = QStringLiteral("not connected");
    return std::nullopt;
  }
  QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
  if (!query.exec(QStringLiteral("SELECT 1 FROM puf_data LIMIT 1"))) {
    error = SqlError(QStringLiteral("looking into puf_data"), query.lastError());
    return std::nullopt;
  }
  return query.next();
}

bool HistoryStore::Add(const QByteArray& recordText, QString& error) {
  MinuteRecord record;
  if (!ParseMinuteRecord(recordText, record, error)) {
    error = QStringLiteral("a generated record does not parse (%1): %2")
                .arg(error, QString::fromLatin1(recordText.left(60)));
    return false;
  }
  m_pending << QString::fromLatin1(record.RecMoment);
  for (const std::optional<double>& value : record.Values)
    m_pending << (value ? QVariant(*value) : QVariant(QMetaType::fromType<double>()));
  for (const uint8_t flag : record.Flags) m_pending << int(flag);
  if (++m_pendingRows == kRowsPerStatement) return Flush(error);
  return true;
}

bool HistoryStore::Flush(QString& error) {
  if (m_pendingRows == 0) return true;
  if (!m_open) {
    error = QStringLiteral("not connected");
    return false;
  }
  QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
  if (!query.prepare(UpsertSql(m_pendingRows))) {
    error = SqlError(QStringLiteral("cannot prepare the upsert"), query.lastError());
    return false;
  }
  for (const QVariant& value : std::as_const(m_pending)) query.addBindValue(value);
  if (!query.exec()) {
    error = SqlError(QStringLiteral("storing %1 minutes").arg(m_pendingRows), query.lastError());
    Close();
    return false;
  }
  m_rowCount += m_pendingRows;
  m_pending.clear();
  m_pendingRows = 0;
  return true;
}

bool HistoryStore::Commit(QString& error) {
  if (!Flush(error)) return false;
  QSqlDatabase database = QSqlDatabase::database(m_connectionName, false);
  if (!database.commit()) {
    error = SqlError(QStringLiteral("COMMIT failed"), database.lastError());
    database.rollback();
    return false;
  }
  return true;
}
