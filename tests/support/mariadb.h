#pragma once

#include <QFile>
#include <QString>
#include <cstdlib>
#include <optional>

// The private MariaDB server of the "mariadb" test fixture: scripts/mariadb
// writes its address and account into FLOT_MARIADB_DIR/env as KEY=value lines.
// A test that needs the server asserts on Find() so that a missing server is a
// failure, never a silent skip.
struct MariaDbServer {
  QString Host;
  int Port = 0;
  QString User;
  QString Password;
  QString Socket;

  static std::optional<MariaDbServer> Find() {
    const char* dir = std::getenv("FLOT_MARIADB_DIR");
    if (dir == nullptr || *dir == 0) return std::nullopt;
    QFile file(QString::fromLocal8Bit(dir) + QStringLiteral("/env"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return std::nullopt;
    MariaDbServer server;
    while (!file.atEnd()) {
      const QString line = QString::fromUtf8(file.readLine()).trimmed();
      const qsizetype equals = line.indexOf(u'=');
      if (equals < 0) continue;
      const QString key = line.left(equals);
      const QString value = line.mid(equals + 1);
      if (key == u"FLOT_MYSQL_HOST") server.Host = value;
      if (key == u"FLOT_MYSQL_PORT") server.Port = value.toInt();
      if (key == u"FLOT_MYSQL_USER") server.User = value;
      if (key == u"FLOT_MYSQL_PASSWORD") server.Password = value;
      if (key == u"FLOT_MYSQL_SOCKET") server.Socket = value;
    }
    if (server.Host.isEmpty() || server.Port <= 0) return std::nullopt;
    return server;
  }

  // Host and port in the form the console's "Host" setting takes them.
  QString HostWithPort() const { return Host + u':' + QString::number(Port); }
};
