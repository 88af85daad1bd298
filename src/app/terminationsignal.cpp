#include "app/terminationsignal.h"

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

namespace {

// Write end of the pipe that turns a signal into an event of the main loop.
int g_signalWriteFd = -1;

void OnTerminationSignal(int signalNumber) {
  const char byte = static_cast<char>(signalNumber);
  // Nothing else is async-signal-safe to do here; a full pipe already holds a wake-up.
  [[maybe_unused]] const ssize_t written = ::write(g_signalWriteFd, &byte, 1);
}

}  // namespace

TerminationSignal::TerminationSignal(QObject* parent, bool viewDump) : QObject(parent) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, m_fds) != 0) return;
  g_signalWriteFd = m_fds[0];
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  if (::sigaction(SIGINT, &action, nullptr) != 0 || ::sigaction(SIGTERM, &action, nullptr) != 0) return;
  if (viewDump && ::sigaction(SIGUSR1, &action, nullptr) != 0) return;
  m_notifier = std::make_unique<QSocketNotifier>(m_fds[1], QSocketNotifier::Read);
  connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
    char buffer[16];
    bool terminate = false;
    bool dump = false;
    ssize_t count = 0;
    while ((count = ::read(m_fds[1], buffer, sizeof buffer)) > 0) {
      for (ssize_t i = 0; i < count; ++i) (buffer[i] == SIGUSR1 ? dump : terminate) = true;
    }
    if (dump) emit ViewDumpRequested();
    if (terminate) emit Received();
  });
}

TerminationSignal::~TerminationSignal() {
  m_notifier.reset();
  // The handlers stay; a late signal then writes to a closed descriptor,
  // which is harmless.
  g_signalWriteFd = -1;
  for (int fd : m_fds) {
    if (fd >= 0) ::close(fd);
  }
}
