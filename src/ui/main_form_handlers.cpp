// The control handlers: each stores its control's state in the program state
// and runs the follow-up. Change handlers are connected to the signals that
// only user actions raise (activated, a page change by the user); check boxes
// and radio buttons to toggled, so that setting them from code runs their
// handler as a click would.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include <algorithm>
#include <cstring>

#include "app/application.h"
#include "ui/edit_num.h"
#include "ui/image_view.h"
#include "ui/main_form.h"

namespace {

constexpr double kSpeedOfSoundCm = 344.0 * 100.0;  // cm/s

}  // namespace

void TMainForm::connectHandlers() {
  connect(sRate, &QComboBox::activated, this, &TMainForm::sRateChange);
  connect(nMLS, &QComboBox::activated, this, &TMainForm::nMLSChange);
  connect(inDev, &QComboBox::activated, this, &TMainForm::inDevChange);
  connect(outDev, &QComboBox::activated, this, &TMainForm::outDevChange);
  connect(refreshDevices, &QPushButton::clicked, this, &TMainForm::refreshDevicesClick);
  connect(freqDTitle, &QLineEdit::editingFinished, this, &TMainForm::freqDTitleExit);
  connect(delayStart, &QCheckBox::toggled, this, &TMainForm::delayStartClick);
  connect(cbCycle, &QCheckBox::toggled, this, &TMainForm::cbCycleClick);
  connect(invert, &QCheckBox::toggled, this, &TMainForm::invertClick);
  connect(cbSmooth, &QComboBox::activated, this, &TMainForm::cbSmoothChange);
  connect(showCh, &QComboBox::activated, this, &TMainForm::showChChange);
  connect(twoChMode, &QCheckBox::toggled, this, &TMainForm::twoChModeClick);
  connect(hidePhase, &QCheckBox::toggled, this, &TMainForm::hidePhaseClick);
  connect(micDataDisable, &QCheckBox::toggled, this, &TMainForm::micDataDisableClick);
  connect(zSmooth, &QCheckBox::toggled, this, &TMainForm::zSmoothClick);
  connect(exactEval, &QCheckBox::toggled, this, &TMainForm::exactClick);
  connect(flatWindow, &QCheckBox::toggled, this, &TMainForm::flatWindowClick);
  connect(averagesList, &QComboBox::activated, this, &TMainForm::averagesChange);
  connect(SplZ, &QTabWidget::currentChanged, this, &TMainForm::SplZChange);
  connect(minZ, &QComboBox::activated, this, &TMainForm::minMaxZChange);
  connect(maxZ, &QComboBox::activated, this, &TMainForm::minMaxZChange);
  connect(mainPage, &QTabWidget::currentChanged, this, &TMainForm::mainPageChange);
  connect(TimeFreqCtrl, &QTabWidget::currentChanged, this, &TMainForm::TimeFreqCtrlChange);
  connect(mergeUList, &QComboBox::activated, this, &TMainForm::mergeUListChange);
  connect(mergeRButton, &QRadioButton::toggled, this, &TMainForm::mergeRButtonClick);
  connect(addRButton, &QRadioButton::toggled, this, &TMainForm::addRButtonClick);
  connect(mergeApply, &QPushButton::clicked, this, &TMainForm::mergeApplyClick);
  connect(drvMethod, &QComboBox::activated, this, &TMainForm::drvMethodChange);
  connect(drvSlot, &QComboBox::activated, this, &TMainForm::drvSlotChange);
  connect(drvModel, &QCheckBox::toggled, this, &TMainForm::drvModelClick);
  connect(drvCopy, &QPushButton::clicked, this, &TMainForm::drvCopyClick);
  for (int i = 0; i < 8; ++i) {
    connect(storeButtons[i], &QPushButton::clicked, this, [this, i] { storeClick(i + 1); });
    connect(recallButtons[i], &QPushButton::clicked, this, [this, i] { recallClick(i + 1); });
    for (QPushButton* b : {storeButtons[i], recallButtons[i]}) {
      connect(b, &QWidget::customContextMenuRequested, this, [this, i, b](const QPoint& at) {
        QMenu menu(this);
        menu.addAction(loadCurveText(), this, [this, i] { loadCurveClick(i + 1); });
        QAction* overlay = menu.addAction(overlayMenuText());
        overlay->setCheckable(true);
        overlay->setChecked(app_->overlayShown(i + 1));
        connect(overlay, &QAction::toggled, this, [this, i](bool on) { overlayClick(i + 1, on); });
        menu.exec(b->mapToGlobal(at));
      });
    }
  }
  connect(loadCurve, &QPushButton::clicked, this, &TMainForm::loadCurveMenu);
  connect(sessionButton, &QPushButton::clicked, this, &TMainForm::sessionMenu);
  connect(exportUnsmoothed, &QCheckBox::toggled, this, &TMainForm::exportUnsmoothedClick);
  connect(start, &QPushButton::clicked, this, &TMainForm::startClick);
  connect(Level, &QPushButton::clicked, this, &TMainForm::LevelClick);
  connect(Calibrate, &QPushButton::clicked, this, &TMainForm::CalibrateClick);
  connect(micDataImport, &QPushButton::clicked, this, &TMainForm::micDataImportClick);
  connect(exportMeas, &QPushButton::clicked, this, &TMainForm::exportMeasClick);
  connect(copyFToClip, &QPushButton::clicked, this, &TMainForm::copyFToClipClick);
  connect(Image2, &TImageView::mouseMoved, this, &TMainForm::graphCursorMove);
  connect(Image5, &TImageView::mouseMoved, this, &TMainForm::noGraphCursor);
}

// --- Settings page ---------------------------------------------------------

void TMainForm::sRateChange(int index) {
  if (app_->sampleRateChosen(index)) {
    // The calibration warnings follow the new rate.
    updateViewState();
    return;
  }
  // A run keeps its rate.
  const QSignalBlocker quiet(sRate);
  sRate->setCurrentIndex(state_->setup.sRateIndex);
}

void TMainForm::showSampleRate() {
  const MeasSetup& m = state_->setup;
  showRunTime();
  sRateC->setValue();
  sRateC->setVisible(m.sRateIndex == 0);

  // The window entries show samples as time and distance at the new rate.
  winStartcm->setScale((1.0 / m.sampleRate) * kSpeedOfSoundCm);
  winStartms->setScale(1000.0 / m.sampleRate);
  winLengthms->setScale(1000.0 / m.sampleRate);
  winStartcm->setValue();
  winStartms->setValue();
  winLengthms->setValue();
}

void TMainForm::nMLSChange(int index) {
  if (!app_->mlsOrderChosen(index)) {
    const QSignalBlocker quiet(nMLS);
    nMLS->setCurrentIndex(state_->setup.mlsOrder - mlsOrderTable.front());
  } else {
    updateViewState();  // the calibration warnings follow the new length
  }
  showRunTime();
}

void TMainForm::inDevChange(int index) {
  if (!app_->inputDeviceChosen(index)) {
    const QSignalBlocker quiet(inDev);
    inDev->setCurrentIndex(state_->inDeviceId);
  } else {
    rememberDevice(WaveDirection::input);
  }
  showDeviceHints();
}

void TMainForm::outDevChange(int index) {
  if (!app_->outputDeviceChosen(index)) {
    const QSignalBlocker quiet(outDev);
    outDev->setCurrentIndex(state_->outDeviceId);
  } else {
    rememberDevice(WaveDirection::output);
  }
  showDeviceHints();
}

void TMainForm::refreshDevicesClick() {
  // The application tells the lists to follow (relistDevices).
  app_->refreshDevices();
}

void TMainForm::micDataImportClick() {
  const bool interactive = state_->micImportAsk;
  if (app_->micImportClicked() == MicImport::loaded && interactive) {
    // Fresh data is used at once; unticking runs the box's handler.
    micDataDisable->setEnabled(true);
    micDataDisable->setChecked(false);
  }
  showMicData();
}

void TMainForm::micDataDisableClick(bool checked) {
  app_->micDataOffChanged(checked);
  showMicData();
}

// --- Frequency tab ---------------------------------------------------------

void TMainForm::freqDTitleExit() {
  const QByteArray utf8 = freqDTitle->text().toUtf8();
  app_->titleChanged(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

void TMainForm::showChChange(int index) { app_->showChannelChosen(index); }

void TMainForm::exportMeasClick() { app_->exportClicked(); }

void TMainForm::exportUnsmoothedClick(bool checked) { app_->exportUnsmoothedChanged(checked); }

void TMainForm::hidePhaseClick(bool checked) {
  if (checked) yLabel2->setText(QString());
  app_->phaseHiddenChanged(checked);
}

void TMainForm::TimeFreqCtrlChange(int) {
  // The merge preview lives in the frequency domain only.
  if (!state_->mergeSetup.mergeShown) return;
  const QSignalBlocker quiet(TimeFreqCtrl);
  TimeFreqCtrl->setCurrentIndex(1);
}

// --- Measure page ----------------------------------------------------------

void TMainForm::invertClick(bool checked) { app_->invertChanged(checked); }

void TMainForm::cbSmoothChange(int index) { app_->smoothingChosen(index); }

void TMainForm::twoChModeClick(bool checked) {
  app_->twoChannelChanged(checked);
  if (!checked) showCh->setCurrentIndex(0);
  showCh->setEnabled(checked);
}

void TMainForm::zSmoothClick(bool checked) { app_->impedanceSmoothChanged(checked); }

void TMainForm::exactClick(bool checked) { app_->exactEvaluationChanged(checked); }

void TMainForm::averagesChange(int index) {
  if (index >= 0 && index < static_cast<int>(averagesTable.size()) &&
      app_->averagesChosen(averagesTable[static_cast<size_t>(index)]))
    return;
  // A run keeps the periods it began with.
  const QSignalBlocker quiet(averagesList);
  for (size_t i = 0; i < averagesTable.size(); ++i)
    if (averagesTable[i] == state_->setup.averages) averagesList->setCurrentIndex(static_cast<int>(i));
}

void TMainForm::flatWindowClick(bool checked) {
  app_->windowShapeChosen(checked ? kWindowFlatHann : kWindowQuarterCosine);
}

void TMainForm::SplZChange(int index) {
  if (!app_->measurementModeChosen(index != 0)) {
    // A run keeps the kind of measurement it began with.
    const QSignalBlocker quiet(SplZ);
    SplZ->setCurrentIndex(state_->setup.impedanceMode != 0 ? 1 : 0);
  }
}

void TMainForm::minMaxZChange(int) { app_->impedanceRangeChosen(minZ->currentIndex(), maxZ->currentIndex()); }

// --- Page changes ------------------------------------------------------------

void TMainForm::mainPageChange(int index) {
  app_->pageShown(static_cast<MainPage>(std::clamp(index, 0, 3)));
  if (index == static_cast<int>(MainPage::merge)) {
    // Turning the button on from here runs its click handler when it was
    // off, as on the first visit of the page.
    if (state_->mergeSetup.addMode) {
      addRButton->setChecked(true);
    } else {
      mergeRButton->setChecked(true);
    }
  }
}

// --- Merge/Add page ----------------------------------------------------------

void TMainForm::mergeUListChange(int index) { app_->mergeSlotChosen(index); }

void TMainForm::mergeRButtonClick(bool checked) {
  if (checked) app_->mergeModeChosen(false);
}

void TMainForm::addRButtonClick(bool checked) {
  if (checked) app_->mergeModeChosen(true);
}

void TMainForm::mergeApplyClick() { app_->mergeApplied(); }
