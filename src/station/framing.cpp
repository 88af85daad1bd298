#include "station/framing.h"

#include <cstdint>

QByteArray CalcCRC(const QByteArray& text) {
  uint16_t sum = 0;
  for (const char c : text) sum = static_cast<uint16_t>(sum + static_cast<unsigned char>(c));
  static constexpr char kHex[] = "0123456789ABCDEF";
  QByteArray field(6, '<');
  field[1] = kHex[(sum >> 12) & 0xF];
  field[2] = kHex[(sum >> 8) & 0xF];
  field[3] = kHex[(sum >> 4) & 0xF];
  field[4] = kHex[sum & 0xF];
  field[5] = '>';
  return field;
}

QByteArray BuildFrame(const QByteArray& prefix, const QByteArray& reply) {
  QByteArray body = prefix + ':' + reply;
  return body + CalcCRC(body);
}

ParsedRequest ParseRequestLine(const QByteArray& received, const QByteArray& prefix) {
  ParsedRequest result;
  const QByteArray line = TrimBlanks(received);
  const qsizetype length = line.size();
  if (length < prefix.size() + 10) return result;

  // Positions below are 0-based; the checksum field is "<" at crcAt and ">"
  // five characters later.
  const qsizetype crcAt = line.indexOf('<');
  if (crcAt < 8) return result;  // also when there is no "<"
  if (crcAt + 5 >= length || line[crcAt + 5] != '>') return result;
  const QByteArray body = line.left(crcAt);
  const bool crcDiffers = line.mid(crcAt, 6) != CalcCRC(body);

  // The prefix is checked after the checksum field so that lines for other
  // consoles stay silent whatever their checksum.
  if (line.indexOf(':') != prefix.size() || !line.startsWith(prefix)) return result;
  if (crcDiffers) {
    result.Kind = RequestKind::BadCrc;
    return result;
  }

  const QByteArray rest = line.mid(prefix.size() + 1);
  const qsizetype commandEnd = rest.indexOf(':');
  if (commandEnd < 4) {
    result.Kind = RequestKind::BadCommand;
    return result;
  }
  result.Kind = RequestKind::Command;
  result.Command = rest.left(commandEnd);
  const QByteArray afterCommand = rest.mid(commandEnd + 1);
  const qsizetype dataEnd = afterCommand.indexOf('<');
  if (dataEnd > 0) result.Data = TrimBlanks(afterCommand.left(dataEnd));
  return result;
}
