#include "console/consolecontroller.h"

#include <cmath>

#include "station/commandset.h"

namespace {

void CopyThread(const ThreadControl& control, ThreadSnapshot& out) {
  out.Running = control.Running.load();
  out.CycleCount = control.CycleCount.load();
  out.ErrorCount = control.ErrorCount.load();
  out.StartTime = control.StartTime.load();
  out.LastWorkMs = control.LastWorkMs.load();
}

// The core's start and stop of each worker, by WorkerKind.
struct WorkerOperations {
  bool (TConsoleCore::*Start)();
  bool (TConsoleCore::*Stop)();
};
constexpr WorkerOperations kWorkerOperations[kWorkerCount] = {
    {&TConsoleCore::StartReadThread, &TConsoleCore::StopReadThread},
    {&TConsoleCore::StartWriteThread, &TConsoleCore::StopWriteThread},
    {&TConsoleCore::StartLinkThread, &TConsoleCore::StopLinkThread},
};

QString OnOffText(bool on) {
  return on ? u"включена"_qs : u"выключена"_qs;
}

}  // namespace

QString WorkerName(WorkerKind kind) {
  switch (kind) {
    case WorkerKind::Read:
      return u"Поток приема"_qs;
    case WorkerKind::Write:
      return u"Поток записи"_qs;
    case WorkerKind::Link:
      return u"Поток связи"_qs;
  }
  return {};
}

TConsoleController::TConsoleController(QString appDir, std::function<TDateTime()> now, QObject* parent)
    : QObject(parent),
      m_now(std::move(now)),
      m_core(std::move(appDir), m_now),
      m_logWriter(m_core.LogDir(), CurrentLogEnvironment()),
      m_drain(EventFIFO(), m_logWriter, nullptr) {
  m_timerGetLog.setObjectName(QStringLiteral("TimerGetLog"));
  m_timerGetLog.setParent(this);
  m_timerGetLog.setInterval(kTickIntervalMs);
  connect(&m_timerGetLog, &QTimer::timeout, this, &TConsoleController::Tick);
  m_timerAttempts.setInterval(kAttemptCheckIntervalMs);
  connect(&m_timerAttempts, &QTimer::timeout, this, &TConsoleController::CollectDatabaseAttempts);
}

TConsoleController::~TConsoleController() = default;

void TConsoleController::Open(bool emulate) {
  // Before the load, which writes the INI file: a file that cannot be
  // written would otherwise be noticed only at the exit save.
  m_startupProblems = CheckStartupFiles(m_core.IniPath(), m_core.LogDir());
  for (const StartupProblem& problem : m_startupProblems)
    AddLogMessage(problem.OperatorText, kLogFlagShowWindow | kLogFlagOwnWindow | kLogFlagRedBackground);
  m_core.Open();
  m_core.EmulationOn.store(emulate);
  StartDatabaseAttempt();
  Refresh();
}

void TConsoleController::Start() {
  m_timerGetLog.start();
}

bool TConsoleController::Close() {
  m_timerGetLog.stop();
  const bool saved = m_core.Close();
  // The last messages of a run are written, not lost; no window opens now.
  m_drain.SetSink(nullptr);
  while (m_drain.Drain(m_core.Config().SaveLogFlag) > 0) {
  }
  return saved;
}

void TConsoleController::Tick() {
  emit Ticked(Refresh());
  if (!m_startedUp) {
    m_startedUp = true;
    emit StartingUp();
    m_core.StartUp();
    emit StartedUp();
  }
  m_drain.Drain(m_core.Config().SaveLogFlag);
}

const ConsoleSnapshot& TConsoleController::Refresh() {
  ConsoleSnapshot& s = m_snapshot;
  ProcessState& state = m_core.State();
  s.Generation = ++m_generation;
  s.Now = m_now();
  state.RawValues.CopyTo(s.RawValues);
  state.InstantValues.CopyTo(s.InstantValues);
  state.AveragedValues.CopyTo(s.AveragedValues);
  for (int i = 0; i < kSetpointCount; ++i)
    s.Setpoints[i] = state.Setpoints.Get(static_cast<SetpointIndex>(i));
  s.StateMoment = state.StateRecord.RecMoment();
  s.StateFresh = m_stateFresh;
  s.MinuteRecordCount = static_cast<int>(state.MinuteRecords.Count());
  s.UnsavedRecordCount = static_cast<int>(state.MinuteRecords.UnsavedCount());
  CopyThread(m_core.ReadControl(), s.Threads[static_cast<int>(WorkerKind::Read)]);
  CopyThread(m_core.WriteControl(), s.Threads[static_cast<int>(WorkerKind::Write)]);
  CopyThread(m_core.LinkControl(), s.Threads[static_cast<int>(WorkerKind::Link)]);
  const ModuleAnswers& answers = m_core.LastAnswers();
  for (int module = 0; module < kInputModuleCount; ++module) {
    s.AnswerTime[module] = answers.Time[module].load();
    s.AnswerText[module] = answers.Text[module].Get();
  }
  s.EmulationOn = m_core.EmulationOn.load();
  s.LanServerActive = m_core.WinSockServer().GetActive();
  s.TcpClientCount = m_core.WinSockServer().GetClientCount();
  s.DatabaseDisabled = m_core.Config().Disabled;
  s.DatabaseConnecting = m_attemptsOutstanding > 0;
  s.DatabaseConnected = m_core.Database().Connected();
  return s;
}

int TConsoleController::StateAgeSec(TDateTime stateMoment, TDateTime now) {
  // To the millisecond first, so that a record exactly 61 s old is not
  // taken for 60.999 s by the day fraction's rounding.
  const double ms = std::round(std::fabs(now - stateMoment) * kMsPerDay);
  // A clock set far off must not overflow the conversion.
  return ms < 2.0e12 ? static_cast<int>(ms / 1000.0) : 2000000000;
}

int TConsoleController::CheckStateAge() {
  const int age = StateAgeSec(m_core.State().StateRecord.RecMoment(), m_now());
  m_stateFresh = age <= kStateFreshSec;
  m_snapshot.StateFresh = m_stateFresh;
  return age;
}

void TConsoleController::Audit(const QString& text) {
  PostAuditLine(text, QString::fromUtf16(kOperatorOrigin));
}

void TConsoleController::AfterOperation() {
  emit Changed(Refresh());
}

void TConsoleController::ApplyControlSet(const ModeFlags& modes, const SetpointValues& setpoints) {
  ValueBlock& modeBlock = m_core.State().AveragedValues;
  ReagentMode before[2][2];
  for (int section = 1; section <= 2; ++section) {
    for (ReagentGroup group : {kGroupR, kGroupFL})
      before[group][section - 1] = modeBlock.GroupMode(group, section);
  }
  for (int flag = 0; flag < kModeFlagCount; ++flag) {
    modeBlock.SetMode(static_cast<ModeFlag>(flag), modes[static_cast<size_t>(flag)]);
  }
  for (int section = 1; section <= 2; ++section) {
    for (ReagentGroup group : {kGroupR, kGroupFL}) {
      const ReagentMode after = modeBlock.GroupMode(group, section);
      if (after != before[group][section - 1]) {
        Audit(ModeChangeText(group, section, after, ChangeSource::Operator));
      }
    }
  }

  SetpointBlock& setpointBlock = m_core.State().Setpoints;
  for (int i = 0; i < kSetpointCount; ++i) {
    const auto index = static_cast<SetpointIndex>(i);
    const float value = setpoints[static_cast<size_t>(i)];
    if (!std::isfinite(value) || value == setpointBlock.Get(index)) continue;
    setpointBlock.Set(index, value);
    Audit(SetpointChangeText(index, value, ChangeSource::Operator));
  }
  AfterOperation();
}

bool TConsoleController::StartThread(WorkerKind kind) {
  const bool started = (m_core.*kWorkerOperations[static_cast<int>(kind)].Start)();
  if (started) Audit(WorkerName(kind) + u" запущен"_qs);
  AfterOperation();
  return started;
}

bool TConsoleController::StopThread(WorkerKind kind) {
  const bool stopped = (m_core.*kWorkerOperations[static_cast<int>(kind)].Stop)();
  Audit(WorkerName(kind) + (stopped ? u" остановлен"_qs : u": остановка не завершилась за 1 с"_qs));
  AfterOperation();
  return stopped;
}

void TConsoleController::SetEmulationOn(bool on) {
  if (m_core.EmulationOn.exchange(on) != on) Audit(u"Эмуляция модулей "_qs + OnOffText(on));
  AfterOperation();
}

bool TConsoleController::ConnectDatabase() {
  if (m_core.Config().Disabled || m_attemptsOutstanding > 0) return false;
  Audit(u"Подключение к MySQL серверу"_qs);
  StartDatabaseAttempt();
  AfterOperation();
  return true;
}

void TConsoleController::StartDatabaseAttempt() {
  ++m_attemptsOutstanding;
  m_timerAttempts.start();
  m_core.ConnectDatabase([outcomes = m_attemptOutcomes](bool connected) {
    std::lock_guard lock(outcomes->Mutex);
    outcomes->Finished.push_back(connected);
  });
}

void TConsoleController::CollectDatabaseAttempts() {
  std::deque<bool> finished;
  {
    std::lock_guard lock(m_attemptOutcomes->Mutex);
    finished.swap(m_attemptOutcomes->Finished);
  }
  m_attemptsOutstanding -= static_cast<int>(finished.size());
  if (m_attemptsOutstanding <= 0) {
    m_attemptsOutstanding = 0;
    m_timerAttempts.stop();
  }
  for (const bool connected : finished) {
    Refresh();
    emit DatabaseAttemptFinished(connected);
  }
}
