// Every program's --help, --version and an unknown option, the way Debian's
// programs answer them: usage on stdout and 0; the version line on stdout
// and 0; usage on stderr and 2.

#include <gtest/gtest.h>

#include <QProcess>
#include <QString>

#include "common/buildtext.h"

namespace {

struct Program {
  const char* name;
  const char* binary;
};

const Program kPrograms[] = {
    {"flotation-console", FLOT_CONSOLE_BIN},
    {"flotation-station", FLOT_STATION_BIN},
    {"flotation-history", FLOT_HISTORY_BIN},
    {"dcon-sim", DCON_SIM_BIN},
};

struct Outcome {
  int exitCode = -1;
  QByteArray out;
  QByteArray err;
};

Outcome RunProgram(const char* binary, const QStringList& arguments) {
  QProcess process;
  process.start(QString::fromLocal8Bit(binary), arguments);
  Outcome outcome;
  if (!process.waitForFinished(20000)) {
    process.kill();
    process.waitForFinished();
    return outcome;
  }
  outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  outcome.out = process.readAllStandardOutput();
  outcome.err = process.readAllStandardError();
  return outcome;
}

TEST(CommandLine, EveryProgramAnswersHelpVersionAndAnUnknownOption) {
  for (const Program& program : kPrograms) {
    SCOPED_TRACE(program.name);

    const Outcome help = RunProgram(program.binary, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.toLower().startsWith("usage: " + QByteArray(program.name))) << help.out.constData();
    EXPECT_TRUE(help.out.contains("--version")) << help.out.constData();
    EXPECT_TRUE(help.err.isEmpty()) << help.err.constData();

    const Outcome version = RunProgram(program.binary, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.toStdString(),
              std::string(program.name) + ' ' + BuildVersionText() + " (commit " + BuildCommitText() + ")\n");
    EXPECT_TRUE(version.err.isEmpty()) << version.err.constData();

    const Outcome unknown = RunProgram(program.binary, {"--no-such-option"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.out.isEmpty()) << unknown.out.constData();
    EXPECT_TRUE(unknown.err.contains("--no-such-option")) << unknown.err.constData();
    EXPECT_TRUE(unknown.err.toLower().contains("usage: " + QByteArray(program.name)))
        << unknown.err.constData();
  }
}

}  // namespace
