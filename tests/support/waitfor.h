#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <functional>

// Waits for a condition while the thread's Qt events are delivered (queued
// calls, timers); false when the deadline passed first.
inline bool WaitFor(const std::function<bool()>& condition, int deadlineMs = 5000) {
  QDeadlineTimer deadline(deadlineMs);
  while (!condition()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(2);
  }
  return true;
}
