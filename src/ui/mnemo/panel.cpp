#include "ui/mnemo/panel.h"

#include <QPainter>

TPanel::TPanel(QWidget* owner) : QWidget(owner) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPanel::SetColor(TColor color) {
  if (color == m_color) return;
  m_color = color;
  update();
}

void TPanel::SetCaption(const QString& caption) {
  if (caption == m_caption) return;
  m_caption = caption;
  update();
}

void TPanel::SetFont(const ElementFont& font) {
  if (font == m_font) return;
  m_font = font;
  update();
}

void TPanel::SetFontColor(TColor color) {
  if (color == m_font.Color()) return;
  m_font.SetColor(color);
  update();
}

void TPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), ColorFromTColor(m_color));
  if (m_caption.isEmpty()) return;
  painter.setFont(m_font.ToQFont());
  painter.setPen(ColorFromTColor(m_font.Color()));
  painter.drawText(rect(), Qt::AlignCenter, m_caption);
}
