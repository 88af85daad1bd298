#include "stationoptions.h"

#include <QFile>

bool TakeOptionValue(const QStringList& arguments, qsizetype& at, QString& value, QString& error) {
  if (at + 1 >= arguments.size()) {
    error = QStringLiteral("%1 needs a value").arg(arguments[at]);
    return false;
  }
  value = arguments[++at];
  return true;
}

bool OptionNumber(const QString& option, const QString& text, int minimum, int maximum, int& number,
                  QString& error) {
  bool ok = false;
  number = text.toInt(&ok);
  if (!ok || number < minimum || number > maximum) {
    error = QStringLiteral("%1: \"%2\" is not a number from %3 to %4")
                .arg(option, text)
                .arg(minimum)
                .arg(maximum);
    return false;
  }
  return true;
}

bool ReadPasswordFile(const QString& path, QString& password, QString& error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    error = QStringLiteral("--db-password-file: cannot read %1").arg(path);
    return false;
  }
  QByteArray line = file.readLine();
  while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
  password = QString::fromUtf8(line);
  return true;
}

QString StationUsage() {
  return QStringLiteral(
      "usage: flotation-station (--tcp HOST:PORT | --serial DEVICE [--baud N]) [--prefix PUF1]\n"
      "                         [--db-host 127.0.0.1] [--db-port 3306] [--db-user USER] [--database dravo]\n"
      "                         [--db-password-file FILE] [--interval SECONDS] [--once] [--verbose]\n"
      "Collects a console's minute records and log records into MySQL (tables puf_data, puf_log,\n"
      "puf_rejected). The database password comes from FLOT_STATION_DB_PASSWORD or the first line\n"
      "of --db-password-file, never from the command line.\n"
      "  --once      collect what waits now, then exit (0: done, 1: failed)\n"
      "  --interval  seconds between collections (default 5)\n"
      "  --verbose   one line per stored minute and per batch of log lines\n");
}

bool ParseStationOptions(const QStringList& arguments, const QString& passwordFromEnvironment,
                         StationOptions& options, QString& error) {
  options = StationOptions{};
  options.Database.Password = passwordFromEnvironment;
  bool haveTcp = false;
  bool haveSerial = false;
  QString passwordFile;
  for (qsizetype at = 1; at < arguments.size(); ++at) {
    const QString& option = arguments[at];
    QString value;
    int number = 0;
    if (option == u"--help" || option == u"-h") {
      options.Help = true;
    } else if (option == u"--once") {
      options.Once = true;
    } else if (option == u"--verbose") {
      options.Verbose = true;
    } else if (option == u"--tcp") {
      if (!TakeOptionValue(arguments, at, value, error)) return false;
      const qsizetype colon = value.lastIndexOf(u':');
      if (colon <= 0 || !OptionNumber(option, value.mid(colon + 1), 1, 65535, number, error)) {
        if (error.isEmpty()) error = QStringLiteral("--tcp wants HOST:PORT, not \"%1\"").arg(value);
        return false;
      }
      options.TcpHost = value.left(colon);
      options.TcpPort = static_cast<quint16>(number);
      haveTcp = true;
    } else if (option == u"--serial") {
      if (!TakeOptionValue(arguments, at, options.SerialDevice, error)) return false;
      haveSerial = true;
    } else if (option == u"--baud") {
      if (!TakeOptionValue(arguments, at, value, error) ||
          !OptionNumber(option, value, 50, 4000000, number, error))
        return false;
      options.Baud = number;
    } else if (option == u"--prefix") {
      if (!TakeOptionValue(arguments, at, value, error)) return false;
      if (value.isEmpty() || value.contains(u':') || value.contains(u'<') || value.contains(u' ')) {
        error = QStringLiteral("--prefix: \"%1\" cannot be a frame prefix").arg(value);
        return false;
      }
      options.Prefix = value.toLatin1();
    } else if (option == u"--db-host") {
      if (!TakeOptionValue(arguments, at, options.Database.Host, error)) return false;
    } else if (option == u"--db-port") {
      if (!TakeOptionValue(arguments, at, value, error) ||
          !OptionNumber(option, value, 1, 65535, number, error))
        return false;
      options.Database.Port = number;
    } else if (option == u"--db-user") {
      if (!TakeOptionValue(arguments, at, options.Database.User, error)) return false;
    } else if (option == u"--database") {
      if (!TakeOptionValue(arguments, at, options.Database.Database, error)) return false;
      if (!StationDatabase::IsValidDatabaseName(options.Database.Database)) {
        error = QStringLiteral("--database: use letters, digits and _ only");
        return false;
      }
    } else if (option == u"--db-password-file") {
      if (!TakeOptionValue(arguments, at, passwordFile, error)) return false;
    } else if (option == u"--interval") {
      if (!TakeOptionValue(arguments, at, value, error) ||
          !OptionNumber(option, value, 1, 86400, number, error))
        return false;
      options.IntervalSeconds = number;
    } else {
      error = QStringLiteral("unknown option \"%1\"").arg(option);
      return false;
    }
  }
  if (options.Help) return true;
  if (haveTcp == haveSerial) {
    error = QStringLiteral("give either --tcp HOST:PORT or --serial DEVICE");
    return false;
  }
  options.Link = haveTcp ? StationOptions::LinkKind::Tcp : StationOptions::LinkKind::Serial;
  if (!passwordFile.isEmpty() && !ReadPasswordFile(passwordFile, options.Database.Password, error))
    return false;
  return true;
}
