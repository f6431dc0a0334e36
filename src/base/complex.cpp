#include "base/complex.h"

Complex pow(const Complex& a, const Complex& b) {
  if (a == Complex()) return b == Complex() ? Complex(1.0, 0.0) : Complex();
  const double r = abs(a);
  const double theta = arg(a);
  const double m = std::pow(r, b.re) * std::exp(-b.im * theta);
  const double phi = std::log(r) * b.im + b.re * theta;
  return {m * std::cos(phi), m * std::sin(phi)};
}

Complex pow(const Complex& a, int32_t n) {
  if (a == Complex()) return n == 0 ? Complex(1.0, 0.0) : Complex();
  if (a.im == 0.0 && a.re >= 0.0) return {std::pow(a.re, n), 0.0};
  if (a.im == 0.0) return pow(a, Complex(static_cast<double>(n), 0.0));
  const double rn = std::pow(abs(a), n);
  const double theta = arg(a);
  return {rn * std::cos(n * theta), rn * std::sin(n * theta)};
}
