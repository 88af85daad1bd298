#include <gtest/gtest.h>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "app/commandline.h"
#include "common/cp1251.h"
#include "common/inifile.h"
#include "support/files.h"
#include "support/headlessconsole.h"
#include "support/stationclient.h"

namespace {

QString IniPathIn(const QTemporaryDir& home) {
  return home.filePath("flotation-console.INI");
}

TEST(Headless, FreshFolderGetsACompleteConfigurationFileAtExit) {
  QTemporaryDir home;
  HeadlessConsole console(home.path());
  ASSERT_TRUE(console.StartAndWaitUntilRunning()) << console.Stderr().constData();
  ASSERT_EQ(console.StopWith(SIGTERM), 0) << console.Stderr().constData();

  IniFile ini(IniPathIn(home));
  QStringList expected = {"MySQL",    "System",    "COM",  "ICP",    "CONST",
                          "OnColors", "OffColors", "Emul", "LastSet"};
  for (const char* signal : {"PLF_1", "RVF_1", "URFK_1", "URFK12_1", "PLF_2", "RVF_2", "URFK_2", "URFK12_2",
                             "OARS_1", "OARP_1", "OAFL_1", "OARS_2", "OARP_2", "OAFL_2"}) {
    expected << signal << QString(signal) + "_CALIBR";
  }
  const QStringList sections = ini.ReadSections();
  for (const QString& section : expected)
    EXPECT_TRUE(sections.contains(section, Qt::CaseInsensitive)) << qPrintable(section);

  EXPECT_EQ(ini.ReadString("ICP", "ADC_signal_count", ""), "8");
  EXPECT_EQ(ini.ReadString("ICP", "DAC_signal_count", ""), "6");
  const QStringList lastSetKeys = {"TRRS1", "TRRP1", "TRFL1", "ZRRS1", "ZRRP1", "ZRFL1",
                                   "TRRS2", "TRRP2", "TRFL2", "ZRRS2", "ZRRP2", "ZRFL2"};
  EXPECT_EQ(ini.ReadSection("LastSet"), lastSetKeys);
  const double builtIn[] = {30, 70, 10, 40, 90, 10};
  for (int i = 0; i < 12; ++i) EXPECT_DOUBLE_EQ(ini.ReadFloat("LastSet", lastSetKeys[i], -1), builtIn[i % 6]);
}

TEST(Headless, KeepsRememberedSetpointsAndMendsGarbledOnes) {
  QTemporaryDir home;
  ASSERT_TRUE(WriteFileBytes(
      IniPathIn(home),
      "[LastSet]\r\nTRRS1=55.5\r\nZRFL2=not a number\r\nTRRP2=1e300\r\n[System]\r\nSaveLogFlag=0\r\n"));
  HeadlessConsole console(home.path());
  ASSERT_TRUE(console.StartAndWaitUntilRunning()) << console.Stderr().constData();
  ASSERT_EQ(console.StopWith(SIGINT), 0) << console.Stderr().constData();

  IniFile ini(IniPathIn(home));
  EXPECT_DOUBLE_EQ(ini.ReadFloat("LastSet", "TRRS1", -1), 55.5);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("LastSet", "ZRFL2", -1), 10);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("LastSet", "TRRP2", -1), 70);
  EXPECT_EQ(ini.ReadString("System", "SaveLogFlag", ""), "0");
}

TEST(Headless, AFailedSaveIsReportedInTheLogAndTheExitCode) {
  QTemporaryDir home;
  // A folder where the INI file should be: it reads as empty and cannot be replaced.
  ASSERT_TRUE(QDir(home.path()).mkpath("flotation-console.INI/occupied"));
  HeadlessConsole console(home.path());
  ASSERT_TRUE(console.StartAndWaitUntilRunning()) << console.Stderr().constData();
  EXPECT_EQ(console.StopWith(SIGTERM), 1) << console.Stderr().constData();

  const QStringList logs = QDir(home.filePath("LOG")).entryList({"*.log"}, QDir::Files);
  ASSERT_EQ(logs.size(), 1);
  const QString text = FromCp1251(ReadFileBytes(home.filePath("LOG/" + logs.front())));
  EXPECT_TRUE(text.contains(u"Не удалось сохранить настройки"_qs)) << qPrintable(text);
  EXPECT_TRUE(text.endsWith("\r\n"));
}

QString LogTextIn(const QTemporaryDir& home) {
  QString text;
  for (const QString& name : QDir(home.filePath("LOG")).entryList({"*.log"}, QDir::Files))
    text += FromCp1251(ReadFileBytes(home.filePath("LOG/" + name)));
  return text;
}

// The first tick starts the read and write threads when the configuration
// says so; without their ports they end and say why, unless modules are emulated.
TEST(Headless, StartsControlOnTheFirstTick) {
  struct Case {
    bool autoStart;
    bool emulate;
    const char* announcement;
    bool portMessages;
  };
  const Case cases[] = {
      {true, false, "control started\n", true},
      {true, true, "control started (module emulation on)", false},
      {false, false, "automatic start is off", false},
  };
  for (const Case& c : cases) {
    QTemporaryDir home;
    IniFile ini(IniPathIn(home));
    ini.WriteString("COM", "HardReadPort", home.filePath("no-port-in"));
    ini.WriteString("COM", "HardWritePort", home.filePath("no-port-out"));
    ini.WriteBool("System", "AutoStartControl", c.autoStart);
    HeadlessConsole console(home.path(), c.emulate ? QStringList{"--emulate"} : QStringList{});
    ASSERT_TRUE(console.StartAndWaitUntilRunning()) << console.Stderr().constData();
    ASSERT_TRUE(console.WaitForStderr(c.announcement)) << console.Stderr().constData();
    ASSERT_EQ(console.StopWith(SIGTERM), 0) << console.Stderr().constData();

    const QString log = LogTextIn(home);
    EXPECT_EQ(log.contains(u"Поток приема: Не могу подключить порт "_qs + home.filePath("no-port-in")),
              c.portMessages)
        << qPrintable(log);
    EXPECT_EQ(log.contains(u"Поток записи: Не могу подключить порт."_qs + home.filePath("no-port-out")),
              c.portMessages)
        << qPrintable(log);
  }
}

TEST(Headless, SaysAtStartWhatItCannotWriteAndRunsOn) {
  QTemporaryDir home;
  ASSERT_TRUE(WriteFileBytes(home.filePath("LOG"), "not a folder"));
  HeadlessConsole console(home.path());
  ASSERT_TRUE(console.StartAndWaitUntilRunning()) << console.Stderr().constData();
  EXPECT_TRUE(console.Stderr().contains(
      "flotation-console: warning: cannot write the event log: " + QFile::encodeName(home.filePath("LOG")) +
      " is a file, not a folder\n"))
      << console.Stderr().constData();
  ASSERT_EQ(console.StopWith(SIGTERM), 0) << console.Stderr().constData();
  EXPECT_FALSE(console.Stderr().contains("cannot write the configuration file"));
}

// The station's setpoint is on disk before the kill; the next start takes it.
TEST(Headless, AStationSetpointSurvivesAKill) {
  QTemporaryDir home;
  const int port = FreeTcpPort();
  {
    IniFile ini(IniPathIn(home));
    IniUpdate update(ini);
    ini.WriteString("COM", "HardReadPort", home.filePath("no-port-in"));
    ini.WriteString("COM", "HardWritePort", home.filePath("no-port-out"));
    ini.WriteString("COM", "ServerLinkPort", home.filePath("no-station-line"));
    ini.WriteInteger("System", "LanPort", port);
    ini.WriteString("MySQL", "Host", "127.0.0.1:" + QString::number(FreeTcpPort()));
    ASSERT_TRUE(update.Commit());
  }
  HeadlessConsole console(home.path(), {"--emulate"});
  ASSERT_TRUE(console.StartAndWaitUntilRunning()) << console.Stderr().constData();
  ASSERT_TRUE(console.WaitForStderr("query server on TCP port")) << console.Stderr().constData();
  StationClient station;
  ASSERT_TRUE(station.Connect(port));
  ASSERT_TRUE(station.ReadGreeting());
  ASSERT_EQ(station.Ask("PUF1", "SetZRRS1", "45"), BuildFrame("PUF1", "SetZRRS_OK:"));
  QDeadlineTimer deadline(kDeadlineMs);
  while (IniFile(IniPathIn(home)).ReadFloat("LastSet", "ZRRS1", 0) != 45 && !deadline.hasExpired())
    QThread::msleep(20);
  EXPECT_EQ(IniFile(IniPathIn(home)).ReadFloat("LastSet", "ZRRS1", 0), 45);
  station.Close();
  EXPECT_EQ(console.StopWith(SIGKILL), -1);

  // Had the next start taken the built-in 40, its exit save would write 40.
  HeadlessConsole again(home.path(), {"--emulate"});
  ASSERT_TRUE(again.StartAndWaitUntilRunning()) << again.Stderr().constData();
  ASSERT_EQ(again.StopWith(SIGTERM), 0) << again.Stderr().constData();
  EXPECT_EQ(IniFile(IniPathIn(home)).ReadFloat("LastSet", "ZRRS1", 0), 45);
}

// A datagram socket where a service manager would listen for the console.
class NotifySocket {
 public:
  explicit NotifySocket(const QString& path) {
    m_socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(), std::min(sizeof(address.sun_path) - 1, size_t(name.size())));
    m_bound = ::bind(m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
  }
  ~NotifySocket() { ::close(m_socket); }
  bool Bound() const { return m_bound; }
  // The datagrams that arrived so far.
  QList<QByteArray> Take() {
    QList<QByteArray> taken;
    char buffer[4096];
    for (ssize_t size; (size = ::recv(m_socket, buffer, sizeof(buffer), 0)) > 0;) taken << QByteArray(buffer, size);
    return taken;
  }

 private:
  int m_socket = -1;
  bool m_bound = false;
};

// Started as a service: ready once it runs, the watchdog fed from the tick,
// and what the event log says also in the service's log, port failures too.
TEST(Headless, TellsTheServiceManagerAndItsLogWhatHappens) {
  QTemporaryDir home;
  IniFile ini(IniPathIn(home));
  ini.WriteString("COM", "HardReadPort", home.filePath("no-port-in"));
  ini.WriteString("COM", "HardWritePort", home.filePath("no-port-out"));
  NotifySocket manager(home.filePath("notify"));
  ASSERT_TRUE(manager.Bound());
  qputenv("NOTIFY_SOCKET", QFile::encodeName(home.filePath("notify")));
  qputenv("WATCHDOG_USEC", "3000000");
  HeadlessConsole console(home.path());
  const bool started = console.StartAndWaitUntilRunning();
  qunsetenv("NOTIFY_SOCKET");
  qunsetenv("WATCHDOG_USEC");
  ASSERT_TRUE(started) << console.Stderr().constData();
  ASSERT_TRUE(console.WaitForStderr("control started")) << console.Stderr().constData();

  QList<QByteArray> told;
  QDeadlineTimer deadline(kDeadlineMs);
  while (told.count("WATCHDOG=1") < 3 && !deadline.hasExpired()) {
    QThread::msleep(100);
    told += manager.Take();
  }
  ASSERT_FALSE(told.isEmpty());
  EXPECT_TRUE(told[0].startsWith("READY=1\nSTATUS=control started")) << told[0].constData();
  EXPECT_GE(told.count("WATCHDOG=1"), 3);
  EXPECT_TRUE(console.WaitForStderr(
      "flotation-console: " + (u"Поток приема: Не могу подключить порт "_qs + home.filePath("no-port-in")).toUtf8()))
      << console.Stderr().constData();

  ASSERT_EQ(console.StopWith(SIGTERM), 0) << console.Stderr().constData();
  EXPECT_TRUE(manager.Take().contains("STOPPING=1"));
}

// Installed by the package, the console keeps its files in the user's data
// folder, not beside the program in the system's.
TEST(Headless, DefaultHomeIsTheProgramsFolderUnlessInstalledUnderUsr) {
  const struct {
    const char* executableDir;
    const char* home;
  } cases[] = {
      {"/usr/bin", "/home/op/.local/share/flotation-console"},
      {"/usr/local/bin/", "/home/op/.local/share/flotation-console"},
      {"/usr", "/home/op/.local/share/flotation-console"},
      {"/opt/flotation", "/opt/flotation"},
      {"/work/build/bin", "/work/build/bin"},
      {"/usrlocal/bin", "/usrlocal/bin"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DefaultHomeDir(c.executableDir, "/home/op/.local/share"), c.home) << c.executableDir;
}

TEST(Headless, RejectsUnknownArguments) {
  QProcess process;
  process.start(QStringLiteral(FLOT_CONSOLE_BIN), {"--headless", "--frobnicate"});
  ASSERT_TRUE(process.waitForFinished(kDeadlineMs));
  EXPECT_EQ(process.exitCode(), 2);
  EXPECT_TRUE(process.readAllStandardError().contains("unknown argument: --frobnicate"));
}

}  // namespace
