#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>

class TICPLink;
struct ThreadControl;

// The worker loops' pacing: a cycle starts about every 980 ms whatever the
// work took, and a stop request ends the rest within one slice.

inline constexpr uint32_t kCyclePeriodMs = 980;
inline constexpr uint32_t kCycleSettleMs = 50;  // fixed sleep after the work
inline constexpr uint32_t kMinimumRestMs = 50;
inline constexpr uint32_t kOverrunRestMs = 200;  // rest after a cycle that used up its period
inline constexpr uint32_t kRestSliceMs = 200;

// Milliseconds of a monotonic clock, wrapping at 2^32 like a 32-bit tick.
uint32_t TickCount();

// The rest after a cycle that began at tick "t0" when it is "now": the rest
// of the period but at least 50 ms, or 200 ms once the period is used up.
// Ticks are subtracted modulo 2^32, so the counter's wrap does no harm.
uint32_t CycleRestMs(uint32_t t0, uint32_t now, uint32_t periodMs);

// Sleeps the rest in slices of at most 200 ms, giving up before a slice when
// "stop" is set.
void WaitCycleRest(uint32_t t0, uint32_t periodMs, const std::atomic<bool>& stop);

// The start of a worker on its line: unless the link is already active,
// activates it with "port" and "speed" (the configuration's). False when it
// is still not active and module emulation is off: the worker then ends.
bool ActivateWorkerLink(TICPLink& link, const QString& port, int speed, bool emulationOn);

// The worker loop until StopRequest: a cycle starts about every 980 ms (its
// work, 50 ms, then the rest of the period); a cycle that returns false counts
// one error unless the stop request cut it short; an exception only beeps.
// "beforeCycle", when given, runs before each cycle and may block (a worker
// waiting for its port); false from it ends the loop.
void RunPacedCycles(ThreadControl& control, const std::function<bool()>& cycle,
                    const std::function<bool()>& beforeCycle = {});
