#include "process/minuterecords.h"

#include <algorithm>

#include "storage/minutejournal.h"

static_assert(kJournalValueCount == kValueSlotCount, "the journal keeps every slot of a record");

namespace {

JournalRecord ToJournal(const MinuteRecord& record) {
  JournalRecord entry;
  entry.RecMoment = record.RecMoment;
  std::copy(record.Values.begin(), record.Values.end(), entry.Values.begin());
  return entry;
}

}  // namespace

void MinuteRecordList::SetJournal(TMinuteJournal* journal) {
  std::lock_guard lock(m_mutex);
  m_journal = journal;
}

void MinuteRecordList::Restore(const std::vector<JournalRecord>& records) {
  std::lock_guard lock(m_mutex);
  m_records.clear();
  for (const JournalRecord& entry : records) {
    MinuteRecord record;
    record.RecMoment = entry.RecMoment;
    std::copy(entry.Values.begin(), entry.Values.end(), record.Values.begin());
    record.Saved = 0;
    m_records.push_back(record);
  }
  m_lastRunning = false;
}

bool MinuteRecordList::Update(const StateRecord& state, int limit) {
  // A limit below one would drop the record of the running minute before it
  // is replaced, and a negative one would never stop dropping.
  const std::size_t kept = static_cast<std::size_t>(std::max(limit, 1));

  const int minute = MinuteOf(state.RecMoment);

  std::lock_guard lock(m_mutex);
  // A restored record belongs to a minute that ended before the restart; an
  // hour later the same minute field must not overwrite it.
  const bool newMinute =
      m_records.empty() || !m_lastRunning || MinuteOf(m_records.back().RecMoment) != minute;
  if (!newMinute) {
    m_records.back() = state;
    m_records.back().Saved = 0;
    return false;
  }
  // The running minute has ended with these values. One the station has
  // confirmed since the last cycle needs no keeping.
  if (m_journal != nullptr && m_lastRunning && m_records.back().Saved == 0) {
    m_journal->AppendRecord(ToJournal(m_records.back()));
  }
  while (m_records.size() > kept) m_records.pop_front();
  m_records.push_back(state);
  m_records.back().Saved = 0;
  m_lastRunning = true;
  return true;
}

std::size_t MinuteRecordList::Count() const {
  std::lock_guard lock(m_mutex);
  return m_records.size();
}

std::size_t MinuteRecordList::UnsavedCount() const {
  std::size_t count = 0;
  TMinuteJournal* journal = nullptr;
  {
    std::lock_guard lock(m_mutex);
    count = static_cast<std::size_t>(std::count_if(m_records.begin(), m_records.end(),
                                                   [](const MinuteRecord& r) { return r.Saved == 0; }));
    journal = m_journal;
  }
  // Whatever the station is told has ended must already be on its way to disk.
  if (journal != nullptr) journal->WaitHandedOver();
  return count;
}

std::optional<MinuteRecord> MinuteRecordList::OldestUnsaved() const {
  std::optional<MinuteRecord> oldest;
  TMinuteJournal* journal = nullptr;
  {
    std::lock_guard lock(m_mutex);
    const auto it =
        std::find_if(m_records.begin(), m_records.end(), [](const MinuteRecord& r) { return r.Saved == 0; });
    if (it == m_records.end()) return std::nullopt;
    oldest = *it;
    journal = m_journal;
  }
  if (journal != nullptr) journal->WaitHandedOver();
  return oldest;
}

bool MinuteRecordList::SetSavedFirst(const std::function<bool(const MinuteRecord&)>& match) {
  if (!match) return false;
  TMinuteJournal* journal = nullptr;
  {
    std::lock_guard lock(m_mutex);
    const auto it = std::find_if(m_records.begin(), m_records.end(), match);
    if (it == m_records.end()) return false;
    const bool running = m_lastRunning && std::next(it) == m_records.end();
    if (it->Saved == 0 && !running && m_journal != nullptr) {
      m_journal->AppendSaved(it->RecMoment);
      journal = m_journal;
    }
    it->Saved = 1;
  }
  // The station forgets a record once it hears OK: by then the confirmation
  // must be on its way to disk, or a restart would offer the record again.
  if (journal != nullptr) journal->WaitHandedOver();
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
  m_lastRunning = false;
}

int MinuteOf(TDateTime moment) {
  return DecodeDateTime(moment).Minute;
}
