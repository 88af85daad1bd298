#pragma once

#include <functional>

#include "ui/trends/graphpointwindow.h"

class QWidget;
class TLevelGraph;
class TOutField;

// The values under the cursor of the flocculant trends, section 1 only: the
// flow in l/h and the specific consumption in ml/t, taken back from the left
// scale it is stored on. The buttons step the cursors of both section graphs.
//
// "trendWindow" (the Qt parent) owns the window; both graphs must outlive
// it, which they do as the trend window's children. User-interface thread only.
class TFormGraphFtPoint : public TGraphPointWindow {
  Q_OBJECT

 public:
  TFormGraphFtPoint(QWidget* trendWindow, TLevelGraph* section1, TLevelGraph* section2,
                    std::function<QWidget*()> activeView);

  TOutField& FieldFlow() const { return *m_fieldFlow; }
  TOutField& FieldSpecific() const { return *m_fieldSpecific; }

  void Refresh() override;

 private:
  TOutField* m_fieldFlow = nullptr;
  TOutField* m_fieldSpecific = nullptr;
};
