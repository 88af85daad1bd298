#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>

#include "common/tdatetime.h"

// Access to the plant's history database: the table puf_data that the central
// station fills with minute records and the console only reads.

// The [MySQL] settings as the connection needs them; the caller copies them
// from the configuration, so storage knows nothing of it.
struct DatabaseSettings {
  QString Host;  // "host" or "host:port" (see TSQLConnection::Open)
  QString Login;
  QString Password;  // plain text
  int Version = 5;
  bool Disabled = false;
};

// The names a driver-based connection layer loads for a MySQL server version.
// Kept for the connection's properties and diagnostics; the Qt driver does not
// use them.
struct DriverSet {
  QString GetDriverFunc;
  QString LibraryName;
  QString VendorLib;
};

// 5 gives the MySQL 5 set, any other version the MySQL 4 set.
DriverSet DriverSetFor(int version);

// The console's connection to the history database, SQLConnection1.
//
// It keeps the classic parameter list ("name=value" lines, defaults below) and
// opens a Qt QMYSQL connection from it. Each instance registers a Qt
// connection of its own under a unique name, so several connections (tests,
// tools) can live in one process; the destructor removes it.
//
// Only the thread that created an instance may use it or the QSqlDatabase it
// hands out (Qt SQL connections are bound to their thread): in the console
// that is the user-interface thread. Every QSqlDatabase copy and QSqlQuery
// taken from Database() must be gone before the connection is destroyed.
class TSQLConnection {
 public:
  TSQLConnection();
  ~TSQLConnection();
  TSQLConnection(const TSQLConnection&) = delete;
  TSQLConnection& operator=(const TSQLConnection&) = delete;

  static QString ConnectionName() { return QStringLiteral("MySQLConnection"); }
  static QString DriverName() { return QStringLiteral("MySQL"); }
  static bool LoginPrompt() { return false; }
  // The parameter list a new connection starts with, in its order.
  static QStringList DefaultParams();

  QStringList& Params() { return m_params; }
  const QStringList& Params() const { return m_params; }

  // Set from the driver-set table at each connection attempt.
  QString GetDriverFunc;
  QString LibraryName;
  QString VendorLib;

  // The value of the first parameter line whose name is exactly `name`;
  // empty when there is none.
  QString ParamValue(const QString& name) const;

  // Opens the connection from the parameters HostName, Database, User_Name
  // and Password. HostName may carry a port as "host:port" ("[v6addr]:port"
  // for an IPv6 address); without one the server's default port is used.
  // Connecting gives up after 5 s, so a dead host cannot hold the caller
  // longer. True when open afterwards (at once when already open); a failure
  // leaves the connection closed and its text in LastError().
  bool Open();
  void Close();

  // How long one read from or write to the server may take once connected
  // before the statement fails, so that a server that stalls (stopped,
  // swapping, a cable pulled) frees the database thread. Applies from the
  // next Open. A day's trend query or a month's sums take well under a
  // second; the default leaves a wide margin.
  static constexpr int kDefaultReadWriteTimeoutSec = 10;
  void SetReadWriteTimeoutSec(int seconds) { m_readWriteTimeoutSec = seconds < 1 ? 1 : seconds; }
  int ReadWriteTimeoutSec() const { return m_readWriteTimeoutSec; }
  bool Connected() const;
  QString LastError() const { return m_lastError; }

  // The connection the windows run their read-only queries through.
  QSqlDatabase Database() const { return m_database; }
  // The unique name of the underlying Qt connection.
  QString QtConnectionName() const { return m_qtName; }

 private:
  QString m_qtName;
  QSqlDatabase m_database;
  QStringList m_params;
  QString m_lastError;
  int m_readWriteTimeoutSec = kDefaultReadWriteTimeoutSec;
};

// Replaces the first parameter line that contains `name` anywhere in it
// (case-sensitive) by "name=value", or appends that line when none does.
void SetConnectionParam(const QString& name, const QString& value, TSQLConnection& connection);

// One attempt to open the connection: true at once when it is open; false
// without touching anything when the settings say Disabled; otherwise sets
// HostName, User_Name, Password and the driver set, opens, and on failure
// passes "Не могу подключиться к MySQL серверу." to addLogRec (which may be
// empty). Never throws; the reason of a failure is in LastError().
bool ConnectDatabase(TSQLConnection& connection, const DatabaseSettings& settings,
                     const std::function<void(const QString&)>& addLogRec);

// True for an error that means the connection itself is gone (the server
// went away, a read or write timed out): the connection is then useless and
// is closed, so that the console shows it closed and offers to reconnect.
bool IsConnectionLost(const QSqlError& error);

// The line ConnectDatabase logs when it cannot connect.
QString CannotConnectText();

// " where RecMoment >= '<start>' and RecMoment <= '<stop>'" with both moments
// as "yyyy-mm-dd hh:nn:ss"; both ends inclusive.
QString TimeRangeWhere(TDateTime start, TDateTime stop);

// A number as query text: the general 15-digit form, always with a point,
// whatever the locale says.
QString FloatToSqlText(double value);
