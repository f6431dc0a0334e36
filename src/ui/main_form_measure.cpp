// The runs: the start, level test and calibration buttons, the cyclic and
// delayed start boxes, the controls a run locks, and the window's side of
// the sound card and of the end of each recording. The decisions are the
// run control's (engine/run_control.h); this file applies them to widgets.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>

#include "app/recording.h"
#include "display/level_display.h"
#include "app/run_control.h"
#include "engine/sound_card.h"
#include "platform/dialogs.h"
#include "ui/edit_num.h"
#include "ui/image_view.h"
#include "ui/main_form.h"

namespace {

const QString kStartCaption = QStringLiteral("Start");
const QString kStopCaption = QStringLiteral("Stop");

}  // namespace

// --- Run buttons -------------------------------------------------------------

void TMainForm::startClick() {
  AppState& s = *state_;
  const StartAction action = startAction(s, delayPending_);
  applyStartAction(s, action);
  switch (action) {
    case StartAction::ignore:
      return;
    case StartAction::stopCyclic:
      // The recording under way is still analysed and shown; its end closes
      // the devices and gives the controls back.
      start->setText(kStartCaption);
      return;
    case StartAction::startCyclic:
      // `start` stays enabled, so that the user can stop.
      start->setText(kStopCaption);
      beginRun(RunKind::measurement);
      return;
    case StartAction::startAfterDelay:
      // The window keeps running while it waits, so the controls are locked
      // at once: nothing may change the run before it begins.
      setControlsEnabled(false);
      start->setEnabled(false);
      setBusyCursor(true);
      delayPending_ = true;
      delayStartedAt_ = std::chrono::steady_clock::now();
      delayTimer_->start(delayRemainingMs(0.0));
      return;
    case StartAction::startNow:
      start->setEnabled(false);
      beginRun(RunKind::measurement);
      return;
  }
}

void TMainForm::delayedStartDue() {
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - delayStartedAt_).count();
  const int remainingMs = delayRemainingMs(elapsed);
  if (remainingMs > 0) {
    delayTimer_->start(remainingMs);
    return;
  }
  delayPending_ = false;
  setBusyCursor(false);
  start->setEnabled(false);
  beginRun(RunKind::measurement);
}

void TMainForm::LevelClick() {
  if (!mayBeginRun(*state_, delayPending_)) return;
  beginRun(RunKind::levelTest);
}

void TMainForm::CalibrateClick() {
  if (!mayBeginRun(*state_, delayPending_)) return;
  beginRun(RunKind::calibration);
}

void TMainForm::cbCycleClick(bool checked) {
  AppState& s = *state_;
  s.setup.cyclic = checked;
  if (!checked) {
    start->setText(kStartCaption);
    s.cyclicRunning = false;
  }
}

void TMainForm::delayStartClick(bool checked) { state_->setup.delayedStart = checked; }

void TMainForm::beginRun(RunKind kind) {
  setControlsEnabled(false);
  setRunFlags(*state_, kind);
  // A short first opening of the output primes drivers that need it; then
  // both devices for the run. A failed opening has already shown its text and
  // given the controls back, and the recording then starts nothing.
  card_->openDevices(true);
  card_->openDevices(false);
  card_->startRecording();
}

// --- Controls locked by a run ------------------------------------------------

QWidget* TMainForm::runControlWidget(RunControl control) const {
  switch (control) {
    case RunControl::micDataImport: return micDataImport;
    case RunControl::exportMeas: return exportMeas;
    case RunControl::copyFToClip: return copyFToClip;
    case RunControl::sRate: return sRate;
    case RunControl::nMLS: return nMLS;
    case RunControl::invert: return invert;
    case RunControl::Level: return Level;
    case RunControl::twoChMode: return twoChMode;
    case RunControl::winStartcm: return winStartcm;
    case RunControl::winStartms: return winStartms;
    case RunControl::winLengthms: return winLengthms;
    case RunControl::winLengths: return winLengths;
    case RunControl::ZR: return ZR;
    case RunControl::showCh: return showCh;
    case RunControl::start: return start;
    case RunControl::cbCycle: return cbCycle;
    case RunControl::delayStart: return delayStart;
    case RunControl::cbSmooth: return cbSmooth;
    case RunControl::Calibrate: return Calibrate;
    case RunControl::dBOffset: return dBOffset;
    case RunControl::splScale: return splScale;
    case RunControl::splRange: return splRange;
  }
  return nullptr;
}

void TMainForm::setControlsEnabled(bool enable) {
  const ControlsPlan plan = controlsEnabledPlan(enable, state_->calibrationView);
  for (int i = 0; i < plan.count; ++i) {
    const ControlEnable& c = plan.items[static_cast<size_t>(i)];
    if (QWidget* w = runControlWidget(c.control)) w->setEnabled(c.enabled);
  }
}

// --- The sound card and the end of a recording --------------------------------

void TMainForm::setBusyCursor(bool busy) {
  // One hourglass for the run, however often it is asked for: the recording
  // shows it, the analysis shows it again and takes it away once.
  if (busy == busyCursor_) return;
  busyCursor_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void TMainForm::onWaveNotice(const WaveNotice& notice) { card_->onNotice(notice); }

void TMainForm::processRecording() {
  const RecordingCanvases canvases{Image1->canvas(), Image3->canvas(), Image4->canvas()};
  ::processRecording(*state_, canvases, analysisHooks_);
  for (TImageView* image : {Image1, Image3, Image4}) {
    image->canvas().finish();
    image->update();
  }
}

void TMainForm::CardHost::showWarning(const char* text) {
  form_.dialogs_->messageBox(text, "", MsgIcon::warning, MsgButtons::ok);
}

void TMainForm::CardHost::setControlsEnabled(bool enable) {
  if (enable) {
    // The sound card gives the controls back only when a run failed; a
    // cyclic measurement ends with it.
    runFailed(*form_.state_);
    form_.start->setText(kStartCaption);
  }
  form_.setControlsEnabled(enable);
}

void TMainForm::CardHost::setBusyCursor(bool busy) { form_.setBusyCursor(busy); }

void TMainForm::CardHost::processRecording() { form_.processRecording(); }

void TMainForm::CardHost::exitProgram(int code) {
  // The event loop ends with the code; the window then closes as usual.
  QCoreApplication::exit(code);
}

void TMainForm::AnalysisHooks::showBusyCursor() { form_.setBusyCursor(true); }

void TMainForm::AnalysisHooks::restoreCursor() { form_.setBusyCursor(false); }

void TMainForm::AnalysisHooks::enableChannelSelector() { form_.showCh->setEnabled(true); }

void TMainForm::AnalysisHooks::updateViewState() { form_.updateViewState(); }

void TMainForm::AnalysisHooks::redrawGraphs() { form_.redrawGraphs(); }

void TMainForm::AnalysisHooks::startRecording() { form_.card_->startRecording(); }

void TMainForm::AnalysisHooks::stopDevices() { form_.card_->stopDevices(); }

void TMainForm::AnalysisHooks::setControlsEnabled(bool enable) {
  form_.setControlsEnabled(enable);
}
