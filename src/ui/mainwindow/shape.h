#pragma once

#include <QWidget>
#include <cstdint>

#include "ui/elements/tcolor.h"

// A filled circle with a thin frame, as the state indicator of the tool bar
// uses it. The colour is a 0x00BBGGRR value (TColor). User-interface thread only.
class TShape : public QWidget {
  Q_OBJECT
  Q_PROPERTY(uint BrushColor READ BrushColor WRITE SetBrushColor)

 public:
  explicit TShape(QWidget* owner = nullptr);
  TColor BrushColor() const { return m_brushColor; }
  // Repaints only when the colour changes.
  void SetBrushColor(TColor color);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TColor m_brushColor = clSilver;
};
