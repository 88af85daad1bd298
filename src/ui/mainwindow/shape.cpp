#include "ui/mainwindow/shape.h"

#include <QPainter>

TShape::TShape(QWidget* owner) : QWidget(owner) {}

void TShape::SetBrushColor(uint32_t color) {
  if (color == m_brushColor) return;
  m_brushColor = color;
  update();
}

void TShape::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(Qt::black, 1));
  // 0x00BBGGRR
  painter.setBrush(QColor(m_brushColor & 0xFF, (m_brushColor >> 8) & 0xFF, (m_brushColor >> 16) & 0xFF));
  const int side = qMin(width(), height()) - 1;
  painter.drawEllipse(QRectF(0.5, 0.5, side, side));
}
