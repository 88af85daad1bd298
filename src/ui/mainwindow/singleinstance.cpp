#include "ui/mainwindow/singleinstance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The kernel keeps only this many characters of a process's name in "comm".
constexpr int kCommLength = 15;

// The file name of a process's executable: from the link "exe" where we may
// read it (a rebuilt binary reads "... (deleted)"), else from "comm", which
// the kernel cuts to 15 characters.
QString ExecutableName(const QString& processDir, bool& truncated) {
  truncated = false;
  QString target = QFile::symLinkTarget(processDir + QStringLiteral("/exe"));
  if (!target.isEmpty()) {
    if (target.endsWith(QStringLiteral(" (deleted)"))) target.chop(10);
    return QFileInfo(target).fileName();
  }
  QFile comm(processDir + QStringLiteral("/comm"));
  if (!comm.open(QIODevice::ReadOnly)) return {};
  truncated = true;
  return QString::fromLocal8Bit(comm.readAll()).trimmed();
}

}  // namespace

int CountProcesses(const QString& exeName, const QString& procDir) {
  const QDir proc(procDir);
  if (!proc.exists()) return 0;
  int count = 0;
  const QStringList entries = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  for (const QString& entry : entries) {
    bool isNumber = false;
    entry.toInt(&isNumber);
    if (!isNumber) continue;
    bool truncated = false;
    const QString name = ExecutableName(proc.filePath(entry), truncated);
    if (name.isEmpty()) continue;
    const QString wanted = truncated ? exeName.left(kCommLength) : exeName;
    if (name == wanted || name.toUpper() == wanted.toUpper()) ++count;
  }
  return count;
}

QString AlreadyRunningText() {
  return u"Программа Dravo уже загружена."_qs;
}

QString AlreadyRunningCaption() {
  return u"Внимание"_qs;
}
