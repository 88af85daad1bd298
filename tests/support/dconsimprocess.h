#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <vector>

#include "common/inifile.h"

// The module simulator as a child process; stopped with the object.
class DconSimProcess {
 public:
  // One received command of the simulator's log.
  struct Exchange {
    double firstByte = 0;  // CLOCK_MONOTONIC seconds
    double commandEnd = 0;
    double answerEnd = 0;
    int bus = 0;
    QString command;
    QString answer;  // "-" when the simulator stayed silent
  };

  explicit DconSimProcess(const QStringList& arguments) {
    m_process.setProgram(QStringLiteral(FLOT_DCON_SIM_BIN));
    m_process.setArguments(arguments);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
  }
  ~DconSimProcess() {
    if (m_process.state() == QProcess::NotRunning) return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) m_process.kill();
  }

  // True once the simulator printed "ready".
  bool Start(int deadlineMs = 10000) {
    m_process.start();
    if (!m_process.waitForStarted(deadlineMs)) return false;
    QDeadlineTimer deadline(deadlineMs);
    while (!m_stdout.contains("\nready\n") && !m_stdout.startsWith("ready\n")) {
      if (deadline.hasExpired() || m_process.state() != QProcess::Running) return false;
      m_process.waitForReadyRead(100);
      m_stdout += m_process.readAllStandardOutput();
    }
    return true;
  }

  const QByteArray& Stdout() const { return m_stdout; }
  QByteArray Stderr() { return m_process.readAllStandardError(); }

  // Writes the console's configuration in "home" for the simulator's ptys
  // "in" and "out" at "baud": control starts at once, no TCP server, no database.
  static bool ConfigureConsole(const QString& home, const QString& in, const QString& out, int baud) {
    IniFile ini(home + QStringLiteral("/flotation-console.INI"));
    IniUpdate update(ini);
    ini.WriteString("COM", "HardReadPort", in);
    ini.WriteString("COM", "HardWritePort", out);
    ini.WriteInteger("COM", "ReadPortSpeed", baud);
    ini.WriteInteger("COM", "WritePortSpeed", baud);
    ini.WriteInteger("System", "AutoStartControl", 1);
    ini.WriteInteger("System", "LanServer", 0);
    ini.WriteInteger("MySQL", "Disabled", 1);
    return update.Commit();
  }

  // The complete lines of a log file written with --log.
  static std::vector<Exchange> ReadLog(const QString& path) {
    std::vector<Exchange> exchanges;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return exchanges;
    for (const QByteArray& line : file.readAll().split('\n')) {
      const QList<QByteArray> fields = line.split('\t');
      if (fields.size() != 6) continue;
      exchanges.push_back({fields[0].toDouble(), fields[1].toDouble(), fields[2].toDouble(),
                           fields[3].toInt(), QString::fromLatin1(fields[4]),
                           QString::fromLatin1(fields[5])});
    }
    return exchanges;
  }

 private:
  QProcess m_process;
  QByteArray m_stdout;
};
