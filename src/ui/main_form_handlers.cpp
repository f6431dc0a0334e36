// The control handlers: each stores its control's state in the program state
// and runs the follow-up. Change handlers are connected to the signals that
// only user actions raise (activated, a page change by the user); check boxes
// and radio buttons to toggled, so that setting them from code runs their
// handler as a click would.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include <algorithm>
#include <cstring>

#include "analysis/measurement_mode.h"
#include "app/curve_ops.h"
#include "analysis/mic_cal.h"
#include "app/mic_import.h"
#include "engine/mls.h"
#include "store/text_export.h"
#include "ui/edit_num.h"
#include "ui/image_view.h"
#include "ui/main_form.h"

namespace {

constexpr double kSpeedOfSoundCm = 344.0 * 100.0;  // cm/s

// Copies text into dst (capacity bytes, NUL included) as UTF-8, cut at a
// character boundary when it does not fit.
void copyTitle(const QString& text, char* dst, int capacity) {
  const QByteArray utf8 = text.toUtf8();
  qsizetype n = std::min<qsizetype>(utf8.size(), capacity - 1);
  while (n > 0 && n < utf8.size() && (static_cast<unsigned char>(utf8[n]) & 0xC0) == 0x80) --n;
  std::memcpy(dst, utf8.constData(), static_cast<size_t>(n));
  dst[n] = '\0';
}

}  // namespace

void TMainForm::connectHandlers() {
  connect(sRate, &QComboBox::activated, this, &TMainForm::sRateChange);
  connect(nMLS, &QComboBox::activated, this, &TMainForm::nMLSChange);
  connect(inDev, &QComboBox::activated, this, &TMainForm::inDevChange);
  connect(outDev, &QComboBox::activated, this, &TMainForm::outDevChange);
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
  connect(SplZ, &QTabWidget::currentChanged, this, &TMainForm::SplZChange);
  connect(minZ, &QComboBox::activated, this, &TMainForm::minMaxZChange);
  connect(maxZ, &QComboBox::activated, this, &TMainForm::minMaxZChange);
  connect(mainPage, &QTabWidget::currentChanged, this, &TMainForm::mainPageChange);
  connect(TimeFreqCtrl, &QTabWidget::currentChanged, this, &TMainForm::TimeFreqCtrlChange);
  connect(mergeUList, &QComboBox::activated, this, &TMainForm::mergeUListChange);
  connect(mergeRButton, &QRadioButton::toggled, this, &TMainForm::mergeRButtonClick);
  connect(addRButton, &QRadioButton::toggled, this, &TMainForm::addRButtonClick);
  connect(mergeApply, &QPushButton::clicked, this, &TMainForm::mergeApplyClick);
  for (int i = 0; i < 8; ++i) {
    connect(storeButtons[i], &QPushButton::clicked, this, [this, i] { storeClick(i + 1); });
    connect(recallButtons[i], &QPushButton::clicked, this, [this, i] { recallClick(i + 1); });
  }
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
  if (index < 0 || index >= kSampleRateCount) return;
  AppState& s = *state_;
  MeasSetup& m = s.setup;
  m.setSampleRate(index);
  s.responseValid = false;

  sRateC->setValue();
  sRateC->setVisible(index == 0);

  // The window entries show samples as time and distance at the new rate.
  winStartcm->setScale((1.0 / m.sampleRate) * kSpeedOfSoundCm);
  winStartms->setScale(1000.0 / m.sampleRate);
  winLengthms->setScale(1000.0 / m.sampleRate);
  winStartcm->setValue();
  winStartms->setValue();
  winLengthms->setValue();

  if (s.micCalValid) {
    // The microphone data lives on the grid of the rate it was read for;
    // read the same file again without asking.
    s.micImportAsk = false;
    micDataImportClick();
    s.micImportAsk = true;
  }
  recomputeCalDisplay(0.0);
  redrawGraphs();
}

void TMainForm::nMLSChange(int index) {
  if (index < 0 || index >= kMlsOrderCount) return;
  AppState& s = *state_;
  s.setup.setMlsOrder(index);
  buildMlsTables(s.setup, s.mls);
  recomputeCalDisplay(0.0);
  redrawGraphs();
}

void TMainForm::inDevChange(int index) { state_->inDeviceId = static_cast<int16_t>(index); }

void TMainForm::outDevChange(int index) { state_->outDeviceId = static_cast<int16_t>(index); }

void TMainForm::micDataImportClick() {
  AppState& s = *state_;
  const bool interactive = s.micImportAsk;
  const MicImport result = importMicCal(s, *dialogs_);
  if (result == MicImport::cancelled) return;
  if (interactive && result == MicImport::loaded) {
    // Fresh data is used at once; unticking runs the box's handler.
    micDataDisable->setEnabled(true);
    micDataDisable->setChecked(false);
  }
  redrawGraphs();
}

void TMainForm::micDataDisableClick(bool checked) {
  state_->setup.micDataOff = checked;
  redrawGraphs();
}

// --- Frequency tab ---------------------------------------------------------

void TMainForm::freqDTitleExit() {
  copyTitle(freqDTitle->text(), state_->setup.title, kTitleCapacity);
}

void TMainForm::showChChange(int index) {
  if (index < 0) return;
  state_->setup.showChannel = static_cast<uint8_t>(index);
  recomputeResponse();
  redrawGraphs();
}

void TMainForm::exportMeasClick() { exportResponse(state_->setup, state_->curves, state_->responseValid, *dialogs_); }

void TMainForm::hidePhaseClick(bool checked) {
  state_->setup.phaseHidden = checked;
  if (checked) yLabel2->setText(QString());
  redrawGraphs();
}

void TMainForm::TimeFreqCtrlChange(int) {
  // The merge preview lives in the frequency domain only.
  if (!state_->mergeSetup.mergeShown) return;
  const QSignalBlocker quiet(TimeFreqCtrl);
  TimeFreqCtrl->setCurrentIndex(1);
}

// --- Measure page ----------------------------------------------------------

void TMainForm::invertClick(bool checked) {
  state_->setup.invertPolarity = checked;
  redrawGraphs();
}

void TMainForm::cbSmoothChange(int index) {
  if (index < 0) return;
  state_->setup.smoothIndex = static_cast<uint8_t>(index);
  redrawGraphs();
}

void TMainForm::twoChModeClick(bool checked) {
  MeasSetup& m = state_->setup;
  m.twoChannel = checked;
  if (!checked) {
    m.showChannel = 0;
    showCh->setCurrentIndex(0);
  }
  showCh->setEnabled(checked);
}

void TMainForm::zSmoothClick(bool checked) {
  state_->setup.impedanceSmooth = checked;
  redrawGraphs();
}

void TMainForm::SplZChange(int index) {
  // The shown result belongs to the other kind of measurement; the gain
  // entries edit the pair of fields that the new mode uses.
  bindMergeGains(switchMeasurementMode(*state_, index != 0));
  updateViewState();
  redrawGraphs();
}

void TMainForm::minMaxZChange(int) {
  if (chooseImpedanceRange(state_->setup, minZ->currentIndex(), maxZ->currentIndex())) {
    redrawGraphs();
  }
}

// --- Page changes ------------------------------------------------------------

void TMainForm::mainPageChange(int index) {
  AppState& s = *state_;
  if (index == 2) {
    s.mergeSetup.mergeShown = true;
    // Turning the button on from here runs its click handler when it was
    // off, as on the first visit of the page.
    if (s.mergeSetup.addMode) {
      addRButton->setChecked(true);
    } else {
      mergeRButton->setChecked(true);
    }
  } else {
    s.mergeSetup.mergeShown = false;
  }
  if (index == 0) {
    s.calibrationView = true;
    s.measurementShown = false;
    recomputeCalDisplay(kCalibrationLevelOffset);
  } else {
    s.calibrationView = false;
  }
  updateViewState();
  redrawGraphs();
}

// --- Merge/Add page ----------------------------------------------------------

void TMainForm::mergeUListChange(int index) {
  state_->mergeSetup.storedSlot = index;
  handleNotification(ncMerge);
}

void TMainForm::mergeRButtonClick(bool checked) {
  if (!checked) return;
  state_->mergeSetup.addMode = false;
  updateViewState();
  handleNotification(ncMerge);
}

void TMainForm::addRButtonClick(bool checked) {
  if (!checked) return;
  state_->mergeSetup.addMode = true;
  updateViewState();
  handleNotification(ncMerge);
}

void TMainForm::mergeApplyClick() { handleNotification(ncMergeApply); }

// --- The memory slots, the cursor read-out and the clipboard copy are in
// --- main_form_slots.cpp, the runs in main_form_measure.cpp.
