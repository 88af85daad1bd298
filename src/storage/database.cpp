#include "storage/database.h"

#include <QSqlError>
#include <cmath>

#include "common/floattext.h"
#include "common/formatfloat.h"

namespace {

// QMYSQL's connect time-out: long enough for a slow network, short enough
// that a dead host does not hold the database thread for long.
constexpr int kConnectTimeoutSec = 5;

std::atomic<int> g_connectionCounter{0};

struct HostAndPort {
  QString Host;
  int Port = -1;  // -1: the driver's default
};

bool ParsePort(const QString& text, int& port) {
  bool ok = false;
  const int value = text.toInt(&ok);
  if (!ok || value <= 0 || value > 65535) return false;
  port = value;
  return true;
}

// "host", "host:port", "[v6addr]" or "[v6addr]:port". A bare IPv6 address has
// more than one colon and is taken whole. Anything that does not parse as a
// port stays part of the host, so the server's error names what was given.
HostAndPort SplitHostName(const QString& hostName) {
  HostAndPort result;
  result.Host = hostName;
  if (hostName.startsWith(u'[')) {
    const qsizetype close = hostName.indexOf(u']');
    if (close < 0) return result;
    const QString rest = hostName.mid(close + 1);
    int port = -1;
    if (rest.isEmpty() || (rest.startsWith(u':') && ParsePort(rest.mid(1), port))) {
      result.Host = hostName.mid(1, close - 1);
      result.Port = port;
    }
    return result;
  }
  if (hostName.count(u':') != 1) return result;
  const qsizetype colon = hostName.indexOf(u':');
  int port = -1;
  if (ParsePort(hostName.mid(colon + 1), port)) {
    result.Host = hostName.left(colon);
    result.Port = port;
  }
  return result;
}

}  // namespace

DriverSet DriverSetFor(int version) {
  if (version == 5) {
    return {QStringLiteral("getSQLDriverMYSQL50"), QStringLiteral("dbxopenmysql50.dll"),
            QStringLiteral("libmySQL5.dll")};
  }
  return {QStringLiteral("getSQLDriverMYSQL"), QStringLiteral("dbexpmysql.dll"),
          QStringLiteral("libmySQL4.dll")};
}

TSQLConnection::TSQLConnection()
    : m_qtName(ConnectionName() + u'-' + QString::number(++g_connectionCounter)),
      m_database(QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), m_qtName)),
      m_params(DefaultParams()) {}

TSQLConnection::~TSQLConnection() {
  m_database.close();
  // removeDatabase wants the last handle gone, or it warns and leaks it.
  m_database = QSqlDatabase();
  QSqlDatabase::removeDatabase(m_qtName);
}

QStringList TSQLConnection::DefaultParams() {
  return {QStringLiteral("DriverName=MySQL"),   QStringLiteral("HostName=127.0.0.1"),
          QStringLiteral("Database=dravo"),     QStringLiteral("User_Name=user"),
          QStringLiteral("Password=velvetox"),  QStringLiteral("BlobSize=-1"),
          QStringLiteral("ErrorResourceFile="), QStringLiteral("LocaleCode=0000")};
}

QString TSQLConnection::ParamValue(const QString& name) const {
  for (const QString& line : m_params) {
    const qsizetype equals = line.indexOf(u'=');
    if (equals >= 0 && QStringView(line).left(equals) == name) return line.mid(equals + 1);
  }
  return {};
}

bool TSQLConnection::Open() {
  if (Connected()) return true;
  if (!m_database.isValid()) {
    m_lastError = QStringLiteral("The Qt MySQL driver (QMYSQL) is not available");
    return false;
  }
  const HostAndPort host = SplitHostName(ParamValue(QStringLiteral("HostName")));
  m_database.setHostName(host.Host);
  m_database.setPort(host.Port);
  m_database.setDatabaseName(ParamValue(QStringLiteral("Database")));
  m_database.setUserName(ParamValue(QStringLiteral("User_Name")));
  m_database.setPassword(ParamValue(QStringLiteral("Password")));
  m_database.setConnectOptions(QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=%1;MYSQL_OPT_READ_TIMEOUT=%2;"
                                              "MYSQL_OPT_WRITE_TIMEOUT=%2")
                                   .arg(kConnectTimeoutSec)
                                   .arg(m_readWriteTimeoutSec));
  if (m_database.open()) {
    m_lastError.clear();
    return true;
  }
  m_lastError = m_database.lastError().text();
  if (m_lastError.isEmpty()) m_lastError = QStringLiteral("Cannot connect to the MySQL server");
  return false;
}

void TSQLConnection::Close() {
  m_database.close();
}

bool TSQLConnection::Connected() const {
  return m_database.isOpen();
}

bool IsConnectionLost(const QSqlError& error) {
  // The client library's codes: server gone, lost (also after a read or
  // write time-out), lost during the handshake, lost with a reason.
  static const QStringList kLost{QStringLiteral("2006"), QStringLiteral("2013"), QStringLiteral("2026"),
                                 QStringLiteral("2055")};
  return error.type() == QSqlError::ConnectionError || kLost.contains(error.nativeErrorCode());
}

void SetConnectionParam(const QString& name, const QString& value, TSQLConnection& connection) {
  QStringList& params = connection.Params();
  const QString line = name + u'=' + value;
  for (QString& existing : params) {
    if (existing.contains(name, Qt::CaseSensitive)) {
      existing = line;
      return;
    }
  }
  params.append(line);
}

QString CannotConnectText() {
  return QStringLiteral("Не могу подключиться к MySQL серверу.");
}

bool ConnectDatabase(TSQLConnection& connection, const DatabaseSettings& settings,
                     const std::function<void(const QString&)>& addLogRec) {
  if (connection.Connected()) return true;
  if (settings.Disabled) return false;
  SetConnectionParam(QStringLiteral("HostName"), settings.Host, connection);
  SetConnectionParam(QStringLiteral("User_Name"), settings.Login, connection);
  SetConnectionParam(QStringLiteral("Password"), settings.Password, connection);
  const DriverSet driver = DriverSetFor(settings.Version);
  connection.GetDriverFunc = driver.GetDriverFunc;
  connection.LibraryName = driver.LibraryName;
  connection.VendorLib = driver.VendorLib;
  if (!connection.Open() && addLogRec) addLogRec(CannotConnectText());
  return connection.Connected();
}

QString TimeRangeWhere(TDateTime start, TDateTime stop) {
  const QString pattern = QStringLiteral("yyyy-mm-dd hh:nn:ss");
  return QStringLiteral(" where RecMoment >= '") + FormatDateTime(pattern, start) +
         QStringLiteral("' and RecMoment <= '") + FormatDateTime(pattern, stop) + u'\'';
}

QString FloatToSqlText(double value) {
  // SQL wants a point; FloatToStrGeneral uses no thousands separator, so the
  // point is the only thing a locale could have changed.
  return FloatToStrGeneral(value, u'.');
}
