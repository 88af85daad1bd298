#pragma once

#include <QString>
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
};

// Flag bits of an event-log message.
inline constexpr uint32_t kLogFlagShowWindow = 1;       // show in a warning window
inline constexpr uint32_t kLogFlagRedBackground = 128;  // the window is red instead of navy
inline constexpr uint32_t kLogFlagOwnWindow = 256;      // with kLogFlagShowWindow: a window of its own

// A fixed-size ring buffer of messages, oldest out first.
//
// Any thread may Put; Get and GetCount are for the one draining thread. Puts
// are serialised by a mutex that is held only while a record is moved into
// its slot, so a Put never waits for anything but another Put or Get.
class TEventFIFO {
 public:
  static constexpr int kMinimumCapacity = 10;

  // A capacity below kMinimumCapacity becomes kMinimumCapacity.
  explicit TEventFIFO(int capacity);

  TEventFIFO(const TEventFIFO&) = delete;
  TEventFIFO& operator=(const TEventFIFO&) = delete;

  // Stores a copy of the message; false (and nothing stored) when full.
  bool Put(const QString& text, TDateTime moment, uint32_t tickSec, uint32_t flags);
  // Takes the oldest message; false when empty.
  bool Get(QString& text, TDateTime& moment, uint32_t& tickSec, uint32_t& flags);
  bool Get(TEventFIFO_Rec& record);
  int GetCount() const;
  int Capacity() const { return m_capacity; }

 private:
  const int m_capacity;
  mutable std::mutex m_mutex;  // guards everything below
  std::vector<TEventFIFO_Rec> m_items;
  int m_count = 0;
  int m_writeIndex = 0;
  int m_readIndex = 0;
};
