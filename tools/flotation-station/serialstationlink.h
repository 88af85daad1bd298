#pragma once

#include <QSerialPort>
#include <memory>

#include "stationlink.h"

// A console's serial station line, 8N1 without flow control. Replies are frames ending in a
// carriage return; the first complete line after the request is the reply (an unknown command
// would add a second frame, which the next exchange discards with the rest of the input).
// Owned and used by one thread, the one that calls Open.
class SerialStationLink : public StationLink {
 public:
  SerialStationLink(QString device, qint32 baud, QByteArray prefix, int replyTimeoutMs);
  ~SerialStationLink() override;

  bool Open(QString& error) override;
  void Close() override;
  bool IsOpen() const override;
  bool Exchange(const QByteArray& command, const QByteArray& data, QByteArray& reply,
                QString& error) override;
  QString Describe() const override;

 private:
  bool Fail(QString& error, const QString& reason);

  QString m_device;
  qint32 m_baud;
  QByteArray m_prefix;
  int m_replyTimeoutMs;
  std::unique_ptr<QSerialPort> m_port;
};
