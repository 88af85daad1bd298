#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>

#include "common/tdatetime.h"

class QLabel;
class QPushButton;
class QTimer;

// Wakes the display and the screen saver: "xdg-screensaver reset" when that
// program is installed, otherwise nothing. Starts the program detached and
// returns at once; at most one start a second, so a flood of warnings does not
// become a flood of processes. User-interface thread.
void ResetScreenSaver();

// The stay-on-top warning window that shows one event-log message: navy, or
// red for messages with the red flag. "Закрыть", Enter, Esc and the window
// manager's close (Alt+F4) only hide it; it is destroyed with its owner. Every
// ten seconds a visible window comes back to the front (timer "Timer1"). Owns
// its children and its timer. User-interface thread only.
class TShowErrorForm : public QDialog {
  Q_OBJECT

 public:
  // Called on every ShowError to wake the display.
  using ScreenWake = std::function<void()>;

  static constexpr int kClientWidth = 426;
  static constexpr int kClientHeight = 164;
  static constexpr int kFrontIntervalMs = 10000;

  // "wakeScreen" empty: ResetScreenSaver.
  explicit TShowErrorForm(QWidget* owner = nullptr, ScreenWake wakeScreen = {});

  // Wakes the screen, keeps the flags, colours the window, fills in the
  // message and its time ("17 янв 2008 в 11:43:15") and shows the window.
  void ShowError(const QString& text, TDateTime moment, uint32_t flags);

  // The flags of the message shown last, 0 before the first.
  uint32_t Flags() const { return m_flags; }

  // Brings the window back to the front if it is visible; a hidden one stays
  // hidden. "Timer1" calls it.
  void Timer1Timer();
  // Hides the window.
  void ButHideClick();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void FitMessage();

  ScreenWake m_wakeScreen;
  uint32_t m_flags = 0;
  QLabel* m_labelTime = nullptr;
  QLabel* m_labelText = nullptr;
  QPushButton* m_buttonHide = nullptr;
  QTimer* m_timer1 = nullptr;
};
