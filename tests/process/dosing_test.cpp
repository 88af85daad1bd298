#include "process/dosing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "configuration/config.h"
#include "process/acquisition.h"
#include "process/processstate.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(LimitToRange, ClampsAndTurnsNaNIntoTheLowBound) {
  struct Case {
    double value, expected;
  };
  const Case cases[] = {{5, 5}, {0, 0}, {10, 10}, {-0.5, 0}, {10.5, 10}, {kNaN, 0}, {-kInf, 0}, {kInf, 10}};
  for (const Case& c : cases) EXPECT_EQ(LimitToRange(c.value, 0, 10), c.expected) << c.value;
}

// Each case runs for section 1 and section 2, so that a mixed-up slot, flag
// or setpoint of the other section shows.
class DosingTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override { m_state.CreateAverages(m_config); }

  int Section() const { return GetParam(); }
  int J() const { return GetParam() - 1; }
  int Other() const { return 3 - GetParam(); }

  void SetInputs(int section, float density, float pulpFlow) {
    m_state.InstantValues.Set(Slot::PLF[section - 1], density);
    m_state.InstantValues.Set(Slot::RVF[section - 1], pulpFlow);
  }
  void SetSetpoint(SetpointIndex firstOfPair, float value) {
    m_state.Setpoints.Set(SetpointOf(firstOfPair, Section()), value);
  }
  void SetMode(ReagentGroup group, ReagentMode mode) {
    m_state.AveragedValues.SetGroupMode(group, Section(), mode);
  }
  float Averaged(const int (&pairSlots)[2]) const { return m_state.AveragedValues.Get(pairSlots[J()]); }
  float OtherAveraged(const int (&pairSlots)[2]) const {
    return m_state.AveragedValues.Get(pairSlots[Other() - 1]);
  }
  void Cycle(int times = 1) {
    for (int i = 0; i < times; ++i) ASSERT_TRUE(CalcWorks(m_state, m_config));
  }

  TConfig m_config;
  ProcessState m_state;
};

TEST_P(DosingTest, Automatic_LoadTimesSpecificConsumptionInForce) {
  SetInputs(Section(), 300, 200);
  SetMode(kGroupR, kModeAutomatic);
  SetMode(kGroupFL, kModeAutomatic);

  Cycle();  // nothing in force yet
  EXPECT_FLOAT_EQ(Averaged(Slot::RGF), 60);
  EXPECT_EQ(Averaged(Slot::TRRS), 0);
  EXPECT_EQ(Averaged(Slot::TRRP), 0);
  EXPECT_EQ(Averaged(Slot::TRFL), 0);
  EXPECT_EQ(Averaged(Slot::ZRRS), 40);
  EXPECT_EQ(Averaged(Slot::ZRRP), 90);
  EXPECT_EQ(Averaged(Slot::ZRFL), 10);

  Cycle();
  EXPECT_FLOAT_EQ(Averaged(Slot::TRRS), 2.4f);
  EXPECT_FLOAT_EQ(Averaged(Slot::TRRP), 5.4f);
  EXPECT_FLOAT_EQ(Averaged(Slot::TRFL), 0.6f);

  for (const int* pairSlots : {Slot::RGF, Slot::TRRS, Slot::TRRP, Slot::TRFL}) {
    EXPECT_EQ(m_state.AveragedValues.Get(pairSlots[Other() - 1]), 0) << "slot " << pairSlots[Other() - 1];
  }
}

TEST_P(DosingTest, Automatic_NewSpecificConsumptionReachesTheFlowOneCycleLater) {
  SetInputs(Section(), 300, 200);
  SetMode(kGroupR, kModeAutomatic);
  Cycle(2);
  SetSetpoint(kZRRS1, 50);
  Cycle();
  EXPECT_FLOAT_EQ(Averaged(Slot::TRRS), 2.4f);
  EXPECT_EQ(Averaged(Slot::ZRRS), 50);
  Cycle();
  EXPECT_FLOAT_EQ(Averaged(Slot::TRRS), 3.0f);
}

TEST_P(DosingTest, BothFlagsSet_Automatic) {
  SetInputs(Section(), 300, 200);
  SetSetpoint(kTRRS1, 100);
  m_state.AveragedValues.SetMode(AutomaticFlag(kGroupR, Section()), 1);
  m_state.AveragedValues.SetMode(ManualFlag(kGroupR, Section()), 1);
  Cycle(2);
  EXPECT_FLOAT_EQ(Averaged(Slot::TRRS), 2.4f);
}

TEST_P(DosingTest, Off_FlowsZeroAndSpecificConsumptionsFollowClampedSetpoints) {
  SetInputs(Section(), 300, 200);
  SetSetpoint(kZRRS1, 2000);
  SetSetpoint(kZRRP1, 60);
  SetSetpoint(kZRFL1, 500);
  Cycle(2);
  EXPECT_EQ(Averaged(Slot::TRRS), 0);
  EXPECT_EQ(Averaged(Slot::TRRP), 0);
  EXPECT_EQ(Averaged(Slot::TRFL), 0);
  EXPECT_EQ(Averaged(Slot::ZRRS), 1500);
  EXPECT_EQ(Averaged(Slot::ZRRP), 60);
  EXPECT_EQ(Averaged(Slot::ZRFL), 150);
}

TEST_P(DosingTest, Manual_FlowsAreClampedSetpoints) {
  SetInputs(Section(), 300, 200);
  SetMode(kGroupR, kModeManual);
  SetMode(kGroupFL, kModeManual);
  SetSetpoint(kTRRS1, 500);
  SetSetpoint(kTRRP1, 200);
  SetSetpoint(kTRFL1, -5);
  Cycle();
  EXPECT_EQ(Averaged(Slot::TRRS), 300);
  EXPECT_EQ(Averaged(Slot::TRRP), 150);
  EXPECT_EQ(Averaged(Slot::TRFL), 0);

  SetSetpoint(kTRRS1, 12.5f);
  Cycle();
  EXPECT_EQ(Averaged(Slot::TRRS), 12.5f);
}

TEST_P(DosingTest, Manual_SpecificConsumptionsInForceKeepTheirValues) {
  SetInputs(Section(), 300, 200);
  SetMode(kGroupR, kModeAutomatic);
  Cycle();
  SetMode(kGroupR, kModeManual);
  SetSetpoint(kZRRS1, 80);
  SetSetpoint(kZRRP1, 20);
  Cycle();
  EXPECT_EQ(Averaged(Slot::ZRRS), 40);
  EXPECT_EQ(Averaged(Slot::ZRRP), 90);

  SetMode(kGroupR, kModeAutomatic);  // the kept value doses first, then the new one is taken over
  Cycle();
  EXPECT_FLOAT_EQ(Averaged(Slot::TRRS), 2.4f);
  EXPECT_EQ(Averaged(Slot::ZRRS), 80);
}

TEST_P(DosingTest, ReagentsManualFlocculantAutomatic) {
  SetInputs(Section(), 300, 200);
  SetMode(kGroupR, kModeManual);
  SetMode(kGroupFL, kModeAutomatic);
  SetSetpoint(kTRRS1, 25);
  SetSetpoint(kZRRS1, 70);
  SetSetpoint(kZRFL1, 20);
  Cycle(2);
  EXPECT_EQ(Averaged(Slot::TRRS), 25);
  EXPECT_EQ(Averaged(Slot::ZRRS), 0);
  EXPECT_EQ(Averaged(Slot::ZRFL), 20);
  EXPECT_FLOAT_EQ(Averaged(Slot::TRFL), 1.2f);
}

TEST_P(DosingTest, AutomaticFlowsClampedToTheirMaxima) {
  m_config.MAX_TRRS = 2.0;
  SetInputs(Section(), 300, 200);
  SetMode(kGroupR, kModeAutomatic);
  Cycle(2);
  EXPECT_EQ(Averaged(Slot::TRRS), 2);

  SetInputs(Section(), -300, 200);  // a negative load doses nothing
  Cycle();
  EXPECT_FLOAT_EQ(Averaged(Slot::RGF), -60);
  EXPECT_EQ(Averaged(Slot::TRRS), 0);
  EXPECT_EQ(Averaged(Slot::TRRP), 0);
}

TEST_P(DosingTest, NaNInput_NoNaNReachesAFlow) {
  SetMode(kGroupR, kModeAutomatic);
  SetMode(kGroupFL, kModeAutomatic);
  SetInputs(Section(), 300, 200);
  Cycle();
  SetInputs(Section(), std::numeric_limits<float>::quiet_NaN(), 200);
  Cycle();
  EXPECT_TRUE(std::isnan(Averaged(Slot::RGF)));
  for (const int* pairSlots : {Slot::TRRS, Slot::TRRP, Slot::TRFL}) {
    EXPECT_EQ(m_state.AveragedValues.Get(pairSlots[J()]), 0) << "slot " << pairSlots[J()];
  }

  SetInputs(Section(), 300, 200);  // the bad sample leaves the one-cycle average
  Cycle();
  EXPECT_FLOAT_EQ(Averaged(Slot::TRRS), 2.4f);
}

TEST_P(DosingTest, NaNSetpoints_DoseNothing) {
  SetInputs(Section(), 300, 200);
  SetMode(kGroupR, kModeManual);
  SetMode(kGroupFL, kModeAutomatic);
  SetSetpoint(kTRRS1, std::numeric_limits<float>::quiet_NaN());
  SetSetpoint(kZRFL1, std::numeric_limits<float>::quiet_NaN());
  Cycle(2);
  EXPECT_EQ(Averaged(Slot::TRRS), 0);
  EXPECT_EQ(Averaged(Slot::ZRFL), 0);
  EXPECT_EQ(Averaged(Slot::TRFL), 0);
}

TEST_P(DosingTest, Averaging_SizeOneFollowsInstantsLongerSizeAverages) {
  m_config.InputSignals[4 * J() + 2]->AverageSize = 3;
  m_state.CreateAverages(m_config);
  const float levels[] = {10, 40, 70, 100};
  const float expected[] = {10, 25, 40, 70};
  for (int i = 0; i < 4; ++i) {
    SetInputs(Section(), 300 + static_cast<float>(i), 200);
    m_state.InstantValues.Set(Slot::URFK[J()], levels[i]);
    m_state.InstantValues.Set(Slot::URFK12[J()], levels[i]);
    Cycle();
    EXPECT_EQ(Averaged(Slot::PLF), 300 + i);
    EXPECT_EQ(Averaged(Slot::URFK12), levels[i]);
    EXPECT_FLOAT_EQ(Averaged(Slot::URFK), expected[i]) << "cycle " << i;
  }
  EXPECT_EQ(OtherAveraged(Slot::PLF), 0);
}

INSTANTIATE_TEST_SUITE_P(Sections, DosingTest, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return "Section" + std::to_string(info.param);
                         });

TEST(Dosing, SignalsWithoutSlotOrAverageAreLeftOut) {
  TConfig config;
  ProcessState state;
  state.AveragedValues.Set(0, 300);
  state.AveragedValues.Set(1, 200);
  state.InstantValues.Set(0, 999);
  ASSERT_TRUE(CalcWorks(state, config));  // no averages created
  EXPECT_EQ(state.AveragedValues.Get(0), 300);
  EXPECT_FLOAT_EQ(state.AveragedValues.Get(Slot::RGF[0]), 60);

  state.CreateAverages(config);
  config.InputSignals[0]->RecIndex = 9;
  state.InstantValues.Set(1, 150);
  ASSERT_TRUE(CalcWorks(state, config));
  EXPECT_EQ(state.AveragedValues.Get(0), 300);
  EXPECT_EQ(state.AveragedValues.Get(1), 150);
}

}  // namespace
