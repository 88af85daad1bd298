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
};

// Reads the command line (arguments[0] is the program). The database password never comes from
// the command line, where every user could read it: `passwordFromEnvironment` (the value of
// FLOT_STATION_DB_PASSWORD, may be empty) or the first line of --db-password-file. On an error
// returns false with the reason.
bool ParseStationOptions(const QStringList& arguments, const QString& passwordFromEnvironment,
                         StationOptions& options, QString& error);

QString StationUsage();
