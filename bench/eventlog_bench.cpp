// Cost of posting to the event log. Posting must never wait for a disk: the
// drain that writes files runs elsewhere, so posting is measured against a
// queue that another thread keeps draining into a file on disk.
#include <benchmark/benchmark.h>
#include <QTemporaryDir>
#include <atomic>
#include <thread>

#include "storage/eventfifo.h"
#include "storage/eventlog.h"
#include "storage/logfile.h"

namespace {

const QString kMessage = QStringLiteral("Поток приема: Не могу подключить порт /dev/ttyUSB0");

// Posting into a queue that is never full: it is emptied, outside the timing,
// whenever it is three quarters full.
void BM_AddLogMessage(benchmark::State& state) {
  TEventFIFO fifo(kEventFIFOCapacity);
  LogEnvironment& environment = SystemLogEnvironment();
  TEventFIFO_Rec record;
  for (auto _ : state) {
    benchmark::DoNotOptimize(AddLogMessage(fifo, kMessage, 0, environment));
    if (fifo.GetCount() >= kEventFIFOCapacity * 3 / 4) {
      state.PauseTiming();
      while (fifo.Get(record)) {
      }
      state.ResumeTiming();
    }
  }
}
BENCHMARK(BM_AddLogMessage);

// The parts of a post: the time stamps, and the queue itself.
void BM_LogTimeStamps(benchmark::State& state) {
  LogEnvironment& environment = SystemLogEnvironment();
  for (auto _ : state) {
    benchmark::DoNotOptimize(environment.Now());
    benchmark::DoNotOptimize(environment.TickCount());
  }
}
BENCHMARK(BM_LogTimeStamps);

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
