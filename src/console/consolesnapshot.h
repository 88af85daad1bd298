#pragma once

#include <QString>
#include <array>
#include <cstdint>

#include "common/tdatetime.h"
#include "fieldbus/inputpolling.h"
#include "process/setpoints.h"
#include "process/valueblock.h"

// The worker threads the operator can start and stop.
enum class WorkerKind { Read = 0, Write = 1, Link = 2 };
inline constexpr int kWorkerCount = 3;

// A worker's control block as a window shows it.
struct ThreadSnapshot {
  bool Running = false;
  int32_t CycleCount = 0;
  int32_t ErrorCount = 0;
  TDateTime StartTime = 0;
  uint32_t LastWorkMs = 0;
};

// Everything the windows show of the running console, copied slot by slot on
// the user-interface thread once a tick. A plain value: windows keep copies
// and compare them as they like. Values of two successive cycles may stand
// side by side, as in the live blocks.
struct ConsoleSnapshot {
  uint64_t Generation = 0;  // counts the snapshots taken; 0 before the first
  TDateTime Now = 0;        // the wall clock when it was taken

  // The three value blocks, slots 14-15 carrying the mode bytes.
  std::array<float, kValueSlotCount> RawValues{};
  std::array<float, kValueSlotCount> InstantValues{};
  std::array<float, kValueSlotCount> AveragedValues{};
  std::array<float, kSetpointCount> Setpoints{};

  TDateTime StateMoment = 0;  // time stamp of the state record; 0 before the first cycle
  bool StateFresh = false;    // the state record is at most 60 s old (checked once a second)
  int MinuteRecordCount = 0;
  int UnsavedRecordCount = 0;

  std::array<ThreadSnapshot, kWorkerCount> Threads{};  // by WorkerKind
  std::array<TDateTime, kInputModuleCount> AnswerTime{};
  std::array<QString, kInputModuleCount> AnswerText;
  bool EmulationOn = false;

  bool LanServerActive = false;
  int32_t TcpClientCount = 0;

  bool DatabaseDisabled = false;    // switched off in the configuration
  bool DatabaseConnected = false;   // after the last attempt or query
  bool DatabaseConnecting = false;  // an attempt is under way

  const ThreadSnapshot& Thread(WorkerKind kind) const { return Threads[static_cast<int>(kind)]; }
  float Value(int slot) const { return slot >= 0 && slot < kValueSlotCount ? AveragedValues[slot] : 0.0f; }
  uint8_t Mode(ModeFlag flag) const { return ModeByte(AveragedValues, flag); }
  ReagentMode GroupMode(ReagentGroup group, int section) const {
    return ModeFromFlags(Mode(AutomaticFlag(group, section)), Mode(ManualFlag(group, section)));
  }
  float Setpoint(SetpointIndex index) const { return Setpoints[index]; }
};

// The mode flags and setpoints the operator sets at once.
using ModeFlags = std::array<uint8_t, kModeFlagCount>;
using SetpointValues = std::array<float, kSetpointCount>;
