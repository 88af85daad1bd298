#include "fieldbus/outputdriving.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <atomic>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "configuration/config.h"
#include "fieldbus/icplink.h"
#include "process/processstate.h"
#include "support/ptybus.h"
#include "support/qtapplication.h"

namespace {

TEST(OutputValueText, SignTwoDigitsPointThreeDecimalsAlwaysSevenCharacters) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  constexpr double kInf = std::numeric_limits<double>::infinity();
  struct Case {
    double value;
    const char* expected;
  };
  const Case cases[] = {
      {12.5, "+12.500"},   {2.4, "+02.400"},    {0, "+00.000"},       {0.0005, "+00.001"},
      {9.9996, "+10.000"}, {99.999, "+99.999"}, {99.9996, "+99.999"}, {100, "+99.999"},
      {1e12, "+99.999"},   {kInf, "+99.999"},   {-2.4, "-02.400"},    {-0.0001, "+00.000"},
      {-150, "-99.999"},   {-kInf, "-99.999"},  {kNaN, "+00.000"},    {-0.0, "+00.000"},
  };
  for (const Case& c : cases) {
    const QString text = OutputValueText(c.value);
    EXPECT_EQ(text, c.expected) << c.value;
    EXPECT_EQ(text.size(), 7) << c.value;
  }
}

TEST(OutputValueText, PointEvenWhenTheSystemWritesCommas) {
  const QLocale before;
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  const QString text = OutputValueText(12.5);
  QLocale::setDefault(before);
  EXPECT_EQ(text, "+12.500");
}

TEST(OutputCommand, HashAddressChannelValue) {
  EXPECT_EQ(OutputCommand(3, 0, 12.5), "#030+12.500");
  EXPECT_EQ(OutputCommand(4, 2, 2.4), "#042+02.400");
  EXPECT_EQ(OutputCommand(255, 4, 0), "#FF4+00.000");
}

class OutputDrivingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApplication();
    ASSERT_TRUE(m_bus.IsOpen());

    // Flows in force: section 1 collector, frother, flocculant, then section 2.
    const float flows[2][3] = {{2.4f, 12.5f, 0.5f}, {30, 70, 10}};
    for (int j = 0; j < 2; ++j) {
      m_state.AveragedValues.Set(Slot::TRRS[j], flows[j][0]);
      m_state.AveragedValues.Set(Slot::TRRP[j], flows[j][1]);
      m_state.AveragedValues.Set(Slot::TRFL[j], flows[j][2]);
    }
  }
  void TearDown() override { m_link.SetActive(false); }

  void Activate() {
    m_link.SetPortName(m_bus.Path());
    m_link.SetSpeed(38400);
    m_link.SetActive(true);
    ASSERT_TRUE(m_link.GetActive()) << m_link.GetStatus().toStdString();
  }

  TConfig m_config;
  ProcessState m_state;
  TICPLink m_link;
  std::atomic<bool> m_emulationOn{false};
  std::atomic<bool> m_silentChannel1{false};
  TOutputDriving m_driving{m_config, m_state, m_link, m_emulationOn};
  PtyBus m_bus{[this](const std::string& command) -> std::optional<std::string> {
    if (m_silentChannel1 && command.starts_with("#031")) return std::nullopt;
    return std::string(">\r");
  }};
};

TEST_F(OutputDrivingTest, SixCommandsCarryTheFlowsInForce) {
  Activate();
  ASSERT_TRUE(m_driving.PrepareOutputs());
  EXPECT_TRUE(m_driving.WriteOutputs());

  EXPECT_EQ(m_bus.Commands(), (std::vector<std::string>{"#030+02.400", "#031+12.500", "#032+00.500",
                                                        "#040+30.000", "#041+70.000", "#042+10.000"}));
  EXPECT_FLOAT_EQ(m_state.InstantValues.Get(Slot::OARS[0]), 2.4f);
  EXPECT_FLOAT_EQ(m_state.RawValues.Get(Slot::OAFL[1]), 10.f);
}

TEST_F(OutputDrivingTest, CalibrationConvertsTheFlowIntoTheModuleValue) {
  // Collector of section 1: 0..300 l/h drive 4..20 mA.
  CalibrationTable table;
  table.Size = 2;
  table.AVal[1] = 300;
  table.FVal[0] = 4;
  table.FVal[1] = 20;
  m_config.OutputSignals[0]->SetCalibration(table);
  Activate();
  m_state.AveragedValues.Set(Slot::TRRS[0], 150);
  ASSERT_TRUE(m_driving.PrepareOutputs());
  EXPECT_FLOAT_EQ(m_state.InstantValues.Get(Slot::OARS[0]), 150);
  EXPECT_FLOAT_EQ(m_state.RawValues.Get(Slot::OARS[0]), 12);
  EXPECT_TRUE(m_driving.WriteOutputs());
  EXPECT_EQ(m_bus.Commands().front(), "#030+12.000");
}

TEST_F(OutputDrivingTest, SuppressedModuleSendsNothingButIsStillConverted) {
  m_config.DisableDacWrite[0] = true;
  Activate();
  ASSERT_TRUE(m_driving.PrepareOutputs());
  EXPECT_TRUE(m_driving.WriteOutputs());

  EXPECT_EQ(m_bus.Commands(), (std::vector<std::string>{"#040+30.000", "#041+70.000", "#042+10.000"}));
  EXPECT_FLOAT_EQ(m_state.RawValues.Get(Slot::OARP[0]), 12.5f);
}

TEST_F(OutputDrivingTest, AnUnansweredCommandFailsTheCallButNotTheOthers) {
  m_silentChannel1 = true;
  Activate();
  ASSERT_TRUE(m_driving.PrepareOutputs());
  EXPECT_FALSE(m_driving.WriteOutputs());
  EXPECT_EQ(m_bus.Commands().size(), 6u);
}

TEST_F(OutputDrivingTest, ChannelAndIndexOutsideTheModuleAreLimited) {
  m_config.OutputSignals[0]->Chanel = 7;
  m_config.OutputSignals[1]->RecIndex = 5;  // no slot: uses the module's first
  m_config.OutputSignals[4]->RecIndex = 3;  // one past module 2's slots
  m_config.OutputSignals[5]->Chanel = -3;
  Activate();
  ASSERT_TRUE(m_driving.PrepareOutputs());
  // The conversion wrote nothing beyond the output slots.
  EXPECT_EQ(m_state.RawValues.Get(14), 0);
  EXPECT_TRUE(m_driving.WriteOutputs());
  EXPECT_EQ(m_bus.Commands(), (std::vector<std::string>{"#034+02.400", "#031+02.400", "#032+00.500",
                                                        "#040+30.000", "#041+30.000", "#040+10.000"}));
}

TEST_F(OutputDrivingTest, WithoutAPortEveryDueCommandFails) {
  ASSERT_TRUE(m_driving.PrepareOutputs());
  EXPECT_FALSE(m_driving.WriteOutputs());
  m_config.DisableDacWrite[0] = true;
  m_config.DisableDacWrite[1] = true;
  EXPECT_TRUE(m_driving.WriteOutputs());
  EXPECT_TRUE(m_bus.Commands().empty());
}

TEST_F(OutputDrivingTest, AStopRequestEndsTheSequence) {
  Activate();
  std::atomic<bool> stop{true};
  EXPECT_TRUE(m_driving.WriteOutputs(&stop));
  EXPECT_TRUE(m_bus.Commands().empty());
}

}  // namespace
