#include "app/headless.h"

#include <sys/socket.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>

#include "console/consolecore.h"
#include "storage/eventlog.h"
#include "storage/logfile.h"

namespace {

constexpr int kDrainIntervalMs = 500;

// Write end of the pipe that turns a signal into an event of the main loop.
int g_signalWriteFd = -1;

void OnTerminationSignal(int) {
  const char byte = 1;
  // Nothing else is async-signal-safe to do here; a full pipe already holds a wake-up.
  [[maybe_unused]] const ssize_t written = ::write(g_signalWriteFd, &byte, 1);
}

bool InstallSignalPipe(int fds[2]) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0) return false;
  g_signalWriteFd = fds[0];
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0;
}

}  // namespace

int RunHeadless(const QString& appDir, bool emulate) {
  if (!QDir().mkpath(appDir) || !QDir::setCurrent(appDir)) {
    std::fprintf(stderr, "flotation-console: cannot use the folder %s\n", qPrintable(appDir));
    return 1;
  }

  int fds[2] = {-1, -1};
  if (!InstallSignalPipe(fds)) {
    std::perror("flotation-console: cannot install signal handlers");
    return 1;
  }

  TConsoleCore core(appDir);
  core.Open();
  core.EmulationOn.store(emulate);

  LogFileWriter logWriter(core.LogDir(), CurrentLogEnvironment());
  TEventLogDrain drain(EventFIFO(), logWriter, nullptr);

  QTimer drainTimer;
  bool firstTick = true;
  QObject::connect(&drainTimer, &QTimer::timeout, [&] {
    if (firstTick) {
      firstTick = false;
      core.StartUp();
      // For the service log: whether the console went on to control the plant.
      std::fprintf(stderr,
                   core.Config().AutoStartControl ? "flotation-console: control started%s\n"
                                                  : "flotation-console: automatic start is off%s\n",
                   core.EmulationOn ? " (module emulation on)" : "");
      if (core.WinSockServer().GetActive()) {
        std::fprintf(stderr, "flotation-console: query server on TCP port %d\n", core.WinSockServer().BoundPort());
      }
      std::fflush(stderr);
    }
    drain.Drain(core.Config().SaveLogFlag);
  });
  drainTimer.start(kDrainIntervalMs);

  QSocketNotifier signalNotifier(fds[1], QSocketNotifier::Read);
  QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&] {
    char buffer[16];
    while (::read(fds[1], buffer, sizeof buffer) > 0) {
    }
    QCoreApplication::quit();
  });

  std::fprintf(stderr, "flotation-console: running headless in %s\n",
               qPrintable(QDir(appDir).absolutePath()));
  std::fflush(stderr);
  QCoreApplication::exec();

  drainTimer.stop();
  const bool saved = core.Close();
  // Unlike the windowed console, a stopping service writes what is still
  // queued, so the last messages of a run are not lost.
  while (drain.Drain(core.Config().SaveLogFlag) > 0) {
  }
  if (!saved) {
    std::fprintf(stderr, "flotation-console: could not save the configuration to %s\n",
                 qPrintable(core.IniPath()));
    return 1;
  }
  std::fprintf(stderr, "flotation-console: configuration saved, exiting\n");
  return 0;
}
