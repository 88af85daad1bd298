#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "common/tdatetime.h"

class LogEnvironment;

// Appends lines to the daily event-log files "yyyy_mm_dd.log" and audit
// files "yyyy_mm_dd.audit.log" in one folder, in Windows-1251 with CR LF. The
// file is opened and closed for every write. The date is the writing
// moment's, not the message's. Used by the draining thread only.
class LogFileWriter {
 public:
  // "folder" is created with its parents on the first write if missing.
  // "environment" supplies the date; it must outlive the writer.
  LogFileWriter(QString folder, LogEnvironment& environment);
  virtual ~LogFileWriter() = default;

  const QString& Folder() const { return m_folder; }

  // false when the folder cannot be created or the line cannot be written
  // completely (full disk, no permission); nothing is retried.
  bool WriteToLogFile(const QString& line);

  // Appends the lines in one write to today's audit file; false as above,
  // and then none of them is in the file.
  bool WriteToAuditFile(const QStringList& lines);

  // File name for a day, e.g. "2008_01_17.log".
  static QString FileNameFor(TDateTime day);
  // Audit file name for a day, e.g. "2008_01_17.audit.log".
  static QString AuditFileNameFor(TDateTime day);

 protected:
  // Appends bytes to a file, creating it. A write the file system cuts short
  // is cut back out of the file, so no half line (nor part of a batch) is
  // left to run into the next write. Tests override it to fail.
  virtual bool AppendToFile(const QString& path, const QByteArray& bytes);

 private:
  // The path of today's file named by "nameFor"; empty when the folder
  // cannot be made.
  QString TodaysPath(QString (*nameFor)(TDateTime)) const;

  QString m_folder;
  LogEnvironment& m_environment;
};
