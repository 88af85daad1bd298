#include "storage/minutejournal.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "storage/eventlog.h"

namespace {

constexpr std::chrono::milliseconds kFlushWait{5000};

void Log(const QString& text) {
  AddLogMessage(u"Журнал минутных записей: "_qs + text);
}

QString ErrorText(int error) {
  return QString::fromLocal8Bit(std::strerror(error));
}

std::size_t CompactThreshold(int limit) {
  const std::size_t full = kJournalHeaderSize + static_cast<std::size_t>(std::max(limit, 1)) *
                                                    (kJournalEntryFrameSize + kJournalRecordPayloadSize);
  return 2 * full;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) {
      errno = ENOSPC;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// So that the rename itself survives a power cut.
void SyncFolder(const QString& folder) {
  const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

TMinuteJournal::TMinuteJournal(QString path, Options options)
    : m_path(std::move(path)),
      m_options(options),
      m_compactAbove(CompactThreshold(options.Limit)),
      m_contents(options.Limit) {}

TMinuteJournal::~TMinuteJournal() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_wake.notify_one();
  if (m_writer.joinable()) m_writer.join();
  CloseFile();
}

std::vector<JournalRecord> TMinuteJournal::Open() {
  const QString name = QFileInfo(m_path).fileName();
  const QString badPath = m_path + u".bad"_qs;

  QByteArray bytes;
  bool readable = true;
  const bool exists = QFileInfo::exists(m_path);
  if (exists) {
    QFile file(m_path);
    if (file.open(QIODevice::ReadOnly)) {
      bytes = file.readAll();
      readable = file.error() == QFileDevice::NoError;
    } else {
      readable = false;
    }
  }

  const JournalReadResult read = ReadMinuteJournal(bytes, m_options.Limit);
  bool rewrite = !exists;
  const auto setAside = [&](const QString& why) {
    QFile::remove(badPath);
    const bool kept = QFile::rename(m_path, badPath);
    Log(why + (kept ? u", он сохранён как "_qs + QFileInfo(badPath).fileName() : u""_qs) +
        u"; начат новый журнал."_qs);
    rewrite = true;
  };
  if (QFileInfo(m_path).isDir()) {
    rewrite = true;  // fails, and says so: a folder is nobody's journal to move
  } else if (exists && !readable) {
    setAside(u"файл "_qs + name + u" не читается"_qs);
  } else if (exists) {
    switch (read.Header) {
      case JournalHeaderState::kEmpty:
        Log(u"файл "_qs + name + u" пуст; начат новый журнал."_qs);
        rewrite = true;
        break;
      case JournalHeaderState::kGarbage:
        setAside(u"файл "_qs + name + u" не является журналом"_qs);
        break;
      case JournalHeaderState::kOtherVersion:
        setAside(u"файл "_qs + name + u" другой версии ("_qs + QString::number(read.Version) + u')');
        break;
      case JournalHeaderState::kValid:
        if (read.CutBytes > 0) {
          Log(u"повреждённый конец файла ("_qs + QString::number(read.CutBytes) +
              u" байт) отброшен, записи до него восстановлены."_qs);
          rewrite = true;
        }
        if (read.PushedOut > 0) {
          Log(QString::number(read.PushedOut) + u" старейших записей сверх предела ("_qs +
              QString::number(m_contents.Limit()) + u") отброшено."_qs);
          rewrite = true;
        }
        break;
    }
  }
  if (read.Header == JournalHeaderState::kValid) {
    for (const JournalRecord& record : read.Records) m_contents.Add(record);
  }

  if (rewrite) {
    Compact();
  } else {
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (m_fd < 0) {
      Fail(u"открыть"_qs, errno);
    } else {
      m_fileSize = static_cast<int64_t>(bytes.size());
    }
  }
  if (!m_contents.Records().empty()) {
    Log(u"восстановлено записей, не подтверждённых станцией: "_qs +
        QString::number(m_contents.Records().size()) + u'.');
  }
  m_lastSync = std::chrono::steady_clock::now();
  m_writer = std::thread([this] { WriterLoop(); });
  return {m_contents.Records().begin(), m_contents.Records().end()};
}

void TMinuteJournal::AppendRecord(const JournalRecord& record) {
  Hand(Entry{Kind::kRecord, record});
}

void TMinuteJournal::AppendSaved(double recMoment) {
  Entry entry{Kind::kSaved, {}};
  entry.Record.RecMoment = recMoment;
  Hand(entry);
}

void TMinuteJournal::Hand(const Entry& entry) {
  {
    std::lock_guard lock(m_mutex);
    if (m_off || m_stop || !m_writer.joinable()) return;
    if (m_pending.size() >= m_options.MaxPending) {
      // The writer has been stuck for days: what it missed cannot be made
      // up, so the file must not be trusted at the next start either.
      m_overflow = true;
      m_off = true;
    } else {
      m_pending.push_back(entry);
      ++m_handedSeq;
    }
  }
  m_wake.notify_one();
}

bool TMinuteJournal::WaitHandedOver() {
  std::unique_lock lock(m_mutex);
  const uint64_t target = m_handedSeq;
  if (m_handledSeq >= target) return true;
  if (m_off || m_stalled) return false;
  if (m_handled.wait_for(lock, m_options.HandOverWait, [&] { return m_handledSeq >= target; })) return true;
  m_stalled = true;
  lock.unlock();
  Log(u"запись на диск задерживается; станции отвечают, не дожидаясь её."_qs);
  return false;
}

bool TMinuteJournal::Flush() {
  std::unique_lock lock(m_mutex);
  if (!m_writer.joinable() || m_off) return false;
  const uint64_t target = ++m_flushRequested;
  m_wake.notify_one();
  if (!m_handled.wait_for(lock, kFlushWait, [&] { return m_flushDone >= target; })) return false;
  return m_flushOk;
}

uint64_t TMinuteJournal::SyncCount() const {
  std::lock_guard lock(m_mutex);
  return m_syncCount;
}

uint64_t TMinuteJournal::CompactionCount() const {
  std::lock_guard lock(m_mutex);
  return m_compactionCount;
}

bool TMinuteJournal::Writable() const {
  std::lock_guard lock(m_mutex);
  return m_writable;
}

void TMinuteJournal::WriterLoop() {
  std::unique_lock lock(m_mutex);
  for (;;) {
    const auto ready = [&] {
      return m_stop || m_overflow || !m_pending.empty() || m_flushRequested != m_flushDone;
    };
    // m_unsynced and m_broken belong to this thread; reading them here is safe.
    if (m_unsynced || m_broken) {
      m_wake.wait_until(lock, m_lastSync + m_options.SyncInterval, ready);
    } else {
      m_wake.wait(lock, ready);
    }
    std::vector<Entry> batch;
    batch.swap(m_pending);
    const uint64_t handed = m_handedSeq;
    const uint64_t flushTarget = m_flushRequested;
    const bool flush = flushTarget != m_flushDone;
    const bool stop = m_stop;
    const bool overflow = m_overflow;
    m_overflow = false;
    lock.unlock();

    if (overflow) {
      Log(u"запись на диск остановилась надолго; журнал очищен и отключён до перезапуска, "_qs
          u"минутные записи хранятся только в памяти."_qs);
      m_contents = JournalContents(m_options.Limit);
      Compact();
      CloseFile();
    } else {
      WriteBatch(batch);
      const bool due = std::chrono::steady_clock::now() - m_lastSync >= m_options.SyncInterval;
      if (flush || stop || due) SyncOrCompact(flush || stop);
    }

    lock.lock();
    m_handledSeq = handed;
    m_stalled = false;
    m_flushDone = flushTarget;
    m_flushOk = !m_broken && m_fd >= 0;
    m_handled.notify_all();
    if (stop && m_pending.empty()) break;
  }
}

void TMinuteJournal::WriteBatch(const std::vector<Entry>& batch) {
  if (m_fd < 0 && !m_broken) return;  // switched off after an overflow
  QByteArray bytes;
  for (const Entry& entry : batch) {
    if (entry.What == Kind::kRecord) {
      m_contents.Add(entry.Record);
      AppendRecordEntry(bytes, entry.Record);
    } else {
      m_contents.Confirm(entry.Record.RecMoment);
      AppendSavedEntry(bytes, entry.Record.RecMoment);
    }
  }
  if (m_broken || bytes.isEmpty()) return;
  if (!AppendBytes(bytes)) return;
  m_fileSize += bytes.size();
  m_unsynced = true;
}

bool TMinuteJournal::AppendBytes(const QByteArray& bytes) {
  if (WriteAll(m_fd, bytes.constData(), static_cast<std::size_t>(bytes.size()))) return true;
  const int error = errno;
  // Whatever part did reach the file would be a torn entry; later entries
  // must never follow one, so the file waits for a rewrite.
  if (::ftruncate(m_fd, m_fileSize) != 0) {
    // The next start cuts the torn entry off.
  }
  Fail(u"дописать"_qs, error);
  return false;
}

void TMinuteJournal::SyncOrCompact(bool force) {
  const auto now = std::chrono::steady_clock::now();
  const bool due = now - m_lastSync >= m_options.SyncInterval;
  if (m_broken) {
    // A rewrite is the only way back; try it once per interval, or when asked.
    if (due || force) {
      m_lastSync = now;
      Compact();
    }
    return;
  }
  if (m_fd < 0) return;
  if (static_cast<std::size_t>(m_fileSize) > m_compactAbove && Compact()) {
    m_lastSync = now;
    return;
  }
  if (!m_unsynced) return;
  m_lastSync = now;
  if (::fdatasync(m_fd) != 0) {
    Fail(u"сохранить на диск"_qs, errno);
    return;
  }
  m_unsynced = false;
  std::lock_guard lock(m_mutex);
  ++m_syncCount;
}

bool TMinuteJournal::Compact() {
  const QByteArray bytes = CompactedJournal(m_contents.Records());
  const QString temporary = m_path + u".tmp"_qs;
  const QByteArray temporaryName = QFile::encodeName(temporary);
  const bool oldFileIntact = m_fd >= 0 && !m_broken;

  const int fd = ::open(temporaryName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    Fail(u"переписать"_qs, errno, oldFileIntact);
    return false;
  }
  const bool written =
      WriteAll(fd, bytes.constData(), static_cast<std::size_t>(bytes.size())) && ::fsync(fd) == 0;
  const int writeError = errno;
  ::close(fd);
  if (!written) {
    ::unlink(temporaryName.constData());
    Fail(u"переписать"_qs, writeError, oldFileIntact);
    return false;
  }
  if (::rename(temporaryName.constData(), QFile::encodeName(m_path).constData()) != 0) {
    const int error = errno;
    ::unlink(temporaryName.constData());
    Fail(u"переписать"_qs, error, oldFileIntact);
    return false;
  }
  SyncFolder(QFileInfo(m_path).absolutePath());

  CloseFile();
  m_fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (m_fd < 0) {
    Fail(u"открыть"_qs, errno);
    return false;
  }
  m_fileSize = bytes.size();
  m_unsynced = false;
  const bool wasBroken = m_broken;
  m_broken = false;
  m_compactFailed = false;
  bool recovered = false;
  {
    std::lock_guard lock(m_mutex);
    ++m_syncCount;
    ++m_compactionCount;
    recovered = !m_writable;
    m_writable = true;
  }
  if (recovered || wasBroken) Log(u"файл "_qs + QFileInfo(m_path).fileName() + u" снова записывается."_qs);
  return true;
}

void TMinuteJournal::Fail(const QString& what, int error, bool oldFileIntact) {
  // A rewrite that fails while the old file still takes appends costs only
  // its size; anything else leaves the file behind the journal's contents.
  if (oldFileIntact) {
    if (!m_compactFailed) {
      Log(u"не удалось переписать файл "_qs + QFileInfo(m_path).fileName() + u" ("_qs + ErrorText(error) +
          u"); он пока растёт."_qs);
    }
    m_compactFailed = true;
    return;
  }
  m_broken = true;
  bool first = false;
  {
    std::lock_guard lock(m_mutex);
    first = m_writable;
    m_writable = false;
  }
  if (first) {
    Log(u"не удалось "_qs + what + u" файл "_qs + m_path + u" ("_qs + ErrorText(error) +
        u"); минутные записи хранятся в памяти, запись повторяется раз в минуту."_qs);
  }
}

void TMinuteJournal::CloseFile() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}
