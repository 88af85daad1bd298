#include "simoptions.h"

#include <charconv>
#include <cmath>
#include <map>
#include <optional>
#include <string_view>

namespace {

std::optional<double> ParseNumber(std::string_view text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

template <typename Integer>
std::optional<Integer> ParseInteger(std::string_view text) {
  Integer value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool IsHexText(std::string_view text) {
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// Splits "ADDR=VALUE".
bool SplitAddressValue(std::string_view text, int& address, std::string_view& value) {
  const size_t equals = text.find('=');
  if (equals == std::string_view::npos) return false;
  const std::optional<int> parsed = ParseAddress(text.substr(0, equals));
  if (!parsed) return false;
  address = *parsed;
  value = text.substr(equals + 1);
  return true;
}

class Parser {
 public:
  Parser(const std::vector<std::string>& args, SimOptions& options, std::string& error)
      : m_args(args), m_options(options), m_error(error) {}

  bool Run();

 private:
  bool Fail(const std::string& reason) {
    m_error = reason;
    return false;
  }
  bool TakeValue(const std::string& option, std::string_view& value);
  bool AddModule(std::string_view text, ModuleKind kind);
  bool ParseFault(const std::string& option, std::string_view value);
  bool Assemble();

  const std::vector<std::string>& m_args;
  SimOptions& m_options;
  std::string& m_error;
  size_t m_next = 0;
  std::vector<ModuleSetup> m_modules;
  std::map<int, std::string> m_fixed;
  std::map<int, ModuleFaults> m_faults;
};

bool Parser::TakeValue(const std::string& option, std::string_view& value) {
  if (m_next >= m_args.size()) return Fail(option + " needs a value");
  value = m_args[m_next++];
  return true;
}

bool Parser::AddModule(std::string_view text, ModuleKind kind) {
  const std::optional<int> address = ParseAddress(text);
  if (!address) return Fail("not a module address (one or two hex digits): " + std::string(text));
  for (const ModuleSetup& module : m_modules) {
    if (module.Address == *address) return Fail("address " + AddressText(*address) + " given twice");
  }
  ModuleSetup module;
  module.Address = *address;
  module.Kind = kind;
  m_modules.push_back(module);
  return true;
}

bool Parser::ParseFault(const std::string& option, std::string_view value) {
  const auto bad = [&] { return Fail("bad value for " + option + ": " + std::string(value)); };

  if (option == "--silent" || option == "--garbage" || option == "--reject" || option == "--no-cr") {
    const std::optional<int> address = ParseAddress(value);
    if (!address) return bad();
    ModuleFaults& faults = m_faults[*address];
    if (option == "--silent") faults.Silent = true;
    if (option == "--garbage") faults.Garbage = true;
    if (option == "--reject") faults.Reject = true;
    if (option == "--no-cr") faults.NoCr = true;
    return true;
  }

  int address = 0;
  std::string_view parameter;
  if (!SplitAddressValue(value, address, parameter)) return bad();
  ModuleFaults& faults = m_faults[address];
  if (option == "--late" || option == "--split") {
    const std::optional<double> ms = ParseNumber(parameter);
    if (!ms || *ms < 0) return bad();
    if (option == "--late") faults.LateMs = *ms;
    if (option == "--split") faults.SplitMs = *ms;
    return true;
  }
  if (option == "--long") {
    const std::optional<int> length = ParseInteger<int>(parameter);
    if (!length || *length < 1 || *length > 10'000'000) return bad();
    faults.LongLength = *length;
    return true;
  }
  // --flap ADDR=ON_S:OFF_S
  const size_t colon = parameter.find(':');
  if (colon == std::string_view::npos) return bad();
  const std::optional<double> on = ParseNumber(parameter.substr(0, colon));
  const std::optional<double> off = ParseNumber(parameter.substr(colon + 1));
  if (!on || !off || *on < 0 || *off < 0 || *on + *off <= 0) return bad();
  faults.FlapOnSeconds = *on;
  faults.FlapOffSeconds = *off;
  return true;
}

bool Parser::Run() {
  while (m_next < m_args.size()) {
    const std::string option = m_args[m_next++];
    std::string_view value;
    if (option == "--help" || option == "-h") {
      m_options.Help = true;
      return true;
    } else if (option == "--version") {
      m_options.Version = true;
      return true;
    } else if (option == "--no-pace") {
      m_options.Timing.Pace = false;
    } else if (option == "--verbose") {
      m_options.Verbose = true;
    } else if (option == "--pty" || option == "--port") {
      if (!TakeValue(option, value)) return false;
      if (value.empty()) return Fail(option + " needs a path");
      m_options.Buses.push_back(
          {option == "--pty" ? BusSetup::Kind::kPty : BusSetup::Kind::kPort, std::string(value)});
    } else if (option == "--in" || option == "--out") {
      if (!TakeValue(option, value) ||
          !AddModule(value, option == "--in" ? ModuleKind::kInput : ModuleKind::kOutput))
        return false;
    } else if (option == "--baud") {
      if (!TakeValue(option, value)) return false;
      const std::optional<int> baud = ParseInteger<int>(value);
      if (!baud || *baud < 50 || *baud > 4'000'000)
        return Fail("bad value for --baud: " + std::string(value));
      m_options.Timing.Baud = *baud;
    } else if (option == "--turnaround") {
      if (!TakeValue(option, value)) return false;
      const std::optional<double> ms = ParseNumber(value);
      if (!ms || *ms < 0) return Fail("bad value for --turnaround: " + std::string(value));
      m_options.Timing.TurnaroundMs = *ms;
    } else if (option == "--seed") {
      if (!TakeValue(option, value)) return false;
      const std::optional<uint64_t> seed = ParseInteger<uint64_t>(value);
      if (!seed) return Fail("bad value for --seed: " + std::string(value));
      m_options.Simulation.Seed = *seed;
    } else if (option == "--fault-rate") {
      if (!TakeValue(option, value)) return false;
      const std::optional<double> rate = ParseNumber(value);
      if (!rate || *rate < 0 || *rate > 1) return Fail("bad value for --fault-rate: " + std::string(value));
      m_options.Simulation.FaultRate = *rate;
    } else if (option == "--log") {
      if (!TakeValue(option, value)) return false;
      if (value.empty()) return Fail("--log needs a file name or -");
      m_options.LogPath = value;
    } else if (option == "--fixed") {
      if (!TakeValue(option, value)) return false;
      int address = 0;
      std::string_view channels;
      if (!SplitAddressValue(value, address, channels) || channels.size() != 32 || !IsHexText(channels))
        return Fail("bad value for --fixed (ADDR=32 hex digits): " + std::string(value));
      m_fixed[address] = channels;
    } else if (option == "--silent" || option == "--garbage" || option == "--reject" || option == "--no-cr" ||
               option == "--late" || option == "--split" || option == "--long" || option == "--flap") {
      if (!TakeValue(option, value) || !ParseFault(option, value)) return false;
    } else {
      return Fail("unknown argument: " + option);
    }
  }
  return Assemble();
}

bool Parser::Assemble() {
  if (m_options.Buses.empty()) return Fail("no bus: give at least one --pty LINK or --port DEVICE");
  if (m_modules.empty()) {
    for (int address : {0x01, 0x02}) m_modules.push_back({address, ModuleKind::kInput, std::nullopt, {}});
    for (int address : {0x03, 0x04}) m_modules.push_back({address, ModuleKind::kOutput, std::nullopt, {}});
  }
  auto find = [this](int address) -> ModuleSetup* {
    for (ModuleSetup& module : m_modules) {
      if (module.Address == address) return &module;
    }
    return nullptr;
  };
  for (const auto& [address, channels] : m_fixed) {
    ModuleSetup* module = find(address);
    if (!module || module->Kind != ModuleKind::kInput)
      return Fail("--fixed " + AddressText(address) + ": no input module at that address");
    module->FixedChannels = channels;
  }
  for (const auto& [address, faults] : m_faults) {
    ModuleSetup* module = find(address);
    if (!module) return Fail("fault for " + AddressText(address) + ": no module at that address");
    module->Faults = faults;
  }
  m_options.Simulation.Modules = m_modules;
  return true;
}

}  // namespace

bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error) {
  options = SimOptions();
  return Parser(args, options, error).Run();
}

std::string SimUsage() {
  return R"(usage: dcon-sim (--pty LINK | --port DEVICE)... [options]

Plays I-7017 analog-input and I-7024 analog-output modules (DCON ASCII) on
one or more lines. Every line carries every module.

Lines:
  --pty LINK            new pseudo-terminal; LINK becomes a symlink to it
  --port DEVICE         serial device, raw 8N1 at --baud
  --baud N              line speed (default 9600)
  --no-pace             answer at once instead of at line speed
  --turnaround MS       module turnaround when pacing (default 1)

Modules (ADDR is hex, e.g. 01, 0A, FF):
  --in ADDR             I-7017 input module (repeatable)
  --out ADDR            I-7024 output module (repeatable)
                        without --in and --out: inputs 01 02, outputs 03 04
  --fixed ADDR=HHHH...  the input module answers > and these 32 hex digits
  --seed N              random seed of the process and the faults (default 1)

Faults (per module, repeatable, combinable):
  --silent ADDR         never answers
  --late ADDR=MS        answers MS milliseconds late
  --garbage ADDR        answers printable non-hex garbage
  --reject ADDR         answers ?AA to everything
  --split ADDR=MS       pauses MS milliseconds in the middle of the answer
  --no-cr ADDR          leaves out the closing CR
  --long ADDR=N         answers N digits
  --flap ADDR=ON:OFF    answers for ON seconds, then is silent for OFF seconds
  --fault-rate P        faults hit only this share of commands (default 1)

Output:
  --log FILE            command log, one tab-separated line per command (- = stdout)
  --verbose             command log lines also on stderr

  --help                this text;  --version  the version and commit

Signals: SIGUSR1 prints the output values; SIGINT/SIGTERM end the simulator.
)";
}
