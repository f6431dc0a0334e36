#pragma once
// Curves on the 1000-point logarithmic frequency grid, and the display curves
// the graph draws from.

#include <array>
#include <limits>

#include "base/grid_curve.h"

// What the frequency graph shows. Index 0 of each pair is the current
// measurement (or the lower merge part), index 1 the stored (or upper) part.
struct DisplayCurves {
  RealCurve splMag[2]{};
  RealCurve splPhase[2]{};
  RealCurve sumSplMag{};
  RealCurve sumSplPhase{};
  RealCurve zMag[2]{};
  RealCurve zPhase[2]{};
  RealCurve sumZMag{};
  RealCurve sumZPhase{};
  double dBTop = 0.0;  // level at the top edge of the SPL graph, dB
  // |Z| of the fitted driver model, drawn thin and grey over the impedance
  // curve; NaN where it is not drawn (outside the fit's band, or not asked for).
  RealCurve zModel = nanCurve();

  static RealCurve nanCurve() {
    RealCurve c;
    c.fill(std::numeric_limits<double>::quiet_NaN());
    return c;
  }
};
