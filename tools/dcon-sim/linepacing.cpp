#include "linepacing.h"

#include <algorithm>
#include <cmath>

namespace {

int64_t MillisecondsToNs(double ms) {
  return static_cast<int64_t>(std::llround(ms * 1e6));
}

}  // namespace

AnswerSchedule::AnswerSchedule(const LineTiming& timing, const ReceivedLine& command, const AnswerPlan& plan,
                               int64_t nowNs) {
  int64_t earliest = command.CrNs;
  if (timing.Pace) {
    m_charNs = timing.CharNs();
    earliest = std::max(earliest, command.FirstNs + static_cast<int64_t>(command.WireLength) * m_charNs) +
               MillisecondsToNs(timing.TurnaroundMs);
  }
  m_startNs = std::max(nowNs, earliest + MillisecondsToNs(plan.DelayMs));
  m_splitAt = plan.SplitAt;
  m_splitPauseNs = MillisecondsToNs(plan.SplitPauseMs);
}

int64_t AnswerSchedule::ByteDueNs(size_t index) const {
  int64_t due = m_startNs + static_cast<int64_t>(index + 1) * m_charNs;
  if (m_splitPauseNs > 0 && index >= m_splitAt) due += m_splitPauseNs;
  return due;
}
