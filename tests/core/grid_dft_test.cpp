#include "analysis/grid_dft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

#include "alloc_counter.h"
#include "analysis/fft.h"
#include "setup/meas_setup.h"

namespace {

using Cl = std::complex<long double>;
const long double kPi = 3.14159265358979323846264338327950288L;

// The transform by its definition in long double: e^(-jwn) from sin and cos
// every 64 samples and by rotation in between (off by under 1e-17).
Cl directDtft(const std::vector<double>& x, double f, int32_t rate) {
  const long double w = 2.0L * kPi * f / rate;
  const Cl rot = std::polar(1.0L, -w);
  Cl sum = 0, e = 1;
  for (size_t n = 0; n < x.size(); ++n) {
    if (n % 64 == 0) e = std::polar(1.0L, -w * static_cast<long double>(n));
    sum += static_cast<long double>(x[n]) * e;
    e *= rot;
  }
  return sum;
}

double distance(const Complex& a, Cl b) {
  return static_cast<double>(std::abs(Cl(a.re, a.im) - b));
}

// Uniform in [-0.5, 1): the mean of 0.25 loads the lowest points, where the
// plain resonator is weakest (it misses 1e-12 there by a factor of 1000).
std::vector<double> noise(int32_t m, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-0.5, 1.0);
  std::vector<double> x(m);
  for (double& v : x) v = u(rng);
  return x;
}

double l1(const std::vector<double>& x) {
  double s = 0;
  for (double v : x) s += std::fabs(v);
  return s;
}

class GridDftDirectSum : public testing::TestWithParam<std::tuple<int32_t, int32_t>> {};

TEST_P(GridDftDirectSum, EveryPointBelowHalfRateWithin1e12OfL1) {
  const auto [m, rate] = GetParam();
  const MeasSetup setup;
  auto dft = std::make_unique<GridDft>(setup.freqGrid);
  const std::vector<double> x = noise(m, static_cast<unsigned>(m + rate));
  ComplexCurve out{};
  const int count = dft->evaluate(x.data(), m, rate, out);
  int below = 0;
  for (double f : setup.freqGrid) below += f < rate / 2.0;
  ASSERT_EQ(count, below);
  for (int i = 0; i < count; ++i)
    ASSERT_LT(distance(out[i], directDtft(x, setup.freqGrid[i], rate)), 1e-12 * l1(x)) << i;
}

INSTANTIATE_TEST_SUITE_P(LengthsAndRates, GridDftDirectSum,
                         testing::Combine(testing::Values(100, 8192, 32768),
                                          testing::Values(44100, 48000, 96000, 192000)));

TEST(GridDft, ImpulseGivesPurePhase) {
  const MeasSetup setup;
  auto dft = std::make_unique<GridDft>(setup.freqGrid);
  for (int32_t rate : {44100, 192000}) {
    for (int n0 : {0, 1, 4097, 32767}) {
      std::vector<double> x(32768, 0.0);
      x[n0] = 1.0;
      ComplexCurve out{};
      const int count = dft->evaluate(x.data(), 32768, rate, out);
      for (int i = 0; i < count; ++i) {
        const long double w = 2.0L * kPi * setup.freqGrid[i] / rate;
        ASSERT_LT(distance(out[i], std::polar(1.0L, -w * n0)), 1e-11) << rate << " " << n0;
      }
    }
  }
}

// a^n for n < m: the geometric sum (1 - a^m e^(-jwm)) / (1 - a e^(-jw)).
TEST(GridDft, GeometricSequenceMatchesClosedForm) {
  const MeasSetup setup;
  auto dft = std::make_unique<GridDft>(setup.freqGrid);
  for (double a : {1.0, 0.999, -0.9}) {
    const int32_t m = 32768, rate = 48000;
    std::vector<double> x(m);
    for (int n = 0; n < m; ++n) x[n] = std::pow(a, n);
    ComplexCurve out{};
    const int count = dft->evaluate(x.data(), m, rate, out);
    for (int i = 0; i < count; ++i) {
      const long double w = 2.0L * kPi * setup.freqGrid[i] / rate;
      const Cl expected = (1.0L - std::pow(static_cast<long double>(a), m) * std::polar(1.0L, -w * m)) /
                          (1.0L - static_cast<long double>(a) * std::polar(1.0L, -w));
      ASSERT_LT(distance(out[i], expected), 1e-12 * l1(x)) << a << " " << i;
    }
  }
}

// At f = k rate / 8192 the value is bin k of the FFT of x padded to 8192.
TEST(GridDft, MatchesForwardFftAtBinFrequencies) {
  const int32_t rate = 44100;
  RealCurve bins{};
  for (int k = 0; k < kGridPoints; ++k) bins[k] = k * (rate / 8192.0);
  auto dft = std::make_unique<GridDft>(bins);
  auto fft = std::make_unique<Fft>(8192);
  for (int32_t m : {8192, 5001}) {
    const std::vector<double> x = noise(m, 3);
    std::vector<Complex> in(8192), fftOut(8192);
    for (int n = 0; n < m; ++n) in[n] = Complex(x[n], 0.0);
    fft->transform(in.data(), fftOut.data(), false);
    ComplexCurve out{};
    ASSERT_EQ(dft->evaluate(x.data(), m, rate, out), kGridPoints);
    for (int k = 0; k < kGridPoints; ++k) {
      ASSERT_NEAR(out[k].re, fftOut[k].re, 1e-9) << m << " " << k;
      ASSERT_NEAR(out[k].im, fftOut[k].im, 1e-9) << m << " " << k;
    }
  }
}

// Only 0 <= f < rate / 2 is written; the rest keeps a sentinel.
TEST(GridDft, LeavesPointsOutsideHalfRateUntouched) {
  const int32_t rate = 44100;
  RealCurve grid{};
  grid.fill(30000.0);
  grid[3] = 22050.0;
  grid[7] = std::nextafter(22050.0, 0.0);
  grid[10] = -1.0;
  grid[11] = std::numeric_limits<double>::quiet_NaN();
  grid[500] = 0.0;
  grid[999] = 100.0;
  auto dft = std::make_unique<GridDft>(grid);
  const std::vector<double> x = noise(1001, 4);
  const Complex sentinel(-12345.0, 678.0);
  ComplexCurve out{};
  out.fill(sentinel);
  ASSERT_EQ(dft->evaluate(x.data(), 1001, rate, out), 3);
  for (int i = 0; i < kGridPoints; ++i) {
    if (i == 7 || i == 500 || i == 999)
      EXPECT_LT(distance(out[i], directDtft(x, grid[i], rate)), 1e-12 * l1(x)) << i;
    else
      EXPECT_EQ(out[i], sentinel) << i;
  }
  out.fill(sentinel);
  EXPECT_EQ(dft->evaluate(x.data(), 1001, 0, out), 0);
  EXPECT_EQ(dft->evaluate(x.data(), 0, rate, out), 3);
  EXPECT_EQ(out[500], Complex(0.0, 0.0));
  EXPECT_EQ(out[3], sentinel);
}

// Odd length so the samples that do not fill a group of four are covered too.
TEST(GridDft, TwoChannelsEqualTwoSingleEvaluations) {
  const MeasSetup setup;
  auto dft = std::make_unique<GridDft>(setup.freqGrid);
  const std::vector<double> x0 = noise(8191, 5), x1 = noise(8191, 6);
  ComplexCurve a0{}, a1{}, b0{}, b1{};
  const int count = dft->evaluate2(x0.data(), x1.data(), 8191, 96000, a0, a1);
  ASSERT_EQ(dft->evaluate(x0.data(), 8191, 96000, b0), count);
  dft->evaluate(x1.data(), 8191, 96000, b1);
  for (int i = 0; i < count; ++i) {
    ASSERT_LT(distance(a0[i], Cl(b0[i].re, b0[i].im)), 1e-14 * l1(x0)) << i;
    ASSERT_LT(distance(a1[i], Cl(b1[i].re, b1[i].im)), 1e-14 * l1(x1)) << i;
  }
}

// The coefficients follow the rate from call to call, without allocating.
TEST(GridDft, RateChangesGiveFreshResultsWithoutAllocating) {
  const MeasSetup setup;
  auto reused = std::make_unique<GridDft>(setup.freqGrid);
  const std::vector<double> x = noise(4096, 7);
  ComplexCurve warm{};
  reused->evaluate(x.data(), 4096, 48000, warm);
  for (int32_t rate : {44100, 96000, 44100}) {
    ComplexCurve got{}, got2{}, expected{};
    const std::size_t before = allocationCount();
    reused->evaluate(x.data(), 4096, rate, got);
    reused->evaluate2(x.data(), x.data(), 4096, rate, got, got2);
    EXPECT_EQ(allocationCount(), before);
    std::make_unique<GridDft>(setup.freqGrid)->evaluate(x.data(), 4096, rate, expected);
    EXPECT_EQ(got, expected) << rate;
  }
}

}  // namespace
