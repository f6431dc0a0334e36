#pragma once
// What the graphs are drawn from: read-only views of the settings, the display
// curves and the impulse response, plus the run flags and merge choices.

#include <cstdint>
#include <span>

#include "analysis/curves.h"
#include "display/canvas.h"
#include "engine/deconvolution.h"
#include "setup/meas_setup.h"

// The parts of the merge/add settings that decide how the curves are drawn.
struct CurveDrawOptions {
  bool mergeShown = false;        // the Merge/Add page is shown: two curves
  bool addMode = false;           // false: Merge, true: Add
  double transitionFreq = 500.0;  // Hz; curve 0 is shown below it, curve 1 above
  // Hz curve 1 (the stored part) was measured at, as its record's
  // responseRate; 0 draws it to the end of the grid.
  int32_t storedRate = 0;
  // The grid points curve 1 holds (its record's held); null: all of them.
  const GridMask* storedHeld = nullptr;
};

// A memory slot drawn over the live curve: its magnitude on the shown
// graph's axis (dB, or ohm on the impedance graph), the grid points it holds
// and the first grid point it no longer measures. An entry without a
// magnitude is not drawn and has no line in the legend.
struct OverlayCurve {
  const RealCurve* magnitude = nullptr;
  const GridMask* held = nullptr;  // null: every point
  int end = kGridPoints;
  Rgb colour{};
  const char* legend = "";  // the legend's text, NUL-terminated
};

// Grid points at and above half the rate a curve was measured at carry no
// measurement and are not drawn: curve 0 stops by setup.responseRate, curve 1
// by merge.storedRate, the Add sum by the lower of the two, and both
// calibration curves by setup.sampleRate. A rate of 0 sets no limit. Points
// a record does not hold (setup.held for curve 0, merge.storedHeld for curve
// 1, both for the sum) are not drawn either: the curve breaks there.
struct GraphInputs {
  const MeasSetup& setup;          // the live record
  const DisplayCurves& curves;     // including dBTop
  const ImpulseResponse& impulse;  // both channels and impulseStart
  bool measurementShown = false;   // the frequency graph has a result to show
  bool calibrationView = false;    // the Settings page shows the sound card calibration
  CurveDrawOptions merge{};
  // The memory slots shown over the live curve (none on the Merge/Add page
  // or in the calibration view, whatever this holds).
  std::span<const OverlayCurve> overlays{};
};
