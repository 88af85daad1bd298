#pragma once

#include <QWidget>
#include <cstdint>

#include "ui/elements/tcolor.h"

// A filled circle with a thin frame: the state indicator of the tool bar and
// the pump circles of the diagram. The colour is a 0x00BBGGRR value (TColor).
// The owner widget owns it (Qt parent). User-interface thread only.
class TShape : public QWidget {
  Q_OBJECT
  Q_PROPERTY(int Tag READ Tag WRITE SetTag)
  Q_PROPERTY(uint BrushColor READ BrushColor WRITE SetBrushColor)

 public:
  explicit TShape(QWidget* owner = nullptr);
  int Tag() const { return m_tag; }
  void SetTag(int tag) { m_tag = tag; }
  TColor BrushColor() const { return m_brushColor; }
  // Repaints only when the colour changes.
  void SetBrushColor(TColor color);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int m_tag = 0;
  TColor m_brushColor = clSilver;
};
