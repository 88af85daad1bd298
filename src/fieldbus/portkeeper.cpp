#include "fieldbus/portkeeper.h"

#include <algorithm>

#include "fieldbus/cyclepacing.h"
#include "fieldbus/icplink.h"
#include "fieldbus/threadcontrol.h"
#include "storage/eventlog.h"

namespace {

constexpr int kMaxRetrySec = 3600;

QString IntervalText(std::chrono::milliseconds interval) {
  if (interval < std::chrono::seconds(1)) return QStringLiteral("%1 мс").arg(interval.count());
  return QStringLiteral("%1 с").arg(std::chrono::duration_cast<std::chrono::seconds>(interval).count());
}

}  // namespace

TPortKeeper::TPortKeeper(TICPLink& link, const Setting<QString>& port, const Setting<int>& speed,
                         const Setting<int>& retrySec, QString threadName,
                         std::function<QString(const QString&)> failedText)
    : m_link(link),
      m_port(port),
      m_speed(speed),
      m_retrySec(retrySec),
      m_threadName(std::move(threadName)),
      m_failedText(std::move(failedText)) {}

std::chrono::milliseconds TPortKeeper::Interval() const {
  if (m_timing.Interval) return std::max(*m_timing.Interval, std::chrono::milliseconds(0));
  return std::chrono::seconds(std::clamp(m_retrySec.Get(), 0, kMaxRetrySec));
}

void TPortKeeper::Log(const QString& text) {
  AddLogMessage(text, 0);
}

bool TPortKeeper::Open(ThreadControl& control, const std::function<bool()>& mayRunWithout) {
  m_failedAttempts = 0;
  m_failureLogged = false;
  if (TryOpen()) return true;
  const bool without = mayRunWithout();
  Failed(without);
  if (without) return true;
  if (Interval().count() == 0) return false;
  return WaitForPort(control, mayRunWithout);
}

bool TPortKeeper::Keep(ThreadControl& control, const std::function<bool()>& mayRunWithout) {
  const std::chrono::milliseconds interval = Interval();
  if (interval.count() == 0) return true;
  if (m_link.GetActive()) {
    if (!m_link.GetPortLost()) return true;
    // The handle is dead for good; only a new open can find the device again.
    const QString name = m_link.GetPortName();
    m_link.SetActive(false);
    Log(QStringLiteral("%1: порт %2 пропал, повторные попытки каждые %3")
            .arg(m_threadName, name, IntervalText(interval)));
    m_failureLogged = true;
    m_lastLine = m_timing.Now();
    m_failedAttempts = 0;
    m_nextAttempt = Clock::now() + interval;
  }
  if (mayRunWithout()) {
    if (Clock::now() >= m_nextAttempt && !TryOpen()) Failed(true);
    return true;
  }
  return WaitForPort(control, mayRunWithout);
}

bool TPortKeeper::TryOpen() {
  ActivateWorkerLink(m_link, m_port, m_speed, false);
  if (!m_link.GetActive()) return false;
  if (m_failureLogged) {
    Log(QStringLiteral("%1: порт %2 восстановлен").arg(m_threadName, m_link.GetPortName()));
  }
  m_failedAttempts = 0;
  m_failureLogged = false;
  return true;
}

void TPortKeeper::Failed(bool quiet) {
  ++m_failedAttempts;
  m_nextAttempt = Clock::now() + Interval();
  if (quiet) return;
  const Clock::time_point now = m_timing.Now();
  if (!m_failureLogged) {
    Log(m_failedText(m_link.GetPortName()));
    // A device that is there but not the console's user's to open: who
    // must mend it needs the owner and the mode.
    if (const QString reason = m_link.GetOpenError(); !reason.isEmpty())
      Log(QStringLiteral("%1: порт %2 не открывается: %3").arg(m_threadName, m_link.GetPortName(), reason));
    m_failureLogged = true;
    m_lastLine = now;
  } else if (now - m_lastLine >= m_timing.LogEvery) {
    Log(QStringLiteral("%1: порт %2 по-прежнему недоступен, попыток: %3, следующая через %4")
            .arg(m_threadName, m_link.GetPortName())
            .arg(m_failedAttempts)
            .arg(IntervalText(Interval())));
    m_lastLine = now;
  }
}

bool TPortKeeper::WaitForPort(ThreadControl& control, const std::function<bool()>& mayRunWithout) {
  for (;;) {
    // Retries switched off meanwhile: give up as a worker without retries does.
    if (Interval().count() == 0) return false;
    const Clock::time_point now = Clock::now();
    if (now < m_nextAttempt) {
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(m_nextAttempt - now);
      if (control.WaitForStop(wait)) return false;
    } else if (control.StopRequest.load()) {
      return false;
    }
    if (TryOpen()) return true;
    const bool without = mayRunWithout();
    Failed(without);
    if (without) return true;
  }
}
