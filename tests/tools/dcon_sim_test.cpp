#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "commandlog.h"
#include "dconmodules.h"
#include "lineframing.h"
#include "linepacing.h"
#include "processmodel.h"
#include "simoptions.h"

extern char** environ;

namespace {

constexpr char kFixed01[] = "0247111122223333444455556666777F";

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// An answer of the model: ">" and eight upper-case groups of at most 7FFF.
void ExpectModelAnswer(const std::string& answer) {
  ASSERT_EQ(answer.size(), 34u) << answer;
  EXPECT_EQ(answer.front(), '>');
  EXPECT_EQ(answer.back(), '\r');
  for (int channel = 0; channel < 8; ++channel) {
    const std::string group = answer.substr(1 + 4 * channel, 4);
    for (char c : group) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << answer;
    EXPECT_LE(std::stoi(group, nullptr, 16), 0x7FFF) << answer;
  }
}

SimulationSetup LineWith(std::vector<ModuleSetup> modules, double faultRate = 1.0, uint64_t seed = 1) {
  SimulationSetup setup;
  setup.Modules = std::move(modules);
  setup.FaultRate = faultRate;
  setup.Seed = seed;
  return setup;
}

ModuleSetup Input(int address, std::optional<std::string> fixed = std::nullopt, ModuleFaults faults = {}) {
  return {address, ModuleKind::kInput, std::move(fixed), faults};
}

ModuleSetup Output(int address, ModuleFaults faults = {}) {
  return {address, ModuleKind::kOutput, std::nullopt, faults};
}

// --- protocol ---------------------------------------------------------------

// A line with input modules 01 (fixed) and 0A (model), output modules 03, 04, FF.
class DconProtocol : public ::testing::Test {
 protected:
  SimulatedModules m_modules{
      LineWith({Input(0x01, kFixed01), Input(0x0A), Output(0x03), Output(0x04), Output(0xFF)})};
};

TEST_F(DconProtocol, CommandsGetTheirModulesAnswers) {
  const std::string fixedAnswer = std::string(">") + kFixed01 + "\r";
  const struct {
    const char* Command;
    std::optional<std::string> Answer;  // nullopt: nobody answers
  } cases[] = {
      {"$01A", fixedAnswer},
      {"#030+12.500", ">\r"},
      {"#034-01.000", ">\r"},
      {"#FF1+123.45", ">\r"},
      {"#ff2+00.000", ">\r"},    // address digits in either case
      {"#0407", ">\r"},          // a plain number
      {"#035+01.000", "?03\r"},  // channel beyond 4
      {"#039+01.000", "?03\r"},
      {"#03A+01.000", "?03\r"},  // no channel digit
      {"#030", "?03\r"},         // no value
      {"#030+1.2.3", "?03\r"},
      {"#030+1e3", "?03\r"},
      {"#030 12.5", "?03\r"},
      {"$03A", "?03\r"},         // input command to an output module
      {"#010+01.000", "?01\r"},  // output command to an input module
      {"$01M", "?01\r"},
      {"$01AA", "?01\r"},
      {"$01a", "?01\r"},
      {"%0101400600", "?01\r"},
      {"$09A", std::nullopt},  // no module there
      {"#090+01.000", std::nullopt},
      {"$G1A", std::nullopt},  // no address
      {"$0", std::nullopt},
      {"", std::nullopt},
      {">0247111122223333444455556666777F", std::nullopt},  // another module's answer
      {"?01", std::nullopt},
      {"!01", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Command);
    const AnswerPlan plan = m_modules.Respond(c.Command, 1.0);
    EXPECT_EQ(plan.Send, c.Answer.has_value());
    if (c.Answer) {
      EXPECT_EQ(plan.Bytes, *c.Answer);
    }
    EXPECT_EQ(plan.DelayMs, 0);
    EXPECT_EQ(plan.SplitPauseMs, 0);
  }
}

TEST_F(DconProtocol, InputModuleWithoutFixedValuesAnswersTheProcess) {
  for (double t : {0.0, 0.05, 7.3, 600.0}) {
    SCOPED_TRACE(t);
    ExpectModelAnswer(m_modules.Respond("$0AA", t).Bytes);
  }
}

TEST_F(DconProtocol, OutputValuesAreRememberedPerModuleAndChannelWhenAccepted) {
  for (const char* command : {"#030+12.500", "#031+02.400", "#030+13.000", "#042-01.000", "#FF4+123.45",
                              "#035+50.000", "#041junk", "#090+01.000"}) {
    m_modules.Respond(command, 0);
  }
  std::vector<std::string> lines;
  for (const OutputChannelValue& value : m_modules.OutputValues()) lines.push_back(FormatOutputLine(value));
  EXPECT_EQ(lines, (std::vector<std::string>{"out 03 0 13.000", "out 03 1 2.400", "out 04 2 -1.000",
                                             "out FF 4 123.450"}));
}

TEST(DconValueText, AcceptsSignedDecimalsAndNothingElse) {
  const struct {
    const char* Text;
    std::optional<double> Value;
  } cases[] = {
      {"+12.500", 12.5}, {"-01.000", -1.0}, {"+123.45", 123.45}, {"7", 7.0},  {"12.", 12.0},
      {".5", 0.5},       {"+00.000", 0.0},  {"-0", 0.0},         {"", {}},    {"+", {}},
      {".", {}},         {"+-1", {}},       {"1.2.3", {}},       {"1e3", {}}, {" 1", {}},
      {"1 ", {}},        {"12,5", {}},      {"0x10", {}},        {"inf", {}}, {"+12..500", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    const std::optional<double> value = ParseValueText(c.Text);
    ASSERT_EQ(value.has_value(), c.Value.has_value());
    if (value) {
      EXPECT_DOUBLE_EQ(*value, *c.Value);
    }
  }
}

// --- faults -----------------------------------------------------------------

TEST(DconFaults, EachFaultShapesTheAnswer) {
  const std::string normal = std::string(">") + kFixed01;
  const auto faults = [](auto change) {
    ModuleFaults f;
    change(f);
    return f;
  };
  const struct {
    const char* Name;
    ModuleFaults Faults;
    bool Send;
    std::string Bytes;
    double DelayMs;
    size_t SplitAt;
    double SplitPauseMs;
  } cases[] = {
      {"none", {}, true, normal + "\r", 0, 0, 0},
      {"silent", faults([](ModuleFaults& f) { f.Silent = true; }), false, "", 0, 0, 0},
      {"late", faults([](ModuleFaults& f) { f.LateMs = 1500; }), true, normal + "\r", 1500, 0, 0},
      {"reject", faults([](ModuleFaults& f) { f.Reject = true; }), true, "?01\r", 0, 0, 0},
      {"split", faults([](ModuleFaults& f) { f.SplitMs = 200; }), true, normal + "\r", 0, 17, 200},
      {"no-cr", faults([](ModuleFaults& f) { f.NoCr = true; }), true, normal, 0, 0, 0},
      {"long", faults([](ModuleFaults& f) { f.LongLength = 23; }), true, "01234567890123456789012\r", 0, 0,
       0},
      {"late, split and no CR", faults([](ModuleFaults& f) {
         f.LateMs = 30;
         f.SplitMs = 5;
         f.NoCr = true;
       }),
       true, normal, 30, 16, 5},
      {"reject without CR", faults([](ModuleFaults& f) {
         f.Reject = true;
         f.NoCr = true;
       }),
       true, "?01", 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    SimulatedModules modules(LineWith({Input(0x01, kFixed01, c.Faults)}));
    const AnswerPlan plan = modules.Respond("$01A", 1.0);
    EXPECT_EQ(plan.Send, c.Send);
    if (!c.Send) continue;
    EXPECT_EQ(plan.Bytes, c.Bytes);
    EXPECT_EQ(plan.DelayMs, c.DelayMs);
    EXPECT_EQ(plan.SplitAt, c.SplitAt);
    EXPECT_EQ(plan.SplitPauseMs, c.SplitPauseMs);
  }
}

TEST(DconFaults, GarbageIsPrintableAndNeverHex) {
  ModuleFaults faults;
  faults.Garbage = true;
  SimulatedModules modules(LineWith({Input(0x01, kFixed01, faults)}));
  std::set<std::string> distinct;
  for (int i = 0; i < 50; ++i) {
    const AnswerPlan plan = modules.Respond("$01A", i);
    ASSERT_TRUE(plan.Send);
    ASSERT_EQ(plan.Bytes.size(), SimulatedModules::kGarbageLength + 1);
    EXPECT_EQ(plan.Bytes.back(), '\r');
    for (char c : plan.Bytes.substr(0, plan.Bytes.size() - 1)) {
      EXPECT_TRUE(c > ' ' && c <= '~' && !IsHex(c)) << plan.Bytes;
    }
    distinct.insert(plan.Bytes);
  }
  EXPECT_GT(distinct.size(), 40u);
}

// A module that does not answer must not act either; one whose answer is only
// mangled on the way out has still taken the value.
TEST(DconFaults, OutputModuleTakesValuesUnlessSilentOrRejecting) {
  ModuleFaults silent;
  silent.Silent = true;
  ModuleFaults rejecting;
  rejecting.Reject = true;
  ModuleFaults garbling;
  garbling.Garbage = true;
  SimulatedModules modules(LineWith({Output(0x03, silent), Output(0x04, rejecting), Output(0x05, garbling)}));
  EXPECT_FALSE(modules.Respond("#030+01.000", 0).Send);
  EXPECT_EQ(modules.Respond("#040+02.000", 0).Bytes, "?04\r");
  EXPECT_TRUE(modules.Respond("#050+03.000", 0).Send);
  const std::vector<OutputChannelValue> values = modules.OutputValues();
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(FormatOutputLine(values[0]), "out 05 0 3.000");
}

TEST(DconFaults, FlappingModuleAnswersOnlyInItsOnPhases) {
  ModuleFaults faults;
  faults.FlapOnSeconds = 2;
  faults.FlapOffSeconds = 1;
  SimulatedModules modules(LineWith({Input(0x01, kFixed01, faults)}));
  const struct {
    double Seconds;
    bool Answers;
  } cases[] = {{0.0, true}, {1.9, true},  {2.0, false}, {2.9, false},  {3.0, true},
               {4.5, true}, {5.5, false}, {6.1, true},  {302.5, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Seconds);
    EXPECT_EQ(modules.Respond("$01A", c.Seconds).Send, c.Answers);
  }
}

std::string SilencePattern(double rate, uint64_t seed, int commands) {
  ModuleFaults faults;
  faults.Silent = true;
  SimulatedModules modules(LineWith({Input(0x01, kFixed01, faults), Input(0x02)}, rate, seed));
  std::string pattern;
  for (int i = 0; i < commands; ++i) {
    pattern += modules.Respond("$01A", i).Send ? '.' : 'x';
    modules.Respond("$02A", i);  // a healthy module on the same line must not shift the pattern
  }
  return pattern;
}

TEST(DconFaults, FaultRateHitsThatShareOfCommandsReproducibly) {
  EXPECT_EQ(SilencePattern(0.0, 1, 500), std::string(500, '.'));
  EXPECT_EQ(SilencePattern(1.0, 1, 500), std::string(500, 'x'));

  const std::string pattern = SilencePattern(0.3, 7, 2000);
  const auto silent = std::count(pattern.begin(), pattern.end(), 'x');
  EXPECT_GT(silent, 450);
  EXPECT_LT(silent, 750);
  EXPECT_EQ(SilencePattern(0.3, 7, 2000), pattern);
  EXPECT_NE(SilencePattern(0.3, 8, 2000), pattern);
}

// --- process model ----------------------------------------------------------

TEST(DconProcessModel, StaysNearItsWorkingPointsOverAnHour) {
  ProcessModel model(1, 0x01);
  constexpr double kFull = ProcessModel::kFullScale;
  std::array<double, 8> sum{};
  std::array<double, 8> low{};
  std::array<double, 8> high{};
  low.fill(1.0);
  const int samples = 3600;
  for (int second = 0; second < samples; ++second) {
    const auto counts = model.CountsAt(second);
    for (int channel = 0; channel < 8; ++channel) {
      const double fraction = counts[channel] / kFull;
      sum[channel] += fraction;
      low[channel] = std::min(low[channel], fraction);
      high[channel] = std::max(high[channel], fraction);
    }
  }
  const struct {
    int Channel;
    double Mean;
    double MeanTolerance;
    double Low;
    double High;
  } expectations[] = {{0, 0.45, 0.03, 0.30, 0.60}, {1, 0.60, 0.03, 0.40, 0.80}, {2, 0.50, 0.20, 0.20, 0.80},
                      {3, 0.50, 0.20, 0.20, 0.80}, {4, 0.05, 0.02, 0.00, 0.10}, {5, 0.05, 0.02, 0.00, 0.10},
                      {6, 0.05, 0.02, 0.00, 0.10}, {7, 0.05, 0.02, 0.00, 0.10}};
  for (const auto& e : expectations) {
    SCOPED_TRACE(e.Channel);
    EXPECT_NEAR(sum[e.Channel] / samples, e.Mean, e.MeanTolerance);
    EXPECT_GE(low[e.Channel], e.Low - 1e-4);
    EXPECT_LE(high[e.Channel], e.High + 1e-4);
    EXPECT_GT(high[e.Channel], low[e.Channel]);  // it moves
  }
  // The tank levels really wander, not just jitter.
  EXPECT_GT(high[2] - low[2], 0.15);
  EXPECT_GT(high[3] - low[3], 0.15);
}

TEST(DconProcessModel, CountsDependOnSeedAddressAndTimeOnly) {
  ProcessModel polledOften(5, 0x01);
  for (int step = 0; step <= 600; ++step) polledOften.CountsAt(step * 0.1);
  ProcessModel polledOnce(5, 0x01);
  EXPECT_EQ(polledOften.CountsAt(60.05), polledOnce.CountsAt(60.05));

  const auto later = polledOnce.CountsAt(90);
  EXPECT_EQ(polledOnce.CountsAt(30), later);  // time does not run backwards
  EXPECT_NE(ProcessModel(5, 0x01).CountsAt(0), later);
  EXPECT_NE(ProcessModel(5, 0x02).CountsAt(90), later);
  EXPECT_NE(ProcessModel(6, 0x01).CountsAt(90), later);
}

// --- line framing and pacing -------------------------------------------------

TEST(DconLineFraming, CutsLinesAndTimesTheirFirstByteAndCr) {
  LineAssembler assembler;
  std::vector<ReceivedLine> lines;
  assembler.Feed("\n\r$0", 100, lines);  // stray LF and empty line: no line, no start
  EXPECT_TRUE(lines.empty());
  assembler.Feed("1A", 200, lines);
  assembler.Feed("\r\n#030+1\n2.500\r$02", 300, lines);
  assembler.Feed("A\r", 400, lines);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].Text, "$01A");
  EXPECT_EQ(lines[0].WireLength, 5u);
  EXPECT_EQ(lines[0].FirstNs, 100);
  EXPECT_EQ(lines[0].CrNs, 300);
  EXPECT_EQ(lines[1].Text, "#030+12.500");
  EXPECT_EQ(lines[1].WireLength, 12u);
  EXPECT_EQ(lines[1].FirstNs, 300);
  EXPECT_EQ(lines[1].CrNs, 300);
  EXPECT_EQ(lines[2].Text, "$02A");
  EXPECT_EQ(lines[2].FirstNs, 300);
  EXPECT_EQ(lines[2].CrNs, 400);
  for (const ReceivedLine& line : lines) EXPECT_FALSE(line.Overlong);
}

TEST(DconLineFraming, OverlongLinesAreMarkedAndKeptSmall) {
  LineAssembler assembler;
  std::vector<ReceivedLine> lines;
  const std::string longest(LineAssembler::kMaxLineLength, 'x');
  assembler.Feed(longest + "\r" + longest + "y\r", 1, lines);
  // A 100000-byte line in pieces, then a normal command.
  const std::string chunk(1000, 'z');
  for (int i = 0; i < 100; ++i) assembler.Feed(chunk, 2, lines);
  assembler.Feed("\r$01A\r", 3, lines);

  ASSERT_EQ(lines.size(), 4u);
  EXPECT_FALSE(lines[0].Overlong);
  EXPECT_EQ(lines[0].Text, longest);
  EXPECT_TRUE(lines[1].Overlong);
  EXPECT_TRUE(lines[2].Overlong);
  EXPECT_EQ(lines[2].Text.size(), LineAssembler::kMaxLineLength);
  EXPECT_EQ(lines[2].WireLength, 100001u);
  EXPECT_FALSE(lines[3].Overlong);
  EXPECT_EQ(lines[3].Text, "$01A");
}

TEST(DconLinePacing, AnswerFollowsTheCommandAtLineSpeed) {
  const LineTiming timing{9600, true, 1.0};
  const int64_t charNs = timing.CharNs();
  EXPECT_EQ(charNs, 1'041'666);
  ReceivedLine command;
  command.Text = "$01A";
  command.WireLength = 5;
  command.FirstNs = 1'000'000'000;
  command.CrNs = command.FirstNs;  // a pty hands over the whole line at once
  AnswerPlan plan;
  plan.Send = true;
  plan.Bytes = std::string(33, '0') + "\r";

  const AnswerSchedule onTime(timing, command, plan, command.CrNs);
  EXPECT_EQ(onTime.StartNs(), command.FirstNs + 5 * charNs + 1'000'000);
  EXPECT_EQ(onTime.ByteDueNs(0), onTime.StartNs() + charNs);
  EXPECT_EQ(onTime.ByteDueNs(33), onTime.StartNs() + 34 * charNs);
  EXPECT_GE(onTime.ByteDueNs(33) - command.FirstNs, 35'000'000);

  // A responder still busy with an earlier answer starts when it is free.
  const AnswerSchedule busy(timing, command, plan, command.CrNs + 500'000'000);
  EXPECT_EQ(busy.StartNs(), command.CrNs + 500'000'000);

  plan.DelayMs = 1500;
  plan.SplitAt = 17;
  plan.SplitPauseMs = 200;
  const AnswerSchedule faulty(timing, command, plan, command.CrNs);
  EXPECT_EQ(faulty.StartNs(), onTime.StartNs() + 1'500'000'000);
  EXPECT_EQ(faulty.ByteDueNs(16), faulty.StartNs() + 17 * charNs);
  EXPECT_EQ(faulty.ByteDueNs(17), faulty.StartNs() + 18 * charNs + 200'000'000);

  const AnswerSchedule unpaced({9600, false, 1.0}, command, plan, command.CrNs);
  EXPECT_EQ(unpaced.StartNs(), command.CrNs + 1'500'000'000);
  EXPECT_EQ(unpaced.ByteDueNs(0), unpaced.StartNs());
  EXPECT_EQ(unpaced.ByteDueNs(16), unpaced.StartNs());
  EXPECT_EQ(unpaced.ByteDueNs(17), unpaced.StartNs() + 200'000'000);
}

// --- command log ------------------------------------------------------------

TEST(DconCommandLog, RecordsAreTabSeparatedWithEscapedBytes) {
  EXPECT_EQ(FormatMonotonic(1'234'567'890'123), "1234.567890");
  EXPECT_EQ(FormatMonotonic(999), "0.000000");
  EXPECT_EQ(EscapeBytes(std::string("a\tb\\c\r\n\x7F\xFF", 9)), "a\\x09b\\x5Cc\\x0D\\x0A\\x7F\\xFF");
  EXPECT_EQ(EscapeBytes(std::string("\0$", 2)), "\\x00$");

  CommandRecord answered{1'000'000'000, 1'000'100'000, 1'042'000'000, 1, "$01A", ">0247\r"};
  EXPECT_EQ(FormatCommandRecord(answered), "1.000000\t1.000100\t1.042000\t1\t$01A\t>0247");
  CommandRecord withoutCr{5'000'000, 6'000'000, 7'000'000, 0, "$01A", ">02\r\r"};
  EXPECT_EQ(FormatCommandRecord(withoutCr), "0.005000\t0.006000\t0.007000\t0\t$01A\t>02\\x0D");
  CommandRecord unanswered{5'000'000, 6'000'000, 6'000'000, 0, "$09\tA", std::nullopt};
  EXPECT_EQ(FormatCommandRecord(unanswered), "0.005000\t0.006000\t0.006000\t0\t$09\\x09A\t-");
}

// --- command line -----------------------------------------------------------

bool Parse(const std::vector<std::string>& args, SimOptions& options, std::string& error) {
  return ParseSimOptions(args, options, error);
}

TEST(DconSimOptions, DefaultsGiveTwoInputAndTwoOutputModules) {
  SimOptions options;
  std::string error;
  ASSERT_TRUE(Parse({"--pty", "/tmp/x"}, options, error)) << error;
  ASSERT_EQ(options.Buses.size(), 1u);
  EXPECT_EQ(options.Buses[0].Path, "/tmp/x");
  EXPECT_EQ(options.Timing.Baud, 9600);
  EXPECT_TRUE(options.Timing.Pace);
  EXPECT_EQ(options.Timing.TurnaroundMs, 1.0);
  EXPECT_EQ(options.Simulation.FaultRate, 1.0);
  EXPECT_TRUE(options.LogPath.empty());
  std::vector<std::pair<int, ModuleKind>> modules;
  for (const ModuleSetup& module : options.Simulation.Modules) {
    modules.emplace_back(module.Address, module.Kind);
    EXPECT_FALSE(module.FixedChannels);
    EXPECT_FALSE(module.Faults.Any());
  }
  EXPECT_EQ(modules, (std::vector<std::pair<int, ModuleKind>>{{1, ModuleKind::kInput},
                                                              {2, ModuleKind::kInput},
                                                              {3, ModuleKind::kOutput},
                                                              {4, ModuleKind::kOutput}}));
}

TEST(DconSimOptions, EveryOptionLandsWhereItBelongs) {
  SimOptions options;
  std::string error;
  ASSERT_TRUE(Parse({"--pty",
                     "/tmp/a",
                     "--port",
                     "/dev/ttyUSB0",
                     "--baud",
                     "19200",
                     "--no-pace",
                     "--turnaround",
                     "0.5",
                     "--in",
                     "1",
                     "--in",
                     "0a",
                     "--out",
                     "FF",
                     "--fixed",
                     std::string("01=") + kFixed01,
                     "--seed",
                     "42",
                     "--silent",
                     "ff",
                     "--late",
                     "0A=1500",
                     "--garbage",
                     "01",
                     "--reject",
                     "01",
                     "--split",
                     "01=20",
                     "--no-cr",
                     "0A",
                     "--long",
                     "0A=20000",
                     "--flap",
                     "01=3:1.5",
                     "--fault-rate",
                     "0.1",
                     "--log",
                     "-",
                     "--verbose"},
                    options, error))
      << error;
  ASSERT_EQ(options.Buses.size(), 2u);
  EXPECT_EQ(options.Buses[0].Type, BusSetup::Kind::kPty);
  EXPECT_EQ(options.Buses[1].Type, BusSetup::Kind::kPort);
  EXPECT_EQ(options.Buses[1].Path, "/dev/ttyUSB0");
  EXPECT_EQ(options.Timing.Baud, 19200);
  EXPECT_FALSE(options.Timing.Pace);
  EXPECT_EQ(options.Timing.TurnaroundMs, 0.5);
  EXPECT_EQ(options.Simulation.Seed, 42u);
  EXPECT_EQ(options.Simulation.FaultRate, 0.1);
  EXPECT_EQ(options.LogPath, "-");
  EXPECT_TRUE(options.Verbose);

  ASSERT_EQ(options.Simulation.Modules.size(), 3u);
  const ModuleSetup& in01 = options.Simulation.Modules[0];
  const ModuleSetup& in0A = options.Simulation.Modules[1];
  const ModuleSetup& outFF = options.Simulation.Modules[2];
  EXPECT_EQ(in01.Address, 0x01);
  EXPECT_EQ(in01.FixedChannels, kFixed01);
  EXPECT_TRUE(in01.Faults.Garbage && in01.Faults.Reject && !in01.Faults.Silent);
  EXPECT_EQ(in01.Faults.SplitMs, 20.0);
  EXPECT_EQ(in01.Faults.FlapOnSeconds, 3.0);
  EXPECT_EQ(in01.Faults.FlapOffSeconds, 1.5);
  EXPECT_EQ(in0A.Address, 0x0A);
  EXPECT_EQ(in0A.Faults.LateMs, 1500);
  EXPECT_TRUE(in0A.Faults.NoCr);
  EXPECT_EQ(in0A.Faults.LongLength, 20000);
  EXPECT_EQ(outFF.Kind, ModuleKind::kOutput);
  EXPECT_TRUE(outFF.Faults.Silent);
}

TEST(DconSimOptions, RefusesWhatItCannotUse) {
  const std::string fixed = std::string("01=") + kFixed01;
  const struct {
    std::vector<std::string> Args;
    const char* Reason;
  } cases[] = {
      {{}, "no bus"},
      {{"--in", "01"}, "no bus"},
      {{"--pty", "/tmp/a", "--frobnicate"}, "unknown argument: --frobnicate"},
      {{"--pty"}, "--pty needs a value"},
      {{"--pty", "/tmp/a", "--in", "G1"}, "not a module address"},
      {{"--pty", "/tmp/a", "--in", "100"}, "not a module address"},
      {{"--pty", "/tmp/a", "--in", "01", "--out", "1"}, "address 01 given twice"},
      {{"--pty", "/tmp/a", "--fixed", "05=" + std::string(32, '0')}, "--fixed 05"},
      {{"--pty", "/tmp/a", "--fixed", "03=" + std::string(32, '0')}, "--fixed 03"},  // an output module
      {{"--pty", "/tmp/a", "--fixed", "01=0247"}, "--fixed"},
      {{"--pty", "/tmp/a", "--fixed", "01=" + std::string(31, '0') + "G"}, "--fixed"},
      {{"--pty", "/tmp/a", "--silent", "07"}, "fault for 07"},
      {{"--pty", "/tmp/a", "--late", "01"}, "--late"},
      {{"--pty", "/tmp/a", "--late", "01=-5"}, "--late"},
      {{"--pty", "/tmp/a", "--split", "01=x"}, "--split"},
      {{"--pty", "/tmp/a", "--long", "01=0"}, "--long"},
      {{"--pty", "/tmp/a", "--flap", "01=1"}, "--flap"},
      {{"--pty", "/tmp/a", "--flap", "01=0:0"}, "--flap"},
      {{"--pty", "/tmp/a", "--fault-rate", "1.5"}, "--fault-rate"},
      {{"--pty", "/tmp/a", "--baud", "0"}, "--baud"},
      {{"--pty", "/tmp/a", "--baud", "96OO"}, "--baud"},
      {{"--pty", "/tmp/a", "--turnaround", "nan"}, "--turnaround"},
      {{"--pty", "/tmp/a", "--fixed", fixed, "--in", "02"}, "--fixed 01"},  // 01 not among the modules given
  };
  for (const auto& c : cases) {
    SimOptions options;
    std::string error;
    std::string joined;
    for (const std::string& arg : c.Args) joined += arg + " ";
    SCOPED_TRACE(joined);
    EXPECT_FALSE(Parse(c.Args, options, error));
    EXPECT_NE(error.find(c.Reason), std::string::npos) << error;
  }
}

// --- the running simulator --------------------------------------------------

using Clock = std::chrono::steady_clock;
constexpr auto kDeadline = std::chrono::seconds(10);

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::max<int64_t>(0, left));
}

// Waits until fd is readable or the deadline passes; false on the deadline.
bool WaitReadable(int fd, Clock::time_point deadline) {
  pollfd pfd{fd, POLLIN, 0};
  while (true) {
    const int ready = poll(&pfd, 1, RemainingMs(deadline));
    if (ready > 0) return true;
    if (ready == 0 || Clock::now() >= deadline) return false;
  }
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "dcon-sim-test-XXXXXX").string();
    m_path = mkdtemp(pattern.data());
  }
  ~TempDir() { std::filesystem::remove_all(m_path); }
  std::string operator/(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

// The simulator as a child process: its stdout read line by line, stopped
// with a signal.
class SimProcess {
 public:
  ~SimProcess() {
    if (m_pid > 0) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
    if (m_stdout >= 0) close(m_stdout);
  }

  // Starts it and reads its "bus N: PATH" lines up to "ready".
  bool Start(const std::vector<std::string>& args, const std::string& stderrPath) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> all{DCON_SIM_BIN};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int spawned = posix_spawn(&m_pid, DCON_SIM_BIN, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    m_stdout = pipeFds[0];
    if (spawned != 0) {
      m_pid = -1;
      return false;
    }
    const auto deadline = Clock::now() + kDeadline;
    while (std::optional<std::string> line = ReadLine(deadline)) {
      if (*line == "ready") return true;
      m_busPaths.push_back(line->substr(line->find(": ") + 2));
    }
    return false;
  }

  const std::vector<std::string>& BusPaths() const { return m_busPaths; }

  void Signal(int signal) { kill(m_pid, signal); }

  // The next stdout line, or nullopt at the deadline or the end of output.
  std::optional<std::string> ReadLine(Clock::time_point deadline) {
    while (true) {
      const size_t newline = m_buffer.find('\n');
      if (newline != std::string::npos) {
        std::string line = m_buffer.substr(0, newline);
        m_buffer.erase(0, newline + 1);
        return line;
      }
      if (!WaitReadable(m_stdout, deadline)) return std::nullopt;
      char chunk[4096];
      const ssize_t count = read(m_stdout, chunk, sizeof chunk);
      if (count <= 0) return std::nullopt;
      m_buffer.append(chunk, static_cast<size_t>(count));
    }
  }

  // Signals it and collects the rest of stdout up to its end; the exit code,
  // or -1 when it did not end before the deadline.
  int StopWith(int signal, std::vector<std::string>& lastLines) {
    Signal(signal);
    const auto deadline = Clock::now() + kDeadline;
    while (std::optional<std::string> line = ReadLine(deadline)) lastLines.push_back(*line);
    if (Clock::now() >= deadline) return -1;
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t m_pid = -1;
  int m_stdout = -1;
  std::string m_buffer;
  std::vector<std::string> m_busPaths;
};

// The console's side of one line, opened through the simulator's symlink the
// way a console opens a serial port.
class ConsolePort {
 public:
  explicit ConsolePort(const std::string& path) {
    m_fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0) return;
    termios settings{};
    tcgetattr(m_fd, &settings);
    cfmakeraw(&settings);
    tcsetattr(m_fd, TCSANOW, &settings);
  }
  ~ConsolePort() {
    if (m_fd >= 0) close(m_fd);
  }
  bool IsOpen() const { return m_fd >= 0; }

  bool Send(const std::string& bytes) {
    size_t done = 0;
    const auto deadline = Clock::now() + kDeadline;
    while (done < bytes.size()) {
      const ssize_t count = write(m_fd, bytes.data() + done, bytes.size() - done);
      if (count > 0) {
        done += static_cast<size_t>(count);
        continue;
      }
      pollfd pfd{m_fd, POLLOUT, 0};
      if (poll(&pfd, 1, RemainingMs(deadline)) <= 0) return false;
    }
    return true;
  }

  // Bytes up to and including the next CR; what came so far when the deadline passes.
  std::string ReadLine(Clock::time_point deadline) {
    std::string line;
    while (line.empty() || line.back() != '\r') {
      if (!WaitReadable(m_fd, deadline)) break;
      char c;
      if (read(m_fd, &c, 1) == 1) line += c;
    }
    return line;
  }

  // At least count bytes, or what came so far when the deadline passes.
  std::string ReadAtLeast(size_t count, Clock::time_point deadline) {
    std::string bytes;
    while (bytes.size() < count && WaitReadable(m_fd, deadline)) bytes += ReadAvailable();
    return bytes;
  }

  // Whatever has arrived by now, without waiting.
  std::string ReadAvailable() {
    std::string bytes;
    char chunk[4096];
    ssize_t count;
    while ((count = read(m_fd, chunk, sizeof chunk)) > 0) bytes.append(chunk, static_cast<size_t>(count));
    return bytes;
  }

  std::string Exchange(const std::string& command) {
    if (!Send(command)) return "(not sent)";
    return ReadLine(Clock::now() + kDeadline);
  }

 private:
  int m_fd = -1;
};

std::vector<std::vector<std::string>> ReadLogRecords(const std::string& path) {
  std::vector<std::vector<std::string>> records;
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    std::vector<std::string> fields;
    std::stringstream stream(line);
    std::string field;
    while (std::getline(stream, field, '\t')) fields.push_back(field);
    records.push_back(fields);
  }
  return records;
}

double MonotonicSeconds() {
  return static_cast<double>(MonotonicNs()) / 1e9;
}

TEST(DconSimProcess, PacedExchangeIsLoggedAndTheLinksGoAtTheEnd) {
  TempDir dir;
  SimProcess sim;
  ASSERT_TRUE(sim.Start({"--pty", dir / "in", "--pty", dir / "out", "--fixed", std::string("01=") + kFixed01,
                         "--log", dir / "commands.tsv"},
                        dir / "stderr.txt"));
  ASSERT_EQ(sim.BusPaths().size(), 2u);
  EXPECT_EQ(std::filesystem::read_symlink(dir / "in"), sim.BusPaths()[0]);
  EXPECT_EQ(std::filesystem::read_symlink(dir / "out"), sim.BusPaths()[1]);

  ConsolePort inputs(dir / "in");
  ConsolePort outputs(dir / "out");
  ASSERT_TRUE(inputs.IsOpen() && outputs.IsOpen());

  // Nobody lives at 09, so the first answer back is the one for 01.
  const double sent = MonotonicSeconds();
  const auto started = Clock::now();
  EXPECT_EQ(inputs.Exchange("$09A\r$01A\r"), std::string(">") + kFixed01 + "\r");
  // 5 command and 34 answer characters at 9600 baud.
  EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(39));
  ExpectModelAnswer(inputs.Exchange("$02A\r"));

  EXPECT_EQ(outputs.Exchange("#030+12.500\r"), ">\r");
  EXPECT_EQ(outputs.Exchange("#045+01.000\r"), "?04\r");

  sim.Signal(SIGUSR1);
  EXPECT_EQ(sim.ReadLine(Clock::now() + kDeadline), "out 03 0 12.500");

  std::vector<std::string> lastLines;
  EXPECT_EQ(sim.StopWith(SIGTERM, lastLines), 0);
  EXPECT_EQ(lastLines, std::vector<std::string>{"out 03 0 12.500"});
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir / "in")));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir / "out")));

  const auto records = ReadLogRecords(dir / "commands.tsv");
  ASSERT_EQ(records.size(), 5u);
  for (const auto& record : records) ASSERT_EQ(record.size(), 6u);
  const auto time = [](const std::string& field) { return std::stod(field); };
  EXPECT_EQ(records[0][3], "0");
  EXPECT_EQ(records[0][4], "$09A");
  EXPECT_EQ(records[0][5], "-");
  EXPECT_EQ(records[0][2], records[0][1]);
  EXPECT_GE(time(records[0][0]), sent - 1e-6);  // the same clock as ours
  EXPECT_EQ(records[1][4], "$01A");
  EXPECT_EQ(records[1][5], std::string(">") + kFixed01);
  EXPECT_LE(time(records[1][0]), time(records[1][1]));
  EXPECT_GE(time(records[1][2]) - time(records[1][0]), 0.035);
  EXPECT_EQ(records[3][3], "1");
  EXPECT_EQ(records[3][4], "#030+12.500");
  EXPECT_EQ(records[3][5], ">");
  EXPECT_EQ(records[4][5], "?04");
}

TEST(DconSimProcess, FaultyModulesAndHostileInputDoNotStopTheLine) {
  TempDir dir;
  SimProcess sim;
  ASSERT_TRUE(sim.Start({"--pty",
                         dir / "bus",
                         "--no-pace",
                         "--in",
                         "01",
                         "--in",
                         "05",
                         "--in",
                         "06",
                         "--in",
                         "07",
                         "--in",
                         "08",
                         "--in",
                         "09",
                         "--fixed",
                         std::string("01=") + kFixed01,
                         "--fixed",
                         std::string("07=") + kFixed01,
                         "--silent",
                         "05",
                         "--garbage",
                         "06",
                         "--no-cr",
                         "07",
                         "--late",
                         "08=300",
                         "--split",
                         "09=200"},
                        dir / "stderr.txt"));
  const std::string answer01 = std::string(">") + kFixed01 + "\r";
  {
    ConsolePort port(dir / "bus");
    ASSERT_TRUE(port.IsOpen());
    EXPECT_EQ(port.Exchange("$05A\r$01A\r"), answer01);
    const std::string garbage = port.Exchange("$06A\r");
    ASSERT_EQ(garbage.size(), 34u) << garbage;
    EXPECT_EQ(std::count_if(garbage.begin(), garbage.end(), IsHex), 0) << garbage;
    // No CR after 07's answer: it runs into the next one.
    EXPECT_EQ(port.Exchange("$07A\r$01A\r"), std::string(">") + kFixed01 + answer01);

    auto started = Clock::now();
    ExpectModelAnswer(port.Exchange("$08A\r"));
    EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(300));
    started = Clock::now();
    ExpectModelAnswer(port.Exchange("$09A\r"));
    EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(200));

    // Overlong lines are dropped, even when they start like a command; binary
    // junk (no hex address in it) gets no answer either.
    EXPECT_TRUE(port.Send("$01" + std::string(LineAssembler::kMaxLineLength - 2, 'x') + "\r"));
    EXPECT_TRUE(port.Send("$01" + std::string(100000, 'x') + "\r"));
    std::string junk;
    for (int byte = 0x80; byte <= 0xFF; ++byte) junk += static_cast<char>(byte);
    junk += std::string("\x00\x01\x1B\x7F", 4);
    EXPECT_EQ(port.Exchange(junk + "\r\n$01A\r"), answer01);
    EXPECT_EQ(port.ReadAvailable(), "");
  }
  // Closing and reopening the port, as a console restart does.
  ConsolePort reopened(dir / "bus");
  ASSERT_TRUE(reopened.IsOpen());
  EXPECT_EQ(reopened.Exchange("$01A\r"), answer01);

  std::vector<std::string> lastLines;
  EXPECT_EQ(sim.StopWith(SIGINT, lastLines), 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir / "bus")));
}

TEST(DconSimProcess, BusesAreServedIndependentlyAndStopPromptly) {
  TempDir dir;
  SimProcess sim;
  // Module 02's answer takes about 21 s at 9600 baud.
  ASSERT_TRUE(sim.Start({"--pty", dir / "a", "--pty", dir / "b", "--in", "01", "--in", "02", "--fixed",
                         std::string("01=") + kFixed01, "--long", "02=20000"},
                        dir / "stderr.txt"));
  ConsolePort a(dir / "a");
  ConsolePort b(dir / "b");
  ASSERT_TRUE(a.IsOpen() && b.IsOpen());
  ASSERT_TRUE(a.Send("$02A\r"));
  // The long answer is under way on bus 0 ...
  const std::string first = a.ReadAtLeast(4, Clock::now() + kDeadline);
  EXPECT_EQ(first.rfind("0123", 0), 0u) << first;
  // ... and bus 1 answers meanwhile, long before bus 0 is done.
  EXPECT_EQ(b.Exchange("$01A\r"), std::string(">") + kFixed01 + "\r");
  const std::string more = a.ReadAvailable();
  EXPECT_EQ((first + more).find('\r'), std::string::npos);

  std::vector<std::string> lastLines;
  EXPECT_EQ(sim.StopWith(SIGTERM, lastLines), 0);
}

// Whether the pty behind "path" is in exclusive mode, as a newcomer finds it:
// 1 or 0, -1 when that cannot be told. Opening it also counts as a user of the
// line for the simulator, closing it as one gone.
int ExclusiveMode(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return errno == EBUSY ? 1 : -1;  // refused unless we are root
  int exclusive = -1;
  if (ioctl(fd, TIOCGEXCL, &exclusive) != 0) exclusive = -1;
  close(fd);
  return exclusive;
}

bool WaitForExclusiveMode(const std::string& path, int expected) {
  const auto deadline = Clock::now() + kDeadline;
  while (ExclusiveMode(path) != expected) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// A console opens its port exclusively (as a serial port is opened); the
// simulator's own hold on the pty would keep that claim after the console is
// gone, and a restarted console that is not root would find the port busy.
TEST(DconSimProcess, TheExclusiveClaimOfAConsoleEndsWithTheConsoleHoweverItEnds) {
  TempDir dir;
  SimProcess sim;
  ASSERT_TRUE(sim.Start({"--pty", dir / "in", "--fixed", std::string("01=") + kFixed01}, dir / "stderr.txt"));
  const std::string line = dir / "in";

  // Closed cleanly, without giving the claim up.
  const int fd = open(line.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(ioctl(fd, TIOCEXCL), 0);
  close(fd);
  EXPECT_TRUE(WaitForExclusiveMode(line, 0));

  // Killed while it holds the line.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t console = fork();
  ASSERT_GE(console, 0);
  if (console == 0) {
    const int fd = open(line.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    const char outcome = fd >= 0 && ioctl(fd, TIOCEXCL) == 0 ? 'y' : 'n';
    [[maybe_unused]] const ssize_t written = write(ready[1], &outcome, 1);
    for (;;) pause();
  }
  close(ready[1]);
  char outcome = 0;
  ASSERT_EQ(read(ready[0], &outcome, 1), 1);
  close(ready[0]);
  EXPECT_EQ(outcome, 'y');
  // Not while the console lives: its claim stands.
  EXPECT_EQ(ExclusiveMode(line), 1);
  kill(console, SIGKILL);
  waitpid(console, nullptr, 0);
  EXPECT_TRUE(WaitForExclusiveMode(line, 0));

  // And the line still serves the next console.
  ConsolePort next(line);
  ASSERT_TRUE(next.IsOpen());
  EXPECT_EQ(next.Exchange("$01A\r"), std::string(">") + kFixed01 + "\r");
  std::vector<std::string> lastLines;
  EXPECT_EQ(sim.StopWith(SIGTERM, lastLines), 0);
}

}  // namespace
