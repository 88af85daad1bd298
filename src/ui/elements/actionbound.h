#pragma once

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QPointer>

// Controls bound to a command of the main window: a click runs the action,
// and the action's caption (label), picture (image), hint, enabled and
// visible state show on the control and follow its changes. The action is not
// owned; a control whose action is destroyed simply stops following it.
// User-interface thread only.

// A caption with the action's text ("&" accelerator markers removed).
class TActionLabel : public QLabel {
  Q_OBJECT
  Q_PROPERTY(int Tag READ Tag WRITE SetTag)

 public:
  explicit TActionLabel(QWidget* owner = nullptr);
  QAction* Action() const { return m_action; }
  void SetAction(QAction* action);
  int Tag() const { return m_tag; }
  void SetTag(int tag) { m_tag = tag; }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void UpdateFromAction();
  QPointer<QAction> m_action;
  QMetaObject::Connection m_changed;
  int m_tag = 0;
};

// The action's picture, centred in the control at its natural size.
class TActionImage : public QLabel {
  Q_OBJECT
  Q_PROPERTY(int Tag READ Tag WRITE SetTag)

 public:
  explicit TActionImage(QWidget* owner = nullptr);
  QAction* Action() const { return m_action; }
  void SetAction(QAction* action);
  int Tag() const { return m_tag; }
  void SetTag(int tag) { m_tag = tag; }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void UpdateFromAction();
  QPointer<QAction> m_action;
  QMetaObject::Connection m_changed;
  int m_tag = 0;
};

// A panel; the action's caption is its accessible name, its hint its tip.
class TActionPanel : public QFrame {
  Q_OBJECT
  Q_PROPERTY(int Tag READ Tag WRITE SetTag)

 public:
  explicit TActionPanel(QWidget* owner = nullptr);
  QAction* Action() const { return m_action; }
  void SetAction(QAction* action);
  int Tag() const { return m_tag; }
  void SetTag(int tag) { m_tag = tag; }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void UpdateFromAction();
  QPointer<QAction> m_action;
  QMetaObject::Connection m_changed;
  int m_tag = 0;
};

// An action's caption without its accelerator markers: "Вы&xод" -> "Выxод",
// "A && B" -> "A & B".
QString CaptionWithoutAccelerator(const QString& caption);
