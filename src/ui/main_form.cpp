// The window's life: the start-up order, the lists, the files, the messages
// of the numeric entries and the shutdown.

#include "ui/main_form.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTabWidget>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <utility>

#include "analysis/curve_prep.h"
#include "analysis/impedance_curves.h"
#include "app/curve_ops.h"
#include "app/stored_state.h"
#include "app/view_state.h"
#include "display/curve_drawing.h"
#include "display/redraw.h"
#include "engine/mls.h"
#include "platform/combined_audio.h"
#include "platform/portaudio/real_audio.h"
#include "platform/sim_audio.h"
#include "setup/control_lists.h"
#include "setup/data_dir.h"
#include "setup/impedance_range.h"
#include "ui/edit_num.h"
#include "ui/image_view.h"
#include "ui/qt_clipboard.h"
#include "ui/qt_dialogs.h"
#include "ui/wave_notifier.h"

namespace {

// What a redraw needs of the window: the busy cursor and the display curves
// prepared from the current result.
class WindowRedrawHooks final : public RedrawHooks {
 public:
  explicit WindowRedrawHooks(AppState& s) : s_(s) {}
  void showBusyCursor() override { QApplication::setOverrideCursor(Qt::WaitCursor); }
  void restoreCursor() override { QApplication::restoreOverrideCursor(); }
  void prepareSplCurves() override {
    ::prepareSplCurves(s_, false);
    prepareOverlayCurves(s_);
  }
  void prepareImpedanceCurves() override {
    ::prepareImpedanceCurves(s_, false);
    prepareOverlayCurves(s_);
  }

 private:
  AppState& s_;
};

}  // namespace

TMainForm::TMainForm(QWidget* parent) : QWidget(parent) {
  // The real devices first, the simulated ones after them (or first, when
  // there is no real pair); the simulator keeps time with the sample rate.
  pa_ = makeRealAudio();
  sim_ = std::make_unique<SimAudio>(SimAudio::Pacing::realTime);
  ownAudio_ = std::make_unique<CombinedWaveAudio>(pa_.get(), *sim_);
  ownDialogs_ = std::make_unique<TQtDialogs>(this);
  audio_ = ownAudio_.get();
  dialogs_ = ownDialogs_.get();
  construct(steadyClockSeconds);
}

TMainForm::TMainForm(WaveAudio& audio, Dialogs& dialogs, QWidget* parent, MonotonicClock clock)
    : QWidget(parent), audio_(&audio), dialogs_(&dialogs) {
  construct(std::move(clock));
}

void TMainForm::construct(MonotonicClock clock) {
  QFont small = font();
  small.setPixelSize(11);
  setFont(small);
  buildLayout();
  ownClipboard_ = std::make_unique<TQtClipboard>();
  clipboard_ = ownClipboard_.get();

  // The application on the chosen devices; the devices' notices are
  // handled on this thread, from the event loop.
  notifier_ = std::make_unique<TWaveNotifier>([this](const WaveNotice& n) { onWaveNotice(n); });
  app_ = std::make_unique<Application>(*audio_, *notifier_, *dialogs_, observer_, std::move(clock));
  state_ = &app_->state();
  AppState& s = *state_;
  recordingCanvases_ = std::make_unique<RecordingCanvases>(RecordingCanvases{
      Image1->canvas(), Image3->canvas(), Image4->canvas(), &timeFrame->canvas()});
  app_->setRecordingCanvases(*recordingCanvases_);
  delayTimer_ = new QTimer(this);
  delayTimer_->setObjectName(QStringLiteral("delayTimer"));
  delayTimer_->setSingleShot(true);
  delayTimer_->setTimerType(Qt::PreciseTimer);
  connect(delayTimer_, &QTimer::timeout, this, &TMainForm::delayedStartDue);
  progressTimer_ = new QTimer(this);
  progressTimer_->setObjectName(QStringLiteral("progressTimer"));
  progressTimer_->setInterval(100);
  connect(progressTimer_, &QTimer::timeout, this, &TMainForm::showRunProgress);

  app_->startUp(dataDirectory());
  if (s.micCalValid) {
    // Restored microphone data can be switched on and off; the box shows
    // the stored choice (micDataOff already holds it, no handler needed).
    const QSignalBlocker quiet(micDataDisable);
    micDataDisable->setEnabled(true);
    micDataDisable->setChecked(s.setup.micDataOff);
  }

  recallDevices();
  fillLists();
  setupNumericEntries();
  connectHandlers();
  buildCurveMarker();

  updateViewState();
  redrawGraphs();
}

TMainForm::~TMainForm() {
  // No notice is taken from here on; the devices stop before the backends
  // go, then the files are written.
  if (notifier_) notifier_->close();
  if (delayTimer_ != nullptr) delayTimer_->stop();
  if (progressTimer_ != nullptr) progressTimer_->stop();
  if (busyCursor_) QApplication::restoreOverrideCursor();
  if (app_) app_->shutDown();
}

void TMainForm::fillLists() {
  const AppState& s = *state_;
  const MeasSetup& m = s.setup;

  for (int32_t size : mlsSizeTable) nMLS->addItem(QString::number(size));
  nMLS->setCurrentIndex(m.mlsOrder - 12);

  // The range boxes show the current values as text; no item is chosen
  // until the user picks one.
  for (double z : zMinChoices) minZ->addItem(QString::fromLatin1(zMinText(z).text));
  minZ->setCurrentIndex(-1);
  minZ->setEditText(QString::fromLatin1(zMinText(m.zMin).text));
  for (double z : zMaxChoices) maxZ->addItem(QString::fromLatin1(zMaxText(z).text));
  maxZ->setCurrentIndex(-1);
  maxZ->setEditText(QString::fromLatin1(zMaxText(m.zMax).text));

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
  // Without devices a list stays empty and device 0 is used all the same:
  // its opening then fails with the backend's text.
  char name[256];
  const auto fill = [&](QComboBox* list, WaveDirection dir, int16_t chosen) {
    const int count = audio_->deviceCount(dir);
    for (int id = 0; id < count; ++id) {
      audio_->deviceName(dir, id, name, sizeof name);
      list->addItem(QString::fromUtf8(name));
    }
    list->setCurrentIndex(chosen >= 0 && chosen < count ? chosen : -1);
    // Long device names are cut in the closed list: its popup is made wide
    // enough for the longest, each item carries its whole name as a hint.
    for (int i = 0; i < list->count(); ++i) list->setItemData(i, list->itemText(i), Qt::ToolTipRole);
    list->view()->setMinimumWidth(list->view()->sizeHintForColumn(0) + 2 * list->view()->frameWidth());
  };
  fill(outDev, WaveDirection::output, state_->outDeviceId);
  fill(inDev, WaveDirection::input, state_->inDeviceId);
  showDeviceHints();
}

namespace {

const QString kInputKey = QStringLiteral("devices/input");
const QString kOutputKey = QStringLiteral("devices/output");

}  // namespace

QString TMainForm::deviceIniPath() const {
  return QString::fromLocal8Bit(dataFilePath(state_->dataDir, "sonrake.ini"));
}

void TMainForm::recallDevices() {
  const QSettings ini(deviceIniPath(), QSettings::IniFormat);
  const QByteArray in = ini.value(kInputKey).toString().toUtf8();
  const QByteArray out = ini.value(kOutputKey).toString().toUtf8();
  app_->devicesChosenByName(std::string_view(in.constData(), static_cast<size_t>(in.size())),
                            std::string_view(out.constData(), static_cast<size_t>(out.size())));
}

void TMainForm::rememberDevice(WaveDirection dir) {
  const std::string name = app_->chosenDeviceName(dir);
  if (name.empty()) return;
  QSettings ini(deviceIniPath(), QSettings::IniFormat);
  ini.setValue(dir == WaveDirection::input ? kInputKey : kOutputKey, QString::fromUtf8(name));
  ini.sync();
}

void TMainForm::relistDevices() {
  {
    const QSignalBlocker quietIn(inDev);
    const QSignalBlocker quietOut(outDev);
    inDev->clear();
    outDev->clear();
    fillDeviceLists();
  }
}

void TMainForm::showDeviceHints() {
  // The hint of a device list, followed by the whole name of its device.
  const auto show = [](QComboBox* list, const char* hint) {
    QString text = QString::fromLatin1(hint);
    if (list->currentIndex() >= 0) text += QLatin1Char('\n') + list->currentText();
    list->setToolTip(text);
  };
  show(inDev, kInDevHint);
  show(outDev, kOutDevHint);
}

void TMainForm::drawEmptyFrames() {
  for (TImageView* image : {Image3, Image4, timeFrame, Image1, Image5, Image2}) image->clearFrame();
}

void TMainForm::redrawGraphs() {
  AppState& s = *state_;
  const GraphInputs in{s.setup,
                       s.curves,
                       s.impulse,
                       s.measurementShown,
                       s.calibrationView,
                       {s.mergeSetup.mergeShown, s.mergeSetup.addMode, s.mergeSetup.transitionFreq,
                        storedCurveRate(s.setup, s.slots, s.mergeSetup.storedSlot),
                        &storedCurveHeld(s.setup, s.slots, s.mergeSetup.storedSlot)},
                       s.overlays.drawn};
  const GraphCanvases canvases{Image1->canvas(), Image5->canvas(), Image2->canvas(),
                               &timeFrame->canvas(), graphGeometry_};
  WindowRedrawHooks hooks(s);
  ::redrawGraphs(in, s.calibrationRun, canvases, hooks);
  for (TImageView* image : {timeFrame, Image1, Image5, Image2}) {
    image->canvas().finish();
    image->update();
  }
  showCurveMarker();
  showDriverParams();
}

void TMainForm::receiveMessage(uint32_t msg, uint32_t wParam, int32_t) {
  if (msg == msgSettingChanged) handleNotification(wParam);
}

void TMainForm::handleNotification(uint32_t code) {
  if (code == ncDriver) {
    app_->driverInputsChanged(driverEntries_);
  } else {
    app_->settingChanged(code);
  }
}
