#include "ui/trends/formgraphflpoint.h"

#include "ui/elements/outfield.h"
#include "ui/trends/levelgraph.h"
#include "ui/trends/trendrow.h"

namespace {

struct RowDesign {
  const char* Name;
  const char16_t* Caption;
  int Graph;  // index in the trend window's graphs
  int Series;
  bool RightScale;
};

constexpr RowDesign kRows[TFormGraphFLPoint::kRowCount] = {
    {"OutFieldRVF", u"Расход пульпы, м3/ч:", 0, 0, false},
    {"OutFieldPLF", u"Плотность пульпы, г/л:", 1, 0, false},
    {"OutFieldRGF", u"Нагрузка по твердому, т/ч:", 2, 0, false},
    {"OutFieldTRRS", u"Текущий расход собирателя, л/ч:", 3, 0, false},
    {"OutFieldZRRS", u"Удельный расход собирателя, мл/т:", 3, 1, true},
    {"OutFieldTRRP", u"Текущий расход пенообразователя,  л/ч:", 4, 0, false},
    {"OutFieldZRRP", u"Удельный расход пенообразователя, мл/т:", 4, 1, true},
};

}  // namespace

TFormGraphFLPoint::TFormGraphFLPoint(QWidget* trendWindow, const std::vector<TLevelGraph*>& graphs,
                                     std::function<QWidget*()> activeView)
    : TGraphPointWindow(trendWindow, graphs.at(0), graphs, std::move(activeView)) {
  setObjectName(u"FormGraphFLPoint"_qs);
  for (int i = 0; i < kRowCount; ++i) {
    const RowDesign& design = kRows[i];
    TLevelGraph* graph = graphs.at(static_cast<size_t>(design.Graph));
    Row& row = m_rows[static_cast<size_t>(i)];
    row.Field = AddValueRow(QString::fromLatin1(design.Name), QString::fromUtf16(design.Caption), *graph,
                            design.Series);
    row.Graph = graph;
    row.Series = design.Series;
    row.RightScale = design.RightScale;
  }
  FinishLayout();
}

TOutField* TFormGraphFLPoint::Field(int row) const {
  if (row < 0 || row >= kRowCount) return nullptr;
  return m_rows[static_cast<size_t>(row)].Field;
}

void TFormGraphFLPoint::Refresh() {
  const TDateTime t = Reference().CursorTime();
  for (const Row& row : m_rows) {
    const double stored = row.Graph->GetPoint(row.Series, t);
    row.Field->SetOutValue(row.RightScale ? LeftToRightScale(*row.Graph, stored) : stored);
  }
  RefreshTime();
}
