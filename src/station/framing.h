#pragma once

#include <QByteArray>

#include "common/trimblanks.h"

// Frames of the station link, in Windows-1251 bytes. A request is
//   prefix ":" command ":" data "<" four hex digits ">"
// and a reply is prefix ":" reply text "<" four hex digits ">"; the serial
// line adds a carriage return. The checksum covers every byte before "<".
// The serial link and the TCP query server share everything here.

// "<XXXX>": the sum of the byte values (0..255) modulo 65536 as four
// upper-case hexadecimal digits. CalcCRC("abc") == "<0126>".
QByteArray CalcCRC(const QByteArray& text);

// prefix ":" reply CalcCRC(prefix ":" reply), without a terminator.
QByteArray BuildFrame(const QByteArray& prefix, const QByteArray& reply);

enum class RequestKind {
  Ignored,     // too short, no checksum field, another console's prefix: no reply
  BadCrc,      // this console's prefix with a wrong checksum
  BadCommand,  // no second colon, or a command shorter than 4 characters
  Command,     // Command and Data are set
};

struct ParsedRequest {
  RequestKind Kind = RequestKind::Ignored;
  QByteArray Command;
  QByteArray Data;  // trimmed; may be empty
};

// Checks one received line against this console's prefix. The line is
// trimmed first; anything after the checksum's ">" is ignored. The checksum
// is compared as text, so a request must use upper-case hexadecimal digits.
ParsedRequest ParseRequestLine(const QByteArray& line, const QByteArray& prefix);
