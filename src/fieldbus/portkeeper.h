#pragma once

#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

#include "configuration/setting.h"

class TICPLink;
struct ThreadControl;

// Keeps a worker's port open for months: activates the link on the configured
// port, notices when the device behind it has gone away (an unplugged USB
// adapter), and tries again every [COM] PortRetrySec seconds until the port is
// back or the thread is asked to stop. A PortRetrySec of 0 keeps the old ways:
// a port that does not open ends the thread, one that goes away only fails the
// exchanges.
//
// It logs (event log, flags 0) the first failure in the worker's own words,
// then at most one line a minute while the port stays away, and one line when
// the port is back.
//
// Lives in its worker object and is used by the worker's thread only. The
// link and the settings must outlive it.
class TPortKeeper {
 public:
  using Clock = std::chrono::steady_clock;

  // What tests shorten. Set before the worker starts.
  struct Timing {
    // Between two attempts; none: PortRetrySec, read at every wait.
    std::optional<std::chrono::milliseconds> Interval;
    // The shortest time between two lines about a port that stays away.
    std::chrono::milliseconds LogEvery{std::chrono::minutes(1)};
    // The clock of that limit (the waits themselves run on the real clock).
    std::function<Clock::time_point()> Now = [] { return Clock::now(); };
  };

  // "threadName" begins every line of its own ("Поток приема"); "failedText"
  // makes the line of the first failure to open from the port's name.
  TPortKeeper(TICPLink& link, const Setting<QString>& port, const Setting<int>& speed,
              const Setting<int>& retrySec, QString threadName,
              std::function<QString(const QString&)> failedText);

  TPortKeeper(const TPortKeeper&) = delete;
  TPortKeeper& operator=(const TPortKeeper&) = delete;

  void SetTiming(Timing timing) { m_timing = std::move(timing); }

  // At the worker's start: activates the link unless it is active. A worker
  // that "mayRunWithout" its port (module emulation) goes on without it and
  // without a word; any other logs the failure and waits for the port. False
  // when the worker should end: the port did not open and retries are off,
  // or a stop was requested while waiting.
  bool Open(ThreadControl& control, const std::function<bool()>& mayRunWithout);

  // Between two cycles: closes and logs a link whose device has gone away;
  // while the port is not open, a worker that may run without it gets an
  // attempt when one is due, any other waits for the port. False when a stop
  // was requested while waiting. Does nothing with retries off.
  bool Keep(ThreadControl& control, const std::function<bool()>& mayRunWithout);

  // Attempts to open since the port was last open (0 while it is open).
  int FailedAttempts() const { return m_failedAttempts; }

 private:
  std::chrono::milliseconds Interval() const;
  // One activation with the current settings; logs a recovery.
  bool TryOpen();
  // Counts a failed attempt, logs it when a line is due, schedules the next.
  void Failed(bool quiet);
  // Waits for the next attempt and makes it until the port opens.
  bool WaitForPort(ThreadControl& control, const std::function<bool()>& mayRunWithout);
  void Log(const QString& text);

  TICPLink& m_link;
  const Setting<QString>& m_port;
  const Setting<int>& m_speed;
  const Setting<int>& m_retrySec;
  const QString m_threadName;
  const std::function<QString(const QString&)> m_failedText;
  Timing m_timing;

  // The worker thread's own state, reset by Open.
  int m_failedAttempts = 0;
  bool m_failureLogged = false;  // a line about this outage went out
  Clock::time_point m_lastLine;  // on m_timing.Now's clock
  Clock::time_point m_nextAttempt;
};
