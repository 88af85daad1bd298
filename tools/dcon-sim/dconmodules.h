#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "processmodel.h"

// Misbehaviour injected into one module. Every field is independent; a module
// may carry several at once.
struct ModuleFaults {
  bool Silent = false;                  // never answers
  double LateMs = 0;                    // extra delay before the answer
  bool Garbage = false;                 // answers printable non-hex text
  bool Reject = false;                  // answers ?AA to everything
  std::optional<double> SplitMs;        // pause in the middle of the answer
  bool NoCr = false;                    // answer without its closing CR
  std::optional<int> LongLength;        // answers this many digits instead
  std::optional<double> FlapOnSeconds;  // with FlapOffSeconds: on/off cycle
  double FlapOffSeconds = 0;

  bool Any() const {
    return Silent || LateMs > 0 || Garbage || Reject || SplitMs || NoCr || LongLength || FlapOnSeconds;
  }
};

enum class ModuleKind { kInput, kOutput };

struct ModuleSetup {
  int Address = 0;  // 0x00 .. 0xFF
  ModuleKind Kind = ModuleKind::kInput;
  std::optional<std::string> FixedChannels;  // input only: 32 hex digits answered as they are
  ModuleFaults Faults;
};

struct SimulationSetup {
  std::vector<ModuleSetup> Modules;
  uint64_t Seed = 1;
  double FaultRate = 1.0;  // share of commands, to faulty modules, that see their faults
};

// What a module puts on the line for one command.
struct AnswerPlan {
  bool Send = false;
  std::string Bytes;   // as they go on the wire, normally closed by CR
  double DelayMs = 0;  // before the first byte, on top of the line's own timing
  size_t SplitAt = 0;  // when SplitPauseMs is set: bytes before the pause
  double SplitPauseMs = 0;
};

struct OutputChannelValue {
  int Address = 0;
  int Channel = 0;
  double Value = 0;
};

// The value text of an analog-output command: an optional sign, decimal
// digits with at most one point, at least one digit ("+12.500", "-01.000",
// "+123.45", "7", ".5"). Anything else, exponents included, is refused.
std::optional<double> ParseValueText(std::string_view text);

// "AA" for an address: two upper-case hexadecimal digits.
std::string AddressText(int address);

// Parses one or two hexadecimal digits, either case; nullopt otherwise.
std::optional<int> ParseAddress(std::string_view text);

// "out AA N VALUE" (value with three decimals), as printed on SIGUSR1 and at exit.
std::string FormatOutputLine(const OutputChannelValue& value);

// Every module of one simulated RS-485 line: the DCON command handling of the
// I-7017 (input) and I-7024 (output) modules, their process and remembered
// output values, and the injected faults.
//
// Threads: Respond and OutputValues may be called from any thread; one mutex
// guards all module state and the fault random stream, so two buses that carry
// the same modules see one consistent set.
class SimulatedModules {
 public:
  static constexpr int kOutputChannelLimit = 4;
  static constexpr size_t kGarbageLength = 33;

  explicit SimulatedModules(const SimulationSetup& setup);
  ~SimulatedModules();

  // The module's reaction to one command line (without its CR) that reached
  // the line at elapsedSeconds after the start. Send is false when no module
  // answers: unknown address, not a command, or a silent module.
  AnswerPlan Respond(std::string_view command, double elapsedSeconds);

  // Every output channel that has received a value, by address and channel.
  std::vector<OutputChannelValue> OutputValues() const;

 private:
  struct Module;

  std::string Execute(Module& module, std::string_view command, double elapsedSeconds);
  std::string GarbageText();
  double NextUniform();

  mutable std::mutex m_mutex;  // guards everything below
  std::map<int, std::unique_ptr<Module>> m_modules;
  std::map<std::pair<int, int>, double> m_outputValues;
  double m_faultRate;
  uint64_t m_faultRandomState;
};
