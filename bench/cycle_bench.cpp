// Cost of one acquisition cycle after the modules have answered, and the heap
// that a full list of minute records takes. The read thread has about one
// second per cycle, and the records of three days stay in memory.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <memory>

#include "configuration/config.h"
#include "process/acquisition.h"
#include "process/dosing.h"
#include "process/processstate.h"

namespace {

constexpr double kSecond = 1.0 / 86400.0;
constexpr double kMinute = 60 * kSecond;
constexpr int kAverageSize = 10;

// TranslateIn, UpdateStateRecord and CalcWorks on a running plant: both
// sections dosing automatically, ten-second averages, and time moving one
// second a cycle, so the minute list fills up to its limit and then rolls.
void BM_AcquisitionCycle(benchmark::State& state) {
  TConfig config;
  for (const auto& signal : config.InputSignals) signal->AverageSize = kAverageSize;
  auto process = std::make_unique<ProcessState>();
  process->CreateAverages(config);
  for (int section = 1; section <= 2; ++section) {
    process->AveragedValues.SetGroupMode(kGroupR, section, kModeAutomatic);
    process->AveragedValues.SetGroupMode(kGroupFL, section, kModeAutomatic);
  }
  TDateTime now = EncodeDateTime(2008, 1, 17, 11, 43, 15);
  int cycle = 0;
  for (auto _ : state) {
    for (int slot = 0; slot < 8; ++slot) {
      process->RawValues.Set(slot, static_cast<float>(200 + (cycle + slot) % 17));
    }
    bool ok = TranslateIn(*process, config);
    ok = UpdateStateRecord(*process, config, now) && ok;
    ok = CalcWorks(*process, config) && ok;
    benchmark::DoNotOptimize(ok);
    now += kSecond;
    ++cycle;
  }
  state.counters["minute_records"] = static_cast<double>(process->MinuteRecords.Count());
}
BENCHMARK(BM_AcquisitionCycle);

// Heap growth from an empty list to the full 4321 records (limit 4320).
void BM_FullMinuteRecordListMemory(benchmark::State& state) {
  const int limit = kDefaultMinuteRecordLimit;
  const TDateTime start = EncodeDateTime(2008, 1, 17, 11, 43, 15);
  double bytes = 0;
  double records = 0;
  for (auto _ : state) {
    const std::size_t before = mallinfo2().uordblks;
    auto list = std::make_unique<MinuteRecordList>();
    StateRecord record;
    for (int minute = 0; minute <= limit; ++minute) {
      record.RecMoment = start + minute * kMinute;
      record.Values[0] = static_cast<float>(minute);
      list->Update(record, limit);
    }
    const std::size_t after = mallinfo2().uordblks;
    bytes = static_cast<double>(after - before);
    records = static_cast<double>(list->Count());
    benchmark::DoNotOptimize(list.get());
  }
  state.counters["heap_bytes"] = bytes;
  state.counters["records"] = records;
  state.counters["bytes_per_record"] = records > 0 ? bytes / records : 0;
}
BENCHMARK(BM_FullMinuteRecordListMemory)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
