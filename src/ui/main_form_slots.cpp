// The memory slots (store and recall), the cursor read-out above the
// frequency graph and the copy of that graph to the clipboard.

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabWidget>

#include <cstdint>

#include "app/slot_ops.h"
#include "display/clipboard_copy.h"
#include "display/cursor_readout.h"
#include "display/plot_mapping.h"
#include "platform/clipboard.h"
#include "setup/impedance_range.h"
#include "store/slots.h"
#include "ui/edit_num.h"
#include "ui/image_view.h"
#include "ui/main_form.h"

// --- Memory slots --------------------------------------------------------------

void TMainForm::storeClick(int n) {
  if (!app_->storeClicked(n)) return;
  recallButtons[n - 1]->setEnabled(true);
  showSlotTitle(n);
}

void TMainForm::showSlotTitle(int n) {
  const char* title = slotHintTitle(*state_, n);
  if (title == nullptr) return;
  const QString hint = QString::fromUtf8(title);
  storeButtons[n - 1]->setToolTip(hint);
  recallButtons[n - 1]->setToolTip(hint);
}

void TMainForm::recallClick(int n) { app_->recallClicked(n); }

void TMainForm::loadCurveClick(int n) {
  if (app_->loadCurveClicked(n) != Application::CurveLoad::loaded) return;
  recallButtons[n - 1]->setEnabled(true);
  showSlotTitle(n);
}

void TMainForm::loadCurveMenu() {
  QMenu menu(this);
  for (int n = 1; n <= kStoreSlots; ++n) {
    QString text = QStringLiteral("Slot %1").arg(n);
    if (const char* title = slotHintTitle(*state_, n)) text += QStringLiteral(": ") + QString::fromUtf8(title);
    menu.addAction(text, this, [this, n] { loadCurveClick(n); });
  }
  menu.exec(loadCurve->mapToGlobal(QPoint(0, loadCurve->height())));
}

// --- Sessions ------------------------------------------------------------------

void TMainForm::sessionMenu() {
  QMenu menu(this);
  menu.addAction(QStringLiteral("Save session\u2026"), this, &TMainForm::saveSessionClick);
  menu.addAction(QStringLiteral("Open session\u2026"), this, &TMainForm::openSessionClick);
  menu.addSeparator();
  menu.addAction(QStringLiteral("Export impulse as WAV\u2026"), this,
                 &TMainForm::exportImpulseWavClick);
  menu.addAction(QStringLiteral("Export excitation as WAV\u2026"), this,
                 &TMainForm::exportExcitationWavClick);
  menu.addAction(QStringLiteral("Analyse WAV recording\u2026"), this, &TMainForm::analyseWavClick);
  menu.exec(sessionButton->mapToGlobal(QPoint(0, sessionButton->height())));
}

void TMainForm::saveSessionClick() { app_->saveSessionClicked(); }

void TMainForm::openSessionClick() { app_->openSessionClicked(); }

void TMainForm::offerLastSession() { app_->offerLastSession(); }

void TMainForm::keepLastSession() {
  std::string error;
  if (!app_->keepLastSession(error)) {
    const std::string text = "The session could not be kept for the next start: " + error;
    app_->dialogs().messageBox(text.c_str(), "Session", MsgIcon::warning, MsgButtons::ok);
  }
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (isWindow()) keepLastSession();
  QWidget::closeEvent(event);
}

// --- WAV files -----------------------------------------------------------------

void TMainForm::exportImpulseWavClick() { app_->exportImpulseWavClicked(); }

void TMainForm::exportExcitationWavClick() { app_->exportExcitationWavClicked(); }

// An analysed recording ends as a run does: the observer shows the result.
void TMainForm::analyseWavClick() { app_->analyseWavClicked(); }

void TMainForm::showSessionControls() {
  const MeasSetup& m = state_->setup;
  const MergeSetup& g = state_->mergeSetup;
  {
    const QSignalBlocker q1(nMLS), q2(sRate), q3(averagesList), q4(minZ), q5(maxZ), q6(mergeUList);
    nMLS->setCurrentIndex(m.mlsOrder - mlsOrderTable.front());
    sRate->setCurrentIndex(m.sRateIndex);
    sRateC->setVisible(m.sRateIndex == 0);
    for (size_t i = 0; i < averagesTable.size(); ++i)
      if (averagesTable[i] == m.averages) averagesList->setCurrentIndex(static_cast<int>(i));
    minZ->setCurrentIndex(-1);
    minZ->setEditText(QString::fromLatin1(zMinText(m.zMin).text));
    maxZ->setCurrentIndex(-1);
    maxZ->setEditText(QString::fromLatin1(zMaxText(m.zMax).text));
    mergeUList->setCurrentIndex(g.storedSlot);
  }
  const std::pair<QAbstractButton*, bool> boxes[] = {
      {twoChMode, m.twoChannel},           {invert, m.invertPolarity},
      {hidePhase, m.phaseHidden},          {zSmooth, m.impedanceSmooth},
      {exactEval, m.exactEvaluation},      {flatWindow, m.windowShape == kWindowFlatHann},
      {micDataDisable, m.micDataOff},      {mergeRButton, !g.addMode},
      {addRButton, g.addMode}};
  for (const auto& [box, on] : boxes) {
    const QSignalBlocker quiet(box);
    box->setChecked(on);
  }
  applyRunLocks(false);
  for (int n = 1; n <= kStoreSlots; ++n) showSlotTitle(n);
}

// --- Cursor read-out and clipboard -------------------------------------------

void TMainForm::graphCursorMove(int x, int y) {
  const AppState& s = *state_;
  CursorReadout r;
  graphCursorReadout(s.setup, s.curves.dBTop, s.calibrationView, Image2->canvas().width(),
                     Image2->canvas().height(), x, y, r);
  freqLabel->setText(QString::fromLatin1(r.freq));
  yLabel1->setText(QString::fromLatin1(r.level));
  yLabel2->setText(QString::fromLatin1(r.phase));
  const PlotMapping map = plotMapping(s.setup, s.curves.dBTop, s.calibrationView,
                                      Image2->canvas().width(), Image2->canvas().height());
  markers_.hover(map.freqAt(x));
  showCurveMarker();
}

void TMainForm::noGraphCursor(int, int) {
  freqLabel->setText(QString());
  yLabel1->setText(QString());
  yLabel2->setText(QString());
  markers_.leave();
  showCurveMarker();
}

void TMainForm::copyFToClipClick() {
  const QImage picture = graphPicture();
  ClipImage clip;
  if (!picture.isNull()) {
    clip = {reinterpret_cast<const uint32_t*>(picture.constBits()), picture.width(),
            picture.height(), static_cast<int>(picture.bytesPerLine() / 4)};
  }
  app_->copyGraphClicked(clip, *clipboard_);
}
