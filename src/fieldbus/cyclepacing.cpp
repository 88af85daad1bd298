#include "fieldbus/cyclepacing.h"

#include <QThread>
#include <algorithm>
#include <chrono>
#include <thread>

#include "fieldbus/icplink.h"
#include "fieldbus/threadcontrol.h"
#include "storage/eventlog.h"

uint32_t TickCount() {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

uint32_t CycleRestMs(uint32_t t0, uint32_t now, uint32_t periodMs) {
  const uint32_t elapsed = now - t0;
  if (elapsed >= periodMs) return kOverrunRestMs;
  return std::max(periodMs - elapsed, kMinimumRestMs);
}

void WaitCycleRest(uint32_t t0, uint32_t periodMs, const std::atomic<bool>& stop) {
  using Clock = std::chrono::steady_clock;
  // Slices sleep to absolute times, so oversleeping one slice shortens the
  // next instead of stretching the cycle.
  const auto deadline = Clock::now() + std::chrono::milliseconds(CycleRestMs(t0, TickCount(), periodMs));
  while (!stop.load()) {
    const auto now = Clock::now();
    if (now >= deadline) break;
    std::this_thread::sleep_until(std::min(deadline, now + std::chrono::milliseconds(kRestSliceMs)));
  }
}

bool ActivateWorkerLink(TICPLink& link, const QString& port, int speed, bool emulationOn) {
  if (!link.GetActive()) {
    link.SetPortName(port);
    link.SetSpeed(speed);
    link.SetStatus(QString());
    link.SetActive(true);
  }
  return link.GetActive() || emulationOn;
}

void RunPacedCycles(ThreadControl& control, const std::function<bool()>& cycle,
                    const std::function<bool()>& beforeCycle) {
  while (!control.StopRequest.load()) {
    if (beforeCycle && !beforeCycle()) break;
    const uint32_t t0 = TickCount();
    control.CycleCount.fetch_add(1);
    if (control.StopRequest.load()) break;
    try {
      // An exchange cut short by the stop request is not a failed cycle.
      if (!cycle() && !control.StopRequest.load()) control.ErrorCount.fetch_add(1);
    } catch (...) {
      CurrentLogEnvironment().Beep();
    }
    control.LastWorkMs.store(TickCount() - t0);
    QThread::msleep(kCycleSettleMs);
    WaitCycleRest(t0, kCyclePeriodMs, control.StopRequest);
  }
}
