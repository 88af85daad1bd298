#pragma once

#include <QDialog>
#include <QPushButton>
#include <QString>
#include <QTimer>
#include <functional>
#include <vector>

#include "common/tdatetime.h"

class QGridLayout;
class TLevelGraph;
class TOutField;

// The small always-on-top window "Текущая точка графика" beside a trend
// window: the values under the cursor, one field per row with its caption,
// the cursor time, and two buttons that step the cursor of every graph by
// one minute. Every 100 ms while it is visible it refreshes itself when its
// trend window is the active view and hides itself otherwise.
//
// A derived window adds its rows (AddValueRow) and fills them (Refresh). The
// trend window (Qt parent) owns it. User-interface thread only.
class TGraphPointWindow : public QDialog {
  Q_OBJECT

 public:
  // The format of the value fields: -1 (no value) shows blank.
  static QString ValueFormat() { return QStringLiteral("# ### ##0.0; ;  "); }
  static QString TimeFormat() { return QStringLiteral("dd.mm.yyyy hh:nn:ss"); }

  // "reference" is the graph whose cursor and DataStep count; "graphs" all
  // that move with it. "activeView" gives the main window's active view.
  TGraphPointWindow(QWidget* trendWindow, TLevelGraph* reference, std::vector<TLevelGraph*> graphs,
                    std::function<QWidget*()> activeView);

  QPushButton& ButGoLeft() const { return *m_butGoLeft; }
  QPushButton& ButGoRight() const { return *m_butGoRight; }
  TOutField& TimeField() const { return *m_timeField; }
  QTimer& Timer1() { return m_timer1; }

  void Timer1Timer();
  // One minute back or forward; refused beyond the reference graph's
  // StartTime or StopTime.
  void ButGoLeftClick() { Step(-1); }
  void ButGoRightClick() { Step(1); }

  // The fields from the graphs at the reference cursor time, now.
  virtual void Refresh() = 0;

 protected:
  // A caption and a value field below the rows before it; the field takes
  // "pen" colour and width of the series it shows.
  TOutField* AddValueRow(const QString& objectName, const QString& caption, const TLevelGraph& graph,
                         int series);
  // Call at the end of the derived constructor: fixes the size.
  void FinishLayout();
  TLevelGraph& Reference() const { return *m_reference; }
  // The time field from the reference cursor.
  void RefreshTime();

 private:
  void Step(int direction);

  TLevelGraph* m_reference;
  std::vector<TLevelGraph*> m_graphs;
  std::function<QWidget*()> m_activeView;
  QWidget* m_trendWindow;
  QGridLayout* m_grid = nullptr;
  int m_rows = 0;
  TOutField* m_timeField = nullptr;
  QPushButton* m_butGoLeft = nullptr;
  QPushButton* m_butGoRight = nullptr;
  QTimer m_timer1;
};
