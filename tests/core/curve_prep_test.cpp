#include "analysis/curve_prep.h"
#include "app/curve_ops.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

#include "app/app_state.h"

namespace {

constexpr double kDb2 = 3.0102999566398120;  // 20 log10(sqrt 2) = 10 log10 2
constexpr double kDb4 = 2.0 * kDb2;          // 20 log10 2

double circularDiff(double a, double b) { return std::remainder(a - b, 360.0); }

// Reference smoothing for comparison, written as the phase is read: walk out
// from the centre summing the neighbour-to-neighbour changes, each taken as the
// shorter way round, and wrap the mean with remainder().
RealCurve referencePhaseMean(const RealCurve& t, int hw) {
  RealCurve out;
  for (int m = 0; m < kGridPoints; ++m) {
    const int lo = std::max(0, m - hw), hi = std::min(kGridPoints - 1, m + hw);
    double sum = t[m], w = t[m];
    for (int k = m + 1; k <= hi; ++k) {
      double d = t[k] - t[k - 1];
      d += d > 180.0 ? -360.0 : d < -180.0 ? 360.0 : 0.0;
      sum += (w += d);
    }
    w = t[m];
    for (int k = m - 1; k >= lo; --k) {
      double d = t[k] - t[k + 1];
      d += d > 180.0 ? -360.0 : d < -180.0 ? 360.0 : 0.0;
      sum += (w += d);
    }
    out[m] = std::remainder(sum / (hi - lo + 1), 360.0);
  }
  return out;
}

TEST(CurvePrep, HalfWidthsOnTheStandardGrid) {
  // 1 / (10^(4/999) - 1) = 107.966 points per unit of relative frequency:
  // trunc(107.966 e + 0.5) for e = 1/48 .. 1/2.
  const MeasSetup s;
  const int expected[kSmoothChoices] = {0, 2, 4, 9, 18, 27, 54};
  for (int i = 0; i < kSmoothChoices; ++i)
    EXPECT_EQ(smoothHalfWidth(smoothHalfOctaves[i], s.freqGrid), expected[i]) << i;
  EXPECT_EQ(smoothHalfWidth(kImpedanceSmoothHalfOctave, s.freqGrid), 2);
}

TEST(CurvePrep, ConstantCurvesStayConstantUnderEverySmoothing) {
  const MeasSetup s;
  for (int i = 1; i < kSmoothChoices; ++i) {
    const int hw = smoothHalfWidth(smoothHalfOctaves[i], s.freqGrid);
    RealCurve level;
    level.fill(73.3);
    movingMean(level, hw);
    for (double v : level) ASSERT_EQ(v, 73.3);
    for (double c : {179.0, 180.0, -180.0, -45.5}) {
      RealCurve phase;
      phase.fill(c);
      movingPhaseMean(phase, hw);
      for (double v : phase) ASSERT_EQ(v, c) << i;
    }
  }
}

TEST(CurvePrep, SmoothingWindowIsCutAtBothEnds) {
  // On a ramp 0.01 k the mean over lo..hi is 0.01 (lo + hi) / 2, so the ends
  // show whether the window is cut (neither mirrored nor padded).
  for (int hw : {2, 4, 9, 18, 27, 54}) {
    RealCurve level, phase;
    for (int k = 0; k < kGridPoints; ++k) level[k] = phase[k] = 0.01 * k;
    movingMean(level, hw);
    movingPhaseMean(phase, hw);
    for (int m = 0; m < kGridPoints; ++m) {
      const double expected = 0.005 * (std::max(0, m - hw) + std::min(999, m + hw));
      ASSERT_NEAR(level[m], expected, 1e-9) << hw << " " << m;
      ASSERT_NEAR(phase[m], expected, 1e-9) << hw << " " << m;
    }
  }
}

TEST(CurvePrep, PhaseMeanFollowsTheCurveAcrossTheWrap) {
  // hw = 2, windows of five points, worked out by hand.
  RealCurve t;
  for (int k = 0; k < kGridPoints; ++k) t[k] = k <= 500 ? 179.0 : -179.0;
  movingPhaseMean(t, 2);
  EXPECT_NEAR(t[500], 179.8, 1e-12);   // 179 x3, 181 x2
  EXPECT_NEAR(t[501], -179.8, 1e-12);  // -181 x2, -179 x3
  EXPECT_EQ(t[0], 179.0);
  EXPECT_EQ(t[999], -179.0);

  // The other way through -180.
  for (int k = 0; k < kGridPoints; ++k) t[k] = k <= 500 ? -179.0 : 179.0;
  movingPhaseMean(t, 2);
  EXPECT_NEAR(t[500], -179.8, 1e-12);
  EXPECT_NEAR(t[501], 179.8, 1e-12);

  // 179 up to 499, then -176 (184 seen from below).
  for (int k = 0; k < kGridPoints; ++k) t[k] = k <= 499 ? 179.0 : -176.0;
  movingPhaseMean(t, 2);
  EXPECT_EQ(t[498], 180.0);           // (4 x 179 + 184) / 5, exactly 180: kept
  EXPECT_NEAR(t[499], -179.0, 1e-12);  // (3 x 179 + 2 x 184) / 5 = 181
  EXPECT_NEAR(t[500], -178.0, 1e-12);  // (2 x -181 + 3 x -176) / 5
  EXPECT_NEAR(t[501], -177.0, 1e-12);

  // A step of exactly 180 degrees is taken as it stands, not as a wrap.
  for (int k = 0; k < kGridPoints; ++k) t[k] = k <= 500 ? 90.0 : -90.0;
  movingPhaseMean(t, 2);
  EXPECT_NEAR(t[500], 18.0, 1e-12);  // (3 x 90 - 2 x 90) / 5
  for (int k = 0; k < kGridPoints; ++k) t[k] = k <= 500 ? -90.0 : 90.0;
  movingPhaseMean(t, 2);
  EXPECT_NEAR(t[500], -18.0, 1e-12);
}

TEST(CurvePrep, SmoothingMatchesAWindowedMeanOnIrregularCurves) {
  // Pseudo-random levels and phases with frequent wraps and fast rotations.
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) / double(1 << 24);
  };
  RealCurve level, phase;
  double turning = 0.0;
  for (int k = 0; k < kGridPoints; ++k) {
    level[k] = 60.0 + 40.0 * next();
    turning += k < 500 ? 50.0 * next() - 10.0 : -150.0 * next();
    phase[k] = std::remainder(turning, 360.0);
  }
  for (int hw : {1, 2, 4, 9, 18, 27, 54, 999}) {
    RealCurve l = level, p = phase;
    movingMean(l, hw);
    movingPhaseMean(p, hw);
    const RealCurve refP = referencePhaseMean(phase, hw);
    for (int m = 0; m < kGridPoints; ++m) {
      const int lo = std::max(0, m - hw), hi = std::min(999, m + hw);
      double sum = 0.0;
      for (int k = lo; k <= hi; ++k) sum += level[k];
      ASSERT_NEAR(l[m], sum / (hi - lo + 1), 1e-9) << hw << " " << m;
      ASSERT_NEAR(circularDiff(p[m], refP[m]), 0.0, 1e-9) << hw << " " << m;
      ASSERT_GE(p[m], -180.0);
      ASSERT_LE(p[m], 180.0);
    }
  }
}

TEST(CurvePrep, NonFiniteValueOnlyReachesTheWindowsHoldingIt) {
  RealCurve level{}, phase{};
  level[500] = std::numeric_limits<double>::infinity();
  phase[500] = std::numeric_limits<double>::quiet_NaN();
  movingMean(level, 2);
  movingPhaseMean(phase, 2);
  for (int m = 0; m < kGridPoints; ++m) {
    const bool hit = m >= 498 && m <= 502;
    ASSERT_EQ(std::isinf(level[m]), hit) << m;
    ASSERT_EQ(std::isnan(phase[m]), hit) << m;
  }
  EXPECT_EQ(level[497], 0.0);
  EXPECT_EQ(phase[503], 0.0);
}

// The inputs of a preparation, held on the heap by the fixture.
class SplCurves : public ::testing::Test {
 protected:
  void SetUp() override {
    setup.response.fill(Complex(1.0, 0.0));
    micCal.fill(Complex(1.0, 0.0));
    merge.computeMergeWeights(setup.freqGrid);
  }
  void prepare(bool apply = false) {
    prepareSplCurves(setup, slots, micCal, micCalValid, merge, curves, apply);
  }
  MeasSetup setup;
  std::array<MeasSetup, 10> slots;
  ComplexCurve micCal;
  bool micCalValid = false;
  MergeSetup merge;
  DisplayCurves curves;
};

TEST_F(SplCurves, LevelAndPhaseOfSinglePoints) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  setup.response[0] = {1.0, 1.0};
  setup.response[1] = {0.0, 2.0};
  setup.response[2] = {-1.0, 0.0};
  setup.response[3] = {0.0, 0.0};
  setup.response[4] = {nan, 1.0};
  setup.response[5] = {1e-11, -1e-11};
  prepare();
  const RealCurve& mag = curves.splMag[0];
  const RealCurve& ph = curves.splPhase[0];
  EXPECT_NEAR(mag[0], kDb2, 1e-12);
  EXPECT_NEAR(ph[0], 45.0, 1e-12);
  EXPECT_NEAR(mag[1], kDb4, 1e-12);
  EXPECT_NEAR(ph[1], 90.0, 1e-12);  // a purely imaginary value keeps its angle
  EXPECT_NEAR(ph[2], 180.0, 1e-12);
  EXPECT_EQ(mag[3], -100.0);
  EXPECT_EQ(ph[3], 0.0);
  EXPECT_EQ(mag[4], -100.0);
  EXPECT_EQ(ph[4], 0.0);
  EXPECT_NEAR(mag[5], -220.0 + kDb2, 1e-9);  // real level, angle too small to show
  EXPECT_EQ(ph[5], 0.0);
}

TEST_F(SplCurves, InversionTurnsThePhaseAndKeepsLevelAndResponse) {
  const Complex u = {std::sqrt(3.0), 1.0};  // 2 at +30 degrees
  setup.response.fill(u);
  setup.invertPolarity = true;
  prepare();
  EXPECT_NEAR(curves.splMag[0][400], kDb4, 1e-12);
  EXPECT_NEAR(curves.splPhase[0][400], -150.0, 1e-12);
  EXPECT_EQ(setup.response[400], u);
}

TEST_F(SplCurves, MicrophoneCorrectionDividesOnlyWhenLoadedAndEnabled) {
  micCal[300] = {std::pow(10.0, 3.0 / 20.0), 0.0};
  micCal[301] = {0.0, 1.0};
  prepare();  // micDataOff is set by default
  EXPECT_EQ(curves.splMag[0][300], 0.0);
  setup.micDataOff = false;
  prepare();  // not loaded
  EXPECT_EQ(curves.splMag[0][300], 0.0);
  micCalValid = true;
  prepare();
  EXPECT_NEAR(curves.splMag[0][300], -3.0, 1e-12);
  EXPECT_NEAR(curves.splPhase[0][301], -90.0, 1e-12);
  EXPECT_EQ(curves.splMag[0][302], 0.0);
}

TEST_F(SplCurves, LevelScaleRaisesEveryPointIncludingTheFloor) {
  setup.response[10] = {0.0, 0.0};
  setup.levelScale = 6.0;
  prepare();
  EXPECT_EQ(curves.splMag[0][10], -94.0);
  EXPECT_EQ(curves.splMag[0][11], 6.0);
}

TEST_F(SplCurves, SmoothingAppliesToThePreparedLevels) {
  // 0 dB below index 500, 20 dB from it; 1/24 octave averages five points.
  for (int i = 500; i < kGridPoints; ++i) setup.response[i] = {10.0, 0.0};
  setup.smoothIndex = 1;
  prepare();
  const double expected[] = {0.0, 4.0, 8.0, 12.0, 16.0, 20.0};
  for (int k = 0; k < 6; ++k) EXPECT_NEAR(curves.splMag[0][497 + k], expected[k], 1e-12);
}

TEST_F(SplCurves, MergeApplySwitchesToTheStoredPartAboveTheTransition) {
  slots[3].response.fill(Complex(2.0, 0.0));
  merge.mergeShown = true;
  merge.storedSlot = 3;
  merge.transitionFreq = setup.freqGrid[500];
  prepare();  // preview only
  EXPECT_NEAR(curves.splMag[1][0], kDb4, 1e-12);
  EXPECT_EQ(setup.response[999], Complex(1.0, 0.0));

  prepare(true);
  EXPECT_EQ(setup.response[500], Complex(1.0, 0.0));  // exactly at the transition: lower
  EXPECT_EQ(setup.response[501], Complex(2.0, 0.0));

  setup.response.fill(Complex(1.0, 0.0));
  merge.transitionFreq = 500.0;  // between 497.7 Hz (499) and 502.3 Hz (500)
  prepare(true);
  EXPECT_EQ(setup.response[499], Complex(1.0, 0.0));
  EXPECT_EQ(setup.response[500], Complex(2.0, 0.0));
}

TEST_F(SplCurves, MergeApplyWithoutSlotTakesTheUpperPartUnweightedByTheLower) {
  // Lower part x2, upper part x1, both from the current response.
  merge.mergeShown = true;
  merge.lowerGain = 2.0;
  merge.computeMergeWeights(setup.freqGrid);
  prepare(true);
  EXPECT_NEAR(curves.splMag[1][800], 0.0, 1e-12);
  EXPECT_EQ(setup.response[100], Complex(2.0, 0.0));
  EXPECT_EQ(setup.response[800], Complex(1.0, 0.0));
}

TEST_F(SplCurves, AddModeSumsBothPassesAndApplyStoresTheSum) {
  slots[0].response.fill(Complex(0.0, 1.0));
  merge.mergeShown = true;
  merge.addMode = true;
  merge.storedSlot = 0;
  setup.levelScale = 1.0;
  prepare(true);
  // 1 + j: sqrt 2 at 45 degrees, plus the level scale carried by both passes.
  EXPECT_NEAR(curves.sumSplMag[600], 1.0 + kDb2, 1e-9);
  EXPECT_NEAR(curves.sumSplPhase[600], 45.0, 1e-9);
  EXPECT_EQ(setup.response[600], Complex(1.0, 1.0));
  EXPECT_NEAR(curves.dBTop, 1.0 + kDb2 + 1.0, 1e-9);  // the sum sets the top

  merge.storedSlot = -1;
  prepare(true);  // the current response, now 1 + j, added to itself
  EXPECT_EQ(setup.response[600], Complex(2.0, 2.0));
}

TEST_F(SplCurves, DisplayTopLooksOnlyInsideTheShownRange) {
  // Headroom 2.5 % of 40 dB = 1 dB, plus the offset 2.5 dB.
  setup.autoscaleOffset = 2.5;
  setup.response[100] = {100.0, 0.0};  // 12.6 Hz, below freqLow = 20 Hz
  setup.response[999] = {100.0, 0.0};  // 50 kHz, above freqHigh
  prepare();
  EXPECT_NEAR(curves.dBTop, 3.5, 1e-12);
  setup.response[500] = {10.0, 0.0};
  prepare();
  EXPECT_NEAR(curves.dBTop, 23.5, 1e-12);
  setup.freqLow = 30000.0;
  setup.freqHigh = 25000.0;
  prepare();
  EXPECT_NEAR(curves.dBTop, -996.5, 1e-12);
}

TEST(CurvePrep, StateFormLeavesTheCalibrationViewAlone) {
  auto state = std::make_unique<AppState>();
  state->curves.splMag[0].fill(-85.0);
  state->curves.dBTop = 7.0;
  state->calibrationView = true;
  prepareSplCurves(*state, false);
  EXPECT_EQ(state->curves.splMag[0][500], -85.0);
  EXPECT_EQ(state->curves.dBTop, 7.0);

  state->calibrationView = false;
  state->setup.response[500] = {10.0, 0.0};
  prepareSplCurves(*state, false);
  EXPECT_NEAR(state->curves.splMag[0][500], 20.0, 1e-12);
  EXPECT_NEAR(state->curves.dBTop, 21.0, 1e-12);  // 20 dB + 2.5 % of 40 dB
}

}  // namespace
