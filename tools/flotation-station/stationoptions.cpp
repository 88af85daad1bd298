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
      "usage: flotation-station [--config FILE] (--tcp HOST:PORT | --serial DEVICE [--baud N])\n"
      "                         [--prefix PUF1]\n"
      "                         [--db-host 127.0.0.1] [--db-port 3306] [--db-user USER] [--database dravo]\n"
      "                         [--db-password-file FILE] [--interval SECONDS] [--once] [--verbose]\n"
      "Collects a console's minute records and log records into MySQL (tables puf_data, puf_log,\n"
      "puf_rejected). The database password comes from FLOT_STATION_DB_PASSWORD or the first line\n"
      "of --db-password-file, never from the command line.\n"
      "  --config FILE  read these settings from FILE first, one \"key = value\" a line with\n"
      "              the options' names without their dashes (tcp, serial, baud, prefix, db-host,\n"
      "              db-port, db-user, database, db-password-file, interval, verbose = yes|no);\n"
      "              the command line overrides it. What it cannot use is a warning, and the\n"
      "              default stays: the console at 127.0.0.1:7777\n"
      "  --once      collect what waits now, then exit (0: done, 1: failed)\n"
      "  --interval  seconds between collections (default 5)\n"
      "  --verbose   one line per stored minute and per batch of log lines\n"
      "  --help      this text\n"
      "  --version   the version and the commit it was built from\n");
}

namespace {

// What the options said so far, beyond StationOptions itself.
struct ParseState {
  bool HaveTcp = false;
  bool HaveSerial = false;
  QString PasswordFile;
};

// Applies arguments[at] and, when it takes one, its value ("at" moves on to
// it). False with the reason for an option it does not know or a bad value.
bool ApplyOption(const QStringList& arguments, qsizetype& at, StationOptions& options, ParseState& state,
                 QString& error) {
  const QString& option = arguments[at];
  QString value;
  int number = 0;
  if (option == u"--help" || option == u"-h") {
    options.Help = true;
  } else if (option == u"--version") {
    options.Version = true;
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
    state.HaveTcp = true;
  } else if (option == u"--serial") {
    if (!TakeOptionValue(arguments, at, options.SerialDevice, error)) return false;
    state.HaveSerial = true;
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
    if (!TakeOptionValue(arguments, at, state.PasswordFile, error)) return false;
  } else if (option == u"--interval") {
    if (!TakeOptionValue(arguments, at, value, error) ||
        !OptionNumber(option, value, 1, 86400, number, error))
      return false;
    options.IntervalSeconds = number;
  } else {
    error = QStringLiteral("unknown option \"%1\"").arg(option);
    return false;
  }
  return true;
}

// The keys of the configuration file: the options that take a value, and
// "verbose", without their dashes.
bool IsConfigKey(const QString& key) {
  static const QStringList keys =
      QStringLiteral("tcp serial baud prefix db-host db-port db-user database db-password-file "
                     "interval verbose")
          .split(u' ');
  return keys.contains(key);
}

// Applies the configuration file at "path" to "options". What it cannot use
// (a missing or unreadable file, a bad line, a bad value) is a warning and is
// left at its default, so that a collector started by the system still runs.
void ApplyConfigFile(const QString& path, StationOptions& options, ParseState& state, QStringList& warnings) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
    warnings << QStringLiteral("cannot read the configuration %1 (%2); using the defaults")
                    .arg(path, file.errorString());
    return;
  }
  int lineNumber = 0;
  while (!file.atEnd()) {
    ++lineNumber;
    const QString line = QString::fromUtf8(file.readLine()).trimmed();
    if (line.isEmpty() || line.startsWith(u'#')) continue;
    const qsizetype equals = line.indexOf(u'=');
    const QString key = line.left(equals).trimmed();
    const QString value = equals < 0 ? QString() : line.mid(equals + 1).trimmed();
    const QString where = QStringLiteral("%1:%2").arg(path).arg(lineNumber);
    if (equals < 0 || !IsConfigKey(key)) {
      warnings << QStringLiteral("%1: \"%2\" is not a setting; ignored").arg(where, line);
      continue;
    }
    if (key == u"verbose") {
      if (value == u"yes" || value == u"1" || value == u"true") {
        options.Verbose = true;
      } else if (value == u"no" || value == u"0" || value == u"false") {
        options.Verbose = false;
      } else {
        warnings << QStringLiteral("%1: verbose wants yes or no, not \"%2\"; ignored").arg(where, value);
      }
      continue;
    }
    // The file names one link; a later line replaces an earlier one.
    StationOptions tried = options;
    ParseState triedState = state;
    if (key == u"tcp" || key == u"serial") triedState.HaveTcp = triedState.HaveSerial = false;
    const QStringList pair{QString(), QStringLiteral("--") + key, value};
    qsizetype at = 1;
    QString error;
    if (!ApplyOption(pair, at, tried, triedState, error)) {
      warnings << QStringLiteral("%1: %2; ignored").arg(where, error);
      continue;
    }
    options = tried;
    state = triedState;
  }
}

}  // namespace

bool ParseStationOptions(const QStringList& arguments, const QString& passwordFromEnvironment,
                         StationOptions& options, QString& error) {
  QStringList warnings;
  return ParseStationOptions(arguments, passwordFromEnvironment, options, warnings, error);
}

bool ParseStationOptions(const QStringList& arguments, const QString& passwordFromEnvironment,
                         StationOptions& options, QStringList& warnings, QString& error) {
  options = StationOptions{};
  options.Database.Password = passwordFromEnvironment;
  warnings.clear();
  ParseState state;

  // The configuration file first, whatever its place: the command line
  // overrides it, and a link on the command line replaces the file's.
  QString configPath;
  bool linkOnCommandLine = false;
  for (qsizetype at = 1; at < arguments.size(); ++at) {
    if (arguments[at] == u"--config") {
      if (!TakeOptionValue(arguments, at, configPath, error)) return false;
    } else if (arguments[at] == u"--tcp" || arguments[at] == u"--serial") {
      linkOnCommandLine = true;
    }
  }
  const bool haveConfig = !configPath.isEmpty();
  QString configPasswordFile;
  if (haveConfig) {
    options.TcpHost = QStringLiteral("127.0.0.1");
    options.TcpPort = 7777;
    ApplyConfigFile(configPath, options, state, warnings);
    if (!state.HaveSerial) state.HaveTcp = true;  // the default: the console on this computer
    if (linkOnCommandLine) state.HaveTcp = state.HaveSerial = false;
    configPasswordFile = state.PasswordFile;
    state.PasswordFile.clear();
  }

  for (qsizetype at = 1; at < arguments.size(); ++at) {
    if (arguments[at] == u"--config") {
      ++at;
      continue;
    }
    if (!ApplyOption(arguments, at, options, state, error)) return false;
  }
  if (options.Help || options.Version) return true;
  if (state.HaveTcp == state.HaveSerial) {
    error = QStringLiteral("give either --tcp HOST:PORT or --serial DEVICE");
    return false;
  }
  options.Link = state.HaveTcp ? StationOptions::LinkKind::Tcp : StationOptions::LinkKind::Serial;
  if (!state.PasswordFile.isEmpty()) {
    if (!ReadPasswordFile(state.PasswordFile, options.Database.Password, error)) return false;
  } else if (!configPasswordFile.isEmpty()) {
    QString problem;
    if (!ReadPasswordFile(configPasswordFile, options.Database.Password, problem))
      warnings << QStringLiteral("%1 (from %2); connecting without a password").arg(problem, configPath);
  }
  return true;
}
