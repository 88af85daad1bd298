#pragma once

#include <QString>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "storage/database.h"

// The history database's own thread. A Qt SQL connection belongs to the
// thread that made it, and a server that is slow to answer or gone holds
// that thread for seconds; so the console's one connection, SQLConnection1,
// lives here and never on the user-interface thread. Jobs run one after the
// other in the order they were posted, each with the connection.
//
// Any thread may post and read the state; a job's own callbacks run on the
// database thread, so a window marshals results back itself. The destructor
// runs the jobs still waiting, closes the connection and joins the thread
// (a connection attempt in progress can hold it up to its 5 s limit).
class TDatabaseThread {
 public:
  TDatabaseThread();
  ~TDatabaseThread();
  TDatabaseThread(const TDatabaseThread&) = delete;
  TDatabaseThread& operator=(const TDatabaseThread&) = delete;

  using Job = std::function<void(TSQLConnection&)>;
  void Post(Job job);

  // One attempt as ConnectDatabase makes it, on the database thread; "done"
  // (may be empty) gets the outcome there. The log-record sink must be safe
  // to call from that thread.
  void ConnectAsync(const DatabaseSettings& settings, std::function<void(const QString&)> addLogRec,
                    std::function<void(bool)> done = {});

  // The connection state after the last finished job.
  bool Connected() const { return m_connected.load(); }
  // True from a post until the jobs waiting at that time have finished.
  bool Busy() const { return m_pending.load() > 0; }
  // Waits until no job is waiting or running; false on time-out. For tests
  // and for the end of a run.
  bool WaitIdle(int timeoutMs) const;

 private:
  void Run();

  mutable std::mutex m_mutex;  // guards m_jobs and m_stopping
  mutable std::condition_variable m_wake;
  std::deque<Job> m_jobs;
  bool m_stopping = false;
  std::atomic<int> m_pending{0};
  std::atomic<bool> m_connected{false};
  // A plain thread, joined: Qt's own threads are detached, so their
  // waiters return while the thread still runs its exit handlers (the SQL
  // driver's crypto library takes a lock there), and a console that exits
  // right after could free that lock under them. Qt adopts the thread for
  // the connection's per-thread data and releases it at the thread's exit.
  std::thread m_thread;
};
