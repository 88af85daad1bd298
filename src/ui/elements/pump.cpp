#include "ui/elements/pump.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <cmath>

#include "ui/elements/orvetutil.h"

namespace {

int Truncated(double x) {
  return static_cast<int>(std::trunc(x));
}

// The area between the corners (x0, y0) and (x1, y1), right and bottom edges
// excluded.
QRect Area(double x0, double y0, double x1, double y1) {
  const int left = Truncated(x0);
  const int top = Truncated(y0);
  return QRect(left, top, Truncated(x1) - left, Truncated(y1) - top);
}

// Qt strokes an ellipse over its rectangle's far edges; one pixel less keeps
// the outline inside the area.
QRect EllipseBox(const QRect& area) {
  return area.adjusted(0, 0, -1, -1);
}

}  // namespace

TPump::TPump(QWidget* owner) : QWidget(owner) {
  resize(50, 50);
}

void TPump::SetBrush(const ElementBrush& brush) {
  if (brush == m_brush) return;
  m_brush = brush;
  update();
}

void TPump::SetBrushColor(TColor color) {
  SetBrush(ElementBrush{color});
}

void TPump::SetPen(const ElementPen& pen) {
  if (pen == m_pen) return;
  m_pen = pen;
  update();
}

void TPump::SetPenColor(TColor color) {
  ElementPen pen = m_pen;
  pen.SetColor(color);
  SetPen(pen);
}

void TPump::SetPenWidth(int width) {
  ElementPen pen = m_pen;
  pen.SetWidth(width);
  SetPen(pen);
}

void TPump::SetVertFlip(bool vertFlip) {
  if (vertFlip == m_vertFlip) return;
  m_vertFlip = vertFlip;
  update();
}

bool TPump::SaveConfig() {
  return SaveShapeStyle(m_configName, objectName(), m_pen, m_brush.Color);
}

bool TPump::LoadConfig(const QString& section) {
  ElementPen pen = m_pen;
  TColor brushColor = m_brush.Color;
  LoadShapeStyle(m_configName, section.isEmpty() ? objectName() : section, pen, brushColor);
  SetPen(pen);
  SetBrushColor(brushColor);
  return true;
}

void TPump::paintEvent(QPaintEvent*) {
  const double w = width();
  const double h = height();
  const double tw = w / 3;
  const double th = h / 3;
  const double hw = tw / 2;
  const double hh = th / 2;
  const QRect base = m_vertFlip ? Area(0, 0, tw, h - th) : Area(w - tw, 0, w, h - th);
  const QRect body = m_vertFlip ? Area(0, th, w - tw, h) : Area(tw, th, w, h);
  const QRect impeller = Area(tw, th + hh, 2 * tw, 2 * th + hh);
  const QRect outlet =
      m_vertFlip ? Area(w - tw - hw, th + hh, w, 2 * th + hh) : Area(0, th + hh, tw + hw, 2 * th + hh);
  const int top = Truncated(th + hh);
  const int bottom = Truncated(2 * th + hh);
  QPolygon outletEdges;
  if (m_vertFlip) {
    const int inner = Truncated(w - tw - hw);
    const int outer = width() - 1;
    outletEdges << QPoint(inner, bottom) << QPoint(outer, bottom) << QPoint(outer, top) << QPoint(inner, top);
  } else {
    const int inner = Truncated(tw + hw);
    outletEdges << QPoint(inner, bottom) << QPoint(0, bottom) << QPoint(0, top) << QPoint(inner, top);
  }

  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing, false);
  DrawRectangle(painter, base, m_pen, m_brush);
  painter.setPen(m_pen.ToQPen());
  painter.setBrush(m_brush.ToQBrush());
  painter.drawEllipse(EllipseBox(body));
  // The impeller's left half, counter-clockwise from its top to its bottom.
  painter.drawArc(EllipseBox(impeller), 90 * 16, 180 * 16);
  if (!outlet.isEmpty()) painter.fillRect(outlet, m_brush.ToQBrush());
  painter.setPen(m_pen.ToQPen());
  painter.drawPolyline(outletEdges);
}

void TPump::mouseReleaseEvent(QMouseEvent* event) {
  QWidget::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}
