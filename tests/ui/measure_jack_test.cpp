// A whole calibration and measurement from the window through a real audio
// server: a private JACK server on its dummy driver, whose loopback client
// returns what is played, reached through PortAudio. Skipped (and said so)
// only where jackd can't be started.

#include <QComboBox>
#include <QLabel>

#include <gtest/gtest.h>
#include <portaudio.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "../portaudio/private_jackd.h"
#include "platform/combined_audio.h"
#include "platform/portaudio/pa_audio.h"
#include "platform/sim_audio.h"
#include "window_test.h"

namespace {

class JackMeasureTest : public WindowTest {
 protected:
  void SetUp() override {
    jackd = std::make_unique<PrivateJackd>();
    if (!jackd->ready()) GTEST_SKIP() << jackd->skipReason();
  }
  void TearDown() override {
    WindowTest::TearDown();
    audio.reset();
    pa.reset();
    jackd.reset();
  }
  // A fresh window on PortAudio's devices as they are now (PortAudio lists
  // the JACK devices only if the server ran when it started), as on a first
  // start: without the files an earlier window saved.
  void openOnJack() {
    WindowTest::TearDown();
    QDir(dataDir.path()).remove(QStringLiteral("sonrake.cfg"));
    QDir(dataDir.path()).remove(QStringLiteral("sonrake.cal"));
    audio.reset();
    pa = std::make_unique<PaAudio>();
    audio = std::make_unique<CombinedWaveAudio>(pa.get(), sim);
    openWindow(*audio);
  }
  // Runs the button's run to its end; false if it did not end within 10 s.
  bool run(const char* button) {
    click(button);
    return waitUntil([&] { return !runUnderway(); }, 10000);
  }
  // The onset of the last run: delaySamples = max(2000, 48000 / 10) + onset.
  int onset() { return state().setup.delaySamples - 4800; }

  std::unique_ptr<PrivateJackd> jackd;
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

// Through the loopback, input and output on the device "loopback", at the
// server's rate of 48000 Hz: the sequence arrives one server period (1024
// frames, the loopback's delay) late, or two when the duplex stream's input
// and output start a period apart, so its first sample is recorded at frame
// 2000 + k 1024 (k 1 or 2) and the onset is k 1024 - 1 (the envelope starts
// at frame 2001, and a +-30000 sequence crosses 5 % of its level at its
// first sample);
// the calibration of both channels is 0 dB (relative to the played level) within 0.01 dB from 20 Hz to
// 20 kHz (the loopback's gain is 32767/32768 through PortAudio's float
// conversion, -0.0003 dB), and so is the calibrated response of each channel
// measured in two-channel mode. One retry when the server reports an
// over- or underrun on a loaded machine.
TEST_F(JackMeasureTest, LoopbackMeasuresFlatOnBothChannels) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    openOnJack();
    dialogs.boxes.clear();
    openPage(kSettingsPage);
    ASSERT_TRUE(chooseStartingWith("inDev", "loopback ("));
    ASSERT_TRUE(chooseStartingWith("outDev", "loopback ("));
    choose("sRate", kRate48000);
    choose("nMLS", kMls16384);

    const bool calibrated = run("Calibrate");
    const int calOnset = onset();
    tick("twoChMode", true);
    openPage(kMeasurePage);
    const bool measured = run("start");
    const int measOnset = onset();
    // An over- or underrun (which also ends a run with "samples lost") on a
    // loaded machine: once more.
    const uint32_t flags = pa->takeStatusFlags();
    const bool xrun = (flags & (paInputOverflow | paOutputUnderflow)) != 0;
    if (attempt == 0 && (xrun || !dialogs.boxes.empty())) continue;

    ASSERT_TRUE(calibrated);
    ASSERT_TRUE(measured);
    ASSERT_TRUE(dialogs.boxes.empty()) << dialogs.boxes[0].text;
    EXPECT_FALSE(get<QLabel>("unCalibrated")->isVisibleTo(form.get()));
    for (int j : {calOnset, measOnset}) {
      EXPECT_TRUE(j + 1 == PrivateJackd::kPeriodFrames || j + 1 == 2 * PrivateJackd::kPeriodFrames)
          << j;
    }

    const MeasSetup& m = state().setup;
    const auto& cal = state().soundcardCal.table[0][kRate48000][kMls16384];
    // The calibration holds the channels' raw responses, in which a gain of
    // 1 reads as the excitation's amplitude, 30000.
    EXPECT_LT(worstFromZeroDb(m, cal[0], 30000.0), 0.01);
    EXPECT_LT(worstFromZeroDb(m, cal[1], 30000.0), 0.01);
    ASSERT_TRUE(m.hasResponse);
    choose("showCh", "Ch 1");
    EXPECT_LT(worstFromZeroDb(m, m.response), 0.01);
    choose("showCh", "Ch 2");
    EXPECT_EQ(m.showChannel, 1);
    EXPECT_LT(worstFromZeroDb(m, m.response), 0.01);
    return;
  }
  FAIL() << "over- or underruns in both attempts";
}

// Through the window's own lists: the loopback chosen on the Settings page,
// calibrated and measured at 48000 Hz with a 16384-point sequence; true when
// both ran without a message and the calibration and the calibrated response
// are 0 dB within 0.01 dB from 20 Hz to 20 kHz. One retry after an over- or
// underrun on a loaded machine.
class JackRefreshTest : public JackMeasureTest {
 protected:
  bool loopbackMeasuresFlat(std::string& why) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      dialogs.boxes.clear();
      openPage(kSettingsPage);
      if (!chooseStartingWith("inDev", "loopback (") ||
          !chooseStartingWith("outDev", "loopback (")) {
        why = "no loopback device in the lists";
        return false;
      }
      choose("sRate", kRate48000);
      choose("nMLS", kMls16384);
      const bool calibrated = run("Calibrate");
      openPage(kMeasurePage);
      const bool measured = run("start");
      const uint32_t flags = pa->takeStatusFlags();
      const bool xrun = (flags & (paInputOverflow | paOutputUnderflow)) != 0;
      if (attempt == 0 && (xrun || !dialogs.boxes.empty())) continue;
      if (!calibrated || !measured) {
        why = "a run did not end";
        return false;
      }
      if (!dialogs.boxes.empty()) {
        why = dialogs.boxes[0].text;
        return false;
      }
      const MeasSetup& m = state().setup;
      const auto& cal = state().soundcardCal.table[0][kRate48000][kMls16384];
      const double worst =
          std::max({worstFromZeroDb(m, cal[0], 30000.0), worstFromZeroDb(m, cal[1], 30000.0),
                    m.hasResponse ? worstFromZeroDb(m, m.response) : 99.0});
      if (worst >= 0.01) {
        why = "off by " + std::to_string(worst) + " dB";
        return false;
      }
      return true;
    }
    why = "over- or underruns in both attempts";
    return false;
  }
  std::string chosenName(const char* list) {
    return get<QComboBox>(list)->currentText().toStdString();
  }
};

// The window starts while no JACK server runs, so its lists hold no JACK
// device; a server started then is listed after "Refresh", beside the
// devices chosen before (still chosen, by name, though the simulated devices
// now follow the real pair), and a measurement through it is flat.
TEST_F(JackRefreshTest, RefreshListsAServerStartedAfterTheWindow) {
  jackd->stop();
  openOnJack();
  openPage(kSettingsPage);
  EXPECT_EQ(get<QComboBox>("inDev")->findText(QStringLiteral("loopback ("), Qt::MatchStartsWith),
            -1);
  choose("inDev", 1);
  const std::string in = chosenName("inDev");
  const std::string out = chosenName("outDev");
  ASSERT_FALSE(in.empty());

  jackd->restart();
  ASSERT_TRUE(jackd->ready()) << jackd->skipReason();
  EXPECT_EQ(get<QComboBox>("inDev")->findText(QStringLiteral("loopback ("), Qt::MatchStartsWith),
            -1);
  ASSERT_TRUE(enabled("refreshDevices"));
  click("refreshDevices");
  EXPECT_GE(get<QComboBox>("inDev")->findText(QStringLiteral("loopback ("), Qt::MatchStartsWith),
            0);
  EXPECT_GE(get<QComboBox>("outDev")->findText(QStringLiteral("loopback ("), Qt::MatchStartsWith),
            0);
  EXPECT_EQ(chosenName("inDev"), in);
  EXPECT_EQ(chosenName("outDev"), out);
  EXPECT_EQ(state().inDeviceId, get<QComboBox>("inDev")->currentIndex());
  EXPECT_EQ(get<QComboBox>("inDev")->count(), audio->deviceCount(WaveDirection::input));
  saveScreenshot("settings_refreshed.png");

  std::string why;
  EXPECT_TRUE(loopbackMeasuresFlat(why)) << why;
}

// The server goes away between two runs: the next run says why in its
// message and changes nothing; once the server is back under its name the
// window measures through it again, without a restart, and later closes
// cleanly.
TEST_F(JackRefreshTest, ServerGoneBetweenRunsAndBack) {
  openOnJack();
  std::string why;
  ASSERT_TRUE(loopbackMeasuresFlat(why)) << why;

  jackd->stop();
  dialogs.boxes.clear();
  openPage(kSettingsPage);
  EXPECT_TRUE(run("Calibrate"));
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text,
            "The sound device is no longer available: the JACK server has stopped.");
  EXPECT_TRUE(enabled("Calibrate"));

  jackd->restart();
  ASSERT_TRUE(jackd->ready()) << jackd->skipReason();
  why.clear();
  EXPECT_TRUE(loopbackMeasuresFlat(why)) << why;
}

}  // namespace
