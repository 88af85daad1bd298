#include "common/floattext.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

struct GeneralCase {
  double Value;
  const char* Expected;
};

void ExpectGeneral(const std::vector<GeneralCase>& cases, QChar separator = u'.') {
  for (const GeneralCase& c : cases) {
    SCOPED_TRACE(std::string("expected ") + c.Expected);
    EXPECT_EQ(FloatToStrGeneral(c.Value, separator).toStdString(), c.Expected);
  }
}

TEST(FloatTextGeneral, FixedRange_ShortestTextOfFifteenDigits) {
  ExpectGeneral({
      {static_cast<double>(0.1F), "0.100000001490116"},
      {12.5, "12.5"},
      {0, "0"},
      {-0.0, "0"},
      {1.0 / 3, "0.333333333333333"},
      {2.0 / 3, "0.666666666666667"},
      {-2.0 / 3, "-0.666666666666667"},
      {999999999999999, "999999999999999"},
      {0.0001, "0.0001"},
      {9.999999999999999e-5, "0.0001"},  // rounds up into the fixed range
      {100, "100"},
      {0.1 + 0.2, "0.3"},
      {1234567890123.125, "1234567890123.13"},  // an exact tie rounds away from zero
  });
}

TEST(FloatTextGeneral, OutsideFixedRange_Scientific) {
  ExpectGeneral({
      {1e15, "1E15"},
      {9.999999999999999e14, "1E15"},  // rounds up into the next power of ten
      {0.00001, "1E-5"},
      {1.5e-7, "1.5E-7"},
      {1e20, "1E20"},
      {-2.5e-5, "-2.5E-5"},
      {1234567890123456.0, "1.23456789012346E15"},
      {DBL_MAX, "1.79769313486232E308"},
      {std::numeric_limits<double>::denorm_min(), "4.94065645841247E-324"},
  });
}

TEST(FloatTextGeneral, NotANumberAndInfinities_PrintAsWords) {
  ExpectGeneral({
      {std::numeric_limits<double>::quiet_NaN(), "NAN"},
      {std::numeric_limits<double>::infinity(), "INF"},
      {-std::numeric_limits<double>::infinity(), "-INF"},
  });
}

TEST(FloatTextGeneral, DecimalSeparator_IsTheOneGiven) {
  ExpectGeneral({{12.5, "12,5"}, {-1.5e-7, "-1,5E-7"}, {42, "42"}}, u',');
}

TEST(FloatTextGeneral, HalfwayValuesRoundAwayFromZero) {
  // Exactly halfway between two 15-digit numbers: away from zero, not to even.
  ExpectGeneral({{100000000000000.5, "100000000000001"},
                 {-100000000000000.5, "-100000000000001"},
                 {100000000000001.5, "100000000000002"},
                 {0.1000000000000005, "0.100000000000001"}});
}

TEST(FloatTextGeneral, AgreesWithTheExactDigitsForManyValues) {
  // The text must be the exact value rounded to 15 digits, however it is made.
  std::mt19937_64 random(20261210);
  std::uniform_int_distribution<uint64_t> bits;
  for (int i = 0; i < 200000; ++i) {
    double value = 0;
    if (i % 2 == 0) {
      const uint64_t raw = bits(random);
      std::memcpy(&value, &raw, sizeof value);
      if (!std::isfinite(value)) continue;
    } else {
      // Widened single-precision values, as the station link writes them.
      const auto raw = static_cast<uint32_t>(bits(random));
      float single = 0;
      std::memcpy(&single, &raw, sizeof single);
      if (!std::isfinite(single)) continue;
      value = single;
    }
    DecimalDigits exact = ExactDecimalDigits(value);
    RoundDecimalDigits(exact, 15);
    const QString text = FloatToStrGeneral(value);
    // The same number written from the exact digits: 0.DIGITS times 10^PointPosition.
    const QString exactText = (exact.Negative ? u"-0."_qs : u"0."_qs) + QString::fromStdString(exact.Digits) +
                              u'e' + QString::number(exact.PointPosition);
    ASSERT_EQ(text.toDouble(), exactText.toDouble())
        << text.toStdString() << " vs " << exactText.toStdString();
    ASSERT_LE(text.size(), 22) << text.toStdString();
  }
}

}  // namespace
