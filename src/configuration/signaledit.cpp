#include "configuration/signaledit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

#include "common/floattext.h"
#include "common/inifile.h"
#include "common/trimblanks.h"
#include "configuration/config.h"
#include "configuration/settingstable.h"

namespace {

const QString kIcpSection = QStringLiteral("ICP");
const QString kComSection = QStringLiteral("COM");

QString Message(HardApplyError error, int pointLimit) {
  switch (error) {
    case HardApplyError::None:
      return {};
    case HardApplyError::PortSpeed:
      return u"Скоротсь связи одного или нескольких портов указана неверно."_qs;
    case HardApplyError::InputDeviceNumber:
      return u"Номер устройства I-7017 указан неверно."_qs;
    case HardApplyError::InputSignalName:
      return u"Имя сигнала I-7017 указано неверно."_qs;
    case HardApplyError::OutputDeviceNumber:
      return u"Номер устройства I-7024 указан неверно."_qs;
    case HardApplyError::OutputSignalName:
      return u"Имя сигнала I-7024 указано неверно."_qs;
    case HardApplyError::Chanel:
      return u"Номер канала указан неверно."_qs;
    case HardApplyError::AverageSize:
      return u"Размер скользящего среднего указан неверно."_qs;
    case HardApplyError::Calibration:
      return u"Калибровочная таблица заполнена неверно."_qs;
    case HardApplyError::CalibrationTooLong:
      return u"Калибровочная таблица слишком длинная: наибольшее число точек — "_qs +
             QString::number(pointLimit) + u'.';
  }
  return {};
}

HardApplyResult Result(HardApplyError error, bool writeConfig, int pointLimit = kCalibrationMaxUsable) {
  return {error, Message(error, pointLimit), writeConfig};
}

// The settings table decides where it has a range for the key (and its
// choices, where it lists them); where it has none, the built-in range does.
bool InKeyRange(QStringView section, QStringView key, IntegerRange fallback, int value) {
  if (const SettingEntry* entry = FindSetting(section, key)) {
    if (!InSettingRange(*entry, value)) return false;
    if (entry->Min != 0 || entry->Max != 0) return true;
  }
  return value >= fallback.Min && value <= fallback.Max;
}

// The number of a text if it reads and lies in the key's range.
std::optional<int> ReadInRange(const QString& text, QStringView section, QStringView key,
                               IntegerRange fallback) {
  const std::optional<int> value = ParseOperatorInteger(text);
  if (!value || !InKeyRange(section, key, fallback, *value)) return std::nullopt;
  return value;
}

TSignalSet* FindSectionSignal(const std::vector<std::unique_ptr<TSignalSet>>& signalList, int section,
                              const QString& name) {
  if (name.isEmpty()) return nullptr;
  for (TSignalSet* signal : SectionSignals(signalList, section)) {
    if (signal->SignalName == name) return signal;
  }
  return nullptr;
}

struct SignalPage {
  bool Input;
  HardApplyError DeviceError;
  HardApplyError SignalError;
};

HardApplyResult ApplySignalPage(TConfig& config, const SignalPageTexts& texts, QChar decimalSeparator,
                                const SignalPage& page) {
  // Checked before anything is stored: a grid longer than a table would
  // otherwise leave a table whose size and points disagree.
  const int pointLimit = CalibrationPointLimit(texts.SignalName);
  if (texts.Rows.size() > static_cast<size_t>(pointLimit)) {
    return Result(HardApplyError::CalibrationTooLong, false, pointLimit);
  }

  Setting<int>* address =
      page.Input ? InputModuleAddress(config, texts.Section) : OutputModuleAddress(config, texts.Section);
  if (address == nullptr) return Result(page.DeviceError, false);
  const QString addressKey =
      (page.Input ? u"I7017_"_qs : u"I7024_"_qs) + QString::number(texts.Section + 1) + u"_addr"_qs;
  const std::optional<int> deviceNumber =
      ReadInRange(texts.DeviceNumber, kIcpSection, addressKey, kModuleAddressRange);
  if (!deviceNumber) return Result(page.DeviceError, false);
  *address = *deviceNumber;

  TSignalSet* signal = FindSectionSignal(page.Input ? config.InputSignals : config.OutputSignals,
                                         texts.Section, texts.SignalName);
  if (signal == nullptr) return Result(page.SignalError, false);
  const QString& section = signal->SignalName;

  const std::optional<int> chanel = ReadInRange(texts.Chanel, section, u"Chanel", kChanelRange);
  if (!chanel) return Result(HardApplyError::Chanel, false);
  signal->Chanel = *chanel;

  if (page.Input) {
    const std::optional<int> averageSize =
        ReadInRange(texts.AverageSize, section, u"AverageSize", kAverageSizeRange);
    if (!averageSize) return Result(HardApplyError::AverageSize, false);
    signal->AverageSize = *averageSize;
  }

  // Built on a copy and handed over whole, so that the read thread converts
  // with the old table or with this one, never with a table half written.
  CalibrationTable table = signal->Calibration();
  table.Size = static_cast<int>(texts.Rows.size());
  HardApplyError error = HardApplyError::None;
  for (size_t row = 0; row < texts.Rows.size() && error == HardApplyError::None; ++row) {
    const QStringList& cells = texts.Rows[row];
    for (qsizetype cell = 0; cell < 2; ++cell) {
      const std::optional<double> value =
          cell < cells.size() ? ParseOperatorDecimal(cells[cell], decimalSeparator) : std::nullopt;
      if (!value) {
        error = HardApplyError::Calibration;
        break;
      }
      (cell == 0 ? table.AVal : table.FVal)[row] = *value;
    }
  }
  signal->SetCalibration(table);
  return Result(error, true);
}

}  // namespace

HardApplyResult ApplyLinkPage(TConfig& config, const LinkPageTexts& texts) {
  config.ServerLinkPort = texts.ServerLinkPort;
  config.HardWritePort = texts.HardWritePort;
  config.HardReadPort = texts.HardReadPort;

  struct SpeedStep {
    Setting<int>& Field;
    const char16_t* Key;
    const QString& Text;
  };
  const std::array<SpeedStep, 3> steps = {{{config.LinkPortSpeed, u"LinkPortSpeed", texts.LinkPortSpeed},
                                           {config.ReadPortSpeed, u"ReadPortSpeed", texts.ReadPortSpeed},
                                           {config.WritePortSpeed, u"WritePortSpeed", texts.WritePortSpeed}}};
  for (const SpeedStep& step : steps) {
    const std::optional<int> speed = ReadInRange(step.Text, kComSection, step.Key, kPortSpeedRange);
    if (!speed) return Result(HardApplyError::PortSpeed, true);
    step.Field = *speed;
  }
  return Result(HardApplyError::None, true);
}

HardApplyResult ApplyInputPage(TConfig& config, const SignalPageTexts& texts, QChar decimalSeparator) {
  return ApplySignalPage(config, texts, decimalSeparator,
                         {true, HardApplyError::InputDeviceNumber, HardApplyError::InputSignalName});
}

HardApplyResult ApplyOutputPage(TConfig& config, const SignalPageTexts& texts, QChar decimalSeparator) {
  return ApplySignalPage(config, texts, decimalSeparator,
                         {false, HardApplyError::OutputDeviceNumber, HardApplyError::OutputSignalName});
}

Setting<int>* InputModuleAddress(TConfig& config, int section) {
  if (section == 0) return &config.I7017_1_addr;
  if (section == 1) return &config.I7017_2_addr;
  return nullptr;
}

Setting<int>* OutputModuleAddress(TConfig& config, int section) {
  if (section == 0) return &config.I7024_1_addr;
  if (section == 1) return &config.I7024_2_addr;
  return nullptr;
}

std::vector<TSignalSet*> SectionSignals(const std::vector<std::unique_ptr<TSignalSet>>& signalList,
                                        int section) {
  std::vector<TSignalSet*> found;
  for (const auto& signal : signalList) {
    if (signal && signal->Module == section) found.push_back(signal.get());
  }
  return found;
}

CalibrationRows CalibrationToRows(const CalibrationTable& table, QChar decimalSeparator) {
  const int size = std::clamp(table.Size, 0, CalibrationTable::kSlots);
  CalibrationRows rows;
  rows.reserve(static_cast<size_t>(size));
  for (int i = 0; i < size; ++i) {
    rows.push_back({FloatToStrGeneral(table.AVal[static_cast<size_t>(i)], decimalSeparator),
                    FloatToStrGeneral(table.FVal[static_cast<size_t>(i)], decimalSeparator)});
  }
  return rows;
}

int CalibrationPointLimit(QStringView signalName) {
  const SettingEntry* entry = FindSetting(signalName.toString() + u"_CALIBR"_qs, u"Size");
  if (entry != nullptr && (entry->Min != 0 || entry->Max != 0) && entry->Max < kCalibrationMaxUsable) {
    return std::max(0, static_cast<int>(entry->Max));
  }
  return kCalibrationMaxUsable;
}

std::optional<int> ParseOperatorInteger(const QString& text) {
  const QString trimmed = TrimBlanks(text);
  qsizetype i = 0;
  bool negative = false;
  if (i < trimmed.size() && (trimmed[i] == u'+' || trimmed[i] == u'-')) negative = trimmed[i++] == u'-';
  if (i == trimmed.size()) return std::nullopt;
  int64_t value = 0;
  for (; i < trimmed.size(); ++i) {
    const char16_t c = trimmed[i].unicode();
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + (c - u'0');
    if (value > int64_t{std::numeric_limits<int>::max()} + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) return std::nullopt;
  return static_cast<int>(value);
}

std::optional<double> ParseOperatorDecimal(const QString& text, QChar decimalSeparator) {
  const QString trimmed = TrimBlanks(text);
  QString number;
  number.reserve(trimmed.size());
  for (const QChar c : trimmed) {
    if (c == decimalSeparator) {
      number += u'.';
    } else if (c == u'.' || c == u',') {
      return std::nullopt;
    } else {
      number += c;
    }
  }
  const std::optional<double> value = ParseIniFloat(number);
  if (!value || std::fabs(*value) > std::numeric_limits<float>::max()) return std::nullopt;
  return value;
}
