#include "app/view_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

namespace {

std::unique_ptr<AppState> freshState() { return std::make_unique<AppState>(); }

TEST(ViewState, FirstStartWithoutFiles) {
  auto s = freshState();
  const ViewState v = computeViewState(*s, false);
  EXPECT_TRUE(v.dBOffsetVisible);
  EXPECT_FALSE(v.showChVisible);  // no response yet
  EXPECT_FALSE(v.showChEnabled);  // one-channel mode
  EXPECT_TRUE(v.resetShowChannel);
  EXPECT_EQ(v.showChItem, 0);
  EXPECT_EQ(v.smoothItem, 0);
  EXPECT_FALSE(v.mergeLayoutApplies);
  EXPECT_TRUE(v.storeEnabled);
  EXPECT_TRUE(v.startEnabled);
  EXPECT_FALSE(v.showFreqPage);
  EXPECT_TRUE(v.hidePhaseVisible);
  EXPECT_TRUE(v.unCalibratedVisible);
  EXPECT_FALSE(v.customRateVisible);  // 44100 from the list
}

TEST(ViewState, ChannelChoice) {
  auto s = freshState();
  s->setup.showChannel = 2;
  s->setup.smoothIndex = 4;

  // One-channel mode always falls back to "Ch 1", disabled.
  ViewState v = computeViewState(*s, true);
  EXPECT_TRUE(v.resetShowChannel);
  EXPECT_EQ(v.showChItem, 0);
  EXPECT_FALSE(v.showChEnabled);
  EXPECT_EQ(v.smoothItem, 4);

  // Two-channel mode keeps the choice and enables it.
  s->setup.twoChannel = true;
  v = computeViewState(*s, true);
  EXPECT_FALSE(v.resetShowChannel);
  EXPECT_EQ(v.showChItem, 2);
  EXPECT_TRUE(v.showChEnabled);

  // Visibility: hidden without a response whatever it was, shown with an
  // SPL response, unchanged with an impedance response.
  EXPECT_FALSE(computeViewState(*s, true).showChVisible);
  s->setup.hasResponse = true;
  EXPECT_TRUE(computeViewState(*s, false).showChVisible);
  s->setup.impedanceMode = 1;
  EXPECT_TRUE(computeViewState(*s, true).showChVisible);
  EXPECT_FALSE(computeViewState(*s, false).showChVisible);
}

TEST(ViewState, MergePageLayout) {
  auto s = freshState();
  s->setup.twoChannel = true;
  s->mergeSetup.mergeShown = true;

  // Merge, SPL: everything shown, the lower group tall enough for the
  // baffle step.
  ViewState v = computeViewState(*s, false);
  EXPECT_TRUE(v.mergeLayoutApplies);
  EXPECT_STREQ(v.mergeLCaption, "Lower part");
  EXPECT_STREQ(v.mergeUCaption, "Upper part");
  EXPECT_TRUE(v.mergeFreqVisible);
  EXPECT_TRUE(v.mergeDelayVisible);
  EXPECT_EQ(v.mergeLGroupHeight, 129);
  EXPECT_STREQ(v.scalePostText, "dB");
  // While the page is open nothing may be stored, exported or started, and
  // the graph shows the frequency domain.
  EXPECT_FALSE(v.storeEnabled);
  EXPECT_FALSE(v.startEnabled);
  EXPECT_FALSE(v.showChEnabled);
  EXPECT_TRUE(v.showFreqPage);

  // Merge, impedance: no delays or baffle step, gains are plain factors.
  s->setup.impedanceMode = 1;
  v = computeViewState(*s, false);
  EXPECT_TRUE(v.mergeFreqVisible);
  EXPECT_FALSE(v.mergeDelayVisible);
  EXPECT_EQ(v.mergeLGroupHeight, 89);
  EXPECT_STREQ(v.scalePostText, "");

  // Add: no transition frequency, no delays, in either mode.
  s->mergeSetup.addMode = true;
  v = computeViewState(*s, false);
  EXPECT_STREQ(v.mergeLCaption, "Graph 1 (red)");
  EXPECT_STREQ(v.mergeUCaption, "Graph 2 (blue)");
  EXPECT_FALSE(v.mergeFreqVisible);
  EXPECT_FALSE(v.mergeDelayVisible);
  EXPECT_EQ(v.mergeLGroupHeight, 89);
  EXPECT_STREQ(v.scalePostText, "");
  s->setup.impedanceMode = 0;
  v = computeViewState(*s, false);
  EXPECT_FALSE(v.mergeDelayVisible);
  EXPECT_EQ(v.mergeLGroupHeight, 89);
  EXPECT_STREQ(v.scalePostText, "dB");

  // Leaving the page gives the controls back.
  s->mergeSetup.mergeShown = false;
  v = computeViewState(*s, false);
  EXPECT_FALSE(v.mergeLayoutApplies);
  EXPECT_TRUE(v.storeEnabled);
  EXPECT_TRUE(v.startEnabled);
  EXPECT_TRUE(v.showChEnabled);
  EXPECT_FALSE(v.showFreqPage);
}

TEST(ViewState, CalibrationView) {
  auto s = freshState();
  s->calibrationView = true;
  const ViewState v = computeViewState(*s, false);
  EXPECT_FALSE(v.dBOffsetVisible);
  EXPECT_FALSE(v.hidePhaseVisible);
  EXPECT_TRUE(v.mergeLayoutApplies);
  EXPECT_FALSE(v.startEnabled);
  EXPECT_FALSE(v.storeEnabled);
  EXPECT_TRUE(v.showFreqPage);
  // The offset entry is SPL-only as well.
  s->calibrationView = false;
  s->setup.impedanceMode = 1;
  EXPECT_FALSE(computeViewState(*s, false).dBOffsetVisible);
}

TEST(ViewState, UncalibratedWarningFollowsModeRateAndLength) {
  auto s = freshState();
  // 44100 Hz (index 6), 8192 (index 1), SPL.
  s->soundcardCal.calibratedFlags[0][6][1] = true;
  EXPECT_FALSE(computeViewState(*s, false).unCalibratedVisible);

  s->setup.setSampleRate(7);
  EXPECT_TRUE(computeViewState(*s, false).unCalibratedVisible);
  s->setup.setSampleRate(6);
  s->setup.setMlsOrder(2);
  EXPECT_TRUE(computeViewState(*s, false).unCalibratedVisible);
  s->setup.setMlsOrder(1);
  s->setup.impedanceMode = 1;
  EXPECT_TRUE(computeViewState(*s, false).unCalibratedVisible);
  s->soundcardCal.calibratedFlags[1][6][1] = true;
  EXPECT_FALSE(computeViewState(*s, false).unCalibratedVisible);

  // Indices outside the table count as uncalibrated, never read past it.
  s->setup.sRateIndex = 11;
  EXPECT_TRUE(computeViewState(*s, false).unCalibratedVisible);
  s->setup.sRateIndex = 6;
  s->setup.mlsOrder = 16;
  EXPECT_TRUE(computeViewState(*s, false).unCalibratedVisible);
}

TEST(ViewState, CustomRateEntryOnlyForCustom) {
  auto s = freshState();
  s->setup.sampleRate = 50000;
  s->setup.setSampleRate(0);
  EXPECT_TRUE(computeViewState(*s, false).customRateVisible);
  s->setup.setSampleRate(1);
  EXPECT_FALSE(computeViewState(*s, false).customRateVisible);
}

// Calibration curves: channel 1 at gain 0.5 (-6.0206 dB), channel 2 at
// gain 2 (+6.0206 dB) with one point of gain 100 (+40 dB) at 5 Hz, outside
// the shown 20 Hz .. 20 kHz. dBTop = the largest shown level + 40 * 0.025.
TEST(CalDisplay, LevelsAndTopOfTheCurrentEntry) {
  auto s = freshState();
  auto& entry = s->soundcardCal.table[0][6][1];
  entry[0].fill(Complex(0.5, 0.0));
  entry[1].fill(Complex(0.0, 2.0));
  entry[1][0] = Complex(100.0, 0.0);
  const double minus6 = 20.0 * std::log10(0.5);  // -6.0206

  recomputeCalDisplay(*s, 0.0);
  EXPECT_NEAR(s->curves.splMag[0][500], -6.0206, 1e-4);
  EXPECT_NEAR(s->curves.splMag[1][500], 6.0206, 1e-4);
  EXPECT_NEAR(s->curves.splMag[1][0], 40.0, 1e-12);
  EXPECT_NEAR(s->curves.dBTop, -minus6 + 1.0, 1e-12);

  // The page change shows them 85 dB lower, same shape.
  recomputeCalDisplay(*s, -85.0);
  EXPECT_NEAR(s->curves.splMag[0][500], minus6 - 85.0, 1e-12);
  EXPECT_NEAR(s->curves.splMag[1][0], -45.0, 1e-12);
  EXPECT_NEAR(s->curves.dBTop, -minus6 - 85.0 + 1.0, 1e-12);

  // Widening the shown range to 5 Hz takes the 40 dB point into the top.
  s->setup.freqLow = 5.0;
  recomputeCalDisplay(*s, 0.0);
  EXPECT_NEAR(s->curves.dBTop, 41.0, 1e-12);

  // An uncalibrated entry is flat at 0 dB: top = 0 + 1.
  s->setup.setSampleRate(7);
  recomputeCalDisplay(*s, 0.0);
  EXPECT_NEAR(s->curves.splMag[0][123], 0.0, 1e-15);
  EXPECT_NEAR(s->curves.dBTop, 1.0, 1e-15);
}

}  // namespace
