#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QCoreApplication;

// The calls into the system and the desktop that the main window makes.
// Tests replace them; System() gives the real ones.
struct MainWindowPlatform {
  // Powers the computer off; false with the system's reason when refused.
  std::function<bool(QString& error)> ShutdownComputer;
  // Starts a program without waiting for it; false when it cannot start.
  std::function<bool(const QString& program, const QStringList& arguments)> StartDetached;
  // The full path of an installed program, or empty.
  std::function<QString(const QString& name)> FindExecutable;

  static MainWindowPlatform System();
};

// The program and arguments of the date-and-time command: the configured
// command line when there is one, else the first installed of the usual
// desktops' settings programs; empty when there is none.
QStringList TimeSetCommandLine(const QString& configured,
                               const std::function<QString(const QString&)>& findExecutable);

// Qt's own texts (standard buttons, colour, font and print dialogs) in
// Russian, whatever the machine's locale, from Debian's qt6-translations-l10n.
// False when the translation files are not installed (Qt then speaks English).
bool InstallRussianTranslations(QCoreApplication& application);
