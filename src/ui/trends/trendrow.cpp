#include "ui/trends/trendrow.h"

#include <cstring>

#include "ui/trends/levelgraph.h"

namespace {

constexpr std::array<const char*, kTrendColumnCount> kNames = {
    "RVF1",  "RVF2",  "PLF1",  "PLF2",  "RGF1",  "RGF2",  "TRRS1", "TRRS2", "ZRRS1", "ZRRS2",    "TRRP1",
    "TRRP2", "ZRRP1", "ZRRP2", "TRFL1", "TRFL2", "ZRFL1", "ZRFL2", "URFK1", "URFK2", "URFK12_1",
};

// Slots of the averaged value block behind each column.
constexpr std::array<int, kTrendColumnCount> kSlots = {
    1, 5, 0, 4, 16, 17, 18, 19, 24, 25, 20, 21, 26, 27, 22, 23, 28, 29, 2, 6, 3,
};

}  // namespace

QString TrendColumnName(TrendColumn column) {
  return QString::fromLatin1(kNames[static_cast<int>(column)]);
}

TrendColumn SectionColumn(const char* quantity, int section) {
  const QByteArray wanted = QByteArray(quantity) + (section == 1 ? "2" : "1");
  for (int i = 0; i < kTrendColumnCount; ++i) {
    if (std::strcmp(kNames[i], wanted.constData()) == 0) return static_cast<TrendColumn>(i);
  }
  return TrendColumn::RVF1;
}

TrendRow TrendRowOfRecord(const MinuteRecord& record) {
  TrendRow row;
  row.Moment = record.RecMoment;
  for (int i = 0; i < kTrendColumnCount; ++i) row.Values[i] = record.Values[kSlots[i]];
  return row;
}

double RightToLeftScale(const TLevelGraph& graph, double rightValue) {
  if (!std::isfinite(rightValue)) return rightValue;
  const double rightBottom = graph.RightYMin() - graph.RightScaleStep();
  const double rightRange = graph.RightYMax() - rightBottom;
  if (rightRange == 0) return graph.YMin();
  const double stored =
      graph.YMin() + (rightValue - rightBottom) * (graph.YMax() - graph.YMin()) / rightRange;
  return stored < 0 ? 0 : stored;
}

double LeftToRightScale(const TLevelGraph& graph, double storedValue) {
  if (!(storedValue >= 0)) return storedValue;
  const double rightBottom = graph.RightYMin() - graph.RightScaleStep();
  const double leftRange = graph.YMax() - graph.YMin();
  if (leftRange == 0) return rightBottom;
  return rightBottom + (storedValue - graph.YMin()) * (graph.RightYMax() - rightBottom) / leftRange;
}
