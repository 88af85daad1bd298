#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <csignal>

inline constexpr int kDeadlineMs = 20000;

// Runs the headless console in a folder until it announces itself, then
// stops it with a signal.
class HeadlessConsole {
 public:
  explicit HeadlessConsole(const QString& home, const QStringList& extraArguments = {}) {
    m_process.setProgram(QStringLiteral(FLOT_CONSOLE_BIN));
    m_process.setArguments(QStringList{"--headless", "--home", home} + extraArguments);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
  }

  bool StartAndWaitUntilRunning() {
    m_process.start();
    if (!m_process.waitForStarted(kDeadlineMs)) return false;
    return WaitForStderr("running headless");
  }

  // Waits until the console wrote "text" to its standard error.
  bool WaitForStderr(const QByteArray& text) {
    QDeadlineTimer deadline(kDeadlineMs);
    while (!m_stderr.contains(text)) {
      if (deadline.hasExpired() || m_process.state() != QProcess::Running) return false;
      m_process.waitForReadyRead(100);
      m_stderr += m_process.readAllStandardError();
    }
    return true;
  }

  // The exit code after the signal, or -1 when it did not end in time.
  int StopWith(int signal) {
    ::kill(static_cast<pid_t>(m_process.processId()), signal);
    if (!m_process.waitForFinished(kDeadlineMs)) {
      m_process.kill();
      return -1;
    }
    m_stderr += m_process.readAllStandardError();
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
  }

  const QByteArray& Stderr() const { return m_stderr; }
  qint64 ProcessId() const { return m_process.processId(); }

 private:
  QProcess m_process;
  QByteArray m_stderr;
};
