#pragma once

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QString>

// A pseudo-terminal in raw mode, as a serial line looks to the program that
// opens its device side: "slave" stays open so the line exists while the
// program under test opens and closes its own end. False (and nothing open)
// when the system has no pseudo-terminal left.
inline bool OpenRawPty(int& master, int& slave, QString& devicePath) {
  if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
    master = slave = -1;
    return false;
  }
  termios raw{};
  ::tcgetattr(slave, &raw);
  ::cfmakeraw(&raw);
  ::tcsetattr(slave, TCSANOW, &raw);
  devicePath = QString::fromLocal8Bit(::ttyname(slave));
  return true;
}
