#pragma once
// The curve preparation and the change of measurement mode on the program
// state: the live record, the memory slots, the merge settings and the
// display curves together.

#include "analysis/curve_prep.h"
#include "analysis/impedance_curves.h"
#include "analysis/measurement_mode.h"

struct AppState;

// prepareSplCurves on the program state; does nothing while the Settings page shows the
// sound card calibration (calibrationView), whose levels stay in splMag.
void prepareSplCurves(AppState& state, bool apply);

// prepareImpedanceCurves on the program state (live record, memory slots, merge settings and
// display curves).
void prepareImpedanceCurves(AppState& state, bool apply);

// The change of the SPL / Z page: sets setup.impedanceMode (1 for impedance,
// 0 for SPL) and marks the shown result as gone (measurementShown,
// responseValid and setup.hasResponse cleared); the stored response, the
// slots and the calibration stay. The merge gains and weights are brought in
// line with the entries of the new mode, so a Merge/Add preview or Apply uses
// the gains those entries show. Returns the set-up for both gain entries; the
// caller re-initialises them from it, then updates the view state and redraws.
GainEntrySetup switchMeasurementMode(AppState& state, bool impedance);
