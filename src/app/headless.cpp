#include "app/headless.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>

#include "app/servicenotify.h"
#include "app/terminationsignal.h"
#include "console/consolecontroller.h"

int RunHeadless(const QString& appDir, bool emulate) {
  if (!QDir().mkpath(appDir) || !QDir::setCurrent(appDir)) {
    std::fprintf(stderr, "flotation-console: cannot use the folder %s\n", qPrintable(appDir));
    return 1;
  }

  TerminationSignal termination;
  if (!termination.Installed()) {
    std::perror("flotation-console: cannot install signal handlers");
    return 1;
  }
  QObject::connect(&termination, &TerminationSignal::Received, [] { QCoreApplication::quit(); });

  ServiceNotifier service;
  TConsoleController controller(appDir);
  // Headless nobody reads the log files at once; the service manager's
  // journal keeps what goes to standard error.
  controller.SetLogEcho([](const QString& text) {
    std::fprintf(stderr, "flotation-console: %s\n", text.toUtf8().constData());
    std::fflush(stderr);
  });
  controller.Open(emulate);
  // Nobody reads a window here: a service's log is the one place to say it.
  for (const StartupProblem& problem : controller.StartupProblems())
    std::fprintf(stderr, "flotation-console: warning: %s\n", qPrintable(problem.ServiceText));
  QObject::connect(&controller, &TConsoleController::StartedUp, [&controller, &service] {
    // For the service log: whether the console went on to control the plant.
    TConsoleCore& core = controller.Core();
    std::fprintf(stderr,
                 core.Config().AutoStartControl ? "flotation-console: control started%s\n"
                                                : "flotation-console: automatic start is off%s\n",
                 core.EmulationOn ? " (module emulation on)" : "");
    if (core.WinSockServer().GetActive()) {
      std::fprintf(stderr, "flotation-console: query server on TCP port %d\n",
                   core.WinSockServer().BoundPort());
    }
    std::fflush(stderr);
    QString status = core.Config().AutoStartControl ? QStringLiteral("control started")
                                                    : QStringLiteral("automatic start off");
    if (core.WinSockServer().GetActive())
      status += QStringLiteral(", query server on TCP port %1").arg(core.WinSockServer().BoundPort());
    service.Notify("READY=1\nSTATUS=" + status.toUtf8());
  });
  // The watchdog is fed from the tick, so a loop that stops ticking is restarted.
  if (service.WatchdogUsec() > 0) {
    if (service.WatchdogUsec() <= 2000ull * TConsoleController::kTickIntervalMs) {
      std::fprintf(stderr,
                   "flotation-console: warning: the watchdog period of %llu ms is shorter than two ticks "
                   "(%d ms); it will trip\n",
                   static_cast<unsigned long long>(service.WatchdogUsec() / 1000),
                   2 * TConsoleController::kTickIntervalMs);
    }
    // From the tick after the start-up on, so that READY=1 comes first.
    QObject::connect(&controller, &TConsoleController::Ticked, [&service, &controller] {
      if (controller.IsStartedUp()) service.Notify("WATCHDOG=1");
    });
  }
  controller.Start();

  std::fprintf(stderr, "flotation-console: running headless in %s\n",
               qPrintable(QDir(appDir).absolutePath()));
  std::fflush(stderr);
  QCoreApplication::exec();
  service.Notify("STOPPING=1");

  if (!controller.Close()) {
    std::fprintf(stderr, "flotation-console: could not save the configuration to %s\n",
                 qPrintable(controller.Core().IniPath()));
    return 1;
  }
  std::fprintf(stderr, "flotation-console: configuration saved, exiting\n");
  return 0;
}
