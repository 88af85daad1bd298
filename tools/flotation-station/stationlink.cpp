#include "stationlink.h"

#include "station/framing.h"

namespace {
constexpr qsizetype kChecksumFieldSize = 6;  // "<XXXX>"
}

QByteArray BuildRequest(const QByteArray& prefix, const QByteArray& command, const QByteArray& data) {
  return BuildFrame(prefix, command + ':' + data);
}

ReplyState CheckReplyFrame(const QByteArray& received, const QByteArray& prefix, QByteArray& text) {
  const QByteArray head = prefix + ':';
  // Until the prefix is complete, every byte must agree with it.
  const qsizetype compared = std::min(received.size(), head.size());
  if (received.left(compared) != head.left(compared)) return ReplyState::Invalid;
  if (received.size() < head.size() + kChecksumFieldSize) return ReplyState::Incomplete;
  const qsizetype fieldAt = received.size() - kChecksumFieldSize;
  if (received[fieldAt] != '<' || !received.endsWith('>')) return ReplyState::Incomplete;
  const QByteArray body = received.left(fieldAt);
  if (received.mid(fieldAt) != CalcCRC(body)) return ReplyState::Incomplete;
  text = body.mid(head.size());
  return ReplyState::Complete;
}

QString ShowBytes(const QByteArray& bytes, qsizetype limit) {
  QString shown;
  for (const char c : bytes.left(limit)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F)
      shown += QChar(byte);
    else
      shown += QStringLiteral("\\x%1").arg(byte, 2, 16, QChar(u'0'));
  }
  if (bytes.size() > limit) shown += QStringLiteral("... (%1 bytes)").arg(bytes.size());
  return shown;
}
