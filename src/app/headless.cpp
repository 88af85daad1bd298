#include "app/headless.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>

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

  TConsoleController controller(appDir);
  controller.Open(emulate);
  // Nobody reads a window here: a service's log is the one place to say it.
  for (const StartupProblem& problem : controller.StartupProblems())
    std::fprintf(stderr, "flotation-console: warning: %s\n", qPrintable(problem.ServiceText));
  QObject::connect(&controller, &TConsoleController::StartedUp, [&controller] {
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
  });
  controller.Start();

  std::fprintf(stderr, "flotation-console: running headless in %s\n",
               qPrintable(QDir(appDir).absolutePath()));
  std::fflush(stderr);
  QCoreApplication::exec();

  if (!controller.Close()) {
    std::fprintf(stderr, "flotation-console: could not save the configuration to %s\n",
                 qPrintable(controller.Core().IniPath()));
    return 1;
  }
  std::fprintf(stderr, "flotation-console: configuration saved, exiting\n");
  return 0;
}
