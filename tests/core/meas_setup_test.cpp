#include "setup/meas_setup.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(MeasSetup, ConstructionLoadsDefaults) {
  MeasSetup s;
  EXPECT_FALSE(s.twoChannel);
  EXPECT_EQ(s.sampleRate, 44100);
  EXPECT_EQ(s.sRateIndex, 6);
  EXPECT_EQ(s.mlsOrder, 13);
  EXPECT_EQ(s.mlsSize, 8192);
  EXPECT_EQ(s.mlsSizeStereo, 16384);
  EXPECT_EQ(s.delaySamples, 8820);
  EXPECT_EQ(s.bandSplitLow, 551);
  EXPECT_EQ(s.bandSplitHigh, 5513);
  EXPECT_EQ(s.freqLow, 20.0);
  EXPECT_EQ(s.freqHigh, 20000.0);
  EXPECT_EQ(s.winStart, 0);
  EXPECT_EQ(s.winLength, 8192);
  EXPECT_EQ(s.seriesR, 12.0);
  EXPECT_EQ(s.displayRange, 40.0);
  EXPECT_EQ(s.zMin, 1.0);
  EXPECT_EQ(s.zMax, 100.0);
  EXPECT_TRUE(s.micDataOff);
  EXPECT_FALSE(s.delayedStart);
  EXPECT_FALSE(s.hasResponse);
  EXPECT_EQ(s.title[0], '\0');
  for (const Complex& c : s.response) {
    ASSERT_EQ(c.re, 1.0001);
    ASSERT_EQ(c.im, 0.0);
  }
}

TEST(MeasSetup, SetDefaultsKeepsDelayedStart) {
  MeasSetup s;
  s.delayedStart = true;
  s.winLength = 100;
  s.setDefaults();
  EXPECT_TRUE(s.delayedStart);
  EXPECT_EQ(s.winLength, 8192);
}

TEST(MeasSetup, SampleRateDerivesSizes) {
  // Rate, bandSplitLow = trunc(0.0125 r + 0.5), bandSplitHigh = trunc(0.125 r + 0.5),
  // delaySamples = trunc(0.2 r), worked out by hand.
  struct Row { int index, rate, low, high, delay; };
  const Row rows[] = {{1, 8000, 100, 1000, 1600},    {2, 11025, 138, 1378, 2205},
                      {3, 16000, 200, 2000, 3200},   {4, 22050, 276, 2756, 4410},
                      {5, 32000, 400, 4000, 6400},   {6, 44100, 551, 5513, 8820},
                      {7, 48000, 600, 6000, 9600},   {8, 64000, 800, 8000, 12800},
                      {9, 88200, 1103, 11025, 17640}, {10, 96000, 1200, 12000, 19200}};
  MeasSetup s;
  for (const Row& r : rows) {
    s.setSampleRate(r.index);
    EXPECT_EQ(s.sampleRate, r.rate);
    EXPECT_EQ(s.sRateIndex, r.index);
    EXPECT_EQ(s.bandSplitLow, r.low) << r.rate;
    EXPECT_EQ(s.bandSplitHigh, r.high) << r.rate;
    EXPECT_EQ(s.delaySamples, r.delay) << r.rate;
  }
  // A custom rate (index 0) keeps the typed rate.
  s.sampleRate = 50000;
  s.setSampleRate(0);
  EXPECT_EQ(s.sampleRate, 50000);
  EXPECT_EQ(s.sRateIndex, 0);
  EXPECT_EQ(s.bandSplitLow, 625);
  EXPECT_EQ(s.bandSplitHigh, 6250);
  EXPECT_EQ(s.delaySamples, 10000);
}

TEST(MeasSetup, MlsOrderDerivesSizes) {
  MeasSetup s;
  for (int index = 0; index < 4; ++index) {
    s.setMlsOrder(index);
    EXPECT_EQ(s.mlsOrder, 12 + index);
    EXPECT_EQ(s.mlsSize, 1 << (12 + index));
    EXPECT_EQ(s.mlsSizeStereo, 2 << (12 + index));
  }
}

TEST(MeasSetup, FrequencyGridIsLogarithmic) {
  MeasSetup s;
  EXPECT_EQ(s.freqGrid[0], 5.0);
  EXPECT_NEAR(s.freqGrid[999], 50000.0, 50000.0 * 1e-15);
  EXPECT_NEAR(s.freqGrid[1], 5.04631, 1e-5);
  EXPECT_NEAR(s.freqGrid[500], 502.310, 1e-3);
  // Equal ratios: 999 steps over four decades.
  const double ratio = std::pow(10.0, 4.0 / 999.0);
  for (int i = 1; i < kGridPoints; ++i) {
    ASSERT_NEAR(s.freqGrid[i] / s.freqGrid[i - 1], ratio, 1e-13) << i;
  }
}

}  // namespace
