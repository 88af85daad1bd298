#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <csignal>

inline constexpr int kDeadlineMs = 20000;

// Runs the console in a folder until it announces itself, then stops it
// with a signal: headless, or windowed on the offscreen platform.
class HeadlessConsole {
 public:
  enum Mode { kHeadless, kWindowed };

  explicit HeadlessConsole(const QString& home, const QStringList& extraArguments = {}, Mode mode = kHeadless)
      : m_mode(mode) {
    m_process.setProgram(QStringLiteral(FLOT_CONSOLE_BIN));
    const QStringList modeArguments = mode == kHeadless ? QStringList{"--headless"} : QStringList{};
    m_process.setArguments(modeArguments + QStringList{"--home", home} + extraArguments);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    if (mode == kWindowed) {
      QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
      environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
      m_process.setProcessEnvironment(environment);
    }
  }

  bool Start() {
    m_process.start();
    return m_process.waitForStarted(kDeadlineMs);
  }

  bool StartAndWaitUntilRunning() {
    if (!Start()) return false;
    return WaitForStderr(m_mode == kHeadless ? "running headless" : "running windowed");
  }

  // Waits until the console wrote "text" to its standard error, at least
  // "times" times in all.
  bool WaitForStderr(const QByteArray& text, qsizetype times = 1) {
    QDeadlineTimer deadline(kDeadlineMs);
    while (m_stderr.count(text) < times) {
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
  Mode m_mode;
  QProcess m_process;
  QByteArray m_stderr;
};
