#include "engine/deconvolution.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "alloc_counter.h"
#include "setup/meas_setup.h"

namespace {

struct Rig {
  MeasSetup setup;
  std::unique_ptr<MlsTables> tables = std::make_unique<MlsTables>();
  std::unique_ptr<RecBuffer> rec = std::make_unique<RecBuffer>();
  std::unique_ptr<ImpulseResponse> imp = std::make_unique<ImpulseResponse>();

  explicit Rig(int order) { setOrder(order); }
  void setOrder(int order) {
    setup.setMlsOrder(order - 12);
    buildMlsTables(setup, *tables);
    rec->samples.fill(0);
  }
  int period() const { return setup.mlsSize - 1; }
  // Writes channel ch at frame f.
  void put(int f, int ch, int v) { rec->samples[2 * f + ch] = static_cast<int16_t>(v); }
};

// Sylvester's Hadamard matrix: H[i][j] = (-1)^popcount(i & j).
TEST(Hadamard, MatchesTheMatrixProduct) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int n : {1, 2, 8, 64}) {
    std::vector<double> a(n), ref(n, 0.0);
    for (auto& v : a) v = u(rng);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) ref[i] += (__builtin_popcount(i & j) & 1 ? -1.0 : 1.0) * a[j];
    hadamardTransform(a.data(), n);
    for (int i = 0; i < n; ++i) ASSERT_NEAR(a[i], ref[i], 1e-12) << n << " " << i;
  }
}

// The fast method against a direct circular cross-correlation with the
// sequence. With a[j] = +1 for bit 0 and -1 for bit 1 (the sign of the played
// samples), a shifted copy y[j] = a[j - d] correlates to L at k = d and to -1
// elsewhere, and sums to -1 over a period; so result[k] = sum_j y[j] a[j - k]
// - sum_j y[j] is 2^n at the lag and 0 elsewhere, and that is what the fast
// method must return for any y.
TEST(Hadamard, DeconvolutionEqualsCircularCrossCorrelation) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> u(-20000, 20000);
  for (int n : {12, 13}) {
    Rig rig(n);
    const int L = rig.period();
    std::vector<double> y(L), x(L);
    for (int j = 0; j < L; ++j) x[j] = y[j] = u(rng);
    deconvolveMls(x.data(), n, *rig.tables, rig.imp->fhtWork.data());
    double sum = 0;
    for (double v : y) sum += v;
    for (int k = 0; k < L; k += (n == 12 ? 1 : 37)) {
      double c = 0;
      for (int j = 0; j < L; ++j) c += y[j] * (rig.tables->bit((j - k + L) % L) ? -1.0 : 1.0);
      ASSERT_NEAR(x[k], c - sum, 1e-6) << n << " " << k;
    }
  }
}

TEST(Deconvolution, DelayedScaledSequenceGivesOneImpulse) {
  for (int n : {12, 15}) {
    Rig rig(n);
    const int L = rig.period();
    const int s = 2100;  // start frame handed over by the onset search
    // Lags near the end make the response run past the period: the fold brings it back.
    for (int d : {0, 123, L - 5}) {
      for (int f = 0; f < kRecCapacityFrames; ++f) {
        const int j = f - s - d;  // the sequence sample that arrives at frame f
        const int v = (j >= 0 && j < L) ? rig.tables->mlsSamples[j] / 2 : 0;  // gain 0.5
        rig.put(f, 0, v);
        rig.put(f, 1, -v);
      }
      deconvolveChannel(rig.setup, *rig.tables, *rig.rec, *rig.imp, 0, s);
      deconvolveChannel(rig.setup, *rig.tables, *rig.rec, *rig.imp, 1, s);
      // g * 30000 * 2^n at the lag and 0 elsewhere. Element L of the fold is
      // not transformed and keeps the recording at frames s + L and s + 2L;
      // the offset measured on the second half (elements 2^(n-1) .. 2^n - 1)
      // is therefore that value, plus the peak when the lag lies there, over 2^(n-1).
      const double peak = 0.5 * 30000.0 * (1 << n);
      const double elemL = rig.rec->at(s + L, 0) + rig.rec->at(s + 2 * L, 0);
      double secondHalf = elemL;
      if (d >= (1 << n) / 2) secondHalf += peak;
      const double mean = secondHalf / ((1 << n) / 2);
      for (int k = 0; k < L; ++k) {
        const double expected = (k == d ? peak : 0.0) - mean;
        ASSERT_NEAR(rig.imp->x[0][k], expected, 1e-6) << n << " d=" << d << " k=" << k;
        ASSERT_NEAR(rig.imp->x[1][k], -expected, 1e-6) << n << " d=" << d << " k=" << k;
      }
    }
  }
}

TEST(Deconvolution, DcOffsetLeavesTheKnownResidue) {
  // Constant D folds to 2D and deconvolves to -2^(n+1) D (one more -1 than +1);
  // element L keeps 2D, so the offset measured on the second half is
  // ((2^(n-1) - 1)(-2^(n+1) D) + 2D) / 2^(n-1), leaving -4D (2^n + 1) / 2^n.
  Rig rig(12);
  for (int f = 0; f < kRecCapacityFrames; ++f) rig.put(f, 0, 7);
  std::vector<double> x(4096);
  for (int m = 0; m < 4096; ++m) x[m] = 14.0;
  deconvolveMls(x.data(), 12, *rig.tables, rig.imp->fhtWork.data());
  for (int k = 0; k < 4095; ++k) ASSERT_EQ(x[k], -57344.0) << k;

  deconvolveChannel(rig.setup, *rig.tables, *rig.rec, *rig.imp, 0, 0);
  for (int k = 0; k < 4095; ++k) ASSERT_NEAR(rig.imp->x[0][k], -28.0068359375, 1e-9) << k;
  EXPECT_NEAR(rig.imp->x[0][4095], 14.0 - (-57315.9931640625), 1e-9);
}

TEST(Deconvolution, ShorterMeasurementClearsWhatALongerOneLeft) {
  Rig rig(15);
  for (int f = 0; f < kRecCapacityFrames; ++f)
    rig.put(f, 0, static_cast<int>((int64_t{f} * 7919) % 2000) - 1000);
  deconvolveChannel(rig.setup, *rig.tables, *rig.rec, *rig.imp, 0, 0);
  rig.imp->x[0][50000] = 123.0;  // beyond every period: never touched
  rig.setOrder(12);
  deconvolveChannel(rig.setup, *rig.tables, *rig.rec, *rig.imp, 0, 0);
  for (int k = 4096; k < kMlsCapacity; ++k) ASSERT_EQ(rig.imp->x[0][k], 0.0) << k;
  EXPECT_EQ(rig.imp->x[0][50000], 123.0);
}

TEST(Deconvolution, BadRecordingsDoNoHarm) {
  Rig rig(13);
  // All zero: all zero out, impulse start 0.
  deconvolveChannel(rig.setup, *rig.tables, *rig.rec, *rig.imp, 0, 2000);
  for (int k = 0; k < kImpulseCapacity; ++k) ASSERT_EQ(rig.imp->x[0][k], 0.0) << k;
  rig.imp->impulseStart = 77;
  findImpulseStart(rig.setup, *rig.imp);
  EXPECT_EQ(rig.imp->impulseStart, 0);

  // Clipped full scale on every frame: finite values.
  for (int f = 0; f < kRecCapacityFrames; ++f) rig.put(f, 0, (f / 3) % 2 ? 32767 : -32768);
  deconvolveChannel(rig.setup, *rig.tables, *rig.rec, *rig.imp, 0, 2000);
  for (int k = 0; k < 8192; ++k) ASSERT_TRUE(std::isfinite(rig.imp->x[0][k])) << k;

  // A start frame so late (or early) that the fold reads past the recording:
  // those frames count as silence.
  rig.rec->samples.fill(0);
  const int s = kRecCapacityFrames - 100;
  for (int f = s; f < kRecCapacityFrames; ++f) rig.put(f, 0, 1000);
  deconvolveChannel(rig.setup, *rig.tables, *rig.rec, *rig.imp, 0, s);
  deconvolveChannel(rig.setup, *rig.tables, *rig.rec, *rig.imp, 0, -5000);
  deconvolveChannel(rig.setup, *rig.tables, *rig.rec, *rig.imp, 0, 2000000000);
  for (int k = 0; k < 8192; ++k) ASSERT_EQ(rig.imp->x[0][k], 0.0) << k;
}

TEST(ImpulseStart, ThirtySamplesBeforeFivePercentOfThePeak) {
  auto imp = std::make_unique<ImpulseResponse>();
  MeasSetup s;
  auto& x = imp->x[0];
  x[500] = -1000.0;  // the peak, negative
  x[450] = 49.0;     // below 5 %
  x[420] = 50.0;     // reaches 5 %: the start is 30 before it
  x[380] = 900.0;    // more than 100 ahead of the peak: not looked at
  findImpulseStart(s, *imp);
  EXPECT_EQ(imp->impulseStart, 390);

  // The first of equal maxima wins; a peak in the first 30 samples gives 0.
  x.fill(0.0);
  x[10] = 5.0;
  x[900] = -5.0;
  findImpulseStart(s, *imp);
  EXPECT_EQ(imp->impulseStart, 0);

  // The search covers 10192 samples.
  x.fill(0.0);
  x[10191] = 2.0;
  x[10192] = 9.0;
  findImpulseStart(s, *imp);
  EXPECT_EQ(imp->impulseStart, 10191 - 30);

  // Two-channel mode takes the right channel, the reference.
  s.twoChannel = true;
  imp->x[1][2000] = 1.0;
  findImpulseStart(s, *imp);
  EXPECT_EQ(imp->impulseStart, 1970);
}

TEST(Deconvolution, AllocatesNothing) {
  Rig rig(15);
  for (int f = 0; f < kRecCapacityFrames; ++f) rig.put(f, 0, (f % 17) * 100);
  const std::size_t before = allocationCount();
  deconvolveChannel(rig.setup, *rig.tables, *rig.rec, *rig.imp, 0, 2000);
  deconvolveChannel(rig.setup, *rig.tables, *rig.rec, *rig.imp, 1, 2000);
  findImpulseStart(rig.setup, *rig.imp);
  rig.setup.averages = 32;
  deconvolveAveraged(rig.setup, *rig.tables, *rig.rec, *rig.imp, 0, 2000);
  deconvolveAveraged(rig.setup, *rig.tables, *rig.rec, *rig.imp, 1, 2000);
  EXPECT_EQ(allocationCount(), before);
}

}  // namespace
