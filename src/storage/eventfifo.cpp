#include "storage/eventfifo.h"

#include <algorithm>
#include <limits>
#include <utility>

TEventFIFO::TEventFIFO(int capacity)
    : m_capacity(std::max(capacity, kMinimumCapacity)), m_items(static_cast<size_t>(m_capacity)) {}

void TEventFIFO::StoreLocked(TEventFIFO_Rec&& record) {
  record.DroppedBefore = m_droppedPending;
  m_droppedPending = 0;
  // Get moved the previous text out of this slot, so nothing is freed here.
  m_items[static_cast<size_t>(m_writeIndex)] = std::move(record);
  m_writeIndex = (m_writeIndex + 1) % m_capacity;
  ++m_count;
}

void TEventFIFO::CountDropLocked(TDateTime moment, uint32_t tickSec) {
  if (m_droppedPending < std::numeric_limits<uint32_t>::max()) ++m_droppedPending;
  m_lastDropMoment = moment;
  m_lastDropTickSec = tickSec;
}

bool TEventFIFO::Put(const QString& text, TDateTime moment, uint32_t tickSec, uint32_t flags) {
  // The copy only bumps a shared reference count, but taking it before the
  // lock keeps the critical section down to a few moves.
  TEventFIFO_Rec record{text, moment, tickSec, flags, 0};
  std::lock_guard lock(m_mutex);
  if (m_count >= m_capacity) {
    CountDropLocked(moment, tickSec);
    return false;
  }
  StoreLocked(std::move(record));
  return true;
}

bool TEventFIFO::PutWaiting(const QString& text, TDateTime moment, uint32_t tickSec, uint32_t flags,
                            std::chrono::milliseconds wait) {
  TEventFIFO_Rec record{text, moment, tickSec, flags, 0};
  std::unique_lock lock(m_mutex);
  if (m_count >= m_capacity && m_drains > 0) {
    ++m_waiters;
    m_roomFreed.wait_for(lock, wait, [this] { return m_count < m_capacity || m_drains == 0; });
    --m_waiters;
  }
  if (m_count >= m_capacity) {
    CountDropLocked(moment, tickSec);
    return false;
  }
  StoreLocked(std::move(record));
  return true;
}

bool TEventFIFO::Get(TEventFIFO_Rec& record) {
  TEventFIFO_Rec taken;
  bool wake = false;
  {
    std::lock_guard lock(m_mutex);
    if (m_count < 1) return false;
    taken = std::move(m_items[static_cast<size_t>(m_readIndex)]);
    m_readIndex = (m_readIndex + 1) % m_capacity;
    --m_count;
    wake = m_waiters > 0;
  }
  if (wake) m_roomFreed.notify_one();
  // Whatever "record" held before is released here, outside the lock.
  record = std::move(taken);
  return true;
}

bool TEventFIFO::Get(QString& text, TDateTime& moment, uint32_t& tickSec, uint32_t& flags) {
  TEventFIFO_Rec record;
  if (!Get(record)) return false;
  text = std::move(record.Text);
  moment = record.Moment;
  tickSec = record.TickSec;
  flags = record.Flags;
  return true;
}

int TEventFIFO::GetCount() const {
  std::lock_guard lock(m_mutex);
  return m_count;
}

uint32_t TEventFIFO::TakeTrailingDrops(TDateTime& lastMoment, uint32_t& lastTickSec) {
  std::lock_guard lock(m_mutex);
  // While records wait, the refusals came after them and are told after them.
  if (m_count > 0 || m_droppedPending == 0) return 0;
  lastMoment = m_lastDropMoment;
  lastTickSec = m_lastDropTickSec;
  return std::exchange(m_droppedPending, 0u);
}

void TEventFIFO::AttachDrain() {
  std::lock_guard lock(m_mutex);
  ++m_drains;
}

void TEventFIFO::DetachDrain() {
  {
    std::lock_guard lock(m_mutex);
    --m_drains;
  }
  // Waiters give up at once rather than wait out their time for a drain
  // that is gone.
  m_roomFreed.notify_all();
}
