#include "ui/elements/conusbox.h"

#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <array>
#include <cmath>

#include "ui/elements/elementbrush.h"

namespace {

// Far outside any screen, yet far from int overflow: absurd percentages only
// draw clipped shapes.
constexpr double kCoordinateLimit = 1 << 20;

int Truncated(double x) {
  if (std::isnan(x)) return 0;
  return static_cast<int>(std::trunc(std::clamp(x, -kCoordinateLimit, kCoordinateLimit)));
}

// A rectangle drawn with pen and brush between the corners (x0, y0) and
// (x1, y1), right and bottom edges excluded.
void Rectangle(QPainter& painter, int x0, int y0, int x1, int y1, const ElementPen& pen, TColor fill) {
  DrawRectangle(painter, QRect(x0, y0, x1 - x0, y1 - y0), pen, ElementBrush{fill});
}

// The brush only, right and bottom edges excluded.
void FillRect(QPainter& painter, int x0, int y0, int x1, int y1, TColor fill) {
  if (x1 <= x0 || y1 <= y0) return;
  painter.fillRect(QRect(x0, y0, x1 - x0, y1 - y0), ColorFromTColor(fill));
}

void Polygon(QPainter& painter, const std::array<QPoint, 4>& corners, const ElementPen& pen, TColor fill) {
  painter.setPen(pen.ToQPen());
  painter.setBrush(ColorFromTColor(fill));
  painter.drawPolygon(corners.data(), static_cast<int>(corners.size()), Qt::OddEvenFill);
}

}  // namespace

TConusBox::TConusBox(QWidget* owner) : QWidget(owner) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TConusBox::Changed() {
  m_dirty = true;
  update();
}

void TConusBox::SetBackColor(TColor color) {
  if (color == m_backColor) return;
  m_backColor = color;
  Changed();
}

void TConusBox::SetColor(TColor color) {
  if (color == m_color) return;
  m_color = color;
  Changed();
}

void TConusBox::SetPen(const ElementPen& pen) {
  if (pen == m_pen) return;
  m_pen = pen;
  Changed();
}

void TConusBox::SetPenColor(TColor color) {
  ElementPen pen = m_pen;
  pen.SetColor(color);
  SetPen(pen);
}

void TConusBox::SetPenWidth(int width) {
  ElementPen pen = m_pen;
  pen.SetWidth(width);
  SetPen(pen);
}

void TConusBox::SetWaterColor(TColor color) {
  if (color == m_waterColor) return;
  m_waterColor = color;
  Changed();
}

void TConusBox::SetConusH(int percent) {
  if (percent == m_conusH) return;
  m_conusH = percent;
  Changed();
}

void TConusBox::SetShowTopLine(bool show) {
  if (show == m_showTopLine) return;
  m_showTopLine = show;
  Changed();
}

void TConusBox::SetShowConusTop(bool show) {
  if (show == m_showConusTop) return;
  m_showConusTop = show;
  Changed();
}

void TConusBox::SetDownW(int percent) {
  if (percent == m_downW) return;
  m_downW = percent;
  Changed();
}

void TConusBox::SetWaterH(int percent) {
  if (percent == m_waterH) return;
  m_waterH = percent;
  Changed();
}

void TConusBox::SetHalfConus(bool half) {
  if (half == m_halfConus) return;
  m_halfConus = half;
  Changed();
}

void TConusBox::SetXFlip(bool xFlip) {
  if (xFlip == m_xFlip) return;
  m_xFlip = xFlip;
  Changed();
}

void TConusBox::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  m_dirty = true;
}

void TConusBox::paintEvent(QPaintEvent*) {
  if (width() <= 0 || height() <= 0) return;
  const qreal ratio = devicePixelRatioF();
  const QSize pixels = (QSizeF(size()) * ratio).toSize();
  if (m_bitmap.size() != pixels || m_bitmap.devicePixelRatio() != ratio) {
    m_bitmap = QPixmap(pixels);
    m_bitmap.setDevicePixelRatio(ratio);
    m_dirty = true;
  }
  if (m_dirty) {
    QPainter surface(&m_bitmap);
    DrawVessel(surface);
    m_dirty = false;
  }
  QPainter painter(this);
  painter.drawPixmap(0, 0, m_bitmap);
}

void TConusBox::DrawVessel(QPainter& painter) const {
  painter.setRenderHint(QPainter::Antialiasing, false);
  const int w = width();
  const int h = height();
  const int pw = m_pen.Width();
  // Percentages in floating point: a layout's absurd value must not overflow.
  const double waterY = h - m_waterH * static_cast<double>(h) / 100;
  const double conusY = h - m_conusH * static_cast<double>(h) / 100;
  const int cx = w / 2;
  const double halfDown = m_downW * static_cast<double>(w) / 100 / 2;
  const double downWidth = 2 * halfDown;

  std::array<QPoint, 4> cone = {QPoint(pw, Truncated(conusY)), QPoint(Truncated(cx - halfDown), h - pw),
                                QPoint(Truncated(cx + halfDown), h - pw), QPoint(w - pw, Truncated(conusY))};
  if (m_halfConus) {
    if (m_xFlip) {
      cone[1].setX(pw);
      cone[2].setX(Truncated(downWidth));
    } else {
      cone[1].setX(Truncated(w - downWidth));
      cone[2].setX(w - pw);
    }
  }
  // The band that hides the line between the upper part and the cone.
  const int seamTop = Truncated(conusY - pw);
  const int seamBottom = Truncated(conusY + pw);

  FillRect(painter, 0, 0, w, h, m_backColor);
  if (m_waterH > m_conusH) {
    if (m_waterH < 100) Rectangle(painter, pw, pw, w, Truncated(waterY), m_pen, m_color);
    Rectangle(painter, pw, Truncated(waterY), w, Truncated(conusY), m_pen, m_waterColor);
    Polygon(painter, cone, m_pen, m_waterColor);
    if (!m_showConusTop) FillRect(painter, 2 * pw, seamTop, w - 2 * pw, seamBottom, m_waterColor);
  } else {
    Rectangle(painter, pw, 0, w, Truncated(conusY), m_pen, m_color);
    Polygon(painter, cone, m_pen, m_color);
    if (!m_showConusTop) FillRect(painter, 2 * pw, seamTop, w - 2 * pw, seamBottom, m_color);
    if (m_conusH > 0) {
      // The liquid's surface widens linearly from the cone's bottom (k = 0)
      // to the full inner width at the cone's top (k = 1).
      const double k = static_cast<double>(m_waterH) / m_conusH;
      std::array<QPoint, 4> liquid = cone;
      liquid[0].setY(Truncated(waterY));
      liquid[3].setY(Truncated(waterY));
      if (m_halfConus) {
        const double x = downWidth + k * (w - downWidth);
        if (m_xFlip) {
          liquid[0].setX(pw);
          liquid[3].setX(Truncated(x));
        } else {
          liquid[0].setX(Truncated(w - x));
          liquid[3].setX(w - pw);
        }
      } else {
        const double x = halfDown + k * (w / 2 - halfDown);
        liquid[0].setX(Truncated(cx - x));
        liquid[3].setX(Truncated(cx + x));
      }
      Polygon(painter, liquid, m_pen, m_waterColor);
    }
  }
  if (!m_showTopLine) FillRect(painter, 0, 0, w, 2 * pw, m_backColor);
}
