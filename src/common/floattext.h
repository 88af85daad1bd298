#pragma once

#include <QChar>
#include <QString>
#include <string>

// The general text form of a number with 15 significant digits: the shortest
// text with at most 15 significant digits, trailing zeros removed, no
// thousands separator; fixed notation for 1e-4 <= |x| < 1e15 (and for 0),
// scientific otherwise: mantissa, "E", exponent sign only when negative,
// exponent without leading zeros (1.5E-7, 1E20). NaN and infinities give
// "NAN", "INF", "-INF".
QString FloatToStrGeneral(double value, QChar decimalSeparator = u'.');

// The exact decimal value of a double, shared by FloatToStrGeneral and
// FormatFloat so that both round the same way. The value is
// 0.Digits * 10^PointPosition; zero has no digits. Plain value type, any thread.
struct DecimalDigits {
  std::string Digits;  // '1'..'9' first and last, or empty for zero
  int PointPosition = 0;
  bool Negative = false;  // the sign bit, so -0.0 is negative too
};

// Every digit of a finite value (a double has at most 767 significant ones).
DecimalDigits ExactDecimalDigits(double value);

// Keeps the first `count` digits, rounding half away from zero; a negative
// count leaves zero. A carry past the first digit moves PointPosition.
void RoundDecimalDigits(DecimalDigits& number, int count);
