// flotation-station: the central station's collector. Polls a console over TCP or its serial
// station line and stores its minute records and log records in MySQL. See README.md.

#include <signal.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <memory>

#include "collector.h"
#include "common/buildtext.h"
#include "serialstationlink.h"
#include "stationdatabase.h"
#include "stationoptions.h"
#include "tcpstationlink.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kReplyTimeoutMs = 3000;
// --once tries this often before it gives up, so that one dropped connection is not a failure.
constexpr int kOnceAttempts = 3;
constexpr int kMaxBackoffSeconds = 60;

std::atomic<bool> g_stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void RequestStop(int) {
  g_stopRequested.store(true, std::memory_order_relaxed);
}

void WriteLine(const QString& line) {
  const QByteArray bytes = line.toLocal8Bit() + '\n';
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
  std::fflush(stderr);
}

// Waits, but wakes up at once when a stop is requested.
void Pause(int seconds) {
  const QDeadlineTimer deadline(seconds * 1000LL);
  while (!deadline.hasExpired() && !g_stopRequested.load(std::memory_order_relaxed)) QThread::msleep(100);
}

std::unique_ptr<StationLink> MakeLink(const StationOptions& options) {
  if (options.Link == StationOptions::LinkKind::Tcp)
    return std::make_unique<TcpStationLink>(options.TcpHost, options.TcpPort, options.Prefix,
                                            kReplyTimeoutMs);
  return std::make_unique<SerialStationLink>(options.SerialDevice, options.Baud, options.Prefix,
                                             kReplyTimeoutMs);
}

void ReportDrain(const DrainResult& result, bool verbose) {
  if (!result.Ok) WriteLine(QStringLiteral("error: %1").arg(result.Error));
  if (verbose && (result.MinutesStored > 0 || result.LogLinesStored > 0 || result.RecordsRejected > 0))
    WriteLine(QStringLiteral("collected %1 minute(s), %2 log line(s), %3 rejected")
                  .arg(result.MinutesStored)
                  .arg(result.LogLinesStored)
                  .arg(result.RecordsRejected));
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  StationOptions options;
  QString error;
  QStringList warnings;
  if (!ParseStationOptions(QCoreApplication::arguments(), qEnvironmentVariable("FLOT_STATION_DB_PASSWORD"),
                           options, warnings, error)) {
    WriteLine(QStringLiteral("flotation-station: %1\n%2").arg(error, StationUsage()));
    return kExitUsage;
  }
  if (options.Help) {
    std::fputs(StationUsage().toLocal8Bit().constData(), stdout);
    return kExitOk;
  }
  if (options.Version) {
    PrintVersion("flotation-station");
    return kExitOk;
  }

  for (const QString& warning : warnings) WriteLine(QStringLiteral("flotation-station: warning: %1").arg(warning));
  if (!options.Once) {
    WriteLine(QStringLiteral("flotation-station: collecting from %1 into %2 on %3:%4 as %5")
                  .arg(options.Link == StationOptions::LinkKind::Tcp
                           ? QStringLiteral("%1:%2").arg(options.TcpHost).arg(options.TcpPort)
                           : options.SerialDevice,
                       options.Database.Database, options.Database.Host)
                  .arg(options.Database.Port)
                  .arg(options.Database.User));
  }

  // No SA_RESTART: a blocking wait returns, sees the flag after the current exchange and ends.
  struct sigaction action {};
  action.sa_handler = RequestStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  std::unique_ptr<StationLink> link = MakeLink(options);
  StationDatabase database(options.Database);
  Collector collector(*link, database, CollectorOutput{WriteLine, options.Verbose}, &g_stopRequested);

  if (options.Once) {
    for (int attempt = 1; attempt <= kOnceAttempts; ++attempt) {
      const DrainResult result = collector.Drain();
      ReportDrain(result, options.Verbose);
      if (result.Ok) return kExitOk;
      if (g_stopRequested.load() || attempt == kOnceAttempts) break;
      Pause(attempt);
    }
    return kExitFailure;
  }

  int backoffSeconds = 1;
  while (!g_stopRequested.load(std::memory_order_relaxed)) {
    const DrainResult result = collector.Drain();
    ReportDrain(result, options.Verbose);
    if (result.Ok) {
      backoffSeconds = 1;
      Pause(options.IntervalSeconds);
    } else {
      // A console or a database that is restarting is not asked again every second.
      WriteLine(QStringLiteral("retrying in %1 s").arg(backoffSeconds));
      Pause(backoffSeconds);
      backoffSeconds = std::min(backoffSeconds * 2, std::max(kMaxBackoffSeconds, options.IntervalSeconds));
    }
  }
  link->Close();
  return kExitOk;
}
