#pragma once

#include <QString>
#include <array>
#include <functional>
#include <memory>

#include "common/inifile.h"
#include "common/tdatetime.h"
#include "configuration/config.h"
#include "configuration/tmcrypt.h"
#include "process/processstate.h"

// The console without its windows: the configuration, the process state and
// the operations of the acquisition cycle. The main window or the headless
// runner owns exactly one, on the user-interface thread.
//
// Lifetime: Open() once after construction (loads the configuration and the
// last setpoints), Close() once at the end (saves them). Workers that are
// handed pieces of the core must be stopped before it is destroyed.
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

  // Built-in setpoints, then the configuration and "LastSet" from the INI
  // file, then one moving average per input signal. Always succeeds: what the
  // file lacks or garbles keeps its default.
  void Open();
  // Saves the configuration and "LastSet". False when a write failed (the
  // failure is in the event log).
  bool Close();

  // Section "LastSet": keys TRRS1 ... ZRFL1, then TRRS2 ... ZRFL2. Values
  // that do not read as a finite single-precision number keep the built-in ones.
  bool LoadLastSetpoints();
  bool SaveLastSetpoints();
  static std::array<SetpointIndex, kSetpointCount> LastSetOrder();

  TConfig& Config() { return m_config; }
  const TConfig& Config() const { return m_config; }
  ProcessState& State() { return m_state; }
  IniFile& Ini() { return *m_ini; }

  // The acquisition cycle's steps 2-4 (read thread).
  bool TranslateIn();
  bool UpdateStateRecord();
  bool CalcWorks();

 private:
  QString m_appDir;
  std::function<TDateTime()> m_now;
  TConfig m_config;
  Tmcrypt m_crypt;
  ProcessState m_state;
  std::unique_ptr<IniFile> m_ini;
};
