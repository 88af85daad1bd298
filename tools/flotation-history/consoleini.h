#pragma once

#include <QString>

#include "stationdatabase.h"

// Points a console at a history database through its own INI file, written by the console's
// own configuration code (so the password is scrambled as the console keeps it, and the file
// is replaced in one piece): [MySQL] Host as host:port, Login, Password, Disabled=0,
// SavePassword=1, and [System] LanServer=1, because the station collector that keeps the
// history growing asks the console over TCP. Everything else in the file stays as the console
// reads it. `lanPort` is the console's query port as it will use it.
//
// With `simulatorScale`, input signals whose calibration is still the built-in identity get a
// table for the module simulator's counts (full scale 32767 = 400 g/l, 1000 m³/h, 100 %), so
// that the console's live minutes read like the generated history.
//
// Not while that console runs: it writes its whole configuration when it ends. One thread.
bool PointConsoleAt(const QString& iniPath, const StationDatabaseSettings& database, bool simulatorScale,
                    int& lanPort, QString& error);
