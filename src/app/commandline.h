#pragma once

#include <QString>
#include <QStringList>

// What the command line asks for.
struct CommandLine {
  bool headless = false;
  QString homeDir;       // empty: the executable's folder
  bool emulate = false;  // module emulation on from the start
  bool help = false;
  bool version = false;
  QString error;  // non-empty when the arguments could not be understood
};

// Parses the arguments after the program name.
CommandLine ParseCommandLine(const QStringList& arguments);

// The application folder when no --home is given: the executable's folder,
// as a build or an unpacked copy has it; but for a program installed under
// /usr, whose folder is the system's, "dataDir"/flotation-console (the user's
// ~/.local/share/flotation-console).
QString DefaultHomeDir(const QString& executableDir, const QString& dataDir);
// The same with the running program's folder and the user's data folder.
QString DefaultHomeDir();

// The usage text printed for --help and for a bad command line.
QString UsageText();
