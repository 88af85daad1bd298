#include "processmodel.h"

#include <algorithm>
#include <cmath>

#include "simrandom.h"

namespace {

// Mean reversion per step towards Mean, noise amplitude per step, and the band
// the signal is reflected into. The tank levels get a weak pull and a wide band
// so that they wander over minutes; the flows and densities stay near their
// working points like a controlled plant.
struct ChannelDrift {
  double Mean;
  double Pull;
  double Noise;
  double Low;
  double High;
};

constexpr ChannelDrift kDensity{0.45, 0.02, 0.004, 0.30, 0.60};
constexpr ChannelDrift kFlow{0.60, 0.02, 0.005, 0.40, 0.80};
constexpr ChannelDrift kSectionLevel{0.50, 0.0005, 0.004, 0.20, 0.80};
constexpr ChannelDrift kCommonLevel{0.50, 0.0005, 0.003, 0.20, 0.80};
constexpr ChannelDrift kSmall{0.05, 0.05, 0.0008, 0.00, 0.10};

constexpr std::array<ChannelDrift, ProcessModel::kChannelCount> kChannels{
    kDensity, kFlow, kSectionLevel, kCommonLevel, kSmall, kSmall, kSmall, kSmall};

// Keeps a value inside [low, high] by folding it back at the edges, so a level
// that hits a limit turns round instead of sticking there.
double Reflect(double value, double low, double high) {
  for (int i = 0; i < 4 && (value < low || value > high); ++i) {
    if (value < low) value = 2 * low - value;
    if (value > high) value = 2 * high - value;
  }
  return std::clamp(value, low, high);
}

}  // namespace

ProcessModel::ProcessModel(uint64_t seed, int address) {
  m_randomState = seed ^ (0xD1B54A32D192ED03ULL * static_cast<uint64_t>(address + 1));
  SplitMix64(m_randomState);
  // Start somewhere inside each band rather than exactly on the working point,
  // so that two modules do not show the same values in the first minutes.
  for (int channel = 0; channel < kChannelCount; ++channel) {
    const ChannelDrift& drift = kChannels[channel];
    m_fraction[channel] =
        Reflect(drift.Mean + (drift.High - drift.Low) / 4 * NextNoise(), drift.Low, drift.High);
  }
}

double ProcessModel::NextNoise() {
  // Sum of two uniforms, centred: a cheap bell-ish shape in [-1, 1), and exactly the
  // same numbers on every platform (unlike std::normal_distribution).
  const double sum = UnitUniform(m_randomState) + UnitUniform(m_randomState);
  return sum - 1.0;
}

void ProcessModel::Step() {
  for (int channel = 0; channel < kChannelCount; ++channel) {
    const ChannelDrift& drift = kChannels[channel];
    double value = m_fraction[channel];
    value += drift.Pull * (drift.Mean - value) + drift.Noise * NextNoise();
    m_fraction[channel] = Reflect(value, drift.Low, drift.High);
  }
  ++m_stepsDone;
}

std::array<int, ProcessModel::kChannelCount> ProcessModel::CountsAt(double elapsedSeconds) {
  const double steps = std::isfinite(elapsedSeconds) ? std::floor(elapsedSeconds / kStepSeconds) : 0.0;
  const int64_t target = steps > 0 ? static_cast<int64_t>(steps) : 0;
  while (m_stepsDone < target) Step();

  std::array<int, kChannelCount> counts{};
  for (int channel = 0; channel < kChannelCount; ++channel) {
    const long rounded = std::lround(m_fraction[channel] * kFullScale);
    counts[channel] = static_cast<int>(std::clamp(rounded, 0L, static_cast<long>(kFullScale)));
  }
  return counts;
}
