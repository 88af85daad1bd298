#include "ui/elements/actionbound.h"

#include <QMouseEvent>

namespace {

// The framework's action link: enabled and visible follow the action; a
// hidden action hides its controls.
void FollowState(QWidget& control, const QAction& action) {
  control.setToolTip(action.toolTip());
  control.setEnabled(action.isEnabled());
  control.setVisible(action.isVisible());
}

// A click is a press and release of the left button inside the control.
bool IsClick(const QWidget& control, const QMouseEvent& event) {
  return event.button() == Qt::LeftButton && control.rect().contains(event.position().toPoint());
}

template <class Control>
void Bind(Control& control, QPointer<QAction>& member, QMetaObject::Connection& changed, QAction* action,
          void (Control::*update)()) {
  if (member == action) return;
  QObject::disconnect(changed);
  member = action;
  if (action != nullptr) changed = QObject::connect(action, &QAction::changed, &control, update);
  (control.*update)();
}

}  // namespace

QString CaptionWithoutAccelerator(const QString& caption) {
  QString text;
  text.reserve(caption.size());
  for (qsizetype i = 0; i < caption.size(); ++i) {
    // "&&" is a literal ampersand; a single "&" marks the next letter.
    if (caption[i] == u'&' && ++i == caption.size()) break;
    text += caption[i];
  }
  return text;
}

TActionLabel::TActionLabel(QWidget* owner) : QLabel(owner) {}

void TActionLabel::SetAction(QAction* action) {
  Bind(*this, m_action, m_changed, action, &TActionLabel::UpdateFromAction);
}

void TActionLabel::UpdateFromAction() {
  if (m_action == nullptr) return;
  setText(CaptionWithoutAccelerator(m_action->text()));
  FollowState(*this, *m_action);
}

void TActionLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (m_action != nullptr && isEnabled() && IsClick(*this, *event)) m_action->trigger();
}

TActionImage::TActionImage(QWidget* owner) : QLabel(owner) {
  setAlignment(Qt::AlignCenter);
}

void TActionImage::SetAction(QAction* action) {
  Bind(*this, m_action, m_changed, action, &TActionImage::UpdateFromAction);
}

void TActionImage::UpdateFromAction() {
  if (m_action == nullptr) return;
  const QIcon icon = m_action->icon();
  const QList<QSize> sizes = icon.availableSizes();
  const QSize size = sizes.isEmpty() ? QSize(64, 32) : sizes.last();
  setPixmap(icon.isNull() ? QPixmap() : icon.pixmap(size, isEnabled() ? QIcon::Normal : QIcon::Disabled));
  FollowState(*this, *m_action);
}

void TActionImage::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (m_action != nullptr && isEnabled() && IsClick(*this, *event)) m_action->trigger();
}

TActionPanel::TActionPanel(QWidget* owner) : QFrame(owner) {}

void TActionPanel::SetAction(QAction* action) {
  Bind(*this, m_action, m_changed, action, &TActionPanel::UpdateFromAction);
}

void TActionPanel::UpdateFromAction() {
  if (m_action == nullptr) return;
  setAccessibleName(CaptionWithoutAccelerator(m_action->text()));
  FollowState(*this, *m_action);
}

void TActionPanel::mouseReleaseEvent(QMouseEvent* event) {
  QFrame::mouseReleaseEvent(event);
  if (m_action != nullptr && isEnabled() && IsClick(*this, *event)) m_action->trigger();
}
