#include "fieldbus/cyclepacing.h"

#include <algorithm>
#include <chrono>
#include <thread>

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
