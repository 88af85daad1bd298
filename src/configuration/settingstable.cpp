#include "configuration/settingstable.h"

// Filled in with the whole key list; until then no key has a range.
std::span<const SettingEntry> SettingsTable() {
  return {};
}

const SettingEntry* FindSetting(QStringView, QStringView) {
  return nullptr;
}

bool InSettingRange(const SettingEntry& entry, double value) {
  if (entry.Min == 0 && entry.Max == 0) return true;
  return value >= entry.Min && value <= entry.Max;
}
