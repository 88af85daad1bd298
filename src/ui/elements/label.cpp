#include "ui/elements/label.h"

#include <QMouseEvent>

TLabel::TLabel(QWidget* owner) : QLabel(owner) {}

TLabel::TLabel(const QString& text, QWidget* owner) : QLabel(text, owner) {}

void TLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}
