#include "configuration/config.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/inifile.h"
#include "support/inifixture.h"
#include "configuration/tmcrypt.h"
#include "storage/eventlog.h"

namespace {

const QStringList kInputNames = {"PLF_1", "RVF_1", "URFK_1", "URFK12_1",
                                 "PLF_2", "RVF_2", "URFK_2", "URFK12_2"};
const QStringList kOutputNames = {"OARS_1", "OARP_1", "OAFL_1", "OARS_2", "OARP_2", "OAFL_2"};
const QStringList kColorKeyList = {"Pulpa", "Reciver", "PenoGen", "FlotoConc", "FlotOut", "Flok"};

// Every section a save writes, in the order it writes them, with its keys in order.
std::vector<std::pair<QString, QStringList>> ExpectedLayout(bool withPassword) {
  std::vector<std::pair<QString, QStringList>> layout;
  QStringList mysql = {"Host", "Login", "Version", "SavePassword", "Disabled"};
  if (withPassword) mysql.insert(2, QStringLiteral("Password"));
  layout.emplace_back("MySQL", mysql);
  layout.emplace_back("System", QStringList{"ReplaceShell", "ShutdownOnExit", "SaveLogFlag",
                                            "AutoStartControl", "LanServer"});
  layout.emplace_back("COM",
                      QStringList{"HardReadPort", "HardWritePort", "ServerLinkPort", "ServerLinkPrefix",
                                  "ReadPortSpeed", "WritePortSpeed", "LinkPortSpeed"});
  layout.emplace_back("ICP", QStringList{"I7017_1_addr", "I7017_2_addr", "I7024_1_addr", "I7024_2_addr",
                                         "ADC_signal_count", "DAC_signal_count"});
  for (const QString& name : kInputNames + kOutputNames) {
    layout.emplace_back(name, QStringList{"Chanel", "RecIndex", "InverseFlag", "AverageSize"});
    layout.emplace_back(name + "_CALIBR", QStringList{"Size", "AVal0", "FVal0", "AVal1", "FVal1"});
  }
  layout.emplace_back(
      "CONST", QStringList{"KVF_1", "KVF_2", "KGF_1", "KGF_2", "KVRRS_1", "KVRRS_2", "KVRRP_1", "KVRRP_2",
                           "KVRRFL_1", "KVRRFL_2", "MAX_TRRS", "MAX_TRRP", "MAX_TRFL", "MAX_ZRRS", "MAX_ZRRP",
                           "MAX_ZRFL", "MIN_RVF"});
  layout.emplace_back("OnColors", kColorKeyList);
  layout.emplace_back("OffColors", kColorKeyList);
  layout.emplace_back("Emul",
                      QStringList{"emul_I7017_1_flag", "disable_dac_write_flag1", "emul_I7017_1_rez",
                                  "emul_I7017_2_flag", "disable_dac_write_flag2", "emul_I7017_2_rez"});
  return layout;
}

// Every key a save writes is in the file (other keys may be there too).
void ExpectEveryKeyPresent(const IniFile& ini) {
  for (const auto& [section, keys] : ExpectedLayout(false)) {
    for (const QString& key : keys) {
      EXPECT_TRUE(ini.ValueExists(section, key)) << section.toStdString() << "/" << key.toStdString();
    }
  }
}

// Floats are stored with 15 significant digits, so a value like 1/60 comes
// back within a few units in the last place, not bit for bit.
void ExpectSameDouble(double a, double b, const std::string& what) {
  EXPECT_NEAR(a, b, 1e-14 * std::max(1.0, std::fabs(a))) << what;
}

void ExpectSameTable(const CalibrationTable& a, const CalibrationTable& b, const QString& name) {
  ASSERT_EQ(a.Size, b.Size) << name.toStdString();
  for (int i = 0; i < a.Size; ++i) {
    ExpectSameDouble(a.AVal[i], b.AVal[i], name.toStdString() + " AVal" + std::to_string(i));
    ExpectSameDouble(a.FVal[i], b.FVal[i], name.toStdString() + " FVal" + std::to_string(i));
  }
}

void ExpectSameSignal(const TSignalSet& a, const TSignalSet& b) {
  const std::string name = a.SignalName.toStdString();
  EXPECT_EQ(a.SignalName, b.SignalName);
  EXPECT_EQ(a.Module, b.Module) << name;
  EXPECT_EQ(a.Chanel, b.Chanel) << name;
  EXPECT_EQ(a.RecIndex, b.RecIndex) << name;
  EXPECT_EQ(a.InverseFlag, b.InverseFlag) << name;
  EXPECT_EQ(a.AverageSize, b.AverageSize) << name;
  ExpectSameTable(a.Calibration(), b.Calibration(), a.SignalName);
}

// Compares every field the file holds (and the signal lists).
void ExpectSameStoredFields(const TConfig& a, const TConfig& b) {
  EXPECT_EQ(a.Host.Get(), b.Host.Get());
  EXPECT_EQ(a.Login.Get(), b.Login.Get());
  EXPECT_EQ(a.Password.Get(), b.Password.Get());
  EXPECT_EQ(a.Version, b.Version);
  EXPECT_EQ(a.SavePassword, b.SavePassword);
  EXPECT_EQ(a.Disabled, b.Disabled);
  EXPECT_EQ(a.HardReadPort.Get(), b.HardReadPort.Get());
  EXPECT_EQ(a.HardWritePort.Get(), b.HardWritePort.Get());
  EXPECT_EQ(a.ServerLinkPort.Get(), b.ServerLinkPort.Get());
  EXPECT_EQ(a.ServerLinkPrefix.Get(), b.ServerLinkPrefix.Get());
  EXPECT_EQ(a.ReadPortSpeed, b.ReadPortSpeed);
  EXPECT_EQ(a.WritePortSpeed, b.WritePortSpeed);
  EXPECT_EQ(a.LinkPortSpeed, b.LinkPortSpeed);
  EXPECT_EQ(a.I7017_1_addr, b.I7017_1_addr);
  EXPECT_EQ(a.I7017_2_addr, b.I7017_2_addr);
  EXPECT_EQ(a.I7024_1_addr, b.I7024_1_addr);
  EXPECT_EQ(a.I7024_2_addr, b.I7024_2_addr);
  for (int q = 0; q < kSummationConstantCount; ++q) {
    for (int s = 0; s < 2; ++s) {
      ExpectSameDouble(a.SummationConstants[q][s], b.SummationConstants[q][s],
                       SummationConstantKey(static_cast<SummationConstant>(q), s).toStdString());
    }
  }
  ExpectSameDouble(a.MAX_TRRS, b.MAX_TRRS, "MAX_TRRS");
  ExpectSameDouble(a.MAX_TRRP, b.MAX_TRRP, "MAX_TRRP");
  ExpectSameDouble(a.MAX_TRFL, b.MAX_TRFL, "MAX_TRFL");
  ExpectSameDouble(a.MAX_ZRRS, b.MAX_ZRRS, "MAX_ZRRS");
  ExpectSameDouble(a.MAX_ZRRP, b.MAX_ZRRP, "MAX_ZRRP");
  ExpectSameDouble(a.MAX_ZRFL, b.MAX_ZRFL, "MAX_ZRFL");
  ExpectSameDouble(a.MIN_RVF, b.MIN_RVF, "MIN_RVF");
  ASSERT_EQ(a.InputSignals.size(), b.InputSignals.size());
  for (size_t i = 0; i < a.InputSignals.size(); ++i) ExpectSameSignal(*a.InputSignals[i], *b.InputSignals[i]);
  ASSERT_EQ(a.OutputSignals.size(), b.OutputSignals.size());
  for (size_t i = 0; i < a.OutputSignals.size(); ++i)
    ExpectSameSignal(*a.OutputSignals[i], *b.OutputSignals[i]);
  for (int m = 0; m < 2; ++m) {
    EXPECT_EQ(a.EmulI7017Flag[m], b.EmulI7017Flag[m]) << m;
    EXPECT_EQ(a.EmulI7017Answer[m].Get(), b.EmulI7017Answer[m].Get()) << m;
    EXPECT_EQ(a.DisableDacWrite[m], b.DisableDacWrite[m]) << m;
  }
  for (int g = 0; g < kColorGroupCount; ++g) {
    EXPECT_EQ(a.OnColors[g], b.OnColors[g]) << kColorKeys[g];
    EXPECT_EQ(a.OffColors[g], b.OffColors[g]) << kColorKeys[g];
  }
  EXPECT_EQ(a.SaveLogFlag, b.SaveLogFlag);
  EXPECT_EQ(a.ReplaceShell, b.ReplaceShell);
  EXPECT_EQ(a.ShutdownOnExit, b.ShutdownOnExit);
  EXPECT_EQ(a.AutoStartControl, b.AutoStartControl);
  EXPECT_EQ(a.LanServer, b.LanServer);
}

class ConfigTest : public IniFixture {
 protected:
  ConfigTest() : IniFixture(QStringLiteral("flotation-console.INI")) {}

  Tmcrypt m_crypt{2008};
};

TEST_F(ConfigTest, BuiltInSignalLists) {
  const TConfig config;
  ASSERT_EQ(config.InputSignals.size(), size_t{kInputSignalCount});
  ASSERT_EQ(config.OutputSignals.size(), size_t{kOutputSignalCount});
  for (int i = 0; i < kInputSignalCount; ++i) {
    const TSignalSet& signal = *config.InputSignals[i];
    EXPECT_EQ(signal.SignalName, kInputNames[i]);
    EXPECT_EQ(signal.Module, i / 4) << i;
    EXPECT_EQ(signal.Chanel, i % 4) << i;
    EXPECT_EQ(signal.RecIndex, i % 4) << i;
    EXPECT_EQ(signal.CalibrateValue(33.5, false), 33.5) << i;
  }
  for (int i = 0; i < kOutputSignalCount; ++i) {
    const TSignalSet& signal = *config.OutputSignals[i];
    EXPECT_EQ(signal.SignalName, kOutputNames[i]);
    EXPECT_EQ(signal.Module, i / 3) << i;
    EXPECT_EQ(signal.Chanel, i % 3) << i;
    EXPECT_EQ(signal.RecIndex, i % 3) << i;
  }
}

TEST_F(ConfigTest, FirstSaveWritesEverySectionAndKeyWithTheDefaults) {
  IniFile ini(Path());
  ini.SetDecimalSeparator(u'.');
  const TConfig config;
  ASSERT_TRUE(config.SaveConfig(ini, m_crypt));

  const auto layout = ExpectedLayout(false);
  QStringList sections;
  for (const auto& [section, keys] : layout) {
    sections << section;
    EXPECT_EQ(ini.ReadSection(section), keys) << section.toStdString();
  }
  EXPECT_EQ(ini.ReadSections(), sections);

  struct Expected {
    const char* section;
    const char* key;
    const char* text;
  };
  const Expected expected[] = {
      {"MySQL", "Host", "127.0.0.1"},
      {"MySQL", "Login", "temp_master"},
      {"MySQL", "Version", "5"},
      {"MySQL", "SavePassword", "1"},
      {"MySQL", "Disabled", "0"},
      {"System", "ReplaceShell", "0"},
      {"System", "ShutdownOnExit", "0"},
      {"System", "SaveLogFlag", "1"},
      {"System", "AutoStartControl", "1"},
      {"System", "LanServer", "1"},
      {"COM", "HardReadPort", "COM2"},
      {"COM", "HardWritePort", "COM3"},
      {"COM", "ServerLinkPort", "COM1"},
      {"COM", "ServerLinkPrefix", "PUF1"},
      {"COM", "ReadPortSpeed", "38400"},
      {"COM", "WritePortSpeed", "38400"},
      {"COM", "LinkPortSpeed", "38400"},
      {"ICP", "I7017_1_addr", "1"},
      {"ICP", "I7017_2_addr", "2"},
      {"ICP", "I7024_1_addr", "3"},
      {"ICP", "I7024_2_addr", "4"},
      {"ICP", "ADC_signal_count", "8"},
      {"ICP", "DAC_signal_count", "6"},
      {"CONST", "MAX_TRRS", "300"},
      {"CONST", "MAX_TRRP", "150"},
      {"CONST", "MAX_TRFL", "150"},
      {"CONST", "MAX_ZRRS", "1500"},
      {"CONST", "MAX_ZRRP", "150"},
      {"CONST", "MAX_ZRFL", "150"},
      {"CONST", "MIN_RVF", "40"},
      {"OnColors", "Pulpa", "0x00FFFF00"},
      {"OnColors", "Reciver", "0x00008000"},
      {"OnColors", "PenoGen", "0x000000FF"},
      {"OnColors", "FlotoConc", "0x00FF00FF"},
      {"OnColors", "FlotOut", "0x0000FF00"},
      {"OnColors", "Flok", "0x0000FFFF"},
      {"Emul", "emul_I7017_1_flag", "0"},
      {"Emul", "emul_I7017_1_rez", "!02471111222233334444555566667777"},
      {"Emul", "disable_dac_write_flag1", "0"},
      {"Emul", "emul_I7017_2_flag", "0"},
      {"Emul", "emul_I7017_2_rez", "!02477777666655554444333322221111"},
      {"Emul", "disable_dac_write_flag2", "0"},
  };
  for (const Expected& e : expected) {
    EXPECT_EQ(ini.ReadString(e.section, e.key, QString()), QString::fromUtf8(e.text))
        << e.section << "/" << e.key;
  }
  for (const QString& key : kColorKeyList)
    EXPECT_EQ(ini.ReadString("OffColors", key, QString()), "0x00C0C0C0");
  for (int q = 0; q < kSummationConstantCount; ++q) {
    for (int s = 0; s < 2; ++s) {
      const QString key = SummationConstantKey(static_cast<SummationConstant>(q), s);
      EXPECT_NEAR(ini.ReadFloat("CONST", key, 0), 1.0 / 60.0, 1e-15) << key.toStdString();
    }
  }
  for (int i = 0; i < kInputSignalCount + kOutputSignalCount; ++i) {
    const QString name = i < kInputSignalCount ? kInputNames[i] : kOutputNames[i - kInputSignalCount];
    const int channel = i < kInputSignalCount ? i % 4 : (i - kInputSignalCount) % 3;
    EXPECT_EQ(ini.ReadInteger(name, "Chanel", -1), channel) << name.toStdString();
    EXPECT_EQ(ini.ReadInteger(name, "RecIndex", -1), channel) << name.toStdString();
    EXPECT_EQ(ini.ReadString(name, "InverseFlag", QString()), "0") << name.toStdString();
    EXPECT_EQ(ini.ReadString(name, "AverageSize", QString()), "1") << name.toStdString();
    const QString calibration = name + "_CALIBR";
    EXPECT_EQ(ini.ReadString(calibration, "Size", QString()), "2") << calibration.toStdString();
    EXPECT_EQ(ini.ReadString(calibration, "AVal0", QString()), "0") << calibration.toStdString();
    EXPECT_EQ(ini.ReadString(calibration, "FVal0", QString()), "0") << calibration.toStdString();
    EXPECT_EQ(ini.ReadString(calibration, "AVal1", QString()), "100") << calibration.toStdString();
    EXPECT_EQ(ini.ReadString(calibration, "FVal1", QString()), "100") << calibration.toStdString();
  }
}

TEST_F(ConfigTest, LoadWithoutFileKeepsDefaultsAndWritesTheSignalCounts) {
  IniFile ini(Path());
  TConfig config;
  ASSERT_TRUE(config.LoadConfig(ini, m_crypt));
  ExpectSameStoredFields(config, TConfig());
  EXPECT_EQ(ini.ReadSection("ICP"), QStringList({"ADC_signal_count", "DAC_signal_count"}));
  EXPECT_EQ(ini.ReadInteger("ICP", "ADC_signal_count", 0), 8);
  EXPECT_EQ(ini.ReadInteger("ICP", "DAC_signal_count", 0), 6);
}

TEST_F(ConfigTest, SignalCountsInTheFileAreIgnoredAndRewritten) {
  WriteFile("[ICP]\r\nADC_signal_count=3\r\nDAC_signal_count=10\r\nI7017_1_addr=7\r\n");
  IniFile ini(Path());
  TConfig config;
  ASSERT_TRUE(config.LoadConfig(ini, m_crypt));
  EXPECT_EQ(config.InputSignals.size(), size_t{kInputSignalCount});
  EXPECT_EQ(config.OutputSignals.size(), size_t{kOutputSignalCount});
  EXPECT_EQ(config.I7017_1_addr, 7);
  EXPECT_EQ(ini.ReadInteger("ICP", "ADC_signal_count", 0), 8);
  EXPECT_EQ(ini.ReadInteger("ICP", "DAC_signal_count", 0), 6);
}

TEST_F(ConfigTest, EveryFieldSurvivesARoundTripWithACommaSeparator) {
  TConfig saved;
  saved.Host = "db.plant.local";
  saved.Login = "оператор";
  saved.Password = "Пароль№1";
  saved.Version = 4;
  saved.SavePassword = true;
  saved.Disabled = true;
  saved.HardReadPort = "/dev/ttyUSB0";
  saved.HardWritePort = "COM7";
  saved.ServerLinkPort = "/dev/ttyS4";
  saved.ServerLinkPrefix = "PUF2";
  saved.ReadPortSpeed = 9600;
  saved.WritePortSpeed = 19200;
  saved.LinkPortSpeed = 115200;
  saved.I7017_1_addr = 11;
  saved.I7017_2_addr = 12;
  saved.I7024_1_addr = 13;
  saved.I7024_2_addr = 255;
  for (int q = 0; q < kSummationConstantCount; ++q) {
    for (int s = 0; s < 2; ++s) saved.SummationConstants[q][s] = 0.125 * (q + 1) + 0.5 * s;
  }
  saved.MAX_TRRS = 300.5;
  saved.MAX_TRRP = 151.25;
  saved.MAX_TRFL = 0.001;
  saved.MAX_ZRRS = 1e-7;
  saved.MAX_ZRRP = 12345678.9;
  saved.MAX_ZRFL = -2.5;
  saved.MIN_RVF = 41.75;
  for (auto* list : {&saved.InputSignals, &saved.OutputSignals}) {
    int n = 0;
    for (auto& signal : *list) {
      ++n;
      signal->Chanel = 7 - n % 8;
      signal->RecIndex = n % 3;
      signal->InverseFlag = n % 2 == 0;
      signal->AverageSize = 5 * n;
      CalibrationTable table;
      table.Size = 3;
      table.AVal = {0.5, 32767, 16383.25};
      table.FVal = {-1.5, 20.125 * n, 12};
      signal->SetCalibration(table);
    }
  }
  saved.EmulI7017Flag[0] = true;
  saved.EmulI7017Flag[1] = false;
  saved.EmulI7017Answer[0] = ">AAAABBBBCCCCDDDDEEEEFFFF00001111";
  saved.EmulI7017Answer[1] = "";
  saved.DisableDacWrite[0] = false;
  saved.DisableDacWrite[1] = true;
  for (int g = 0; g < kColorGroupCount; ++g) {
    saved.OnColors[g] = 0x00102030u + g;
    saved.OffColors[g] = 0xFF000000u + g;
  }
  saved.SaveLogFlag = false;
  saved.ReplaceShell = true;
  saved.ShutdownOnExit = true;
  saved.AutoStartControl = false;
  saved.LanServer = false;

  IniFile writer(Path());
  writer.SetDecimalSeparator(u',');
  ASSERT_TRUE(saved.SaveConfig(writer, m_crypt));
  ExpectEveryKeyPresent(writer);
  EXPECT_EQ(writer.ReadString("CONST", "MAX_TRRS", QString()), "300,5");
  EXPECT_EQ(writer.ReadString("PLF_1_CALIBR", "AVal2", QString()), "16383,25");
  EXPECT_EQ(writer.ReadString("OffColors", "Flok", QString()), "0xFF000005");
  const QString scrambled = writer.ReadString("MySQL", "Password", QString());
  EXPECT_EQ(scrambled.size(), 50 + 4 * 8);
  EXPECT_FALSE(scrambled.contains("Пароль"));

  IniFile reader(Path());
  reader.SetDecimalSeparator(u',');
  TConfig loaded;
  ASSERT_TRUE(loaded.LoadConfig(reader, m_crypt));
  ExpectSameStoredFields(loaded, saved);
  // Output channels above 4 are kept as they are (they are sent on the
  // nearer end) and said so; nothing else of the round trip is.
  QStringList logged;
  for (const TEventFIFO_Rec& record : DrainEventLog()) logged << record.Text;
  EXPECT_EQ(logged, QStringList({u"Настройка [OARS_1] Chanel=6 вне диапазона 0...4; используется 6."_qs,
                                 u"Настройка [OARP_1] Chanel=5 вне диапазона 0...4; используется 5."_qs}));
}

TEST_F(ConfigTest, PasswordIsReadOnlyWhenSaved) {
  IniFile ini(Path());
  TConfig saved;
  saved.Password = "secret";
  ASSERT_TRUE(saved.SaveConfig(ini, m_crypt));
  const QString scrambled = ini.ReadString("MySQL", "Password", QString());
  ASSERT_FALSE(scrambled.isEmpty());

  ASSERT_TRUE(ini.WriteBool("MySQL", "SavePassword", false));
  TConfig forgetting;
  forgetting.Password = "left over";
  ASSERT_TRUE(forgetting.LoadConfig(ini, m_crypt));
  EXPECT_FALSE(forgetting.SavePassword);
  EXPECT_EQ(forgetting.Password.Get(), QString());

  // Saving without a password leaves the earlier scrambled text in place.
  ASSERT_TRUE(forgetting.SaveConfig(ini, m_crypt));
  EXPECT_EQ(ini.ReadString("MySQL", "Password", QString()), scrambled);

  ASSERT_TRUE(ini.WriteBool("MySQL", "SavePassword", true));
  TConfig remembering;
  ASSERT_TRUE(remembering.LoadConfig(ini, m_crypt));
  EXPECT_EQ(remembering.Password.Get(), "secret");

  ASSERT_TRUE(ini.WriteString("MySQL", "Password", ""));
  ASSERT_TRUE(remembering.LoadConfig(ini, m_crypt));
  EXPECT_EQ(remembering.Password.Get(), QString());
}

TEST_F(ConfigTest, ColorTextsConvertAsIntegers) {
  const std::pair<const char*, uint32_t> accepted[] = {
      {"0x00C0C0C0", 0x00C0C0C0u}, {"0X00ff00ff", 0x00FF00FFu}, {"$FF", 0xFFu},      {"255", 255u},
      {"  0x10  ", 0x10u},         {"0xFFFFFFFF", 0xFFFFFFFFu}, {"-1", 0xFFFFFFFFu}, {"+12", 12u},
      {"-0x7FFFFFFF", 0x80000001u}};
  for (const auto& [text, value] : accepted) {
    WriteFile(QByteArray("[Set]\r\nPulpa=") + text + "\r\n");
    IniFile ini(Path());
    ColorSet colors;
    EXPECT_TRUE(LoadColors(colors, ini, "Set")) << text;
    EXPECT_EQ(colors[kPulpa], value) << text;
  }

  // Decimal texts are 32-bit signed integers; a colour above that is written in hexadecimal.
  const char* rejected[] = {"",         "0x",  "0xG1",  "12abc", "0x1FFFFFFFF", "4294967295",
                            "clSilver", "- 5", "0x 10", "$",     "1.5",         "０"};
  for (const char* text : rejected) {
    WriteFile(QByteArray("[Set]\r\nPulpa=") + text + "\r\n");
    IniFile ini(Path());
    ColorSet colors;
    colors[kPulpa] = 0x123456;
    EXPECT_FALSE(LoadColors(colors, ini, "Set")) << text;
    EXPECT_EQ(colors[kPulpa], 0x123456u) << text;
  }
}

TEST_F(ConfigTest, BadColorTextEndsTheSetButNotTheLoad) {
  WriteFile(
      "[OnColors]\r\nPulpa=0x00000001\r\nReciver=$2\r\nPenoGen=0xZZ\r\nFlotoConc=0x4\r\nFlok=0x6\r\n"
      "[OffColors]\r\nFlok=0x00ABCDEF\r\n"
      "[Emul]\r\nemul_I7017_2_flag=1\r\n");
  IniFile ini(Path());
  TConfig config;
  ASSERT_TRUE(config.LoadConfig(ini, m_crypt));
  const TConfig defaults;
  EXPECT_EQ(config.OnColors[kPulpa], 1u);
  EXPECT_EQ(config.OnColors[kReciver], 2u);
  for (int g = kPenoGen; g < kColorGroupCount; ++g) EXPECT_EQ(config.OnColors[g], defaults.OnColors[g]) << g;
  EXPECT_EQ(config.OffColors[kFlok], 0x00ABCDEFu);
  EXPECT_TRUE(config.EmulI7017Flag[1]);
}

TEST_F(ConfigTest, HandEditedValuesFallBackOrKeepTheirDefaults) {
  WriteFile(
      "[MySQL]\r\nVersion=abc\r\nSavePassword=2\r\nDisabled=yes\r\nPassword=short\r\n"
      "[COM]\r\nReadPortSpeed=9600x\r\nWritePortSpeed=  19200  \r\nHardReadPort=/dev/ttyUSB0\r\n"
      "[ICP]\r\nI7017_1_addr=0x0A\r\nI7024_2_addr=99999999999\r\n"
      "[CONST]\r\nMAX_TRRS=1e999\r\nMAX_TRRP=12,5\r\nMIN_RVF=nan\r\nKVF_1=0.02\r\n"
      "[PLF_1]\r\nChanel=-1\r\nAverageSize=zero\r\n"
      "[RVF_2_CALIBR]\r\nSize=3\r\nAVal2=10\r\nFVal2=1000\r\n");
  IniFile ini(Path());
  TConfig config;
  ASSERT_TRUE(config.LoadConfig(ini, m_crypt));
  EXPECT_EQ(config.Version, 5);
  EXPECT_TRUE(config.SavePassword);
  EXPECT_FALSE(config.Disabled);
  EXPECT_EQ(config.Password.Get(), QString()) << "a text shorter than its alphabet holds nothing";
  EXPECT_EQ(config.ReadPortSpeed, 38400);
  EXPECT_EQ(config.WritePortSpeed, 19200);
  EXPECT_EQ(config.HardReadPort.Get(), "/dev/ttyUSB0");
  EXPECT_EQ(config.I7017_1_addr, 10);
  EXPECT_EQ(config.I7024_2_addr, 4);
  EXPECT_EQ(config.MAX_TRRS, 300);
  EXPECT_EQ(config.MAX_TRRP, 12.5);
  EXPECT_EQ(config.MIN_RVF, 40);
  EXPECT_EQ(config.SummationConstants[kKVF][0], 0.02);
  EXPECT_EQ(config.SummationConstants[kKVF][1], 1.0 / 60.0);
  EXPECT_EQ(config.InputSignals[0]->Chanel, -1);
  EXPECT_EQ(config.InputSignals[0]->AverageSize, 1);
  // A third point added by hand joins the identity's two.
  const TSignalSet& rvf2 = *config.InputSignals[5];
  EXPECT_EQ(rvf2.Calibration().Size, 3);
  EXPECT_DOUBLE_EQ(rvf2.CalibrateValue(5, false), 500);
  EXPECT_DOUBLE_EQ(rvf2.CalibrateValue(50, false), 600);
}

TEST_F(ConfigTest, QueryServerKeysAreReadCheckedAndNeverWritten) {
  struct Case {
    const char* Text;
    int Port;
    int IdleTimeout;
    int MaxConnections;
  };
  const Case cases[] = {
      {"LanPort=8080\r\nLanIdleTimeout=300\r\nLanMaxConnections=8\r\n", 8080, 300, 8},
      {"", 7777, 600, 64},
      {"LanPort=0\r\nLanIdleTimeout=-5\r\nLanMaxConnections=0\r\n", 7777, 600, 64},
      {"LanPort=70000\r\nLanMaxConnections=-1\r\n", 7777, 600, 64},
      {"LanIdleTimeout=0\r\n", 7777, 0, 64},
  };
  for (const Case& c : cases) {
    WriteFile(QByteArray("[System]\r\nLanBindAddress=10.0.0.5\r\nLanAllow=10.0.0.0/8, 192.168.1.7\r\n") +
              c.Text);
    IniFile ini(Path());
    TConfig config;
    ASSERT_TRUE(config.LoadConfig(ini, m_crypt));
    EXPECT_EQ(config.LanPort, c.Port) << c.Text;
    EXPECT_EQ(config.LanIdleTimeout, c.IdleTimeout) << c.Text;
    EXPECT_EQ(config.LanMaxConnections, c.MaxConnections) << c.Text;
    EXPECT_EQ(config.LanBindAddress.Get(), "10.0.0.5");
    EXPECT_EQ(config.LanAllow.Get(), "10.0.0.0/8, 192.168.1.7");
  }
  // A file without them stays without them: the saved layout is the classic one.
  QFile::remove(Path());
  IniFile ini(Path());
  TConfig config;
  config.LanPort = 9000;
  ASSERT_TRUE(config.SaveConfig(ini, m_crypt));
  EXPECT_FALSE(ini.ReadSection(QStringLiteral("System")).contains(QStringLiteral("LanPort")));
}

TEST_F(ConfigTest, UnusableValuesAreLoggedOnceWithTheValueUsedInstead) {
  WriteFile(
      "[MySQL]\r\nVersion=abc\r\nDisabled=yes\r\nLogin=42\r\n"
      "[System]\r\nLanPort=99999\r\nLanIdleTimeout=300\r\nLanMaxConnections=0\r\nSaveLogFlag=2\r\n"
      "[COM]\r\nReadPortSpeed=12345\r\nWritePortSpeed=19200\r\nPortRetrySec=-1\r\n"
      "[ICP]\r\nI7017_1_addr=300\r\nI7017_2_addr=0x0A\r\nADC_signal_count=99\r\n"
      "[CONST]\r\nMAX_TRRS=1e999\r\nMAX_TRRP=12,5\r\n"
      "[OnColors]\r\nPenoGen=blue\r\n"
      "[PLF_1]\r\nChanel=9\r\nAverageSize=\r\n"
      "[OAFL_2]\r\nChanel=7\r\nRecIndex=2\r\n"
      "[PLF_1_CALIBR]\r\nSize=2\r\n");
  IniFile ini(Path());
  ini.SetDecimalSeparator(u',');
  TConfig config;
  ASSERT_TRUE(config.LoadConfig(ini, m_crypt));
  EXPECT_EQ(config.LanPort, 7777);
  EXPECT_EQ(config.ReadPortSpeed, 12345);
  EXPECT_EQ(config.PortRetrySec, 10);

  QStringList logged;
  for (const TEventFIFO_Rec& record : DrainEventLog()) logged << record.Text;
  // In the order of the table; a key that reads and fits, a text, a flag
  // above 1 and a count that is never read say nothing.
  const QStringList expected = {
      u"Настройка [MySQL] Version=abc не читается; используется 5."_qs,
      u"Настройка [MySQL] Disabled=yes не читается; используется 0."_qs,
      u"Настройка [System] LanPort=99999 вне диапазона 1...65535; используется 7777."_qs,
      u"Настройка [System] LanMaxConnections=0 вне диапазона 1...2147483647; используется 64."_qs,
      u"Настройка [COM] ReadPortSpeed=12345 не из списка допустимых значений; используется 12345."_qs,
      u"Настройка [COM] PortRetrySec=-1 вне диапазона 0...3600; используется 10."_qs,
      u"Настройка [ICP] I7017_1_addr=300 вне диапазона 0...255; используется 300."_qs,
      u"Настройка [PLF_1] Chanel=9 вне диапазона 0...7; используется 9."_qs,
      u"Настройка [PLF_1] AverageSize= не читается; используется 1."_qs,
      u"Настройка [OAFL_2] Chanel=7 вне диапазона 0...4; используется 7."_qs,
      u"Настройка [CONST] MAX_TRRS=1e999 не читается; используется 300."_qs,
      u"Настройка [OnColors] PenoGen=blue не читается как цвет; этот и следующие цвета раздела остаются "
      u"прежними."_qs,
  };
  EXPECT_EQ(logged, expected);

  // A second load of the same file says it again: the lines belong to the
  // load, not to the file.
  TConfig again;
  ASSERT_TRUE(again.LoadConfig(ini, m_crypt));
  EXPECT_EQ(DrainEventLog().size(), static_cast<size_t>(expected.size()));
}

TEST_F(ConfigTest, DamagedFileLoadsDefaultsAndTheNextSaveWritesEveryKey) {
  const QByteArray damaged[] = {
      QByteArray("[MySQL]\r\nHost=10.0.0.5\r\n[COM"),  // cut in a section header
      QByteArray("[ICP]\r\nI7017_1_addr"),             // cut before "="
      QByteArray("\xEF\xBB\xBF[System\r\n=\r\n==\r\n[]\r\n[]=1\r\n;[MySQL]\r\n"),
      QByteArray("\0\0\0[MySQL]\0Host=\xFF\xFE\r\n\x98\x98\r\n", 24),
      QByteArray(4096, '\xC0'),
  };
  int round = 0;
  for (const QByteArray& bytes : damaged) {
    SCOPED_TRACE(round++);
    WriteFile(bytes);
    IniFile ini(Path());
    TConfig config;
    ASSERT_TRUE(config.LoadConfig(ini, m_crypt));
    TConfig expected;
    if (round == 1) expected.Host = "10.0.0.5";
    ExpectSameStoredFields(config, expected);

    ASSERT_TRUE(config.SaveConfig(ini, m_crypt));
    ExpectEveryKeyPresent(IniFile(Path()));
    TConfig reloaded;
    IniFile again(Path());
    ASSERT_TRUE(reloaded.LoadConfig(again, m_crypt));
    ExpectSameStoredFields(reloaded, config);
  }
}

TEST_F(ConfigTest, UnwritableFileFailsTheSaveAtTheFirstWrite) {
  IniFile ini(m_dir.filePath(QStringLiteral("missing-folder/flotation-console.INI")));
  TConfig config;
  EXPECT_TRUE(config.LoadConfig(ini, m_crypt));
  ExpectSameStoredFields(config, TConfig());
  EXPECT_FALSE(config.SaveConfig(ini, m_crypt));
  // The calibration tables come after the first failed write, so none of their
  // failures may have been tried and logged.
  EXPECT_TRUE(DrainEventLog().empty());
}

TEST_F(ConfigTest, SignalWithNameReadsAndWritesItsName) {
  IniFile ini(Path());
  TSignalSet signal("PLF_1", 0, 2, 3);
  ASSERT_TRUE(SaveSignal(ini, "S", signal, true));
  EXPECT_EQ(ini.ReadSection("S"),
            QStringList({"SignalName", "Chanel", "RecIndex", "InverseFlag", "AverageSize"}));
  ASSERT_TRUE(ini.WriteString("S", "SignalName", "RVF_9"));
  TSignalSet other("X", 1, 0, 0);
  ASSERT_TRUE(LoadSignal(ini, "S", other, true));
  EXPECT_EQ(other.SignalName, "RVF_9");
  EXPECT_EQ(other.Chanel, 2);
  EXPECT_EQ(other.RecIndex, 3);
  TSignalSet unnamed("Y", 1, 0, 0);
  ASSERT_TRUE(LoadSignal(ini, "S", unnamed, false));
  EXPECT_EQ(unnamed.SignalName, "Y");
}

TEST(TConfigConcurrency, WorkersReadWhileTheSettingsWindowWrites) {
  TConfig config;
  TSignalSet& signal = *config.InputSignals[0];
  constexpr int kRounds = 2000;
  std::thread worker([&] {
    for (int i = 0; i < kRounds; ++i) {
      const double value = signal.CalibrateValue(50, false);
      // Either the old or the new table, never a mix of the two.
      EXPECT_TRUE(value == 50 || value == 100) << value;
      const QString port = config.HardReadPort;
      EXPECT_TRUE(port == "COM2" || port == "COM5");
      (void)signal.Chanel.Get();
    }
  });
  CalibrationTable doubling = CalibrationTable::Identity();
  doubling.FVal[1] = 200;
  for (int i = 0; i < kRounds; ++i) {
    signal.SetCalibration(i % 2 == 0 ? doubling : CalibrationTable::Identity());
    config.HardReadPort = i % 2 == 0 ? "COM5" : "COM2";
    signal.Chanel = i % 8;
  }
  worker.join();
}

TEST(ColorToText, IsZeroPaddedUpperCaseHex) {
  EXPECT_EQ(ColorToText(0x00C0C0C0), "0x00C0C0C0");
  EXPECT_EQ(ColorToText(0), "0x00000000");
  EXPECT_EQ(ColorToText(0xFFFFFFFF), "0xFFFFFFFF");
  EXPECT_EQ(ColorToText(0x00abcdef), "0x00ABCDEF");
}

}  // namespace
