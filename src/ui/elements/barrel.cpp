#include "ui/elements/barrel.h"

#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cmath>

#include "common/inifile.h"
#include "ui/elements/orvetutil.h"

namespace {

bool SameValue(double a, double b) {
  return a == b || (std::isnan(a) && std::isnan(b));
}

int Channel(TColor color, int shift) {
  return static_cast<int>((color >> shift) & 0xFF);
}

}  // namespace

TBarrel::TBarrel(QWidget* owner) : QWidget(owner) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TBarrel::SetColor(TColor color) {
  if (color == m_color) return;
  m_color = color;
  update();
}

void TBarrel::SetUpColor(TColor color) {
  if (color == m_upColor) return;
  m_upColor = color;
  update();
}

void TBarrel::SetDownColor(TColor color) {
  if (color == m_downColor) return;
  m_downColor = color;
  update();
}

void TBarrel::SetMaxLevel(double level) {
  if (SameValue(level, m_maxLevel)) return;
  m_maxLevel = level;
  update();
}

void TBarrel::SetMinLevel(double level) {
  if (SameValue(level, m_minLevel)) return;
  m_minLevel = level;
  update();
}

void TBarrel::SetWaterLevel(double level) {
  if (SameValue(level, m_waterLevel)) return;
  m_waterLevel = level;
  update();
}

void TBarrel::SetPen(const ElementPen& pen) {
  if (pen == m_pen) return;
  m_pen = pen;
  update();
}

void TBarrel::SetPenColor(TColor color) {
  ElementPen pen = m_pen;
  pen.SetColor(color);
  SetPen(pen);
}

void TBarrel::SetPenWidth(int width) {
  ElementPen pen = m_pen;
  pen.SetWidth(width);
  SetPen(pen);
}

void TBarrel::SetBrush(const ElementBrush& brush) {
  if (brush == m_brush) return;
  m_brush = brush;
  update();
}

void TBarrel::SetBrushColor(TColor color) {
  SetBrush(ElementBrush{color});
}

bool TBarrel::SaveConfig() {
  if (m_configName.isEmpty()) return false;
  IniFile ini(IniPathOfConfigName(m_configName));
  const QString section = objectName();
  IniUpdate update(ini);
  WriteColorToIni(ini, section, u"UpColor"_qs, m_upColor);
  WriteColorToIni(ini, section, u"DownColor"_qs, m_downColor);
  WriteColorToIni(ini, section, u"BackColor"_qs, m_brush.Color);
  SavePenToIni(ini, section, u"Pen"_qs, m_pen);
  return update.Commit();
}

bool TBarrel::LoadConfig(const QString& section) {
  const IniFile ini(IniPathOfConfigName(m_configName));
  const QString name = section.isEmpty() ? objectName() : section;
  const TColor upColor = ReadColorFromIni(ini, name, u"UpColor"_qs, m_upColor);
  const TColor downColor = ReadColorFromIni(ini, name, u"DownColor"_qs, m_downColor);
  const TColor backColor = ReadColorFromIni(ini, name, u"BackColor"_qs, m_brush.Color);
  ElementPen pen = m_pen;
  LoadPenFromIni(ini, name, u"Pen"_qs, pen);
  SetUpColor(upColor);
  SetDownColor(downColor);
  SetBrushColor(backColor);
  SetPen(pen);
  return true;
}

void TBarrel::paintEvent(QPaintEvent*) {
  if (width() <= 0 || height() <= 0) return;
  const qreal ratio = devicePixelRatioF();
  const QSize pixels = (QSizeF(size()) * ratio).toSize();
  QPixmap picture(pixels);
  picture.setDevicePixelRatio(ratio);
  bool drawn = false;
  {
    QPainter surface(&picture);
    drawn = DrawBarrel(surface);
  }
  // Without a scale the last picture stays; before the first one the
  // background shows, never uninitialised pixels.
  if (drawn || m_bitmap.size() != pixels || m_bitmap.devicePixelRatio() != ratio) {
    m_bitmap = picture;
  }
  QPainter painter(this);
  painter.drawPixmap(0, 0, m_bitmap);
}

bool TBarrel::DrawBarrel(QPainter& painter) const {
  painter.setRenderHint(QPainter::Antialiasing, false);
  const int w = width();
  const int h = height();
  painter.fillRect(QRect(0, 0, w, h), ColorFromTColor(m_color));
  const double range = m_maxLevel - m_minLevel;
  if (!(range > 0) || std::isinf(range)) return false;

  const double level =
      std::isnan(m_waterLevel) ? m_minLevel : std::clamp(m_waterLevel, m_minLevel, m_maxLevel);
  const double liquidHeight = (level - m_minLevel) * h / range;
  const int downRed = Channel(m_downColor, 0);
  const int downGreen = Channel(m_downColor, 8);
  const int downBlue = Channel(m_downColor, 16);
  const double stepRed = (Channel(m_upColor, 0) - downRed) / 100.0;
  const double stepGreen = (Channel(m_upColor, 8) - downGreen) / 100.0;
  const double stepBlue = (Channel(m_upColor, 16) - downBlue) / 100.0;
  // Whole bands of a hundredth of the height, from the bottom up.
  for (int i = 0; i < 100; ++i) {
    const int y0 = static_cast<int>(i * static_cast<double>(h) / 100);
    const int y1 = static_cast<int>((i + 1) * static_cast<double>(h) / 100);
    if (y1 > liquidHeight) break;
    const QColor band(static_cast<int>(std::trunc(i * stepRed + downRed)),
                      static_cast<int>(std::trunc(i * stepGreen + downGreen)),
                      static_cast<int>(std::trunc(i * stepBlue + downBlue)));
    painter.fillRect(QRect(0, h - y1, w, y1 - y0), band);
  }

  const int p = m_pen.Width() / 2;
  const QPolygon walls({QPoint(p, p), QPoint(p, h - p), QPoint(w - p, h - p), QPoint(w - p, p)});
  painter.setPen(m_pen.ToQPen());
  painter.setBrush(Qt::NoBrush);
  painter.drawPolyline(walls);
  return true;
}
