#include "configuration/config.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <type_traits>
#include <variant>

#include "common/floattext.h"
#include "common/inifile.h"
#include "configuration/settingstable.h"
#include "configuration/tmcrypt.h"
#include "storage/eventlog.h"

const std::array<const char*, kColorGroupCount> kColorKeys = {"Pulpa",     "Reciver", "PenoGen",
                                                              "FlotoConc", "FlotOut", "Flok"};

namespace {

// Latin-1 views, not QStrings, so that nothing here depends on the order in
// which static objects are built (the configuration object may be one).
constexpr QLatin1StringView kCalibrationSuffix("_CALIBR");

constexpr int kInputsPerModule = 4;
constexpr int kOutputsPerModule = 3;

constexpr std::array<const char*, kSummationConstantCount> kSummationConstantNames = {"KVF", "KGF", "KVRRS",
                                                                                      "KVRRP", "KVRRFL"};
constexpr double kDefaultSummationConstant = 1.0 / 60.0;

constexpr std::array<uint32_t, kColorGroupCount> kDefaultOnColors = {0x00FFFF00, 0x00008000, 0x000000FF,
                                                                     0x00FF00FF, 0x0000FF00, 0x0000FFFF};
constexpr uint32_t kDefaultOffColor = 0x00C0C0C0;  // silver

constexpr std::array<const char*, 2> kDefaultEmulatedAnswers = {"!02471111222233334444555566667777",
                                                                "!02477777666655554444333322221111"};

// Colour texts convert the way integer settings do; hexadecimal texts are
// bit patterns, so every 0x00BBGGRR value and a system colour both read back.
std::optional<uint32_t> ParseColor(const QString& text) {
  const std::optional<int> value = ParseIniInteger(text.trimmed());
  if (!value) return std::nullopt;
  return static_cast<uint32_t>(*value);
}

// Sequence of writes that stops at the first failure.
class WriteChain {
 public:
  explicit WriteChain(IniFile& ini) : m_ini(ini) {}

  bool Ok() const { return m_ok; }

  void String(const QString& section, const QString& key, const QString& value) {
    if (m_ok) m_ok = m_ini.WriteString(section, key, value);
  }
  void Integer(const QString& section, const QString& key, int value) {
    if (m_ok) m_ok = m_ini.WriteInteger(section, key, value);
  }
  void Bool(const QString& section, const QString& key, bool value) {
    if (m_ok) m_ok = m_ini.WriteBool(section, key, value);
  }
  void Float(const QString& section, const QString& key, double value) {
    if (m_ok) m_ok = m_ini.WriteFloat(section, key, value);
  }
  template <typename Step>
  void Then(Step step) {
    if (m_ok) m_ok = step();
  }

 private:
  IniFile& m_ini;
  bool m_ok = true;
};

template <typename>
inline constexpr bool kUnhandledField = false;

// Reads one key into its field; an absent or unreadable value keeps the
// field. False only for a colour text that does not convert.
bool ReadField(const SettingField& field, const IniFile& ini, const QString& section, const QString& key) {
  return std::visit(
      [&](auto alternative) {
        using T = decltype(alternative);
        if constexpr (std::is_same_v<T, Setting<QString>*>) {
          *alternative = ini.ReadString(section, key, *alternative);
        } else if constexpr (std::is_same_v<T, Setting<bool>*>) {
          *alternative = ini.ReadBool(section, key, *alternative);
        } else if constexpr (std::is_same_v<T, Setting<int>*>) {
          *alternative = ini.ReadInteger(section, key, *alternative);
        } else if constexpr (std::is_same_v<T, Setting<double>*>) {
          *alternative = ini.ReadFloat(section, key, *alternative);
        } else if constexpr (std::is_same_v<T, Setting<uint32_t>*>) {
          const std::optional<uint32_t> color =
              ParseColor(ini.ReadString(section, key, ColorToText(*alternative)));
          if (!color) return false;
          *alternative = *color;
        } else if constexpr (std::is_same_v<T, SignalList*> || std::is_same_v<T, std::monostate>) {
          // Signal counts are never read; calibration keys go with their table.
        } else {
          static_assert(kUnhandledField<T>);
        }
        return true;
      },
      field);
}

void WriteField(WriteChain& write, const SettingField& field, const QString& section, const QString& key) {
  std::visit(
      [&](auto alternative) {
        using T = decltype(alternative);
        if constexpr (std::is_same_v<T, Setting<QString>*>) {
          write.String(section, key, *alternative);
        } else if constexpr (std::is_same_v<T, Setting<bool>*>) {
          write.Bool(section, key, *alternative);
        } else if constexpr (std::is_same_v<T, Setting<int>*>) {
          write.Integer(section, key, *alternative);
        } else if constexpr (std::is_same_v<T, Setting<double>*>) {
          write.Float(section, key, *alternative);
        } else if constexpr (std::is_same_v<T, Setting<uint32_t>*>) {
          write.String(section, key, ColorToText(*alternative));
        } else if constexpr (std::is_same_v<T, SignalList*>) {
          write.Integer(section, key, static_cast<int>(alternative->size()));
        } else if constexpr (std::is_same_v<T, std::monostate>) {
          // Calibration keys go with their table.
        } else {
          static_assert(kUnhandledField<T>);
        }
      },
      field);
}

// A number the load refuses becomes the built-in value, which the table
// holds as the documentation shows it.
void ApplyFallback(const SettingEntry& entry, const SettingField& field) {
  if (entry.Fallback != OutOfRange::BuiltIn) return;
  if (auto* const* integer = std::get_if<Setting<int>*>(&field)) {
    if (!InSettingRange(entry, **integer)) {
      if (const std::optional<int> builtIn = ParseIniInteger(QLatin1String(entry.Default)))
        **integer = *builtIn;
    }
  } else if (auto* const* number = std::get_if<Setting<double>*>(&field)) {
    if (!InSettingRange(entry, **number)) {
      if (const std::optional<double> builtIn = ParseIniFloat(QLatin1String(entry.Default)))
        **number = *builtIn;
    }
  }
}

// The value a number or flag field holds, as the file would show it.
QString FieldText(const SettingField& field, QChar decimalSeparator) {
  if (auto* const* integer = std::get_if<Setting<int>*>(&field)) return QString::number(**integer);
  if (auto* const* number = std::get_if<Setting<double>*>(&field))
    return FloatToStrGeneral(**number, decimalSeparator);
  if (auto* const* flag = std::get_if<Setting<bool>*>(&field)) return **flag ? u"1"_qs : u"0"_qs;
  return QString();
}

QString RangeText(const SettingEntry& entry) {
  if (!entry.Choices.empty()) return u"не из списка допустимых значений"_qs;
  return u"вне диапазона "_qs + FloatToStrGeneral(entry.Min) + u"..."_qs + FloatToStrGeneral(entry.Max);
}

// Says once, at the load, what became of a number or flag the file holds
// that does not read or is out of range: the key, the value found and the
// value used (the built-in one, the one kept, or the one found where the
// users of the value cope). Without the line LanPort=99999 would silently
// run the server on 7777. Call after the field has been read (and fallen back).
void ReportUnusableValue(const SettingEntry& entry, const SettingField& field, const IniFile& ini,
                         const QString& section, const QString& key) {
  if (entry.Kind != SettingKind::Integer && entry.Kind != SettingKind::Float &&
      entry.Kind != SettingKind::Flag)
    return;
  if (!ini.ValueExists(section, key)) return;
  const QString found = ini.ReadString(section, key, QString());
  std::optional<double> number;
  if (entry.Kind == SettingKind::Float) {
    number = ParseIniFloat(found);
  } else if (const std::optional<int> integer = ParseIniInteger(found)) {
    number = *integer;
  }
  QString problem;
  if (!number) {
    problem = u"не читается"_qs;
  } else if (!InSettingRange(entry, *number)) {
    problem = RangeText(entry);
  } else {
    return;
  }
  AddLogMessage(u"Настройка ["_qs + section + u"] "_qs + key + u'=' + found + u' ' + problem +
                u"; используется "_qs + FieldText(field, ini.DecimalSeparator()) + u'.');
}

// The entries that stand for every signal or calibration section are
// handled signal by signal.
bool IsStandIn(const SettingEntry& entry) {
  return entry.Section == std::string_view(kSignalSection) ||
         entry.Section == std::string_view(kCalibrationSection);
}

// Each key of a signal section once, in file order; an output list's entry
// only narrows the range of the input list's for the same key.
template <typename Step>
void ForEachSignalKey(Step step) {
  for (const SettingEntry& entry : SettingsTable()) {
    if (entry.Section == std::string_view(kSignalSection) && entry.Scope != SignalScope::Outputs) step(entry);
  }
}

// The bindings hand out fields that a load writes into; a save only reads
// through them.
TConfig& ForReading(const TConfig& config) {
  return const_cast<TConfig&>(config);
}
TSignalSet& ForReading(const TSignalSet& signal) {
  return const_cast<TSignalSet&>(signal);
}

}  // namespace

TSignalSet::TSignalSet(QString name, int module, int chanel, int recIndex)
    : SignalName(std::move(name)),
      Module(module),
      Chanel(chanel),
      RecIndex(recIndex),
      m_calibration(CalibrationTable::Identity()) {}

double TSignalSet::CalibrateValue(double x, bool clamp) const {
  std::lock_guard lock(m_calibrationMutex);
  return ::CalibrateValue(x, &m_calibration, clamp);
}

CalibrationTable TSignalSet::Calibration() const {
  std::lock_guard lock(m_calibrationMutex);
  return m_calibration;
}

void TSignalSet::SetCalibration(const CalibrationTable& table) {
  std::lock_guard lock(m_calibrationMutex);
  m_calibration = table;
}

TConfig::TConfig() {
  for (auto& quantity : SummationConstants) {
    for (auto& constant : quantity) constant = kDefaultSummationConstant;
  }
  const std::span<const char* const> inputNames = InputSignalNames();
  for (int i = 0; i < kInputSignalCount; ++i) {
    InputSignals.push_back(std::make_unique<TSignalSet>(QLatin1String(inputNames[i]), i / kInputsPerModule,
                                                        i % kInputsPerModule, i % kInputsPerModule));
  }
  const std::span<const char* const> outputNames = OutputSignalNames();
  for (int i = 0; i < kOutputSignalCount; ++i) {
    OutputSignals.push_back(std::make_unique<TSignalSet>(QLatin1String(outputNames[i]), i / kOutputsPerModule,
                                                         i % kOutputsPerModule, i % kOutputsPerModule));
  }
  for (int module = 0; module < 2; ++module) {
    EmulI7017Flag[module] = false;
    EmulI7017Answer[module] = QLatin1String(kDefaultEmulatedAnswers[module]);
    DisableDacWrite[module] = false;
  }
  for (int group = 0; group < kColorGroupCount; ++group) {
    OnColors[group] = kDefaultOnColors[group];
    OffColors[group] = kDefaultOffColor;
  }
}

bool TConfig::LoadConfig(IniFile& ini, Tmcrypt& crypt) {
  try {
    // Loading writes the two signal counts; grouped, a start costs one file
    // replacement instead of two.
    IniUpdate update(ini);
    QStringList endedColorSets;
    for (const SettingEntry& entry : SettingsTable()) {
      if (IsStandIn(entry) || entry.Field == nullptr) continue;
      const QString section = QLatin1String(entry.Section);
      const QString key = QLatin1String(entry.Key);
      const SettingField field = entry.Field(*this);
      switch (entry.Kind) {
        case SettingKind::Secret:
          break;  // below, once SavePassword is known
        case SettingKind::SignalCount: {
          // The counts are fixed by the built-in lists; writing them here only
          // keeps a hand-edited file honest, so a failed write does not stop the load.
          SignalList& list = *std::get<SignalList*>(field);
          ini.WriteInteger(section, key, static_cast<int>(list.size()));
          for (auto& signal : list) LoadSignal(ini, signal->SignalName, *signal, false);
          break;
        }
        case SettingKind::Colour:
          // A colour that does not convert ends its set: it and the following keep their values.
          if (!endedColorSets.contains(section) && !ReadField(field, ini, section, key)) {
            endedColorSets << section;
            AddLogMessage(u"Настройка ["_qs + section + u"] "_qs + key + u'=' +
                          ini.ReadString(section, key, QString()) +
                          u" не читается как цвет; этот и следующие цвета раздела остаются прежними."_qs);
          }
          break;
        default:
          ReadField(field, ini, section, key);
          ApplyFallback(entry, field);
          ReportUnusableValue(entry, field, ini, section, key);
          break;
      }
    }
    for (const SettingEntry& entry : SettingsTable()) {
      if (entry.Kind != SettingKind::Secret || entry.Field == nullptr) continue;
      Setting<QString>& secret = *std::get<Setting<QString>*>(entry.Field(*this));
      secret = QString();
      if (!SavePassword) continue;
      const QString stored =
          ini.ReadString(QLatin1String(entry.Section), QLatin1String(entry.Key), QString());
      if (!stored.isEmpty()) secret = crypt.UnscrambleText(stored);
    }
    return true;
  } catch (...) {
    return false;
  }
}

bool TConfig::SaveConfig(IniFile& ini, Tmcrypt& crypt) const {
  try {
    // One file write for the whole configuration: it is on disk completely or
    // not at all, and a save costs one disk flush instead of hundreds.
    IniUpdate update(ini);
    WriteChain write(ini);
    for (const SettingEntry& entry : SettingsTable()) {
      if (IsStandIn(entry) || !entry.Written || entry.Field == nullptr) continue;
      const QString section = QLatin1String(entry.Section);
      const QString key = QLatin1String(entry.Key);
      const SettingField field = entry.Field(ForReading(*this));
      if (entry.Kind == SettingKind::Secret) {
        // An empty secret writes nothing, so one stored earlier stays in the file.
        const QString secret = *std::get<Setting<QString>*>(field);
        if (!secret.isEmpty()) write.String(section, key, crypt.ScrambleText(secret));
        continue;
      }
      WriteField(write, field, section, key);
      if (entry.Kind == SettingKind::SignalCount) {
        for (const auto& signal : *std::get<SignalList*>(field)) {
          write.Then([&] { return SaveSignal(ini, signal->SignalName, *signal, false); });
        }
      }
    }
    const bool written = write.Ok();
    return update.Commit() && written;
  } catch (...) {
    return false;
  }
}

QString SummationConstantKey(SummationConstant quantity, int section) {
  return QLatin1String(kSummationConstantNames[quantity]) + u'_' + QString::number(section + 1);
}

bool LoadSignal(const IniFile& ini, const QString& section, TSignalSet& signal, bool withName) {
  try {
    if (withName)
      signal.SignalName = ini.ReadString(section, QStringLiteral("SignalName"), signal.SignalName);
    ForEachSignalKey([&](const SettingEntry& entry) {
      if (entry.SignalField == nullptr) return;
      const QString key = QLatin1String(entry.Key);
      const SettingField field = entry.SignalField(signal);
      ReadField(field, ini, section, key);
      // The range is the signal's list's: an output channel has fewer.
      const SettingEntry* scoped = FindSetting(section, key);
      ReportUnusableValue(scoped != nullptr ? *scoped : entry, field, ini, section, key);
    });
    CalibrationTable table = signal.Calibration();
    const bool loaded = LoadCalibrateTableFromIni(ini, section + kCalibrationSuffix, table);
    signal.SetCalibration(table);
    return loaded;
  } catch (...) {
    return false;
  }
}

bool SaveSignal(IniFile& ini, const QString& section, const TSignalSet& signal, bool withName) {
  try {
    WriteChain write(ini);
    if (withName) write.String(section, QStringLiteral("SignalName"), signal.SignalName);
    ForEachSignalKey([&](const SettingEntry& entry) {
      if (entry.SignalField != nullptr)
        WriteField(write, entry.SignalField(ForReading(signal)), section, QLatin1String(entry.Key));
    });
    write.Then(
        [&] { return SaveCalibrateTableToIni(ini, section + kCalibrationSuffix, signal.Calibration()); });
    return write.Ok();
  } catch (...) {
    return false;
  }
}

bool LoadColors(ColorSet& colors, const IniFile& ini, const QString& section) {
  try {
    for (int group = 0; group < kColorGroupCount; ++group) {
      if (!ReadField(&colors[group], ini, section, QLatin1String(kColorKeys[group]))) return false;
    }
    return true;
  } catch (...) {
    return false;
  }
}

bool SaveColors(const ColorSet& colors, IniFile& ini, const QString& section) {
  try {
    WriteChain write(ini);
    for (int group = 0; group < kColorGroupCount; ++group) {
      write.String(section, QLatin1String(kColorKeys[group]), ColorToText(colors[group]));
    }
    return write.Ok();
  } catch (...) {
    return false;
  }
}

QString ColorToText(uint32_t color) {
  return QStringLiteral("0x") + QString::number(color, 16).rightJustified(8, u'0').toUpper();
}
