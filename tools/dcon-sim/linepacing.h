#pragma once

#include <cstddef>
#include <cstdint>

#include "dconmodules.h"
#include "lineframing.h"

// How the simulated wire behaves. A character is 10 bit times (start, 8 data,
// stop) at Baud.
struct LineTiming {
  int Baud = 9600;
  bool Pace = true;  // false: answer as soon as the command is complete
  double TurnaroundMs = 1;

  int64_t CharNs() const { return Baud > 0 ? 10'000'000'000LL / Baud : 0; }
};

// When each byte of one answer is due on the line, as absolute CLOCK_MONOTONIC
// nanoseconds.
//
// A pty delivers the whole command at once, so with pacing the answer starts
// only after the command would have crossed a real wire (from its first byte,
// one character time per byte including the CR), plus the module's turnaround
// and any injected lateness, and never before nowNs. Each answer byte is due at
// the end of its own character time, so the last one of an N-byte answer lands
// N character times after the start. Without pacing all bytes are due at the
// start. A split answer pauses after its first half.
class AnswerSchedule {
 public:
  AnswerSchedule(const LineTiming& timing, const ReceivedLine& command, const AnswerPlan& plan,
                 int64_t nowNs);

  int64_t StartNs() const { return m_startNs; }
  int64_t ByteDueNs(size_t index) const;

 private:
  int64_t m_startNs = 0;
  int64_t m_charNs = 0;
  size_t m_splitAt = 0;
  int64_t m_splitPauseNs = 0;
};
