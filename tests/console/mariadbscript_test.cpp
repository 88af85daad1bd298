// scripts/mariadb as the test fixture and the demo use it: the same data
// folder comes back on the same port, so a collector pointed at it reconnects.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include "support/files.h"

namespace {

constexpr int kScriptDeadlineMs = 100000;

struct ScriptRun {
  int ExitCode = -1;
  QString Stdout;
  QString Stderr;
};

ScriptRun RunScript(const QString& command, const QString& dir) {
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove(QStringLiteral("FLOT_MARIADB_PORT"));
  process.setProcessEnvironment(environment);
  process.start(QStringLiteral(FLOT_MARIADB_SCRIPT), {command, dir});
  ScriptRun run;
  if (!process.waitForFinished(kScriptDeadlineMs)) {
    process.kill();
    process.waitForFinished();
    return run;
  }
  run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.Stdout = QString::fromLocal8Bit(process.readAllStandardOutput());
  run.Stderr = QString::fromLocal8Bit(process.readAllStandardError());
  return run;
}

int KeptPort(const QString& dir) {
  return QString::fromLatin1(ReadFileBytes(dir + QStringLiteral("/port"))).trimmed().toInt();
}

int EnvPort(const QString& dir) {
  for (const QByteArray& line : ReadFileBytes(dir + QStringLiteral("/env")).split('\n')) {
    if (line.startsWith("FLOT_MYSQL_PORT=")) return line.mid(16).toInt();
  }
  return 0;
}

// A listening socket on 127.0.0.1:port, for as long as it lives.
class PortBlocker {
 public:
  explicit PortBlocker(int port) {
    m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    m_listening = m_socket >= 0 &&
                  ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                  ::listen(m_socket, 1) == 0;
  }
  ~PortBlocker() {
    if (m_socket >= 0) ::close(m_socket);
  }
  PortBlocker(const PortBlocker&) = delete;
  PortBlocker& operator=(const PortBlocker&) = delete;
  bool Listening() const { return m_listening; }

 private:
  int m_socket = -1;
  bool m_listening = false;
};

// Whatever happens in the test, its server does not outlive it.
class StopAtEnd {
 public:
  explicit StopAtEnd(QString dir) : m_dir(std::move(dir)) {}
  ~StopAtEnd() { RunScript(QStringLiteral("stop"), m_dir); }
  StopAtEnd(const StopAtEnd&) = delete;
  StopAtEnd& operator=(const StopAtEnd&) = delete;

 private:
  QString m_dir;
};

TEST(MariaDbScript, AFolderKeepsItsPortAcrossRestartsAndMovesOnlyWhenItIsTaken) {
  QTemporaryDir temp;
  const QString dir = temp.filePath(QStringLiteral("db"));
  StopAtEnd stopAtEnd(dir);
  // A port file edited by hand into nonsense holds no port: the first start
  // chooses one and keeps it.
  ASSERT_TRUE(QDir().mkpath(dir));
  ASSERT_TRUE(WriteFileBytes(dir + QStringLiteral("/port"), "not a port\n"));

  ScriptRun run = RunScript(QStringLiteral("start"), dir);
  ASSERT_EQ(run.ExitCode, 0) << qPrintable(run.Stderr);
  const int first = KeptPort(dir);
  ASSERT_GT(first, 0);
  EXPECT_EQ(EnvPort(dir), first);

  // A stop and a start, and a start of the running server: the same port.
  ASSERT_EQ(RunScript(QStringLiteral("stop"), dir).ExitCode, 0);
  run = RunScript(QStringLiteral("status"), dir);
  EXPECT_EQ(run.ExitCode, 3);
  EXPECT_TRUE(run.Stdout.contains(QStringLiteral("(its port is %1)").arg(first))) << qPrintable(run.Stdout);
  run = RunScript(QStringLiteral("start"), dir);
  ASSERT_EQ(run.ExitCode, 0) << qPrintable(run.Stderr);
  EXPECT_EQ(KeptPort(dir), first);
  EXPECT_EQ(EnvPort(dir), first);
  run = RunScript(QStringLiteral("start"), dir);
  ASSERT_EQ(run.ExitCode, 0) << qPrintable(run.Stderr);
  EXPECT_TRUE(run.Stdout.contains(QStringLiteral("already running on 127.0.0.1:%1").arg(first)));
  EXPECT_EQ(EnvPort(dir), first);

  // Something else has taken the port while the server was down.
  ASSERT_EQ(RunScript(QStringLiteral("stop"), dir).ExitCode, 0);
  PortBlocker blocker(first);
  ASSERT_TRUE(blocker.Listening());
  run = RunScript(QStringLiteral("start"), dir);
  ASSERT_EQ(run.ExitCode, 0) << qPrintable(run.Stderr);
  EXPECT_TRUE(
      run.Stderr.contains(QStringLiteral("port %1 of %2 (kept in %2/port) is taken by another program")
                              .arg(QString::number(first), dir)))
      << qPrintable(run.Stderr);
  const int moved = KeptPort(dir);
  EXPECT_GT(moved, 0);
  EXPECT_NE(moved, first);
  EXPECT_EQ(EnvPort(dir), moved);
  run = RunScript(QStringLiteral("status"), dir);
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_TRUE(run.Stdout.contains(QStringLiteral("127.0.0.1:%1,").arg(moved))) << qPrintable(run.Stdout);
}

}  // namespace
