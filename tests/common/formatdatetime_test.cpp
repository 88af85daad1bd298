#include <gtest/gtest.h>

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <string>
#include <vector>

#include "common/formatfloat.h"
#include "common/tdatetime.h"

namespace {

struct DateCase {
  const char* Format;
  const char* Expected;
};

// Thursday, 17 January 2008, 11:43:15.007.
TDateTime Moment() {
  return EncodeDateTime(2008, 1, 17, 11, 43, 15, 7);
}

void ExpectFormats(TDateTime moment, const std::vector<DateCase>& cases) {
  for (const DateCase& c : cases) {
    SCOPED_TRACE(std::string("format \"") + c.Format + "\"");
    EXPECT_EQ(FormatDateTime(QString::fromUtf8(c.Format), moment).toStdString(), c.Expected);
  }
}

TEST(FormatDateTime, ConsolePictures_GiveTheKnownResults) {
  ExpectFormats(Moment(), {
                              {"dd.mm.yyyy hh:nn:ss", "17.01.2008 11:43:15"},
                              {"hh:mm", "11:43"},
                              {"yyyy_mm_dd", "2008_01_17"},
                              {"dd mmm yyyy в hh:nn:ss", "17 янв 2008 в 11:43:15"},
                              {"yyyy-mm-dd hh:nn:ss", "2008-01-17 11:43:15"},
                              {"yyyy-mm-dd hh:nn:00", "2008-01-17 11:43:00"},
                          });
}

TEST(FormatDateTime, Tokens_WidthsNamesAndCase) {
  ExpectFormats(EncodeDateTime(2008, 3, 5, 9, 4, 3, 7), {
                                                            {"d.m.yy h:n:s", "5.3.08 9:4:3"},
                                                            {"ddd, dddd", "Ср, среда"},
                                                            {"mmm mmmm", "мар Март"},
                                                            {"hh:nn:ss.zzz", "09:04:03.007"},
                                                            {"s.z", "3.7"},
                                                            {"DD.MM.YYYY HH:NN", "05.03.2008 09:04"},
                                                        });
}

TEST(FormatDateTime, MinutesOrMonth_DependsOnThePreviousToken) {
  ExpectFormats(Moment(), {
                              {"h:m", "11:43"},
                              {"hh 'ч' mm", "11 ч 43"},  // text between keeps the hour context
                              {"hh dd mm", "11 17 01"},  // another token ends it
                              {"mm hh", "01 11"},
                              {"hh mmm", "11 янв"},  // a name is always the month
                          });
}

TEST(FormatDateTime, QuotedTextAndOtherLetters_PrintAsTheyStand) {
  ExpectFormats(Moment(), {
                              {"'dd mm' dd", "dd mm 17"},
                              {"\"hh\"hh", "hh11"},
                              {"dd 'unterminated", "17 unterminated"},
                              {"Смена hh", "Смена 11"},
                              {"dd/mm/yyyy T hh:nn", "17/01/2008 T 11:43"},
                          });
}

TEST(FormatDateTime, NearMidnight_RoundsToTheMillisecondFirst) {
  const TDateTime almostNextDay = EncodeDateTime(2008, 12, 31, 23, 59, 59, 999) + 0.6 / kMsPerDay;
  ExpectFormats(almostNextDay, {{"dd.mm.yyyy hh:nn:ss.zzz", "01.01.2009 00:00:00.000"}});
}

TEST(FormatDateTime, QDateTime_FormatsItsLocalFields) {
  const QDateTime moment(QDate(2008, 1, 17), QTime(11, 43, 15, 7));
  EXPECT_EQ(FormatDateTime(QStringLiteral("dddd dd.mm.yyyy hh:nn:ss.zzz"), moment).toStdString(),
            "четверг 17.01.2008 11:43:15.007");
  EXPECT_EQ(FormatDateTime(QStringLiteral("dd.mm.yyyy"), QDateTime()),
            FormatDateTime(QStringLiteral("dd.mm.yyyy"), 0.0));
}

}  // namespace
