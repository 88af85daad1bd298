#include "collector.h"

#include "common/cp1251.h"
#include "minuterecord.h"

namespace {
const QByteArray kNoRecords("Error:no records");
const QByteArray kRecordNotFound("Error:record not found");
}  // namespace

Collector::Collector(StationLink& link, StationDatabase& database, CollectorOutput output,
                     const std::atomic<bool>* stopRequested)
    : m_link(link), m_database(database), m_output(std::move(output)), m_stopRequested(stopRequested) {}

bool Collector::StopRequested() const {
  return m_stopRequested != nullptr && m_stopRequested->load(std::memory_order_relaxed);
}

void Collector::Progress(const QString& line) const {
  if (m_output.Verbose && m_output.Write) m_output.Write(line);
}

void Collector::Warn(const QString& line) const {
  if (m_output.Write) m_output.Write(line);
}

bool Collector::Failed(DrainResult& result, const QString& error) {
  result.Ok = false;
  result.Error = error;
  return false;
}

bool Collector::Ask(const QByteArray& command, const QByteArray& data, const QByteArray& expected,
                    QByteArray& rest, DrainResult& result) {
  QByteArray reply;
  QString error;
  if (!m_link.Exchange(command, data, reply, error)) return Failed(result, error);
  if (!reply.startsWith(expected)) {
    // A reply to something else means the link is out of step: start afresh.
    m_link.Close();
    return Failed(result, QStringLiteral("%1: %2 answered \"%3\"")
                              .arg(m_link.Describe(), QString::fromLatin1(command), ShowBytes(reply)));
  }
  rest = reply.mid(expected.size());
  return true;
}

bool Collector::AskCount(const QByteArray& command, int& count, DrainResult& result) {
  QByteArray rest;
  if (!Ask(command, {}, command + "_OK:", rest, result)) return false;
  bool ok = false;
  count = rest.toInt(&ok);
  if (!ok || count < 0) {
    m_link.Close();
    return Failed(result, QStringLiteral("%1: %2 gave \"%3\", not a count")
                              .arg(m_link.Describe(), QString::fromLatin1(command), ShowBytes(rest)));
  }
  return true;
}

DrainResult Collector::Drain() {
  DrainResult result;
  QString error;
  // The database first: a record is not fetched unless there is somewhere to put it.
  if (!m_database.Open(error)) {
    Failed(result, error);
    return result;
  }
  if (DrainMinutes(result) && !StopRequested()) DrainLogLines(result);
  return result;
}

bool Collector::DrainMinutes(DrainResult& result) {
  int waiting = 0;
  if (!AskCount("GetUnsavedCount", waiting, result)) return false;
  for (int i = 0; i < waiting && !StopRequested(); ++i) {
    QByteArray text;
    QByteArray reply;
    QString error;
    if (!m_link.Exchange("GetUnsavedRecord", {}, reply, error)) return Failed(result, error);
    if (reply == kNoRecords) break;  // the console dropped its oldest records meanwhile
    static const QByteArray kOk("GetUnsavedRecord_OK:");
    if (!reply.startsWith(kOk)) {
      m_link.Close();
      return Failed(
          result,
          QStringLiteral("%1: GetUnsavedRecord answered \"%2\"").arg(m_link.Describe(), ShowBytes(reply)));
    }
    text = reply.mid(kOk.size());

    MinuteRecord record;
    QByteArray moment;
    if (ParseMinuteRecord(text, record, error)) {
      if (!m_database.StoreMinute(record, error)) return Failed(result, error);
      moment = record.RecMoment;
      ++result.MinutesStored;
      if (!record.NonFiniteNames.isEmpty())
        Warn(QStringLiteral("warning: minute %1 stored with NULL for %2 (not finite numbers)")
                 .arg(QString::fromLatin1(moment), record.NonFiniteNames.join(u", ")));
      Progress(QStringLiteral("stored minute %1").arg(QString::fromLatin1(moment)));
    } else {
      const QString parseError = error;
      if (!m_database.StoreRejected(FromCp1251(text), error)) return Failed(result, error);
      ++result.RecordsRejected;
      moment = FindRecMoment(text);
      Warn(QStringLiteral("rejected a minute record (%1); its text is kept in puf_rejected").arg(parseError));
      if (moment.isEmpty())
        return Failed(result, QStringLiteral("a rejected record has no RecMoment to acknowledge; "
                                             "the console will offer it again"));
    }

    // Stored and committed: now the console may forget it.
    QByteArray rest;
    if (!m_link.Exchange("SetSaveFlag", moment, reply, error)) return Failed(result, error);
    if (reply == kRecordNotFound) {
      // Dropped from the console's list between fetch and acknowledgement: stored all the same.
      Warn(QStringLiteral("warning: the console no longer holds minute %1 (stored)")
               .arg(QString::fromLatin1(moment)));
    } else if (!reply.startsWith("SetSaveFlag_OK:")) {
      m_link.Close();
      return Failed(
          result, QStringLiteral("%1: SetSaveFlag answered \"%2\"").arg(m_link.Describe(), ShowBytes(reply)));
    }
  }
  return true;
}

bool Collector::DrainLogLines(DrainResult& result) {
  int waiting = 0;
  if (!AskCount("GetLogRecCount", waiting, result)) return false;
  int stored = 0;
  for (int i = 0; i < waiting && !StopRequested(); ++i) {
    // The console sends nothing at all for an empty list, so only a reported line is asked for.
    QByteArray line;
    if (!Ask("GetLogRec", {}, "GetLogRec_OK:", line, result)) return false;

    LogLine parsed;
    QString error;
    QByteArray tick;
    if (ParseLogLine(line, parsed, error)) {
      if (!m_database.StoreLogLine(parsed, error)) return Failed(result, error);
      tick = parsed.TickText;
      ++result.LogLinesStored;
      ++stored;
    } else {
      const QString parseError = error;
      tick = FindLogTick(line);
      if (tick.isEmpty())
        return Failed(result,
                      QStringLiteral("a log line without a tick cannot be deleted: %1").arg(parseError));
      if (!m_database.StoreRejected(FromCp1251(line), error)) return Failed(result, error);
      Warn(QStringLiteral("rejected a log line (%1); its text is kept in puf_rejected").arg(parseError));
    }

    // DeleteLogRec removes the oldest line beginning with these digits. The line just read is
    // the oldest of all, so it is the one removed even when a younger tick starts the same way.
    QByteArray deleted;
    if (!Ask("DeleteLogRec", tick, "DeleteLogRec_OK:", deleted, result)) return false;
    if (deleted != "1")
      Warn(QStringLiteral("warning: the console no longer holds log line %1 (stored)")
               .arg(QString::fromLatin1(tick)));
  }
  if (stored > 0) Progress(QStringLiteral("stored %1 log line(s)").arg(stored));
  return true;
}
