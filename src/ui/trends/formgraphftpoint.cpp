#include "ui/trends/formgraphftpoint.h"

#include "ui/elements/outfield.h"
#include "ui/trends/levelgraph.h"
#include "ui/trends/trendrow.h"

TFormGraphFtPoint::TFormGraphFtPoint(QWidget* trendWindow, TLevelGraph* section1, TLevelGraph* section2,
                                     std::function<QWidget*()> activeView)
    : TGraphPointWindow(trendWindow, section1, {section1, section2}, std::move(activeView)) {
  setObjectName(QStringLiteral("FormGraphFtPoint"));
  m_fieldFlow = AddValueRow(QStringLiteral("OutFieldTRFL"), u"Текущий расход, л/ч:"_qs, *section1, 0);
  m_fieldSpecific = AddValueRow(QStringLiteral("OutFieldZRFL"), u"Удельный расход мл/т:"_qs, *section1, 1);
  FinishLayout();
}

void TFormGraphFtPoint::Refresh() {
  const TLevelGraph& graph = Reference();
  const TDateTime t = graph.CursorTime();
  m_fieldFlow->SetOutValue(graph.GetPoint(0, t));
  m_fieldSpecific->SetOutValue(LeftToRightScale(graph, graph.GetPoint(1, t)));
  RefreshTime();
}
