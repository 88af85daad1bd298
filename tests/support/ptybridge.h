#pragma once

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QString>
#include <atomic>
#include <thread>
#include "support/rawpty.h"

// A null-modem cable between two programs that each open a serial device:
// two pseudo-terminals whose other ends a thread joins, byte for byte.
class PtyBridge {
 public:
  PtyBridge() {
    for (Side& side : m_sides) {
      if (!OpenRawPty(side.Master, side.Slave, side.Path)) return;
    }
    m_thread = std::thread([this] { Carry(); });
  }
  ~PtyBridge() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    for (Side& side : m_sides) {
      if (side.Master >= 0) ::close(side.Master);
      if (side.Slave >= 0) ::close(side.Slave);
    }
  }
  PtyBridge(const PtyBridge&) = delete;
  PtyBridge& operator=(const PtyBridge&) = delete;

  // The device paths of the two ends.
  const QString& First() const { return m_sides[0].Path; }
  const QString& Second() const { return m_sides[1].Path; }

 private:
  struct Side {
    int Master = -1;
    int Slave = -1;
    QString Path;
  };

  void Carry() {
    while (!m_stop) {
      pollfd fds[2] = {{m_sides[0].Master, POLLIN, 0}, {m_sides[1].Master, POLLIN, 0}};
      if (::poll(fds, 2, 50) <= 0) continue;
      for (int i = 0; i < 2; ++i) {
        if ((fds[i].revents & POLLIN) == 0) continue;
        char buffer[512];
        const ssize_t got = ::read(m_sides[i].Master, buffer, sizeof buffer);
        if (got > 0) (void)!::write(m_sides[1 - i].Master, buffer, static_cast<size_t>(got));
      }
    }
  }

  Side m_sides[2];
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};
