#pragma once

#include <QByteArray>
#include <QString>

// One connection to a console's station link, serial or TCP. The station is the master: it sends
// one request frame and waits for one reply. A link is used by one thread at a time, the thread
// that opened it (the Qt devices underneath are used in blocking mode, without an event loop).
class StationLink {
 public:
  virtual ~StationLink() = default;

  // Opens the connection unless it is open. On failure returns false and says why.
  virtual bool Open(QString& error) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;

  // Sends prefix:command:data<CRC> and waits for the reply. True only for a complete reply
  // that carries this console's prefix and a correct checksum; `reply` is then the reply text
  // between "prefix:" and the checksum field (Windows-1251 bytes). Anything else (a time-out,
  // a wrong checksum, a plain error text) is false with the reason in `error`, and the link
  // closes itself so that a late or partial answer cannot be taken for the next reply.
  virtual bool Exchange(const QByteArray& command, const QByteArray& data, QByteArray& reply,
                        QString& error) = 0;

  // Where the link goes, for messages ("tcp 10.0.0.5:7777", "serial /dev/ttyUSB0").
  virtual QString Describe() const = 0;
};

// The request frame prefix:command:data<CRC>, without the line terminator.
QByteArray BuildRequest(const QByteArray& prefix, const QByteArray& command, const QByteArray& data);

enum class ReplyState {
  Incomplete,  // may still become a valid reply: wait for more bytes
  Complete,    // prefix, text and a matching checksum field
  Invalid,     // will never be a valid reply
};

// Judges the bytes received so far against prefix:text<CRC>. A checksum field that does not
// match is Incomplete, not Invalid: a log text may itself contain "<ABCD>", so only the
// read deadline decides that nothing more comes. `text` is set for Complete.
ReplyState CheckReplyFrame(const QByteArray& received, const QByteArray& prefix, QByteArray& text);

// A byte string shown in a message: printable ASCII as it is, anything else as \xNN, shortened.
QString ShowBytes(const QByteArray& bytes, qsizetype limit = 80);
