#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <set>
#include <thread>

#include "common/inifile.h"
#include "configuration/config.h"
#include "configuration/signaledit.h"
#include "configuration/tmcrypt.h"
#include "console/consolecore.h"
#include "support/eventlogcapture.h"
#include "support/ptybus.h"

namespace {

using namespace std::chrono_literals;

const QString kTooLong = u"Калибровочная таблица слишком длинная: наибольшее число точек — 511."_qs;
const QString kBadTable = u"Калибровочная таблица заполнена неверно."_qs;
const QString kBadChanel = u"Номер канала указан неверно."_qs;
const QString kBadSpeed = u"Скоротсь связи одного или нескольких портов указана неверно."_qs;

TSignalSet& Signal(const std::vector<std::unique_ptr<TSignalSet>>& list, const QString& name) {
  for (const auto& signal : list) {
    if (signal->SignalName == name) return *signal;
  }
  ADD_FAILURE() << name.toStdString();
  return *list.front();
}

CalibrationRows Rows(int count) {
  CalibrationRows rows;
  for (int i = 0; i < count; ++i) rows.push_back({QString::number(i), QString::number(2 * i)});
  return rows;
}

TEST(OperatorNumbers, IntegersAreDecimalAndWithin32Bits) {
  const struct {
    const char16_t* Text;
    std::optional<int> Expected;
  } cases[] = {
      {u"5", 5},
      {u" +7\t", 7},
      {u"-3", -3},
      {u"0", 0},
      {u"2147483647", 2147483647},
      {u"-2147483648", -2147483647 - 1},
      {u"2147483648", std::nullopt},
      {u"99999999999999999999", std::nullopt},
      {u"", std::nullopt},
      {u"  ", std::nullopt},
      {u"+", std::nullopt},
      {u"12a", std::nullopt},
      {u"1.0", std::nullopt},
      {u"1e3", std::nullopt},
      {u"0x1F", std::nullopt},
      {u"$1F", std::nullopt},
      {u"\u0663", std::nullopt},  // a digit, but not one the operator's number has
      {u"1 2", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(QString::fromUtf16(c.Text).toStdString());
    EXPECT_EQ(ParseOperatorInteger(QString::fromUtf16(c.Text)), c.Expected);
  }
}

TEST(OperatorNumbers, DecimalsUseTheOperatorsSeparatorAndFitSinglePrecision) {
  const struct {
    const char16_t* Text;
    QChar Separator;
    std::optional<double> Expected;
  } cases[] = {
      {u"12.5", u'.', 12.5},          {u"12,5", u',', 12.5},          {u"12,5", u'.', std::nullopt},
      {u"12.5", u',', std::nullopt},  {u" -0.25 ", u'.', -0.25},      {u"1.5E-7", u'.', 1.5e-7},
      {u"1,5E-7", u',', 1.5e-7},      {u"3E38", u'.', 3e38},          {u"1E39", u'.', std::nullopt},
      {u"-1E39", u'.', std::nullopt}, {u"1E400", u'.', std::nullopt}, {u"", u'.', std::nullopt},
      {u"abc", u'.', std::nullopt},   {u"0x10", u'.', std::nullopt},  {u"nan", u'.', std::nullopt},
      {u"NaN", u'.', std::nullopt},   {u"inf", u'.', std::nullopt},   {u"-INF", u'.', std::nullopt},
      {u"1.2.3", u'.', std::nullopt}, {u"1 000", u'.', std::nullopt}, {u"5e", u'.', std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(QString::fromUtf16(c.Text).toStdString());
    EXPECT_EQ(ParseOperatorDecimal(QString::fromUtf16(c.Text), c.Separator), c.Expected);
  }
}

// The port page stores the names as typed, then the speeds until the first
// bad one, and asks for the file in any case.
TEST(ApplyLinkPage, SpeedsStopAtTheFirstBadOneAndTheFileIsWrittenAnyway) {
  const LinkPageTexts good{u"COM4"_qs,  u"9600"_qs,     u"/dev/ttyUSB1"_qs,
                           u"19200"_qs, u"any text"_qs, u" 115200 "_qs};
  const struct {
    const char* Name;
    std::function<void(LinkPageTexts&)> Change;
    int StoredSpeeds;  // link, read, write: how many take the new value
  } cases[] = {
      {"all good", [](LinkPageTexts&) {}, 3},
      {"link letters", [](LinkPageTexts& t) { t.LinkPortSpeed = u"fast"_qs; }, 0},
      {"link empty", [](LinkPageTexts& t) { t.LinkPortSpeed = QString(); }, 0},
      {"read zero", [](LinkPageTexts& t) { t.ReadPortSpeed = u"0"_qs; }, 1},
      {"read hexadecimal", [](LinkPageTexts& t) { t.ReadPortSpeed = u"0x2580"_qs; }, 1},
      {"write negative", [](LinkPageTexts& t) { t.WritePortSpeed = u"-9600"_qs; }, 2},
      {"write fraction", [](LinkPageTexts& t) { t.WritePortSpeed = u"9600.5"_qs; }, 2},
      {"write beyond 32 bits", [](LinkPageTexts& t) { t.WritePortSpeed = u"4294967296"_qs; }, 2},
      {"write beyond the range", [](LinkPageTexts& t) { t.WritePortSpeed = u"4000001"_qs; }, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TConfig config;
    config.LinkPortSpeed = 1200;
    config.ReadPortSpeed = 2400;
    config.WritePortSpeed = 4800;
    LinkPageTexts texts = good;
    c.Change(texts);

    const HardApplyResult result = ApplyLinkPage(config, texts);

    EXPECT_EQ(result.Ok(), c.StoredSpeeds == 3);
    EXPECT_EQ(result.Message, c.StoredSpeeds == 3 ? QString() : kBadSpeed);
    EXPECT_TRUE(result.WriteConfig);
    EXPECT_EQ(config.ServerLinkPort.Get(), u"COM4"_qs);
    EXPECT_EQ(config.HardWritePort.Get(), u"/dev/ttyUSB1"_qs);
    EXPECT_EQ(config.HardReadPort.Get(), u"any text"_qs);
    EXPECT_EQ(config.LinkPortSpeed, c.StoredSpeeds > 0 ? 9600 : 1200);
    EXPECT_EQ(config.ReadPortSpeed, c.StoredSpeeds > 1 ? 115200 : 2400);
    EXPECT_EQ(config.WritePortSpeed, c.StoredSpeeds > 2 ? 19200 : 4800);
  }
}

// Where the settings table has a range or a list of choices for a key, it
// decides; the output module has fewer channels than its choice list offers.
TEST(ApplyRanges, TheSettingsTableDecidesWhereItHasARange) {
  const struct {
    const char* Name;
    bool Output;
    const char16_t* Chanel;
    bool Accepted;
  } chanels[] = {{"input 7", false, u"7", true},
                 {"input 8", false, u"8", false},
                 {"output 4", true, u"4", true},
                 {"output 5", true, u"5", false}};
  for (const auto& c : chanels) {
    SCOPED_TRACE(c.Name);
    TConfig config;
    SignalPageTexts texts{0,
                          u"1"_qs,
                          c.Output ? u"OARS_1"_qs : u"PLF_1"_qs,
                          QString::fromUtf16(c.Chanel),
                          u"1"_qs,
                          {{u"0"_qs, u"0"_qs}}};
    const HardApplyResult result =
        c.Output ? ApplyOutputPage(config, texts, u'.') : ApplyInputPage(config, texts, u'.');
    EXPECT_EQ(result.Ok(), c.Accepted);
    EXPECT_EQ(result.Message, c.Accepted ? QString() : kBadChanel);
  }
  const struct {
    const char16_t* Speed;
    bool Accepted;
  } speeds[] = {{u"56000", true}, {u"256000", true}, {u"250000", false}, {u"110", true}, {u"100", false}};
  for (const auto& c : speeds) {
    SCOPED_TRACE(QString::fromUtf16(c.Speed).toStdString());
    TConfig config;
    const LinkPageTexts texts{u"COM1"_qs, QString::fromUtf16(c.Speed), u"COM3"_qs, u"9600"_qs, u"COM2"_qs,
                              u"9600"_qs};
    EXPECT_EQ(ApplyLinkPage(config, texts).Ok(), c.Accepted);
    EXPECT_EQ(config.LinkPortSpeed, c.Accepted ? QString::fromUtf16(c.Speed).toInt() : 38400);
  }
}

// How far an apply got: every step before the failing one has stored its value.
enum class Reached { Nothing, Address, Chanel, AverageSize, Table };

class SignalPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_config.I7017_2_addr = 2;
    m_config.I7024_2_addr = 4;
    for (TSignalSet* signal :
         {&Signal(m_config.InputSignals, u"PLF_2"_qs), &Signal(m_config.OutputSignals, u"OARP_2"_qs)}) {
      signal->Chanel = 1;
      signal->AverageSize = 1;
      signal->SetCalibration(m_previous);
    }
  }

  // Six points (i, 10 i), the slots beyond them zero.
  static CalibrationTable PreviousTable() {
    CalibrationTable table;
    table.Size = 6;
    for (int i = 0; i < 6; ++i) {
      table.AVal[static_cast<size_t>(i)] = i;
      table.FVal[static_cast<size_t>(i)] = 10 * i;
    }
    return table;
  }

  static SignalPageTexts Good(const QString& name) {
    SignalPageTexts texts;
    texts.Section = 1;
    texts.DeviceNumber = u"12"_qs;
    texts.SignalName = name;
    texts.Chanel = u"6"_qs;
    texts.AverageSize = u"30"_qs;
    texts.Rows = {
        {u"0"_qs, u"4"_qs}, {u"16383"_qs, u"12"_qs}, {u"32767"_qs, u"20"_qs}, {u"1.5E-7"_qs, u"-2.5"_qs}};
    return texts;
  }

  void ExpectPreviousTable(const TSignalSet& signal) {
    const CalibrationTable table = signal.Calibration();
    EXPECT_EQ(table.Size, m_previous.Size);
    EXPECT_EQ(table.AVal, m_previous.AVal);
    EXPECT_EQ(table.FVal, m_previous.FVal);
  }

  TConfig m_config;
  const CalibrationTable m_previous = PreviousTable();
};

struct PageCase {
  const char* Name;
  std::function<void(SignalPageTexts&)> Change;
  QString Message;
  Reached Stored;
  bool WriteConfig;
};

TEST_F(SignalPageTest, InputPageStepsStoreInOrderAndStopAtTheFirstError) {
  const QString badDevice = u"Номер устройства I-7017 указан неверно."_qs;
  const QString badName = u"Имя сигнала I-7017 указано неверно."_qs;
  const QString badAverage = u"Размер скользящего среднего указан неверно."_qs;
  const PageCase cases[] = {
      {"all good", [](SignalPageTexts&) {}, QString(), Reached::Table, true},
      {"device letters", [](SignalPageTexts& t) { t.DeviceNumber = u"abc"_qs; }, badDevice, Reached::Nothing,
       false},
      {"device empty", [](SignalPageTexts& t) { t.DeviceNumber = QString(); }, badDevice, Reached::Nothing,
       false},
      {"device negative", [](SignalPageTexts& t) { t.DeviceNumber = u"-1"_qs; }, badDevice, Reached::Nothing,
       false},
      {"device above 255", [](SignalPageTexts& t) { t.DeviceNumber = u"256"_qs; }, badDevice,
       Reached::Nothing, false},
      {"device hexadecimal", [](SignalPageTexts& t) { t.DeviceNumber = u"0x0C"_qs; }, badDevice,
       Reached::Nothing, false},
      {"no section", [](SignalPageTexts& t) { t.Section = 2; }, badDevice, Reached::Nothing, false},
      {"no signal", [](SignalPageTexts& t) { t.SignalName = QString(); }, badName, Reached::Address, false},
      {"signal of the other section", [](SignalPageTexts& t) { t.SignalName = u"PLF_1"_qs; }, badName,
       Reached::Address, false},
      {"an output signal", [](SignalPageTexts& t) { t.SignalName = u"OARP_2"_qs; }, badName, Reached::Address,
       false},
      {"channel 8", [](SignalPageTexts& t) { t.Chanel = u"8"_qs; }, kBadChanel, Reached::Address, false},
      {"channel -1", [](SignalPageTexts& t) { t.Chanel = u"-1"_qs; }, kBadChanel, Reached::Address, false},
      {"channel letters", [](SignalPageTexts& t) { t.Chanel = u"x"_qs; }, kBadChanel, Reached::Address,
       false},
      {"averaging 0", [](SignalPageTexts& t) { t.AverageSize = u"0"_qs; }, badAverage, Reached::Chanel,
       false},
      {"averaging too long", [](SignalPageTexts& t) { t.AverageSize = u"86401"_qs; }, badAverage,
       Reached::Chanel, false},
      {"averaging fraction", [](SignalPageTexts& t) { t.AverageSize = u"1,5"_qs; }, badAverage,
       Reached::Chanel, false},
      {"bad cell", [](SignalPageTexts& t) { t.Rows[2][1] = u"twenty"_qs; }, kBadTable, Reached::Table, true},
      {"511 rows", [](SignalPageTexts& t) { t.Rows = Rows(511); }, QString(), Reached::Table, true},
      {"512 rows", [](SignalPageTexts& t) { t.Rows = Rows(512); }, kTooLong, Reached::Nothing, false},
      {"600 rows", [](SignalPageTexts& t) { t.Rows = Rows(600); }, kTooLong, Reached::Nothing, false},
      {"600 rows and a bad device",
       [](SignalPageTexts& t) {
         t.Rows = Rows(600);
         t.DeviceNumber = u"x"_qs;
       },
       kTooLong, Reached::Nothing, false},
  };
  for (const PageCase& c : cases) {
    SCOPED_TRACE(c.Name);
    SetUp();
    SignalPageTexts texts = Good(u"PLF_2"_qs);
    c.Change(texts);
    const TSignalSet& signal = Signal(m_config.InputSignals, u"PLF_2"_qs);

    const HardApplyResult result = ApplyInputPage(m_config, texts, u'.');

    EXPECT_EQ(result.Ok(), c.Message.isEmpty());
    EXPECT_EQ(result.Message, c.Message);
    EXPECT_EQ(result.WriteConfig, c.WriteConfig);
    EXPECT_EQ(m_config.I7017_2_addr, c.Stored >= Reached::Address ? 12 : 2);
    EXPECT_EQ(m_config.I7017_1_addr, 1);
    EXPECT_EQ(signal.Chanel, c.Stored >= Reached::Chanel ? 6 : 1);
    EXPECT_EQ(signal.AverageSize, c.Stored >= Reached::AverageSize ? 30 : 1);
    if (c.Stored == Reached::Table) {
      EXPECT_EQ(signal.Calibration().Size, static_cast<int>(texts.Rows.size()));
    } else {
      ExpectPreviousTable(signal);
    }
    // The section's other signals and the other lists stay as they were.
    EXPECT_EQ(Signal(m_config.InputSignals, u"RVF_2"_qs).Calibration().Size, 2);
    EXPECT_EQ(Signal(m_config.OutputSignals, u"OARP_2"_qs).Chanel, 1);
  }
}

TEST_F(SignalPageTest, OutputPageHasItsOwnMessagesAndNoAveraging) {
  const QString badDevice = u"Номер устройства I-7024 указан неверно."_qs;
  const QString badName = u"Имя сигнала I-7024 указано неверно."_qs;
  const PageCase cases[] = {
      {"all good", [](SignalPageTexts&) {}, QString(), Reached::Table, true},
      {"averaging is not read", [](SignalPageTexts& t) { t.AverageSize = u"abc"_qs; }, QString(),
       Reached::Table, true},
      {"device above 255", [](SignalPageTexts& t) { t.DeviceNumber = u"300"_qs; }, badDevice,
       Reached::Nothing, false},
      {"signal of the other section", [](SignalPageTexts& t) { t.SignalName = u"OARP_1"_qs; }, badName,
       Reached::Address, false},
      {"an input signal", [](SignalPageTexts& t) { t.SignalName = u"PLF_2"_qs; }, badName, Reached::Address,
       false},
      {"channel 9", [](SignalPageTexts& t) { t.Chanel = u"9"_qs; }, kBadChanel, Reached::Address, false},
      {"row missing a cell", [](SignalPageTexts& t) { t.Rows[1] = {u"5"_qs}; }, kBadTable, Reached::Table,
       true},
      {"600 rows", [](SignalPageTexts& t) { t.Rows = Rows(600); }, kTooLong, Reached::Nothing, false},
  };
  for (const PageCase& c : cases) {
    SCOPED_TRACE(c.Name);
    SetUp();
    SignalPageTexts texts = Good(u"OARP_2"_qs);
    texts.Chanel = u"3"_qs;  // an output module has fewer channels
    c.Change(texts);
    const TSignalSet& signal = Signal(m_config.OutputSignals, u"OARP_2"_qs);

    const HardApplyResult result = ApplyOutputPage(m_config, texts, u'.');

    EXPECT_EQ(result.Message, c.Message);
    EXPECT_EQ(result.WriteConfig, c.WriteConfig);
    EXPECT_EQ(m_config.I7024_2_addr, c.Stored >= Reached::Address ? 12 : 4);
    EXPECT_EQ(m_config.I7017_2_addr, 2);
    EXPECT_EQ(signal.Chanel, c.Stored >= Reached::Chanel ? 3 : 1);
    EXPECT_EQ(signal.AverageSize, 1);
    if (c.Stored == Reached::Table) {
      EXPECT_EQ(signal.Calibration().Size, static_cast<int>(texts.Rows.size()));
    } else {
      ExpectPreviousTable(signal);
    }
    EXPECT_EQ(Signal(m_config.InputSignals, u"PLF_2"_qs).Chanel, 1);
  }
}

// Eight rows (100 + i, 200 + i), the last with a bad first cell.
CalibrationRows GrownRows() {
  CalibrationRows rows;
  for (int i = 0; i < 8; ++i) rows.push_back({QString::number(100 + i), QString::number(200 + i)});
  rows.back()[0] = u"?"_qs;
  return rows;
}

// A bad cell: the table has the grid's size already; the cells before the bad
// one are new, the bad one and everything after it keep what the slots held.
TEST_F(SignalPageTest, BadCellKeepsTheNewSizeAndThePreviousPointsFromItOn) {
  const struct {
    const char* Name;
    CalibrationRows Rows;
    QChar Separator;
    int NewCells;  // cells read before the first bad one, row by row
  } cases[] = {
      {"letters in the third row",
       {{u"7"_qs, u"70"_qs}, {u"8"_qs, u"80"_qs}, {u"x"_qs, u"90"_qs}, {u"9"_qs, u"99"_qs}},
       u'.',
       4},
      {"empty second cell", {{u"7"_qs, u"70"_qs}, {u"8"_qs, u""_qs}, {u"9"_qs, u"90"_qs}}, u'.', 3},
      {"first row missing a cell", {{u"7"_qs}, {u"8"_qs, u"80"_qs}}, u'.', 1},
      {"empty row", {{}, {u"8"_qs, u"80"_qs}}, u'.', 0},
      {"NaN", {{u"7"_qs, u"NaN"_qs}}, u'.', 1},
      {"infinity", {{u"7"_qs, u"70"_qs}, {u"INF"_qs, u"80"_qs}}, u'.', 2},
      {"beyond single precision", {{u"7"_qs, u"1E39"_qs}}, u'.', 1},
      {"hexadecimal", {{u"0x10"_qs, u"70"_qs}}, u'.', 0},
      {"the other separator", {{u"7,5"_qs, u"70"_qs}}, u'.', 0},
      {"comma system", {{u"7,5"_qs, u"70"_qs}, {u"8.5"_qs, u"80"_qs}}, u',', 2},
      {"grown past the old size", GrownRows(), u'.', 14},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    SetUp();
    SignalPageTexts texts = Good(u"PLF_2"_qs);
    texts.Rows = c.Rows;
    const TSignalSet& signal = Signal(m_config.InputSignals, u"PLF_2"_qs);

    const HardApplyResult result = ApplyInputPage(m_config, texts, c.Separator);

    EXPECT_EQ(result.Error, HardApplyError::Calibration);
    EXPECT_EQ(result.Message, kBadTable);
    EXPECT_TRUE(result.WriteConfig);
    const CalibrationTable table = signal.Calibration();
    ASSERT_EQ(table.Size, static_cast<int>(c.Rows.size()));
    for (size_t row = 0; row < c.Rows.size(); ++row) {
      for (int cell = 0; cell < 2; ++cell) {
        SCOPED_TRACE(testing::Message() << "row " << row << " cell " << cell);
        const double stored = (cell == 0 ? table.AVal : table.FVal)[row];
        const double previous = (cell == 0 ? m_previous.AVal : m_previous.FVal)[row];
        if (static_cast<int>(row) * 2 + cell < c.NewCells) {
          EXPECT_EQ(stored, *ParseOperatorDecimal(c.Rows[row][cell], c.Separator));
          EXPECT_NE(stored, previous);
        } else {
          EXPECT_EQ(stored, previous);
        }
      }
    }
  }
}

TEST_F(SignalPageTest, ShorterGridShrinksTheTableAndAnEmptyGridEmptiesIt) {
  SignalPageTexts texts = Good(u"PLF_2"_qs);
  texts.Rows = {{u"1"_qs, u"2"_qs}, {u"3"_qs, u"4"_qs}};
  ASSERT_TRUE(ApplyInputPage(m_config, texts, u'.').Ok());
  const TSignalSet& signal = Signal(m_config.InputSignals, u"PLF_2"_qs);
  EXPECT_EQ(signal.Calibration().Size, 2);
  EXPECT_DOUBLE_EQ(signal.CalibrateValue(2, false), 3);

  texts.Rows.clear();
  ASSERT_TRUE(ApplyInputPage(m_config, texts, u'.').Ok());
  EXPECT_EQ(signal.Calibration().Size, 0);
  EXPECT_EQ(signal.CalibrateValue(2, false), 0);
}

// What the grid shows reads back as the same table, through the file too.
TEST(CalibrationRows, TableRoundTripsThroughTheGridTextsAndTheFile) {
  CalibrationTable table;
  table.Size = 10;
  const double values[] = {0, -2.5, 1.0 / 3, 1.5e-7, 16383, 32767, 1e14, -0.0001, 12.125, 99.999};
  for (int i = 0; i < 10; ++i) {
    table.AVal[static_cast<size_t>(i)] = values[i];
    table.FVal[static_cast<size_t>(i)] = values[9 - i] * 2;
  }
  for (const QChar separator : {QChar(u'.'), QChar(u',')}) {
    SCOPED_TRACE(separator.toLatin1());
    const CalibrationRows rows = CalibrationToRows(table, separator);
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_EQ(rows[1], (QStringList{u"-2"_qs + separator + u"5"_qs, u"24"_qs + separator + u"25"_qs}));
    EXPECT_EQ(rows[3][0], u"1"_qs + separator + u"5E-7"_qs);

    QTemporaryDir home;
    TConfig config;
    Signal(config.OutputSignals, u"OAFL_1"_qs).SetCalibration(table);
    SignalPageTexts texts{0, u"3"_qs, u"OAFL_1"_qs, u"2"_qs, QString(), rows};
    ASSERT_TRUE(ApplyOutputPage(config, texts, separator).Ok());

    IniFile ini(home.filePath(u"settings.INI"_qs));
    ini.SetDecimalSeparator(separator);
    Tmcrypt crypt;
    ASSERT_TRUE(config.SaveConfig(ini, crypt));
    TConfig reloaded;
    ASSERT_TRUE(reloaded.LoadConfig(ini, crypt));
    // The texts carry 15 digits: what was applied from them comes back exactly,
    // and shows as the same texts again.
    const CalibrationTable applied = Signal(config.OutputSignals, u"OAFL_1"_qs).Calibration();
    const CalibrationTable back = Signal(reloaded.OutputSignals, u"OAFL_1"_qs).Calibration();
    ASSERT_EQ(back.Size, 10);
    for (size_t i = 0; i < 10; ++i) {
      EXPECT_EQ(back.AVal[i], applied.AVal[i]) << i;
      EXPECT_EQ(back.FVal[i], applied.FVal[i]) << i;
      EXPECT_NEAR(back.AVal[i], table.AVal[i], 1e-9) << i;
    }
    EXPECT_EQ(CalibrationToRows(back, separator), rows);
  }
  DrainEventLog();
}

// Waits for a condition, polling; false when the deadline passed first.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds deadline = 10000ms) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

// The settings pages change channels and tables while the read and write
// threads cycle: each cycle converts with a whole table, the old one or the
// new one, and the first cycle that starts after an apply uses what it stored.
class SettingsWhileRunningTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DrainEventLog();
    ASSERT_TRUE(m_inputs.IsOpen());
    m_core.Open();
    m_core.Config().HardReadPort = m_inputs.Path();
    m_core.Config().HardWritePort = m_home.filePath(u"no-port-out"_qs);
    m_core.EmulationOn = true;
  }
  void TearDown() override {
    m_core.StopReadThread();
    m_core.StopWriteThread();
    DrainEventLog();
  }

  static SignalPageTexts InputTexts(const QString& chanel, CalibrationRows rows) {
    return {0, u"1"_qs, u"PLF_1"_qs, chanel, u"5"_qs, std::move(rows)};
  }

  // The conversion of slot 0 once the first cycle started after now has ended.
  float ValueAfterNextWholeCycle() {
    const int started = m_core.ReadControl().CycleCount;
    EXPECT_TRUE(WaitFor([&] { return m_core.ReadControl().CycleCount >= started + 2; }));
    return m_core.State().InstantValues.Get(0);
  }

  QTemporaryDir m_home;
  TConsoleCore m_core{m_home.path()};
  // Module 1 reads 1 ... 8 on its channels 0 ... 7.
  PtyBus m_inputs{[](const std::string& command) -> std::optional<std::string> {
    if (command == "$01A") return std::string(">00010002000300040005000600070008\r");
    if (command == "$02A") return std::string(">01010102010301040105010601070108\r");
    return std::nullopt;
  }};
};

TEST_F(SettingsWhileRunningTest, AppliesDuringCyclesReachTheNextCycleWhole) {
  ASSERT_TRUE(m_core.StartReadThread());
  ASSERT_TRUE(m_core.StartWriteThread());
  EXPECT_EQ(ValueAfterNextWholeCycle(), 1.0f);  // channel 0, the identity table

  // A: channel 5 (reads 6), (0, 0)-(10, 100). B: channel 2 (reads 3), three
  // points on the line 1000 x. Any mix of channel and table still gives one
  // of these; a table half replaced would give something else.
  const SignalPageTexts a = InputTexts(u"5"_qs, {{u"0"_qs, u"0"_qs}, {u"10"_qs, u"100"_qs}});
  const SignalPageTexts b =
      InputTexts(u"2"_qs, {{u"0"_qs, u"0"_qs}, {u"1"_qs, u"1000"_qs}, {u"2"_qs, u"2000"_qs}});
  const std::set<float> possible = {1.0f, 10.0f, 1000.0f, 60.0f, 30.0f, 6000.0f, 3000.0f};
  SignalPageTexts output{0,       u"3"_qs,   u"OARS_1"_qs,
                         u"1"_qs, QString(), {{u"0"_qs, u"0"_qs}, {u"300"_qs, u"10"_qs}}};

  const int started = m_core.ReadControl().CycleCount;
  int applies = 0;
  while (m_core.ReadControl().CycleCount < started + 3) {
    ASSERT_TRUE(ApplyInputPage(m_core.Config(), applies % 2 == 0 ? a : b, u'.').Ok());
    output.Chanel = QString::number(applies % 4);
    ASSERT_TRUE(ApplyOutputPage(m_core.Config(), output, u'.').Ok());
    const float seen = m_core.State().InstantValues.Get(0);
    ASSERT_TRUE(possible.count(seen) == 1) << seen;
    if (++applies % 64 == 0) {
      ASSERT_TRUE(m_core.SaveConfig());
    }
  }

  ASSERT_TRUE(ApplyInputPage(m_core.Config(), a, u'.').Ok());
  EXPECT_EQ(ValueAfterNextWholeCycle(), 60.0f);
  EXPECT_EQ(m_core.State().RawValues.Get(0), 6.0f);

  const SignalPageTexts c = InputTexts(u"7"_qs, {{u"0"_qs, u"0.5"_qs}, {u"8"_qs, u"4.5"_qs}});
  ASSERT_TRUE(ApplyInputPage(m_core.Config(), c, u'.').Ok());
  EXPECT_EQ(ValueAfterNextWholeCycle(), 4.5f);  // channel 7 reads 8
  EXPECT_EQ(m_core.ReadControl().ErrorCount, 0);

  // The file written while the threads ran holds the last apply whole.
  ASSERT_TRUE(m_core.SaveConfig());
  IniFile ini(m_core.IniPath());
  EXPECT_EQ(ini.ReadInteger(u"PLF_1"_qs, u"Chanel"_qs, -1), 7);
  EXPECT_EQ(ini.ReadInteger(u"PLF_1"_qs, u"AverageSize"_qs, -1), 5);
  EXPECT_EQ(ini.ReadInteger(u"PLF_1_CALIBR"_qs, u"Size"_qs, -1), 2);
  EXPECT_EQ(ini.ReadFloat(u"PLF_1_CALIBR"_qs, u"FVal0"_qs, -1), 0.5);
  EXPECT_EQ(ini.ReadFloat(u"PLF_1_CALIBR"_qs, u"FVal1"_qs, -1), 4.5);
  EXPECT_EQ(ini.ReadInteger(u"OARS_1_CALIBR"_qs, u"Size"_qs, -1), 2);
}

}  // namespace
