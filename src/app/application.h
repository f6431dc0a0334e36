#pragma once
// The application: the program state and the operations that change it, for
// any front end. It owns the state and the sound card, runs start-up and
// shutdown, the runs (start, cyclic and delayed start, level test,
// calibration, the end of each recording, the next cycle, failures), and
// reports through one AppObserver. The front end reads its controls, calls
// an operation and applies what it reports; it never changes the run state
// itself.

#include <functional>
#include <memory>
#include <string>

#include <string_view>

#include "analysis/measurement_mode.h"
#include "app/app_observer.h"
#include "app/app_state.h"
#include "app/driver_ops.h"
#include "app/mic_import.h"
#include "app/recording.h"
#include "app/run_control.h"
#include "app/view_state.h"
#include "display/clipboard_copy.h"
#include "display/level_display.h"
#include "display/null_canvas.h"
#include "engine/sound_card.h"
#include "setup/cal_file.h"
#include "setup/setting_notify.h"
#include "store/text_export.h"

class Dialogs;

// The file in the data directory that keeps the last session.
inline constexpr const char* kLastSessionFile = "last-session.sonrake";

// The pages of the main window's notebook, by their index.
enum class MainPage : uint8_t { settings = 0, measure = 1, merge = 2, driver = 3 };

// Seconds on a monotonic clock; the delayed start measures its wait with it.
using MonotonicClock = std::function<double()>;
double steadyClockSeconds();

class Application {
 public:
  // Borrows the devices, the notifier the devices post to, the dialogs and
  // the observer; all must outlive the application. The state starts at its
  // defaults; nothing is read until startUp.
  Application(WaveAudio& audio, WaveNotifier& notifier, Dialogs& dialogs, AppObserver& observer,
              MonotonicClock clock = steadyClockSeconds);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  AppState& state() { return *state_; }
  const AppState& state() const { return *state_; }
  Dialogs& dialogs() { return dialogs_; }

  // Start-up: the data directory, the configuration and calibration files
  // (a calibration restored from its backup is told once), the MLS tables.
  // Returns what became of the calibration file.
  CalFileRead startUp(const std::string& dataDir);
  // The part of start-up that follows the lists: a loaded microphone curve
  // is read again from its file without asking, the calibration levels are
  // computed for the Settings page.
  void afterLists();
  // Shutdown: the devices stop (no notice is taken after this), then the
  // configuration and the calibration file are written.
  void shutDown();

  // The canvases the end of a recording draws the level bars and the level
  // test's waveform on; without them nothing is drawn. They must outlive
  // their use.
  void setRecordingCanvases(const RecordingCanvases& canvases) { canvases_ = &canvases; }

  // --- Runs ---
  // The click on "Start": what it did (see startAction). A delayed start
  // locks the controls at once and waits delayRemainingMs.
  StartAction startClicked();
  // A delayed start's wait is checked: begins the run once the delay has
  // passed on the clock (true), else leaves it waiting (false).
  bool delayedStartDue();
  // Milliseconds the pending delayed start still waits (0 when none).
  int delayRemainingMs() const;
  bool delayPending() const { return delayPending_; }
  // Gives up a pending delayed start before it begins: the controls are
  // unlocked and "Start" offered again. False, doing nothing, when no delayed
  // start is waiting.
  bool cancelDelayedStart();
  // "Test levels" and "Soundcard cal.": false, doing nothing, while a run
  // is under way or a cyclic measurement runs.
  bool levelTestClicked();
  bool calibrateClicked();
  // The cyclic box: unticked, a cyclic measurement ends after the recording
  // under way.
  void cyclicChanged(bool checked);
  void delayedStartChanged(bool checked) { state_->setup.delayedStart = checked; }
  // A device notice brought to the program's thread.
  void onNotice(const WaveNotice& notice);
  // A run that the front end gives up on (nothing came back in time): the
  // devices stop and the run ends as failed, with `text` said.
  void abortRun(const char* text);
  // A run holds the devices (or a delayed start waits for them).
  bool runUnderway() const { return ::runUnderway(*state_, delayPending_); }
  // The length of the next run's recording, in seconds at the current rate
  // (all its periods when averaging).
  double recordingSeconds() const;
  // Seconds on the clock since the run under way began (0 when no run holds
  // the devices, or while a delayed start still waits).
  double runElapsedSeconds() const;

  // What the controls show now (computeViewState), with the one change of
  // state the view implies: a channel choice that one-channel mode no longer
  // offers goes back to channel 1. showChVisibleNow as for computeViewState.
  ViewState viewState(bool showChVisibleNow);
  // The run's locks of the mode switch, the device lists and the slots.
  RunLockView runLocks(const ViewState& v, bool locked) const {
    return computeRunLocks(*state_, v, locked);
  }

  // --- Settings and their follow-ups (application_settings.cpp) ---
  // Each stores the setting, recomputes what depends on it and reports the
  // redraw or view change through the observer. Those returning bool refuse
  // (false, nothing changed) while a run holds the devices: a run keeps the
  // rate, the sequence, the devices and the kind of measurement it began with.
  bool sampleRateChosen(int index);  // item of the rate list, 0 = custom
  bool mlsOrderChosen(int index);    // item of the MLS length list
  bool inputDeviceChosen(int id);
  bool outputDeviceChosen(int id);
  // The devices chosen by their names (those remembered from an earlier
  // run), each as inputDeviceChosen/outputDeviceChosen would choose it. A
  // name matches a device's name character for character; of several devices
  // with that name the chosen one stays, else the first is taken. An empty
  // name, or one no device has now, leaves its choice as it is. Returns
  // which of the two names were found; refused (nothing found, nothing
  // changed) while a run holds the devices.
  struct DeviceNamesFound {
    bool input = false;
    bool output = false;
  };
  DeviceNamesFound devicesChosenByName(std::string_view input, std::string_view output);
  // The name of the chosen device of `dir`; empty when there is no such device.
  std::string chosenDeviceName(WaveDirection dir) const;

  // "Refresh": the device lists are read again (a sound server started or
  // stopped since). The chosen input and output stay chosen by name where
  // they are still listed, else the first device of the list is; the
  // observer is told (deviceListsChanged). Refused (false, nothing changed)
  // while a run holds the devices.
  bool refreshDevices();
  // SPL (false) or impedance (true); the merge gain entries follow.
  bool measurementModeChosen(bool impedance);
  void impedanceRangeChosen(int minIndex, int maxIndex);
  void micDataOffChanged(bool off);
  // The graph title as UTF-8, cut at a character boundary to what fits.
  void titleChanged(std::string_view utf8);
  void showChannelChosen(int index);
  void phaseHiddenChanged(bool hidden);
  void invertChanged(bool invert);
  void smoothingChosen(int index);
  void twoChannelChanged(bool twoChannel);
  void impedanceSmoothChanged(bool smooth);
  // How the response is worked out from the impulse response: exact
  // evaluation at the grid points or FFT bins, and the window's shape; the
  // measured response follows at once.
  void exactEvaluationChanged(bool exact);
  // The number of periods averaged by the next runs (one of averagesTable);
  // refused while a run holds the devices.
  bool averagesChosen(int32_t n);
  void windowShapeChosen(uint8_t shape);
  // The main page shown: Settings (the sound card calibration view),
  // Measure, Merge/Add (the merge preview), or Driver (the parameters of
  // the measurement shown, which stays shown as on the Measure page).
  void pageShown(MainPage page);
  // The Merge/Add page: the stored slot (list item), merge or add, Apply.
  void mergeSlotChosen(int index);
  void mergeModeChosen(bool add);
  void mergeApplied() { settingChanged(ncMergeApply); }
  // A numeric entry changed its field: the follow-up its code asks for.
  void settingChanged(uint32_t code);
  // The measured response again, after a change of the analysis window or
  // the channel choice; only a response measured in this mode has an
  // impulse response behind it.
  void recomputeResponse();

  // --- Memory slots, files ---
  bool storeClicked(int n);                          // slot 1..8
  bool recallClicked(int n);                         // slot 1..8
  // "Load curve..." on slot n (1..8): an open dialog chooses a curve file
  // (cancel: nothing changes, result cancelled) and loadSlotFromFile reads
  // it into the slot. A refused file is reported in a message box ("Load
  // curve") and changes nothing. Refused (false, nothing asked) while a run
  // holds the devices or for n out of range.
  enum class CurveLoad : uint8_t { refusedNow, cancelled, failed, loaded };
  CurveLoad loadCurveClicked(int n);
  // Slot n (1..8) drawn over the live curve (shown) or no longer; the graph
  // is redrawn. False, changing nothing, for n out of range. The choice is
  // kept whatever the slot holds (application_overlays.cpp).
  bool overlayChanged(int n, bool shown);
  bool overlayShown(int n) const;
  MicImport micImportClicked();
  // The export writes the unsmoothed curve while this is set.
  void exportUnsmoothedChanged(bool unsmoothed) { exportUnsmoothed_ = unsmoothed; }
  bool exportUnsmoothed() const { return exportUnsmoothed_; }
  ExportResult exportClicked();
  // Sessions (".sonrake"): the live record, every slot, the merge settings.
  // saveSessionTo writes the state to path; openSessionFrom reads the file
  // at path and, when every field of it is sound, makes it the state (a
  // refused file changes nothing). Both give false with the reason in error;
  // an open is refused while a run holds the devices.
  bool saveSessionTo(const std::string& path, std::string& error);
  bool openSessionFrom(const std::string& path, std::string& error);
  // "Save session" and "Open session": a file dialog, then the operation
  // above; a failure is told in a message box captioned as the button.
  enum class SessionFileOp : uint8_t { refusedNow, cancelled, failed, done };
  SessionFileOp saveSessionClicked();
  SessionFileOp openSessionClicked();
  // The last session, kept in the data directory (kLastSessionFile) when the
  // window closes and offered when it next opens. keepLastSession writes it
  // when there is something to keep (a live measurement or a stored slot);
  // with nothing to keep the file from before stays. False with the reason
  // in error when it cannot be written.
  bool keepLastSession(std::string& error);
  // Asks whether to open the kept session (a yes/no box naming when it was
  // kept) and opens it on yes; done only when it was opened. A file that is
  // refused is told in a box captioned "Open session" and left as it is.
  SessionFileOp offerLastSession();

  // WAV files (wav_ops.h). exportImpulseWavTo writes the impulse response
  // behind the live measurement as 32-bit float, its scaling in the comment
  // chunk; exportExcitationWavTo the excitation of a measurement averaging
  // `averages` periods (1: the single period) as 16-bit stereo, sample for
  // sample what the output plays; analyseWavFrom reads a recording of that
  // excitation and analyses it at the current settings through the end of a
  // recording, as if the sound card had just recorded it (the calibration
  // applied, the response shown, the observer told as after a run; the
  // recording margin of the next live run stays as it was). Each gives false
  // with the reason in error, changing nothing; the analysis is refused
  // while a run holds the devices.
  bool exportImpulseWavTo(const std::string& path, std::string& error);
  bool exportExcitationWavTo(const std::string& path, int32_t averages, std::string& error);
  bool analyseWavFrom(const std::string& path, std::string& error);
  // "Export impulse as WAV…", "Export excitation as WAV…" (the current
  // averaging) and "Analyse WAV recording…": a file dialog, then the
  // operation above; a failure is told in a message box captioned as the
  // entry.
  enum class WavFileOp : uint8_t { refusedNow, cancelled, failed, done };
  WavFileOp exportImpulseWavClicked();
  WavFileOp exportExcitationWavClicked();
  WavFileOp analyseWavClicked();
  // The graph's picture, rendered by the front end, to the clipboard.
  ClipCopyResult copyGraphClicked(const ClipImage& picture, Clipboard& clipboard);

  // --- Driver parameters (application_driver.cpp) ---
  // The parameters of the shown impedance curve, worked out again after each
  // impedance measurement, recall, store, change of the response or its
  // range, and change of the panel's inputs.
  const DriverParams& driverParams() const { return state_->driverParams; }
  // The panel's one line under the values (driverParamsMessage).
  const char* driverParamsMessage() const { return ::driverParamsMessage(*state_); }
  // The panel's inputs changed: they are kept, the parameters worked out
  // again and the graph redrawn (the model curve follows).
  void driverInputsChanged(const DriverInputs& inputs);
  // The panel's "Copy": the parameters as "key value unit" lines to the
  // clipboard. False, copying nothing, without parameters or when the
  // clipboard cannot be opened.
  bool copyDriverParamsClicked(Clipboard& clipboard);

 private:
  class CardHost;
  class AnalysisHooks;

  void beginRun(RunKind kind);
  void endRun(RunOutcome outcome);
  // The end of a recording, as the sound card calls it after a run's last
  // buffer: the analysis of recBuffer and the recording drawn.
  void recordingFinished();

  WaveAudio& audio_;
  Dialogs& dialogs_;
  AppObserver& observer_;
  MonotonicClock clock_;
  std::unique_ptr<AppState> state_;
  std::unique_ptr<CardHost> cardHost_;
  std::unique_ptr<AnalysisHooks> analysisHooks_;
  std::unique_ptr<SoundCard> card_;

  NullCanvas nullTime_{1, 1};
  NullCanvas nullLeftBar_{kLevelBarWidth, kLevelBarHeight};
  NullCanvas nullRightBar_{kLevelBarWidth, kLevelBarHeight};
  const RecordingCanvases nullCanvases_{nullTime_, nullLeftBar_, nullRightBar_};
  const RecordingCanvases* canvases_ = &nullCanvases_;

  bool exportUnsmoothed_ = false;
  bool delayPending_ = false;
  double delayStartedAt_ = 0.0;
  double runStartedAt_ = 0.0;
  RunOutcome outcome_ = RunOutcome::completed;  // of the run under way
};

// What a redraw does to the state besides painting: it ends a calibration
// run, and fills the display curves of the shown graph (SPL, also for the
// calibration view, or impedance) from the current result.
void prepareShownCurves(AppState& s);
