#include <QCoreApplication>
#include <QDir>
#include <cstdio>

#include "app/commandline.h"
#include "app/headless.h"

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
  if (!line.headless) {
    std::fprintf(stderr, "flotation-console: this build has no windows yet; run it with --headless.\n\n%s",
                 qPrintable(UsageText()));
    return 2;
  }

  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("flotation-console"));
  const QString appDir =
      line.homeDir.isEmpty() ? QCoreApplication::applicationDirPath() : QDir(line.homeDir).absolutePath();
  return RunHeadless(appDir, line.emulate);
}
