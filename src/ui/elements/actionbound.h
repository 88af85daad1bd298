#pragma once

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <functional>

// Controls bound to a command of the main window: a click runs the action,
// and the action's caption (label), picture (image), hint, enabled and
// visible state show on the control and follow its changes. The action is not
// owned; a control whose action is destroyed simply stops following it.
// User-interface thread only.

// The binding itself, one per control: follows the action's changes and runs
// it on a click. "show" puts what is particular to the control (text,
// picture) on it; the hint and the enabled and visible state are common.
class ActionLink {
 public:
  ActionLink(QWidget& control, std::function<void(const QAction&)> show);
  ~ActionLink();
  ActionLink(const ActionLink&) = delete;
  ActionLink& operator=(const ActionLink&) = delete;

  QAction* Action() const { return m_action; }
  void SetAction(QAction* action);
  // Runs the action for a left-button release inside the enabled control.
  void MouseReleased(const QMouseEvent& event);

 private:
  void Update();

  QWidget& m_control;
  std::function<void(const QAction&)> m_show;
  QPointer<QAction> m_action;
  QMetaObject::Connection m_changed;
};

// A caption with the action's text ("&" accelerator markers removed).
class TActionLabel : public QLabel {
  Q_OBJECT
  Q_PROPERTY(int Tag READ Tag WRITE SetTag)

 public:
  explicit TActionLabel(QWidget* owner = nullptr);
  QAction* Action() const { return m_link.Action(); }
  void SetAction(QAction* action) { m_link.SetAction(action); }
  int Tag() const { return m_tag; }
  void SetTag(int tag) { m_tag = tag; }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  ActionLink m_link;
  int m_tag = 0;
};

// The action's picture, centred in the control at its natural size.
class TActionImage : public QLabel {
  Q_OBJECT
  Q_PROPERTY(int Tag READ Tag WRITE SetTag)

 public:
  explicit TActionImage(QWidget* owner = nullptr);
  QAction* Action() const { return m_link.Action(); }
  void SetAction(QAction* action) { m_link.SetAction(action); }
  int Tag() const { return m_tag; }
  void SetTag(int tag) { m_tag = tag; }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  ActionLink m_link;
  int m_tag = 0;
};

// A panel; the action's caption is its accessible name, its hint its tip.
class TActionPanel : public QFrame {
  Q_OBJECT
  Q_PROPERTY(int Tag READ Tag WRITE SetTag)

 public:
  explicit TActionPanel(QWidget* owner = nullptr);
  QAction* Action() const { return m_link.Action(); }
  void SetAction(QAction* action) { m_link.SetAction(action); }
  int Tag() const { return m_tag; }
  void SetTag(int tag) { m_tag = tag; }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  ActionLink m_link;
  int m_tag = 0;
};

// An action's caption without its accelerator markers: "Вы&xод" -> "Выxод",
// "A && B" -> "A & B".
QString CaptionWithoutAccelerator(const QString& caption);
