#include "configuration/config.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <type_traits>

#include "common/inifile.h"
#include "configuration/tmcrypt.h"

const std::array<const char*, kColorGroupCount> kColorKeys = {"Pulpa",     "Reciver", "PenoGen",
                                                              "FlotoConc", "FlotOut", "Flok"};

namespace {

// Latin-1 views, not QStrings, so that nothing here depends on the order in
// which static objects are built (the configuration object may be one).
constexpr QLatin1StringView kMySql("MySQL");
constexpr QLatin1StringView kSystem("System");
constexpr QLatin1StringView kCom("COM");
constexpr QLatin1StringView kIcp("ICP");
constexpr QLatin1StringView kConst("CONST");
constexpr QLatin1StringView kEmul("Emul");
constexpr QLatin1StringView kOnColors("OnColors");
constexpr QLatin1StringView kOffColors("OffColors");
constexpr QLatin1StringView kCalibrationSuffix("_CALIBR");

constexpr std::array<const char*, kInputSignalCount> kInputSignalNames = {
    "PLF_1", "RVF_1", "URFK_1", "URFK12_1", "PLF_2", "RVF_2", "URFK_2", "URFK12_2"};
constexpr std::array<const char*, kOutputSignalCount> kOutputSignalNames = {"OARS_1", "OARP_1", "OAFL_1",
                                                                            "OARS_2", "OARP_2", "OAFL_2"};
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

QString ModuleKey(const char* prefix, int module, const char* suffix = "") {
  return QLatin1String(prefix) + QString::number(module + 1) + QLatin1String(suffix);
}
QString EmulFlagKey(int module) {
  return ModuleKey("emul_I7017_", module, "_flag");
}
QString EmulAnswerKey(int module) {
  return ModuleKey("emul_I7017_", module, "_rez");
}
QString DisableDacWriteKey(int module) {
  return ModuleKey("disable_dac_write_flag", module);
}

struct LimitKey {
  Setting<double> TConfig::*field;
  const char* key;
};
constexpr std::array<LimitKey, 7> kLimitKeys = {{{&TConfig::MAX_TRRS, "MAX_TRRS"},
                                                 {&TConfig::MAX_TRRP, "MAX_TRRP"},
                                                 {&TConfig::MAX_TRFL, "MAX_TRFL"},
                                                 {&TConfig::MAX_ZRRS, "MAX_ZRRS"},
                                                 {&TConfig::MAX_ZRRP, "MAX_ZRRP"},
                                                 {&TConfig::MAX_ZRFL, "MAX_ZRFL"},
                                                 {&TConfig::MIN_RVF, "MIN_RVF"}}};

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

template <typename T>
void ReadInto(Setting<T>& field, const IniFile& ini, const QString& section, const QString& key) {
  if constexpr (std::is_same_v<T, QString>) {
    field = ini.ReadString(section, key, field);
  } else if constexpr (std::is_same_v<T, bool>) {
    field = ini.ReadBool(section, key, field);
  } else if constexpr (std::is_same_v<T, int>) {
    field = ini.ReadInteger(section, key, field);
  } else {
    static_assert(std::is_same_v<T, double>);
    field = ini.ReadFloat(section, key, field);
  }
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
  for (int i = 0; i < kInputSignalCount; ++i) {
    InputSignals.push_back(std::make_unique<TSignalSet>(QLatin1String(kInputSignalNames[i]),
                                                        i / kInputsPerModule, i % kInputsPerModule,
                                                        i % kInputsPerModule));
  }
  for (int i = 0; i < kOutputSignalCount; ++i) {
    OutputSignals.push_back(std::make_unique<TSignalSet>(QLatin1String(kOutputSignalNames[i]),
                                                         i / kOutputsPerModule, i % kOutputsPerModule,
                                                         i % kOutputsPerModule));
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
    ReadInto(Host, ini, kMySql, QStringLiteral("Host"));
    ReadInto(Login, ini, kMySql, QStringLiteral("Login"));
    ReadInto(Version, ini, kMySql, QStringLiteral("Version"));
    ReadInto(SavePassword, ini, kMySql, QStringLiteral("SavePassword"));
    ReadInto(Disabled, ini, kMySql, QStringLiteral("Disabled"));
    Password = QString();
    if (SavePassword) {
      const QString stored = ini.ReadString(kMySql, QStringLiteral("Password"), QString());
      if (!stored.isEmpty()) Password = crypt.UnscrambleText(stored);
    }

    ReadInto(ReplaceShell, ini, kSystem, QStringLiteral("ReplaceShell"));
    ReadInto(ShutdownOnExit, ini, kSystem, QStringLiteral("ShutdownOnExit"));
    ReadInto(SaveLogFlag, ini, kSystem, QStringLiteral("SaveLogFlag"));
    ReadInto(AutoStartControl, ini, kSystem, QStringLiteral("AutoStartControl"));
    ReadInto(LanServer, ini, kSystem, QStringLiteral("LanServer"));
    ReadInto(LanPort, ini, kSystem, QStringLiteral("LanPort"));
    if (LanPort < 1 || LanPort > 65535) LanPort = kDefaultLanPort;
    ReadInto(LanBindAddress, ini, kSystem, QStringLiteral("LanBindAddress"));
    ReadInto(LanAllow, ini, kSystem, QStringLiteral("LanAllow"));
    ReadInto(LanIdleTimeout, ini, kSystem, QStringLiteral("LanIdleTimeout"));
    if (LanIdleTimeout < 0) LanIdleTimeout = 0;
    ReadInto(LanMaxConnections, ini, kSystem, QStringLiteral("LanMaxConnections"));
    if (LanMaxConnections < 1) LanMaxConnections = kDefaultLanMaxConnections;
    ReadInto(TimeSetCommand, ini, kSystem, QStringLiteral("TimeSetCommand"));

    ReadInto(HardReadPort, ini, kCom, QStringLiteral("HardReadPort"));
    ReadInto(HardWritePort, ini, kCom, QStringLiteral("HardWritePort"));
    ReadInto(ServerLinkPort, ini, kCom, QStringLiteral("ServerLinkPort"));
    ReadInto(ServerLinkPrefix, ini, kCom, QStringLiteral("ServerLinkPrefix"));
    ReadInto(ReadPortSpeed, ini, kCom, QStringLiteral("ReadPortSpeed"));
    ReadInto(WritePortSpeed, ini, kCom, QStringLiteral("WritePortSpeed"));
    ReadInto(LinkPortSpeed, ini, kCom, QStringLiteral("LinkPortSpeed"));

    ReadInto(I7017_1_addr, ini, kIcp, QStringLiteral("I7017_1_addr"));
    ReadInto(I7017_2_addr, ini, kIcp, QStringLiteral("I7017_2_addr"));
    ReadInto(I7024_1_addr, ini, kIcp, QStringLiteral("I7024_1_addr"));
    ReadInto(I7024_2_addr, ini, kIcp, QStringLiteral("I7024_2_addr"));
    // The counts are fixed by the built-in lists; writing them here only keeps
    // a hand-edited file honest, so a failed write does not stop the load.
    ini.WriteInteger(kIcp, QStringLiteral("ADC_signal_count"), static_cast<int>(InputSignals.size()));
    for (auto& signal : InputSignals) LoadSignal(ini, signal->SignalName, *signal, false);
    ini.WriteInteger(kIcp, QStringLiteral("DAC_signal_count"), static_cast<int>(OutputSignals.size()));
    for (auto& signal : OutputSignals) LoadSignal(ini, signal->SignalName, *signal, false);

    for (int quantity = 0; quantity < kSummationConstantCount; ++quantity) {
      for (int section = 0; section < 2; ++section) {
        ReadInto(SummationConstants[quantity][section], ini, kConst,
                 SummationConstantKey(static_cast<SummationConstant>(quantity), section));
      }
    }
    for (const LimitKey& limit : kLimitKeys)
      ReadInto(this->*limit.field, ini, kConst, QLatin1String(limit.key));

    LoadColors(OnColors, ini, kOnColors);
    LoadColors(OffColors, ini, kOffColors);

    for (int module = 0; module < 2; ++module) {
      ReadInto(EmulI7017Flag[module], ini, kEmul, EmulFlagKey(module));
      ReadInto(EmulI7017Answer[module], ini, kEmul, EmulAnswerKey(module));
      ReadInto(DisableDacWrite[module], ini, kEmul, DisableDacWriteKey(module));
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
    write.String(kMySql, QStringLiteral("Host"), Host);
    write.String(kMySql, QStringLiteral("Login"), Login);
    const QString password = Password;
    if (!password.isEmpty()) write.String(kMySql, QStringLiteral("Password"), crypt.ScrambleText(password));
    write.Integer(kMySql, QStringLiteral("Version"), Version);
    write.Bool(kMySql, QStringLiteral("SavePassword"), SavePassword);
    write.Bool(kMySql, QStringLiteral("Disabled"), Disabled);

    write.Bool(kSystem, QStringLiteral("ReplaceShell"), ReplaceShell);
    write.Bool(kSystem, QStringLiteral("ShutdownOnExit"), ShutdownOnExit);
    write.Bool(kSystem, QStringLiteral("SaveLogFlag"), SaveLogFlag);
    write.Bool(kSystem, QStringLiteral("AutoStartControl"), AutoStartControl);
    write.Bool(kSystem, QStringLiteral("LanServer"), LanServer);

    write.String(kCom, QStringLiteral("HardReadPort"), HardReadPort);
    write.String(kCom, QStringLiteral("HardWritePort"), HardWritePort);
    write.String(kCom, QStringLiteral("ServerLinkPort"), ServerLinkPort);
    write.String(kCom, QStringLiteral("ServerLinkPrefix"), ServerLinkPrefix);
    write.Integer(kCom, QStringLiteral("ReadPortSpeed"), ReadPortSpeed);
    write.Integer(kCom, QStringLiteral("WritePortSpeed"), WritePortSpeed);
    write.Integer(kCom, QStringLiteral("LinkPortSpeed"), LinkPortSpeed);

    write.Integer(kIcp, QStringLiteral("I7017_1_addr"), I7017_1_addr);
    write.Integer(kIcp, QStringLiteral("I7017_2_addr"), I7017_2_addr);
    write.Integer(kIcp, QStringLiteral("I7024_1_addr"), I7024_1_addr);
    write.Integer(kIcp, QStringLiteral("I7024_2_addr"), I7024_2_addr);
    write.Integer(kIcp, QStringLiteral("ADC_signal_count"), static_cast<int>(InputSignals.size()));
    for (const auto& signal : InputSignals) {
      write.Then([&] { return SaveSignal(ini, signal->SignalName, *signal, false); });
    }
    write.Integer(kIcp, QStringLiteral("DAC_signal_count"), static_cast<int>(OutputSignals.size()));
    for (const auto& signal : OutputSignals) {
      write.Then([&] { return SaveSignal(ini, signal->SignalName, *signal, false); });
    }

    for (int quantity = 0; quantity < kSummationConstantCount; ++quantity) {
      for (int section = 0; section < 2; ++section) {
        write.Float(kConst, SummationConstantKey(static_cast<SummationConstant>(quantity), section),
                    SummationConstants[quantity][section]);
      }
    }
    for (const LimitKey& limit : kLimitKeys)
      write.Float(kConst, QLatin1String(limit.key), this->*limit.field);

    write.Then([&] { return SaveColors(OnColors, ini, kOnColors); });
    write.Then([&] { return SaveColors(OffColors, ini, kOffColors); });

    for (int module = 0; module < 2; ++module) {
      write.Bool(kEmul, EmulFlagKey(module), EmulI7017Flag[module]);
      write.Bool(kEmul, DisableDacWriteKey(module), DisableDacWrite[module]);
      write.String(kEmul, EmulAnswerKey(module), EmulI7017Answer[module]);
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
    ReadInto(signal.Chanel, ini, section, QStringLiteral("Chanel"));
    ReadInto(signal.RecIndex, ini, section, QStringLiteral("RecIndex"));
    ReadInto(signal.InverseFlag, ini, section, QStringLiteral("InverseFlag"));
    ReadInto(signal.AverageSize, ini, section, QStringLiteral("AverageSize"));
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
    write.Integer(section, QStringLiteral("Chanel"), signal.Chanel);
    write.Integer(section, QStringLiteral("RecIndex"), signal.RecIndex);
    write.Bool(section, QStringLiteral("InverseFlag"), signal.InverseFlag);
    write.Integer(section, QStringLiteral("AverageSize"), signal.AverageSize);
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
      const QString text =
          ini.ReadString(section, QLatin1String(kColorKeys[group]), ColorToText(colors[group]));
      const std::optional<uint32_t> color = ParseColor(text);
      if (!color) return false;
      colors[group] = *color;
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
