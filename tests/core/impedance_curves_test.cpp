#include "analysis/impedance_curves.h"
#include "app/curve_ops.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>

#include "alloc_counter.h"
#include "analysis/measurement_mode.h"
#include "app/app_state.h"
#include "setup/impedance_range.h"

namespace {

constexpr double kDeg = 180.0 / std::numbers::pi;
// 6 + 8j ohm: 10 ohm at atan(8/6) = 53.1301024 degrees.
constexpr double kPhase68 = 53.13010235415598;

Complex polar(double ohm, double degrees) {
  return {ohm * std::cos(degrees / kDeg), ohm * std::sin(degrees / kDeg)};
}

// The inputs of a preparation, held by the fixture.
class ImpedancePrep : public ::testing::Test {
 protected:
  void SetUp() override {
    setup.impedanceMode = 1;
    setup.response.fill(Complex(5.0, 0.0));
    merge.computeMergeWeights(setup.freqGrid);
  }
  void prepare(bool apply = false) {
    prepareImpedanceCurves(setup, slots, merge, curves, apply);
  }
  MeasSetup setup;
  std::array<MeasSetup, 10> slots;
  MergeSetup merge;
  DisplayCurves curves;
};

TEST_F(ImpedancePrep, MagnitudeAndPhaseOfKnownImpedances) {
  struct Case {
    Complex z;
    double ohm, degrees;
  };
  const Case cases[] = {
      {{12.0, 0.0}, 12.0, 0.0},         {{6.0, 8.0}, 10.0, kPhase68},
      {{6.0, -8.0}, 10.0, -kPhase68},   {{0.0, 5.0}, 5.0, 90.0},
      {{-4.0, -3.0}, 5.0, -143.13010235415598},  // -(180 - atan(3/4))
      {{0.0, 0.0}, 0.0, 0.0},           {{1e-12, 1e-12}, std::sqrt(2.0) * 1e-12, 45.0},
  };
  for (int k = 0; k < 7; ++k) setup.response[100 * k] = cases[k].z;
  curves.zMag[1].fill(-1.0);
  curves.sumZMag.fill(-2.0);
  curves.dBTop = 7.0;
  prepare();
  for (int k = 0; k < 7; ++k) {
    EXPECT_NEAR(curves.zMag[0][100 * k], cases[k].ohm, 1e-12 * cases[k].ohm) << k;
    EXPECT_NEAR(curves.zPhase[0][100 * k], cases[k].degrees, 1e-9) << k;
  }
  // Without the Merge/Add page only pass 0 runs; the rest is left as it was.
  EXPECT_EQ(curves.zMag[1][300], -1.0);
  EXPECT_EQ(curves.sumZMag[300], -2.0);
  EXPECT_EQ(curves.dBTop, 7.0);
  EXPECT_EQ(setup.response[100], Complex(6.0, 8.0));
}

TEST_F(ImpedancePrep, SmoothingIsAFivePointMeanOnlyWhenChosen) {
  setup.response[500] = {10.0, 0.0};
  setup.response[0] = {10.0, 0.0};
  setup.response[800] = polar(5.0, 30.0);
  prepare();
  EXPECT_EQ(curves.zMag[0][500], 10.0);
  EXPECT_EQ(curves.zMag[0][499], 5.0);

  setup.impedanceSmooth = true;
  prepare();
  // One 10 ohm point on 5 ohm: (4 * 5 + 10) / 5 = 6 at the point and two on
  // each side, 5 further out.
  for (int m = 497; m <= 503; ++m)
    EXPECT_NEAR(curves.zMag[0][m], (m >= 498 && m <= 502) ? 6.0 : 5.0, 1e-12) << m;
  // At the start of the grid the window holds only 3, 4, then 5 points.
  EXPECT_NEAR(curves.zMag[0][0], 20.0 / 3.0, 1e-12);
  EXPECT_NEAR(curves.zMag[0][1], 25.0 / 4.0, 1e-12);
  EXPECT_NEAR(curves.zMag[0][2], 6.0, 1e-12);
  // The phase is averaged the same way: 30 degrees in one point gives 6.
  EXPECT_NEAR(curves.zPhase[0][798], 6.0, 1e-9);
  EXPECT_NEAR(curves.zPhase[0][803], 0.0, 1e-9);
}

TEST_F(ImpedancePrep, PhaseIsAveragedWithoutUnwrapping) {
  // Around 170 degrees a single point at -170 pulls the plain mean down to
  // (4 * 170 - 170) / 5 = 102 instead of following the curve over 180.
  setup.response.fill(polar(4.0, 170.0));
  setup.response[600] = polar(4.0, -170.0);
  setup.impedanceSmooth = true;
  prepare();
  EXPECT_NEAR(curves.zPhase[0][600], 102.0, 1e-9);
  EXPECT_NEAR(curves.zPhase[0][602], 102.0, 1e-9);
  EXPECT_NEAR(curves.zMag[0][600], 4.0, 1e-12);
}

TEST_F(ImpedancePrep, MergePassesScaleByTheWeightMagnitudeOnly) {
  setup.response.fill(Complex(6.0, 8.0));
  slots[3].response.fill(Complex(20.0, 0.0));
  merge.mergeShown = true;
  merge.storedSlot = 3;
  merge.lowerGain = 2.0;
  merge.lowerDelay = 100e-6;
  merge.baffleFreq = 400.0;
  merge.upperGain = 0.5;
  merge.upperDelay = 1e-3;
  merge.computeMergeWeights(setup.freqGrid);
  prepare();
  for (int i = 0; i < kGridPoints; i += 37) {
    // |0.5 (1 + 2jx) / (1 + jx)| = 0.5 sqrt((1 + 4x^2) / (1 + x^2)), x = (f / 400)^2.
    const double x = std::pow(setup.freqGrid[i] / 400.0, 2);
    const double baffle = 0.5 * std::sqrt((1.0 + 4.0 * x * x) / (1.0 + x * x));
    EXPECT_NEAR(curves.zMag[0][i], 2.0 * baffle * 10.0, 1e-9) << i;
    EXPECT_NEAR(curves.zPhase[0][i], kPhase68, 1e-9) << i;
    EXPECT_NEAR(curves.zMag[1][i], 10.0, 1e-12) << i;
    EXPECT_NEAR(curves.zPhase[1][i], 0.0, 1e-9) << i;
  }

  // No slot: the upper pass shows the current response, scaled by its own gain.
  merge.storedSlot = -1;
  prepare();
  EXPECT_NEAR(curves.zMag[1][500], 5.0, 1e-12);
  EXPECT_NEAR(curves.zPhase[1][500], kPhase68, 1e-9);
}

TEST_F(ImpedancePrep, AddModeSumsTheShownPassesAsComplexValues) {
  // Default gains, no slot: the current curve added to itself.
  setup.response.fill(Complex(6.0, 8.0));
  merge.mergeShown = true;
  merge.addMode = true;
  merge.lowerDelay = 1e-3;  // delays do not act on impedance curves
  merge.computeMergeWeights(setup.freqGrid);
  prepare();
  for (int i = 0; i < kGridPoints; i += 111) {
    EXPECT_NEAR(curves.sumZMag[i], 2.0 * curves.zMag[0][i], 1e-9) << i;
    EXPECT_NEAR(curves.sumZMag[i], 20.0, 1e-9) << i;
    EXPECT_NEAR(curves.sumZPhase[i], kPhase68, 1e-9) << i;
  }

  // (6 + 8j) + 0.5 (6 - 8j) = 9 + 4j.
  slots[1].response.fill(Complex(6.0, -8.0));
  merge.storedSlot = 1;
  merge.upperGain = 0.5;
  merge.computeMergeWeights(setup.freqGrid);
  prepare();
  EXPECT_NEAR(curves.sumZMag[400], std::sqrt(97.0), 1e-9);
  EXPECT_NEAR(curves.sumZPhase[400], std::atan2(4.0, 9.0) * kDeg, 1e-9);

  // The sum is made of the smoothed passes: 5 ohm plus a smoothed single
  // 10 ohm point gives 5 + 6 = 11 next to the point, not 10.
  setup.response.fill(Complex(5.0, 0.0));
  setup.response[500] = {10.0, 0.0};
  slots[1].response.fill(Complex(10.0, 0.0));
  setup.impedanceSmooth = true;
  prepare();
  EXPECT_NEAR(curves.sumZMag[499], 11.0, 1e-9);
  EXPECT_NEAR(curves.sumZMag[500], 11.0, 1e-9);
  EXPECT_NEAR(curves.sumZMag[496], 10.0, 1e-9);
}

TEST_F(ImpedancePrep, ApplyWritesTheWeightedResultBeforeSmoothing) {
  // Merge: lower part x2 up to the transition, the slot x0.5 above it; the
  // delays rotate nothing.
  setup.response.fill(Complex(10.0, 0.0));
  setup.response[200] = {30.0, 0.0};
  slots[2].response.fill(Complex(0.0, 20.0));
  merge.mergeShown = true;
  merge.storedSlot = 2;
  merge.lowerGain = 2.0;
  merge.upperGain = 0.5;
  merge.lowerDelay = 1e-4;
  merge.upperDelay = -3e-4;
  merge.transitionFreq = 500.0;  // between 497.7 Hz (499) and 502.3 Hz (500)
  merge.computeMergeWeights(setup.freqGrid);
  setup.impedanceSmooth = true;
  prepare();
  EXPECT_EQ(setup.response[499], Complex(10.0, 0.0));  // a preview changes nothing

  prepare(true);
  EXPECT_NEAR(setup.response[199].re, 20.0, 1e-12);
  EXPECT_NEAR(setup.response[200].re, 60.0, 1e-12);  // not smoothed
  EXPECT_NEAR(setup.response[499].re, 20.0, 1e-12);
  EXPECT_NEAR(setup.response[499].im, 0.0, 1e-12);
  EXPECT_NEAR(setup.response[500].re, 0.0, 1e-12);
  EXPECT_NEAR(setup.response[500].im, 10.0, 1e-12);

  // A point exactly at the transition frequency stays with the lower part.
  setup.response.fill(Complex(10.0, 0.0));
  merge.transitionFreq = setup.freqGrid[300];
  prepare(true);
  EXPECT_NEAR(setup.response[300].re, 20.0, 1e-12);
  EXPECT_NEAR(setup.response[301].im, 10.0, 1e-12);

  // Without a slot the upper part is the current response with only its own
  // gain: x3 above the transition, not x2 x3.
  setup.response.fill(Complex(10.0, 0.0));
  merge.storedSlot = -1;
  merge.upperGain = 3.0;
  merge.computeMergeWeights(setup.freqGrid);
  prepare(true);
  EXPECT_NEAR(setup.response[100].re, 20.0, 1e-12);
  EXPECT_NEAR(setup.response[900].re, 30.0, 1e-12);

  // Add with default gains and no slot doubles the response.
  setup.response.fill(Complex(6.0, 8.0));
  merge = MergeSetup{};
  merge.mergeShown = true;
  merge.addMode = true;
  merge.computeMergeWeights(setup.freqGrid);
  prepare(true);
  for (int i = 0; i < kGridPoints; i += 99) {
    EXPECT_NEAR(setup.response[i].re, 12.0, 1e-12) << i;
    EXPECT_NEAR(setup.response[i].im, 16.0, 1e-12) << i;
  }
}

TEST(ImpedancePrepState, StateFormPreparesFromTheLiveRecordWithoutAllocating) {
  auto state = std::make_unique<AppState>();
  state->setup.impedanceMode = 1;
  state->setup.response.fill(Complex(8.0, 0.0));
  state->slots[0].response.fill(Complex(0.0, 4.0));
  state->mergeSetup.mergeShown = true;
  state->mergeSetup.addMode = true;
  state->mergeSetup.storedSlot = 0;
  state->mergeSetup.computeMergeWeights(state->setup.freqGrid);
  state->setup.impedanceSmooth = true;
  const std::size_t before = allocationCount();
  prepareImpedanceCurves(*state, true);
  EXPECT_EQ(allocationCount(), before);
  // 8 + 4j: sqrt(80) ohm at atan(1/2).
  EXPECT_NEAR(state->curves.zMag[0][700], 8.0, 1e-12);
  EXPECT_NEAR(state->curves.zPhase[1][700], 90.0, 1e-9);
  EXPECT_NEAR(state->curves.sumZMag[700], std::sqrt(80.0), 1e-9);
  EXPECT_NEAR(state->curves.sumZPhase[700], std::atan(0.5) * kDeg, 1e-9);
  EXPECT_EQ(state->setup.response[700], Complex(8.0, 4.0));
}

TEST(ImpedanceRange, TablesTextsAndIndices) {
  const char* minTexts[] = {"0.1", "0.2", "0.5", "1.0", "2.0", "5.0", "10.0"};
  const char* maxTexts[] = {"20", "50", "100", "200", "500", "1000"};
  ASSERT_EQ(zMinChoices.size(), 7u);
  ASSERT_EQ(zMaxChoices.size(), 6u);
  for (int i = 0; i < 7; ++i) {
    EXPECT_STREQ(zMinText(zMinChoices[i]).text, minTexts[i]) << i;
    EXPECT_EQ(zMinIndex(zMinChoices[i]), i);
  }
  for (int i = 0; i < 6; ++i) {
    EXPECT_STREQ(zMaxText(zMaxChoices[i]).text, maxTexts[i]) << i;
    EXPECT_EQ(zMaxIndex(zMaxChoices[i]), i);
  }
  EXPECT_EQ(zMinIndex(0.3), -1);
  EXPECT_EQ(zMinIndex(20.0), -1);
  EXPECT_EQ(zMaxIndex(10.0), -1);
  EXPECT_EQ(zMaxIndex(std::nan("")), -1);
  // A value too wide for an item text is cut, not overrun.
  EXPECT_EQ(std::strlen(zMaxText(1e30).text), ZRangeText::kCapacity - 1u);
}

TEST(ImpedanceRange, ChoosingListItems) {
  MeasSetup s;
  EXPECT_TRUE(chooseImpedanceRange(s, 6, 0));
  EXPECT_EQ(s.zMin, 10.0);
  EXPECT_EQ(s.zMax, 20.0);
  EXPECT_TRUE(chooseImpedanceRange(s, 3, 2));
  EXPECT_EQ(s.zMin, 1.0);
  EXPECT_EQ(s.zMax, 100.0);
  // Typed text that is no item leaves its edge; the other one still counts.
  EXPECT_TRUE(chooseImpedanceRange(s, -1, 5));
  EXPECT_EQ(s.zMin, 1.0);
  EXPECT_EQ(s.zMax, 1000.0);
  EXPECT_TRUE(chooseImpedanceRange(s, 0, -1));
  EXPECT_EQ(s.zMin, 0.1);
  EXPECT_EQ(s.zMax, 1000.0);
  EXPECT_FALSE(chooseImpedanceRange(s, -1, -1));
  EXPECT_FALSE(chooseImpedanceRange(s, 7, 6));
  EXPECT_EQ(s.zMin, 0.1);
  EXPECT_EQ(s.zMax, 1000.0);
}

TEST(MeasurementMode, SwitchSetsTheModeAndDropsOnlyTheShownResult) {
  auto state = std::make_unique<AppState>();
  state->setup.response.fill(Complex(3.0, 1.0));
  state->slots[2].response.fill(Complex(7.0, 0.0));
  state->slots[2].hasResponse = true;
  for (bool impedance : {true, false}) {
    state->measurementShown = state->responseValid = state->setup.hasResponse = true;
    switchMeasurementMode(*state, impedance);
    EXPECT_EQ(state->setup.impedanceMode, impedance ? 1 : 0);
    EXPECT_FALSE(state->measurementShown);
    EXPECT_FALSE(state->responseValid);
    EXPECT_FALSE(state->setup.hasResponse);
    EXPECT_EQ(state->setup.response[500], Complex(3.0, 1.0));
    EXPECT_EQ(state->slots[2].response[500], Complex(7.0, 0.0));
    EXPECT_TRUE(state->slots[2].hasResponse);
  }
}

TEST(MeasurementMode, GainEntriesEditTheFieldsOfTheMode) {
  auto state = std::make_unique<AppState>();
  MergeSetup& m = state->mergeSetup;
  m.lowerGainDb = -6.0;
  m.upperGainDb = 3.5;

  const GainEntrySetup z = switchMeasurementMode(*state, true);
  EXPECT_STREQ(z.format, "%2.3f");
  EXPECT_EQ(z.minValue, 0.001);
  EXPECT_EQ(z.maxValue, 100.0);
  EXPECT_EQ(z.step, 1.05);
  EXPECT_EQ(z.ctrlStep, 1.2);
  EXPECT_EQ(z.stepMode, GainStepMode::multiply);
  EXPECT_EQ(z.lowerRef, &m.lowerGain);
  EXPECT_EQ(z.upperRef, &m.upperGain);

  *z.lowerRef = 4.0;  // typed into the entry in impedance mode
  const GainEntrySetup spl = switchMeasurementMode(*state, false);
  EXPECT_STREQ(spl.format, "%2.1f");
  EXPECT_EQ(spl.minValue, -200.0);
  EXPECT_EQ(spl.maxValue, 200.0);
  EXPECT_EQ(spl.step, 0.2);
  EXPECT_EQ(spl.ctrlStep, 10.0);
  EXPECT_EQ(spl.stepMode, GainStepMode::add);
  EXPECT_EQ(spl.lowerRef, &m.lowerGainDb);
  EXPECT_EQ(spl.upperRef, &m.upperGainDb);
  EXPECT_EQ(m.lowerGainDb, -6.0);
  EXPECT_EQ(m.upperGainDb, 3.5);
}

TEST(MeasurementMode, WeightsFollowTheGainsTheNewModeShows) {
  auto state = std::make_unique<AppState>();
  MergeSetup& m = state->mergeSetup;
  const RealCurve& grid = state->setup.freqGrid;
  // 6.02 dB and -20 dB entered in SPL mode: factors 2 and 0.1.
  m.lowerGainDb = 20.0 * std::log10(2.0);
  m.upperGainDb = -20.0;
  m.updateMergeGains(false);
  m.computeMergeWeights(grid);

  // The impedance entries show those factors, and the weights agree.
  switchMeasurementMode(*state, true);
  EXPECT_NEAR(m.lowerGain, 2.0, 1e-12);
  EXPECT_NEAR(abs(m.weights[0][500]), 2.0, 1e-12);
  EXPECT_NEAR(abs(m.weights[1][500]), 0.1, 1e-12);

  // A factor of 5 entered in impedance mode (weights recomputed as the entry
  // does) must not follow the curve back into SPL mode, where the entry still
  // reads 6.02 dB.
  m.lowerGain = 5.0;
  m.computeMergeWeights(grid);
  switchMeasurementMode(*state, false);
  EXPECT_NEAR(m.lowerGain, 2.0, 1e-12);
  EXPECT_NEAR(abs(m.weights[0][500]), 2.0, 1e-12);
  EXPECT_NEAR(abs(m.weights[1][999]), 0.1, 1e-12);

  // Without any SPL entry since, the impedance weights take the factor as it
  // stands, whatever the dB fields hold.
  m.lowerGainDb = 40.0;
  m.lowerGain = 0.25;
  switchMeasurementMode(*state, true);
  EXPECT_NEAR(abs(m.weights[0][0]), 0.25, 1e-12);
}

}  // namespace
