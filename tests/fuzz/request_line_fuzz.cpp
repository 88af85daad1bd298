// Fuzz target: a line from the central station, as the serial link and the
// TCP query server take it apart (frame, checksum, command, data) and run it.
// The first input byte picks which of the two handles it; the rest is the line.

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "common/cp1251.h"
#include "configuration/config.h"
#include "fieldbus/threadcontrol.h"
#include "station/commandset.h"
#include "station/framing.h"
#include "station/stationquery.h"

namespace {

struct Console {
  Console() {
    // A few minute records and log lines, so that the commands that walk
    // the lists have something to walk.
    for (int minute = 0; minute < 3; ++minute) {
      StateRecord record;
      record.RecMoment = EncodeDateTime(2008, 1, 17, 11, 43 + minute, 15);
      record.Values[Slot::TRRS[0]] = 0.1f;
      state.MinuteRecords.Update(record, 10);
      logRecs.AddLogRec(u"line"_qs, 12345 + minute, record.RecMoment);
    }
  }
  TConfig config;
  ProcessState state;
  LogRecList logRecs;
  ThreadControl control;
  TCommandSet commands{state, logRecs, control};
  TStationQuery query{config, control, commands, [] { return EncodeDateTime(2009, 3, 5, 7, 8, 9); }};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Console console;
  if (size == 0) return 0;
  const bool tcp = (data[0] & 1) != 0;
  QByteArray line(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));

  if (tcp) {
    QByteArray answer;
    console.query.WinSockServerQuery(line, answer, u"127.0.0.1:1"_qs);
    // An answer is a frame of this console, a plain error text, the time, or nothing.
    if (!answer.isEmpty() && !answer.startsWith("PUF1:") && !answer.startsWith("Error:") &&
        !answer.endsWith("\r\n")) {
      __builtin_trap();
    }
    return 0;
  }

  // The serial link receives the line decoded and cut at its carriage return.
  if (const qsizetype cr = line.indexOf('\r'); cr >= 0) line.truncate(cr);
  const ParsedRequest request = ParseRequestLine(ToCp1251(FromCp1251(line)), "PUF1");
  if (request.Kind != RequestKind::Command) return 0;
  if (request.Command.size() < 4 || request.Data != TrimBlanks(request.Data)) __builtin_trap();
  const CommandReply reply =
      console.commands.ExecCommand(FromCp1251(request.Command), FromCp1251(request.Data), u"COM1"_qs);
  // No Set command may leave a setpoint that is not a finite number.
  for (int index = 0; index < kSetpointCount; ++index) {
    if (!std::isfinite(console.state.Setpoints.Get(static_cast<SetpointIndex>(index)))) __builtin_trap();
  }
  const QByteArray frame = BuildFrame("PUF1", ToCp1251(reply.Text));
  if (CalcCRC(frame.left(frame.size() - 6)) != frame.right(6)) __builtin_trap();
  // The event log queue would fill up with the audit trail; nobody drains it here.
  return 0;
}
