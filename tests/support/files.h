#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Whole-file helpers for tests that prepare or inspect files byte by byte.

// Replaces the file's content; false when it cannot be written.
inline bool WriteFileBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The file's content; empty when it cannot be read.
inline QByteArray ReadFileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
