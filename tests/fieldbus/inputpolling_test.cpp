#include "fieldbus/inputpolling.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>

#include "configuration/config.h"
#include "fieldbus/icplink.h"
#include "process/processstate.h"
#include "support/ptybus.h"
#include "support/qtapplication.h"

namespace {

TEST(ParseHexWord, ReadsHexadecimalAndClampsNegativeReadings) {
  struct Case {
    const char16_t* text;
    bool clamp;
    uint16_t expected;
  };
  const Case cases[] = {
      {u"", true, 0},          {u"0247", true, 583},         {u"7FFF", true, 32767},
      {u"7fff", true, 32767},  {u"8000", true, 0},           {u"FFFF", true, 0},
      {u"8000", false, 32768}, {u"FFFF", false, 65535},      {u"12345", false, 0x2345},
      {u"0000000A", true, 10}, {u"FFFFFFFF", false, 0xFFFF},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseHexWord(QStringView(c.text), c.clamp), c.expected)
        << QString::fromUtf16(c.text).toStdString();
  }
}

TEST(ParseHexWord, RejectsWhatIsNotHexadecimal) {
  for (const char16_t* text :
       {u"G1", u" 1", u"+1", u"-1", u"1.5", u"12 ", u"0x12", u"123456789", u"\u0661"}) {
    EXPECT_THROW(ParseHexWord(QStringView(text), true), HexFormatError)
        << QString::fromUtf16(text).toStdString();
  }
}

TEST(DecodeModuleAnswer, SkipsTheFirstCharacterAndReadsFourDigitsAChannel) {
  const auto full = DecodeModuleAnswer(u"!02471111222233334444555566667777");
  ASSERT_TRUE(full);
  EXPECT_EQ(*full, (std::array<uint16_t, 8>{583, 0x1111, 0x2222, 0x3333, 0x4444, 0x5555, 0x6666, 0x7777}));

  // A module's rejection "?01" reads as channel 0 = 1; missing groups are 0.
  EXPECT_EQ(*DecodeModuleAnswer(u"?01"), (std::array<uint16_t, 8>{1, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(*DecodeModuleAnswer(u">00010002000"), (std::array<uint16_t, 8>{1, 2, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(*DecodeModuleAnswer(u""), (std::array<uint16_t, 8>{}));
  EXPECT_EQ(*DecodeModuleAnswer(u">8000FFFF7FFF"), (std::array<uint16_t, 8>{0, 0, 32767, 0, 0, 0, 0, 0}));
  // Characters after the eighth group are not looked at.
  EXPECT_TRUE(DecodeModuleAnswer(u">00000000000000000000000000000000garbage"));

  EXPECT_FALSE(DecodeModuleAnswer(u">+05.123+04.000"));
  EXPECT_FALSE(DecodeModuleAnswer(u">0000000000000000000000000000000X"));
}

TEST(ReadCommand, AddressAsAtLeastTwoUpperCaseHexDigits) {
  EXPECT_EQ(ReadCommand(1), "$01A");
  EXPECT_EQ(ReadCommand(10), "$0AA");
  EXPECT_EQ(ReadCommand(255), "$FFA");
}

class InputPollingTest : public ::testing::Test {
 protected:
  void SetUp() override { m_state.CreateAverages(m_config); }

  std::array<float, 8> RawInputs() const {
    std::array<float, 8> values{};
    for (int slot = 0; slot < 8; ++slot) values[slot] = m_state.RawValues.Get(slot);
    return values;
  }
  void SetRawInputs(float value) {
    for (int slot = 0; slot < 8; ++slot) m_state.RawValues.Set(slot, value);
  }

  TConfig m_config;
  ProcessState m_state;
  TICPLink m_link;
  ModuleAnswers m_answers;
  std::atomic<bool> m_emulationOn{false};
  TInputPolling m_polling{m_config, m_state, m_link, m_answers, m_emulationOn, [] { return 46000.5; }};
};

TEST_F(InputPollingTest, EmulatedModulesFillTheirOwnSlotsWithoutAPort) {
  m_config.EmulI7017Flag[0] = true;
  m_config.EmulI7017Flag[1] = true;

  EXPECT_TRUE(m_polling.ReadModules());

  EXPECT_EQ(RawInputs(), (std::array<float, 8>{583, 0x1111, 0x2222, 0x3333, 583, 0x7777, 0x6666, 0x5555}));
  EXPECT_EQ(m_answers.Time[0].load(), 46000.5);
  EXPECT_EQ(m_answers.Text[1].Get(), "!02477777666655554444333322221111");
  EXPECT_EQ(m_link.GetCmdString(), "$02A");
}

TEST_F(InputPollingTest, WithoutPortOrEmulationNothingChanges) {
  SetRawInputs(7);
  EXPECT_FALSE(m_polling.ReadModules());
  EXPECT_FALSE(m_polling.ReadModule(2));
  EXPECT_FALSE(m_polling.ReadModule(-1));
  EXPECT_EQ(RawInputs(), (std::array<float, 8>{7, 7, 7, 7, 7, 7, 7, 7}));
  EXPECT_EQ(m_answers.Time[0].load(), 0);
}

TEST_F(InputPollingTest, AnswerWithANonHexGroupKeepsTheValuesButIsRecorded) {
  SetRawInputs(7);
  m_config.EmulI7017Flag[0] = true;
  m_config.EmulI7017Answer[0] = QStringLiteral(">0001000200030004Z");  // channel 4 is not hexadecimal

  EXPECT_FALSE(m_polling.ReadModule(0));
  EXPECT_EQ(RawInputs()[0], 7);
  EXPECT_EQ(m_answers.Text[0].Get(), ">0001000200030004Z");
  EXPECT_EQ(m_answers.Time[0].load(), 46000.5);
}

TEST_F(InputPollingTest, EachModuleFillsOnlyItsSlotsFromItsOwnChannels) {
  m_config.EmulI7017Flag[0] = true;
  m_config.EmulI7017Flag[1] = true;
  m_config.EmulI7017Answer[0] = QStringLiteral(">00010002000300040005000600070008");
  m_config.EmulI7017Answer[1] = QStringLiteral(">01010102010301040105010601070108");
  m_config.InputSignals[0]->Chanel = 0;  // module 1, slot 0
  m_config.InputSignals[4]->Chanel = 3;  // module 2, slot 4
  m_config.InputSignals[1]->Chanel = 7;

  ASSERT_TRUE(m_polling.ReadModules());
  EXPECT_EQ(RawInputs(), (std::array<float, 8>{1, 8, 3, 4, 0x104, 0x102, 0x103, 0x104}));
}

TEST_F(InputPollingTest, SignalsBeyondTheModuleLimitsAreSkipped) {
  SetRawInputs(7);
  m_config.EmulI7017Flag[0] = true;
  m_config.InputSignals[0]->Chanel = 8;
  m_config.InputSignals[1]->Chanel = -1;
  m_config.InputSignals[2]->RecIndex = 4;  // would be module 2's first slot
  m_config.InputSignals[3]->RecIndex = -1;

  ASSERT_TRUE(m_polling.ReadModule(0));
  EXPECT_EQ(RawInputs(), (std::array<float, 8>{7, 7, 7, 7, 7, 7, 7, 7}));
}

// Real exchanges over a pseudo-terminal: module 1 at address 1 answers as the
// test says, module 2 at address 2 answers a fixed reading.
class InputPollingOnALineTest : public InputPollingTest {
 protected:
  void SetUp() override {
    InputPollingTest::SetUp();
    EnsureQtApplication();
    ASSERT_TRUE(m_bus.IsOpen());
    m_link.SetPortName(m_bus.Path());
    m_link.SetSpeed(38400);
    m_link.SetActive(true);
    ASSERT_TRUE(m_link.GetActive()) << m_link.GetStatus().toStdString();
  }
  void TearDown() override { m_link.SetActive(false); }

  std::mutex m_mutex;
  std::optional<std::string> m_firstAnswer;  // guarded by m_mutex
  PtyBus m_bus{[this](const std::string& command) -> std::optional<std::string> {
    if (command == "$01A") {
      std::lock_guard lock(m_mutex);
      return m_firstAnswer;
    }
    if (command == "$02A") return std::string(">0010002000300040005000600070008\r");
    return std::nullopt;
  }};

  void FirstModuleAnswers(std::optional<std::string> answer) {
    std::lock_guard lock(m_mutex);
    m_firstAnswer = std::move(answer);
  }
};

TEST_F(InputPollingOnALineTest, BothModulesAnswer) {
  FirstModuleAnswers(">7FFF8000000100020003000400050006\r");
  ASSERT_TRUE(m_polling.ReadModules());
  EXPECT_EQ(RawInputs(), (std::array<float, 8>{32767, 0, 1, 2, 0x10, 0x20, 0x30, 0x40}));
  EXPECT_EQ(m_answers.Text[0].Get(), ">7FFF8000000100020003000400050006");
}

// Whatever module 1 sends that is not a reading, module 2's values arrive,
// module 1's slots keep their last values and nothing hangs beyond the line limit.
TEST_F(InputPollingOnALineTest, BadAnswersOfOneModuleLeaveItsValuesAndTheOtherModule) {
  const std::optional<std::string> badAnswers[] = {
      std::nullopt,                    // silence
      std::string(">GARBAGE!\r"),      // not hexadecimal
      std::string(20000, '1') + "\r",  // far too long
      std::string(">00010002"),        // no carriage return
  };
  for (const auto& bad : badAnswers) {
    SetRawInputs(7);
    FirstModuleAnswers(bad);
    const int errorsBefore = m_link.GetErrorCounter();
    EXPECT_TRUE(m_polling.ReadModules());
    EXPECT_EQ(RawInputs(), (std::array<float, 8>{7, 7, 7, 7, 0x10, 0x20, 0x30, 0x40}));
    EXPECT_EQ(m_link.GetErrorCounter(), errorsBefore + (bad && bad->starts_with(">G") ? 0 : 1));
  }
  EXPECT_EQ(m_bus.Commands().size(), 8u);
}

}  // namespace
