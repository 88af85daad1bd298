#include "process/flyaverage.h"

#include <gtest/gtest.h>

#include <QString>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "storage/notifier.h"

namespace {

class RecordingNotifier : public Notifier {
 public:
  void ShowError(const QString& caption, const QString& text) override { Errors.emplace_back(caption, text); }
  std::vector<std::pair<QString, QString>> Errors;
};

const QString kSizeError = QStringLiteral("Нельзя устанавливать размер среднего менше чем 2.");
const QString kReadIndexError = QStringLiteral("Индекс чтения должен быть в пределах от 0 до Size.");

class FlyAverageTest : public ::testing::Test {
 protected:
  void SetUp() override { SetNotifier(&m_notifier); }
  void TearDown() override { SetNotifier(nullptr); }

  static void AddAll(TFlyAverage& average, const std::vector<double>& values) {
    for (double x : values) average.Add(x);
  }

  RecordingNotifier m_notifier;
};

TEST_F(FlyAverageTest, Add_FillsThenSlides) {
  TFlyAverage average;
  average.SetSize(3);
  const std::vector<std::pair<double, double>> steps = {{1, 1}, {2, 1.5}, {3, 2}, {4, 3}, {5, 4}};
  for (const auto& [x, expected] : steps) {
    EXPECT_DOUBLE_EQ(average.Add(x), expected) << "after adding " << x;
    EXPECT_DOUBLE_EQ(average.GetAverage(), expected);
  }
  EXPECT_EQ(average.GetValCount(), 3);
  EXPECT_DOUBLE_EQ(average.GetTotalSum(), 12);
  EXPECT_EQ(average.GetWriteIndex(), 2);
}

TEST_F(FlyAverageTest, SizeOne_FollowsInput) {
  TFlyAverage average;
  average.SetSize(1);
  for (double x : {7.0, -3.0, 12.5}) {
    EXPECT_DOUBLE_EQ(average.Add(x), x);
    EXPECT_EQ(average.GetValCount(), 1);
    EXPECT_EQ(average.GetWriteIndex(), 0);
  }
  EXPECT_TRUE(m_notifier.Errors.empty());
}

TEST_F(FlyAverageTest, SetSize_SameKeepsHistoryOtherClears) {
  TFlyAverage average;
  EXPECT_EQ(average.GetSize(), 10);
  AddAll(average, {2, 4});
  average.SetSize(10);
  EXPECT_EQ(average.GetValCount(), 2);
  EXPECT_DOUBLE_EQ(average.GetAverage(), 3);

  average.SetSize(4);
  EXPECT_EQ(average.GetSize(), 4);
  EXPECT_EQ(average.GetValCount(), 0);
  EXPECT_DOUBLE_EQ(average.GetAverage(), 0);
  EXPECT_DOUBLE_EQ(average.GetTotalSum(), 0);
  EXPECT_DOUBLE_EQ(average.Add(8), 8);
}

TEST_F(FlyAverageTest, SetSize_BelowOneRefusedWithMessage) {
  TFlyAverage average;
  average.SetSize(3);
  AddAll(average, {1, 2});
  for (int32_t n : {0, -1}) {
    average.SetSize(n);
    EXPECT_EQ(average.GetSize(), 3);
    EXPECT_EQ(average.GetValCount(), 2);
  }
  ASSERT_EQ(m_notifier.Errors.size(), 2u);
  EXPECT_EQ(m_notifier.Errors[0].first, QStringLiteral("Ошибка"));
  EXPECT_EQ(m_notifier.Errors[0].second, kSizeError);
}

TEST_F(FlyAverageTest, SetAccepted_AddsOfferedValueOnce) {
  TFlyAverage average;
  average.SetSize(3);
  average.SetNewData(6);
  EXPECT_FALSE(average.GetAccepted());
  average.SetAccepted(true);
  average.SetAccepted(true);
  EXPECT_TRUE(average.GetAccepted());
  EXPECT_EQ(average.GetValCount(), 1);

  average.SetAccepted(false);
  EXPECT_TRUE(average.GetAccepted());

  average.SetNewData(6);  // the same value offered again is a new sample
  EXPECT_FALSE(average.GetAccepted());
  average.SetAccepted(true);
  EXPECT_EQ(average.GetValCount(), 2);
  EXPECT_DOUBLE_EQ(average.GetAverage(), 6);
}

TEST_F(FlyAverageTest, Reset_ForgetsHistoryAndAcceptance) {
  TFlyAverage average;
  average.SetNewData(5);
  average.SetAccepted(true);
  average.SetReadIndex(2);
  average.Reset();
  EXPECT_FALSE(average.GetAccepted());
  EXPECT_EQ(average.GetValCount(), 0);
  EXPECT_EQ(average.GetReadIndex(), 0);
  EXPECT_DOUBLE_EQ(average.GetAverage(), 0);
  EXPECT_DOUBLE_EQ(average.GetMax(), 0);
}

TEST_F(FlyAverageTest, CalcSKO_NeedsSixValues) {
  TFlyAverage average;
  AddAll(average, {1, 2, 3, 4, 5});
  EXPECT_DOUBLE_EQ(average.CalcSKO(), 0);
  average.Add(6);
  EXPECT_DOUBLE_EQ(average.CalcSKO(), std::sqrt(3.5));

  average.SetSigma(0);
  EXPECT_DOUBLE_EQ(average.GetSigma(), 0);
  average.SetSigma(-1);
  EXPECT_DOUBLE_EQ(average.GetSigma(), std::sqrt(3.5));
}

TEST_F(FlyAverageTest, CalcSKO_OverWrappedBuffer) {
  TFlyAverage average;
  average.SetSize(6);
  AddAll(average, {100, 1, 2, 3, 4, 5, 6});  // 100 is pushed out by 6
  EXPECT_DOUBLE_EQ(average.CalcSKO(), std::sqrt(3.5));
}

TEST_F(FlyAverageTest, GetMax_OverStoredValues) {
  const std::vector<std::pair<std::vector<double>, double>> cases = {
      {{5, 9, 2}, 9}, {{5, 2, 9}, 9}, {{9, 5, 2}, 9}, {{-5, -3, -7}, -3}, {{}, 0}};
  for (const auto& [values, expected] : cases) {
    TFlyAverage average;
    AddAll(average, values);
    EXPECT_DOUBLE_EQ(average.GetMax(), expected) << "over " << values.size() << " values";
  }
}

TEST_F(FlyAverageTest, GetMax_IgnoresZeroedSlotsOfAFillingBuffer) {
  TFlyAverage average;
  AddAll(average, {-4, -2});
  EXPECT_DOUBLE_EQ(average.GetMax(), -2);
}

TEST_F(FlyAverageTest, SetReadIndex_OutOfRangeRefused) {
  TFlyAverage average;
  average.SetSize(3);
  AddAll(average, {1, 2, 3});
  average.SetReadIndex(2);
  EXPECT_DOUBLE_EQ(average.GetReadVal(), 3);
  EXPECT_TRUE(m_notifier.Errors.empty());

  for (int32_t i : {3, -1}) {
    average.SetReadIndex(i);
    EXPECT_EQ(average.GetReadIndex(), 2);
  }
  ASSERT_EQ(m_notifier.Errors.size(), 2u);
  EXPECT_EQ(m_notifier.Errors[1].first, QStringLiteral("Ошибка"));
  EXPECT_EQ(m_notifier.Errors[1].second, kReadIndexError);
}

TEST_F(FlyAverageTest, ReadOnlyPropertiesIgnoreWrites) {
  TFlyAverage average;
  AddAll(average, {4, 6});
  average.SetAverage(100);
  average.SetTotalSum(100);
  average.SetValCount(100);
  average.SetWriteIndex(7);
  EXPECT_DOUBLE_EQ(average.GetAverage(), 5);
  EXPECT_DOUBLE_EQ(average.GetTotalSum(), 10);
  EXPECT_EQ(average.GetValCount(), 2);
  EXPECT_EQ(average.GetWriteIndex(), 2);
}

// A single bad sample must spoil the average only while it is in the window.
TEST_F(FlyAverageTest, NonFiniteSample_AverageRecoversWhenItLeavesTheWindow) {
  for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    TFlyAverage average;
    average.SetSize(3);
    AddAll(average, {1, bad, 2, 3});
    EXPECT_FALSE(std::isfinite(average.GetAverage()));
    EXPECT_DOUBLE_EQ(average.Add(4), 3);
    EXPECT_DOUBLE_EQ(average.GetTotalSum(), 9);
    EXPECT_DOUBLE_EQ(average.Add(8), 5);
  }
}

}  // namespace
