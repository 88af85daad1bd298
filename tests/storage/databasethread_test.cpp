#include "storage/databasethread.h"

#include <gtest/gtest.h>

#include <QThread>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "support/qtapplication.h"

namespace {

TEST(DatabaseThread, RunsJobsInOrderOnItsOwnThreadAndSurvivesAFailingJob) {
  EnsureQtApplication();
  std::mutex mutex;
  std::vector<int> order;
  QThread* jobThread = nullptr;
  {
    TDatabaseThread database;
    database.Post([&](TSQLConnection&) {
      std::lock_guard lock(mutex);
      jobThread = QThread::currentThread();
      order.push_back(1);
    });
    database.Post([](TSQLConnection&) { throw std::runtime_error("lost connection"); });
    database.Post([&](TSQLConnection& connection) {
      std::lock_guard lock(mutex);
      order.push_back(connection.Connected() ? -3 : 3);
    });
    ASSERT_TRUE(database.WaitIdle(5000));
    EXPECT_FALSE(database.Busy());
    EXPECT_FALSE(database.Connected());
    // Jobs still waiting when it goes are run before the thread ends.
    for (int i = 4; i <= 6; ++i) {
      database.Post([&, i](TSQLConnection&) {
        std::lock_guard lock(mutex);
        order.push_back(i);
      });
    }
  }
  EXPECT_EQ(order, (std::vector<int>{1, 3, 4, 5, 6}));
  EXPECT_NE(jobThread, QThread::currentThread());
}

// Set when the thread that touched it ends, after everything Qt and the SQL
// driver do at a thread's exit has started.
struct ThreadExitMark {
  int* target = nullptr;
  ~ThreadExitMark() {
    if (target != nullptr) *target = 1;
  }
};

TEST(DatabaseThread, HasRunItsExitHandlersWhenItsDestructorReturns) {
  // The console exits right after the thread goes; whatever the thread still
  // did at its end (the driver's library releasing its per-thread state)
  // would otherwise race with the process's own clean-up.
  EnsureQtApplication();
  int ended = 0;
  {
    TDatabaseThread database;
    database.Post([&](TSQLConnection&) {
      thread_local ThreadExitMark mark;
      mark.target = &ended;
    });
  }
  EXPECT_EQ(ended, 1);
}

TEST(DatabaseThread, AFailedAttemptLogsFromTheDatabaseThreadAndLeavesItDisconnected) {
  EnsureQtApplication();
  TDatabaseThread database;
  std::mutex mutex;
  QStringList lines;
  std::optional<bool> outcome;
  const DatabaseSettings settings{u"127.0.0.1:1"_qs, u"nobody"_qs, QString(), 5, false};
  database.ConnectAsync(
      settings,
      [&](const QString& line) {
        std::lock_guard lock(mutex);
        lines << line;
      },
      [&](bool connected) {
        std::lock_guard lock(mutex);
        outcome = connected;
      });
  ASSERT_TRUE(database.WaitIdle(10000));
  std::lock_guard lock(mutex);
  EXPECT_EQ(outcome, std::optional<bool>(false));
  EXPECT_EQ(lines, QStringList{CannotConnectText()});
  EXPECT_FALSE(database.Connected());
}

}  // namespace
