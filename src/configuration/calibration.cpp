#include "configuration/calibration.h"

#include <algorithm>
#include <exception>
#include <limits>

#include "common/inifile.h"
#include "storage/eventlog.h"

namespace {

// The flags the calibration failures have always been logged with; no window
// bit among them, so they only reach the log file.
constexpr uint32_t kCriticalLogFlags = 68;

constexpr int kNoPoint = -1;

QString AValKey(int index) {
  return QStringLiteral("AVal") + QString::number(index);
}
QString FValKey(int index) {
  return QStringLiteral("FVal") + QString::number(index);
}

QString CriticalText(const char* function, const QString& message) {
  return QStringLiteral("Критическая ошибка в ") + QLatin1String(function) + QStringLiteral("(): \"") +
         message + QStringLiteral("\".");
}

double Interpolate(double x, double aL, double fL, double aU, double fU, bool clamp) {
  const double d = aU - aL;
  if (d == 0) return fL;
  const double r = fL + (x - aL) * (fU - fL) / d;
  return (clamp && r < 0) ? 0.0 : r;
}

// The point with the greatest argument strictly below "limit" (earliest of
// equals), other than "except".
int GreatestBelow(const CalibrationTable& table, double limit, int except) {
  int found = kNoPoint;
  for (int i = 0; i < table.Size; ++i) {
    if (i == except || !(table.AVal[i] < limit)) continue;
    if (found == kNoPoint || table.AVal[i] > table.AVal[found]) found = i;
  }
  return found;
}

// The point with the smallest argument strictly above "limit" (earliest of
// equals), other than "except".
int SmallestAbove(const CalibrationTable& table, double limit, int except) {
  int found = kNoPoint;
  for (int i = 0; i < table.Size; ++i) {
    if (i == except || !(table.AVal[i] > limit)) continue;
    if (found == kNoPoint || table.AVal[i] < table.AVal[found]) found = i;
  }
  return found;
}

}  // namespace

CalibrationTable CalibrationTable::Identity() {
  CalibrationTable table;
  table.Size = 2;
  table.AVal[0] = 0;
  table.FVal[0] = 0;
  table.AVal[1] = 100;
  table.FVal[1] = 100;
  return table;
}

double CalibrateValue(double x, const CalibrationTable* table, bool clamp) {
  if (table == nullptr || table->Size < 1 || table->Size > kCalibrationMaxUsable) return 0;
  const CalibrationTable& t = *table;
  if (t.Size == 1) return t.FVal[0];
  if (t.Size == 2) return Interpolate(x, t.AVal[0], t.FVal[0], t.AVal[1], t.FVal[1], clamp);

  int lower = kNoPoint;
  int upper = kNoPoint;
  for (int i = 0; i < t.Size; ++i) {
    const double a = t.AVal[i];
    if (x == a) return t.FVal[i];
    if (a < x) {
      if (lower == kNoPoint || a > t.AVal[lower]) lower = i;
    } else if (a > x) {
      if (upper == kNoPoint || a < t.AVal[upper]) upper = i;
    }
  }

  if (lower == kNoPoint && upper == kNoPoint) {
    // Only a NaN argument (or a table of NaNs) gets here; there is no line to
    // follow, and a made-up number would look like a measurement.
    return std::numeric_limits<double>::quiet_NaN();
  }
  if (upper == kNoPoint) {
    upper = lower;
    lower = GreatestBelow(t, t.AVal[upper], upper);
    if (lower == kNoPoint) return t.FVal[upper];
  } else if (lower == kNoPoint) {
    lower = upper;
    upper = SmallestAbove(t, t.AVal[lower], lower);
    if (upper == kNoPoint) return t.FVal[lower];
  }
  return Interpolate(x, t.AVal[lower], t.FVal[lower], t.AVal[upper], t.FVal[upper], clamp);
}

bool LoadCalibrateTableFromIni(const IniFile& ini, const QString& section, CalibrationTable& table) {
  if (section.isEmpty()) return false;
  try {
    int size = ini.ReadInteger(section, QStringLiteral("Size"), table.Size);
    if (size > kCalibrationMaxUsable) {
      // The arrays hold no more; a cut table still converts, a refused one
      // would silently turn the signal into zeros.
      AddLogMessage(QStringLiteral("Таблица калибровки %1: размер %2 уменьшен до %3.")
                        .arg(section, QString::number(size), QString::number(kCalibrationMaxUsable)),
                    0);
      size = kCalibrationMaxUsable;
    }
    table.Size = size;
    for (int i = 0; i < size; ++i) {
      table.AVal[i] = ini.ReadFloat(section, AValKey(i), table.AVal[i]);
      table.FVal[i] = ini.ReadFloat(section, FValKey(i), table.FVal[i]);
    }
    return true;
  } catch (const std::exception& e) {
    AddLogMessage(CriticalText("LoadCalibrateTableFromIni", QString::fromUtf8(e.what())), kCriticalLogFlags);
  } catch (...) {
    AddLogMessage(CriticalText("LoadCalibrateTableFromIni", QStringLiteral("неизвестная ошибка")),
                  kCriticalLogFlags);
  }
  return false;
}

bool SaveCalibrateTableToIni(IniFile& ini, const QString& section, const CalibrationTable& table) {
  if (section.isEmpty()) return false;
  try {
    bool written = ini.WriteInteger(section, QStringLiteral("Size"), table.Size);
    // A table set in memory beyond its slots is saved as far as it exists.
    const int points = std::min(table.Size, CalibrationTable::kSlots);
    for (int i = 0; written && i < points; ++i) {
      written = ini.WriteFloat(section, AValKey(i), table.AVal[i]) &&
                ini.WriteFloat(section, FValKey(i), table.FVal[i]);
    }
    if (written) return true;
    AddLogMessage(
        CriticalText("SaveCalibrateTableToIni", QStringLiteral("не удалось записать файл ") + ini.FileName()),
        kCriticalLogFlags);
  } catch (const std::exception& e) {
    AddLogMessage(CriticalText("SaveCalibrateTableToIni", QString::fromUtf8(e.what())), kCriticalLogFlags);
  } catch (...) {
    AddLogMessage(CriticalText("SaveCalibrateTableToIni", QStringLiteral("неизвестная ошибка")),
                  kCriticalLogFlags);
  }
  return false;
}
