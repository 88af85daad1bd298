#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <vector>

#include "ui/trends/graphpointwindow.h"

class TLevelGraph;
class TOutField;

// The point-value window of a flotation trend window: the seven values under
// the cursor of LevelGraphRP and the cursor time. The value fields, by
// objectName, top to bottom:
//   OutFieldRVF   feed-pulp flow                  LevelGraphRP series 0
//   OutFieldPLF   feed-pulp density               LevelGraphPP series 0
//   OutFieldRGF   solids load                     LevelGraphWP series 0
//   OutFieldTRRS  collector flow                  LevelGraphRS series 0
//   OutFieldZRRS  collector specific consumption  LevelGraphRS series 1, on the right scale
//   OutFieldTRRP  frother flow                    LevelGraphRN series 0
//   OutFieldZRRP  frother specific consumption    LevelGraphRN series 1, on the right scale
// (each with its caption QLabel "Label" + the field's name). The time field
// and the step buttons are TGraphPointWindow's.
//
// "graphs" are the trend window's five graphs in the order above
// (LevelGraphRP ... LevelGraphRN); they must outlive the window, which the
// trend window (Qt parent) owns. User-interface thread only.
class TFormGraphFLPoint : public TGraphPointWindow {
  Q_OBJECT

 public:
  static constexpr int kRowCount = 7;

  TFormGraphFLPoint(QWidget* trendWindow, const std::vector<TLevelGraph*>& graphs,
                    std::function<QWidget*()> activeView);

  // Row 0 ... 6 in the order above; nullptr otherwise.
  TOutField* Field(int row) const;

  void Refresh() override;

 private:
  struct Row {
    TOutField* Field = nullptr;
    TLevelGraph* Graph = nullptr;
    int Series = 0;
    bool RightScale = false;
  };

  std::array<Row, kRowCount> m_rows{};
};
