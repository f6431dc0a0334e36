#pragma once
// Values on the 1000-point logarithmic frequency grid, the shape of every
// curve the program keeps: the settings record's response, the calibrations,
// the display curves.

#include <array>
#include <bitset>

#include "base/complex.h"

inline constexpr int kGridPoints = 1000;

using ComplexCurve = std::array<Complex, kGridPoints>;
using RealCurve = std::array<double, kGridPoints>;
// Which grid points of a curve hold a value (set) and which are absent: a
// curve read from a file holds only the points within the file's range.
using GridMask = std::bitset<kGridPoints>;

inline bool allFinite(const ComplexCurve& curve) {
  for (const Complex& c : curve)
    if (!isFinite(c)) return false;
  return true;
}
