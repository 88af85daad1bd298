// Fuzz target: an input module's answer line, as the read thread decodes it
// and distributes it into the raw value slots.

#include <cstddef>
#include <cstdint>

#include "common/cp1251.h"
#include "configuration/config.h"
#include "fieldbus/icplink.h"
#include "fieldbus/inputpolling.h"
#include "process/processstate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The line as the link delivers it: Windows-1251, cut at a zero byte.
  QString answer = FromCp1251(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  if (const qsizetype zero = answer.indexOf(QChar(0)); zero >= 0) answer.truncate(zero);

  const auto channels = DecodeModuleAnswer(answer);
  if (channels) {
    for (uint16_t value : *channels) {
      if (value > 0x7FFF) __builtin_trap();  // negative readings must have become 0
    }
  }

  static TConfig config;
  static ProcessState state;
  static TICPLink link;
  static ModuleAnswers answers;
  static std::atomic<bool> emulationOn{true};
  static TInputPolling polling(config, state, link, answers, emulationOn, [] { return 1.0; });
  config.EmulI7017Flag[0] = true;
  config.EmulI7017Answer[0] = answer;
  if (polling.ReadModule(0) != channels.has_value()) __builtin_trap();
  return 0;
}
