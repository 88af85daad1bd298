#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "console/consolecore.h"
#include "console/consolesnapshot.h"
#include "console/startupcheck.h"
#include "storage/eventlog.h"
#include "storage/logfile.h"

// The one owner of the console core on the user-interface thread, shared by
// the headless runner and the main window, so that the start-up sequence,
// the event-log drain and the clock exist once.
//
// Windows read the console through Snapshot() and the Ticked signal (a copy
// of every value they show, taken once a tick) and act on it only through the
// operations below, each of which writes an audit line to the event log with
// the operator as its origin, as the station's Set commands do with theirs.
//
// Lifetime: construct, Open() once, Start() once the event loop is about to
// run, Close() once at the end. User-interface thread only, except where a
// member says otherwise.
class TConsoleController : public QObject {
  Q_OBJECT

 public:
  static constexpr int kTickIntervalMs = 500;
  // How often a finished database attempt is looked for while one runs.
  static constexpr int kAttemptCheckIntervalMs = 20;
  // A state record older than this is no longer fresh; older than
  // kStateYellowSec it is shown yellow.
  static constexpr int kStateFreshSec = 60;
  static constexpr int kStateYellowSec = 40;

  // "appDir" is the application folder (INI file, LOG/, config/). "now" is
  // the clock of the core and of the snapshots; tests replace it.
  explicit TConsoleController(QString appDir, std::function<TDateTime()> now = NowDateTime,
                              QObject* parent = nullptr);
  ~TConsoleController() override;

  // Checks that the INI file and the LOG folder can be written, loads the
  // configuration and the last setpoints, creates the moving averages,
  // starts the database attempt and takes the first snapshot. A file that
  // cannot be written is posted to the event log asking for a warning window
  // of its own (StartupProblems() has the list); the console runs on.
  // "emulate" switches module emulation on from the start.
  void Open(bool emulate = false);
  // What Open found that cannot be written; empty when all is well.
  const std::vector<StartupProblem>& StartupProblems() const { return m_startupProblems; }
  // Starts the 500 ms tick ("TimerGetLog"); the first tick runs the start-up.
  void Start();
  // Stops the tick and the workers, saves the configuration and "LastSet",
  // then writes every message still queued to the log files (without
  // windows). False when the save failed; the event log says why.
  bool Close();

  // Where drained messages that ask for a window go; nullptr for none. The
  // sink must outlive its installation.
  void SetWarningSink(WarningWindowSink* sink) { m_drain.SetSink(sink); }
  // Every drained message's text also goes to "echo" (the headless console's
  // standard error, which a service manager keeps in its journal).
  void SetLogEcho(std::function<void(const QString& text)> echo) { m_drain.SetEcho(std::move(echo)); }

  // One tick: snapshot and Ticked, on the first tick the start-up
  // (StartingUp, the workers and the query server as configured, StartedUp),
  // then the drain of up to 10 messages. Public for tests and benchmarks.
  void Tick();
  bool IsStartedUp() const { return m_startedUp; }

  // The last snapshot taken (by Open, a tick or an operation).
  const ConsoleSnapshot& Snapshot() const { return m_snapshot; }
  // Takes a new snapshot now and returns it.
  const ConsoleSnapshot& Refresh();

  // Age of the state record in whole seconds (truncated, absolute), and
  // StateFresh from it: the one-second check of the state indicator.
  int CheckStateAge();
  static int StateAgeSec(TDateTime stateMoment, TDateTime now);

  const TConfig& Config() const { return m_core.Config(); }
  // For what has no operation of its own yet (the settings windows).
  TConsoleCore& Core() { return m_core; }
  const QString& AppDir() const { return m_core.AppDir(); }
  TDateTime Now() const { return m_now(); }

  // The operator's operations.
  //
  // The setpoint window's OK: the eight mode flags in their order, then the
  // twelve setpoints in theirs. Only what changed gets an audit line; a value
  // that is not finite keeps the current one.
  void ApplyControlSet(const ModeFlags& modes, const SetpointValues& setpoints);
  // Start or stop a worker thread, as the hardware monitor does. False as
  // the core's start and stop give it.
  bool StartThread(WorkerKind kind);
  bool StopThread(WorkerKind kind);
  // Module emulation at run time (the emulator window).
  void SetEmulationOn(bool on);
  // One database attempt now, off this thread. False when the database is
  // switched off or an attempt is already under way; DatabaseAttemptFinished
  // follows otherwise.
  bool ConnectDatabase();
  // A line for the log records the central station collects (the setpoint
  // window's change text).
  void AddLogRec(const QString& text) { m_core.AddLogRec(text); }
  // The settings windows' apply: the configuration file written now. False
  // when it failed (the event log says why).
  bool SaveConfig() { return m_core.SaveConfig(); }

 signals:
  // Every tick, with the new snapshot, before the start-up and the drain.
  void Ticked(const ConsoleSnapshot& snapshot);
  // The first tick, before and after the workers start.
  void StartingUp();
  void StartedUp();
  // A database attempt ended (on this thread).
  void DatabaseAttemptFinished(bool connected);
  // An operation changed what the snapshot holds (it is already refreshed).
  void Changed(const ConsoleSnapshot& snapshot);

 private:
  void Audit(const QString& text);
  // The attempt itself, whoever asked for it; a switched-off database makes
  // none (the core's attempt returns at once).
  void StartDatabaseAttempt();
  // Hands the outcomes of finished attempts to the signal, on this thread.
  void CollectDatabaseAttempts();
  void AfterOperation();

  // Outcomes the database thread leaves for this thread. Shared with the
  // jobs, so that an attempt ending while the controller goes away writes
  // into memory still alive. (The outcome is not sent through a queued Qt
  // call: the hand-over would then happen inside Qt, where the thread
  // checker cannot follow it.)
  struct AttemptOutcomes {
    std::mutex Mutex;
    std::deque<bool> Finished;
  };

  std::function<TDateTime()> m_now;
  TConsoleCore m_core;
  LogFileWriter m_logWriter;
  TEventLogDrain m_drain;
  QTimer m_timerGetLog;
  std::shared_ptr<AttemptOutcomes> m_attemptOutcomes = std::make_shared<AttemptOutcomes>();
  // Attempts started and not yet handed to the signal: "connecting" until
  // the outcome is out, so that no window sees the attempt over before it is.
  int m_attemptsOutstanding = 0;
  QTimer m_timerAttempts;  // runs while an attempt is outstanding
  std::vector<StartupProblem> m_startupProblems;
  bool m_startedUp = false;
  bool m_stateFresh = false;
  uint64_t m_generation = 0;
  ConsoleSnapshot m_snapshot;
};

// Names of the workers as the operator's texts use them: "Поток приема",
// "Поток записи", "Поток связи".
QString WorkerName(WorkerKind kind);
