#include <QCoreApplication>
#include <QDir>
#include <cstdio>

#include "app/commandline.h"
#include "app/headless.h"
#include "common/buildtext.h"
#ifdef FLOT_WITH_WINDOWS
#include "app/windowed.h"
#endif

#ifdef FLOT_WITH_WINDOWS
namespace {

// Qt ends the process when it finds no display; say it in words first.
bool DisplayAvailable() {
  return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
         qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

}  // namespace
#endif

int main(int argc, char* argv[]) {
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  const CommandLine line = ParseCommandLine(arguments);
  if (!line.error.isEmpty()) {
    std::fprintf(stderr, "flotation-console: %s\n\n%s", qPrintable(line.error), qPrintable(UsageText()));
    return 2;
  }
  if (line.help) {
    std::fputs(qPrintable(UsageText()), stdout);
    return 0;
  }
  if (line.version) {
    PrintVersion("flotation-console");
    return 0;
  }
  if (!line.headless) {
#ifdef FLOT_WITH_WINDOWS
    if (!DisplayAvailable()) {
      std::fputs(
          "flotation-console: no display to open the windows on (DISPLAY is not set); "
          "run it with --headless.\n",
          stderr);
      return 2;
    }
    return RunWindowed(argc, argv, line.homeDir, line.emulate);
#else
    std::fprintf(stderr, "flotation-console: this build has no windows; run it with --headless.\n\n%s",
                 qPrintable(UsageText()));
    return 2;
#endif
  }

  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("flotation-console"));
  const QString appDir =
      line.homeDir.isEmpty() ? DefaultHomeDir() : QDir(line.homeDir).absolutePath();
  return RunHeadless(appDir, line.emulate);
}
