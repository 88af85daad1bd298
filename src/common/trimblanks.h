#pragma once

#include <QByteArray>
#include <QString>

// Removes leading and trailing blanks and control characters: everything up
// to 0x20. Bytes above 0x7F are letters in Windows-1251 and stay, as do all
// characters above 0x20 (QString::trimmed would also take Unicode spaces and
// leave the other control characters).
QByteArray TrimBlanks(const QByteArray& text);
QString TrimBlanks(const QString& text);
