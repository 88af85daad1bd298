// Set commands through the whole TCP path, query server to audit file.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <chrono>
#include <thread>

#include "common/cp1251.h"
#include "configuration/config.h"
#include "fieldbus/threadcontrol.h"
#include "station/commandset.h"
#include "station/framing.h"
#include "station/stationquery.h"
#include "station/winsockserver.h"
#include "storage/logfile.h"
#include "support/eventlogcapture.h"
#include "support/fakelogenvironment.h"

namespace {

using Clock = std::chrono::steady_clock;

void EmptyAuditQueue() {
  TEventFIFO_Rec record;
  while (AuditFIFO().Get(record)) {
  }
  TDateTime moment = 0;
  uint32_t tick = 0;
  AuditFIFO().TakeTrailingDrops(moment, tick);
}

int ConnectLoopback(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

class SetCommandBurstTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.isValid());
    m_environment.SetNow(EncodeDateTime(2008, 1, 17, 11, 43, 15));
    SetLogEnvironment(&m_environment);
    DrainEventLog();
    EmptyAuditQueue();
    m_server.SetOnQuery([this](QByteArray& query, QByteArray& answer, const QString& peer) {
      m_query.WinSockServerQuery(query, answer, peer);
    });
    ASSERT_TRUE(m_server.Start(0));
  }
  void TearDown() override {
    m_server.Stop();
    DrainEventLog();
    EmptyAuditQueue();
    SetLogEnvironment(nullptr);
  }

  QStringList FileLines(const QString& name) const {
    QFile file(QDir(m_dir.path()).filePath(name));
    if (!file.open(QIODevice::ReadOnly)) return {};
    QStringList lines = FromCp1251(file.readAll()).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
    return lines;
  }

  QTemporaryDir m_dir;
  FakeLogEnvironment m_environment;
  TConfig m_config;
  ProcessState m_state;
  LogRecList m_logRecs;
  ThreadControl m_linkControl;
  TCommandSet m_commands{m_state, m_logRecs, m_linkControl};
  TStationQuery m_query{m_config, m_linkControl, m_commands};
  TWinSockServer m_server;
};

TEST_F(SetCommandBurstTest, ThousandSetCommandsAsFastAsAClientSendsLeaveAThousandAuditLines) {
  constexpr int kCommands = 1000;
  // The console's drain, over the program's queues, into the day's files.
  LogFileWriter writer(m_dir.path(), m_environment);
  TEventLogDrain drain(EventFIFO(), writer, nullptr);

  const int client = ConnectLoopback(m_server.BoundPort());
  ASSERT_GE(client, 0);
  QByteArray burst;
  for (int i = 0; i < kCommands; ++i) {
    const QByteArray body = "PUF1:SetTRRS1:" + QByteArray::number(i);
    burst += body + CalcCRC(body) + '\r';
  }
  // All of it in one go; the replies are read on a thread of their own so
  // that neither side's window stalls the other.
  int replies = 0;
  std::thread reader([client, &replies] {
    QByteArray received;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(60);
    while (received.count("SetTRRS_OK:") < kCommands && Clock::now() < deadline) {
      pollfd fd = {client, POLLIN, 0};
      if (poll(&fd, 1, 100) <= 0) continue;
      char buffer[65536];
      const ssize_t n = recv(client, buffer, sizeof(buffer), 0);
      if (n <= 0) break;
      received.append(buffer, n);
    }
    replies = static_cast<int>(received.count("SetTRRS_OK:"));
  });
  qsizetype sent = 0;
  while (sent < burst.size()) {
    const ssize_t n = send(client, burst.constData() + sent, burst.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;  // the reader still has to be joined; the count tells
    sent += n;
  }
  reader.join();
  close(client);
  EXPECT_EQ(replies, kCommands);
  ASSERT_TRUE(AddLogMessage(QStringLiteral("after the burst")));

  const QString auditFile = LogFileWriter::AuditFileNameFor(m_environment.Now());
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
  while (Clock::now() < deadline && (drain.Drain(true) > 0 || FileLines(auditFile).size() < kCommands)) {
  }
  const QStringList audit = FileLines(auditFile);
  ASSERT_EQ(audit.size(), kCommands);
  for (int i = 0; i < kCommands; ++i) {
    ASSERT_TRUE(audit[i].contains(QStringLiteral("текущий расход собирателя 1 = %1 (TCP 127.0.0.1:").arg(i)))
        << audit[i].toStdString();
  }
  // The event log showed the first of them and lost nothing of its own.
  const QStringList events = FileLines(LogFileWriter::FileNameFor(m_environment.Now()));
  EXPECT_EQ(events.filter(QStringLiteral("текущий расход собирателя")).size(), kAuditCopyLimit);
  EXPECT_TRUE(events.filter(QStringLiteral("потеряно")).isEmpty());
  EXPECT_TRUE(events.back().endsWith(QStringLiteral(" | after the burst")));
}

}  // namespace
