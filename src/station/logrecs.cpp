#include "station/logrecs.h"

#include "common/formatfloat.h"
#include "storage/eventlog.h"

void LogRecList::AddLogRec(const QString& text) {
  LogEnvironment& environment = CurrentLogEnvironment();
  AddLogRec(text, static_cast<int32_t>(environment.TickCount()), environment.Now());
}

void LogRecList::AddLogRec(const QString& text, int32_t tick, TDateTime moment) {
  QString line =
      QString::number(tick) + u'\t' + FormatDateTime(u"yyyy-mm-dd hh:nn:ss"_qs, moment) + u'\t' + text;
  std::lock_guard lock(m_mutex);
  m_lines.push_back(std::move(line));
  while (m_lines.size() > kMaxLines) m_lines.pop_front();
}

std::size_t LogRecList::Count() const {
  std::lock_guard lock(m_mutex);
  return m_lines.size();
}

std::optional<QString> LogRecList::Oldest() const {
  std::lock_guard lock(m_mutex);
  if (m_lines.empty()) return std::nullopt;
  return m_lines.front();
}

bool LogRecList::DeleteFirstWithPrefix(const QString& prefix) {
  if (prefix.isEmpty()) return false;
  std::lock_guard lock(m_mutex);
  for (auto it = m_lines.begin(); it != m_lines.end(); ++it) {
    if (it->startsWith(prefix)) {
      m_lines.erase(it);
      return true;
    }
  }
  return false;
}

void LogRecList::Clear() {
  std::lock_guard lock(m_mutex);
  m_lines.clear();
}
