#include "common/floattext.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

namespace {

// 309 integer digits for the largest double, 1074 fraction digits for the
// smallest subnormal, plus the point.
constexpr int kMaxFixedChars = 1400;
constexpr int kMantissaBits = 53;
constexpr int kGeneralPrecision = 15;
constexpr int kSmallestFixedExponent = -4;

// Number of fraction digits in the exact decimal expansion of a finite,
// non-zero magnitude: a value m * 2^-k with m odd has exactly k of them.
int ExactFractionDigits(double magnitude) {
  int binaryExponent = 0;
  const double fraction = std::frexp(magnitude, &binaryExponent);
  auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, kMantissaBits));
  int exponent = binaryExponent - kMantissaBits;
  while ((mantissa & 1U) == 0 && exponent < 0) {
    mantissa >>= 1U;
    ++exponent;
  }
  return exponent < 0 ? -exponent : 0;
}

// The first kGeneralPrecision digits of a finite, non-zero magnitude without
// the exact expansion: to_chars rounds correctly, but a value exactly halfway
// between two 15-digit numbers it rounds to even, where we round away from
// zero. Such a value has exactly 16 significant digits, the last a 5, so
// whenever the 16-digit rendering ends in 5 this gives up (false) and the
// caller takes the exact digits. Several times faster than the exact path,
// which matters for the record texts of the station link.
bool RoundedDigitsFast(double magnitude, DecimalDigits& number) {
  std::array<char, 40> buffer{};
  auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude,
                              std::chars_format::scientific, kGeneralPrecision);
  if (result.ec != std::errc() || buffer[kGeneralPrecision + 1] == '5') return false;
  result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude,
                         std::chars_format::scientific, kGeneralPrecision - 1);
  if (result.ec != std::errc()) return false;
  // d.dddddddddddddde[+-]xx
  const char* exponentAt = std::find(buffer.data(), result.ptr, 'e');
  int exponent = 0;
  if (std::from_chars(exponentAt + (exponentAt[1] == '+' ? 2 : 1), result.ptr, exponent).ec != std::errc()) {
    return false;
  }
  number.Digits.clear();
  for (const char* it = buffer.data(); it != exponentAt; ++it) {
    if (*it != '.') number.Digits.push_back(*it);
  }
  while (!number.Digits.empty() && number.Digits.back() == '0') number.Digits.pop_back();
  number.PointPosition = exponent + 1;
  return true;
}

}  // namespace

DecimalDigits ExactDecimalDigits(double value) {
  DecimalDigits number;
  number.Negative = std::signbit(value);
  const double magnitude = std::fabs(value);
  if (magnitude == 0.0 || !std::isfinite(magnitude)) {
    return number;
  }
  // With as many fraction digits as the binary value has, to_chars prints it
  // exactly; nothing is rounded here.
  std::array<char, kMaxFixedChars> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude,
                                    std::chars_format::fixed, ExactFractionDigits(magnitude));
  if (result.ec != std::errc()) {
    return number;
  }
  int integerDigits = 0;
  bool seenPoint = false;
  for (const char* it = buffer.data(); it != result.ptr; ++it) {
    if (*it == '.') {
      seenPoint = true;
      continue;
    }
    number.Digits.push_back(*it);
    if (!seenPoint) {
      ++integerDigits;
    }
  }
  const std::size_t firstSignificant = number.Digits.find_first_not_of('0');
  const std::size_t lastSignificant = number.Digits.find_last_not_of('0');
  number.Digits = number.Digits.substr(firstSignificant, lastSignificant - firstSignificant + 1);
  number.PointPosition = integerDigits - static_cast<int>(firstSignificant);
  return number;
}

void RoundDecimalDigits(DecimalDigits& number, int count) {
  if (count < 0) {
    number.Digits.clear();
    number.PointPosition = 0;
    return;
  }
  if (static_cast<std::size_t>(count) >= number.Digits.size()) {
    return;
  }
  // The digits are exact, so a first dropped digit of 5 or more means the
  // dropped part is at least one half: that rounds away from zero.
  const bool roundUp = number.Digits[static_cast<std::size_t>(count)] >= '5';
  number.Digits.resize(static_cast<std::size_t>(count));
  if (roundUp) {
    while (!number.Digits.empty() && number.Digits.back() == '9') {
      number.Digits.pop_back();
    }
    if (number.Digits.empty()) {
      number.Digits.push_back('1');
      ++number.PointPosition;
    } else {
      ++number.Digits.back();
    }
  }
  while (!number.Digits.empty() && number.Digits.back() == '0') {
    number.Digits.pop_back();
  }
  if (number.Digits.empty()) {
    number.PointPosition = 0;
  }
}

QString FloatToStrGeneral(double value, QChar decimalSeparator) {
  if (std::isnan(value)) {
    return QStringLiteral("NAN");
  }
  if (std::isinf(value)) {
    return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
  }
  DecimalDigits number;
  number.Negative = std::signbit(value);
  if (value != 0.0 && !RoundedDigitsFast(std::fabs(value), number)) {
    number = ExactDecimalDigits(value);
    RoundDecimalDigits(number, kGeneralPrecision);
  }
  if (number.Digits.empty()) {
    return QStringLiteral("0");
  }
  // Built as Latin-1 with a point, then converted once: the station link
  // writes some forty of these per record.
  const std::string& digits = number.Digits;
  const auto digitCount = static_cast<int>(digits.size());
  std::string text;
  text.reserve(32);
  if (number.Negative) text += '-';
  // Decided on the rounded value, so 9.999999999999999e14 reads "1E15".
  const int exponent = number.PointPosition - 1;
  if (exponent >= kSmallestFixedExponent && exponent < kGeneralPrecision) {
    if (number.PointPosition <= 0) {
      text += "0.";
      text.append(static_cast<std::size_t>(-number.PointPosition), '0');
      text += digits;
    } else if (number.PointPosition >= digitCount) {
      text += digits;
      text.append(static_cast<std::size_t>(number.PointPosition - digitCount), '0');
    } else {
      text.append(digits, 0, static_cast<std::size_t>(number.PointPosition));
      text += '.';
      text.append(digits, static_cast<std::size_t>(number.PointPosition));
    }
  } else {
    text += digits.front();
    if (digitCount > 1) {
      text += '.';
      text.append(digits, 1);
    }
    text += 'E';
    text += std::to_string(exponent);
  }
  QString result = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
  if (decimalSeparator != u'.') result.replace(u'.', decimalSeparator);
  return result;
}
