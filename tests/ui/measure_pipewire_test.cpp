// A whole calibration and measurement from the window through PipeWire, as
// on a desktop that runs it: the tests' private PipeWire server at one rate,
// reached through PortAudio's ALSA device "pipewire" (wireplumber links it
// to a loopback) or through PortAudio's JACK host API on PipeWire's libjack
// (the null sink "loop_sink", recorded from its monitor). This executable
// runs with PipeWire's libjack first on LD_LIBRARY_PATH, as `pw-jack` runs a
// program. Skipped (and said so) only where PipeWire can't be started.
//
// A test that kills the server leaves PortAudio initialised in this process
// (the backend does not terminate it on a server that died), and a later
// window here would find PortAudio's JACK client of the dead server: each
// test runs in a process of its own, as CTest runs them.

#include <QLabel>

#include <gtest/gtest.h>
#include <portaudio.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "../portaudio/private_pipewire.h"
#include "platform/combined_audio.h"
#include "platform/portaudio/pa_audio.h"
#include "platform/sim_audio.h"
#include "window_test.h"

namespace {

using Route = PrivatePipeWire::Route;

struct Case {
  Route route;
  int rate;
};

std::string caseName(const testing::TestParamInfo<Case>& info) {
  return std::string(info.param.route == Route::jack ? "PwJack" : "Alsa") +
         std::to_string(info.param.rate);
}

// The JACK library this process runs on is PipeWire's.
bool onPipeWiresLibjack() {
  std::ifstream maps("/proc/self/maps");
  const std::string text{std::istreambuf_iterator<char>(maps), std::istreambuf_iterator<char>()};
  return text.find("pipewire-0.3/jack/libjack.so") != std::string::npos;
}

class PipeWireMeasureTest : public WindowTest, public testing::WithParamInterface<Case> {
 protected:
  void SetUp() override {
    const Case c = GetParam();
    server = std::make_unique<PrivatePipeWire>(c.route, c.rate);
    if (!server->ready()) GTEST_SKIP() << server->skipReason();
    std::printf("[ pipewire ] %s at %d Hz ready in %.3f s\n",
                c.route == Route::jack ? "pw-jack" : "ALSA", c.rate, server->startSeconds());
    if (c.route == Route::jack) {
      ASSERT_TRUE(onPipeWiresLibjack())
          << "run this test with PipeWire's libjack first on LD_LIBRARY_PATH (as pw-jack does)";
    }
  }
  void TearDown() override {
    WindowTest::TearDown();
    audio.reset();
    pa.reset();
    if (server && server->ready()) {
      server->stop();
      std::printf("[ pipewire ] stopped in %.3f s\n", server->stopSeconds());
    }
    server.reset();
  }
  // A fresh window on PortAudio's devices as they are now, as on a first
  // start: without the files an earlier window saved.
  void openOnPipeWire() {
    WindowTest::TearDown();
    QDir(dataDir.path()).remove(QStringLiteral("sonrake.cfg"));
    QDir(dataDir.path()).remove(QStringLiteral("sonrake.cal"));
    audio.reset();
    pa = std::make_unique<PaAudio>();
    audio = std::make_unique<CombinedWaveAudio>(pa.get(), sim);
    openWindow(*audio);
  }
  // The loopback on both lists and the case's rate; false when a device is
  // missing.
  bool chooseLoopback(const char* mlsLength) {
    openPage(kSettingsPage);
    const char* device = GetParam().route == Route::jack ? "loop_sink (JACK" : "pipewire (ALSA)";
    if (!chooseStartingWith("inDev", device) || !chooseStartingWith("outDev", device)) return false;
    choose("sRate", std::to_string(GetParam().rate).c_str());
    choose("nMLS", mlsLength);
    return true;
  }
  // Runs the button's run to its end; false if it did not end within 10 s.
  bool run(const char* button) {
    click(button);
    return waitUntil([&] { return !runUnderway(); }, 10000);
  }

  std::unique_ptr<PrivatePipeWire> server;
  std::unique_ptr<PaAudio> pa;
  SimAudio sim{SimAudio::Pacing::manual};
  std::unique_ptr<CombinedWaveAudio> audio;
};

// The largest distance in dB of |curve| / unity from 0 dB between 20 Hz and
// 20 kHz.
double worstFromZeroDb(const MeasSetup& m, const ComplexCurve& curve, double unity = 1.0) {
  double worst = 0.0;
  for (int i = 0; i < kGridPoints; ++i) {
    if (m.freqGrid[i] < 20.0 || m.freqGrid[i] > 20000.0) continue;
    worst = std::max(worst, std::fabs(20.0 * std::log10(abs(curve[i]) / unity)));
  }
  return worst;
}

// Through the loopback at the server's rate: the calibration of both
// channels is 0 dB relative to the played level within 0.01 dB from 20 Hz
// to 20 kHz (ALSA's route returns the samples unchanged, the JACK route
// with PortAudio's float conversion, a gain of 32767/32768 or -0.0003 dB),
// and so is the calibrated response of each channel measured in
// two-channel mode. Up to two retries when a stream reports an over- or
// underrun (or a run ends with an error) on a loaded machine.
TEST_P(PipeWireMeasureTest, LoopbackMeasuresFlatOnBothChannels) {
  constexpr int kAttempts = 3;
  std::string lastTrouble;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    openOnPipeWire();
    dialogs.boxes.clear();
    ASSERT_TRUE(chooseLoopback("16384"));

    const bool calibrated = run("Calibrate");
    tick("twoChMode", true);
    openPage(kMeasurePage);
    const bool measured = run("start");
    const uint32_t flags = pa->takeStatusFlags();
    const bool xrun = (flags & (paInputOverflow | paOutputUnderflow)) != 0;
    if (attempt + 1 < kAttempts && (xrun || !dialogs.boxes.empty())) {
      lastTrouble = "status flags " + std::to_string(flags) +
                    (dialogs.boxes.empty() ? std::string() : ", \"" + dialogs.boxes[0].text + "\"");
      std::printf("[ pipewire ] attempt %d again: %s\n", attempt + 1, lastTrouble.c_str());
      continue;
    }

    ASSERT_TRUE(calibrated);
    ASSERT_TRUE(measured);
    ASSERT_TRUE(dialogs.boxes.empty()) << dialogs.boxes[0].text;
    EXPECT_FALSE(get<QLabel>("unCalibrated")->isVisibleTo(form.get()));

    const MeasSetup& m = state().setup;
    ASSERT_EQ(m.sampleRate, GetParam().rate);
    const auto& cal = state().soundcardCal.table[0][m.sRateIndex][kMls16384];
    // The calibration holds the channels' raw responses, in which a gain of
    // 1 reads as the excitation's amplitude, 30000.
    const double cal0 = worstFromZeroDb(m, cal[0], 30000.0);
    const double cal1 = worstFromZeroDb(m, cal[1], 30000.0);
    EXPECT_LT(cal0, 0.01);
    EXPECT_LT(cal1, 0.01);
    ASSERT_TRUE(m.hasResponse);
    choose("showCh", "Ch 1");
    const double ch1 = worstFromZeroDb(m, m.response);
    EXPECT_LT(ch1, 0.01);
    choose("showCh", "Ch 2");
    EXPECT_EQ(m.showChannel, 1);
    const double ch2 = worstFromZeroDb(m, m.response);
    EXPECT_LT(ch2, 0.01);
    saveScreenshot(("pipewire_" + caseName({GetParam(), 0}) + ".png").c_str());
    std::printf("[ pipewire ] worst level: calibration %.4f / %.4f dB, response %.4f / %.4f dB\n",
                cal0, cal1, ch1, ch2);
    return;
  }
  FAIL() << "no attempt ran cleanly; the last: " << lastTrouble;
}

INSTANTIATE_TEST_SUITE_P(Routes, PipeWireMeasureTest,
                         testing::Values(Case{Route::alsa, 48000}, Case{Route::alsa, 44100},
                                         Case{Route::jack, 48000}, Case{Route::jack, 44100}),
                         caseName);

// The server stops under the window, on either route at 48000 Hz.
class PipeWireGoneTest : public PipeWireMeasureTest {};

// Killed during a measurement (order 15, 0.92 s of recording at 48000 Hz):
// the run ends with "The sound card stopped responding." no later than the
// recording's length and the backend's 2 s of grace (with some slack), the
// controls come back, and the window and the backend then close at once
// (on ALSA the stream stops by itself as the server goes; on JACK the
// backend notices the missing buffers; PortAudio's JACK host API, here on
// PipeWire's libjack whichever route, must not be terminated on a dead
// server).
TEST_P(PipeWireGoneTest, ServerKilledDuringAMeasurementEndsTheRun) {
  openOnPipeWire();
  ASSERT_TRUE(chooseLoopback("32768"));
  openPage(kMeasurePage);
  click("start");
  ASSERT_TRUE(runUnderway());
  QTest::qWait(300);
  const auto killed = std::chrono::steady_clock::now();
  server->stop();
  ASSERT_TRUE(waitUntil([&] { return !runUnderway(); }, 10000));
  const double waited =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - killed).count();
  EXPECT_LT(waited, 0.92 + 2.0 + 1.0);
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, "The sound card stopped responding.");
  EXPECT_FALSE(state().setup.hasResponse);
  EXPECT_TRUE(enabled("start"));

  const auto closing = std::chrono::steady_clock::now();
  form.reset();
  audio.reset();
  pa.reset();  // must return: no abort, no hang
  const double closed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - closing).count();
  EXPECT_LT(closed, 2.0);
  std::printf("[ pipewire ] the run ended %.2f s after the server, closed in %.3f s\n", waited,
              closed);
}

// Killed between two runs: the next Start reports the device as gone (in
// the backend's words, not PortAudio's "Insufficient memory" on JACK or
// "Illegal combination of I/O devices" on ALSA), nothing is left running,
// and the window and the backend then close without an abort.
TEST_P(PipeWireGoneTest, ServerKilledBetweenRunsIsReportedAtTheNextStart) {
  openOnPipeWire();
  ASSERT_TRUE(chooseLoopback("4096"));
  openPage(kMeasurePage);
  ASSERT_TRUE(run("start"));
  ASSERT_TRUE(dialogs.boxes.empty()) << dialogs.boxes[0].text;
  ASSERT_TRUE(state().setup.hasResponse);

  server->stop();
  click("start");
  ASSERT_TRUE(waitUntil([&] { return !runUnderway(); }, 10000));
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text,
            GetParam().route == Route::jack
                ? "The sound device is no longer available: the JACK server has stopped."
                : "The sound device is no longer available.");
  EXPECT_TRUE(enabled("start"));

  form.reset();
  audio.reset();
  pa.reset();  // must return: no abort, no hang
}

INSTANTIATE_TEST_SUITE_P(Routes, PipeWireGoneTest,
                         testing::Values(Case{Route::alsa, 48000}, Case{Route::jack, 48000}),
                         caseName);

}  // namespace
