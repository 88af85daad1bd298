#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The TCP query server: listens on an IPv4 port, serves each connection in a
// thread of its own, reads query lines closed by a carriage return and sends
// back whatever OnQuery answers. It knows nothing of commands or frames.
//
// Wire format, in Windows-1251 bytes:
//   on connect        "Tamsel query server" CR and one zero byte (21 bytes)
//   client -> server  lines closed by CR; bytes up to 0x20 at either end are
//                     removed, so the LF of a CR LF ends up trimmed off the
//                     start of the next line
//   server -> client  the answer exactly as produced, no terminator; nothing
//                     for an empty answer
//   "Quit" / "Exit"   (exact, case-sensitive) the handler still runs, then
//                     "Good bye!\r" replaces its answer and the connection ends
// Every line, the empty one included, goes to the handler; a handler that
// throws answers nothing. Without a handler every line is answered
// "Command recive: " line "\r".
//
// Limits of a connection:
// - A line longer than kMaxLineLength bytes (counted from its first byte
//   above 0x20 up to its CR) is dropped: the rest of it up to the next CR is
//   discarded, nothing is answered, the connection stays usable, and the
//   event log says so (rate-limited, see below).
// - With LanOptions::IdleTimeoutSec, a connection that receives no byte for
//   that long is closed (and logged); an answer the client does not take
//   for that long is given up the same way.
// - At LanOptions::MaxConnections, a new connection takes the place of the
//   one that has received nothing for the longest time; a connection whose
//   query is being answered is never taken. Only when every connection is
//   busy so is the new one refused. So idle peers, however many, cannot keep
//   a station out. The evicted peer gets what any closed peer gets: nothing,
//   the connection just ends.
// - A peer that vanishes mid-answer ends its connection only (sends never
//   raise SIGPIPE).
//
// Refused connections (not on the allow-list, too many busy connections) are
// closed before a byte is read or sent. The event log gets the first refusal
// of each kind at once and then at most one summary line per
// kLogSummaryIntervalSec with the number refused meanwhile; dropped lines,
// evicted and idle-closed connections are logged the same way. Pending
// summaries are written when the server stops.
//
// Threads: Start, Stop, SetActive and every setter belong to the owner's
// thread (the console's main thread); the getters may be called from any
// thread. OnQuery runs on the connection threads, several at once, so it
// must be thread-safe; OnError runs on the thread that called Start. The
// handlers must not be replaced while the server is active. Stop (and so the
// destructor) joins every thread the server started: no thread outlives the
// object, but Stop waits for a handler that is still producing an answer.
class TWinSockServer {
 public:
  // "query" is the trimmed line; the handler fills "answer" (empty: nothing
  // is sent). "peer" is the client as "address:port".
  using QueryHandler = std::function<void(QByteArray& query, QByteArray& answer, const QString& peer)>;
  using ErrorHandler = std::function<void(TWinSockServer& sender)>;

  // Hardening of a server on a plant network. The defaults serve everyone
  // on every address and close a connection idle for 10 minutes, far above
  // any station's polling interval. Applied by the next Start.
  struct LanOptions {
    // Empty: all local addresses; else the IPv4 address text to listen on.
    QString BindAddress;
    // Empty (or blanks only): everyone. Else entries separated by ',' ';' or
    // blanks, each an address ("10.0.0.5") or a network ("192.168.1.0/24").
    // An invalid entry is logged once and ignored; when no entry is valid,
    // nobody is let in.
    QString Allow;
    // 0: never; else a connection without any received byte for that many
    // seconds is closed.
    int IdleTimeoutSec = 600;
    // Connections served at once. A further one evicts the longest idle
    // connection, or is closed at once, before the greeting, when all are
    // busy. Values below 1 count as 1.
    int MaxConnections = 64;
  };

  static constexpr int32_t kDefaultPort = 7777;
  static constexpr int kMaxLineLength = 1000;
  static constexpr int kListenBacklog = 256;
  // The longest time a server thread goes without looking at the stop
  // request; Stop also wakes them at once, so this only bounds a lost wake-up.
  static constexpr int kStopPollMs = 200;
  static constexpr int kLogSummaryIntervalSec = 10;
  static constexpr int kReceiveBufferSize = 4096;

  TWinSockServer();
  // Stops the server (see Stop).
  ~TWinSockServer();

  TWinSockServer(const TWinSockServer&) = delete;
  TWinSockServer& operator=(const TWinSockServer&) = delete;

  // Opens the listening socket on "port" (0: a free port, see BoundPort) and
  // starts the listener thread. The socket listens before Start returns, so a
  // client may connect at once. Failures set LastMessage to "Error socket %d\n",
  // "Error bind %d\n" or "Error listen %d\n" (the errno; an invalid
  // BindAddress is "Error bind 22\n"), call OnError and return false. Start on
  // a running server stops it first.
  bool Start(int32_t port);
  // Stops the listener, shuts down every connection and joins every thread;
  // always true. Instead of fixed pauses it waits for the threads themselves,
  // which are woken at once: it returns within milliseconds unless a query
  // handler is still busy. Safe when the server never started.
  bool Stop();

  // Nothing if unchanged; true: Start(ServerPortNum), false: Stop.
  void SetActive(bool active);
  // The listener runs, or it has ended while clients were still connected.
  bool GetActive() const { return m_active.load(); }
  // Connections being served.
  int32_t GetClientCount() const { return m_clientCount.load(); }
  int32_t GetServerPortNum() const { return m_serverPortNum.load(); }
  void SetServerPortNum(int32_t port) { m_serverPortNum.store(port); }
  QString GetLastMessage() const;
  // The port the server listens on since the last successful Start; 0 before.
  int BoundPort() const { return m_boundPort.load(); }

  void SetOnQuery(QueryHandler handler) { m_onQuery = std::move(handler); }
  void SetOnError(ErrorHandler handler) { m_onError = std::move(handler); }
  void SetLanOptions(const LanOptions& options);

  // LastMessage := text, then OnError when assigned.
  void err_message(const QString& text);

 private:
  struct AllowedNetwork {
    uint32_t Address = 0;  // host byte order, already masked
    uint32_t Mask = 0;
  };
  class RateLimitedLog;

  // One served connection. The connection thread owns the socket; the
  // listener may only shut it down, under m_connectionsMutex, while the
  // entry is in m_connections.
  struct Connection {
    enum State : int { kIdle, kBusy, kEvicted };
    int Socket = -1;
    // Host byte order. Kept as a number: each thread makes its own text, so
    // no string is shared between the connection and the listener.
    uint32_t PeerAddress = 0;
    // Steady-clock milliseconds of the last received byte (or the accept).
    std::atomic<int64_t> LastReceivedMs{0};
    // kIdle <-> kBusy by the connection thread around each query; kIdle ->
    // kEvicted by the listener only, so a busy connection is never evicted.
    std::atomic<int> State{kIdle};
  };

  // The listener thread's accept loop.
  void ServerWork();
  // One connection, on its own thread; owns its socket and closes it.
  void ServeConnection(std::shared_ptr<Connection> connection, QString peer);
  // Hands an accepted socket to a new connection thread; closes it when no
  // thread can be made.
  void StartConnection(int socket, uint32_t peerAddress, const QString& peer);
  // At the cap, evicts the longest idle connection. False when the cap is
  // reached and every connection is busy. Listener thread.
  bool MakeRoom();
  // Called by a connection thread as it ends.
  void EndConnection(const Connection& connection);
  // Joins connection threads that have ended.
  void JoinFinishedConnections();
  bool IsAllowed(uint32_t peerAddress) const;
  // Sends every byte unless the peer goes away, the server stops or the idle
  // limit passes without progress.
  bool SendAll(int socket, const char* data, qsizetype size) const;
  // One received line (without its CR): trims, asks the handler, answers.
  // False when the connection must end.
  bool HandleLine(Connection& connection, const QByteArray& line, const QString& peer);
  // The handler and the answer of one line, for HandleLine.
  bool AnswerLine(int socket, const QByteArray& line, const QString& peer);
  bool StopRequested() const { return m_stopRequest.load(); }

  std::atomic<int32_t> m_serverPortNum{kDefaultPort};
  std::atomic<int32_t> m_clientCount{0};
  std::atomic<bool> m_active{false};
  std::atomic<bool> m_stopRequest{false};
  std::atomic<int> m_boundPort{0};

  mutable std::mutex m_messageMutex;  // guards m_lastMessage
  QString m_lastMessage;

  // What a Start turns into socket options and checks: parsed from
  // LanOptions by SetLanOptions, copied by Start.
  struct Settings {
    QString BindAddress;
    bool AllowEveryone = true;
    std::vector<AllowedNetwork> Allowed;
    int IdleTimeoutMs = 0;
    int MaxConnections = 64;
  };

  QueryHandler m_onQuery;
  ErrorHandler m_onError;
  Settings m_pending;

  // Set by Start before any server thread exists and left alone until Stop
  // has joined them all; the server threads only read these.
  Settings m_running;
  int m_listenSocket = -1;
  int m_wakeEvent = -1;  // eventfd that Stop signals; every poll of the server watches it
  std::thread m_listener;

  std::mutex m_connectionsMutex;  // guards the three lists below
  // One per served connection, for Stop to shut down and the listener to evict.
  std::vector<std::shared_ptr<Connection>> m_connections;
  std::vector<std::thread> m_connectionThreads;    // every connection thread not yet joined
  std::vector<std::thread::id> m_finishedThreads;  // threads that have ended, waiting to be joined

  std::unique_ptr<RateLimitedLog> m_log;
};
