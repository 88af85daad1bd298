#include "station/winsockserver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <system_error>

#include "common/trimblanks.h"
#include "storage/eventlog.h"

namespace {

using Clock = std::chrono::steady_clock;

// The greeting goes out with its terminating zero byte: 21 bytes.
constexpr char kGreeting[] = "Tamsel query server\r";
static_assert(sizeof(kGreeting) == 21);
constexpr char kGoodBye[] = "Good bye!\r";
constexpr char kDefaultAnswerStart[] = "Command recive: ";
// A failed accept (out of descriptors, say) leaves the connection waiting in
// the backlog, so the listener pauses instead of spinning on it.
constexpr int kAcceptFailurePauseMs = 50;

// The server's threads yield to the acquisition: a flood of queries on a
// busy machine must not stretch the read and write threads' one-second
// cycle. An unprivileged process cannot raise those threads, but any thread
// may lower itself; at nice 10 the scheduler gives a server thread about a
// tenth of the share of a normal thread when both want the CPU, and all of
// it when the cycle sleeps. On Linux the call applies to the calling thread.
constexpr int kServerThreadNice = 10;

void LowerThisThreadsPriority() {
  (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kServerThreadNice);
}

enum LogReason {
  kNotAllowed = 0,
  kTooManyConnections,
  kLongLine,
  kNoThread,
  kEvicted,
  kIdleClosed,
  kLogReasonCount
};

// Every text this server writes to the event log.
QString SingleLogText(LogReason reason, const QString& address, int limit) {
  switch (reason) {
    case kNotAllowed:
      return QStringLiteral("Сервер запросов: отклонено подключение с %1 (адрес не разрешён)").arg(address);
    case kTooManyConnections:
      return QStringLiteral("Сервер запросов: отклонено подключение с %1 (превышено число подключений: %2)")
          .arg(address)
          .arg(limit);
    case kLongLine:
      return QStringLiteral("Сервер запросов: отброшена строка длиннее %1 символов от %2")
          .arg(limit)
          .arg(address);
    case kEvicted:
      return QStringLiteral(
                 "Сервер запросов: закрыто бездействующее подключение с %1, чтобы принять новое (предел "
                 "подключений: %2)")
          .arg(address)
          .arg(limit);
    case kIdleClosed:
      return QStringLiteral("Сервер запросов: закрыто подключение с %1: нет запросов дольше %2 с")
          .arg(address)
          .arg(limit);
    case kNoThread:
    case kLogReasonCount:
      break;
  }
  return QStringLiteral("Сервер запросов: не удалось создать поток для подключения с %1").arg(address);
}

QString SummaryLogText(LogReason reason, int count, const QString& lastAddress, int limit) {
  switch (reason) {
    case kNotAllowed:
      return QStringLiteral(
                 "Сервер запросов: отклонено ещё подключений: %1 (адрес не разрешён), последнее с %2")
          .arg(count)
          .arg(lastAddress);
    case kTooManyConnections:
      return QStringLiteral(
                 "Сервер запросов: отклонено ещё подключений: %1 (превышено число подключений: %2), "
                 "последнее с %3")
          .arg(count)
          .arg(limit)
          .arg(lastAddress);
    case kLongLine:
      return QStringLiteral("Сервер запросов: отброшено ещё строк длиннее %1 символов: %2, последняя от %3")
          .arg(limit)
          .arg(count)
          .arg(lastAddress);
    case kEvicted:
      return QStringLiteral(
                 "Сервер запросов: закрыто ещё бездействующих подключений, чтобы принять новые: %1 (предел "
                 "подключений: %2), последнее с %3")
          .arg(count)
          .arg(limit)
          .arg(lastAddress);
    case kIdleClosed:
      return QStringLiteral(
                 "Сервер запросов: закрыто ещё подключений без запросов дольше %1 с: %2, последнее с %3")
          .arg(limit)
          .arg(count)
          .arg(lastAddress);
    case kNoThread:
    case kLogReasonCount:
      break;
  }
  return QStringLiteral(
             "Сервер запросов: не удалось создать ещё потоков для подключений: %1, последний для %2")
      .arg(count)
      .arg(lastAddress);
}

QString InvalidAllowEntryText(const QString& entry) {
  return QStringLiteral("Сервер запросов: неверная запись в списке разрешённых адресов: \"%1\"").arg(entry);
}

QString NoValidAllowEntryText() {
  return QStringLiteral(
      "Сервер запросов: в списке разрешённых адресов нет ни одной верной записи, подключения не принимаются");
}

bool IsBlank(char byte) {
  return static_cast<unsigned char>(byte) <= 0x20;
}

// "a.b.c.d" or "a.b.c.d/n" (n = 0..32); false for anything else.
bool ParseAllowEntry(const QString& entry, uint32_t& address, uint32_t& mask) {
  const qsizetype slash = entry.indexOf(u'/');
  const QString host = slash < 0 ? entry : entry.left(slash);
  int prefix = 32;
  if (slash >= 0) {
    const QString bits = entry.mid(slash + 1);
    if (bits.isEmpty() || bits.size() > 2) return false;
    for (const QChar digit : bits) {
      if (!digit.isDigit()) return false;
    }
    prefix = bits.toInt();
    if (prefix > 32) return false;
  }
  in_addr parsed{};
  if (inet_pton(AF_INET, host.toLatin1().constData(), &parsed) != 1) return false;
  mask = prefix == 0 ? 0 : ~uint32_t{0} << (32 - prefix);
  address = ntohl(parsed.s_addr) & mask;
  return true;
}

QString AddressText(uint32_t hostOrder) {
  in_addr address{};
  address.s_addr = htonl(hostOrder);
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address, text, sizeof(text));
  return QString::fromLatin1(text);
}

int MillisecondsSince(Clock::time_point start) {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

int64_t SteadyMs(Clock::time_point moment) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(moment.time_since_epoch()).count();
}

}  // namespace

// The first event of each reason goes to the log at once; later ones are
// counted and summed up in one line once the interval since the last line
// has passed, so a flood of connects cannot flood the log queue.
class TWinSockServer::RateLimitedLog {
 public:
  void Note(LogReason reason, const QString& address, int limit) {
    std::lock_guard lock(m_mutex);
    Entry& entry = m_entries[reason];
    const Clock::time_point now = Clock::now();
    // A copy of the characters, not of the shared string: the caller's
    // string dies on its own thread, which the thread checker cannot follow
    // through Qt's reference count.
    entry.LastAddress = QString(address.constData(), address.size());
    entry.Limit = limit;
    if (entry.Pending == 0 && (!entry.Logged || now - entry.LastLine >= kInterval)) {
      AddLogMessage(SingleLogText(reason, address, limit));
      entry.Logged = true;
      entry.LastLine = now;
    } else {
      ++entry.Pending;
    }
  }

  // Writes the summaries that are due; all pending ones when "force" is set.
  void Flush(bool force) {
    std::lock_guard lock(m_mutex);
    const Clock::time_point now = Clock::now();
    for (int reason = 0; reason < kLogReasonCount; ++reason) {
      Entry& entry = m_entries[reason];
      if (entry.Pending == 0 || (!force && now - entry.LastLine < kInterval)) continue;
      AddLogMessage(
          SummaryLogText(static_cast<LogReason>(reason), entry.Pending, entry.LastAddress, entry.Limit));
      entry.Pending = 0;
      entry.LastLine = now;
    }
  }

 private:
  static constexpr std::chrono::seconds kInterval{kLogSummaryIntervalSec};

  struct Entry {
    bool Logged = false;
    Clock::time_point LastLine;
    int Pending = 0;  // events since LastLine that no line has told yet
    QString LastAddress;
    int Limit = 0;
  };

  std::mutex m_mutex;  // guards m_entries
  std::array<Entry, kLogReasonCount> m_entries;
};

TWinSockServer::TWinSockServer() : m_log(std::make_unique<RateLimitedLog>()) {}

TWinSockServer::~TWinSockServer() {
  Stop();
}

QString TWinSockServer::GetLastMessage() const {
  std::lock_guard lock(m_messageMutex);
  return m_lastMessage;
}

void TWinSockServer::err_message(const QString& text) {
  {
    std::lock_guard lock(m_messageMutex);
    m_lastMessage = text;
  }
  if (m_onError) m_onError(*this);
}

void TWinSockServer::SetLanOptions(const LanOptions& options) {
  Settings settings;
  settings.BindAddress = options.BindAddress.trimmed();
  settings.IdleTimeoutMs = std::max(0, options.IdleTimeoutSec) * 1000;
  settings.MaxConnections = std::max(1, options.MaxConnections);
  static const QRegularExpression kSeparators(QStringLiteral("[,;\\s]+"));
  const QStringList entries = options.Allow.split(kSeparators, Qt::SkipEmptyParts);
  settings.AllowEveryone = entries.isEmpty();
  for (const QString& entry : entries) {
    AllowedNetwork network;
    if (ParseAllowEntry(entry, network.Address, network.Mask)) {
      settings.Allowed.push_back(network);
    } else {
      AddLogMessage(InvalidAllowEntryText(entry));
    }
  }
  // Failing closed: an engineer who meant to restrict access and mistyped
  // every entry must not end up with a server open to everyone.
  if (!entries.isEmpty() && settings.Allowed.empty()) AddLogMessage(NoValidAllowEntryText());
  m_pending = std::move(settings);
}

bool TWinSockServer::IsAllowed(uint32_t peerAddress) const {
  if (m_running.AllowEveryone) return true;
  return std::any_of(m_running.Allowed.begin(), m_running.Allowed.end(),
                     [peerAddress](const AllowedNetwork& n) { return (peerAddress & n.Mask) == n.Address; });
}

void TWinSockServer::SetActive(bool active) {
  if (active == GetActive()) return;
  if (active) {
    Start(m_serverPortNum.load());
  } else {
    Stop();
  }
}

bool TWinSockServer::Start(int32_t port) {
  if (m_listener.joinable()) Stop();
  m_stopRequest.store(false);
  m_running = m_pending;

  const int listenSocket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listenSocket < 0) {
    err_message(QStringLiteral("Error socket %1\n").arg(errno));
    return false;
  }
  // A console restarted right after a crash must get its port back although
  // the old connections still linger in TIME_WAIT.
  const int one = 1;
  setsockopt(listenSocket, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  if (!m_running.BindAddress.isEmpty() &&
      inet_pton(AF_INET, m_running.BindAddress.toLatin1().constData(), &address.sin_addr) != 1) {
    close(listenSocket);
    err_message(QStringLiteral("Error bind %1\n").arg(EINVAL));
    return false;
  }
  if (bind(listenSocket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) < 0) {
    const int error = errno;
    close(listenSocket);
    err_message(QStringLiteral("Error bind %1\n").arg(error));
    return false;
  }
  // Listening here rather than on the listener thread means a client may
  // connect as soon as Start has returned true.
  if (listen(listenSocket, kListenBacklog) < 0) {
    const int error = errno;
    close(listenSocket);
    err_message(QStringLiteral("Error listen %1\n").arg(error));
    return false;
  }
  sockaddr_in bound{};
  socklen_t boundLength = sizeof(bound);
  if (getsockname(listenSocket, reinterpret_cast<sockaddr*>(&bound), &boundLength) == 0) {
    m_boundPort.store(ntohs(bound.sin_port));
  }

  m_listenSocket = listenSocket;
  // Without the event the server still stops, only up to kStopPollMs later.
  m_wakeEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  m_active.store(true);
  try {
    m_listener = std::thread(&TWinSockServer::ServerWork, this);
  } catch (const std::system_error& error) {
    m_active.store(false);
    close(m_listenSocket);
    m_listenSocket = -1;
    if (m_wakeEvent >= 0) close(m_wakeEvent);
    m_wakeEvent = -1;
    err_message(QStringLiteral("Error listen %1\n").arg(error.code().value()));
    return false;
  }
  return true;
}

bool TWinSockServer::Stop() {
  m_stopRequest.store(true);
  if (m_wakeEvent >= 0) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(m_wakeEvent, &one, sizeof(one));
  }
  if (m_listenSocket >= 0) shutdown(m_listenSocket, SHUT_RDWR);
  if (m_listener.joinable()) m_listener.join();

  // The listener is gone, so the lists only shrink from here on.
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(m_connectionsMutex);
    // A connection blocked in a send to a client that reads nothing wakes
    // up only through the shutdown.
    for (auto it = m_connections.rbegin(); it != m_connections.rend(); ++it) {
      shutdown((*it)->Socket, SHUT_RDWR);
    }
    threads.swap(m_connectionThreads);
  }
  for (std::thread& thread : threads) thread.join();
  {
    std::lock_guard lock(m_connectionsMutex);
    m_finishedThreads.clear();
  }

  if (m_listenSocket >= 0) close(m_listenSocket);
  m_listenSocket = -1;
  if (m_wakeEvent >= 0) close(m_wakeEvent);
  m_wakeEvent = -1;
  m_active.store(false);
  m_log->Flush(true);
  return true;
}

void TWinSockServer::ServerWork() {
  LowerThisThreadsPriority();
  while (!StopRequested()) {
    pollfd fds[2] = {{m_listenSocket, POLLIN, 0}, {m_wakeEvent, POLLIN, 0}};
    const int ready = poll(fds, 2, kStopPollMs);
    JoinFinishedConnections();
    m_log->Flush(false);
    if (StopRequested()) break;
    if (ready <= 0 || (fds[0].revents & POLLIN) == 0) continue;

    sockaddr_in peerAddress{};
    socklen_t peerLength = sizeof(peerAddress);
    const int socket =
        accept4(m_listenSocket, reinterpret_cast<sockaddr*>(&peerAddress), &peerLength, SOCK_CLOEXEC);
    if (socket < 0) {
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        pollfd wake = {m_wakeEvent, POLLIN, 0};
        poll(&wake, 1, kAcceptFailurePauseMs);
      }
      continue;
    }
    const uint32_t peer = ntohl(peerAddress.sin_addr.s_addr);
    const QString address = AddressText(peer);
    // Logged before the close, so that the refusal is on record by the time
    // the client sees its connection end.
    if (!IsAllowed(peer)) {
      m_log->Note(kNotAllowed, address, 0);
      close(socket);
      continue;
    }
    if (!MakeRoom()) {
      m_log->Note(kTooManyConnections, address, m_running.MaxConnections);
      close(socket);
      continue;
    }
    StartConnection(socket, peer, address + u':' + QString::number(ntohs(peerAddress.sin_port)));
  }
  if (m_clientCount.load() < 1) m_active.store(false);
}

bool TWinSockServer::MakeRoom() {
  uint32_t evictedPeer = 0;
  {
    std::lock_guard lock(m_connectionsMutex);
    // Evicted connections are on their way out and hold no place any more.
    const auto served = std::count_if(m_connections.begin(), m_connections.end(),
                                      [](const auto& c) { return c->State.load() != Connection::kEvicted; });
    if (served < m_running.MaxConnections) return true;
    // A connection may turn busy between the look and the claim; then the
    // next idlest is tried.
    for (;;) {
      Connection* idlest = nullptr;
      for (const auto& connection : m_connections) {
        if (connection->State.load() != Connection::kIdle) continue;
        if (idlest == nullptr || connection->LastReceivedMs.load() < idlest->LastReceivedMs.load()) {
          idlest = connection.get();
        }
      }
      if (idlest == nullptr) return false;
      int expected = Connection::kIdle;
      if (!idlest->State.compare_exchange_strong(expected, Connection::kEvicted)) continue;
      // The connection thread sees the end of its stream and leaves; it
      // still closes its own socket.
      shutdown(idlest->Socket, SHUT_RDWR);
      evictedPeer = idlest->PeerAddress;
      break;
    }
  }
  m_log->Note(kEvicted, AddressText(evictedPeer), m_running.MaxConnections);
  return true;
}

void TWinSockServer::StartConnection(int socket, uint32_t peerAddress, const QString& peer) {
  // Answers are single writes of a whole reply; without this, a reply longer
  // than one segment could wait for the client's delayed acknowledgement.
  const int one = 1;
  setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));

  auto connection = std::make_shared<Connection>();
  connection->Socket = socket;
  connection->PeerAddress = peerAddress;
  connection->LastReceivedMs.store(SteadyMs(Clock::now()));

  // The thread is made under the lock, so it is in the list before it can
  // end and ask to be joined.
  std::lock_guard lock(m_connectionsMutex);
  m_clientCount.fetch_add(1);
  m_connections.push_back(connection);
  try {
    m_connectionThreads.emplace_back([this, connection, peer] { ServeConnection(connection, peer); });
  } catch (const std::exception&) {
    m_connections.pop_back();
    m_clientCount.fetch_sub(1);
    close(socket);
    m_log->Note(kNoThread, AddressText(peerAddress), 0);
  }
}

void TWinSockServer::EndConnection(const Connection& connection) {
  {
    std::lock_guard lock(m_connectionsMutex);
    const auto it = std::find_if(m_connections.begin(), m_connections.end(),
                                 [&connection](const auto& c) { return c.get() == &connection; });
    if (it != m_connections.end()) m_connections.erase(it);
    m_finishedThreads.push_back(std::this_thread::get_id());
  }
  // Closed only once Stop and the listener can no longer find it in the
  // list, so they never shut down a descriptor number handed out again.
  close(connection.Socket);
  m_clientCount.fetch_sub(1);
}

void TWinSockServer::JoinFinishedConnections() {
  std::vector<std::thread> finished;
  {
    std::lock_guard lock(m_connectionsMutex);
    for (const std::thread::id id : m_finishedThreads) {
      const auto it = std::find_if(m_connectionThreads.begin(), m_connectionThreads.end(),
                                   [id](const std::thread& thread) { return thread.get_id() == id; });
      if (it == m_connectionThreads.end()) continue;
      finished.push_back(std::move(*it));
      m_connectionThreads.erase(it);
    }
    m_finishedThreads.clear();
  }
  for (std::thread& thread : finished) thread.join();
}

void TWinSockServer::ServeConnection(std::shared_ptr<Connection> connection, QString peer) {
  LowerThisThreadsPriority();
  const int socket = connection->Socket;
  const QString address = AddressText(connection->PeerAddress);
  bool open = SendAll(socket, kGreeting, sizeof(kGreeting));
  bool idleClosed = false;
  QByteArray line;
  bool discarding = false;  // inside an overlong line, up to its CR
  Clock::time_point lastReceived = Clock::now();
  std::array<char, kReceiveBufferSize> buffer;

  while (open && !StopRequested()) {
    int waitMs = kStopPollMs;
    if (m_running.IdleTimeoutMs > 0) {
      const int left = m_running.IdleTimeoutMs - MillisecondsSince(lastReceived);
      if (left <= 0) {
        idleClosed = true;
        break;
      }
      waitMs = std::min(waitMs, left);
    }
    pollfd fds[2] = {{socket, POLLIN, 0}, {m_wakeEvent, POLLIN, 0}};
    const int ready = poll(fds, 2, waitMs);
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0 || fds[0].revents == 0) continue;
    const ssize_t received = recv(socket, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (received == 0) break;
    if (received < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
      break;
    }
    lastReceived = Clock::now();
    connection->LastReceivedMs.store(SteadyMs(lastReceived), std::memory_order_relaxed);

    // Byte by byte over the buffer, so that a line split across packets and
    // several lines in one packet come out as with one recv per byte.
    for (ssize_t i = 0; i < received; ++i) {
      const char byte = buffer[i];
      if (byte == '\r') {
        if (discarding) {
          discarding = false;
          continue;
        }
        if (StopRequested() || !HandleLine(*connection, line, peer)) {
          open = false;
          break;
        }
        line.clear();
      } else if (discarding) {
        // The rest of an overlong line.
      } else if (line.isEmpty() && IsBlank(byte)) {
        // Leading blanks would be trimmed anyway; skipping them keeps a
        // stream of line feeds or blanks from growing the line.
      } else if (line.size() >= kMaxLineLength) {
        discarding = true;
        line.clear();
        m_log->Note(kLongLine, address, kMaxLineLength);
      } else {
        line.append(byte);
      }
    }
  }
  if (idleClosed) m_log->Note(kIdleClosed, address, m_running.IdleTimeoutMs / 1000);
  EndConnection(*connection);
}

bool TWinSockServer::HandleLine(Connection& connection, const QByteArray& line, const QString& peer) {
  // Claimed before the handler runs: from here to the answer's last byte the
  // listener cannot evict this connection, and once evicted it runs no more.
  int expected = Connection::kIdle;
  if (!connection.State.compare_exchange_strong(expected, Connection::kBusy)) return false;
  const bool open = AnswerLine(connection.Socket, line, peer);
  connection.State.store(Connection::kIdle);
  return open;
}

bool TWinSockServer::AnswerLine(int socket, const QByteArray& line, const QString& peer) {
  QByteArray query = TrimBlanks(line);
  const bool goodBye = query == "Quit" || query == "Exit";
  QByteArray answer;
  if (m_onQuery) {
    // A handler that throws must not take the process down from a thread
    // nobody waits on: its query gets no answer, as in the console's own
    // handler.
    try {
      m_onQuery(query, answer, peer);
    } catch (...) {
      answer.clear();
    }
  } else {
    answer = kDefaultAnswerStart + query + '\r';
  }
  if (goodBye) answer = kGoodBye;
  if (!answer.isEmpty() && !SendAll(socket, answer.constData(), answer.size())) return false;
  return !goodBye;
}

bool TWinSockServer::SendAll(int socket, const char* data, qsizetype size) const {
  Clock::time_point lastProgress = Clock::now();
  while (size > 0) {
    const ssize_t sent = send(socket, data, static_cast<size_t>(size), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) {
      data += sent;
      size -= sent;
      lastProgress = Clock::now();
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
    // The client's window is full: wait for room.
    if (StopRequested()) return false;
    int waitMs = kStopPollMs;
    if (m_running.IdleTimeoutMs > 0) {
      const int left = m_running.IdleTimeoutMs - MillisecondsSince(lastProgress);
      if (left <= 0) return false;
      waitMs = std::min(waitMs, left);
    }
    pollfd fds[2] = {{socket, POLLOUT, 0}, {m_wakeEvent, POLLIN, 0}};
    poll(fds, 2, waitMs);
  }
  return true;
}
