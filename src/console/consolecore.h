#pragma once

#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <mutex>

#include "common/inifile.h"
#include "common/tdatetime.h"
#include "configuration/config.h"
#include "configuration/tmcrypt.h"
#include "console/lastsetwriter.h"
#include "fieldbus/icplink.h"
#include "fieldbus/inputpolling.h"
#include "fieldbus/outputdriving.h"
#include "fieldbus/threadcontrol.h"
#include "fieldbus/workerthread.h"
#include "process/processstate.h"
#include "station/commandset.h"
#include "station/linkthread.h"
#include "station/logrecs.h"
#include "station/stationquery.h"
#include "station/winsockserver.h"
#include "storage/databasethread.h"
#include "storage/minutejournal.h"

// The console without its windows: the configuration, the process state and
// the operations of the acquisition cycle. The main window or the headless
// runner owns exactly one, on the user-interface thread.
//
// Lifetime: Open() once after construction (loads the configuration and the
// last setpoints), StartUp() on the first tick, Close() once at the end
// (stops the workers, saves). The destructor waits for a worker that outlived
// its stop wait before anything it uses is released.
class TConsoleCore {
 public:
  // "appDir" is the application folder: the INI file, LOG/ and config/ live
  // there. "now" supplies the clock of the acquisition cycle (tests replace it).
  explicit TConsoleCore(QString appDir, std::function<TDateTime()> now = NowDateTime);
  ~TConsoleCore();

  TConsoleCore(const TConsoleCore&) = delete;
  TConsoleCore& operator=(const TConsoleCore&) = delete;

  // Application INI file: flotation-console.INI in the application folder.
  static QString IniFileName();

  const QString& AppDir() const { return m_appDir; }
  QString IniPath() const;
  QString LogDir() const;
  // minutes.journal in the application folder.
  QString JournalPath() const;

  // Built-in setpoints, then the configuration and "LastSet" from the INI
  // file, then one moving average per input signal. Always succeeds: what
  // the file lacks or garbles keeps its default. The database attempt that
  // follows is the owner's (ConnectDatabase). From here until Close() the
  // LastSet writer keeps the setpoints on disk within a second of a change.
  void Open();
  // The first tick's start-up when AutoStartControl is set: the read, write
  // and station-link threads, the TCP query server when LanServer is set,
  // and the log record of the automatic start.
  void StartUp();
  // Stops the station link, write and read threads (each waiting at most its
  // stop wait), then saves the configuration and "LastSet". False when a
  // write failed (the failure is in the event log). The TCP query server
  // runs on until the core is destroyed.
  bool Close();
  // Writes the configuration file now, in one piece (a settings window's
  // apply). False when it could not be written; the event log says why.
  bool SaveConfig();

  // Worker threads. Start: false when already running or not created.
  // Stop: false when the thread has not ended within 1000 ms.
  bool StartReadThread();
  bool StopReadThread();
  bool StartWriteThread();
  bool StopWriteThread();
  bool StartLinkThread();
  bool StopLinkThread();

  // Starts the TCP query server on LanPort with the LanBindAddress,
  // LanAllow, LanIdleTimeout and LanMaxConnections settings; false when it
  // cannot listen (the reason is the server's LastMessage, also in the event log).
  bool StartLanServer();

  // One attempt to open the history database with the [MySQL] settings, on
  // the database thread; "done" gets the outcome there. A failure adds
  // "Не могу подключиться к MySQL серверу." to the log records.
  void ConnectDatabase(std::function<void(bool)> done = {});
  // The history database's thread and its connection SQLConnection1.
  TDatabaseThread& Database() { return m_database; }

  // Appends a line to the log records the central station collects.
  void AddLogRec(const QString& text) { m_logRecs.AddLogRec(text); }

  // Section "LastSet": keys TRRS1 ... ZRFL1, then TRRS2 ... ZRFL2. Values
  // that do not read as a finite single-precision number keep the built-in ones.
  // Save: only while the LastSet writer is stopped (Close does it).
  bool LoadLastSetpoints();
  bool SaveLastSetpoints();
  static std::array<SetpointIndex, kSetpointCount> LastSetOrder();

  // The minute journal, or nullptr when MinuteJournal is off.
  TMinuteJournal* MinuteJournal() { return m_journal.get(); }

  TConfig& Config() { return m_config; }
  const TConfig& Config() const { return m_config; }
  ProcessState& State() { return m_state; }
  IniFile& Ini() { return *m_ini; }

  ThreadControl& ReadControl() { return m_readControl; }
  ThreadControl& WriteControl() { return m_writeControl; }
  ThreadControl& LinkControl() { return m_linkControl; }
  LogRecList& LogRecs() { return m_logRecs; }
  TCommandSet& CommandSet() { return m_commandSet; }
  TStationLink& StationLink() { return m_stationLink; }
  TStationQuery& StationQuery() { return m_stationQuery; }
  TWinSockServer& WinSockServer() { return m_winSockServer; }
  TICPLink& ICPLinkRead() { return m_icpLinkRead; }
  TICPLink& ICPLinkWrite() { return m_icpLinkWrite; }
  TICPLink& ICPLinkServer() { return m_icpLinkServer; }
  const ModuleAnswers& LastAnswers() const { return m_lastAnswers; }
  TInputPolling& InputPolling() { return m_inputPolling; }
  TOutputDriving& OutputDriving() { return m_outputDriving; }

  // Module emulation switched on by the operator (or --emulate): lets the
  // read and write threads run without an open port. False at every start.
  std::atomic<bool> EmulationOn{false};

  // The acquisition cycle's steps 2-4 (read thread).
  bool TranslateIn();
  bool UpdateStateRecord();
  bool CalcWorks();

 private:
  // Restores the records the station has not confirmed and attaches the
  // journal to the list; Open's last step.
  void OpenMinuteJournal();

  QString m_appDir;
  std::function<TDateTime()> m_now;
  TConfig m_config;
  Tmcrypt m_crypt;
  ProcessState m_state;
  // The unconfirmed minute records on disk; null when MinuteJournal is off.
  // Destroyed after every thread that touches the records.
  std::unique_ptr<TMinuteJournal> m_journal;
  std::unique_ptr<IniFile> m_ini;
  // Each write of the INI file reads the whole file and replaces it, so the
  // user-interface thread's writes (m_ini) and the LastSet writer's
  // (m_lastSetIni) take turns, or one would put back what the other replaced.
  std::mutex m_iniWriteMutex;
  IniFile m_lastSetIni;  // the LastSet writer's thread only
  TLastSetWriter m_lastSetWriter;

  ThreadControl m_readControl;
  ThreadControl m_writeControl;
  ThreadControl m_linkControl;
  LogRecList m_logRecs;
  TDatabaseThread m_database;
  TICPLink m_icpLinkRead{QStringLiteral("COM2"), 9600};
  TICPLink m_icpLinkWrite{QStringLiteral("COM3"), 9600};
  TICPLink m_icpLinkServer{QStringLiteral("COM1"), 57600};
  ModuleAnswers m_lastAnswers;
  TInputPolling m_inputPolling;
  TOutputDriving m_outputDriving;
  TCommandSet m_commandSet{m_state, m_logRecs, m_linkControl};
  TStationLink m_stationLink{m_icpLinkServer, m_config, m_linkControl, m_commandSet};
  TStationQuery m_stationQuery{m_config, m_linkControl, m_commandSet};
  // Last, so that they are destroyed (and their threads waited for) first.
  TWinSockServer m_winSockServer;
  TWorkerThread m_readThread{m_readControl, QThread::HighestPriority};
  TWorkerThread m_writeThread{m_writeControl, QThread::HighPriority};
  TWorkerThread m_linkThread{m_linkControl, QThread::HighPriority};
};
