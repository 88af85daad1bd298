#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>
#include <deque>
#include <functional>
#include <random>

#include "storage/eventlog.h"
#include "ui/mainwindow/showerrorform.h"

// The warning windows of the event-log drain: the one shared window, which
// always shows the newest message, and windows of their own for messages that
// ask for one, scattered around (320, 200) on the screen so that they do not
// cover each other exactly.
//
// A window of its own stays alive, hidden after closing, until its owner goes.
// So that a flood of such messages cannot exhaust memory or the window system,
// at most kMaxSeparateWindows of them exist at a time. Beyond that a window is
// reused for the new message and moved to a new place: of the windows the
// operator has closed, the one used longest ago; if he has closed none, the
// one showing the oldest message.
//
// The windows are children of "owner", which destroys them; with no owner this
// object owns them and destroys them with itself. Created and used on the
// user-interface thread only; must not outlive the owner's use of it.
class TWarningWindows : public WarningWindowSink {
 public:
  static constexpr int kMaxSeparateWindows = 20;
  static constexpr double kLeftMean = 320.0;
  static constexpr double kLeftDeviation = 25.0;
  static constexpr double kTopMean = 200.0;
  static constexpr double kTopDeviation = 15.0;

  // A normally distributed random number with the given mean and standard
  // deviation.
  using NormalDeviate = std::function<double(double mean, double deviation)>;

  // "normalDeviate" empty: a generator seeded at random. "wakeScreen" is
  // handed to every window (empty: ResetScreenSaver).
  explicit TWarningWindows(QWidget* owner, NormalDeviate normalDeviate = {},
                           TShowErrorForm::ScreenWake wakeScreen = {});
  ~TWarningWindows() override;
  TWarningWindows(const TWarningWindows&) = delete;
  TWarningWindows& operator=(const TWarningWindows&) = delete;

  void ShowShared(const QString& text, TDateTime moment, uint32_t flags) override;
  void ShowSeparate(const QString& text, TDateTime moment, uint32_t flags) override;

  // The shared window "ShowErrorForm"; nullptr once its owner has destroyed it.
  TShowErrorForm* SharedWindow() const { return m_shared; }
  // The windows of their own that are alive, the longest unused first.
  QList<TShowErrorForm*> SeparateWindows() const;

 private:
  bool OwnerGone() const { return m_hadOwner && m_owner == nullptr; }
  TShowErrorForm* TakeSeparateWindow();
  int Coordinate(double mean, double deviation);

  QPointer<QWidget> m_owner;
  bool m_hadOwner;
  NormalDeviate m_normalDeviate;
  TShowErrorForm::ScreenWake m_wakeScreen;
  std::mt19937 m_generator;
  QPointer<TShowErrorForm> m_shared;
  std::deque<QPointer<TShowErrorForm>> m_separate;  // longest unused first
};
