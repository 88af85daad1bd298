#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <csignal>

#include "support/dconsimprocess.h"
#include "support/headlessconsole.h"

namespace {

// A headless console polls and drives simulated modules on two lines.
class FieldbusIntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_home.isValid());
    ASSERT_TRUE(DconSimProcess::ConfigureConsole(m_home.path(), m_home.filePath("dcon-in"),
                                                 m_home.filePath("dcon-out"), 38400));
  }

  QString LogPath() const { return m_home.filePath(QStringLiteral("sim.log")); }

  // Runs simulator and console until the simulator has seen "cycles" polls of
  // module 1 (and the outputs of the cycle before the last), then stops both.
  std::vector<DconSimProcess::Exchange> Run(int cycles) {
    DconSimProcess sim({"--pty", m_home.filePath("dcon-in"), "--pty", m_home.filePath("dcon-out"), "--baud",
                        "38400", "--fixed", "01=00010002000300040005000600070008", "--log", LogPath()});
    if (!sim.Start()) {
      ADD_FAILURE() << "simulator did not start: " << sim.Stderr().constData();
      return {};
    }
    HeadlessConsole console(m_home.path());
    if (!console.StartAndWaitUntilRunning()) {
      ADD_FAILURE() << console.Stderr().constData();
      return {};
    }
    QDeadlineTimer deadline(cycles * 1500 + 10000);
    std::vector<DconSimProcess::Exchange> log;
    while (!deadline.hasExpired()) {
      log = DconSimProcess::ReadLog(LogPath());
      if (std::count_if(log.begin(), log.end(), [](const auto& e) { return e.command == "$01A"; }) > cycles)
        break;
      QThread::msleep(50);
    }
    EXPECT_EQ(console.StopWith(SIGTERM), 0) << console.Stderr().constData();
    return DconSimProcess::ReadLog(LogPath());
  }

  QTemporaryDir m_home;
};

TEST_F(FieldbusIntegrationTest, PollsOnceASecondAndSendsSixOutputCommandsPerCycle) {
  const auto log = Run(4);
  std::vector<double> pollTimes;
  std::vector<QString> polls;
  std::vector<QString> outputs;
  for (const auto& exchange : log) {
    if (exchange.bus == 0) {
      polls.push_back(exchange.command);
      if (exchange.command == "$01A") {
        pollTimes.push_back(exchange.commandEnd);
        EXPECT_EQ(exchange.answer, ">00010002000300040005000600070008");
      }
    } else {
      outputs.push_back(exchange.command);
      EXPECT_EQ(exchange.answer, ">");
    }
  }
  // The input line carries only the two read commands, in turn.
  for (size_t i = 0; i < polls.size(); ++i) EXPECT_EQ(polls[i], i % 2 == 0 ? "$01A" : "$02A") << i;
  ASSERT_GE(pollTimes.size(), 4u);
  // The rhythm: one cycle about every second (loose bounds; the benchmark measures it).
  for (size_t i = 1; i < pollTimes.size(); ++i) {
    EXPECT_GT(pollTimes[i] - pollTimes[i - 1], 0.5);
    EXPECT_LT(pollTimes[i] - pollTimes[i - 1], 2.0);
  }
  // Six commands a cycle: channels 0-2 of the modules at addresses 3 and 4,
  // with a well-formed value. No manual or automatic mode is set, so the flows are 0.
  ASSERT_GE(outputs.size(), 18u);
  const QStringList cycle = {"#030", "#031", "#032", "#040", "#041", "#042"};
  for (size_t i = 0; i + 6 <= outputs.size(); ++i) {
    EXPECT_EQ(outputs[i].left(4), cycle[i % 6]) << i;
    EXPECT_EQ(outputs[i].mid(4), "+00.000") << i;
  }
}

}  // namespace
