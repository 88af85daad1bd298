#pragma once

#include <QString>
#include <array>
#include <vector>

#include "ui/elements/tcolor.h"
#include "ui/trends/trendrow.h"
#include "ui/trends/trendwindow.h"

class QAction;
class QMenu;
class QToolButton;
class TFormGraphFLPoint;
class TLabel;
class TLevelGraph;

// The trend window of one flotation section: five level graphs stacked under
// a top panel with the date and shift selection - feed-pulp flow, feed-pulp
// density, solids load, collector flow and frother flow. The two reagent
// graphs carry the specific consumption as a second series on their right
// scale. Loading, polling and the wait panel are TTrendWindow's; this window
// says what a row puts into which graph.
//
// Each graph has a zoom button that gives it the whole window and back, and
// a popup menu that opens the point-value window (TFormGraphFLPoint). A
// cursor moved on one graph moves on all five.
//
// The graph limits live in IniPath() (appDir/config/FormFlotGraph<n>.INI,
// section "<graph name>Limits"): read at construction, written back by the
// destructor. The folder is made when missing. Every graph keeps its series
// pens in appDir/GraphColors.INI.
//
// Made once per section at start and kept for the whole run. Graphs,
// captions, buttons and the point window are the window's (Qt children).
// "source.Database" must outlive the window. User-interface thread only.
class TFormFlotGraph : public TTrendWindow {
  Q_OBJECT

 public:
  static constexpr int kGraphCount = 5;
  static constexpr int kPanelTopHeight = 41;

  // "section" 0 is section 1, 1 is section 2 (anything else counts as 0).
  TFormFlotGraph(int section, TrendSource source, const QString& appDir, QWidget* owner = nullptr);
  // Writes the graph limits to IniPath().
  ~TFormFlotGraph() override;

  // The load and update rules of the flotation windows.
  static TrendWindowRules Rules();

  int Section() const { return m_section; }
  const QString& SectionSuffix() const { return m_sectionSuffix; }
  const QString& IniPath() const { return m_iniPath; }
  TColor WindowColor() const { return m_windowColor; }

  // LevelGraphRP, LevelGraphPP, LevelGraphWP, LevelGraphRS, LevelGraphRN for
  // 0 ... 4; nullptr otherwise. The same for their zoom buttons.
  TLevelGraph* Graph(int i) const;
  QToolButton* ZoomButton(int i) const;
  QWidget& PanelTop() const { return *m_panelTop; }
  QMenu& PopupMenu1() const { return *m_popupMenu; }
  QAction& CmdShowSatellite() const { return *m_cmdShowSatellite; }
  // Null until CmdShowSatelliteClick made it.
  TFormGraphFLPoint* PointWindow() const { return m_pointWindow; }
  bool AllShown() const { return m_allShown; }
  bool ZoomFlag(int i) const;

  // All five graphs, only the bottom one with the time labels.
  void ShowAllGraphs();
  // Graph ix alone in the window, or back to all five when it already is.
  void InverseZoom(int ix);
  // Every graph's cursor to the sender's.
  void LevelGraphRPChange(TLevelGraph* sender);
  // Makes the point-value window on first use and shows it.
  void CmdShowSatelliteClick();
  // Places the graphs, the buttons, the legend captions and the wait panel
  // for the window's size.
  void FormResize();

 protected:
  std::vector<TLevelGraph*> TrendGraphs() const override;
  void PutRow(TDateTime at, const TrendRow& row) override;
  std::vector<TrendColumn> ExportColumns() const override {
    return {m_colRVF, m_colPLF, m_colRGF, m_colTRRS, m_colZRRS, m_colTRRP, m_colZRRP};
  }
  QString PrintTitle() const override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  struct GraphDesign;

  void CreatePanelTop();
  TLevelGraph* CreateGraph(int index, const GraphDesign& design);
  TLabel* CreateLegend(TLevelGraph& graph, const QString& name, const QString& text, TColor color);
  void ZoomTo(int ix);
  void SetSeriesPens();
  void LoadLimits();
  void SaveLimits() const;

  int m_section = 0;
  QString m_sectionSuffix;
  QString m_appDir;
  QString m_iniPath;
  TColor m_windowColor = clCream;
  bool m_editMode = false;

  QWidget* m_panelTop = nullptr;
  QWidget* m_panelTopRight = nullptr;
  TLabel* m_labelTop = nullptr;
  std::array<TLevelGraph*, kGraphCount> m_graphs{};
  std::array<QToolButton*, kGraphCount> m_zoomButtons{};
  std::array<TLabel*, kGraphCount> m_titles{};
  // The legend captions of the collector (0) and frother (1) graphs.
  std::array<TLabel*, 2> m_legendLeft{};
  std::array<TLabel*, 2> m_legendRight{};
  QMenu* m_popupMenu = nullptr;
  QAction* m_cmdShowSatellite = nullptr;
  TFormGraphFLPoint* m_pointWindow = nullptr;

  std::array<bool, kGraphCount> m_zoomFlags{};
  bool m_allShown = true;
  int m_zoomed = -1;  // the graph that fills the window while !m_allShown
  bool m_shownOnce = false;

  // Columns of this section, in PutRow's order.
  TrendColumn m_colRVF, m_colPLF, m_colRGF, m_colTRRS, m_colZRRS, m_colTRRP, m_colZRRP;
};
