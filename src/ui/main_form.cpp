// The window's life: the start-up order, the lists, the files, the messages
// of the numeric entries and the shutdown.

#include "ui/main_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include <cmath>
#include <cstdio>

#include "engine/mls.h"
#include "setup/control_lists.h"
#include "setup/view_state.h"
#include "ui/edit_num.h"
#include "ui/image_view.h"

namespace {

QString formatted(const char* fmt, double x) {
  char buf[32];
  std::snprintf(buf, sizeof buf, fmt, x);
  return QString::fromLatin1(buf);
}

}  // namespace

TMainForm::TMainForm(QWidget* parent) : QWidget(parent) {
  QFont small = font();
  small.setPixelSize(11);
  setFont(small);
  buildLayout();

  // The whole program state in one allocation: settings, slots, merge
  // settings, transforms and the calibration table (every point (1, 0),
  // every flag false).
  state_ = std::make_unique<AppState>();
  AppState& s = *state_;
  s.setup.setDefaults();

  s.micCalValid = false;
  readSettingsFiles();

  // The order read from the file decides the sequence sizes; the sizes that
  // follow from the rate stay at their 44100 Hz values until a rate is chosen.
  const int32_t orderIndex = s.setup.mlsOrder - 12;
  s.setup.setMlsOrder(orderIndex >= 0 && orderIndex < kMlsOrderCount ? orderIndex : 1);
  buildMlsTables(s.setup, s.mls);

  s.responseValid = false;
  s.calibrationRun = false;
  s.micImportAsk = true;
  s.measurementShown = false;

  fillLists();
  setupNumericEntries();
  connectHandlers();

  updateViewState();
  redrawGraphs();
}

TMainForm::~TMainForm() { writeSettingsFiles(); }

void TMainForm::readSettingsFiles() {
  // Start-up reads the configuration and then the calibration file from the
  // data directory; until they are connected the defaults stay in place,
  // which is what a first start without files shows.
}

void TMainForm::writeSettingsFiles() {
  // Shutdown writes the configuration and then the calibration file to the
  // data directory; not connected yet, so nothing is saved.
}

void TMainForm::fillLists() {
  const AppState& s = *state_;
  const MeasSetup& m = s.setup;

  for (int32_t size : mlsSizeTable) nMLS->addItem(QString::number(size));
  nMLS->setCurrentIndex(m.mlsOrder - 12);

  // The range boxes show the current values as text; no item is chosen
  // until the user picks one.
  for (double z : zMinChoices) minZ->addItem(formatted("%2.1f", z));
  minZ->setCurrentIndex(-1);
  minZ->setEditText(formatted("%2.1f", m.zMin));
  for (double z : zMaxChoices) maxZ->addItem(formatted("%2.0f", z));
  maxZ->setCurrentIndex(-1);
  maxZ->setEditText(formatted("%2.0f", m.zMax));

  fillDeviceLists();

  for (const char* name : channelNames) showCh->addItem(QString::fromLatin1(name));
  showCh->setEnabled(false);

  drawEmptyFrames();

  sRate->addItem(QStringLiteral("Custom"));
  for (int i = 1; i < kSampleRateCount; ++i) sRate->addItem(QString::number(sampleRateTable[i]));
  sRate->setCurrentIndex(m.sRateIndex);
  sRateC->setVisible(m.sRateIndex == 0);

  for (const char* name : smoothingNames) cbSmooth->addItem(QString::fromLatin1(name));
}

void TMainForm::fillDeviceLists() {
  // The devices in identifier order; the item index is the device number.
  outDev->addItem(QStringLiteral("Simulator output"));
  outDev->setCurrentIndex(state_->outDeviceId < outDev->count() ? state_->outDeviceId : -1);
  inDev->addItem(QStringLiteral("Simulator: loudspeaker (mic L, loop R)"));
  inDev->addItem(QStringLiteral("Simulator: loopback cable"));
  inDev->addItem(QStringLiteral("Simulator: impedance jig 12 ohm"));
  inDev->setCurrentIndex(state_->inDeviceId < inDev->count() ? state_->inDeviceId : -1);
}

void TMainForm::drawEmptyFrames() {
  for (TImageView* image : {Image3, Image4, Image1, Image5, Image2}) image->clearFrame();
}

void TMainForm::redrawGraphs() {
  state_->calibrationRun = false;
  for (TImageView* image : {Image1, Image5, Image2}) image->clearFrame();
}

void TMainForm::receiveMessage(uint32_t msg, uint32_t wParam, int32_t) {
  if (msg == msgSettingChanged) handleNotification(wParam);
}

void TMainForm::handleNotification(uint32_t code) {
  updateViewState();
  if (code == ncSampleRate) sRateChange(sRate->currentIndex());
  if (code == ncWindow) recomputeResponse();
  if (code == ncMerge || code == ncMergeApply) updateMergeGains();
  if (code == ncMergeApply) {
    applyMerge();
    updateViewState();
  }
  redrawGraphs();
}

void TMainForm::recomputeResponse() {
  // Only a response measured in this mode has an impulse response behind it;
  // a recalled curve or one from before a mode change is left alone.
  AppState& s = *state_;
  if (!s.setup.hasResponse) return;
  if (computeResponse(s.responseContext())) showCh->setEnabled(true);
}

void TMainForm::updateMergeGains() {
  // In impedance mode the gains are entered as factors already.
  MergeSetup& g = state_->mergeSetup;
  if (state_->setup.impedanceMode != 0) return;
  g.lowerGain = std::pow(10.0, g.lowerGainDb * 0.05);
  g.upperGain = std::pow(10.0, g.upperGainDb * 0.05);
}

void TMainForm::applyMerge() {
  state_->mergeSetup.mergeShown = false;
  const QSignalBlocker quiet(mainPage);
  mainPage->setCurrentIndex(1);
}
