#include "storage/eventlog.h"

#include <time.h>

#include <atomic>
#include <exception>

#include "common/formatfloat.h"
#include "storage/logfile.h"

namespace {

class SystemEnvironment final : public LogEnvironment {
 public:
  TDateTime Now() const override { return NowDateTime(); }

  uint32_t TickCount() const override {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms =
        static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    // A 32-bit tick wraps after about 49.7 days, and the log's uptime column with it.
    return static_cast<uint32_t>(ms);
  }

  void Beep() override {}
};

std::atomic<LogEnvironment*> g_environment{nullptr};
std::atomic<uint64_t> g_droppedMessages{0};

}  // namespace

TEventFIFO& EventFIFO() {
  static TEventFIFO fifo(kEventFIFOCapacity);
  return fifo;
}

LogEnvironment& SystemLogEnvironment() {
  static SystemEnvironment environment;
  return environment;
}

void SetLogEnvironment(LogEnvironment* environment) {
  g_environment.store(environment, std::memory_order_release);
}

LogEnvironment& CurrentLogEnvironment() {
  LogEnvironment* environment = g_environment.load(std::memory_order_acquire);
  return environment != nullptr ? *environment : SystemLogEnvironment();
}

bool AddLogMessage(TEventFIFO& fifo, const QString& text, uint32_t flags, LogEnvironment& environment) {
  if (text.isNull()) return false;
  const uint32_t tickSec = environment.TickCount() / 1000u;
  if (fifo.Put(text, environment.Now(), tickSec, flags)) return true;
  environment.Beep();
  return false;
}

bool AddLogMessage(const QString& text, uint32_t flags) {
  if (text.isNull()) return false;
  if (AddLogMessage(EventFIFO(), text, flags, CurrentLogEnvironment())) return true;
  g_droppedMessages.fetch_add(1, std::memory_order_relaxed);
  return false;
}

uint64_t DroppedLogMessageCount() {
  return g_droppedMessages.load(std::memory_order_relaxed);
}

QString EventLogLine(const TEventFIFO_Rec& record) {
  static const QString kSeparator = QStringLiteral(" | ");
  return QString::number(record.TickSec) + kSeparator +
         FormatDateTime(QStringLiteral("dd.mm.yyyy"), record.Moment) + kSeparator +
         FormatDateTime(QStringLiteral("hh:nn:ss"), record.Moment) + kSeparator + record.Text;
}

TEventLogDrain::TEventLogDrain(TEventFIFO& fifo, LogFileWriter& writer, WarningWindowSink* sink)
    : m_fifo(fifo), m_writer(writer), m_sink(sink) {}

int TEventLogDrain::Drain(bool saveToFile) {
  int taken = 0;
  for (int pass = 0; pass < kDrainBatch; ++pass) {
    TEventFIFO_Rec record;
    if (!m_fifo.Get(record)) break;
    ++taken;
    // The window and the file are contained separately: a window that fails
    // to show must not cost the message its line in the file, which is the
    // record that survives.
    if ((record.Flags & kLogFlagShowWindow) != 0 && m_sink != nullptr) {
      try {
        if ((record.Flags & kLogFlagOwnWindow) != 0) {
          m_sink->ShowSeparate(record.Text, record.Moment, record.Flags);
        } else {
          m_sink->ShowShared(record.Text, record.Moment, record.Flags);
        }
      } catch (...) {
      }
    }
    if (saveToFile) {
      try {
        // A line that cannot be written is lost; the next message still gets its chance.
        m_writer.WriteToLogFile(EventLogLine(record));
      } catch (...) {
      }
    }
  }
  return taken;
}
