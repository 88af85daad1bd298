#include "console/startupcheck.h"

#include <fcntl.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

namespace {

// Big enough that a full disk refuses it even where an empty file still fits.
constexpr qsizetype kProbeBytes = 4096;

QString ErrorText(int error) {
  return QString::fromLocal8Bit(std::strerror(error));
}

// Writes a small file in the folder, flushes it to the disk and removes it.
// 0 when that worked, the errno of the first failure otherwise.
int ProbeFolder(const QString& folder) {
  QByteArray path =
      QFile::encodeName(QDir(folder).filePath(QStringLiteral(".flotation-console-probe-XXXXXX")));
  const int fd = ::mkstemp(path.data());
  if (fd < 0) return errno;
  const QByteArray bytes(kProbeBytes, '\n');
  int error = 0;
  const char* data = bytes.constData();
  qsizetype left = bytes.size();
  while (left > 0 && error == 0) {
    const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
    if (written < 0) {
      if (errno != EINTR) error = errno;
      continue;
    }
    data += written;
    left -= written;
  }
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  ::unlink(path.constData());
  return error;
}

void CheckIniFile(const QString& iniPath, std::vector<StartupProblem>& problems) {
  const QFileInfo ini(iniPath);
  const QString shown = QDir::toNativeSeparators(ini.absoluteFilePath());
  if (ini.isDir()) {
    problems.push_back({u"Файл настроек "_qs + shown +
                            u" не может быть записан: на его месте папка. Настройки и уставки не будут "
                            u"сохранены."_qs,
                        u"cannot write the configuration file "_qs + shown +
                            u": it is a folder; settings and setpoints will not be saved"_qs});
    return;
  }
  // The file is replaced through a new file beside it, so what counts is
  // whether its folder takes one.
  if (const int error = ProbeFolder(ini.absolutePath()); error != 0) {
    problems.push_back({u"Файл настроек "_qs + shown + u" не может быть записан ("_qs + ErrorText(error) +
                            u"). Настройки и уставки не будут сохранены."_qs,
                        u"cannot write the configuration file "_qs + shown + u" ("_qs + ErrorText(error) +
                            u"); settings and setpoints will not be saved"_qs});
  }
}

void CheckLogFolder(const QString& logDir, std::vector<StartupProblem>& problems) {
  const QFileInfo log(logDir);
  const QString shown = QDir::toNativeSeparators(log.absoluteFilePath());
  if (log.exists() && !log.isDir()) {
    problems.push_back({u"Журнал событий не может быть записан: "_qs + shown + u" — файл, а не папка."_qs,
                        u"cannot write the event log: "_qs + shown + u" is a file, not a folder"_qs});
    return;
  }
  if (!log.exists() && !QDir().mkpath(log.absoluteFilePath())) {
    // mkpath does not say why; the probe in the parent usually does.
    const int error = ProbeFolder(log.absolutePath());
    const QString reason = error != 0 ? ErrorText(error) : QString();
    const QString suffix = reason.isEmpty() ? QString() : u" ("_qs + reason + u')';
    problems.push_back(
        {u"Журнал событий не может быть записан: папку "_qs + shown + u" нельзя создать"_qs + suffix + u'.',
         u"cannot write the event log: cannot create the folder "_qs + shown + suffix});
    return;
  }
  if (const int error = ProbeFolder(log.absoluteFilePath()); error != 0) {
    problems.push_back(
        {u"Журнал событий не может быть записан в папку "_qs + shown + u" ("_qs + ErrorText(error) + u")."_qs,
         u"cannot write the event log in "_qs + shown + u" ("_qs + ErrorText(error) + u')'});
  }
}

}  // namespace

std::vector<StartupProblem> CheckStartupFiles(const QString& iniPath, const QString& logDir) {
  std::vector<StartupProblem> problems;
  CheckIniFile(iniPath, problems);
  CheckLogFolder(logDir, problems);
  return problems;
}
