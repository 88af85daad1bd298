// The console's station link as a central station meets it: the headless
// console on a free TCP port, and on a serial line played by the test.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>

#include "common/cp1251.h"
#include "common/inifile.h"
#include "support/headlessconsole.h"
#include "support/rawpty.h"
#include "support/stationclient.h"

namespace {

// A console folder: no modules (emulation), no serial station line unless
// given, the TCP server on "port", and the history database on a port where
// nothing listens.
void Configure(const QTemporaryDir& home, int port, const QString& stationLine = u"/nonexistent/station"_qs,
               bool lanServer = true) {
  IniFile ini(home.filePath(u"flotation-console.INI"_qs));
  IniUpdate update(ini);
  ini.WriteString(u"COM"_qs, u"HardReadPort"_qs, u"/nonexistent/in"_qs);
  ini.WriteString(u"COM"_qs, u"HardWritePort"_qs, u"/nonexistent/out"_qs);
  ini.WriteString(u"COM"_qs, u"ServerLinkPort"_qs, stationLine);
  ini.WriteInteger(u"COM"_qs, u"LinkPortSpeed"_qs, 57600);
  ini.WriteInteger(u"System"_qs, u"AutoStartControl"_qs, 1);
  ini.WriteInteger(u"System"_qs, u"LanServer"_qs, lanServer ? 1 : 0);
  ini.WriteInteger(u"System"_qs, u"LanPort"_qs, port);
  ini.WriteString(u"MySQL"_qs, u"Host"_qs, u"127.0.0.1:"_qs + QString::number(FreeTcpPort()));
  update.Commit();
}

TEST(StationLink, TcpServerAnswersAndKeepsTheStationsLogRecords) {
  QTemporaryDir home;
  const int port = FreeTcpPort();
  Configure(home, port);
  HeadlessConsole console(home.path(), {u"--emulate"_qs});
  ASSERT_TRUE(console.StartAndWaitUntilRunning()) << console.Stderr().constData();
  ASSERT_TRUE(console.WaitForStderr("query server on TCP port " + QByteArray::number(port)))
      << console.Stderr().constData();

  StationClient station;
  ASSERT_TRUE(station.Connect(port));
  ASSERT_TRUE(station.ReadGreeting());

  // The failed database connection at start and the automatic start. The
  // attempt runs on the database thread, so on a slow machine it may end
  // after the start-up: either order.
  QDeadlineTimer deadline(kDeadlineMs);
  while (station.Ask("PUF1", "GetLogRecCount") != BuildFrame("PUF1", "GetLogRecCount_OK:2") &&
         !deadline.hasExpired()) {
    QThread::msleep(20);
  }
  ASSERT_EQ(station.Ask("PUF1", "GetLogRecCount"), BuildFrame("PUF1", "GetLogRecCount_OK:2"));
  QStringList texts;
  for (int i = 0; i < 2; ++i) {
    const QByteArray record = station.Ask("PUF1", "GetLogRec");
    ASSERT_TRUE(record.startsWith("PUF1:GetLogRec_OK:")) << record.constData();
    const QString text = FromCp1251(record);
    texts << text.section(u'\t', -1).section(u'<', 0, 0);
    const QByteArray tick = record.mid(18, record.indexOf('\t') - 18);
    EXPECT_EQ(station.Ask("PUF1", "DeleteLogRec", tick), BuildFrame("PUF1", "DeleteLogRec_OK:1"));
  }
  texts.sort();
  EXPECT_EQ(texts, (QStringList{u"Автозапуск контроля аппаратуры."_qs,
                                u"Не могу подключиться к MySQL серверу."_qs}));

  // A setpoint from the station is the operator's from then on: saved at exit.
  EXPECT_EQ(station.Ask("PUF1", "SetTRRS2", "44,5"), BuildFrame("PUF1", "SetTRRS_OK:"));
  const QByteArray state = station.Ask("PUF1", "GetStateRec");
  EXPECT_TRUE(state.startsWith("PUF1:GetStateRec_OK:RecMoment='")) << state.constData();
  EXPECT_EQ(station.Ask("PUF1", "GetUnsavedCount", {}).left(24), "PUF1:GetUnsavedCount_OK:");

  station.Send("Quit\r");
  EXPECT_EQ(station.Read(100, 3000), "Good bye!\r");

  ASSERT_EQ(console.StopWith(SIGTERM), 0) << console.Stderr().constData();
  IniFile ini(home.filePath(u"flotation-console.INI"_qs));
  EXPECT_DOUBLE_EQ(ini.ReadFloat(u"LastSet"_qs, u"TRRS2"_qs, -1), 44.5);
}

TEST(StationLink, NoTcpServerWithoutLanServer) {
  QTemporaryDir home;
  const int port = FreeTcpPort();
  Configure(home, port, u"/nonexistent/station"_qs, false);
  HeadlessConsole console(home.path(), {u"--emulate"_qs});
  ASSERT_TRUE(console.StartAndWaitUntilRunning()) << console.Stderr().constData();
  ASSERT_TRUE(console.WaitForStderr("control started")) << console.Stderr().constData();
  StationClient station;
  EXPECT_FALSE(station.Connect(port, 700));
  ASSERT_EQ(console.StopWith(SIGTERM), 0) << console.Stderr().constData();
}

TEST(StationLink, SerialLineAnswersTheStation) {
  int master = -1;
  int slave = -1;
  QString line;
  ASSERT_TRUE(OpenRawPty(master, slave, line));

  QTemporaryDir home;
  Configure(home, FreeTcpPort(), line);
  HeadlessConsole console(home.path(), {u"--emulate"_qs});
  ASSERT_TRUE(console.StartAndWaitUntilRunning()) << console.Stderr().constData();
  ASSERT_TRUE(console.WaitForStderr("control started")) << console.Stderr().constData();

  // The console purges the line when it opens it: ask until it answers.
  const QByteArray request = "PUF1:GetLogRecCount:" + CalcCRC("PUF1:GetLogRecCount:") + '\r';
  QByteArray reply;
  QDeadlineTimer deadline(10000);
  while (!reply.endsWith('\r') && !deadline.hasExpired()) {
    if (reply.isEmpty()) {
      ASSERT_EQ(::write(master, request.data(), request.size()), request.size());
    }
    pollfd fd{master, POLLIN, 0};
    if (::poll(&fd, 1, 300) <= 0) continue;
    char byte = 0;
    if (::read(master, &byte, 1) == 1) reply += byte;
  }
  EXPECT_EQ(reply, BuildFrame("PUF1", "GetLogRecCount_OK:2") + '\r');
  ASSERT_EQ(console.StopWith(SIGTERM), 0) << console.Stderr().constData();
  ::close(master);
  ::close(slave);
}

}  // namespace
