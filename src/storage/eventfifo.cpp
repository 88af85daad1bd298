#include "storage/eventfifo.h"

#include <algorithm>
#include <utility>

TEventFIFO::TEventFIFO(int capacity)
    : m_capacity(std::max(capacity, kMinimumCapacity)), m_items(static_cast<size_t>(m_capacity)) {}

bool TEventFIFO::Put(const QString& text, TDateTime moment, uint32_t tickSec, uint32_t flags) {
  // The copy only bumps a shared reference count, but taking it before the
  // lock keeps the critical section down to a few moves.
  TEventFIFO_Rec record{text, moment, tickSec, flags};
  std::lock_guard lock(m_mutex);
  if (m_count >= m_capacity) return false;
  // Get moved the previous text out of this slot, so nothing is freed here.
  m_items[static_cast<size_t>(m_writeIndex)] = std::move(record);
  m_writeIndex = (m_writeIndex + 1) % m_capacity;
  ++m_count;
  return true;
}

bool TEventFIFO::Get(TEventFIFO_Rec& record) {
  TEventFIFO_Rec taken;
  {
    std::lock_guard lock(m_mutex);
    if (m_count < 1) return false;
    taken = std::move(m_items[static_cast<size_t>(m_readIndex)]);
    m_readIndex = (m_readIndex + 1) % m_capacity;
    --m_count;
  }
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
