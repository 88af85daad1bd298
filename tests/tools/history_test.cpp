// The history generator: records made by the console's own cycle from the simulator's process
// model and the plan (ranges, modes, stops, gaps, determinism), their way into puf_data on the
// private MariaDB server of the "mariadb" fixture (exact values, --if-empty, one transaction),
// the binary, its command line, and pointing a console's INI file at the database.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <set>
#include <vector>

#include "common/inifile.h"
#include "configuration/config.h"
#include "configuration/tmcrypt.h"
#include "consoleini.h"
#include "historyfill.h"
#include "historygenerator.h"
#include "historyoptions.h"
#include "historystore.h"
#include "minuterecord.h"
#include "support/files.h"
#include "support/mariadb.h"
#include "support/qtapplication.h"

namespace {

const QDateTime kEnd(QDate(2024, 3, 12), QTime(0, 0));
constexpr double kMinRvf = 40;  // the built-in MIN_RVF

int ValueIndex(const char* name) {
  const auto& names = RecordValueNames();
  return int(std::find(names.begin(), names.end(), QByteArray(name)) - names.begin());
}

struct Row {
  QDateTime Moment;
  MinuteRecord Record;

  double Value(const char* base, int section) const {
    const int index = ValueIndex((QByteArray(base) + char('1' + section)).constData());
    return Record.Values[index].value_or(NAN);
  }
  // 2 automatic, 1 manual, 0 off; group 0 the flotation reagents, 1 the flocculant.
  int Mode(int group, int section) const {
    const int automatic = Record.Flags[4 * group + section];
    const int manual = Record.Flags[4 * group + 2 + section];
    return automatic != 0 ? 2 : manual != 0 ? 1 : 0;
  }
  bool AllOff() const {
    return std::all_of(Record.Flags.begin(), Record.Flags.end(), [](uint8_t flag) { return flag == 0; });
  }
};

std::vector<QByteArray> GenerateTexts(uint64_t seed, const QDateTime& first, int64_t minutes) {
  std::vector<QByteArray> texts;
  GenerateHistory(seed, first, minutes, [&](const QByteArray& text) {
    texts.push_back(text);
    return true;
  });
  return texts;
}

std::vector<Row> Parse(const std::vector<QByteArray>& texts) {
  std::vector<Row> rows;
  for (const QByteArray& text : texts) {
    Row row;
    QString error;
    EXPECT_TRUE(ParseMinuteRecord(text, row.Record, error))
        << error.toStdString() << ": " << text.constData();
    row.Moment = QDateTime::fromString(QString::fromLatin1(row.Record.RecMoment), u"yyyy-MM-dd HH:mm:ss"_qs);
    rows.push_back(row);
  }
  return rows;
}

// Eight days before kEnd with the default seed, made once for the tests that only look.
const std::vector<Row>& EightDays() {
  static const std::vector<Row> rows = Parse(GenerateTexts(1, kEnd.addDays(-8), 8 * 1440));
  return rows;
}

// Lengths of the stretches without records, in minutes, with the index of the row after each.
std::vector<std::pair<int, size_t>> Gaps(const std::vector<Row>& rows) {
  std::vector<std::pair<int, size_t>> gaps;
  for (size_t i = 1; i < rows.size(); ++i) {
    const int missing = int(rows[i - 1].Moment.secsTo(rows[i].Moment) / 60) - 1;
    if (missing > 0) gaps.emplace_back(missing, i);
  }
  return gaps;
}

std::atomic<int> g_nameNumber{0};

QString UniqueName(const char* stem) {
  return QStringLiteral("%1_%2_%3")
      .arg(QString::fromLatin1(stem))
      .arg(getpid())
      .arg(g_nameNumber.fetch_add(1));
}

}  // namespace

TEST(history_generator, RecordsStayWithinTheTrendWindowsScales) {
  struct Range {
    const char* Base;
    double Low, High;
  };
  // The trend windows' scales, and the built-in limits for the specific consumptions.
  const Range ranges[] = {{"RVF", 0, 1000},  {"PLF", 0, 300},  {"RGF", 0, 150},  {"TRRS", 0, 1200},
                          {"TRRP", 0, 60},   {"TRFL", 0, 400}, {"URFK", 0, 100}, {"URFK12_", 0, 100},
                          {"ZRRS", 0, 1500}, {"ZRRP", 0, 150}, {"ZRFL", 0, 150}};
  const std::vector<Row>& rows = EightDays();
  ASSERT_GT(rows.size(), 8u * 1440 * 9 / 10);
  for (const Range& range : ranges) {
    for (int section = 0; section < 2; ++section) {
      double low = INFINITY, high = -INFINITY;
      for (const Row& row : rows) {
        low = std::min(low, row.Value(range.Base, section));
        high = std::max(high, row.Value(range.Base, section));
      }
      EXPECT_GE(low, range.Low) << range.Base << section + 1;
      EXPECT_LE(high, range.High) << range.Base << section + 1;
      // Not a flat line either.
      EXPECT_GT(high, low + 1) << range.Base << section + 1;
    }
  }
}

TEST(history_generator, FlowsFollowTheModesThroughTheConsolesDosing) {
  std::map<int, int> modesSeen[2][2];
  for (const Row& row : EightDays()) {
    SCOPED_TRACE(row.Record.RecMoment.constData());
    for (int section = 0; section < 2; ++section) {
      const double load = row.Value("RGF", section);
      EXPECT_NEAR(load, row.Value("PLF", section) * row.Value("RVF", section) * 0.001, 1e-3 * (1 + load));
      const struct {
        int Group;
        const char* Flow;
        const char* Specific;
      } reagents[] = {{0, "TRRS", "ZRRS"}, {0, "TRRP", "ZRRP"}, {1, "TRFL", "ZRFL"}};
      for (const auto& reagent : reagents) {
        const int mode = row.Mode(reagent.Group, section);
        ++modesSeen[reagent.Group][section][mode];
        const double flow = row.Value(reagent.Flow, section);
        if (mode == 2) {
          EXPECT_NEAR(flow, load * row.Value(reagent.Specific, section) * 0.001, 1e-4 * (1 + flow))
              << reagent.Flow;
        } else if (mode == 1) {
          // The operator's setpoint: a round number, where a flow that follows the load is not.
          EXPECT_GT(flow, 0) << reagent.Flow;
          EXPECT_EQ(std::fmod(flow * 2, 1.0), 0.0) << reagent.Flow << " " << flow;
        } else {
          EXPECT_EQ(flow, 0) << reagent.Flow;
        }
      }
    }
  }
  // Automatic most of the time, manual and off for some.
  for (int group = 0; group < 2; ++group) {
    for (int section = 0; section < 2; ++section) {
      const std::map<int, int>& seen = modesSeen[group][section];
      const int total = seen.at(0) + seen.at(1) + seen.at(2);
      EXPECT_GT(seen.at(2), total / 2) << group << section;
      EXPECT_GT(seen.at(1), 60) << group << section;
      EXPECT_GT(seen.at(0), 5) << group << section;
    }
  }
}

TEST(history_generator, SectionsRunMostOfTheTimeAndStandSometimes) {
  const std::vector<Row>& rows = EightDays();
  for (int section = 0; section < 2; ++section) {
    int standing = 0;
    int moving = 0;  // minutes in a row between standing and running
    for (const Row& row : rows) {
      const double flow = row.Value("RVF", section);
      standing += flow < kMinRvf ? 1 : 0;
      // Running, standing with its flow near zero, or starting or stopping for a few minutes.
      if (flow > 300 || flow < 10) {
        moving = 0;
        continue;
      }
      EXPECT_LT(++moving, 6) << row.Record.RecMoment.constData() << " " << flow;
    }
    EXPECT_GT(standing, 60) << section + 1;
    EXPECT_LT(standing, int(rows.size()) / 4) << section + 1;
  }
}

TEST(history_generator, GapsAreShortMediumAndAnHourAWeek) {
  const std::vector<Row>& rows = EightDays();
  std::map<int, int> lengths;
  for (const auto& [missing, after] : Gaps(rows)) {
    ++lengths[missing];
    const bool shortOne = missing == 3 || missing == 4;
    const bool mediumOne = missing >= 6 && missing <= 10;
    EXPECT_TRUE(shortOne || mediumOne || missing == 60)
        << missing << " minutes before " << rows[after].Record.RecMoment.constData();
    if (missing != 60) continue;
    // After the power cut the console starts with every group off, and the operator sets
    // them again within minutes.
    for (size_t i = after; i < after + 5; ++i)
      EXPECT_TRUE(rows[i].AllOff()) << rows[i].Record.RecMoment.constData();
    bool back = false;
    for (size_t i = after; i < after + 30; ++i) back = back || !rows[i].AllOff();
    EXPECT_TRUE(back) << rows[after].Record.RecMoment.constData();
  }
  int shortGaps = lengths[3] + lengths[4];
  int mediumGaps = 0;
  for (int missing = 6; missing <= 10; ++missing) mediumGaps += lengths[missing];
  EXPECT_GE(shortGaps, 1);
  EXPECT_GE(mediumGaps, 2);
  EXPECT_GE(lengths[60], 1);
  EXPECT_LE(lengths[60], 2);  // eight days touch two weeks at most

  int missingMinutes = 0;
  for (const auto& [missing, count] : lengths) missingMinutes += missing * count;
  const int64_t span = rows.front().Moment.secsTo(rows.back().Moment) / 60 + 1;
  EXPECT_EQ(span, int64_t(rows.size()) + missingMinutes);
}

TEST(history_generator, SameSeedSameRecordsAndAShiftDoesNotDependOnTheFillsLength) {
  const QDateTime dayBefore = kEnd.addDays(-1);
  const std::vector<QByteArray> first = GenerateTexts(7, dayBefore, 1440);
  EXPECT_EQ(GenerateTexts(7, dayBefore, 1440), first);
  EXPECT_NE(GenerateTexts(8, dayBefore, 1440), first);

  // The plan keys on the time of day, not on the fill: a longer fill has the same gaps and
  // modes in the day they share (the model's wandering values differ, it started earlier).
  const std::vector<Row> shortFill = Parse(first);
  std::vector<Row> longFill = Parse(GenerateTexts(7, kEnd.addDays(-3), 3 * 1440));
  std::erase_if(longFill, [&](const Row& row) { return row.Moment < dayBefore; });
  ASSERT_EQ(longFill.size(), shortFill.size());
  for (size_t i = 0; i < shortFill.size(); ++i) {
    EXPECT_EQ(longFill[i].Record.RecMoment, shortFill[i].Record.RecMoment);
    EXPECT_EQ(longFill[i].Record.Flags, shortFill[i].Record.Flags)
        << shortFill[i].Record.RecMoment.constData();
  }
}

TEST(history_options, CommandLine) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString passwordFile = dir.filePath(QStringLiteral("password"));
  ASSERT_TRUE(WriteFileBytes(passwordFile, "from file\r\nsecond line\n"));
  const QDateTime now(QDate(2024, 5, 6), QTime(10, 11, 12));

  struct Case {
    QStringList Arguments;
    const char* Error;  // nullptr: accepted
  };
  const Case cases[] = {
      {{}, nullptr},
      {{"--days", "1", "--seed", "18446744073709551615", "--until", "2024-03-01 06:30", "--if-empty"},
       nullptr},
      {{"--db-password-file", passwordFile}, nullptr},
      {{"--console-ini", "/tmp/x.INI", "--simulator-scale"}, nullptr},
      {{"--days", "0"}, "--days"},
      {{"--days", "367"}, "--days"},
      {{"--days"}, "needs a value"},
      {{"--seed", "-1"}, "--seed"},
      {{"--until", "2024-02-30 06:00"}, "--until"},
      {{"--until", "2024-03-01"}, "--until"},
      {{"--db-port", "0"}, "--db-port"},
      {{"--database", "dravo; drop"}, "--database"},
      {{"--db-password", "secret"}, "unknown option"},
      {{"--simulator-scale"}, "--console-ini"},
      {{"--console-ini", "/tmp/x.INI", "--database", "other"}, "dravo"},
      {{"--db-password-file", dir.filePath(QStringLiteral("missing"))}, "cannot read"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.Arguments.join(u' ').toStdString());
    HistoryOptions options;
    QString error;
    const bool ok = ParseHistoryOptions(QStringList{"flotation-history"} + test.Arguments, u"from env"_qs,
                                        now, options, error);
    if (test.Error == nullptr) {
      EXPECT_TRUE(ok) << error.toStdString();
    } else {
      EXPECT_FALSE(ok);
      EXPECT_TRUE(error.contains(QLatin1String(test.Error))) << error.toStdString();
    }
  }

  HistoryOptions options;
  QString error;
  ASSERT_TRUE(ParseHistoryOptions({"flotation-history"}, u"from env"_qs, now, options, error));
  EXPECT_EQ(options.Fill.Days, 31);
  EXPECT_EQ(options.Fill.Seed, 1u);
  EXPECT_EQ(options.Fill.End, now);
  EXPECT_FALSE(options.Fill.IfEmpty);
  EXPECT_EQ(options.Fill.Database.Password, u"from env");
  EXPECT_EQ(options.Fill.Database.Database, u"dravo");

  ASSERT_TRUE(ParseHistoryOptions(
      {"flotation-history", "--until", "2024-03-01 06:30", "--db-password-file", passwordFile},
      u"from env"_qs, now, options, error));
  EXPECT_EQ(options.Fill.End, QDateTime(QDate(2024, 3, 1), QTime(6, 30)));
  EXPECT_EQ(options.Fill.Database.Password, u"from file");
}

class history_database : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApplication();
    const std::optional<MariaDbServer> server = MariaDbServer::Find();
    ASSERT_TRUE(server) << "no MariaDB server: FLOT_MARIADB_DIR/env is missing (run through ctest)";
    m_server = *server;
    m_adminName = UniqueName("history_admin");
    QSqlDatabase admin = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), m_adminName);
    admin.setHostName(m_server.Host);
    admin.setPort(m_server.Port);
    admin.setUserName(m_server.User);
    admin.setPassword(m_server.Password);
    ASSERT_TRUE(admin.open()) << admin.lastError().text().toStdString();
  }

  void TearDown() override {
    if (!QSqlDatabase::contains(m_adminName)) return;
    {
      QSqlQuery query(QSqlDatabase::database(m_adminName));
      for (const QString& name : m_databases)
        query.exec(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(name));
    }
    QSqlDatabase::removeDatabase(m_adminName);
  }

  StationDatabaseSettings NewDatabase() {
    StationDatabaseSettings settings;
    settings.Host = m_server.Host;
    settings.Port = m_server.Port;
    settings.User = m_server.User;
    settings.Password = m_server.Password;
    settings.Database = UniqueName("flot_history");
    settings.TimeoutSeconds = 5;
    m_databases << settings.Database;
    return settings;
  }

  QSqlQuery Admin(const QString& sql) {
    QSqlQuery query(QSqlDatabase::database(m_adminName));
    EXPECT_TRUE(query.exec(sql)) << sql.toStdString() << ": " << query.lastError().text().toStdString();
    return query;
  }

  QVariant AdminValue(const QString& sql) {
    QSqlQuery query = Admin(sql);
    return query.next() ? query.value(0) : QVariant();
  }

  int Rows(const StationDatabaseSettings& settings) {
    return AdminValue(QStringLiteral("SELECT COUNT(*) FROM %1.puf_data").arg(settings.Database)).toInt();
  }

  static FillRequest Request(const StationDatabaseSettings& settings, int days, uint64_t seed = 1) {
    FillRequest request;
    request.Database = settings;
    request.Days = days;
    request.Seed = seed;
    request.End = kEnd;
    return request;
  }

  MariaDbServer m_server;
  QString m_adminName;
  QStringList m_databases;
};

TEST_F(history_database, FillStoresEveryGeneratedMinuteWithTheValuesTheStationWouldStore) {
  const StationDatabaseSettings settings = NewDatabase();
  const FillResult result = FillHistory(Request(settings, 2));
  ASSERT_TRUE(result.Ok) << result.Error.toStdString();
  EXPECT_FALSE(result.LeftAlone);
  EXPECT_EQ(result.First, kEnd.addDays(-2));

  const std::vector<Row> expected = Parse(GenerateTexts(1, kEnd.addDays(-2), 2 * 1440));
  EXPECT_EQ(result.Rows, int64_t(expected.size()));
  ASSERT_EQ(Rows(settings), int(expected.size()));

  QString columns = QStringLiteral("DATE_FORMAT(RecMoment, '%Y-%m-%d %H:%i:%s')");
  for (const QByteArray& name : RecordValueNames()) columns += u',' + QString::fromLatin1(name);
  for (const QByteArray& name : RecordFlagNames()) columns += u',' + QString::fromLatin1(name);
  QSqlQuery query =
      Admin(QStringLiteral("SELECT %1 FROM %2.puf_data ORDER BY RecMoment").arg(columns, settings.Database));
  for (const Row& row : expected) {
    ASSERT_TRUE(query.next());
    ASSERT_EQ(query.value(0).toString().toLatin1(), row.Record.RecMoment);
    for (int index = 0; index < kRecordValueCount; ++index)
      EXPECT_EQ(query.value(1 + index).toDouble(), *row.Record.Values[index])
          << row.Record.RecMoment.constData() << " " << RecordValueNames()[index].constData();
    for (int index = 0; index < kRecordFlagCount; ++index)
      EXPECT_EQ(query.value(1 + kRecordValueCount + index).toInt(), row.Record.Flags[index]);
  }
  EXPECT_FALSE(query.next());
}

TEST_F(history_database, IfEmptyLeavesATableWithRowsAloneAndAPlainFillUpserts) {
  const StationDatabaseSettings settings = NewDatabase();
  FillRequest request = Request(settings, 1);
  request.IfEmpty = true;
  // No database and no table yet: that is empty.
  FillResult result = FillHistory(request);
  ASSERT_TRUE(result.Ok) << result.Error.toStdString();
  ASSERT_FALSE(result.LeftAlone);
  const int rows = Rows(settings);
  ASSERT_GT(rows, 1300);

  const QString first =
      AdminValue(QStringLiteral("SELECT MIN(RecMoment) FROM %1.puf_data").arg(settings.Database))
          .toDateTime()
          .toString(u"yyyy-MM-dd HH:mm:ss"_qs);
  Admin(QStringLiteral("UPDATE %1.puf_data SET PLF1 = -1 WHERE RecMoment = '%2'")
            .arg(settings.Database, first));
  request.End = kEnd.addDays(1);  // a later fill would add rows
  result = FillHistory(request);
  ASSERT_TRUE(result.Ok) << result.Error.toStdString();
  EXPECT_TRUE(result.LeftAlone);
  EXPECT_EQ(result.Rows, 0);
  EXPECT_EQ(Rows(settings), rows);
  const QString plf1 =
      QStringLiteral("SELECT PLF1 FROM %1.puf_data WHERE RecMoment = '%2'").arg(settings.Database, first);
  EXPECT_EQ(AdminValue(plf1).toDouble(), -1);

  // Without it the same stretch replaces its minutes and adds none.
  request = Request(settings, 1);
  result = FillHistory(request);
  ASSERT_TRUE(result.Ok) << result.Error.toStdString();
  EXPECT_EQ(Rows(settings), rows);
  EXPECT_GT(AdminValue(plf1).toDouble(), 0);
}

TEST_F(history_database, AFillThatDoesNotCommitLeavesTheTableAsItWas) {
  const StationDatabaseSettings settings = NewDatabase();
  const std::vector<QByteArray> texts = GenerateTexts(1, kEnd.addDays(-1), 1440);
  {
    HistoryStore store(settings);
    QString error;
    ASSERT_TRUE(store.Open(error)) << error.toStdString();
    for (int i = 0; i < HistoryStore::kRowsPerStatement + 10; ++i) ASSERT_TRUE(store.Add(texts[i], error));
    EXPECT_EQ(store.RowCount(), HistoryStore::kRowsPerStatement);  // one batch already sent
    // Gone without Commit: interrupted.
  }
  EXPECT_EQ(Rows(settings), 0);

  HistoryStore store(settings);
  QString error;
  ASSERT_TRUE(store.Open(error)) << error.toStdString();
  EXPECT_FALSE(store.Add("RecMoment='2024-03-01 00:00:00',PLF1=1", error));
  EXPECT_TRUE(error.contains(u"does not parse")) << error.toStdString();

  StationDatabaseSettings wrong = NewDatabase();
  wrong.Password = QStringLiteral("not the password");
  const FillResult result = FillHistory(Request(wrong, 1));
  EXPECT_FALSE(result.Ok);
  EXPECT_TRUE(result.Error.contains(u"cannot connect")) << result.Error.toStdString();
}

TEST_F(history_database, TheProgramFillsWhatTheLibraryFillsAndHonoursIfEmpty) {
  const StationDatabaseSettings byProgram = NewDatabase();
  const StationDatabaseSettings byLibrary = NewDatabase();
  const auto run = [&](const QStringList& extra, const QString& password) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("FLOT_STATION_DB_PASSWORD"), password);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(FLOT_HISTORY_BIN),
                  QStringList{"--days", "1", "--seed", "5", "--until", "2024-03-12 00:00", "--db-host",
                              m_server.Host, "--db-port", QString::number(m_server.Port), "--db-user",
                              m_server.User, "--database", byProgram.Database} +
                      extra);
    EXPECT_TRUE(process.waitForFinished(60000));
    return std::make_pair(process.exitCode(), QString::fromLocal8Bit(process.readAllStandardError()));
  };

  auto [status, output] = run({}, m_server.Password);
  ASSERT_EQ(status, 0) << output.toStdString();
  EXPECT_TRUE(output.contains(u"minutes from 2024-03-11 00:00 to 2024-03-12 00:00")) << output.toStdString();
  ASSERT_TRUE(FillHistory(Request(byLibrary, 1, 5)).Ok);
  const auto checksum = [&](const StationDatabaseSettings& settings) {
    QSqlQuery query = Admin(QStringLiteral("CHECKSUM TABLE %1.puf_data").arg(settings.Database));
    return query.next() ? query.value(1).toLongLong() : -1;
  };
  EXPECT_EQ(checksum(byProgram), checksum(byLibrary));
  EXPECT_GT(Rows(byProgram), 1300);

  std::tie(status, output) = run({"--if-empty"}, m_server.Password);
  EXPECT_EQ(status, 0) << output.toStdString();
  EXPECT_TRUE(output.contains(u"left alone")) << output.toStdString();

  std::tie(status, output) = run({}, QStringLiteral("wrong"));
  EXPECT_EQ(status, 1) << output.toStdString();
  std::tie(status, output) = run({"--days", "x"}, m_server.Password);
  EXPECT_EQ(status, 2) << output.toStdString();
}

TEST_F(history_database, PointConsoleAtWritesWhatTheConsoleReadsAndCanLogInWith) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath(QStringLiteral("flotation-console.INI"));
  Tmcrypt crypt;
  // A console that has run before: its own lines, a stored password of another server,
  // the query server switched off, and one input calibrated by the engineer.
  ASSERT_TRUE(WriteFileBytes(
      path, "[COM]\r\nHardReadPort=/dev/ttyX\r\n[MySQL]\r\nHost=10.0.0.9\r\nLogin=old\r\nPassword=" +
                crypt.ScrambleText(QStringLiteral("old secret")).toLatin1() +
                "\r\nDisabled=1\r\n[System]\r\nLanServer=0\r\nLanPort=7780\r\n"
                "[RVF_1_CALIBR]\r\nSize=2\r\nAVal0=0\r\nFVal0=0\r\nAVal1=10\r\nFVal1=5\r\n"));

  StationDatabaseSettings settings = NewDatabase();
  int lanPort = 0;
  QString error;
  ASSERT_TRUE(PointConsoleAt(path, settings, true, lanPort, error)) << error.toStdString();
  EXPECT_EQ(lanPort, 7780);

  IniFile ini(path);
  TConfig config;
  ASSERT_TRUE(config.LoadConfig(ini, crypt));
  EXPECT_EQ(config.Host.Get(), m_server.HostWithPort());
  EXPECT_EQ(config.Login.Get(), m_server.User);
  EXPECT_EQ(config.Password.Get(), m_server.Password);
  EXPECT_FALSE(config.Disabled);
  EXPECT_TRUE(config.LanServer);
  EXPECT_EQ(config.HardReadPort.Get(), u"/dev/ttyX");
  EXPECT_FALSE(ReadFileBytes(path).contains("Password=" + m_server.Password.toLatin1()));
  // The simulator's scale where the table was the built-in one, the engineer's table kept.
  EXPECT_DOUBLE_EQ(config.InputSignals[0]->CalibrateValue(32767, false), 400);
  EXPECT_DOUBLE_EQ(config.InputSignals[1]->CalibrateValue(10, false), 5);
  EXPECT_DOUBLE_EQ(config.InputSignals[7]->CalibrateValue(32767 / 2.0, false), 50);

  // What the console will connect with opens the server (the database name is the console's
  // fixed one; the account is what matters here).
  {
    QSqlDatabase probe = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), QStringLiteral("history_probe"));
    const QString host = config.Host;
    probe.setHostName(host.section(u':', 0, 0));
    probe.setPort(host.section(u':', 1).toInt());
    probe.setUserName(config.Login);
    probe.setPassword(config.Password);
    EXPECT_TRUE(probe.open()) << probe.lastError().text().toStdString();
    probe.close();
  }
  QSqlDatabase::removeDatabase(QStringLiteral("history_probe"));

  // An account without a password leaves no old one behind.
  settings.Password.clear();
  ASSERT_TRUE(PointConsoleAt(path, settings, false, lanPort, error)) << error.toStdString();
  TConfig again;
  ASSERT_TRUE(again.LoadConfig(ini, crypt));
  EXPECT_TRUE(again.Password.Get().isEmpty());
}

TEST(history_console_ini, BadFilesDoNotStopIt) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  StationDatabaseSettings settings;
  settings.User = QStringLiteral("flotation");
  settings.Password = QStringLiteral("flotation");
  int lanPort = 0;
  QString error;

  const QString broken = dir.filePath(QStringLiteral("broken.INI"));
  QByteArray junk("\xff\xfe[MySQL\r\nHost\r\n=x\r\n[System]\r\nLanPort=99999\r\n");
  junk.append('\0').append("\x01\x02");
  ASSERT_TRUE(WriteFileBytes(broken, junk));
  ASSERT_TRUE(PointConsoleAt(broken, settings, false, lanPort, error)) << error.toStdString();
  EXPECT_EQ(lanPort, 7777);  // out of range: the built-in port

  const QString missing = dir.filePath(QStringLiteral("new.INI"));
  ASSERT_TRUE(PointConsoleAt(missing, settings, false, lanPort, error)) << error.toStdString();
  IniFile ini(missing);
  EXPECT_EQ(ini.ReadString(u"MySQL"_qs, u"Host"_qs, {}), u"127.0.0.1:3306");

  EXPECT_FALSE(
      PointConsoleAt(dir.filePath(QStringLiteral("no/such/folder.INI")), settings, false, lanPort, error));
  EXPECT_TRUE(error.contains(u"folder")) << error.toStdString();
}
