#include "ui/elements/elementpen.h"

#include <QPaintEngine>
#include <QPainter>
#include <algorithm>

std::optional<TPenStyle> PenStyleFromOrdinal(int ordinal) {
  if (ordinal < static_cast<int>(TPenStyle::psSolid) || ordinal > static_cast<int>(TPenStyle::psInsideFrame))
    return std::nullopt;
  return static_cast<TPenStyle>(ordinal);
}

ElementPen::ElementPen(TColor color, int width, TPenStyle style) : m_color(color), m_style(style) {
  SetWidth(width);
}

void ElementPen::SetWidth(int width) {
  m_width = std::clamp(width, 0, kMaxWidth);
}

QPen ElementPen::ToQPen() const {
  if (m_style == TPenStyle::psClear) return QPen(Qt::NoPen);
  QPen pen(ColorFromTColor(m_color), m_width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
  if (m_width > 1) return pen;
  switch (m_style) {
    case TPenStyle::psDash:
      pen.setDashPattern({18, 6});
      break;
    case TPenStyle::psDot:
      pen.setDashPattern({3, 3});
      break;
    case TPenStyle::psDashDot:
      pen.setDashPattern({9, 6, 3, 6});
      break;
    case TPenStyle::psDashDotDot:
      pen.setDashPattern({9, 3, 3, 3, 3, 3});
      break;
    default:
      break;
  }
  return pen;
}

void DrawRectangle(QPainter& painter, const QRect& area, const ElementPen& pen, const ElementBrush& brush) {
  if (area.isEmpty()) return;
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.fillRect(area, brush.ToQBrush());
  if (pen.Style() == TPenStyle::psClear) return;
  const int width = pen.Width();
  if (width <= 1) {
    painter.setPen(pen.ToQPen());
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(area.adjusted(0, 0, -1, -1));
    return;
  }
  // Wide frames as four bands: deterministic pixels, unlike a wide aliased stroke.
  const int outside = pen.Style() == TPenStyle::psInsideFrame ? 0 : width / 2;
  const QRect outer = area.adjusted(-outside, -outside, outside, outside);
  const QColor color = ColorFromTColor(pen.Color());
  const int band = std::min({width, outer.width(), outer.height()});
  painter.fillRect(QRect(outer.left(), outer.top(), outer.width(), band), color);
  painter.fillRect(QRect(outer.left(), outer.bottom() - band + 1, outer.width(), band), color);
  painter.fillRect(QRect(outer.left(), outer.top(), band, outer.height()), color);
  painter.fillRect(QRect(outer.right() - band + 1, outer.top(), band, outer.height()), color);
}

bool PaintsToPage(const QPainter& painter) {
  const QPaintEngine* engine = painter.paintEngine();
  return engine != nullptr && engine->type() != QPaintEngine::Raster;
}
