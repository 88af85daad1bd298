// The windowed console as a plant runs it, on the offscreen platform: against
// the simulated modules, answering the station on TCP, saving on SIGTERM.

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <csignal>
#include <map>

#include "common/formatfloat.h"
#include "common/inifile.h"
#include "configuration/config.h"
#include "fieldbus/inputpolling.h"
#include "process/valueblock.h"
#include "support/dconsimprocess.h"
#include "support/headlessconsole.h"
#include "support/stationclient.h"

namespace {

TEST(WindowedConsole, PollsTheModulesAnswersTheStationAndSavesOnSigterm) {
  QTemporaryDir home;
  ASSERT_TRUE(DconSimProcess::ConfigureConsole(home.path(), home.filePath("dcon-in"),
                                               home.filePath("dcon-out"), 38400));
  const int port = FreeTcpPort();
  {
    IniFile ini(home.filePath(u"flotation-console.INI"_qs));
    IniUpdate update(ini);
    ini.WriteInteger(u"System"_qs, u"LanServer"_qs, 1);
    ini.WriteInteger(u"System"_qs, u"LanPort"_qs, port);
    ini.WriteString(u"COM"_qs, u"ServerLinkPort"_qs, u"/nonexistent/station"_qs);
    ASSERT_TRUE(update.Commit());
  }
  const QString log = home.filePath(u"sim.log"_qs);
  DconSimProcess sim({"--pty", home.filePath("dcon-in"), "--pty", home.filePath("dcon-out"), "--baud",
                      "38400", "--fixed", "01=00010002000300040005000600070008", "--log", log});
  ASSERT_TRUE(sim.Start()) << sim.Stderr().constData();

  HeadlessConsole console(home.path(), {}, HeadlessConsole::kWindowed);
  ASSERT_TRUE(console.StartAndWaitUntilRunning()) << console.Stderr().constData();

  // It polls: both input modules, several cycles.
  QDeadlineTimer deadline(20000);
  int polls = 0;
  while (!deadline.hasExpired() && polls < 3) {
    const auto exchanges = DconSimProcess::ReadLog(log);
    polls = static_cast<int>(
        std::count_if(exchanges.begin(), exchanges.end(), [](const auto& e) { return e.command == "$02A"; }));
    QThread::msleep(50);
  }
  EXPECT_GE(polls, 3);

  // It answers the station, with the state of a cycle that has run.
  StationClient station;
  ASSERT_TRUE(station.Connect(port));
  ASSERT_TRUE(station.ReadGreeting());
  EXPECT_EQ(station.Ask("PUF1", "SetZRRS1", "47"), BuildFrame("PUF1", "SetZRRS_OK:"));
  const QByteArray state = station.Ask("PUF1", "GetStateRec");
  EXPECT_TRUE(state.startsWith("PUF1:GetStateRec_OK:RecMoment='")) << state.constData();
  EXPECT_FALSE(state.contains("RecMoment='1899")) << state.constData();
  station.Send("Quit\r");

  ASSERT_EQ(console.StopWith(SIGTERM), 0) << console.Stderr().constData();
  IniFile ini(home.filePath(u"flotation-console.INI"_qs));
  EXPECT_DOUBLE_EQ(ini.ReadFloat(u"LastSet"_qs, u"ZRRS1"_qs, 0), 47.0);
  EXPECT_TRUE(ini.SectionExists(u"CONST"_qs));
}

// What the console's diagram shows, asked for with SIGUSR1: field name -> text.
std::map<QString, QString> ReadViewDump(HeadlessConsole& console, const QString& home) {
  const QString path = home + u"/LOG/view.txt"_qs;
  QFile::remove(path);
  const QByteArray written = "view written to";
  const qsizetype before = console.Stderr().count(written);
  ::kill(static_cast<pid_t>(console.ProcessId()), SIGUSR1);
  if (!console.WaitForStderr(written, before + 1)) return {};
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  std::map<QString, QString> fields;
  for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts)) {
    const QStringList parts = line.split(u'\t');
    if (parts.size() >= 2) fields[parts[0]] = parts[1];
  }
  return fields;
}

TEST(WindowedConsole, TheDiagramShowsTheFixedCountsThroughTheDefaultCalibration) {
  QTemporaryDir home;
  ASSERT_TRUE(DconSimProcess::ConfigureConsole(home.path(), home.filePath("dcon-in"),
                                               home.filePath("dcon-out"), 38400));
  const QString answer = u">00010002000300040005000600070008"_qs;
  DconSimProcess sim({"--pty", home.filePath("dcon-in"), "--pty", home.filePath("dcon-out"), "--baud",
                      "38400", "--fixed", "01=" + answer.mid(1)});
  ASSERT_TRUE(sim.Start()) << sim.Stderr().constData();

  // The first module carries section 1's density, flow and tank levels.
  const TConfig defaults;
  const auto counts = DecodeModuleAnswer(answer);
  ASSERT_TRUE(counts.has_value());
  const auto shown = [&](int signal, const QString& format) {
    const TSignalSet& set = *defaults.InputSignals[signal];
    return FormatFloat(format, static_cast<float>(set.CalibrateValue((*counts)[set.Chanel], false)));
  };
  const std::map<QString, QString> expected = {
      {u"FormMnemo.OutFieldPLF1"_qs, shown(0, u"###0 г/л"_qs)},
      {u"FormMnemo.OutFieldRVF1"_qs, shown(1, u"###0 м3/ч"_qs)},
      {u"FormMnemo.OutFieldURFK1"_qs, shown(2, u"#0.#%"_qs)},
      {u"FormMnemo.OutFieldURFK12"_qs, shown(3, u"#0.#%"_qs)},
  };

  HeadlessConsole console(home.path(), {}, HeadlessConsole::kWindowed);
  ASSERT_TRUE(console.StartAndWaitUntilRunning()) << console.Stderr().constData();
  // The averages settle on the fixed counts within a few cycles.
  std::map<QString, QString> seen;
  QDeadlineTimer deadline(30000);
  bool matched = false;
  while (!matched && !deadline.hasExpired()) {
    seen = ReadViewDump(console, home.path());
    matched = std::all_of(expected.begin(), expected.end(), [&](const auto& field) {
      const auto found = seen.find(field.first);
      return found != seen.end() && found->second == field.second;
    });
    if (!matched) QThread::msleep(500);
  }
  for (const auto& [name, text] : expected) EXPECT_EQ(seen[name], text) << qPrintable(name);
  EXPECT_EQ(console.StopWith(SIGTERM), 0) << console.Stderr().constData();
}

TEST(WindowedConsole, ASecondStartLeavesTheFirstOneRunning) {
  QTemporaryDir home;
  QTemporaryDir otherHome;
  for (const QTemporaryDir* dir : {&home, &otherHome}) {
    IniFile ini(dir->filePath(u"flotation-console.INI"_qs));
    IniUpdate update(ini);
    ini.WriteInteger(u"System"_qs, u"AutoStartControl"_qs, 0);
    ini.WriteInteger(u"MySQL"_qs, u"Disabled"_qs, 1);
    ASSERT_TRUE(update.Commit());
  }
  HeadlessConsole first(home.path(), {}, HeadlessConsole::kWindowed);
  ASSERT_TRUE(first.StartAndWaitUntilRunning()) << first.Stderr().constData();

  // The second one shows its message box; offscreen nobody answers it, so
  // it is stopped from outside, having started nothing.
  HeadlessConsole second(otherHome.path(), {}, HeadlessConsole::kWindowed);
  second.Start();
  ASSERT_TRUE(second.WaitForStderr("another instance is running")) << second.Stderr().constData();
  second.StopWith(SIGKILL);
  EXPECT_FALSE(second.Stderr().contains("running windowed")) << second.Stderr().constData();
  EXPECT_FALSE(QFileInfo::exists(otherHome.filePath(u"config"_qs)));

  EXPECT_EQ(first.StopWith(SIGTERM), 0) << first.Stderr().constData();
}

}  // namespace
