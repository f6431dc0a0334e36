#include "store/slots.h"
#include "app/slot_ops.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "analysis/curve_prep.h"
#include "display/curve_drawing.h"
#include "app/curve_ops.h"
#include "app/app_state.h"

namespace {

std::unique_ptr<AppState> freshState() { return std::make_unique<AppState>(); }

void fillResponse(MeasSetup& m, Complex value) { m.response.fill(value); }

// A live record whose stored fields and whose display settings all differ
// from the defaults.
void makeDistinctLive(MeasSetup& m) {
  m.invertPolarity = true;
  m.showChannel = 2;
  m.impedanceMode = 1;
  m.autoscaleOffset = -7.5;
  for (int i = 0; i < kGridPoints; ++i) m.response[i] = Complex(i * 0.5, -i * 0.25);
  std::strcpy(m.title, "Woofer, near field");
  m.smoothIndex = 4;
  m.displayRange = 65.0;
  m.levelScale = 3.0;
  m.freqLow = 100.0;
  m.freqHigh = 3000.0;
  m.zMin = 0.5;
  m.zMax = 500.0;
  m.twoChannel = true;
  m.hasResponse = true;
}

// Pressing a store button before any measurement, or with a slot number no
// button has, changes nothing.
TEST(Slots, StoreWithoutValidResponseIsIgnored) {
  auto s = freshState();
  makeDistinctLive(s->setup);
  s->responseValid = false;
  EXPECT_FALSE(storeSlot(*s, 3));
  const MeasSetup& slot = s->slots[2];
  EXPECT_FALSE(slot.hasResponse);
  EXPECT_STREQ(slot.title, "");
  EXPECT_EQ(slot.impedanceMode, 0);
  for (int i = 0; i < kGridPoints; ++i) ASSERT_EQ(slot.response[i], Complex(1.0001, 0.0)) << i;

  s->responseValid = true;
  EXPECT_FALSE(storeSlot(*s, 0));
  EXPECT_FALSE(storeSlot(*s, 9));
  for (const MeasSetup& other : s->slots) EXPECT_FALSE(other.hasResponse);
}

// A store copies the slot fields and marks the slot (the rate: see
// SlotKeepsTheRateOfItsResponse); the display settings
// of the slot keep their defaults, and the live record is untouched.
TEST(Slots, StoreCopiesTheSlotFieldsOnly) {
  auto s = freshState();
  makeDistinctLive(s->setup);
  s->responseValid = true;
  ASSERT_TRUE(storeSlot(*s, 8));

  const MeasSetup fresh;
  const MeasSetup& slot = s->slots[7];
  EXPECT_TRUE(slot.hasResponse);
  EXPECT_TRUE(slot.invertPolarity);
  EXPECT_EQ(slot.showChannel, 2);
  EXPECT_EQ(slot.impedanceMode, 1);
  EXPECT_EQ(slot.autoscaleOffset, -7.5);
  EXPECT_STREQ(slot.title, "Woofer, near field");
  for (int i = 0; i < kGridPoints; ++i) {
    ASSERT_EQ(slot.response[i], Complex(i * 0.5, -i * 0.25)) << i;
  }
  EXPECT_EQ(slot.smoothIndex, fresh.smoothIndex);
  EXPECT_EQ(slot.displayRange, fresh.displayRange);
  EXPECT_EQ(slot.levelScale, fresh.levelScale);
  EXPECT_EQ(slot.freqLow, fresh.freqLow);
  EXPECT_EQ(slot.freqHigh, fresh.freqHigh);
  EXPECT_EQ(slot.zMin, fresh.zMin);
  EXPECT_EQ(slot.twoChannel, fresh.twoChannel);
  // Other slots stay empty.
  for (int k = 0; k < 7; ++k) EXPECT_FALSE(s->slots[k].hasResponse) << k;
  EXPECT_TRUE(s->setup.hasResponse);
}

// The title travels as a terminated string of at most 199 characters, even
// from a record whose title lost its terminator.
TEST(Slots, TitleCopyIsBounded) {
  MeasSetup src, dst;
  std::memset(src.title, 'x', kTitleCapacity);  // no terminator at all
  std::memset(dst.title, 'y', kTitleCapacity);
  copySlotFields(src, dst);
  EXPECT_EQ(std::string(dst.title), std::string(kTitleCapacity - 1, 'x'));

  std::strcpy(src.title, "ab");
  copySlotFields(src, dst);
  EXPECT_STREQ(dst.title, "ab");
}

// A recall makes the slot the live result: its fields come back, the live
// record has no impulse response, the graph shows a measurement, and the
// settings that are not stored stay as they were. responseValid is kept,
// whichever way it was.
TEST(Slots, RecallMakesTheSlotLive) {
  auto s = freshState();
  makeDistinctLive(s->setup);
  s->setup.impedanceMode = 0;
  s->responseValid = true;
  ASSERT_TRUE(storeSlot(*s, 2));

  MeasSetup& live = s->setup;
  live.invertPolarity = false;
  live.showChannel = 0;
  live.autoscaleOffset = 12.0;
  fillResponse(live, Complex(3.0, 4.0));
  std::strcpy(live.title, "later");
  live.smoothIndex = 1;
  live.displayRange = 20.0;

  for (bool valid : {true, false}) {
    s->responseValid = valid;
    s->measurementShown = false;
    live.hasResponse = true;
    GainEntrySetup gains;
    ASSERT_TRUE(recallSlot(*s, 2, gains));
    EXPECT_TRUE(live.invertPolarity);
    EXPECT_EQ(live.showChannel, 2);
    EXPECT_EQ(live.impedanceMode, 0);
    EXPECT_EQ(live.autoscaleOffset, -7.5);
    EXPECT_STREQ(live.title, "Woofer, near field");
    for (int i = 0; i < kGridPoints; ++i) {
      ASSERT_EQ(live.response[i], Complex(i * 0.5, -i * 0.25)) << i;
    }
    EXPECT_FALSE(live.hasResponse);
    EXPECT_TRUE(s->measurementShown);
    EXPECT_EQ(s->responseValid, valid);
    EXPECT_EQ(live.smoothIndex, 1);
    EXPECT_EQ(live.displayRange, 20.0);
    EXPECT_TRUE(s->slots[1].hasResponse);
  }
}

// A slot that was never stored, or a number no button has, is not recalled.
TEST(Slots, RecallOfEmptySlotChangesNothing) {
  auto s = freshState();
  fillResponse(s->setup, Complex(2.0, 0.0));
  s->setup.hasResponse = true;
  GainEntrySetup gains;
  for (int n : {0, 1, 5, 9}) EXPECT_FALSE(recallSlot(*s, n, gains)) << n;
  EXPECT_TRUE(s->setup.hasResponse);
  EXPECT_FALSE(s->measurementShown);
  EXPECT_EQ(s->setup.response[0], Complex(2.0, 0.0));
}

// The merge gain entries follow the recalled type: factors for impedance,
// dB for SPL. The weights use the gains those entries show: a factor of 2
// entered for impedance gives way to the 0 dB (factor 1) the SPL entry shows.
TEST(Slots, RecallBindsTheMergeGainsToTheRecalledType) {
  auto s = freshState();
  MergeSetup& g = s->mergeSetup;
  s->responseValid = true;

  s->setup.impedanceMode = 1;
  ASSERT_TRUE(storeSlot(*s, 1));  // an impedance curve
  s->setup.impedanceMode = 0;
  ASSERT_TRUE(storeSlot(*s, 2));  // an SPL curve

  // In SPL mode, recall the impedance curve: gains as factors, unchanged.
  g.lowerGainDb = -6.0;
  g.updateMergeGains(false);
  GainEntrySetup gains;
  ASSERT_TRUE(recallSlot(*s, 1, gains));
  EXPECT_EQ(s->setup.impedanceMode, 1);
  EXPECT_STREQ(gains.format, "%2.3f");
  EXPECT_EQ(gains.minValue, 0.001);
  EXPECT_EQ(gains.maxValue, 100.0);
  EXPECT_EQ(gains.step, 1.05);
  EXPECT_EQ(gains.ctrlStep, 1.2);
  EXPECT_EQ(gains.stepMode, GainStepMode::multiply);
  EXPECT_EQ(gains.lowerRef, &g.lowerGain);
  EXPECT_EQ(gains.upperRef, &g.upperGain);
  EXPECT_NEAR(g.lowerGain, 0.501187, 1e-6);  // 10^(-0.3)

  // The user enters factor 2 for the impedance; then the SPL curve comes back.
  g.lowerGain = 2.0;
  g.lowerGainDb = 0.0;
  ASSERT_TRUE(recallSlot(*s, 2, gains));
  EXPECT_EQ(s->setup.impedanceMode, 0);
  EXPECT_STREQ(gains.format, "%2.1f");
  EXPECT_EQ(gains.minValue, -200.0);
  EXPECT_EQ(gains.maxValue, 200.0);
  EXPECT_EQ(gains.step, 0.2);
  EXPECT_EQ(gains.ctrlStep, 10.0);
  EXPECT_EQ(gains.stepMode, GainStepMode::add);
  EXPECT_EQ(gains.lowerRef, &g.lowerGainDb);
  EXPECT_EQ(gains.upperRef, &g.upperGainDb);
  EXPECT_EQ(g.lowerGain, 1.0);
  for (int i : {0, 500, 999}) EXPECT_EQ(g.weights[0][i], Complex(1.0, 0.0)) << i;
}

// A stored slot is the upper part of a merge: after Apply the points above
// the transition come from the slot, those at or below it from the live
// curve. A never-stored slot contributes its flat 1.0001.
TEST(Slots, StoredSlotFeedsTheMerge) {
  auto s = freshState();
  MergeSetup& g = s->mergeSetup;
  s->responseValid = true;
  fillResponse(s->setup, Complex(2.0, 0.0));
  ASSERT_TRUE(storeSlot(*s, 3));
  fillResponse(s->setup, Complex(0.5, 0.0));

  g.mergeShown = true;
  g.addMode = false;
  g.storedSlot = 2;  // list item "3"
  g.computeMergeWeights(s->setup.freqGrid);
  prepareSplCurves(*s, true);
  for (int i = 0; i < kGridPoints; ++i) {
    const double expected = s->setup.freqGrid[i] <= 500.0 ? 0.5 : 2.0;
    ASSERT_NEAR(s->setup.response[i].re, expected, 1e-12) << i;
    ASSERT_NEAR(s->setup.response[i].im, 0.0, 1e-12) << i;
  }

  fillResponse(s->setup, Complex(0.5, 0.0));
  g.mergeShown = true;
  g.storedSlot = 6;  // never stored
  prepareSplCurves(*s, true);
  EXPECT_NEAR(s->setup.response[999].re, 1.0001, 1e-12);
  EXPECT_NEAR(s->setup.response[0].re, 0.5, 1e-12);
}

// A slot keeps the rate its response was measured at: stored from a 96 kHz
// measurement it stays 96000 while the live record measures at 44.1 kHz, a
// recall brings it back to the live record, and a merge draws the slot's
// curve by it. Curves measured at 96 kHz reach grid point 994 (47747 Hz:
// j < 999 / 4 * log10(9600) = 994.6).
TEST(Slots, SlotKeepsTheRateOfItsResponse) {
  auto s = freshState();
  s->responseValid = true;
  s->setup.setSampleRate(10);  // 96000
  s->setup.responseRate = 96000;
  ASSERT_TRUE(storeSlot(*s, 4));
  EXPECT_EQ(s->slots[3].responseRate, 96000);
  EXPECT_EQ(s->slots[0].responseRate, 0);  // never stored

  s->setup.setSampleRate(6);  // 44100
  s->setup.responseRate = 44100;
  EXPECT_EQ(s->slots[3].responseRate, 96000);
  EXPECT_EQ(storedCurveRate(s->setup, s->slots, 3), 96000);
  EXPECT_EQ(storedCurveRate(s->setup, s->slots, -1), 44100);

  GainEntrySetup gains;
  ASSERT_TRUE(recallSlot(*s, 4, gains));
  EXPECT_EQ(s->setup.responseRate, 96000);
  EXPECT_EQ(s->setup.sampleRate, 44100);  // the live rate is a setting, not stored
  EXPECT_EQ(measuredGridPoints(s->setup.freqGrid, s->setup.responseRate), 995);

  // The copy itself, both ways, including a record with no rate.
  MeasSetup src, dst;
  src.responseRate = 8000;
  dst.responseRate = 48000;
  copySlotFields(src, dst);
  EXPECT_EQ(dst.responseRate, 8000);
  src.responseRate = 0;
  copySlotFields(src, dst);
  EXPECT_EQ(dst.responseRate, 0);
}

}  // namespace
