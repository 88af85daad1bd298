#pragma once

#include <QString>
#include <cstdint>
#include <functional>

#include "common/tdatetime.h"
#include "storage/eventfifo.h"

// The console's event log: any thread posts a message with AddLogMessage; the
// user-interface thread (or the headless runner) drains the queue every
// 500 ms with TEventLogDrain, which writes the daily files and raises the
// warning windows.

inline constexpr int kEventFIFOCapacity = 400;

// The one queue of the program, created on first use with capacity 400.
TEventFIFO& EventFIFO();

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

// Drains a queue, at most kDrainBatch messages per call. Lives on the
// draining thread; the writer and sink must outlive it.
class TEventLogDrain {
 public:
  static constexpr int kDrainBatch = 10;

  // "writer" appends lines to the daily files; "sink" may be nullptr.
  TEventLogDrain(TEventFIFO& fifo, LogFileWriter& writer, WarningWindowSink* sink);

  // One timer tick: takes up to kDrainBatch messages, shows those that ask
  // for a window, and writes their lines when saveToFile is set. A failure
  // with one message costs that message only, and a window that fails does
  // not cost it its line. Returns how many were taken.
  int Drain(bool saveToFile);

  // Replaces the sink (nullptr: no windows) for the following drains.
  void SetSink(WarningWindowSink* sink) { m_sink = sink; }

 private:
  TEventFIFO& m_fifo;
  LogFileWriter& m_writer;
  WarningWindowSink* m_sink;
};
