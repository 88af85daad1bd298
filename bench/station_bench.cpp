// Cost of the station link's replies inside the console: the record text of
// GetStateRec with its frame, and the whole query path of the TCP server's
// handler (parse, checksum, command, framed reply) for the two requests a
// station polls most.
#include <benchmark/benchmark.h>

#include "common/cp1251.h"
#include "common/tdatetime.h"
#include "configuration/config.h"
#include "fieldbus/threadcontrol.h"
#include "station/commandset.h"
#include "station/framing.h"
#include "station/stationquery.h"

namespace {

// A record with working values in every slot, as a running plant has them.
StateRecord WorkingRecord() {
  StateRecord record;
  record.RecMoment = EncodeDateTime(2026, 12, 10, 11, 43, 15);
  for (int slot = 0; slot < kValueSlotCount; ++slot) record.Values[slot] = 12.345f * (slot + 1) + 0.1f;
  SetModeByte(record.Values, F1AR, 1);
  SetModeByte(record.Values, F2RR, 1);
  return record;
}

void BM_RecordToText(benchmark::State& state) {
  const StateRecord record = WorkingRecord();
  for (auto _ : state) benchmark::DoNotOptimize(RecordToText(record, false));
}
BENCHMARK(BM_RecordToText);

void BM_StateRecordFrame(benchmark::State& state) {
  const StateRecord record = WorkingRecord();
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        BuildFrame("PUF1", ToCp1251(u"GetStateRec_OK:"_qs + RecordToText(record, false))));
  }
}
BENCHMARK(BM_StateRecordFrame);

void BM_TcpQuery(benchmark::State& state, const char* command) {
  TConfig config;
  ProcessState process;
  LogRecList logRecs;
  ThreadControl linkControl;
  TCommandSet commands(process, logRecs, linkControl);
  TStationQuery query(config, linkControl, commands);
  const StateRecord record = WorkingRecord();
  process.StateRecord.Store(record.RecMoment, record.Values);
  process.MinuteRecords.Update(record, 4320);
  const QByteArray body = QByteArray("PUF1:") + command + ':';
  const QByteArray request = body + CalcCRC(body);
  for (auto _ : state) {
    QByteArray line = request;
    QByteArray answer;
    query.WinSockServerQuery(line, answer, u"127.0.0.1:50000"_qs);
    benchmark::DoNotOptimize(answer);
  }
}
BENCHMARK_CAPTURE(BM_TcpQuery, GetStateRec, "GetStateRec");
BENCHMARK_CAPTURE(BM_TcpQuery, GetUnsavedCount, "GetUnsavedCount");

}  // namespace

BENCHMARK_MAIN();
