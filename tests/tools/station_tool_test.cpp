// The collector's pieces that need no database: the record and log-line parsers, reply frames,
// the command line, and the TCP link against the fake console.

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <functional>
#include <memory>

#include "common/cp1251.h"
#include "support/fakeconsole.h"
#include "minuterecord.h"
#include "station/framing.h"
#include "stationlink.h"
#include "stationoptions.h"
#include "support/qtapplication.h"
#include "tcpstationlink.h"

namespace {

FakeMinute SampleMinute() {
  return MakeFakeMinute(QDateTime(QDate(2008, 1, 17), QTime(11, 43)), 7);
}

QByteArray Replace(QByteArray text, const QByteArray& from, const QByteArray& to) {
  const qsizetype at = text.indexOf(from);
  EXPECT_GE(at, 0) << from.constData();
  return text.replace(at, from.size(), to);
}

// The item "name=value" of a record text, as it stands.
QByteArray Item(const FakeMinute& minute, int index) {
  const QByteArray text = minute.Text();
  const QByteArray name = RecordValueNames()[index] + '=';
  const qsizetype at = text.indexOf(',' + name) + 1;
  return text.mid(at, text.indexOf(',', at) - at);
}

}  // namespace

TEST(station_record, GoodRecordGivesEveryValueAndFlagExactly) {
  FakeMinute minute = SampleMinute();
  // The console's general format in all its shapes.
  minute.ValueTexts[0] = "12.5";
  minute.ValueTexts[1] = "0.100000001490116";
  minute.ValueTexts[2] = "-3";
  minute.ValueTexts[3] = "1.5E-7";
  minute.ValueTexts[4] = "1E20";
  minute.ValueTexts[5] = "0";
  minute.FlagTexts = {"1", "0", "0", "1", "0", "0", "255", "0"};

  MinuteRecord record;
  QString error;
  ASSERT_TRUE(ParseMinuteRecord(minute.Text(), record, error)) << error.toStdString();
  EXPECT_EQ(record.RecMoment, "2008-01-17 11:43:00");
  for (int index = 0; index < kRecordValueCount; ++index) {
    ASSERT_TRUE(record.Values[index].has_value()) << index;
    EXPECT_EQ(*record.Values[index], minute.Expected(index)) << RecordValueNames()[index].constData();
  }
  // Fifteen digits do not give back the widened double bit for bit, but they give back the float.
  EXPECT_EQ(float(*record.Values[1]), 0.1f);
  EXPECT_EQ(*record.Values[4], 1e20);
  EXPECT_EQ(record.Flags, (std::array<uint8_t, 8>{1, 0, 0, 1, 0, 0, 255, 0}));
  EXPECT_TRUE(record.NonFiniteNames.isEmpty());
}

TEST(station_record, NonFiniteValuesBecomeEmptyAndAreNamed) {
  FakeMinute minute = SampleMinute();
  minute.ValueTexts[0] = "NAN";
  minute.ValueTexts[14] = "INF";
  minute.ValueTexts[27] = "-INF";
  minute.ValueTexts[5] = "1E400";  // numeric text, but beyond a double

  MinuteRecord record;
  QString error;
  ASSERT_TRUE(ParseMinuteRecord(minute.Text(), record, error)) << error.toStdString();
  for (const int index : {0, 14, 27, 5}) EXPECT_FALSE(record.Values[index].has_value()) << index;
  EXPECT_TRUE(record.Values[1].has_value());
  EXPECT_EQ(record.NonFiniteNames, QStringList({"PLF1", "OARP1", "PLF2", "ZRFL2"}));
}

// Every way a record can be wrong. Each must be refused as a whole (the text goes to
// puf_rejected) and must still name the minute it belongs to, so that it can be acknowledged.
TEST(station_record, MalformedRecordsAreRefusedButStillNameTheirMinute) {
  const FakeMinute minute = SampleMinute();
  const QByteArray good = minute.Text();
  const QByteArray plf1 = Item(minute, 0);
  struct Case {
    const char* what;
    QByteArray text;
    const char* errorMentions;
  };
  const Case cases[] = {
      {"unknown name", good + ",PLF3=1", "PLF3"},
      {"lower-case name", Replace(good, plf1, "plf1=1"), "plf1"},
      {"SQL in a value", Replace(good, plf1, "PLF1=1;DROP TABLE puf_data"), "PLF1"},
      {"SQL in a name", Replace(good, plf1, "PLF1=1,x);DROP TABLE puf_data;--=2"), "DROP"},
      {"quote in the time", Replace(good, "11:43:00'", "11:43:00'' OR ''1''=''1'"), "RecMoment"},
      {"duplicate value", good + ',' + plf1, "PLF1 given twice"},
      {"duplicate flag", good + ",F1AR=0", "F1AR given twice"},
      {"duplicate time", good + ",RecMoment='2008-01-17 11:44:00'", "RecMoment given twice"},
      {"missing value", Replace(good, ',' + Item(minute, 27), ""), "ZRFL2"},
      {"missing flag", Replace(good, ",F2RFL=" + minute.FlagTexts[7], ""), "F2RFL"},
      {"empty value", Replace(good, plf1, "PLF1="), "PLF1"},
      {"blank in a value", Replace(good, plf1, "PLF1= 12.5"), "PLF1"},
      {"decimal comma", Replace(good, plf1, "PLF1=12,5"), "5"},
      {"hexadecimal", Replace(good, plf1, "PLF1=0x1A"), "PLF1"},
      {"exponent without digits", Replace(good, plf1, "PLF1=1E"), "PLF1"},
      {"point without digits", Replace(good, plf1, "PLF1=1."), "PLF1"},
      {"flag out of range", Replace(good, ",F1AR=" + minute.FlagTexts[0], ",F1AR=256"), "F1AR"},
      {"negative flag", Replace(good, ",F1AR=" + minute.FlagTexts[0], ",F1AR=-1"), "F1AR"},
      {"fractional flag", Replace(good, ",F1AR=" + minute.FlagTexts[0], ",F1AR=1.0"), "F1AR"},
      {"NAN flag", Replace(good, ",F1AR=" + minute.FlagTexts[0], ",F1AR=NAN"), "F1AR"},
      {"trailing comma", good + ",", "name=value"},
      {"item without =", good + ",PLF3", "name=value"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MinuteRecord record;
    QString error;
    EXPECT_FALSE(ParseMinuteRecord(c.text, record, error));
    EXPECT_TRUE(error.contains(QString::fromLatin1(c.errorMentions))) << error.toStdString();
    EXPECT_EQ(FindRecMoment(c.text), "2008-01-17 11:43:00");
  }
}

TEST(station_record, RecordsWithoutAUsableTimeHaveNothingToAcknowledge) {
  const QByteArray good = SampleMinute().Text();
  const QByteArray cases[] = {
      "",
      Replace(good, "RecMoment='2008-01-17 11:43:00',", ""),
      Replace(good, "'2008-01-17 11:43:00'", "2008-01-17 11:43:00"),
      Replace(good, "2008-01-17", "2008-02-30"),
      Replace(good, "11:43:00", "24:00:00"),
      Replace(good, "2008-01-17 11:43:00", "0999-01-17 11:43:00"),
      Replace(good, "2008-01-17 11:43:00", "2008-1-17 11:43:00"),
  };
  for (const QByteArray& text : cases) {
    SCOPED_TRACE(text.left(40).constData());
    MinuteRecord record;
    QString error;
    EXPECT_FALSE(ParseMinuteRecord(text, record, error));
    EXPECT_TRUE(FindRecMoment(text).isEmpty());
  }
}

TEST(station_log_line, TickTimeAndWindows1251TextAreSplitApart) {
  struct Case {
    QByteArray line;
    bool ok;
    int32_t tick;
    QString message;
  };
  const QString cyrillic = QStringLiteral("Новое задание c ЦСБ: текущий расход собирателя 1 = 12,5");
  const Case cases[] = {
      {"123456\t2024-05-01 10:00:00\t" + ToCp1251(cyrillic), true, 123456, cyrillic},
      {"-2147483648\t2024-05-01 10:00:01\tneg", true, INT32_MIN, QStringLiteral("neg")},
      {"7\t2024-05-01 10:00:02\ta\tb", true, 7, QStringLiteral("a\tb")},
      {"8\t2024-05-01 10:00:03\t", true, 8, QString()},
      {"2147483648\t2024-05-01 10:00:00\tx", false, 0, {}},
      {"12a\t2024-05-01 10:00:00\tx", false, 0, {}},
      {"\t2024-05-01 10:00:00\tx", false, 0, {}},
      {"12\t2024-13-01 10:00:00\tx", false, 0, {}},
      {"12\t2024-05-01 10:00\tx", false, 0, {}},
      {"12 2024-05-01 10:00:00 x", false, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line.constData());
    LogLine parsed;
    QString error;
    ASSERT_EQ(ParseLogLine(c.line, parsed, error), c.ok) << error.toStdString();
    if (!c.ok) continue;
    EXPECT_EQ(parsed.Tick, c.tick);
    EXPECT_EQ(parsed.TickText, c.line.left(c.line.indexOf('\t')));
    EXPECT_EQ(parsed.Message, c.message);
  }
  EXPECT_EQ(FindLogTick("-12\tbroken"), "-12");
  EXPECT_EQ(FindLogTick("x12\tbroken"), "");
}

TEST(station_reply_frame, OnlyAWholeFrameWithThisPrefixAndItsChecksumIsAReply) {
  const QByteArray frame = BuildFrame("PUF1", "GetUnsavedCount_OK:3");
  ASSERT_EQ(frame, "PUF1:GetUnsavedCount_OK:3<08BB>");
  // A log text may carry something that looks like a checksum field.
  const QByteArray tricky = BuildFrame("PUF1", "GetLogRec_OK:1\t2024-05-01 10:00:00\tvalve <0000> open");
  struct Case {
    QByteArray received;
    ReplyState state;
  };
  const Case cases[] = {
      {frame, ReplyState::Complete},
      {"", ReplyState::Incomplete},
      {"PU", ReplyState::Incomplete},
      {frame.left(frame.size() - 1), ReplyState::Incomplete},
      {Replace(frame, "<08BB>", "<08bb>"), ReplyState::Incomplete},  // only the deadline rejects it
      {Replace(frame, "_OK:3", "_OK:4"), ReplyState::Incomplete},
      {tricky.left(tricky.indexOf("<0000>") + 6), ReplyState::Incomplete},
      {tricky, ReplyState::Complete},
      {BuildFrame("PUF2", "GetUnsavedCount_OK:3"), ReplyState::Invalid},
      {"PUF1GetUnsavedCount_OK:3<0000>", ReplyState::Invalid},
      {"Error:BAD CRC", ReplyState::Invalid},
      {"Error:Cmd", ReplyState::Invalid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.received.constData());
    QByteArray text;
    EXPECT_EQ(CheckReplyFrame(c.received, "PUF1", text), c.state);
  }
  QByteArray text;
  ASSERT_EQ(CheckReplyFrame(tricky, "PUF1", text), ReplyState::Complete);
  EXPECT_EQ(text, "GetLogRec_OK:1\t2024-05-01 10:00:00\tvalve <0000> open");
  EXPECT_EQ(BuildRequest("PUF1", "GetUnsavedCount", ""), "PUF1:GetUnsavedCount:<078F>");
}

TEST(station_options, CommandLinesAreReadOrRefused) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString passwordFile = dir.filePath(QStringLiteral("password"));
  {
    QFile file(passwordFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("s3cret:with;chars\n");
  }
  StationOptions options;
  QString error;
  ASSERT_TRUE(ParseStationOptions({"flotation-station", "--tcp", "10.0.0.5:7777", "--prefix", "PUF2",
                                   "--db-host", "db.local", "--db-port", "3307", "--db-user", "station",
                                   "--database", "dravo2", "--interval", "30", "--once", "--verbose"},
                                  QStringLiteral("from-env"), options, error))
      << error.toStdString();
  EXPECT_EQ(options.Link, StationOptions::LinkKind::Tcp);
  EXPECT_EQ(options.TcpHost, QStringLiteral("10.0.0.5"));
  EXPECT_EQ(options.TcpPort, 7777);
  EXPECT_EQ(options.Prefix, "PUF2");
  EXPECT_EQ(options.Database.Host, QStringLiteral("db.local"));
  EXPECT_EQ(options.Database.Port, 3307);
  EXPECT_EQ(options.Database.User, QStringLiteral("station"));
  EXPECT_EQ(options.Database.Database, QStringLiteral("dravo2"));
  EXPECT_EQ(options.Database.Password, QStringLiteral("from-env"));
  EXPECT_EQ(options.IntervalSeconds, 30);
  EXPECT_TRUE(options.Once && options.Verbose);

  ASSERT_TRUE(ParseStationOptions(
      {"flotation-station", "--serial", "/dev/ttyUSB0", "--baud", "9600", "--db-password-file", passwordFile},
      QStringLiteral("from-env"), options, error));
  EXPECT_EQ(options.Link, StationOptions::LinkKind::Serial);
  EXPECT_EQ(options.SerialDevice, QStringLiteral("/dev/ttyUSB0"));
  EXPECT_EQ(options.Baud, 9600);
  EXPECT_EQ(options.Database.Password, QStringLiteral("s3cret:with;chars"));
  EXPECT_EQ(options.IntervalSeconds, 5);
  EXPECT_EQ(options.Database.Database, QStringLiteral("dravo"));

  const QStringList refused[] = {
      {"flotation-station"},
      {"flotation-station", "--tcp", "h:1", "--serial", "/dev/ttyS0"},
      {"flotation-station", "--tcp", "h"},
      {"flotation-station", "--tcp", "h:70000"},
      {"flotation-station", "--tcp", "h:1", "--db-password", "secret"},
      {"flotation-station", "--tcp", "h:1", "--database", "dravo`; DROP DATABASE x"},
      {"flotation-station", "--tcp", "h:1", "--prefix", "P:1"},
      {"flotation-station", "--tcp", "h:1", "--interval", "0"},
      {"flotation-station", "--tcp", "h:1", "--db-password-file", dir.filePath(QStringLiteral("missing"))},
      {"flotation-station", "--tcp"},
  };
  for (const QStringList& arguments : refused) {
    SCOPED_TRACE(arguments.join(u' ').toStdString());
    EXPECT_FALSE(ParseStationOptions(arguments, {}, options, error));
    EXPECT_FALSE(error.isEmpty());
  }
}

// The file a service reads: what it holds is used, the command line wins,
// and what it cannot use is a warning that leaves the default in place.
TEST(station_options, AConfigurationFileIsReadAndItsFaultsAreWarnings) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const auto write = [&dir](const QString& name, const QByteArray& text) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return dir.filePath(name);
  };
  const QString password = write(QStringLiteral("password"), "from-file\n");
  const QString good = write(QStringLiteral("good.conf"),
                             "# the collector of section 2\n"
                             "tcp = 10.0.0.5:7778\n"
                             "db-host=db.local\n"
                             "db-port = 3307\n"
                             "db-user = station\n"
                             "database = dravo2\n"
                             "db-password-file = " + password.toUtf8() + "\n"
                             "interval = 30\n"
                             "verbose = yes\n");
  const QString faulty = write(QStringLiteral("faulty.conf"),
                               "db-port = many\n"
                               "just words\n"
                               "db-password = secret\n"
                               "tcp = nowhere\n"
                               "verbose = perhaps\n"
                               "db-password-file = " + dir.filePath(QStringLiteral("missing")).toUtf8() + "\n"
                               "interval = 60\n");
  const QString serial = write(QStringLiteral("serial.conf"), "serial = /dev/ttyS1\nbaud = 9600\n");

  StationOptions options;
  QStringList warnings;
  QString error;
  ASSERT_TRUE(ParseStationOptions({"flotation-station", "--config", good}, {}, options, warnings, error))
      << error.toStdString();
  EXPECT_TRUE(warnings.isEmpty()) << warnings.join(u'\n').toStdString();
  EXPECT_EQ(options.Link, StationOptions::LinkKind::Tcp);
  EXPECT_EQ(options.TcpHost, QStringLiteral("10.0.0.5"));
  EXPECT_EQ(options.TcpPort, 7778);
  EXPECT_EQ(options.Database.Host, QStringLiteral("db.local"));
  EXPECT_EQ(options.Database.Port, 3307);
  EXPECT_EQ(options.Database.User, QStringLiteral("station"));
  EXPECT_EQ(options.Database.Database, QStringLiteral("dravo2"));
  EXPECT_EQ(options.Database.Password, QStringLiteral("from-file"));
  EXPECT_EQ(options.IntervalSeconds, 30);
  EXPECT_TRUE(options.Verbose);

  // The command line, before or after --config, overrides the file.
  ASSERT_TRUE(ParseStationOptions({"flotation-station", "--interval", "7", "--config", good, "--serial",
                                   "/dev/ttyUSB0"},
                                  {}, options, warnings, error));
  EXPECT_EQ(options.Link, StationOptions::LinkKind::Serial);
  EXPECT_EQ(options.SerialDevice, QStringLiteral("/dev/ttyUSB0"));
  EXPECT_EQ(options.IntervalSeconds, 7);
  EXPECT_EQ(options.Database.Port, 3307);
  ASSERT_TRUE(ParseStationOptions({"flotation-station", "--config", serial, "--tcp", "h:1"}, {}, options,
                                  warnings, error));
  EXPECT_EQ(options.Link, StationOptions::LinkKind::Tcp);
  ASSERT_TRUE(ParseStationOptions({"flotation-station", "--config", serial}, {}, options, warnings, error));
  EXPECT_EQ(options.Link, StationOptions::LinkKind::Serial);
  EXPECT_EQ(options.Baud, 9600);

  ASSERT_TRUE(ParseStationOptions({"flotation-station", "--config", faulty}, QStringLiteral("from-env"),
                                  options, warnings, error))
      << error.toStdString();
  EXPECT_EQ(warnings.size(), 6) << warnings.join(u'\n').toStdString();
  EXPECT_TRUE(warnings.join(u'\n').contains(faulty + QStringLiteral(":1: --db-port: \"many\"")))
      << warnings.join(u'\n').toStdString();
  EXPECT_EQ(options.Database.Port, 3306);
  EXPECT_EQ(options.TcpHost, QStringLiteral("127.0.0.1"));
  EXPECT_EQ(options.TcpPort, 7777);
  EXPECT_EQ(options.Database.Password, QStringLiteral("from-env"));
  EXPECT_FALSE(options.Verbose);
  EXPECT_EQ(options.IntervalSeconds, 60);

  // A file that is not there, or cannot be read: the defaults, the console on this computer.
  for (const QString& path : {dir.filePath(QStringLiteral("absent.conf")), dir.path()}) {
    SCOPED_TRACE(path.toStdString());
    ASSERT_TRUE(ParseStationOptions({"flotation-station", "--config", path}, {}, options, warnings, error));
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings[0].startsWith(QStringLiteral("cannot read the configuration ") + path))
        << warnings[0].toStdString();
    EXPECT_EQ(options.Link, StationOptions::LinkKind::Tcp);
    EXPECT_EQ(options.TcpHost, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(options.TcpPort, 7777);
    EXPECT_EQ(options.Database.Database, QStringLiteral("dravo"));
  }
  EXPECT_FALSE(ParseStationOptions({"flotation-station", "--config"}, {}, options, warnings, error));
}

class station_tcp_link : public ::testing::Test {
 protected:
  static constexpr int kReplyTimeoutMs = 1000;

  void SetUp() override {
    EnsureQtApplication();
    ASSERT_TRUE(m_console.Start());
    m_console.OfferMinute(SampleMinute().Text());
    m_link = std::make_unique<TcpStationLink>(QStringLiteral("127.0.0.1"), m_console.Port(), "PUF1",
                                              kReplyTimeoutMs);
  }

  QByteArray Ask(const QByteArray& command, bool expectOk = true) {
    QByteArray reply;
    QString error;
    EXPECT_EQ(m_link->Exchange(command, {}, reply, error), expectOk) << error.toStdString();
    m_lastError = error;
    return reply;
  }

  FakeConsole m_console;
  std::unique_ptr<TcpStationLink> m_link;
  QString m_lastError;
};

TEST_F(station_tcp_link, RepliesArrivingInPiecesAreReassembled) {
  m_console.SplitReplies(true);
  EXPECT_EQ(Ask("GetUnsavedCount"), "GetUnsavedCount_OK:1");
  EXPECT_EQ(Ask("GetUnsavedRecord"), "GetUnsavedRecord_OK:" + SampleMinute().Text());
  EXPECT_EQ(m_console.ConnectionCount(), 1);
}

// Whatever goes wrong, the exchange fails, the link starts afresh on a new connection, and the
// next exchange is answered correctly.
TEST_F(station_tcp_link, BadRepliesFailTheExchangeAndTheNextOneReconnects) {
  struct Case {
    const char* what;
    std::function<void()> fault;
    const char* errorMentions;
  };
  const Case cases[] = {
      {"checksum does not match", [&] { m_console.CorruptReplies("GetUnsavedRecord", 1); }, "no valid reply"},
      {"garbage", [&] { m_console.AnswerGarbage(1); }, "garbage"},
      {"connection dropped", [&] { m_console.DropConnectionAt(m_console.RequestCount() + 1, false); },
       "lost"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Ask("GetUnsavedCount");
    const int connections = m_console.ConnectionCount();
    c.fault();
    QDeadlineTimer deadline(3 * kReplyTimeoutMs);
    Ask("GetUnsavedRecord", false);
    EXPECT_FALSE(deadline.hasExpired());
    EXPECT_TRUE(m_lastError.contains(QString::fromLatin1(c.errorMentions))) << m_lastError.toStdString();
    EXPECT_FALSE(m_link->IsOpen());
    EXPECT_EQ(Ask("GetUnsavedRecord"), "GetUnsavedRecord_OK:" + SampleMinute().Text());
    EXPECT_EQ(m_console.ConnectionCount(), connections + 1);
  }
}

TEST_F(station_tcp_link, PlainErrorAnswersAndUnknownCommandsAreNotReplies) {
  QByteArray reply;
  QString error;
  // The console knows no such command: its framed ":)\r\n" is a reply, but not one of ours.
  ASSERT_TRUE(m_link->Exchange("GetNothing", {}, reply, error)) << error.toStdString();
  EXPECT_EQ(reply, ":)\r\n");
  // A data text with "<" makes the console see a checksum field that does not match.
  EXPECT_FALSE(m_link->Exchange("SetSaveFlag", "<0000>", reply, error));
  EXPECT_TRUE(error.contains(QStringLiteral("Error:BAD CRC"))) << error.toStdString();
  EXPECT_EQ(Ask("GetUnsavedCount"), "GetUnsavedCount_OK:1");
}

TEST_F(station_tcp_link, ConsoleRestartIsBridgedByReconnecting) {
  EXPECT_EQ(Ask("GetUnsavedCount"), "GetUnsavedCount_OK:1");
  m_console.Restart(300);
  Ask("GetUnsavedCount", false);
  const QDeadlineTimer deadline(5000);
  while (!m_console.Listening() && !deadline.hasExpired()) QThread::msleep(10);
  ASSERT_TRUE(m_console.Listening());
  EXPECT_EQ(Ask("GetUnsavedCount"), "GetUnsavedCount_OK:1");
}
