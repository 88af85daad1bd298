// The minute-record list with its journal: what a restart gives back.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "common/tdatetime.h"
#include "process/minuterecords.h"
#include "storage/minutejournal.h"
#include "support/eventlogcapture.h"
#include "support/files.h"

namespace {

using namespace std::chrono_literals;

StateRecord At(int hour, int minute, int second, float value) {
  StateRecord state;
  state.RecMoment = EncodeDateTime(2008, 1, 17, hour, minute, second);
  for (int i = 0; i < kValueSlotCount; ++i) state.Values[i] = value + static_cast<float>(i);
  return state;
}

bool SavedAt(MinuteRecordList& list, TDateTime moment) {
  return list.SetSavedFirst([&](const MinuteRecord& r) { return r.RecMoment == moment; });
}

// A console that runs on a folder, and is killed or restarted there.
class MinuteRecordJournalTest : public ::testing::Test {
 protected:
  static constexpr int kLimit = 10;

  void SetUp() override {
    ASSERT_TRUE(m_home.isValid());
    DrainEventLog();
    Start(m_home.path());
  }
  void TearDown() override { Stop(); }

  QString PathIn(const QString& folder) const { return folder + u"/minutes.journal"_qs; }

  void Start(const QString& folder) {
    m_list = std::make_unique<MinuteRecordList>();
    TMinuteJournal::Options options;
    options.Limit = kLimit;
    options.SyncInterval = 1h;
    m_journal = std::make_unique<TMinuteJournal>(PathIn(folder), options);
    m_list->Restore(m_journal->Open());
    m_list->SetJournal(m_journal.get());
  }
  void Stop() {
    if (m_list) m_list->SetJournal(nullptr);
    m_journal.reset();
  }
  // What kill -9 leaves: the file as the writer has handed it to the system,
  // unsynced; the next console starts on a copy of it.
  void KillAndRestart() {
    ASSERT_TRUE(m_journal->WaitHandedOver());
    ASSERT_TRUE(m_after.isValid());
    ASSERT_TRUE(WriteFileBytes(PathIn(m_after.path()), ReadFileBytes(PathIn(m_home.path()))));
    Stop();
    Start(m_after.path());
  }

  QTemporaryDir m_home;
  QTemporaryDir m_after;
  std::unique_ptr<MinuteRecordList> m_list;
  std::unique_ptr<TMinuteJournal> m_journal;
};

TEST_F(MinuteRecordJournalTest, AKillLosesNoEndedMinuteAndBringsBackNoConfirmedOne) {
  m_list->Update(At(10, 0, 5, 1), kLimit);
  m_list->Update(At(10, 0, 59, 2), kLimit);  // 10:00 ends with these values
  m_list->Update(At(10, 1, 59, 3), kLimit);
  m_list->Update(At(10, 2, 59, 4), kLimit);
  m_list->Update(At(10, 3, 30, 5), kLimit);  // running
  ASSERT_TRUE(SavedAt(*m_list, At(10, 1, 59, 0).RecMoment));
  ASSERT_TRUE(SavedAt(*m_list, At(10, 3, 30, 0).RecMoment));  // the running one: offered again later

  KillAndRestart();

  ASSERT_EQ(m_list->UnsavedCount(), 2u);
  const std::vector<MinuteRecord> records = m_list->Snapshot();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].RecMoment, At(10, 0, 59, 0).RecMoment);
  EXPECT_EQ(records[0].Values, At(10, 0, 59, 2).Values);
  EXPECT_EQ(records[1].RecMoment, At(10, 2, 59, 0).RecMoment);
  EXPECT_EQ(records[1].Values, At(10, 2, 59, 4).Values);
  EXPECT_EQ(m_list->OldestUnsaved()->RecMoment, records[0].RecMoment);
}

TEST_F(MinuteRecordJournalTest, TheRunningMinuteIsKeptWithItsLastValuesUnlessConfirmedAfterThem) {
  // Confirmed, then changed by the next cycle: its final values are unsaved.
  m_list->Update(At(10, 0, 10, 1), kLimit);
  ASSERT_TRUE(SavedAt(*m_list, At(10, 0, 10, 0).RecMoment));
  m_list->Update(At(10, 0, 58, 2), kLimit);
  // Confirmed after its last cycle: the station has its final values.
  m_list->Update(At(10, 1, 58, 3), kLimit);
  ASSERT_TRUE(SavedAt(*m_list, At(10, 1, 58, 0).RecMoment));
  m_list->Update(At(10, 2, 0, 4), kLimit);

  KillAndRestart();

  const std::vector<MinuteRecord> records = m_list->Snapshot();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].RecMoment, At(10, 0, 58, 0).RecMoment);
  EXPECT_EQ(records[0].Values, At(10, 0, 58, 2).Values);
}

TEST_F(MinuteRecordJournalTest, ConfirmationsAfterARestartHoldAtTheNextOne) {
  m_list->Update(At(10, 0, 59, 1), kLimit);
  m_list->Update(At(10, 1, 59, 2), kLimit);
  m_list->Update(At(10, 2, 0, 3), kLimit);
  KillAndRestart();
  ASSERT_EQ(m_list->UnsavedCount(), 2u);

  // The station takes the oldest; a new minute starts and another ends.
  ASSERT_TRUE(SavedAt(*m_list, At(10, 0, 59, 0).RecMoment));
  m_list->Update(At(10, 5, 59, 4), kLimit);
  m_list->Update(At(10, 6, 0, 5), kLimit);
  // Restart again from the same folder, this time with a clean stop.
  const QString folder = m_after.path();
  Stop();
  Start(folder);

  const std::vector<MinuteRecord> records = m_list->Snapshot();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].RecMoment, At(10, 1, 59, 0).RecMoment);
  EXPECT_EQ(records[1].RecMoment, At(10, 5, 59, 0).RecMoment);
}

// The list tells minutes apart by their minute field only; a restored
// minute must not be taken for the running one an hour later.
TEST_F(MinuteRecordJournalTest, ARestoredMinuteIsNeverOverwrittenByTheSameMinuteFieldLater) {
  m_list->Update(At(10, 7, 59, 1), kLimit);
  m_list->Update(At(10, 8, 0, 2), kLimit);
  KillAndRestart();
  m_list->Update(At(11, 7, 1, 9), kLimit);
  const std::vector<MinuteRecord> records = m_list->Snapshot();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].RecMoment, At(10, 7, 59, 0).RecMoment);
  EXPECT_EQ(records[0].Values, At(10, 7, 59, 1).Values);
  EXPECT_EQ(records[1].RecMoment, At(11, 7, 1, 0).RecMoment);
}

TEST_F(MinuteRecordJournalTest, WithoutAJournalTheListBehavesAsBefore) {
  m_list->SetJournal(nullptr);
  m_list->Update(At(10, 0, 59, 1), kLimit);
  m_list->Update(At(10, 1, 0, 2), kLimit);
  ASSERT_TRUE(SavedAt(*m_list, At(10, 0, 59, 0).RecMoment));
  EXPECT_EQ(m_list->UnsavedCount(), 1u);
  KillAndRestart();
  EXPECT_EQ(m_list->Count(), 0u);
}

}  // namespace
