#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "stationdatabase.h"

struct StationOptions {
  enum class LinkKind { Tcp, Serial };
  LinkKind Link = LinkKind::Tcp;
  QString TcpHost;
  quint16 TcpPort = 0;
  QString SerialDevice;
  qint32 Baud = 38400;
  QByteArray Prefix = "PUF1";
  StationDatabaseSettings Database;
  int IntervalSeconds = 5;
  bool Once = false;
  bool Verbose = false;
  bool Help = false;
  bool Version = false;
};

// Reads the command line (arguments[0] is the program). The database password never comes from
// the command line, where every user could read it: `passwordFromEnvironment` (the value of
// FLOT_STATION_DB_PASSWORD, may be empty) or the first line of --db-password-file. On an error
// returns false with the reason.
bool ParseStationOptions(const QStringList& arguments, const QString& passwordFromEnvironment,
                         StationOptions& options, QString& error);
// The same, with "--config FILE" read first: what the file holds that cannot
// be used (the file itself missing or unreadable, a line or a value that does
// not read, its password file) is in "warnings" and keeps its default, so
// that a collector the system starts runs on and says why.
bool ParseStationOptions(const QStringList& arguments, const QString& passwordFromEnvironment,
                         StationOptions& options, QStringList& warnings, QString& error);

QString StationUsage();

// Pieces of the command-line readers of the station's tools, each false with
// the reason in "error":
// the value after arguments[at] ("at" moves on to it);
bool TakeOptionValue(const QStringList& arguments, qsizetype& at, QString& value, QString& error);
// "text" as an integer from "minimum" to "maximum" for "option";
bool OptionNumber(const QString& option, const QString& text, int minimum, int maximum, int& number,
                  QString& error);
// the first line of a password file, without its line end.
bool ReadPasswordFile(const QString& path, QString& password, QString& error);
