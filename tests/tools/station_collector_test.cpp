// The collector against a real MariaDB server (the "mariadb" test fixture) and the fake
// console: what the console hands over lands exactly once, with the values it sent, and the
// console is told to forget a record only after it is committed.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QThread>
#include <atomic>
#include <cmath>
#include <memory>
#include <set>

#include "collector.h"
#include "common/cp1251.h"
#include "support/fakeconsole.h"
#include "stationdatabase.h"
#include "support/mariadb.h"
#include "support/qtapplication.h"
#include "tcpstationlink.h"

namespace {

constexpr int kReplyTimeoutMs = 1000;
std::atomic<int> g_nameNumber{0};

QString UniqueName(const char* stem) {
  return QStringLiteral("%1_%2_%3")
      .arg(QString::fromLatin1(stem))
      .arg(getpid())
      .arg(g_nameNumber.fetch_add(1));
}

std::vector<FakeMinute> MakeMinutes(int count, QDateTime first = QDateTime(QDate(2024, 3, 1), QTime(6, 0))) {
  std::vector<FakeMinute> minutes;
  for (int index = 0; index < count; ++index)
    minutes.push_back(MakeFakeMinute(first.addSecs(60 * index), index + 1));
  return minutes;
}

}  // namespace

class station_collector : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApplication();
    const std::optional<MariaDbServer> server = MariaDbServer::Find();
    ASSERT_TRUE(server) << "no MariaDB server: FLOT_MARIADB_DIR/env is missing (run through ctest)";
    m_server = *server;
    m_databaseName = UniqueName("flot_test");
    m_adminName = QStringLiteral("admin-") + m_databaseName;
    {
      QSqlDatabase admin = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), m_adminName);
      admin.setHostName(m_server.Host);
      admin.setPort(m_server.Port);
      admin.setUserName(m_server.User);
      admin.setPassword(m_server.Password);
      ASSERT_TRUE(admin.open()) << admin.lastError().text().toStdString();
    }
    ASSERT_TRUE(m_console.Start());
    m_link = std::make_unique<TcpStationLink>(QStringLiteral("127.0.0.1"), m_console.Port(), "PUF1",
                                              kReplyTimeoutMs);
    UseDatabase(Settings());
  }

  void TearDown() override {
    m_collector.reset();
    m_database.reset();
    if (QSqlDatabase::contains(m_adminName)) {
      {
        QSqlQuery query(QSqlDatabase::database(m_adminName));
        query.exec(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(m_databaseName));
        for (const QString& user : m_users) query.exec(QStringLiteral("DROP USER IF EXISTS %1").arg(user));
      }
      QSqlDatabase::removeDatabase(m_adminName);
    }
  }

  StationDatabaseSettings Settings() const {
    StationDatabaseSettings settings;
    settings.Host = m_server.Host;
    settings.Port = m_server.Port;
    settings.User = m_server.User;
    settings.Password = m_server.Password;
    settings.Database = m_databaseName;
    settings.TimeoutSeconds = 5;
    return settings;
  }

  void UseDatabase(const StationDatabaseSettings& settings) {
    m_collector.reset();
    m_database = std::make_unique<StationDatabase>(settings);
    m_collector = std::make_unique<Collector>(
        *m_link, *m_database, CollectorOutput{[this](const QString& line) { m_output << line; }, true});
  }

  QSqlQuery Admin(const QString& sql) {
    QSqlQuery query(QSqlDatabase::database(m_adminName));
    EXPECT_TRUE(query.exec(sql)) << sql.toStdString() << ": " << query.lastError().text().toStdString();
    return query;
  }

  int Rows(const QString& table) {
    QSqlQuery query = Admin(QStringLiteral("SELECT COUNT(*) FROM %1.%2").arg(m_databaseName, table));
    return query.next() ? query.value(0).toInt() : -1;
  }

  // Drains until a drain succeeds; each failure is followed by a fresh attempt, as the
  // station's loop does.
  DrainResult DrainUntilDone(int maxAttempts, int* failures = nullptr) {
    DrainResult total;
    for (int attempt = 0; attempt < maxAttempts; ++attempt) {
      const DrainResult result = m_collector->Drain();
      total.MinutesStored += result.MinutesStored;
      total.LogLinesStored += result.LogLinesStored;
      total.RecordsRejected += result.RecordsRejected;
      if (result.Ok) return total;
      if (failures != nullptr) ++*failures;
      total.Error = result.Error;
    }
    total.Ok = false;
    return total;
  }

  void OfferAll(const std::vector<FakeMinute>& minutes) {
    for (const FakeMinute& minute : minutes) m_console.OfferMinute(minute.Text());
  }

  // Every minute is one row holding exactly the values its text carried.
  void ExpectStored(const std::vector<FakeMinute>& minutes) {
    ASSERT_EQ(Rows(QStringLiteral("puf_data")), int(minutes.size()));
    QString columns;
    for (const QByteArray& name : RecordValueNames()) columns += QString::fromLatin1(name) + u',';
    for (const QByteArray& name : RecordFlagNames()) columns += QString::fromLatin1(name) + u',';
    QSqlQuery query(QSqlDatabase::database(m_adminName));
    ASSERT_TRUE(query.prepare(QStringLiteral("SELECT %1 RecMoment FROM %2.puf_data WHERE RecMoment = ?")
                                  .arg(columns, m_databaseName)));
    for (const FakeMinute& minute : minutes) {
      SCOPED_TRACE(minute.Moment.constData());
      query.addBindValue(QString::fromLatin1(minute.Moment));
      ASSERT_TRUE(query.exec()) << query.lastError().text().toStdString();
      ASSERT_TRUE(query.next());
      for (int index = 0; index < kRecordValueCount; ++index) {
        const double expected = minute.Expected(index);
        if (std::isfinite(expected))
          EXPECT_EQ(query.value(index).toDouble(), expected) << RecordValueNames()[index].constData();
        else
          EXPECT_TRUE(query.value(index).isNull()) << RecordValueNames()[index].constData();
      }
      for (int index = 0; index < kRecordFlagCount; ++index)
        EXPECT_EQ(query.value(kRecordValueCount + index).toInt(), minute.FlagTexts[index].toInt());
    }
  }

  static std::vector<QByteArray> MomentsOf(const std::vector<FakeMinute>& minutes) {
    std::vector<QByteArray> moments;
    for (const FakeMinute& minute : minutes) moments.push_back(minute.Moment);
    return moments;
  }

  MariaDbServer m_server;
  QString m_databaseName;
  QString m_adminName;
  QStringList m_users;
  FakeConsole m_console;
  std::unique_ptr<TcpStationLink> m_link;
  std::unique_ptr<StationDatabase> m_database;
  std::unique_ptr<Collector> m_collector;
  QStringList m_output;
};

TEST_F(station_collector, DrainStoresEveryMinuteOnceWithExactValues) {
  std::vector<FakeMinute> minutes = MakeMinutes(40);
  minutes[3].ValueTexts[0] = "0.100000001490116";
  minutes[3].ValueTexts[1] = "1.5E-7";
  minutes[3].ValueTexts[2] = "1E20";
  minutes[3].ValueTexts[3] = "-3";
  minutes[3].ValueTexts[4] = "12.5";
  minutes[5].ValueTexts[7] = "NAN";
  minutes[5].ValueTexts[20] = "INF";
  OfferAll(minutes);
  m_console.SplitReplies(true);

  const DrainResult result = m_collector->Drain();
  ASSERT_TRUE(result.Ok) << result.Error.toStdString();
  EXPECT_EQ(result.MinutesStored, 40);
  ExpectStored(minutes);
  EXPECT_EQ(m_console.Acknowledged(), MomentsOf(minutes));
  EXPECT_EQ(m_console.UnsavedCount(), 0);
  EXPECT_TRUE(m_output.filter(QStringLiteral("warning")).join(u'\n').contains(QStringLiteral("RGF1, OAFL2")))
      << m_output.join(u'\n').toStdString();

  const DrainResult again = m_collector->Drain();
  ASSERT_TRUE(again.Ok) << again.Error.toStdString();
  EXPECT_EQ(again.MinutesStored, 0);
  EXPECT_EQ(Rows(QStringLiteral("puf_data")), 40);
}

// At the moment the console receives SetSaveFlag, another session must already see the row:
// the acknowledgement follows the COMMIT, never the INSERT alone.
TEST_F(station_collector, AcknowledgementComesOnlyAfterTheRowIsCommitted) {
  const std::vector<FakeMinute> minutes = MakeMinutes(12);
  OfferAll(minutes);
  std::mutex mutex;
  std::vector<QByteArray> unseen;
  const StationDatabaseSettings settings = Settings();
  m_console.SetAcknowledgeHook([&](const QByteArray& moment) {
    // On the console's thread, with a session of its own.
    const QString name = UniqueName("witness");
    int rows = -1;
    {
      QSqlDatabase witness = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), name);
      witness.setHostName(settings.Host);
      witness.setPort(settings.Port);
      witness.setUserName(settings.User);
      witness.setPassword(settings.Password);
      witness.setDatabaseName(settings.Database);
      if (witness.open()) {
        QSqlQuery query(witness);
        query.prepare(QStringLiteral("SELECT COUNT(*) FROM puf_data WHERE RecMoment = ?"));
        query.addBindValue(QString::fromLatin1(moment));
        if (query.exec() && query.next()) rows = query.value(0).toInt();
      }
    }
    QSqlDatabase::removeDatabase(name);
    if (rows != 1) {
      std::lock_guard lock(mutex);
      unseen.push_back(moment);
    }
  });

  const DrainResult result = m_collector->Drain();
  ASSERT_TRUE(result.Ok) << result.Error.toStdString();
  m_console.SetAcknowledgeHook({});
  EXPECT_EQ(m_console.Acknowledged().size(), minutes.size());
  std::lock_guard lock(mutex);
  EXPECT_TRUE(unseen.empty()) << "acknowledged before committed: " << unseen.front().constData();
}

TEST_F(station_collector, AccountWithoutInsertPrivilegeAcknowledgesNothingUntilGranted) {
  // The tables exist (made by the full account); the station's account may only read them.
  QString error;
  {
    StationDatabase creator(Settings());
    ASSERT_TRUE(creator.Open(error)) << error.toStdString();
  }
  const QString user = UniqueName("flot_ro");
  for (const char* host : {"%", "localhost"}) {
    const QString account = QStringLiteral("'%1'@'%2'").arg(user, QString::fromLatin1(host));
    m_users << account;
    Admin(QStringLiteral("CREATE USER %1 IDENTIFIED BY 'readonly'").arg(account));
    Admin(QStringLiteral("GRANT SELECT ON %1.* TO %2").arg(m_databaseName, account));
  }
  StationDatabaseSettings settings = Settings();
  settings.User = user;
  settings.Password = QStringLiteral("readonly");
  UseDatabase(settings);
  const std::vector<FakeMinute> minutes = MakeMinutes(5);
  OfferAll(minutes);

  const DrainResult refused = m_collector->Drain();
  EXPECT_FALSE(refused.Ok);
  EXPECT_TRUE(refused.Error.contains(QStringLiteral("INSERT"), Qt::CaseInsensitive))
      << refused.Error.toStdString();
  EXPECT_TRUE(m_console.Acknowledged().empty());
  EXPECT_EQ(m_console.UnsavedCount(), 5);
  EXPECT_EQ(Rows(QStringLiteral("puf_data")), 0);

  for (const QString& account : m_users)
    Admin(QStringLiteral("GRANT INSERT, UPDATE ON %1.* TO %2").arg(m_databaseName, account));
  const DrainResult granted = m_collector->Drain();
  ASSERT_TRUE(granted.Ok) << granted.Error.toStdString();
  ExpectStored(minutes);
  EXPECT_EQ(m_console.Acknowledged(), MomentsOf(minutes));
}

TEST_F(station_collector, UnreachableDatabaseLeavesTheConsoleUntouched) {
  quint16 closedPort = 0;
  {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    closedPort = probe.serverPort();
  }
  StationDatabaseSettings settings = Settings();
  settings.Port = closedPort;
  UseDatabase(settings);
  const std::vector<FakeMinute> minutes = MakeMinutes(4);
  OfferAll(minutes);
  m_console.AddLogLine("1\t2024-03-01 06:00:00\tlog");

  const DrainResult refused = m_collector->Drain();
  EXPECT_FALSE(refused.Ok);
  EXPECT_EQ(m_console.RequestCount(), 0) << "nothing is fetched without a place to store it";
  EXPECT_EQ(m_console.UnsavedCount(), 4);

  // The same console, once the server answers.
  UseDatabase(Settings());
  const DrainResult done = m_collector->Drain();
  ASSERT_TRUE(done.Ok) << done.Error.toStdString();
  ExpectStored(minutes);
  EXPECT_EQ(done.LogLinesStored, 1);
}

// The connection breaks at different points of the store-then-acknowledge step; after the
// station reconnects every minute is one row and none is acknowledged twice.
TEST_F(station_collector, ConsoleConnectionLostMidRunLosesAndDuplicatesNothing) {
  struct Fault {
    const char* what;
    std::function<void()> inject;
  };
  // Requests: 1 GetUnsavedCount, then GetUnsavedRecord (even) and SetSaveFlag (odd) in turn.
  const Fault faults[] = {
      {"acknowledgement executed, reply lost",
       [&] { m_console.DropConnectionAt(m_console.RequestCount() + 9, true); }},
      {"acknowledgement never arrived",
       [&] { m_console.DropConnectionAt(m_console.RequestCount() + 7, false); }},
      {"record request lost", [&] { m_console.DropConnectionAt(m_console.RequestCount() + 6, false); }},
      {"console restarted", [&] { m_console.Restart(200); }},
  };
  std::vector<FakeMinute> all;
  QDateTime first(QDate(2024, 3, 2), QTime(0, 0));
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.what);
    const std::vector<FakeMinute> minutes = MakeMinutes(8, first);
    first = first.addSecs(3600);
    all.insert(all.end(), minutes.begin(), minutes.end());
    OfferAll(minutes);
    fault.inject();
    int failures = 0;
    const QDeadlineTimer deadline(20000);
    DrainResult result;
    do {
      result = DrainUntilDone(1, &failures);
    } while (!result.Ok && !deadline.hasExpired() && (QThread::msleep(50), true));
    ASSERT_TRUE(result.Ok) << result.Error.toStdString();
    EXPECT_GE(failures, 1);
    EXPECT_EQ(m_console.UnsavedCount(), 0);
  }
  ExpectStored(all);
  const std::vector<QByteArray> acknowledged = m_console.Acknowledged();
  EXPECT_EQ(std::set<QByteArray>(acknowledged.begin(), acknowledged.end()).size(), acknowledged.size());
  EXPECT_EQ(acknowledged.size(), all.size());
}

TEST_F(station_collector, MinuteOfferedAgainUpdatesItsRow) {
  std::vector<FakeMinute> minutes = MakeMinutes(3);
  OfferAll(minutes);
  ASSERT_TRUE(m_collector->Drain().Ok);

  // The current minute comes back with its final values once the minute is over.
  FakeMinute final = MakeFakeMinute(QDateTime(QDate(2024, 3, 1), QTime(6, 2)), 999);
  final.ValueTexts[0] = "NAN";
  final.FlagTexts[0] = minutes[2].FlagTexts[0] == "1" ? "0" : "1";
  ASSERT_EQ(final.Moment, minutes[2].Moment);
  m_console.OfferMinute(final.Text());
  const DrainResult result = m_collector->Drain();
  ASSERT_TRUE(result.Ok) << result.Error.toStdString();
  EXPECT_EQ(result.MinutesStored, 1);
  minutes[2] = final;
  ExpectStored(minutes);
}

TEST_F(station_collector, LogLinesAreStoredOnceAsUnicodeAndDeleted) {
  const QString operatorText = QStringLiteral("Новое задание c ЦСБ: текущий расход собирателя 1 = 12,5");
  const QByteArray lines[] = {
      "1000\t2024-03-01 06:00:01\t" + ToCp1251(operatorText),
      "-2000\t2024-03-01 06:00:02\t" + ToCp1251(QStringLiteral("ФЛОТАЦИЯ СЕКЦИИ 2 ВЫКЛЮЧЕНА")),
      "10\t2024-03-01 06:00:03\ttab\tinside",
  };
  for (const QByteArray& line : lines) m_console.AddLogLine(line);
  // The first DeleteLogRec never reaches the console: its line is collected a second time.
  m_console.DropConnectionAt(3, false);  // GetLogRecCount, GetLogRec, DeleteLogRec

  int failures = 0;
  const DrainResult result = DrainUntilDone(3, &failures);
  ASSERT_TRUE(result.Ok) << result.Error.toStdString();
  EXPECT_EQ(failures, 1);
  EXPECT_EQ(m_console.LogLineCount(), 0);
  EXPECT_EQ(m_console.DeletedLogTicks(), (std::vector<QByteArray>{"1000", "-2000", "10"}));

  QSqlQuery query = Admin(QStringLiteral("SELECT Tick, DATE_FORMAT(LogMoment, '%Y-%m-%d %H:%i:%s'), Message "
                                         "FROM %1.puf_log ORDER BY Id")
                              .arg(m_databaseName));
  const std::tuple<int, QString, QString> expected[] = {
      {1000, QStringLiteral("2024-03-01 06:00:01"), operatorText},
      {-2000, QStringLiteral("2024-03-01 06:00:02"), QStringLiteral("ФЛОТАЦИЯ СЕКЦИИ 2 ВЫКЛЮЧЕНА")},
      {10, QStringLiteral("2024-03-01 06:00:03"), QStringLiteral("tab\tinside")},
  };
  for (const auto& [tick, moment, message] : expected) {
    ASSERT_TRUE(query.next());
    EXPECT_EQ(query.value(0).toInt(), tick);
    EXPECT_EQ(query.value(1).toString(), moment);
    EXPECT_EQ(query.value(2).toString(), message);
  }
  EXPECT_FALSE(query.next());
}

TEST_F(station_collector, BadRecordIsSetAsideAndCollectionGoesOn) {
  std::vector<FakeMinute> minutes = MakeMinutes(3);
  const QByteArray bad = minutes[1].Text().replace("PLF1=", "PLF1=1,x);DROP TABLE puf_data;--=");
  OfferAll(minutes);
  m_console.OfferMinute(bad);  // same minute: takes the place of the good one
  const DrainResult result = m_collector->Drain();
  ASSERT_TRUE(result.Ok) << result.Error.toStdString();
  EXPECT_EQ(result.MinutesStored, 2);
  EXPECT_EQ(result.RecordsRejected, 1);
  EXPECT_EQ(m_console.Acknowledged(), MomentsOf(minutes));
  ExpectStored({minutes[0], minutes[2]});
  QSqlQuery query = Admin(QStringLiteral("SELECT RecText FROM %1.puf_rejected").arg(m_databaseName));
  ASSERT_TRUE(query.next());
  EXPECT_EQ(query.value(0).toString(), QString::fromLatin1(bad));
  EXPECT_FALSE(query.next());
  EXPECT_TRUE(m_output.filter(QStringLiteral("rejected")).size() == 1) << m_output.join(u'\n').toStdString();
}

TEST_F(station_collector, CorruptedReplyIsNeverStored) {
  const std::vector<FakeMinute> minutes = MakeMinutes(3);
  OfferAll(minutes);
  m_console.CorruptReplies("GetUnsavedRecord", 2);
  int failures = 0;
  const DrainResult result = DrainUntilDone(4, &failures);
  ASSERT_TRUE(result.Ok) << result.Error.toStdString();
  EXPECT_EQ(failures, 2);
  ExpectStored(minutes);
  EXPECT_EQ(m_console.Acknowledged(), MomentsOf(minutes));
}

// The program itself, as an operator runs it: --once drains and ends with 0; the collecting
// loop ends with 0 on SIGTERM.
TEST_F(station_collector, ProgramCollectsOnceAndStopsOnSigterm) {
  const std::vector<FakeMinute> minutes = MakeMinutes(6);
  OfferAll(minutes);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("FLOT_STATION_DB_PASSWORD"), m_server.Password);
  const QStringList arguments = {
      QStringLiteral("--tcp"),      QStringLiteral("127.0.0.1:%1").arg(m_console.Port()),
      QStringLiteral("--db-host"),  m_server.Host,
      QStringLiteral("--db-port"),  QString::number(m_server.Port),
      QStringLiteral("--db-user"),  m_server.User,
      QStringLiteral("--database"), m_databaseName,
      QStringLiteral("--verbose")};
  QProcess once;
  once.setProcessEnvironment(environment);
  once.start(QStringLiteral(FLOT_STATION_BIN), arguments + QStringList{QStringLiteral("--once")});
  ASSERT_TRUE(once.waitForFinished(30000));
  EXPECT_EQ(once.exitCode(), 0) << once.readAllStandardError().toStdString();
  ExpectStored(minutes);

  QProcess loop;
  loop.setProcessEnvironment(environment);
  loop.start(QStringLiteral(FLOT_STATION_BIN),
             arguments + QStringList{QStringLiteral("--interval"), QStringLiteral("1")});
  ASSERT_TRUE(loop.waitForStarted());
  const FakeMinute later = MakeFakeMinute(QDateTime(QDate(2024, 3, 1), QTime(7, 0)), 77);
  m_console.OfferMinute(later.Text());
  const QDeadlineTimer deadline(20000);
  while (m_console.UnsavedCount() > 0 && !deadline.hasExpired()) QThread::msleep(20);
  EXPECT_EQ(m_console.UnsavedCount(), 0);
  ::kill(pid_t(loop.processId()), SIGTERM);
  ASSERT_TRUE(loop.waitForFinished(10000));
  EXPECT_EQ(loop.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(loop.exitCode(), 0) << loop.readAllStandardError().toStdString();
  std::vector<FakeMinute> all = minutes;
  all.push_back(later);
  ExpectStored(all);
}
