#include "configuration/settingstable.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSet>
#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "common/cp1251.h"
#include "common/inifile.h"
#include "configuration/calibration.h"
#include "configuration/config.h"
#include "configuration/tmcrypt.h"
#include "fieldbus/inputpolling.h"
#include "fieldbus/outputdriving.h"
#include "process/processstate.h"
#include "process/valueblock.h"
#include "support/files.h"
#include "support/inifixture.h"

namespace {

// What the console wrote before its keys came from one table; a save must
// keep producing these bytes. Line ends are CR LF in the file.
constexpr const char* kDefaultFile = R"golden([MySQL]
Host=127.0.0.1
Login=temp_master
Version=5
SavePassword=1
Disabled=0
[System]
ReplaceShell=0
ShutdownOnExit=0
SaveLogFlag=1
AutoStartControl=1
LanServer=1
[COM]
HardReadPort=COM2
HardWritePort=COM3
ServerLinkPort=COM1
ServerLinkPrefix=PUF1
ReadPortSpeed=38400
WritePortSpeed=38400
LinkPortSpeed=38400
[ICP]
I7017_1_addr=1
I7017_2_addr=2
I7024_1_addr=3
I7024_2_addr=4
ADC_signal_count=8
DAC_signal_count=6
[PLF_1]
Chanel=0
RecIndex=0
InverseFlag=0
AverageSize=1
[PLF_1_CALIBR]
Size=2
AVal0=0
FVal0=0
AVal1=100
FVal1=100
[RVF_1]
Chanel=1
RecIndex=1
InverseFlag=0
AverageSize=1
[RVF_1_CALIBR]
Size=2
AVal0=0
FVal0=0
AVal1=100
FVal1=100
[URFK_1]
Chanel=2
RecIndex=2
InverseFlag=0
AverageSize=1
[URFK_1_CALIBR]
Size=2
AVal0=0
FVal0=0
AVal1=100
FVal1=100
[URFK12_1]
Chanel=3
RecIndex=3
InverseFlag=0
AverageSize=1
[URFK12_1_CALIBR]
Size=2
AVal0=0
FVal0=0
AVal1=100
FVal1=100
[PLF_2]
Chanel=0
RecIndex=0
InverseFlag=0
AverageSize=1
[PLF_2_CALIBR]
Size=2
AVal0=0
FVal0=0
AVal1=100
FVal1=100
[RVF_2]
Chanel=1
RecIndex=1
InverseFlag=0
AverageSize=1
[RVF_2_CALIBR]
Size=2
AVal0=0
FVal0=0
AVal1=100
FVal1=100
[URFK_2]
Chanel=2
RecIndex=2
InverseFlag=0
AverageSize=1
[URFK_2_CALIBR]
Size=2
AVal0=0
FVal0=0
AVal1=100
FVal1=100
[URFK12_2]
Chanel=3
RecIndex=3
InverseFlag=0
AverageSize=1
[URFK12_2_CALIBR]
Size=2
AVal0=0
FVal0=0
AVal1=100
FVal1=100
[OARS_1]
Chanel=0
RecIndex=0
InverseFlag=0
AverageSize=1
[OARS_1_CALIBR]
Size=2
AVal0=0
FVal0=0
AVal1=100
FVal1=100
[OARP_1]
Chanel=1
RecIndex=1
InverseFlag=0
AverageSize=1
[OARP_1_CALIBR]
Size=2
AVal0=0
FVal0=0
AVal1=100
FVal1=100
[OAFL_1]
Chanel=2
RecIndex=2
InverseFlag=0
AverageSize=1
[OAFL_1_CALIBR]
Size=2
AVal0=0
FVal0=0
AVal1=100
FVal1=100
[OARS_2]
Chanel=0
RecIndex=0
InverseFlag=0
AverageSize=1
[OARS_2_CALIBR]
Size=2
AVal0=0
FVal0=0
AVal1=100
FVal1=100
[OARP_2]
Chanel=1
RecIndex=1
InverseFlag=0
AverageSize=1
[OARP_2_CALIBR]
Size=2
AVal0=0
FVal0=0
AVal1=100
FVal1=100
[OAFL_2]
Chanel=2
RecIndex=2
InverseFlag=0
AverageSize=1
[OAFL_2_CALIBR]
Size=2
AVal0=0
FVal0=0
AVal1=100
FVal1=100
[CONST]
KVF_1=0.0166666666666667
KVF_2=0.0166666666666667
KGF_1=0.0166666666666667
KGF_2=0.0166666666666667
KVRRS_1=0.0166666666666667
KVRRS_2=0.0166666666666667
KVRRP_1=0.0166666666666667
KVRRP_2=0.0166666666666667
KVRRFL_1=0.0166666666666667
KVRRFL_2=0.0166666666666667
MAX_TRRS=300
MAX_TRRP=150
MAX_TRFL=150
MAX_ZRRS=1500
MAX_ZRRP=150
MAX_ZRFL=150
MIN_RVF=40
[OnColors]
Pulpa=0x00FFFF00
Reciver=0x00008000
PenoGen=0x000000FF
FlotoConc=0x00FF00FF
FlotOut=0x0000FF00
Flok=0x0000FFFF
[OffColors]
Pulpa=0x00C0C0C0
Reciver=0x00C0C0C0
PenoGen=0x00C0C0C0
FlotoConc=0x00C0C0C0
FlotOut=0x00C0C0C0
Flok=0x00C0C0C0
[Emul]
emul_I7017_1_flag=0
disable_dac_write_flag1=0
emul_I7017_1_rez=!02471111222233334444555566667777
emul_I7017_2_flag=0
disable_dac_write_flag2=0
emul_I7017_2_rez=!02477777666655554444333322221111
)golden";

constexpr const char* kNonDefaultFile = R"golden([MySQL]
Host=db.plant.local:3307
Login=оператор
Password=XU:OVS4QFX4H49OQ4VD8SFXO9V98SA9XH89FSS48Q49UV:S8:HO9D4SF:X99HHHQD1U8VFOHX4DS9Q:AT1
Version=4
SavePassword=0
Disabled=1
[System]
ReplaceShell=1
ShutdownOnExit=1
SaveLogFlag=0
AutoStartControl=0
LanServer=0
[COM]
HardReadPort=/dev/ttyUSB0
HardWritePort=COM7
ServerLinkPort=/dev/ttyS4
ServerLinkPrefix=PUF2
ReadPortSpeed=9600
WritePortSpeed=19200
LinkPortSpeed=115200
[ICP]
I7017_1_addr=11
I7017_2_addr=12
I7024_1_addr=13
I7024_2_addr=255
ADC_signal_count=8
DAC_signal_count=6
[PLF_1]
Chanel=6
RecIndex=1
InverseFlag=1
AverageSize=5
[PLF_1_CALIBR]
Size=3
AVal0=0,5
FVal0=-1,5
AVal1=32767
FVal1=20,125
AVal2=16383,25
FVal2=0,142857142857143
[RVF_1]
Chanel=5
RecIndex=2
InverseFlag=1
AverageSize=10
[RVF_1_CALIBR]
Size=3
AVal0=0,5
FVal0=-1,5
AVal1=32767
FVal1=40,25
AVal2=16383,25
FVal2=0,142857142857143
[URFK_1]
Chanel=4
RecIndex=0
InverseFlag=1
AverageSize=15
[URFK_1_CALIBR]
Size=3
AVal0=0,5
FVal0=-1,5
AVal1=32767
FVal1=60,375
AVal2=16383,25
FVal2=0,142857142857143
[URFK12_1]
Chanel=3
RecIndex=1
InverseFlag=1
AverageSize=20
[URFK12_1_CALIBR]
Size=3
AVal0=0,5
FVal0=-1,5
AVal1=32767
FVal1=80,5
AVal2=16383,25
FVal2=0,142857142857143
[PLF_2]
Chanel=2
RecIndex=2
InverseFlag=1
AverageSize=25
[PLF_2_CALIBR]
Size=3
AVal0=0,5
FVal0=-1,5
AVal1=32767
FVal1=100,625
AVal2=16383,25
FVal2=0,142857142857143
[RVF_2]
Chanel=1
RecIndex=0
InverseFlag=1
AverageSize=30
[RVF_2_CALIBR]
Size=3
AVal0=0,5
FVal0=-1,5
AVal1=32767
FVal1=120,75
AVal2=16383,25
FVal2=0,142857142857143
[URFK_2]
Chanel=0
RecIndex=1
InverseFlag=1
AverageSize=35
[URFK_2_CALIBR]
Size=3
AVal0=0,5
FVal0=-1,5
AVal1=32767
FVal1=140,875
AVal2=16383,25
FVal2=0,142857142857143
[URFK12_2]
Chanel=7
RecIndex=2
InverseFlag=1
AverageSize=40
[URFK12_2_CALIBR]
Size=3
AVal0=0,5
FVal0=-1,5
AVal1=32767
FVal1=161
AVal2=16383,25
FVal2=0,142857142857143
[OARS_1]
Chanel=6
RecIndex=0
InverseFlag=1
AverageSize=45
[OARS_1_CALIBR]
Size=3
AVal0=0,5
FVal0=-1,5
AVal1=32767
FVal1=181,125
AVal2=16383,25
FVal2=0,142857142857143
[OARP_1]
Chanel=5
RecIndex=1
InverseFlag=1
AverageSize=50
[OARP_1_CALIBR]
Size=3
AVal0=0,5
FVal0=-1,5
AVal1=32767
FVal1=201,25
AVal2=16383,25
FVal2=0,142857142857143
[OAFL_1]
Chanel=4
RecIndex=2
InverseFlag=1
AverageSize=55
[OAFL_1_CALIBR]
Size=3
AVal0=0,5
FVal0=-1,5
AVal1=32767
FVal1=221,375
AVal2=16383,25
FVal2=0,142857142857143
[OARS_2]
Chanel=3
RecIndex=0
InverseFlag=1
AverageSize=60
[OARS_2_CALIBR]
Size=3
AVal0=0,5
FVal0=-1,5
AVal1=32767
FVal1=241,5
AVal2=16383,25
FVal2=0,142857142857143
[OARP_2]
Chanel=2
RecIndex=1
InverseFlag=1
AverageSize=65
[OARP_2_CALIBR]
Size=3
AVal0=0,5
FVal0=-1,5
AVal1=32767
FVal1=261,625
AVal2=16383,25
FVal2=0,142857142857143
[OAFL_2]
Chanel=1
RecIndex=2
InverseFlag=1
AverageSize=70
[OAFL_2_CALIBR]
Size=3
AVal0=0,5
FVal0=-1,5
AVal1=32767
FVal1=281,75
AVal2=16383,25
FVal2=0,142857142857143
[CONST]
KVF_1=0,333333333333333
KVF_2=0,833333333333333
KGF_1=0,666666666666667
KGF_2=1,16666666666667
KVRRS_1=1
KVRRS_2=1,5
KVRRP_1=1,33333333333333
KVRRP_2=1,83333333333333
KVRRFL_1=1,66666666666667
KVRRFL_2=2,16666666666667
MAX_TRRS=300,5
MAX_TRRP=151,25
MAX_TRFL=0,001
MAX_ZRRS=1E-7
MAX_ZRRP=12345678,9
MAX_ZRFL=-2,5
MIN_RVF=1E20
[OnColors]
Pulpa=0x00102030
Reciver=0x00102031
PenoGen=0x00102032
FlotoConc=0x00102033
FlotOut=0x00102034
Flok=0x00102035
[OffColors]
Pulpa=0xFF000000
Reciver=0xFF000001
PenoGen=0xFF000002
FlotoConc=0xFF000003
FlotOut=0xFF000004
Flok=0xFF000005
[Emul]
emul_I7017_1_flag=1
disable_dac_write_flag1=1
emul_I7017_1_rez=>AAAABBBBCCCCDDDDEEEEFFFF00001111
emul_I7017_2_flag=1
disable_dac_write_flag2=1
emul_I7017_2_rez=
)golden";

constexpr const char* kEditedFileSaved = R"golden(; plant 2
[MySQL]
Password=XU:OVS4QFX4H49OQ4VD8SFXO9V98SA9XH89FFA48F:9US1S8OSO9U8SFFTU8VFOHX4DS9Q:AT1
SavePassword=1
Host=10.1.1.1
Login=temp_master
Version=5
Disabled=0
[System]
LanPort=70000
Extra=keep me
ReplaceShell=0
ShutdownOnExit=0
SaveLogFlag=1
AutoStartControl=1
LanServer=1
[PLF_1_CALIBR]
Size=4
AVal3=50
FVal3=5
AVal0=0
FVal0=0
AVal1=100
FVal1=100
AVal2=0
FVal2=0
[OnColors]
Pulpa=0x000000FF
Reciver=0x00008000
PenoGen=0x000000FF
FlotoConc=0x00FF00FF
FlotOut=0x0000FF00
Flok=0x0000FFFF
[Emul]
emul_I7017_2_rez=!0247
disable_dac_write_flag1=1
emul_I7017_1_flag=0
emul_I7017_1_rez=!02471111222233334444555566667777
emul_I7017_2_flag=0
disable_dac_write_flag2=0
[ICP]
ADC_signal_count=8
DAC_signal_count=6
I7017_1_addr=1
I7017_2_addr=2
I7024_1_addr=3
I7024_2_addr=4
[COM]
HardReadPort=COM2
HardWritePort=COM3
ServerLinkPort=COM1
ServerLinkPrefix=PUF1
ReadPortSpeed=38400
WritePortSpeed=38400
LinkPortSpeed=38400
[PLF_1]
Chanel=0
RecIndex=0
InverseFlag=0
AverageSize=1
[RVF_1]
Chanel=1
RecIndex=1
InverseFlag=0
AverageSize=1
[RVF_1_CALIBR]
Size=2
AVal0=0
FVal0=0
AVal1=100
FVal1=100
[URFK_1]
Chanel=2
RecIndex=2
InverseFlag=0
AverageSize=1
[URFK_1_CALIBR]
Size=2
AVal0=0
FVal0=0
AVal1=100
FVal1=100
[URFK12_1]
Chanel=3
RecIndex=3
InverseFlag=0
AverageSize=1
[URFK12_1_CALIBR]
Size=2
AVal0=0
FVal0=0
AVal1=100
FVal1=100
[PLF_2]
Chanel=0
RecIndex=0
InverseFlag=0
AverageSize=1
[PLF_2_CALIBR]
Size=2
AVal0=0
FVal0=0
AVal1=100
FVal1=100
[RVF_2]
Chanel=1
RecIndex=1
InverseFlag=0
AverageSize=1
[RVF_2_CALIBR]
Size=2
AVal0=0
FVal0=0
AVal1=100
FVal1=100
[URFK_2]
Chanel=2
RecIndex=2
InverseFlag=0
AverageSize=1
[URFK_2_CALIBR]
Size=2
AVal0=0
FVal0=0
AVal1=100
FVal1=100
[URFK12_2]
Chanel=3
RecIndex=3
InverseFlag=0
AverageSize=1
[URFK12_2_CALIBR]
Size=2
AVal0=0
FVal0=0
AVal1=100
FVal1=100
[OARS_1]
Chanel=0
RecIndex=0
InverseFlag=0
AverageSize=1
[OARS_1_CALIBR]
Size=2
AVal0=0
FVal0=0
AVal1=100
FVal1=100
[OARP_1]
Chanel=1
RecIndex=1
InverseFlag=0
AverageSize=1
[OARP_1_CALIBR]
Size=2
AVal0=0
FVal0=0
AVal1=100
FVal1=100
[OAFL_1]
Chanel=2
RecIndex=2
InverseFlag=0
AverageSize=1
[OAFL_1_CALIBR]
Size=2
AVal0=0
FVal0=0
AVal1=100
FVal1=100
[OARS_2]
Chanel=0
RecIndex=0
InverseFlag=0
AverageSize=1
[OARS_2_CALIBR]
Size=2
AVal0=0
FVal0=0
AVal1=100
FVal1=100
[OARP_2]
Chanel=1
RecIndex=1
InverseFlag=0
AverageSize=1
[OARP_2_CALIBR]
Size=2
AVal0=0
FVal0=0
AVal1=100
FVal1=100
[OAFL_2]
Chanel=2
RecIndex=2
InverseFlag=0
AverageSize=1
[OAFL_2_CALIBR]
Size=2
AVal0=0
FVal0=0
AVal1=100
FVal1=100
[CONST]
KVF_1=0.0166666666666667
KVF_2=0.0166666666666667
KGF_1=0.0166666666666667
KGF_2=0.0166666666666667
KVRRS_1=0.0166666666666667
KVRRS_2=0.0166666666666667
KVRRP_1=0.0166666666666667
KVRRP_2=0.0166666666666667
KVRRFL_1=0.0166666666666667
KVRRFL_2=0.0166666666666667
MAX_TRRS=300
MAX_TRRP=150
MAX_TRFL=150
MAX_ZRRS=1500
MAX_ZRRP=150
MAX_ZRFL=150
MIN_RVF=40
[OffColors]
Pulpa=0x00C0C0C0
Reciver=0x00C0C0C0
PenoGen=0x00C0C0C0
FlotoConc=0x00C0C0C0
FlotOut=0x00C0C0C0
Flok=0x00C0C0C0
)golden";

// Every stored field away from its built-in value (and the read-only ones too).
void FillNonDefault(TConfig& c) {
  c.Host = "db.plant.local:3307";
  c.Login = "оператор";
  c.Password = "Пароль№1";
  c.Version = 4;
  c.SavePassword = false;
  c.Disabled = true;
  c.HardReadPort = "/dev/ttyUSB0";
  c.HardWritePort = "COM7";
  c.ServerLinkPort = "/dev/ttyS4";
  c.ServerLinkPrefix = "PUF2";
  c.ReadPortSpeed = 9600;
  c.WritePortSpeed = 19200;
  c.LinkPortSpeed = 115200;
  c.I7017_1_addr = 11;
  c.I7017_2_addr = 12;
  c.I7024_1_addr = 13;
  c.I7024_2_addr = 255;
  for (int q = 0; q < kSummationConstantCount; ++q) {
    for (int s = 0; s < 2; ++s) c.SummationConstants[q][s] = (q + 1) / 3.0 + 0.5 * s;
  }
  c.MAX_TRRS = 300.5;
  c.MAX_TRRP = 151.25;
  c.MAX_TRFL = 0.001;
  c.MAX_ZRRS = 1e-7;
  c.MAX_ZRRP = 12345678.9;
  c.MAX_ZRFL = -2.5;
  c.MIN_RVF = 1e20;
  int n = 0;
  for (auto* list : {&c.InputSignals, &c.OutputSignals}) {
    for (auto& signal : *list) {
      ++n;
      signal->Chanel = 7 - n % 8;
      signal->RecIndex = n % 3;
      signal->InverseFlag = true;
      signal->AverageSize = 5 * n;
      CalibrationTable table;
      table.Size = 3;
      table.AVal = {0.5, 32767, 16383.25};
      table.FVal = {-1.5, 20.125 * n, 1.0 / 7.0};
      signal->SetCalibration(table);
    }
  }
  c.EmulI7017Flag[0] = true;
  c.EmulI7017Flag[1] = true;
  c.EmulI7017Answer[0] = ">AAAABBBBCCCCDDDDEEEEFFFF00001111";
  c.EmulI7017Answer[1] = "";
  c.DisableDacWrite[0] = true;
  c.DisableDacWrite[1] = true;
  for (int g = 0; g < kColorGroupCount; ++g) {
    c.OnColors[g] = 0x00102030u + g;
    c.OffColors[g] = 0xFF000000u + g;
  }
  c.SaveLogFlag = false;
  c.ReplaceShell = true;
  c.ShutdownOnExit = true;
  c.AutoStartControl = false;
  c.LanServer = false;
  c.LanPort = 8080;
  c.LanBindAddress = "10.0.0.5";
  c.LanAllow = "10.0.0.0/8";
  c.LanIdleTimeout = 30;
  c.LanMaxConnections = 4;
  c.TimeSetCommand = "time-admin";
}

QByteArray FileBytes(const char* text) {
  return ToCp1251(QString::fromUtf8(text).replace(u'\n', QStringLiteral("\r\n")));
}

// Byte comparison that names the first line that differs.
void ExpectFileIs(const QString& path, const char* expectedText) {
  const QByteArray expected = FileBytes(expectedText);
  const QByteArray actual = ReadFileBytes(path);
  if (actual == expected) return;
  const QStringList expectedLines = FromCp1251(expected).split(QStringLiteral("\r\n"));
  const QStringList actualLines = FromCp1251(actual).split(QStringLiteral("\r\n"));
  for (qsizetype i = 0; i < std::max(expectedLines.size(), actualLines.size()); ++i) {
    const QString e = i < expectedLines.size() ? expectedLines[i] : QStringLiteral("(end of file)");
    const QString a = i < actualLines.size() ? actualLines[i] : QStringLiteral("(end of file)");
    if (e != a) {
      ADD_FAILURE() << "line " << i + 1 << ": expected \"" << e.toStdString() << "\", written \""
                    << a.toStdString() << "\"";
      return;
    }
  }
  ADD_FAILURE() << "same lines, different bytes (line ends or encoding)";
}

class SettingsFileTest : public IniFixture {
 protected:
  SettingsFileTest() : IniFixture(QStringLiteral("flotation-console.INI")) {}

  Tmcrypt m_crypt{2008};
};

TEST_F(SettingsFileTest, DefaultConfigurationSavesTheKnownFile) {
  IniFile ini(Path());
  ini.SetDecimalSeparator(u'.');
  const TConfig config;
  ASSERT_TRUE(config.SaveConfig(ini, m_crypt));
  ExpectFileIs(Path(), kDefaultFile);
}

TEST_F(SettingsFileTest, NonDefaultConfigurationSavesTheKnownFile) {
  IniFile ini(Path());
  ini.SetDecimalSeparator(u',');
  TConfig config;
  FillNonDefault(config);
  ASSERT_TRUE(config.SaveConfig(ini, m_crypt));
  ExpectFileIs(Path(), kNonDefaultFile);
}

TEST_F(SettingsFileTest, LoadingAndSavingTheNonDefaultFileChangesNoByte) {
  WriteFile(FileBytes(kNonDefaultFile));
  IniFile ini(Path());
  ini.SetDecimalSeparator(u',');
  TConfig config;
  ASSERT_TRUE(config.LoadConfig(ini, m_crypt));
  // SavePassword is off in that file: the password is not read, so the save
  // writes none and the stored one stays as it is.
  EXPECT_EQ(config.Password.Get(), QString());
  EXPECT_EQ(config.Login.Get(), "оператор");
  EXPECT_EQ(config.OffColors[kFlok], 0xFF000005u);
  EXPECT_EQ(config.OutputSignals[5]->AverageSize, 70);
  ASSERT_TRUE(config.SaveConfig(ini, m_crypt));
  ExpectFileIs(Path(), kNonDefaultFile);
}

TEST_F(SettingsFileTest, LoadWithoutFileWritesOnlyTheSignalCounts) {
  IniFile ini(Path());
  TConfig config;
  ASSERT_TRUE(config.LoadConfig(ini, m_crypt));
  ExpectFileIs(Path(), "[ICP]\nADC_signal_count=8\nDAC_signal_count=6\n");
}

// Hand edits: a password to read back, quotes, an out-of-range read-only key,
// a foreign key, a longer calibration table, a colour set cut by a bad text,
// keys in another order and spelling.
TEST_F(SettingsFileTest, HandEditedFileLoadsAndSavesTheKnownFile) {
  Tmcrypt earlier(7);
  WriteFile(("; plant 2\r\n[MySQL]\r\nPassword=" + earlier.ScrambleText("secret") +
             "\r\nSavePassword=1\r\nHost=\"10.1.1.1\"\r\n[System]\r\nLanPort=70000\r\nExtra=keep me\r\n"
             "[PLF_1_CALIBR]\r\nSize=4\r\nAVal3=50\r\nFVal3=5\r\n[OnColors]\r\nPulpa=$FF\r\nReciver=bad\r\n"
             "[Emul]\r\nemul_I7017_2_rez=  !0247  \r\nDisable_DAC_Write_Flag1=7\r\n")
                .toLatin1());
  IniFile ini(Path());
  ini.SetDecimalSeparator(u'.');
  TConfig config;
  ASSERT_TRUE(config.LoadConfig(ini, m_crypt));
  EXPECT_EQ(config.Password.Get(), "secret");
  EXPECT_EQ(config.LanPort, kDefaultLanPort);
  EXPECT_EQ(config.OnColors[kPulpa], 0xFFu);
  EXPECT_EQ(config.OnColors[kReciver], 0x00008000u);
  EXPECT_TRUE(config.DisableDacWrite[0]);
  ASSERT_TRUE(config.SaveConfig(ini, m_crypt));
  ExpectFileIs(Path(), kEditedFileSaved);
}

// Every key a save writes is one the table knows, so nothing is written that
// is not documented and validated.
TEST_F(SettingsFileTest, EveryKeyASaveWritesIsInTheTable) {
  for (bool nonDefault : {false, true}) {
    QFile::remove(Path());
    IniFile ini(Path());
    TConfig config;
    if (nonDefault) FillNonDefault(config);
    ASSERT_TRUE(config.SaveConfig(ini, m_crypt));
    int keys = 0;
    for (const QString& section : ini.ReadSections()) {
      for (const QString& key : ini.ReadSection(section)) {
        ++keys;
        const SettingEntry* entry = FindSetting(section, key);
        ASSERT_NE(entry, nullptr) << section.toStdString() << "/" << key.toStdString();
        EXPECT_TRUE(entry->Written) << section.toStdString() << "/" << key.toStdString();
      }
    }
    EXPECT_GT(keys, 0);
  }
}

// The value of a field as the documentation writes a built-in value.
QString ShownValue(const SettingField& field) {
  return std::visit(
      [](auto alternative) -> QString {
        using T = decltype(alternative);
        if constexpr (std::is_same_v<T, Setting<QString>*>) {
          return alternative->Get();
        } else if constexpr (std::is_same_v<T, Setting<bool>*>) {
          return *alternative ? QStringLiteral("1") : QStringLiteral("0");
        } else if constexpr (std::is_same_v<T, Setting<int>*>) {
          return QString::number(alternative->Get());
        } else if constexpr (std::is_same_v<T, Setting<double>*>) {
          return QString::number(alternative->Get(), 'g', 15);
        } else if constexpr (std::is_same_v<T, Setting<uint32_t>*>) {
          return ColorToText(*alternative);
        } else if constexpr (std::is_same_v<T, SignalList*>) {
          return QString::number(alternative->size());
        } else {
          return QStringLiteral("(no field)");
        }
      },
      field);
}

const SettingEntry* Find(const char* section, const char* key) {
  return FindSetting(QString::fromUtf8(section), QString::fromUtf8(key));
}

std::string Name(const SettingEntry& entry) {
  return std::string(entry.Section) + "/" + entry.Key;
}

bool IsSignalEntry(const SettingEntry& entry) {
  return entry.Section == std::string_view(kSignalSection);
}

bool IsCalibrationEntry(const SettingEntry& entry) {
  return entry.Section == std::string_view(kCalibrationSection);
}

TEST(SettingsTable, EveryEntryBindsAFieldOfItsKind) {
  TConfig config;
  std::set<const void*> bound;
  for (const SettingEntry& entry : SettingsTable()) {
    SCOPED_TRACE(Name(entry));
    if (IsCalibrationEntry(entry)) {
      EXPECT_EQ(entry.Kind, SettingKind::Calibration);
      EXPECT_EQ(entry.Field, nullptr);
      EXPECT_EQ(entry.SignalField, nullptr);
      continue;
    }
    SettingField field;
    if (IsSignalEntry(entry)) {
      ASSERT_NE(entry.SignalField, nullptr);
      EXPECT_EQ(entry.Field, nullptr);
      field = entry.SignalField(*config.InputSignals[0]);
    } else {
      ASSERT_NE(entry.Field, nullptr);
      EXPECT_EQ(entry.SignalField, nullptr);
      EXPECT_EQ(entry.Scope, SignalScope::Every);
      field = entry.Field(config);
      // Two keys on one field would load one over the other.
      const void* address = std::visit(
          [](auto alternative) -> const void* {
            if constexpr (std::is_pointer_v<decltype(alternative)>) return alternative;
            return nullptr;
          },
          field);
      EXPECT_TRUE(bound.insert(address).second) << "field bound twice";
    }
    switch (entry.Kind) {
      case SettingKind::Text:
      case SettingKind::Secret:
        EXPECT_TRUE(std::holds_alternative<Setting<QString>*>(field));
        break;
      case SettingKind::Flag:
        EXPECT_TRUE(std::holds_alternative<Setting<bool>*>(field));
        break;
      case SettingKind::Integer:
        EXPECT_TRUE(std::holds_alternative<Setting<int>*>(field));
        break;
      case SettingKind::Float:
        EXPECT_TRUE(std::holds_alternative<Setting<double>*>(field));
        break;
      case SettingKind::Colour:
        EXPECT_TRUE(std::holds_alternative<Setting<uint32_t>*>(field));
        break;
      case SettingKind::SignalCount:
        EXPECT_TRUE(std::holds_alternative<SignalList*>(field));
        break;
      case SettingKind::Calibration:
        ADD_FAILURE() << "calibration key outside the calibration section";
        break;
    }
    EXPECT_TRUE(entry.Fallback == OutOfRange::Kept || entry.Min != 0 || entry.Max != 0)
        << "a fallback needs a range";
    for (double choice : entry.Choices) EXPECT_TRUE(choice >= entry.Min && choice <= entry.Max) << choice;
  }
}

TEST(SettingsTable, EveryKeyIsListedOncePerSectionAndList) {
  std::set<std::tuple<std::string, std::string, SignalScope>> seen;
  for (const SettingEntry& entry : SettingsTable()) {
    std::string key = entry.Key;
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(seen.insert({entry.Section, key, entry.Scope}).second) << Name(entry);
    // A narrowed key has its twin for the other list, with the same field.
    if (entry.Scope != SignalScope::Every) {
      ASSERT_TRUE(IsSignalEntry(entry)) << Name(entry);
      const SettingEntry* input = Find(InputSignalNames()[0], entry.Key);
      const SettingEntry* output = Find(OutputSignalNames()[0], entry.Key);
      ASSERT_NE(input, nullptr);
      ASSERT_NE(output, nullptr);
      EXPECT_EQ(input->SignalField, output->SignalField) << Name(entry);
      EXPECT_EQ(input->Kind, output->Kind) << Name(entry);
    }
  }
}

TEST(SettingsTable, DocumentedDefaultsAreTheBuiltInValues) {
  const TConfig config;
  TConfig& fields = const_cast<TConfig&>(config);
  for (const SettingEntry& entry : SettingsTable()) {
    SCOPED_TRACE(Name(entry));
    const QString shown = QString::fromUtf8(entry.Default);
    if (IsCalibrationEntry(entry)) {
      const CalibrationTable identity = CalibrationTable::Identity();
      if (!entry.Indexed) {
        EXPECT_EQ(shown, QString::number(identity.Size));
        continue;
      }
      QStringList points;
      const auto& values = std::string_view(entry.Key) == "AVal" ? identity.AVal : identity.FVal;
      for (int i = 0; i < identity.Size; ++i) points << QString::number(values[i], 'g', 15);
      EXPECT_EQ(shown, points.join(QStringLiteral(", ")));
      continue;
    }
    if (IsSignalEntry(entry)) {
      for (const auto* list : {&fields.InputSignals, &fields.OutputSignals}) {
        int position = 0;
        for (const auto& signal : *list) {
          const QString value = ShownValue(entry.SignalField(*signal));
          if (shown == "by position") {
            EXPECT_EQ(value, QString::number(position % (list == &fields.InputSignals ? 4 : 3)));
          } else {
            EXPECT_EQ(value, shown) << signal->SignalName.toStdString();
          }
          ++position;
        }
      }
      continue;
    }
    const SettingField field = entry.Field(fields);
    if (shown == "1/60") {
      EXPECT_EQ(*std::get<Setting<double>*>(field), 1.0 / 60.0);
    } else if (shown == "(none)" || shown == "empty" || shown == "(empty)") {
      EXPECT_EQ(ShownValue(field), QString());
    } else {
      EXPECT_EQ(ShownValue(field), shown);
    }
  }
}

// The table's keys for the helpers that other code still asks for names.
TEST(SettingsTable, ColourAndConstantKeysMatchTheNamedHelpers) {
  for (const char* section : {"OnColors", "OffColors"}) {
    for (int group = 0; group < kColorGroupCount; ++group) {
      const SettingEntry* entry = Find(section, kColorKeys[group]);
      ASSERT_NE(entry, nullptr) << section << "/" << kColorKeys[group];
      TConfig config;
      EXPECT_EQ(std::get<Setting<uint32_t>*>(entry->Field(config)),
                &(std::string_view(section) == "OnColors" ? config.OnColors : config.OffColors)[group]);
    }
  }
  TConfig config;
  for (int q = 0; q < kSummationConstantCount; ++q) {
    for (int s = 0; s < 2; ++s) {
      const QString key = SummationConstantKey(static_cast<SummationConstant>(q), s);
      const SettingEntry* entry = FindSetting(u"CONST", key);
      ASSERT_NE(entry, nullptr) << key.toStdString();
      EXPECT_EQ(std::get<Setting<double>*>(entry->Field(config)), &config.SummationConstants[q][s])
          << key.toStdString();
    }
  }
  ASSERT_EQ(InputSignalNames().size(), config.InputSignals.size());
  ASSERT_EQ(OutputSignalNames().size(), config.OutputSignals.size());
}

// The limits the acquisition, the output driving, the averages and the
// calibration code apply on their own.
TEST(SettingsTable, RangesAreTheLimitsTheCoreApplies) {
  struct Limit {
    const char* Section;
    const char* Key;
    double Min;
    double Max;
  };
  const Limit limits[] = {
      {"PLF_1", "Chanel", 0, kInputChannelCount - 1},
      {"OAFL_2", "Chanel", 0, kMaxOutputChannel},
      {"PLF_1", "RecIndex", 0, kInputSlotsPerModule - 1},
      {"OAFL_2", "RecIndex", 0, kOutputSlotsPerModule - 1},
      {"URFK12_2", "AverageSize", 1, kMaxAverageSize},
      {"URFK12_2_CALIBR", "Size", 1, kCalibrationMaxUsable},
      {"System", "LanPort", 1, 65535},
  };
  for (const Limit& limit : limits) {
    const SettingEntry* entry = Find(limit.Section, limit.Key);
    ASSERT_NE(entry, nullptr) << limit.Section << "/" << limit.Key;
    EXPECT_EQ(entry->Min, limit.Min) << limit.Section << "/" << limit.Key;
    EXPECT_EQ(entry->Max, limit.Max) << limit.Section << "/" << limit.Key;
  }
}

TEST(SettingsTable, FindSettingMatchesTheFileSectionsAndKeys) {
  struct Case {
    const char* Section;
    const char* Key;
    const char* FoundSection;  // nullptr: no such key
    SignalScope Scope;
  };
  const Case cases[] = {
      {"MySQL", "Host", "MySQL", SignalScope::Every},
      {"mysql", "HOST", "MySQL", SignalScope::Every},
      {"CONST", "KVRRFL_2", "CONST", SignalScope::Every},
      {"CONST", "KVRRFL_3", nullptr, SignalScope::Every},
      {"COM", "Host", nullptr, SignalScope::Every},
      {"LastSet", "TRRS1", nullptr, SignalScope::Every},
      {"PLF_1", "Chanel", kSignalSection, SignalScope::Inputs},
      {"urfk12_2", "chanel", kSignalSection, SignalScope::Inputs},
      {"OARS_1", "Chanel", kSignalSection, SignalScope::Outputs},
      {"OAFL_2", "InverseFlag", kSignalSection, SignalScope::Every},
      {kSignalSection, "RecIndex", kSignalSection, SignalScope::Inputs},
      {"PLF_3", "Chanel", nullptr, SignalScope::Every},
      {"PLF_1", "Host", nullptr, SignalScope::Every},
      {"PLF_1", "SignalName", nullptr, SignalScope::Every},
      {"MySQL", "Chanel", nullptr, SignalScope::Every},
      {"PLF_1_CALIBR", "Size", kCalibrationSection, SignalScope::Every},
      {"oafl_2_calibr", "aval0", kCalibrationSection, SignalScope::Every},
      {kCalibrationSection, "FVal510", kCalibrationSection, SignalScope::Every},
      {"PLF_1_CALIBR", "AVal511", nullptr, SignalScope::Every},
      {"PLF_1_CALIBR", "AVal01", nullptr, SignalScope::Every},
      {"PLF_1_CALIBR", "AVal", nullptr, SignalScope::Every},
      {"PLF_1_CALIBR", "AVal-1", nullptr, SignalScope::Every},
      {"PLF_1_CALIBR", "AVal1x", nullptr, SignalScope::Every},
      {"PLF_1_CALIBR", "Chanel", nullptr, SignalScope::Every},
      {"PLF_9_CALIBR", "Size", nullptr, SignalScope::Every},
      {"_CALIBR", "Size", nullptr, SignalScope::Every},
      {"", "", nullptr, SignalScope::Every},
  };
  for (const Case& c : cases) {
    const SettingEntry* entry = Find(c.Section, c.Key);
    if (c.FoundSection == nullptr) {
      EXPECT_EQ(entry, nullptr) << c.Section << "/" << c.Key;
      continue;
    }
    ASSERT_NE(entry, nullptr) << c.Section << "/" << c.Key;
    EXPECT_EQ(std::string_view(entry->Section), c.FoundSection) << c.Section << "/" << c.Key;
    EXPECT_EQ(entry->Scope, c.Scope) << c.Section << "/" << c.Key;
  }
}

TEST(SettingsTable, InSettingRangeAcceptsWhatTheCoreUses) {
  struct Case {
    const char* Section;
    const char* Key;
    double Value;
    bool Accepted;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const Case cases[] = {
      {"PLF_1", "Chanel", 0, true},
      {"PLF_1", "Chanel", 7, true},
      {"PLF_1", "Chanel", 8, false},
      {"PLF_1", "Chanel", -1, false},
      {"PLF_1", "Chanel", 2.5, false},
      {"OARS_1", "Chanel", 4, true},
      {"OARS_1", "Chanel", 5, false},
      {"URFK12_2", "RecIndex", 3, true},
      {"URFK12_2", "RecIndex", 4, false},
      {"OAFL_2", "RecIndex", 2, true},
      {"OAFL_2", "RecIndex", 3, false},
      {"RVF_1", "AverageSize", 1, true},
      {"RVF_1", "AverageSize", 86400, true},
      {"RVF_1", "AverageSize", 86401, false},
      {"RVF_1", "AverageSize", 0, false},
      {"RVF_1_CALIBR", "Size", 511, true},
      {"RVF_1_CALIBR", "Size", 512, false},
      {"RVF_1_CALIBR", "Size", 0, false},
      {"RVF_1_CALIBR", "AVal3", -1e30, true},
      {"RVF_1_CALIBR", "FVal3", 0.125, true},
      {"RVF_1_CALIBR", "FVal3", nan, false},
      {"COM", "ReadPortSpeed", 38400, true},
      {"COM", "LinkPortSpeed", 256000, true},
      {"COM", "WritePortSpeed", 9601, false},
      {"COM", "WritePortSpeed", 100000, false},
      {"ICP", "I7017_1_addr", 0, true},
      {"ICP", "I7024_2_addr", 255, true},
      {"ICP", "I7024_2_addr", 256, false},
      {"ICP", "I7017_2_addr", -1, false},
      {"System", "LanPort", 1, true},
      {"System", "LanPort", 65535, true},
      {"System", "LanPort", 0, false},
      {"System", "LanPort", 65536, false},
      {"System", "LanIdleTimeout", 0, true},
      {"System", "LanIdleTimeout", -1, false},
      {"System", "LanMaxConnections", 0, false},
      {"MySQL", "Version", 4, true},
      {"MySQL", "Version", -7, true},
      {"MySQL", "Version", 3e9, false},
      {"CONST", "KVF_1", -12.5, true},
      {"CONST", "MAX_TRRS", 1e300, true},
      {"CONST", "MAX_TRRS", inf, false},
      {"CONST", "MIN_RVF", nan, false},
      {"MySQL", "Host", nan, true},
      {"System", "LanServer", 7, true},
  };
  for (const Case& c : cases) {
    const SettingEntry* entry = Find(c.Section, c.Key);
    ASSERT_NE(entry, nullptr) << c.Section << "/" << c.Key;
    EXPECT_EQ(InSettingRange(*entry, c.Value), c.Accepted) << c.Section << "/" << c.Key << " = " << c.Value;
  }
}

// ---- doc/files.md ----

// The documentation's key table, one row per entry in table order.
QString DocumentationSection(const SettingEntry& entry) {
  if (IsSignalEntry(entry)) {
    const QString inputs =
        QStringLiteral("%1 ... %2").arg(InputSignalNames().front(), InputSignalNames().back());
    const QString outputs =
        QStringLiteral("%1 ... %2").arg(OutputSignalNames().front(), OutputSignalNames().back());
    switch (entry.Scope) {
      case SignalScope::Inputs:
        return inputs;
      case SignalScope::Outputs:
        return outputs;
      case SignalScope::Every:
        return inputs + QStringLiteral(", ") + outputs;
    }
  }
  return QString::fromUtf8(entry.Section);
}

QString DocumentationKey(const SettingEntry& entry) {
  if (!entry.Indexed) return QString::fromUtf8(entry.Key);
  return QStringLiteral("%1%2 ... %1%3")
      .arg(QString::fromUtf8(entry.Key))
      .arg(0)
      .arg(kCalibrationMaxUsable - 1);
}

QString DocumentationNumber(double value) {
  return value == std::trunc(value) ? QString::number(static_cast<qint64>(value)) : QString::number(value);
}

QString DocumentationRange(const SettingEntry& entry) {
  if (!entry.Choices.empty()) {
    QStringList choices;
    for (double choice : entry.Choices) choices << DocumentationNumber(choice);
    return choices.join(QStringLiteral(", "));
  }
  if (entry.Min == 0 && entry.Max == 0) return QString();
  if (entry.Max == std::numeric_limits<int>::max())
    return QStringLiteral("≥ ") + DocumentationNumber(entry.Min);
  return DocumentationNumber(entry.Min) + QStringLiteral(" ... ") + DocumentationNumber(entry.Max);
}

QString DocumentationRow(const SettingEntry& entry) {
  QString meaning = QString::fromUtf8(entry.Meaning);
  if (*entry.Unit != '\0') meaning += QStringLiteral(", ") + QString::fromUtf8(entry.Unit);
  return QStringLiteral("| %1 | %2 | %3 | %4 | %5 |")
      .arg(DocumentationSection(entry), DocumentationKey(entry), QString::fromUtf8(entry.Default),
           DocumentationRange(entry), meaning)
      .replace(QStringLiteral("|  |"), QStringLiteral("| |"));
}

const QString kTableBegin =
    QStringLiteral("<!-- keys: begin; generated from SettingsTable(), checked by settingstable_test -->");
const QString kTableEnd = QStringLiteral("<!-- keys: end -->");
const QString kTableHeader = QStringLiteral("| section | key | default | range | meaning |");
const QString kTableRule = QStringLiteral("|---|---|---|---|---|");

// The source tree: beside this file when the compiler gave its full path,
// else above the test's folder or the working folder (build folders live in
// or beside the tree).
QString FindSourceFile(const QString& relative) {
  QStringList starts;
  const QFileInfo self(QString::fromUtf8(__FILE__));
  if (self.isAbsolute()) starts << self.absolutePath();
  starts << QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath() << QDir::currentPath();
  for (const QString& start : starts) {
    for (QDir dir(start);;) {
      if (QFileInfo::exists(dir.filePath(relative)) &&
          QFileInfo::exists(dir.filePath(QStringLiteral("src/configuration/settingstable.h"))))
        return dir.filePath(relative);
      if (!dir.cdUp()) break;
    }
  }
  return QString();
}

TEST(SettingsTable, DocumentationListsEveryKeyAsTheTableHasIt) {
  const QString path = FindSourceFile(QStringLiteral("doc/files.md"));
  ASSERT_FALSE(path.isEmpty()) << "doc/files.md not found above " << QDir::currentPath().toStdString();
  const QStringList lines = QString::fromUtf8(ReadFileBytes(path)).remove(u'\r').split(u'\n');
  const qsizetype begin = lines.indexOf(kTableBegin);
  const qsizetype end = lines.indexOf(kTableEnd);
  ASSERT_TRUE(begin >= 0 && end > begin) << path.toStdString() << " has no \"" << kTableBegin.toStdString()
                                         << "\" ... \"" << kTableEnd.toStdString() << "\" block";
  const QStringList documented = lines.mid(begin + 1, end - begin - 1);

  QStringList expected = {kTableHeader, kTableRule};
  for (const SettingEntry& entry : SettingsTable()) expected << DocumentationRow(entry);
  if (documented == expected) return;

  // Name the keys whose rows differ, then give the whole block to paste.
  // Rows are matched by their section and key cells, so one missing row does
  // not make every row after it differ.
  const auto rowKey = [](const QString& row) { return row.section(u'|', 1, 2).trimmed(); };
  QMap<QString, QString> documentedRows;
  for (qsizetype i = 2; i < documented.size(); ++i)
    documentedRows.insert(rowKey(documented[i]), documented[i]);
  std::string differences;
  if (documented.mid(0, 2) != expected.mid(0, 2)) differences += "  the table's header differs\n";
  QStringList tableRowKeys;
  for (qsizetype i = 2; i < expected.size(); ++i) {
    const std::string name = Name(SettingsTable()[i - 2]);
    const QString key = rowKey(expected[i]);
    tableRowKeys << key;
    if (!documentedRows.contains(key)) {
      differences += "  " + name + ": no row in doc/files.md\n";
    } else if (documentedRows.value(key) != expected[i]) {
      differences += "  " + name + "\n    doc/files.md: " + documentedRows.value(key).toStdString() +
                     "\n    table:        " + expected[i].toStdString() + "\n";
    }
  }
  for (const QString& key : documentedRows.keys()) {
    if (!tableRowKeys.contains(key))
      differences += "  doc/files.md documents " + key.toStdString() + ", which the table does not have\n";
  }
  if (differences.empty()) differences = "  the rows are not in the table's order\n";
  ADD_FAILURE() << "doc/files.md differs from SettingsTable():\n"
                << differences << "the block the table gives:\n"
                << expected.join(u'\n').toStdString();
}

}  // namespace
