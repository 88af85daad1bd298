// modbus-peer: a Modbus TCP server on 127.0.0.1 holding 60 registers that
// change once a second, serving many clients at once the way a plant device
// or gateway would. Two ways to serve, for comparison:
//   --mode threads  one thread per connection (modbus_receive / modbus_reply)
//   --mode select   one thread, a select() loop over every connection
// The default is the faster of the two on our machine (see bench/README.md).
//
//   modbus-peer --port 1502 [--mode threads|select]
// Runs until SIGINT or SIGTERM.

#include <modbus/modbus.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kRegisterCount = 60;
constexpr int kBacklog = 256;

// The registers, shared by every connection and the updater.
struct Registers {
  std::mutex Mutex;  // guards Mapping's contents
  modbus_mapping_t* Mapping = nullptr;
};

// A slowly moving process image: each register its own value, all of them
// stepping once a second.
void UpdateForever(Registers& registers) {
  for (uint16_t tick = 0;; ++tick) {
    {
      std::lock_guard lock(registers.Mutex);
      for (int i = 0; i < kRegisterCount; ++i) {
        registers.Mapping->tab_registers[i] = static_cast<uint16_t>(1000 * i + tick);
      }
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
}

void SetNoDelay(int socket) {
  const int one = 1;
  setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
}

void ServeConnection(int socket, int port, Registers& registers) {
  // A context of its own per connection: a context holds the socket and the
  // transaction state of one peer. So does the register image: the shared
  // one is copied under the lock, and the reply is sent without holding it.
  modbus_t* context = modbus_new_tcp("127.0.0.1", port);
  modbus_mapping_t* image = modbus_mapping_new(0, 0, kRegisterCount, 0);
  if (context == nullptr || image == nullptr) {
    close(socket);
    if (context != nullptr) modbus_free(context);
    if (image != nullptr) modbus_mapping_free(image);
    return;
  }
  modbus_set_socket(context, socket);
  uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
  for (;;) {
    const int length = modbus_receive(context, query);
    if (length == -1) break;
    if (length == 0) continue;  // addressed to another unit
    {
      std::lock_guard lock(registers.Mutex);
      std::memcpy(image->tab_registers, registers.Mapping->tab_registers, kRegisterCount * sizeof(uint16_t));
    }
    if (modbus_reply(context, query, length, image) == -1) break;
  }
  close(socket);
  modbus_free(context);
  modbus_mapping_free(image);
}

void ServeThreads(int listenSocket, int port, Registers& registers) {
  for (;;) {
    const int socket = accept4(listenSocket, nullptr, nullptr, SOCK_CLOEXEC);
    if (socket < 0) {
      if (errno == EMFILE || errno == ENFILE) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    SetNoDelay(socket);
    try {
      std::thread(ServeConnection, socket, port, std::ref(registers)).detach();
    } catch (const std::system_error&) {
      close(socket);
    }
  }
}

// The pattern of libmodbus' own multi-client example.
void ServeSelect(modbus_t* context, int listenSocket, Registers& registers) {
  fd_set all;
  FD_ZERO(&all);
  FD_SET(listenSocket, &all);
  int highest = listenSocket;
  uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
  for (;;) {
    fd_set ready = all;
    if (select(highest + 1, &ready, nullptr, nullptr, nullptr) < 0) {
      if (errno == EINTR) continue;
      std::perror("select");
      return;
    }
    for (int fd = 0; fd <= highest; ++fd) {
      if (!FD_ISSET(fd, &ready)) continue;
      if (fd == listenSocket) {
        const int socket = accept4(listenSocket, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0) continue;
        if (socket >= FD_SETSIZE) {
          close(socket);
          continue;
        }
        SetNoDelay(socket);
        FD_SET(socket, &all);
        highest = std::max(highest, socket);
        continue;
      }
      modbus_set_socket(context, fd);
      const int length = modbus_receive(context, query);
      if (length > 0) {
        std::lock_guard lock(registers.Mutex);
        if (modbus_reply(context, query, length, registers.Mapping) != -1) continue;
      } else if (length == 0) {
        continue;
      }
      close(fd);
      FD_CLR(fd, &all);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  int port = 1502;
  std::string mode = "threads";
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--port" && i + 1 < argc) {
      port = std::atoi(argv[++i]);
    } else if (argument == "--mode" && i + 1 < argc) {
      mode = argv[++i];
    } else {
      std::fprintf(stderr, "usage: modbus-peer [--port PORT] [--mode threads|select]\n");
      return 2;
    }
  }
  if (mode != "threads" && mode != "select") {
    std::fprintf(stderr, "modbus-peer: unknown mode %s\n", mode.c_str());
    return 2;
  }

  // Every thread inherits the blocked signals; main takes them with sigwait.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  Registers registers;
  registers.Mapping = modbus_mapping_new(0, 0, kRegisterCount, 0);
  modbus_t* context = modbus_new_tcp("127.0.0.1", port);
  if (registers.Mapping == nullptr || context == nullptr) {
    std::fprintf(stderr, "modbus-peer: %s\n", modbus_strerror(errno));
    return 1;
  }
  const int listenSocket = modbus_tcp_listen(context, kBacklog);
  if (listenSocket < 0) {
    std::fprintf(stderr, "modbus-peer: cannot listen on 127.0.0.1:%d: %s\n", port, modbus_strerror(errno));
    return 1;
  }

  std::thread(UpdateForever, std::ref(registers)).detach();
  if (mode == "threads") {
    std::thread(ServeThreads, listenSocket, port, std::ref(registers)).detach();
  } else {
    std::thread(ServeSelect, context, listenSocket, std::ref(registers)).detach();
  }
  std::printf("modbus-peer: listening on 127.0.0.1:%d (%s)\n", port, mode.c_str());
  std::fflush(stdout);

  int signal = 0;
  sigwait(&stopSignals, &signal);
  // The serving threads block in the library's calls; the process ends
  // under them, which is all a benchmark peer needs.
  std::_Exit(0);
}
