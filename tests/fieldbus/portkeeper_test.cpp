#include "fieldbus/portkeeper.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "configuration/config.h"
#include "fieldbus/icplink.h"
#include "fieldbus/inputpolling.h"
#include "fieldbus/outputdriving.h"
#include "fieldbus/threadcontrol.h"
#include "process/processstate.h"
#include "support/eventlogcapture.h"
#include "support/ptybus.h"
#include "support/qtapplication.h"
#include "support/waitfor.h"

namespace {

using namespace std::chrono_literals;
using Clock = TPortKeeper::Clock;

// Points "link" at "target" the way a re-plugged adapter's name comes back: a
// new symlink renamed over the old one.
bool PointLink(const QString& link, const QString& target) {
  const QByteArray temporary = (link + u".new"_qs).toLocal8Bit();
  ::unlink(temporary.constData());
  return ::symlink(target.toLocal8Bit().constData(), temporary.constData()) == 0 &&
         ::rename(temporary.constData(), link.toLocal8Bit().constData()) == 0;
}

PtyBus::Responder Answering(std::string reading) {
  return [reading](const std::string& command) -> std::optional<std::string> {
    if (command.front() == '$') return reading + '\r';
    return std::string(">\r");
  };
}

// A worker's port under the keeper, on a QThread as in the console (the
// serial port wants an event dispatcher). The port is a symlink in a
// temporary folder that the test makes, removes and re-points.
class PortKeeperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApplication();
    DrainEventLog();
    m_config.HardReadPort = m_port;
    m_config.ReadPortSpeed = 9600;
  }
  void TearDown() override {
    m_control.RequestStop();
    if (m_thread) m_thread->wait();
    DrainEventLog();
  }

  void RunOnThread(std::function<void()> work) {
    m_thread.reset(QThread::create(std::move(work)));
    m_thread->start();
  }
  bool Finished() { return m_thread->wait(QDeadlineTimer(5000)); }

  // The event log so far, collected across calls.
  const std::vector<QString>& Log() {
    for (const TEventFIFO_Rec& record : DrainEventLog()) m_log.push_back(record.Text);
    return m_log;
  }
  bool WaitForLogLines(size_t count) {
    return WaitFor([&] { return Log().size() >= count; });
  }
  // Failed opens count in the link's error counter, one each.
  bool WaitForAttempts(int more) {
    const int target = m_link.GetErrorCounter() + more;
    return WaitFor([&] { return m_link.GetErrorCounter() >= target; });
  }

  QTemporaryDir m_dir;
  const QString m_port = m_dir.filePath(u"ttyModules"_qs);
  TConfig m_config;
  ThreadControl m_control;
  TICPLink m_link{u"COM2"_qs, 9600};
  TPortKeeper m_keeper{
      m_link,
      m_config.HardReadPort,
      m_config.ReadPortSpeed,
      m_config.PortRetrySec,
      u"Поток приема"_qs,
      [](const QString& port) { return u"Поток приема: Не могу подключить порт "_qs + port; }};
  std::unique_ptr<QThread> m_thread;
  std::vector<QString> m_log;
};

TEST_F(PortKeeperTest, AnOutageIsLoggedOnceThenAtMostOnceAMinuteAndItsEndOnce) {
  std::atomic<Clock::rep> fakeNow{0};
  m_keeper.SetTiming(
      {.Interval = 2ms, .Now = [&] { return Clock::time_point(Clock::duration(fakeNow.load())); }});
  const auto advance = [&](Clock::duration by) { fakeNow += by.count(); };
  std::atomic<bool> opened{false};
  RunOnThread([&] {
    opened = m_keeper.Open(m_control, [] { return false; }) && m_link.GetActive();
    m_link.SetActive(false);
  });

  ASSERT_TRUE(WaitForAttempts(10));
  ASSERT_EQ(Log(), std::vector<QString>{u"Поток приема: Не могу подключить порт "_qs + m_port});

  advance(59s);
  ASSERT_TRUE(WaitForAttempts(5));
  EXPECT_EQ(Log().size(), 1u);

  advance(1s);
  ASSERT_TRUE(WaitForLogLines(2));
  EXPECT_TRUE(
      Log()[1].startsWith(u"Поток приема: порт "_qs + m_port + u" по-прежнему недоступен, попыток: "_qs))
      << Log()[1].toStdString();
  EXPECT_TRUE(Log()[1].endsWith(u", следующая через 2 мс"_qs)) << Log()[1].toStdString();
  ASSERT_TRUE(WaitForAttempts(5));
  EXPECT_EQ(Log().size(), 2u);

  PtyBus modules(Answering(">0001"));
  ASSERT_TRUE(modules.IsOpen());
  ASSERT_TRUE(PointLink(m_port, modules.Path()));
  ASSERT_TRUE(Finished());
  EXPECT_TRUE(opened);
  EXPECT_EQ(m_keeper.FailedAttempts(), 0);
  ASSERT_EQ(Log().size(), 3u);
  EXPECT_EQ(Log()[2], u"Поток приема: порт "_qs + m_port + u" восстановлен"_qs);
}

TEST_F(PortKeeperTest, APortBusyWithAnotherUserIsOpenedOnceItIsFree) {
  PtyBus modules(Answering(">0001"));
  ASSERT_TRUE(modules.IsOpen());
  ASSERT_TRUE(PointLink(m_port, modules.Path()));
  TICPLink rival(m_port, 9600);
  rival.SetActive(true);
  ASSERT_TRUE(rival.GetActive());

  m_keeper.SetTiming({.Interval = 5ms});
  std::atomic<bool> opened{false};
  RunOnThread([&] {
    opened = m_keeper.Open(m_control, [] { return false; }) && m_link.GetActive();
    m_link.SetActive(false);
  });
  ASSERT_TRUE(WaitForAttempts(3));
  rival.SetActive(false);
  ASSERT_TRUE(Finished());
  EXPECT_TRUE(opened);
  EXPECT_EQ(Log(), (std::vector<QString>{u"Поток приема: Не могу подключить порт "_qs + m_port,
                                         u"Поток приема: порт "_qs + m_port + u" восстановлен"_qs}));
}

TEST_F(PortKeeperTest, AStopEndsTheWaitForThePortAtOnce) {
  m_config.PortRetrySec = 3600;
  std::atomic<bool> opened{true};
  RunOnThread([&] { opened = m_keeper.Open(m_control, [] { return false; }); });
  ASSERT_TRUE(WaitForLogLines(1));

  const Clock::time_point start = Clock::now();
  m_control.RequestStop();
  ASSERT_TRUE(Finished());
  EXPECT_LT(Clock::now() - start, 500ms);
  EXPECT_FALSE(opened);
  EXPECT_FALSE(m_link.GetActive());
}

// With PortRetrySec = 0 everything is as it always was: a port that does not
// open ends the worker, a port that goes away is left to fail its exchanges.
TEST_F(PortKeeperTest, WithoutRetriesAFailedOpenEndsTheWorkerAndALostPortStaysOpen) {
  m_config.PortRetrySec = 0;
  EXPECT_FALSE(m_keeper.Open(m_control, [] { return false; }));
  EXPECT_EQ(Log(), std::vector<QString>{u"Поток приема: Не могу подключить порт "_qs + m_port});
  EXPECT_EQ(m_link.GetErrorCounter(), 1);

  auto modules = std::make_unique<PtyBus>(Answering(">0001"));
  ASSERT_TRUE(PointLink(m_port, modules->Path()));
  ASSERT_TRUE(m_keeper.Open(m_control, [] { return false; }));
  modules->HangUp();
  QString answer;
  m_link.SetCmdString(u"$01A"_qs);
  EXPECT_FALSE(m_link.SendCommand(answer));
  ASSERT_TRUE(m_link.GetPortLost());
  EXPECT_TRUE(m_keeper.Keep(m_control, [] { return false; }));
  EXPECT_TRUE(m_link.GetActive());
  EXPECT_EQ(Log().size(), 1u);
  m_link.SetActive(false);
}

// Module emulation lets a worker run without its port: nothing is logged and
// nothing waits, but the port is picked up once it is there.
TEST_F(PortKeeperTest, AWorkerThatMayRunWithoutItsPortNeverWaitsAndPicksThePortUp) {
  m_keeper.SetTiming({.Interval = 1ms});
  const auto emulated = [] { return true; };
  ASSERT_TRUE(m_keeper.Open(m_control, emulated));
  EXPECT_FALSE(m_link.GetActive());
  const Clock::time_point start = Clock::now();
  EXPECT_TRUE(m_keeper.Keep(m_control, emulated));
  EXPECT_LT(Clock::now() - start, 100ms);

  PtyBus modules(Answering(">0001"));
  ASSERT_TRUE(PointLink(m_port, modules.Path()));
  EXPECT_TRUE(WaitFor([&] { return m_keeper.Keep(m_control, emulated) && m_link.GetActive(); }));
  EXPECT_TRUE(Log().empty());
  m_link.SetActive(false);
}

// The workers themselves, over lines that go away and come back.
class WorkerPortTest : public PortKeeperTest {
 protected:
  void SetUp() override {
    PortKeeperTest::SetUp();
    m_state.CreateAverages(m_config);
    m_config.HardWritePort = m_port;
    m_config.WritePortSpeed = 9600;
  }

  ProcessState m_state;
  ModuleAnswers m_answers;
  std::atomic<bool> m_emulationOn{false};
  TInputPolling m_polling{m_config, m_state, m_link, m_answers, m_emulationOn, [] { return 46000.5; }};
  TOutputDriving m_driving{m_config, m_state, m_link, m_emulationOn};
};

TEST_F(WorkerPortTest, TheReadThreadResumesOnALineThatWasUnpluggedAndPluggedBackIn) {
  auto first = std::make_unique<PtyBus>(Answering(">0001000200030004"));
  ASSERT_TRUE(PointLink(m_port, first->Path()));
  m_polling.PortKeeper().SetTiming({.Interval = 20ms});
  RunOnThread([&] { m_polling.Run(m_control); });
  ASSERT_TRUE(WaitFor([&] { return m_state.RawValues.Get(0) == 1; }));

  first->HangUp();
  ASSERT_TRUE(WaitForLogLines(1));
  EXPECT_EQ(Log()[0], u"Поток приема: порт "_qs + m_port + u" пропал, повторные попытки каждые 20 мс"_qs);

  PtyBus second(Answering(">0009000200030004"));
  ASSERT_TRUE(PointLink(m_port, second.Path()));
  ASSERT_TRUE(WaitFor([&] { return m_state.RawValues.Get(0) == 9; }, 10000));
  EXPECT_TRUE(m_thread->isRunning());
  ASSERT_EQ(Log().size(), 2u);
  EXPECT_EQ(Log()[1], u"Поток приема: порт "_qs + m_port + u" восстановлен"_qs);

  const Clock::time_point start = Clock::now();
  m_control.RequestStop();
  ASSERT_TRUE(Finished());
  EXPECT_LT(Clock::now() - start, 1000ms);
  EXPECT_FALSE(m_link.GetActive());
}

TEST_F(WorkerPortTest, TheWriteThreadWaitsWithoutCyclingUntilItsPortIsThere) {
  m_driving.PortKeeper().SetTiming({.Interval = 10ms});
  RunOnThread([&] { m_driving.Run(m_control); });
  ASSERT_TRUE(WaitForAttempts(3));
  EXPECT_EQ(m_control.CycleCount.load(), 0);
  EXPECT_EQ(Log(), std::vector<QString>{u"Поток записи: Не могу подключить порт."_qs + m_port});

  PtyBus modules(Answering(">0001"));
  ASSERT_TRUE(PointLink(m_port, modules.Path()));
  ASSERT_TRUE(WaitFor([&] { return modules.Commands().size() >= 6; }));
  EXPECT_EQ(modules.Commands()[0].substr(0, 4), "#030");
  EXPECT_EQ(m_control.ErrorCount.load(), 0);
}

}  // namespace
