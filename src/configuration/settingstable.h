#pragma once

#include <QString>
#include <QStringView>
#include <cstdint>
#include <memory>
#include <span>
#include <variant>
#include <vector>

#include "configuration/setting.h"

class TConfig;
class TSignalSet;

// How a key's value stands in the file.
enum class SettingKind {
  Text,         // as it stands
  Secret,       // scrambled; written only when not empty, read back only while SavePassword is set
  Flag,         // "1" / "0"; any non-zero integer reads as true
  Integer,      // decimal; hexadecimal after "0x" or "$" is read too
  Float,        // 15 significant digits with the file's decimal separator
  Colour,       // "0x" and eight upper-case hexadecimal digits; a bad text ends the reading of its section
  SignalCount,  // length of a signal list, written for information and never read; the list's
                // signal and calibration sections are written right after it
  Calibration,  // a calibration table's key, read and written with the whole table
};

// Which signals an entry of kSignalSection is for. Chanel and RecIndex have
// one entry per list because the modules differ; the key is the same.
enum class SignalScope { Every, Inputs, Outputs };

// What a load does with a number outside the range (Kept: keeps it, the
// users of the value cope; BuiltIn: the built-in default replaces it).
enum class OutOfRange { Kept, BuiltIn };

using SignalList = std::vector<std::unique_ptr<TSignalSet>>;
// The field an entry is stored from and loaded into; monostate for the
// calibration keys, which belong to a whole table.
using SettingField = std::variant<std::monostate, Setting<QString>*, Setting<bool>*, Setting<int>*,
                                  Setting<double>*, Setting<uint32_t>*, SignalList*>;

// The one list of the application INI file's keys: what LoadConfig reads,
// what SaveConfig writes, what the settings windows accept and what
// doc/files.md documents all come from it, so that a key is added once.
// The order is the order of the file. Static data; any thread.
struct SettingEntry {
  const char* Section;  // as in the file; kSignalSection / kCalibrationSection for every signal
  const char* Key;      // as in the file; with Indexed, followed by a point number
  const char* Default;  // the built-in value as the documentation shows it
  double Min = 0;       // accepted range of a number (inclusive); both 0: any value of its type
  double Max = 0;
  const char* Unit = "";     // "" when none
  bool Written = true;       // SaveConfig writes it (false: read only, or never read)
  const char* Meaning = "";  // the documentation's short text
  SettingKind Kind = SettingKind::Text;
  // Where the value lives: in the configuration for the entries of real
  // sections, in a signal for those of kSignalSection; nullptr for calibration keys.
  SettingField (*Field)(TConfig&) = nullptr;
  SettingField (*SignalField)(TSignalSet&) = nullptr;
  SignalScope Scope = SignalScope::Every;
  OutOfRange Fallback = OutOfRange::Kept;
  bool Indexed = false;                  // "AVal0", "AVal1" ...: one key per calibration point
  std::span<const double> Choices = {};  // when not empty, the only values accepted
};

// Stand-ins for the per-signal sections ("PLF_1", "PLF_1_CALIBR" ...).
inline constexpr const char* kSignalSection = "*signal*";
inline constexpr const char* kCalibrationSection = "*signal*_CALIBR";

std::span<const SettingEntry> SettingsTable();

// The built-in signals in list order; each name is also its section's name,
// and with "_CALIBR" the name of its calibration table's section.
std::span<const char* const> InputSignalNames();
std::span<const char* const> OutputSignalNames();

// The entry of a key; "section" may be a real signal or calibration section
// name, which finds the signal entries of its list (kSignalSection itself
// finds those of the input signals). Case-insensitive like the file.
// nullptr when the file has no such key.
const SettingEntry* FindSetting(QStringView section, QStringView key);

// Whether a number is acceptable for the entry: within the range or among the
// choices, a whole number for integers, finite for numbers without a range.
// Always true for texts and flags.
bool InSettingRange(const SettingEntry& entry, double value);
