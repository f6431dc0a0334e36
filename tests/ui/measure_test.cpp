// Whole measurements from the window, driven as a user drives it: choose list
// items, tick boxes, click buttons. The window runs on the simulated devices
// with manual pacing, so a run takes no real time and always records the
// same samples; the test advances the simulated clock and then lets the
// window's event loop take the notices.

#include "ui/main_form.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <complex>
#include <memory>
#include <string>
#include <vector>

#include "platform/combined_audio.h"
#include "platform/sim_audio.h"
#include "ui/edit_num.h"
#include "ui/image_view.h"
#include "window_test.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kPi = 3.14159265358979323846;

// Passes every call on to the real (simulated) devices and writes down the
// ones that open, start, stop and close, with the time they happened. It can
// refuse to open the input, and it can report a failure of the input device
// the way a backend does: a deviceError notice through the input's notifier.
class SpyAudio : public WaveAudio {
 public:
  struct Event {
    std::string op;
    WaveHandle handle;
    Clock::time_point at;
  };

  explicit SpyAudio(WaveAudio& inner) : inner_(inner) {}

  int count(const std::string& op) const {
    int n = 0;
    for (const Event& e : events) n += e.op == op;
    return n;
  }
  // Index of the first event `op` at or after `from`, or -1.
  int find(const std::string& op, size_t from = 0) const {
    for (size_t i = from; i < events.size(); ++i) {
      if (events[i].op == op) return static_cast<int>(i);
    }
    return -1;
  }
  void failInput(WaveResult error) {
    inputNotifier->post({WaveNoticeKind::deviceError, inputHandle, nullptr, error});
  }

  std::vector<Event> events;
  WaveResult refuseInput = kWaveOk;
  WaveNotifier* inputNotifier = nullptr;
  WaveHandle inputHandle = kNoWaveHandle;

  int deviceCount(WaveDirection dir) const override { return inner_.deviceCount(dir); }
  void deviceName(WaveDirection dir, int id, char* text, size_t capacity) const override {
    inner_.deviceName(dir, id, text, capacity);
  }
  WaveResult openOutput(int id, const WaveFormat& format, WaveNotifier* notifier,
                        WaveHandle& handle) override {
    const WaveResult r = inner_.openOutput(id, format, notifier, handle);
    log(notifier != nullptr ? "openOutput" : "primeOutput", handle);
    return r;
  }
  WaveResult openInput(int id, const WaveFormat& format, WaveNotifier* notifier,
                       WaveHandle& handle) override {
    if (refuseInput != kWaveOk) {
      handle = kNoWaveHandle;
      log("refusedInput", handle);
      return refuseInput;
    }
    const WaveResult r = inner_.openInput(id, format, notifier, handle);
    inputNotifier = notifier;
    inputHandle = handle;
    log("openInput", handle);
    return r;
  }
  WaveResult prepare(WaveHandle h, WaveHeader& header) override {
    return inner_.prepare(h, header);
  }
  WaveResult unprepare(WaveHandle h, WaveHeader& header) override {
    return inner_.unprepare(h, header);
  }
  WaveResult addBuffer(WaveHandle h, WaveHeader& header) override {
    return inner_.addBuffer(h, header);
  }
  WaveResult start(WaveHandle h) override {
    log("start", h);
    return inner_.start(h);
  }
  WaveResult write(WaveHandle h, WaveHeader& header) override { return inner_.write(h, header); }
  WaveResult reset(WaveHandle h) override {
    log("reset", h);
    return inner_.reset(h);
  }
  WaveResult close(WaveHandle h) override {
    log("close", h);
    return inner_.close(h);
  }
  void errorText(WaveResult code, char* text, size_t capacity) const override {
    inner_.errorText(code, text, capacity);
  }

 private:
  void log(const char* op, WaveHandle h) { events.push_back({op, h, Clock::now()}); }
  WaveAudio& inner_;
};

// One audio-EQ-cookbook biquad (high-pass or low-pass, corner f0, quality q,
// at rate fs), evaluated at f on the unit circle: b0, b1, b2, a0, a1, a2 as
// the cookbook gives them, H = (b0 + b1 z^-1 + b2 z^-2) / (a0 + a1 z^-1 + a2 z^-2).
std::complex<double> cookbook(bool highPass, double f0, double q, double fs, double f) {
  const double w0 = 2.0 * kPi * f0 / fs;
  const double c = std::cos(w0);
  const double alpha = std::sin(w0) / (2.0 * q);
  const double b0 = highPass ? (1.0 + c) / 2.0 : (1.0 - c) / 2.0;
  const double b1 = highPass ? -(1.0 + c) : 1.0 - c;
  const double b2 = b0;
  const double a0 = 1.0 + alpha;
  const double a1 = -2.0 * c;
  const double a2 = 1.0 - alpha;
  const std::complex<double> z1 = std::polar(1.0, -2.0 * kPi * f / fs);
  return (b0 + b1 * z1 + b2 * z1 * z1) / (a0 + a1 * z1 + a2 * z1 * z1);
}

// The simulated loudspeaker as the microphone hears it: gain 0.5, a
// high-pass at 60 Hz (Q 0.8) and a low-pass at 12 kHz (Q 0.707), in dB.
double loudspeakerDb(double fs, double f) {
  const std::complex<double> h =
      0.5 * cookbook(true, 60.0, 0.8, fs, f) * cookbook(false, 12000.0, 0.707, fs, f);
  return 20.0 * std::log10(std::abs(h));
}

// The simulated driver's impedance in ohm: Re 6.0, Le 0.40 mH, fs 45 Hz,
// Qms 3.5, Qes 0.45; Z = Re + jwLe + Res (jw/(ws Qms)) / (1 - (w/ws)^2 +
// jw/(ws Qms)) with Res = Re Qms / Qes = 46.67 ohm, so |Z| peaks at about
// 52.7 ohm at 45 Hz.
double driverOhm(double f) {
  const double re = 6.0, le = 0.40e-3, qms = 3.5, qes = 0.45;
  const double w = 2.0 * kPi * f;
  const double ws = 2.0 * kPi * 45.0;
  const double res = re * qms / qes;
  const std::complex<double> jw(0.0, w);
  const std::complex<double> motional =
      res * (jw / (ws * qms)) / (1.0 - (w / ws) * (w / ws) + jw / (ws * qms));
  return std::abs(re + jw * le + motional);
}

class MeasureTest : public WindowTest {
 protected:
  void SetUp() override { openWindow(audio); }

  // Plays one recording on the simulated devices and lets the window handle
  // its notices (which may start the next one).
  void runOneRecording() {
    sim.runUntilIdle();
    QCoreApplication::processEvents();
  }
  // Runs recordings until the run has ended; fails after `limit` of them.
  void runToEnd(int limit = 4) {
    for (int i = 0; i < limit && runUnderway(); ++i) runOneRecording();
    ASSERT_FALSE(runUnderway());
  }

  // 48000 Hz, MLS length 16384; then a sound card calibration of the current
  // mode through the simulated loopback cable, from the Settings page.
  void calibrateAt48k() {
    openPage(kSettingsPage);
    choose("sRate", kRate48000);
    choose("nMLS", kMls16384);
    choose("inDev", "Simulator: loopback cable");
    click("Calibrate");
    runToEnd();
    openPage(kMeasurePage);
    ASSERT_FALSE(get<QLabel>("unCalibrated")->isVisibleTo(form.get()));
  }
  void measure() {
    click("start");
    runToEnd();
  }
  // Closes after the devices of the run were opened (the priming opening
  // closes its output before that).
  int closesSinceOpen() {
    const int open = audio.find("openOutput");
    int n = 0;
    for (size_t i = open < 0 ? audio.events.size() : static_cast<size_t>(open);
         i < audio.events.size(); ++i) {
      n += audio.events[i].op == "close";
    }
    return n;
  }
  std::string errorText(WaveResult code) {
    char text[256];
    combined.errorText(code, text, sizeof text);
    return text;
  }

  SimAudio sim{SimAudio::Pacing::manual};
  CombinedWaveAudio combined{nullptr, sim};
  SpyAudio audio{combined};
};

// The largest deviation in dB of the measured response from the model over
// the grid points from fLow to fHigh.
template <typename Model>
double worstDb(const MeasSetup& m, double fLow, double fHigh, Model model, double& atHz) {
  double worst = 0.0;
  for (int i = 0; i < kGridPoints; ++i) {
    const double f = m.freqGrid[i];
    if (f < fLow || f > fHigh) continue;
    const double measured = 20.0 * std::log10(abs(m.response[i]));
    const double d = std::fabs(measured - model(f));
    if (d > worst) {
      worst = d;
      atHz = f;
    }
  }
  return worst;
}

// A calibration through the loopback cable, then the loudspeaker with its
// microphone on the left input: the measured response is the loudspeaker
// model within 0.05 dB from 100 Hz to 10 kHz, with the default analysis
// window; and the same in two-channel mode, as the ratio of the microphone
// to the reference input ("Ch 1 - 2").
TEST_F(MeasureTest, LoudspeakerResponseMatchesTheModel) {
  calibrateAt48k();
  choose("inDev", "Simulator: loudspeaker (mic L, loop R)");
  measure();
  ASSERT_TRUE(dialogs.boxes.empty()) << dialogs.boxes[0].text;
  ASSERT_TRUE(state().setup.hasResponse);
  ASSERT_TRUE(state().responseValid);
  EXPECT_TRUE(state().measurementShown);
  double at = 0.0;
  const auto model = [](double f) { return loudspeakerDb(48000.0, f); };
  EXPECT_LT(worstDb(state().setup, 100.0, 10000.0, model, at), 0.05) << at << " Hz";

  tick("twoChMode", true);
  choose("showCh", "Ch 1 - 2");
  measure();
  ASSERT_TRUE(dialogs.boxes.empty()) << dialogs.boxes[0].text;
  EXPECT_TRUE(state().setup.twoChannel);
  EXPECT_EQ(state().setup.showChannel, 2);
  EXPECT_TRUE(enabled("showCh"));
  EXPECT_LT(worstDb(state().setup, 100.0, 10000.0, model, at), 0.05) << at << " Hz";
}

// Inversion and smoothing change only what is shown: after a measurement the
// inverted phase is the shown phase turned by 180 degrees at the same level,
// one-octave smoothing shows at each point the mean of the unsmoothed levels
// within 54 grid points (half an octave) either side, and the measured
// response itself stays as it was.
TEST_F(MeasureTest, InversionAndSmoothingActOnTheShownCurvesOnly) {
  calibrateAt48k();
  choose("inDev", "Simulator: loudspeaker (mic L, loop R)");
  measure();
  const RealCurve level = state().curves.splMag[0];
  const RealCurve phase = state().curves.splPhase[0];
  const ComplexCurve response = state().setup.response;

  tick("invert", true);
  for (int i = 0; i < kGridPoints; ++i) {
    ASSERT_DOUBLE_EQ(state().curves.splMag[0][i], level[i]) << i;
    double turn = state().curves.splPhase[0][i] - phase[i];
    turn = std::fabs(std::remainder(turn, 360.0));
    ASSERT_NEAR(turn, 180.0, 1e-9) << i;
  }
  tick("invert", false);

  choose("cbSmooth", "1 octave");
  for (int i : {100, 500, 800}) {
    double sum = 0.0;
    for (int k = i - 54; k <= i + 54; ++k) sum += level[k];
    EXPECT_NEAR(state().curves.splMag[0][i], sum / 109.0, 1e-9) << i;
  }
  for (int i = 0; i < kGridPoints; ++i) ASSERT_EQ(state().setup.response[i], response[i]) << i;
}

// The impedance jig with the simulated driver behind 12 ohm, after a
// calibration of the impedance mode: |Z| follows the driver model within
// 1.5 % from 60 Hz to 10 kHz and within 10 % from 20 to 60 Hz, where the
// resonance rings longer than the analysis window quite allows.
TEST_F(MeasureTest, JigImpedanceMatchesTheDriverModel) {
  openSplZ(1);
  calibrateAt48k();
  choose("inDev", "Simulator: impedance jig 12 ohm");
  measure();
  ASSERT_TRUE(dialogs.boxes.empty()) << dialogs.boxes[0].text;
  ASSERT_TRUE(state().setup.hasResponse);
  EXPECT_EQ(state().setup.impedanceMode, 1);
  EXPECT_DOUBLE_EQ(state().setup.seriesR, 12.0);

  double worstHigh = 0.0, worstLow = 0.0, atHigh = 0.0, atLow = 0.0;
  for (int i = 0; i < kGridPoints; ++i) {
    const double f = state().setup.freqGrid[i];
    if (f < 20.0 || f > 10000.0) continue;
    const double ratio = abs(state().setup.response[i]) / driverOhm(f);
    const double dev = std::fabs(ratio - 1.0);
    double& worst = f < 60.0 ? worstLow : worstHigh;
    double& at = f < 60.0 ? atLow : atHigh;
    if (dev > worst) {
      worst = dev;
      at = f;
    }
  }
  EXPECT_LT(worstHigh, 0.015) << atHigh << " Hz";
  EXPECT_LT(worstLow, 0.10) << atLow << " Hz";
}

// A cyclic measurement repeats with the devices open and the settings
// locked; "Stop" during the third recording lets that recording finish and
// be analysed, then the devices close and the controls come back. A click on
// start while the last recording is still out is ignored.
TEST_F(MeasureTest, CyclicRunStopsAfterTheRecordingUnderWay) {
  tick("cbCycle", true);
  click("start");
  EXPECT_EQ(caption("start"), "Stop");
  EXPECT_TRUE(enabled("start"));
  for (const char* locked : {"sRate", "nMLS", "cbCycle", "delayStart", "Level", "Calibrate",
                             "twoChMode", "winLengths", "ZR", "invert", "copyFToClip"}) {
    EXPECT_FALSE(enabled(locked)) << locked;
  }
  runOneRecording();
  runOneRecording();
  EXPECT_EQ(audio.count("start"), 3);  // the third recording is under way
  EXPECT_EQ(closesSinceOpen(), 0);
  EXPECT_TRUE(state().cyclicRunning);
  EXPECT_TRUE(state().setup.hasResponse);

  click("start");
  EXPECT_EQ(caption("start"), "Start");
  EXPECT_FALSE(state().cyclicRunning);
  EXPECT_TRUE(enabled("start"));
  EXPECT_FALSE(enabled("sRate"));
  click("start");  // while the last recording is out: ignored
  EXPECT_EQ(caption("start"), "Start");
  EXPECT_FALSE(state().cyclicRunning);
  EXPECT_EQ(audio.count("openOutput"), 1);

  form->state().responseValid = false;  // set again only by an analysis
  runOneRecording();
  EXPECT_FALSE(runUnderway());
  EXPECT_TRUE(state().responseValid);
  EXPECT_EQ(audio.count("start"), 3);
  EXPECT_EQ(audio.count("openOutput"), 1);
  EXPECT_EQ(closesSinceOpen(), 2);
  for (const char* freed : {"sRate", "nMLS", "cbCycle", "delayStart", "Level", "Calibrate",
                            "twoChMode", "winLengths", "ZR", "invert", "copyFToClip", "start"}) {
    EXPECT_TRUE(enabled(freed)) << freed;
  }
  EXPECT_EQ(caption("start"), "Start");
  EXPECT_TRUE(dialogs.boxes.empty());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// A delayed start opens the devices no earlier than 2.00 s after the click,
// measured on the application's monotonic clock (here one the test moves, so
// the wait takes no real time), and the window keeps handling events while
// it waits; the controls are locked at once, and a click on start in the
// meantime (possible after a page change, which enables it) is ignored.
class DelayedStartTest : public MeasureTest {
 protected:
  void SetUp() override { openWindow(audio, [this] { return now; }); }
  // Lets the delay's timer fire at once, whatever interval it was given.
  void wakeTimer() {
    QTimer* timer = form->findChild<QTimer*>(QStringLiteral("delayTimer"));
    ASSERT_NE(timer, nullptr);
    ASSERT_TRUE(timer->isActive());
    timer->start(0);
    QTest::qWait(20);
  }
  double now = 100.0;
};

TEST_F(DelayedStartTest, WaitsTwoSecondsWithoutBlocking) {
  tick("delayStart", true);
  click("start");
  EXPECT_TRUE(form->delayedStartPending());
  // "Start" stays live while it counts down, so that it can cancel.
  EXPECT_TRUE(enabled("start"));
  EXPECT_EQ(caption("start"), "Start in 2.0 s");
  EXPECT_FALSE(enabled("sRate"));
  EXPECT_NE(QApplication::overrideCursor(), nullptr);

  // 1.75 s left, rounded up to a tenth.
  now = 100.25;
  openPage(kSettingsPage);
  openPage(kMeasurePage);
  ASSERT_NO_FATAL_FAILURE(wakeTimer());
  EXPECT_EQ(caption("start"), "Start in 1.8 s");
  EXPECT_EQ(audio.count("openOutput"), 0);
  // The countdown wakes at least ten times a second.
  QTimer* timer = form->findChild<QTimer*>(QStringLiteral("delayTimer"));
  ASSERT_NE(timer, nullptr);
  EXPECT_LE(timer->interval(), 100);

  now = 101.999;
  ASSERT_NO_FATAL_FAILURE(wakeTimer());
  EXPECT_EQ(audio.count("openOutput"), 0);
  EXPECT_TRUE(form->delayedStartPending());
  EXPECT_EQ(caption("start"), "Start in 0.1 s");

  now = 102.0;
  ASSERT_TRUE(waitUntil([&] { return audio.count("openOutput") > 0; }, 2000));
  EXPECT_FALSE(form->delayedStartPending());
  EXPECT_FALSE(enabled("start"));
  EXPECT_EQ(caption("start"), "Start");

  runToEnd();
  EXPECT_EQ(audio.count("openOutput"), 1);
  EXPECT_EQ(audio.count("primeOutput"), 1);
  EXPECT_TRUE(state().setup.hasResponse);
  EXPECT_TRUE(enabled("start"));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// A click on the counting button gives the delayed start up: nothing is
// opened, even once the two seconds have passed, the controls and the
// cursor come back, and the next start works as usual.
TEST_F(DelayedStartTest, ClickOnTheCountdownCancelsIt) {
  tick("delayStart", true);
  click("start");
  now = 100.5;
  ASSERT_NO_FATAL_FAILURE(wakeTimer());
  EXPECT_EQ(caption("start"), "Start in 1.5 s");
  saveScreenshot("delayed_start_countdown.png");

  click("start");
  EXPECT_FALSE(form->delayedStartPending());
  EXPECT_EQ(caption("start"), "Start");
  for (const char* freed : {"start", "sRate", "nMLS", "Level", "Calibrate", "cbCycle", "delayStart"}) {
    EXPECT_TRUE(enabled(freed)) << freed;
  }
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  QTimer* timer = form->findChild<QTimer*>(QStringLiteral("delayTimer"));
  ASSERT_NE(timer, nullptr);
  EXPECT_FALSE(timer->isActive());
  now = 110.0;
  QTest::qWait(30);
  EXPECT_EQ(audio.count("openOutput"), 0);
  EXPECT_FALSE(runUnderway());

  tick("delayStart", false);
  click("start");
  runToEnd();
  EXPECT_EQ(audio.count("openOutput"), 1);
  EXPECT_TRUE(state().setup.hasResponse);
}

TEST(StartCountdownCaption, SecondsRoundedUpToATenth) {
  EXPECT_EQ(startCountdownCaption(2000), "Start in 2.0 s");
  EXPECT_EQ(startCountdownCaption(1901), "Start in 2.0 s");
  EXPECT_EQ(startCountdownCaption(1900), "Start in 1.9 s");
  EXPECT_EQ(startCountdownCaption(1), "Start in 0.1 s");
  EXPECT_EQ(startCountdownCaption(0), "Start in 0.0 s");
  EXPECT_EQ(startCountdownCaption(-5), "Start in 0.0 s");
}

// A device that fails in the middle of a recording ends the run with the
// device's text in a warning box without caption: devices closed, controls
// back, the hourglass gone. A cyclic measurement ends with it, so the next
// level test records once and stops.
TEST_F(MeasureTest, DeviceFailingMidRunEndsTheRun) {
  tick("cbCycle", true);
  click("start");
  sim.advance(5000);  // a part of the first recording
  QCoreApplication::processEvents();
  ASSERT_TRUE(state().soundCard.recording);
  audio.failInput(kWaveErrDataLost);
  QCoreApplication::processEvents();

  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, errorText(kWaveErrDataLost));
  EXPECT_EQ(dialogs.boxes[0].caption, "");
  EXPECT_EQ(dialogs.boxes[0].icon, MsgIcon::warning);
  EXPECT_EQ(dialogs.boxes[0].buttons, MsgButtons::ok);
  EXPECT_FALSE(runUnderway());
  EXPECT_EQ(closesSinceOpen(), 2);
  EXPECT_FALSE(state().cyclicRunning);
  EXPECT_EQ(caption("start"), "Start");
  for (const char* freed : {"sRate", "nMLS", "cbCycle", "Level", "Calibrate", "start"}) {
    EXPECT_TRUE(enabled(freed)) << freed;
  }
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // Whatever the dead run still had on its way is dropped.
  sim.runUntilIdle();
  QCoreApplication::processEvents();
  EXPECT_EQ(dialogs.boxes.size(), 1u);

  openPage(kSettingsPage);
  click("Level");
  runToEnd();
  EXPECT_EQ(audio.count("start"), 2);
  EXPECT_EQ(dialogs.boxes.size(), 1u);
}

// A device that can't be opened: its text in a warning box without caption,
// the output that was already open closed again, no recording, the controls
// usable; the next attempt on a free device measures.
TEST_F(MeasureTest, DeviceThatCannotBeOpenedGivesTheControlsBack) {
  audio.refuseInput = kWaveErrAllocated;
  click("start");
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, errorText(kWaveErrAllocated));
  EXPECT_EQ(dialogs.boxes[0].caption, "");
  EXPECT_EQ(dialogs.boxes[0].icon, MsgIcon::warning);
  EXPECT_FALSE(runUnderway());
  EXPECT_EQ(closesSinceOpen(), 1);
  EXPECT_EQ(audio.count("start"), 0);
  EXPECT_TRUE(enabled("start"));
  EXPECT_TRUE(enabled("sRate"));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  audio.refuseInput = kWaveOk;
  click("start");
  runToEnd();
  EXPECT_TRUE(state().setup.hasResponse);
  EXPECT_EQ(dialogs.boxes.size(), 1u);
}

// A level test of the loudspeaker from the Settings page. The right input
// is the reference, 0.9 x 30000 + 3 LSB plus a little noise, a peak of about
// 27010: 20 log10(27010 / 23000) = +1.4 dB, so the right bar is yellow from
// y = trunc(max(2, (0.1 - 0.05 x 1.4) x 126 - 1)) = 2 to 10, green from
// trunc(0.1 x 126) = 12 down, and without the red mark (that needs a peak
// above 29000). No response is computed; the run leaves export disabled on
// this page and no cyclic measurement behind.
TEST_F(MeasureTest, LevelTestShowsTheInputLevels) {
  openPage(kSettingsPage);
  choose("inDev", "Simulator: loudspeaker (mic L, loop R)");
  click("Level");
  EXPECT_FALSE(enabled("Level"));
  EXPECT_FALSE(enabled("sRate"));
  runToEnd();
  EXPECT_TRUE(dialogs.boxes.empty());
  EXPECT_FALSE(state().setup.hasResponse);
  EXPECT_FALSE(state().responseValid);
  EXPECT_FALSE(state().cyclicRunning);
  EXPECT_TRUE(enabled("Level"));
  EXPECT_TRUE(enabled("sRate"));
  EXPECT_FALSE(enabled("exportMeas"));

  const QImage right = get<TImageView>("Image4")->image();
  const QColor yellow(255, 255, 0), green(0, 255, 0), white(255, 255, 255), black(0, 0, 0);
  EXPECT_EQ(right.pixelColor(5, 3), yellow);  // where the red mark would be
  EXPECT_EQ(right.pixelColor(5, 10), yellow);
  EXPECT_EQ(right.pixelColor(5, 11), white);
  EXPECT_EQ(right.pixelColor(5, 20), green);
  EXPECT_EQ(right.pixelColor(5, 123), green);
  EXPECT_EQ(right.pixelColor(0, 60), black);
  saveScreenshot("level_test.png");
  get<QTabWidget>("TimeFreqCtrl")->setCurrentIndex(0);
  saveScreenshot("level_test_waveforms.png");
}

// Pictures of a calibrated loudspeaker measurement (frequency and time
// graphs) and of the jig's impedance, saved for a person to look at.
TEST_F(MeasureTest, MeasurementScreenshots) {
  calibrateAt48k();
  choose("inDev", "Simulator: loudspeaker (mic L, loop R)");
  measure();
  ASSERT_TRUE(state().setup.hasResponse);
  QTabWidget* graphs = get<QTabWidget>("TimeFreqCtrl");
  graphs->setCurrentIndex(1);
  saveScreenshot("spl.png");
  graphs->setCurrentIndex(0);
  saveScreenshot("time.png");

  openSplZ(1);
  calibrateAt48k();
  choose("inDev", "Simulator: impedance jig 12 ohm");
  measure();
  ASSERT_TRUE(state().setup.hasResponse);
  graphs->setCurrentIndex(1);
  saveScreenshot("impedance.png");
  EXPECT_TRUE(dialogs.boxes.empty());
}

// The simulator as the program runs it: paced in real time by a thread of
// its own, which posts the notices from there. A cyclic measurement of the
// loudspeaker at 48000 Hz with the shortest sequence runs two cycles and is
// stopped; the window takes every notice on its own thread, and the
// response is the model seen through the card's gain of 0.9 (uncalibrated,
// so in the raw scale in which a gain of 1 reads as the excitation's 30000).
class RealTimeMeasureTest : public WindowTest {
 protected:
  void SetUp() override { openWindow(combined); }
  SimAudio sim{SimAudio::Pacing::realTime};
  CombinedWaveAudio combined{nullptr, sim};
};

TEST_F(RealTimeMeasureTest, CyclicMeasurementOnTheSimulatorsThread) {
  choose("sRate", kRate48000);
  choose("nMLS", 0);  // 4096
  choose("inDev", "Simulator: loudspeaker (mic L, loop R)");
  tick("cbCycle", true);
  click("start");
  ASSERT_TRUE(waitUntil([&] { return state().setup.hasResponse; }, 5000));
  form->state().responseValid = false;
  ASSERT_TRUE(waitUntil([&] { return state().responseValid; }, 5000));  // a second cycle
  click("start");
  ASSERT_TRUE(waitUntil([&] { return !runUnderway(); }, 5000));
  EXPECT_TRUE(dialogs.boxes.empty());
  EXPECT_EQ(caption("start"), "Start");
  EXPECT_TRUE(enabled("sRate"));
  double at = 0.0;
  const auto model = [](double f) { return loudspeakerDb(48000.0, f) + 20.0 * std::log10(0.9 * 30000.0);
  };
  EXPECT_LT(worstDb(state().setup, 200.0, 10000.0, model, at), 0.05) << at << " Hz";
}

// Closing the window in the middle of a cyclic measurement releases the
// devices (they can be opened again at once) while the simulator's thread
// goes on; nothing it still posts reaches the closed window.
TEST_F(RealTimeMeasureTest, ClosingTheWindowDuringARunReleasesTheDevices) {
  tick("cbCycle", true);
  click("start");
  ASSERT_TRUE(waitUntil([&] { return state().setup.hasResponse; }, 5000));
  ASSERT_TRUE(runUnderway());
  form.reset();
  QTest::qWait(50);
  WaveHandle out = kNoWaveHandle, in = kNoWaveHandle;
  EXPECT_EQ(combined.openOutput(0, stereo16Format(44100), nullptr, out), kWaveOk);
  EXPECT_EQ(combined.openInput(0, stereo16Format(44100), nullptr, in), kWaveOk);
  combined.close(in);
  combined.close(out);
}

}  // namespace

// The Settings page names what the sound card calibration covers: green
// "Calibrated (mode, rate, MLS length)" for the current setup, red
// "Uncalibrated" otherwise; the Z page warns while impedance is measured
// without its calibration.
TEST_F(MeasureTest, CalibrationStatusNamesModeRateAndLength) {
  QLabel* status = get<QLabel>("calStatus");
  QLabel* zWarning = get<QLabel>("zUncalibrated");
  ASSERT_NE(status, nullptr);
  ASSERT_NE(zWarning, nullptr);
  const auto colour = [](QLabel* l) { return l->palette().color(QPalette::Active, QPalette::WindowText); };
  EXPECT_EQ(status->text(), "Uncalibrated");
  EXPECT_EQ(colour(status), QColor(255, 0, 0));

  calibrateAt48k();
  EXPECT_EQ(status->text(), "Calibrated (SPL, 48000 Hz, 16384)");
  EXPECT_EQ(colour(status), QColor(0, 128, 0));
  // Whole, inside its page.
  EXPECT_GE(status->width(), status->sizeHint().width());
  EXPECT_LE(status->geometry().right(), status->parentWidget()->width());
  EXPECT_LE(status->geometry().bottom(), status->parentWidget()->height());
  openPage(kSettingsPage);
  saveScreenshot("settings_calibrated.png");

  // Impedance has a calibration of its own.
  openPage(kMeasurePage);
  openSplZ(1);
  EXPECT_TRUE(zWarning->isVisibleTo(form.get()));
  EXPECT_EQ(status->text(), "Uncalibrated");
  calibrateAt48k();
  EXPECT_EQ(status->text(), "Calibrated (Z, 48000 Hz, 16384)");
  EXPECT_FALSE(zWarning->isVisibleTo(form.get()));

  // 32768 is not calibrated.
  openPage(kSettingsPage);
  choose("nMLS", 3);
  EXPECT_EQ(status->text(), "Uncalibrated");
  EXPECT_EQ(colour(status), QColor(255, 0, 0));
  openPage(kMeasurePage);
  EXPECT_TRUE(zWarning->isVisibleTo(form.get()));
  openSplZ(0);
  EXPECT_FALSE(zWarning->isVisibleTo(form.get()));
}

// The progress bar beside the page tabs follows a run longer than a second
// on the window's clock, from every page; short runs never show it.
class RunProgressTest : public DelayedStartTest {};

TEST_F(RunProgressTest, BarFollowsALongRunOnly) {
  QProgressBar* bar = get<QProgressBar>("runProgress");
  ASSERT_NE(bar, nullptr);
  openPage(kSettingsPage);
  choose("sRate", 1);  // 8000 Hz
  choose("nMLS", kMls16384);
  // The run's length as the Measure page shows it ("4.10 s"): 16384 frames
  // at 8000 Hz are 2.048 s a period, so more than a second whatever else.
  const double seconds = get<QLabel>("runTime")->text().section(QLatin1Char(' '), 0, 0).toDouble();
  ASSERT_GT(seconds, 2.0);
  EXPECT_FALSE(bar->isVisible());

  click("Level");
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(bar->value(), 0);
  now += 0.5 * seconds;
  QTest::qWait(150);
  // Half the run; the label's rounding to 5 ms moves it by under 2/1000.
  EXPECT_NEAR(bar->value(), 500, 3);
  saveScreenshot("run_progress.png");
  now += seconds;
  QTest::qWait(150);
  EXPECT_EQ(bar->value(), 1000);  // a single run waits at the end for its analysis
  runSimToEnd(sim);
  QCoreApplication::processEvents();
  EXPECT_FALSE(bar->isVisible());

  choose("sRate", kRate48000);
  choose("nMLS", 0);  // 4096 frames at 48 kHz: well under a second
  click("Level");
  QTest::qWait(150);
  EXPECT_FALSE(bar->isVisible());
  runSimToEnd(sim);
}

TEST(RunProgressPermille, PartOfTheRecording) {
  EXPECT_EQ(runProgressPermille(0.0, 4.0, false), 0);
  EXPECT_EQ(runProgressPermille(1.0, 4.0, false), 250);
  EXPECT_EQ(runProgressPermille(9.0, 4.0, false), 1000);
  // Cyclic: 9 s into 4 s recordings is a quarter into the third.
  EXPECT_EQ(runProgressPermille(9.0, 4.0, true), 250);
  EXPECT_EQ(runProgressPermille(-1.0, 4.0, false), 0);
  EXPECT_EQ(runProgressPermille(1.0, 0.0, false), 0);
}

// The Settings page's status follows a change of the rate or the MLS length
// at once, while the page stays shown.
TEST_F(MeasureTest, CalibrationStatusFollowsRateAndLength) {
  calibrateAt48k();
  openPage(kSettingsPage);
  QLabel* status = get<QLabel>("calStatus");
  ASSERT_EQ(status->text(), "Calibrated (SPL, 48000 Hz, 16384)");
  choose("sRate", 1);
  EXPECT_EQ(status->text(), "Uncalibrated");
  choose("sRate", kRate48000);
  EXPECT_EQ(status->text(), "Calibrated (SPL, 48000 Hz, 16384)");
  choose("nMLS", 1);
  EXPECT_EQ(status->text(), "Uncalibrated");
}
