// station_backlog: how long the station takes to collect three days of minute records (4320)
// that a console kept while the station was away. A fake console on loopback holds the records;
// the collector drains them in-process into a private MariaDB, one transaction and one
// acknowledgement per record, as in service. Goal: under 60 s on the 2-core development machine.
//
//   build/bin/station_backlog            starts its own server with scripts/mariadb
//   FLOT_MARIADB_DIR=DIR station_backlog uses the running server described by DIR/env

#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>
#include <optional>

#include "collector.h"
#include "support/fakeconsole.h"
#include "stationdatabase.h"
#include "support/mariadb.h"
#include "tcpstationlink.h"

namespace {

constexpr int kRecords = 3 * 24 * 60;
constexpr double kGoalSeconds = 60.0;

bool RunScript(const char* action, const QString& dir) {
  QProcess script;
  script.setProcessChannelMode(QProcess::ForwardedChannels);
  script.start(QStringLiteral(FLOT_MARIADB_SCRIPT), {QString::fromLatin1(action), dir});
  return script.waitForFinished(180000) && script.exitStatus() == QProcess::NormalExit &&
         script.exitCode() == 0;
}

QString ServerSetting(QSqlDatabase& database, const char* name) {
  QSqlQuery query(database);
  if (!query.exec(QStringLiteral("SELECT @@%1").arg(QString::fromLatin1(name))) || !query.next())
    return QStringLiteral("?");
  return query.value(0).toString();
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);

  // A server of our own unless one is named.
  std::optional<QTemporaryDir> ownServer;
  if (qEnvironmentVariableIsEmpty("FLOT_MARIADB_DIR")) {
    ownServer.emplace();
    if (!ownServer->isValid() || !RunScript("start", ownServer->path())) {
      std::fprintf(stderr, "station_backlog: cannot start a server with %s\n", FLOT_MARIADB_SCRIPT);
      return 1;
    }
    qputenv("FLOT_MARIADB_DIR", ownServer->path().toLocal8Bit());
  }
  int status = 1;
  {
    const std::optional<MariaDbServer> server = MariaDbServer::Find();
    if (!server) {
      std::fprintf(stderr, "station_backlog: no server described in FLOT_MARIADB_DIR/env\n");
    } else {
      StationDatabaseSettings settings;
      settings.Host = server->Host;
      settings.Port = server->Port;
      settings.User = server->User;
      settings.Password = server->Password;
      settings.Database = QStringLiteral("flot_bench_%1").arg(getpid());

      FakeConsole console;
      const QDateTime first = QDateTime::currentDateTime().addDays(-3);
      for (int index = 0; index < kRecords; ++index)
        console.OfferMinute(MakeFakeMinute(first.addSecs(60LL * index), uint32_t(index + 1)).Text());
      if (!console.Start()) {
        std::fprintf(stderr, "station_backlog: the fake console cannot listen\n");
        return 1;
      }
      TcpStationLink link(QStringLiteral("127.0.0.1"), console.Port(), "PUF1", 3000);
      StationDatabase database(settings);
      Collector collector(link, database, CollectorOutput{[](const QString& line) {
                            std::fprintf(stderr, "%s\n", qPrintable(line));
                          }});

      QString error;
      if (!database.Open(error)) {  // creates the database and tables outside the timing
        std::fprintf(stderr, "station_backlog: %s\n", qPrintable(error));
      } else {
        QElapsedTimer timer;
        timer.start();
        const DrainResult result = collector.Drain();
        const double seconds = double(timer.nsecsElapsed()) / 1e9;

        QSqlDatabase admin =
            QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), QStringLiteral("bench-admin"));
        admin.setHostName(settings.Host);
        admin.setPort(settings.Port);
        admin.setUserName(settings.User);
        admin.setPassword(settings.Password);
        int rows = -1;
        QString flush = QStringLiteral("?");
        if (admin.open()) {
          QSqlQuery query(admin);
          if (query.exec(QStringLiteral("SELECT COUNT(*) FROM %1.puf_data").arg(settings.Database)) &&
              query.next())
            rows = query.value(0).toInt();
          flush = ServerSetting(admin, "innodb_flush_log_at_trx_commit");
          query.exec(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(settings.Database));
        }
        admin.close();
        admin = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("bench-admin"));

        const int acknowledged = int(console.Acknowledged().size());
        std::printf("records %d, stored %d, rows %d, acknowledged %d%s\n", kRecords, result.MinutesStored,
                    rows, acknowledged,
                    result.Ok ? "" : qPrintable(QStringLiteral(" (drain failed: %1)").arg(result.Error)));
        std::printf("drain %.2f s, %.0f records/s, %.2f ms a record (innodb_flush_log_at_trx_commit=%s)\n",
                    seconds, kRecords / seconds, 1000.0 * seconds / kRecords, qPrintable(flush));
        const bool complete = result.Ok && rows == kRecords && acknowledged == kRecords;
        std::printf("%s (goal: all %d in under %.0f s)\n",
                    complete && seconds < kGoalSeconds ? "PASS" : "FAIL", kRecords, kGoalSeconds);
        status = complete && seconds < kGoalSeconds ? 0 : 1;
      }
    }
  }
  if (ownServer && !RunScript("stop", ownServer->path()))
    std::fprintf(stderr, "station_backlog: server stop failed\n");
  return status;
}
