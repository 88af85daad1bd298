#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "console/consolecore.h"
#include "support/eventlogcapture.h"
#include "support/ptybus.h"

namespace {

using namespace std::chrono_literals;

// Waits for a condition, polling; false when the deadline passed first.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds deadline = 5000ms) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

// Reports how long a stop took, to compare with the stop wait.
template <typename Stop>
std::chrono::milliseconds Timed(Stop stop, bool& result) {
  const auto start = std::chrono::steady_clock::now();
  result = stop();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

class WorkersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DrainEventLog();
    m_core.Open();
    m_core.Config().HardReadPort = m_home.filePath(QStringLiteral("no-such-port-in"));
    m_core.Config().HardWritePort = m_home.filePath(QStringLiteral("no-such-port-out"));
  }
  void TearDown() override {
    m_core.StopReadThread();
    m_core.StopWriteThread();
    DrainEventLog();
  }

  std::vector<QString> LogTexts() {
    std::vector<QString> texts;
    for (const auto& record : DrainEventLog()) texts.push_back(record.Text);
    return texts;
  }

  QTemporaryDir m_home;
  TConsoleCore m_core{m_home.path()};
};

TEST_F(WorkersTest, EmulatedModulesCycleWithoutAPort) {
  m_core.Config().EmulI7017Flag[0] = true;
  m_core.Config().EmulI7017Flag[1] = true;
  m_core.EmulationOn = true;
  ThreadControl& control = m_core.ReadControl();

  ASSERT_TRUE(m_core.StartReadThread());
  EXPECT_FALSE(m_core.StartReadThread());
  EXPECT_GT(control.StartTime.load(), 0);
  ASSERT_TRUE(WaitFor([&] { return control.CycleCount >= 2; }));

  EXPECT_EQ(control.ErrorCount, 0);
  EXPECT_TRUE(control.Running);
  EXPECT_EQ(m_core.State().RawValues.Get(0), 583);
  EXPECT_EQ(m_core.State().RawValues.Get(5), 0x7777);
  EXPECT_GT(m_core.State().StateRecord.RecMoment(), 0);

  bool stopped = false;
  EXPECT_LT(Timed([&] { return m_core.StopReadThread(); }, stopped), 1000ms);
  EXPECT_TRUE(stopped);
  EXPECT_FALSE(control.Running);

  // A restart continues the counters.
  const int cycles = control.CycleCount;
  ASSERT_TRUE(m_core.StartReadThread());
  ASSERT_TRUE(WaitFor([&] { return control.CycleCount > cycles; }));
}

TEST_F(WorkersTest, WithoutPortAndEmulationTheThreadsLogAndEnd) {
  ASSERT_TRUE(m_core.StartReadThread());
  ASSERT_TRUE(m_core.StartWriteThread());
  std::vector<QString> texts;
  ASSERT_TRUE(WaitFor([&] {
    for (QString& text : LogTexts()) texts.push_back(std::move(text));
    return texts.size() >= 2;
  }));
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts[0], u"Поток записи: Не могу подключить порт."_qs + m_core.Config().HardWritePort.Get());
  EXPECT_EQ(texts[1], u"Поток приема: Не могу подключить порт "_qs + m_core.Config().HardReadPort.Get());

  EXPECT_TRUE(m_core.StopReadThread());
  EXPECT_TRUE(m_core.StopWriteThread());
  EXPECT_FALSE(m_core.ReadControl().Running);
  EXPECT_EQ(m_core.ReadControl().CycleCount, 0);
  EXPECT_FALSE(m_core.ICPLinkRead().GetActive());
}

TEST_F(WorkersTest, EmulatedWriteThreadCountsEveryCycleThatHadCommandsDue) {
  m_core.EmulationOn = true;
  ThreadControl& control = m_core.WriteControl();
  ASSERT_TRUE(m_core.StartWriteThread());
  ASSERT_TRUE(WaitFor([&] { return control.ErrorCount >= 2; }));
  ASSERT_TRUE(m_core.StopWriteThread());

  m_core.Config().DisableDacWrite[0] = true;
  m_core.Config().DisableDacWrite[1] = true;
  const int errors = control.ErrorCount;
  const int cycles = control.CycleCount;
  ASSERT_TRUE(m_core.StartWriteThread());
  ASSERT_TRUE(WaitFor([&] { return control.CycleCount >= cycles + 2; }));
  EXPECT_EQ(control.ErrorCount, errors);
}

// The whole loop over two lines: module readings in, dosing, flows out.
class ClosedLoopTest : public WorkersTest {
 protected:
  void SetUp() override {
    WorkersTest::SetUp();
    ASSERT_TRUE(m_inputs.IsOpen() && m_outputs.IsOpen());
    m_core.Config().HardReadPort = m_inputs.Path();
    m_core.Config().HardWritePort = m_outputs.Path();
  }

  std::atomic<bool> m_silent{false};
  PtyBus m_inputs{[this](const std::string& command) -> std::optional<std::string> {
    if (m_silent) return std::nullopt;
    if (command == "$01A") return std::string(">00010002000300040005000600070008\r");
    if (command == "$02A") return std::string(">01010102010301040105010601070108\r");
    return std::nullopt;
  }};
  PtyBus m_outputs{[this](const std::string&) -> std::optional<std::string> {
    if (m_silent) return std::nullopt;
    return std::string(">\r");
  }};
};

TEST_F(ClosedLoopTest, ReadingsArriveAndTheManualFlowsReachTheOutputModules) {
  ProcessState& state = m_core.State();
  state.AveragedValues.SetMode(F1RR, 1);
  state.Setpoints.Set(kTRRS1, 25);
  state.Setpoints.Set(kTRRP1, 12.5f);

  ASSERT_TRUE(m_core.StartReadThread());
  ASSERT_TRUE(m_core.StartWriteThread());
  ASSERT_TRUE(WaitFor([&] { return m_outputs.Commands().size() >= 12; }));

  for (int slot = 0; slot < 4; ++slot) {
    EXPECT_EQ(state.RawValues.Get(slot), slot + 1);
    EXPECT_EQ(state.RawValues.Get(4 + slot), 0x101 + slot);
  }
  EXPECT_EQ(m_core.LastAnswers().Text[1].Get(), ">01010102010301040105010601070108");
  EXPECT_EQ(m_core.ReadControl().ErrorCount, 0);
  EXPECT_EQ(m_core.WriteControl().ErrorCount, 0);
  const std::vector<std::string> commands = m_outputs.Commands();
  EXPECT_EQ(commands[6], "#030+25.000");
  EXPECT_EQ(commands[7], "#031+12.500");
  EXPECT_EQ(commands[9].substr(0, 4), "#040");
  const std::vector<std::string> polls = m_inputs.Commands();
  EXPECT_EQ(polls[0], "$01A");
  EXPECT_EQ(polls[1], "$02A");
}

// Modules that stopped answering do not hold a stop beyond its wait: the
// exchange in progress gives up.
TEST_F(ClosedLoopTest, StopsWithinTheStopWaitWhileModulesAreSilent) {
  m_silent = true;
  ASSERT_TRUE(m_core.StartReadThread());
  ASSERT_TRUE(m_core.StartWriteThread());
  ASSERT_TRUE(WaitFor([&] { return !m_inputs.Commands().empty() && !m_outputs.Commands().empty(); }));

  bool stopped = false;
  EXPECT_LT(Timed([&] { return m_core.StopWriteThread(); }, stopped), 1000ms);
  EXPECT_TRUE(stopped);
  EXPECT_LT(Timed([&] { return m_core.StopReadThread(); }, stopped), 1000ms);
  EXPECT_TRUE(stopped);
  EXPECT_FALSE(m_core.ICPLinkRead().GetActive());
  EXPECT_FALSE(m_core.ICPLinkWrite().GetActive());
}

// An input line that goes away under the running thread (an unplugged USB
// adapter): the thread keeps cycling, counts the failed cycles, keeps the last
// values, and still stops within its wait.
// With retries off, as the console always did: the thread cycles on and
// counts the failed exchanges (with retries it waits for its port instead,
// which tests/fieldbus/portkeeper_test.cpp shows).
TEST_F(ClosedLoopTest, WithRetriesOffALineThatGoesAwayCountsErrorsAndKeepsTheLastValues) {
  m_core.Config().PortRetrySec = 0;
  ThreadControl& control = m_core.ReadControl();
  ASSERT_TRUE(m_core.StartReadThread());
  ASSERT_TRUE(WaitFor([&] { return control.CycleCount >= 2; }));
  ASSERT_EQ(control.ErrorCount, 0);

  m_inputs.HangUp();
  const int cycles = control.CycleCount;
  ASSERT_TRUE(WaitFor([&] { return control.CycleCount >= cycles + 2 && control.ErrorCount >= 1; }, 10000ms));
  EXPECT_TRUE(control.Running);
  EXPECT_EQ(m_core.State().RawValues.Get(0), 1);
  EXPECT_EQ(m_core.State().RawValues.Get(7), 0x104);

  bool stopped = false;
  EXPECT_LT(Timed([&] { return m_core.StopReadThread(); }, stopped), 1000ms);
  EXPECT_TRUE(stopped);
}

TEST(WorkersLifetime, DestroyingTheCoreWaitsForRunningThreads) {
  QTemporaryDir home;
  {
    TConsoleCore core(home.path());
    core.Open();
    core.Config().EmulI7017Flag[0] = true;
    core.Config().HardReadPort = home.filePath(QStringLiteral("none"));
    core.Config().HardWritePort = home.filePath(QStringLiteral("none"));
    core.EmulationOn = true;
    ASSERT_TRUE(core.StartReadThread());
    ASSERT_TRUE(core.StartWriteThread());
    ASSERT_TRUE(
        WaitFor([&] { return core.ReadControl().CycleCount >= 1 && core.WriteControl().CycleCount >= 1; }));
  }
  DrainEventLog();
}

}  // namespace
