#pragma once

#include <QString>
#include <QStringView>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>

#include "common/tdatetime.h"
#include "configuration/setting.h"
#include "fieldbus/portkeeper.h"

class TConfig;
class TICPLink;
struct ProcessState;
struct ThreadControl;

inline constexpr int kInputModuleCount = 2;
inline constexpr int kInputChannelCount = 8;

// The last answer taken from each input module (real or emulated), for the
// hardware monitor. Written by the read thread only.
struct ModuleAnswers {
  std::array<std::atomic<TDateTime>, kInputModuleCount> Time{};  // 0 until the first answer
  std::array<Setting<QString>, kInputModuleCount> Text;          // without the carriage return
};

// Raised for a text that is not hexadecimal.
class HexFormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The text as a hexadecimal number (an empty text is 0), cut to its lowest 16
// bits; with "clamp" a value with bit 15 set (a negative reading) becomes 0.
// Throws HexFormatError when the text holds anything but hexadecimal digits
// or does not fit 32 bits.
uint16_t ParseHexWord(QStringView text, bool clamp);

// The eight channel counts of an answer "?HHHH...": the first character is
// skipped, then four characters a channel; groups past the end of a short
// answer are short or empty. No value when a group is not hexadecimal.
std::optional<std::array<uint16_t, kInputChannelCount>> DecodeModuleAnswer(QStringView answer);

// "$AAA": the read command for the module at "address".
QString ReadCommand(int address);

// The read thread's work: polls both input modules and runs the rest of the
// acquisition cycle. Holds references only; everything it is handed must
// outlive it.
class TInputPolling {
 public:
  TInputPolling(TConfig& config, ProcessState& state, TICPLink& link, ModuleAnswers& answers,
                const std::atomic<bool>& emulationOn, std::function<TDateTime()> now);

  // One module (0 or 1): exchange, then its channels into RawValues.
  bool ReadModule(int module);
  // Both modules, always both; true when at least one answered.
  bool ReadModules();
  // The thread procedure: opens the link, cycles until StopRequest, closes it.
  // A port that does not open or goes away is tried again (TPortKeeper).
  void Run(ThreadControl& control);

  // For tests: the retry timing. Not while the thread runs.
  TPortKeeper& PortKeeper() { return m_portKeeper; }

 private:
  TConfig& m_config;
  ProcessState& m_state;
  TICPLink& m_link;
  ModuleAnswers& m_answers;
  const std::atomic<bool>& m_emulationOn;
  std::function<TDateTime()> m_now;
  TPortKeeper m_portKeeper;
};
