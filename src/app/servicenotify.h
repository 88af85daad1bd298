#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

// The console's side of a service manager's readiness and watchdog protocol
// (a datagram per state change to the socket in NOTIFY_SOCKET): "READY=1"
// once the console has started up, "WATCHDOG=1" from its event-loop tick, so
// that a loop that hangs is restarted, "STATUS=..." for `systemctl status`,
// and "STOPPING=1" at the end. Without NOTIFY_SOCKET every call does nothing,
// so a console started by hand behaves as before.
class ServiceNotifier {
 public:
  // Reads NOTIFY_SOCKET, WATCHDOG_USEC and WATCHDOG_PID once, and clears
  // them, so that no program the console starts talks in its name.
  ServiceNotifier();
  ~ServiceNotifier();

  ServiceNotifier(const ServiceNotifier&) = delete;
  ServiceNotifier& operator=(const ServiceNotifier&) = delete;

  bool Active() const { return m_socket >= 0; }
  // The manager's watchdog period in microseconds; 0 when it wants none.
  uint64_t WatchdogUsec() const { return m_watchdogUsec; }
  // Sends "state" (lines of KEY=value). False when inactive or the send
  // failed; never waits (a full socket loses this state, not the loop).
  bool Notify(const QByteArray& state);

 private:
  int m_socket = -1;
  QByteArray m_address;  // sockaddr_un bytes
  uint64_t m_watchdogUsec = 0;
};
