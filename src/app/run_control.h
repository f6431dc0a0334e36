#pragma once
// Starting and stopping runs: what a click on "Start", "Test levels" or
// "Soundcard cal." does in each state of the program, the run flags of each
// kind of run, the two-second wait of a delayed start, and which settings
// controls a run locks. The window applies the decisions to its widgets; the
// devices and the analysis are the sound card's and the recording analysis'.

#include <array>
#include <cstdint>

struct AppState;

// The three kinds of run; they differ only in measurementRun/calibrationRun.
enum class RunKind : uint8_t { measurement, levelTest, calibration };

// What a click on `start` does.
enum class StartAction : uint8_t {
  ignore,           // a run is under way that the click can't stop
  stopCyclic,       // end a cyclic measurement after the recording under way
  startCyclic,      // begin a cyclic measurement (no delay)
  startAfterDelay,  // begin a single measurement after the start delay
  startNow,         // begin a single measurement at once
};

// Seconds a delayed start waits at least, measured on a monotonic clock.
inline constexpr double kStartDelaySeconds = 2.0;

// True while a run holds the devices: a recording is out with the device,
// devices are open, or a delayed start is waiting (delayPending).
bool runUnderway(const AppState& s, bool delayPending);

// The click on `start`: stops a cyclic measurement while cyclicRunning is
// set; otherwise ignored while runUnderway (so the last recording of a
// stopping cyclic run, a single run or a pending delayed start is never
// joined by a second opening of the devices); otherwise a cyclic start when
// `cyclic` is ticked (never delayed), a delayed start when `delayedStart` is
// ticked, else a start at once.
StartAction startAction(const AppState& s, bool delayPending);

// Whether "Test levels" or "Soundcard cal." may begin a run: not while
// runUnderway, and not during a cyclic measurement.
bool mayBeginRun(const AppState& s, bool delayPending);

// Applies the state change of a start action that changes state: startCyclic
// sets cyclicRunning, stopCyclic clears it; the others change nothing.
void applyStartAction(AppState& s, StartAction action);

// The run flags of a run of `kind`: measurementRun is true for a measurement
// and a calibration run, calibrationRun only for a calibration run.
void setRunFlags(AppState& s, RunKind kind);

// A run ended by a device failure instead of its analysis: a cyclic
// measurement is over too (cyclicRunning cleared), so that the next level
// test or calibration run doesn't go on recording cycle after cycle.
void runFailed(AppState& s);

// Milliseconds still to wait for a delayed start after `elapsedSeconds` on
// the monotonic clock, rounded up; 0 once kStartDelaySeconds have passed.
// A negative elapsed time (a clock that went back) waits the full delay.
int delayRemainingMs(double elapsedSeconds);

// How far a run is, in thousandths (0..1000), `elapsedSeconds` after it
// began, for recordings of `recordingSeconds`. A cyclic run counts within its
// current recording; a single run stays at 1000 once its recording is over
// (the analysis follows). 0 for a recording without length.
int runProgressPermille(double elapsedSeconds, double recordingSeconds, bool cyclic);

// The settings controls that a run locks, in the order they are processed.
enum class RunControl : uint8_t {
  micDataImport,
  exportMeas,
  copyFToClip,
  sRate,
  nMLS,
  invert,
  Level,
  twoChMode,
  winStartcm,
  winStartms,
  winLengthms,
  winLengths,
  ZR,
  showCh,
  start,
  cbCycle,
  delayStart,
  cbSmooth,
  Calibrate,
  dBOffset,
  splScale,
  splRange,
};
inline constexpr int kRunControlCount = 22;

struct ControlEnable {
  RunControl control;
  bool enabled;
};

// The controls to change for setControlsEnabled(enable), in order. Disabling
// touches every control except `start` (its own handler decides about it).
// Enabling touches every control except `showCh` (it follows two-channel
// mode) and, while the calibration view is shown, `exportMeas` and `start`.
struct ControlsPlan {
  std::array<ControlEnable, kRunControlCount> items{};
  int count = 0;
};
ControlsPlan controlsEnabledPlan(bool enable, bool calibrationView);
