#include "engine/mls.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <vector>

#include "setup/meas_setup.h"

namespace {

std::unique_ptr<MlsTables> tablesFor(int order) {
  MeasSetup s;
  s.setMlsOrder(order - 12);
  auto t = std::make_unique<MlsTables>();
  buildMlsTables(s, *t);
  return t;
}

TEST(Mls, SequenceHasFullPeriodAndBalance) {
  for (int n = 12; n <= 15; ++n) {
    auto t = std::make_unique<MlsTables>();
    const int period = generateMls(n, *t);
    ASSERT_EQ(period, (1 << n) - 1);
    int ones = 0;
    long sum = 0;
    for (int j = 0; j < period; ++j) {
      ones += t->bit(j);
      sum += t->mlsSamples[j];
      ASSERT_EQ(t->mlsSamples[j], t->bit(j) ? -30000 : 30000);
    }
    EXPECT_EQ(ones, 1 << (n - 1)) << n;
    EXPECT_EQ(sum, -30000) << n;
    EXPECT_TRUE(t->bit(period - 1)) << n;
    EXPECT_FALSE(t->bit(period)) << n;  // nothing beyond one period
    // A maximum-length sequence never repeats a state of n bits inside a period:
    // every non-zero n-bit window occurs exactly once.
    std::set<int> windows;
    for (int j = 0; j < period; ++j) {
      int w = 0;
      for (int k = 0; k < n; ++k) w = (w << 1) | t->bit((j + k) % period);
      windows.insert(w);
    }
    EXPECT_EQ(static_cast<int>(windows.size()), period) << n;
    EXPECT_EQ(windows.count(0), 0u) << n;
  }
}

TEST(Mls, FirstBitsOfOrder12) {
  auto t = std::make_unique<MlsTables>();
  generateMls(12, *t);
  const char* expected = "000001010010000101010010";
  for (int j = 0; expected[j]; ++j) EXPECT_EQ(t->bit(j), expected[j] == '1') << j;
}

TEST(Mls, OrderWithoutTapsGivesASingleZero) {
  auto t = std::make_unique<MlsTables>();
  EXPECT_EQ(generateMls(1, *t), 1);
  EXPECT_FALSE(t->bit(0));
  EXPECT_EQ(t->mlsSamples[0], 30000);
}

TEST(Mls, PermutationTablesKnownEntries) {
  auto t12 = tablesFor(12);
  const int in12[] = {1024, 512, 256, 128, 64, 2080};
  const int out12[] = {2048, 1024, 512, 256, 128, 64};
  auto t15 = tablesFor(15);
  const int in15[] = {8192, 4096, 2048, 1024, 512, 256};
  const int out15[] = {16384, 8192, 4096, 2048, 1024, 512};
  for (int j = 0; j < 6; ++j) {
    EXPECT_EQ(t12->inputPerm[j], in12[j]) << j;
    EXPECT_EQ(t12->outputPerm[j], out12[j]) << j;
    EXPECT_EQ(t15->inputPerm[j], in15[j]) << j;
    EXPECT_EQ(t15->outputPerm[j], out15[j]) << j;
  }
}

TEST(Mls, PermutationTablesArePermutations) {
  for (int n = 12; n <= 15; ++n) {
    auto t = tablesFor(n);
    const int period = (1 << n) - 1;
    std::vector<char> seenIn(period + 1, 0), seenOut(period + 1, 0);
    for (int j = 0; j < period; ++j) {
      const int a = t->inputPerm[j], b = t->outputPerm[j];
      ASSERT_GE(a, 1);
      ASSERT_LE(a, period);
      ASSERT_GE(b, 1);
      ASSERT_LE(b, period);
      ASSERT_FALSE(seenIn[a]) << n << " in " << j;
      ASSERT_FALSE(seenOut[b]) << n << " out " << j;
      seenIn[a] = seenOut[b] = 1;
    }
    EXPECT_EQ(t->inputPerm[period], 0);
    EXPECT_EQ(t->outputPerm[period], 0);
  }
}

TEST(Mls, PlayBufferHoldsOnePeriodAfterTheLeadIn) {
  MeasSetup s;
  auto t = std::make_unique<MlsTables>();
  s.setMlsOrder(3);  // order 15 first, then shorter: nothing of it may remain
  buildMlsTables(s, *t);
  s.setMlsOrder(0);
  buildMlsTables(s, *t);
  const int period = 4095;
  for (int f = 0; f < kPlayBufferFrames; ++f) {
    const int16_t l = t->playBuffer[2 * f], r = t->playBuffer[2 * f + 1];
    if (f >= 2000 && f < 2000 + period) {
      ASSERT_EQ(l, t->mlsSamples[f - 2000]) << f;
      ASSERT_EQ(r, l) << f;
      ASSERT_NE(l, 0) << f;
    } else {
      ASSERT_EQ(l, 0) << f;
      ASSERT_EQ(r, 0) << f;
    }
  }
}

// The averaged playback: the lead, then the period again and again without a
// gap, 33 times, then silence; order 15 first, so nothing of it may remain.
TEST(Mls, RepeatedPlayBufferHoldsThePeriodBackToBack) {
  MeasSetup s;
  auto t = std::make_unique<MlsTables>();
  s.setMlsOrder(3);
  buildMlsTables(s, *t);
  s.setMlsOrder(0);
  buildMlsTables(s, *t);
  const int period = 4095;
  const int end = 2000 + 33 * period;  // 137135
  for (int f = 0; f < kRepeatedPlayFrames; ++f) {
    const int16_t l = t->repeatedPlayBuffer[2 * f], r = t->repeatedPlayBuffer[2 * f + 1];
    if (f >= 2000 && f < end) {
      ASSERT_EQ(l, t->mlsSamples[(f - 2000) % period]) << f;
      ASSERT_EQ(r, l) << f;
    } else {
      ASSERT_EQ(l, 0) << f;
      ASSERT_EQ(r, 0) << f;
    }
  }
  // The longest run of periods fills the buffer exactly.
  EXPECT_EQ(kRepeatedPlayFrames, 2000 + 33 * 32767);
}

// What is played for each number of averages: one period and a silent frame
// from playBuffer, or averages + 1 whole periods from repeatedPlayBuffer. Out
// of range values (a damaged file) are held to 1 .. 32.
TEST(Mls, PlayedLengthFollowsTheAverages) {
  MeasSetup s;
  s.setMlsOrder(0);  // 4096
  auto t = std::make_unique<MlsTables>();
  struct Case {
    int averages, periods, frames;
    bool repeated;
  };
  const std::vector<Case> cases = {
      {1, 1, 4096, false},   {0, 1, 4096, false},   {-7, 1, 4096, false},
      {2, 2, 12285, true},   {4, 4, 20475, true},   {8, 8, 36855, true},
      {16, 16, 69615, true}, {32, 32, 135135, true}, {64, 32, 135135, true},
  };
  for (const Case& c : cases) {
    s.averages = c.averages;
    EXPECT_EQ(averagedPeriods(s), c.periods) << c.averages;
    EXPECT_EQ(playedFrames(s), c.frames) << c.averages;
    EXPECT_EQ(playData(*t, s), c.repeated ? t->repeatedPlayBuffer.data() : t->playBuffer.data())
        << c.averages;
  }
  s.setMlsOrder(3);
  s.averages = 32;
  EXPECT_EQ(playedFrames(s), 33 * 32767);
  EXPECT_LE(2000 + playedFrames(s), kRepeatedPlayFrames);
}

}  // namespace
