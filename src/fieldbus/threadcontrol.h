#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

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

  // Sets StopRequest and wakes a worker blocked in WaitForStop. Any thread.
  void RequestStop() {
    {
      // Taken so that the flag cannot be set between the waiter's test and
      // its sleep, where the notification would be lost.
      std::lock_guard lock(m_stopMutex);
      StopRequest.store(true);
    }
    m_stopSignal.notify_all();
  }

  // Blocks the worker for "wait" or until a stop is requested, whichever
  // comes first; true when a stop is requested. A worker that must wait long
  // (a port that is gone) waits here rather than sleeping, so a stop ends
  // the wait at once. Only RequestStop wakes it early; a plain store to
  // StopRequest is seen when the wait ends.
  bool WaitForStop(std::chrono::milliseconds wait) {
    std::unique_lock lock(m_stopMutex);
    return m_stopSignal.wait_for(lock, wait, [this] { return StopRequest.load(); });
  }

 private:
  std::mutex m_stopMutex;  // orders StopRequest against m_stopSignal's waiters
  std::condition_variable m_stopSignal;
};
