#include "fieldbus/workerthread.h"

#include <unistd.h>

TWorkerThread::TWorkerThread(ThreadControl& control, QThread::Priority priority)
    : m_control(control), m_priority(priority) {}

TWorkerThread::~TWorkerThread() {
  if (m_thread) {
    m_control.RequestStop();
    m_thread->wait();
  }
}

bool TWorkerThread::IsAlive() const {
  return m_thread && !m_thread->isFinished();
}

bool TWorkerThread::Start(std::function<void()> procedure, TDateTime now) {
  // Running is set by the thread itself, so a thread just created or just
  // ending is caught by the second test.
  if (m_control.Running.load() || IsAlive()) return false;
  if (m_thread) m_thread->wait();  // finished: only its bookkeeping is left

  m_control.StopRequest.store(false);
  ThreadControl& control = m_control;
  std::unique_ptr<QThread> thread(QThread::create([&control, procedure = std::move(procedure)] {
    control.Running.store(true);
    control.ThreadId.store(static_cast<uint32_t>(::gettid()));
    try {
      procedure();
    } catch (...) {
      // A worker must end cleanly whatever its procedure did.
    }
    control.Running.store(false);
  }));
  if (!thread) return false;
  thread->start(m_priority);
  if (!thread->isRunning() && !thread->isFinished()) return false;
  m_thread = std::move(thread);
  m_control.StartTime.store(now);
  return true;
}

bool TWorkerThread::Stop(int waitMs) {
  m_control.RequestStop();
  if (!m_thread) return true;
  return m_thread->wait(QDeadlineTimer(waitMs));
}
