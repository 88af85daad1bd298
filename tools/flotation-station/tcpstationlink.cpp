#include "tcpstationlink.h"

#include <QDeadlineTimer>
#include <algorithm>
#include <iterator>

namespace {

const QByteArray kGreeting("Tamsel query server\r\0", 21);

// The two error answers of the TCP server that come without a frame.
const QByteArray kPlainErrors[] = {"Error:BAD CRC", "Error:Cmd"};

bool IsPlainErrorAnswer(const QByteArray& received) {
  return std::find(std::begin(kPlainErrors), std::end(kPlainErrors), received) != std::end(kPlainErrors);
}

bool MayBecomePlainErrorAnswer(const QByteArray& received) {
  return std::any_of(std::begin(kPlainErrors), std::end(kPlainErrors),
                     [&](const QByteArray& answer) { return answer.startsWith(received); });
}

}  // namespace

TcpStationLink::TcpStationLink(QString host, quint16 port, QByteArray prefix, int replyTimeoutMs)
    : m_host(std::move(host)), m_port(port), m_prefix(std::move(prefix)), m_replyTimeoutMs(replyTimeoutMs) {}

TcpStationLink::~TcpStationLink() {
  Close();
}

QString TcpStationLink::Describe() const {
  return QStringLiteral("tcp %1:%2").arg(m_host).arg(m_port);
}

bool TcpStationLink::IsOpen() const {
  return m_socket != nullptr && m_socket->state() == QAbstractSocket::ConnectedState;
}

void TcpStationLink::Close() {
  if (m_socket == nullptr) return;
  m_socket->abort();
  m_socket.reset();
}

bool TcpStationLink::Fail(QString& error, const QString& reason) {
  error = Describe() + QStringLiteral(": ") + reason;
  Close();
  return false;
}

bool TcpStationLink::Open(QString& error) {
  if (IsOpen()) return true;
  Close();
  m_socket = std::make_unique<QTcpSocket>();
  m_socket->connectToHost(m_host, m_port);
  // One short request, then a wait for its answer: nothing to gain from Nagle's delay.
  m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
  if (!m_socket->waitForConnected(m_replyTimeoutMs))
    return Fail(error, QStringLiteral("cannot connect: %1").arg(m_socket->errorString()));

  QByteArray greeting;
  const QDeadlineTimer deadline(m_replyTimeoutMs);
  while (greeting.size() < kGreeting.size()) {
    if (m_socket->bytesAvailable() == 0 && !m_socket->waitForReadyRead(int(deadline.remainingTime())))
      return Fail(error, QStringLiteral("no greeting (got \"%1\")").arg(ShowBytes(greeting)));
    greeting += m_socket->read(kGreeting.size() - greeting.size());
  }
  if (greeting != kGreeting)
    return Fail(error, QStringLiteral("unexpected greeting \"%1\"").arg(ShowBytes(greeting)));
  return true;
}

bool TcpStationLink::Exchange(const QByteArray& command, const QByteArray& data, QByteArray& reply,
                              QString& error) {
  if (!Open(error)) return false;
  // Nothing may be waiting between exchanges; if something is, the stream is out of step.
  if (m_socket->bytesAvailable() > 0 || m_socket->waitForReadyRead(0))
    return Fail(error, QStringLiteral("unexpected bytes \"%1\"").arg(ShowBytes(m_socket->readAll())));

  m_socket->write(BuildRequest(m_prefix, command, data) + '\r');
  const QDeadlineTimer deadline(m_replyTimeoutMs);
  while (m_socket->bytesToWrite() > 0) {
    if (!m_socket->waitForBytesWritten(int(deadline.remainingTime())))
      return Fail(
          error,
          QStringLiteral("%1 not sent: %2").arg(QString::fromLatin1(command), m_socket->errorString()));
  }

  QByteArray received;
  while (true) {
    switch (CheckReplyFrame(received, m_prefix, reply)) {
      case ReplyState::Complete:
        return true;
      case ReplyState::Invalid:
        if (IsPlainErrorAnswer(received))
          return Fail(error, QStringLiteral("%1 answered \"%2\"")
                                 .arg(QString::fromLatin1(command), QString::fromLatin1(received)));
        if (!MayBecomePlainErrorAnswer(received))
          return Fail(error, QStringLiteral("garbage reply to %1: \"%2\"")
                                 .arg(QString::fromLatin1(command), ShowBytes(received)));
        break;
      case ReplyState::Incomplete:
        break;
    }
    if (deadline.hasExpired() || !m_socket->waitForReadyRead(int(deadline.remainingTime()))) {
      const QString reason = m_socket->state() == QAbstractSocket::ConnectedState
                                 ? QStringLiteral("no valid reply to %1 in %2 ms (got \"%3\")")
                                 : QStringLiteral("connection lost during %1 (after %2 ms, got \"%3\")");
      return Fail(error,
                  reason.arg(QString::fromLatin1(command)).arg(m_replyTimeoutMs).arg(ShowBytes(received)));
    }
    received += m_socket->readAll();
  }
}
