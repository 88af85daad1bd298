#include "app/commandline.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

CommandLine ParseCommandLine(const QStringList& arguments) {
  CommandLine line;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (argument == u"--headless") {
      line.headless = true;
    } else if (argument == u"--home") {
      if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
        line.error = QStringLiteral("--home needs a folder");
        return line;
      }
      line.homeDir = arguments[++i];
    } else if (argument.startsWith(u"--home=")) {
      line.homeDir = argument.mid(7);
      if (line.homeDir.isEmpty()) {
        line.error = QStringLiteral("--home needs a folder");
        return line;
      }
    } else if (argument == u"--emulate") {
      line.emulate = true;
    } else if (argument == u"--help" || argument == u"-h") {
      line.help = true;
    } else if (argument == u"--version") {
      line.version = true;
    } else {
      line.error = QStringLiteral("unknown argument: ") + argument;
      return line;
    }
  }
  return line;
}

QString DefaultHomeDir(const QString& executableDir, const QString& dataDir) {
  const QString folder = QDir::cleanPath(executableDir);
  if (folder == u"/usr" || folder.startsWith(u"/usr/"))
    return QDir(dataDir).filePath(QStringLiteral("flotation-console"));
  return folder;
}

QString DefaultHomeDir() {
  return DefaultHomeDir(QCoreApplication::applicationDirPath(),
                        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
}

QString UsageText() {
  return QStringLiteral(
      "Usage: flotation-console [--headless] [--home DIR] [--emulate]\n"
      "\n"
      "Without --headless it opens the operator's windows on the display.\n"
      "\n"
      "  --headless   run the console core without windows (services, tests)\n"
      "  --home DIR   application folder: flotation-console.INI, LOG/, config/\n"
      "               (default: the folder of the executable; installed under\n"
      "               /usr, ~/.local/share/flotation-console)\n"
      "  --emulate    switch module emulation on: the read and write threads\n"
      "               run even when their serial ports cannot be opened\n"
      "  --help       show this text\n"
      "  --version    show the version and the commit it was built from\n"
      "\n"
      "SIGINT or SIGTERM ends the console as its main window's close button\n"
      "does: it saves its configuration and the last setpoints and exits with\n"
      "status 0 (1 when the save failed). SIGUSR1 makes the windowed console\n"
      "write what its diagram shows to LOG/view.txt.\n");
}
