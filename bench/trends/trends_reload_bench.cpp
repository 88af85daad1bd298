// A flotation trend window reloading a whole day (1440 rows, five graphs)
// from a private MariaDB, from Reload() until the last graph has painted its
// new picture; and, in the same run and from the same table, the `mariadb`
// command-line client fetching the same rows (a process of its own, start
// and connection included, and the same client connecting to run "select 1",
// to tell those apart) and a bare QSqlQuery fetching them on this thread
// through Qt's MySQL driver (every value read).
//
//   trends_reload_bench                       starts its own server (scripts/mariadb)
//   FLOT_MARIADB_DIR=DIR trends_reload_bench  uses the running server of DIR/env
//
// Offscreen unless QT_QPA_PLATFORM says otherwise. FLOT_BENCH_PICTURES=DIR
// saves the reloaded window there as a PNG file.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPixmap>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <memory>

#include "benchsummary.h"
#include "trendbenchdatabase.h"
#include "ui/trends/formflotgraph.h"
#include "ui/trends/levelgraph.h"

namespace {

constexpr int kDeadlineMs = 20000;
constexpr double kReloadGoalMs = 60;
// The console's trend windows are maximized children of a 1280 x 1024 frame.
constexpr int kWindowWidth = 1280;
constexpr int kWindowHeight = 940;

TrendBenchDatabase* g_database = nullptr;

class Window {
 public:
  Window() {
    TrendSource source;
    source.DatabaseConnected = [] { return g_database->Thread().Connected(); };
    source.Database = &g_database->Thread();
    source.AddLogMessage = [](const QString& line) { std::fprintf(stderr, "log: %s\n", qPrintable(line)); };
    // The next day: the interval lies in the past, nothing polls.
    source.Now = [] { return TrendBenchDatabase::Day() + 1.5; };
    m_form = std::make_unique<TFormFlotGraph>(0, std::move(source), m_home.path());
    m_form->TimerUpdate().stop();
    m_form->resize(kWindowWidth, kWindowHeight);
    m_form->show();
    QElapsedTimer waited;
    waited.start();
    while (!(m_form->windowHandle() != nullptr && m_form->windowHandle()->isExposed()) &&
           waited.elapsed() < 5000)
      QApplication::processEvents();
    m_form->ShowAllGraphs();
    const TDateTime day = TrendBenchDatabase::Day();
    m_form->DateTimePicker1().setDate(QDateTimeFromDateTime(day).date());
    m_form->ComboBox1().setCurrentIndex(2);
    QObject::connect(m_form.get(), &TTrendWindow::LoadFinished, &m_loop, &QEventLoop::quit);
    QApplication::processEvents();
  }

  // Reload() until the load has finished and every graph has drawn its
  // picture; false when that did not happen within the deadline.
  bool Reload() {
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &m_loop, [this] { m_loop.exit(1); });
    deadline.start(kDeadlineMs);
    m_form->Reload();
    if (m_form->LoadBusy() && m_loop.exec() != 0) return false;
    QElapsedTimer painting;
    painting.start();
    while (AnyGraphWaiting()) {
      if (painting.elapsed() > kDeadlineMs) return false;
      QApplication::processEvents();
    }
    return true;
  }

  // Slots of the first graph's series that hold a value.
  int FilledSlots() const {
    int filled = 0;
    for (int slot = 0; slot < TLevelGraph::kSlotCount; ++slot)
      filled += m_form->Graph(0)->SlotAt(0, slot).Present;
    return filled;
  }

  QPixmap Grab() const { return m_form->grab(); }

  int SlotCount() const { return m_form->Graph(0)->IntervalPointCount(); }

  int Redraws() const {
    int redraws = 0;
    for (int i = 0; i < TFormFlotGraph::kGraphCount; ++i) redraws += m_form->Graph(i)->RedrawCount();
    return redraws;
  }

 private:
  bool AnyGraphWaiting() const {
    for (int i = 0; i < TFormFlotGraph::kGraphCount; ++i)
      if (m_form->Graph(i)->NeedRepaint()) return true;
    return false;
  }

  QTemporaryDir m_home;
  QEventLoop m_loop;
  std::unique_ptr<TFormFlotGraph> m_form;
};

void BM_FlotWindowReload(benchmark::State& state) {
  Window window;
  if (!window.Reload()) {  // warms the caches and the driver up
    state.SkipWithError("the first reload did not finish");
    return;
  }
  const int before = window.Redraws();
  for (auto _ : state) {
    if (!window.Reload()) {
      state.SkipWithError("a reload did not finish within the deadline");
      return;
    }
  }
  // The picture that was timed, to look at.
  const QString pictures = qEnvironmentVariable("FLOT_BENCH_PICTURES");
  if (!pictures.isEmpty()) window.Grab().save(pictures + QStringLiteral("/flotgraph-reloaded.png"));
  const int filled = window.FilledSlots();
  state.counters["filled_slots"] = filled;
  state.counters["redraws"] =
      benchmark::Counter(window.Redraws() - before, benchmark::Counter::kAvgIterations);
  // A day less a second has room for 1439 whole minutes: the row of 06:59 has no slot.
  if (filled != window.SlotCount()) {
    std::fprintf(stderr, "filled %d of %d slots\n", filled, window.SlotCount());
    state.SkipWithError("the graph does not hold the day");
  }
}
BENCHMARK(BM_FlotWindowReload)->UseRealTime()->Unit(benchmark::kMillisecond);

// Argument 1: forward only (the driver need not keep the rows for scrolling back).
void BM_QtSqlFetch(benchmark::State& state) {
  QSqlDatabase database = QSqlDatabase::database(g_database->QtConnectionName());
  const QString text = g_database->TrendQuery();
  int rows = 0;
  for (auto _ : state) {
    QSqlQuery query(database);
    query.setForwardOnly(state.range(0) == 1);
    if (!query.exec(text)) {
      state.SkipWithError("the query failed");
      return;
    }
    rows = 0;
    double sum = 0;
    const int columns = query.record().count();
    while (query.next()) {
      benchmark::DoNotOptimize(query.value(0).toDateTime());
      for (int column = 1; column < columns; ++column) sum += query.value(column).toDouble();
      ++rows;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.counters["rows"] = rows;
  if (rows != TrendBenchDatabase::kRows) state.SkipWithError("not all rows came back");
}
BENCHMARK(BM_QtSqlFetch)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// Argument 0: the day's rows; 1: "select 1" (process start and connection).
void BM_MariadbClient(benchmark::State& state) {
  const MariaDbServer& server = g_database->Server();
  const QString sql = state.range(0) == 0 ? g_database->TrendQuery() : QStringLiteral("select 1");
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
  qint64 bytes = 0;
  for (auto _ : state) {
    QProcess client;
    client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    client.start(QStringLiteral("mariadb"), arguments);
    if (!client.waitForStarted(kDeadlineMs)) {
      state.SkipWithError("mariadb does not start (apt-get install mariadb-client)");
      return;
    }
    bytes = 0;
    // Read as it comes, so that the client never waits for a full pipe.
    while (client.state() != QProcess::NotRunning) {
      client.waitForReadyRead(kDeadlineMs);
      bytes += client.readAllStandardOutput().size();
    }
    bytes += client.readAllStandardOutput().size();
    if (client.exitStatus() != QProcess::NormalExit || client.exitCode() != 0) {
      state.SkipWithError("mariadb failed");
      return;
    }
  }
  state.counters["output_bytes"] = double(bytes);
}
BENCHMARK(BM_MariadbClient)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void PrintSummary(const BenchSummary& summary) {
  std::printf("\nplatform %s, %d rows a day\n", qPrintable(QApplication::platformName()),
              TrendBenchDatabase::kRows);
  const double reload = summary.Ms("BM_FlotWindowReload");
  BenchSummary::Line("flotation window: Reload() until the last graph is drawn", reload,
                     reload < kReloadGoalMs, "under 60 ms");
  BenchSummary::Line("QSqlQuery on this thread, every value read", summary.Ms("BM_QtSqlFetch/0"), true,
                     nullptr);
  BenchSummary::Line("QSqlQuery forward only, every value read", summary.Ms("BM_QtSqlFetch/1"), true,
                     nullptr);
  BenchSummary::Line("mariadb client process, the same query", summary.Ms("BM_MariadbClient/0"), true,
                     nullptr);
  BenchSummary::Line("mariadb client process, \"select 1\"", summary.Ms("BM_MariadbClient/1"), true, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  int status = 1;
  {
    TrendBenchDatabase database;
    QString error;
    if (!database.Open(error)) {
      std::fprintf(stderr, "trends_reload_bench: %s\n", qPrintable(error));
    } else {
      g_database = &database;
      BenchSummary summary;
      benchmark::RunSpecifiedBenchmarks(&summary);
      PrintSummary(summary);
      g_database = nullptr;
      status = 0;
    }
  }
  benchmark::Shutdown();
  return status;
}
