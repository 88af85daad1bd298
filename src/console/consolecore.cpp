#include "console/consolecore.h"

#include <QDateTime>
#include <QDir>
#include <cmath>

#include "process/acquisition.h"
#include "process/dosing.h"
#include "storage/eventlog.h"

namespace {
const QString kLastSetSection = QStringLiteral("LastSet");

// Writes only the section "LastSet"; the other sections stay as the file
// holds them (a settings window's unsaved edits are not the file's).
bool WriteLastSetSection(IniFile& ini, const TLastSetWriter::Values& values) {
  IniUpdate update(ini);
  for (SetpointIndex index : TConsoleCore::LastSetOrder()) {
    if (!ini.WriteFloat(kLastSetSection, SetpointKey(index), values[static_cast<size_t>(index)]))
      return false;
  }
  return update.Commit();
}

// Integration tests run the cycle's clock faster so that minutes end within
// seconds: FLOT_TEST_CLOCK="RATE ORIGIN" (ORIGIN in Unix seconds) makes the
// clock read ORIGIN + (now - ORIGIN) x RATE, the same at every restart.
// Anything that does not parse leaves the clock as it is.
std::function<TDateTime()> WithTestClock(std::function<TDateTime()> now) {
  const QStringList fields = qEnvironmentVariable("FLOT_TEST_CLOCK").split(u' ', Qt::SkipEmptyParts);
  if (fields.size() != 2) return now;
  bool rateOk = false;
  bool originOk = false;
  const double rate = fields[0].toDouble(&rateOk);
  const qint64 origin = fields[1].toLongLong(&originOk);
  if (!rateOk || !originOk || !(rate >= 1 && rate <= 1000)) return now;
  const TDateTime start = DateTimeFromQDateTime(QDateTime::fromSecsSinceEpoch(origin));
  return [now = std::move(now), start, rate] { return start + (now() - start) * rate; };
}
}  // namespace

TConsoleCore::TConsoleCore(QString appDir, std::function<TDateTime()> now)
    : m_appDir(std::move(appDir)),
      m_now(WithTestClock(std::move(now))),
      m_ini(std::make_unique<IniFile>(IniPath())),
      m_lastSetIni(IniPath()),
      m_lastSetWriter(
          m_state.Setpoints,
          [this](const TLastSetWriter::Values& values) {
            std::lock_guard lock(m_iniWriteMutex);
            return WriteLastSetSection(m_lastSetIni, values);
          },
          IniPath()),
      m_inputPolling(m_config, m_state, m_icpLinkRead, m_lastAnswers, EmulationOn, m_now),
      m_outputDriving(m_config, m_state, m_icpLinkWrite, EmulationOn) {
  // A stop request also cuts short an exchange with a module that does not
  // answer, so that a stop does not wait for the line's time limit.
  m_icpLinkRead.SetAbortFlag(&m_readControl.StopRequest);
  m_icpLinkWrite.SetAbortFlag(&m_writeControl.StopRequest);
  m_icpLinkServer.SetAbortFlag(&m_linkControl.StopRequest);
  m_winSockServer.SetOnQuery([this](QByteArray& query, QByteArray& answer, const QString& peer) {
    m_stationQuery.WinSockServerQuery(query, answer, peer);
  });
}

TConsoleCore::~TConsoleCore() = default;

QString TConsoleCore::IniFileName() {
  return QStringLiteral("flotation-console.INI");
}

QString TConsoleCore::IniPath() const {
  return QDir(m_appDir).filePath(IniFileName());
}

QString TConsoleCore::LogDir() const {
  return QDir(m_appDir).filePath(QStringLiteral("LOG"));
}

QString TConsoleCore::JournalPath() const {
  return QDir(m_appDir).filePath(QStringLiteral("minutes.journal"));
}

void TConsoleCore::Open() {
  m_state.Reset();
  m_config.LoadConfig(*m_ini, m_crypt);
  LoadLastSetpoints();
  m_lastSetIni.SetDecimalSeparator(m_ini->DecimalSeparator());
  m_lastSetWriter.Start(TLastSetWriter::Read(m_state.Setpoints));
  m_state.CreateAverages(m_config);
  OpenMinuteJournal();
}

void TConsoleCore::OpenMinuteJournal() {
  m_state.MinuteRecords.SetJournal(nullptr);
  m_journal.reset();
  if (!m_config.MinuteJournal) return;
  TMinuteJournal::Options options;
  options.Limit = m_config.MinuteRecordLimit;
  m_journal = std::make_unique<TMinuteJournal>(JournalPath(), options);
  m_state.MinuteRecords.Restore(m_journal->Open());
  m_state.MinuteRecords.SetJournal(m_journal.get());
}

void TConsoleCore::ConnectDatabase(std::function<void(bool)> done) {
  const DatabaseSettings settings{m_config.Host, m_config.Login, m_config.Password, m_config.Version,
                                  m_config.Disabled};
  // The log-record list is safe from any thread and outlives the database thread.
  m_database.ConnectAsync(settings, [this](const QString& text) { AddLogRec(text); }, std::move(done));
}

void TConsoleCore::StartUp() {
  if (!m_config.AutoStartControl) return;
  StartReadThread();
  StartWriteThread();
  StartLinkThread();
  if (!m_winSockServer.GetActive() && m_config.LanServer) StartLanServer();
  AddLogRec(u"Автозапуск контроля аппаратуры."_qs);
}

bool TConsoleCore::StartLinkThread() {
  return m_linkThread.Start([this] { m_stationLink.LinkThreadWork(); }, m_now());
}

bool TConsoleCore::StopLinkThread() {
  return m_linkThread.Stop();
}

bool TConsoleCore::StartLanServer() {
  TWinSockServer::LanOptions options;
  options.BindAddress = m_config.LanBindAddress;
  options.Allow = m_config.LanAllow;
  options.IdleTimeoutSec = m_config.LanIdleTimeout;
  options.MaxConnections = m_config.LanMaxConnections;
  m_winSockServer.SetLanOptions(options);
  m_winSockServer.SetServerPortNum(m_config.LanPort);
  if (m_winSockServer.Start(m_config.LanPort)) return true;
  // Nobody handles the server's errors at run time, so a plant that expects
  // the station on the network learns why it is silent from the event log.
  AddLogMessage(u"Сервер запросов не запущен: "_qs + m_winSockServer.GetLastMessage().trimmed());
  return false;
}

bool TConsoleCore::StartReadThread() {
  return m_readThread.Start([this] { m_inputPolling.Run(m_readControl); }, m_now());
}

bool TConsoleCore::StopReadThread() {
  return m_readThread.Stop();
}

bool TConsoleCore::StartWriteThread() {
  return m_writeThread.Start([this] { m_outputDriving.Run(m_writeControl); }, m_now());
}

bool TConsoleCore::StopWriteThread() {
  return m_writeThread.Stop();
}

bool TConsoleCore::Close() {
  StopLinkThread();
  StopWriteThread();
  StopReadThread();
  m_lastSetWriter.Stop();
  // The TCP server may still confirm records; the journal takes them until
  // the core is gone. This puts what the read thread left on disk now.
  if (m_journal) m_journal->Flush();

  std::lock_guard lock(m_iniWriteMutex);
  IniUpdate update(*m_ini);
  const bool configSaved = m_config.SaveConfig(*m_ini, m_crypt);
  const bool setpointsSaved = SaveLastSetpoints();
  const bool written = update.Commit();
  if (!configSaved || !setpointsSaved || !written) {
    AddLogMessage(u"Не удалось сохранить настройки в файл "_qs + m_ini->FileName() + u'.');
  }
  return configSaved && setpointsSaved && written;
}

bool TConsoleCore::SaveConfig() {
  std::lock_guard lock(m_iniWriteMutex);
  IniUpdate update(*m_ini);
  const bool configSaved = m_config.SaveConfig(*m_ini, m_crypt);
  const bool written = update.Commit();
  if (!configSaved || !written) {
    AddLogMessage(u"Не удалось сохранить настройки в файл "_qs + m_ini->FileName() + u'.');
  }
  return configSaved && written;
}

// "LastSet" lists section 1's six setpoints, then section 2's.
std::array<SetpointIndex, kSetpointCount> TConsoleCore::LastSetOrder() {
  std::array<SetpointIndex, kSetpointCount> order{};
  const SetpointIndex firsts[] = {kTRRS1, kTRRP1, kTRFL1, kZRRS1, kZRRP1, kZRFL1};
  size_t next = 0;
  for (int section = 1; section <= 2; ++section) {
    for (SetpointIndex first : firsts) order[next++] = SetpointOf(first, section);
  }
  return order;
}

bool TConsoleCore::LoadLastSetpoints() {
  for (SetpointIndex index : LastSetOrder()) {
    const float builtIn = kDefaultSetpoints[index];
    const auto stored = static_cast<float>(m_ini->ReadFloat(kLastSetSection, SetpointKey(index), builtIn));
    // A hand-edited value beyond single precision would become infinite.
    m_state.Setpoints.Set(index, std::isfinite(stored) ? stored : builtIn);
  }
  return true;
}

bool TConsoleCore::SaveLastSetpoints() {
  return WriteLastSetSection(*m_ini, TLastSetWriter::Read(m_state.Setpoints));
}

bool TConsoleCore::TranslateIn() {
  return ::TranslateIn(m_state, m_config);
}

bool TConsoleCore::UpdateStateRecord() {
  return ::UpdateStateRecord(m_state, m_config, m_now());
}

bool TConsoleCore::CalcWorks() {
  return ::CalcWorks(m_state, m_config);
}
