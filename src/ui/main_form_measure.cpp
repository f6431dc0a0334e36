// The runs: the start, level test and calibration buttons, the cyclic and
// delayed start boxes, the controls a run locks, and what the application
// reports of a run. The runs themselves are the application's
// (app/application.h); this file applies what it reports to widgets.

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include "app/application.h"
#include "app/run_control.h"
#include "app/view_state.h"
#include "platform/dialogs.h"
#include "ui/edit_num.h"
#include "ui/image_view.h"
#include "ui/main_form.h"

namespace {

const QString kStartCaption = QStringLiteral("Start");
const QString kStopCaption = QStringLiteral("Stop");

}  // namespace

// --- Run buttons -------------------------------------------------------------

// The caption of "Start" while a delayed start waits: the seconds still to
// wait, rounded up to a tenth, so that it never shows 0.0 before the run.
QString startCountdownCaption(int remainingMs) {
  const int tenths = (std::max(remainingMs, 0) + 99) / 100;
  return QStringLiteral("Start in %1 s").arg(tenths / 10.0, 0, 'f', 1);
}

void TMainForm::startClick() {
  // A second click on the counting button gives the delayed start up.
  if (app_->delayPending()) {
    delayTimer_->stop();
    app_->cancelDelayedStart();
    start->setToolTip(QStringLiteral("Start a measurement"));
    return;
  }
  if (app_->startClicked() == StartAction::startAfterDelay) {
    // The button stays live while it counts down, to cancel the wait.
    start->setEnabled(true);
    start->setToolTip(QStringLiteral("Click to cancel the delayed start"));
    showCountdown();
  }
}

void TMainForm::showCountdown() {
  const int remaining = app_->delayRemainingMs();
  start->setText(startCountdownCaption(remaining));
  delayTimer_->start(std::min(remaining, kCountdownStepMs));
}

void TMainForm::delayedStartDue() {
  if (app_->delayedStartDue()) {
    start->setText(kStartCaption);
    start->setToolTip(QStringLiteral("Start a measurement"));
  } else if (app_->delayPending()) {
    showCountdown();
  }
}

void TMainForm::LevelClick() { app_->levelTestClicked(); }

void TMainForm::CalibrateClick() { app_->calibrateClicked(); }

void TMainForm::cbCycleClick(bool checked) { app_->cyclicChanged(checked); }

void TMainForm::delayStartClick(bool checked) { app_->delayedStartChanged(checked); }

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

// --- What the application reports --------------------------------------------

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

void TMainForm::onWaveNotice(const WaveNotice& notice) { app_->onNotice(notice); }

void TMainForm::Observer::redraw() { form_.redrawGraphs(); }

void TMainForm::Observer::viewStateChanged() { form_.updateViewState(); }

void TMainForm::Observer::controlsLocked(bool locked) {
  form_.setControlsEnabled(!locked);
  form_.applyRunLocks(locked);
  if (locked) {
    form_.progressTimer_->start();
  } else {
    form_.progressTimer_->stop();
  }
  form_.showRunProgress();
}

void TMainForm::showRunProgress() {
  const double seconds = app_->recordingSeconds();
  // The timer runs while the controls are locked, from the run's first
  // moment (before its devices are open) to its end.
  const bool shown = progressTimer_->isActive() && !app_->delayPending() && seconds > 1.0;
  if (shown) {
    runProgress->setValue(runProgressPermille(app_->runElapsedSeconds(), seconds, state_->cyclicRunning));
  }
  runProgress->setVisible(shown);
}

void TMainForm::applyRunLocks(bool locked) {
  const RunLockView r = app_->runLocks(computeViewState(*state_, !showCh->isHidden()), locked);
  SplZ->tabBar()->setEnabled(r.measurementModeEnabled);
  averagesList->setEnabled(r.measurementModeEnabled);
  inDev->setEnabled(r.devicesEnabled);
  outDev->setEnabled(r.devicesEnabled);
  refreshDevices->setEnabled(r.devicesEnabled);
  loadCurve->setEnabled(!locked);
  sessionButton->setEnabled(!locked);
  for (int i = 0; i < kStoreSlots; ++i) {
    storeButtons[i]->setEnabled(r.storeEnabled[i]);
    recallButtons[i]->setEnabled(r.recallEnabled[i]);
  }
}

void TMainForm::Observer::mergeGainsChanged(const GainEntrySetup& gains) { form_.bindMergeGains(gains); }

void TMainForm::Observer::measurementModeShown(bool impedance) {
  // Switched quietly: a change of the page by the user would drop the
  // recalled curve.
  const QSignalBlocker quiet(form_.SplZ);
  form_.SplZ->setCurrentIndex(impedance ? 1 : 0);
}

void TMainForm::Observer::mergeApplied() {
  const QSignalBlocker quiet(form_.mainPage);
  form_.mainPage->setCurrentIndex(static_cast<int>(MainPage::measure));
}

void TMainForm::Observer::showMessage(const char* text, const char* caption, MsgIcon icon) {
  form_.dialogs_->messageBox(text, caption, icon, MsgButtons::ok);
}

void TMainForm::Observer::startDisabled() { form_.start->setEnabled(false); }

void TMainForm::Observer::startShowsStop(bool stop) {
  form_.start->setText(stop ? kStopCaption : kStartCaption);
}

void TMainForm::Observer::busy(bool busy) { form_.setBusyCursor(busy); }

void TMainForm::Observer::channelSelectorEnabled() { form_.showCh->setEnabled(true); }

void TMainForm::Observer::recordingDrawn() {
  for (TImageView* image : {form_.Image1, form_.Image3, form_.Image4}) {
    image->canvas().finish();
    image->update();
  }
}

void TMainForm::Observer::exitProgram(int code) {
  // The event loop ends with the code; the window then closes as usual.
  QCoreApplication::exit(code);
}
