#pragma once
// What happens once the last input buffer of a run is back: find where the
// played sequence arrives in the recording and size the next recording from
// it, show the input levels, turn the recording into impulse responses and a
// frequency response, then start the next cycle or end the run.
//
// Everything here works on the program state and on Canvas; what belongs to
// the window or to the sound card (cursor, view state, redraw, devices,
// controls) is asked of RecordingHooks, so none of it needs a window.

#include "display/canvas.h"
#include "engine/recording_analysis.h"

struct AppState;

// A calibration run needs a signal on the left input, and on the right one in
// two-channel SPL mode and in impedance mode: an input whose peak stays below
// -60 dBFS recorded nothing, and its calibration would be a curve of noise.
inline constexpr double kCalibrationMinPeak = 32.768;  // -60 dBFS of 16-bit full scale
inline constexpr const char* kCalibrationCaption = "Sound card calibration";
inline constexpr const char* kCalibrationSilentLeftText =
    "The calibration recorded no signal on the left input (peak below -60 dBFS).\n"
    "Check the connection; the previous calibration is kept.";
inline constexpr const char* kCalibrationSilentRightText =
    "The calibration recorded no signal on the right input (peak below -60 dBFS).\n"
    "Check the connection; the previous calibration is kept.";

// The pure analysis of one recording, without drawing and without hooks:
// measureRecording; a calibration run whose needed input stayed below
// kCalibrationMinPeak stops there with silentChannel set (nothing else is
// touched, the calibration stays as it was); then for a measurement or calibration run (state.measurementRun) also the
// deconvolution of the needed channels (both in impedance mode, two-channel
// mode or a calibration run, else the left alone; deconvolveChannel for a
// single period, deconvolveAveraged when averaging), findImpulseStart and
// computeResponse. A level test leaves the impulse and the response alone.
// Touches no run flag. Allocates nothing.
RecordingLevels analyseRecording(AppState& state);

// The images a recording is shown on.
struct RecordingCanvases {
  Canvas& time;      // Image1, the level test's waveforms
  Canvas& leftBar;   // Image3
  Canvas& rightBar;  // Image4
  // The time graph's scale around Image1, wiped for the level test's
  // waveforms; none: left alone.
  Canvas* timeScale = nullptr;
};

// What the end of a recording asks of the window and the sound card.
class RecordingHooks {
 public:
  virtual ~RecordingHooks() = default;
  // The busy cursor while the recording is analysed, and back.
  virtual void showBusyCursor() = 0;
  virtual void restoreCursor() = 0;
  // Two-channel mode: the channel selector may be used now.
  virtual void enableChannelSelector() = 0;
  virtual void updateViewState() = 0;
  // The full redraw; it also ends a calibration run (clears calibrationRun).
  virtual void redrawGraphs() = 0;
  // Next recording of a cyclic measurement, devices still open.
  virtual void startRecording() = 0;
  // End of the run: close the devices, then give the controls back.
  virtual void stopDevices() = 0;
  virtual void setControlsEnabled(bool enable) = 0;
  // A calibration run recorded nothing on `channel`; nothing was stored.
  virtual void calibrationRefused(int /*channel*/) {}
  // A measurement or calibration run has put its result into the live
  // record (calibrationRun tells which), before the view state and redraw.
  virtual void responseMeasured() {}
};

// The whole end of a recording, for a measurement, a calibration run or a
// level test: busy cursor; analyseRecording; the level test's waveforms; both
// level bars; normal cursor; hasResponse cleared. A calibration run that
// recorded nothing ends its calibration (calibrationRun cleared) and calls
// calibrationRefused. After a measurement or other calibration run: responseValid and hasResponse set, measurementShown set
// unless the calibration view is shown, the channel selector enabled when the
// response asks for it, responseMeasured, updateViewState, redrawGraphs. Then the next cyclic
// recording when cyclicRunning is set, else stopDevices and the controls
// enabled. The response is computed before the bars are drawn: neither reads
// what the other writes, and the hooks are called in the order above.
// Allocates nothing itself.
void processRecording(AppState& state, const RecordingCanvases& canvases, RecordingHooks& hooks);
