#include "fieldbus/icplink.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include "support/files.h"
#include "support/qtapplication.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const QString kSendOk = QStringLiteral("Send() OK");
const QString kReceiveOk = QStringLiteral("Recive() OK");
const QString kSendFailed = QStringLiteral("Не удалось послать блок информации.");
const QString kReceiveFailed = QStringLiteral("Не удалось принять блок информации.");
const QString kAnswerTooLong = QStringLiteral("Неожиданно длинный ответ.");
const QString kWrongSpeed = QStringLiteral("Попытка соединения с неправильной скоростью!");
const QString kOpenFailed =
    QStringLiteral("Не могу открыть COM-порт.\n\rВозможно, он используется\n\rдругой программой.");

// How long the module side waits for the link before it gives up; far longer
// than any exchange, so it only matters when the link is broken.
constexpr auto kModuleWait = 3s;

template <typename Condition>
bool WaitFor(Condition condition, Clock::duration limit) {
  const Clock::time_point deadline = Clock::now() + limit;
  while (!condition()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

std::string Text(const QString& text) {
  return text.toStdString();
}

// A serial line with one module on it, made of a pseudo-terminal: the link
// opens the slave side through a symlink, the test plays the module on the
// master side.
class PtyLine {
 public:
  PtyLine() {
    if (!m_dir.isValid() || openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0) return;
    // Raw, so that carriage returns and zero bytes cross unchanged.
    termios settings;
    tcgetattr(m_slave, &settings);
    cfmakeraw(&settings);
    tcsetattr(m_slave, TCSANOW, &settings);
    char slaveName[128];
    if (ptsname_r(m_master, slaveName, sizeof slaveName) != 0) return;
    m_path = m_dir.filePath(QStringLiteral("module"));
    if (symlink(slaveName, m_path.toLocal8Bit().constData()) != 0) m_path.clear();
  }
  ~PtyLine() {
    HangUp();
    if (m_slave >= 0) close(m_slave);
  }
  PtyLine(const PtyLine&) = delete;
  PtyLine& operator=(const PtyLine&) = delete;

  bool IsOpen() const { return m_master >= 0 && !m_path.isEmpty(); }
  QString Path() const { return m_path; }
  // The test's own descriptor of the slave side: the same terminal the link
  // has open, for its settings, its input queue and its flow control.
  int Slave() const { return m_slave; }

  // What the module sends.
  bool Write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
      const ssize_t written = write(m_master, bytes.constData() + done, bytes.size() - done);
      if (written <= 0) return false;
      done += written;
    }
    return true;
  }

  // The next line the module receives, with its carriage return; what
  // arrived before it timed out when no carriage return came in time.
  QByteArray ReadLine(Clock::duration limit = kModuleWait) {
    const Clock::time_point deadline = Clock::now() + limit;
    for (;;) {
      const qsizetype end = m_received.indexOf('\r');
      if (end >= 0) {
        const QByteArray line = m_received.left(end + 1);
        m_received.remove(0, end + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left <= 0ms) return std::exchange(m_received, QByteArray());
      pollfd wait{m_master, POLLIN, 0};
      if (poll(&wait, 1, static_cast<int>(left.count())) <= 0) continue;
      char chunk[4096];
      const ssize_t got = read(m_master, chunk, sizeof chunk);
      if (got <= 0) return std::exchange(m_received, QByteArray());
      m_received.append(chunk, got);
    }
  }

  // True once the terminal holds at least "bytes" unread input bytes, that
  // is, what the module wrote has reached the link's side.
  bool WaitForSlaveInput(int bytes) {
    return WaitFor(
        [&] {
          int queued = 0;
          return ioctl(m_slave, FIONREAD, &queued) == 0 && queued >= bytes;
        },
        kModuleWait);
  }

  // The module side goes away, as an unplugged adapter does.
  void HangUp() {
    if (m_master >= 0) close(m_master);
    m_master = -1;
  }

 private:
  QTemporaryDir m_dir;
  QString m_path;
  int m_master = -1;
  int m_slave = -1;
  QByteArray m_received;
};

// The module's side of one exchange, on its own thread so that the link can
// block meanwhile: waits for a command line, then sends "reply" (nothing when
// it is empty).
class ModuleAnswer {
 public:
  ModuleAnswer(PtyLine& line, QByteArray reply)
      : m_thread([this, &line, reply = std::move(reply)] {
          m_command = line.ReadLine();
          if (m_command.endsWith('\r')) line.Write(reply);
        }) {}
  ~ModuleAnswer() { Join(); }
  ModuleAnswer(const ModuleAnswer&) = delete;
  ModuleAnswer& operator=(const ModuleAnswer&) = delete;

  // The command line the module received, with its carriage return.
  QByteArray Command() {
    Join();
    return m_command;
  }

 private:
  void Join() {
    if (m_thread.joinable()) m_thread.join();
  }

  QByteArray m_command;
  std::thread m_thread;  // last, so that it starts once m_command exists
};

// Changes the process's current directory for the scope.
class CurrentDirectory {
 public:
  explicit CurrentDirectory(const QString& path) : m_previous(QDir::currentPath()) { QDir::setCurrent(path); }
  ~CurrentDirectory() { QDir::setCurrent(m_previous); }

 private:
  QString m_previous;
};

// The kernel's termios2, which carries the baud rate as a number (custom
// rates included); <asm/termbits.h> cannot be included beside <termios.h>.
struct KernelTermios2 {
  tcflag_t c_iflag;
  tcflag_t c_oflag;
  tcflag_t c_cflag;
  tcflag_t c_lflag;
  cc_t c_line;
  cc_t c_cc[19];
  speed_t c_ispeed;
  speed_t c_ospeed;
};
constexpr unsigned long kGetTermios2 = _IOR('T', 0x2A, KernelTermios2);

std::chrono::milliseconds ThreadCpuTime() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::seconds(now.tv_sec) +
                                                               std::chrono::nanoseconds(now.tv_nsec));
}

class ICPLinkTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureQtApplication(); }

  void SetUp() override {
    ASSERT_TRUE(m_line.IsOpen());
    m_link.SetPortName(m_line.Path());
  }

  void Activate() {
    m_link.SetActive(true);
    ASSERT_TRUE(m_link.GetActive()) << Text(m_link.GetStatus());
  }

  // One SendCommand of "command" against a module that replies "reply".
  bool Exchange(const QString& command, const QByteArray& reply, QString& answer,
                QByteArray* wire = nullptr) {
    m_link.SetCmdString(command);
    ModuleAnswer module(m_line, reply);
    const bool ok = m_link.SendCommand(answer);
    if (wire != nullptr) *wire = module.Command();
    return ok;
  }

  PtyLine m_line;
  TICPLink m_link;  // after m_line: closes its port before the terminal goes away
};

TEST(ICPLinkProperties, NewLink_StartsInactiveWithItsDesignValues) {
  const TICPLink link;
  EXPECT_EQ(link.GetPortName(), "COM3");
  EXPECT_EQ(link.GetSpeed(), 9600);
  EXPECT_EQ(link.GetCmdString(), "$012");
  EXPECT_EQ(link.GetIniName(), "comport.ini");
  EXPECT_EQ(link.GetResultStr(), "");
  EXPECT_EQ(link.GetStatus(), "");
  EXPECT_EQ(link.GetErrorCounter(), 0);
  EXPECT_EQ(link.GetSendCounter(), 0);
  EXPECT_FALSE(link.GetActive());
  EXPECT_FALSE(link.GetSended());
  EXPECT_FALSE(link.GetRecived());

  const TICPLink station(QStringLiteral("COM1"), 57600);
  EXPECT_EQ(station.GetPortName(), "COM1");
  EXPECT_EQ(station.GetSpeed(), 57600);
}

TEST(ICPLinkProperties, DevicePath_MapsComNamesToSerialDevicesAndKeepsPaths) {
  const struct {
    const char* name;
    const char* path;
  } cases[] = {
      {"COM1", "/dev/ttyS0"},
      {"COM2", "/dev/ttyS1"},
      {"COM10", "/dev/ttyS9"},
      {"com3", "/dev/ttyS2"},
      {"/dev/pts/3", "/dev/pts/3"},
      {"/dev/ttyUSB0", "/dev/ttyUSB0"},
      {"/tmp/sim/input", "/tmp/sim/input"},
      {"COM0", "COM0"},
      {"COM", "COM"},
      {"COM1x", "COM1x"},
      {"COM+1", "COM+1"},
      {"COM 1", "COM 1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TICPLink::DevicePath(QString::fromUtf8(c.name)), QString::fromUtf8(c.path)) << c.name;
  }
}

TEST(ICPLinkProperties, Timeouts_ComeFromTheIniFileInTheCurrentDirectory) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const CurrentDirectory inDir(dir.path());

  const TICPLink::Timeouts defaults = TICPLink::ReadTimeouts(QStringLiteral("comport.ini"));
  EXPECT_EQ(defaults.RInterval, 10);
  EXPECT_EQ(defaults.RMult, 7);
  EXPECT_EQ(defaults.RConst, 40);
  EXPECT_EQ(defaults.WMult, 3);
  EXPECT_EQ(defaults.WConst, 30);
  EXPECT_EQ(defaults.ByteWaitMs(), 47);
  EXPECT_EQ(defaults.WriteWaitMs(5), 45);

  ASSERT_TRUE(WriteFileBytes(dir.filePath("comport.ini"), "[timeouts]\r\nRConst=100\r\n"));
  const TICPLink::Timeouts raised = TICPLink::ReadTimeouts(QStringLiteral("comport.ini"));
  EXPECT_EQ(raised.RConst, 100);
  EXPECT_EQ(raised.RMult, 7);
  EXPECT_EQ(raised.RInterval, 10);
  EXPECT_EQ(raised.WMult, 3);
  EXPECT_EQ(raised.WConst, 30);
  EXPECT_EQ(raised.ByteWaitMs(), 107);

  // Settings of zero or below never mean "wait forever" nor a busy loop.
  TICPLink::Timeouts zero;
  zero.RMult = 0;
  zero.RConst = 0;
  zero.WMult = -3;
  zero.WConst = -30;
  EXPECT_EQ(zero.ByteWaitMs(), 1);
  EXPECT_EQ(zero.WriteWaitMs(10), 0);
}

TEST_F(ICPLinkTest, Activation_UsesTheTimeoutsOfIniName) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const CurrentDirectory inDir(dir.path());
  ASSERT_TRUE(WriteFileBytes(dir.filePath("comport.ini"), "[timeouts]\r\nRConst=100\r\n"));
  ASSERT_TRUE(WriteFileBytes(dir.filePath("other.ini"),
                             "[TIMEOUTS]\r\nRInterval=2\r\nrmult=1\r\nRConst=9\r\nWMult=0\r\nWConst=5\r\n"));

  Activate();
  EXPECT_EQ(m_link.CurrentTimeouts().RConst, 100);
  EXPECT_EQ(m_link.CurrentTimeouts().ByteWaitMs(), 107);

  m_link.SetActive(false);
  m_link.SetIniName(QStringLiteral("other.ini"));
  Activate();
  const TICPLink::Timeouts other = m_link.CurrentTimeouts();
  EXPECT_EQ(other.RInterval, 2);
  EXPECT_EQ(other.RMult, 1);
  EXPECT_EQ(other.RConst, 9);
  EXPECT_EQ(other.WMult, 0);
  EXPECT_EQ(other.WConst, 5);
}

TEST_F(ICPLinkTest, ValidSpeeds_OpenWithThatRateEightDataBitsNoParityNoFlowControl) {
  const int32_t speeds[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                            19200, 38400, 56000, 57600, 115200, 128000, 256000};
  for (const int32_t speed : speeds) {
    SCOPED_TRACE(speed);
    EXPECT_TRUE(TICPLink::IsValidSpeed(speed));
    // Leave the line in a state the link has to undo (a pseudo-terminal
    // insists on eight data bits without parity, so those cannot be spoilt).
    termios dirty;
    ASSERT_EQ(tcgetattr(m_line.Slave(), &dirty), 0);
    dirty.c_cflag |= CSTOPB | CRTSCTS;
    dirty.c_iflag |= IXON | IXOFF;
    ASSERT_EQ(tcsetattr(m_line.Slave(), TCSANOW, &dirty), 0) << strerror(errno);

    m_link.SetSpeed(speed);
    Activate();

    KernelTermios2 line{};
    ASSERT_EQ(ioctl(m_line.Slave(), kGetTermios2, &line), 0);
    EXPECT_EQ(line.c_ospeed, static_cast<speed_t>(speed));
    EXPECT_EQ(line.c_ispeed, static_cast<speed_t>(speed));
    EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(m_link.GetErrorCounter(), 0) << Text(m_link.GetStatus());

    m_link.SetActive(false);
    EXPECT_FALSE(m_link.GetActive());
  }
}

TEST(ICPLinkProperties, InvalidSpeeds_AreRefusedBeforeThePortIsTouched) {
  // The port does not exist: a link that tried it first would report that.
  TICPLink link(QStringLiteral("/nonexistent/port"));
  int32_t errors = 0;
  for (const int32_t speed : {9601, 0, -9600, 115201, 250000, 1000000}) {
    SCOPED_TRACE(speed);
    EXPECT_FALSE(TICPLink::IsValidSpeed(speed));
    link.SetSpeed(speed);
    link.SetActive(true);
    EXPECT_FALSE(link.GetActive());
    EXPECT_EQ(link.GetStatus(), kWrongSpeed);
    EXPECT_EQ(link.GetErrorCounter(), ++errors);
  }
}

TEST_F(ICPLinkTest, OpenFailure_ReportsAndLeavesTheLinkReadyForAnotherTry) {
  m_link.SetPortName(m_line.Path() + QStringLiteral("-missing"));
  m_link.SetActive(true);
  EXPECT_FALSE(m_link.GetActive());
  EXPECT_EQ(m_link.GetStatus(), kOpenFailed);
  EXPECT_EQ(m_link.GetErrorCounter(), 1);

  m_link.SetPortName(m_line.Path());
  Activate();
  EXPECT_EQ(m_link.GetErrorCounter(), 1);
}

TEST_F(ICPLinkTest, OpenPort_IsExclusiveUntilClosed) {
  Activate();
  TICPLink rival(m_line.Path());
  rival.SetActive(true);
  EXPECT_FALSE(rival.GetActive());
  EXPECT_EQ(rival.GetStatus(), kOpenFailed);

  m_link.SetActive(false);
  rival.SetActive(true);
  EXPECT_TRUE(rival.GetActive()) << Text(rival.GetStatus());
}

TEST_F(ICPLinkTest, SetActiveTwice_OpensOnceAndDirectReconnectIsRefused) {
  Activate();
  m_link.SetActive(true);
  EXPECT_TRUE(m_link.GetActive());
  EXPECT_EQ(m_link.GetErrorCounter(), 0) << Text(m_link.GetStatus());

  EXPECT_FALSE(m_link.ConnectToPort(9600));
  EXPECT_EQ(m_link.GetStatus(), "Не могу переключиться при активном соединении!");
  EXPECT_EQ(m_link.GetErrorCounter(), 1);
  EXPECT_TRUE(m_link.GetActive());

  QString answer;
  EXPECT_TRUE(Exchange(QStringLiteral("$012"), "!01400600\r", answer));
  EXPECT_EQ(answer, "!01400600");
}

TEST_F(ICPLinkTest, PortNameAndSpeed_ChangeOnlyWhileInactive) {
  Activate();
  const QString path = m_line.Path();

  m_link.SetPortName(QStringLiteral("COM2"));
  EXPECT_EQ(m_link.GetPortName(), path);
  EXPECT_EQ(m_link.GetStatus(), "Нельзя менять порт при активном подключении!");
  EXPECT_EQ(m_link.GetErrorCounter(), 1);

  m_link.SetSpeed(19200);
  EXPECT_EQ(m_link.GetSpeed(), 9600);
  EXPECT_EQ(m_link.GetStatus(), "Нельзя менять скорость обмена при активном подключении.");
  EXPECT_EQ(m_link.GetErrorCounter(), 2);

  m_link.SetStatus(QString());
  m_link.SetPortName(path);
  m_link.SetSpeed(9600);
  EXPECT_EQ(m_link.GetErrorCounter(), 2);
  EXPECT_EQ(m_link.GetStatus(), "");
  EXPECT_TRUE(m_link.GetActive());

  m_link.SetActive(false);
  m_link.SetPortName(QStringLiteral("COM2"));
  m_link.SetSpeed(19200);
  EXPECT_EQ(m_link.GetPortName(), "COM2");
  EXPECT_EQ(m_link.GetSpeed(), 19200);
  EXPECT_EQ(m_link.GetErrorCounter(), 2);
}

TEST_F(ICPLinkTest, InactiveLink_SendsNothingAndReportsNothing) {
  m_link.SetStatus(QStringLiteral("before"));
  EXPECT_FALSE(m_link.SendString(QStringLiteral("$012")));
  // SendCommand gives up the same way and must release the link lock as it
  // does: a second call would otherwise wait for it and report the capture.
  QString answer = QStringLiteral("untouched");
  EXPECT_FALSE(m_link.SendCommand(answer));
  EXPECT_FALSE(m_link.SendCommand(answer));
  EXPECT_EQ(answer, "untouched");
  EXPECT_EQ(m_link.GetStatus(), "before");
  EXPECT_EQ(m_link.GetErrorCounter(), 0);
}

TEST_F(ICPLinkTest, SendCommand_CarriesEachAnswerAsTheModuleSentIt) {
  const struct {
    const char* name;
    QString command;
    QByteArray wire;  // what the module must receive
    QByteArray reply;
    bool ok;
    QString answer;
  } cases[] = {
      {"plain answer", QStringLiteral("$012"), "$012\r", "!01400600\r", true, QStringLiteral("!01400600")},
      {"carriage return alone", QStringLiteral("#01"), "#01\r", "\r", true, QString()},
      {"zero byte ends the text", QStringLiteral("$01M"), "$01M\r", QByteArray("!01\0junk\r", 9), true,
       QStringLiteral("!01")},
      {"line feeds are data", QStringLiteral("#012"), "#012\r", "!01\n2\n\r", true,
       QStringLiteral("!01\n2\n")},
      {"Windows-1251 both ways", QStringLiteral("Тест"), "\xD2\xE5\xF1\xF2\r", "\xCE\xCA \xB9\x35\r", true,
       QStringLiteral("ОК №5")},
      {"longest answer", QStringLiteral("$012"), "$012\r", QByteArray(9900, 'x') + '\r', true,
       QString(9900, QLatin1Char('x'))},
      {"one character too long", QStringLiteral("$012"), "$012\r", QByteArray(9901, 'y') + '\r', false,
       QString()},
      {"after a failed answer", QStringLiteral("$012"), "$012\r", "!01400601\r", true,
       QStringLiteral("!01400601")},
  };
  Activate();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString previous = m_link.GetResultStr();
    const int32_t errors = m_link.GetErrorCounter();
    QString answer = QStringLiteral("stale");
    QByteArray wire;
    EXPECT_EQ(Exchange(c.command, c.reply, answer, &wire), c.ok);
    EXPECT_EQ(wire, c.wire);
    EXPECT_EQ(answer, c.answer);
    if (c.ok) {
      EXPECT_EQ(m_link.GetResultStr(), c.answer);
      EXPECT_EQ(m_link.GetStatus(), kReceiveOk);
      EXPECT_EQ(m_link.GetErrorCounter(), errors);
    } else {
      EXPECT_EQ(m_link.GetResultStr(), previous);
      EXPECT_EQ(m_link.GetStatus(), kAnswerTooLong);
      EXPECT_EQ(m_link.GetErrorCounter(), errors + 1);
    }
  }
}

TEST_F(ICPLinkTest, SendCommand_WithoutCompleteLineInOneSecond_FailsAndKeepsTheLastAnswer) {
  Activate();
  QString answer;
  ASSERT_TRUE(Exchange(QStringLiteral("$012"), "!01400600\r", answer));

  // A module that stays silent, and one that keeps talking without ever
  // ending the line: the second means the limit is on the whole line, not
  // on the gap between two characters.
  for (const bool trickle : {false, true}) {
    SCOPED_TRACE(trickle ? "endless line" : "silent module");
    std::atomic<bool> done{false};
    std::thread module([&] {
      if (!m_line.ReadLine().endsWith('\r')) return;
      while (trickle && !done) {
        m_line.Write("7");
        std::this_thread::sleep_for(20ms);
      }
    });
    const int32_t errors = m_link.GetErrorCounter();
    answer = QStringLiteral("stale");
    const Clock::time_point start = Clock::now();
    const bool ok = m_link.SendCommand(answer);
    const auto elapsed = Clock::now() - start;
    done = true;
    module.join();

    EXPECT_FALSE(ok);
    EXPECT_EQ(answer, "");
    EXPECT_EQ(m_link.GetStatus(), kReceiveFailed);
    EXPECT_EQ(m_link.GetErrorCounter(), errors + 1);
    EXPECT_EQ(m_link.GetResultStr(), "!01400600");
    EXPECT_GE(elapsed, 1000ms);
    EXPECT_LT(elapsed, 2000ms);
  }
}

TEST_F(ICPLinkTest, AbortFlag_EndsADeadExchangeAtTheNextByte) {
  std::atomic<bool> abort{false};
  m_link.SetAbortFlag(&abort);
  Activate();

  std::thread module([&] {
    if (m_line.ReadLine().endsWith('\r')) abort = true;
  });
  QString answer;
  const Clock::time_point start = Clock::now();
  const bool ok = m_link.SendCommand(answer);
  const auto elapsed = Clock::now() - start;
  module.join();
  EXPECT_FALSE(ok);
  EXPECT_EQ(m_link.GetStatus(), kReceiveFailed);
  EXPECT_LT(elapsed, 400ms);

  abort = false;
  EXPECT_TRUE(Exchange(QStringLiteral("$012"), "!01400600\r", answer));
  EXPECT_EQ(answer, "!01400600");
}

TEST_F(ICPLinkTest, LeftoverInput_IsDiscardedByTheNextTransmission) {
  Activate();
  QString answer;

  // A late answer still waiting in the terminal.
  ASSERT_TRUE(m_line.Write("!STRAY\r"));
  ASSERT_TRUE(m_line.WaitForSlaveInput(7));
  EXPECT_TRUE(Exchange(QStringLiteral("$012"), "!01\r", answer));
  EXPECT_EQ(answer, "!01");

  // Lines that the port already took in along with an earlier one: the bytes
  // after a carriage return stay for the next reception, and a transmission
  // drops whatever is left.
  ASSERT_TRUE(m_line.Write("!02\r!03\r!LATE\r"));
  ASSERT_TRUE(m_line.WaitForSlaveInput(14));
  EXPECT_EQ(m_link.ReciveString(), "!02");
  EXPECT_EQ(m_link.ReciveString(), "!03");
  EXPECT_TRUE(Exchange(QStringLiteral("$012"), "!04\r", answer));
  EXPECT_EQ(answer, "!04");
  EXPECT_EQ(m_link.GetErrorCounter(), 0);
}

TEST_F(ICPLinkTest, CommandLength_UpTo9999CharactersGoesOutLongerIsRefused) {
  Activate();
  const QString longest(9999, QLatin1Char('A'));
  EXPECT_TRUE(m_link.SendString(longest));
  EXPECT_EQ(m_link.GetStatus(), kSendOk);
  EXPECT_EQ(m_line.ReadLine(), QByteArray(9999, 'A') + '\r');

  EXPECT_FALSE(m_link.SendString(QString(10000, QLatin1Char('B'))));
  EXPECT_EQ(m_link.GetStatus(), kSendFailed);
  EXPECT_EQ(m_link.GetErrorCounter(), 1);
  // Nothing of the refused command reached the module before the next one.
  EXPECT_TRUE(m_link.SendString(QStringLiteral("$012")));
  EXPECT_EQ(m_line.ReadLine(), "$012\r");
}

TEST_F(ICPLinkTest, SendCommand_WhileAnotherCallerHoldsTheLink_GivesUpAfterTheLockWait) {
  Activate();
  std::promise<void> commandSeen;
  std::promise<void> rivalDone;
  std::thread module([&] {
    const bool seen = m_line.ReadLine().endsWith('\r');
    commandSeen.set_value();
    // The answer comes only after the rival gave up, so the exchange holds
    // the link for the rival's whole wait.
    if (seen) rivalDone.get_future().wait_for(kModuleWait);
    m_line.Write("!01400600\r");
  });

  bool rivalResult = true;
  QString rivalAnswer = QStringLiteral("untouched");
  QString rivalStatus;
  Clock::duration rivalWait{};
  std::thread rival([&] {
    commandSeen.get_future().wait_for(kModuleWait);
    const Clock::time_point start = Clock::now();
    rivalResult = m_link.SendCommand(rivalAnswer);
    rivalWait = Clock::now() - start;
    rivalStatus = m_link.GetStatus();
    rivalDone.set_value();
  });

  QString answer;
  const bool result = m_link.SendCommand(answer);
  rival.join();
  module.join();

  EXPECT_FALSE(rivalResult);
  // The rival's refusal is counted, but the exchange whose answer arrived succeeded.
  EXPECT_TRUE(result);
  EXPECT_EQ(rivalAnswer, "untouched");
  EXPECT_EQ(rivalStatus, "Захват ресурса.");
  EXPECT_GE(rivalWait, 250ms);
  EXPECT_LT(rivalWait, 1000ms);
  // The exchange in progress was not disturbed, and it released the link.
  EXPECT_EQ(answer, "!01400600");
  EXPECT_EQ(m_link.GetResultStr(), "!01400600");
  EXPECT_EQ(m_link.GetErrorCounter(), 1);
  EXPECT_TRUE(Exchange(QStringLiteral("$012"), "!01400601\r", answer));
  EXPECT_EQ(m_link.GetErrorCounter(), 1);
}

TEST_F(ICPLinkTest, StalledOutput_FailsAfterSevenAttemptsAndNothingOfTheBlockFollowsLater) {
  Activate();
  ASSERT_EQ(tcflow(m_line.Slave(), TCOOFF), 0);
  const Clock::time_point start = Clock::now();
  EXPECT_FALSE(m_link.SendString(QStringLiteral("$012")));
  const auto elapsed = Clock::now() - start;
  EXPECT_EQ(m_link.GetStatus(), kSendFailed);
  EXPECT_EQ(m_link.GetErrorCounter(), 1);
  EXPECT_GE(elapsed, 6 * 50ms);  // six pauses between seven attempts
  EXPECT_LT(elapsed, 3s);

  ASSERT_EQ(tcflow(m_line.Slave(), TCOON), 0);
  EXPECT_TRUE(m_link.SendString(QStringLiteral("#01")));
  EXPECT_EQ(m_line.ReadLine(), "#01\r");
}

TEST_F(ICPLinkTest, BrieflyStalledOutput_IsRetriedUntilTheBlockIsOut) {
  Activate();
  ASSERT_EQ(tcflow(m_line.Slave(), TCOOFF), 0);
  // The stall is the stimulus here: shorter than the six retry pauses.
  std::thread resume([&] {
    std::this_thread::sleep_for(120ms);
    tcflow(m_line.Slave(), TCOON);
  });
  EXPECT_TRUE(m_link.SendString(QStringLiteral("$012")));
  resume.join();
  EXPECT_EQ(m_link.GetStatus(), kSendOk);
  EXPECT_EQ(m_link.GetErrorCounter(), 0);
  EXPECT_EQ(m_line.ReadLine(), "$012\r");
}

// A device that is gone is told apart from a module that is silent: the
// exchanges fail without waiting out the line's time, and the link reports the
// loss so that its worker can open the port afresh.
TEST_F(ICPLinkTest, HungUpLine_FailsAtOnceWithoutSpinningAndReportsThePortLost) {
  Activate();
  m_line.HangUp();

  QString answer;
  Clock::time_point start = Clock::now();
  EXPECT_FALSE(m_link.SendCommand(answer));
  EXPECT_LT(Clock::now() - start, 1500ms);
  EXPECT_EQ(m_link.GetStatus(), kSendFailed);
  EXPECT_TRUE(m_link.GetPortLost());

  const std::chrono::milliseconds cpuBefore = ThreadCpuTime();
  start = Clock::now();
  for (int i = 0; i < 5; ++i) EXPECT_EQ(m_link.ReciveString(), "");
  EXPECT_EQ(m_link.GetStatus(), kReceiveFailed);
  EXPECT_LT(Clock::now() - start, 1000ms);
  // A line that errs at once is still not polled in a tight loop.
  EXPECT_LT(ThreadCpuTime() - cpuBefore, 100ms);

  m_link.SetActive(false);
  EXPECT_FALSE(m_link.GetActive());
}

TEST_F(ICPLinkTest, SilentModule_IsNoLostPortAndAReopenClearsTheLoss) {
  Activate();
  QString answer;
  EXPECT_FALSE(m_link.SendCommand(answer));
  EXPECT_EQ(m_link.GetStatus(), kReceiveFailed);
  EXPECT_FALSE(m_link.GetPortLost());

  // The receive side of a line that went away, then the same line again.
  m_line.HangUp();
  EXPECT_EQ(m_link.ReciveString(), "");
  EXPECT_TRUE(m_link.GetPortLost());
  m_link.SetActive(false);
  PtyLine again;
  ASSERT_TRUE(again.IsOpen());
  m_link.SetPortName(again.Path());
  m_link.SetActive(true);
  ASSERT_TRUE(m_link.GetActive()) << Text(m_link.GetStatus());
  EXPECT_FALSE(m_link.GetPortLost());
}

TEST_F(ICPLinkTest, SendedAndRecived_AreOneShotTriggers) {
  Activate();
  m_link.SetCmdString(QStringLiteral("$01M"));
  m_link.SetSended(true);
  EXPECT_TRUE(m_link.GetSended());
  EXPECT_EQ(m_link.GetStatus(), kSendOk);
  EXPECT_EQ(m_line.ReadLine(), "$01M\r");

  ASSERT_TRUE(m_line.Write("!017017\r"));
  ASSERT_TRUE(m_line.WaitForSlaveInput(8));
  m_link.SetRecived(true);
  EXPECT_TRUE(m_link.GetRecived());
  EXPECT_EQ(m_link.GetResultStr(), "!017017");
  EXPECT_EQ(m_link.GetStatus(), kReceiveOk);

  // Setting them again to the same value does nothing: no transmission, no
  // reception of the line that is waiting now.
  ASSERT_TRUE(m_line.Write("!NEXT\r"));
  ASSERT_TRUE(m_line.WaitForSlaveInput(6));
  m_link.SetSended(true);
  m_link.SetRecived(true);
  EXPECT_EQ(m_link.GetResultStr(), "!017017");

  // A new command re-arms Sended; sending clears Recived.
  m_link.SetCmdString(QStringLiteral("$012"));
  EXPECT_FALSE(m_link.GetSended());
  m_link.SetSended(true);
  EXPECT_TRUE(m_link.GetSended());
  EXPECT_FALSE(m_link.GetRecived());
  EXPECT_EQ(m_line.ReadLine(), "$012\r");

  // A failed reception still sets Recived.
  m_link.SetRecived(true);
  EXPECT_TRUE(m_link.GetRecived());
  EXPECT_EQ(m_link.GetStatus(), kReceiveFailed);
  EXPECT_EQ(m_link.GetResultStr(), "!017017");
  m_link.SetRecived(false);
  EXPECT_FALSE(m_link.GetRecived());

  // Sended reads back whether the transmission succeeded.
  m_link.SetActive(false);
  m_link.SetCmdString(QStringLiteral("$013"));
  m_link.SetSended(true);
  EXPECT_FALSE(m_link.GetSended());
}

TEST_F(ICPLinkTest, Properties_CanBeReadFromAnotherThreadDuringExchanges) {
  Activate();
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    while (!stop) {
      (void)m_link.GetStatus();
      (void)m_link.GetResultStr();
      (void)m_link.GetCmdString();
      (void)m_link.GetPortName();
      (void)m_link.GetIniName();
      (void)m_link.GetErrorCounter();
      (void)m_link.GetActive();
      (void)m_link.GetSended();
      (void)m_link.GetRecived();
      (void)m_link.GetSpeed();
      (void)m_link.CurrentTimeouts();
    }
  });
  for (int i = 0; i < 20; ++i) {
    QString answer;
    const QString reply = QStringLiteral("!0%1").arg(i);
    EXPECT_TRUE(Exchange(QStringLiteral("$0%1").arg(i), reply.toLatin1() + '\r', answer));
    EXPECT_EQ(answer, reply);
  }
  m_link.SetActive(false);
  stop = true;
  reader.join();
  EXPECT_EQ(m_link.GetErrorCounter(), 0);
}

}  // namespace
