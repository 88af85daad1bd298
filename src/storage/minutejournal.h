#pragma once

#include <QString>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "storage/minutejournalformat.h"

// minutes.journal: the minute records the central station has not confirmed,
// kept on disk so that a crash or a power cut loses none of them.
//
// The read thread hands over every minute that ends, the station's threads
// every confirmation; a writer thread of the journal's own appends them in
// that order and syncs the file at most once per SyncInterval. Handing over
// takes a mutex that is held only to move an entry into a vector, so the read
// thread never waits for the disk. When the file grows past twice the size of
// "Limit" minutes, the next sync rewrites it with only the unconfirmed minutes
// (a temporary file, fsync, rename).
//
// Whatever goes wrong with the file (damaged, unreadable, read-only folder,
// full disk) is said once in the event log and never stops the console: the
// journal then goes on keeping its contents in memory and tries to write the
// whole file again at each sync until it succeeds.
//
// Lifetime: Open() once on the owning thread before any other call; the
// destructor writes and syncs what was handed over and ends the writer. It
// must outlive every thread that hands entries over.
class TMinuteJournal {
 public:
  struct Options {
    int Limit = 4320;  // the most unconfirmed minutes kept (below 1 counts as 1)
    std::chrono::milliseconds SyncInterval{60000};
    // How long a station thread waits for the writer before it answers anyway.
    std::chrono::milliseconds HandOverWait{250};
    // Entries waiting for the writer beyond this are not kept: the journal
    // then is emptied and stays off until the next start.
    std::size_t MaxPending = 20000;
  };

  TMinuteJournal(QString path, Options options);
  ~TMinuteJournal();

  TMinuteJournal(const TMinuteJournal&) = delete;
  TMinuteJournal& operator=(const TMinuteJournal&) = delete;

  // Reads the file, cuts off a damaged tail (a file it cannot use at all is
  // kept beside it as minutes.journal.bad), keeps the newest Limit minutes,
  // rewrites the file when it had to repair it, and starts the writer.
  // Returns the unconfirmed minutes, oldest first.
  std::vector<JournalRecord> Open();

  // Any thread, even under the caller's own lock: never waits for the disk.
  void AppendRecord(const JournalRecord& record);
  void AppendSaved(double recMoment);

  // Waits until the writer has dealt with everything handed over so far, at
  // most HandOverWait (and not at all again while the writer stays stuck).
  // True when it has. Station threads, before they answer.
  bool WaitHandedOver();

  // Writes what was handed over and syncs the file now; waits for it. False
  // when the file could not be written. The owning thread, at shutdown.
  bool Flush();

  const QString& Path() const { return m_path; }
  // For tests and the benchmark; any thread.
  uint64_t SyncCount() const;
  uint64_t CompactionCount() const;
  bool Writable() const;  // false while the file cannot be written

 private:
  enum class Kind { kRecord, kSaved };
  struct Entry {
    Kind What;
    JournalRecord Record;  // kSaved: only RecMoment
  };

  void Hand(const Entry& entry);
  void WriterLoop();
  // Writer thread only, without m_mutex.
  void WriteBatch(const std::vector<Entry>& batch);
  void SyncOrCompact(bool force);
  bool Compact();
  bool AppendBytes(const QByteArray& bytes);
  void Fail(const QString& what, int error, bool oldFileIntact = false);
  void CloseFile();

  const QString m_path;
  const Options m_options;
  const std::size_t m_compactAbove;

  // Writer thread only (and Open before the writer starts).
  JournalContents m_contents;
  int m_fd = -1;
  int64_t m_fileSize = 0;
  bool m_unsynced = false;
  bool m_broken = false;  // the file lags m_contents: only a rewrite mends it
  bool m_compactFailed = false;
  std::chrono::steady_clock::time_point m_lastSync;

  mutable std::mutex m_mutex;         // guards everything below
  std::condition_variable m_wake;     // the writer: work, flush or stop
  std::condition_variable m_handled;  // the waiters: m_handledSeq moved
  std::vector<Entry> m_pending;
  uint64_t m_handedSeq = 0;
  uint64_t m_handledSeq = 0;
  uint64_t m_flushRequested = 0;
  uint64_t m_flushDone = 0;
  bool m_flushOk = true;
  bool m_overflow = false;
  bool m_off = false;  // nothing is handed over any more
  bool m_stalled = false;
  bool m_stop = false;
  bool m_writable = true;
  uint64_t m_syncCount = 0;
  uint64_t m_compactionCount = 0;

  std::thread m_writer;
};
