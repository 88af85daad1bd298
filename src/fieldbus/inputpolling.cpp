#include "fieldbus/inputpolling.h"

#include "configuration/config.h"
#include "fieldbus/cyclepacing.h"
#include "fieldbus/icplink.h"
#include "process/acquisition.h"
#include "process/dosing.h"
#include "process/processstate.h"
#include "storage/eventlog.h"

namespace {

int HexDigit(QChar c) {
  const char16_t u = c.unicode();
  if (u >= '0' && u <= '9') return u - '0';
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  if (u >= 'a' && u <= 'f') return u - 'a' + 10;
  return -1;
}

}  // namespace

uint16_t ParseHexWord(QStringView text, bool clamp) {
  uint32_t value = 0;
  for (QChar c : text) {
    const int digit = HexDigit(c);
    if (digit < 0) throw HexFormatError("not a hexadecimal number");
    if (value > 0x0FFFFFFFu) throw HexFormatError("hexadecimal number out of range");
    value = value * 16 + static_cast<uint32_t>(digit);
  }
  const auto word = static_cast<uint16_t>(value & 0xFFFFu);
  return clamp && (word & 0x8000u) ? 0 : word;
}

std::optional<std::array<uint16_t, kInputChannelCount>> DecodeModuleAnswer(QStringView answer) {
  std::array<uint16_t, kInputChannelCount> channels{};
  for (int k = 0; k < kInputChannelCount; ++k) {
    const qsizetype start = 1 + 4 * k;
    const QStringView group = start < answer.size() ? answer.mid(start, 4) : QStringView();
    try {
      channels[k] = ParseHexWord(group, true);
    } catch (const HexFormatError&) {
      return std::nullopt;
    }
  }
  return channels;
}

QString ReadCommand(int address) {
  return u'$' + QString::number(static_cast<uint32_t>(address), 16).toUpper().rightJustified(2, u'0') + u'A';
}

TInputPolling::TInputPolling(TConfig& config, ProcessState& state, TICPLink& link, ModuleAnswers& answers,
                             const std::atomic<bool>& emulationOn, std::function<TDateTime()> now)
    : m_config(config),
      m_state(state),
      m_link(link),
      m_answers(answers),
      m_emulationOn(emulationOn),
      m_now(std::move(now)),
      m_portKeeper(link, config.HardReadPort, config.ReadPortSpeed, config.PortRetrySec, u"Поток приема"_qs,
                   [](const QString& port) { return u"Поток приема: Не могу подключить порт "_qs + port; }) {}

bool TInputPolling::ReadModule(int module) {
  if (module < 0 || module >= kInputModuleCount) return false;
  const int address = module == 0 ? m_config.I7017_1_addr : m_config.I7017_2_addr;
  m_link.SetCmdString(ReadCommand(address));

  QString answer;
  if (m_config.EmulI7017Flag[module]) {
    answer = m_config.EmulI7017Answer[module].Get();
  } else if (!m_link.GetActive() || !m_link.SendCommand(answer)) {
    return false;
  }
  m_answers.Time[module].store(m_now());
  m_answers.Text[module] = answer;

  const auto channels = DecodeModuleAnswer(answer);
  if (!channels) return false;
  for (const auto& signal : m_config.InputSignals) {
    if (signal->Module != module) continue;
    const int chanel = signal->Chanel;
    const int slot = InputSlot(module, signal->RecIndex);
    // A hand-edited channel or index beyond the module's is skipped.
    if (chanel < 0 || chanel >= kInputChannelCount || slot < 0) continue;
    m_state.RawValues.Set(slot, static_cast<float>((*channels)[chanel]));
  }
  return true;
}

bool TInputPolling::ReadModules() {
  const bool first = ReadModule(0);
  const bool second = ReadModule(1);
  return first || second;
}

void TInputPolling::Run(ThreadControl& control) {
  // Emulated modules keep the cycle going while the port is away.
  const auto mayRunWithout = [this] { return m_emulationOn.load(); };
  if (!m_portKeeper.Open(control, mayRunWithout)) return;
  RunPacedCycles(
      control,
      [this] {
        return ReadModules() && TranslateIn(m_state, m_config) &&
               UpdateStateRecord(m_state, m_config, m_now()) && CalcWorks(m_state, m_config);
      },
      [&] { return m_portKeeper.Keep(control, mayRunWithout); });
  m_link.SetActive(false);
}
