#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

// A TCP relay on 127.0.0.1 in front of a server that can be frozen: while
// frozen it passes nothing in either direction, as a stopped or unplugged
// server looks to its clients. One client connection at a time is enough
// for a database thread. Port() is 0 when the relay could not start.
class FreezeProxy {
 public:
  explicit FreezeProxy(int targetPort) : m_targetPort(targetPort) {
    m_listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (m_listener < 0 || bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(m_listener, 4) != 0 ||
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Run(); });
  }
  ~FreezeProxy() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    if (m_listener >= 0) close(m_listener);
  }
  FreezeProxy(const FreezeProxy&) = delete;
  FreezeProxy& operator=(const FreezeProxy&) = delete;

  int Port() const { return m_port; }
  void SetFrozen(bool frozen) { m_frozen = frozen; }

 private:
  void Run() {
    std::vector<std::pair<int, int>> pairs;  // client, server
    char buffer[65536];
    while (!m_stop) {
      std::vector<pollfd> fds{{m_listener, POLLIN, 0}};
      if (!m_frozen) {
        for (const auto& [client, server] : pairs) {
          fds.push_back({client, POLLIN, 0});
          fds.push_back({server, POLLIN, 0});
        }
      }
      if (poll(fds.data(), fds.size(), 20) <= 0) continue;
      if (fds[0].revents & POLLIN) {
        const int client = accept(m_listener, nullptr, nullptr);
        const int server = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        target.sin_port = htons(static_cast<uint16_t>(m_targetPort));
        if (client >= 0 && server >= 0 &&
            connect(server, reinterpret_cast<sockaddr*>(&target), sizeof(target)) == 0) {
          pairs.emplace_back(client, server);
        } else {
          if (client >= 0) close(client);
          if (server >= 0) close(server);
        }
        continue;
      }
      for (size_t i = 1; i < fds.size(); ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        auto& pair = pairs[(i - 1) / 2];
        const int from = fds[i].fd;
        const int to = from == pair.first ? pair.second : pair.first;
        const ssize_t got = read(from, buffer, sizeof(buffer));
        if (got <= 0 || write(to, buffer, static_cast<size_t>(got)) != got) {
          shutdown(pair.first, SHUT_RDWR);
          shutdown(pair.second, SHUT_RDWR);
        }
      }
    }
    for (const auto& [client, server] : pairs) {
      close(client);
      close(server);
    }
  }

  int m_targetPort;
  int m_listener = -1;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_frozen{false};
  std::thread m_thread;
};
