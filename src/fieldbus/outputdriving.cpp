#include "fieldbus/outputdriving.h"

#include <algorithm>
#include <cmath>

#include "common/formatfloat.h"
#include "configuration/config.h"
#include "fieldbus/cyclepacing.h"
#include "fieldbus/icplink.h"
#include "fieldbus/threadcontrol.h"
#include "process/processstate.h"
#include "storage/eventlog.h"

namespace {

constexpr double kLargestOutputText = 99.999;

}  // namespace

QString OutputValueText(double value) {
  if (std::isnan(value)) return QStringLiteral("+00.000");
  const double magnitude = std::min(std::fabs(value), kLargestOutputText);
  // The default settings write a point whatever the system's locale.
  const QString digits = FormatFloat(QStringLiteral("00.000"), magnitude);
  // A magnitude that rounds to zero is sent as "+00.000", never "-00.000".
  const bool negative = value < 0 && digits != QLatin1String("00.000");
  return (negative ? u'-' : u'+') + digits;
}

QString OutputCommand(int address, int channel, double value) {
  return u'#' + QString::number(static_cast<uint32_t>(address), 16).toUpper().rightJustified(2, u'0') +
         QString::number(channel) + OutputValueText(value);
}

TOutputDriving::TOutputDriving(TConfig& config, ProcessState& state, TICPLink& link,
                               const std::atomic<bool>& emulationOn)
    : m_config(config),
      m_state(state),
      m_link(link),
      m_emulationOn(emulationOn),
      m_portKeeper(link, config.HardWritePort, config.WritePortSpeed, config.PortRetrySec, u"Поток записи"_qs,
                   [](const QString& port) { return u"Поток записи: Не могу подключить порт."_qs + port; }) {}

bool TOutputDriving::PrepareOutputs() {
  for (int section = 0; section < kOutputModuleCount; ++section) {
    const int base = kFirstOutputSlot + kOutputSlotsPerModule * section;
    m_state.InstantValues.Set(base + 0, m_state.AveragedValues.Get(Slot::TRRS[section]));
    m_state.InstantValues.Set(base + 1, m_state.AveragedValues.Get(Slot::TRRP[section]));
    m_state.InstantValues.Set(base + 2, m_state.AveragedValues.Get(Slot::TRFL[section]));
  }
  for (const auto& signal : m_config.OutputSignals) {
    const int slot = OutputSlot(signal->Module, signal->RecIndex);
    if (slot < 0) continue;  // a hand-edited index beyond the module's slots
    m_state.RawValues.Set(slot,
                          static_cast<float>(signal->CalibrateValue(m_state.InstantValues.Get(slot), false)));
  }
  return true;
}

bool TOutputDriving::WriteOutputs(const std::atomic<bool>* stop) {
  bool failed = false;
  for (const auto& signal : m_config.OutputSignals) {
    if (stop && stop->load()) break;
    const int module = std::clamp(signal->Module, 0, kOutputModuleCount - 1);
    const int recIndex = signal->RecIndex;
    const int slot = OutputSlot(module, recIndex >= 0 && recIndex < kOutputSlotsPerModule ? recIndex : 0);
    const int channel = std::clamp(static_cast<int>(signal->Chanel), 0, kMaxOutputChannel);
    if (m_config.DisableDacWrite[module]) continue;
    if (!m_link.GetActive()) {
      failed = true;
      continue;
    }
    const int address = module == 0 ? m_config.I7024_1_addr : m_config.I7024_2_addr;
    m_link.SetCmdString(OutputCommand(address, channel, m_state.RawValues.Get(slot)));
    QString answer;
    if (!m_link.SendCommand(answer)) failed = true;
  }
  return !failed;
}

void TOutputDriving::Run(ThreadControl& control) {
  // With module emulation on the flows are still computed and converted.
  const auto mayRunWithout = [this] { return m_emulationOn.load(); };
  if (!m_portKeeper.Open(control, mayRunWithout)) return;
  RunPacedCycles(
      control, [&] { return PrepareOutputs() && WriteOutputs(&control.StopRequest); },
      [&] { return m_portKeeper.Keep(control, mayRunWithout); });
  m_link.SetActive(false);
}
