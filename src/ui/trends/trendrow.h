#pragma once

#include <QString>
#include <array>
#include <cmath>
#include <limits>

#include "common/tdatetime.h"
#include "process/staterecord.h"

class TLevelGraph;

// The history columns the trend windows plot, with the section digit in the
// name as puf_data spells them.
enum class TrendColumn {
  RVF1,
  RVF2,
  PLF1,
  PLF2,
  RGF1,
  RGF2,
  TRRS1,
  TRRS2,
  ZRRS1,
  ZRRS2,
  TRRP1,
  TRRP2,
  ZRRP1,
  ZRRP2,
  TRFL1,
  TRFL2,
  ZRFL1,
  ZRFL2,
  URFK1,
  URFK2,
  URFK12_1,
};
inline constexpr int kTrendColumnCount = 21;

// "RVF1" ... "URFK12_1".
QString TrendColumnName(TrendColumn column);
// The column of a quantity ("RVF", "TRRS" ...) for section index 0 or 1;
// for example ("ZRRS", 1) is ZRRS2. Only the quantities that exist per
// section; anything else gives RVF1.
TrendColumn SectionColumn(const char* quantity, int section);

// One minute of history as the trend windows use it, from a puf_data row or
// from an in-memory minute record. A value that is not a finite number
// (a column the table lacks, NaN, an infinity) is a gap; a NULL reads as 0.
struct TrendRow {
  TDateTime Moment = 0;
  std::array<double, kTrendColumnCount> Values{};

  double Value(TrendColumn column) const { return Values[static_cast<int>(column)]; }
  void SetValue(TrendColumn column, double value) { Values[static_cast<int>(column)] = value; }
};

inline constexpr double kNoTrendValue = std::numeric_limits<double>::quiet_NaN();

// The row of a minute record: the averaged slots of the value block.
TrendRow TrendRowOfRecord(const MinuteRecord& record);

// A right-scale value stored on the left scale of a graph whose right scale
// runs from RightYMin - RightScaleStep at the bottom edge to RightYMax at the
// top: the bottom of the right range lands on YMin. An empty right range
// gives YMin; a negative result is stored as 0; a value that is not finite
// stays as it is (a gap).
double RightToLeftScale(const TLevelGraph& graph, double rightValue);
// Back again, for the point-value windows: a stored value below 0 (an empty
// slot's -1) comes back as it is.
double LeftToRightScale(const TLevelGraph& graph, double storedValue);
