#include "historyoptions.h"

#include "stationoptions.h"

QString HistoryUsage() {
  return QStringLiteral(
      "usage: flotation-history [--days 31] [--seed 1] [--until \"yyyy-mm-dd hh:nn\"] [--if-empty]\n"
      "                         [--db-host 127.0.0.1] [--db-port 3306] [--db-user USER] [--database dravo]\n"
      "                         [--db-password-file FILE] [--console-ini FILE [--simulator-scale]]\n"
      "Fills puf_data with the minute records of the last days, made by the console's own\n"
      "conversion and dosing code from the module simulator's process model. The database\n"
      "password comes from FLOT_STATION_DB_PASSWORD or the first line of --db-password-file,\n"
      "never from the command line.\n"
      "  --days N           days of history before --until (1 to 366, default 31)\n"
      "  --seed N           the plan of shifts, stops, modes and gaps (default 1)\n"
      "  --until TIME       local time at which the history ends (default: now)\n"
      "  --if-empty         do nothing when puf_data already holds rows\n"
      "  --console-ini FILE point that console at the database: [MySQL] Host, Login, Password,\n"
      "                     and [System] LanServer=1; prints LanPort=N on stdout\n"
      "  --simulator-scale  with --console-ini: inputs still at the built-in calibration get\n"
      "                     the module simulator's scale\n"
      "  --help             this text\n"
      "  --version          the version and the commit it was built from\n");
}

bool ParseHistoryOptions(const QStringList& arguments, const QString& passwordFromEnvironment,
                         const QDateTime& now, HistoryOptions& options, QString& error) {
  options = HistoryOptions{};
  options.Fill.Database.Password = passwordFromEnvironment;
  options.Fill.End = now;
  QString passwordFile;
  for (qsizetype at = 1; at < arguments.size(); ++at) {
    const QString& option = arguments[at];
    QString value;
    int number = 0;
    if (option == u"--help" || option == u"-h") {
      options.Help = true;
    } else if (option == u"--version") {
      options.Version = true;
    } else if (option == u"--if-empty") {
      options.Fill.IfEmpty = true;
    } else if (option == u"--simulator-scale") {
      options.SimulatorScale = true;
    } else if (option == u"--days") {
      if (!TakeOptionValue(arguments, at, value, error) ||
          !OptionNumber(option, value, 1, kMaxHistoryDays, number, error))
        return false;
      options.Fill.Days = number;
    } else if (option == u"--seed") {
      if (!TakeOptionValue(arguments, at, value, error)) return false;
      bool ok = false;
      options.Fill.Seed = value.toULongLong(&ok);
      if (!ok) {
        error = QStringLiteral("--seed: \"%1\" is not a whole number from 0 up").arg(value);
        return false;
      }
    } else if (option == u"--until") {
      if (!TakeOptionValue(arguments, at, value, error)) return false;
      const QDateTime until = QDateTime::fromString(value, QStringLiteral("yyyy-MM-dd HH:mm"));
      if (!until.isValid()) {
        error = QStringLiteral("--until: \"%1\" is not a local time yyyy-mm-dd hh:nn").arg(value);
        return false;
      }
      options.Fill.End = until;
    } else if (option == u"--db-host") {
      if (!TakeOptionValue(arguments, at, options.Fill.Database.Host, error)) return false;
    } else if (option == u"--db-port") {
      if (!TakeOptionValue(arguments, at, value, error) ||
          !OptionNumber(option, value, 1, 65535, number, error))
        return false;
      options.Fill.Database.Port = number;
    } else if (option == u"--db-user") {
      if (!TakeOptionValue(arguments, at, options.Fill.Database.User, error)) return false;
    } else if (option == u"--database") {
      if (!TakeOptionValue(arguments, at, options.Fill.Database.Database, error)) return false;
      if (!StationDatabase::IsValidDatabaseName(options.Fill.Database.Database)) {
        error = QStringLiteral("--database: use letters, digits and _ only");
        return false;
      }
    } else if (option == u"--db-password-file") {
      if (!TakeOptionValue(arguments, at, passwordFile, error)) return false;
    } else if (option == u"--console-ini") {
      if (!TakeOptionValue(arguments, at, options.ConsoleIni, error)) return false;
      if (options.ConsoleIni.isEmpty()) {
        error = QStringLiteral("--console-ini needs a file name");
        return false;
      }
    } else {
      error = QStringLiteral("unknown option \"%1\"").arg(option);
      return false;
    }
  }
  if (options.Help || options.Version) return true;
  if (options.SimulatorScale && options.ConsoleIni.isEmpty()) {
    error = QStringLiteral("--simulator-scale goes with --console-ini");
    return false;
  }
  // The console's connection always uses this database; another one it would never read.
  if (!options.ConsoleIni.isEmpty() && options.Fill.Database.Database != u"dravo") {
    error = QStringLiteral("--console-ini: the console reads the database dravo only");
    return false;
  }
  if (!passwordFile.isEmpty() && !ReadPasswordFile(passwordFile, options.Fill.Database.Password, error))
    return false;
  return true;
}
