#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "process/staterecord.h"

class TMinuteJournal;
struct JournalRecord;

// One record per wall-clock minute, oldest first, each the last state of its
// minute. The read thread updates it once a cycle; the station link, the TCP
// query threads and the trend windows count, search, flag and copy records.
// Every access takes the list's mutex for one short pass; callers get copies,
// never pointers into the list, so a record dropped by the read thread is
// never used afterwards.
//
// With a journal attached, the list hands it every record whose minute has
// ended (the running minute's record keeps changing, so it is not kept) and
// every saved byte the station sets on such a record. UnsavedCount,
// OldestUnsaved and SetSavedFirst then wait for the journal's writer (at most
// its HandOverWait) before they return, so whatever the station is told is
// already on its way to disk; Update only hands over and never waits.
class MinuteRecordList {
 public:
  // nullptr detaches. Not while any thread uses the list; the journal must
  // outlive every thread that does.
  void SetJournal(TMinuteJournal* journal);
  // Replaces the list with records a journal restored, oldest first, all
  // unsaved. They have all ended: the next Update starts a new record
  // whatever its minute field. Not while any thread uses the list.
  void Restore(const std::vector<JournalRecord>& records);

  // Puts a state into the list: a new record when the list is empty or the
  // minute field (0-59) of the last record differs from the state's (only the
  // minute field counts, not the date or hour); before that, the oldest record
  // is dropped while the list holds more than "limit" records. Otherwise the
  // last record is overwritten, its saved byte included. The stored record
  // always starts unsaved. A limit below 1 counts as 1: the record of the
  // minute that has just ended is never dropped before the station can fetch it.
  // Returns true when a new record was appended. Only an allocation failure
  // escapes (std::bad_alloc); the list then is unchanged or has lost only
  // its oldest records.
  bool Update(const StateRecord& state, int limit);

  std::size_t Count() const;
  std::size_t UnsavedCount() const;
  std::optional<MinuteRecord> OldestUnsaved() const;
  // Sets the saved byte of the oldest record that matches; false if none does.
  // "match" runs under the list's mutex and must not call back into the list.
  bool SetSavedFirst(const std::function<bool(const MinuteRecord&)>& match);
  std::vector<MinuteRecord> Snapshot() const;
  std::optional<MinuteRecord> Last() const;
  void Clear();

 private:
  mutable std::mutex m_mutex;  // guards m_records and m_lastRunning
  std::deque<MinuteRecord> m_records;
  // The last record is the running minute's, still overwritten each cycle.
  bool m_lastRunning = false;
  TMinuteJournal* m_journal = nullptr;  // set while no thread uses the list
};

// The minute field (0-59) of a day count.
int MinuteOf(TDateTime moment);
