// Showing the state: the view-state rules applied to the widgets, and the
// numeric entries bound to their settings.

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include <cstring>

#include "app/view_state.h"
#include "display/mic_curve.h"
#include "setup/setting_limits.h"
#include "ui/edit_num.h"
#include "ui/image_view.h"
#include "ui/main_form.h"

namespace {

constexpr int kNoNotify = -1;

template <typename T>
void setupEntry(TEditNum* e, const char* fmt, double min, double max, double step, double ctrlStep,
                T* ref, double scale, NotifyTarget* target, int code) {
  e->init(fmt, min, max, step, ctrlStep, TEditNum::addStep);
  e->setRef(ref);
  e->setScale(scale);
  if (code != kNoNotify) {
    e->setNotifyParent(target, msgSettingChanged, static_cast<uint32_t>(code), 0);
  }
}

}  // namespace

void TMainForm::setupNumericEntries() {
  MeasSetup& m = state_->setup;
  MergeSetup& g = state_->mergeSetup;
  const double perSampleMs = 1000.0 / m.sampleRate;
  const double perSampleCm = (1.0 / m.sampleRate) * 344.0 * 100.0;  // 344 m/s

  setupEntry(dBOffset, "%2.1f", kAutoscaleOffsetRange.min, kAutoscaleOffsetRange.max, 1, 10, &m.autoscaleOffset, 1, this, ncDisplay);
  setupEntry(winStartms, "%2.4f", kWinStartRange.min, kWinStartRange.max, 1, 100, &m.winStart, perSampleMs, this, ncWindow);
  setupEntry(winStartcm, "%2.2f", kWinStartRange.min, kWinStartRange.max, 1, 100, &m.winStart, perSampleCm, this, ncWindow);
  setupEntry(winLengthms, "%2.2f", kWinLengthRange.min, kWinLengthRange.max, 1, 100, &m.winLength, perSampleMs, this, ncWindow);
  setupEntry(winLengths, "%2.0f", kWinLengthRange.min, kWinLengthRange.max, 10, 500, &m.winLength, 1, this, ncWindow);
  setupEntry(ZR, "%2.2f", kSeriesRRange.min, kSeriesRRange.max, 1, 10, &m.seriesR, 1, this, kNoNotify);
  setupEntry(fLow, "%2.0f", kFreqLowRange.min, kFreqLowRange.max, 10, 100, &m.freqLow, 1, this, ncDisplay);
  setupEntry(fHigh, "%2.0f", kFreqHighRange.min, kFreqHighRange.max, 100, 1000, &m.freqHigh, 1, this, ncDisplay);
  // Delays are held in seconds and shown in microseconds.
  setupEntry(mergeLDelay, "%2.1f", -1000, 1000, 0.000001, 0.00001, &g.lowerDelay, 1000000, this,
             ncMerge);
  setupEntry(mergeUDelay, "%2.1f", -1000, 1000, 0.000001, 0.00001, &g.upperDelay, 1000000, this,
             ncMerge);
  setupEntry(mergeLGain, "%2.1f", -200, 200, 0.2, 1, &g.lowerGainDb, 1, this, ncMerge);
  setupEntry(mergeUGain, "%2.1f", -200, 200, 0.2, 10, &g.upperGainDb, 1, this, ncMerge);
  setupEntry(mergeFreq, "%2.0f", 5, 50000, 10, 100, &g.transitionFreq, 1, this, ncMerge);
  setupEntry(splScale, "%2.1f", kLevelScaleRange.min, kLevelScaleRange.max, 1, 10, &m.levelScale, 1, this, ncDisplay);
  setupEntry(splRange, "%2.1f", kDisplayRangeRange.min, kDisplayRangeRange.max, 1, 10, &m.displayRange, 1, this, ncDisplay);
  setupEntry(sRateC, "%2.0f", kCustomRateRange.min, kCustomRateRange.max, 100, 1000, &m.sampleRate, 1, this, ncSampleRate);
  DriverInputs& d = driverEntries_;
  setupEntry(drvReDc, "%2.2f", 0, 1000, 0.1, 1, &d.reDcOhm, 1, this, ncDriver);
  setupEntry(drvSd, "%2.1f", 0, 10000, 1, 10, &d.mech.sdCm2, 1, this, ncDriver);
  setupEntry(drvAmount, "%2.2f", 0, 10000, 1, 10, &d.mech.addedMassG, 1, this, ncDriver);

  for (int i = 1; i <= 8; ++i) mergeUList->addItem(QString::number(i));
  mergeUList->setCurrentIndex(g.storedSlot);
  setupEntry(mergeStep, "%2.0f", 0, 50000, 10, 100, &g.baffleFreq, 1, this, ncMerge);
}

void TMainForm::bindMergeGains(const GainEntrySetup& gains) {
  const TEditNum::EMode mode =
      gains.stepMode == GainStepMode::multiply ? TEditNum::mulStep : TEditNum::addStep;
  mergeUGain->init(gains.format, gains.minValue, gains.maxValue, gains.step, gains.ctrlStep, mode);
  mergeUGain->setRef(gains.upperRef);
  mergeLGain->init(gains.format, gains.minValue, gains.maxValue, gains.step, gains.ctrlStep, mode);
  mergeLGain->setRef(gains.lowerRef);
}

void TMainForm::recomputeCalDisplay(double offsetDb) { ::recomputeCalDisplay(*state_, offsetDb); }

void TMainForm::updateViewState() {
  const MeasSetup& m = state_->setup;
  const ViewState v = app_->viewState(!showCh->isHidden());

  for (QWidget* w : {static_cast<QWidget*>(dBOffset), static_cast<QWidget*>(dBOffsetPre),
                     static_cast<QWidget*>(dBOffsetPost)}) {
    w->setVisible(v.dBOffsetVisible);
  }
  showCh->setVisible(v.showChVisible);
  showCh->setEnabled(v.showChEnabled);
  // What the microphone file in use held: points, range, sensitivity.
  micGroup->setToolTip(state_->micCalValid
                           ? QString::fromUtf8(micLoadedText(state_->micInfo).c_str())
                           : QString());
  showMicData();

  // A setting changed elsewhere (a recalled slot, the files, another entry)
  // shows in its entry from here on.
  for (TEditNum* e : {winStartms, winStartcm, winLengthms, winLengths, dBOffset, fLow, fHigh,
                      mergeLDelay, mergeUDelay, mergeLGain, mergeUGain, mergeFreq, mergeStep,
                      splScale, splRange, sRateC, ZR}) {
    e->setValue();
  }
  showCh->setCurrentIndex(v.showChItem);
  cbSmooth->setCurrentIndex(v.smoothItem);
  freqDTitle->setText(QString::fromUtf8(m.title, static_cast<qsizetype>(strnlen(m.title, kTitleCapacity))));

  if (v.mergeLayoutApplies) {
    mergeLGroup->setTitle(QString::fromLatin1(v.mergeLCaption));
    mergeUGroup->setTitle(QString::fromLatin1(v.mergeUCaption));
    for (QWidget* w : {static_cast<QWidget*>(mergeFreqPre), static_cast<QWidget*>(mergeFreq),
                       static_cast<QWidget*>(mergeFreqPost)}) {
      w->setVisible(v.mergeFreqVisible);
    }
    for (QWidget* w :
         {static_cast<QWidget*>(mergeLDelayPre), static_cast<QWidget*>(mergeLDelay),
          static_cast<QWidget*>(mergeLDelayPost), static_cast<QWidget*>(mergeUDelayPre),
          static_cast<QWidget*>(mergeUDelay), static_cast<QWidget*>(mergeUDelayPost),
          static_cast<QWidget*>(mergeStepPre), static_cast<QWidget*>(mergeStep),
          static_cast<QWidget*>(mergeStepPost)}) {
      w->setVisible(v.mergeDelayVisible);
    }
    mergeLGroup->resize(mergeLGroup->width(), v.mergeLGroupHeight);
    scaleLPost->setText(QString::fromLatin1(v.scalePostText));
    scaleUPost->setText(QString::fromLatin1(v.scalePostText));
  }
  // A run keeps the slot buttons locked until it ends.
  const RunLockView locks = app_->runLocks(v, app_->runUnderway());
  for (int i = 0; i < kStoreSlots; ++i) storeButtons[i]->setEnabled(locks.storeEnabled[i]);
  exportMeas->setEnabled(v.storeEnabled);
  start->setEnabled(v.startEnabled);
  if (v.showFreqPage) {
    const QSignalBlocker quiet(TimeFreqCtrl);
    TimeFreqCtrl->setCurrentIndex(1);
  }

  showRunTime();

  hidePhase->setVisible(v.hidePhaseVisible);
  unCalibrated->setVisible(v.unCalibratedVisible);
  if (v.calibratedText.empty()) {
    calStatus->setText(QStringLiteral("Uncalibrated"));
    setTextColour(calStatus, kRed);
  } else {
    calStatus->setText(QString::fromStdString(v.calibratedText));
    setTextColour(calStatus, kGreen);
  }
  calStatus->adjustSize();
  zUncalibrated->setVisible(v.zUncalibratedVisible);
  sRateC->setVisible(v.customRateVisible);
}

void TMainForm::showRunTime() { runTime->setText(QString::asprintf("%.2f s", app_->recordingSeconds())); }

void TMainForm::showMicData() {
  const AppState& s = *state_;
  if (s.micCalValid) {
    const QString path = QString::fromLocal8Bit(s.micFileName);
    const QString name = path.section(QLatin1Char('/'), -1);
    micFile->setText(micFile->fontMetrics().elidedText(name, Qt::ElideMiddle, micFile->width()));
    micFile->setToolTip(path);
    drawMicCurve(micCurve->canvas(), s.setup.freqGrid, s.micCal, !s.setup.micDataOff);
    micCurve->setToolTip(QStringLiteral("Microphone level, 20 Hz .. 20 kHz, \u00b1%1 dB")
                             .arg(micGraphRangeDb(s.setup.freqGrid, s.micCal)));
  } else {
    micFile->setText(QStringLiteral("No file loaded"));
    micFile->setToolTip(QString());
    micCurve->clearFrame();
    micCurve->setToolTip(QString());
  }
  micCurve->canvas().finish();
  micCurve->update();
}
