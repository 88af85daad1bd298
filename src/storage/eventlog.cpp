#include "storage/eventlog.h"

#include <time.h>

#include <atomic>
#include <exception>
#include <utility>

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

TEventFIFO& AuditFIFO() {
  static TEventFIFO fifo(kAuditFIFOCapacity);
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

bool AddAuditMessage(TEventFIFO& audit, TEventFIFO& events, const QString& text, LogEnvironment& environment,
                     std::chrono::milliseconds wait) {
  if (text.isNull()) return false;
  const TDateTime moment = environment.Now();
  const uint32_t tickSec = environment.TickCount() / 1000u;
  // The copy goes first, so that in the event log it stands where it happened.
  if (events.GetCount() < kAuditCopyLimit) events.Put(text, moment, tickSec, 0);
  return audit.PutWaiting(text, moment, tickSec, 0, wait);
}

bool AddAuditMessage(const QString& text) {
  return AddAuditMessage(AuditFIFO(), EventFIFO(), text, CurrentLogEnvironment());
}

QString LostEventsText(uint32_t count) {
  return QStringLiteral("Журнал событий: потеряно сообщений: %1 (очередь была заполнена)").arg(count);
}

QString LostAuditLinesText(uint32_t count) {
  return QStringLiteral("Журнал изменений: потеряно записей: %1 (очередь была заполнена)").arg(count);
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

namespace {

// A line of the same form as a message's, for a text the drain writes itself.
QString LineAt(TDateTime moment, uint32_t tickSec, const QString& text) {
  TEventFIFO_Rec record;
  record.Text = text;
  record.Moment = moment;
  record.TickSec = tickSec;
  return EventLogLine(record);
}

}  // namespace

TEventLogDrain::TEventLogDrain(TEventFIFO& fifo, LogFileWriter& writer, WarningWindowSink* sink)
    : TEventLogDrain(fifo, &fifo == &EventFIFO() ? &AuditFIFO() : nullptr, writer, sink) {}

TEventLogDrain::TEventLogDrain(TEventFIFO& fifo, TEventFIFO* audit, LogFileWriter& writer,
                               WarningWindowSink* sink)
    : m_fifo(fifo), m_audit(audit), m_writer(writer), m_sink(sink) {
  if (m_audit != nullptr) m_audit->AttachDrain();
}

TEventLogDrain::~TEventLogDrain() {
  if (m_audit != nullptr) m_audit->DetachDrain();
}

void TEventLogDrain::WriteLine(const QString& line, bool saveToFile) {
  if (!saveToFile) return;
  try {
    // A line that cannot be written is lost; the next message still gets its chance.
    m_writer.WriteToLogFile(line);
  } catch (...) {
  }
}

int TEventLogDrain::DrainAudit(bool saveToFile) {
  if (m_audit == nullptr) return 0;
  QStringList lines = std::move(m_auditBacklog);
  m_auditBacklog.clear();
  int taken = 0;
  // Bounded, so that posters that keep the queue full cannot hold the drain here.
  TEventFIFO_Rec record;
  while (taken < m_audit->Capacity() && m_audit->Get(record)) {
    ++taken;
    if (record.DroppedBefore > 0) {
      const QString lost = LostAuditLinesText(record.DroppedBefore);
      lines << LineAt(record.Moment, record.TickSec, lost);
      m_fifo.Put(lost, record.Moment, record.TickSec, 0);
    }
    lines << EventLogLine(record);
  }
  TDateTime lastMoment = 0;
  uint32_t lastTickSec = 0;
  if (const uint32_t lost = m_audit->TakeTrailingDrops(lastMoment, lastTickSec); lost > 0) {
    lines << LineAt(lastMoment, lastTickSec, LostAuditLinesText(lost));
    m_fifo.Put(LostAuditLinesText(lost), lastMoment, lastTickSec, 0);
  }
  if (!saveToFile || lines.isEmpty()) return taken;

  bool written = false;
  try {
    written = m_writer.WriteToAuditFile(lines);
  } catch (...) {
  }
  if (written) return taken;
  // Kept for the next tick: a full disk or a folder that is briefly away
  // must not cost the trail its lines. Past one queue's worth the newest
  // go, told by a line of their own.
  const qsizetype limit = m_audit->Capacity();
  if (lines.size() > limit) {
    const auto lost = static_cast<uint32_t>(lines.size() - limit);
    lines.resize(limit);
    lines << LineAt(CurrentLogEnvironment().Now(), CurrentLogEnvironment().TickCount() / 1000u,
                    LostAuditLinesText(lost));
  }
  m_auditBacklog = std::move(lines);
  return taken;
}

int TEventLogDrain::Drain(bool saveToFile) {
  int taken = DrainAudit(saveToFile);
  for (int pass = 0; pass < kDrainBatch; ++pass) {
    TEventFIFO_Rec record;
    if (!m_fifo.Get(record)) break;
    ++taken;
    if (record.DroppedBefore > 0) {
      WriteLine(LineAt(record.Moment, record.TickSec, LostEventsText(record.DroppedBefore)), saveToFile);
    }
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
    if (m_echo) {
      try {
        if (record.DroppedBefore > 0) m_echo(LostEventsText(record.DroppedBefore));
        m_echo(record.Text);
      } catch (...) {
      }
    }
    WriteLine(EventLogLine(record), saveToFile);
  }
  TDateTime lastMoment = 0;
  uint32_t lastTickSec = 0;
  // Only once every message before the loss is out (the queue sees to that).
  if (const uint32_t lost = m_fifo.TakeTrailingDrops(lastMoment, lastTickSec); lost > 0) {
    WriteLine(LineAt(lastMoment, lastTickSec, LostEventsText(lost)), saveToFile);
    if (m_echo) {
      try {
        m_echo(LostEventsText(lost));
      } catch (...) {
      }
    }
  }
  return taken;
}
