#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "commandlog.h"
#include "dconmodules.h"
#include "lineframing.h"
#include "linepacing.h"

// One simulated RS-485 line: a new pty or a real serial port, served by two
// threads. The reader takes bytes as soon as they arrive (so command times in
// the log are true arrival times, even while an answer is still going out);
// the responder answers the commands one after the other, as a half-duplex
// line would, sleeping to absolute deadlines so that pacing does not drift.
//
// For a pty the simulator keeps the slave side open for its whole life, so the
// master never sees a hang-up when the console closes and reopens the port.
// That also keeps the pty's exclusive mode (TIOCEXCL, set by a console that
// opens it exclusively) alive after the console is gone, which would lock out
// a restarted console that does not run as root; so the bus watches the
// slave's opens and closes (inotify) and clears the mode whenever the last
// other user has closed it, whether it closed cleanly or was killed.
//
// Threads: Open*, Start, Stop and the destructor are called by the owner's
// thread only. The bus uses the modules and the log from its own threads; both
// must outlive it (or at least its Stop).
class SimBus {
 public:
  // Commands waiting for the responder beyond this are dropped oldest first
  // (logged without answer): a console that keeps sending while a module
  // streams a very long answer cannot make the queue grow without bound.
  static constexpr size_t kMaxPendingCommands = 16;
  // A write that cannot proceed for this long (nobody reads the other side)
  // gives up the rest of the answer instead of hanging the bus.
  static constexpr int kWriteStallMs = 2000;

  ~SimBus();
  SimBus(const SimBus&) = delete;
  SimBus& operator=(const SimBus&) = delete;

  // A raw pty whose slave path is linked from link (an existing symlink there
  // is replaced). Null with a reason in error on failure.
  static std::unique_ptr<SimBus> OpenPty(int index, const std::string& link, int baud, std::string& error);
  // A serial device, raw 8N1 at baud. Null with a reason in error on failure.
  static std::unique_ptr<SimBus> OpenPort(int index, const std::string& device, int baud, std::string& error);

  // The slave device of a pty, or the device of a port.
  const std::string& Path() const { return m_path; }

  // Starts serving. startNs is the time the simulation counts from. onFatal is
  // called (from a bus thread) when the line fails for good.
  void Start(SimulatedModules& modules, CommandLog& log, const LineTiming& timing, int64_t startNs,
             std::function<void(const std::string&)> onFatal);

  // Ends both threads within a few tens of milliseconds, also in the middle of
  // a long or late answer. Safe to call more than once.
  void Stop();

 private:
  SimBus(int index, int fd, int slaveFd, int stopFd, int watchFd, std::string path, std::string link);

  void ReadLoop();
  // Takes the watch's events; clears exclusive mode once nobody else holds the slave.
  void TrackOpeners();
  void Enqueue(ReceivedLine line);
  void AnswerLoop();
  void Answer(const ReceivedLine& command);
  bool SleepUntil(int64_t dueNs);
  size_t WriteBytes(const char* data, size_t size);
  void Fail(const std::string& reason);

  const int m_index;
  const int m_fd;       // pty master or serial device, non-blocking
  const int m_slaveFd;  // pty only (-1 for a port): held open, never read
  const std::string m_path;
  const std::string m_link;  // the symlink we made, removed on destruction
  const int m_stopFd;        // eventfd, readable once Stop was called
  const int m_watchFd;       // pty only (-1 for a port): inotify on the slave's opens and closes
  int m_openers = 0;         // reader thread only: the slave's open files besides our own

  SimulatedModules* m_modules = nullptr;
  CommandLog* m_log = nullptr;
  LineTiming m_timing;
  int64_t m_startNs = 0;
  std::function<void(const std::string&)> m_onFatal;

  std::atomic<bool> m_stopRequested{false};
  std::atomic<bool> m_failed{false};
  std::mutex m_queueMutex;  // guards m_queue
  std::condition_variable m_queueChanged;
  std::deque<ReceivedLine> m_queue;
  std::thread m_reader;
  std::thread m_responder;
};
