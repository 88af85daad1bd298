#include "ui/elements/poligon.h"

#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <optional>

#include "common/inifile.h"
#include "ui/elements/orvetutil.h"

namespace {

// Far outside any screen, yet far from int overflow: a corner of 1e300 %
// only draws a clipped edge.
constexpr double kCoordinateLimit = 1 << 20;

int Truncated(double x) {
  if (std::isnan(x)) return 0;
  return static_cast<int>(std::trunc(std::clamp(x, -kCoordinateLimit, kCoordinateLimit)));
}

const QString kTooManyPoints = QStringLiteral("Слишком большое количество точек!");
// The line break is written as the old message had it, line feed first.
const QString kBadPoint = QStringLiteral("Правильно указываете координаты точек.\n\r");

}  // namespace

TPoligon::TPoligon(QWidget* owner) : QWidget(owner) {
  resize(100, 100);
  m_pointList = {QStringLiteral("50; 0"), QStringLiteral("0; 100"), QStringLiteral("100; 100")};
  RefrshPointList();
}

void TPoligon::StyleChanged() {
  RefrshPointList();
}

void TPoligon::SetPen(const ElementPen& pen) {
  if (pen == m_pen) return;
  m_pen = pen;
  StyleChanged();
}

void TPoligon::SetPenColor(TColor color) {
  ElementPen pen = m_pen;
  pen.SetColor(color);
  SetPen(pen);
}

void TPoligon::SetPenWidth(int width) {
  ElementPen pen = m_pen;
  pen.SetWidth(width);
  SetPen(pen);
}

void TPoligon::SetBrush(const ElementBrush& brush) {
  if (brush == m_brush) return;
  m_brush = brush;
  StyleChanged();
}

void TPoligon::SetBrushColor(TColor color) {
  SetBrush(ElementBrush{color});
}

void TPoligon::SetPointList(const QStringList& pointList) {
  if (pointList == m_pointList) return;
  m_pointList = pointList;
  StyleChanged();
}

void TPoligon::SetXFlip(bool xFlip) {
  if (xFlip == m_xFlip) return;
  m_xFlip = xFlip;
  RefrshPointList();
}

QPointF TPoligon::PercentPoint(int index) const {
  if (index < 0 || index >= m_validPointCount) return {};
  return m_points[static_cast<std::size_t>(index)];
}

void TPoligon::Report(const QString& text) {
  if (m_messageSink) {
    m_messageSink(text);
    return;
  }
  QMessageBox::critical(window(), QStringLiteral("Ошибка"), text);
}

void TPoligon::RefrshPointList() {
  update();
  const qsizetype lines = m_pointList.size();
  if (lines < 3) {
    m_validPointCount = 0;
    return;
  }
  if (lines > kMaxPoints) {
    Report(kTooManyPoints);
    return;
  }
  // Parsed aside and taken only when every line reads, so a bad line keeps
  // the whole previous shape rather than a mix of old and new corners.
  std::array<QPointF, kMaxPoints> points{};
  for (qsizetype i = 0; i < lines; ++i) {
    const QString& line = m_pointList[i];
    const qsizetype separator = line.indexOf(u';');
    std::optional<double> x;
    std::optional<double> y;
    if (separator > 0) {
      x = ParseIniFloat(line.left(separator).trimmed());
      y = ParseIniFloat(line.mid(separator + 1).trimmed());
    }
    if (!x || !y) {
      Report(kBadPoint);
      return;
    }
    points[static_cast<std::size_t>(i)] = QPointF(m_xFlip ? 100 - *x : *x, *y);
  }
  m_points = points;
  m_validPointCount = static_cast<int>(lines);
}

bool TPoligon::SaveConfig() {
  return SaveShapeStyle(m_configName, objectName(), m_pen, m_brush.Color);
}

bool TPoligon::LoadConfig(const QString& section) {
  ElementPen pen = m_pen;
  TColor brushColor = m_brush.Color;
  LoadShapeStyle(m_configName, section.isEmpty() ? objectName() : section, pen, brushColor);
  SetPen(pen);
  SetBrushColor(brushColor);
  return true;
}

void TPoligon::paintEvent(QPaintEvent*) {
  if (m_validPointCount < 3) return;
  const double w = width();
  const double h = height();
  QPolygon corners;
  corners.reserve(m_validPointCount);
  for (int i = 0; i < m_validPointCount; ++i) {
    const QPointF& point = m_points[static_cast<std::size_t>(i)];
    corners << QPoint(Truncated(w * point.x() * 0.01), Truncated(h * point.y() * 0.01));
  }
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(m_pen.ToQPen());
  painter.setBrush(m_brush.ToQBrush());
  painter.drawPolygon(corners, Qt::OddEvenFill);
}

void TPoligon::mouseReleaseEvent(QMouseEvent* event) {
  QWidget::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}
