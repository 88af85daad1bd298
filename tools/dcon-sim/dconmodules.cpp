#include "dconmodules.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "simrandom.h"

namespace {

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return c - 'a' + 10;
}

// Lines that start like a module's answer are other modules talking on the
// same wire; a module never reacts to them. Besides being what real modules do,
// this stops a ping-pong when someone points an echoing terminal at the port.
bool LooksLikeAnswer(char first) {
  return first == '>' || first == '?' || first == '!';
}

// The address a command line is meant for: the two hex digits after its first
// character.
std::optional<int> CommandAddress(std::string_view command) {
  if (command.size() < 3 || LooksLikeAnswer(command[0])) return std::nullopt;
  return ParseAddress(command.substr(1, 2));
}

std::string Rejection(int address) {
  // Appended rather than written as "?" + AddressText(...): at -O3 (Release)
  // GCC 12 inlines operator+(const char*, string&&) into a memcpy it wrongly
  // reports as overlapping (-Wrestrict), which breaks the -Werror build.
  std::string answer = "?";
  answer += AddressText(address);
  return answer;
}

}  // namespace

struct SimulatedModules::Module {
  ModuleSetup Setup;
  std::optional<ProcessModel> Process;  // input modules without fixed channels
};

std::optional<double> ParseValueText(std::string_view text) {
  std::string_view digits = text;
  bool negative = false;
  if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
    negative = digits[0] == '-';
    digits.remove_prefix(1);
  }
  int digitCount = 0;
  int pointCount = 0;
  for (char c : digits) {
    if (c >= '0' && c <= '9') {
      ++digitCount;
    } else if (c == '.') {
      ++pointCount;
    } else {
      return std::nullopt;
    }
  }
  if (digitCount == 0 || pointCount > 1) return std::nullopt;

  double value = 0;
  const auto [end, error] =
      std::from_chars(digits.data(), digits.data() + digits.size(), value, std::chars_format::fixed);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return negative ? -value : value;
}

std::string AddressText(int address) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", address & 0xFF);
  return text;
}

std::optional<int> ParseAddress(std::string_view text) {
  if (text.empty() || text.size() > 2) return std::nullopt;
  int address = 0;
  for (char c : text) {
    if (!IsHexDigit(c)) return std::nullopt;
    address = address * 16 + HexValue(c);
  }
  return address;
}

std::string FormatOutputLine(const OutputChannelValue& value) {
  char text[64];
  std::snprintf(text, sizeof text, "out %s %d %.3f", AddressText(value.Address).c_str(), value.Channel,
                value.Value);
  return text;
}

SimulatedModules::SimulatedModules(const SimulationSetup& setup)
    : m_faultRate(setup.FaultRate), m_faultRandomState(setup.Seed ^ 0x5DEECE66DULL) {
  for (const ModuleSetup& moduleSetup : setup.Modules) {
    auto module = std::make_unique<Module>();
    module->Setup = moduleSetup;
    if (moduleSetup.Kind == ModuleKind::kInput && !moduleSetup.FixedChannels)
      module->Process.emplace(setup.Seed, moduleSetup.Address);
    m_modules[moduleSetup.Address] = std::move(module);
  }
}

SimulatedModules::~SimulatedModules() = default;

double SimulatedModules::NextUniform() {
  return UnitUniform(m_faultRandomState);
}

std::string SimulatedModules::GarbageText() {
  // Printable, never a hexadecimal digit: every channel group of such an answer
  // is unreadable, whatever its length.
  static constexpr std::string_view kAlphabet =
      "!\"#$%&'()*+,-./:;<=>?@GHIJKLMNOPQRSTUVWXYZ[\\]^_`ghijklmnopqrstuvwxyz{|}~";
  std::string text;
  for (size_t i = 0; i < kGarbageLength; ++i)
    text += kAlphabet[static_cast<size_t>(NextUniform() * kAlphabet.size())];
  return text;
}

std::string SimulatedModules::Execute(Module& module, std::string_view command, double elapsedSeconds) {
  const int address = module.Setup.Address;
  if (module.Setup.Kind == ModuleKind::kInput) {
    if (command.size() != 4 || command[0] != '$' || command[3] != 'A') return Rejection(address);
    if (module.Setup.FixedChannels) return ">" + *module.Setup.FixedChannels;
    std::string answer = ">";
    for (int count : module.Process->CountsAt(elapsedSeconds)) {
      char group[8];
      std::snprintf(group, sizeof group, "%04X", count);
      answer += group;
    }
    return answer;
  }

  // #AAN(data): one channel digit, then the value text.
  if (command.size() < 5 || command[0] != '#') return Rejection(address);
  const char channelDigit = command[3];
  if (channelDigit < '0' || channelDigit > '0' + kOutputChannelLimit) return Rejection(address);
  const std::optional<double> value = ParseValueText(command.substr(4));
  if (!value) return Rejection(address);
  m_outputValues[{address, channelDigit - '0'}] = *value;
  return ">";
}

AnswerPlan SimulatedModules::Respond(std::string_view command, double elapsedSeconds) {
  const std::optional<int> address = CommandAddress(command);
  if (!address) return {};

  std::lock_guard lock(m_mutex);
  const auto found = m_modules.find(*address);
  if (found == m_modules.end()) return {};
  Module& module = *found->second;
  const ModuleFaults& faults = module.Setup.Faults;

  // The draw happens for every command to a faulty module, so that a seed
  // reproduces the same pattern of faults for the same command sequence.
  const bool faulty = faults.Any() && NextUniform() < m_faultRate;
  if (faulty && faults.Silent) return {};
  if (faulty && faults.FlapOnSeconds) {
    const double period = *faults.FlapOnSeconds + faults.FlapOffSeconds;
    if (period > 0 && std::fmod(std::max(0.0, elapsedSeconds), period) >= *faults.FlapOnSeconds) return {};
  }

  // A rejecting module takes nothing in; the others still act on the command
  // even when their answer is then mangled.
  std::string text = faulty && faults.Reject ? Rejection(*address) : Execute(module, command, elapsedSeconds);
  if (faulty && faults.Garbage) text = GarbageText();
  if (faulty && faults.LongLength) {
    text.clear();
    for (int i = 0; i < *faults.LongLength; ++i) text += static_cast<char>('0' + i % 10);
  }

  AnswerPlan plan;
  plan.Send = true;
  plan.Bytes = std::move(text);
  if (!(faulty && faults.NoCr)) plan.Bytes += '\r';
  if (faulty) {
    plan.DelayMs = faults.LateMs;
    if (faults.SplitMs) {
      plan.SplitAt = plan.Bytes.size() / 2;
      plan.SplitPauseMs = *faults.SplitMs;
    }
  }
  return plan;
}

std::vector<OutputChannelValue> SimulatedModules::OutputValues() const {
  std::lock_guard lock(m_mutex);
  std::vector<OutputChannelValue> values;
  for (const auto& [key, value] : m_outputValues) values.push_back({key.first, key.second, value});
  return values;
}
