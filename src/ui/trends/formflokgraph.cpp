#include "ui/trends/formflokgraph.h"

#include <QAction>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPalette>
#include <QResizeEvent>
#include <QScreen>

#include "common/inifile.h"
#include "ui/elements/arrow.h"
#include "ui/elements/elementfont.h"
#include "ui/elements/label.h"
#include "ui/trends/formgraphftpoint.h"
#include "ui/trends/levelgraph.h"

namespace {

constexpr int kPanelTopHeight = 51;
constexpr int kPickerWidth = 110;
constexpr int kComboWidth = 110;
constexpr int kControlHeight = 24;
constexpr int kArrowWidth = 50;
constexpr int kArrowHeight = 11;
constexpr TColor kCream = 15793151;

TrendWindowRules FlokRules() {
  TrendWindowRules rules;
  rules.TimerIntervalMs = 1000;
  rules.ForcedReloadTick = 5;
  rules.CursorToMiddle = false;
  rules.MinimumYMax = false;
  rules.TimerNeedsDatabase = true;
  rules.CheckError = u"Ошибка в TFormFlotGraph::CheckForUpdates()."_qs;
  rules.TimerError = u"Ошибка в TFormFlotGraph::TimerUpdateTimer"_qs;
  return rules;
}

TArrow* MakeLegendArrow(QWidget* parent, const QString& name, TColor color) {
  auto* arrow = new TArrow(parent);
  arrow->setObjectName(name);
  arrow->resize(kArrowWidth, kArrowHeight);
  arrow->SetColor(color);
  return arrow;
}

}  // namespace

TFormFlokGraph::TFormFlokGraph(TrendSource source, const QString& appDir, QWidget* owner)
    : TTrendWindow(std::move(source), FlokRules(), owner), m_appDir(appDir) {
  setObjectName(QStringLiteral("FormFlokGraph"));
  setWindowTitle(u"График расхода флокулянта"_qs);
  SetTrendBackground(*this, kCream);
  m_iniPath = m_appDir + u"/"_qs + objectName() + u".INI"_qs;

  m_panelTop = new QWidget(this);
  m_panelTop->setObjectName(QStringLiteral("PanelTop"));
  SetTrendBackground(*m_panelTop, kCream);
  m_labelTop = MakeTrendCaption(m_panelTop, QStringLiteral("LabelTop"), u"График расхода флокулянта за"_qs,
                                PixelFont(u"Times New Roman"_qs, 20, true), clNavy);
  DateTimePicker1().setParent(m_panelTop);
  DateTimePicker1().resize(kPickerWidth, kControlHeight);
  DateTimePicker1().show();
  ComboBox1().setParent(m_panelTop);
  ComboBox1().resize(kComboWidth, kControlHeight);
  ComboBox1().show();

  const QFont legendFont = PixelFont(u"Times New Roman"_qs, 16, true);
  m_arrowTRS = MakeLegendArrow(m_panelTop, QStringLiteral("ArrowTRS"), clRed);
  m_labelTRS =
      MakeTrendCaption(m_panelTop, QStringLiteral("LabelTRS"), u"Текущий расход"_qs, legendFont, clRed);
  m_arrowURS = MakeLegendArrow(m_panelTop, QStringLiteral("ArrowURS"), clBlue);
  m_labelURS =
      MakeTrendCaption(m_panelTop, QStringLiteral("LabelURS"), u"Удельный расход"_qs, legendFont, clBlue);

  m_cmdShowSatellite = new QAction(u"Показать цифровые значения"_qs, this);
  m_cmdShowSatellite->setObjectName(QStringLiteral("CmdShowSatellite"));
  connect(m_cmdShowSatellite, &QAction::triggered, this, [this] { CmdShowSatelliteClick(); });

  for (int section = 0; section < 2; ++section) m_graphs[section] = MakeGraph(section);

  ApplyElementStyles(m_iniPath, m_appDir);
  SetSeriesPens();
  m_pointWindow = new TFormGraphFtPoint(this, m_graphs[0], m_graphs[1], Source().ActiveView);
  m_pointWindow->hide();

  // A hidden widget gets its resize event only when shown; lay out now so
  // that the graphs have their size for the first load.
  resize(1000, 700);
  FormResize();
  FormCreate();
}

TFormFlokGraph::~TFormFlokGraph() {
  FormDestroy();
}

TLevelGraph* TFormFlokGraph::MakeGraph(int section) {
  const QString suffix = QString::number(section + 1);
  auto* graph = new TLevelGraph(this);
  graph->setObjectName(u"LevelGraphS"_qs + suffix);
  ApplyTrendGraphDesign(*graph);
  graph->SetBackColor(kCream);
  graph->SetYMax(400);
  graph->SetYLabelStep(50);
  graph->SetShowRightScale(true);
  graph->SetRightYMin(40);
  graph->SetRightYMax(320);
  graph->SetRightScaleStep(40);
  graph->SetGraphTop(26);
  graph->SetGraphLeft(60);
  graph->SetGraphSubWidth(60);
  graph->SetGraphSubHeight(20);
  graph->SetGraphCount(2);
  graph->SetGraphPen(0, ElementPen(clRed, 3));
  graph->SetGraphPen(1, ElementPen(clBlue, 3));
  graph->SetIniName(m_appDir + u"/GraphColors.INI"_qs);
  graph->setContextMenuPolicy(Qt::ActionsContextMenu);
  graph->addAction(m_cmdShowSatellite);
  connect(graph, &TLevelGraph::changed, this, &TFormFlokGraph::LevelGraphS1Change);

  GraphParts& parts = m_parts[section];
  const QFont unitFont = PixelFont(u"MS Sans Serif"_qs, 13, true);
  parts.Title = MakeTrendCaption(graph, u"LabelS"_qs + suffix, u" Секция №"_qs + suffix,
                                 PixelFont(u"Times New Roman"_qs, 16, true), clNavy);
  parts.Title->move(graph->GraphLeft(), 4);
  parts.LeftUnit = MakeTrendCaption(graph, u"LabelLeftUnitS"_qs + suffix, u"л/ч"_qs, unitFont, clBlack);
  parts.LeftUnit->move(10, 8);
  parts.RightUnit = MakeTrendCaption(graph, u"LabelRightUnitS"_qs + suffix, u"мл/т"_qs, unitFont, clBlack);
  return graph;
}

// The lines are drawn in the legend arrows' colours, so restyling an arrow
// recolours its series and the caption beside the arrow.
void TFormFlokGraph::SetSeriesPens() {
  for (TLevelGraph* graph : m_graphs) {
    graph->SetGraphPen(0, ElementPen(m_arrowTRS->Color(), m_arrowTRS->ArrowWidth()));
    graph->SetGraphPen(1, ElementPen(m_arrowURS->Color(), m_arrowURS->ArrowWidth()));
  }
  SetTrendTextColor(*m_labelTRS, m_arrowTRS->Color());
  SetTrendTextColor(*m_labelURS, m_arrowURS->Color());
}

void TFormFlokGraph::LoadLimits() {
  const IniFile ini(m_iniPath);
  for (int i = 0; i < 2; ++i) {
    LoadGraphLimits(ini, u"GraphLimits"_qs + QString::number(i + 1), *m_graphs[i], true);
  }
}

void TFormFlokGraph::FormCreate() {
  SelectToday();
  LoadLimits();
}

void TFormFlokGraph::FormDestroy() {
  IniFile ini(m_iniPath);
  bool written = true;
  for (int i = 0; i < 2; ++i) {
    written = SaveGraphLimits(ini, u"GraphLimits"_qs + QString::number(i + 1), *m_graphs[i], true) && written;
  }
  if (!written && Source().AddLogMessage) {
    Source().AddLogMessage(m_iniPath + u": the graph limits could not be written"_qs);
  }
}

void TFormFlokGraph::PutRow(TDateTime at, const TrendRow& row) {
  for (int section = 0; section < 2; ++section) {
    TLevelGraph& graph = *m_graphs[section];
    graph.AddPoint(0, at, row.Value(SectionColumn("TRFL", section)));
    graph.AddPoint(1, at, RightToLeftScale(graph, row.Value(SectionColumn("ZRFL", section))));
  }
}

void TFormFlokGraph::CmdShowSatelliteClick() {
  m_pointWindow->Refresh();
  m_pointWindow->adjustSize();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    m_pointWindow->move(area.center() - QPoint(m_pointWindow->width() / 2, m_pointWindow->height() / 2));
  }
  m_pointWindow->show();
  m_pointWindow->raise();
}

void TFormFlokGraph::LevelGraphS1Change(TLevelGraph* sender) {
  for (TLevelGraph* graph : m_graphs) {
    if (graph != sender) graph->SetCursorTime(sender->CursorTime());
  }
}

void TFormFlokGraph::PanelTopResize() {
  const int width = m_panelTop->width();
  const int height = m_panelTop->height();
  m_labelTop->adjustSize();
  const int rowWidth = m_labelTop->width() + DateTimePicker1().width() + ComboBox1().width();
  const int captionLeft = (width - rowWidth) / 2;
  m_labelTop->move(captionLeft, (height - m_labelTop->height()) / 2);
  DateTimePicker1().move(m_labelTop->x() + m_labelTop->width() + 4,
                         (height - DateTimePicker1().height()) / 2);
  ComboBox1().move(DateTimePicker1().x() + DateTimePicker1().width() + 4,
                   (height - ComboBox1().height()) / 2);

  m_labelTRS->adjustSize();
  m_labelURS->adjustSize();
  m_arrowTRS->move(10, (height - m_arrowTRS->height()) / 2);
  m_labelTRS->move(m_arrowTRS->x() + m_arrowTRS->width() + 5, (height - m_labelTRS->height()) / 2);
  m_arrowURS->move(width - m_arrowURS->width() - m_labelURS->width() - 20,
                   (height - m_arrowURS->height()) / 2);
  m_labelURS->move(m_arrowURS->x() + m_arrowURS->width() + 5, (height - m_labelURS->height()) / 2);

  for (int i = 0; i < 2; ++i) {
    TLabel& unit = *m_parts[i].RightUnit;
    unit.move(m_graphs[i]->width() - unit.width() - 10, m_parts[i].LeftUnit->y());
  }
  WaitPanel().move((this->width() - WaitPanel().width()) / 2, WaitPanel().y());
}

void TFormFlokGraph::FormResize() {
  const int top = kPanelTopHeight;
  m_panelTop->setGeometry(0, 0, width(), top);
  const int upper = (height() - top) / 2;
  m_graphs[0]->setGeometry(0, top, width(), upper);
  m_graphs[1]->setGeometry(0, top + upper, width(), height() - top - upper);
  PanelTopResize();
}

void TFormFlokGraph::resizeEvent(QResizeEvent* event) {
  TTrendWindow::resizeEvent(event);
  FormResize();
}
