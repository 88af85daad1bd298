#include "ui/elements/valve.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>

TValve::TValve(QWidget* owner) : QWidget(owner) {
  resize(40, 40);
}

void TValve::SetPen(const ElementPen& pen) {
  m_pen = pen;
}

void TValve::SetPenColor(TColor color) {
  m_pen.SetColor(color);
}

void TValve::SetPenWidth(int width) {
  m_pen.SetWidth(width);
}

void TValve::SetBrush(const ElementBrush& brush) {
  m_brush = brush;
}

void TValve::SetBrushColor(TColor color) {
  m_brush.Color = color;
}

void TValve::SetVertMode(bool vertMode) {
  if (vertMode == m_vertMode) return;
  m_vertMode = vertMode;
  update();
}

void TValve::paintEvent(QPaintEvent*) {
  const int a = m_pen.Width();
  const int w = width();
  const int h = height();
  // Corners 2-3 and 4-1 cross in the middle; the odd-even fill leaves two
  // triangles meeting tip to tip.
  QPolygon outline;
  if (m_vertMode)
    outline << QPoint(a, a) << QPoint(w - a, a) << QPoint(a, h - a) << QPoint(w - a, h - a);
  else
    outline << QPoint(a, a) << QPoint(a, h - a) << QPoint(w - a, a) << QPoint(w - a, h - a);
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(m_pen.ToQPen());
  painter.setBrush(m_brush.ToQBrush());
  painter.drawPolygon(outline, Qt::OddEvenFill);
}

void TValve::mouseReleaseEvent(QMouseEvent* event) {
  QWidget::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}
