// Averaged measurements: averages + 1 periods played back to back, the first
// settling the system, the others summed and divided before the Hadamard
// deconvolution. The synthetic recordings are built here from the sequence
// itself (mlsSamples) through a few known taps; the expected values follow
// from the sequence's algebra: a period shifted by d frames deconvolves to
// 2^n at lag d and to 0 elsewhere, a constant to the same value everywhere,
// and white noise of variance v per sample to a common offset (which the
// offset removal takes away) plus noise of variance 2^n v in every element:
// a row of the transform sums 2^n - 1 samples of either sign.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "alloc_counter.h"
#include "app/app_state.h"
#include "app/application.h"
#include "app/recording.h"
#include "dialog_recorder.h"
#include "engine/deconvolution.h"
#include "engine/mls.h"
#include "engine/sound_card.h"
#include "platform/sim_audio.h"
#include "setup/meas_setup.h"

namespace {

struct Tap {
  int lag;
  double gain;  // times 30000 an integer, so the recording holds it exactly
};
const std::vector<Tap> kTaps = {{3, 0.5}, {10, -0.25}, {40, 0.125}};
constexpr int kDc = 5;

struct Rig {
  MeasSetup setup;
  std::unique_ptr<MlsTables> tables = std::make_unique<MlsTables>();
  std::unique_ptr<RecBuffer> rec = std::make_unique<RecBuffer>();
  std::unique_ptr<ImpulseResponse> imp = std::make_unique<ImpulseResponse>();

  explicit Rig(int order) {
    setup.setMlsOrder(order - 12);
    buildMlsTables(setup, *tables);
  }
  int period() const { return setup.mlsSize - 1; }

  // What a system of kTaps with `latency` frames and an offset of kDc records
  // when `periods` periods follow the 2000 silent frames; Gaussian noise of
  // RMS `sigma` is added to frames [noiseBegin, noiseEnd) before rounding.
  void record(int periods, int latency, double sigma = 0.0, int noiseBegin = 0, int noiseEnd = 0,
              unsigned seed = 1) {
    const int L = period();
    const int64_t played = static_cast<int64_t>(periods) * L;
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> noise(0.0, sigma > 0 ? sigma : 1.0);
    for (int f = 0; f < kRecCapacityFrames; ++f) {
      double v = kDc;
      for (const Tap& t : kTaps) {
        const int64_t j = static_cast<int64_t>(f) - 2000 - latency - t.lag;
        if (j >= 0 && j < played) v += t.gain * tables->mlsSamples[j % L];
      }
      if (sigma > 0 && f >= noiseBegin && f < noiseEnd) v += noise(rng);
      const int16_t s = static_cast<int16_t>(std::lround(v));
      rec->samples[2 * f] = s;
      rec->samples[2 * f + 1] = static_cast<int16_t>(-s);
    }
  }
};

double tailRms(const ImpulseResponse& imp, int ch, int from, int to) {
  double sum = 0.0;
  for (int k = from; k < to; ++k) sum += imp.x[ch][k] * imp.x[ch][k];
  return std::sqrt(sum / (to - from));
}

// --- A single period is folded as before --------------------------------------

// averages = 1 (and a damaged 0) leaves the folded path exactly as it was:
// the same played buffer and length, the same recording length, and the
// analysis gives bit for bit what deconvolveChannel gives on the recording.
TEST(Averaging, OnePeriodIsTheFoldedRunUnchanged) {
  for (int averages : {1, 0}) {
    SCOPED_TRACE(averages);
    auto st = std::make_unique<AppState>();
    st->setup.setSampleRate(6);  // 44100
    st->setup.setMlsOrder(1);    // 8192
    st->setup.averages = averages;
    buildMlsTables(st->setup, st->mls);
    EXPECT_EQ(playedFrames(st->setup), 8192);
    EXPECT_EQ(playData(st->mls, st->setup), st->mls.playBuffer.data());
    // 8192 + 8820 + 2000, as without averaging.
    EXPECT_EQ(recordingFrames(st->setup), 19012);

    // The played buffer 480 frames late at gain 0.5 plus 3, then noise-like
    // content in the tail so that the fold has something to add.
    for (int f = 0; f < kRecCapacityFrames; ++f) {
      const int p = f - 480;
      const int played = (p >= 0 && p < kPlayBufferFrames) ? st->mls.playBuffer[2 * p] / 2 : 0;
      const int16_t v = static_cast<int16_t>(played + 3 + (f * 37) % 11 - 5);
      st->recBuffer.samples[2 * f] = v;
      st->recBuffer.samples[2 * f + 1] = v;
    }
    st->measurementRun = true;
    const RecordingLevels lv = analyseRecording(*st);
    ASSERT_EQ(lv.startFrame, 479 + 1900);

    auto ref = std::make_unique<ImpulseResponse>();
    deconvolveChannel(st->setup, st->mls, st->recBuffer, *ref, 0, lv.startFrame);
    for (int k = 0; k < kMlsCapacity; ++k)
      ASSERT_EQ(st->impulse.x[0][k], ref->x[0][k]) << k;
  }
}

// --- Steady-state periods deconvolve to the taps --------------------------

// With N >= 2 the periods after the first hold the circular response, so the
// taps come out exactly: g 30000 2^n at lag + (2000 + latency - s), 0
// elsewhere (the offset deconvolves to a constant and is measured away).
TEST(Averaging, SteadyStatePeriodsDeconvolveToTheTaps) {
  struct Case {
    int order, averages, latency, start;
  };
  const std::vector<Case> cases = {
      {12, 2, 0, 2000},    {12, 4, 480, 2380}, {12, 8, 480, 2380},
      {12, 16, 0, 2000},   {12, 32, 480, 2380}, {15, 2, 480, 2380}, {15, 32, 480, 2380},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "order " << c.order << " N " << c.averages);
    Rig rig(c.order);
    rig.setup.averages = c.averages;
    const int L = rig.period();
    rig.record(c.averages + 1, c.latency);
    // What the first period and the frames after the last one hold must not
    // matter: the transient of the system switching on, the end of the sound.
    for (int f = c.start; f < c.start + L; f += 7) rig.rec->samples[2 * f] = 12345;
    const int end = c.start + (c.averages + 1) * L;
    for (int f = end; f < end + 3000; f += 5) rig.rec->samples[2 * f] = -23456;
    rig.imp->x[0][L] = 99.0;     // left by an earlier run
    rig.imp->x[0][kMlsCapacity - 1] = 99.0;

    deconvolveAveraged(rig.setup, *rig.tables, *rig.rec, *rig.imp, 0, c.start);
    deconvolveAveraged(rig.setup, *rig.tables, *rig.rec, *rig.imp, 1, c.start);
    std::vector<double> expected(static_cast<size_t>(L), 0.0);
    const int shift = 2000 + c.latency - c.start;
    for (const Tap& t : kTaps)
      expected[t.lag + shift] = t.gain * 30000.0 * (1 << c.order);
    for (int k = 0; k < L; ++k) {
      ASSERT_NEAR(rig.imp->x[0][k], expected[k], 1e-6) << k;
      ASSERT_NEAR(rig.imp->x[1][k], -expected[k], 1e-6) << k;
    }
    for (int k = L; k < kMlsCapacity; ++k) ASSERT_EQ(rig.imp->x[0][k], 0.0) << k;
  }
}

// Averaging uses the periods after the settling one, whole: a fault of one
// period's length anywhere in periods 1..N shows at lag 0 scaled by 1/N.
TEST(Averaging, EveryAveragedPeriodCountsOnceAndEqually) {
  Rig rig(12);
  const int L = rig.period();
  const int n = 4;
  rig.setup.averages = n;
  for (int k = 1; k <= n; ++k) {
    SCOPED_TRACE(k);
    rig.rec->samples.fill(0);
    // A period shifted by 0 frames in period k only: the average holds 1/N of it.
    const int first = 2000 + k * L;
    for (int m = 0; m < L; ++m)
      rig.rec->samples[2 * (first + m)] = rig.tables->mlsSamples[m];
    deconvolveAveraged(rig.setup, *rig.tables, *rig.rec, *rig.imp, 0, 2000);
    EXPECT_NEAR(rig.imp->x[0][0], 30000.0 * 4096 / n, 1e-6);
    EXPECT_NEAR(rig.imp->x[0][1], 0.0, 1e-6);
    EXPECT_NEAR(rig.imp->x[0][L - 1], 0.0, 1e-6);
  }
}

// --- Noise falls with the number of averages -------------------------------

// Independent noise of RMS 2 in every recorded frame: N periods averaged
// leave variance (4 + 1/12) / N per sample (the rounding adds 1/12), which the
// transform turns into 2^n times that in every element of the response once
// the offset is removed.
// The single period is folded, so its reference recording carries the noise
// on the one folded period only, the same noise per sample.
TEST(Averaging, TailNoiseFallsByTenLog10OfTheAverages) {
  const int order = 12;
  const double perSample = 4.0 + 1.0 / 12.0;
  Rig rig(order);
  const int L = rig.period();
  const int s = 2000;
  rig.record(1, 0, 2.0, s, s + L, 7);
  deconvolveChannel(rig.setup, *rig.tables, *rig.rec, *rig.imp, 0, s);
  const double single = tailRms(*rig.imp, 0, 200, L);
  EXPECT_NEAR(20 * std::log10(single / std::sqrt(perSample * 4096)), 0.0, 0.5);

  for (int n : {2, 4, 8, 16, 32}) {
    SCOPED_TRACE(n);
    rig.setup.averages = n;
    rig.record(n + 1, 0, 2.0, 0, kRecCapacityFrames, 100 + static_cast<unsigned>(n));
    deconvolveAveraged(rig.setup, *rig.tables, *rig.rec, *rig.imp, 0, s);
    const double rms = tailRms(*rig.imp, 0, 200, L);
    const double fallDb = 20 * std::log10(single / rms);
    EXPECT_NEAR(fallDb, 10 * std::log10(n), 1.0);
    EXPECT_NEAR(20 * std::log10(rms / std::sqrt(perSample * 4096 / n)), 0.0, 0.5);
    RecordProperty("fall_dB_N" + std::to_string(n), std::to_string(fallDb));
  }
}

// --- The whole run on the simulated loopback cable -------------------------

// Notices kept in a fixed array, so that handing them over allocates nothing.
class FixedNotices final : public WaveNotifier {
 public:
  void post(const WaveNotice& n) override {
    if (count < static_cast<int>(list.size())) list[count++] = n;
  }
  std::array<WaveNotice, 256> list{};
  int count = 0;
};

class CountingObserver final : public AppObserver {
 public:
  void redraw() override { ++redraws; }
  void viewStateChanged() override {}
  void controlsLocked(bool) override {}
  void runEnded(RunOutcome outcome) override {
    ++runsEnded;
    lastOutcome = outcome;
  }
  void showMessage(const char*, const char*, MsgIcon) override { ++messages; }
  void startDisabled() override {}
  void busy(bool) override {}
  void exitProgram(int) override {}
  int redraws = 0;
  int runsEnded = 0;
  int messages = 0;
  RunOutcome lastOutcome = RunOutcome::failed;
};

struct SimRig {
  SimAudio sim{SimAudio::Pacing::manual};
  FixedNotices notices;
  DialogRecorder dialogs;
  CountingObserver observer;
  Application app{sim, notices, dialogs, observer, [] { return 0.0; }};

  SimRig() {
    app.state().inDeviceId = SimAudio::kInputLoopback;
    app.state().setup.setMlsOrder(3);  // 32768
    buildMlsTables(app.state().setup, app.state().mls);
  }
  // Runs the simulated clock in steps and hands the notices over, until
  // `redraws` measurements have been shown or the devices fall idle.
  void pumpUntil(int redraws) {
    for (int i = 0; i < 100000 && observer.redraws < redraws; ++i) {
      if (sim.advance(4096) == 0 && notices.count == 0) return;
      const int n = notices.count;
      notices.count = 0;
      for (int j = 0; j < n; ++j) app.onNotice(notices.list[j]);
    }
  }
  void measure() {
    ASSERT_EQ(app.startClicked(), StartAction::startNow);
    pumpUntil(observer.redraws + 1);
    pumpUntil(1 << 30);  // the end of the run
  }
};

// Loopback at 44100 Hz, order 15, latency 480: onset 479, start frame 2379,
// margin max(2000, 4410) + 479 = 4889 from the first run on. A single period
// folds the recording's frames 2379 + 32767 .. 32768 + 4889 + 2000 - 1, i.e.
// c = 4511 frames, onto the period. Two things follow, with v = 4 + 1/12 the
// simulator's noise and rounding per sample and P = 32767:
//  - the noise: v 2^15 (1 + c/P) per element of the response;
//  - the +3 offset, 6 on the c folded frames and 3 on the others: a step
//    that is no constant, so the offset removal leaves its pseudo-random
//    image, 4 x 3^2 x c/4 x (1 - c/P) per element (c of the P inputs, each on
//    the minus side of a row with probability 1/2).
// Four averages hold the offset constant and leave the noise at v 2^15 / 4.
double singlePeriodTailVariance() {
  const double v = 4.0 + 1.0 / 12.0, c = 4511.0, p = 32767.0;
  return v * 32768.0 * (1.0 + c / p) + 9.0 * c * (1.0 - c / p);
}

TEST(AveragingOnTheSimulator, FourAveragesLowerTheLoopbackNoiseWithoutAllocating) {
  SimRig r;
  AppState& s = r.app.state();
  const int L = 32767;
  r.measure();
  r.measure();  // now with the margin measured by the first run
  ASSERT_EQ(r.observer.runsEnded, 2);
  ASSERT_EQ(r.observer.lastOutcome, RunOutcome::completed);
  ASSERT_EQ(s.setup.delaySamples, 4889);
  // The impulse at lag 2480 - 2379 = 101; its tail is noise only.
  const double single = tailRms(s.impulse, 0, 1000, L);
  EXPECT_NEAR(20 * std::log10(single / std::sqrt(singlePeriodTailVariance())), 0.0, 0.5);
  EXPECT_NEAR(s.impulse.x[0][101], 0.9 * 30000.0 * 32768, 0.01 * 0.9 * 30000.0 * 32768);

  s.setup.averages = 4;
  // 5 x 32767 + 4889 + 2000 = 170724 frames: 682896 bytes, 3 full buffers and 82896.
  EXPECT_EQ(recordingFrames(s.setup), 170724);
  EXPECT_DOUBLE_EQ(runSeconds(s.setup), 170724.0 / 44100.0);
  r.measure();
  ASSERT_EQ(r.observer.runsEnded, 3);
  ASSERT_EQ(r.observer.lastOutcome, RunOutcome::completed);
  EXPECT_EQ(r.observer.messages, 0);
  ASSERT_EQ(s.soundCard.inBufferCount, 4);
  EXPECT_EQ(s.soundCard.inHeaders[3].lengthBytes, 82896u);
  EXPECT_EQ(s.soundCard.outHeader.lengthBytes, 4u * (2000 + 5 * 32767));
  EXPECT_EQ(s.setup.delaySamples, 4889);
  EXPECT_NEAR(s.impulse.x[0][101], 0.9 * 30000.0 * 32768, 0.01 * 0.9 * 30000.0 * 32768);
  const double averaged = tailRms(s.impulse, 0, 1000, L);
  const double fallDb = 20 * std::log10(single / averaged);
  // 10 log10(187229 / 33451) = 7.48 dB.
  const double averagedVariance = (4.0 + 1.0 / 12.0) / 4 * 32768;
  EXPECT_NEAR(fallDb, 10 * std::log10(singlePeriodTailVariance() / averagedVariance), 1.0);
  // The averaged noise itself: (4 + 1/12) / 4 per sample, times 2^15.
  EXPECT_NEAR(20 * std::log10(averaged / std::sqrt(averagedVariance)), 0.0, 1.0);
  RecordProperty("sim_fall_dB_N4", std::to_string(fallDb));

  // A cyclic run with averages: the recordings after the first allocate nothing.
  r.app.cyclicChanged(true);
  ASSERT_EQ(r.app.startClicked(), StartAction::startCyclic);
  r.pumpUntil(r.observer.redraws + 1);
  const int shown = r.observer.redraws;
  const std::size_t before = allocationCount();
  r.pumpUntil(shown + 2);
  EXPECT_EQ(allocationCount(), before);
  EXPECT_EQ(r.observer.redraws, shown + 2);
  r.app.cyclicChanged(false);
  r.pumpUntil(1 << 30);
  EXPECT_FALSE(r.app.runUnderway());
  EXPECT_EQ(r.observer.messages, 0);
}

}  // namespace
