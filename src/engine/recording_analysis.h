#pragma once
// What happens once the last input buffer of a run is back: find where the
// played sequence arrives in the recording and size the next recording from
// it, show the input levels, turn the recording into impulse responses and a
// frequency response, then start the next cycle or end the run.
//
// Everything here works on the program state and on Canvas; what belongs to
// the window or to the sound card (cursor, view state, redraw, devices,
// controls) is asked of RecordingHooks, so none of it needs a window.

#include <array>
#include <cstdint>

#include "display/canvas.h"

struct AppState;
struct MeasSetup;
struct RecBuffer;

// The envelope of the onset search never covers more frames than this.
inline constexpr int32_t kEnvelopeCapacity = 200000;
// The envelope starts one frame after the silence that leads the played sequence.
inline constexpr int32_t kEnvelopeFirstFrame = 2001;
// Level-bar scale: this peak value is 0 dB; above kClipWarningPeak the red mark shows.
inline constexpr double kLevelBarZeroDbPeak = 23000.0;
inline constexpr double kClipWarningPeak = 29000.0;

// Sizes of the level-test image and the two level bars in the window's layout.
inline constexpr int kLevelBarWidth = 11;   // Image3 (left), Image4 (right)
inline constexpr int kLevelBarHeight = 126;

// Where the sequence was found and how loud each input channel is.
struct RecordingLevels {
  int32_t onset = 0;       // envelope index j of the arrival (frame 2001 + j)
  int32_t startFrame = 0;  // first frame of the period that is deconvolved
  std::array<double, 2> peak{1.0, 1.0};  // largest |sample| per channel, at least 1
  bool enableChannelSelector = false;    // the response asks for the channel selector
};

// The input channel the arrival is looked for on: the right (reference)
// channel in two-channel SPL mode, else the left, impedance mode included.
int detectionChannel(const MeasSetup& setup);

// Index of the first envelope value (e = 0.9 e + 0.1 v^2 over |sample| v of
// channel ch from frame 2001 on, `length` values, capped at kEnvelopeCapacity)
// that reaches 5 % of the envelope's largest value. When no value reaches it
// (a channel that is exactly zero throughout, or length <= 0) the search ends
// at the end of the envelope and the onset is 0: a silent input then gives the
// shortest margin for the next recording and can never make the recordings
// grow from run to run. Keeps no envelope array: the values are computed
// again, identically, while looking for the threshold.
int32_t findOnset(const RecBuffer& rec, int ch, int32_t length);

// The pure analysis of one recording, without drawing and without hooks:
// onset on the detection channel; new setup.delaySamples = max(2000,
// sampleRate / 10) + onset; start frame onset + 1900; peaks of both channels
// from the start frame up to mlsSize + delaySamples + 2000 (the new margin).
// For a measurement or calibration run (state.measurementRun) also the
// deconvolution of the needed channels (both in impedance mode, two-channel
// mode or a calibration run, else the left alone), findImpulseStart and
// computeResponse. A level test leaves the impulse and the response alone.
// Touches no run flag. Allocates nothing.
RecordingLevels analyseRecording(AppState& state);

// Draws the raw waveforms of a level test on the time-domain image, with the
// canvas's current pen: a wiped frame, then mlsSize + 200 frames of each
// channel from startFrame - 5 on, left around H / 4 and right around
// (3 H) / 4, each sample v at v H / 130000 pixels above its line, so a
// full-scale sample spans about a quarter of the height.
void drawLevelTestWaveforms(const MeasSetup& setup, const RecBuffer& rec, int32_t startFrame,
                            Canvas& image);

// Draws one level bar for a peak value: white background, green up to 0 dB
// (23000) at 10 % below the top and empty at -20 dB, yellow above 0 dB up to
// the top margin, a red mark for a peak above 29000, white segment lines
// every 5 % of the height and a black border. Leaves the pen solid black.
void drawLevelBar(Canvas& bar, double peak);

// The images a recording is shown on.
struct RecordingCanvases {
  Canvas& time;      // Image1, the level test's waveforms
  Canvas& leftBar;   // Image3
  Canvas& rightBar;  // Image4
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
};

// The whole end of a recording, for a measurement, a calibration run or a
// level test: busy cursor; analyseRecording; the level test's waveforms; both
// level bars; normal cursor; hasResponse cleared. After a measurement or
// calibration run: responseValid and hasResponse set, measurementShown set
// unless the calibration view is shown, the channel selector enabled when the
// response asks for it, updateViewState, redrawGraphs. Then the next cyclic
// recording when cyclicRunning is set, else stopDevices and the controls
// enabled. The response is computed before the bars are drawn: neither reads
// what the other writes, and the hooks are called in the order above.
// Allocates nothing itself.
void processRecording(AppState& state, const RecordingCanvases& canvases, RecordingHooks& hooks);
