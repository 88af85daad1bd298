#include "app/servicenotify.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

ServiceNotifier::ServiceNotifier() {
  const QByteArray path = qgetenv("NOTIFY_SOCKET");
  const QByteArray usec = qgetenv("WATCHDOG_USEC");
  const QByteArray pid = qgetenv("WATCHDOG_PID");
  ::unsetenv("NOTIFY_SOCKET");
  ::unsetenv("WATCHDOG_USEC");
  ::unsetenv("WATCHDOG_PID");

  bool ok = false;
  const qulonglong period = usec.toULongLong(&ok);
  // A watchdog meant for another process (WATCHDOG_PID set to it) is not ours to feed.
  const bool ours = pid.isEmpty() || pid.toLongLong() == static_cast<long long>(::getpid());
  if (ok && ours) m_watchdogUsec = period;

  // An absolute path, or "@name" for the abstract namespace.
  sockaddr_un address{};
  if (path.isEmpty() || (path[0] != '/' && path[0] != '@') ||
      static_cast<size_t>(path.size()) >= sizeof(address.sun_path))
    return;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
  if (address.sun_path[0] == '@') address.sun_path[0] = '\0';
  const auto length =
      static_cast<qsizetype>(offsetof(sockaddr_un, sun_path) + static_cast<size_t>(path.size()));
  m_address = QByteArray(reinterpret_cast<const char*>(&address), length);
  m_socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
}

ServiceNotifier::~ServiceNotifier() {
  if (m_socket >= 0) ::close(m_socket);
}

bool ServiceNotifier::Notify(const QByteArray& state) {
  if (m_socket < 0) return false;
  ssize_t sent = 0;
  do {
    sent = ::sendto(m_socket, state.constData(), static_cast<size_t>(state.size()),
                    MSG_NOSIGNAL | MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(m_address.constData()),
                    static_cast<socklen_t>(m_address.size()));
  } while (sent < 0 && errno == EINTR);
  return sent == state.size();
}
