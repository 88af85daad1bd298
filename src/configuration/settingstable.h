#pragma once

#include <QString>
#include <QStringView>
#include <span>

// The one list of the application INI file's keys: what LoadConfig reads,
// what SaveConfig writes, what the settings windows accept and what
// doc/files.md documents all come from it, so that a key is added once.
// Static data; any thread.
struct SettingEntry {
  const char* Section;  // as in the file; kSignalSection / kCalibrationSection for every signal
  const char* Key;      // as in the file
  const char* Default;  // the built-in value as the documentation shows it
  double Min;           // accepted range of a number (inclusive); both 0 for texts and flags
  double Max;
  const char* Unit;     // "" when none
  bool Written;         // SaveConfig writes it (false: read only, or never read)
  const char* Meaning;  // the documentation's short text
};

// Stand-ins for the per-signal sections ("PLF_1", "PLF_1_CALIBR" ...).
inline constexpr const char* kSignalSection = "*signal*";
inline constexpr const char* kCalibrationSection = "*signal*_CALIBR";

std::span<const SettingEntry> SettingsTable();

// The entry of a key; "section" may be a real signal or calibration section
// name, which finds the signal entries. Case-insensitive like the file.
// nullptr when the file has no such key.
const SettingEntry* FindSetting(QStringView section, QStringView key);

// Whether a number is acceptable for the entry (always true for texts and flags).
bool InSettingRange(const SettingEntry& entry, double value);
