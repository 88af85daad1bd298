// The whole chain as a plant runs it: simulated modules, the headless
// console, the central station's collector and the history database.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>

#include "common/cp1251.h"
#include "common/inifile.h"
#include "common/tdatetime.h"
#include "configuration/tmcrypt.h"
#include "support/dconsimprocess.h"
#include "support/headlessconsole.h"
#include "support/mariadb.h"
#include "support/ptybridge.h"
#include "support/qtapplication.h"
#include "support/stationclient.h"

namespace {

constexpr int kMinuteMs = 60000;

// Name=value pairs of a record text.
QMap<QString, QString> RecordItems(const QString& text) {
  QMap<QString, QString> items;
  for (const QString& item : text.split(u',')) {
    const qsizetype equals = item.indexOf(u'=');
    if (equals > 0) items.insert(item.left(equals), item.mid(equals + 1));
  }
  return items;
}

class StationEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApplication();
    const std::optional<MariaDbServer> server = MariaDbServer::Find();
    ASSERT_TRUE(server) << "no test database server (FLOT_MARIADB_DIR)";
    m_server = *server;
    m_database = u"flot_e2e_"_qs + QString::number(QCoreApplication::applicationPid());
    ASSERT_TRUE(m_home.isValid());
  }
  void TearDown() override {
    qunsetenv("FLOT_TEST_CLOCK");
    if (QSqlDatabase::contains(u"e2e"_qs)) {
      {
        QSqlDatabase db = QSqlDatabase::database(u"e2e"_qs);
        QSqlQuery(db).exec(u"DROP DATABASE IF EXISTS "_qs + m_database);
        db.close();
      }
      QSqlDatabase::removeDatabase(u"e2e"_qs);
    }
  }

  // The simulator's lines, the TCP server on a free port, the serial
  // station line as given, and the history database with the test account.
  void Configure(const QString& stationLine) {
    m_port = FreeTcpPort();
    ASSERT_TRUE(DconSimProcess::ConfigureConsole(m_home.path(), m_home.filePath(u"dcon-in"_qs),
                                                 m_home.filePath(u"dcon-out"_qs), 38400));
    IniFile ini(m_home.filePath(u"flotation-console.INI"_qs));
    IniUpdate update(ini);
    ini.WriteInteger(u"System"_qs, u"LanServer"_qs, 1);
    ini.WriteInteger(u"System"_qs, u"LanPort"_qs, m_port);
    ini.WriteString(u"COM"_qs, u"ServerLinkPort"_qs, stationLine);
    ini.WriteInteger(u"COM"_qs, u"LinkPortSpeed"_qs, 38400);
    ini.WriteInteger(u"MySQL"_qs, u"Disabled"_qs, 0);
    ini.WriteString(u"MySQL"_qs, u"Host"_qs, m_server.HostWithPort());
    ini.WriteString(u"MySQL"_qs, u"Login"_qs, m_server.User);
    ini.WriteInteger(u"MySQL"_qs, u"SavePassword"_qs, 1);
    Tmcrypt crypt;
    ini.WriteString(u"MySQL"_qs, u"Password"_qs, crypt.ScrambleText(m_server.Password));
    ASSERT_TRUE(update.Commit());
  }

  // Runs the collector once over "link" ("--tcp HOST:PORT" or "--serial DEV").
  int Collect(const QStringList& link) {
    QProcess collector;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"FLOT_STATION_DB_PASSWORD"_qs, m_server.Password);
    collector.setProcessEnvironment(environment);
    collector.setProgram(QStringLiteral(FLOT_STATION_BIN));
    collector.setArguments(link + QStringList{u"--db-host"_qs, m_server.Host, u"--db-port"_qs,
                                              QString::number(m_server.Port), u"--db-user"_qs, m_server.User,
                                              u"--database"_qs, m_database, u"--once"_qs});
    collector.start();
    if (!collector.waitForFinished(60000)) {
      collector.kill();
      collector.waitForFinished();
      ADD_FAILURE() << "collector did not finish";
      return -1;
    }
    m_collectorOutput = collector.readAllStandardError();
    return collector.exitCode();
  }

  QSqlDatabase Database() {
    if (!QSqlDatabase::contains(u"e2e"_qs)) {
      QSqlDatabase db = QSqlDatabase::addDatabase(u"QMYSQL"_qs, u"e2e"_qs);
      db.setHostName(m_server.Host);
      db.setPort(m_server.Port);
      db.setUserName(m_server.User);
      db.setPassword(m_server.Password);
      db.setDatabaseName(m_database);
      db.open();
    }
    return QSqlDatabase::database(u"e2e"_qs);
  }

  // Every row of puf_data, oldest first, as column=value texts.
  std::vector<QMap<QString, QVariant>> Rows() {
    std::vector<QMap<QString, QVariant>> rows;
    QSqlQuery query(Database());
    if (!query.exec(u"select * from puf_data order by RecMoment"_qs)) return rows;
    while (query.next()) {
      QMap<QString, QVariant> row;
      const QSqlRecord record = query.record();
      for (int i = 0; i < record.count(); ++i) row.insert(record.fieldName(i), query.value(i));
      rows.push_back(row);
    }
    return rows;
  }

  QStringList LogMessages() {
    QStringList messages;
    QSqlQuery query(Database());
    if (query.exec(u"select Message from puf_log order by Id"_qs)) {
      while (query.next()) messages << query.value(0).toString();
    }
    return messages;
  }

  // Starts the console again in the same folder and connects m_station anew.
  void RestartConsole() {
    m_station.Close();
    m_console = std::make_unique<HeadlessConsole>(m_home.path());
    ASSERT_TRUE(m_console->StartAndWaitUntilRunning()) << m_console->Stderr().constData();
    ASSERT_TRUE(m_console->WaitForStderr("query server on TCP port")) << m_console->Stderr().constData();
    ASSERT_TRUE(m_station.Connect(m_port));
    ASSERT_TRUE(m_station.ReadGreeting());
  }

  int UnsavedCount() {
    const QByteArray reply = m_station.Ask("PUF1", "GetUnsavedCount");
    return reply.startsWith("PUF1:GetUnsavedCount_OK:") ? reply.mid(24, reply.indexOf('<') - 24).toInt() : -1;
  }

  // Polls the console until "condition" holds; false after the deadline.
  bool WaitForCount(const std::function<bool(int)>& condition, int deadlineMs, int pollMs = 200) {
    QDeadlineTimer deadline(deadlineMs);
    while (!condition(UnsavedCount())) {
      if (deadline.hasExpired()) return false;
      QThread::msleep(static_cast<unsigned long>(pollMs));
    }
    return true;
  }

  // Configures the console for "stationLine", starts the simulator and the
  // console, and connects m_station to the console's query server.
  void StartChain(const QString& stationLine) {
    Configure(stationLine);
    m_sim = std::make_unique<DconSimProcess>(QStringList{"--pty", m_home.filePath("dcon-in"), "--pty",
                                                         m_home.filePath("dcon-out"), "--baud", "38400"});
    ASSERT_TRUE(m_sim->Start()) << m_sim->Stderr().constData();
    m_console = std::make_unique<HeadlessConsole>(m_home.path());
    ASSERT_TRUE(m_console->StartAndWaitUntilRunning()) << m_console->Stderr().constData();
    ASSERT_TRUE(m_console->WaitForStderr("query server on TCP port")) << m_console->Stderr().constData();
    ASSERT_TRUE(m_station.Connect(m_port));
    ASSERT_TRUE(m_station.ReadGreeting());
  }

  MariaDbServer m_server;
  QString m_database;
  QTemporaryDir m_home;
  int m_port = 0;
  QByteArray m_collectorOutput;
  std::unique_ptr<DconSimProcess> m_sim;
  std::unique_ptr<HeadlessConsole> m_console;
  StationClient m_station;
};

TEST_F(StationEndToEndTest, EveryMinuteArrivesOnceWithTheConsolesValues) {
  StartChain(u"/nonexistent/station"_qs);
  StationClient& station = m_station;

  // Wait for a finished minute: then the oldest waiting record is final.
  QDeadlineTimer deadline(kMinuteMs + 15000);
  int waiting = 0;
  while (waiting < 2 && !deadline.hasExpired()) {
    QThread::msleep(500);
    const QByteArray reply = station.Ask("PUF1", "GetUnsavedCount");
    waiting = reply.mid(24, reply.indexOf('<') - 24).toInt();
  }
  ASSERT_GE(waiting, 2);
  const QByteArray oldest = station.Ask("PUF1", "GetUnsavedRecord");
  ASSERT_TRUE(oldest.startsWith("PUF1:GetUnsavedRecord_OK:RecMoment='")) << oldest.constData();
  const QMap<QString, QString> reported = RecordItems(FromCp1251(oldest.mid(25, oldest.indexOf('<') - 25)));
  ASSERT_EQ(reported.size(), 37);

  ASSERT_EQ(Collect({u"--tcp"_qs, u"127.0.0.1:"_qs + QString::number(m_port)}), 0)
      << m_collectorOutput.constData();
  std::vector<QMap<QString, QVariant>> rows = Rows();
  ASSERT_GE(rows.size(), 2u);

  // The finished minute, value for value as the console reported it.
  const QMap<QString, QVariant>& first = rows.front();
  EXPECT_EQ(u"'"_qs + first.value(u"RecMoment"_qs).toDateTime().toString(u"yyyy-MM-dd hh:mm:ss"_qs) + u"'"_qs,
            reported.value(u"RecMoment"_qs));
  for (auto it = reported.begin(); it != reported.end(); ++it) {
    if (it.key() == u"RecMoment") continue;
    ASSERT_TRUE(first.contains(it.key())) << it.key().toStdString();
    EXPECT_EQ(first.value(it.key()).toDouble(), it.value().toDouble()) << it.key().toStdString();
  }
  // Nothing waits at the console but at most the current minute.
  const QByteArray after = station.Ask("PUF1", "GetUnsavedCount");
  EXPECT_LE(after.mid(24, after.indexOf('<') - 24).toInt(), 1) << after.constData();

  // A second collection once the console offers the current minute again
  // (after its next cycle) adds no second row for any minute and leaves no
  // minute out.
  QDeadlineTimer reoffered(5000);
  while (station.Ask("PUF1", "GetUnsavedCount") == BuildFrame("PUF1", "GetUnsavedCount_OK:0") &&
         !reoffered.hasExpired()) {
    QThread::msleep(100);
  }
  ASSERT_EQ(Collect({u"--tcp"_qs, u"127.0.0.1:"_qs + QString::number(m_port)}), 0)
      << m_collectorOutput.constData();
  rows = Rows();
  for (size_t i = 1; i < rows.size(); ++i) {
    EXPECT_EQ(
        rows[i - 1].value(u"RecMoment"_qs).toDateTime().secsTo(rows[i].value(u"RecMoment"_qs).toDateTime()),
        60)
        << "minutes " << i - 1 << " and " << i;
  }
  EXPECT_TRUE(LogMessages().contains(u"Автозапуск контроля аппаратуры."_qs))
      << LogMessages().join(u'|').toStdString();
  EXPECT_EQ(station.Ask("PUF1", "GetLogRecCount"), BuildFrame("PUF1", "GetLogRecCount_OK:0"));

  EXPECT_EQ(m_console->StopWith(SIGTERM), 0) << m_console->Stderr().constData();
}

// The console killed with SIGKILL between collections, once right as a
// minute ends (its record on the way to the journal), and started again:
// the station gets every minute that had ended unconfirmed, exactly once,
// with the values the console offered before the kill. The console's clock
// runs 30 times faster, so that a minute ends every two cycles.
TEST_F(StationEndToEndTest, AKilledConsoleLosesNoEndedMinuteAndRepeatsNone) {
  constexpr int kClockRate = 30;
  const qint64 origin = QDateTime::currentSecsSinceEpoch();
  qputenv("FLOT_TEST_CLOCK", QByteArray::number(kClockRate) + ' ' + QByteArray::number(origin));
  // The console's clock at a moment of ours.
  const auto consoleTime = [&](const QDateTime& real) {
    return QDateTime::fromMSecsSinceEpoch(origin * 1000 +
                                          (real.toMSecsSinceEpoch() - origin * 1000) * kClockRate);
  };
  StartChain(u"/nonexistent/station"_qs);

  std::map<QString, int> stores;  // minute -> times the collector stored it
  std::set<QString> lastOfRound;  // the newest of a round may have been running
  const auto collect = [&] {
    ASSERT_EQ(Collect({u"--tcp"_qs, u"127.0.0.1:"_qs + QString::number(m_port), u"--verbose"_qs}), 0)
        << m_collectorOutput.constData();
    QString last;
    for (const QByteArray& line : m_collectorOutput.split('\n')) {
      if (!line.startsWith("stored minute ")) continue;
      last = QString::fromLatin1(line.mid(14)).trimmed();
      ++stores[last];
    }
    if (!last.isEmpty()) lastOfRound.insert(last);
  };
  // Before each kill: the oldest unconfirmed minute as offered, and how many
  // minutes after it had ended.
  struct Offered {
    QByteArray Text;
    QString Minute;
    int EndedAfter = 0;
    QDateTime Killed;  // on the console's clock
  };
  std::vector<Offered> offered;

  std::mt19937 random(14);  // a fixed seed: the same kill moments every run
  for (int round = 0; round < 3; ++round) {
    const int before = UnsavedCount();
    ASSERT_GE(before, 0);
    if (round > 0) collect();
    // Three ended minutes or more wait for the station.
    ASSERT_TRUE(WaitForCount([](int n) { return n >= 4; }, 30000));

    Offered oldest;
    oldest.Text = m_station.Ask("PUF1", "GetUnsavedRecord");
    ASSERT_TRUE(oldest.Text.startsWith("PUF1:GetUnsavedRecord_OK:RecMoment='")) << oldest.Text.constData();
    oldest.Minute = QString::fromLatin1(oldest.Text.mid(36, 19));
    if (round == 1) {
      // Right as the next minute ends, while its record is being written.
      const int now = UnsavedCount();
      ASSERT_TRUE(WaitForCount([now](int n) { return n > now; }, 10000, 5));
    } else {
      QThread::msleep(std::uniform_int_distribution<unsigned long>(0, 980)(random));
    }
    oldest.EndedAfter = UnsavedCount() - 2;  // without itself and the running minute
    oldest.Killed = consoleTime(QDateTime::currentDateTime());
    m_console->StopWith(SIGKILL);
    offered.push_back(oldest);
    RestartConsole();

    // The same minute is offered first, in the same words.
    EXPECT_EQ(m_station.Ask("PUF1", "GetUnsavedRecord"), oldest.Text) << "round " << round;
    EXPECT_GE(UnsavedCount(), oldest.EndedAfter + 1) << "round " << round;
  }
  collect();

  const std::vector<QMap<QString, QVariant>> rows = Rows();
  std::map<QString, QMap<QString, QVariant>> rowOf;
  for (const auto& row : rows) {
    rowOf[row.value(u"RecMoment"_qs).toDateTime().toString(u"yyyy-MM-dd hh:mm:ss"_qs)] = row;
  }
  for (const Offered& o : offered) {
    // The minute and every minute that had ended after it reached the database.
    // (A cycle late under load may skip a minute of the fast clock, so the
    // minutes are counted, not named.)
    const QDateTime first = QDateTime::fromString(o.Minute, u"yyyy-MM-dd hh:mm:ss"_qs);
    int endedBeforeTheKill = 0;
    QString seen;
    for (const auto& [minute, row] : rowOf) {
      const QDateTime moment = row.value(u"RecMoment"_qs).toDateTime();
      if (moment >= first && moment.addSecs(60) <= o.Killed) ++endedBeforeTheKill;
      seen += minute + u' ';
    }
    EXPECT_GE(endedBeforeTheKill, o.EndedAfter + 1)
        << o.Minute.toStdString() << " killed at " << o.Killed.toString(u"hh:mm:ss"_qs).toStdString()
        << " rows " << seen.toStdString();
    // Value for value as offered before the kill.
    const QMap<QString, QString> reported = RecordItems(FromCp1251(o.Text.mid(25, o.Text.indexOf('<') - 25)));
    ASSERT_TRUE(rowOf.count(o.Minute));
    const QMap<QString, QVariant>& row = rowOf[o.Minute];
    for (auto it = reported.begin(); it != reported.end(); ++it) {
      if (it.key() == u"RecMoment") continue;
      EXPECT_EQ(row.value(it.key()).toDouble(), it.value().toDouble())
          << o.Minute.toStdString() << it.key().toStdString();
    }
  }
  // A minute that had ended when the collector took it is taken once, kills or not.
  for (const auto& [minute, times] : stores) {
    if (lastOfRound.count(minute) == 0) {
      EXPECT_EQ(times, 1) << minute.toStdString();
    }
  }
  EXPECT_GE(stores.size(), 8u);

  EXPECT_EQ(m_console->StopWith(SIGTERM), 0) << m_console->Stderr().constData();
}

TEST_F(StationEndToEndTest, CollectorOnTheSerialStationLine) {
  PtyBridge cable;
  StartChain(cable.First());
  StationClient& station = m_station;

  // The current minute's record exists after the first acquisition cycle.
  QDeadlineTimer deadline(15000);
  while (station.Ask("PUF1", "GetUnsavedCount") != BuildFrame("PUF1", "GetUnsavedCount_OK:1") &&
         !deadline.hasExpired()) {
    QThread::msleep(200);
  }

  ASSERT_EQ(Collect({u"--serial"_qs, cable.Second(), u"--baud"_qs, u"38400"_qs}), 0)
      << m_collectorOutput.constData();
  const std::vector<QMap<QString, QVariant>> rows = Rows();
  ASSERT_GE(rows.size(), 1u);
  EXPECT_EQ(rows.back().size(), 37);
  EXPECT_TRUE(LogMessages().contains(u"Автозапуск контроля аппаратуры."_qs))
      << LogMessages().join(u'|').toStdString();

  EXPECT_EQ(m_console->StopWith(SIGTERM), 0) << m_console->Stderr().constData();
}

}  // namespace
