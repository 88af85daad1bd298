#include "ui/mainwindow/platform.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTranslator>

namespace {

constexpr int kShutdownWaitMs = 10000;

// The settings programs of the desktops Debian ships, in the order tried.
const char* const kTimeSetCandidates[][2] = {
    {"gnome-control-center", "datetime"}, {"systemsettings", "kcm_clock"}, {"systemsettings5", "clock"},
    {"mate-time-admin", nullptr},         {"time-admin", nullptr},
};

bool PowerOff(QString& error) {
  QProcess process;
  process.start(QStringLiteral("systemctl"), {QStringLiteral("poweroff")});
  if (!process.waitForStarted() || !process.waitForFinished(kShutdownWaitMs)) {
    error = process.errorString();
    return false;
  }
  if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
    error = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    if (error.isEmpty()) error = u"systemctl poweroff: код "_qs + QString::number(process.exitCode());
    return false;
  }
  return true;
}

}  // namespace

MainWindowPlatform MainWindowPlatform::System() {
  MainWindowPlatform platform;
  platform.ShutdownComputer = PowerOff;
  platform.StartDetached = [](const QString& program, const QStringList& arguments) {
    return QProcess::startDetached(program, arguments);
  };
  platform.FindExecutable = [](const QString& name) { return QStandardPaths::findExecutable(name); };
  return platform;
}

QStringList TimeSetCommandLine(const QString& configured,
                               const std::function<QString(const QString&)>& findExecutable) {
  const QStringList words = QProcess::splitCommand(configured);
  if (!words.isEmpty()) return words;
  for (const auto& candidate : kTimeSetCandidates) {
    const QString path = findExecutable(QString::fromLatin1(candidate[0]));
    if (path.isEmpty()) continue;
    QStringList line{path};
    if (candidate[1] != nullptr) line << QString::fromLatin1(candidate[1]);
    return line;
  }
  return {};
}

bool InstallRussianTranslations(QCoreApplication& application) {
  auto* translator = new QTranslator(&application);
  if (!translator->load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}
