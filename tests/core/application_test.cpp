// The application layer without a window: runs on the simulated devices and
// on a scripted fake, the delayed start on a clock the test turns, what a run
// locks, and a calibration that recorded nothing.

#include "app/application.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dialog_recorder.h"
#include "engine/mls.h"
#include "fake_wave_audio.h"
#include "file_test_support.h"
#include "platform/sim_audio.h"

namespace {

// Writes down what the application reports, one line each.
class ObserverRecorder final : public AppObserver {
 public:
  void redraw() override { events.push_back("redraw"); }
  void viewStateChanged() override { events.push_back("view"); }
  void controlsLocked(bool locked) override { events.push_back(locked ? "lock" : "unlock"); }
  void runEnded(RunOutcome outcome) override {
    events.push_back("ended:" + std::to_string(static_cast<int>(outcome)));
    ++runsEnded;
    lastOutcome = outcome;
  }
  void showMessage(const char* text, const char*, MsgIcon) override { messages.emplace_back(text); }
  void startDisabled() override { events.push_back("start:off"); }
  void busy(bool b) override { events.push_back(b ? "busy" : "idle"); }
  void exitProgram(int code) override { events.push_back("exit:" + std::to_string(code)); }
  void deviceListsChanged() override { events.push_back("devices"); }

  bool saw(const std::string& e) const {
    for (const std::string& x : events)
      if (x == e) return true;
    return false;
  }

  std::vector<std::string> events;
  std::vector<std::string> messages;
  int runsEnded = 0;
  RunOutcome lastOutcome = RunOutcome::completed;
};

// The application on the manually paced simulator; notices are handed over
// as a front end's event loop would.
struct SimRig {
  SimAudio sim{SimAudio::Pacing::manual};
  NoticeList notices;
  DialogRecorder dialogs;
  ObserverRecorder observer;
  double now = 100.0;  // the clock the delayed start reads, in seconds
  Application app{sim, notices, dialogs, observer, [this] { return now; }};

  SimRig() {
    app.state().inDeviceId = SimAudio::kInputLoopback;
    app.state().setup.setMlsOrder(0);
    buildMlsTables(app.state().setup, app.state().mls);
  }
  // Runs the simulated clock and delivers the notices until nothing is left.
  void pump() {
    for (int i = 0; i < 100; ++i) {
      sim.runUntilIdle();
      if (notices.notices.empty()) return;
      const std::vector<WaveNotice> batch = std::move(notices.notices);
      notices.notices.clear();
      for (const WaveNotice& n : batch) app.onNotice(n);
    }
  }
};

TEST(Application, DelayedStartBeginsOnlyOnceItsClockHasRunTwoSeconds) {
  SimRig r;
  r.app.delayedStartChanged(true);
  EXPECT_EQ(r.app.startClicked(), StartAction::startAfterDelay);
  // Locked at once, although no device is open yet.
  EXPECT_EQ(r.observer.events, (std::vector<std::string>{"lock", "start:off", "busy"}));
  EXPECT_TRUE(r.app.delayPending());
  EXPECT_TRUE(r.app.runUnderway());
  EXPECT_EQ(r.app.delayRemainingMs(), 2000);
  // A second click while waiting does nothing, nor do the other runs.
  EXPECT_EQ(r.app.startClicked(), StartAction::ignore);
  EXPECT_FALSE(r.app.levelTestClicked());

  r.now += 1.9995;
  EXPECT_FALSE(r.app.delayedStartDue());
  EXPECT_EQ(r.app.delayRemainingMs(), 1);  // 0.5 ms, rounded up
  EXPECT_EQ(r.app.state().soundCard.hWaveOut, kNoWaveHandle);

  r.now += 0.0005;
  r.observer.events.clear();
  EXPECT_TRUE(r.app.delayedStartDue());
  EXPECT_FALSE(r.app.delayPending());
  EXPECT_NE(r.app.state().soundCard.hWaveIn, kNoWaveHandle);
  r.pump();
  EXPECT_EQ(r.observer.runsEnded, 1);
  EXPECT_EQ(r.observer.lastOutcome, RunOutcome::completed);
  EXPECT_TRUE(r.app.state().responseValid);
  EXPECT_FALSE(r.app.runUnderway());
  EXPECT_FALSE(r.app.delayedStartDue());  // nothing pending any more
}

// A pending delayed start given up: unlocked at once, nothing opened even
// after the delay, and a cancel with nothing pending does nothing.
TEST(Application, CancelledDelayedStartNeverBegins) {
  SimRig r;
  EXPECT_FALSE(r.app.cancelDelayedStart());
  EXPECT_TRUE(r.observer.events.empty());
  r.app.delayedStartChanged(true);
  ASSERT_EQ(r.app.startClicked(), StartAction::startAfterDelay);
  r.now += 0.5;
  r.observer.events.clear();
  EXPECT_TRUE(r.app.cancelDelayedStart());
  EXPECT_TRUE(r.observer.saw("idle"));
  EXPECT_TRUE(r.observer.saw("unlock"));
  EXPECT_FALSE(r.app.delayPending());
  EXPECT_FALSE(r.app.runUnderway());
  EXPECT_EQ(r.app.delayRemainingMs(), 0);
  r.now += 5.0;
  EXPECT_FALSE(r.app.delayedStartDue());
  EXPECT_EQ(r.app.state().soundCard.hWaveOut, kNoWaveHandle);
  EXPECT_EQ(r.app.state().soundCard.hWaveIn, kNoWaveHandle);
  // The other runs may begin again.
  EXPECT_TRUE(r.app.levelTestClicked());
  r.pump();
  EXPECT_EQ(r.observer.runsEnded, 1);
}

// A run keeps the rate, the sequence, the devices, the kind of measurement
// and the slots it began with; afterwards each is accepted again.
TEST(Application, RunLocksWhatItWasStartedWith) {
  SimRig r;
  AppState& s = r.app.state();
  ASSERT_EQ(r.app.startClicked(), StartAction::startNow);
  ASSERT_TRUE(r.app.runUnderway());

  EXPECT_FALSE(r.app.sampleRateChosen(7));
  EXPECT_EQ(s.setup.sampleRate, 44100);
  EXPECT_FALSE(r.app.mlsOrderChosen(2));
  EXPECT_EQ(s.setup.mlsOrder, 12);
  EXPECT_FALSE(r.app.inputDeviceChosen(SimAudio::kInputJig));
  EXPECT_EQ(s.inDeviceId, SimAudio::kInputLoopback);
  EXPECT_FALSE(r.app.outputDeviceChosen(1));
  EXPECT_FALSE(r.app.measurementModeChosen(true));
  EXPECT_EQ(s.setup.impedanceMode, 0);
  EXPECT_FALSE(r.app.storeClicked(1));
  EXPECT_FALSE(r.app.recallClicked(1));
  EXPECT_FALSE(r.app.averagesChosen(4));
  EXPECT_EQ(s.setup.averages, 1);

  r.pump();
  ASSERT_FALSE(r.app.runUnderway());
  EXPECT_TRUE(r.app.storeClicked(1));
  EXPECT_TRUE(s.slots[0].hasResponse);
  EXPECT_TRUE(r.app.recallClicked(1));
  EXPECT_TRUE(r.app.inputDeviceChosen(SimAudio::kInputJig));
  EXPECT_TRUE(r.app.sampleRateChosen(7));
  EXPECT_EQ(s.setup.sampleRate, 48000);
  EXPECT_TRUE(r.app.measurementModeChosen(true));
  EXPECT_EQ(s.setup.impedanceMode, 1);
  EXPECT_FALSE(r.app.averagesChosen(3));  // not a choice
  EXPECT_TRUE(r.app.averagesChosen(4));
  // 48000 Hz, order 12 after a run: 5 periods of 4095, the margin
  // max(2000, 4800) + onset, 2000 more.
  EXPECT_NEAR(r.app.recordingSeconds(), (5.0 * 4095 + s.setup.delaySamples + 2000) / 48000.0, 1e-12);
}

// Given up on by its front end, a run closes the devices and ends failed.
TEST(Application, AbortedRunEndsFailedWithItsText) {
  SimRig r;
  r.app.cyclicChanged(true);
  ASSERT_EQ(r.app.startClicked(), StartAction::startCyclic);
  r.app.abortRun("The sound card stopped responding.");
  EXPECT_FALSE(r.app.runUnderway());
  EXPECT_FALSE(r.app.state().cyclicRunning);
  EXPECT_EQ(r.observer.lastOutcome, RunOutcome::failed);
  ASSERT_EQ(r.observer.messages.size(), 1u);
  EXPECT_EQ(r.observer.messages[0], "The sound card stopped responding.");
  EXPECT_EQ(r.observer.events.back(), "ended:1");
}

// The calibration runs on a fake whose recordings the test writes itself.
struct FakeRig {
  FakeWaveAudio audio;
  NoticeList notices;
  DialogRecorder dialogs;
  ObserverRecorder observer;
  Application app{audio, notices, dialogs, observer};

  // A calibration run whose recording holds a 1 kHz tone of `leftPeak` on
  // the left input and `rightPeak` on the right, every buffer then returned.
  void calibrate(double leftPeak, double rightPeak) {
    ASSERT_TRUE(app.calibrateClicked());
    AppState& s = app.state();
    const int32_t frames = static_cast<int32_t>(s.recBuffer.samples.size() / 2);
    for (int32_t f = 0; f < frames; ++f) {
      const double w = std::sin(2.0 * 3.14159265358979 * 1000.0 * f / s.setup.sampleRate);
      s.recBuffer.samples[2 * f] = static_cast<int16_t>(std::lround(leftPeak * w));
      s.recBuffer.samples[2 * f + 1] = static_cast<int16_t>(std::lround(rightPeak * w));
    }
    for (int j = 0; j < s.soundCard.inBufferCount; ++j)
      app.onNotice({WaveNoticeKind::inputData, FakeWaveAudio::kIn, &s.soundCard.inHeaders[j], kWaveOk});
  }
};

// A calibration needs a signal on each input it uses: -60 dBFS is 32.77 of
// 32768. Below that nothing is stored and the user is told which input.
TEST(Application, CalibrationThatRecordedNothingKeepsTheOldOne) {
  {
    FakeRig r;
    SoundcardCal& cal = r.app.state().soundcardCal;
    cal.calibratedFlags[0][6][1] = true;
    cal.table[0][6][1][0][500] = Complex(0.5, 0.25);
    r.calibrate(30.0, 20000.0);
    EXPECT_EQ(r.observer.lastOutcome, RunOutcome::noSignal);
    ASSERT_EQ(r.observer.messages.size(), 1u);
    EXPECT_EQ(r.observer.messages[0], kCalibrationSilentLeftText);
    EXPECT_TRUE(cal.calibratedFlags[0][6][1]);
    EXPECT_EQ(cal.table[0][6][1][0][500], Complex(0.5, 0.25));
    EXPECT_FALSE(r.app.state().calibrationRun);
    EXPECT_FALSE(r.app.state().responseValid);
    EXPECT_FALSE(r.app.runUnderway());
  }
  // The right input matters in impedance mode (and two-channel SPL mode) ...
  {
    FakeRig r;
    ASSERT_TRUE(r.app.measurementModeChosen(true));
    r.calibrate(20000.0, 30.0);
    EXPECT_EQ(r.observer.lastOutcome, RunOutcome::noSignal);
    ASSERT_EQ(r.observer.messages.size(), 1u);
    EXPECT_EQ(r.observer.messages[0], kCalibrationSilentRightText);
    EXPECT_FALSE(r.app.state().soundcardCal.calibratedFlags[1][6][1]);
  }
  // ... but not in single-channel SPL mode; 40 LSB is above the limit.
  {
    FakeRig r;
    r.calibrate(40.0, 0.0);
    EXPECT_EQ(r.observer.lastOutcome, RunOutcome::completed);
    EXPECT_TRUE(r.observer.messages.empty());
    EXPECT_TRUE(r.app.state().soundcardCal.calibratedFlags[0][6][1]);
  }
}

// A device that cannot be opened ends the run at once, failed, with its text.
TEST(Application, DeviceThatCannotBeOpenedEndsTheRunFailed) {
  FakeRig r;
  r.audio.outputOpenResult = kWaveErrAllocated;
  ASSERT_TRUE(r.app.calibrateClicked());
  EXPECT_EQ(r.observer.runsEnded, 1);
  EXPECT_EQ(r.observer.lastOutcome, RunOutcome::failed);
  ASSERT_EQ(r.observer.messages.size(), 1u);
  EXPECT_EQ(r.observer.messages[0], "device error 4");
  EXPECT_FALSE(r.app.state().calibrationRun);
  EXPECT_FALSE(r.app.runUnderway());
  EXPECT_EQ(r.observer.events.back(), "ended:1");
}

// A fake whose lists are replaced by the next ones at each refresh.
class RelistingAudio final : public FakeWaveAudio {
 public:
  using Lists = std::vector<std::vector<std::string>>;  // output, input
  std::vector<Lists> generations;
  size_t current = 0;
  int refreshes = 0;

  int deviceCount(WaveDirection dir) const override { return static_cast<int>(list(dir).size()); }
  void deviceName(WaveDirection dir, int id, char* text, size_t capacity) const override {
    const auto& l = list(dir);
    std::snprintf(text, capacity, "%s",
                  id >= 0 && id < static_cast<int>(l.size()) ? l[id].c_str() : "");
  }
  WaveResult refreshDevices() override {
    ++refreshes;
    if (current + 1 < generations.size()) ++current;
    return kWaveOk;
  }

 private:
  const std::vector<std::string>& list(WaveDirection dir) const {
    return generations[current][dir == WaveDirection::output ? 0 : 1];
  }
};

// "Refresh" keeps the chosen devices by name at their new numbers, falls
// back to the first device for one no longer listed, and tells the front
// end; while a run holds the devices it reads nothing.
TEST(Application, RefreshKeepsTheChosenDevicesByName) {
  RelistingAudio audio;
  audio.generations = {{{"o1", "o2", "sim out"}, {"i1", "i2", "sim in"}},
                       {{"new", "sim out", "o1"}, {"i1", "new in", "sim in", "i1"}}};
  NoticeList notices;
  DialogRecorder dialogs;
  ObserverRecorder observer;
  Application app{audio, notices, dialogs, observer};
  app.state().setup.setMlsOrder(0);
  buildMlsTables(app.state().setup, app.state().mls);
  ASSERT_TRUE(app.outputDeviceChosen(2));  // "sim out"
  ASSERT_TRUE(app.inputDeviceChosen(1));   // "i2", gone after the refresh
  ASSERT_TRUE(app.refreshDevices());
  EXPECT_EQ(audio.refreshes, 1);
  EXPECT_EQ(app.state().outDeviceId, 1);
  EXPECT_EQ(app.state().inDeviceId, 0);
  EXPECT_TRUE(observer.saw("devices"));

  ASSERT_TRUE(app.inputDeviceChosen(2));  // "sim in"
  ASSERT_TRUE(app.levelTestClicked());
  ASSERT_TRUE(app.runUnderway());
  observer.events.clear();
  EXPECT_FALSE(app.refreshDevices());
  EXPECT_EQ(audio.refreshes, 1);
  EXPECT_FALSE(observer.saw("devices"));
  EXPECT_EQ(app.state().inDeviceId, 2);
}

}  // namespace

// A measured and stored session, saved through its dialog and opened again
// into a changed state, gives back the slot and the live curve bit for bit;
// a refused file is told in "Open session" and changes nothing; no session
// opens while a run holds the devices.
TEST(Application, SessionSavedAndOpenedThroughTheDialogs) {
  SimRig r;
  AppState& s = r.app.state();
  const std::string dir = ::testing::TempDir();
  const std::string path = dir + "sonrake-app-session.sonrake";
  ASSERT_EQ(r.app.startClicked(), StartAction::startNow);
  r.pump();
  ASSERT_TRUE(s.responseValid);
  r.app.titleChanged("woofer");
  ASSERT_TRUE(r.app.storeClicked(2));
  const auto measured = std::make_unique<MeasSetup>(s.setup);

  r.dialogs.fileAnswers.push_back(path);
  EXPECT_EQ(r.app.saveSessionClicked(), Application::SessionFileOp::done);
  EXPECT_TRUE(r.dialogs.fileDialogs.back().save);
  EXPECT_EQ(r.dialogs.fileDialogs.back().defaultExt, "sonrake");

  // Another rate, the slot emptied, the live curve gone.
  ASSERT_TRUE(r.app.sampleRateChosen(7));
  s.slots[1] = MeasSetup();
  s.setup.response.fill({0.0, 0.0});
  s.responseValid = false;
  r.dialogs.fileAnswers.push_back(path);
  EXPECT_EQ(r.app.openSessionClicked(), Application::SessionFileOp::done);
  EXPECT_TRUE(r.dialogs.boxes.empty());
  EXPECT_EQ(s.setup.sampleRate, measured->sampleRate);
  EXPECT_TRUE(s.responseValid);
  EXPECT_EQ(std::memcmp(s.setup.response.data(), measured->response.data(), sizeof measured->response), 0);
  EXPECT_TRUE(s.slots[1].hasResponse);
  EXPECT_STREQ(s.slots[1].title, "woofer");
  EXPECT_EQ(std::memcmp(s.slots[1].response.data(), measured->response.data(), sizeof measured->response), 0);
  EXPECT_EQ(s.slots[1].responseRate, measured->responseRate);

  // One byte: refused with a box, the state as it was.
  { std::FILE* f = std::fopen((dir + "one-byte.sonrake").c_str(), "wb"); std::fputc('{', f); std::fclose(f); }
  r.dialogs.fileAnswers.push_back(dir + "one-byte.sonrake");
  EXPECT_EQ(r.app.openSessionClicked(), Application::SessionFileOp::failed);
  ASSERT_EQ(r.dialogs.boxes.size(), 1u);
  EXPECT_EQ(r.dialogs.boxes[0].caption, "Open session");
  EXPECT_STREQ(s.slots[1].title, "woofer");

  ASSERT_EQ(r.app.startClicked(), StartAction::startNow);
  std::string error;
  EXPECT_FALSE(r.app.openSessionFrom(path, error));
  EXPECT_NE(error.find("while a measurement runs"), std::string::npos);
  EXPECT_EQ(r.app.openSessionClicked(), Application::SessionFileOp::refusedNow);
  r.pump();
  std::remove(path.c_str());
  std::remove((dir + "one-byte.sonrake").c_str());
}

// The last session: kept in the data directory only when there is something
// to keep, offered at the next start with a yes/no box, opened only on yes;
// a refused file is told and left in place, and no box comes without a file.
TEST(Application, LastSessionKeptAtCloseAndOfferedAtTheNextStart) {
  TempDir dir;
  const std::string kept = dir.file(kLastSessionFile);
  std::string error;
  auto measured = std::make_unique<MeasSetup>();
  {
    SimRig r;
    r.app.state().dataDir = dir.path();
    EXPECT_TRUE(r.app.keepLastSession(error));
    EXPECT_FALSE(std::filesystem::exists(kept)) << "nothing measured, nothing kept";
    ASSERT_EQ(r.app.startClicked(), StartAction::startNow);
    r.pump();
    r.app.titleChanged("woofer");
    ASSERT_TRUE(r.app.storeClicked(2));
    *measured = r.app.state().slots[1];
    ASSERT_TRUE(r.app.keepLastSession(error)) << error;
  }
  ASSERT_TRUE(std::filesystem::exists(kept));
  const std::vector<uint8_t> keptBytes = readBytes(kept);

  SimRig next;
  AppState& s = next.app.state();
  s.dataDir = dir.path();
  next.dialogs.answer = MsgResult::no;
  EXPECT_EQ(next.app.offerLastSession(), Application::SessionFileOp::cancelled);
  ASSERT_EQ(next.dialogs.boxes.size(), 1u);
  const auto& box = next.dialogs.boxes[0];
  EXPECT_EQ(box.caption, "Session");
  EXPECT_EQ(box.icon, MsgIcon::question);
  EXPECT_EQ(box.buttons, MsgButtons::yesNo);
  EXPECT_EQ(box.text.rfind("Open the session kept when Sonrake last closed (", 0), 0u) << box.text;
  EXPECT_FALSE(s.slots[1].hasResponse);

  next.dialogs.answer = MsgResult::yes;
  EXPECT_EQ(next.app.offerLastSession(), Application::SessionFileOp::done);
  EXPECT_EQ(next.dialogs.boxes.size(), 2u);
  EXPECT_TRUE(s.slots[1].hasResponse);
  EXPECT_STREQ(s.slots[1].title, "woofer");
  EXPECT_EQ(
      std::memcmp(s.slots[1].response.data(), measured->response.data(), sizeof measured->response),
      0);
  EXPECT_TRUE(s.responseValid);

  // A start with nothing new leaves the kept file as it was.
  SimRig empty;
  empty.app.state().dataDir = dir.path();
  EXPECT_TRUE(empty.app.keepLastSession(error));
  EXPECT_EQ(readBytes(kept), keptBytes);

  // A damaged file is told and stays; without a file nothing is asked.
  writeText(kept, "{\"format\": ");
  empty.dialogs.answer = MsgResult::yes;
  EXPECT_EQ(empty.app.offerLastSession(), Application::SessionFileOp::failed);
  ASSERT_EQ(empty.dialogs.boxes.size(), 2u);
  EXPECT_EQ(empty.dialogs.boxes[1].caption, "Open session");
  EXPECT_TRUE(std::filesystem::exists(kept));
  std::filesystem::remove(kept);
  EXPECT_EQ(empty.app.offerLastSession(), Application::SessionFileOp::cancelled);
  EXPECT_EQ(empty.dialogs.boxes.size(), 2u);

  // A data directory that cannot be written says why.
  next.app.state().dataDir = dir.file("missing/");
  EXPECT_FALSE(next.app.keepLastSession(error));
  EXPECT_FALSE(error.empty());
}
