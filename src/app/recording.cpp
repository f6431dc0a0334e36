#include "app/recording.h"

#include "analysis/frequency_response.h"
#include "app/app_state.h"
#include "display/level_display.h"
#include "display/time_scale.h"
#include "engine/deconvolution.h"

RecordingLevels analyseRecording(AppState& state) {
  MeasSetup& s = state.setup;
  const RecBuffer& rec = state.recBuffer;
  RecordingLevels out = measureRecording(s, rec);

  if (!state.measurementRun) return out;
  if (state.calibrationRun) {
    const bool rightNeeded = s.twoChannel || s.impedanceMode != 0;
    if (out.peak[0] < kCalibrationMinPeak) out.silentChannel = 0;
    else if (rightNeeded && out.peak[1] < kCalibrationMinPeak) out.silentChannel = 1;
    if (out.silentChannel >= 0) return out;
  }

  const bool both = s.impedanceMode != 0 || state.calibrationRun || s.twoChannel;
  // A single period is folded; an averaged run sums its steady-state periods.
  const auto deconvolve = averagedPeriods(s) >= 2 ? deconvolveAveraged : deconvolveChannel;
  deconvolve(s, state.mls, rec, state.impulse, 0, out.startFrame);
  if (both) deconvolve(s, state.mls, rec, state.impulse, 1, out.startFrame);
  findImpulseStart(s, state.impulse);
  out.enableChannelSelector = computeResponse(state.responseContext());
  return out;
}

void processRecording(AppState& state, const RecordingCanvases& canvases, RecordingHooks& hooks) {
  hooks.showBusyCursor();
  const RecordingLevels levels = analyseRecording(state);
  if (!state.measurementRun) {
    drawLevelTestWaveforms(state.setup, state.recBuffer, levels.startFrame, canvases.time);
    if (canvases.timeScale != nullptr) wipeTimeScale(*canvases.timeScale);
  }
  drawLevelBar(canvases.leftBar, levels.peak[0]);
  drawLevelBar(canvases.rightBar, levels.peak[1]);
  hooks.restoreCursor();
  state.setup.hasResponse = false;

  if (levels.silentChannel >= 0) {
    state.calibrationRun = false;
    hooks.calibrationRefused(levels.silentChannel);
  } else if (state.measurementRun) {
    state.responseValid = true;
    if (levels.enableChannelSelector) hooks.enableChannelSelector();
    state.setup.hasResponse = true;
    if (!state.calibrationView) state.measurementShown = true;
    hooks.responseMeasured();
    hooks.updateViewState();
    hooks.redrawGraphs();
  }

  if (state.cyclicRunning) {
    hooks.startRecording();
  } else {
    hooks.stopDevices();
    hooks.setControlsEnabled(true);
  }
}
