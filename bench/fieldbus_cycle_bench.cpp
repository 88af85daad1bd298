// The acquisition cycle against the module simulator pacing its bytes like a
// real line: the busy part of each cycle compared with the bytes on the wire,
// the cycle period, and the headless console's CPU use.
//
//   fieldbus_cycle_bench [--cycles N] [--speeds 9600,38400,115200] [--turnaround MS]
//
// For each speed it starts dcon-sim on two ptys and a headless console in a
// temporary folder, lets them run N cycles and reads the simulator's log of
// received commands (monotonic time stamps of each command's first byte and
// of the end of each answer). Last, one run with module 2 silent.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <vector>

#include "support/dconsimprocess.h"
#include "support/headlessconsole.h"

namespace {

using Exchange = DconSimProcess::Exchange;

// Seconds the process's threads have spent on a CPU so far, user and kernel,
// from the scheduler's own accounting (nanoseconds; the tick-sampled figures
// of /proc/PID/stat miss many of the short wake-ups a serial line causes).
double CpuSeconds(qint64 pid) {
  double total = 0;
  const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
  for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    QFile schedstat(tasks.filePath(task + QStringLiteral("/schedstat")));
    if (schedstat.open(QIODevice::ReadOnly))
      total += schedstat.readAll().split(' ').value(0).toDouble() / 1e9;
  }
  return total;
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return NAN;
  std::sort(values.begin(), values.end());
  const size_t index = std::min(values.size() - 1, static_cast<size_t>(std::ceil(p * values.size())) - 1);
  return values[index];
}

double Median(const std::vector<double>& values) {
  return Percentile(values, 0.5);
}

// Wire time of the exchanges of one cycle: 10 bits a character, command and
// answer each with their carriage return.
double WireMs(const std::vector<Exchange>& exchanges, int baud) {
  double characters = 0;
  for (const Exchange& e : exchanges) {
    characters += e.command.size() + 1;
    if (e.answer != "-") characters += e.answer.size() + 1;
  }
  return characters * 10.0 * 1000.0 / baud;
}

struct RunResult {
  int baud = 0;
  int cycles = 0;
  double readBusyMs = 0, writeBusyMs = 0;  // medians
  double readWireMs = 0, writeWireMs = 0;  // floors of one cycle
  double periodMedianMs = 0, periodP99DevMs = 0, periodMinMs = 0, periodMaxMs = 0;
  double cpuPercent = 0;
  int module1Answers = 0, module1Polls = 0;
};

RunResult Run(int baud, int cycles, const QString& turnaround, const QStringList& faults) {
  RunResult result;
  result.baud = baud;
  QTemporaryDir home;
  const QString in = home.filePath("dcon-in"), out = home.filePath("dcon-out"),
                log = home.filePath("sim.log");
  DconSimProcess::ConfigureConsole(home.path(), in, out, baud);
  DconSimProcess sim(QStringList{"--pty", in, "--pty", out, "--baud", QString::number(baud), "--turnaround",
                                 turnaround, "--log", log} +
                     faults);
  HeadlessConsole console(home.path());
  if (!sim.Start() || !console.StartAndWaitUntilRunning()) {
    std::fprintf(stderr, "could not start the simulator and the console at %d baud\n", baud);
    return result;
  }

  // Skip the start-up (first two cycles), then measure CPU over the rest.
  auto polls = [&] {
    const auto exchanges = DconSimProcess::ReadLog(log);
    return std::count_if(exchanges.begin(), exchanges.end(), [](const Exchange& e) { return e.bus == 0; });
  };
  QDeadlineTimer warmUp(30000);
  while (polls() < 4 && !warmUp.hasExpired()) QThread::msleep(50);
  const double cpuStart = CpuSeconds(console.ProcessId());
  const auto wallBegin = std::chrono::steady_clock::now();
  QDeadlineTimer deadline(cycles * 2000 + 30000);
  while (polls() < 2 * (cycles + 3) && !deadline.hasExpired()) QThread::msleep(100);
  const double cpuEnd = CpuSeconds(console.ProcessId());
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBegin).count();
  result.cpuPercent = 100.0 * (cpuEnd - cpuStart) / wall;

  console.StopWith(SIGTERM);

  // Group the log into cycles: a read cycle starts with "$01A" on bus 0, a
  // write cycle with the first command of the first output module on bus 1.
  const auto exchanges = DconSimProcess::ReadLog(log);
  std::vector<std::vector<Exchange>> readCycles, writeCycles;
  for (const Exchange& e : exchanges) {
    if (e.bus == 0) {
      if (e.command == "$01A" || readCycles.empty()) readCycles.emplace_back();
      readCycles.back().push_back(e);
    } else {
      if (e.command.startsWith("#030") || writeCycles.empty()) writeCycles.emplace_back();
      writeCycles.back().push_back(e);
    }
  }
  // Drop the first two (start-up) and the last (possibly cut) cycles.
  auto trim = [](std::vector<std::vector<Exchange>>& c) {
    if (c.size() > 3) c = std::vector<std::vector<Exchange>>(c.begin() + 2, c.end() - 1);
  };
  trim(readCycles);
  trim(writeCycles);

  std::vector<double> readBusy, writeBusy, periods;
  for (size_t i = 0; i < readCycles.size(); ++i) {
    const auto& c = readCycles[i];
    readBusy.push_back((c.back().answerEnd - c.front().firstByte) * 1000);
    if (i > 0) periods.push_back((c.front().firstByte - readCycles[i - 1].front().firstByte) * 1000);
    for (const Exchange& e : c) {
      if (e.command == "$01A") {
        ++result.module1Polls;
        if (e.answer != "-") ++result.module1Answers;
      }
    }
  }
  for (const auto& c : writeCycles) writeBusy.push_back((c.back().answerEnd - c.front().firstByte) * 1000);
  result.cycles = static_cast<int>(readCycles.size());
  result.readBusyMs = Median(readBusy);
  result.writeBusyMs = Median(writeBusy);
  if (!readCycles.empty()) result.readWireMs = WireMs(readCycles.front(), baud);
  if (!writeCycles.empty()) result.writeWireMs = WireMs(writeCycles.front(), baud);
  result.periodMedianMs = Median(periods);
  std::vector<double> deviations;
  for (double p : periods) deviations.push_back(std::fabs(p - 980.0));
  result.periodP99DevMs = Percentile(deviations, 0.99);
  if (!periods.empty()) {
    result.periodMinMs = *std::min_element(periods.begin(), periods.end());
    result.periodMaxMs = *std::max_element(periods.begin(), periods.end());
  }
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int cycles = 60;
  QList<int> speeds = {9600, 38400, 115200};
  QString turnaround = QStringLiteral("1");
  const QStringList args = app.arguments();
  for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
    if (args[i] == "--cycles") {
      cycles = args[i + 1].toInt();
    } else if (args[i] == "--speeds") {
      speeds.clear();
      for (const QString& s : args[i + 1].split(',')) speeds << s.toInt();
    } else if (args[i] == "--turnaround") {
      turnaround = args[i + 1];
    }
  }

  std::printf("cycles per run: %d, module turnaround %s ms\n\n", cycles, qPrintable(turnaround));
  std::printf(
      "| baud | cycles | read busy / wire (ms) | write busy / wire (ms) | both busy / wire (ms) | ratio |"
      " period median (ms) | period min..max (ms) | p99 |dev| from 980 (ms) | console CPU |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
  auto print = [](const RunResult& r, const char* note) {
    const double busy = r.readBusyMs + r.writeBusyMs, wire = r.readWireMs + r.writeWireMs;
    std::printf(
        "| %d%s | %d | %.1f / %.1f | %.1f / %.1f | %.1f / %.1f | %.2f | %.1f | %.1f..%.1f | %.1f | %.2f %% "
        "|\n",
        r.baud, note, r.cycles, r.readBusyMs, r.readWireMs, r.writeBusyMs, r.writeWireMs, busy, wire,
        busy / wire, r.periodMedianMs, r.periodMinMs, r.periodMaxMs, r.periodP99DevMs, r.cpuPercent);
    std::fflush(stdout);
  };
  for (int baud : speeds) print(Run(baud, cycles, turnaround, {}), "");

  const RunResult silent = Run(38400, cycles, turnaround, {"--silent", "02"});
  print(silent, " (module 2 silent)");
  std::printf("\nmodule 2 silent: module 1 answered %d of %d polls\n", silent.module1Answers,
              silent.module1Polls);
  return 0;
}
