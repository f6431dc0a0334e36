#include "app/run_control.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "app/app_state.h"

namespace {

std::unique_ptr<AppState> idleState() {
  auto s = std::make_unique<AppState>();
  s->setup.cyclic = false;
  s->setup.delayedStart = false;
  return s;
}

// What a click on start does in each state of a run; the states are set up
// the way the sound card leaves them (recording flag, open handles).
TEST(RunControl, StartClickInEachState) {
  auto s = idleState();
  EXPECT_EQ(startAction(*s, false), StartAction::startNow);
  s->setup.delayedStart = true;
  EXPECT_EQ(startAction(*s, false), StartAction::startAfterDelay);
  // A cyclic measurement is never delayed.
  s->setup.cyclic = true;
  EXPECT_EQ(startAction(*s, false), StartAction::startCyclic);

  // Cyclic measurement under way: the click stops it, recording or not.
  s->cyclicRunning = true;
  s->soundCard.recording = true;
  s->soundCard.hWaveIn = 5;
  s->soundCard.hWaveOut = 6;
  EXPECT_EQ(startAction(*s, false), StartAction::stopCyclic);

  // Stopping: the last recording is still out; a click must not open the
  // devices a second time.
  s->cyclicRunning = false;
  EXPECT_EQ(startAction(*s, false), StartAction::ignore);
  // The recording is back but the devices are still open (the analysis is
  // about to close them).
  s->soundCard.recording = false;
  EXPECT_EQ(startAction(*s, false), StartAction::ignore);
  s->soundCard.hWaveIn = kNoWaveHandle;
  EXPECT_EQ(startAction(*s, false), StartAction::ignore);
  s->soundCard.hWaveOut = kNoWaveHandle;
  EXPECT_EQ(startAction(*s, false), StartAction::startCyclic);

  // A delayed start that is still waiting.
  s->setup.cyclic = false;
  EXPECT_EQ(startAction(*s, true), StartAction::ignore);
  EXPECT_EQ(startAction(*s, false), StartAction::startAfterDelay);

  // Only the cyclic start and the stop change the state.
  applyStartAction(*s, StartAction::startCyclic);
  EXPECT_TRUE(s->cyclicRunning);
  for (StartAction a : {StartAction::ignore, StartAction::startNow, StartAction::startAfterDelay}) {
    applyStartAction(*s, a);
    EXPECT_TRUE(s->cyclicRunning);
  }
  applyStartAction(*s, StartAction::stopCyclic);
  EXPECT_FALSE(s->cyclicRunning);
}

// The level test and the calibration run begin only when nothing else runs.
TEST(RunControl, LevelTestAndCalibrationOnlyWhenIdle) {
  auto s = idleState();
  EXPECT_TRUE(mayBeginRun(*s, false));
  EXPECT_FALSE(mayBeginRun(*s, true));
  s->cyclicRunning = true;
  EXPECT_FALSE(mayBeginRun(*s, false));
  s->cyclicRunning = false;
  s->soundCard.recording = true;
  EXPECT_FALSE(mayBeginRun(*s, false));
  s->soundCard.recording = false;
  s->soundCard.hWaveOut = 3;
  EXPECT_FALSE(mayBeginRun(*s, false));
  EXPECT_TRUE(runUnderway(*s, false));
  s->soundCard.hWaveOut = kNoWaveHandle;
  EXPECT_FALSE(runUnderway(*s, false));
}

// The three kinds of run differ in the two flags only; a run that fails
// also ends a cyclic measurement.
TEST(RunControl, RunFlagsAndFailure) {
  auto s = idleState();
  setRunFlags(*s, RunKind::calibration);
  EXPECT_TRUE(s->measurementRun);
  EXPECT_TRUE(s->calibrationRun);
  setRunFlags(*s, RunKind::measurement);
  EXPECT_TRUE(s->measurementRun);
  EXPECT_FALSE(s->calibrationRun);
  setRunFlags(*s, RunKind::levelTest);
  EXPECT_FALSE(s->measurementRun);
  EXPECT_FALSE(s->calibrationRun);

  s->cyclicRunning = true;
  s->setup.cyclic = true;
  runFailed(*s);
  EXPECT_FALSE(s->cyclicRunning);
  EXPECT_TRUE(s->setup.cyclic);  // the user's choice stays ticked
}

// The delayed start waits 2.00 s in whole milliseconds, never less.
TEST(RunControl, DelayRemainingRoundsUpAndNeverEndsEarly) {
  EXPECT_EQ(delayRemainingMs(0.0), 2000);
  EXPECT_EQ(delayRemainingMs(0.0001), 2000);  // 1999.9 ms -> 2000
  EXPECT_EQ(delayRemainingMs(1.0), 1000);
  EXPECT_EQ(delayRemainingMs(1.9995), 1);     // 0.5 ms -> 1
  EXPECT_EQ(delayRemainingMs(2.0), 0);
  EXPECT_EQ(delayRemainingMs(7.5), 0);
  // A clock that seems to have gone back, or no time at all: the full delay.
  EXPECT_EQ(delayRemainingMs(-3.0), 2000);
  EXPECT_EQ(delayRemainingMs(std::numeric_limits<double>::quiet_NaN()), 2000);
}

std::vector<RunControl> controls(const ControlsPlan& p, bool expectEnabled) {
  std::vector<RunControl> v;
  for (int i = 0; i < p.count; ++i) {
    EXPECT_EQ(p.items[static_cast<size_t>(i)].enabled, expectEnabled) << i;
    v.push_back(p.items[static_cast<size_t>(i)].control);
  }
  return v;
}

// The controls a run locks, in their order: disabling leaves `start` to its
// handler; enabling leaves `showCh` to two-channel mode, and `exportMeas`
// and `start` disabled while the calibration view is shown.
TEST(RunControl, ControlsLockedByARunInOrder) {
  using C = RunControl;
  const std::vector<C> off = {C::micDataImport, C::exportMeas, C::copyFToClip, C::sRate,
                              C::nMLS,          C::invert,     C::Level,       C::twoChMode,
                              C::winStartcm,    C::winStartms, C::winLengthms, C::winLengths,
                              C::ZR,            C::showCh,     C::cbCycle,     C::delayStart,
                              C::cbSmooth,      C::Calibrate,  C::dBOffset,    C::splScale,
                              C::splRange};
  EXPECT_EQ(controls(controlsEnabledPlan(false, false), false), off);
  EXPECT_EQ(controls(controlsEnabledPlan(false, true), false), off);

  const std::vector<C> on = {C::micDataImport, C::exportMeas, C::copyFToClip, C::sRate,
                             C::nMLS,          C::invert,     C::Level,       C::twoChMode,
                             C::winStartcm,    C::winStartms, C::winLengthms, C::winLengths,
                             C::ZR,            C::start,      C::cbCycle,     C::delayStart,
                             C::cbSmooth,      C::Calibrate,  C::dBOffset,    C::splScale,
                             C::splRange};
  EXPECT_EQ(controls(controlsEnabledPlan(true, false), true), on);

  const std::vector<C> onInCalView = {C::micDataImport, C::copyFToClip, C::sRate,
                                      C::nMLS,          C::invert,      C::Level,
                                      C::twoChMode,     C::winStartcm,  C::winStartms,
                                      C::winLengthms,   C::winLengths,  C::ZR,
                                      C::cbCycle,       C::delayStart,  C::cbSmooth,
                                      C::Calibrate,     C::dBOffset,    C::splScale,
                                      C::splRange};
  EXPECT_EQ(controls(controlsEnabledPlan(true, true), true), onInCalView);
}

}  // namespace
