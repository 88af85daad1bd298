#pragma once

#include <atomic>
#include <cstdint>

#include "common/tdatetime.h"

// The control block of one worker thread. The user-interface thread owns
// StopRequest and StartTime; the worker writes Running, its counters and its
// timings. Every field may be read from any thread at any time.
struct ThreadControl {
  std::atomic<bool> Running{false};
  std::atomic<bool> StopRequest{false};
  // Never reset while the console runs; a restart continues them.
  std::atomic<int32_t> CycleCount{0};
  std::atomic<int32_t> ErrorCount{0};
  std::atomic<TDateTime> StartTime{0.0};
  // System id of the running thread (0 before the first start).
  std::atomic<uint32_t> ThreadId{0};
  // Milliseconds the last cycle spent on its work (the exchanges and the
  // computation, without the pacing), for the hardware monitor and benchmarks.
  std::atomic<uint32_t> LastWorkMs{0};
};
