// The settings of the program and their follow-ups, the memory slots and the
// file operations, as the front ends call them.

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

#include "analysis/frequency_response.h"
#include "app/application.h"
#include "app/curve_ops.h"
#include "app/device_lists.h"
#include "app/export_ops.h"
#include "app/mic_import.h"
#include "app/session_ops.h"
#include "app/slot_ops.h"
#include "app/view_state.h"
#include "display/curve_drawing.h"
#include "engine/mls.h"
#include "platform/dialogs.h"
#include "platform/wave_audio.h"

ViewState Application::viewState(bool showChVisibleNow) {
  const ViewState v = computeViewState(*state_, showChVisibleNow);
  if (v.resetShowChannel) state_->setup.showChannel = 0;
  return v;
}

bool Application::sampleRateChosen(int index) {
  if (index < 0 || index >= kSampleRateCount || runUnderway()) return false;
  AppState& s = *state_;
  s.setup.setSampleRate(index);
  s.responseValid = false;
  observer_.sampleRateChanged();
  if (s.micCalValid) {
    // The microphone data lives on the grid of the rate it was read for;
    // read the same file again without asking.
    s.micImportAsk = false;
    importMicCal(s, dialogs_);
    s.micImportAsk = true;
  }
  recomputeCalDisplay(s, 0.0);
  observer_.redraw();
  return true;
}

bool Application::mlsOrderChosen(int index) {
  if (index < 0 || index >= kMlsOrderCount || runUnderway()) return false;
  AppState& s = *state_;
  s.setup.setMlsOrder(index);
  buildMlsTables(s.setup, s.mls);
  recomputeCalDisplay(s, 0.0);
  observer_.redraw();
  return true;
}

bool Application::inputDeviceChosen(int id) {
  if (runUnderway()) return false;
  state_->inDeviceId = static_cast<int16_t>(id);
  return true;
}

bool Application::outputDeviceChosen(int id) {
  if (runUnderway()) return false;
  state_->outDeviceId = static_cast<int16_t>(id);
  return true;
}

namespace {

// The device of `dir` called `name`: `current` when it is called so, else
// the first that is; -1 for none.
int deviceNamed(const WaveAudio& audio, WaveDirection dir, std::string_view name, int current) {
  if (name.empty()) return -1;
  if (deviceNameAt(audio, dir, current) == name) return current;
  return deviceIdByName(audio, dir, name);
}

}  // namespace

Application::DeviceNamesFound Application::devicesChosenByName(std::string_view input,
                                                               std::string_view output) {
  DeviceNamesFound found;
  if (runUnderway()) return found;
  const int in = deviceNamed(audio_, WaveDirection::input, input, state_->inDeviceId);
  const int out = deviceNamed(audio_, WaveDirection::output, output, state_->outDeviceId);
  if (in >= 0) found.input = inputDeviceChosen(in);
  if (out >= 0) found.output = outputDeviceChosen(out);
  return found;
}

std::string Application::chosenDeviceName(WaveDirection dir) const {
  return deviceNameAt(audio_, dir,
                      dir == WaveDirection::input ? state_->inDeviceId : state_->outDeviceId);
}

bool Application::refreshDevices() {
  if (runUnderway()) return false;
  AppState& s = *state_;
  const std::string in = deviceNameAt(audio_, WaveDirection::input, s.inDeviceId);
  const std::string out = deviceNameAt(audio_, WaveDirection::output, s.outDeviceId);
  audio_.refreshDevices();
  const int newIn = in.empty() ? -1 : deviceIdByName(audio_, WaveDirection::input, in);
  const int newOut = out.empty() ? -1 : deviceIdByName(audio_, WaveDirection::output, out);
  s.inDeviceId = static_cast<int16_t>(newIn >= 0 ? newIn : 0);
  s.outDeviceId = static_cast<int16_t>(newOut >= 0 ? newOut : 0);
  observer_.deviceListsChanged();
  return true;
}

bool Application::measurementModeChosen(bool impedance) {
  if (runUnderway()) return false;
  // The shown result belongs to the other kind of measurement; the gain
  // entries edit the pair of fields that the new mode uses.
  observer_.mergeGainsChanged(switchMeasurementMode(*state_, impedance));
  state_->driverCurve = false;
  updateDriverParams(*state_);
  observer_.viewStateChanged();
  observer_.redraw();
  return true;
}

void Application::impedanceRangeChosen(int minIndex, int maxIndex) {
  if (chooseImpedanceRange(state_->setup, minIndex, maxIndex)) observer_.redraw();
}

void Application::micDataOffChanged(bool off) {
  state_->setup.micDataOff = off;
  observer_.redraw();
}

void Application::titleChanged(std::string_view utf8) {
  setTitleUtf8(state_->setup.title, utf8);
}

void Application::showChannelChosen(int index) {
  if (index < 0) return;
  state_->setup.showChannel = static_cast<uint8_t>(index);
  recomputeResponse();
  observer_.redraw();
}

void Application::phaseHiddenChanged(bool hidden) {
  state_->setup.phaseHidden = hidden;
  observer_.redraw();
}

void Application::invertChanged(bool invert) {
  state_->setup.invertPolarity = invert;
  observer_.redraw();
}

void Application::smoothingChosen(int index) {
  if (index < 0) return;
  state_->setup.smoothIndex = static_cast<uint8_t>(index);
  observer_.redraw();
}

void Application::twoChannelChanged(bool twoChannel) {
  MeasSetup& m = state_->setup;
  m.twoChannel = twoChannel;
  if (!twoChannel) m.showChannel = 0;
}

void Application::impedanceSmoothChanged(bool smooth) {
  state_->setup.impedanceSmooth = smooth;
  observer_.redraw();
}

void Application::exactEvaluationChanged(bool exact) {
  state_->setup.exactEvaluation = exact;
  recomputeResponse();
  observer_.redraw();
}

bool Application::averagesChosen(int32_t n) {
  if (runUnderway() || std::find(averagesTable.begin(), averagesTable.end(), n) == averagesTable.end())
    return false;
  state_->setup.averages = n;
  observer_.viewStateChanged();
  return true;
}

void Application::windowShapeChosen(uint8_t shape) {
  state_->setup.windowShape = shape == kWindowFlatHann ? kWindowFlatHann : kWindowQuarterCosine;
  recomputeResponse();
  observer_.redraw();
}

void Application::pageShown(MainPage page) {
  AppState& s = *state_;
  s.mergeSetup.mergeShown = page == MainPage::merge;
  if (page == MainPage::settings) {
    s.calibrationView = true;
    s.measurementShown = false;
    recomputeCalDisplay(s, kCalibrationLevelOffset);
  } else {
    s.calibrationView = false;
  }
  observer_.viewStateChanged();
  observer_.redraw();
}

void Application::mergeSlotChosen(int index) {
  state_->mergeSetup.storedSlot = index;
  settingChanged(ncMerge);
}

void Application::mergeModeChosen(bool add) {
  state_->mergeSetup.addMode = add;
  observer_.viewStateChanged();
  settingChanged(ncMerge);
}

void Application::settingChanged(uint32_t code) {
  AppState& s = *state_;
  observer_.viewStateChanged();
  if (code == ncSampleRate) sampleRateChosen(s.setup.sRateIndex);
  if (code == ncWindow) recomputeResponse();
  if (code == ncMerge || code == ncMergeApply) {
    MergeSetup& g = s.mergeSetup;
    g.updateMergeGains(s.setup.impedanceMode != 0);
    g.computeMergeWeights(s.setup.freqGrid);
  }
  if (code == ncMergeApply) {
    // The weighted combination becomes the current response; it holds real
    // points only as far as both its parts do.
    const int32_t storedRate = storedCurveRate(s.setup, s.slots, s.mergeSetup.storedSlot);
    if (storedRate > 0 && (s.setup.responseRate <= 0 || storedRate < s.setup.responseRate))
      s.setup.responseRate = storedRate;
    if (s.setup.impedanceMode != 0) {
      prepareImpedanceCurves(s, true);
    } else {
      prepareSplCurves(s, true);
    }
    s.mergeSetup.mergeShown = false;
    observer_.mergeApplied();
    observer_.viewStateChanged();
  }
  // The range or the response may have changed.
  updateDriverParams(s);
  observer_.redraw();
}

void Application::recomputeResponse() {
  AppState& s = *state_;
  if (!s.setup.hasResponse) return;
  if (computeResponse(s.responseContext())) observer_.channelSelectorEnabled();
  updateDriverParams(s);
}

bool Application::storeClicked(int n) {
  // Without a measured response there is nothing to keep.
  if (runUnderway() || !storeSlot(*state_, n)) return false;
  // The slot may be the one the second curve is taken from.
  updateDriverParams(*state_);
  return true;
}

bool Application::recallClicked(int n) {
  GainEntrySetup gains;
  if (runUnderway() || !recallSlot(*state_, n, gains)) return false;
  state_->driverCurve = state_->setup.impedanceMode != 0;
  updateDriverParams(*state_);
  observer_.mergeGainsChanged(gains);
  // The measurement page follows the recalled type, so that the page shown
  // is the kind of measurement a start makes.
  observer_.measurementModeShown(state_->setup.impedanceMode != 0);
  observer_.viewStateChanged();
  observer_.redraw();
  return true;
}

MicImport Application::micImportClicked() {
  const MicImport result = importMicCal(*state_, dialogs_);
  if (result != MicImport::cancelled) observer_.redraw();
  return result;
}

Application::CurveLoad Application::loadCurveClicked(int n) {
  if (runUnderway() || !slotInRange(n)) return CurveLoad::refusedNow;
  char path[kDialogPathCapacity]{};
  const FileDialogRequest request{"frd", kCurveFileFilter, ""};
  if (!dialogs_.openFileDialog(request, path, sizeof path)) return CurveLoad::cancelled;
  const CurveFileRead read = loadSlotFromFile(*state_, n, path);
  if (read.result != CurveFileResult::loaded) {
    dialogs_.messageBox(curveRefusalText(read).c_str(), "Load curve", MsgIcon::warning, MsgButtons::ok);
    return CurveLoad::failed;
  }
  // The slot may be the stored part of the merge preview.
  observer_.viewStateChanged();
  observer_.redraw();
  return CurveLoad::loaded;
}

ExportResult Application::exportClicked() {
  AppState& s = *state_;
  auto scratch = std::make_unique<DisplayCurves>();
  const DisplayCurves& curves = exportCurvesFor(s, exportUnsmoothed_, *scratch);
  const ExportHeader header = exportHeaderFor(s, exportUnsmoothed_, localDateTime());
  return exportResponse(s.setup, curves, s.responseValid, dialogs_, &header);
}

ClipCopyResult Application::copyGraphClicked(const ClipImage& picture, Clipboard& clipboard) {
  return copyGraphToClipboard(picture, clipboard, dialogs_);
}

bool Application::saveSessionTo(const std::string& path, std::string& error) {
  auto session = std::make_unique<SessionData>();
  sessionFromState(*state_, *session);
  return writeSessionFile(path, *session, error);
}

bool Application::openSessionFrom(const std::string& path, std::string& error) {
  if (runUnderway()) {
    error = "A session cannot be opened while a measurement runs.";
    return false;
  }
  auto session = std::make_unique<SessionData>();
  if (!readSessionFile(path, *session, error)) return false;
  AppState& s = *state_;
  const int32_t rateBefore = s.setup.sampleRate;
  applySession(s, *session);
  if (s.micCalValid && s.setup.sampleRate != rateBefore) {
    // The microphone data lives on the grid of the rate it was read for.
    s.micImportAsk = false;
    importMicCal(s, dialogs_);
    s.micImportAsk = true;
  }
  recomputeCalDisplay(s, 0.0);
  const bool impedance = s.setup.impedanceMode != 0;
  observer_.sampleRateChanged();
  observer_.mergeGainsChanged(mergeGainEntrySetup(s.mergeSetup, impedance));
  observer_.measurementModeShown(impedance);
  observer_.sessionOpened();
  observer_.viewStateChanged();
  observer_.redraw();
  return true;
}

namespace {
constexpr const char* kSessionFilter = "Sonrake sessions (*.sonrake)|*.sonrake|All files (*.*)|*.*";
}

Application::SessionFileOp Application::saveSessionClicked() {
  char path[kDialogPathCapacity]{};
  const FileDialogRequest request{"sonrake", kSessionFilter, ""};
  if (!dialogs_.saveFileDialog(request, path, sizeof path)) return SessionFileOp::cancelled;
  std::string error;
  if (!saveSessionTo(path, error)) {
    dialogs_.messageBox(error.c_str(), "Save session", MsgIcon::warning, MsgButtons::ok);
    return SessionFileOp::failed;
  }
  return SessionFileOp::done;
}

Application::SessionFileOp Application::openSessionClicked() {
  if (runUnderway()) return SessionFileOp::refusedNow;
  char path[kDialogPathCapacity]{};
  const FileDialogRequest request{"sonrake", kSessionFilter, ""};
  if (!dialogs_.openFileDialog(request, path, sizeof path)) return SessionFileOp::cancelled;
  std::string error;
  if (!openSessionFrom(path, error)) {
    dialogs_.messageBox(error.c_str(), "Open session", MsgIcon::warning, MsgButtons::ok);
    return SessionFileOp::failed;
  }
  return SessionFileOp::done;
}

bool Application::keepLastSession(std::string& error) {
  const AppState& s = *state_;
  bool anything = s.responseValid;
  for (const MeasSetup& slot : s.slots) anything = anything || slot.hasResponse;
  if (!anything) return true;
  return saveSessionTo(s.dataDir + kLastSessionFile, error);
}

Application::SessionFileOp Application::offerLastSession() {
  if (runUnderway()) return SessionFileOp::refusedNow;
  const std::string path = state_->dataDir + kLastSessionFile;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return SessionFileOp::cancelled;
  std::tm local{};
  char when[32] = "";
  if (localtime_r(&info.st_mtime, &local) != nullptr)
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", &local);
  const std::string question =
      std::string("Open the session kept when Sonrake last closed (") + when + ")?";
  if (dialogs_.messageBox(question.c_str(), "Session", MsgIcon::question, MsgButtons::yesNo) !=
      MsgResult::yes)
    return SessionFileOp::cancelled;
  std::string error;
  if (!openSessionFrom(path, error)) {
    dialogs_.messageBox(error.c_str(), "Open session", MsgIcon::warning, MsgButtons::ok);
    return SessionFileOp::failed;
  }
  return SessionFileOp::done;
}
