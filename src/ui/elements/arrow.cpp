#include "ui/elements/arrow.h"

#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

#include "common/floattext.h"
#include "common/inifile.h"
#include "ui/elements/elementpen.h"
#include "ui/elements/orvetutil.h"

namespace {

// Far outside any screen, yet far from int overflow: steep heads, huge head
// lengths and NaN angles only draw clipped lines, never undefined conversions.
constexpr double kCoordinateLimit = 1 << 20;

int Truncated(double x) {
  if (std::isnan(x)) return 0;
  return static_cast<int>(std::trunc(std::clamp(x, -kCoordinateLimit, kCoordinateLimit)));
}

// The drawing's rounding: trunc(x + 0.5).
int Rounded(double x) {
  return Truncated(x + 0.5);
}

bool SameValue(double a, double b) {
  return a == b || (std::isnan(a) && std::isnan(b));
}

QChar LocaleDecimalSeparator() {
  const QString point = QLocale::system().decimalPoint();
  return point.isEmpty() ? QChar(u'.') : point.front();
}

// Positions are written with the locale's separator; either separator reads.
std::optional<double> ParsePosition(const QString& line) {
  return ParseIniFloat(line.trimmed());
}

QString PositionText(double position) {
  return FloatToStrGeneral(position, LocaleDecimalSeparator());
}

// GDI-like shaft: round ends, so a line reaches its end points.
QPen ShaftPen(TColor color, int width) {
  return QPen(ColorFromTColor(color), width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

}  // namespace

TArrow::TArrow(QWidget* owner) : QWidget(owner) {
  setAttribute(Qt::WA_TranslucentBackground);
  setAutoFillBackground(false);
  resize(50, 50);
}

void TArrow::SetAngle(double angle) {
  if (SameValue(angle, m_angle)) return;
  m_angle = angle;
  update();
}

void TArrow::SetColor(TColor color) {
  if (color == m_color) return;
  m_color = color;
  update();
}

void TArrow::SetArrowWidth(int width) {
  width = std::clamp(width, 0, ElementPen::kMaxWidth);
  if (width == m_arrowWidth) return;
  m_arrowWidth = width;
  update();
}

void TArrow::SetEdgeLength(int length) {
  length = std::max(length, 0);
  if (length == m_edgeLength) return;
  m_edgeLength = length;
  update();
}

void TArrow::SetEdgeAngle(int angle) {
  if (angle == m_edgeAngle) return;
  m_edgeAngle = angle;
  update();
}

void TArrow::SetBubbleLen(int length) {
  m_bubbleLen = length;
}

void TArrow::SetBubbleSpeed(double speed) {
  m_bubbleSpeed = speed;
}

void TArrow::SetBubbleInterval(int interval) {
  m_bubbleInterval = interval;
}

void TArrow::SetBubbleColor(TColor color) {
  m_bubbleColor = color;
}

void TArrow::SetBubbleList(const QStringList& list) {
  m_bubbleList = list;
}

void TArrow::SetNextArrow(TArrow* next) {
  m_nextArrow = next;
}

void TArrow::SetBubbleSource(bool source) {
  m_bubbleSource = source;
}

bool TArrow::SaveConfig() {
  if (m_configName.isEmpty()) return false;
  IniFile ini(IniPathOfConfigName(m_configName));
  const QString section = objectName();
  IniUpdate update(ini);
  ini.WriteInteger(section, u"ArrowWidth"_qs, m_arrowWidth);
  WriteColorToIni(ini, section, u"Color"_qs, m_color);
  ini.WriteInteger(section, u"EdgeLength"_qs, m_edgeLength);
  ini.WriteInteger(section, u"EdgeAngle"_qs, m_edgeAngle);
  return update.Commit();
}

bool TArrow::LoadConfig(const QString& section) {
  const IniFile ini(IniPathOfConfigName(m_configName));
  const QString name = section.isEmpty() ? objectName() : section;
  SetArrowWidth(ReadWidthFromIni(ini, name, u"ArrowWidth"_qs, m_arrowWidth));
  SetColor(ReadColorFromIni(ini, name, u"Color"_qs, m_color));
  return true;
}

void TArrow::paintEvent(QPaintEvent*) {
  const double halfLength = std::max(width(), height()) * 0.5 - 1;
  const int cx = width() / 2;
  const int cy = height() / 2;
  const double theta = m_angle * std::numbers::pi / 180;
  m_halfLength = halfLength;
  m_tail = QPoint(Rounded(std::cos(theta + std::numbers::pi) * halfLength + cx),
                  Rounded(cy - std::sin(theta + std::numbers::pi) * halfLength));
  const double shaft = halfLength - m_edgeLength;
  m_shaftEnd = QPoint(Rounded(std::cos(theta) * shaft + cx), Rounded(cy - std::sin(theta) * shaft));

  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(ShaftPen(m_color, m_arrowWidth));
  painter.drawLine(m_tail, m_shaftEnd);
  PaintBuuble(painter);
  if (m_edgeLength <= 0) return;

  painter.setPen(ShaftPen(m_color, 1));
  painter.setBrush(ColorFromTColor(m_color));
  const QPoint tip(Rounded(std::cos(theta) * halfLength + cx), Rounded(cy - std::sin(theta) * halfLength));
  const double halfBase = std::tan(m_edgeAngle * std::numbers::pi / 360) * m_edgeLength;
  const double phi = theta - std::numbers::pi / 2;
  const double dx = std::cos(phi) * halfBase;
  const double dy = std::sin(phi) * halfBase;
  const QPolygon head({tip, QPoint(Rounded(m_shaftEnd.x() + dx), Rounded(m_shaftEnd.y() - dy)),
                       QPoint(Rounded(m_shaftEnd.x() - dx), Rounded(m_shaftEnd.y() + dy))});
  painter.drawPolygon(head);
}

void TArrow::PaintBuuble(QPainter& canvas) {
  if (m_bubbleList.isEmpty()) return;
  const double lineX = m_shaftEnd.x() - m_tail.x();
  const double lineY = m_shaftEnd.y() - m_tail.y();
  const double length = std::hypot(lineX, lineY);
  if (length == 0) return;  // no direction to run along
  const double ux = lineX / length;
  const double uy = lineY / length;
  canvas.save();
  canvas.setRenderHint(QPainter::Antialiasing, false);
  canvas.setPen(ShaftPen(m_bubbleColor, m_arrowWidth));
  for (const QString& line : m_bubbleList) {
    const std::optional<double> position = ParsePosition(line);
    if (!position) continue;
    const double end = *position + m_bubbleLen;
    canvas.drawLine(QPoint(Truncated(m_tail.x() + *position * ux), Truncated(m_tail.y() + *position * uy)),
                    QPoint(Truncated(m_tail.x() + end * ux), Truncated(m_tail.y() + end * uy)));
  }
  canvas.restore();
}

void TArrow::BubbleStep(bool follower) {
  if (m_stepping) return;
  m_stepping = true;
  TArrow* const next = m_nextArrow.data();
  if (next != nullptr) {
    next->SetBubbleLen(m_bubbleLen);
    next->SetBubbleSpeed(m_bubbleSpeed);
    next->SetBubbleInterval(m_bubbleInterval);
    next->SetBubbleColor(m_bubbleColor);
    next->BubbleStep(true);
  }
  const bool feeds = m_bubbleSource && !follower;
  // 64 bits: the dash lengths are the layout's and may be any int.
  const qint64 bubbleLen = m_bubbleLen;
  if (m_bubbleList.isEmpty()) {
    if (feeds) m_bubbleList.append(QString::number(1 - bubbleLen));
    m_stepping = false;
    return;
  }

  const double total = 2 * m_halfLength;
  const double threshold = total - bubbleLen;
  QStringList moved;
  moved.reserve(m_bubbleList.size());
  for (const QString& line : std::as_const(m_bubbleList)) {
    const std::optional<double> parsed = ParsePosition(line);
    if (!parsed) continue;
    double position = *parsed + m_bubbleSpeed;
    // A whole position past the threshold enters the next arrow; the added
    // tenth marks it as handed on, so it is not handed on again while it
    // runs out of this one.
    if (position > threshold && position == std::floor(position) && next != nullptr) {
      next->m_bubbleList.append(PositionText(position - total));
      position += 0.1;
    }
    if (position > total) continue;
    moved.append(PositionText(position));
  }
  m_bubbleList = moved;
  if (feeds && !m_bubbleList.isEmpty()) {
    const std::optional<double> last = ParsePosition(m_bubbleList.last());
    if (last && *last > m_bubbleInterval) m_bubbleList.append(QString::number(-bubbleLen));
  }
  m_stepping = false;
  update();
}

void TArrow::mouseReleaseEvent(QMouseEvent* event) {
  QWidget::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}
