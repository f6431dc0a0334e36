#pragma once
// Values on the 1000-point logarithmic frequency grid, the shape of every
// curve the program keeps: the settings record's response, the calibrations,
// the display curves.

#include <array>

#include "base/complex.h"

inline constexpr int kGridPoints = 1000;

using ComplexCurve = std::array<Complex, kGridPoints>;
using RealCurve = std::array<double, kGridPoints>;

inline bool allFinite(const ComplexCurve& curve) {
  for (const Complex& c : curve)
    if (!isFinite(c)) return false;
  return true;
}
