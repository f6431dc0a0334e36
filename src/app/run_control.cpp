#include "app/run_control.h"

#include <algorithm>
#include <cmath>

#include "app/app_state.h"

bool runUnderway(const AppState& s, bool delayPending) {
  const SoundCardState& sc = s.soundCard;
  return delayPending || sc.recording || sc.hWaveIn != kNoWaveHandle ||
         sc.hWaveOut != kNoWaveHandle;
}

StartAction startAction(const AppState& s, bool delayPending) {
  if (s.cyclicRunning) return StartAction::stopCyclic;
  if (runUnderway(s, delayPending)) return StartAction::ignore;
  if (s.setup.cyclic) return StartAction::startCyclic;
  if (s.setup.delayedStart) return StartAction::startAfterDelay;
  return StartAction::startNow;
}

bool mayBeginRun(const AppState& s, bool delayPending) {
  return !s.cyclicRunning && !runUnderway(s, delayPending);
}

void applyStartAction(AppState& s, StartAction action) {
  if (action == StartAction::startCyclic) s.cyclicRunning = true;
  if (action == StartAction::stopCyclic) s.cyclicRunning = false;
}

void setRunFlags(AppState& s, RunKind kind) {
  s.measurementRun = kind != RunKind::levelTest;
  s.calibrationRun = kind == RunKind::calibration;
}

void runFailed(AppState& s) { s.cyclicRunning = false; }

int runProgressPermille(double elapsedSeconds, double recordingSeconds, bool cyclic) {
  if (!(recordingSeconds > 0.0) || !(elapsedSeconds > 0.0)) return 0;
  double part = elapsedSeconds / recordingSeconds;
  if (cyclic) part -= std::floor(part);
  return static_cast<int>(std::min(part, 1.0) * 1000.0);
}

int delayRemainingMs(double elapsedSeconds) {
  if (!(elapsedSeconds >= 0.0)) elapsedSeconds = 0.0;
  const double remaining = kStartDelaySeconds - elapsedSeconds;
  if (remaining <= 0.0) return 0;
  return static_cast<int>(std::ceil(remaining * 1000.0));
}

ControlsPlan controlsEnabledPlan(bool enable, bool calibrationView) {
  static constexpr std::array<RunControl, kRunControlCount> kOrder = {
      RunControl::micDataImport, RunControl::exportMeas, RunControl::copyFToClip,
      RunControl::sRate,         RunControl::nMLS,       RunControl::invert,
      RunControl::Level,         RunControl::twoChMode,  RunControl::winStartcm,
      RunControl::winStartms,    RunControl::winLengthms, RunControl::winLengths,
      RunControl::ZR,            RunControl::showCh,     RunControl::start,
      RunControl::cbCycle,       RunControl::delayStart, RunControl::cbSmooth,
      RunControl::Calibrate,     RunControl::dBOffset,   RunControl::splScale,
      RunControl::splRange};
  ControlsPlan plan;
  for (RunControl c : kOrder) {
    bool touch = true;
    if (!enable) {
      touch = c != RunControl::start;
    } else if (c == RunControl::showCh) {
      touch = false;
    } else if (c == RunControl::exportMeas || c == RunControl::start) {
      touch = !calibrationView;
    }
    if (touch) plan.items[static_cast<size_t>(plan.count++)] = {c, enable};
  }
  return plan;
}
