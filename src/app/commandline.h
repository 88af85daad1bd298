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

// The usage text printed for --help and for a bad command line.
QString UsageText();
