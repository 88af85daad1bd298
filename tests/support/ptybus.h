#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QString>
#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>
#include "support/rawpty.h"

// A serial line on a pseudo-terminal with modules played by the test: the
// code under test opens Path() like a serial port; every line it sends
// (without the carriage return) goes to the responder, whose answer, if any,
// is written back as it stands (the responder adds the carriage return).
class PtyBus {
 public:
  using Responder = std::function<std::optional<std::string>(const std::string& command)>;

  explicit PtyBus(Responder responder) : m_responder(std::move(responder)) {
    if (!OpenRawPty(m_master, m_slave, m_path)) return;
    m_thread = std::thread([this] { Serve(); });
  }
  ~PtyBus() { HangUp(); }
  PtyBus(const PtyBus&) = delete;
  PtyBus& operator=(const PtyBus&) = delete;

  bool IsOpen() const { return !m_path.isEmpty(); }

  // Ends the line as an unplugged adapter does: the modules stop and the
  // device side hangs up.
  void HangUp() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    if (m_master >= 0) ::close(m_master);
    if (m_slave >= 0) ::close(m_slave);
    m_master = m_slave = -1;
  }
  const QString& Path() const { return m_path; }

  std::vector<std::string> Commands() const {
    std::lock_guard lock(m_mutex);
    return m_commands;
  }

 private:
  void Serve() {
    std::string line;
    while (!m_stop) {
      pollfd poller{m_master, POLLIN, 0};
      if (::poll(&poller, 1, 20) <= 0) continue;
      char buffer[256];
      const ssize_t got = ::read(m_master, buffer, sizeof buffer);
      if (got <= 0) continue;
      for (ssize_t i = 0; i < got; ++i) {
        if (buffer[i] != '\r') {
          line.push_back(buffer[i]);
          continue;
        }
        {
          std::lock_guard lock(m_mutex);
          m_commands.push_back(line);
        }
        if (const auto answer = m_responder(line)) {
          [[maybe_unused]] const ssize_t written = ::write(m_master, answer->data(), answer->size());
        }
        line.clear();
      }
    }
  }

  Responder m_responder;
  int m_master = -1;
  int m_slave = -1;
  QString m_path;
  std::atomic<bool> m_stop{false};
  mutable std::mutex m_mutex;  // guards m_commands
  std::vector<std::string> m_commands;
  std::thread m_thread;
};
