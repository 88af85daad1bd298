#pragma once

#include <QThread>
#include <functional>
#include <memory>

#include "fieldbus/threadcontrol.h"

// Starts and stops one worker thread over its control block. The procedure
// runs inside a catch-all between Running = true and Running = false.
//
// Used from one thread (the user-interface thread). The destructor asks the
// thread to stop and waits for it without limit, so a worker that outlived
// its stop wait never runs on after what it uses has been released.
class TWorkerThread {
 public:
  static constexpr int kStopWaitMs = 1000;

  TWorkerThread(ThreadControl& control, QThread::Priority priority);
  ~TWorkerThread();

  TWorkerThread(const TWorkerThread&) = delete;
  TWorkerThread& operator=(const TWorkerThread&) = delete;

  // False when the thread still runs (or has not finished ending) or could
  // not be created. Otherwise clears StopRequest, starts the procedure and
  // sets StartTime to "now".
  bool Start(std::function<void()> procedure, TDateTime now);
  // Sets StopRequest and waits at most "waitMs" for the thread to end; false
  // when it has not ended in time (it still ends on its own later).
  bool Stop(int waitMs = kStopWaitMs);
  // True while a started thread has not returned yet.
  bool IsAlive() const;

 private:
  ThreadControl& m_control;
  QThread::Priority m_priority;
  std::unique_ptr<QThread> m_thread;
};
