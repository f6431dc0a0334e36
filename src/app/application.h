#pragma once
// The application: the program state and the operations that change it, for
// any front end. It owns the state and the sound card, runs start-up and
// shutdown, the runs (start, cyclic and delayed start, level test,
// calibration, the end of each recording, the next cycle, failures), and
// reports through one AppObserver. The front end reads its controls, calls
// an operation and applies what it reports; it never changes the run state
// itself.

#include <functional>
#include <memory>
#include <string>

#include "app/app_observer.h"
#include "app/app_state.h"
#include "app/recording.h"
#include "app/run_control.h"
#include "display/level_display.h"
#include "display/null_canvas.h"
#include "engine/sound_card.h"
#include "setup/cal_file.h"

class Dialogs;

// Seconds on a monotonic clock; the delayed start measures its wait with it.
using MonotonicClock = std::function<double()>;
double steadyClockSeconds();

class Application {
 public:
  // Borrows the devices, the notifier the devices post to, the dialogs and
  // the observer; all must outlive the application. The state starts at its
  // defaults; nothing is read until startUp.
  Application(WaveAudio& audio, WaveNotifier& notifier, Dialogs& dialogs, AppObserver& observer,
              MonotonicClock clock = steadyClockSeconds);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  AppState& state() { return *state_; }
  const AppState& state() const { return *state_; }
  Dialogs& dialogs() { return dialogs_; }

  // Start-up: the data directory, the configuration and calibration files
  // (a calibration restored from its backup is told once), the MLS tables.
  // Returns what became of the calibration file.
  CalFileRead startUp(const std::string& dataDir);
  // The part of start-up that follows the lists: a loaded microphone curve
  // is read again from its file without asking, the calibration levels are
  // computed for the Settings page.
  void afterLists();
  // Shutdown: the devices stop (no notice is taken after this), then the
  // configuration and the calibration file are written.
  void shutDown();

  // The canvases the end of a recording draws the level bars and the level
  // test's waveform on; without them nothing is drawn. They must outlive
  // their use.
  void setRecordingCanvases(const RecordingCanvases& canvases) { canvases_ = &canvases; }

  // --- Runs ---
  // The click on "Start": what it did (see startAction). A delayed start
  // locks the controls at once and waits delayRemainingMs.
  StartAction startClicked();
  // A delayed start's wait is checked: begins the run once the delay has
  // passed on the clock (true), else leaves it waiting (false).
  bool delayedStartDue();
  // Milliseconds the pending delayed start still waits (0 when none).
  int delayRemainingMs() const;
  bool delayPending() const { return delayPending_; }
  // "Test levels" and "Soundcard cal.": false, doing nothing, while a run
  // is under way or a cyclic measurement runs.
  bool levelTestClicked();
  bool calibrateClicked();
  // The cyclic box: unticked, a cyclic measurement ends after the recording
  // under way.
  void cyclicChanged(bool checked);
  void delayedStartChanged(bool checked) { state_->setup.delayedStart = checked; }
  // A device notice brought to the program's thread.
  void onNotice(const WaveNotice& notice);
  // A run that the front end gives up on (nothing came back in time): the
  // devices stop and the run ends as failed, with `text` said.
  void abortRun(const char* text);
  // A run holds the devices (or a delayed start waits for them).
  bool runUnderway() const { return ::runUnderway(*state_, delayPending_); }
  // The recording length of the next run, in seconds at the current rate.
  double recordingSeconds() const;

 private:
  class CardHost;
  class AnalysisHooks;

  void beginRun(RunKind kind);
  void endRun(RunOutcome outcome);

  WaveAudio& audio_;
  Dialogs& dialogs_;
  AppObserver& observer_;
  MonotonicClock clock_;
  std::unique_ptr<AppState> state_;
  std::unique_ptr<CardHost> cardHost_;
  std::unique_ptr<AnalysisHooks> analysisHooks_;
  std::unique_ptr<SoundCard> card_;

  NullCanvas nullTime_{1, 1};
  NullCanvas nullLeftBar_{kLevelBarWidth, kLevelBarHeight};
  NullCanvas nullRightBar_{kLevelBarWidth, kLevelBarHeight};
  const RecordingCanvases nullCanvases_{nullTime_, nullLeftBar_, nullRightBar_};
  const RecordingCanvases* canvases_ = &nullCanvases_;

  bool delayPending_ = false;
  double delayStartedAt_ = 0.0;
  RunOutcome outcome_ = RunOutcome::completed;  // of the run under way
};

// What a redraw does to the state besides painting: it ends a calibration
// run, and fills the display curves of the shown graph (SPL, also for the
// calibration view, or impedance) from the current result.
void prepareShownCurves(AppState& s);
