// Cost of posting to the event log. Posting must never wait for a disk: the
// drain that writes files runs elsewhere, so posting is measured against a
// queue that another thread keeps draining into a file on disk.
#include <QTemporaryDir>
#include <atomic>
#include <benchmark/benchmark.h>
#include <thread>

#include "storage/eventfifo.h"
#include "storage/eventlog.h"
#include "storage/logfile.h"

namespace {

const QString kMessage = QStringLiteral("Поток приема: Не могу подключить порт /dev/ttyUSB0");

// Posting into a queue that is never full (one Get per Put keeps it short).
void BM_AddLogMessage(benchmark::State& state) {
  TEventFIFO fifo(kEventFIFOCapacity);
  LogEnvironment& environment = SystemLogEnvironment();
  TEventFIFO_Rec record;
  for (auto _ : state) {
    benchmark::DoNotOptimize(AddLogMessage(fifo, kMessage, 0, environment));
    state.PauseTiming();
    fifo.Get(record);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_AddLogMessage);

// Posting while a second thread drains the same queue into daily files,
// the way the user-interface thread does: the poster never waits for the disk.
void BM_AddLogMessageWhileDraining(benchmark::State& state) {
  QTemporaryDir dir;
  TEventFIFO fifo(kEventFIFOCapacity);
  LogEnvironment& environment = SystemLogEnvironment();
  LogFileWriter writer(dir.path(), environment);
  TEventLogDrain drain(fifo, writer, nullptr);
  std::atomic<bool> stop{false};
  std::thread drainer([&] {
    while (!stop.load()) {
      if (drain.Drain(true) == 0) std::this_thread::yield();
    }
  });
  int64_t refused = 0;
  for (auto _ : state) {
    if (!AddLogMessage(fifo, kMessage, 0, environment)) ++refused;
  }
  stop = true;
  drainer.join();
  state.counters["refused_full_queue"] = static_cast<double>(refused);
}
BENCHMARK(BM_AddLogMessageWhileDraining)->Iterations(20000);

}  // namespace

BENCHMARK_MAIN();
