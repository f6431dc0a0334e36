#pragma once
// What the graphs are drawn from: read-only views of the settings, the display
// curves and the impulse response, plus the run flags and merge choices.

#include "analysis/curves.h"
#include "engine/deconvolution.h"
#include "setup/meas_setup.h"

// The parts of the merge/add settings that decide how the curves are drawn.
struct CurveDrawOptions {
  bool mergeShown = false;        // the Merge/Add page is shown: two curves
  bool addMode = false;           // false: Merge, true: Add
  double transitionFreq = 500.0;  // Hz; curve 0 is shown below it, curve 1 above
};

struct GraphInputs {
  const MeasSetup& setup;          // the live record
  const DisplayCurves& curves;     // including dBTop
  const ImpulseResponse& impulse;  // both channels and impulseStart
  bool measurementShown = false;   // the frequency graph has a result to show
  bool calibrationView = false;    // the Settings page shows the sound card calibration
  CurveDrawOptions merge{};
};
