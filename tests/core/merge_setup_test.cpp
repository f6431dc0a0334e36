#include "analysis/merge_setup.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

constexpr double kPi = std::numbers::pi;

// A grid whose first points are chosen frequencies; the rest are unused.
RealCurve gridWith(std::initializer_list<double> freqs) {
  RealCurve g;
  g.fill(1000.0);
  int i = 0;
  for (double f : freqs) g[i++] = f;
  return g;
}

void expectNear(const Complex& got, double re, double im) {
  EXPECT_NEAR(got.re, re, 1e-12);
  EXPECT_NEAR(got.im, im, 1e-12);
}

TEST(MergeSetup, DefaultsAndUncomputedWeights) {
  const MergeSetup m;
  EXPECT_FALSE(m.mergeShown);
  EXPECT_EQ(m.transitionFreq, 500.0);
  EXPECT_EQ(m.baffleFreq, 0.0);
  EXPECT_FALSE(m.addMode);
  EXPECT_EQ(m.lowerDelay, 0.0);
  EXPECT_EQ(m.lowerGainDb, 0.0);
  EXPECT_EQ(m.lowerGain, 1.0);
  EXPECT_EQ(m.storedSlot, -1);
  EXPECT_EQ(m.upperDelay, 0.0);
  EXPECT_EQ(m.upperGainDb, 0.0);
  EXPECT_EQ(m.upperGain, 1.0);
  for (int p = 0; p < 2; ++p)
    for (const Complex& w : m.weights[p]) ASSERT_EQ(w, Complex());
}

TEST(MergeSetup, DelaysRotateThePhaseOfEachPart) {
  // 100 us at 1 kHz is 0.1 turn = -36 degrees; at 10 kHz a full turn.
  MergeSetup m;
  m.lowerDelay = 100e-6;
  m.upperDelay = -50e-6;
  m.upperGain = 3.0;
  m.computeMergeWeights(gridWith({1000.0, 10000.0}));
  const double c36 = std::cos(kPi / 5.0), s36 = std::sin(kPi / 5.0);
  expectNear(m.weights[0][0], c36, -s36);
  expectNear(m.weights[0][1], 1.0, 0.0);
  // -50 us leads: +18 degrees at 1 kHz, +180 at 10 kHz, scaled by 3.
  expectNear(m.weights[1][0], 3.0 * std::cos(kPi / 10.0), 3.0 * std::sin(kPi / 10.0));
  expectNear(m.weights[1][1], -3.0, 0.0);
}

TEST(MergeSetup, BaffleStepShapesOnlyTheLowerPartInMergeMode) {
  MergeSetup m;
  m.baffleFreq = 400.0;
  m.computeMergeWeights(gridWith({400.0, 50.0, 1500.0}));
  // f = baffleFreq: x = 1, 0.5 (1 + 2j) / (1 + j) = (0.75, 0.25).
  expectNear(m.weights[0][0], 0.75, 0.25);
  // 50 Hz: x = 1/64, 0.5 (1 + j/32) / (1 + j/64) = (2049 + 32j) / 4097.
  expectNear(m.weights[0][1], 2049.0 / 4097.0, 32.0 / 4097.0);
  // 1500 Hz: |B|^2 = 0.25 (1 + 4x^2) / (1 + x^2), x = 3.75^2; within 0.1 dB of 0.
  EXPECT_GT(20.0 * std::log10(abs(m.weights[0][2])), -0.1);
  expectNear(m.weights[1][0], 1.0, 0.0);

  // Gain and delay multiply the step: 625 us at 400 Hz is a quarter turn lag.
  m.lowerGain = 2.0;
  m.lowerDelay = 625e-6;
  m.computeMergeWeights(gridWith({400.0}));
  expectNear(m.weights[0][0], 0.5, -1.5);

  m.addMode = true;
  m.lowerDelay = 0.0;
  m.computeMergeWeights(gridWith({400.0, 50.0}));
  expectNear(m.weights[0][0], 2.0, 0.0);
  expectNear(m.weights[0][1], 2.0, 0.0);
}

TEST(MergeSetup, GainsFollowTheirDbValuesOnlyInSplMode) {
  MergeSetup m;
  m.lowerGainDb = -6.0;
  m.upperGainDb = 20.0;
  m.updateMergeGains(true);
  EXPECT_EQ(m.lowerGain, 1.0);
  EXPECT_EQ(m.upperGain, 1.0);
  m.updateMergeGains(false);
  EXPECT_NEAR(m.lowerGain, 0.501187233627, 1e-12);  // 10^-0.3
  EXPECT_NEAR(m.upperGain, 10.0, 1e-12);
}

}  // namespace
