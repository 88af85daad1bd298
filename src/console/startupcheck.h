#pragma once

#include <QString>
#include <vector>

// A file the console needs to write and cannot, found at start.
struct StartupProblem {
  QString OperatorText;  // for the event log and the warning window (Russian)
  QString ServiceText;   // for the service log on stderr (English)
};

// Checks that the INI file can be replaced (its folder takes a new file, the
// name is not a folder) and that the event-log folder exists or can be made
// and takes a new file, by really writing (and removing) a small file in
// each, so that a read-only folder, a full disk or a LOG that is a file are
// found before the first save or log line fails unseen. Creates the LOG
// folder when it is missing. Empty when everything can be written.
// Any thread; touches only the file system.
std::vector<StartupProblem> CheckStartupFiles(const QString& iniPath, const QString& logDir);
