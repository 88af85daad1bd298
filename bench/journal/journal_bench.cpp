// The minute journal's costs: what the read thread pays when a minute ends,
// what the writer pays to put it in the file, and how long the start takes
// to restore a full journal.

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <memory>

#include "common/tdatetime.h"
#include "process/minuterecords.h"
#include "storage/minutejournal.h"

namespace {

constexpr int kLimit = 4320;
constexpr int kFullJournal = kLimit + 1;

StateRecord MinuteState(int64_t minute) {
  StateRecord state;
  state.RecMoment = EncodeDateTime(2008, 1, 17) + static_cast<double>(minute) / 1440.0 + 30.0 / 86400.0;
  for (int i = 0; i < kValueSlotCount; ++i) state.Values[i] = static_cast<float>(minute % 1000) + 0.1f * i;
  return state;
}

TMinuteJournal::Options Options(int limit) {
  TMinuteJournal::Options options;
  options.Limit = limit;
  return options;
}

// The read thread's side: an Update that ends a minute, with the journal
// attached, against the same Update without one. The writer works beside it.
void BM_UpdateEndingAMinute(benchmark::State& state) {
  QTemporaryDir home;
  const bool journaled = state.range(0) != 0;
  TMinuteJournal journal(home.filePath("minutes.journal"), Options(kLimit));
  journal.Open();
  MinuteRecordList list;
  if (journaled) list.SetJournal(&journal);
  int64_t minute = 0;
  double slowestUs = 0;
  int64_t overOneMs = 0;
  for (auto _ : state) {
    const StateRecord next = MinuteState(minute++);
    const auto start = std::chrono::steady_clock::now();
    list.Update(next, kLimit);
    const double us =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    slowestUs = std::max(slowestUs, us);
    if (us > 1000) ++overOneMs;
  }
  state.counters["slowest_us"] = slowestUs;
  state.counters["over_1ms"] = static_cast<double>(overOneMs);
  state.counters["updates"] = static_cast<double>(state.iterations());
  list.SetJournal(nullptr);
}
BENCHMARK(BM_UpdateEndingAMinute)->Arg(0)->Arg(1)->ArgName("journal");

// The whole way into the file (not synced): hand over, then wait for the writer.
void BM_MinuteWrittenToTheFile(benchmark::State& state) {
  QTemporaryDir home;
  TMinuteJournal journal(home.filePath("minutes.journal"), Options(kLimit));
  journal.Open();
  JournalRecord record;
  int64_t minute = 0;
  for (auto _ : state) {
    record.RecMoment = MinuteState(minute++).RecMoment;
    journal.AppendRecord(record);
    journal.AppendSaved(record.RecMoment);
    journal.WaitHandedOver();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MinuteWrittenToTheFile);

// One sync of the journal file after a minute's entries.
void BM_Sync(benchmark::State& state) {
  QTemporaryDir home;
  TMinuteJournal journal(home.filePath("minutes.journal"), Options(kLimit));
  journal.Open();
  JournalRecord record;
  int64_t minute = 0;
  for (auto _ : state) {
    record.RecMoment = MinuteState(minute++).RecMoment;
    journal.AppendRecord(record);
    journal.Flush();
  }
}
BENCHMARK(BM_Sync)->Unit(benchmark::kMicrosecond);

// The start with a full journal: 4321 unconfirmed minutes (the station down
// for three days), read, checked and put back into the list. "torn" adds a
// half-written last entry, so the start also rewrites and syncs the file.
void BM_RestoreFullJournal(benchmark::State& state) {
  QTemporaryDir home;
  const QString path = home.filePath("minutes.journal");
  std::deque<JournalRecord> records;
  for (int64_t minute = 0; minute < kFullJournal; ++minute) {
    JournalRecord record;
    const StateRecord source = MinuteState(minute);
    record.RecMoment = source.RecMoment;
    std::copy(source.Values.begin(), source.Values.end(), record.Values.begin());
    records.push_back(record);
  }
  QByteArray bytes = CompactedJournal(records);
  if (state.range(0) != 0) bytes.append(QByteArray(60, '\x7f'));
  std::size_t restored = 0;
  for (auto _ : state) {
    state.PauseTiming();
    {
      QFile file(path);
      if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        state.SkipWithError("cannot write the journal");
        return;
      }
    }
    auto list = std::make_unique<MinuteRecordList>();
    auto journal = std::make_unique<TMinuteJournal>(path, Options(kFullJournal));
    state.ResumeTiming();
    list->Restore(journal->Open());
    list->SetJournal(journal.get());
    state.PauseTiming();
    restored = list->Count();
    list->SetJournal(nullptr);
    journal.reset();  // ends the writer: not part of the start
    state.ResumeTiming();
  }
  state.counters["records"] = static_cast<double>(restored);
  state.counters["file_bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_RestoreFullJournal)->Arg(0)->Arg(1)->ArgName("torn")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
