#pragma once

#include <QString>
#include <array>

class IniFile;

// A calibration table: points (AVal[i], FVal[i]) for i < Size, in any order,
// arguments not necessarily distinct. Usable for conversion when
// 1 <= Size <= kCalibrationMaxUsable.
struct CalibrationTable {
  static constexpr int kSlots = 512;

  int Size = 0;
  std::array<double, kSlots> AVal{};
  std::array<double, kSlots> FVal{};

  // The identity table every signal starts with: (0, 0) and (100, 100).
  static CalibrationTable Identity();
};

inline constexpr int kCalibrationMaxUsable = CalibrationTable::kSlots - 1;

// Piecewise-linear conversion through the nearest points, linear
// extrapolation along the two outermost points beyond the ends. No table or
// an unusable Size gives 0. With clamp, a negative interpolated result
// becomes 0 (an exact hit on a point is returned as it is).
double CalibrateValue(double x, const CalibrationTable* table, bool clamp);

// Reads "Size", "AVal"i, "FVal"i from a section; absent or unreadable keys
// keep the table's current values. A "Size" above kCalibrationMaxUsable is cut
// to it and the cut is written to the event log. False for an empty section
// name.
bool LoadCalibrateTableFromIni(const IniFile& ini, const QString& section, CalibrationTable& table);

// Writes "Size" and the points in use. False (and the failure in the event
// log) when a write fails; false for an empty section name.
bool SaveCalibrateTableToIni(IniFile& ini, const QString& section, const CalibrationTable& table);
