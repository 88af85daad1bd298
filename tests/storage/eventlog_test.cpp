#include "storage/eventlog.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "storage/notifier.h"
#include "support/fakelogenvironment.h"

namespace {

QString Text(int n) {
  return QStringLiteral("message %1").arg(n);
}

struct ShownMessage {
  bool Separate = false;
  QString Text;
  TDateTime Moment = 0;
  uint32_t Flags = 0;
};

class RecordingSink : public WarningWindowSink {
 public:
  std::vector<ShownMessage> Shown;
  bool ThrowOnShow = false;

  void ShowShared(const QString& text, TDateTime moment, uint32_t flags) override {
    Record(false, text, moment, flags);
  }
  void ShowSeparate(const QString& text, TDateTime moment, uint32_t flags) override {
    Record(true, text, moment, flags);
  }

 private:
  void Record(bool separate, const QString& text, TDateTime moment, uint32_t flags) {
    Shown.push_back({separate, text, moment, flags});
    if (ThrowOnShow) throw std::runtime_error("window failed");
  }
};

// A writer whose file write throws for texts containing "explode".
class ThrowingLogFileWriter : public CapturingLogFileWriter {
 public:
  using CapturingLogFileWriter::CapturingLogFileWriter;

 protected:
  bool AppendToFile(const QString& path, const QByteArray& bytes) override {
    if (bytes.contains("explode")) throw std::runtime_error("disk exploded");
    return CapturingLogFileWriter::AppendToFile(path, bytes);
  }
};

class EventLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.isValid());
    m_environment.SetNow(EncodeDateTime(2008, 1, 17, 11, 43, 15));
    m_environment.SetTickCount(345'678);
  }

  bool Post(const QString& text, uint32_t flags = 0) {
    return AddLogMessage(m_fifo, text, flags, m_environment);
  }

  QTemporaryDir m_dir;
  FakeLogEnvironment m_environment;
  TEventFIFO m_fifo{kEventFIFOCapacity};
  CapturingLogFileWriter m_writer{m_dir.path(), m_environment};
  RecordingSink m_sink;
  TEventLogDrain m_drain{m_fifo, m_writer, &m_sink};
};

TEST_F(EventLogTest, LineShowsUptimeDateTimeAndText) {
  ASSERT_TRUE(Post(QStringLiteral("Error in CalcWorks()")));
  EXPECT_EQ(m_drain.Drain(true), 1);
  EXPECT_EQ(m_writer.Lines,
            QStringList{QStringLiteral("345 | 17.01.2008 | 11:43:15 | Error in CalcWorks()")});
}

TEST_F(EventLogTest, LineFieldsTakeNoPaddingBeyondTheirPictures) {
  TEventFIFO_Rec record;
  record.Text = QStringLiteral("Поток приема: Не могу подключить порт COM1");
  record.Moment = EncodeDateTime(2009, 3, 5, 7, 8, 9);
  record.TickSec = 4'294'967;  // the largest a 32-bit millisecond tick gives
  EXPECT_EQ(EventLogLine(record),
            QStringLiteral("4294967 | 05.03.2009 | 07:08:09 | Поток приема: Не могу подключить порт COM1"));
  record.TickSec = 0;
  record.Text = QString();
  EXPECT_EQ(EventLogLine(record), QStringLiteral("0 | 05.03.2009 | 07:08:09 | "));
}

TEST_F(EventLogTest, FullQueueRefusesTheNewestWithABeepAndKeepsTheRest) {
  for (int i = 0; i < kEventFIFOCapacity; ++i) ASSERT_TRUE(Post(Text(i))) << i;
  EXPECT_EQ(m_environment.Beeps(), 0);
  EXPECT_FALSE(Post(Text(kEventFIFOCapacity)));
  EXPECT_EQ(m_environment.Beeps(), 1);

  for (int tick = 0; tick < kEventFIFOCapacity / TEventLogDrain::kDrainBatch; ++tick) {
    ASSERT_EQ(m_drain.Drain(true), TEventLogDrain::kDrainBatch) << tick;
  }
  EXPECT_EQ(m_drain.Drain(true), 0);
  // Once the 400 are out, the loss is told where it happened.
  ASSERT_EQ(m_writer.Lines.size(), kEventFIFOCapacity + 1);
  for (int i = 0; i < kEventFIFOCapacity; ++i) {
    EXPECT_TRUE(m_writer.Lines[i].endsWith(QStringLiteral(" | ") + Text(i)))
        << m_writer.Lines[i].toStdString();
  }
  EXPECT_EQ(
      m_writer.Lines.back(),
      QStringLiteral(
          "345 | 17.01.2008 | 11:43:15 | Журнал событий: потеряно сообщений: 1 (очередь была заполнена)"));
}

TEST_F(EventLogTest, DrainTakesAtMostTenPerTickInPostingOrder) {
  for (int i = 0; i < 25; ++i) ASSERT_TRUE(Post(Text(i)));
  EXPECT_EQ(m_drain.Drain(true), 10);
  EXPECT_EQ(m_writer.Lines.size(), 10);
  EXPECT_EQ(m_drain.Drain(true), 10);
  EXPECT_EQ(m_writer.Lines.size(), 20);
  EXPECT_EQ(m_drain.Drain(true), 5);
  EXPECT_EQ(m_drain.Drain(true), 0);
  ASSERT_EQ(m_writer.Lines.size(), 25);
  for (int i = 0; i < 25; ++i) EXPECT_TRUE(m_writer.Lines[i].endsWith(Text(i)));
}

TEST_F(EventLogTest, SavingOffEmptiesTheQueueButWritesNothing) {
  for (int i = 0; i < 12; ++i) ASSERT_TRUE(Post(Text(i), kLogFlagShowWindow));
  EXPECT_EQ(m_drain.Drain(false), 10);
  EXPECT_EQ(m_drain.Drain(false), 2);
  EXPECT_EQ(m_fifo.GetCount(), 0);
  EXPECT_TRUE(m_writer.Lines.isEmpty());
  // The windows do not depend on the file.
  EXPECT_EQ(m_sink.Shown.size(), 12u);
}

TEST_F(EventLogTest, NullTextIsRefusedWithoutBeepButEmptyTextIsPosted) {
  EXPECT_FALSE(Post(QString()));
  EXPECT_EQ(m_fifo.GetCount(), 0);
  EXPECT_EQ(m_environment.Beeps(), 0);

  const QString empty = QStringLiteral("x").left(0);
  ASSERT_FALSE(empty.isNull());
  EXPECT_TRUE(Post(empty));
  EXPECT_EQ(m_fifo.GetCount(), 1);
}

TEST_F(EventLogTest, FlagsChooseTheWarningWindow) {
  struct Case {
    uint32_t Flags;
    bool Shown;
    bool Separate;
  };
  const Case cases[] = {
      {0, false, false},   {68, false, false}, {128, false, false},
      {256, false, false}, {1, true, false},   {129, true, false},
      {257, true, true},   {385, true, true},  {0xFFFFFFFFu, true, true},
  };
  for (const Case& c : cases) {
    m_sink.Shown.clear();
    m_writer.Lines.clear();
    ASSERT_TRUE(Post(QStringLiteral("flags %1").arg(c.Flags), c.Flags));
    ASSERT_EQ(m_drain.Drain(true), 1);
    EXPECT_EQ(m_writer.Lines.size(), 1) << c.Flags;
    ASSERT_EQ(m_sink.Shown.size(), c.Shown ? 1u : 0u) << c.Flags;
    if (!c.Shown) continue;
    const ShownMessage& shown = m_sink.Shown.front();
    EXPECT_EQ(shown.Separate, c.Separate) << c.Flags;
    EXPECT_EQ(shown.Text, QStringLiteral("flags %1").arg(c.Flags));
    EXPECT_EQ(shown.Moment, m_environment.Now());
    EXPECT_EQ(shown.Flags, c.Flags);  // passed on whole: the window reads the colour bit
  }
}

TEST_F(EventLogTest, SharedWindowMessagesArriveInOrderSoTheLastOneStays) {
  ASSERT_TRUE(Post(QStringLiteral("first"), kLogFlagShowWindow));
  ASSERT_TRUE(Post(QStringLiteral("second"), kLogFlagShowWindow));
  EXPECT_EQ(m_drain.Drain(true), 2);
  ASSERT_EQ(m_sink.Shown.size(), 2u);
  EXPECT_EQ(m_sink.Shown[0].Text, QStringLiteral("first"));
  EXPECT_EQ(m_sink.Shown[1].Text, QStringLiteral("second"));
}

TEST_F(EventLogTest, WithoutSinkWindowMessagesAreStillLogged) {
  TEventLogDrain drain(m_fifo, m_writer, nullptr);
  ASSERT_TRUE(Post(QStringLiteral("window wanted"), kLogFlagShowWindow | kLogFlagOwnWindow));
  EXPECT_EQ(drain.Drain(true), 1);
  EXPECT_EQ(m_writer.Lines.size(), 1);
}

TEST_F(EventLogTest, FailingWindowStillLogsTheLineAndTheDrainGoesOn) {
  m_sink.ThrowOnShow = true;
  ASSERT_TRUE(Post(QStringLiteral("a"), kLogFlagShowWindow));
  ASSERT_TRUE(Post(QStringLiteral("b"), kLogFlagShowWindow | kLogFlagOwnWindow));
  ASSERT_TRUE(Post(QStringLiteral("c")));
  EXPECT_EQ(m_drain.Drain(true), 3);
  EXPECT_EQ(m_sink.Shown.size(), 2u);
  ASSERT_EQ(m_writer.Lines.size(), 3);
  EXPECT_TRUE(m_writer.Lines[0].endsWith(QStringLiteral(" | a")));
  EXPECT_TRUE(m_writer.Lines[2].endsWith(QStringLiteral(" | c")));
}

TEST_F(EventLogTest, FailingFileWriteLosesOnlyThatLine) {
  ThrowingLogFileWriter writer(m_dir.path(), m_environment);
  TEventLogDrain drain(m_fifo, writer, &m_sink);
  ASSERT_TRUE(Post(QStringLiteral("before")));
  ASSERT_TRUE(Post(QStringLiteral("explode"), kLogFlagShowWindow));
  ASSERT_TRUE(Post(QStringLiteral("after")));
  EXPECT_EQ(drain.Drain(true), 3);
  ASSERT_EQ(writer.Lines.size(), 2);
  EXPECT_TRUE(writer.Lines[0].endsWith(QStringLiteral("before")));
  EXPECT_TRUE(writer.Lines[1].endsWith(QStringLiteral("after")));
  EXPECT_EQ(m_sink.Shown.size(), 1u);  // the window came before the failing write
}

TEST_F(EventLogTest, UptimeIsTheTickInWholeSecondsAtPosting) {
  struct Case {
    uint32_t Tick;
    const char* Column;
  };
  const Case cases[] = {
      {0, "0 |"}, {999, "0 |"}, {1000, "1 |"}, {345'999, "345 |"}, {0xFFFFFFFFu, "4294967 |"}};
  for (const Case& c : cases) {
    m_environment.SetTickCount(c.Tick);
    ASSERT_TRUE(Post(QStringLiteral("tick")));
  }
  m_environment.SetTickCount(999'999);  // draining later must not change the column
  EXPECT_EQ(m_drain.Drain(true), 5);
  ASSERT_EQ(m_writer.Lines.size(), 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_TRUE(m_writer.Lines[i].startsWith(QLatin1String(cases[i].Column)))
        << m_writer.Lines[i].toStdString();
  }
}

TEST_F(EventLogTest, ConcurrentPostersEachMessageArrivesOnceInItsThreadsOrder) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 500;  // more than the queue holds, so posters meet a full queue
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([this, t] {
      for (int i = 0; i < kPerThread; ++i) {
        const QString text = QStringLiteral("%1:%2").arg(t).arg(i);
        while (!Post(text)) std::this_thread::yield();
      }
    });
  }

  // The posters retry what the full queue refused; the drain tells those
  // refusals in lines of their own, which are left out here.
  const auto delivered = [this] {
    return m_writer.Lines.size() - m_writer.Lines.filter(QStringLiteral("Журнал событий: потеряно")).size();
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (delivered() < kThreads * kPerThread && std::chrono::steady_clock::now() < deadline) {
    if (m_drain.Drain(true) == 0) std::this_thread::yield();
  }
  for (std::thread& poster : posters) poster.join();
  EXPECT_EQ(m_drain.Drain(true), 0);
  m_writer.Lines.removeIf([](const QString& line) { return line.contains(u"Журнал событий: потеряно"); });

  ASSERT_EQ(m_writer.Lines.size(), kThreads * kPerThread);
  std::vector<int> next(kThreads, 0);
  for (const QString& line : m_writer.Lines) {
    const QStringList parts = line.section(QStringLiteral(" | "), 3).split(u':');
    ASSERT_EQ(parts.size(), 2) << line.toStdString();
    const int t = parts[0].toInt();
    ASSERT_TRUE(t >= 0 && t < kThreads) << line.toStdString();
    EXPECT_EQ(parts[1].toInt(), next[t]) << line.toStdString();
    next[t] = parts[1].toInt() + 1;
  }
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(next[t], kPerThread) << t;
}

TEST_F(EventLogTest, LostMessagesToldInTheirPlaceOnceThereIsRoom) {
  for (int i = 0; i < kEventFIFOCapacity; ++i) ASSERT_TRUE(Post(Text(i)));
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(Post(QStringLiteral("lost")));
  EXPECT_EQ(m_drain.Drain(true), TEventLogDrain::kDrainBatch);
  m_environment.SetNow(EncodeDateTime(2008, 1, 17, 11, 43, 16));
  ASSERT_TRUE(Post(QStringLiteral("after")));
  while (m_drain.Drain(true) > 0) {
  }
  ASSERT_EQ(m_writer.Lines.size(), kEventFIFOCapacity + 2);
  EXPECT_TRUE(m_writer.Lines[kEventFIFOCapacity - 1].endsWith(Text(kEventFIFOCapacity - 1)));
  EXPECT_EQ(
      m_writer.Lines[kEventFIFOCapacity],
      QStringLiteral(
          "345 | 17.01.2008 | 11:43:16 | Журнал событий: потеряно сообщений: 3 (очередь была заполнена)"));
  EXPECT_TRUE(m_writer.Lines.back().endsWith(QStringLiteral(" | after")));
  EXPECT_TRUE(m_writer.Lines.filter(QStringLiteral(" | lost")).isEmpty());
}

// A writer whose appends fail while "Failing" is set.
class FlakyLogFileWriter : public LogFileWriter {
 public:
  using LogFileWriter::LogFileWriter;
  bool Failing = false;

 protected:
  bool AppendToFile(const QString& path, const QByteArray& bytes) override {
    return !Failing && LogFileWriter::AppendToFile(path, bytes);
  }
};

// The audit trail into real files: events and audit queues of their own, a
// drain over both.
class AuditTrailTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.isValid());
    m_environment.SetNow(EncodeDateTime(2008, 1, 17, 11, 43, 15));
    m_environment.SetTickCount(345'678);
  }

  bool Audit(TEventFIFO& audit, const QString& text, std::chrono::milliseconds wait = kAuditWait) {
    return AddAuditMessage(audit, m_events, text, m_environment, wait);
  }
  // The day's audit file as Windows-1251 bytes.
  QByteArray AuditFileBytes() const {
    QFile file(QDir(m_dir.path()).filePath(QStringLiteral("2008_01_17.audit.log")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  QStringList AuditFileLines() const {
    QStringList lines = FromCp1251(AuditFileBytes()).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
    return lines;
  }
  QStringList EventTexts() {
    QStringList texts;
    TEventFIFO_Rec record;
    while (m_events.Get(record)) texts << record.Text;
    return texts;
  }

  QTemporaryDir m_dir;
  FakeLogEnvironment m_environment;
  TEventFIFO m_events{kEventFIFOCapacity};
  FlakyLogFileWriter m_writer{m_dir.path(), m_environment};
};

TEST_F(AuditTrailTest, EveryLineInOrderInTheDaysFileWithACopyWhileTheEventLogHasRoom) {
  TEventFIFO audit(100);
  TEventLogDrain drain(m_events, &audit, m_writer, nullptr);
  for (int i = 0; i < 25; ++i) ASSERT_TRUE(Audit(audit, Text(i)));
  // One tick takes them all, not ten.
  EXPECT_EQ(drain.Drain(true), 25 + TEventLogDrain::kDrainBatch);
  const QStringList lines = AuditFileLines();
  ASSERT_EQ(lines.size(), 25);
  for (int i = 0; i < 25; ++i)
    EXPECT_EQ(lines[i], QStringLiteral("345 | 17.01.2008 | 11:43:15 | ") + Text(i));
  EXPECT_TRUE(AuditFileBytes().endsWith("message 24\r\n"));
  EXPECT_EQ(EventTexts().size(), 25 - TEventLogDrain::kDrainBatch);  // the copies, the rest of them

  // Past kAuditCopyLimit the event log is left to its other messages.
  for (int i = 0; i < kAuditCopyLimit; ++i) ASSERT_TRUE(m_events.Put(Text(i), 0, 0, 0));
  ASSERT_TRUE(
      Audit(audit, u"Новое задание c ЦСБ: текущий расход собирателя 1 = 12.5 (TCP 10.0.4.17:50212)"_qs));
  EXPECT_EQ(m_events.GetCount(), kAuditCopyLimit);
  EventTexts();
  drain.Drain(true);
  EXPECT_EQ(AuditFileLines().size(), 26);
  EXPECT_TRUE(
      AuditFileBytes().contains("\xcd\xee\xe2\xee\xe5 \xe7\xe0\xe4\xe0\xed\xe8\xe5"));  // "Новое задание"

  // With the log file switched off the lines are taken and not written.
  ASSERT_TRUE(Audit(audit, QStringLiteral("unsaved")));
  EXPECT_EQ(drain.Drain(false), 2);
  EXPECT_EQ(audit.GetCount(), 0);
  EXPECT_EQ(AuditFileLines().size(), 26);
}

TEST_F(AuditTrailTest, FullQueueMakesThePosterWaitForTheDrainInsteadOfDropping) {
  TEventFIFO audit(TEventFIFO::kMinimumCapacity);
  TEventLogDrain drain(m_events, &audit, m_writer, nullptr);
  constexpr int kLines = 200;
  std::atomic<int> refused{0};
  std::thread poster([&] {
    for (int i = 0; i < kLines; ++i) {
      if (!Audit(audit, Text(i), std::chrono::seconds(30))) ++refused;
    }
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (AuditFileLines().size() < kLines && std::chrono::steady_clock::now() < deadline) {
    if (drain.Drain(true) == 0) std::this_thread::yield();
  }
  poster.join();
  EXPECT_EQ(refused.load(), 0);
  const QStringList lines = AuditFileLines();
  ASSERT_EQ(lines.size(), kLines);
  for (int i = 0; i < kLines; ++i) EXPECT_TRUE(lines[i].endsWith(QStringLiteral(" | ") + Text(i))) << i;
}

TEST_F(AuditTrailTest, WithoutADrainAFullQueueRefusesAtOnceAndTheLossIsToldLater) {
  TEventFIFO audit(TEventFIFO::kMinimumCapacity);
  for (int i = 0; i < audit.Capacity(); ++i) ASSERT_TRUE(Audit(audit, Text(i)));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Audit(audit, QStringLiteral("lost 1")));
  EXPECT_FALSE(Audit(audit, QStringLiteral("lost 2")));
  EXPECT_LT(std::chrono::steady_clock::now() - start, kAuditWait);
  EventTexts();

  TEventLogDrain drain(m_events, &audit, m_writer, nullptr);
  drain.Drain(true);
  const QStringList lines = AuditFileLines();
  ASSERT_EQ(lines.size(), audit.Capacity() + 1);
  EXPECT_EQ(
      lines.back(),
      QStringLiteral(
          "345 | 17.01.2008 | 11:43:15 | Журнал изменений: потеряно записей: 2 (очередь была заполнена)"));
  // The event log says so too (the same tick wrote it).
  QFile eventLog(QDir(m_dir.path()).filePath(QStringLiteral("2008_01_17.log")));
  ASSERT_TRUE(eventLog.open(QIODevice::ReadOnly));
  EXPECT_EQ(FromCp1251(eventLog.readAll()), lines.back() + QStringLiteral("\r\n"));
}

TEST_F(AuditTrailTest, LinesTheFileRefusesAreKeptForTheNextTick) {
  TEventFIFO audit(100);
  TEventLogDrain drain(m_events, &audit, m_writer, nullptr);
  m_writer.Failing = true;
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(Audit(audit, Text(i)));
  drain.Drain(true);
  EXPECT_EQ(drain.AuditBacklog(), 3);
  ASSERT_TRUE(Audit(audit, Text(3)));
  m_writer.Failing = false;
  drain.Drain(true);
  EXPECT_EQ(drain.AuditBacklog(), 0);
  const QStringList lines = AuditFileLines();
  ASSERT_EQ(lines.size(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(lines[i].endsWith(Text(i))) << i;
}

// The program-wide queue and environment; restores what it changes.
class GlobalEventLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EmptyGlobalQueue();
    m_environment.SetNow(EncodeDateTime(2008, 1, 17, 11, 43, 15));
    m_environment.SetTickCount(345'000);
    SetLogEnvironment(&m_environment);
  }
  void TearDown() override {
    SetLogEnvironment(nullptr);
    SetNotifier(nullptr);
    EmptyGlobalQueue();
  }
  static void EmptyGlobalQueue() {
    TEventFIFO_Rec record;
    while (EventFIFO().Get(record)) {
    }
  }

  FakeLogEnvironment m_environment;
};

TEST_F(GlobalEventLogTest, PostsIntoTheProgramQueueWithTheInstalledEnvironment) {
  EXPECT_EQ(&CurrentLogEnvironment(), &m_environment);
  EXPECT_EQ(EventFIFO().Capacity(), kEventFIFOCapacity);
  ASSERT_TRUE(AddLogMessage(QStringLiteral("Error in TranslateIn()")));
  EXPECT_FALSE(AddLogMessage(QString()));

  TEventFIFO_Rec record;
  ASSERT_TRUE(EventFIFO().Get(record));
  EXPECT_EQ(record.Text, QStringLiteral("Error in TranslateIn()"));
  EXPECT_EQ(record.Moment, m_environment.Now());
  EXPECT_EQ(record.TickSec, 345u);
  EXPECT_EQ(record.Flags, 0u);
  EXPECT_FALSE(EventFIFO().Get(record));

  SetLogEnvironment(nullptr);
  EXPECT_EQ(&CurrentLogEnvironment(), &SystemLogEnvironment());
}

TEST_F(GlobalEventLogTest, DroppedMessagesAreCountedNotNullOnes) {
  for (int i = 0; i < kEventFIFOCapacity; ++i) ASSERT_TRUE(AddLogMessage(Text(i)));
  const uint64_t before = DroppedLogMessageCount();
  EXPECT_FALSE(AddLogMessage(QStringLiteral("lost 1")));
  EXPECT_FALSE(AddLogMessage(QStringLiteral("lost 2"), kLogFlagShowWindow));
  EXPECT_FALSE(AddLogMessage(QString()));
  EXPECT_EQ(DroppedLogMessageCount(), before + 2);
  EXPECT_EQ(m_environment.Beeps(), 2);
}

TEST_F(GlobalEventLogTest, SystemEnvironmentReadsTheClocks) {
  LogEnvironment& system = SystemLogEnvironment();
  const TDateTime before = NowDateTime();
  const TDateTime now = system.Now();
  EXPECT_GE(now, before);
  EXPECT_LT(now - before, 1.0 / 24);
  const uint32_t first = system.TickCount();
  const uint32_t second = system.TickCount();
  EXPECT_LT(static_cast<uint32_t>(second - first), 1000u);  // monotonic, even across the 2^32 wrap
  system.Beep();                                            // must return at once and print nothing
}

TEST_F(GlobalEventLogTest, DefaultNotifierLogsCaptionAndText) {
  EXPECT_EQ(&CurrentNotifier(), &EventLogNotifier());
  CurrentNotifier().ShowError(QStringLiteral("Скользящее среднее"), QStringLiteral("Недопустимый размер"));
  TEventFIFO_Rec record;
  ASSERT_TRUE(EventFIFO().Get(record));
  EXPECT_EQ(record.Text, QStringLiteral("Скользящее среднее: Недопустимый размер"));
  EXPECT_EQ(record.Flags, 0u);
}

TEST_F(GlobalEventLogTest, InstalledNotifierReplacesTheLogUntilReset) {
  struct Recording : Notifier {
    QStringList Calls;
    void ShowError(const QString& caption, const QString& text) override { Calls << caption + u'/' + text; }
  } recording;
  SetNotifier(&recording);
  CurrentNotifier().ShowError(QStringLiteral("c"), QStringLiteral("t"));
  EXPECT_EQ(recording.Calls, QStringList{QStringLiteral("c/t")});
  EXPECT_EQ(EventFIFO().GetCount(), 0);
  SetNotifier(nullptr);
  EXPECT_EQ(&CurrentNotifier(), &EventLogNotifier());
}

}  // namespace
