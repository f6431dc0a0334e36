#include "app/application.h"

#include <algorithm>
#include <chrono>

#include "analysis/measurement_mode.h"
#include "app/curve_ops.h"
#include "app/mic_import.h"
#include "app/stored_state.h"
#include "app/view_state.h"
#include "engine/mls.h"
#include "platform/dialogs.h"

double steadyClockSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void prepareShownCurves(AppState& s) {
  s.calibrationRun = false;
  if (s.setup.impedanceMode == 0 || s.calibrationView) {
    prepareSplCurves(s, false);
  } else {
    prepareImpedanceCurves(s, false);
  }
}

// What the end of a recording asks of its owner.
class Application::AnalysisHooks final : public RecordingHooks {
 public:
  explicit AnalysisHooks(Application& app) : app_(app) {}
  void showBusyCursor() override { app_.observer_.busy(true); }
  void restoreCursor() override { app_.observer_.busy(false); }
  void enableChannelSelector() override { app_.observer_.channelSelectorEnabled(); }
  void updateViewState() override { app_.observer_.viewStateChanged(); }
  void redrawGraphs() override { app_.observer_.redraw(); }
  void responseMeasured() override {
    AppState& s = *app_.state_;
    s.driverCurve = s.setup.impedanceMode != 0 && !s.calibrationRun;
    updateDriverParams(s);
  }
  void startRecording() override { app_.card_->startRecording(); }
  void stopDevices() override { app_.card_->stopDevices(); }
  void setControlsEnabled(bool enable) override {
    if (!enable) {
      app_.observer_.controlsLocked(true);
      return;
    }
    app_.observer_.controlsLocked(false);
    app_.observer_.runEnded(app_.outcome_);
  }
  void calibrationRefused(int channel) override {
    app_.outcome_ = RunOutcome::noSignal;
    app_.observer_.showMessage(channel == 0 ? kCalibrationSilentLeftText : kCalibrationSilentRightText,
                               kCalibrationCaption, MsgIcon::warning);
  }

 private:
  Application& app_;
};

// What the sound card asks of its owner. A setControlsEnabled(true) from the
// card means the run ended by a failure; the card has said why.
class Application::CardHost final : public SoundCardHost {
 public:
  explicit CardHost(Application& app) : app_(app) {}
  void showWarning(const char* text) override {
    app_.observer_.showMessage(text, "", MsgIcon::warning);
  }
  void setControlsEnabled(bool enable) override {
    if (!enable) {
      app_.observer_.controlsLocked(true);
      return;
    }
    app_.endRun(RunOutcome::failed);
  }
  void setBusyCursor(bool busy) override { app_.observer_.busy(busy); }
  void processRecording() override {
    ::processRecording(*app_.state_, *app_.canvases_, *app_.analysisHooks_);
    app_.observer_.recordingDrawn();
  }
  void exitProgram(int code) override { app_.observer_.exitProgram(code); }

 private:
  Application& app_;
};

Application::Application(WaveAudio& audio, WaveNotifier& notifier, Dialogs& dialogs,
                         AppObserver& observer, MonotonicClock clock)
    : audio_(audio),
      dialogs_(dialogs),
      observer_(observer),
      clock_(std::move(clock)),
      // The whole program state in one allocation: settings, slots, merge
      // settings, transforms and the calibration table (every point (1, 0),
      // every flag false).
      state_(std::make_unique<AppState>()),
      cardHost_(std::make_unique<CardHost>(*this)),
      analysisHooks_(std::make_unique<AnalysisHooks>(*this)) {
  AppState& s = *state_;
  s.setup.setDefaults();
  s.mergeSetup.computeMergeWeights(s.setup.freqGrid);
  card_ = std::make_unique<SoundCard>(s.soundCardContext(), audio, notifier, *cardHost_);
}

Application::~Application() = default;

CalFileRead Application::startUp(const std::string& dataDir) {
  AppState& s = *state_;
  s.micCalValid = false;
  s.dataDir = dataDir;
  // Reading the files also re-derives the sequence sizes from the stored
  // order, while the sizes that follow from the rate stay at their 44100 Hz
  // values until a rate is chosen.
  CalFileRead cal = CalFileRead::missing;
  loadStoredState(s, s.dataDir, &cal);
  if (cal == CalFileRead::restoredFromBackup)
    observer_.showMessage(kCalRestoredText, kCalRestoredCaption, MsgIcon::warning);
  buildMlsTables(s.setup, s.mls);
  s.responseValid = false;
  s.calibrationRun = false;
  s.micImportAsk = true;
  s.measurementShown = false;
  return cal;
}

void Application::afterLists() {
  AppState& s = *state_;
  if (s.micCalValid) {
    // The microphone data lives on the grid of the rate it was read for;
    // read the same file again without asking.
    s.micImportAsk = false;
    importMicCal(s, dialogs_);
    s.micImportAsk = true;
  }
  recomputeCalDisplay(s, 0.0);
}

void Application::shutDown() {
  card_->stopDevices();
  // A file that cannot be written is skipped; the old one stays whole.
  saveStoredState(*state_, state_->dataDir);
}

StartAction Application::startClicked() {
  AppState& s = *state_;
  const StartAction action = startAction(s, delayPending_);
  applyStartAction(s, action);
  switch (action) {
    case StartAction::ignore:
      break;
    case StartAction::stopCyclic:
      // The recording under way is still analysed and shown; its end closes
      // the devices and gives the controls back.
      observer_.startShowsStop(false);
      break;
    case StartAction::startCyclic:
      // "Start" stays enabled, so that the user can stop.
      observer_.startShowsStop(true);
      beginRun(RunKind::measurement);
      break;
    case StartAction::startAfterDelay:
      // The front end keeps running while it waits, so the controls are
      // locked at once: nothing may change the run before it begins.
      observer_.controlsLocked(true);
      observer_.startDisabled();
      observer_.busy(true);
      delayPending_ = true;
      delayStartedAt_ = clock_();
      break;
    case StartAction::startNow:
      observer_.startDisabled();
      beginRun(RunKind::measurement);
      break;
  }
  return action;
}

int Application::delayRemainingMs() const {
  if (!delayPending_) return 0;
  return ::delayRemainingMs(clock_() - delayStartedAt_);
}

bool Application::delayedStartDue() {
  if (!delayPending_ || delayRemainingMs() > 0) return false;
  delayPending_ = false;
  observer_.busy(false);
  observer_.startDisabled();
  beginRun(RunKind::measurement);
  return true;
}

bool Application::cancelDelayedStart() {
  if (!delayPending_) return false;
  delayPending_ = false;
  observer_.busy(false);
  observer_.startShowsStop(false);
  observer_.controlsLocked(false);
  return true;
}

bool Application::levelTestClicked() {
  if (!mayBeginRun(*state_, delayPending_)) return false;
  beginRun(RunKind::levelTest);
  return true;
}

bool Application::calibrateClicked() {
  if (!mayBeginRun(*state_, delayPending_)) return false;
  beginRun(RunKind::calibration);
  return true;
}

void Application::cyclicChanged(bool checked) {
  AppState& s = *state_;
  s.setup.cyclic = checked;
  if (!checked) {
    observer_.startShowsStop(false);
    s.cyclicRunning = false;
  }
}

void Application::onNotice(const WaveNotice& notice) { card_->onNotice(notice); }

void Application::abortRun(const char* text) {
  if (!runUnderway()) return;
  card_->stopDevices();
  delayPending_ = false;
  observer_.showMessage(text, "", MsgIcon::warning);
  endRun(RunOutcome::failed);
}

double Application::recordingSeconds() const { return runSeconds(state_->setup); }

double Application::runElapsedSeconds() const {
  if (delayPending_ || !runUnderway()) return 0.0;
  return std::max(0.0, clock_() - runStartedAt_);
}

void Application::beginRun(RunKind kind) {
  outcome_ = RunOutcome::completed;
  runStartedAt_ = clock_();
  observer_.controlsLocked(true);
  setRunFlags(*state_, kind);
  // A short first opening of the output primes drivers that need it; then
  // both devices for the run. A failed opening has already said why and
  // ended the run, and the recording then starts nothing.
  card_->openDevices(true);
  card_->openDevices(false);
  card_->startRecording();
}

void Application::recordingFinished() { cardHost_->processRecording(); }

void Application::endRun(RunOutcome outcome) {
  // A cyclic measurement ends with a failed recording, so that the next
  // level test or calibration doesn't go on cycle after cycle.
  runFailed(*state_);
  observer_.startShowsStop(false);
  observer_.controlsLocked(false);
  observer_.runEnded(outcome);
}
