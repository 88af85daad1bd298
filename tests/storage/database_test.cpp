#include "storage/database.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QLocale>
#include <QSqlQuery>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "common/formatfloat.h"
#include "support/mariadb.h"
#include "support/qtapplication.h"

namespace {

// Collects what ConnectDatabase hands to the station's log-record list.
struct LogRecs {
  QStringList Lines;
  std::function<void(const QString&)> Sink() {
    return [this](const QString& line) { Lines.append(line); };
  }
};

// A loopback TCP socket that is bound but, depending on `listen`, either
// refuses every connection (nothing listens on the port) or accepts them into
// its backlog and never says a word, like a hung server.
class SilentPort {
 public:
  explicit SilentPort(bool listenForConnections) {
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        (listenForConnections && ::listen(m_fd, 8) != 0)) {
      return;
    }
    m_port = ntohs(address.sin_port);
  }
  ~SilentPort() {
    if (m_fd >= 0) ::close(m_fd);
  }
  SilentPort(const SilentPort&) = delete;
  SilentPort& operator=(const SilentPort&) = delete;

  int Port() const { return m_port; }

 private:
  int m_fd = -1;
  int m_port = 0;
};

class DatabaseTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureQtApplication(); }
};

TEST_F(DatabaseTest, NewConnectionHasTheFixedPropertiesAndDefaultParameters) {
  TSQLConnection connection;
  EXPECT_EQ(connection.ConnectionName(), QStringLiteral("MySQLConnection"));
  EXPECT_EQ(connection.DriverName(), QStringLiteral("MySQL"));
  EXPECT_FALSE(connection.LoginPrompt());
  EXPECT_FALSE(connection.Connected());
  EXPECT_EQ(connection.Params(),
            QStringList({"DriverName=MySQL", "HostName=127.0.0.1", "Database=dravo", "User_Name=user",
                         "Password=velvetox", "BlobSize=-1", "ErrorResourceFile=", "LocaleCode=0000"}));
  EXPECT_EQ(connection.ParamValue(QStringLiteral("Database")), QStringLiteral("dravo"));
  EXPECT_EQ(connection.ParamValue(QStringLiteral("ErrorResourceFile")), QString());
  // "Name" is only part of a parameter's name, never a parameter of its own.
  EXPECT_EQ(connection.ParamValue(QStringLiteral("Name")), QString());
}

TEST_F(DatabaseTest, ConnectionsInOneProcessHaveTheirOwnQtConnection) {
  auto first = std::make_unique<TSQLConnection>();
  TSQLConnection second;
  EXPECT_NE(first->QtConnectionName(), second.QtConnectionName());
  EXPECT_TRUE(QSqlDatabase::contains(first->QtConnectionName()));
  const QString firstName = first->QtConnectionName();
  first.reset();
  EXPECT_FALSE(QSqlDatabase::contains(firstName));
  EXPECT_TRUE(QSqlDatabase::contains(second.QtConnectionName()));
}

TEST_F(DatabaseTest, SetConnectionParamReplacesTheFirstLineContainingTheNameOrAppends) {
  const QStringList defaults = TSQLConnection::DefaultParams();
  struct Case {
    const char* what;
    QStringList before;
    QString name;
    QString value;
    QStringList after;
  };
  const Case cases[] = {
      {"host on the default list replaces line 2 in place",
       defaults,
       "HostName",
       "10.0.0.7",
       {"DriverName=MySQL", "HostName=10.0.0.7", "Database=dravo", "User_Name=user", "Password=velvetox",
        "BlobSize=-1", "ErrorResourceFile=", "LocaleCode=0000"}},
      {"a list without the name gets it appended",
       {"DriverName=MySQL", "Database=dravo"},
       "HostName",
       "db1",
       {"DriverName=MySQL", "Database=dravo", "HostName=db1"}},
      {"an empty list gets its first line", {}, "Password", "", {"Password="}},
      {"a substring anywhere in a line matches, the first such line wins",
       defaults,
       "Name",
       "x",
       {"Name=x", "HostName=127.0.0.1", "Database=dravo", "User_Name=user", "Password=velvetox",
        "BlobSize=-1", "ErrorResourceFile=", "LocaleCode=0000"}},
      {"the match is case-sensitive", {"hostname=a"}, "HostName", "b", {"hostname=a", "HostName=b"}},
      {"a value with '=' is kept whole", {"Password=old"}, "Password", "a=b", {"Password=a=b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TSQLConnection connection;
    connection.Params() = c.before;
    SetConnectionParam(c.name, c.value, connection);
    EXPECT_EQ(connection.Params(), c.after);
  }
}

TEST_F(DatabaseTest, DriverSetIsTheMySql5SetOnlyForVersion5) {
  const DriverSet mysql5{"getSQLDriverMYSQL50", "dbxopenmysql50.dll", "libmySQL5.dll"};
  const DriverSet mysql4{"getSQLDriverMYSQL", "dbexpmysql.dll", "libmySQL4.dll"};
  const std::pair<int, DriverSet> cases[] = {
      {5, mysql5}, {4, mysql4}, {0, mysql4}, {6, mysql4}, {-5, mysql4}};
  for (const auto& [version, expected] : cases) {
    SCOPED_TRACE(version);
    const DriverSet set = DriverSetFor(version);
    EXPECT_EQ(set.GetDriverFunc, expected.GetDriverFunc);
    EXPECT_EQ(set.LibraryName, expected.LibraryName);
    EXPECT_EQ(set.VendorLib, expected.VendorLib);
  }
}

TEST_F(DatabaseTest, DisabledNeverTouchesTheConnectionNorLogs) {
  TSQLConnection connection;
  LogRecs log;
  const DatabaseSettings settings{"127.0.0.1:1", "someone", "secret", 4, true};
  EXPECT_FALSE(ConnectDatabase(connection, settings, log.Sink()));
  EXPECT_EQ(connection.Params(), TSQLConnection::DefaultParams());
  EXPECT_TRUE(connection.GetDriverFunc.isEmpty());
  EXPECT_TRUE(connection.LibraryName.isEmpty());
  EXPECT_TRUE(connection.VendorLib.isEmpty());
  EXPECT_TRUE(connection.LastError().isEmpty());
  EXPECT_TRUE(log.Lines.isEmpty());
  EXPECT_FALSE(connection.Connected());
}

TEST_F(DatabaseTest, TimeRangeWhereWritesBothEndsWithSecondsIn24HourForm) {
  EXPECT_EQ(
      TimeRangeWhere(EncodeDateTime(2009, 3, 5, 7, 0), EncodeDateTime(2009, 3, 5, 18, 59, 59)),
      QStringLiteral(" where RecMoment >= '2009-03-05 07:00:00' and RecMoment <= '2009-03-05 18:59:59'"));
  EXPECT_EQ(
      TimeRangeWhere(EncodeDateTime(1999, 12, 31, 23, 5, 9), EncodeDateTime(2000, 1, 1, 0, 0, 0)),
      QStringLiteral(" where RecMoment >= '1999-12-31 23:05:09' and RecMoment <= '2000-01-01 00:00:00'"));
}

TEST_F(DatabaseTest, FloatToSqlTextWritesAPointUnderACommaLocale) {
  const QLocale saved;
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  ASSERT_EQ(QLocale().decimalPoint(), QStringLiteral(","));
  const std::pair<double, const char*> cases[] = {
      {1.0 / 60, "0.0166666666666667"}, {1234.5, "1234.5"}, {-0.25, "-0.25"}, {2, "2"}, {1.5e-7, "1.5E-7"},
  };
  for (const auto& [value, expected] : cases) {
    SCOPED_TRACE(expected);
    EXPECT_EQ(FloatToSqlText(value), QLatin1String(expected));
  }
  QLocale::setDefault(saved);
}

// Against the private server of the "mariadb" fixture.
class DatabaseServerTest : public DatabaseTest {
 protected:
  void SetUp() override {
    DatabaseTest::SetUp();
    const std::optional<MariaDbServer> server = MariaDbServer::Find();
    ASSERT_TRUE(server.has_value())
        << "no test server: FLOT_MARIADB_DIR/env is missing (scripts/mariadb start)";
    m_server = *server;
  }

  DatabaseSettings Settings() const {
    return {m_server.HostWithPort(), m_server.User, m_server.Password, 5, false};
  }

  static QVariant SelectOne(const TSQLConnection& connection, const QString& sql) {
    QSqlQuery query(connection.Database());
    if (!query.exec(sql) || !query.next()) return {};
    return query.value(0);
  }

  MariaDbServer m_server;
};

TEST_F(DatabaseServerTest, ConnectsWithHostAndPortAndRunsQueriesOnDravo) {
  TSQLConnection connection;
  LogRecs log;
  ASSERT_TRUE(ConnectDatabase(connection, Settings(), log.Sink())) << connection.LastError().toStdString();
  EXPECT_TRUE(connection.Connected());
  EXPECT_TRUE(log.Lines.isEmpty());
  EXPECT_TRUE(connection.LastError().isEmpty());
  EXPECT_EQ(connection.Params(),
            QStringList({"DriverName=MySQL", "HostName=" + m_server.HostWithPort(), "Database=dravo",
                         "User_Name=" + m_server.User, "Password=" + m_server.Password, "BlobSize=-1",
                         "ErrorResourceFile=", "LocaleCode=0000"}));
  EXPECT_EQ(connection.GetDriverFunc, QStringLiteral("getSQLDriverMYSQL50"));

  EXPECT_EQ(SelectOne(connection, QStringLiteral("select 1")).toInt(), 1);
  EXPECT_EQ(SelectOne(connection, QStringLiteral("select database()")).toString(), QStringLiteral("dravo"));
}

TEST_F(DatabaseServerTest, SecondConnectWhileConnectedRewritesNothing) {
  TSQLConnection connection;
  LogRecs log;
  ASSERT_TRUE(ConnectDatabase(connection, Settings(), log.Sink())) << connection.LastError().toStdString();
  const QStringList params = connection.Params();

  const DatabaseSettings other{"192.0.2.1:1", "nobody", "wrong", 4, false};
  EXPECT_TRUE(ConnectDatabase(connection, other, log.Sink()));
  EXPECT_EQ(connection.Params(), params);
  EXPECT_EQ(connection.GetDriverFunc, QStringLiteral("getSQLDriverMYSQL50"));
  EXPECT_TRUE(log.Lines.isEmpty());
  EXPECT_EQ(SelectOne(connection, QStringLiteral("select 1")).toInt(), 1);
}

TEST_F(DatabaseServerTest, WrongPasswordFailsWithOneLogRecordAndAnOperatorRetryCanSucceed) {
  TSQLConnection connection;
  LogRecs log;
  DatabaseSettings settings = Settings();
  settings.Password = QStringLiteral("not-the-password");
  settings.Version = 4;
  EXPECT_FALSE(ConnectDatabase(connection, settings, log.Sink()));
  EXPECT_FALSE(connection.Connected());
  EXPECT_EQ(log.Lines, QStringList{QStringLiteral("Не могу подключиться к MySQL серверу.")});
  EXPECT_FALSE(connection.LastError().isEmpty());
  // The attempt still set what it was given.
  EXPECT_EQ(connection.ParamValue(QStringLiteral("Password")), QStringLiteral("not-the-password"));
  EXPECT_EQ(connection.VendorLib, QStringLiteral("libmySQL4.dll"));

  EXPECT_TRUE(ConnectDatabase(connection, Settings(), log.Sink())) << connection.LastError().toStdString();
  EXPECT_EQ(log.Lines.size(), 1);
  EXPECT_TRUE(connection.LastError().isEmpty());
  EXPECT_EQ(connection.VendorLib, QStringLiteral("libmySQL5.dll"));
}

TEST_F(DatabaseServerTest, PortWhereNothingListensFailsQuickly) {
  const SilentPort closed(false);
  ASSERT_GT(closed.Port(), 0);
  TSQLConnection connection;
  LogRecs log;
  DatabaseSettings settings = Settings();
  settings.Host = QStringLiteral("127.0.0.1:%1").arg(closed.Port());
  QElapsedTimer timer;
  timer.start();
  EXPECT_FALSE(ConnectDatabase(connection, settings, log.Sink()));
  EXPECT_LT(timer.elapsed(), 3000);
  EXPECT_EQ(log.Lines.size(), 1);
  EXPECT_FALSE(connection.Connected());
  EXPECT_FALSE(connection.LastError().isEmpty());
}

TEST_F(DatabaseServerTest, ServerThatNeverAnswersIsGivenUpWithinTheConnectTimeout) {
  const SilentPort hung(true);
  ASSERT_GT(hung.Port(), 0);
  TSQLConnection connection;
  LogRecs log;
  DatabaseSettings settings = Settings();
  settings.Host = QStringLiteral("127.0.0.1:%1").arg(hung.Port());
  QElapsedTimer timer;
  timer.start();
  EXPECT_FALSE(ConnectDatabase(connection, settings, log.Sink()));
  EXPECT_LT(timer.elapsed(), 15000);
  EXPECT_EQ(log.Lines.size(), 1);
  EXPECT_FALSE(connection.Connected());
}

TEST_F(DatabaseServerTest, HostNameCarriesThePortInEitherForm) {
  const SilentPort closed(false);
  ASSERT_GT(closed.Port(), 0);
  const QString port = QString::number(m_server.Port);
  const std::pair<QString, bool> cases[] = {
      {m_server.Host + ':' + port, true},
      {'[' + m_server.Host + "]:" + port, true},
      {m_server.Host + ':' + QString::number(closed.Port()), false},
      // Not a port: the whole text is the host name, which does not resolve.
      {m_server.Host + ":notaport", false},
  };
  for (const auto& [host, connects] : cases) {
    SCOPED_TRACE(host.toStdString());
    TSQLConnection connection;
    DatabaseSettings settings = Settings();
    settings.Host = host;
    EXPECT_EQ(ConnectDatabase(connection, settings, {}), connects) << connection.LastError().toStdString();
    if (connects) {
      EXPECT_EQ(SelectOne(connection, QStringLiteral("select 1")).toInt(), 1);
    }
  }
}

TEST_F(DatabaseServerTest, TwoConnectionsWorkSideBySideAndOutliveEachOther) {
  auto first = std::make_unique<TSQLConnection>();
  TSQLConnection second;
  ASSERT_TRUE(ConnectDatabase(*first, Settings(), {})) << first->LastError().toStdString();
  ASSERT_TRUE(ConnectDatabase(second, Settings(), {})) << second.LastError().toStdString();
  const int firstId = SelectOne(*first, QStringLiteral("select connection_id()")).toInt();
  const int secondId = SelectOne(second, QStringLiteral("select connection_id()")).toInt();
  EXPECT_NE(firstId, 0);
  EXPECT_NE(firstId, secondId);
  first.reset();
  EXPECT_EQ(SelectOne(second, QStringLiteral("select connection_id()")).toInt(), secondId);

  second.Close();
  EXPECT_FALSE(second.Connected());
  EXPECT_TRUE(second.Open()) << second.LastError().toStdString();
  EXPECT_EQ(SelectOne(second, QStringLiteral("select 1")).toInt(), 1);
}

}  // namespace
