#include "station/linkthread.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <memory>
#include <vector>

#include "configuration/config.h"
#include "fieldbus/icplink.h"
#include "fieldbus/threadcontrol.h"
#include "station/commandset.h"
#include "station/framing.h"
#include "support/eventlogcapture.h"
#include "support/fakelogenvironment.h"
#include "support/qtapplication.h"
#include "support/rawpty.h"

namespace {

// The central station's end of a serial line: the link under test opens the
// pty's device side, the test writes requests to and reads replies from the
// other side.
class StationEnd {
 public:
  StationEnd() { OpenRawPty(m_master, m_slave, m_path); }
  ~StationEnd() { HangUp(); }
  const QString& Path() const { return m_path; }

  // The line goes away, as an unplugged adapter does.
  void HangUp() {
    if (m_master >= 0) ::close(m_master);
    if (m_slave >= 0) ::close(m_slave);
    m_master = m_slave = -1;
  }

  void Send(const QByteArray& bytes) {
    ASSERT_EQ(::write(m_master, bytes.data(), bytes.size()), bytes.size());
  }

  // Bytes up to and including the next carriage return, or what came
  // before the deadline.
  QByteArray ReadLine(int deadlineMs = 3000) {
    QElapsedTimer timer;
    timer.start();
    QByteArray line;
    while (timer.elapsed() < deadlineMs) {
      pollfd fd{m_master, POLLIN, 0};
      if (::poll(&fd, 1, 50) <= 0) continue;
      char byte = 0;
      if (::read(m_master, &byte, 1) != 1) continue;
      line += byte;
      if (byte == '\r') break;
    }
    return line;
  }

  // True when nothing arrives within the window.
  bool Silent(int windowMs) {
    pollfd fd{m_master, POLLIN, 0};
    return ::poll(&fd, 1, windowMs) == 0;
  }

 private:
  int m_master = -1;
  int m_slave = -1;
  QString m_path;
};

QByteArray Request(const QByteArray& body) {
  return body + CalcCRC(body) + '\r';
}

QByteArray Reply(const QByteArray& text) {
  return BuildFrame("PUF1", text) + '\r';
}

class LinkThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApplication();
    SetLogEnvironment(&m_environment);
    DrainEventLog();
    m_link.SetAbortFlag(&m_control.StopRequest);
  }
  void TearDown() override {
    Stop();
    DrainEventLog();
    SetLogEnvironment(nullptr);
  }

  void Start(const QString& port) {
    m_config.ServerLinkPort = port;
    m_config.LinkPortSpeed = 57600;
    // A QThread, as in the console: the serial port wants its event dispatcher.
    m_thread.reset(QThread::create([this] {
      m_control.Running = true;
      m_stationLink.LinkThreadWork();
      m_control.Running = false;
    }));
    m_thread->start();
  }
  // Opening the port purges it, so a request goes out only once it is open.
  bool WaitUntilOpen() {
    QElapsedTimer timer;
    timer.start();
    while (!m_link.GetActive() && timer.elapsed() < 3000) QThread::msleep(5);
    return m_link.GetActive();
  }
  void Stop() {
    m_control.RequestStop();
    if (m_thread) m_thread->wait();
  }
  std::vector<QString> LogTexts() {
    std::vector<QString> texts;
    for (const TEventFIFO_Rec& record : DrainEventLog()) texts.push_back(record.Text);
    return texts;
  }
  // Collects the event log until a line that starts with "start" has come.
  bool WaitForLogLine(std::vector<QString>& seen, const QString& start) {
    QElapsedTimer timer;
    timer.start();
    for (;;) {
      for (QString& text : LogTexts()) seen.push_back(std::move(text));
      for (const QString& text : seen) {
        if (text.startsWith(start)) return true;
      }
      if (timer.elapsed() > 5000) return false;
      QThread::msleep(5);
    }
  }

  FakeLogEnvironment m_environment;
  StationEnd m_station;
  TConfig m_config;
  ProcessState m_state;
  LogRecList m_logRecs;
  ThreadControl m_control;
  TCommandSet m_commands{m_state, m_logRecs, m_control};
  TICPLink m_link{QStringLiteral("COM1"), 57600};
  TStationLink m_stationLink{m_link, m_config, m_control, m_commands};
  std::unique_ptr<QThread> m_thread;
};

TEST_F(LinkThreadTest, AnswersEveryKindOfRequestOnTheLine) {
  Start(m_station.Path());
  ASSERT_TRUE(WaitUntilOpen());
  m_station.Send("PUF1:GetUnsavedCount:<078F>\r");
  EXPECT_EQ(m_station.ReadLine(), "PUF1:GetUnsavedCount_OK:0<08B8>\r");

  // Lines for other consoles and malformed lines get nothing, so the next
  // line read is the reply to the request after them.
  m_station.Send("PUF2:GetUnsavedCount:<0000>\rPUF1:ab\r\n\n  PUF1:GetLogRecCount:" +
                 CalcCRC("PUF1:GetLogRecCount:") + "\r");
  EXPECT_EQ(m_station.ReadLine(), Reply("GetLogRecCount_OK:0"));

  m_station.Send("PUF1:GetUnsavedCount:<078f>\r");
  EXPECT_EQ(m_station.ReadLine(), "PUF1:Error:BAD CRC<0559>\r");
  m_station.Send("PUF1:GetUnsavedCount<0755>\r");
  EXPECT_EQ(m_station.ReadLine(), "PUF1:Error:Cmd<04AE>\r");
  m_station.Send(Request("PUF1:Get:"));
  EXPECT_EQ(m_station.ReadLine(), "PUF1:Error:Cmd<04AE>\r");

  // An unknown command: the frame of ":)\r\n" (its CR ends the first read),
  // the rest of it, then the second frame.
  m_station.Send(Request("PUF1:getstaterec:"));
  QByteArray unknown = m_station.ReadLine();
  unknown += m_station.ReadLine();
  EXPECT_EQ(unknown, Reply(":)\r\n"));
  EXPECT_EQ(m_station.ReadLine(), Reply("Error:Unknown command"));

  m_station.Send(Request("PUF1:SetTRRS1:12.5"));
  EXPECT_EQ(m_station.ReadLine(), Reply("SetTRRS_OK:"));
  EXPECT_EQ(m_state.Setpoints.Get(kTRRS1), 12.5f);
  EXPECT_TRUE(m_station.Silent(200));

  // Requests: the good ones, the checksum error and the unknown command;
  // errors: checksum, two command field errors, the unknown command.
  EXPECT_EQ(m_control.CycleCount.load(), 5);
  EXPECT_EQ(m_control.ErrorCount.load(), 4);
  const std::vector<TEventFIFO_Rec> audit = DrainEventLog();
  ASSERT_EQ(audit.size(), 1u);
  EXPECT_TRUE(audit[0].Text.endsWith(u" ("_qs + m_station.Path() + u')'));
}

TEST_F(LinkThreadTest, StopClosesThePortPromptly) {
  Start(m_station.Path());
  ASSERT_TRUE(WaitUntilOpen());
  m_station.Send("PUF1:GetUnsavedCount:<078F>\r");
  ASSERT_EQ(m_station.ReadLine(), "PUF1:GetUnsavedCount_OK:0<08B8>\r");
  ASSERT_TRUE(m_link.GetActive());
  QElapsedTimer timer;
  timer.start();
  Stop();
  EXPECT_LT(timer.elapsed(), 1000);
  EXPECT_FALSE(m_link.GetActive());
  EXPECT_FALSE(m_control.Running.load());
}

TEST_F(LinkThreadTest, WithoutRetriesAPortThatDoesNotOpenEndsTheThreadWithOneLogEntry) {
  m_config.PortRetrySec = 0;
  Start(u"/nonexistent/ttyStation"_qs);
  m_thread->wait();
  EXPECT_FALSE(m_control.Running.load());
  const std::vector<TEventFIFO_Rec> log = DrainEventLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].Text, u"Поток связи: Не могу подключить порт/nonexistent/ttyStation");
  EXPECT_EQ(log[0].Flags, 0u);
}

// Points "link" at "target" the way a re-plugged adapter's name comes back:
// a new symlink renamed over the old one.
bool PointLink(const QString& link, const QString& target) {
  const QByteArray temporary = (link + u".new"_qs).toLocal8Bit();
  ::unlink(temporary.constData());
  return ::symlink(target.toLocal8Bit().constData(), temporary.constData()) == 0 &&
         ::rename(temporary.constData(), link.toLocal8Bit().constData()) == 0;
}

TEST_F(LinkThreadTest, APortThatIsNotThereYetIsTriedAgainUntilItAnswers) {
  QTemporaryDir dir;
  const QString port = dir.filePath(u"ttyStation"_qs);
  m_stationLink.PortKeeper().SetTiming({.Interval = std::chrono::milliseconds(20)});
  Start(port);

  std::vector<QString> log;
  ASSERT_TRUE(WaitForLogLine(log, u"Поток связи: Не могу подключить порт"_qs));
  EXPECT_EQ(log[0], u"Поток связи: Не могу подключить порт"_qs + port);
  EXPECT_TRUE(m_control.Running.load());
  ASSERT_TRUE(PointLink(port, m_station.Path()));

  ASSERT_TRUE(WaitUntilOpen());
  m_station.Send("PUF1:GetUnsavedCount:<078F>\r");
  EXPECT_EQ(m_station.ReadLine(), "PUF1:GetUnsavedCount_OK:0<08B8>\r");
  ASSERT_TRUE(WaitForLogLine(log, u"Поток связи: порт"_qs));
  EXPECT_EQ(log.back(), u"Поток связи: порт "_qs + port + u" восстановлен"_qs);
  // Within the minute only the first failure and the recovery are logged.
  EXPECT_EQ(log.size(), 2u);
}

TEST_F(LinkThreadTest, AStationLineThatGoesAwayAndComesBackIsAnsweredAgain) {
  QTemporaryDir dir;
  const QString port = dir.filePath(u"ttyStation"_qs);
  ASSERT_TRUE(PointLink(port, m_station.Path()));
  m_stationLink.PortKeeper().SetTiming({.Interval = std::chrono::milliseconds(20)});
  Start(port);
  ASSERT_TRUE(WaitUntilOpen());
  m_station.Send("PUF1:GetUnsavedCount:<078F>\r");
  ASSERT_EQ(m_station.ReadLine(), "PUF1:GetUnsavedCount_OK:0<08B8>\r");

  m_station.HangUp();
  std::vector<QString> log;
  ASSERT_TRUE(WaitForLogLine(log, u"Поток связи: порт"_qs));
  EXPECT_EQ(log[0], u"Поток связи: порт "_qs + port + u" пропал, повторные попытки каждые 20 мс"_qs);

  StationEnd replugged;
  ASSERT_TRUE(PointLink(port, replugged.Path()));
  ASSERT_TRUE(WaitForLogLine(log, u"Поток связи: порт "_qs + port + u" восстановлен"_qs));
  replugged.Send("PUF1:GetUnsavedCount:<078F>\r");
  EXPECT_EQ(replugged.ReadLine(), "PUF1:GetUnsavedCount_OK:0<08B8>\r");
  EXPECT_TRUE(m_control.Running.load());
  EXPECT_EQ(m_control.CycleCount.load(), 2);
}

TEST_F(LinkThreadTest, AStopWhileWaitingForThePortIsPrompt) {
  m_config.PortRetrySec = 3600;
  Start(u"/nonexistent/ttyStation"_qs);
  std::vector<QString> log;
  ASSERT_TRUE(WaitForLogLine(log, u"Поток связи: Не могу подключить порт"_qs));
  ASSERT_TRUE(m_control.Running.load());

  QElapsedTimer timer;
  timer.start();
  Stop();
  EXPECT_LT(timer.elapsed(), 500);
  EXPECT_FALSE(m_control.Running.load());
  EXPECT_FALSE(m_link.GetActive());
}

TEST_F(LinkThreadTest, SendAnswerNeedsAnOpenPort) {
  EXPECT_FALSE(m_stationLink.SendAnswer(u"GetLogRecCount_OK:0"_qs));
}

}  // namespace
