#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "historyfill.h"

struct HistoryOptions {
  FillRequest Fill;
  // The INI file of a console to point at the database; empty: none.
  QString ConsoleIni;
  // With ConsoleIni: calibrate the console's inputs for the module simulator's counts.
  bool SimulatorScale = false;
  bool Help = false;
  bool Version = false;
};

inline constexpr int kMaxHistoryDays = 366;

// Reads the command line (arguments[0] is the program). Like flotation-station, the database
// password never comes from the command line: `passwordFromEnvironment` (the value of
// FLOT_STATION_DB_PASSWORD) or the first line of --db-password-file. `now` ends the history
// unless --until says otherwise. On an error returns false with the reason.
bool ParseHistoryOptions(const QStringList& arguments, const QString& passwordFromEnvironment,
                         const QDateTime& now, HistoryOptions& options, QString& error);

QString HistoryUsage();
