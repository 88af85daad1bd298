#include "process/minuterecords.h"

#include <algorithm>

bool MinuteRecordList::Update(const StateRecord& state, int limit) {
  // A limit below one would drop the record of the running minute before it
  // is replaced, and a negative one would never stop dropping.
  const std::size_t kept = static_cast<std::size_t>(std::max(limit, 1));

  const int minute = MinuteOf(state.RecMoment);

  std::lock_guard lock(m_mutex);
  const bool newMinute = m_records.empty() || MinuteOf(m_records.back().RecMoment) != minute;
  if (!newMinute) {
    m_records.back() = state;
    m_records.back().Saved = 0;
    return false;
  }
  while (m_records.size() > kept) m_records.pop_front();
  m_records.push_back(state);
  m_records.back().Saved = 0;
  return true;
}

std::size_t MinuteRecordList::Count() const {
  std::lock_guard lock(m_mutex);
  return m_records.size();
}

std::size_t MinuteRecordList::UnsavedCount() const {
  std::lock_guard lock(m_mutex);
  return static_cast<std::size_t>(
      std::count_if(m_records.begin(), m_records.end(), [](const MinuteRecord& r) { return r.Saved == 0; }));
}

std::optional<MinuteRecord> MinuteRecordList::OldestUnsaved() const {
  std::lock_guard lock(m_mutex);
  const auto it =
      std::find_if(m_records.begin(), m_records.end(), [](const MinuteRecord& r) { return r.Saved == 0; });
  if (it == m_records.end()) return std::nullopt;
  return *it;
}

bool MinuteRecordList::SetSavedFirst(const std::function<bool(const MinuteRecord&)>& match) {
  if (!match) return false;
  std::lock_guard lock(m_mutex);
  const auto it = std::find_if(m_records.begin(), m_records.end(), match);
  if (it == m_records.end()) return false;
  it->Saved = 1;
  return true;
}

std::vector<MinuteRecord> MinuteRecordList::Snapshot() const {
  std::lock_guard lock(m_mutex);
  return std::vector<MinuteRecord>(m_records.begin(), m_records.end());
}

std::optional<MinuteRecord> MinuteRecordList::Last() const {
  std::lock_guard lock(m_mutex);
  if (m_records.empty()) return std::nullopt;
  return m_records.back();
}

void MinuteRecordList::Clear() {
  std::lock_guard lock(m_mutex);
  m_records.clear();
}

int MinuteOf(TDateTime moment) {
  return DecodeDateTime(moment).Minute;
}
