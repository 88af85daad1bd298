#pragma once

#include <QByteArray>
#include <QString>

// The one place where text crosses between Unicode (inside the program) and
// Windows-1251 (station frames, event-log files, INI files).

// Encodes text as Windows-1251. A character without a Windows-1251 code
// becomes "?"; a surrogate pair counts as one character.
QByteArray ToCp1251(const QString& text);

// Decodes Windows-1251 bytes. The one unassigned byte (0x98) decodes to U+FFFD.
QString FromCp1251(const QByteArray& bytes);
QString FromCp1251(const char* data, qsizetype size);
