#pragma once
// TMainForm: the program's one window. It owns the application (the program
// state and its operations) and is a layer of bindings over it: each handler
// reads its control, runs the application's operation and applies what it
// reports, ending in updateViewState and/or redrawGraphs. The code is split by concern:
//   main_form.cpp           construction order, shutdown, files, messages
//   main_form_layout.cpp    every control with its geometry, texts and hints
//   main_form_view.cpp      updateViewState and the numeric entry setup
//   main_form_handlers.cpp  the control handlers
//   main_form_slots.cpp     memory slots, cursor read-out, clipboard copy
//   main_form_marker.cpp    slot overlays, the curve marker
//   main_form_measure.cpp   the runs: start, level test, calibration, and
//                           what the application reports

#include <QColor>
#include <QPoint>
#include <QWidget>

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "analysis/measurement_mode.h"
#include "app/app_state.h"
#include "app/application.h"
#include "app/curve_ops.h"
#include "app/recording.h"
#include "app/run_control.h"
#include "display/curve_marker.h"
#include "display/graph_layout.h"
#include "display/level_display.h"
#include "setup/setting_notify.h"

class Clipboard;
class CombinedWaveAudio;
class Dialogs;
class SimAudio;
class TQtClipboard;
class TQtDialogs;
class TWaveNotifier;
class WaveAudio;

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QAction;
class QDialog;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimer;
class TEditNum;
class TImageView;

// "Start in 1.3 s": the caption of "Start" while a delayed start waits
// `remainingMs`, the seconds rounded up to a tenth.
QString startCountdownCaption(int remainingMs);

// The colours of warnings and of good news in the window's texts, and the
// setting of a widget's text colour.
inline const QColor kRed(255, 0, 0);
inline const QColor kGreen(0, 128, 0);
void setTextColour(QWidget* w, const QColor& c);

// The text of the button and the slot buttons' menu entry that load a curve
// file into a memory slot.
inline QString loadCurveText() { return QString::fromUtf8("Load curve\u2026"); }
// The slot buttons' menu entry, ticked while the slot is drawn over the
// live curve.
inline QString overlayMenuText() { return QStringLiteral("Show as overlay"); }

// The About box's text: the version and the date this program was built.
QString aboutText();
// "yyyy-mm-dd": the date the program was compiled.
QString buildDateText();
// A data file shipped with the program (the "How to measure" page): beside
// the program in ../share/sonrake/ (installed) or share/sonrake/ (the build
// tree), else in the system's data folders under sonrake/. Empty when none.
QString locateDataFile(const QString& appDir, const QString& name);

class TMainForm : public QWidget, public NotifyTarget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 667;
  static constexpr int kHeight = 572;

  // Builds the window and the program state in start-up order: defaults,
  // the configuration and calibration files, the MLS tables, the lists and
  // the numeric entries, then the view state and the first redraw. The
  // devices are the real ones (PortAudio) and the simulated ones, paced in
  // real time; failures are shown in Qt's message boxes.
  explicit TMainForm(QWidget* parent = nullptr);
  // The same window on the given devices and dialogs instead (tests: a
  // manually paced simulator and a recorder), the delayed start timed by
  // `clock`. Both must outlive the window.
  TMainForm(WaveAudio& audio, Dialogs& dialogs, QWidget* parent = nullptr,
            MonotonicClock clock = steadyClockSeconds);
  // Ends a run under way (devices reset and closed, no more notices taken),
  // then saves the configuration and then the calibration file.
  ~TMainForm() override;

  const AppState& state() const { return *state_; }
  AppState& state() { return *state_; }

  // msgSettingChanged from a numeric entry: runs handleNotification(wParam).
  // Other messages are ignored.
  void receiveMessage(uint32_t msg, uint32_t wParam, int32_t lParam) override;
  // The follow-up of a changed setting by its code (ncDisplay .. ncSampleRate):
  // view state, the recomputation the code asks for, redraw.
  void handleNotification(uint32_t code);
  // Shows the state: visibility, enabling and captions of the controls, the
  // numeric entries refreshed from their fields, the title, the channel and
  // smoothing choices, the "Uncalibrated" warning.
  void updateViewState();
  // Every list and box shows the state's value again, quietly (an opened
  // session); the numeric entries and the title follow updateViewState.
  void showSessionControls();
  // Repaints the time graph and the whole frequency tab from the state.
  void redrawGraphs();
  // Fills curves.splMag/dBTop with the current calibration curves.
  void recomputeCalDisplay(double offsetDb);
  // Enables or disables the settings controls a run locks, in their order;
  // enabling leaves showCh alone, and exportMeas and start while the
  // calibration view is shown; disabling leaves start to its handler.
  void setControlsEnabled(bool enable);
  // Hands the "Copy" button's pictures to `clipboard` instead of the system
  // clipboard (tests: a recorder). It must outlive the window.
  void setClipboard(Clipboard& clipboard) { clipboard_ = &clipboard; }
  // The window's menu bar (main_form_menus.cpp), its entries bound to this
  // form; for the top-level window to own.
  QMenuBar* createMenuBar();
  // The frequency graph as the picture that "Copy" and "Save graph" take.
  QImage graphPicture();
  // Writes that picture to path: SVG for a name ending in ".svg", else PNG.
  // False with the reason in error; an existing file is then left as it was.
  bool saveGraphTo(const QString& path, QString& error);
  // A delayed start is waiting for its two seconds.
  bool delayedStartPending() const { return app_->delayPending(); }
  // Offers the session kept when the window last closed (main() calls it
  // once the window is shown).
  void offerLastSession();
  // Keeps the session in the data directory for the next start; a failure
  // is told in a box captioned "Session". The window that holds the form
  // calls it as it closes, as does the form's own close when it is the window.
  void keepLastSession();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // What the application reports, applied to the widgets
  // (main_form_measure.cpp).
  class Observer final : public AppObserver {
   public:
    explicit Observer(TMainForm& form) : form_(form) {}
    void redraw() override;
    void viewStateChanged() override;
    void controlsLocked(bool locked) override;
    void runEnded(RunOutcome) override {}
    void showMessage(const char* text, const char* caption, MsgIcon icon) override;
    void startDisabled() override;
    void startShowsStop(bool stop) override;
    void busy(bool busy) override;
    void channelSelectorEnabled() override;
    void recordingDrawn() override;
    void sampleRateChanged() override { form_.showSampleRate(); }
    void mergeGainsChanged(const GainEntrySetup& gains) override;
    void measurementModeShown(bool impedance) override;
    void mergeApplied() override;
    void sessionOpened() override { form_.showSessionControls(); }
    void deviceListsChanged() override { form_.relistDevices(); }
    void exitProgram(int code) override;

   private:
    TMainForm& form_;
  };

  // The construction common to both constructors, once the devices and the
  // dialogs are known.
  void construct(MonotonicClock clock);

  // Construction (main_form_layout.cpp).
  void buildLayout();
  void buildLevelArea();
  void buildGraphPages();
  void buildSettingsPage(QWidget* page);
  void buildMeasurePage(QWidget* page);
  void buildMergePage(QWidget* page);
  void buildDriverPage(QWidget* page);
  void connectHandlers();

  // The window may grow beyond kWidth x kHeight: the graph pages take the
  // extra width and height, the level area and the settings pages stay put.
  // Places the graphs and the widgets that follow their edges, fits the
  // canvases to their widgets and the screen, and redraws when a canvas was
  // made anew.
  void layoutGraphArea();
  void resizeEvent(QResizeEvent* event) override;
  // A widget over a graph page that keeps its place relative to the graphs'
  // right (xShare 1) or middle (0.5) and, when `down`, their bottom edge.
  struct GraphFollower {
    QWidget* widget = nullptr;
    QPoint base;  // at the default size
    double xShare = 0.0;
    bool down = false;
  };
  void followGraphs(QWidget* widget, double xShare, bool down);

  // Start-up steps (main_form.cpp / main_form_view.cpp).
  void fillLists();
  void fillDeviceLists();
  // The devices by name across restarts, in "sonrake.ini" beside the
  // configuration: the remembered names chosen at start-up (a name no longer
  // present keeps the configuration's choice), a user's choice remembered.
  QString deviceIniPath() const;
  void recallDevices();
  void rememberDevice(WaveDirection dir);

  // The device lists and their choices again, after a refresh.
  void relistDevices();
  // The device lists' hints name their chosen devices in full.
  void showDeviceHints();
  // The Settings page's microphone data: the file's name (whole in its hint)
  // and the picture of its curve, empty without data.
  void showMicData();
  static constexpr const char* kInDevHint = "Select input wave device";
  static constexpr const char* kOutDevHint = "Select output wave device";
  void setupNumericEntries();
  void bindMergeGains(const GainEntrySetup& gains);
  void drawEmptyFrames();

  // Puts the title of slot n (1..8), when it has one, into the hints of its
  // store and recall buttons.
  void showSlotTitle(int n);

  // The curve marker over the plot (main_form_marker.cpp): its read-out
  // label, built over the plot's top-right corner; the marks and the
  // read-out again from the state and markers_.
  void buildCurveMarker();
  void showCurveMarker();

  // Runs (main_form_measure.cpp).
  // Checks the delayed start and, while it still waits, shows the seconds
  // left on "Start" and wakes again within kCountdownStepMs.
  void delayedStartDue();
  void showCountdown();
  // The progress bar follows the run under way; hidden without one, while a
  // delayed start waits and for runs of a second or less.
  void showRunProgress();
  static constexpr int kCountdownStepMs = 100;
  void setBusyCursor(bool busy);
  // The entries that depend on the sample rate, after a change of it.
  void showSampleRate();
  // The length of the next run, after a change of rate, sequence or averages.
  void showRunTime();
  // The driver page: the parameters of the shown curve or why there are
  // none, and the entry of the method's amount (main_form_driver.cpp).
  void showDriverParams();
  // The SPL / Z switch, the device lists and the slot buttons, locked while
  // a run holds the devices.
  void applyRunLocks(bool locked);
  void onWaveNotice(const WaveNotice& notice);
  QWidget* runControlWidget(RunControl control) const;
  // The menu entries show the enabled state of their buttons.
  void showMenuState();
  QRect graphArea() const;

 public Q_SLOTS:
  // Handlers, named after their control and event.
  void sRateChange(int index);
  void nMLSChange(int index);
  void inDevChange(int index);
  void refreshDevicesClick();
  void outDevChange(int index);
  void freqDTitleExit();
  void delayStartClick(bool checked);
  void cbCycleClick(bool checked);
  void invertClick(bool checked);
  void cbSmoothChange(int index);
  void showChChange(int index);
  void twoChModeClick(bool checked);
  void hidePhaseClick(bool checked);
  void micDataDisableClick(bool checked);
  void zSmoothClick(bool checked);
  void exactClick(bool checked);
  void flatWindowClick(bool checked);
  void averagesChange(int index);
  void SplZChange(int index);
  void minMaxZChange(int index);
  void mainPageChange(int index);
  void TimeFreqCtrlChange(int index);
  void mergeUListChange(int index);
  void mergeRButtonClick(bool checked);
  void addRButtonClick(bool checked);
  void mergeApplyClick();
  // Driver page (main_form_driver.cpp).
  void drvMethodChange(int index);
  void drvSlotChange(int index);
  void drvModelClick(bool checked);
  void drvCopyClick();
  void storeClick(int slot);   // S1..S8, slot 1..8
  void recallClick(int slot);  // R1..R8
  // "Load curve…" for slot 1..8 (the slot buttons' context menu, or the
  // "Load curve…" button's menu of slots).
  void loadCurveClick(int slot);
  void loadCurveMenu();
  // The "Session" button's menu: "Save session…", "Open session…" and the WAV entries.
  void sessionMenu();
  void saveSessionClick();
  void openSessionClick();
  // The same menu's WAV entries: "Export impulse as WAV…", "Export excitation
  // as WAV…" and "Analyse WAV recording…".
  void exportImpulseWavClick();
  void exportExcitationWavClick();
  void analyseWavClick();
  void exportUnsmoothedClick(bool checked);
  void startClick();
  void LevelClick();
  void CalibrateClick();
  void micDataImportClick();
  void exportMeasClick();
  void copyFToClipClick();
  // The menus' own entries: "Save graph as PNG/SVG…", "How to measure",
  // "About Sonrake".
  void saveGraphClick();
  void howToMeasureClick();
  void aboutClick();
  void graphCursorMove(int x, int y);
  void noGraphCursor(int x, int y);
  // A click on the plot: the left button pins a curve marker, any other
  // takes the pinned markers away.
  void graphClick(int x, int y, Qt::MouseButton button);
  // The slot buttons' "Show as overlay" for slot 1..8.
  void overlayClick(int slot, bool shown);

 private:
  // The sound devices. Declared so that the notifier outlives the backends
  // that post to it, and the backends outlive the combined list and the
  // application that use them. Own backends only with the first constructor.
  std::unique_ptr<TWaveNotifier> notifier_;
  std::unique_ptr<WaveAudio> pa_;  // the real devices, where the build has them
  std::unique_ptr<SimAudio> sim_;
  std::unique_ptr<CombinedWaveAudio> ownAudio_;
  std::unique_ptr<TQtDialogs> ownDialogs_;
  std::unique_ptr<TQtClipboard> ownClipboard_;
  WaveAudio* audio_ = nullptr;
  Dialogs* dialogs_ = nullptr;
  Clipboard* clipboard_ = nullptr;
  Observer observer_{*this};
  // The program state and its operations; state_ is its state.
  std::unique_ptr<Application> app_;
  AppState* state_ = nullptr;
  std::unique_ptr<RecordingCanvases> recordingCanvases_;

  // Wakes the delayed start's check, without blocking.
  QTimer* delayTimer_ = nullptr;
  // Moves the progress bar of a run longer than a second.
  QTimer* progressTimer_ = nullptr;
  QProgressBar* runProgress = nullptr;
  bool busyCursor_ = false;  // the hourglass set by a run is shown

  // Menus: each entry bound to a button, the View menu (the slots' overlays
  // go above viewOverlaysEnd_), the phase entry and the help page's window.
  struct MenuButton {
    QAction* action;
    QWidget* button;
  };
  std::vector<MenuButton> menuButtons_;
  QMenu* viewMenu_ = nullptr;
  QAction* viewOverlaysEnd_ = nullptr;
  std::array<QAction*, 8> overlayActions_{};  // View: slot n + 1 drawn over the live curve
  QAction* phaseAction_ = nullptr;
  QDialog* howToMeasure_ = nullptr;

  // Level bars and memory slots.
  TImageView* Image3 = nullptr;
  TImageView* Image4 = nullptr;
  std::array<QPushButton*, 8> storeButtons{};
  std::array<QPushButton*, 8> recallButtons{};
  QPushButton* loadCurve = nullptr;
  QPushButton* sessionButton = nullptr;

  // Graph pages.
  QTabWidget* TimeFreqCtrl = nullptr;
  std::vector<GraphFollower> graphFollowers_;
  // Where the graphs lie now, in canvas pixels.
  GraphGeometry graphGeometry_{};
  TImageView* Image1 = nullptr;
  TImageView* timeFrame = nullptr;  // the time graph's scale, behind Image1
  TImageView* Image5 = nullptr;
  TImageView* Image2 = nullptr;
  QComboBox* showCh = nullptr;
  QPushButton* exportMeas = nullptr;
  QCheckBox* exportUnsmoothed = nullptr;
  QPushButton* copyFToClip = nullptr;
  QLineEdit* freqLabel = nullptr;
  QLineEdit* yLabel1 = nullptr;
  QLineEdit* yLabel2 = nullptr;
  CurveMarkers markers_;
  QLabel* markerReadout = nullptr;  // the curve marker's lines, over the plot
  QCheckBox* hidePhase = nullptr;
  QLineEdit* freqDTitle = nullptr;
  TEditNum* fLow = nullptr;
  TEditNum* fHigh = nullptr;

  // Settings page.
  QTabWidget* mainPage = nullptr;
  QComboBox* sRate = nullptr;
  TEditNum* sRateC = nullptr;
  QComboBox* nMLS = nullptr;
  QComboBox* inDev = nullptr;
  QComboBox* outDev = nullptr;
  QPushButton* refreshDevices = nullptr;
  QPushButton* Level = nullptr;
  QPushButton* Calibrate = nullptr;
  QGroupBox* micGroup = nullptr;
  QCheckBox* micDataDisable = nullptr;
  QPushButton* micDataImport = nullptr;
  QLabel* micFile = nullptr;       // the loaded microphone file's name
  TImageView* micCurve = nullptr;  // its curve (display/mic_curve.h)
  QLabel* calStatus = nullptr;  // "Calibrated (SPL, 48000 Hz, 16384)" or "Uncalibrated"

  // Measure page.
  QTabWidget* SplZ = nullptr;
  QLabel* unCalibrated = nullptr;
  QPushButton* start = nullptr;
  QCheckBox* cbCycle = nullptr;
  QCheckBox* delayStart = nullptr;
  QCheckBox* exactEval = nullptr;
  QCheckBox* flatWindow = nullptr;
  QComboBox* averagesList = nullptr;
  QLabel* runTime = nullptr;
  TEditNum* winStartms = nullptr;
  TEditNum* winStartcm = nullptr;
  TEditNum* winLengthms = nullptr;
  TEditNum* winLengths = nullptr;
  QComboBox* cbSmooth = nullptr;
  QLabel* dBOffsetPre = nullptr;
  TEditNum* dBOffset = nullptr;
  QLabel* dBOffsetPost = nullptr;
  TEditNum* splRange = nullptr;
  TEditNum* splScale = nullptr;
  QCheckBox* invert = nullptr;
  QCheckBox* twoChMode = nullptr;
  TEditNum* ZR = nullptr;
  QComboBox* minZ = nullptr;
  QComboBox* maxZ = nullptr;
  QCheckBox* zSmooth = nullptr;
  QLabel* zUncalibrated = nullptr;

  // Merge/Add page.
  QLabel* mergeFreqPre = nullptr;
  TEditNum* mergeFreq = nullptr;
  QLabel* mergeFreqPost = nullptr;
  QComboBox* mergeUList = nullptr;
  QRadioButton* mergeRButton = nullptr;
  QRadioButton* addRButton = nullptr;
  QPushButton* mergeApply = nullptr;
  QGroupBox* mergeLGroup = nullptr;
  QLabel* mergeLDelayPre = nullptr;
  TEditNum* mergeLDelay = nullptr;
  QLabel* mergeLDelayPost = nullptr;
  TEditNum* mergeLGain = nullptr;
  QLabel* scaleLPost = nullptr;
  QLabel* mergeStepPre = nullptr;
  TEditNum* mergeStep = nullptr;
  QLabel* mergeStepPost = nullptr;
  QGroupBox* mergeUGroup = nullptr;
  QLabel* mergeUDelayPre = nullptr;
  TEditNum* mergeUDelay = nullptr;
  QLabel* mergeUDelayPost = nullptr;
  TEditNum* mergeUGain = nullptr;
  QLabel* scaleUPost = nullptr;

  // Driver page: the entries edit this copy of the panel's inputs, which
  // goes to the application after each change.
  DriverInputs driverEntries_;
  TEditNum* drvReDc = nullptr;
  QComboBox* drvMethod = nullptr;
  TEditNum* drvAmount = nullptr;
  QLabel* drvAmountUnit = nullptr;
  TEditNum* drvSd = nullptr;
  QComboBox* drvSlot = nullptr;
  QCheckBox* drvModel = nullptr;
  QPushButton* drvCopy = nullptr;
  QLabel* drvValues = nullptr;
  QLabel* drvMessage = nullptr;
};
