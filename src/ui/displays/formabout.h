#pragma once

#include <QDialog>

class QPushButton;
class QTimer;

// The modal About window: the console's title, version, build commit and
// supplier, revealed by a fade-in each time it is shown. Owns its children and
// its fade timer. User-interface thread only.
class TFormAbout : public QDialog {
  Q_OBJECT

 public:
  explicit TFormAbout(QWidget* parent = nullptr);

  // One step of the fade-in; the timer "TimerShow" calls it every 100 ms
  // until the window is opaque.
  void TimerShowTimer();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void FormShow();

  QTimer* m_timerShow = nullptr;
  QPushButton* m_buttonClose = nullptr;
  bool m_fadeEnabled = true;
  int m_alpha = 255;  // opacity of the fade, 0 (invisible) to 255 (opaque)
};
