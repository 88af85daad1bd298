#include "ui/trends/formflotgraph.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QPalette>
#include <QResizeEvent>
#include <QScreen>
#include <QShowEvent>
#include <QToolButton>
#include <algorithm>

#include "common/inifile.h"
#include "ui/common/elementeditmode.h"
#include "ui/elements/elementfont.h"
#include "ui/elements/elementpen.h"
#include "ui/elements/label.h"
#include "ui/trends/formgraphflpoint.h"
#include "ui/trends/levelgraph.h"
#include "ui/trends/trendstyle.h"

namespace {

constexpr double kOneMinute = 1.0 / 1440.0;
constexpr double kOneHour = 1.0 / 24.0;

constexpr TColor kSection1Color = 15793151;  // cream
constexpr TColor kSection2Color = 16768494;  // light lilac

constexpr int kZoomButtonWidth = 20;
constexpr int kZoomButtonHeight = 18;
// The zoom button's and the right legend's distance from the window's right edge.
constexpr int kZoomButtonRight = 16;
constexpr int kLegendRight = 50;
constexpr int kTitleLeft = 50;
constexpr int kLegendGap = 30;

constexpr int kCollector = 3;  // index of LevelGraphRS
constexpr int kFrother = 4;    // index of LevelGraphRN

}  // namespace

// What distinguishes one graph of the window from the others.
struct TFormFlotGraph::GraphDesign {
  const char* Name;
  const char16_t* Title;
  const char16_t* Suffix;  // zoom button: "SBut" + Name + "Zoom"; captions: "Label" + Suffix
  double YMax;
  double YLabelStep;
  bool RightScale;
  double RightYMin;
  double RightYMax;
  double RightScaleStep;
};

TFormFlotGraph::TFormFlotGraph(int section, TrendSource source, const QString& appDir, QWidget* owner)
    : TTrendWindow(std::move(source), Rules(), owner),
      m_section(section == 1 ? 1 : 0),
      m_sectionSuffix(QString::number(m_section + 1)),
      m_appDir(appDir),
      m_windowColor(m_section == 1 ? kSection2Color : kSection1Color),
      m_editMode(ElementEditMode()),
      m_colRVF(SectionColumn("RVF", m_section)),
      m_colPLF(SectionColumn("PLF", m_section)),
      m_colRGF(SectionColumn("RGF", m_section)),
      m_colTRRS(SectionColumn("TRRS", m_section)),
      m_colZRRS(SectionColumn("ZRRS", m_section)),
      m_colTRRP(SectionColumn("TRRP", m_section)),
      m_colZRRP(SectionColumn("ZRRP", m_section)) {
  setObjectName(u"FormFlotGraph"_qs + m_sectionSuffix);
  setWindowTitle(u"Графики параметров процесса флотации"_qs);
  SetTrendBackground(*this, m_windowColor);
  resize(1012, 723);

  const QString configDir = m_appDir + u"/config"_qs;
  QDir().mkpath(configDir);
  m_iniPath = configDir + u"/FormFlotGraph"_qs + m_sectionSuffix + u".INI"_qs;

  CreatePanelTop();

  static const GraphDesign kDesigns[kGraphCount] = {
      {"LevelGraphRP", u"Расход исходной пульпы, м3/ч", u"RP", 1001, 200, false, 0, 0, 0},
      {"LevelGraphPP", u"Плотность исходной пульпы, г/л", u"PP", 300, 50, false, 0, 0, 0},
      {"LevelGraphWP", u"Весовая нагрузка по твердому, т/ч", u"WP", 150, 25, false, 0, 0, 0},
      {"LevelGraphRS", u"Расход собирателя", u"RS", 1200, 200, true, 1500, 9000, 1500},
      // The right scale's top is 300, not 400: its labels step 50 per grid
      // line of 10 from 0 at the bottom edge, so 60 on the left is 300 ml/t,
      // and a top of 400 would plot every value below its label.
      {"LevelGraphRN", u"Расход вспенивателя", u"RN", 60, 10, true, 50, 300, 50},
  };
  for (int i = 0; i < kGraphCount; ++i) m_graphs[static_cast<size_t>(i)] = CreateGraph(i, kDesigns[i]);

  // The reagent graphs name their two series above the plot; each series
  // is drawn in its caption's colour.
  const std::array<int, 2> reagentGraphs = {kCollector, kFrother};
  for (size_t r = 0; r < reagentGraphs.size(); ++r) {
    TLevelGraph& graph = *m_graphs[static_cast<size_t>(reagentGraphs[r])];
    const QString suffix = QString::fromUtf16(kDesigns[reagentGraphs[r]].Suffix);
    m_legendLeft[r] =
        CreateLegend(graph, u"Label"_qs + suffix + u"Left"_qs, u"Текущий расход, л/ч"_qs, clRed);
    m_legendRight[r] =
        CreateLegend(graph, u"Label"_qs + suffix + u"Right"_qs, u"Удельный расход, мл/т"_qs, clBlue);
  }

  m_popupMenu = new QMenu(this);
  m_popupMenu->setObjectName(u"PopupMenu1"_qs);
  m_cmdShowSatellite = m_popupMenu->addAction(u"Показать цифровые значения"_qs);
  m_cmdShowSatellite->setObjectName(u"CmdShowSatellite"_qs);
  connect(m_cmdShowSatellite, &QAction::triggered, this, [this] { CmdShowSatelliteClick(); });

  for (TLevelGraph* graph : m_graphs) {
    connect(graph, &TLevelGraph::changed, this, &TFormFlotGraph::LevelGraphRPChange);
    graph->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(graph, &QWidget::customContextMenuRequested, this, [this, graph](const QPoint& at) {
      // While elements are edited the right button belongs to the scale dialog.
      if (!m_editMode) m_popupMenu->popup(graph->mapToGlobal(at));
    });
  }

  ApplyElementStyles(m_iniPath, m_appDir);
  // A stored font may be larger than the design's.
  for (TLabel* caption : findChildren<TLabel*>()) caption->adjustSize();
  for (TLevelGraph* graph : m_graphs) graph->SetBackColor(m_windowColor);
  LoadLimits();
  SetSeriesPens();

  ShowAllGraphs();
  FormResize();
}

TFormFlotGraph::~TFormFlotGraph() {
  SaveLimits();
}

TrendWindowRules TFormFlotGraph::Rules() {
  TrendWindowRules rules;
  rules.TimerIntervalMs = 30000;
  rules.ForcedReloadTick = 3;
  rules.CursorToMiddle = true;
  rules.MinimumYMax = true;
  rules.TimerNeedsDatabase = false;
  rules.ReloadError = u"Ошибка в TFormFlotGraph::Reload()"_qs;
  rules.CheckError = u"Ошибка в TFormFlotGraph::CheckForUpdates()."_qs;
  rules.TimerError = u"Ошибка в TFormFlotGraph::TimerUpdateTimer"_qs;
  return rules;
}

void TFormFlotGraph::CreatePanelTop() {
  m_panelTop = new QWidget(this);
  m_panelTop->setObjectName(u"PanelTop"_qs);
  SetTrendBackground(*m_panelTop, m_windowColor);

  m_labelTop = new TLabel(u"Графики параметров флотации секции №"_qs + m_sectionSuffix, m_panelTop);
  m_labelTop->setObjectName(u"LabelTop"_qs);
  m_labelTop->setFont(PixelFont(u"Times New Roman"_qs, 19, true));
  SetTrendTextColor(*m_labelTop, clNavy);
  m_labelTop->move(10, 9);
  m_labelTop->adjustSize();

  m_panelTopRight = new QWidget(m_panelTop);
  m_panelTopRight->setObjectName(u"PanelTopRight"_qs);
  SetTrendBackground(*m_panelTopRight, m_windowColor);
  m_panelTopRight->resize(300, kPanelTopHeight);
  QDateEdit& picker = DateTimePicker1();
  picker.setParent(m_panelTopRight);
  picker.setGeometry(8, 8, 120, 25);
  picker.show();
  QComboBox& shift = ComboBox1();
  shift.setParent(m_panelTopRight);
  shift.setGeometry(136, 8, 150, 25);
  shift.show();
  // Outside the visible area: only Enter presses it.
  ButReload().setParent(m_panelTop);
  ButReload().move(-200, -200);
  ButReload().show();
}

TLevelGraph* TFormFlotGraph::CreateGraph(int index, const GraphDesign& design) {
  auto* graph = new TLevelGraph(this);
  graph->setObjectName(QString::fromLatin1(design.Name));
  // The pens of GraphColors.INI first; the drawn series take theirs after.
  graph->SetIniName(m_appDir + u"/GraphColors.INI"_qs);
  ApplyTrendGraphDesign(*graph);
  graph->SetYMax(design.YMax);
  graph->SetYLabelStep(design.YLabelStep);
  graph->SetGraphTop(20);
  graph->SetGraphLeft(50);
  graph->SetGraphSubWidth(40);
  graph->SetGraphSubHeight(index == kFrother ? 20 : 10);
  graph->SetGraphCount(design.RightScale ? 2 : 1);
  if (design.RightScale) {
    graph->SetShowRightScale(true);
    graph->SetRightYMin(design.RightYMin);
    graph->SetRightYMax(design.RightYMax);
    graph->SetRightScaleStep(design.RightScaleStep);
  }

  const QString suffix = QString::fromUtf16(design.Suffix);
  auto* title = new TLabel(QString::fromUtf16(design.Title), graph);
  title->setObjectName(u"Label"_qs + suffix);
  title->setFont(PixelFont(u"Times New Roman"_qs, 16, true));
  SetTrendTextColor(*title, clBlack);
  title->move(kTitleLeft, 1);
  title->adjustSize();
  m_titles[static_cast<size_t>(index)] = title;

  auto* zoom = new QToolButton(graph);
  zoom->setObjectName(u"SBut"_qs + graph->objectName() + u"Zoom"_qs);
  zoom->setText(u"[]"_qs);
  zoom->setToolTip(u"Развернуть график на весь экран"_qs);
  zoom->setProperty("Tag", index);
  zoom->setFocusPolicy(Qt::NoFocus);
  zoom->resize(kZoomButtonWidth, kZoomButtonHeight);
  zoom->move(width() - kZoomButtonWidth - kZoomButtonRight, 1);
  connect(zoom, &QToolButton::clicked, this, [this, zoom] { InverseZoom(zoom->property("Tag").toInt()); });
  m_zoomButtons[static_cast<size_t>(index)] = zoom;
  return graph;
}

TLabel* TFormFlotGraph::CreateLegend(TLevelGraph& graph, const QString& name, const QString& text,
                                     TColor color) {
  auto* legend = new TLabel(text, &graph);
  legend->setObjectName(name);
  legend->setFont(PixelFont(u"Arial"_qs, 13, true));
  SetTrendTextColor(*legend, color);
  legend->adjustSize();
  return legend;
}

void TFormFlotGraph::SetSeriesPens() {
  for (int i = 0; i < kCollector; ++i) m_graphs[static_cast<size_t>(i)]->SetGraphPen(0, ElementPen(clRed, 2));
  for (size_t r = 0; r < m_legendLeft.size(); ++r) {
    TLevelGraph* graph = m_graphs[r == 0 ? kCollector : kFrother];
    graph->SetGraphPen(0, ElementPen(TrendTextColor(*m_legendLeft[r]), 2));
    graph->SetGraphPen(1, ElementPen(TrendTextColor(*m_legendRight[r]), 2));
  }
}

void TFormFlotGraph::LoadLimits() {
  const IniFile ini(m_iniPath);
  for (TLevelGraph* graph : m_graphs) {
    LoadGraphLimits(ini, graph->objectName() + u"Limits"_qs, *graph, graph->ShowRightScale());
  }
}

void TFormFlotGraph::SaveLimits() const {
  IniFile ini(m_iniPath);
  IniUpdate update(ini);
  for (const TLevelGraph* graph : m_graphs) {
    SaveGraphLimits(ini, graph->objectName() + u"Limits"_qs, *graph, graph->ShowRightScale());
  }
  update.Commit();
}

TLevelGraph* TFormFlotGraph::Graph(int i) const {
  if (i < 0 || i >= kGraphCount) return nullptr;
  return m_graphs[static_cast<size_t>(i)];
}

QToolButton* TFormFlotGraph::ZoomButton(int i) const {
  if (i < 0 || i >= kGraphCount) return nullptr;
  return m_zoomButtons[static_cast<size_t>(i)];
}

bool TFormFlotGraph::ZoomFlag(int i) const {
  if (i < 0 || i >= kGraphCount) return false;
  return m_zoomFlags[static_cast<size_t>(i)];
}

std::vector<TLevelGraph*> TFormFlotGraph::TrendGraphs() const {
  return {m_graphs.begin(), m_graphs.end()};
}

QString TFormFlotGraph::PrintTitle() const {
  return m_labelTop->text();
}

void TFormFlotGraph::PutRow(TDateTime at, const TrendRow& row) {
  m_graphs[0]->AddPoint(0, at, row.Value(m_colRVF));
  m_graphs[1]->AddPoint(0, at, row.Value(m_colPLF));
  m_graphs[2]->AddPoint(0, at, row.Value(m_colRGF));
  TLevelGraph& collector = *m_graphs[kCollector];
  collector.AddPoint(0, at, row.Value(m_colTRRS));
  collector.AddPoint(1, at, RightToLeftScale(collector, row.Value(m_colZRRS)));
  TLevelGraph& frother = *m_graphs[kFrother];
  frother.AddPoint(0, at, row.Value(m_colTRRP));
  frother.AddPoint(1, at, RightToLeftScale(frother, row.Value(m_colZRRP)));
}

void TFormFlotGraph::ShowAllGraphs() {
  const int height = (this->height() - kPanelTopHeight - 20) / kGraphCount;
  int top = kPanelTopHeight;
  for (int i = 0; i < kGraphCount; ++i) {
    TLevelGraph& graph = *m_graphs[static_cast<size_t>(i)];
    const bool bottom = i == kGraphCount - 1;
    graph.SetGraphSubHeight(bottom ? 30 : 10);
    graph.SetShowScaleX(bottom);
    const int graphHeight = bottom ? std::max(0, this->height() - top) : height;
    graph.setGeometry(0, top, width(), graphHeight);
    graph.setVisible(true);
    top += graphHeight;
  }
  m_zoomFlags.fill(false);
  m_allShown = true;
  m_zoomed = -1;
}

void TFormFlotGraph::ZoomTo(int ix) {
  m_allShown = false;
  m_zoomed = ix;
  for (int i = 0; i < kGraphCount; ++i) {
    TLevelGraph& graph = *m_graphs[static_cast<size_t>(i)];
    if (i == ix) continue;
    graph.setVisible(false);
    graph.SetShowScaleX(false);
    graph.SetGraphSubHeight(10);
  }
  TLevelGraph& zoomed = *m_graphs[static_cast<size_t>(ix)];
  zoomed.SetShowScaleX(true);
  zoomed.SetGraphSubHeight(30);
  zoomed.setGeometry(0, kPanelTopHeight, width(), std::max(0, height() - kPanelTopHeight));
  zoomed.setVisible(true);
  m_zoomFlags.fill(false);
  m_zoomFlags[static_cast<size_t>(ix)] = true;
}

void TFormFlotGraph::InverseZoom(int ix) {
  try {
    if (ix < 0 || ix >= 10 || ix >= kGraphCount) return;
    if (m_zoomFlags[static_cast<size_t>(ix)]) {
      ShowAllGraphs();
    } else {
      ZoomTo(ix);
    }
  } catch (...) {
    if (Source().AddLogMessage) Source().AddLogMessage(u"Ошибка в TFormGraphHS::InverseZoom( int ix )"_qs);
  }
}

void TFormFlotGraph::LevelGraphRPChange(TLevelGraph* sender) {
  if (sender == nullptr) return;
  for (TLevelGraph* graph : m_graphs) {
    if (graph != sender) graph->SetCursorTime(sender->CursorTime());
  }
}

void TFormFlotGraph::CmdShowSatelliteClick() {
  if (m_pointWindow == nullptr) {
    m_pointWindow = new TFormGraphFLPoint(this, TrendGraphs(), Source().ActiveView);
    m_pointWindow->adjustSize();
    // Over the top right of the plots, where the newest values usually are
    // not, and on the screen in any case.
    QPoint at = mapToGlobal(QPoint(width() - m_pointWindow->width() - 80, kPanelTopHeight + 30));
    if (const QScreen* screen = this->screen()) {
      const QRect area = screen->availableGeometry();
      at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - m_pointWindow->width())));
      at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() - m_pointWindow->height())));
    }
    m_pointWindow->move(at);
  }
  m_pointWindow->Refresh();
  m_pointWindow->show();
  m_pointWindow->raise();
}

void TFormFlotGraph::FormResize() {
  const int w = width();
  m_panelTop->setGeometry(0, 0, w, kPanelTopHeight);
  m_panelTopRight->move(w - m_panelTopRight->width(), 0);

  if (m_allShown) {
    const int h = (height() - kPanelTopHeight - 10) / kGraphCount;
    const std::array<int, kGraphCount> heights = {h, h, h, -1, h + 10};
    const int collector = std::max(0, height() - kPanelTopHeight - 4 * h - 10);
    int top = kPanelTopHeight;
    for (int i = 0; i < kGraphCount; ++i) {
      const int graphHeight = i == kCollector ? collector : heights[static_cast<size_t>(i)];
      m_graphs[static_cast<size_t>(i)]->setGeometry(0, top, w, graphHeight);
      top += graphHeight;
    }
  } else if (m_zoomed >= 0) {
    m_graphs[static_cast<size_t>(m_zoomed)]->setGeometry(0, kPanelTopHeight, w,
                                                         std::max(0, height() - kPanelTopHeight));
  }

  for (QToolButton* zoom : m_zoomButtons) zoom->move(w - zoom->width() - kZoomButtonRight, zoom->y());
  for (size_t r = 0; r < m_legendLeft.size(); ++r) {
    TLabel& left = *m_legendLeft[r];
    const TLabel& title = *m_titles[r == 0 ? kCollector : kFrother];
    left.move(title.x() + title.width() + kLegendGap, title.y() + (title.height() - left.height()) / 2);
  }
  // Both right captions line up under each other, by the collector graph's.
  const int rightLeft = w - m_legendRight[0]->width() - kLegendRight;
  for (size_t r = 0; r < m_legendRight.size(); ++r) m_legendRight[r]->move(rightLeft, m_legendLeft[r]->y());

  QLabel& wait = WaitPanel();
  wait.move((w - wait.width()) / 2, (height() - wait.height()) / 2);
}

void TFormFlotGraph::resizeEvent(QResizeEvent* event) {
  TTrendWindow::resizeEvent(event);
  FormResize();
}

void TFormFlotGraph::showEvent(QShowEvent* event) {
  TTrendWindow::showEvent(event);
  if (m_shownOnce) return;
  m_shownOnce = true;
  ShowAllGraphs();
}
