#pragma once

#include <QWidget>

#include "ui/elements/elementbrush.h"
#include "ui/elements/elementpen.h"
#include "ui/elements/tcolor.h"

// The valve symbol of a pipe: two filled triangles meeting tip to tip in the
// middle of the control, pointing left and right (VertMode false, a valve in
// a horizontal pipe) or up and down (VertMode true). Only the symbol is
// painted; the parent's picture shows around it.
//
// The pen and brush setters only store: the diagram recolours all valves of
// a group and repaints them itself (update()). VertMode repaints when it
// changes. Setters given the current value do nothing. The owner widget owns
// the valve (Qt parent). User-interface thread only.
class TValve : public QWidget {
  Q_OBJECT
  Q_PROPERTY(int Tag READ Tag WRITE SetTag)
  Q_PROPERTY(bool VertMode READ VertMode WRITE SetVertMode)

 public:
  // 40 x 40 pixels, yellow outline of width 1, red fill.
  explicit TValve(QWidget* owner = nullptr);

  int Tag() const { return m_tag; }
  void SetTag(int tag) { m_tag = tag; }

  // No repaint; see above.
  const ElementPen& Pen() const { return m_pen; }
  void SetPen(const ElementPen& pen);
  void SetPenColor(TColor color);
  void SetPenWidth(int width);
  const ElementBrush& Brush() const { return m_brush; }
  void SetBrush(const ElementBrush& brush);
  void SetBrushColor(TColor color);

  bool VertMode() const { return m_vertMode; }
  void SetVertMode(bool vertMode);

 signals:
  // A left-button click inside the control.
  void clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  int m_tag = 0;
  ElementPen m_pen{clYellow, 1};
  ElementBrush m_brush{clRed};
  bool m_vertMode = false;
};
