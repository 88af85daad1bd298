#include "process/acquisition.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "configuration/config.h"
#include "process/dosing.h"
#include "process/processstate.h"
#include "support/eventlogcapture.h"

namespace {

constexpr double kSecond = 1.0 / 86400.0;
constexpr double kMinute = 60 * kSecond;

class AcquisitionTest : public ::testing::Test {
 protected:
  void SetUp() override { m_state.CreateAverages(m_config); }

  // Distinct raw counts in every slot, and a marker in every instant slot,
  // so that a write to the wrong slot shows.
  void FillBlocks() {
    for (int slot = 0; slot < kValueSlotCount; ++slot) {
      if (slot == 14 || slot == 15) continue;
      m_state.RawValues.Set(slot, 100.25f + static_cast<float>(slot));
      m_state.InstantValues.Set(slot, kMarker);
    }
  }

  static constexpr float kMarker = -12345;
  const TDateTime m_start = EncodeDateTime(2008, 1, 17, 11, 43, 15);
  TConfig m_config;
  ProcessState m_state;
};

TEST_F(AcquisitionTest, TranslateIn_DefaultTablesPassCountsThrough) {
  FillBlocks();
  m_state.RawValues.Set(5, -7.5f);
  ASSERT_TRUE(TranslateIn(m_state, m_config));
  for (int slot = 0; slot < 8; ++slot) {
    EXPECT_EQ(m_state.InstantValues.Get(slot), m_state.RawValues.Get(slot)) << "slot " << slot;
  }
  for (int slot = 8; slot < kValueSlotCount; ++slot) {
    if (slot == 14 || slot == 15) continue;
    EXPECT_EQ(m_state.InstantValues.Get(slot), kMarker) << "slot " << slot;
  }
}

TEST_F(AcquisitionTest, TranslateIn_UsesEachSignalsTable) {
  CalibrationTable table;
  table.Size = 2;
  table.AVal[0] = 0;
  table.FVal[0] = 4;
  table.AVal[1] = 32767;
  table.FVal[1] = 20;
  m_config.InputSignals[5]->SetCalibration(table);
  m_state.RawValues.Set(5, 16383.5f);
  m_state.RawValues.Set(1, 16383.5f);
  ASSERT_TRUE(TranslateIn(m_state, m_config));
  EXPECT_FLOAT_EQ(m_state.InstantValues.Get(5), 12);
  EXPECT_FLOAT_EQ(m_state.InstantValues.Get(1), 16383.5f);
}

// A signal whose RecIndex lies outside its module's four slots is skipped;
// the channel number plays no part in the slot. The misplaced signal doubles
// its input, so a write anywhere shows.
TEST_F(AcquisitionTest, TranslateIn_SignalWithoutSlotTouchesNothing) {
  CalibrationTable doubling = CalibrationTable::Identity();
  doubling.FVal[1] = 2 * doubling.AVal[1];
  m_config.InputSignals[7]->SetCalibration(doubling);
  m_config.InputSignals[4]->Chanel = 99;
  for (int recIndex : {4, 7, -1, 100}) {
    FillBlocks();
    m_config.InputSignals[7]->RecIndex = recIndex;
    ASSERT_TRUE(TranslateIn(m_state, m_config));
    EXPECT_EQ(m_state.InstantValues.Get(7), kMarker) << "RecIndex " << recIndex;
    for (int slot = 0; slot < 7; ++slot) {
      EXPECT_EQ(m_state.InstantValues.Get(slot), m_state.RawValues.Get(slot))
          << "slot " << slot << ", RecIndex " << recIndex;
    }
    for (int slot = 8; slot < kValueSlotCount; ++slot) {
      if (slot == 14 || slot == 15) continue;
      EXPECT_EQ(m_state.InstantValues.Get(slot), kMarker) << "slot " << slot << ", RecIndex " << recIndex;
    }
  }
}

TEST_F(AcquisitionTest, TranslateIn_RecIndexMovesASignalWithinItsModule) {
  FillBlocks();
  m_config.InputSignals[4]->RecIndex = 3;  // PLF_2 into the URFK12 slot of module 1
  m_config.InputSignals[7]->RecIndex = 0;
  ASSERT_TRUE(TranslateIn(m_state, m_config));
  EXPECT_EQ(m_state.InstantValues.Get(7), m_state.RawValues.Get(7));
  EXPECT_EQ(m_state.InstantValues.Get(4), m_state.RawValues.Get(4));
}

TEST_F(AcquisitionTest, UpdateStateRecord_FirstCycleRecordsZerosAtCycleTime) {
  ASSERT_TRUE(UpdateStateRecord(m_state, m_config, m_start));
  const StateRecord live = m_state.StateRecord.Load();
  EXPECT_EQ(live.RecMoment, m_start);
  EXPECT_EQ(live.Values, (std::array<float, kValueSlotCount>{}));
  ASSERT_EQ(m_state.MinuteRecords.Count(), 1u);
  const MinuteRecord first = *m_state.MinuteRecords.Last();
  EXPECT_EQ(first.RecMoment, m_start);
  EXPECT_EQ(first.Values, live.Values);
  EXPECT_EQ(first.Saved, 0);
}

TEST_F(AcquisitionTest, UpdateStateRecord_CopiesAveragedValuesWithModeBytes) {
  m_state.AveragedValues.Set(Slot::TRRS[1], 2.4f);
  m_state.AveragedValues.SetGroupMode(kGroupFL, 2, kModeManual);
  m_state.InstantValues.Set(0, 77);  // instant values are not part of the record
  ASSERT_TRUE(UpdateStateRecord(m_state, m_config, m_start));
  const StateRecord live = m_state.StateRecord.Load();
  EXPECT_EQ(live.Values[Slot::TRRS[1]], 2.4f);
  EXPECT_EQ(live.Values[0], 0);
  EXPECT_EQ(live.Mode(F2RFL), 1);
  EXPECT_EQ(live.Mode(F2AFL), 0);
  EXPECT_EQ(m_state.MinuteRecords.Last()->Mode(F2RFL), 1);
}

TEST_F(AcquisitionTest, UpdateStateRecord_MinuteBoundaryClosesTheRecordWithItsLastState) {
  for (int cycle = 0; cycle <= 60; ++cycle) {  // 11:43:15 ... 11:44:15
    m_state.AveragedValues.Set(0, static_cast<float>(cycle));
    ASSERT_TRUE(UpdateStateRecord(m_state, m_config, m_start + cycle * kSecond));
  }
  const auto records = m_state.MinuteRecords.Snapshot();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].Values[0], 44);  // 11:43:59
  EXPECT_EQ(MinuteOf(records[0].RecMoment), 43);
  EXPECT_EQ(records[1].Values[0], 60);
  EXPECT_EQ(records[1].RecMoment, m_start + 60 * kSecond);
}

TEST_F(AcquisitionTest, UpdateStateRecord_FullListDropsOldestAndStaysAtLimitPlusOne) {
  ASSERT_EQ(static_cast<int>(m_config.MinuteRecordLimit), 4320);
  for (int minute = 0; minute < 4321; ++minute) {
    m_state.AveragedValues.Set(0, static_cast<float>(minute));
    UpdateStateRecord(m_state, m_config, m_start + minute * kMinute);
  }
  ASSERT_EQ(m_state.MinuteRecords.Count(), 4321u);

  m_state.AveragedValues.Set(0, 4321);
  ASSERT_TRUE(UpdateStateRecord(m_state, m_config, m_start + 4321 * kMinute));
  const auto records = m_state.MinuteRecords.Snapshot();
  ASSERT_EQ(records.size(), 4321u);
  EXPECT_EQ(records.front().Values[0], 1);
  EXPECT_EQ(records.back().Values[0], 4321);
}

TEST_F(AcquisitionTest, UpdateStateRecord_StationFlagClearedUntilTheMinuteEnds) {
  const auto anyRecord = [](const MinuteRecord&) { return true; };
  UpdateStateRecord(m_state, m_config, m_start);
  ASSERT_TRUE(m_state.MinuteRecords.SetSavedFirst(anyRecord));
  UpdateStateRecord(m_state, m_config, m_start + kSecond);
  EXPECT_EQ(m_state.MinuteRecords.Last()->Saved, 0);

  ASSERT_TRUE(m_state.MinuteRecords.SetSavedFirst(anyRecord));
  UpdateStateRecord(m_state, m_config, m_start + kMinute);
  UpdateStateRecord(m_state, m_config, m_start + kMinute + kSecond);
  const auto records = m_state.MinuteRecords.Snapshot();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].Saved, 1);
  EXPECT_EQ(records[1].Saved, 0);
}

TEST_F(AcquisitionTest, UpdateStateRecord_WholeHourClockChangeKeepsTheRecord) {
  UpdateStateRecord(m_state, m_config, m_start);
  m_state.AveragedValues.Set(1, 5);
  UpdateStateRecord(m_state, m_config, m_start + 3.0 / 24);
  ASSERT_EQ(m_state.MinuteRecords.Count(), 1u);
  EXPECT_EQ(m_state.MinuteRecords.Last()->Values[1], 5);
  EXPECT_EQ(m_state.StateRecord.RecMoment(), m_start + 3.0 / 24);
}

TEST_F(AcquisitionTest, CreateAveragesAndReset) {
  m_config.InputSignals[0]->AverageSize = 0;
  m_config.InputSignals[1]->AverageSize = -3;
  m_config.InputSignals[2]->AverageSize = 30;
  m_config.InputSignals[3]->AverageSize = 2000000000;  // hand-edited: would be 16 GB of history
  DrainEventLog();
  m_state.CreateAverages(m_config);
  const std::vector<TEventFIFO_Rec> log = DrainEventLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].Text, u"Размер среднего сигнала URFK12_1 (2000000000) уменьшен до 86400."_qs);
  ASSERT_TRUE(m_state.Averages[0] && m_state.Averages[2] && m_state.Averages[7]);
  EXPECT_EQ(m_state.Averages[0]->GetSize(), 1);
  EXPECT_EQ(m_state.Averages[1]->GetSize(), 1);
  EXPECT_EQ(m_state.Averages[2]->GetSize(), 30);
  EXPECT_EQ(m_state.Averages[3]->GetSize(), kMaxAverageSize);
  EXPECT_EQ(m_state.Averages[7]->GetSize(), 1);
  EXPECT_FALSE(m_state.Averages[8]);

  m_state.RawValues.Set(1, 3);
  m_state.AveragedValues.SetMode(F1AR, 1);
  m_state.Setpoints.Set(kZRRS1, 77);
  UpdateStateRecord(m_state, m_config, m_start);
  m_state.Reset();
  EXPECT_EQ(m_state.RawValues.Get(1), 0);
  EXPECT_EQ(m_state.AveragedValues.GetMode(F1AR), 0);
  EXPECT_EQ(m_state.Setpoints.Get(kZRRS1), 40);
  EXPECT_EQ(m_state.StateRecord.RecMoment(), 0);
  EXPECT_EQ(m_state.MinuteRecords.Count(), 0u);
  EXPECT_FALSE(m_state.Averages[0]);
}

// The read thread runs its cycle while a station thread walks and flags the
// minute records, reads the live record and changes modes and setpoints.
// Meant for the thread sanitizer.
TEST_F(AcquisitionTest, CycleAndStationAccessRunConcurrently) {
  m_config.MinuteRecordLimit = 5;
  constexpr int kCycles = 3000;
  std::atomic<bool> readThreadDone{false};

  std::thread readThread([&] {
    for (int cycle = 0; cycle < kCycles; ++cycle) {
      m_state.RawValues.Set(cycle % 8, static_cast<float>(cycle));
      TranslateIn(m_state, m_config);
      UpdateStateRecord(m_state, m_config, m_start + cycle * 20 * kSecond);
      CalcWorks(m_state, m_config);
    }
    readThreadDone = true;
  });
  std::thread stationThread([&] {
    for (int i = 0; !readThreadDone; ++i) {
      // Two separate calls would race with the read thread's appends, so the
      // bound is the list's own: the limit plus the minute being recorded.
      EXPECT_LE(m_state.MinuteRecords.UnsavedCount(), 6u);
      if (const auto oldest = m_state.MinuteRecords.OldestUnsaved()) {
        const TDateTime moment = oldest->RecMoment;
        m_state.MinuteRecords.SetSavedFirst(
            [moment](const MinuteRecord& r) { return r.RecMoment == moment; });
      }
      EXPECT_LE(m_state.MinuteRecords.Snapshot().size(), 6u);
      const StateRecord live = m_state.StateRecord.Load();
      EXPECT_EQ(live.Saved, 0);
      m_state.AveragedValues.SetGroupMode(kGroupR, 1 + i % 2, ModeFromCode(i % 3));
      m_state.Setpoints.Set(kZRRS2, static_cast<float>(i % 100));
    }
  });
  readThread.join();
  stationThread.join();

  EXPECT_GE(m_state.MinuteRecords.Count(), 2u);
  EXPECT_LE(m_state.MinuteRecords.Count(), 6u);
}

}  // namespace
