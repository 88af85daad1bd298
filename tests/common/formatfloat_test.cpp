#include "common/formatfloat.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

struct PictureCase {
  const char* Format;
  double Value;
  const char* Expected;
};

void ExpectFormats(const std::vector<PictureCase>& cases,
                   const TFormatSettings& settings = DefaultFormatSettings()) {
  for (const PictureCase& c : cases) {
    SCOPED_TRACE(std::string("format \"") + c.Format + "\", value " + std::to_string(c.Value));
    EXPECT_EQ(FormatFloat(QString::fromUtf8(c.Format), c.Value, settings).toStdString(), c.Expected);
  }
}

TEST(FormatFloat, ConsolePictures_GiveTheKnownResults) {
  ExpectFormats({
      {"###0 л/ч", 12.4, "12 л/ч"},
      {"###0 л/ч", 12.5, "13 л/ч"},
      {"#0.#%", 45.67, "45.7%"},
      {"# ### ##0.0", 5, "  5.0"},
      {"# ### ##0.0", 1234.56, " 1 234.6"},
      {"# ### ##0.0", 1234567.8, "1 234 567.8"},
      {"# ### ##0.0; ;  ", -1, " "},
      {"# ### ##0.0; ;  ", 0, "  "},
      {"# ### ##0.0 ;-# ### ##0.0 ;  ;", -12.34, "-  12.3 "},
      {"# ### ##0.0 ;-# ### ##0.0 ;  ;", 1234.5, " 1 234.5 "},
      {"+00.000", 2.4, "+02.400"},
      {"##0.####", static_cast<double>(0.1F), "0.1"},
      {"###0.####", 1.0 / 60, "0.0167"},
      {"###0", 2.5, "3"},
      {"###0", -2.5, "-3"},
      {"АВТОМАТ", 1, "АВТОМАТ"},
      {"АВТОМАТ", -1, "АВТОМАТ"},
      {"АВТОМАТ", 0, "АВТОМАТ"},
  });
}

TEST(FormatFloat, Rounding_UsesTheExactBinaryValueHalfAwayFromZero) {
  ExpectFormats({
      {"0.00", 0.125, "0.13"},    // exact tie
      {"0.00", -0.125, "-0.13"},  // away from zero on the negative side too
      {"0.00", 1.005, "1.00"},    // stored just below 1.005
      {"0.00", 9.995, "9.99"},    // stored just below 9.995
      {"0.0", 99.95, "100.0"},    // stored just above: the carry adds a digit
      {"0", 0.5, "1"},
      {"0", 0.49999999999999994, "0"},
      {"0.00", 1e-7, "0.00"},
  });
}

TEST(FormatFloat, Sections_PickedBySignAndRoundedZero) {
  ExpectFormats({
      {"0.0;(0.0);'ноль'", 1.25, "1.3"},
      {"0.0;(0.0);'ноль'", -1.25, "(1.3)"},
      {"0.0;(0.0);'ноль'", 0, "ноль"},
      {"0.0;(0.0);'ноль'", 0.04, "ноль"},  // rounds to zero at one decimal
      {"0.0;(0.0);'ноль'", -0.04, "ноль"},
      {"0.0;;'ноль'", -1.5, "-1.5"},  // empty negative section: the first, with a sign
      {"0.0;-0.0;", 0, "0.0"},        // empty zero section: the first
      {"0.0", -0.04, "0.0"},          // never "-0.0"
      {"0.0", -0.0, "0.0"},
      {"0.0;(0.0)", -0.0, "0.0"},
      {"0' ;'", 5, "5 ;"},  // a quoted ";" does not split sections
  });
}

TEST(FormatFloat, IntegerPart_PlaceholdersLiteralsAndOverflow) {
  ExpectFormats({
      {"000", 5, "005"},
      {"0##", 5, "005"},                // every place after a '0' shows
      {"00.0", 123456.78, "123456.8"},  // all integer digits, however many
      {"#", 1e20, "100000000000000000000"},
      {".00", 12.5, "12.50"},
      {".00", 0.5, ".50"},
      {"#.##", 0.5, ".5"},
      {"#.##", -0.5, "-.5"},
      {"# ### ##0.0", -5, "  -5.0"},  // the sign goes right before the first digit
      {"# ### ##0.0", -1234567.8, "-1 234 567.8"},
      {"0.##", 45, "45"},  // no fraction digits, no point
      {"'#'0\"0\"", 5, "#50"},
      {"0.0 'м³/ч'", 2.25, "2.3 м³/ч"},
  });

  const QString maximum = FormatFloat(QStringLiteral("0"), DBL_MAX);
  EXPECT_EQ(maximum.size(), 309);
  EXPECT_TRUE(maximum.startsWith(QStringLiteral("17976931348623157")));
}

TEST(FormatFloat, ThousandsGrouping_UsesTheSeparatorsOfTheSettings) {
  ExpectFormats({
      {"#,##0.00", 1234567.891, "1,234,567.89"},
      {"#,##0", 999, "999"},
      {"#,##0", -1234, "-1,234"},
      {"#,##0", 1e9, "1,000,000,000"},
      {"0 'шт', 'всего'", 5, "5 шт, всего"},
      {"0,", 5, "5,"},  // a comma after the digits is text
  });

  TFormatSettings russian;
  russian.DecimalSeparator = u',';
  russian.ThousandSeparator = u' ';
  ExpectFormats(
      {
          {"#,##0.00", 1234567.891, "1 234 567,89"},
          {"0.0", -2.25, "-2,3"},
          {"0.00E+00", 1234.5, "1,23E+03"},
      },
      russian);
}

TEST(FormatFloat, Exponent_ScalesMantissaAndPrintsTheSignAsAsked) {
  ExpectFormats({
      {"0.00E+00", 1234.5, "1.23E+03"},
      {"0.00E+00", 0.000123, "1.23E-04"},
      {"0.00E+00", -1234.5, "-1.23E+03"},
      {"0.00E+00", 0, "0.00E+00"},
      {"0.00E+00", 9.999, "1.00E+01"},  // the carry moves the exponent
      {"0.###E-0", 1234.5, "1.235E3"},
      {"0.###E-0", 0.00012, "1.2E-4"},
      {"00.0E+0", 1234.5, "12.3E+2"},
      {"0.0e+0", 1234.5, "1.2e+3"},
      {"0.00E+00", 1e300, "1.00E+300"},
  });
}

TEST(FormatFloat, NotANumberAndInfinities_PrintAsWords) {
  ExpectFormats({
      {"# ### ##0.0", std::numeric_limits<double>::quiet_NaN(), "NAN"},
      {"# ### ##0.0", std::numeric_limits<double>::infinity(), "INF"},
      {"# ### ##0.0", -std::numeric_limits<double>::infinity(), "-INF"},
  });
}

TEST(FormatFloat, EmptyPicture_GivesTheGeneralForm) {
  ExpectFormats({
      {"", 12.5, "12.5"},
      {"", 1.0 / 3, "0.333333333333333"},
  });
}

}  // namespace
