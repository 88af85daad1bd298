// dcon-sim: plays I-7017 and I-7024 modules on ptys or serial ports so that a
// console can run, and be watched, without field hardware. See README.md.

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "commandlog.h"
#include "common/buildtext.h"
#include "dconmodules.h"
#include "simbus.h"
#include "simoptions.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// A bus thread that fails raises this so that the main thread, which waits for
// signals only, wakes up and ends the run.
constexpr int kBusFailedSignal = SIGUSR2;

void PrintOutputValues(const SimulatedModules& modules) {
  for (const OutputChannelValue& value : modules.OutputValues()) WriteLine(stdout, FormatOutputLine(value));
}

}  // namespace

int main(int argc, char** argv) {
  SimOptions options;
  std::string error;
  if (!ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
    std::fprintf(stderr, "dcon-sim: %s\n\n%s", error.c_str(), SimUsage().c_str());
    return kExitUsage;
  }
  if (options.Help) {
    std::fputs(SimUsage().c_str(), stdout);
    return kExitOk;
  }
  if (options.Version) {
    PrintVersion("dcon-sim");
    return kExitOk;
  }

  // Every thread inherits this mask, so the signals reach only the sigwait
  // below and are handled in plain code, not in a signal handler.
  sigset_t handled;
  sigemptyset(&handled);
  for (int handledSignal : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, kBusFailedSignal})
    sigaddset(&handled, handledSignal);
  pthread_sigmask(SIG_BLOCK, &handled, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  CommandLog log;
  if (!log.Open(options.LogPath, options.Verbose)) {
    std::fprintf(stderr, "dcon-sim: cannot write the log %s\n", options.LogPath.c_str());
    return kExitFailure;
  }

  // Declared before the buses so that it outlives their threads on every path.
  SimulatedModules modules(options.Simulation);
  std::vector<std::unique_ptr<SimBus>> buses;
  for (size_t index = 0; index < options.Buses.size(); ++index) {
    const BusSetup& setup = options.Buses[index];
    const int busIndex = static_cast<int>(index);
    std::unique_ptr<SimBus> bus = setup.Type == BusSetup::Kind::kPty
                                      ? SimBus::OpenPty(busIndex, setup.Path, options.Timing.Baud, error)
                                      : SimBus::OpenPort(busIndex, setup.Path, options.Timing.Baud, error);
    if (!bus) {
      // Buses opened so far remove their links as they go.
      std::fprintf(stderr, "dcon-sim: %s\n", error.c_str());
      return kExitFailure;
    }
    buses.push_back(std::move(bus));
  }

  const int64_t startNs = MonotonicNs();
  const pid_t self = getpid();
  for (size_t index = 0; index < buses.size(); ++index) {
    WriteLine(stdout, "bus " + std::to_string(index) + ": " + buses[index]->Path());
  }
  for (auto& bus : buses) {
    bus->Start(modules, log, options.Timing, startNs, [self](const std::string& reason) {
      WriteLine(stderr, "dcon-sim: " + reason);
      kill(self, kBusFailedSignal);
    });
  }
  WriteLine(stdout, "ready");

  int exitCode = kExitOk;
  while (true) {
    int received = 0;
    if (sigwait(&handled, &received) != 0) continue;
    if (received == SIGUSR1) {
      PrintOutputValues(modules);
      continue;
    }
    if (received == kBusFailedSignal) exitCode = kExitFailure;
    break;
  }

  for (auto& bus : buses) bus->Stop();
  PrintOutputValues(modules);
  buses.clear();
  return exitCode;
}
