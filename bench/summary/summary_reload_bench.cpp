// The summary table reloading the 31st of a month whose 31 days hold a
// minute record each minute (31 x 1440 rows): from Reload() until the last
// of its four blocks is filled; and, in the same run and from the same
// table, the `mariadb` command-line client running the same four sums (one
// process, start and connection included, and the same client running
// "select 1", to tell those apart). Both with the table keyed on RecMoment,
// as the station makes it, and with the key dropped, as a table made by hand
// may be.
//
//   summary_reload_bench                       starts its own server (scripts/mariadb)
//   FLOT_MARIADB_DIR=DIR summary_reload_bench  uses the running server of DIR/env
//
// Offscreen unless QT_QPA_PLATFORM says otherwise.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "benchsummary.h"
#include "trendbenchdatabase.h"
#include "ui/common/shift.h"
#include "ui/trends/formsvodtable.h"
#include "ui/trends/summaryreader.h"

namespace {

constexpr int kDeadlineMs = 30000;
constexpr double kReloadGoalMs = 60;
constexpr int kDays = 31;
const TDateTime kDay = EncodeDateTime(2026, 3, 31);

TrendBenchDatabase* g_database = nullptr;

// Gives the table its primary key or takes it away, outside the timing.
bool SetKeyed(bool keyed) {
  static bool isKeyed = true;
  if (keyed == isKeyed) return true;
  QSqlQuery query(QSqlDatabase::database(g_database->QtConnectionName()));
  const QString statement = keyed ? QStringLiteral("ALTER TABLE puf_data ADD PRIMARY KEY (RecMoment)")
                                  : QStringLiteral("ALTER TABLE puf_data DROP PRIMARY KEY");
  if (!query.exec(statement)) {
    std::fprintf(stderr, "%s: %s\n", qPrintable(statement), qPrintable(query.lastError().text()));
    return false;
  }
  isKeyed = keyed;
  return true;
}

// The four intervals of a reload of kDay, as the window builds them.
std::vector<SummaryInterval> Intervals() {
  TDateTime start = 0;
  TDateTime stop = 0;
  std::vector<SummaryInterval> intervals;
  for (int shift : {1, 2, 3}) {
    ShiftRange(kDay, shift, start, stop);
    intervals.push_back({start, stop});
  }
  TDateTime monthStart = 0;
  ShiftRange(kDay - 30, 3, monthStart, stop);
  intervals.push_back({monthStart, intervals.back().Stop});
  return intervals;
}

class Window {
 public:
  Window() {
    SummarySource source;
    source.DatabaseConnected = [] { return g_database->Thread().Connected(); };
    source.Database = &g_database->Thread();
    source.AddLogMessage = [](const QString& line) { std::fprintf(stderr, "log: %s\n", qPrintable(line)); };
    // The next morning: the day has ended, nothing polls.
    source.Now = [] { return kDay + 1.5; };
    m_form = std::make_unique<TFormSvodTable>(std::move(source));
    m_form->TimerUpdate().stop();
    m_form->resize(1280, 940);
    m_form->show();
    m_form->DateTimePicker1().setDate(QDateTimeFromDateTime(kDay).date());
    QObject::connect(m_form.get(), &TFormSvodTable::LoadFinished, &m_loop, &QEventLoop::quit);
    QApplication::processEvents();
  }

  bool Reload() {
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &m_loop, [this] { m_loop.exit(1); });
    deadline.start(kDeadlineMs);
    m_form->Reload();
    return !m_form->LoadBusy() || m_loop.exec() == 0;
  }

  // The month block's pulp total (L4, VF, SUM).
  double MonthPulp() const { return m_form->Figure(3, 0, 2); }

 private:
  QEventLoop m_loop;
  std::unique_ptr<TFormSvodTable> m_form;
};

// Argument 1: keyed on RecMoment; 0: no key.
void BM_SummaryReload(benchmark::State& state) {
  if (!SetKeyed(state.range(0) == 1)) {
    state.SkipWithError("the key could not be changed");
    return;
  }
  Window window;
  if (!window.Reload()) {  // warms the caches and the driver up
    state.SkipWithError("the first reload did not finish");
    return;
  }
  for (auto _ : state) {
    if (!window.Reload()) {
      state.SkipWithError("a reload did not finish within the deadline");
      return;
    }
  }
  state.counters["month_pulp_m3"] = window.MonthPulp();
  if (!(window.MonthPulp() > 0)) state.SkipWithError("the month block stayed empty");
}
BENCHMARK(BM_SummaryReload)->Arg(1)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);

// Argument 1 / 0 as above; 2: "select 1" (process start and connection).
void BM_MariadbClientSums(benchmark::State& state) {
  if (!SetKeyed(state.range(0) != 0)) {
    state.SkipWithError("the key could not be changed");
    return;
  }
  const MariaDbServer& server = g_database->Server();
  QString sql;
  if (state.range(0) == 2) {
    sql = QStringLiteral("select 1");
  } else {
    for (const SummaryInterval& interval : Intervals())
      sql += TSummaryReader::QueryText(interval.Start, interval.Stop, DefaultSummaryConstants()) + u';';
  }
  const QStringList arguments = {
      QStringLiteral("--no-defaults"),
      QStringLiteral("--protocol=tcp"),
      QStringLiteral("--host=") + server.Host,
      QStringLiteral("--port=") + QString::number(server.Port),
      QStringLiteral("--user=") + server.User,
      QStringLiteral("--password=") + server.Password,
      QStringLiteral("--batch"),
      QStringLiteral("--database=") + g_database->DatabaseName(),
      QStringLiteral("--execute=") + sql,
  };
  for (auto _ : state) {
    QProcess client;
    client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    client.start(QStringLiteral("mariadb"), arguments);
    if (!client.waitForStarted(kDeadlineMs) || !client.waitForFinished(kDeadlineMs)) {
      state.SkipWithError("mariadb does not run (apt-get install mariadb-client)");
      return;
    }
    benchmark::DoNotOptimize(client.readAllStandardOutput());
    if (client.exitStatus() != QProcess::NormalExit || client.exitCode() != 0) {
      state.SkipWithError("mariadb failed");
      return;
    }
  }
}
BENCHMARK(BM_MariadbClientSums)->Arg(1)->Arg(2)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);

void PrintSummary(const BenchSummary& summary) {
  std::printf("\nplatform %s, %d rows (%d days)\n", qPrintable(QApplication::platformName()),
              g_database->RowCount(), kDays);
  const double keyed = summary.Ms("BM_SummaryReload/1");
  BenchSummary::Line("summary table: Reload() of the 31st until the four blocks are filled", keyed,
                     keyed < kReloadGoalMs, "under 60 ms");
  BenchSummary::Line("mariadb client process, the same four sums", summary.Ms("BM_MariadbClientSums/1"), true,
                     nullptr);
  BenchSummary::Line("mariadb client process, \"select 1\"", summary.Ms("BM_MariadbClientSums/2"), true,
                     nullptr);
  BenchSummary::Line("without the primary key: summary table", summary.Ms("BM_SummaryReload/0"), true,
                     nullptr);
  BenchSummary::Line("without the primary key: mariadb client", summary.Ms("BM_MariadbClientSums/0"), true,
                     nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  int status = 1;
  {
    TrendBenchDatabase database(kDay, kDays);
    QString error;
    if (!database.Open(error)) {
      std::fprintf(stderr, "summary_reload_bench: %s\n", qPrintable(error));
    } else {
      g_database = &database;
      BenchSummary summary;
      benchmark::RunSpecifiedBenchmarks(&summary);
      PrintSummary(summary);
      SetKeyed(true);
      g_database = nullptr;
      status = 0;
    }
  }
  benchmark::Shutdown();
  return status;
}
