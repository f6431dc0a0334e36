#include "app/curve_ops.h"

#include "app/app_state.h"

void prepareSplCurves(AppState& state, bool apply) {
  if (state.calibrationView) return;
  prepareSplCurves(state.setup, state.slots, state.micCal, state.micCalValid,
                   state.mergeSetup, state.curves, apply);
}

void prepareImpedanceCurves(AppState& state, bool apply) {
  prepareImpedanceCurves(state.setup, state.slots, state.mergeSetup, state.curves, apply);
}

GainEntrySetup switchMeasurementMode(AppState& state, bool impedance) {
  state.setup.impedanceMode = impedance ? 1 : 0;
  state.measurementShown = false;
  state.responseValid = false;
  state.setup.hasResponse = false;

  // The weights were last computed with the gains of the old mode; a factor
  // entered in impedance mode must not show up as a level change in SPL mode
  // while its dB entry still reads the old value.
  state.mergeSetup.updateMergeGains(impedance);
  state.mergeSetup.computeMergeWeights(state.setup.freqGrid);

  return mergeGainEntrySetup(state.mergeSetup, impedance);
}
