// tcp-echo-server: the TCP query server component alone, with a handler that
// answers every non-empty query with one fixed framed reply of about the size
// of a state record. Measures the server's own cost per request, without
// the console's command handling.
//
//   tcp-echo-server [--port PORT] [--prefix PUF1] [--reply-bytes 700]
// PORT 0 (the default) picks a free port; the first line printed names it.
// Runs until SIGINT or SIGTERM.

#include <signal.h>

#include <QByteArray>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "station/framing.h"
#include "station/winsockserver.h"

int main(int argc, char** argv) {
  int port = 0;
  QByteArray prefix = "PUF1";
  int replyBytes = 700;
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "--port") == 0 && hasValue) {
      port = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--prefix") == 0 && hasValue) {
      prefix = argv[++i];
    } else if (std::strcmp(argv[i], "--reply-bytes") == 0 && hasValue) {
      replyBytes = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: tcp-echo-server [--port PORT] [--prefix P] [--reply-bytes N]\n");
      return 2;
    }
  }

  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  QByteArray payload = "GetStateRec_OK:";
  while (payload.size() < replyBytes) payload += "12.3456789;";
  const QByteArray reply = BuildFrame(prefix, payload);

  TWinSockServer server;
  server.SetOnQuery([&reply](QByteArray& query, QByteArray& answer, const QString&) {
    if (!query.isEmpty()) answer = reply;
  });
  if (!server.Start(port)) {
    std::fprintf(stderr, "tcp-echo-server: %s", server.GetLastMessage().toLocal8Bit().constData());
    return 1;
  }
  std::printf("tcp-echo-server: listening on port %d, reply %lld bytes\n", server.BoundPort(),
              static_cast<long long>(reply.size()));
  std::fflush(stdout);

  int signal = 0;
  sigwait(&stopSignals, &signal);
  server.Stop();
  return 0;
}
