#include "common/tdatetime.h"

#include <gtest/gtest.h>

TEST(TDateTime, DayCountsMatchTheCalendar) {
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 30), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1900, 1, 1), 2.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(2008, 1, 17, 12), 39464.5);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 29, 6), -1.25);
}

TEST(TDateTime, DecodeRoundsToTheMillisecond) {
  const DateTimeFields f = DecodeDateTime(EncodeDateTime(2008, 1, 17, 11, 43, 15, 250));
  EXPECT_EQ(f.Year, 2008);
  EXPECT_EQ(f.Month, 1);
  EXPECT_EQ(f.Day, 17);
  EXPECT_EQ(f.Hour, 11);
  EXPECT_EQ(f.Minute, 43);
  EXPECT_EQ(f.Second, 15);
  EXPECT_EQ(f.Millisecond, 250);
  EXPECT_EQ(f.DayOfWeek, 4);  // a Thursday

  // Just below midnight by less than half a millisecond reads as the next day.
  const DateTimeFields next = DecodeDateTime(EncodeDateTime(2008, 1, 18) - 0.0004 / kMsPerDay);
  EXPECT_EQ(next.Day, 18);
  EXPECT_EQ(next.Hour, 0);

  const DateTimeFields negative = DecodeDateTime(-1.25);
  EXPECT_EQ(negative.Day, 29);
  EXPECT_EQ(negative.Hour, 6);
}

TEST(TDateTime, QDateTimeRoundTrip) {
  const QDateTime moment(QDate(2026, 12, 9), QTime(22, 31, 7, 123));
  const TDateTime days = DateTimeFromQDateTime(moment);
  EXPECT_EQ(QDateTimeFromDateTime(days), moment);
  EXPECT_DOUBLE_EQ(DateTimeFromQDateTime(QDateTime()), 0.0);
}

TEST(TDateTime, NowAgreesWithTheQtClock) {
  const TDateTime before = DateTimeFromQDateTime(QDateTime::currentDateTime());
  const TDateTime now = NowDateTime();
  const TDateTime after = DateTimeFromQDateTime(QDateTime::currentDateTime());
  // Millisecond rounding aside, the fast clock lies between two Qt readings.
  EXPECT_GE(now, before - 1.0 / kMsPerDay);
  EXPECT_LE(now, after + 1.0 / kMsPerDay);
}
