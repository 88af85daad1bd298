#pragma once

#include <QTcpSocket>
#include <memory>

#include "stationlink.h"

// A console's TCP query server. On connect it greets with "Tamsel query server\r\0"; each
// request goes out with a carriage return; the answer has no terminator, so a reply is
// complete when it ends with a matching checksum field, and a plain "Error:..." text (what
// the server answers a bad checksum or command field) or silence until the deadline fails.
// Owned and used by one thread, the one that calls Open.
class TcpStationLink : public StationLink {
 public:
  TcpStationLink(QString host, quint16 port, QByteArray prefix, int replyTimeoutMs);
  ~TcpStationLink() override;

  bool Open(QString& error) override;
  void Close() override;
  bool IsOpen() const override;
  bool Exchange(const QByteArray& command, const QByteArray& data, QByteArray& reply,
                QString& error) override;
  QString Describe() const override;

 private:
  // Fails the exchange: closes the connection (its stream position is lost) and explains.
  bool Fail(QString& error, const QString& reason);

  QString m_host;
  quint16 m_port;
  QByteArray m_prefix;
  int m_replyTimeoutMs;
  std::unique_ptr<QTcpSocket> m_socket;
};
