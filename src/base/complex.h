#pragma once
// Complex numbers in double precision, the value type of every frequency-domain
// curve. A plain record of (re, im), copied by value.

#include <cmath>
#include <cstdint>

struct Complex {
  double re = 0.0;
  double im = 0.0;

  constexpr Complex() = default;
  constexpr Complex(double x, double y) : re(x), im(y) {}
  constexpr Complex(double x) : re(x), im(0.0) {}  // NOLINT: a real is a complex

  constexpr double real() const { return re; }
  constexpr double imag() const { return im; }

  // The in-place forms compute the whole new value before storing it, so
  // a *= a and a /= a are correct.
  constexpr Complex& operator+=(const Complex& b) {
    re += b.re;
    im += b.im;
    return *this;
  }
  constexpr Complex& operator*=(const Complex& b) {
    const double r = re * b.re - im * b.im;
    const double i = im * b.re + re * b.im;
    re = r;
    im = i;
    return *this;
  }
  // No guard against a zero divisor: it gives infinities or NaN parts, which
  // the impedance computation relies on to detect an open circuit.
  constexpr Complex& operator/=(const Complex& b) {
    const double d = b.re * b.re + b.im * b.im;
    const double r = (b.im * im + b.re * re) / d;
    const double i = (b.re * im - b.im * re) / d;
    re = r;
    im = i;
    return *this;
  }
  constexpr Complex& operator*=(double s) {
    re *= s;
    im *= s;
    return *this;
  }
};

constexpr Complex operator+(Complex a, const Complex& b) { return a += b; }
constexpr Complex operator*(Complex a, const Complex& b) { return a *= b; }
constexpr Complex operator/(Complex a, const Complex& b) { return a /= b; }
constexpr Complex operator*(double s, const Complex& a) { return {s * a.re, s * a.im}; }
constexpr Complex operator/(double s, const Complex& a) {
  const double d = a.re * a.re + a.im * a.im;
  return {s * a.re / d, -s * a.im / d};
}
constexpr Complex operator-(double s, const Complex& a) { return {s - a.re, -a.im}; }
constexpr Complex operator-(const Complex& a) { return {-a.re, -a.im}; }
constexpr bool operator==(const Complex& a, const Complex& b) { return a.re == b.re && a.im == b.im; }

inline bool isFinite(const Complex& a) { return std::isfinite(a.re) && std::isfinite(a.im); }

constexpr double norm(const Complex& a) { return a.re * a.re + a.im * a.im; }
inline double abs(const Complex& a) { return std::sqrt(norm(a)); }
// Radians in (-pi, pi]; 0 for (0, 0).
inline double arg(const Complex& a) {
  if (a.re == 0.0 && a.im == 0.0) return 0.0;
  return std::atan2(a.im, a.re);
}

// a^n. Zero gives (1, 0) for n = 0, else (0, 0); a non-negative real uses the
// real power; anything else goes through the polar form (so a negative real
// comes back with a rounding-sized imaginary part).
Complex pow(const Complex& a, int32_t n);
// a^b through the polar form; zero gives (1, 0) for b = 0, else (0, 0).
Complex pow(const Complex& a, const Complex& b);
