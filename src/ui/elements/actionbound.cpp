#include "ui/elements/actionbound.h"

#include <QMouseEvent>

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

ActionLink::ActionLink(QWidget& control, std::function<void(const QAction&)> show)
    : m_control(control), m_show(std::move(show)) {}

ActionLink::~ActionLink() {
  QObject::disconnect(m_changed);
}

void ActionLink::SetAction(QAction* action) {
  if (m_action == action) return;
  QObject::disconnect(m_changed);
  m_action = action;
  if (action != nullptr)
    m_changed = QObject::connect(action, &QAction::changed, &m_control, [this] { Update(); });
  Update();
}

void ActionLink::Update() {
  if (m_action == nullptr) return;
  // The framework's action link: a disabled action greys its controls, a
  // hidden one hides them.
  m_control.setToolTip(m_action->toolTip());
  m_control.setEnabled(m_action->isEnabled());
  m_control.setVisible(m_action->isVisible());
  m_show(*m_action);
}

void ActionLink::MouseReleased(const QMouseEvent& event) {
  const bool click =
      event.button() == Qt::LeftButton && m_control.rect().contains(event.position().toPoint());
  if (m_action != nullptr && m_control.isEnabled() && click) m_action->trigger();
}

TActionLabel::TActionLabel(QWidget* owner)
    : QLabel(owner),
      m_link(*this, [this](const QAction& action) { setText(CaptionWithoutAccelerator(action.text())); }) {}

void TActionLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  m_link.MouseReleased(*event);
}

TActionImage::TActionImage(QWidget* owner)
    : QLabel(owner), m_link(*this, [this](const QAction& action) {
        const QIcon icon = action.icon();
        const QList<QSize> sizes = icon.availableSizes();
        const QSize size = sizes.isEmpty() ? QSize(64, 32) : sizes.last();
        setPixmap(icon.isNull() ? QPixmap()
                                : icon.pixmap(size, action.isEnabled() ? QIcon::Normal : QIcon::Disabled));
      }) {
  setAlignment(Qt::AlignCenter);
}

void TActionImage::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  m_link.MouseReleased(*event);
}

TActionPanel::TActionPanel(QWidget* owner)
    : QFrame(owner), m_link(*this, [this](const QAction& action) {
        setAccessibleName(CaptionWithoutAccelerator(action.text()));
      }) {}

void TActionPanel::mouseReleaseEvent(QMouseEvent* event) {
  QFrame::mouseReleaseEvent(event);
  m_link.MouseReleased(*event);
}
