#include "configuration/settingstable.h"

#include <QLatin1StringView>
#include <array>
#include <cmath>
#include <limits>
#include <string_view>

#include "configuration/calibration.h"
#include "configuration/config.h"

namespace {

constexpr std::array<const char*, kInputSignalCount> kInputSignalNames = {
    "PLF_1", "RVF_1", "URFK_1", "URFK12_1", "PLF_2", "RVF_2", "URFK_2", "URFK12_2"};
constexpr std::array<const char*, kOutputSignalCount> kOutputSignalNames = {"OARS_1", "OARP_1", "OAFL_1",
                                                                            "OARS_2", "OARP_2", "OAFL_2"};

constexpr QLatin1StringView kCalibrationSuffix("_CALIBR");

// The rates the serial link opens a port with; any other fails at connection time.
constexpr double kPortSpeeds[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                  19200, 38400, 56000, 57600, 115200, 128000, 256000};

constexpr double kIntMax = std::numeric_limits<int>::max();
// Two hexadecimal digits in the module commands.
constexpr double kLastModuleAddress = 255;
// The input module has eight channels; an output channel above 4 is sent as 4.
constexpr double kLastInputChannel = 7;
constexpr double kLastOutputChannel = 4;
// Slots of a module's group in the value blocks.
constexpr double kLastInputSlot = 3;
constexpr double kLastOutputSlot = 2;
// A day of one-second cycles; a longer average is cut when the averages are made.
constexpr double kLongestAverage = 86400;

template <auto Member>
SettingField FieldOf(TConfig& config) {
  return &(config.*Member);
}
template <auto Member, int Index>
SettingField ElementOf(TConfig& config) {
  return &(config.*Member)[Index];
}
template <SummationConstant Quantity, int Section>
SettingField SummationConstantOf(TConfig& config) {
  return &config.SummationConstants[Quantity][Section];
}
template <auto Member>
SettingField SignalFieldOf(TSignalSet& signal) {
  return &(signal.*Member);
}

using enum SettingKind;

// clang-format off
constexpr SettingEntry kTable[] = {
    {.Section = "MySQL", .Key = "Host", .Default = "127.0.0.1",
     .Meaning = "history database server; `host:port` for a server on another port",
     .Kind = Text, .Field = FieldOf<&TConfig::Host>},
    {.Section = "MySQL", .Key = "Login", .Default = "temp_master", .Meaning = "database user",
     .Kind = Text, .Field = FieldOf<&TConfig::Login>},
    {.Section = "MySQL", .Key = "Password", .Default = "(none)",
     .Meaning = "database password, scrambled; written only when not empty",
     .Kind = Secret, .Field = FieldOf<&TConfig::Password>},
    {.Section = "MySQL", .Key = "Version", .Default = "5", .Meaning = "database client generation",
     .Kind = Integer, .Field = FieldOf<&TConfig::Version>},
    {.Section = "MySQL", .Key = "SavePassword", .Default = "1", .Meaning = "read the password back at start",
     .Kind = Flag, .Field = FieldOf<&TConfig::SavePassword>},
    {.Section = "MySQL", .Key = "Disabled", .Default = "0", .Meaning = "database switched off",
     .Kind = Flag, .Field = FieldOf<&TConfig::Disabled>},

    {.Section = "System", .Key = "ReplaceShell", .Default = "0",
     .Meaning = "the console replaces the desktop session",
     .Kind = Flag, .Field = FieldOf<&TConfig::ReplaceShell>},
    {.Section = "System", .Key = "ShutdownOnExit", .Default = "0", .Meaning = "power off when the console ends",
     .Kind = Flag, .Field = FieldOf<&TConfig::ShutdownOnExit>},
    {.Section = "System", .Key = "SaveLogFlag", .Default = "1",
     .Meaning = "event-log messages go to the daily files",
     .Kind = Flag, .Field = FieldOf<&TConfig::SaveLogFlag>},
    {.Section = "System", .Key = "AutoStartControl", .Default = "1",
     .Meaning = "start the worker threads at start-up",
     .Kind = Flag, .Field = FieldOf<&TConfig::AutoStartControl>},
    {.Section = "System", .Key = "LanServer", .Default = "1", .Meaning = "start the TCP query server with them",
     .Kind = Flag, .Field = FieldOf<&TConfig::LanServer>},
    // The query server's keys are added by hand; a file without them keeps
    // the server as it always was.
    {.Section = "System", .Key = "LanPort", .Default = "7777", .Min = 1, .Max = 65535, .Written = false,
     .Meaning = "read only (never written): TCP port of the query server",
     .Kind = Integer, .Field = FieldOf<&TConfig::LanPort>, .Fallback = OutOfRange::BuiltIn},
    {.Section = "System", .Key = "LanBindAddress", .Default = "empty", .Written = false,
     .Meaning = "read only: IPv4 address to listen on; empty = all",
     .Kind = Text, .Field = FieldOf<&TConfig::LanBindAddress>},
    {.Section = "System", .Key = "LanAllow", .Default = "empty", .Written = false,
     .Meaning = "read only: addresses/networks allowed to connect; empty = everyone",
     .Kind = Text, .Field = FieldOf<&TConfig::LanAllow>},
    {.Section = "System", .Key = "LanIdleTimeout", .Default = "600", .Min = 0, .Max = kIntMax, .Written = false,
     .Meaning = "read only: seconds without a byte before a connection is closed; 0 = never",
     .Kind = Integer, .Field = FieldOf<&TConfig::LanIdleTimeout>, .Fallback = OutOfRange::BuiltIn},
    {.Section = "System", .Key = "LanMaxConnections", .Default = "64", .Min = 1, .Max = kIntMax,
     .Written = false, .Meaning = "read only: connections served at once",
     .Kind = Integer, .Field = FieldOf<&TConfig::LanMaxConnections>, .Fallback = OutOfRange::BuiltIn},
    {.Section = "System", .Key = "TimeSetCommand", .Default = "(empty)", .Written = false,
     .Meaning = "read only: the date and time settings program the menu command starts, with its "
                "arguments; empty: the first installed of `gnome-control-center datetime`, "
                "`systemsettings kcm_clock`, `systemsettings5 clock`, `mate-time-admin`, `time-admin`",
     .Kind = Text, .Field = FieldOf<&TConfig::TimeSetCommand>},
    {.Section = "System", .Key = "MinuteJournal", .Default = "1", .Written = false,
     .Meaning = "read only: keep the minute records the station has not collected in minutes.journal beside this file; 0 = in memory only",
     .Kind = Flag, .Field = FieldOf<&TConfig::MinuteJournal>},

    {.Section = "COM", .Key = "HardReadPort", .Default = "COM2",
     .Meaning = "serial port of the input modules (\"COMn\" is /dev/ttyS(n-1); other names are device paths)",
     .Kind = Text, .Field = FieldOf<&TConfig::HardReadPort>},
    {.Section = "COM", .Key = "HardWritePort", .Default = "COM3",
     .Meaning = "serial port of the output modules (\"COMn\" is /dev/ttyS(n-1); other names are device paths)",
     .Kind = Text, .Field = FieldOf<&TConfig::HardWritePort>},
    {.Section = "COM", .Key = "ServerLinkPort", .Default = "COM1",
     .Meaning = "serial port of the station line (\"COMn\" is /dev/ttyS(n-1); other names are device paths)",
     .Kind = Text, .Field = FieldOf<&TConfig::ServerLinkPort>},
    {.Section = "COM", .Key = "ServerLinkPrefix", .Default = "PUF1",
     .Meaning = "this console's address on the station line",
     .Kind = Text, .Field = FieldOf<&TConfig::ServerLinkPrefix>},
    {.Section = "COM", .Key = "ReadPortSpeed", .Default = "38400", .Min = 110, .Max = 256000,
     .Meaning = "baud rate of HardReadPort",
     .Kind = Integer, .Field = FieldOf<&TConfig::ReadPortSpeed>, .Choices = kPortSpeeds},
    {.Section = "COM", .Key = "WritePortSpeed", .Default = "38400", .Min = 110, .Max = 256000,
     .Meaning = "baud rate of HardWritePort",
     .Kind = Integer, .Field = FieldOf<&TConfig::WritePortSpeed>, .Choices = kPortSpeeds},
    {.Section = "COM", .Key = "LinkPortSpeed", .Default = "38400", .Min = 110, .Max = 256000,
     .Meaning = "baud rate of ServerLinkPort",
     .Kind = Integer, .Field = FieldOf<&TConfig::LinkPortSpeed>, .Choices = kPortSpeeds},
    {.Section = "COM", .Key = "PortRetrySec", .Default = "10", .Min = 0, .Max = 3600, .Written = false,
     .Meaning = "read only: seconds between attempts to open a port that failed or went away; 0 = give up",
     .Kind = Integer, .Field = FieldOf<&TConfig::PortRetrySec>, .Fallback = OutOfRange::BuiltIn},

    {.Section = "ICP", .Key = "I7017_1_addr", .Default = "1", .Min = 0, .Max = kLastModuleAddress,
     .Meaning = "address of the input module of section 1",
     .Kind = Integer, .Field = FieldOf<&TConfig::I7017_1_addr>},
    {.Section = "ICP", .Key = "I7017_2_addr", .Default = "2", .Min = 0, .Max = kLastModuleAddress,
     .Meaning = "address of the input module of section 2",
     .Kind = Integer, .Field = FieldOf<&TConfig::I7017_2_addr>},
    {.Section = "ICP", .Key = "I7024_1_addr", .Default = "3", .Min = 0, .Max = kLastModuleAddress,
     .Meaning = "address of the output module of section 1",
     .Kind = Integer, .Field = FieldOf<&TConfig::I7024_1_addr>},
    {.Section = "ICP", .Key = "I7024_2_addr", .Default = "4", .Min = 0, .Max = kLastModuleAddress,
     .Meaning = "address of the output module of section 2",
     .Kind = Integer, .Field = FieldOf<&TConfig::I7024_2_addr>},
    {.Section = "ICP", .Key = "ADC_signal_count", .Default = "8",
     .Meaning = "written for information; never read; the input signals' sections follow",
     .Kind = SignalCount, .Field = FieldOf<&TConfig::InputSignals>},
    {.Section = "ICP", .Key = "DAC_signal_count", .Default = "6",
     .Meaning = "written for information; never read; the output signals' sections follow",
     .Kind = SignalCount, .Field = FieldOf<&TConfig::OutputSignals>},

    {.Section = "CONST", .Key = "KVF_1", .Default = "1/60",
     .Meaning = "weight of a minute value in the summary sums: pulp volume, section 1",
     .Kind = Float, .Field = SummationConstantOf<kKVF, 0>},
    {.Section = "CONST", .Key = "KVF_2", .Default = "1/60",
     .Meaning = "weight of a minute value in the summary sums: pulp volume, section 2",
     .Kind = Float, .Field = SummationConstantOf<kKVF, 1>},
    {.Section = "CONST", .Key = "KGF_1", .Default = "1/60",
     .Meaning = "weight of a minute value in the summary sums: solids, section 1",
     .Kind = Float, .Field = SummationConstantOf<kKGF, 0>},
    {.Section = "CONST", .Key = "KGF_2", .Default = "1/60",
     .Meaning = "weight of a minute value in the summary sums: solids, section 2",
     .Kind = Float, .Field = SummationConstantOf<kKGF, 1>},
    {.Section = "CONST", .Key = "KVRRS_1", .Default = "1/60",
     .Meaning = "weight of a minute value in the summary sums: collector volume, section 1",
     .Kind = Float, .Field = SummationConstantOf<kKVRRS, 0>},
    {.Section = "CONST", .Key = "KVRRS_2", .Default = "1/60",
     .Meaning = "weight of a minute value in the summary sums: collector volume, section 2",
     .Kind = Float, .Field = SummationConstantOf<kKVRRS, 1>},
    {.Section = "CONST", .Key = "KVRRP_1", .Default = "1/60",
     .Meaning = "weight of a minute value in the summary sums: frother volume, section 1",
     .Kind = Float, .Field = SummationConstantOf<kKVRRP, 0>},
    {.Section = "CONST", .Key = "KVRRP_2", .Default = "1/60",
     .Meaning = "weight of a minute value in the summary sums: frother volume, section 2",
     .Kind = Float, .Field = SummationConstantOf<kKVRRP, 1>},
    {.Section = "CONST", .Key = "KVRRFL_1", .Default = "1/60",
     .Meaning = "weight of a minute value in the summary sums: flocculant volume, section 1",
     .Kind = Float, .Field = SummationConstantOf<kKVRRFL, 0>},
    {.Section = "CONST", .Key = "KVRRFL_2", .Default = "1/60",
     .Meaning = "weight of a minute value in the summary sums: flocculant volume, section 2",
     .Kind = Float, .Field = SummationConstantOf<kKVRRFL, 1>},
    {.Section = "CONST", .Key = "MAX_TRRS", .Default = "300", .Unit = "l/h",
     .Meaning = "upper limit of the collector flow", .Kind = Float, .Field = FieldOf<&TConfig::MAX_TRRS>},
    {.Section = "CONST", .Key = "MAX_TRRP", .Default = "150", .Unit = "l/h",
     .Meaning = "upper limit of the frother flow", .Kind = Float, .Field = FieldOf<&TConfig::MAX_TRRP>},
    {.Section = "CONST", .Key = "MAX_TRFL", .Default = "150", .Unit = "l/h",
     .Meaning = "upper limit of the flocculant flow", .Kind = Float, .Field = FieldOf<&TConfig::MAX_TRFL>},
    {.Section = "CONST", .Key = "MAX_ZRRS", .Default = "1500", .Unit = "ml/t",
     .Meaning = "upper limit of the collector specific consumption",
     .Kind = Float, .Field = FieldOf<&TConfig::MAX_ZRRS>},
    {.Section = "CONST", .Key = "MAX_ZRRP", .Default = "150", .Unit = "ml/t",
     .Meaning = "upper limit of the frother specific consumption",
     .Kind = Float, .Field = FieldOf<&TConfig::MAX_ZRRP>},
    {.Section = "CONST", .Key = "MAX_ZRFL", .Default = "150", .Unit = "ml/t",
     .Meaning = "upper limit of the flocculant specific consumption",
     .Kind = Float, .Field = FieldOf<&TConfig::MAX_ZRFL>},
    {.Section = "CONST", .Key = "MIN_RVF", .Default = "40", .Unit = "m³/h",
     .Meaning = "pulp flow above which a section runs", .Kind = Float, .Field = FieldOf<&TConfig::MIN_RVF>},

    {.Section = "OnColors", .Key = "Pulpa", .Default = "0x00FFFF00",
     .Meaning = "diagram colour of the feed pulp of a running section",
     .Kind = Colour, .Field = ElementOf<&TConfig::OnColors, kPulpa>},
    {.Section = "OnColors", .Key = "Reciver", .Default = "0x00008000",
     .Meaning = "diagram colour of the collector of a running section",
     .Kind = Colour, .Field = ElementOf<&TConfig::OnColors, kReciver>},
    {.Section = "OnColors", .Key = "PenoGen", .Default = "0x000000FF",
     .Meaning = "diagram colour of the frother of a running section",
     .Kind = Colour, .Field = ElementOf<&TConfig::OnColors, kPenoGen>},
    {.Section = "OnColors", .Key = "FlotoConc", .Default = "0x00FF00FF",
     .Meaning = "diagram colour of the flotation concentrate of a running section",
     .Kind = Colour, .Field = ElementOf<&TConfig::OnColors, kFlotoConc>},
    {.Section = "OnColors", .Key = "FlotOut", .Default = "0x0000FF00",
     .Meaning = "diagram colour of the flotation tailings of a running section",
     .Kind = Colour, .Field = ElementOf<&TConfig::OnColors, kFlotOut>},
    {.Section = "OnColors", .Key = "Flok", .Default = "0x0000FFFF",
     .Meaning = "diagram colour of the flocculant of a running section",
     .Kind = Colour, .Field = ElementOf<&TConfig::OnColors, kFlok>},
    {.Section = "OffColors", .Key = "Pulpa", .Default = "0x00C0C0C0",
     .Meaning = "diagram colour of the feed pulp of a stopped section",
     .Kind = Colour, .Field = ElementOf<&TConfig::OffColors, kPulpa>},
    {.Section = "OffColors", .Key = "Reciver", .Default = "0x00C0C0C0",
     .Meaning = "diagram colour of the collector of a stopped section",
     .Kind = Colour, .Field = ElementOf<&TConfig::OffColors, kReciver>},
    {.Section = "OffColors", .Key = "PenoGen", .Default = "0x00C0C0C0",
     .Meaning = "diagram colour of the frother of a stopped section",
     .Kind = Colour, .Field = ElementOf<&TConfig::OffColors, kPenoGen>},
    {.Section = "OffColors", .Key = "FlotoConc", .Default = "0x00C0C0C0",
     .Meaning = "diagram colour of the flotation concentrate of a stopped section",
     .Kind = Colour, .Field = ElementOf<&TConfig::OffColors, kFlotoConc>},
    {.Section = "OffColors", .Key = "FlotOut", .Default = "0x00C0C0C0",
     .Meaning = "diagram colour of the flotation tailings of a stopped section",
     .Kind = Colour, .Field = ElementOf<&TConfig::OffColors, kFlotOut>},
    {.Section = "OffColors", .Key = "Flok", .Default = "0x00C0C0C0",
     .Meaning = "diagram colour of the flocculant of a stopped section",
     .Kind = Colour, .Field = ElementOf<&TConfig::OffColors, kFlok>},

    {.Section = "Emul", .Key = "emul_I7017_1_flag", .Default = "0",
     .Meaning = "the input module of section 1 is emulated",
     .Kind = Flag, .Field = ElementOf<&TConfig::EmulI7017Flag, 0>},
    {.Section = "Emul", .Key = "disable_dac_write_flag1", .Default = "0",
     .Meaning = "no commands are sent to the output module of section 1",
     .Kind = Flag, .Field = ElementOf<&TConfig::DisableDacWrite, 0>},
    {.Section = "Emul", .Key = "emul_I7017_1_rez", .Default = "!02471111222233334444555566667777",
     .Meaning = "the emulated answer of the input module of section 1",
     .Kind = Text, .Field = ElementOf<&TConfig::EmulI7017Answer, 0>},
    {.Section = "Emul", .Key = "emul_I7017_2_flag", .Default = "0",
     .Meaning = "the input module of section 2 is emulated",
     .Kind = Flag, .Field = ElementOf<&TConfig::EmulI7017Flag, 1>},
    {.Section = "Emul", .Key = "disable_dac_write_flag2", .Default = "0",
     .Meaning = "no commands are sent to the output module of section 2",
     .Kind = Flag, .Field = ElementOf<&TConfig::DisableDacWrite, 1>},
    {.Section = "Emul", .Key = "emul_I7017_2_rez", .Default = "!02477777666655554444333322221111",
     .Meaning = "the emulated answer of the input module of section 2",
     .Kind = Text, .Field = ElementOf<&TConfig::EmulI7017Answer, 1>},

    // A signal's keys in the order of its section; the entries of one scope
    // narrow those of the other list's for the same key.
    {.Section = kSignalSection, .Key = "Chanel", .Default = "by position", .Min = 0, .Max = kLastInputChannel,
     .Meaning = "channel on the input module; a signal on another one is not read",
     .Kind = Integer, .SignalField = SignalFieldOf<&TSignalSet::Chanel>, .Scope = SignalScope::Inputs},
    {.Section = kSignalSection, .Key = "Chanel", .Default = "by position", .Min = 0, .Max = kLastOutputChannel,
     .Meaning = "channel on the output module; one outside is sent on the nearer of 0 and 4",
     .Kind = Integer, .SignalField = SignalFieldOf<&TSignalSet::Chanel>, .Scope = SignalScope::Outputs},
    {.Section = kSignalSection, .Key = "RecIndex", .Default = "by position", .Min = 0, .Max = kLastInputSlot,
     .Meaning = "slot of the value in its module's group of the value blocks",
     .Kind = Integer, .SignalField = SignalFieldOf<&TSignalSet::RecIndex>, .Scope = SignalScope::Inputs},
    {.Section = kSignalSection, .Key = "RecIndex", .Default = "by position", .Min = 0,
     .Max = kLastOutputSlot, .Meaning = "slot of the value in its module's group of the value blocks",
     .Kind = Integer, .SignalField = SignalFieldOf<&TSignalSet::RecIndex>, .Scope = SignalScope::Outputs},
    {.Section = kSignalSection, .Key = "InverseFlag", .Default = "0", .Meaning = "kept in the file only",
     .Kind = Flag, .SignalField = SignalFieldOf<&TSignalSet::InverseFlag>},
    {.Section = kSignalSection, .Key = "AverageSize", .Default = "1", .Min = 1, .Max = kLongestAverage,
     .Meaning = "length of the moving average in cycles (about seconds), input signals only; "
                "a longer one is cut to 86400 and logged",
     .Kind = Integer, .SignalField = SignalFieldOf<&TSignalSet::AverageSize>},

    {.Section = kCalibrationSection, .Key = "Size", .Default = "2", .Min = 1, .Max = kCalibrationMaxUsable,
     .Meaning = "points of the calibration table; a Size above 511 is cut to 511 and logged",
     .Kind = Calibration},
    {.Section = kCalibrationSection, .Key = "AVal", .Default = "0, 100",
     .Meaning = "argument of a point: the module value of an input, the physical value of an output",
     .Kind = Calibration, .Indexed = true},
    {.Section = kCalibrationSection, .Key = "FVal", .Default = "0, 100",
     .Meaning = "value of a point: the physical value of an input, the module value of an output",
     .Kind = Calibration, .Indexed = true},
};
// clang-format on

bool IsStandIn(const SettingEntry& entry) {
  return entry.Section == std::string_view(kSignalSection) ||
         entry.Section == std::string_view(kCalibrationSection);
}

bool SameName(QStringView a, const char* b) {
  return a.compare(QLatin1StringView(b), Qt::CaseInsensitive) == 0;
}

bool IsOneOf(QStringView name, std::span<const char* const> names) {
  for (const char* candidate : names) {
    if (SameName(name, candidate)) return true;
  }
  return false;
}

// The signal list whose sections the name stands for.
enum class SectionList { None, Inputs, Outputs };

SectionList SignalListOf(QStringView section) {
  if (SameName(section, kSignalSection) || IsOneOf(section, kInputSignalNames)) return SectionList::Inputs;
  if (IsOneOf(section, kOutputSignalNames)) return SectionList::Outputs;
  return SectionList::None;
}

bool InScope(const SettingEntry& entry, SectionList list) {
  switch (entry.Scope) {
    case SignalScope::Every:
      return true;
    case SignalScope::Inputs:
      return list == SectionList::Inputs;
    case SignalScope::Outputs:
      return list == SectionList::Outputs;
  }
  return false;
}

// "AVal12": the entry's key and a point number as the calibration code writes
// it (no sign, no leading zero) below the table's capacity.
bool MatchesIndexedKey(QStringView key, const char* prefix) {
  const QLatin1StringView stem(prefix);
  if (!key.startsWith(stem, Qt::CaseInsensitive)) return false;
  const QStringView digits = key.mid(stem.size());
  if (digits.isEmpty() || digits.size() > 3 || (digits.size() > 1 && digits.front() == u'0')) return false;
  int number = 0;
  for (QChar c : digits) {
    if (c < u'0' || c > u'9') return false;
    number = number * 10 + (c.unicode() - u'0');
  }
  return number < kCalibrationMaxUsable;
}

}  // namespace

std::span<const SettingEntry> SettingsTable() {
  return kTable;
}

std::span<const char* const> InputSignalNames() {
  return kInputSignalNames;
}

std::span<const char* const> OutputSignalNames() {
  return kOutputSignalNames;
}

const SettingEntry* FindSetting(QStringView section, QStringView key) {
  for (const SettingEntry& entry : kTable) {
    if (!IsStandIn(entry) && SameName(section, entry.Section) && SameName(key, entry.Key)) return &entry;
  }
  const SectionList list = SignalListOf(section);
  if (list != SectionList::None) {
    for (const SettingEntry& entry : kTable) {
      if (entry.Section == std::string_view(kSignalSection) && InScope(entry, list) &&
          SameName(key, entry.Key))
        return &entry;
    }
    return nullptr;
  }
  if (section.endsWith(kCalibrationSuffix, Qt::CaseInsensitive) &&
      SignalListOf(section.chopped(kCalibrationSuffix.size())) != SectionList::None) {
    for (const SettingEntry& entry : kTable) {
      if (entry.Section != std::string_view(kCalibrationSection)) continue;
      if (entry.Indexed ? MatchesIndexedKey(key, entry.Key) : SameName(key, entry.Key)) return &entry;
    }
  }
  return nullptr;
}

bool InSettingRange(const SettingEntry& entry, double value) {
  const bool number = entry.Kind == SettingKind::Integer || entry.Kind == SettingKind::Float ||
                      entry.Kind == SettingKind::SignalCount || entry.Kind == SettingKind::Calibration;
  if (!number) return true;
  if (!std::isfinite(value)) return false;
  const bool whole =
      entry.Kind != SettingKind::Float && !(entry.Kind == SettingKind::Calibration && entry.Indexed);
  if (whole && (value != std::trunc(value) || value < std::numeric_limits<int>::min() ||
                value > std::numeric_limits<int>::max()))
    return false;
  if (!entry.Choices.empty()) {
    for (double choice : entry.Choices) {
      if (value == choice) return true;
    }
    return false;
  }
  if (entry.Min == 0 && entry.Max == 0) return true;
  return value >= entry.Min && value <= entry.Max;
}
