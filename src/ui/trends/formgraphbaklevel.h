#pragma once

#include <QString>
#include <array>
#include <vector>

#include "ui/trends/trendwindow.h"

class QKeyEvent;
class QResizeEvent;
class QWidget;
class TArrow;
class TLabel;
class TLevelGraph;
class TOutField;

// The tank levels: the daily-stock tanks of both sections and the common tank
// in one level graph, in percent, with the values under the cursor in a
// panel along the graph's bottom edge whose middle part stays centred. The
// three legend arrows there give the lines their width and colour.
//
// It loads and follows new minutes as the flotation trends do, every 30 s,
// from memory when the database is not connected. The limits live in
// appDir/config/FormGraphBakLevel.INI (section LevelGraphBakLevelLimits):
// read at construction, written at destruction; the element styles come from
// the same file.
//
// Made once at start and kept until the end. The owner (Qt parent) owns the
// window. User-interface thread only.
class TFormGraphBakLevel : public TTrendWindow {
  Q_OBJECT

 public:
  static constexpr int kBottomPanelHeight = 74;
  static constexpr int kBottomCenterWidth = 630;

  TFormGraphBakLevel(TrendSource source, const QString& appDir, QWidget* owner = nullptr);
  // Writes the graph limits.
  ~TFormGraphBakLevel() override;

  TLevelGraph& LevelGraphBakLevel() const { return *m_graph; }
  const QString& IniPath() const { return m_iniPath; }

  // The readouts and the time field from the cursor.
  void LevelGraphBakLevelChange();
  // Keeps the middle part of the bottom panel centred.
  void PanelBottomResize();
  void FormResize();
  // The limits read again, the pens taken from the arrows again, today
  // selected and a reload due.
  void FormCreate();
  void FormDestroy();

 protected:
  std::vector<TLevelGraph*> TrendGraphs() const override { return {m_graph}; }
  void PutRow(TDateTime at, const TrendRow& row) override;
  std::vector<TrendColumn> ExportColumns() const override {
    return {TrendColumn::URFK1, TrendColumn::URFK2, TrendColumn::URFK12_1};
  }
  void AfterDatabaseLoad() override { LevelGraphBakLevelChange(); }
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildBottomPanel();
  void SetSeriesPens();

  QString m_appDir;
  QString m_iniPath;
  QWidget* m_panelTop = nullptr;
  TLabel* m_labelTop = nullptr;
  TLevelGraph* m_graph = nullptr;
  QWidget* m_panelBottom = nullptr;
  QWidget* m_panelBottomLeft = nullptr;
  QWidget* m_panelBottomCenter = nullptr;
  QWidget* m_panelBottomRight = nullptr;
  TOutField* m_timeField = nullptr;
  std::array<TOutField*, 3> m_levelFields{};
};
