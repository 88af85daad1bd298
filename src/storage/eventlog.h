#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <functional>

#include "common/tdatetime.h"
#include "storage/eventfifo.h"

// The console's event log: any thread posts a message with AddLogMessage; the
// user-interface thread (or the headless runner) drains the queue every
// 500 ms with TEventLogDrain, which writes the daily files and raises the
// warning windows. A full queue drops new messages; the drain then writes
// how many were lost, in their place.
//
// Beside it runs the audit trail: the lines of accepted changes (Set
// commands, the operator's operations), posted with AddAuditMessage into a
// queue of their own that the same drain empties completely on every tick
// into the daily audit file. A full audit queue makes the poster wait for
// the drain instead of dropping the line.

inline constexpr int kEventFIFOCapacity = 400;
// A burst of changes as fast as a client can send them fits many times over
// between two drains; past it the posting threads are slowed to the drain's pace.
inline constexpr int kAuditFIFOCapacity = 10000;
// How long a poster waits for room in a full audit queue. It bounds how long
// a stopping server waits for a connection thread stuck there.
inline constexpr std::chrono::milliseconds kAuditWait{2000};
// An audit line is also shown in the event log while that queue holds fewer
// than this many messages, so that a burst of changes cannot crowd out the
// other messages; the audit file has them all in any case.
inline constexpr int kAuditCopyLimit = kEventFIFOCapacity * 3 / 4;

// The one queue of the program, created on first use with capacity 400.
TEventFIFO& EventFIFO();
// The program's audit queue, created on first use with kAuditFIFOCapacity.
TEventFIFO& AuditFIFO();

// Where the log takes the time of a message and how it beeps. Tests replace
// it. The default reads the system clocks; its beep does nothing, because a
// console running as a service has no one to hear it and must never block on
// a terminal (DroppedLogMessageCount keeps the record instead). All methods
// may be called from any thread at once.
class LogEnvironment {
 public:
  virtual ~LogEnvironment() = default;
  virtual TDateTime Now() const = 0;
  // Milliseconds since boot, wrapping at 2^32 like a 32-bit tick counter.
  virtual uint32_t TickCount() const = 0;
  // A simple beep for a dropped message.
  virtual void Beep() = 0;
};

LogEnvironment& SystemLogEnvironment();

// Installs the environment AddLogMessage uses (nullptr restores the system
// one). Not for use while other threads post.
void SetLogEnvironment(LogEnvironment* environment);
LogEnvironment& CurrentLogEnvironment();

// Posts a message to EventFIFO with the current time and uptime. A null text
// is refused (false, no beep); a full queue drops the message, beeps and
// returns false. Any thread; never waits for a disk or a window.
bool AddLogMessage(const QString& text, uint32_t flags = 0);
// The same into a given queue.
bool AddLogMessage(TEventFIFO& fifo, const QString& text, uint32_t flags, LogEnvironment& environment);

// Posts an audit line to AuditFIFO (waiting up to kAuditWait for room while
// a drain serves it) and a copy to EventFIFO while that has room to spare
// (kAuditCopyLimit). False when the audit queue stayed full: the drain then
// writes the loss in the audit file and the event log. Any thread.
bool AddAuditMessage(const QString& text);
// The same into given queues, with a given wait.
bool AddAuditMessage(TEventFIFO& audit, TEventFIFO& events, const QString& text, LogEnvironment& environment,
                     std::chrono::milliseconds wait = kAuditWait);

// The texts the drain writes for lost messages and audit lines.
QString LostEventsText(uint32_t count);
QString LostAuditLinesText(uint32_t count);

// How many messages the one-argument AddLogMessage dropped because EventFIFO
// was full, since the program started. Any thread.
uint64_t DroppedLogMessageCount();

// Receives the drained messages that ask for a warning window (flag bit 0).
// The windowed console installs the real windows; headless there are none.
class WarningWindowSink {
 public:
  virtual ~WarningWindowSink() = default;
  // Flag bit 8 clear: the one shared window shows the message.
  virtual void ShowShared(const QString& text, TDateTime moment, uint32_t flags) = 0;
  // Flag bit 8 set: a new window of its own.
  virtual void ShowSeparate(const QString& text, TDateTime moment, uint32_t flags) = 0;
};

// The line written to the log file: uptime seconds, date, time, text.
// Example: "345 | 17.01.2008 | 11:43:15 | Error in CalcWorks()".
QString EventLogLine(const TEventFIFO_Rec& record);

class LogFileWriter;

// Drains a queue, at most kDrainBatch messages per call, and its audit
// queue whole. Lives on the draining thread; the queues, the writer and the
// sink must outlive it. While it lives, posters to its audit queue wait for
// room instead of dropping.
class TEventLogDrain {
 public:
  static constexpr int kDrainBatch = 10;

  // "writer" appends lines to the daily files; "sink" may be nullptr. The
  // drain of the program's queue, EventFIFO(), also drains AuditFIFO(); any
  // other queue has no audit queue.
  TEventLogDrain(TEventFIFO& fifo, LogFileWriter& writer, WarningWindowSink* sink);
  // With an audit queue of its own ("audit" may be nullptr: none).
  TEventLogDrain(TEventFIFO& fifo, TEventFIFO* audit, LogFileWriter& writer, WarningWindowSink* sink);
  ~TEventLogDrain();

  TEventLogDrain(const TEventLogDrain&) = delete;
  TEventLogDrain& operator=(const TEventLogDrain&) = delete;

  // One timer tick: first every waiting audit line, written in one go to the
  // day's audit file; then up to kDrainBatch messages, showing those that
  // ask for a window and writing their lines when saveToFile is set. Lost
  // messages are told by a line of their own where they were lost. A failure
  // with one message costs that message only, and a window that fails does
  // not cost it its line; audit lines the file refuses are kept and tried
  // again on the next tick. Returns how many messages and audit lines were
  // taken from the queues.
  int Drain(bool saveToFile);

  // Replaces the sink (nullptr: no windows) for the following drains.
  void SetSink(WarningWindowSink* sink) { m_sink = sink; }
  // Also hands every drained message's text to "echo" (empty: none), as the
  // headless console's service log wants them.
  void SetEcho(std::function<void(const QString& text)> echo) { m_echo = std::move(echo); }

  // Audit lines kept after the file refused them, bounded by the audit
  // queue's capacity (the excess is told as lost).
  qsizetype AuditBacklog() const { return m_auditBacklog.size(); }

 private:
  int DrainAudit(bool saveToFile);
  void WriteLine(const QString& line, bool saveToFile);

  TEventFIFO& m_fifo;
  TEventFIFO* m_audit;
  LogFileWriter& m_writer;
  WarningWindowSink* m_sink;
  std::function<void(const QString& text)> m_echo;
  QStringList m_auditBacklog;
};
