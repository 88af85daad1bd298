#include "support/fakeconsole.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>

#include "common/floattext.h"
#include "station/framing.h"

namespace {

const QByteArray kGreeting("Tamsel query server\r\0", 21);
constexpr int kPollMs = 20;

QByteArray MomentOf(const QByteArray& text) {
  const qsizetype start = text.indexOf("RecMoment='");
  if (start < 0) return {};
  const qsizetype from = start + 11;
  return text.mid(from, text.indexOf('\'', from) - from);
}

}  // namespace

FakeConsole::FakeConsole(QByteArray prefix) : m_prefix(std::move(prefix)) {}

FakeConsole::~FakeConsole() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
  CloseConnection();
  if (m_listener >= 0) ::close(m_listener);
}

bool FakeConsole::Listen() {
  m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_listener < 0) return false;
  const int yes = 1;
  ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(m_port);
  socklen_t length = sizeof address;
  if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(m_listener, 8) != 0 ||
      ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(m_listener);
    m_listener = -1;
    return false;
  }
  m_port = ntohs(address.sin_port);
  return true;
}

bool FakeConsole::Start() {
  if (!Listen()) return false;
  {
    std::lock_guard lock(m_mutex);
    m_listening = true;
  }
  m_thread = std::thread([this] { Serve(); });
  return true;
}

void FakeConsole::CloseConnection() {
  if (m_connection < 0) return;
  ::close(m_connection);
  m_connection = -1;
}

void FakeConsole::Send(const QByteArray& bytes) {
  bool split = false;
  {
    std::lock_guard lock(m_mutex);
    split = m_split;
  }
  const qsizetype pieceSize = split ? std::max<qsizetype>(1, bytes.size() / 3) : bytes.size();
  for (qsizetype at = 0; at < bytes.size() && m_connection >= 0; at += pieceSize) {
    const QByteArray piece = bytes.mid(at, pieceSize);
    if (::send(m_connection, piece.constData(), size_t(piece.size()), MSG_NOSIGNAL) != piece.size()) {
      CloseConnection();
      return;
    }
    if (split) std::this_thread::sleep_for(std::chrono::milliseconds(3));
  }
}

void FakeConsole::Serve() {
  QByteArray buffer;
  while (!m_stop) {
    int downMs = -1;
    {
      std::lock_guard lock(m_mutex);
      downMs = m_restartDownMs;
    }
    if (downMs >= 0) {
      CloseConnection();
      ::close(m_listener);
      m_listener = -1;
      {
        std::lock_guard lock(m_mutex);
        m_restartDownMs = -1;
      }
      const QDeadlineTimer deadline(downMs);
      while (!deadline.hasExpired() && !m_stop) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      while (!Listen() && !m_stop) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      std::lock_guard lock(m_mutex);
      m_listening = true;
    }

    pollfd fds[2] = {{m_listener, POLLIN, 0}, {m_connection, POLLIN, 0}};
    if (::poll(fds, m_connection >= 0 ? 2 : 1, kPollMs) <= 0) continue;
    if (fds[0].revents & POLLIN) {
      const int accepted = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (accepted >= 0) {
        CloseConnection();
        buffer.clear();
        m_connection = accepted;
        // Replies sent in pieces must not wait for the client's delayed ACK.
        const int yes = 1;
        ::setsockopt(m_connection, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        {
          std::lock_guard lock(m_mutex);
          ++m_connections;
        }
        Send(kGreeting);
      }
      continue;
    }
    if (m_connection < 0 || !(fds[1].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    char chunk[4096];
    const ssize_t received = ::recv(m_connection, chunk, sizeof chunk, 0);
    if (received <= 0) {
      CloseConnection();
      continue;
    }
    buffer.append(chunk, received);
    qsizetype end;
    while (m_connection >= 0 && (end = buffer.indexOf('\r')) >= 0) {
      const QByteArray line = TrimBlanks(buffer.left(end));
      buffer.remove(0, end + 1);
      if (!line.isEmpty()) HandleLine(line);
    }
  }
}

void FakeConsole::HandleLine(const QByteArray& line) {
  bool drop = false;
  bool dropExecutes = false;
  bool garbage = false;
  bool corrupt = false;
  {
    std::lock_guard lock(m_mutex);
    ++m_requests;
    if (m_requests == m_dropAt) {
      drop = true;
      dropExecutes = m_dropExecutes;
    } else if (m_garbageCount > 0) {
      --m_garbageCount;
      garbage = true;
    }
  }
  if (garbage) {
    Send("#?!garbage\x01\xff");
    return;
  }

  const ParsedRequest request = ParseRequestLine(line, m_prefix);
  if (request.Kind == RequestKind::Command) {
    std::lock_guard lock(m_mutex);
    if (m_corruptCount > 0 && request.Command == m_corruptCommand) {
      --m_corruptCount;
      corrupt = true;
    }
  }
  QByteArray answer;
  switch (request.Kind) {
    case RequestKind::Ignored:
      break;
    case RequestKind::BadCrc:
      answer = "Error:BAD CRC";
      break;
    case RequestKind::BadCommand:
      answer = "Error:Cmd";
      break;
    case RequestKind::Command: {
      if (drop && !dropExecutes) break;
      QByteArray reply;
      if (Execute(request.Command, request.Data, reply)) {
        answer = BuildFrame(m_prefix, reply);
        if (corrupt) {
          // One character of the text changes; the checksum stays that of the original.
          const qsizetype at = m_prefix.size() + 1 + reply.size() / 2;
          answer[at] = answer[at] == '7' ? '8' : '7';
        }
      }
      break;
    }
  }
  if (drop) {
    CloseConnection();
    return;
  }
  if (!answer.isEmpty()) Send(answer);
}

bool FakeConsole::Execute(const QByteArray& command, const QByteArray& data, QByteArray& reply) {
  std::function<void(const QByteArray&)> hook;
  if (command == "SetSaveFlag") {
    std::lock_guard lock(m_mutex);
    hook = m_acknowledgeHook;
  }
  if (hook) hook(data);  // outside the lock: it may take its time (a database query)

  std::lock_guard lock(m_mutex);
  if (command == "GetUnsavedCount") {
    reply = "GetUnsavedCount_OK:" +
            QByteArray::number(std::count_if(m_minutes.begin(), m_minutes.end(),
                                             [](const HeldMinute& minute) { return !minute.Saved; }));
  } else if (command == "GetUnsavedRecord") {
    const auto waiting = std::find_if(m_minutes.begin(), m_minutes.end(),
                                      [](const HeldMinute& minute) { return !minute.Saved; });
    reply =
        waiting == m_minutes.end() ? QByteArray("Error:no records") : "GetUnsavedRecord_OK:" + waiting->Text;
  } else if (command == "SetSaveFlag") {
    const auto match = std::find_if(m_minutes.begin(), m_minutes.end(),
                                    [&](const HeldMinute& minute) { return minute.Moment == data; });
    if (match == m_minutes.end()) {
      reply = "Error:record not found";
    } else {
      match->Saved = true;
      m_acknowledged.push_back(data);
      reply = "SetSaveFlag_OK:";
    }
  } else if (command == "GetLogRecCount") {
    reply = "GetLogRecCount_OK:" + QByteArray::number(qsizetype(m_logLines.size()));
  } else if (command == "GetLogRec") {
    if (m_logLines.empty()) return false;  // the TCP server sends nothing for an empty reply
    reply = "GetLogRec_OK:" + m_logLines.front();
  } else if (command == "DeleteLogRec") {
    const auto match = data.isEmpty()
                           ? m_logLines.end()
                           : std::find_if(m_logLines.begin(), m_logLines.end(),
                                          [&](const QByteArray& line) { return line.startsWith(data); });
    const bool removed = match != m_logLines.end();
    if (removed) {
      m_logLines.erase(match);
      m_deletedTicks.push_back(data);
    }
    reply = QByteArray("DeleteLogRec_OK:") + (removed ? '1' : '0');
  } else {
    reply = ":)\r\n";
  }
  return true;
}

void FakeConsole::OfferMinute(const QByteArray& text) {
  const QByteArray moment = MomentOf(text);
  std::lock_guard lock(m_mutex);
  const auto held = std::find_if(m_minutes.begin(), m_minutes.end(),
                                 [&](const HeldMinute& minute) { return minute.Moment == moment; });
  if (held != m_minutes.end()) {
    held->Text = text;
    held->Saved = false;
  } else {
    m_minutes.push_back({moment, text, false});
  }
}

void FakeConsole::AddLogLine(const QByteArray& line) {
  std::lock_guard lock(m_mutex);
  m_logLines.push_back(line);
}

void FakeConsole::DropConnectionAt(int number, bool executeFirst) {
  std::lock_guard lock(m_mutex);
  m_dropAt = number;
  m_dropExecutes = executeFirst;
}

void FakeConsole::CorruptReplies(const QByteArray& command, int count) {
  std::lock_guard lock(m_mutex);
  m_corruptCommand = command;
  m_corruptCount = count;
}

void FakeConsole::AnswerGarbage(int count) {
  std::lock_guard lock(m_mutex);
  m_garbageCount = count;
}

void FakeConsole::SplitReplies(bool split) {
  std::lock_guard lock(m_mutex);
  m_split = split;
}

void FakeConsole::Restart(int downMs) {
  {
    std::lock_guard lock(m_mutex);
    m_restartDownMs = downMs;
    m_listening = false;
  }
  // Returns once the server has closed, so that the caller's next request meets a closed port.
  const QDeadlineTimer deadline(5000);
  while (!deadline.hasExpired()) {
    {
      std::lock_guard lock(m_mutex);
      if (m_restartDownMs < 0) return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void FakeConsole::SetAcknowledgeHook(std::function<void(const QByteArray&)> hook) {
  std::lock_guard lock(m_mutex);
  m_acknowledgeHook = std::move(hook);
}

std::vector<QByteArray> FakeConsole::Acknowledged() const {
  std::lock_guard lock(m_mutex);
  return m_acknowledged;
}

std::vector<QByteArray> FakeConsole::DeletedLogTicks() const {
  std::lock_guard lock(m_mutex);
  return m_deletedTicks;
}

int FakeConsole::UnsavedCount() const {
  std::lock_guard lock(m_mutex);
  return int(std::count_if(m_minutes.begin(), m_minutes.end(),
                           [](const HeldMinute& minute) { return !minute.Saved; }));
}

int FakeConsole::LogLineCount() const {
  std::lock_guard lock(m_mutex);
  return int(m_logLines.size());
}

int FakeConsole::RequestCount() const {
  std::lock_guard lock(m_mutex);
  return m_requests;
}

int FakeConsole::ConnectionCount() const {
  std::lock_guard lock(m_mutex);
  return m_connections;
}

bool FakeConsole::Listening() const {
  std::lock_guard lock(m_mutex);
  return m_listening;
}

QByteArray FakeMinute::Text() const {
  static constexpr const char* kBaseNames[] = {"PLF", "RVF",  "URFK", "URFK12_", "OARS", "OARP", "OAFL",
                                               "RGF", "TRRS", "TRRP", "TRFL",    "ZRRS", "ZRRP", "ZRFL"};
  static constexpr const char* kFlagNames[] = {"F1AR",  "F2AR",  "F1RR",  "F2RR",
                                               "F1AFL", "F2AFL", "F1RFL", "F2RFL"};
  QByteArray text = "RecMoment='" + Moment + "'";
  for (int index = 0; index < 28; ++index)
    text += ',' + QByteArray(kBaseNames[index % 14]) + char('1' + index / 14) + '=' + ValueTexts[index];
  for (int index = 0; index < 8; ++index)
    text += ',' + QByteArray(kFlagNames[index]) + '=' + FlagTexts[index];
  return text;
}

double FakeMinute::Expected(int index) const {
  return std::strtod(ValueTexts[index].constData(), nullptr);
}

FakeMinute MakeFakeMinute(const QDateTime& moment, uint32_t seed) {
  // Typical ranges per base name: pulp density, flows, reagent rates and setpoints.
  static constexpr double kRanges[14][2] = {{1.1, 1.6}, {200, 600}, {20, 60},  {40, 80}, {0, 5},
                                            {0, 5},     {0, 3},     {0, 2000}, {0, 100}, {0, 100},
                                            {0, 100},   {0, 80},    {0, 40},   {0, 20}};
  std::mt19937 random(seed);
  FakeMinute minute;
  minute.Moment = moment.toString(QStringLiteral("yyyy-MM-dd hh:mm:00")).toLatin1();
  for (int index = 0; index < 28; ++index) {
    const double* range = kRanges[index % 14];
    const float value = float(std::uniform_real_distribution<double>(range[0], range[1])(random));
    minute.ValueTexts[index] = FloatToStrGeneral(double(value)).toLatin1();
  }
  for (int index = 0; index < 8; ++index) minute.FlagTexts[index] = (random() & 1) ? "1" : "0";
  return minute;
}
