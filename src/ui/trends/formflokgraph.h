#pragma once

#include <QString>
#include <vector>

#include "ui/trends/trendstyle.h"
#include "ui/trends/trendwindow.h"

class QAction;
class QFont;
class QKeyEvent;
class QResizeEvent;
class QWidget;
class TArrow;
class TFormGraphFtPoint;
class TLabel;
class TLevelGraph;

// The flocculant trends: one level graph per section (LevelGraphS1 above
// LevelGraphS2), each with the flocculant flow in l/h on the left scale and
// the specific consumption in ml/t on the right one, below a cream top panel
// with the title, the date picker, the shift box and two legend arrows whose
// width and colour the series lines take.
//
// It loads and follows new minutes as every trend window does, but polls
// every second and only while the database is connected (without it the
// graphs fill from memory on Enter alone); a reload leaves the cursor where
// it was and a failed reload is not logged. The graphs' limits live in
// appDir/FormFlokGraph.INI, sections GraphLimits1 and GraphLimits2: read at
// construction, written at destruction.
//
// Made once at start and kept until the end; the point-value window is made
// here too, hidden, and owned by this window. The owner (Qt parent) owns the
// window. User-interface thread only.
class TFormFlokGraph : public TTrendWindow {
  Q_OBJECT

 public:
  TFormFlokGraph(TrendSource source, const QString& appDir, QWidget* owner = nullptr);
  // Writes the graph limits.
  ~TFormFlokGraph() override;

  TLevelGraph& LevelGraphS1() const { return *m_graphs[0]; }
  TLevelGraph& LevelGraphS2() const { return *m_graphs[1]; }
  TArrow& ArrowTRS() const { return *m_arrowTRS; }
  TArrow& ArrowURS() const { return *m_arrowURS; }
  TFormGraphFtPoint& PointWindow() const { return *m_pointWindow; }
  const QString& IniPath() const { return m_iniPath; }

  // Shows the point-value window in the middle of the screen.
  void CmdShowSatelliteClick();
  // The other graph's cursor follows the one the operator moved.
  void LevelGraphS1Change(TLevelGraph* sender);
  void PanelTopResize();
  void FormResize();
  // Back to today and both shifts; the limits read again.
  void FormCreate();
  void FormDestroy();

 protected:
  std::vector<TLevelGraph*> TrendGraphs() const override { return {m_graphs[0], m_graphs[1]}; }
  void PutRow(TDateTime at, const TrendRow& row) override;
  std::vector<TrendColumn> ExportColumns() const override {
    return {TrendColumn::TRFL1, TrendColumn::ZRFL1, TrendColumn::TRFL2, TrendColumn::ZRFL2};
  }
  // The whole window: the legends live in the top panel.
  QRect PrintArea() const override { return rect(); }
  void resizeEvent(QResizeEvent* event) override;

 private:
  struct GraphParts {
    TLabel* Title = nullptr;
    TLabel* LeftUnit = nullptr;
    TLabel* RightUnit = nullptr;
  };

  TLevelGraph* MakeGraph(int section);
  void SetSeriesPens();
  void LoadLimits();

  QString m_appDir;
  QString m_iniPath;
  QWidget* m_panelTop = nullptr;
  TLabel* m_labelTop = nullptr;
  TArrow* m_arrowTRS = nullptr;
  TArrow* m_arrowURS = nullptr;
  TLabel* m_labelTRS = nullptr;
  TLabel* m_labelURS = nullptr;
  TLevelGraph* m_graphs[2] = {nullptr, nullptr};
  GraphParts m_parts[2];
  QAction* m_cmdShowSatellite = nullptr;
  TFormGraphFtPoint* m_pointWindow = nullptr;
};
