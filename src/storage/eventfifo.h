#pragma once

#include <QString>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "common/tdatetime.h"

// One queued event-log message.
struct TEventFIFO_Rec {
  QString Text;
  TDateTime Moment = 0;
  uint32_t TickSec = 0;  // uptime in whole seconds when posted
  uint32_t Flags = 0;
  // Messages the full queue refused between the record stored before this
  // one and this one, so that the loss can be told in its place.
  uint32_t DroppedBefore = 0;
};

// Flag bits of an event-log message.
inline constexpr uint32_t kLogFlagShowWindow = 1;       // show in a warning window
inline constexpr uint32_t kLogFlagRedBackground = 128;  // the window is red instead of navy
inline constexpr uint32_t kLogFlagOwnWindow = 256;      // with kLogFlagShowWindow: a window of its own

// A fixed-size ring buffer of messages, oldest out first, that remembers how
// many messages it refused and where.
//
// Any thread may Put; Get, GetCount and TakeTrailingDrops are for the one
// draining thread. Puts are serialised by a mutex that is held only while a
// record is moved into its slot, so a Put never waits for anything but
// another Put or Get. PutWaiting is the exception: it waits for room, but
// only while a drain serves the queue (AttachDrain).
class TEventFIFO {
 public:
  static constexpr int kMinimumCapacity = 10;

  // A capacity below kMinimumCapacity becomes kMinimumCapacity.
  explicit TEventFIFO(int capacity);

  TEventFIFO(const TEventFIFO&) = delete;
  TEventFIFO& operator=(const TEventFIFO&) = delete;

  // Stores a copy of the message; false (nothing stored, the refusal
  // counted) when full.
  bool Put(const QString& text, TDateTime moment, uint32_t tickSec, uint32_t flags);
  // As Put, but a full queue is waited on for up to "wait" while a drain is
  // attached; without one it refuses at once, as Put does, because nobody
  // would make room.
  bool PutWaiting(const QString& text, TDateTime moment, uint32_t tickSec, uint32_t flags,
                  std::chrono::milliseconds wait);
  // Takes the oldest message; false when empty.
  bool Get(QString& text, TDateTime& moment, uint32_t& tickSec, uint32_t& flags);
  bool Get(TEventFIFO_Rec& record);
  int GetCount() const;
  int Capacity() const { return m_capacity; }

  // Refusals after the last stored record, once every record before them has
  // been taken: their count (then reset) and the time of the last of them.
  // 0 while records still wait or nothing was refused.
  uint32_t TakeTrailingDrops(TDateTime& lastMoment, uint32_t& lastTickSec);

  // A drain that serves this queue registers itself for its lifetime, so
  // that PutWaiting knows waiting can help. Any thread.
  void AttachDrain();
  void DetachDrain();

 private:
  // Stores "record" with the pending refusals; the caller holds m_mutex and
  // has checked that there is room.
  void StoreLocked(TEventFIFO_Rec&& record);
  void CountDropLocked(TDateTime moment, uint32_t tickSec);

  const int m_capacity;
  mutable std::mutex m_mutex;  // guards everything below
  std::condition_variable m_roomFreed;
  std::vector<TEventFIFO_Rec> m_items;
  int m_count = 0;
  int m_writeIndex = 0;
  int m_readIndex = 0;
  int m_drains = 0;
  int m_waiters = 0;  // PutWaiting calls blocked on m_roomFreed
  uint32_t m_droppedPending = 0;
  TDateTime m_lastDropMoment = 0;
  uint32_t m_lastDropTickSec = 0;
};
