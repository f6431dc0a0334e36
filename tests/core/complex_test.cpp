#include "base/complex.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const double kPi = std::acos(-1.0);

TEST(Complex, ConstructionAndParts) {
  EXPECT_EQ(Complex(), Complex(0.0, 0.0));
  EXPECT_EQ(Complex(2.5), Complex(2.5, 0.0));
  const Complex a(3.0, -4.0);
  EXPECT_EQ(a.real(), 3.0);
  EXPECT_EQ(a.imag(), -4.0);
  EXPECT_FALSE(Complex(1.0, 2.0) == Complex(1.0, 2.5));
}

TEST(Complex, Arithmetic) {
  const Complex a(1.0, 2.0), b(3.0, 4.0);
  EXPECT_EQ(a + b, Complex(4.0, 6.0));
  // (1 + 2j)(3 + 4j) = 3 + 4j + 6j - 8 = -5 + 10j
  EXPECT_EQ(a * b, Complex(-5.0, 10.0));
  // (1 + 2j) / (3 + 4j) = (1 + 2j)(3 - 4j) / 25 = (11 + 2j) / 25
  const Complex q = a / b;
  EXPECT_DOUBLE_EQ(q.re, 0.44);
  EXPECT_DOUBLE_EQ(q.im, 0.08);
  EXPECT_EQ(2.0 * a, Complex(2.0, 4.0));
  EXPECT_EQ(2.0 / Complex(0.0, 1.0), Complex(0.0, -2.0));
  EXPECT_EQ(1.0 - Complex(0.25, 0.5), Complex(0.75, -0.5));
  EXPECT_EQ(-a, Complex(-1.0, -2.0));
  Complex s = a;
  s *= 3.0;
  EXPECT_EQ(s, Complex(3.0, 6.0));
}

TEST(Complex, InPlaceFormsUseTheOldValue) {
  Complex a(1.0, 2.0);
  a *= a;  // (1 + 2j)^2 = -3 + 4j
  EXPECT_EQ(a, Complex(-3.0, 4.0));
  const Complex& same = a;  // the same object on both sides, without a self-assignment warning
  a /= same;
  EXPECT_EQ(a, Complex(1.0, 0.0));
  Complex b(1.0, 1.0);
  const Complex& alsoB = b;
  b += alsoB;
  EXPECT_EQ(b, Complex(2.0, 2.0));
}

TEST(Complex, DivisionByZeroGivesNoNumber) {
  const Complex q = Complex(1.0, 0.0) / Complex(0.0, 0.0);
  EXPECT_FALSE(std::isfinite(q.re) && std::isfinite(q.im));
}

TEST(Complex, NormAbsArg) {
  EXPECT_EQ(norm(Complex(3.0, 4.0)), 25.0);
  EXPECT_EQ(abs(Complex(3.0, 4.0)), 5.0);
  EXPECT_EQ(arg(Complex(0.0, 0.0)), 0.0);
  EXPECT_EQ(arg(Complex(-1.0, 0.0)), kPi);
  EXPECT_DOUBLE_EQ(arg(Complex(0.0, -2.0)), -kPi / 2);
}

TEST(Complex, IntegerPower) {
  EXPECT_EQ(pow(Complex(0.0, 0.0), 0), Complex(1.0, 0.0));
  EXPECT_EQ(pow(Complex(0.0, 0.0), 3), Complex(0.0, 0.0));
  EXPECT_EQ(pow(Complex(2.0, 0.0), 10), Complex(1024.0, 0.0));
  // A negative real goes through the polar form: at most a rounding-sized
  // imaginary part.
  const Complex p = pow(Complex(-2.0, 0.0), 2);
  EXPECT_NEAR(p.re, 4.0, 1e-14);
  EXPECT_NEAR(p.im, 0.0, 1e-14);
  // Powers of the eight-point root walk round the circle to (1, 0).
  const Complex w(std::cos(2 * kPi / 8), -std::sin(2 * kPi / 8));
  for (int k = 0; k <= 8; ++k) {
    const Complex t = pow(w, k);
    EXPECT_NEAR(t.re, std::cos(2 * kPi * k / 8), 1e-15) << k;
    EXPECT_NEAR(t.im, -std::sin(2 * kPi * k / 8), 1e-15) << k;
  }
}

TEST(Complex, ComplexPower) {
  EXPECT_EQ(pow(Complex(), Complex()), Complex(1.0, 0.0));
  EXPECT_EQ(pow(Complex(), Complex(2.0, 1.0)), Complex());
  // j^j = e^(-pi/2), a real number.
  const Complex jj = pow(Complex(0.0, 1.0), Complex(0.0, 1.0));
  EXPECT_NEAR(jj.re, std::exp(-kPi / 2), 1e-15);
  EXPECT_NEAR(jj.im, 0.0, 1e-15);
  // (1 + j)^2 = 2j
  const Complex sq = pow(Complex(1.0, 1.0), Complex(2.0, 0.0));
  EXPECT_NEAR(sq.re, 0.0, 1e-15);
  EXPECT_NEAR(sq.im, 2.0, 1e-15);
}

}  // namespace
