#pragma once

#include <QString>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

#include "common/tdatetime.h"

// The console's log records for the central station: operator actions and
// events, oldest first, in memory only. Each line is
//   tick "\t" "yyyy-mm-dd hh:nn:ss" "\t" text
// where tick is the millisecond tick count at the time of adding as a signed
// 32-bit number; the station deletes a line by it. Any thread; every call
// takes the list's mutex for one short pass.
class LogRecList {
 public:
  static constexpr std::size_t kMaxLines = 500;

  // Appends a line with the log environment's clock and tick count; the
  // oldest line goes when the list holds more than kMaxLines.
  void AddLogRec(const QString& text);
  void AddLogRec(const QString& text, int32_t tick, TDateTime moment);

  std::size_t Count() const;
  std::optional<QString> Oldest() const;
  // Removes the oldest line that begins with "prefix"; false when none does
  // or the prefix is empty.
  bool DeleteFirstWithPrefix(const QString& prefix);
  void Clear();

 private:
  mutable std::mutex m_mutex;  // guards m_lines
  std::deque<QString> m_lines;
};
