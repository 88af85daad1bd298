#include "station/winsockserver.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QRegularExpression>
#include <QStringList>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "support/eventlogcapture.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Generous: the sanitizer builds on a busy two-core machine are slow.
constexpr int kDeadlineMs = 5000;
const QByteArray kGreeting("Tamsel query server\r\0", 21);

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = kDeadlineMs) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

int64_t ElapsedMs(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A plain blocking loopback client with deadline-bounded reads.
class TestClient {
 public:
  TestClient() = default;
  TestClient(const TestClient&) = delete;
  TestClient& operator=(const TestClient&) = delete;
  ~TestClient() { Close(); }

  bool Connect(int port) {
    m_socket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_socket < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  }

  bool Send(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
      const ssize_t sent = send(m_socket, bytes.constData() + done, bytes.size() - done, MSG_NOSIGNAL);
      if (sent <= 0) return false;
      done += sent;
    }
    return true;
  }

  // Up to "count" bytes; fewer when the server closes or the deadline passes.
  QByteArray Read(qsizetype count, int timeoutMs = kDeadlineMs) {
    QByteArray bytes;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (bytes.size() < count && !m_closed) {
      const int64_t left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) break;
      pollfd fd = {m_socket, POLLIN, 0};
      if (poll(&fd, 1, static_cast<int>(left)) <= 0) continue;
      char buffer[65536];
      const ssize_t received =
          recv(m_socket, buffer, std::min<qsizetype>(sizeof(buffer), count - bytes.size()), 0);
      if (received <= 0) {
        m_closed = true;
        break;
      }
      bytes.append(buffer, received);
    }
    return bytes;
  }

  // Everything until the server closes; Closed() tells whether it did in time.
  QByteArray ReadToClose(int timeoutMs = kDeadlineMs) { return Read(1 << 30, timeoutMs); }

  bool Closed() const { return m_closed; }

  // Without waiting: the server has ended the stream and nothing is left to read.
  bool PeerHasClosed() {
    pollfd fd = {m_socket, POLLIN, 0};
    char byte = 0;
    if (poll(&fd, 1, 0) == 1 && recv(m_socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0) m_closed = true;
    return m_closed;
  }

  int LocalPort() const {
    sockaddr_in address{};
    socklen_t length = sizeof(address);
    getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
  }

  void Close() {
    if (m_socket >= 0) close(m_socket);
    m_socket = -1;
  }

 private:
  int m_socket = -1;
  bool m_closed = false;
};

// Lines the handler was given, from any connection thread.
class QueryRecorder {
 public:
  void Add(const QByteArray& query, const QString& peer) {
    std::lock_guard lock(m_mutex);
    m_queries.push_back(query);
    m_peers.push_back(peer);
  }
  std::vector<QByteArray> Queries() const {
    std::lock_guard lock(m_mutex);
    return m_queries;
  }
  std::vector<QString> Peers() const {
    std::lock_guard lock(m_mutex);
    return m_peers;
  }

 private:
  mutable std::mutex m_mutex;
  std::vector<QByteArray> m_queries;
  std::vector<QString> m_peers;
};

// Event-log texts of this server posted since the last call.
QStringList ServerLogLines() {
  QStringList lines;
  for (const TEventFIFO_Rec& record : DrainEventLog()) {
    if (record.Text.startsWith(QStringLiteral("Сервер запросов"))) lines << record.Text;
  }
  return lines;
}

class WinSockServerTest : public ::testing::Test {
 protected:
  void SetUp() override { DrainEventLog(); }

  // Starts on a free loopback port; "handler" defaults to the bracket echo.
  void StartServer(const TWinSockServer::LanOptions& options = {}) {
    m_server.SetLanOptions(options);
    ASSERT_TRUE(m_server.Start(0)) << m_server.GetLastMessage().toStdString();
    m_port = m_server.BoundPort();
    ASSERT_GT(m_port, 0);
  }

  // Answers "[query]", nothing for an empty query, like the console's
  // handler gives nothing for an empty line.
  void UseEchoHandler() {
    m_server.SetOnQuery([this](QByteArray& query, QByteArray& answer, const QString& peer) {
      m_recorder.Add(query, peer);
      if (!query.isEmpty()) answer = '[' + query + ']';
    });
  }

  // Connects and takes the greeting.
  std::unique_ptr<TestClient> ConnectServed() {
    auto client = std::make_unique<TestClient>();
    EXPECT_TRUE(client->Connect(m_port));
    EXPECT_EQ(client->Read(kGreeting.size()), kGreeting);
    return client;
  }

  TWinSockServer m_server;
  QueryRecorder m_recorder;
  int m_port = 0;
};

TEST_F(WinSockServerTest, Connect_GreetingArrivesBeforeTheClientSendsAnything) {
  StartServer();
  TestClient client;
  ASSERT_TRUE(client.Connect(m_port));
  EXPECT_EQ(client.Read(kGreeting.size()), kGreeting);
  EXPECT_TRUE(WaitUntil([&] { return m_server.GetClientCount() == 1; }));
  EXPECT_TRUE(m_server.GetActive());
}

TEST_F(WinSockServerTest, NoHandler_AnswersCommandReciveWithTheTrimmedLine) {
  StartServer();
  auto client = ConnectServed();
  ASSERT_TRUE(client->Send(" hello world \r\n"));
  const QByteArray expected("Command recive: hello world\r");
  EXPECT_EQ(client->Read(expected.size()), expected);
}

struct LineCase {
  const char* name;
  std::vector<QByteArray> chunks;  // sent one after the other
  QByteArray answers;              // everything the server sends back, in order
  friend void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }
};

class WinSockServerLineTest : public WinSockServerTest, public ::testing::WithParamInterface<LineCase> {};

// Each case ends with a sentinel query: its answer right after the expected
// ones proves that nothing else (an answer to an empty line, say) was sent.
TEST_P(WinSockServerLineTest, Lines_AnsweredExactlyAsTheHandlerProducesThem) {
  UseEchoHandler();
  StartServer();
  auto client = ConnectServed();
  for (const QByteArray& chunk : GetParam().chunks) ASSERT_TRUE(client->Send(chunk));
  ASSERT_TRUE(client->Send("Z\r"));
  const QByteArray expected = GetParam().answers + "[Z]";
  EXPECT_EQ(client->Read(expected.size()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    WireFormat, WinSockServerLineTest,
    ::testing::Values(
        LineCase{"OneLine", {"PUF1:GetStateRec:<0000>\r"}, "[PUF1:GetStateRec:<0000>]"},
        LineCase{"SeveralInOnePacket", {"A\rB\rC\r"}, "[A][B][C]"},
        LineCase{"LineFeedAfterCarriageReturn", {"A\r\nB\r\n"}, "[A][B]"},
        LineCase{"BlanksAndControlBytesTrimmed", {QByteArray("\t\x01 A  B \x1f\0\r", 11)}, "[A  B]"},
        LineCase{"ZeroByteInsideKept", {QByteArray("A\0B\r", 4)}, QByteArray("[A\0B]", 5)},
        // Windows-1251 letters are bytes above 0x7F and must not count as
        // blanks (a signed char would make them negative).
        LineCase{"Cp1251LettersKept", {"\xcf\xf3\xeb\xfc\xef\xe0\xa0\r"}, "[\xcf\xf3\xeb\xfc\xef\xe0\xa0]"},
        LineCase{"EmptyLinesSendNothing", {"\r", " \t\r\n", "\r"}, ""},
        LineCase{"ByteAtATime", {"a", "b", "c", "\r"}, "[abc]"}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

TEST_F(WinSockServerTest, QuerySplitAcrossPackets_JoinedIntoOneLine) {
  UseEchoHandler();
  StartServer();
  auto client = ConnectServed();
  // The first answer proves the server has taken "sec" in an earlier
  // receive than "ond\r".
  ASSERT_TRUE(client->Send("first\rsec"));
  EXPECT_EQ(client->Read(7), "[first]");
  ASSERT_TRUE(client->Send("ond\r"));
  EXPECT_EQ(client->Read(8), "[second]");
}

TEST_F(WinSockServerTest, Handler_GetsThePeerAsAddressAndPort) {
  UseEchoHandler();
  StartServer();
  auto client = ConnectServed();
  ASSERT_TRUE(client->Send("x\r"));
  EXPECT_EQ(client->Read(3), "[x]");
  ASSERT_EQ(m_recorder.Peers().size(), 1u);
  EXPECT_EQ(m_recorder.Peers()[0], QStringLiteral("127.0.0.1:%1").arg(client->LocalPort()));
}

TEST_F(WinSockServerTest, HandlerThrows_NoAnswerAndTheConnectionStaysUsable) {
  m_server.SetOnQuery([](QByteArray& query, QByteArray& answer, const QString&) {
    if (query == "boom") throw std::runtime_error("boom");
    answer = "ok:" + query;
  });
  StartServer();
  auto client = ConnectServed();
  ASSERT_TRUE(client->Send("boom\rnext\r"));
  EXPECT_EQ(client->Read(7), "ok:next");
}

struct GoodByeCase {
  const char* name;
  QByteArray line;
  bool closes;
  friend void PrintTo(const GoodByeCase& c, std::ostream* os) { *os << c.name; }
};

class WinSockServerGoodByeTest : public WinSockServerTest,
                                 public ::testing::WithParamInterface<GoodByeCase> {};

TEST_P(WinSockServerGoodByeTest, QuitOrExit_HandlerRunsThenGoodByeAndClose) {
  UseEchoHandler();
  StartServer();
  auto client = ConnectServed();
  ASSERT_TRUE(client->Send(GetParam().line));
  const QByteArray trimmed = GetParam().line.trimmed();
  if (GetParam().closes) {
    EXPECT_EQ(client->ReadToClose(), "Good bye!\r");
    EXPECT_TRUE(client->Closed());
    EXPECT_TRUE(WaitUntil([&] { return m_server.GetClientCount() == 0; }));
  } else {
    EXPECT_EQ(client->Read(trimmed.size() + 2), '[' + trimmed + ']');
    ASSERT_TRUE(client->Send("Z\r"));
    EXPECT_EQ(client->Read(3), "[Z]");
  }
  ASSERT_FALSE(m_recorder.Queries().empty());
  EXPECT_EQ(m_recorder.Queries()[0], trimmed);
}

INSTANTIATE_TEST_SUITE_P(Commands, WinSockServerGoodByeTest,
                         ::testing::Values(GoodByeCase{"Quit", "Quit\r", true},
                                           GoodByeCase{"ExitWithBlanksAndLineFeed", "  Exit \r\n", true},
                                           GoodByeCase{"LowerCaseIsAQuery", "quit\r", false},
                                           GoodByeCase{"LongerWordIsAQuery", "QuitNow\r", false}),
                         [](const ::testing::TestParamInfo<GoodByeCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(WinSockServerTest, TwoClients_BothServedAndCountedUntilTheyLeave) {
  UseEchoHandler();
  StartServer();
  auto first = ConnectServed();
  auto second = ConnectServed();
  EXPECT_TRUE(WaitUntil([&] { return m_server.GetClientCount() == 2; }));
  ASSERT_TRUE(second->Send("two\r"));
  ASSERT_TRUE(first->Send("one\r"));
  EXPECT_EQ(first->Read(5), "[one]");
  EXPECT_EQ(second->Read(5), "[two]");
  first->Close();
  second->Close();
  EXPECT_TRUE(WaitUntil([&] { return m_server.GetClientCount() == 0; }));
}

struct LongLineCase {
  const char* name;
  QByteArray line;  // without its CR
  bool answered;
  friend void PrintTo(const LongLineCase& c, std::ostream* os) { *os << c.name; }
};

class WinSockServerLongLineTest : public WinSockServerTest,
                                  public ::testing::WithParamInterface<LongLineCase> {};

TEST_P(WinSockServerLongLineTest, LineOverTheLimit_DroppedAndTheNextQueryAnswered) {
  UseEchoHandler();
  StartServer();
  auto client = ConnectServed();
  ASSERT_TRUE(client->Send(GetParam().line + "\rok\r"));
  const QByteArray trimmed = GetParam().line.trimmed();
  const QByteArray expected = GetParam().answered ? '[' + trimmed + "][ok]" : QByteArray("[ok]");
  EXPECT_EQ(client->Read(expected.size()), expected);
  const std::vector<QByteArray> queries = m_recorder.Queries();
  EXPECT_EQ(queries.size(), GetParam().answered ? 2u : 1u);
  const QStringList log = ServerLogLines();
  if (GetParam().answered) {
    EXPECT_TRUE(log.isEmpty()) << log.join('\n').toStdString();
  } else {
    EXPECT_EQ(
        log,
        QStringList{QStringLiteral("Сервер запросов: отброшена строка длиннее 1000 символов от 127.0.0.1")});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Limit, WinSockServerLongLineTest,
    ::testing::Values(LongLineCase{"Exactly1000", QByteArray(1000, 'x'), true},
                      LongLineCase{"Just1001", QByteArray(1001, 'x'), false},
                      // Spans several receive buffers.
                      LongLineCase{"Many", QByteArray(20000, 'x'), false},
                      // The LF left over from a CR LF client is not part of the line.
                      LongLineCase{"Exactly1000AfterLineFeed", '\n' + QByteArray(1000, 'x'), true},
                      LongLineCase{"TrailingBlanksCount", QByteArray(1000, 'x') + ' ', false}),
    [](const ::testing::TestParamInfo<LongLineCase>& info) { return std::string(info.param.name); });

TEST_F(WinSockServerTest, LongLines_FirstLoggedAtOnceTheRestSummedUpAtStop) {
  UseEchoHandler();
  StartServer();
  auto client = ConnectServed();
  const QByteArray longLine = QByteArray(1500, 'y') + '\r';
  ASSERT_TRUE(client->Send(longLine + longLine + longLine + "ok\r"));
  EXPECT_EQ(client->Read(4), "[ok]");
  EXPECT_EQ(ServerLogLines().size(), 1);
  m_server.Stop();
  EXPECT_EQ(ServerLogLines(),
            QStringList{QStringLiteral(
                "Сервер запросов: отброшено ещё строк длиннее 1000 символов: 2, последняя от 127.0.0.1")});
}

// A handler that holds every "hold" query until released, so that a test
// can keep connections busy mid-query.
class HoldingHandler {
 public:
  void Install(TWinSockServer& server) {
    server.SetOnQuery([this](QByteArray& query, QByteArray& answer, const QString&) {
      if (query == "hold") {
        ++m_held;
        WaitUntil([this] { return m_released.load(); }, 60'000);
        answer = "[held]";
      } else if (!query.isEmpty()) {
        answer = '[' + query + ']';
      }
    });
  }
  int Held() const { return m_held.load(); }
  void Release() { m_released.store(true); }

 private:
  std::atomic<int> m_held{0};
  std::atomic<bool> m_released{false};
};

class WinSockServerCapTest : public WinSockServerTest {
 protected:
  // The server's threads read the handler until Stop has joined them.
  void TearDown() override {
    m_holding.Release();
    m_server.Stop();
  }

  HoldingHandler m_holding;
};

TEST_F(WinSockServerCapTest, ConnectionCap_NewClientTakesThePlaceOfTheLongestIdle) {
  m_holding.Install(m_server);
  TWinSockServer::LanOptions options;
  options.MaxConnections = 2;
  StartServer(options);
  auto first = ConnectServed();
  auto second = ConnectServed();
  // "second" has spoken since "first" has, so "first" is the longest idle.
  ASSERT_TRUE(second->Send("ping\r"));
  ASSERT_EQ(second->Read(6), "[ping]");

  auto third = ConnectServed();
  EXPECT_EQ(first->ReadToClose(), QByteArray());  // nothing, not even a good-bye
  EXPECT_TRUE(first->Closed());
  ASSERT_TRUE(WaitUntil([&] { return m_server.GetClientCount() == 2; }));
  for (TestClient* client : {second.get(), third.get()}) {
    ASSERT_TRUE(client->Send("still\r"));
    EXPECT_EQ(client->Read(7), "[still]");
  }
  EXPECT_EQ(ServerLogLines(),
            QStringList{QStringLiteral("Сервер запросов: закрыто бездействующее подключение с "
                                       "127.0.0.1, чтобы принять новое (предел подключений: 2)")});
}

TEST_F(WinSockServerCapTest, ConnectionCap_AConnectionMidQueryIsNeverEvicted) {
  m_holding.Install(m_server);
  TWinSockServer::LanOptions options;
  options.MaxConnections = 2;
  StartServer(options);
  // "busy" has been silent the longest once its query is in, but it is
  // being answered, so the idle "recent" goes instead.
  auto busy = ConnectServed();
  ASSERT_TRUE(busy->Send("hold\r"));
  ASSERT_TRUE(WaitUntil([&] { return m_holding.Held() == 1; }));
  auto recent = ConnectServed();

  auto newcomer = ConnectServed();
  EXPECT_EQ(recent->ReadToClose(), QByteArray());
  EXPECT_TRUE(recent->Closed());
  m_holding.Release();
  EXPECT_EQ(busy->Read(6), "[held]");
  ASSERT_TRUE(newcomer->Send("q\r"));
  EXPECT_EQ(newcomer->Read(3), "[q]");
}

TEST_F(WinSockServerCapTest, ConnectionCap_AllBusy_NewClientsRefusedFirstLoggedAtOnceTheRestAtStop) {
  m_holding.Install(m_server);
  TWinSockServer::LanOptions options;
  options.MaxConnections = 1;
  StartServer(options);
  auto kept = ConnectServed();
  ASSERT_TRUE(kept->Send("hold\r"));
  ASSERT_TRUE(WaitUntil([&] { return m_holding.Held() == 1; }));
  for (int i = 0; i < 5; ++i) {
    TestClient refused;
    ASSERT_TRUE(refused.Connect(m_port));
    EXPECT_EQ(refused.ReadToClose(), QByteArray());
    EXPECT_TRUE(refused.Closed());
  }
  EXPECT_EQ(ServerLogLines(),
            QStringList{QStringLiteral(
                "Сервер запросов: отклонено подключение с 127.0.0.1 (превышено число подключений: 1)")});

  m_holding.Release();
  EXPECT_EQ(kept->Read(6), "[held]");
  m_server.Stop();
  EXPECT_EQ(ServerLogLines(),
            QStringList{QStringLiteral("Сервер запросов: отклонено ещё подключений: 4 (превышено число "
                                       "подключений: 1), последнее с 127.0.0.1")});
}

// The numbers a server's log lines of one kind add up to: 1 for the single
// line, the count for each summary line.
int EventsTold(const QStringList& lines, const QString& single, const QString& summaryStart) {
  static const QRegularExpression kCount(QStringLiteral(": (\\d+)"));
  int total = 0;
  for (const QString& line : lines) {
    if (line.startsWith(single)) {
      ++total;
    } else if (line.startsWith(summaryStart)) {
      total += kCount.match(line, summaryStart.size() - 2).captured(1).toInt();
    }
  }
  return total;
}

TEST_F(WinSockServerCapTest, EightyIdleConnections_DefaultsStillGreetANewClient) {
  UseEchoHandler();
  StartServer();  // the defaults: 64 connections
  std::vector<std::unique_ptr<TestClient>> idle;
  for (int i = 0; i < 80; ++i) {
    idle.push_back(std::make_unique<TestClient>());
    ASSERT_TRUE(idle.back()->Connect(m_port)) << i;
  }
  auto station = ConnectServed();
  ASSERT_TRUE(station->Send("GetUnsavedCount\r"));
  EXPECT_EQ(station->Read(17), "[GetUnsavedCount]");
  EXPECT_TRUE(WaitUntil([&] { return m_server.GetClientCount() == 64; }));

  // The 17 oldest went, each told: the first at once, the rest summed up.
  // A served client has its greeting waiting; an evicted one may have had
  // it before the end of its stream.
  for (auto& client : idle) client->Read(kGreeting.size());
  const auto closedCount = [&] {
    int closed = 0;
    for (auto& client : idle) {
      if (client->Closed() || client->PeerHasClosed()) ++closed;
    }
    return closed;
  };
  EXPECT_TRUE(WaitUntil([&] { return closedCount() == 17; })) << closedCount();
  for (int i = 0; i < 17; ++i) EXPECT_TRUE(idle[i]->Closed()) << i;
  m_server.Stop();
  EXPECT_EQ(
      EventsTold(ServerLogLines(),
                 QStringLiteral("Сервер запросов: закрыто бездействующее подключение с 127.0.0.1"),
                 QStringLiteral("Сервер запросов: закрыто ещё бездействующих подключений, чтобы принять "
                                "новые: ")),
      17);
}

struct AllowCase {
  const char* name;
  QString allow;
  bool served;
  friend void PrintTo(const AllowCase& c, std::ostream* os) { *os << c.name; }
};

class WinSockServerAllowTest : public WinSockServerTest, public ::testing::WithParamInterface<AllowCase> {};

TEST_P(WinSockServerAllowTest, AllowList_LoopbackClientServedOrClosedWithoutAByte) {
  TWinSockServer::LanOptions options;
  options.Allow = GetParam().allow;
  StartServer(options);
  TestClient client;
  ASSERT_TRUE(client.Connect(m_port));
  if (GetParam().served) {
    EXPECT_EQ(client.Read(kGreeting.size()), kGreeting);
  } else {
    EXPECT_EQ(client.ReadToClose(), QByteArray());
    EXPECT_TRUE(client.Closed());
    EXPECT_TRUE(ServerLogLines().contains(
        QStringLiteral("Сервер запросов: отклонено подключение с 127.0.0.1 (адрес не разрешён)")));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Entries, WinSockServerAllowTest,
    ::testing::Values(
        AllowCase{"Empty", "", true}, AllowCase{"BlanksOnly", "  ", true},
        AllowCase{"OtherNetwork", "10.0.0.0/8", false}, AllowCase{"LoopbackNetwork", "127.0.0.0/8", true},
        AllowCase{"LoopbackAddress", "127.0.0.1", true}, AllowCase{"HostBitsInNetwork", "127.0.0.99/8", true},
        AllowCase{"OtherAddress", "127.0.0.2", false},
        AllowCase{"ListWithSeparators", "10.1.2.3;192.168.0.0/16, 127.0.0.1", true},
        AllowCase{"EveryAddress", "0.0.0.0/0", true}, AllowCase{"OnlyInvalidFailsClosed", "localhost", false},
        AllowCase{"PrefixTooLong", "127.0.0.1/33", false},
        AllowCase{"PrefixNotANumber", "127.0.0.0/x", false},
        AllowCase{"InvalidEntryIgnored", "abc 127.0.0.0/8", true}),
    [](const ::testing::TestParamInfo<AllowCase>& info) { return std::string(info.param.name); });

TEST_F(WinSockServerTest, AllowList_InvalidEntryLoggedOnceWhenSet) {
  TWinSockServer::LanOptions options;
  options.Allow = QStringLiteral("10.0.0.1, 10.0.0.300");
  m_server.SetLanOptions(options);
  EXPECT_EQ(ServerLogLines(),
            QStringList{QStringLiteral(
                "Сервер запросов: неверная запись в списке разрешённых адресов: \"10.0.0.300\"")});
  ASSERT_TRUE(m_server.Start(0));
  m_server.Stop();
  ASSERT_TRUE(m_server.Start(0));
  m_server.Stop();
  EXPECT_TRUE(ServerLogLines().isEmpty());

  options.Allow = QStringLiteral("nothing-valid");
  m_server.SetLanOptions(options);
  EXPECT_EQ(ServerLogLines().size(), 2);
}

TEST_F(WinSockServerTest, IdleTimeout_SilentClientClosedAfterItsTimeAndLogged) {
  UseEchoHandler();
  TWinSockServer::LanOptions options;
  options.IdleTimeoutSec = 1;
  StartServer(options);
  const Clock::time_point start = Clock::now();
  auto client = ConnectServed();
  EXPECT_EQ(client->ReadToClose(), QByteArray());
  EXPECT_TRUE(client->Closed());
  EXPECT_GE(ElapsedMs(start), 900);
  EXPECT_TRUE(WaitUntil([&] { return m_server.GetClientCount() == 0; }));

  // A query restarts the clock: closed a second after it, not after the connect.
  auto talking = ConnectServed();
  ASSERT_TRUE(talking->Send("x\r"));
  EXPECT_EQ(talking->Read(3), "[x]");
  const Clock::time_point spoke = Clock::now();
  EXPECT_EQ(talking->ReadToClose(), QByteArray());
  EXPECT_TRUE(talking->Closed());
  EXPECT_GE(ElapsedMs(spoke), 900);

  m_server.Stop();
  EXPECT_EQ(ServerLogLines(),
            (QStringList{
                QStringLiteral("Сервер запросов: закрыто подключение с 127.0.0.1: нет запросов дольше 1 с"),
                QStringLiteral("Сервер запросов: закрыто ещё подключений без запросов дольше 1 с: 1, "
                               "последнее с 127.0.0.1")}));
}

TEST_F(WinSockServerTest, ClientVanishesMidReply_OthersStillServed) {
  std::atomic<bool> clientGone{false};
  m_server.SetOnQuery([&clientGone](QByteArray& query, QByteArray& answer, const QString&) {
    if (query == "big") {
      // Several sends' worth, produced only after the client has closed, so
      // the sends after the first meet a reset connection.
      WaitUntil([&] { return clientGone.load(); });
      answer = QByteArray(8 << 20, 'b');
    } else {
      answer = "ok";
    }
  });
  StartServer();
  auto vanishing = ConnectServed();
  ASSERT_TRUE(vanishing->Send("big\r"));
  vanishing->Close();
  clientGone.store(true);

  auto other = ConnectServed();
  EXPECT_TRUE(WaitUntil([&] { return m_server.GetClientCount() == 1; }));
  ASSERT_TRUE(other->Send("q\r"));
  EXPECT_EQ(other->Read(2), "ok");
}

TEST_F(WinSockServerTest, FloodOfSilentAndVanishingClients_OthersStillServed) {
  UseEchoHandler();
  // Room for all, so that the cap does not decide the outcome when the
  // vanishing clients' threads end late.
  TWinSockServer::LanOptions options;
  options.MaxConnections = 256;
  StartServer(options);
  std::vector<std::unique_ptr<TestClient>> silent;
  for (int i = 0; i < 30; ++i) {
    silent.push_back(std::make_unique<TestClient>());
    ASSERT_TRUE(silent.back()->Connect(m_port));
  }
  for (int i = 0; i < 100; ++i) {
    TestClient vanishing;
    ASSERT_TRUE(vanishing.Connect(m_port));
  }
  auto client = ConnectServed();
  ASSERT_TRUE(client->Send("alive\r"));
  EXPECT_EQ(client->Read(7), "[alive]");
  EXPECT_TRUE(WaitUntil([&] { return m_server.GetClientCount() == 31; }));
  silent.clear();
  EXPECT_TRUE(WaitUntil([&] { return m_server.GetClientCount() == 1; }));
}

TEST_F(WinSockServerTest, Stop_WithIdleClientsReturnsPromptlyAndClosesThem) {
  StartServer();
  std::vector<std::unique_ptr<TestClient>> clients;
  for (int i = 0; i < 3; ++i) clients.push_back(ConnectServed());
  ASSERT_TRUE(WaitUntil([&] { return m_server.GetClientCount() == 3; }));

  const Clock::time_point start = Clock::now();
  EXPECT_TRUE(m_server.Stop());
  // Fixed pauses of 100 ms, 350 ms per connection and 300 ms would take 1.45 s.
  EXPECT_LT(ElapsedMs(start), 1000);
  EXPECT_EQ(m_server.GetClientCount(), 0);
  EXPECT_FALSE(m_server.GetActive());
  for (auto& client : clients) {
    EXPECT_EQ(client->ReadToClose(), QByteArray());
    EXPECT_TRUE(client->Closed());
  }
  TestClient late;
  EXPECT_FALSE(late.Connect(m_port));
}

TEST_F(WinSockServerTest, Stop_WhileSendingToAClientThatReadsNothing) {
  std::atomic<bool> answering{false};
  m_server.SetOnQuery([&answering](QByteArray&, QByteArray& answer, const QString&) {
    answer = QByteArray(64 << 20, 'b');
    answering.store(true);
  });
  StartServer();
  auto client = ConnectServed();
  ASSERT_TRUE(client->Send("big\r"));
  ASSERT_TRUE(WaitUntil([&] { return answering.load(); }));

  const Clock::time_point start = Clock::now();
  m_server.Stop();
  EXPECT_LT(ElapsedMs(start), 1000);
  EXPECT_EQ(m_server.GetClientCount(), 0);
}

TEST_F(WinSockServerTest, Restart_SamePortAgainAfterServerClosedConnections) {
  StartServer();
  auto client = ConnectServed();
  ASSERT_TRUE(client->Send("Quit\r"));
  EXPECT_EQ(client->ReadToClose(), "Good bye!\r");
  // The server closed first, so its side of the connection lingers.
  m_server.Stop();
  ASSERT_TRUE(m_server.Start(m_port)) << m_server.GetLastMessage().toStdString();
  EXPECT_EQ(m_server.BoundPort(), m_port);
  ConnectServed();
}

TEST_F(WinSockServerTest, SetActive_StartsOnServerPortNumAndStops) {
  m_server.SetServerPortNum(0);
  m_server.SetActive(true);
  ASSERT_TRUE(m_server.GetActive());
  m_port = m_server.BoundPort();
  ConnectServed();
  m_server.SetActive(false);
  EXPECT_FALSE(m_server.GetActive());
  TestClient late;
  EXPECT_FALSE(late.Connect(m_port));
}

struct StartFailureCase {
  const char* name;
  QString bindAddress;
  bool portInUse;
  QString message;
  friend void PrintTo(const StartFailureCase& c, std::ostream* os) { *os << c.name; }
};

class WinSockServerStartFailureTest : public WinSockServerTest,
                                      public ::testing::WithParamInterface<StartFailureCase> {};

TEST_P(WinSockServerStartFailureTest, StartFails_LastMessageSetAndOnErrorCalled) {
  TWinSockServer occupant;
  ASSERT_TRUE(occupant.Start(0));
  int errors = 0;
  TWinSockServer* sender = nullptr;
  m_server.SetOnError([&](TWinSockServer& server) {
    ++errors;
    sender = &server;
    EXPECT_EQ(server.GetLastMessage(), GetParam().message);
  });
  TWinSockServer::LanOptions options;
  options.BindAddress = GetParam().bindAddress;
  m_server.SetLanOptions(options);
  EXPECT_FALSE(m_server.Start(GetParam().portInUse ? occupant.BoundPort() : 0));
  EXPECT_EQ(m_server.GetLastMessage(), GetParam().message);
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(sender, &m_server);
  EXPECT_FALSE(m_server.GetActive());
}

INSTANTIATE_TEST_SUITE_P(
    Errors, WinSockServerStartFailureTest,
    ::testing::Values(
        StartFailureCase{"PortInUse", "", true, QStringLiteral("Error bind %1\n").arg(EADDRINUSE)},
        StartFailureCase{"BadBindAddress", "300.0.0.1", false, QStringLiteral("Error bind %1\n").arg(EINVAL)},
        StartFailureCase{"AddressNotLocal", "192.0.2.1", false,
                         QStringLiteral("Error bind %1\n").arg(EADDRNOTAVAIL)}),
    [](const ::testing::TestParamInfo<StartFailureCase>& info) { return std::string(info.param.name); });

TEST_F(WinSockServerTest, BindAddress_LoopbackServes) {
  TWinSockServer::LanOptions options;
  options.BindAddress = QStringLiteral("127.0.0.1");
  StartServer(options);
  ConnectServed();
}

}  // namespace
