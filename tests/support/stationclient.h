#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QThread>

#include "station/framing.h"

// The central station's side of a TCP connection to a console, for tests:
// blocking sockets on loopback, every wait bounded by a deadline.
class StationClient {
 public:
  StationClient() = default;
  ~StationClient() { Close(); }
  StationClient(const StationClient&) = delete;
  StationClient& operator=(const StationClient&) = delete;

  // Connects, retrying until the deadline (the console may still be starting).
  bool Connect(int port, int deadlineMs = 10000) {
    QDeadlineTimer deadline(deadlineMs);
    while (!deadline.hasExpired()) {
      Close();
      m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_port = htons(static_cast<uint16_t>(port));
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      if (::connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return true;
      QThread::msleep(50);
    }
    Close();
    return false;
  }
  void Close() {
    if (m_socket >= 0) ::close(m_socket);
    m_socket = -1;
  }

  // Whatever arrives within the window, up to "expected" bytes.
  QByteArray Read(qsizetype expected, int deadlineMs = 5000) {
    QByteArray bytes;
    QDeadlineTimer deadline(deadlineMs);
    while (bytes.size() < expected && !deadline.hasExpired()) {
      pollfd fd{m_socket, POLLIN, 0};
      if (::poll(&fd, 1, static_cast<int>(std::max<qint64>(1, deadline.remainingTime()))) <= 0) continue;
      char buffer[4096];
      const ssize_t got =
          ::recv(m_socket, buffer, std::min<qsizetype>(sizeof buffer, expected - bytes.size()), 0);
      if (got <= 0) break;
      bytes.append(buffer, got);
    }
    return bytes;
  }

  bool ReadGreeting() { return Read(21) == QByteArray("Tamsel query server\r", 20) + '\0'; }

  void Send(const QByteArray& bytes) { (void)!::send(m_socket, bytes.data(), bytes.size(), MSG_NOSIGNAL); }

  // Sends a request frame for "command" and "data" and reads the answer: a
  // frame ends with its checksum field, a plain error text has no end marker
  // and is taken as what arrived within a short pause.
  QByteArray Ask(const QByteArray& prefix, const QByteArray& command, const QByteArray& data = {},
                 int deadlineMs = 5000) {
    const QByteArray body = prefix + ':' + command + ':' + data;
    Send(body + CalcCRC(body) + '\r');
    return ReadAnswer(deadlineMs);
  }

  QByteArray ReadAnswer(int deadlineMs = 5000) {
    QByteArray bytes;
    QDeadlineTimer deadline(deadlineMs);
    while (!deadline.hasExpired()) {
      if (bytes.size() >= 6 && bytes[bytes.size() - 1] == '>' && bytes[bytes.size() - 6] == '<') break;
      if (bytes.startsWith("Error:") && !Readable(100)) break;
      const QByteArray more = Read(1, static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
      if (more.isEmpty()) break;
      bytes += more;
    }
    return bytes;
  }

  bool Readable(int windowMs) {
    pollfd fd{m_socket, POLLIN, 0};
    return ::poll(&fd, 1, windowMs) > 0;
  }

 private:
  int m_socket = -1;
};

// A TCP port that nothing listened on a moment ago.
inline int FreeTcpPort() {
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(probe);
  return ntohs(address.sin_port);
}
