#include "console/startupcheck.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <string>

#include "console/consolecontroller.h"
#include "support/eventlogcapture.h"
#include "support/files.h"

namespace {

struct Layout {
  QString Home;
  QString IniPath() const { return Home + u"/flotation-console.INI"_qs; }
  QString LogDir() const { return Home + u"/LOG"_qs; }
};

// One line per problem, so that a difference shows as text.
std::string ServiceTexts(const std::vector<StartupProblem>& problems) {
  QStringList texts;
  for (const StartupProblem& problem : problems) texts << problem.ServiceText;
  return texts.join(u'\n').toStdString();
}

TEST(StartupCheck, FindsWhatCannotBeWrittenAndOnlyThat) {
  struct Case {
    const char* Name;
    std::function<bool(const QString& root)> Prepare;  // returns the home folder's setup success
    const char* Home;                                  // below the root
    QStringList Expected;                              // service texts, "%H" for the home folder
  };
  const Case cases[] = {
      {"fresh folder", [](const QString& root) { return QDir().mkpath(root + "/home"); }, "home", {}},
      {"existing files",
       [](const QString& root) {
         return QDir().mkpath(root + "/home/LOG") &&
                WriteFileBytes(root + "/home/flotation-console.INI", "[System]\r\n");
       },
       "home",
       {}},
      {"LOG is a file",
       [](const QString& root) {
         return QDir().mkpath(root + "/home") && WriteFileBytes(root + "/home/LOG", "x");
       },
       "home",
       {"cannot write the event log: %H/LOG is a file, not a folder"}},
      {"INI file is a folder",
       [](const QString& root) { return QDir().mkpath(root + "/home/flotation-console.INI"); },
       "home",
       {"cannot write the configuration file %H/flotation-console.INI: it is a folder; settings and "
        "setpoints will "
        "not be saved"}},
      // The home folder cannot exist: a file stands where its parent should be.
      {"no folder at all",
       [](const QString& root) { return WriteFileBytes(root + "/file", "x"); },
       "file/home",
       {"cannot write the configuration file %H/flotation-console.INI (Not a directory); settings and "
        "setpoints will "
        "not be saved",
        "cannot write the event log: cannot create the folder %H/LOG (Not a directory)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    QTemporaryDir root;
    ASSERT_TRUE(c.Prepare(root.path()));
    const Layout layout{root.filePath(QLatin1String(c.Home))};
    QStringList expected;
    for (QString text : c.Expected) expected << text.replace(u"%H"_qs, layout.Home);
    EXPECT_EQ(ServiceTexts(CheckStartupFiles(layout.IniPath(), layout.LogDir())),
              expected.join(u'\n').toStdString());
    // No probe file is left behind, and a missing LOG is made.
    if (expected.isEmpty()) {
      EXPECT_TRUE(QFileInfo(layout.LogDir()).isDir());
      EXPECT_EQ(QDir(layout.Home).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                QDir(layout.Home).entryList(QDir::AllEntries | QDir::NoDotAndDotDot));
      EXPECT_TRUE(QDir(layout.LogDir()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    }
  }
}

TEST(StartupCheck, FindsAReadOnlyHomeFolder) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
  QTemporaryDir root;
  const Layout layout{root.filePath("home")};
  ASSERT_TRUE(QDir().mkpath(layout.LogDir()));
  ASSERT_EQ(::chmod(QFile::encodeName(layout.Home).constData(), 0555), 0);
  const std::vector<StartupProblem> problems = CheckStartupFiles(layout.IniPath(), layout.LogDir());
  ::chmod(QFile::encodeName(layout.Home).constData(), 0755);
  EXPECT_EQ(ServiceTexts(problems), ("cannot write the configuration file " + layout.IniPath() +
                                     " (Permission denied); settings and setpoints will not be saved")
                                        .toStdString())
      << "LOG itself stays writable";
}

// The operator sees it in a window of its own, and the console opens anyway.
TEST(StartupCheck, TheControllerPostsEachProblemForAWindowAndRunsOn) {
  QTemporaryDir home;
  ASSERT_TRUE(WriteFileBytes(home.filePath("LOG"), "x"));
  ASSERT_TRUE(WriteFileBytes(home.filePath("flotation-console.INI"), "[LastSet]\r\nZRRS1=45\r\n"));
  DrainEventLog();
  TConsoleController controller(home.path());
  controller.Open();
  ASSERT_EQ(controller.StartupProblems().size(), 1u);
  EXPECT_EQ(controller.Snapshot().Setpoints[kZRRS1], 45.0f);

  const std::vector<TEventFIFO_Rec> records = DrainEventLog();
  const auto posted = std::find_if(records.begin(), records.end(), [](const TEventFIFO_Rec& record) {
    return record.Text.startsWith(u"Журнал событий не может быть записан"_qs);
  });
  ASSERT_NE(posted, records.end());
  EXPECT_EQ(posted->Text.toStdString(),
            (u"Журнал событий не может быть записан: "_qs + home.filePath("LOG") + u" — файл, а не папка."_qs)
                .toStdString());
  EXPECT_EQ(posted->Flags, kLogFlagShowWindow | kLogFlagOwnWindow | kLogFlagRedBackground);
  EXPECT_TRUE(controller.Close());
}

}  // namespace
