#include "storage/logfile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "common/cp1251.h"
#include "support/fakelogenvironment.h"
#include "storage/eventlog.h"
#include "support/files.h"

namespace {

class LogFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.isValid());
    m_environment.SetNow(EncodeDateTime(2008, 1, 17, 11, 43, 15));
    m_environment.SetTickCount(345'120);
  }

  QString LogFolder() const { return m_dir.filePath(QStringLiteral("app/LOG")); }
  QString DayFile(const char* name) const { return QDir(LogFolder()).filePath(QLatin1String(name)); }

  QTemporaryDir m_dir;
  FakeLogEnvironment m_environment;
  TEventFIFO m_fifo{kEventFIFOCapacity};
};

TEST_F(LogFileTest, FileNameIsTheDayOfTheMoment) {
  EXPECT_EQ(LogFileWriter::FileNameFor(EncodeDateTime(2008, 1, 17, 11, 43, 15)),
            QStringLiteral("2008_01_17.log"));
  EXPECT_EQ(LogFileWriter::FileNameFor(EncodeDateTime(1999, 12, 31, 23, 59, 59)),
            QStringLiteral("1999_12_31.log"));
}

TEST_F(LogFileTest, DrainedMessageLandsInTheDayFileOfAMissingFolder) {
  ASSERT_FALSE(QFileInfo::exists(m_dir.filePath(QStringLiteral("app"))));
  LogFileWriter writer(LogFolder(), m_environment);
  TEventLogDrain drain(m_fifo, writer, nullptr);
  ASSERT_TRUE(AddLogMessage(m_fifo, QStringLiteral("Error in CalcWorks()"), 0, m_environment));
  ASSERT_EQ(drain.Drain(true), 1);

  EXPECT_TRUE(QFileInfo(LogFolder()).isDir());
  EXPECT_EQ(QDir(LogFolder()).entryList(QDir::Files), QStringList{QStringLiteral("2008_01_17.log")});
  EXPECT_EQ(ReadFileBytes(DayFile("2008_01_17.log")),
            QByteArray("345 | 17.01.2008 | 11:43:15 | Error in CalcWorks()\r\n"));
}

TEST_F(LogFileTest, LinesAppendToWhatTheFileAlreadyHolds) {
  ASSERT_TRUE(QDir().mkpath(LogFolder()));
  {
    QFile existing(DayFile("2008_01_17.log"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("earlier\r\n");
  }
  LogFileWriter writer(LogFolder(), m_environment);
  EXPECT_TRUE(writer.WriteToLogFile(QStringLiteral("one")));
  EXPECT_TRUE(writer.WriteToLogFile(QStringLiteral("two")));
  EXPECT_EQ(ReadFileBytes(DayFile("2008_01_17.log")), QByteArray("earlier\r\none\r\ntwo\r\n"));
}

TEST_F(LogFileTest, TextIsWrittenAsWindows1251) {
  LogFileWriter writer(LogFolder(), m_environment);
  const QString line = QStringLiteral("Поток связи: Не могу подключить порт COM2 №1 ♥");
  ASSERT_TRUE(writer.WriteToLogFile(line));
  const QByteArray bytes = ReadFileBytes(DayFile("2008_01_17.log"));
  // "П" is 0xCF, "№" 0xB9; a character Windows-1251 lacks becomes "?".
  EXPECT_EQ(static_cast<unsigned char>(bytes.at(0)), 0xCF);
  EXPECT_TRUE(
      bytes.contains("COM2 \xB9"
                     "1 ?\r\n"));
  EXPECT_EQ(bytes, ToCp1251(line) + "\r\n");
}

TEST_F(LogFileTest, MessagePostedBeforeMidnightIsFiledUnderTheDayItIsWritten) {
  LogFileWriter writer(LogFolder(), m_environment);
  TEventLogDrain drain(m_fifo, writer, nullptr);
  m_environment.SetNow(EncodeDateTime(2008, 1, 17, 23, 59, 59));
  ASSERT_TRUE(AddLogMessage(m_fifo, QStringLiteral("late"), 0, m_environment));
  m_environment.SetNow(EncodeDateTime(2008, 1, 18, 0, 0, 1));
  ASSERT_EQ(drain.Drain(true), 1);

  EXPECT_FALSE(QFileInfo::exists(DayFile("2008_01_17.log")));
  EXPECT_EQ(ReadFileBytes(DayFile("2008_01_18.log")), QByteArray("345 | 17.01.2008 | 23:59:59 | late\r\n"));
}

TEST_F(LogFileTest, FullDiskLosesTheLineAndTheDrainGoesOn) {
  ASSERT_TRUE(QDir().mkpath(LogFolder()));
  ASSERT_EQ(::symlink("/dev/full", QFile::encodeName(DayFile("2008_01_17.log")).constData()), 0);
  LogFileWriter writer(LogFolder(), m_environment);
  EXPECT_FALSE(writer.WriteToLogFile(QStringLiteral("no room")));

  ASSERT_TRUE(AddLogMessage(m_fifo, QStringLiteral("lost"), 0, m_environment));
  ASSERT_TRUE(AddLogMessage(m_fifo, QStringLiteral("kept"), 0, m_environment));
  // Each write moves the clock to the next day, whose file is an ordinary
  // one: the first line meets the full disk, the second must still be written.
  struct NextDayAfterEachWrite : LogFileWriter {
    using LogFileWriter::LogFileWriter;
    FakeLogEnvironment* Environment = nullptr;
    bool AppendToFile(const QString& path, const QByteArray& bytes) override {
      const bool ok = LogFileWriter::AppendToFile(path, bytes);
      Environment->SetNow(EncodeDateTime(2008, 1, 18, 9, 0, 0));
      return ok;
    }
  } switching(LogFolder(), m_environment);
  switching.Environment = &m_environment;
  TEventLogDrain switchingDrain(m_fifo, switching, nullptr);
  EXPECT_EQ(switchingDrain.Drain(true), 2);
  EXPECT_EQ(ReadFileBytes(DayFile("2008_01_18.log")), QByteArray("345 | 17.01.2008 | 11:43:15 | kept\r\n"));
}

TEST_F(LogFileTest, FolderThatIsAFileRefusesTheLine) {
  const QString blocker = m_dir.filePath(QStringLiteral("app"));
  {
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  LogFileWriter nested(LogFolder(), m_environment);  // a parent is a regular file
  EXPECT_FALSE(nested.WriteToLogFile(QStringLiteral("nowhere")));
  LogFileWriter direct(blocker, m_environment);  // the folder itself is a regular file
  EXPECT_FALSE(direct.WriteToLogFile(QStringLiteral("nowhere")));
  EXPECT_EQ(QFileInfo(blocker).size(), 0);

  LogFileWriter unnamed(QString(), m_environment);
  EXPECT_FALSE(unnamed.WriteToLogFile(QStringLiteral("nowhere")));
}

TEST_F(LogFileTest, DayFileThatIsAFolderRefusesTheLine) {
  ASSERT_TRUE(QDir().mkpath(DayFile("2008_01_17.log")));
  LogFileWriter writer(LogFolder(), m_environment);
  EXPECT_FALSE(writer.WriteToLogFile(QStringLiteral("nowhere")));
}

// Lowers the file-size limit so that the kernel stores only part of a write
// and refuses the rest: a real short write followed by a failure.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    m_oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &m_old);
    rlimit lowered = m_old;
    lowered.rlim_cur = bytes;
    m_ok = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &m_old);
    ::signal(SIGXFSZ, m_oldHandler);
  }
  bool Ok() const { return m_ok; }

 private:
  rlimit m_old{};
  sighandler_t m_oldHandler = SIG_DFL;
  bool m_ok = false;
};

TEST_F(LogFileTest, ShortWriteLeavesNoHalfLine) {
  LogFileWriter writer(LogFolder(), m_environment);
  ASSERT_TRUE(writer.WriteToLogFile(QStringLiteral("first")));  // 7 bytes with CR LF
  bool written = true;
  {
    FileSizeLimit limit(12);
    ASSERT_TRUE(limit.Ok());
    written = writer.WriteToLogFile(QStringLiteral("this line does not fit"));
  }
  EXPECT_FALSE(written);
  EXPECT_EQ(ReadFileBytes(DayFile("2008_01_17.log")), QByteArray("first\r\n"));
  EXPECT_TRUE(writer.WriteToLogFile(QStringLiteral("second")));
  EXPECT_EQ(ReadFileBytes(DayFile("2008_01_17.log")), QByteArray("first\r\nsecond\r\n"));
}

}  // namespace
