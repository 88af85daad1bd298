#pragma once

#include <array>
#include <cstdint>

// The plant behind one simulated I-7017: eight channels that drift slowly
// around plausible working points, so that a console's diagram and trends show
// life. Channel 0 is the feed pulp density (about 45 % of full scale), 1 the
// pulp flow (about 60 %), 2 the section tank level and 3 the common tank level
// (both wandering between 20 and 80 %), 4 to 7 small steady signals (about 5 %).
//
// The walk moves in fixed steps of simulated time, and each module draws from
// its own random stream derived from the seed and its address. So the counts at
// a given time depend only on (seed, address, time), never on how often or by
// which bus the module was asked. Not thread-safe; the owner serialises calls.
class ProcessModel {
 public:
  static constexpr int kChannelCount = 8;
  static constexpr double kStepSeconds = 0.1;
  static constexpr int kFullScale = 32767;

  ProcessModel(uint64_t seed, int address);

  // The channel counts (0 .. kFullScale) at elapsedSeconds after the start.
  // Time never runs backwards: an earlier time returns the current counts.
  std::array<int, kChannelCount> CountsAt(double elapsedSeconds);

 private:
  void Step();
  double NextNoise();

  uint64_t m_randomState;
  int64_t m_stepsDone = 0;
  std::array<double, kChannelCount> m_fraction{};  // of full scale
};
