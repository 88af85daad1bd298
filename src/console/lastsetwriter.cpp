#include "console/lastsetwriter.h"

#include <chrono>
#include <cstring>

#include "storage/eventlog.h"

namespace {

// Bit by bit, so that a value that is not a number (which never equals
// itself) is written once and not at every check.
bool SameBits(const TLastSetWriter::Values& a, const TLastSetWriter::Values& b) {
  return std::memcmp(a.data(), b.data(), sizeof(float) * a.size()) == 0;
}

}  // namespace

TLastSetWriter::TLastSetWriter(const SetpointBlock& setpoints, WriteFunction write, QString fileName)
    : m_setpoints(setpoints),
      m_write(std::move(write)),
      m_fileName(std::move(fileName)),
      m_lastTried(Read(setpoints)) {}

TLastSetWriter::~TLastSetWriter() {
  Stop();
}

TLastSetWriter::Values TLastSetWriter::Read(const SetpointBlock& setpoints) {
  Values values{};
  for (int i = 0; i < kSetpointCount; ++i)
    values[static_cast<size_t>(i)] = setpoints.Get(static_cast<SetpointIndex>(i));
  return values;
}

void TLastSetWriter::Start(const Values& onDisk, int checkIntervalMs) {
  if (m_thread.joinable()) return;
  m_lastTried = onDisk;
  {
    std::lock_guard lock(m_stopMutex);
    m_stopRequested = false;
  }
  m_thread = std::thread([this, checkIntervalMs] { Run(checkIntervalMs); });
}

void TLastSetWriter::Stop() {
  if (!m_thread.joinable()) return;
  {
    std::lock_guard lock(m_stopMutex);
    m_stopRequested = true;
  }
  m_stopSignal.notify_all();
  m_thread.join();
}

void TLastSetWriter::Run(int checkIntervalMs) {
  const std::chrono::milliseconds interval(checkIntervalMs > 0 ? checkIntervalMs : kCheckIntervalMs);
  std::unique_lock lock(m_stopMutex);
  while (!m_stopSignal.wait_for(lock, interval, [this] { return m_stopRequested; })) {
    lock.unlock();
    Poll();
    lock.lock();
  }
}

bool TLastSetWriter::Poll() {
  const Values now = Read(m_setpoints);
  if (SameBits(now, m_lastTried)) return false;
  // A failed value is not tried again until the setpoints change: a file
  // that cannot be written is not hammered every quarter second.
  m_lastTried = now;
  bool written = false;
  try {
    written = m_write(now);
  } catch (...) {
    written = false;
  }
  if (!written && !m_failing) {
    m_failing = true;
    AddLogMessage(u"Не удалось записать уставки в файл "_qs + m_fileName +
                  u"; повторная попытка при следующем изменении уставок."_qs);
  } else if (written && m_failing) {
    m_failing = false;
    AddLogMessage(u"Уставки снова записываются в файл "_qs + m_fileName + u'.');
  }
  return written;
}
