#include "consoleini.h"

#include <QDir>
#include <QFileInfo>
#include <array>

#include "common/inifile.h"
#include "configuration/calibration.h"
#include "configuration/config.h"
#include "configuration/tmcrypt.h"

namespace {

// Physical value at the simulator's full scale, by RecIndex (the quantity of the slot):
// density g/l, pulp flow m³/h, section tank %, common tank %.
constexpr std::array<double, 4> kSimulatorFullScale = {400, 1000, 100, 100};
constexpr double kSimulatorFullScaleCount = 32767;

bool IsBuiltInCalibration(const CalibrationTable& table) {
  const CalibrationTable identity = CalibrationTable::Identity();
  if (table.Size != identity.Size) return false;
  for (int i = 0; i < identity.Size; ++i)
    if (table.AVal[i] != identity.AVal[i] || table.FVal[i] != identity.FVal[i]) return false;
  return true;
}

void ScaleForSimulator(TConfig& config) {
  for (const auto& signal : config.InputSignals) {
    const int recIndex = signal->RecIndex;
    if (recIndex < 0 || recIndex >= int(kSimulatorFullScale.size())) continue;
    if (!IsBuiltInCalibration(signal->Calibration())) continue;
    CalibrationTable table;
    table.Size = 2;
    table.AVal[1] = kSimulatorFullScaleCount;
    table.FVal[1] = kSimulatorFullScale[recIndex];
    signal->SetCalibration(table);
  }
}

}  // namespace

bool PointConsoleAt(const QString& iniPath, const StationDatabaseSettings& database, bool simulatorScale,
                    int& lanPort, QString& error) {
  if (!QFileInfo(iniPath).absoluteDir().exists()) {
    error = QStringLiteral("%1: the folder does not exist").arg(iniPath);
    return false;
  }
  IniFile ini(iniPath);
  Tmcrypt crypt;
  TConfig config;
  if (!config.LoadConfig(ini, crypt)) {
    error = QStringLiteral("%1: cannot be read").arg(iniPath);
    return false;
  }
  config.Host = QStringLiteral("%1:%2").arg(database.Host).arg(database.Port);
  config.Login = database.User;
  config.Password = database.Password;
  config.SavePassword = true;
  config.Disabled = false;
  config.LanServer = true;
  if (simulatorScale) ScaleForSimulator(config);

  // An empty password is written as no key at all, which would leave an older one standing.
  if (database.Password.isEmpty() && ini.ValueExists(QStringLiteral("MySQL"), QStringLiteral("Password")) &&
      !ini.DeleteKey(QStringLiteral("MySQL"), QStringLiteral("Password"))) {
    error = QStringLiteral("%1: cannot be written").arg(iniPath);
    return false;
  }
  if (!config.SaveConfig(ini, crypt)) {
    error = QStringLiteral("%1: cannot be written").arg(iniPath);
    return false;
  }
  lanPort = config.LanPort;
  return true;
}
