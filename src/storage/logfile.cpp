#include "storage/logfile.h"

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cerrno>
#include <utility>

#include "common/cp1251.h"
#include "common/formatfloat.h"
#include "storage/eventlog.h"

namespace {

// Writes the whole buffer, carrying on after short writes and signals.
// Returns how many bytes reached the file; errno tells why it stopped short.
qsizetype WriteAll(int fd, const char* data, qsizetype size) {
  qsizetype written = 0;
  while (written < size) {
    const ssize_t n = ::write(fd, data + written, static_cast<size_t>(size - written));
    if (n < 0) {
      if (errno == EINTR) continue;
      return written;
    }
    if (n == 0) {
      errno = EIO;
      return written;
    }
    written += n;
  }
  return written;
}

}  // namespace

LogFileWriter::LogFileWriter(QString folder, LogEnvironment& environment)
    : m_folder(std::move(folder)), m_environment(environment) {}

QString LogFileWriter::FileNameFor(TDateTime day) {
  return FormatDateTime(QStringLiteral("yyyy_mm_dd"), day) + QStringLiteral(".log");
}

QString LogFileWriter::AuditFileNameFor(TDateTime day) {
  return FormatDateTime(QStringLiteral("yyyy_mm_dd"), day) + QStringLiteral(".audit.log");
}

QString LogFileWriter::TodaysPath(QString (*nameFor)(TDateTime)) const {
  if (m_folder.isEmpty() || !QDir().mkpath(m_folder)) return {};
  return QDir(m_folder).filePath(nameFor(m_environment.Now()));
}

bool LogFileWriter::WriteToLogFile(const QString& line) {
  const QString path = TodaysPath(&FileNameFor);
  if (path.isEmpty()) return false;
  QByteArray bytes = ToCp1251(line);
  bytes.append("\r\n", 2);
  return AppendToFile(path, bytes);
}

bool LogFileWriter::WriteToAuditFile(const QStringList& lines) {
  if (lines.isEmpty()) return true;
  const QString path = TodaysPath(&AuditFileNameFor);
  if (path.isEmpty()) return false;
  QByteArray bytes;
  for (const QString& line : lines) {
    bytes += ToCp1251(line);
    bytes.append("\r\n", 2);
  }
  return AppendToFile(path, bytes);
}

bool LogFileWriter::AppendToFile(const QString& path, const QByteArray& bytes) {
  const QByteArray nativePath = QFile::encodeName(path);
  int fd = -1;
  do {
    fd = ::open(nativePath.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;

  const qsizetype written = WriteAll(fd, bytes.constData(), bytes.size());
  bool ok = written == bytes.size();
  if (!ok && written > 0) {
    // Half a line would glue itself to the next one; cut the file back to
    // where this line began. With O_APPEND the offset sits right after our bytes.
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    if (end >= written) {
      while (::ftruncate(fd, end - written) < 0 && errno == EINTR) {
      }
    }
  }
  // Some file systems only report a failed write when the file is closed.
  // Linux frees the descriptor even when close is interrupted, so no retry.
  if (::close(fd) < 0 && errno != EINTR) ok = false;
  return ok;
}
