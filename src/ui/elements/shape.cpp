#include "ui/elements/shape.h"

#include <QPainter>

#include "ui/elements/tcolor.h"

TShape::TShape(QWidget* owner) : QWidget(owner) {}

void TShape::SetBrushColor(TColor color) {
  if (color == m_brushColor) return;
  m_brushColor = color;
  update();
}

void TShape::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(ColorFromTColor(m_brushColor));
  const int side = qMin(width(), height()) - 1;
  painter.drawEllipse(QRectF(0.5, 0.5, side, side));
}
