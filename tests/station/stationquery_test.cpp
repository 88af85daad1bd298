#include "station/stationquery.h"

#include <gtest/gtest.h>

#include "configuration/config.h"
#include "fieldbus/threadcontrol.h"
#include "station/commandset.h"
#include "station/framing.h"
#include "support/fakelogenvironment.h"
#include "support/eventlogcapture.h"

namespace {

class StationQueryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLogEnvironment(&m_environment);
    DrainEventLog();
  }
  void TearDown() override {
    DrainEventLog();
    SetLogEnvironment(nullptr);
  }

  QByteArray Ask(QByteArray query) {
    QByteArray answer = "stale";
    m_query.WinSockServerQuery(query, answer, u"127.0.0.1:40000"_qs);
    return answer;
  }

  FakeLogEnvironment m_environment;
  TConfig m_config;
  ProcessState m_state;
  LogRecList m_logRecs;
  ThreadControl m_linkControl;
  TCommandSet m_commands{m_state, m_logRecs, m_linkControl};
  TStationQuery m_query{m_config, m_linkControl, m_commands,
                        [] { return EncodeDateTime(2009, 3, 5, 7, 8, 9); }};
};

TEST_F(StationQueryTest, AnswersInTheTcpDialect) {
  const struct {
    const char* Name;
    QByteArray Query;
    QByteArray Answer;
  } cases[] = {
      {"framed reply, no carriage return", "PUF1:GetUnsavedCount:<078F>", "PUF1:GetUnsavedCount_OK:0<08B8>"},
      {"time without a frame", "GetTimeA", "05.03.2009 07:08:09\r\n"},
      {"plain checksum error", "PUF1:GetUnsavedCount:<078f>", "Error:BAD CRC"},
      {"plain command error", "PUF1:GetUnsavedCount<0755>", "Error:Cmd"},
      {"unknown command: the framed reply only", "PUF1:Hello:" + CalcCRC("PUF1:Hello:"),
       BuildFrame("PUF1", ":)\r\n")},
      {"empty reply sends nothing", "PUF1:GetLogRec:" + CalcCRC("PUF1:GetLogRec:"), ""},
      {"another console", "PUF2:GetUnsavedCount:<0790>", ""},
      {"malformed", "PUF1:GetUnsavedCount:", ""},
      {"blanks", " \x01 ", ""},
      {"empty", "", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Ask(c.Query), c.Answer) << c.Name;
}

TEST_F(StationQueryTest, CountsQueriesAndErrorsInTheLinkBlock) {
  Ask("PUF1:GetUnsavedCount:<078F>");
  EXPECT_EQ(m_linkControl.CycleCount.load(), 1);
  EXPECT_EQ(m_linkControl.ErrorCount.load(), 0);
  Ask("PUF1:GetUnsavedCount:<0000>");  // counted once as a query, once as a checksum error
  EXPECT_EQ(m_linkControl.CycleCount.load(), 3);
  EXPECT_EQ(m_linkControl.ErrorCount.load(), 1);
  Ask("PUF1:GetUnsavedCount<0755>");
  EXPECT_EQ(m_linkControl.CycleCount.load(), 4);
  EXPECT_EQ(m_linkControl.ErrorCount.load(), 2);
  Ask("");
  EXPECT_EQ(m_linkControl.CycleCount.load(), 4);
}

TEST_F(StationQueryTest, SetCommandsNameThePeerInTheAuditTrail) {
  const QByteArray body = "PUF1:SetTRRP2:55.5";
  EXPECT_EQ(Ask(body + CalcCRC(body)), BuildFrame("PUF1", "SetTRRP_OK:"));
  EXPECT_EQ(m_state.Setpoints.Get(kTRRP2), 55.5f);
  const std::vector<TEventFIFO_Rec> audit = DrainEventLog();
  ASSERT_EQ(audit.size(), 1u);
  EXPECT_TRUE(audit[0].Text.endsWith(u"(TCP 127.0.0.1:40000)")) << audit[0].Text.toStdString();
}

TEST_F(StationQueryTest, PrefixComesFromTheConfiguration) {
  m_config.ServerLinkPrefix = u"ФЛ7"_qs;  // Cyrillic letters count as their Windows-1251 bytes
  const QByteArray body = QByteArray("\xD4\xCB") + "7:GetLogRecCount:";
  EXPECT_EQ(Ask(body + CalcCRC(body)), BuildFrame("\xD4\xCB"
                                                  "7",
                                                  "GetLogRecCount_OK:0"));
  EXPECT_EQ(Ask("PUF1:GetUnsavedCount:<078F>"), "");
}

}  // namespace
