#include "configuration/calibration.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <initializer_list>
#include <utility>
#include <vector>

#include "common/inifile.h"
#include "support/inifixture.h"
#include "storage/eventlog.h"

namespace {

CalibrationTable MakeTable(std::initializer_list<std::pair<double, double>> points) {
  CalibrationTable table;
  for (const auto& [a, f] : points) {
    table.AVal[table.Size] = a;
    table.FVal[table.Size] = f;
    ++table.Size;
  }
  return table;
}

struct ConversionCase {
  const char* name;
  CalibrationTable table;
  double x;
  bool clamp;
  double expected;
};

const CalibrationTable kUnsorted = MakeTable({{0, 4}, {32767, 20}, {16383, 12}});
const CalibrationTable kDuplicateArgument = MakeTable({{10, 1}, {10, 2}, {20, 3}});
const CalibrationTable kAllSeven = MakeTable({{7, 1}, {7, 2}, {7, 3}});
const CalibrationTable kBelowZero = MakeTable({{0, -5}, {10, 5}, {20, 15}});

// Names the case in test listings instead of dumping the 8 KB table.
void PrintTo(const ConversionCase& c, std::ostream* out) {
  *out << c.name;
}

class CalibrateValueTest : public testing::TestWithParam<ConversionCase> {};

TEST_P(CalibrateValueTest, Converts) {
  const ConversionCase& c = GetParam();
  EXPECT_NEAR(CalibrateValue(c.x, &c.table, c.clamp), c.expected, 1e-9) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Tables, CalibrateValueTest,
    testing::Values(
        ConversionCase{"IdentityInside", CalibrationTable::Identity(), 37.5, false, 37.5},
        ConversionCase{"IdentityBelowUnclamped", CalibrationTable::Identity(), -5, false, -5},
        ConversionCase{"IdentityBelowClamped", CalibrationTable::Identity(), -5, true, 0},
        ConversionCase{"IdentityAbove", CalibrationTable::Identity(), 250, false, 250},
        ConversionCase{"UnsortedInside", kUnsorted, 8191, false, 7.99975584447293},
        ConversionCase{"UnsortedAboveExtrapolatesAlongTopPoints", kUnsorted, 40000, false, 23.5317382812500},
        ConversionCase{"UnsortedBelowExtrapolatesAlongBottomPoints", kUnsorted, -16383, false, -4},
        ConversionCase{"UnsortedBelowClamped", kUnsorted, -16383, true, 0},
        ConversionCase{"DuplicateArgumentFirstMatchWins", kDuplicateArgument, 10, false, 1},
        ConversionCase{"DuplicateArgumentBelowUsesEarlierPoint", kDuplicateArgument, 5, false, 0},
        ConversionCase{"DuplicateArgumentAboveUsesEarlierPoint", kDuplicateArgument, 25, false, 4},
        ConversionCase{"AllArgumentsEqualBelow", kAllSeven, 3, false, 1},
        ConversionCase{"AllArgumentsEqualAbove", kAllSeven, 100, false, 1},
        ConversionCase{"ExactHitIsNotClamped", kBelowZero, 0, true, -5},
        ConversionCase{"InterpolatedIsClamped", kBelowZero, 2, true, 0},
        ConversionCase{"OnePointIgnoresArgumentAndClamp", MakeTable({{5, -3}}), 1000, true, -3},
        ConversionCase{"TwoPointsSameArgumentGiveFirstValue", MakeTable({{5, -2}, {5, 9}}), 1, true, -2},
        ConversionCase{"TwoPointsExtrapolate", MakeTable({{100, 0}, {0, 10}}), 150, false, -5}),
    [](const testing::TestParamInfo<ConversionCase>& info) { return std::string(info.param.name); });

TEST(CalibrateValue, ExactPointIsReturnedBitForBit) {
  EXPECT_EQ(CalibrateValue(16383, &kUnsorted, false), 12.0);
}

TEST(CalibrateValue, UnusableTablesGiveZero) {
  EXPECT_EQ(CalibrateValue(50, nullptr, false), 0);
  for (const int size : {0, -1, CalibrationTable::kSlots, 100000}) {
    CalibrationTable table = CalibrationTable::Identity();
    table.Size = size;
    EXPECT_EQ(CalibrateValue(50, &table, false), 0) << size;
  }
}

TEST(CalibrateValue, LargestUsableTableConverts) {
  CalibrationTable table;
  table.Size = kCalibrationMaxUsable;
  for (int i = 0; i < table.Size; ++i) {
    table.AVal[i] = i;
    table.FVal[i] = 2.0 * i;
  }
  EXPECT_DOUBLE_EQ(CalibrateValue(600, &table, false), 1200);
  EXPECT_DOUBLE_EQ(CalibrateValue(12.25, &table, false), 24.5);
}

TEST(CalibrateValue, NotANumberStaysNotANumber) {
  const double nan = std::nan("");
  EXPECT_TRUE(std::isnan(CalibrateValue(nan, &kUnsorted, true)));
  CalibrationTable allNan = MakeTable({{nan, 1}, {nan, 2}, {nan, 3}});
  EXPECT_TRUE(std::isnan(CalibrateValue(5, &allNan, false)));
}

class CalibrationIniTest : public IniFixture {
 protected:
  CalibrationIniTest() : IniFixture(QStringLiteral("calibration.ini")) {}
};

TEST_F(CalibrationIniTest, SaveThenLoadGivesTheSamePoints) {
  IniFile ini(Path());
  const CalibrationTable saved = MakeTable({{0, 4.25}, {32767, 20}, {-16383.5, 1e-7}, {1e20, -0.001}});
  ASSERT_TRUE(SaveCalibrateTableToIni(ini, QStringLiteral("PLF_1_CALIBR"), saved));

  EXPECT_EQ(ini.ReadSection(QStringLiteral("PLF_1_CALIBR")),
            QStringList({"Size", "AVal0", "FVal0", "AVal1", "FVal1", "AVal2", "FVal2", "AVal3", "FVal3"}));

  CalibrationTable loaded = CalibrationTable::Identity();
  ASSERT_TRUE(LoadCalibrateTableFromIni(ini, QStringLiteral("PLF_1_CALIBR"), loaded));
  ASSERT_EQ(loaded.Size, 4);
  for (int i = 0; i < loaded.Size; ++i) {
    EXPECT_EQ(loaded.AVal[i], saved.AVal[i]) << i;
    EXPECT_EQ(loaded.FVal[i], saved.FVal[i]) << i;
  }
  EXPECT_TRUE(DrainEventLog().empty());
}

TEST_F(CalibrationIniTest, MissingOrUnreadableKeysKeepCurrentValues) {
  WriteFile(
      "[A_CALIBR]\r\nAVal0=abc\r\nFVal0=7,5\r\nAVal1=150\r\n"
      "[B_CALIBR]\r\nSize=1\r\nAVal0=3\r\nFVal0=4\r\n");
  IniFile ini(Path());

  CalibrationTable a = CalibrationTable::Identity();
  ASSERT_TRUE(LoadCalibrateTableFromIni(ini, QStringLiteral("a_calibr"), a));
  EXPECT_EQ(a.Size, 2);
  EXPECT_EQ(a.AVal[0], 0);
  EXPECT_EQ(a.FVal[0], 7.5);
  EXPECT_EQ(a.AVal[1], 150);
  EXPECT_EQ(a.FVal[1], 100);

  // Points beyond the stored size keep whatever they held.
  CalibrationTable b = CalibrationTable::Identity();
  ASSERT_TRUE(LoadCalibrateTableFromIni(ini, QStringLiteral("B_CALIBR"), b));
  EXPECT_EQ(b.Size, 1);
  EXPECT_EQ(b.AVal[0], 3);
  EXPECT_EQ(b.AVal[1], 100);

  CalibrationTable untouched = CalibrationTable::Identity();
  ASSERT_TRUE(LoadCalibrateTableFromIni(ini, QStringLiteral("NoSuch_CALIBR"), untouched));
  EXPECT_EQ(untouched.Size, 2);
  EXPECT_EQ(CalibrateValue(42, &untouched, false), 42);
}

TEST_F(CalibrationIniTest, ZeroOrNegativeSizeMakesTheSignalConvertToZero) {
  WriteFile("[Z]\r\nSize=0\r\nAVal0=5\r\n[N]\r\nSize=-3\r\n");
  IniFile ini(Path());
  for (const char* section : {"Z", "N"}) {
    CalibrationTable table = CalibrationTable::Identity();
    ASSERT_TRUE(LoadCalibrateTableFromIni(ini, QLatin1String(section), table));
    EXPECT_LE(table.Size, 0) << section;
    EXPECT_EQ(table.AVal[0], 0) << section;
    EXPECT_EQ(CalibrateValue(42, &table, false), 0) << section;
  }
}

TEST_F(CalibrationIniTest, OversizedTableIsCutToTheUsableSizeAndLogged) {
  WriteFile("[PLF_1_CALIBR]\r\nSize=600\r\nAVal510=1000\r\nFVal510=2000\r\nAVal511=7\r\nFVal511=8\r\n");
  IniFile ini(Path());
  CalibrationTable table = CalibrationTable::Identity();
  ASSERT_TRUE(LoadCalibrateTableFromIni(ini, QStringLiteral("PLF_1_CALIBR"), table));

  EXPECT_EQ(table.Size, kCalibrationMaxUsable);
  EXPECT_EQ(table.AVal[510], 1000);
  EXPECT_EQ(table.FVal[510], 2000);
  EXPECT_EQ(table.AVal[511], 0) << "read beyond the usable size";
  EXPECT_EQ(table.FVal[511], 0) << "read beyond the usable size";

  const std::vector<TEventFIFO_Rec> log = DrainEventLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].Text, QStringLiteral("Таблица калибровки PLF_1_CALIBR: размер 600 уменьшен до 511."));
  EXPECT_EQ(log[0].Flags, 0u);
}

TEST_F(CalibrationIniTest, EmptySectionNameIsRefused) {
  IniFile ini(Path());
  CalibrationTable table = CalibrationTable::Identity();
  EXPECT_FALSE(LoadCalibrateTableFromIni(ini, QString(), table));
  EXPECT_FALSE(SaveCalibrateTableToIni(ini, QString(), table));
  EXPECT_FALSE(QFile::exists(Path()));
}

TEST_F(CalibrationIniTest, FailedSaveIsLoggedAndReported) {
  const QString path = m_dir.filePath(QStringLiteral("missing-folder/app.ini"));
  IniFile ini(path);
  EXPECT_FALSE(SaveCalibrateTableToIni(ini, QStringLiteral("RVF_1_CALIBR"), CalibrationTable::Identity()));

  const std::vector<TEventFIFO_Rec> log = DrainEventLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].Text, QStringLiteral("Критическая ошибка в SaveCalibrateTableToIni(): \"не удалось "
                                        "записать файл ") +
                             path + QStringLiteral("\"."));
  EXPECT_EQ(log[0].Flags, 68u);
}

TEST_F(CalibrationIniTest, SaveOfAnOversizedTableStaysWithinItsSlots) {
  IniFile ini(Path());
  CalibrationTable table = CalibrationTable::Identity();
  table.Size = 100000;
  ASSERT_TRUE(SaveCalibrateTableToIni(ini, QStringLiteral("X"), table));
  EXPECT_EQ(ini.ReadSection(QStringLiteral("X")).size(), 1 + 2 * CalibrationTable::kSlots);
}

}  // namespace
