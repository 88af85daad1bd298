#pragma once

#include <QChar>
#include <QString>

// The general text form of a number with 15 significant digits: the shortest
// text with at most 15 significant digits, trailing zeros removed, no
// thousands separator; fixed notation for 1e-4 <= |x| < 1e15 (and for 0),
// scientific otherwise: mantissa, "E", exponent sign only when negative,
// exponent without leading zeros (1.5E-7, 1E20). NaN and infinities give
// "NAN", "INF", "-INF".
QString FloatToStrGeneral(double value, QChar decimalSeparator = u'.');
