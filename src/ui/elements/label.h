#pragma once

#include <QLabel>

// A caption of a window's picture: a plain label with a Tag, as a class of
// its own so that windows can tell captions from the action-bound labels
// (TActionLabel) by class name. The owner widget owns it (Qt parent).
// User-interface thread only.
class TLabel : public QLabel {
  Q_OBJECT
  Q_PROPERTY(int Tag READ Tag WRITE SetTag)

 public:
  explicit TLabel(QWidget* owner = nullptr);
  TLabel(const QString& text, QWidget* owner);

  int Tag() const { return m_tag; }
  void SetTag(int tag) { m_tag = tag; }

 signals:
  // A left-button click on the caption.
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  int m_tag = 0;
};
