#include "trendbenchdatabase.h"

#include <unistd.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "common/formatfloat.h"
#include "storage/database.h"
#include "ui/common/shift.h"

namespace {

// The columns of the station's puf_data, section 1 then section 2.
constexpr const char* kValueNames[] = {"PLF", "RVF",  "URFK", "URFK12_", "OARS", "OARP", "OAFL",
                                       "RGF", "TRRS", "TRRP", "TRFL",    "ZRRS", "ZRRP", "ZRFL"};
constexpr const char* kFlagNames[] = {"F1AR", "F2AR", "F1RR", "F2RR", "F1AFL", "F2AFL", "F1RFL", "F2RFL"};
// A typical level of each quantity, so that the plotted lines lie inside the
// windows' design limits.
constexpr double kTypical[] = {200, 500, 60, 55, 1, 1, 1, 80, 600, 30, 200, 3000, 200, 150};

QStringList ValueColumns() {
  QStringList names;
  for (const char section : {'1', '2'})
    for (const char* base : kValueNames) names << QString::fromLatin1(base) + QChar::fromLatin1(section);
  return names;
}

constexpr int kConnectTimeoutMs = 10000;

}  // namespace

TrendBenchDatabase::TrendBenchDatabase(TDateTime lastDay, int days)
    : m_name(QStringLiteral("flot_trends_bench_%1").arg(getpid())),
      m_qtName(QStringLiteral("trend-bench-%1").arg(getpid())),
      m_days(std::max(days, 1)) {
  TDateTime unused = 0;
  ShiftRange(lastDay - (m_days - 1), 3, m_start, unused);
  ShiftRange(lastDay, 3, unused, m_stop);
}

TrendBenchDatabase::~TrendBenchDatabase() {
  m_thread.reset();
  if (QSqlDatabase::contains(m_qtName)) {
    {
      QSqlDatabase database = QSqlDatabase::database(m_qtName);
      QSqlQuery(database).exec(QStringLiteral("DROP DATABASE IF EXISTS ") + m_name);
      database.close();
    }
    QSqlDatabase::removeDatabase(m_qtName);
  }
  QString error;
  if (m_ownServer && !RunScript("stop", error)) std::fprintf(stderr, "%s\n", qPrintable(error));
}

TDateTime TrendBenchDatabase::Day() {
  return EncodeDateTime(2026, 3, 5);
}

QString TrendBenchDatabase::TrendQuery() const {
  return QStringLiteral("select * from puf_data") + TimeRangeWhere(m_start, m_stop) +
         QStringLiteral(" order by RecMoment");
}

bool TrendBenchDatabase::RunScript(const char* action, QString& error) const {
  QProcess script;
  script.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  script.setStandardOutputFile(QProcess::nullDevice());
  script.start(QStringLiteral(FLOT_MARIADB_SCRIPT), {QString::fromLatin1(action), m_ownServer->path()});
  if (script.waitForFinished(180000) && script.exitStatus() == QProcess::NormalExit && script.exitCode() == 0)
    return true;
  error =
      QStringLiteral("%1 %2 failed").arg(QStringLiteral(FLOT_MARIADB_SCRIPT), QString::fromLatin1(action));
  return false;
}

bool TrendBenchDatabase::StartOwnServer(QString& error) {
  m_ownServer.emplace();
  if (!m_ownServer->isValid()) {
    error = QStringLiteral("no temporary folder for the server");
    return false;
  }
  if (!RunScript("start", error)) return false;
  qputenv("FLOT_MARIADB_DIR", m_ownServer->path().toLocal8Bit());
  return true;
}

bool TrendBenchDatabase::Open(QString& error) {
  if (qEnvironmentVariableIsEmpty("FLOT_MARIADB_DIR") && !StartOwnServer(error)) return false;
  m_server = MariaDbServer::Find();
  if (!m_server) {
    error = QStringLiteral("no server described in FLOT_MARIADB_DIR/env");
    return false;
  }
  if (!FillTable(error)) return false;

  m_thread = std::make_unique<TDatabaseThread>();
  m_thread->Post([name = m_name](TSQLConnection& connection) {
    SetConnectionParam(QStringLiteral("Database"), name, connection);
  });
  DatabaseSettings settings;
  settings.Host = m_server->HostWithPort();
  settings.Login = m_server->User;
  settings.Password = m_server->Password;
  m_thread->ConnectAsync(settings,
                         [](const QString& line) { std::fprintf(stderr, "%s\n", qPrintable(line)); });
  if (!m_thread->WaitIdle(kConnectTimeoutMs) || !m_thread->Connected()) {
    error = QStringLiteral("the database thread cannot connect to %1").arg(settings.Host);
    return false;
  }
  return true;
}

bool TrendBenchDatabase::FillTable(QString& error) {
  QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), m_qtName);
  database.setHostName(m_server->Host);
  database.setPort(m_server->Port);
  database.setUserName(m_server->User);
  database.setPassword(m_server->Password);
  if (!database.open()) {
    error = database.lastError().text();
    return false;
  }
  QSqlQuery query(database);
  const QStringList values = ValueColumns();
  QStringList columns{QStringLiteral("RecMoment DATETIME NOT NULL PRIMARY KEY")};
  for (const QString& name : values) columns << name + QStringLiteral(" DOUBLE NULL");
  for (const char* name : kFlagNames)
    columns << QString::fromLatin1(name) + QStringLiteral(" TINYINT UNSIGNED NOT NULL");
  const QStringList setup = {
      QStringLiteral("DROP DATABASE IF EXISTS ") + m_name,
      QStringLiteral("CREATE DATABASE ") + m_name,
      QStringLiteral("USE ") + m_name,
      QStringLiteral("CREATE TABLE puf_data (%1) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4")
          .arg(columns.join(u", ")),
  };
  for (const QString& statement : setup) {
    if (!query.exec(statement)) {
      error = statement + QStringLiteral(": ") + query.lastError().text();
      return false;
    }
  }
  // One statement a day; the values wander slowly around their typical
  // levels, as a running plant's do.
  for (int day = 0; day < m_days; ++day) {
    if (!InsertDay(query, day, error)) return false;
  }
  if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM puf_data")) || !query.next() ||
      query.value(0).toInt() != RowCount()) {
    error = QStringLiteral("the table does not hold %1 rows").arg(RowCount());
    return false;
  }
  return true;
}

bool TrendBenchDatabase::InsertDay(QSqlQuery& query, int day, QString& error) {
  const QStringList values = ValueColumns();
  QString insert = QStringLiteral("INSERT INTO puf_data VALUES ");
  for (int row = day * kRows; row < (day + 1) * kRows; ++row) {
    if (row > day * kRows) insert += u',';
    insert += QStringLiteral("('") +
              FormatDateTime(QStringLiteral("yyyy-mm-dd hh:nn:ss"), m_start + row / 1440.0) + u'\'';
    for (qsizetype column = 0; column < values.size(); ++column) {
      const double typical = kTypical[column % std::size(kTypical)];
      const double value =
          typical * (1 + 0.2 * std::sin(row / 90.0 + column) + 0.05 * std::sin(row * 0.7 + column));
      insert += u',' + QString::number(value, 'f', 3);
    }
    for (size_t flag = 0; flag < std::size(kFlagNames); ++flag) insert += QStringLiteral(",1");
    insert += u')';
  }
  if (!query.exec(insert)) {
    error = QStringLiteral("insert: ") + query.lastError().text();
    return false;
  }
  return true;
}
