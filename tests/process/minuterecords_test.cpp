#include "process/minuterecords.h"

#include <gtest/gtest.h>

#include "common/tdatetime.h"

namespace {

constexpr double kSecond = 1.0 / 86400.0;
constexpr double kMinute = 60 * kSecond;

StateRecord StateAt(TDateTime moment, float plf) {
  StateRecord state;
  state.RecMoment = moment;
  state.Values[0] = plf;
  return state;
}

class MinuteRecordListTest : public ::testing::Test {
 protected:
  const TDateTime m_start = EncodeDateTime(2008, 1, 17, 11, 43, 15);
  MinuteRecordList m_list;
};

TEST_F(MinuteRecordListTest, MinuteOf_ReadsTheMinuteFieldRoundedToMilliseconds) {
  EXPECT_EQ(MinuteOf(m_start), 43);
  EXPECT_EQ(MinuteOf(EncodeDateTime(2008, 1, 17, 23, 59, 59, 999)), 59);
  EXPECT_EQ(MinuteOf(EncodeDateTime(2008, 1, 17, 11, 43, 59, 999) + 0.6 / 86400000.0), 44);
}

TEST_F(MinuteRecordListTest, Update_SameMinuteOverwritesNewMinuteAppends) {
  EXPECT_TRUE(m_list.Update(StateAt(m_start, 1), 4320));
  EXPECT_FALSE(m_list.Update(StateAt(m_start + 30 * kSecond, 2), 4320));
  ASSERT_EQ(m_list.Count(), 1u);
  EXPECT_EQ(m_list.Last()->Values[0], 2);
  EXPECT_EQ(m_list.Last()->RecMoment, m_start + 30 * kSecond);

  EXPECT_TRUE(m_list.Update(StateAt(m_start + 45 * kSecond, 3), 4320));  // 11:44:00
  const auto records = m_list.Snapshot();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].Values[0], 2);
  EXPECT_EQ(records[1].Values[0], 3);
}

// Only the minute field counts: a clock moved by whole hours, or the same
// minute of another day, keeps writing the running record.
TEST_F(MinuteRecordListTest, Update_ComparesOnlyTheMinuteField) {
  m_list.Update(StateAt(m_start, 1), 4320);
  for (double shift : {2.0 / 24, -1.0 / 24, 1.0}) {
    EXPECT_FALSE(m_list.Update(StateAt(m_start + shift, 2), 4320));
  }
  EXPECT_EQ(m_list.Count(), 1u);
  EXPECT_EQ(m_list.Last()->RecMoment, m_start + 1.0);
}

TEST_F(MinuteRecordListTest, Update_DropsOldestBeyondLimit) {
  for (int i = 0; i < 5; ++i) m_list.Update(StateAt(m_start + i * kMinute, static_cast<float>(i)), 3);
  const auto records = m_list.Snapshot();
  ASSERT_EQ(records.size(), 4u);  // the limit plus the running minute
  EXPECT_EQ(records.front().Values[0], 1);
  EXPECT_EQ(records.back().Values[0], 4);
}

TEST_F(MinuteRecordListTest, Update_LimitBelowOneKeepsThePreviousMinute) {
  for (int limit : {0, -1, -100}) {
    MinuteRecordList list;
    for (int i = 0; i < 4; ++i) list.Update(StateAt(m_start + i * kMinute, static_cast<float>(i)), limit);
    const auto records = list.Snapshot();
    ASSERT_EQ(records.size(), 2u) << "limit " << limit;
    EXPECT_EQ(records[0].Values[0], 2);
    EXPECT_EQ(records[1].Values[0], 3);
  }
}

TEST_F(MinuteRecordListTest, SavedFlag_ClearedWhileTheMinuteRunsKeptAfterwards) {
  const auto isAt = [](TDateTime moment) {
    return [moment](const MinuteRecord& r) { return MinuteOf(r.RecMoment) == MinuteOf(moment); };
  };
  m_list.Update(StateAt(m_start, 1), 4320);
  EXPECT_TRUE(m_list.SetSavedFirst(isAt(m_start)));
  EXPECT_EQ(m_list.UnsavedCount(), 0u);
  EXPECT_FALSE(m_list.OldestUnsaved().has_value());

  m_list.Update(StateAt(m_start + 10 * kSecond, 2), 4320);
  EXPECT_EQ(m_list.Last()->Saved, 0);
  EXPECT_TRUE(m_list.SetSavedFirst(isAt(m_start)));

  StateRecord flagged = StateAt(m_start + kMinute, 3);
  flagged.Saved = 1;  // a new record starts unsaved whatever it was copied from
  m_list.Update(flagged, 4320);
  m_list.Update(StateAt(m_start + kMinute + kSecond, 4), 4320);

  const auto records = m_list.Snapshot();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].Saved, 1);
  EXPECT_EQ(records[1].Saved, 0);
  EXPECT_EQ(m_list.UnsavedCount(), 1u);
  ASSERT_TRUE(m_list.OldestUnsaved().has_value());
  EXPECT_EQ(m_list.OldestUnsaved()->Values[0], 4);
}

TEST_F(MinuteRecordListTest, SetSavedFirst_FlagsTheOldestMatchOnly) {
  for (int i = 0; i < 3; ++i) m_list.Update(StateAt(m_start + i * kMinute, 7), 4320);
  const auto isSeven = [](const MinuteRecord& r) { return r.Values[0] == 7; };
  EXPECT_TRUE(m_list.SetSavedFirst(isSeven));
  const auto records = m_list.Snapshot();
  EXPECT_EQ(records[0].Saved, 1);
  EXPECT_EQ(records[1].Saved, 0);
  EXPECT_EQ(records[2].Saved, 0);

  EXPECT_FALSE(m_list.SetSavedFirst([](const MinuteRecord& r) { return r.Values[0] == 8; }));
  EXPECT_FALSE(m_list.SetSavedFirst(nullptr));
  EXPECT_EQ(m_list.UnsavedCount(), 2u);
}

TEST_F(MinuteRecordListTest, EmptyListAnswersNothing) {
  EXPECT_EQ(m_list.Count(), 0u);
  EXPECT_FALSE(m_list.Last().has_value());
  EXPECT_FALSE(m_list.OldestUnsaved().has_value());
  EXPECT_FALSE(m_list.SetSavedFirst([](const MinuteRecord&) { return true; }));
  m_list.Update(StateAt(m_start, 1), 4320);
  m_list.Clear();
  EXPECT_TRUE(m_list.Snapshot().empty());
}

}  // namespace
