#include "storage/databasethread.h"

#include <QThread>
#include <chrono>

TDatabaseThread::TDatabaseThread() {
  // Qt takes the first thread it meets for the application's main thread;
  // let that be the one that makes the database thread, not the latter.
  QThread::currentThread();
  m_thread = std::thread([this] { Run(); });
}

TDatabaseThread::~TDatabaseThread() {
  {
    std::lock_guard lock(m_mutex);
    m_stopping = true;
  }
  m_wake.notify_all();
  m_thread.join();
}

void TDatabaseThread::Post(Job job) {
  ++m_pending;
  {
    std::lock_guard lock(m_mutex);
    m_jobs.push_back(std::move(job));
  }
  m_wake.notify_all();
}

void TDatabaseThread::ConnectAsync(const DatabaseSettings& settings,
                                   std::function<void(const QString&)> addLogRec,
                                   std::function<void(bool)> done) {
  Post([settings, addLogRec = std::move(addLogRec), done = std::move(done)](TSQLConnection& connection) {
    const bool connected = ConnectDatabase(connection, settings, addLogRec);
    if (done) done(connected);
  });
}

bool TDatabaseThread::WaitIdle(int timeoutMs) const {
  std::unique_lock lock(m_mutex);
  return m_wake.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                         [this] { return m_pending.load() == 0; });
}

void TDatabaseThread::Run() {
  QThread::currentThread()->setObjectName(QStringLiteral("database"));
  // Made here, so that the Qt connection belongs to this thread.
  auto connection = std::make_unique<TSQLConnection>();
  std::unique_lock lock(m_mutex);
  for (;;) {
    m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
    if (m_jobs.empty()) break;  // stopping, and nothing left to do
    Job job = std::move(m_jobs.front());
    m_jobs.pop_front();
    lock.unlock();
    try {
      job(*connection);
    } catch (...) {
      // A job's failure is the job's to report; the thread serves the next.
    }
    m_connected = connection->Connected();
    lock.lock();
    --m_pending;
    m_wake.notify_all();
  }
  lock.unlock();
  connection.reset();
}
