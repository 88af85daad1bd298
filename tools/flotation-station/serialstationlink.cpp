#include "serialstationlink.h"

#include <QDeadlineTimer>

#include "station/framing.h"

SerialStationLink::SerialStationLink(QString device, qint32 baud, QByteArray prefix, int replyTimeoutMs)
    : m_device(std::move(device)),
      m_baud(baud),
      m_prefix(std::move(prefix)),
      m_replyTimeoutMs(replyTimeoutMs) {}

SerialStationLink::~SerialStationLink() {
  Close();
}

QString SerialStationLink::Describe() const {
  return QStringLiteral("serial %1").arg(m_device);
}

bool SerialStationLink::IsOpen() const {
  return m_port != nullptr && m_port->isOpen();
}

void SerialStationLink::Close() {
  if (m_port == nullptr) return;
  m_port->close();
  m_port.reset();
}

bool SerialStationLink::Fail(QString& error, const QString& reason) {
  error = Describe() + QStringLiteral(": ") + reason;
  Close();
  return false;
}

bool SerialStationLink::Open(QString& error) {
  if (IsOpen()) return true;
  m_port = std::make_unique<QSerialPort>();
  m_port->setPortName(m_device);
  if (!m_port->open(QIODevice::ReadWrite))
    return Fail(error, QStringLiteral("cannot open: %1").arg(m_port->errorString()));
  if (!m_port->setBaudRate(m_baud) || !m_port->setDataBits(QSerialPort::Data8) ||
      !m_port->setParity(QSerialPort::NoParity) || !m_port->setStopBits(QSerialPort::OneStop) ||
      !m_port->setFlowControl(QSerialPort::NoFlowControl))
    return Fail(error, QStringLiteral("cannot set %1 8N1: %2").arg(m_baud).arg(m_port->errorString()));
  return true;
}

bool SerialStationLink::Exchange(const QByteArray& command, const QByteArray& data, QByteArray& reply,
                                 QString& error) {
  if (!Open(error)) return false;
  // Whatever is left from an earlier exchange (a late reply, a second frame) is not this reply.
  m_port->waitForReadyRead(0);
  m_port->readAll();
  m_port->clear(QSerialPort::Input);

  m_port->write(BuildRequest(m_prefix, command, data) + '\r');
  const QDeadlineTimer deadline(m_replyTimeoutMs);
  while (m_port->bytesToWrite() > 0) {
    if (!m_port->waitForBytesWritten(int(deadline.remainingTime())))
      return Fail(error,
                  QStringLiteral("%1 not sent: %2").arg(QString::fromLatin1(command), m_port->errorString()));
  }

  QByteArray received;
  while (true) {
    const qsizetype end = received.indexOf('\r');
    if (end >= 0) {
      // A line feed or blanks may surround the frame; they are not part of it.
      const QByteArray line = TrimBlanks(received.left(end));
      if (CheckReplyFrame(line, m_prefix, reply) == ReplyState::Complete) return true;
      if (!line.isEmpty())
        return Fail(
            error,
            QStringLiteral("bad reply to %1: \"%2\"").arg(QString::fromLatin1(command), ShowBytes(line)));
      received.remove(0, end + 1);
      continue;
    }
    if (deadline.hasExpired() || !m_port->waitForReadyRead(int(deadline.remainingTime())))
      return Fail(error, QStringLiteral("no reply to %1 in %2 ms (got \"%3\")")
                             .arg(QString::fromLatin1(command))
                             .arg(m_replyTimeoutMs)
                             .arg(ShowBytes(received)));
    received += m_port->readAll();
  }
}
