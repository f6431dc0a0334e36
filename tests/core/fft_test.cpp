#include "analysis/fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace {

const double kPi = std::acos(-1.0);

// The transform by its definition, in long double, as the reference.
std::vector<Complex> directDft(const std::vector<Complex>& x, bool inverse) {
  const size_t n = x.size();
  std::vector<Complex> out(n);
  const long double sign = inverse ? 1.0L : -1.0L;
  for (size_t k = 0; k < n; ++k) {
    long double re = 0, im = 0;
    for (size_t m = 0; m < n; ++m) {
      const long double a = sign * 2.0L * 3.14159265358979323846264338327950288L *
                            static_cast<long double>((k * m) % n) / n;
      const long double c = std::cos(a), s = std::sin(a);
      re += x[m].re * c - x[m].im * s;
      im += x[m].re * s + x[m].im * c;
    }
    out[k] = Complex(static_cast<double>(re), static_cast<double>(im));
  }
  return out;
}

TEST(Fft, TablesForTheirSize) {
  auto f8 = std::make_unique<Fft>(8);
  EXPECT_EQ(f8->size, 8);
  EXPECT_EQ(f8->stages, 3);
  const int expected[8] = {0, 4, 2, 6, 1, 5, 3, 7};
  for (int j = 0; j < 8; ++j) EXPECT_EQ(f8->bitReverse[j], expected[j]) << j;
  EXPECT_NEAR(f8->twiddle[2].re, 0.0, 1e-15);
  EXPECT_NEAR(f8->twiddle[2].im, -1.0, 1e-15);
  EXPECT_NEAR(f8->twiddle[8].re, 1.0, 1e-15);  // the extra top entry, W^N
  EXPECT_EQ(std::make_unique<Fft>(8192)->stages, 13);
  EXPECT_EQ(std::make_unique<Fft>(1024)->stages, 10);
  EXPECT_EQ(std::make_unique<Fft>(256)->stages, 8);
}

TEST(Fft, MatchesDirectDftBothDirections) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int n : {8, 256, 1024}) {
    auto fft = std::make_unique<Fft>(n);
    std::vector<Complex> x(n), y(n);
    for (auto& v : x) v = Complex(u(rng), u(rng));
    for (bool inverse : {false, true}) {
      fft->transform(x.data(), y.data(), inverse);
      const auto ref = directDft(x, inverse);
      for (int k = 0; k < n; ++k) {
        ASSERT_NEAR(y[k].re, ref[k].re, 1e-10) << n << " " << inverse << " " << k;
        ASSERT_NEAR(y[k].im, ref[k].im, 1e-10) << n << " " << inverse << " " << k;
      }
    }
  }
}

TEST(Fft, LargestSizeOnKnownSignals) {
  const int n = 8192;
  auto fft = std::make_unique<Fft>(n);
  std::vector<Complex> x(n), y(n);

  // A unit impulse has a flat spectrum.
  x[0] = Complex(1.0, 0.0);
  fft->transform(x.data(), y.data(), false);
  for (int k = 0; k < n; ++k) ASSERT_EQ(y[k], Complex(1.0, 0.0)) << k;

  // A constant lands in bin 0 with the factor N (no 1/N scaling).
  for (auto& v : x) v = Complex(1.0, 0.0);
  fft->transform(x.data(), y.data(), false);
  EXPECT_NEAR(y[0].re, n, 1e-9);
  for (int k = 1; k < n; ++k) ASSERT_NEAR(abs(y[k]), 0.0, 1e-9) << k;

  // e^(j 2 pi 3 n / N): bin 3 forward, bin N - 3 inverse.
  for (int m = 0; m < n; ++m) x[m] = Complex(std::cos(2 * kPi * 3 * m / n), std::sin(2 * kPi * 3 * m / n));
  fft->transform(x.data(), y.data(), false);
  for (int k = 0; k < n; ++k) ASSERT_NEAR(abs(y[k]), k == 3 ? n : 0.0, 1e-8) << k;
  fft->transform(x.data(), y.data(), true);
  for (int k = 0; k < n; ++k) ASSERT_NEAR(abs(y[k]), k == n - 3 ? n : 0.0, 1e-8) << k;
}

TEST(Fft, ForwardThenInverseGivesNTimesTheInput) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int n : {256, 1024, 8192}) {
    auto fft = std::make_unique<Fft>(n);
    std::vector<Complex> x(n), y(n), z(n);
    for (auto& v : x) v = Complex(u(rng), u(rng));
    fft->transform(x.data(), y.data(), false);
    fft->transform(y.data(), z.data(), true);
    for (int k = 0; k < n; ++k) {
      ASSERT_NEAR(z[k].re, n * x[k].re, 1e-9 * n) << n << " " << k;
      ASSERT_NEAR(z[k].im, n * x[k].im, 1e-9 * n) << n << " " << k;
    }
  }
}

}  // namespace
