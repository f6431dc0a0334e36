#include "engine/mls.h"

#include <algorithm>

#include "setup/meas_setup.h"

static_assert(kMaxPlayedPeriods == kMaxAverages + 1, "one settling period and the averaged ones");

// Feedback taps (bit numbers of the shift register) per order; -1 ends a row.
const std::array<std::array<int8_t, 4>, 25> mlsTapTable = {{
    {-1, -1, -1, -1},    // 0: unused
    {-1, -1, -1, -1},    // 1
    {0, 1, -1, -1},      // 2
    {1, 2, -1, -1},      // 3
    {2, 3, -1, -1},      // 4
    {2, 4, -1, -1},      // 5
    {4, 5, -1, -1},      // 6
    {5, 6, -1, -1},      // 7
    {1, 2, 4, 7},        // 8
    {4, 8, -1, -1},      // 9
    {6, 9, -1, -1},      // 10
    {8, 10, -1, -1},     // 11
    {5, 7, 10, 11},      // 12
    {8, 9, 11, 12},      // 13
    {3, 7, 12, 13},      // 14
    {13, 14, -1, -1},    // 15
    {3, 12, 14, 15},     // 16
    {13, 16, -1, -1},    // 17
    {10, 17, -1, -1},    // 18
    {13, 16, 17, 18},    // 19
    {16, 19, -1, -1},    // 20
    {18, 20, -1, -1},    // 21
    {20, 21, -1, -1},    // 22
    {17, 22, -1, -1},    // 23
    {16, 21, 22, 23},    // 24
}};

namespace {

constexpr int kMaxTableOrder = 15;  // the tables hold one period of order 15 at most

void setBit(std::array<uint32_t, kMlsCapacity>& bits, int32_t j) { bits[j >> 5] |= 1u << (j & 31); }

}  // namespace

int32_t generateMls(int32_t order, MlsTables& t) {
  t.mlsBits.fill(0);
  if (order < 1 || order > kMaxTableOrder) return 0;
  const int32_t period = (1 << order) - 1;

  uint32_t taps = 0;  // mask of the tap positions
  for (int8_t tap : mlsTapTable[order]) {
    if (tap < 0) break;
    taps |= 1u << tap;
  }

  uint32_t reg = 1;
  for (int32_t j = 0; j < period; ++j) {
    const uint32_t f = static_cast<uint32_t>(__builtin_popcount(reg & taps) & 1);
    reg = (reg << 1) | f;
    if (f) setBit(t.mlsBits, j);
    t.mlsSamples[j] = static_cast<int16_t>(kMlsAmplitude * (1 - 2 * static_cast<int>(f)));
  }
  return period;
}

void buildMlsTables(const MeasSetup& setup, MlsTables& t) {
  const int32_t n = setup.mlsOrder;
  const int32_t period = generateMls(n, t);

  // Input permutation: entry j is the n-bit number made of the last n sequence
  // bits up to j, the newest one most significant.
  t.inputPerm.fill(0);
  t.outputPerm.fill(0);
  for (int32_t i = 0; i < n; ++i) {
    const int32_t weight = 1 << (n - 1 - i);
    for (int32_t j = 0; j < period; ++j) {
      if (t.bit((period + j - i) % period)) t.inputPerm[j] |= weight;
    }
  }

  // Output permutation: column p comes from the first index i whose window of
  // n bits holds a single one, at position p.
  uint32_t found = 0;
  const uint32_t all = (1u << n) - 1u;
  for (int32_t i = 0; i < period && found != all; ++i) {
    int ones = 0;
    int p = 0;
    for (int k = 0; k < n; ++k) {
      if (t.bit((period + i - k) % period)) {
        ++ones;
        p = k;
      }
    }
    if (ones != 1 || (found & (1u << p))) continue;
    const int32_t weight = 1 << (n - 1 - p);
    for (int32_t k = 0; k < period; ++k) {
      if (t.bit((period + i - k) % period)) t.outputPerm[k] |= weight;
    }
    found |= 1u << p;
  }

  // Playback: 2000 silent frames, one period on both channels, then silence.
  t.playBuffer.fill(0);
  for (int32_t j = 0; j < period; ++j) {
    const std::size_t frame = static_cast<size_t>(kPlayLeadFrames + j);
    t.playBuffer[2 * frame] = t.mlsSamples[j];
    t.playBuffer[2 * frame + 1] = t.mlsSamples[j];
  }

  // Averaged playback: the same lead, then the period again and again without
  // a gap, so that after the first period the system is in steady state.
  int16_t* out = t.repeatedPlayBuffer.data();
  out = std::fill_n(out, 2 * kPlayLeadFrames, int16_t{0});
  for (int k = 0; k < kMaxPlayedPeriods && period > 0; ++k) {
    for (int32_t j = 0; j < period; ++j) {
      *out++ = t.mlsSamples[j];
      *out++ = t.mlsSamples[j];
    }
  }
  std::fill(out, t.repeatedPlayBuffer.data() + t.repeatedPlayBuffer.size(), int16_t{0});
}

int32_t averagedPeriods(const MeasSetup& setup) {
  return std::clamp(setup.averages, 1, kMaxAverages);
}

int32_t playedFrames(const MeasSetup& setup) {
  const int32_t n = averagedPeriods(setup);
  if (n < 2) return setup.mlsSize;
  return (n + 1) * std::max(0, setup.mlsSize - 1);
}

int16_t* playData(MlsTables& t, const MeasSetup& setup) {
  return averagedPeriods(setup) < 2 ? t.playBuffer.data() : t.repeatedPlayBuffer.data();
}
