#include "storage/minutejournal.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cmath>
#include <csignal>
#include <cstring>
#include <functional>
#include <limits>

#include "support/eventlogcapture.h"
#include "support/files.h"
#include "support/waitfor.h"

namespace {

using namespace std::chrono_literals;

JournalRecord Minute(int minute, float first = 0) {
  JournalRecord record;
  record.RecMoment = 39464.0 + minute / 1440.0 + 59.0 / 86400.0;
  for (int i = 0; i < kJournalValueCount; ++i) record.Values[i] = first + static_cast<float>(i) * 0.1f;
  return record;
}

bool SameBits(const JournalRecord& a, const JournalRecord& b) {
  return std::memcmp(&a.RecMoment, &b.RecMoment, sizeof a.RecMoment) == 0 &&
         std::memcmp(a.Values.data(), b.Values.data(), sizeof a.Values) == 0;
}

std::vector<double> Moments(const std::vector<JournalRecord>& records) {
  std::vector<double> moments;
  for (const JournalRecord& r : records) moments.push_back(r.RecMoment);
  return moments;
}

std::vector<double> MomentsOf(std::initializer_list<int> minutes) {
  std::vector<double> moments;
  for (int m : minutes) moments.push_back(Minute(m).RecMoment);
  return moments;
}

QString LogText() {
  QString text;
  for (const TEventFIFO_Rec& r : DrainEventLog()) text += r.Text + u'\n';
  return text;
}

TMinuteJournal::Options Limit(int limit, std::chrono::milliseconds sync = 1h) {
  TMinuteJournal::Options options;
  options.Limit = limit;
  options.SyncInterval = sync;
  return options;
}

class MinuteJournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_home.isValid());
    DrainEventLog();
  }
  QString Path() const { return m_home.filePath(u"minutes.journal"_qs); }

  QTemporaryDir m_home;
};

TEST_F(MinuteJournalTest, RestoresUnconfirmedMinutesOldestFirstBitForBit) {
  JournalRecord odd = Minute(3, -1.5f);
  odd.Values[7] = std::numeric_limits<float>::quiet_NaN();
  odd.Values[8] = -0.0f;
  {
    TMinuteJournal journal(Path(), Limit(10));
    EXPECT_TRUE(journal.Open().empty());
    journal.AppendRecord(Minute(1, 5));
    journal.AppendRecord(Minute(2, 6));
    journal.AppendSaved(Minute(2).RecMoment);
    journal.AppendRecord(odd);
    journal.AppendSaved(Minute(9).RecMoment);  // a minute the journal never held
    ASSERT_TRUE(journal.Flush());
  }
  TMinuteJournal again(Path(), Limit(10));
  const std::vector<JournalRecord> restored = again.Open();
  ASSERT_EQ(restored.size(), 2u);
  EXPECT_TRUE(SameBits(restored[0], Minute(1, 5)));
  EXPECT_TRUE(SameBits(restored[1], odd));
  EXPECT_TRUE(LogText().contains(u"восстановлено записей, не подтверждённых станцией: 2."_qs));
}

// What a kill -9 leaves is what the writer has handed to the system: the
// file as it stands once the hand-over is done, without any sync.
TEST_F(MinuteJournalTest, EntriesReachTheFileBeforeTheHandOverIsDoneWithoutASync) {
  TMinuteJournal journal(Path(), Limit(10));
  journal.Open();
  const uint64_t syncsAtOpen = journal.SyncCount();
  for (int minute = 0; minute < 50; ++minute) journal.AppendRecord(Minute(minute));
  journal.AppendSaved(Minute(0).RecMoment);
  ASSERT_TRUE(journal.WaitHandedOver());

  const JournalReadResult onDisk = ReadMinuteJournal(ReadFileBytes(Path()), 10);
  EXPECT_EQ(onDisk.CutBytes, 0u);
  EXPECT_EQ(onDisk.Entries, 51);
  EXPECT_EQ(Moments({onDisk.Records.begin(), onDisk.Records.end()}),
            MomentsOf({40, 41, 42, 43, 44, 45, 46, 47, 48, 49}));
  // An hour's interval: nothing was synced since the open.
  EXPECT_EQ(journal.SyncCount(), syncsAtOpen);
  ASSERT_TRUE(journal.Flush());
  EXPECT_EQ(journal.SyncCount(), syncsAtOpen + 1);
}

TEST_F(MinuteJournalTest, SyncsOncePerIntervalNotPerEntry) {
  TMinuteJournal journal(Path(), Limit(100, 200ms));
  journal.Open();
  const uint64_t syncsAtOpen = journal.SyncCount();
  const auto start = std::chrono::steady_clock::now();
  journal.AppendRecord(Minute(0));
  // The first entry after a quiet interval is synced at once, later ones wait.
  ASSERT_TRUE(WaitFor([&] { return journal.SyncCount() == syncsAtOpen + 1; }));
  for (int minute = 1; minute < 30; ++minute) journal.AppendRecord(Minute(minute));
  ASSERT_TRUE(journal.WaitHandedOver());
  ASSERT_TRUE(WaitFor([&] { return journal.SyncCount() == syncsAtOpen + 2; }));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LE(journal.SyncCount() - syncsAtOpen, 2 + static_cast<uint64_t>(elapsed / 200ms));
}

TEST_F(MinuteJournalTest, NewMinutesBeyondTheLimitPushOutTheOldest) {
  {
    TMinuteJournal journal(Path(), Limit(3));
    journal.Open();
    for (int minute = 0; minute < 5; ++minute) journal.AppendRecord(Minute(minute));
    journal.AppendSaved(Minute(4).RecMoment);
    ASSERT_TRUE(journal.Flush());
  }
  TMinuteJournal again(Path(), Limit(3));
  EXPECT_EQ(Moments(again.Open()), MomentsOf({2, 3}));
}

TEST_F(MinuteJournalTest, CompactionKeepsTheFileWithinTwiceTheLimitsWorth) {
  constexpr int kLimit = 5;
  const std::size_t fullSize =
      kJournalHeaderSize + kLimit * (kJournalEntryFrameSize + kJournalRecordPayloadSize);
  {
    TMinuteJournal journal(Path(), Limit(kLimit, 0ms));  // every hand-over is a sync point
    journal.Open();
    for (int minute = 0; minute < 400; ++minute) {
      journal.AppendRecord(Minute(minute, static_cast<float>(minute)));
      if (minute % 3 != 0) journal.AppendSaved(Minute(minute).RecMoment);
      ASSERT_TRUE(journal.WaitHandedOver());
      ASSERT_LE(static_cast<std::size_t>(QFileInfo(Path()).size()), 2 * fullSize + 200) << minute;
    }
    EXPECT_GT(journal.CompactionCount(), 5u);
  }
  EXPECT_FALSE(QFileInfo::exists(Path() + u".tmp"_qs));
  TMinuteJournal again(Path(), Limit(kLimit));
  const std::vector<JournalRecord> restored = again.Open();
  EXPECT_EQ(Moments(restored), MomentsOf({387, 390, 393, 396, 399}));
  EXPECT_TRUE(SameBits(restored.back(), Minute(399, 399)));
}

// A journal cut at any byte, as a power cut mid-write leaves it, gives back
// exactly the entries written in full before the cut.
TEST(MinuteJournalFormat, ACutAtAnyByteKeepsTheEntriesBeforeIt) {
  QByteArray bytes = JournalHeader();
  std::vector<std::size_t> ends;
  for (int minute = 0; minute < 3; ++minute) {
    AppendRecordEntry(bytes, Minute(minute));
    ends.push_back(static_cast<std::size_t>(bytes.size()));
  }
  AppendSavedEntry(bytes, Minute(1).RecMoment);
  ends.push_back(static_cast<std::size_t>(bytes.size()));

  for (std::size_t cut = kJournalHeaderSize; cut <= static_cast<std::size_t>(bytes.size()); ++cut) {
    const JournalReadResult read = ReadMinuteJournal(bytes.left(static_cast<qsizetype>(cut)), 10);
    int whole = 0;
    std::size_t good = kJournalHeaderSize;
    for (std::size_t end : ends) {
      if (end <= cut) {
        ++whole;
        good = end;
      }
    }
    ASSERT_EQ(read.Header, JournalHeaderState::kValid);
    ASSERT_EQ(read.Entries, whole) << "cut at " << cut;
    ASSERT_EQ(read.ValidBytes, good) << "cut at " << cut;
    ASSERT_EQ(read.CutBytes, cut - good) << "cut at " << cut;
    ASSERT_EQ(read.Records.size(), whole == 4 ? 2u : static_cast<std::size_t>(std::min(whole, 3)));
  }
}

TEST(MinuteJournalFormat, Crc32IsTheCommonOne) {
  EXPECT_EQ(JournalCrc32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(JournalCrc32("", 0), 0u);
}

struct BadFileCase {
  const char* Name;
  std::function<QByteArray()> Bytes;
  int Limit;
  std::vector<int> Restored;  // minutes
  const char* Logged;         // part of the event-log line
  bool SetAside;              // minutes.journal.bad holds the old bytes
};

QByteArray ThreeMinutes() {
  QByteArray bytes = JournalHeader();
  for (int minute = 0; minute < 3; ++minute) AppendRecordEntry(bytes, Minute(minute));
  return bytes;
}

QByteArray WithByteFlipped(QByteArray bytes, qsizetype at) {
  bytes[at] = static_cast<char>(bytes[at] ^ 0x10);
  return bytes;
}

const qsizetype kEntry = static_cast<qsizetype>(kJournalEntryFrameSize + kJournalRecordPayloadSize);

class MinuteJournalBadFileTest : public MinuteJournalTest,
                                 public ::testing::WithParamInterface<BadFileCase> {};

TEST_P(MinuteJournalBadFileTest, StartsWithWhatCanBeTrustedAndWritesOnFromThere) {
  const BadFileCase& c = GetParam();
  const QByteArray original = c.Bytes();
  ASSERT_TRUE(WriteFileBytes(Path(), original));
  std::vector<double> expected;
  for (int minute : c.Restored) expected.push_back(Minute(minute).RecMoment);
  {
    TMinuteJournal journal(Path(), Limit(c.Limit));
    EXPECT_EQ(Moments(journal.Open()), expected);
    EXPECT_TRUE(LogText().contains(QString::fromUtf8(c.Logged))) << c.Name;
    EXPECT_TRUE(journal.Writable());
    journal.AppendRecord(Minute(50));
    ASSERT_TRUE(journal.Flush());
  }
  EXPECT_EQ(QFileInfo::exists(Path() + u".bad"_qs), c.SetAside);
  if (c.SetAside) {
    EXPECT_EQ(ReadFileBytes(Path() + u".bad"_qs), original);
  }
  // The repaired file reads back whole, with the minute written after the repair.
  const JournalReadResult reread = ReadMinuteJournal(ReadFileBytes(Path()), c.Limit);
  EXPECT_EQ(reread.Header, JournalHeaderState::kValid);
  EXPECT_EQ(reread.CutBytes, 0u);
  expected.push_back(Minute(50).RecMoment);
  if (expected.size() > static_cast<std::size_t>(c.Limit)) expected.erase(expected.begin());
  EXPECT_EQ(Moments({reread.Records.begin(), reread.Records.end()}), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MinuteJournalBadFileTest,
    ::testing::Values(BadFileCase{"TornTail",
                                  [] { return ThreeMinutes().chopped(40); },
                                  10,
                                  {0, 1},
                                  "повреждённый конец файла (",
                                  false},
                      BadFileCase{"TornLength",
                                  [] { return ThreeMinutes() + QByteArray("\x89\x00", 2); },
                                  10,
                                  {0, 1, 2},
                                  "(2 байт) отброшен",
                                  false},
                      BadFileCase{"WrongChecksumLast",
                                  [] { return WithByteFlipped(ThreeMinutes(), ThreeMinutes().size() - 3); },
                                  10,
                                  {0, 1},
                                  "повреждённый конец файла",
                                  false},
                      BadFileCase{"WrongChecksumInTheMiddle",
                                  [] { return WithByteFlipped(ThreeMinutes(), 16 + kEntry + 20); },
                                  10,
                                  {0},
                                  "повреждённый конец файла",
                                  false},
                      BadFileCase{"LengthOutOfRange",
                                  [] {
                                    QByteArray bytes = ThreeMinutes();
                                    bytes[16 + kEntry + 1] = 0x7F;
                                    return bytes;
                                  },
                                  10,
                                  {0},
                                  "повреждённый конец файла",
                                  false},
                      BadFileCase{"OtherVersion",
                                  [] {
                                    QByteArray bytes = ThreeMinutes();
                                    bytes[8] = 2;
                                    return bytes;
                                  },
                                  10,
                                  {},
                                  "другой версии (2)",
                                  true},
                      BadFileCase{"Garbage",
                                  [] { return QByteArray("this is not a journal at all\n"); },
                                  10,
                                  {},
                                  "не является журналом",
                                  true},
                      BadFileCase{"ShorterThanTheHeader",
                                  [] { return JournalHeader().left(11); },
                                  10,
                                  {},
                                  "не является журналом",
                                  true},
                      BadFileCase{
                          "Empty", [] { return QByteArray(); }, 10, {}, "пуст; начат новый журнал", false},
                      BadFileCase{"LargerLimit",
                                  [] { return ThreeMinutes(); },
                                  2,
                                  {1, 2},
                                  "1 старейших записей сверх предела (2)",
                                  false}),
    [](const ::testing::TestParamInfo<BadFileCase>& info) { return std::string(info.param.Name); });

// The journal file cannot be created: the folder is missing behind a plain
// file, or the name is taken by a folder. Both hold for every user.
TEST_F(MinuteJournalTest, AnUnwritablePlaceIsLoggedAndNothingBlocks) {
  ASSERT_TRUE(WriteFileBytes(m_home.filePath(u"plain"_qs), "x"));
  ASSERT_TRUE(QDir(m_home.path()).mkdir(u"minutes.journal"_qs));
  for (const QString& path : {m_home.filePath(u"plain/minutes.journal"_qs), Path()}) {
    TMinuteJournal journal(path, Limit(10, 0ms));
    EXPECT_TRUE(journal.Open().empty());
    EXPECT_FALSE(journal.Writable());
    EXPECT_TRUE(LogText().contains(u"минутные записи хранятся в памяти"_qs)) << path.toStdString();
    for (int minute = 0; minute < 10; ++minute) journal.AppendRecord(Minute(minute));
    EXPECT_TRUE(journal.WaitHandedOver());
    EXPECT_FALSE(journal.Flush());
    // One line for the failure, not one per attempt.
    EXPECT_FALSE(LogText().contains(u"не удалось"_qs));
  }
}

// A full disk, played by the file-size limit: writes fail with EFBIG. The
// minutes stay in memory and reach the file once there is room again.
TEST_F(MinuteJournalTest, AFullDiskKeepsTheMinutesUntilThereIsRoom) {
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  TMinuteJournal journal(Path(), Limit(100, 0ms));
  journal.Open();
  journal.AppendRecord(Minute(0));
  ASSERT_TRUE(journal.Flush());

  struct rlimit full = saved;
  full.rlim_cur = static_cast<rlim_t>(QFileInfo(Path()).size() + 100);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
  for (int minute = 1; minute < 5; ++minute) journal.AppendRecord(Minute(minute));
  const bool flushedWhileFull = journal.Flush();
  const bool writableWhileFull = journal.Writable();
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_FALSE(flushedWhileFull);
  EXPECT_FALSE(writableWhileFull);
  EXPECT_TRUE(LogText().contains(u"минутные записи хранятся в памяти"_qs));
  // The damaged append was cut back out: the file still reads clean.
  EXPECT_EQ(ReadMinuteJournal(ReadFileBytes(Path()), 100).CutBytes, 0u);

  journal.AppendRecord(Minute(5));
  ASSERT_TRUE(journal.Flush());
  EXPECT_TRUE(journal.Writable());
  EXPECT_TRUE(LogText().contains(u"снова записывается"_qs));
  const JournalReadResult reread = ReadMinuteJournal(ReadFileBytes(Path()), 100);
  EXPECT_EQ(Moments({reread.Records.begin(), reread.Records.end()}), MomentsOf({0, 1, 2, 3, 4, 5}));
}

}  // namespace
