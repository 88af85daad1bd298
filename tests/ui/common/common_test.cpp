#include <gtest/gtest.h>

#include "common/formatfloat.h"
#include "ui/common/modecaption.h"
#include "ui/common/shift.h"

namespace {

QString Text(TDateTime moment) {
  return FormatDateTime(QStringLiteral("yyyy-mm-dd hh:nn:ss"), moment);
}

class ShiftTest : public ::testing::Test {
 protected:
  // The shift settings are process-wide; every test leaves them as found.
  void SetUp() override {
    m_savedHour = ShiftStartHour.load();
    m_savedDays = ShiftStartDays.load();
  }
  void TearDown() override {
    ShiftStartHour = m_savedHour;
    ShiftStartDays = m_savedDays;
  }

  uint16_t m_savedHour = 0;
  int32_t m_savedDays = 0;
};

}  // namespace

TEST(ModeCaption, NamesEachModeAndTreatsAnythingElseAsOff) {
  EXPECT_EQ(QString::fromUtf16(ModeCaption(kModeAutomatic)), QStringLiteral("АВТОМАТ"));
  EXPECT_EQ(QString::fromUtf16(ModeCaption(kModeManual)), QStringLiteral("РУЧНОЙ"));
  EXPECT_EQ(QString::fromUtf16(ModeCaption(kModeOff)), QStringLiteral("ОТКЛЮЧЕНО"));
  EXPECT_EQ(QString::fromUtf16(ModeCaption(ModeFromCode(7))), QStringLiteral("ОТКЛЮЧЕНО"));
}

TEST_F(ShiftTest, ShiftRangeWithTheInitialSettings) {
  struct Case {
    int shift;
    const char* start;
    const char* stop;
  };
  const Case cases[] = {
      {1, "2009-03-05 07:00:00", "2009-03-05 18:59:59"}, {2, "2009-03-05 19:00:00", "2009-03-06 06:59:59"},
      {3, "2009-03-05 07:00:00", "2009-03-06 06:59:59"}, {0, "2009-03-05 07:00:00", "2009-03-06 06:59:59"},
      {7, "2009-03-05 07:00:00", "2009-03-06 06:59:59"}, {-1, "2009-03-05 07:00:00", "2009-03-06 06:59:59"},
  };
  // The time of day of the date does not matter, not even just before midnight.
  const TDateTime moments[] = {EncodeDateTime(2009, 3, 5), EncodeDateTime(2009, 3, 5, 3, 30),
                               EncodeDateTime(2009, 3, 5, 23, 59, 59, 999)};
  for (const TDateTime moment : moments) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << Text(moment).toStdString() << " shift " << c.shift);
      TDateTime start = 0;
      TDateTime stop = 0;
      EXPECT_TRUE(ShiftRange(moment, c.shift, start, stop));
      EXPECT_EQ(Text(start), QLatin1String(c.start));
      EXPECT_EQ(Text(stop), QLatin1String(c.stop));
    }
  }
}

TEST_F(ShiftTest, ShiftRangeFollowsShiftStartHourAndDays) {
  ShiftStartHour = 8;
  ShiftStartDays = -1;
  struct Case {
    int shift;
    const char* start;
    const char* stop;
  };
  const Case cases[] = {
      {1, "2009-03-04 08:00:00", "2009-03-04 19:59:59"},
      {2, "2009-03-04 20:00:00", "2009-03-05 07:59:59"},
      {3, "2009-03-04 08:00:00", "2009-03-05 07:59:59"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shift);
    TDateTime start = 0;
    TDateTime stop = 0;
    EXPECT_TRUE(ShiftRange(EncodeDateTime(2009, 3, 5, 14, 20), c.shift, start, stop));
    EXPECT_EQ(Text(start), QLatin1String(c.start));
    EXPECT_EQ(Text(stop), QLatin1String(c.stop));
  }

  // Across a month's end and with the shift starting at midnight.
  ShiftStartHour = 0;
  ShiftStartDays = 1;
  TDateTime start = 0;
  TDateTime stop = 0;
  ShiftRange(EncodeDateTime(2009, 2, 28, 12), 2, start, stop);
  EXPECT_EQ(Text(start), QStringLiteral("2009-03-01 12:00:00"));
  EXPECT_EQ(Text(stop), QStringLiteral("2009-03-01 23:59:59"));
}
