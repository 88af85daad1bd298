#include "ui/elements/outfield.h"

#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>
#include <numbers>

#include "common/formatfloat.h"
#include "common/inifile.h"
#include "ui/elements/orvetutil.h"

namespace {

// Captions show numbers the way the operator's system writes them.
const TFormatSettings& CaptionFormatSettings() {
  static const TFormatSettings settings = [] {
    TFormatSettings result = DefaultFormatSettings();
    const QString point = QLocale::system().decimalPoint();
    if (!point.isEmpty()) result.DecimalSeparator = point.front();
    return result;
  }();
  return settings;
}

bool SameValue(double a, double b) {
  return a == b || (std::isnan(a) && std::isnan(b));
}

}  // namespace

TOutField::TOutField(QWidget* owner) : QWidget(owner) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TOutField::StyleChanged() {
  m_dirty = true;
  update();
}

void TOutField::SetCaption(const QString& caption) {
  if (caption == m_caption) return;
  m_caption = caption;
  StyleChanged();
}

void TOutField::SetBrush(const ElementBrush& brush) {
  if (brush == m_brush) return;
  m_brush = brush;
  StyleChanged();
}

void TOutField::SetBrushColor(TColor color) {
  ElementBrush brush = m_brush;
  brush.Color = color;
  SetBrush(brush);
}

void TOutField::SetPen(const ElementPen& pen) {
  if (pen == m_pen) return;
  m_pen = pen;
  StyleChanged();
}

void TOutField::SetPenColor(TColor color) {
  ElementPen pen = m_pen;
  pen.SetColor(color);
  SetPen(pen);
}

void TOutField::SetPenWidth(int width) {
  ElementPen pen = m_pen;
  pen.SetWidth(width);
  SetPen(pen);
}

void TOutField::SetFont(const ElementFont& font) {
  if (font == m_font) return;
  m_font = font;
  StyleChanged();
}

void TOutField::SetFontColor(TColor color) {
  ElementFont font = m_font;
  font.SetColor(color);
  SetFont(font);
}

void TOutField::SetOutFormat(const QString& format) {
  if (format == m_outFormat) return;
  m_outFormat = format;
  StyleChanged();
}

void TOutField::SetOutValue(double value) {
  if (SameValue(value, m_outValue)) return;
  m_outValue = value;
  m_caption = FormatFloat(m_outFormat, value, CaptionFormatSettings());
  StyleChanged();
}

void TOutField::SetAlpha(int alpha) {
  if (alpha == m_alpha) return;
  m_alpha = alpha;
  StyleChanged();
}

void TOutField::SetHandWriting(bool handWriting) {
  if (handWriting == m_handWriting) return;
  m_handWriting = handWriting;
  StyleChanged();
}

void TOutField::SetTransparent(bool transparent) {
  if (transparent == m_transparent) return;
  m_transparent = transparent;
  // Opaque fields cover every pixel; a transparent one lets the parent's
  // background show under its text.
  setAttribute(Qt::WA_OpaquePaintEvent, !transparent);
  if (transparent) m_bitmap = QPixmap();
  StyleChanged();
}

void TOutField::SetVAlign(TTamselVAlign vAlign) {
  if (vAlign == m_vAlign) return;
  m_vAlign = vAlign;
  StyleChanged();
}

bool TOutField::SaveConfig() {
  if (m_configName.isEmpty()) return false;
  IniFile ini(IniPathOfConfigName(m_configName));
  const QString section = objectName();
  IniUpdate update(ini);
  SavePenToIni(ini, section, u"Pen"_qs, m_pen);
  SaveFontToIni(ini, section, u"Font"_qs, m_font);
  ini.WriteString(section, u"OutFormat"_qs, m_outFormat);
  WriteColorToIni(ini, section, u"BrushColor"_qs, m_brush.Color);
  return update.Commit();
}

bool TOutField::LoadConfig(const QString& section) {
  const IniFile ini(IniPathOfConfigName(m_configName));
  const QString name = section.isEmpty() ? objectName() : section;
  ElementPen pen = m_pen;
  LoadPenFromIni(ini, name, u"Pen"_qs, pen);
  ElementFont font = m_font;
  LoadFontFromIni(ini, name, u"Font"_qs, font);
  ElementBrush brush = m_brush;
  brush.Color = ReadColorFromIni(ini, name, u"BrushColor"_qs, brush.Color);
  SetPen(pen);
  SetFont(font);
  SetBrush(brush);
  return true;
}

void TOutField::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  m_dirty = true;
}

void TOutField::paintEvent(QPaintEvent*) {
  if (width() <= 0 || height() <= 0) return;
  if (m_transparent) {
    // Nothing of the parent's picture is kept between paints, so the text is
    // drawn every time, not only after a change.
    QPainter painter(this);
    DrawCaption(painter);
    m_dirty = false;
    return;
  }
  QPainter painter(this);
  if (PaintsToPage(painter)) {
    DrawRectangle(painter, rect(), m_pen, m_brush);
    DrawCaption(painter);
    return;
  }
  const qreal ratio = devicePixelRatioF();
  const QSize pixels = (QSizeF(size()) * ratio).toSize();
  if (m_bitmap.size() != pixels || m_bitmap.devicePixelRatio() != ratio) {
    m_bitmap = QPixmap(pixels);
    m_bitmap.setDevicePixelRatio(ratio);
    m_dirty = true;
  }
  if (m_dirty) {
    QPainter surface(&m_bitmap);
    DrawRectangle(surface, rect(), m_pen, m_brush);
    DrawCaption(surface);
    m_dirty = false;
  }
  painter.drawPixmap(0, 0, m_bitmap);
}

// The text box is turned by Alpha about its own centre, which sits at the
// field's horizontal middle and at the height VAlign gives: the middle, th + 1
// below the top, or th above the bottom (th = the font's line height).
void TOutField::DrawCaption(QPainter& painter) const {
  if (m_caption.isEmpty()) return;
  painter.setFont(m_font.ToQFont(m_handWriting));
  painter.setPen(ColorFromTColor(m_font.Color()));
  const QFontMetrics metrics = painter.fontMetrics();
  const double textWidth = metrics.horizontalAdvance(m_caption);
  const double textHeight = metrics.height();
  const double radius = std::hypot(textWidth / 2, textHeight / 2);
  const double cx = width() / 2.0;
  double cy = height() / 2.0;
  if (m_vAlign == tm_VAlignTop) cy = textHeight + 1;
  if (m_vAlign == tm_VAlignBottom) cy = height() - textHeight;
  const double theta = std::atan2(textHeight / 2, -textWidth / 2) + m_alpha * std::numbers::pi / 1800;
  const int x = static_cast<int>(std::trunc(cx + radius * std::cos(theta)));
  const int y = static_cast<int>(std::trunc(cy - radius * std::sin(theta)));
  painter.save();
  painter.translate(x, y);
  painter.rotate(-m_alpha / 10.0);
  painter.drawText(QPoint(0, metrics.ascent()), m_caption);
  painter.restore();
}

void TOutField::mouseReleaseEvent(QMouseEvent* event) {
  QWidget::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}
