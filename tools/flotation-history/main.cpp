// flotation-history: fills puf_data with a month of plausible minute records, so that the
// trend windows and the summary table have a past to show. See README.md.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

#include "common/buildtext.h"
#include "consoleini.h"
#include "historyfill.h"
#include "historyoptions.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void WriteLine(const QString& line) {
  const QByteArray bytes = line.toLocal8Bit() + '\n';
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
  std::fflush(stderr);
}

QString Local(const QDateTime& moment) {
  return moment.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  HistoryOptions options;
  QString error;
  if (!ParseHistoryOptions(QCoreApplication::arguments(), qEnvironmentVariable("FLOT_STATION_DB_PASSWORD"),
                           QDateTime::currentDateTime(), options, error)) {
    WriteLine(QStringLiteral("flotation-history: %1\n%2").arg(error, HistoryUsage()));
    return kExitUsage;
  }
  if (options.Help) {
    std::fputs(HistoryUsage().toLocal8Bit().constData(), stdout);
    return kExitOk;
  }
  if (options.Version) {
    PrintVersion("flotation-history");
    return kExitOk;
  }

  QElapsedTimer clock;
  clock.start();
  const FillResult result = FillHistory(options.Fill);
  if (!result.Ok) {
    WriteLine(QStringLiteral("flotation-history: %1").arg(result.Error));
    return kExitFailure;
  }
  if (result.LeftAlone) {
    WriteLine(QStringLiteral("flotation-history: puf_data already holds rows; left alone"));
  } else {
    WriteLine(QStringLiteral("flotation-history: %1 minutes from %2 to %3 stored in %4 s")
                  .arg(result.Rows)
                  .arg(Local(result.First), Local(options.Fill.End))
                  .arg(double(clock.elapsed()) / 1000.0, 0, 'f', 1));
  }

  if (!options.ConsoleIni.isEmpty()) {
    int lanPort = 0;
    if (!PointConsoleAt(options.ConsoleIni, options.Fill.Database, options.SimulatorScale, lanPort, error)) {
      WriteLine(QStringLiteral("flotation-history: %1").arg(error));
      return kExitFailure;
    }
    WriteLine(QStringLiteral("flotation-history: %1 reads the history from %2:%3 as %4")
                  .arg(options.ConsoleIni, options.Fill.Database.Host)
                  .arg(options.Fill.Database.Port)
                  .arg(options.Fill.Database.User));
    std::printf("LanPort=%d\n", lanPort);
  }
  return kExitOk;
}
