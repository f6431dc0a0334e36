#include "platform/sim_audio.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "fake_wave_audio.h"
#include "platform/sim_models.h"

namespace {

using cplx = std::complex<double>;
constexpr double kPi = std::numbers::pi;

// The audio-EQ-cookbook section written out directly: coefficients as the
// cookbook gives them (a0 not folded in), direct form I.
struct RefSection {
  double b[3], a[3];
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;

  static RefSection make(bool highPass, double f0, double q, double rate) {
    const double w0 = 2 * kPi * f0 / rate, cw = std::cos(w0), alpha = std::sin(w0) / (2 * q);
    RefSection s{};
    if (highPass) {
      s.b[0] = (1 + cw) / 2, s.b[1] = -(1 + cw), s.b[2] = (1 + cw) / 2;
    } else {
      s.b[0] = (1 - cw) / 2, s.b[1] = 1 - cw, s.b[2] = (1 - cw) / 2;
    }
    s.a[0] = 1 + alpha, s.a[1] = -2 * cw, s.a[2] = 1 - alpha;
    return s;
  }
  double step(double x) {
    const double y = (b[0] * x + b[1] * x1 + b[2] * x2 - a[1] * y1 - a[2] * y2) / a[0];
    x2 = x1, x1 = x, y2 = y1, y1 = y;
    return y;
  }
  cplx at(double f, double rate) const {
    const cplx z = std::polar(1.0, -2 * kPi * f / rate);
    return (b[0] + b[1] * z + b[2] * z * z) / (a[0] + a[1] * z + a[2] * z * z);
  }
};

// The driver's impedance straight from its definition.
cplx driverZ(double f) {
  const double re = 6.0, le = 0.40e-3, fs = 45.0, qms = 3.5, qes = 0.45;
  const double w = 2 * kPi * f, ws = 2 * kPi * fs, res = re * qms / qes;
  const cplx jw(0, w);
  return re + jw * le + res * (jw / (ws * qms)) / (1.0 - (w / ws) * (w / ws) + jw / (ws * qms));
}

// Discrete-time Fourier transform of x at f (Hz), summed directly.
cplx dtft(const std::vector<double>& x, double f, double rate) {
  const cplx rot = std::polar(1.0, -2 * kPi * f / rate);
  cplx w = 1.0, sum = 0.0;
  for (double v : x) {
    sum += v * w;
    w *= rot;
  }
  return sum;
}

double db(double ratio) { return 20 * std::log10(ratio); }

// The analog prototypes H(s) = s^2 / (s^2 + s/Q + 1) and 1 / (s^2 + s/Q + 1)
// are jQ and -jQ at the corner, 0 at DC and at infinity respectively; the
// cookbook's bilinear transform is tuned to keep the corner where it is.
TEST(SimModels, CookbookSectionsKeepTheCorner) {
  for (double rate : {8000.0, 44100.0, 96000.0}) {
    SCOPED_TRACE(rate);
    const Biquad hp = cookbookHighPass(60.0, 0.8, rate);
    const cplx hpCorner = hp.response(2 * kPi * 60.0 / rate);
    EXPECT_NEAR(hpCorner.real(), 0.0, 1e-9);
    EXPECT_NEAR(hpCorner.imag(), 0.8, 1e-9);
    EXPECT_NEAR(std::abs(hp.response(0.0)), 0.0, 1e-12);

    const double f0 = rate / 8;
    const Biquad lp = cookbookLowPass(f0, 0.707, rate);
    const cplx lpCorner = lp.response(2 * kPi * f0 / rate);
    EXPECT_NEAR(lpCorner.real(), 0.0, 1e-9);
    EXPECT_NEAR(lpCorner.imag(), -0.707, 1e-9);
    EXPECT_NEAR(std::abs(lp.response(kPi)), 0.0, 1e-12);
    EXPECT_NEAR(std::abs(lp.response(0.0)), 1.0, 1e-12);
  }
}

// The loudspeaker's impulse response, measured with a DTFT, against 0.5 x the
// cookbook high-pass (x the low-pass where 12 kHz < 0.45 x rate).
TEST(SimModels, LoudspeakerFollowsTheCookbookResponse) {
  struct Case {
    double rate;
    bool lowPass;
  };
  // 12 kHz < 0.45 x rate from 26667 Hz on.
  for (Case c : {Case{8000, false}, Case{22050, false}, Case{26666, false}, Case{26667, true},
                 Case{44100, true}, Case{48000, true}, Case{96000, true}, Case{192000, true}}) {
    SCOPED_TRACE(c.rate);
    LoudspeakerModel model;
    model.design(c.rate);
    EXPECT_EQ(model.hasLowPass(), c.lowPass);

    std::vector<double> h(1 << 16);
    for (size_t i = 0; i < h.size(); ++i) h[i] = model.process(i == 0 ? 1.0 : 0.0);
    const RefSection hp = RefSection::make(true, 60, 0.8, c.rate);
    const RefSection lp = RefSection::make(false, 12000, 0.707, c.rate);
    for (double f : {20.0, 60.0, 200.0, 1000.0, 5000.0, 9000.0, 0.4 * c.rate}) {
      cplx expected = 0.5 * hp.at(f, c.rate);
      if (c.lowPass) expected *= lp.at(f, c.rate);
      const cplx got = dtft(h, f, c.rate);
      EXPECT_NEAR(std::abs(got - expected), 0.0, 1e-9 * std::abs(expected) + 1e-12) << f;
    }
  }
}

// The driver's impedance from its definition again, in long double, for the
// checks of the jig's filter that go down to thousandths of a dB.
// With addedGrams on the cone of the 20 g moving mass, fs falls by
// sqrt(20 / (20 + m)) and both Q rise by its inverse; Res stays.
std::complex<long double> driverZLong(long double f, long double addedGrams = 0.0L) {
  const long double scale = std::sqrt((20.0L + addedGrams) / 20.0L);
  const long double re = 6.0L, le = 0.40e-3L, fs = 45.0L / scale, qms = 3.5L * scale,
                    qes = 0.45L * scale;
  const long double pi = std::numbers::pi_v<long double>;
  const long double w = 2 * pi * f, ws = 2 * pi * fs, res = re * qms / qes;
  const std::complex<long double> jw(0, w);
  return re + jw * le +
         res * (jw / (ws * qms)) / (1.0L - (w / ws) * (w / ws) + jw / (ws * qms));
}

// Discrete-time Fourier transform in long double; the phasor is restarted
// from its exact value every 1024 samples so that its rounding cannot pile up.
std::complex<long double> dtftLong(const std::vector<double>& x, long double f, long double rate) {
  const long double step = -2 * std::numbers::pi_v<long double> * f / rate;
  const std::complex<long double> rot = std::polar(1.0L, step);
  std::complex<long double> w = 1.0L, sum = 0.0L;
  for (size_t i = 0; i < x.size(); ++i) {
    if (i % 1024 == 0) w = std::polar(1.0L, step * static_cast<long double>(i));
    sum += static_cast<long double>(x[i]) * w;
    w *= rot;
  }
  return sum;
}

// The jig's right input over its left input, measured from their impulse
// responses by a long-double DFT, is the divider H = Z / (12 + Z) of the
// driver's formula within 0.01 dB and 0.1 degrees from 10 Hz to 0.4 x the
// rate, and so is the impedance recovered from it, 12 H / (1 - H), which
// magnifies any error of H by |1 / (1 - H)|: about 5 at the resonance, where
// |Z| peaks near 53 ohm, and more near the top of the band at the high rates,
// where the voice coil's reactance reaches 190 ohm. The frequencies are
// logarithmic for the resonance and linear for the top of the band, where the
// voice coil's part is hardest to follow; the rates are those of the program's
// list, the usual higher ones and both ends of what the simulator accepts.
// A quarter of a second of response holds all of it: the loaded resonance
// decays with a time constant of about 7 ms.
TEST(SimModels, ImpedanceJigFollowsTheDriverFormula) {
  for (double rate : {1000.0, 5666.0, 8000.0, 11025.0, 16000.0, 22050.0, 32000.0, 44100.0, 48000.0,
                      64000.0, 88200.0, 96000.0, 176400.0, 192000.0, 384000.0}) {
    SCOPED_TRACE(rate);
    ImpedanceJigModel jig;
    jig.design(rate);
    const auto frames = static_cast<size_t>(0.25 * rate);
    std::vector<double> left(frames), right(frames);
    for (size_t i = 0; i < frames; ++i) jig.process(i == 0 ? 1.0 : 0.0, left[i], right[i]);
    const double top = 0.4 * rate;
    std::vector<double> freqs;
    for (int k = 0; k <= 120; ++k) freqs.push_back(10.0 * std::pow(top / 10.0, k / 120.0));
    for (int k = 0; k < 40; ++k) freqs.push_back(top * (0.8 + 0.2 * k / 39.0));
    double worstHDb = 0, worstHDeg = 0, worstZDb = 0, worstZDeg = 0;
    for (double f : freqs) {
      const std::complex<long double> h = dtftLong(right, f, rate) / dtftLong(left, f, rate);
      const std::complex<long double> z = driverZLong(f);
      const std::complex<long double> hRatio = h / (z / (12.0L + z));
      const std::complex<long double> zRatio = (12.0L * h / (1.0L - h)) / z;
      const double hDb = db(static_cast<double>(std::abs(hRatio)));
      const double hDeg = static_cast<double>(std::arg(hRatio)) * 180 / kPi;
      const double zDb = db(static_cast<double>(std::abs(zRatio)));
      const double zDeg = static_cast<double>(std::arg(zRatio)) * 180 / kPi;
      EXPECT_NEAR(hDb, 0.0, 0.01) << f << " Hz";
      EXPECT_NEAR(hDeg, 0.0, 0.1) << f << " Hz";
      EXPECT_NEAR(zDb, 0.0, 0.01) << f << " Hz";
      EXPECT_NEAR(zDeg, 0.0, 0.1) << f << " Hz";
      worstHDb = std::max(worstHDb, std::abs(hDb));
      worstHDeg = std::max(worstHDeg, std::abs(hDeg));
      worstZDb = std::max(worstZDb, std::abs(zDb));
      worstZDeg = std::max(worstZDeg, std::abs(zDeg));
    }
    RecordProperty("worst_" + std::to_string(static_cast<int>(rate)),
                   std::to_string(worstZDb) + " dB " + std::to_string(worstZDeg) + " deg");
  }
}

// The second jig's driver carries 10 g: its parameters are those of the
// mechanical side's figures (fs 36.74 Hz, Qms 4.287, Qes 0.5511, the rest
// unchanged), and its filter follows that driver's formula as closely as the
// first jig's follows its own, checked here on the impedance recovered from
// the divider, at the resonance and up the band.
TEST(SimModels, AddedMassJigFollowsTheHeavierDriver) {
  const DriverModel::Electrical d = DriverModel::withAddedMass(DriverModel::kAddedMassKg);
  EXPECT_NEAR(d.fs, 36.74, 0.005);
  EXPECT_NEAR(d.qms, 4.287, 0.0005);
  EXPECT_NEAR(d.qes, 0.5511, 0.00005);
  EXPECT_EQ(d.re, 6.0);
  EXPECT_EQ(d.le, 0.40e-3);
  EXPECT_NEAR(d.res, 6.0 * 3.5 / 0.45, 1e-12);
  for (double rate : {8000.0, 44100.0, 48000.0, 192000.0}) {
    SCOPED_TRACE(rate);
    ImpedanceJigModel jig;
    jig.design(rate, 12.0, DriverModel::kAddedMassKg);
    const auto frames = static_cast<size_t>(0.25 * rate);
    std::vector<double> left(frames), right(frames);
    for (size_t i = 0; i < frames; ++i) jig.process(i == 0 ? 1.0 : 0.0, left[i], right[i]);
    const double top = 0.4 * rate;
    for (int k = 0; k <= 60; ++k) {
      const double f = 10.0 * std::pow(top / 10.0, k / 60.0);
      const std::complex<long double> h = dtftLong(right, f, rate) / dtftLong(left, f, rate);
      const std::complex<long double> zRatio = (12.0L * h / (1.0L - h)) / driverZLong(f, 10.0L);
      EXPECT_NEAR(db(static_cast<double>(std::abs(zRatio))), 0.0, 0.01) << f << " Hz";
      EXPECT_NEAR(static_cast<double>(std::arg(zRatio)) * 180 / kPi, 0.0, 0.1) << f << " Hz";
    }
  }
}

// The left input is the drive itself, halved and kDelayFrames late: a single
// sample of 0.5 where the impulse went in 32 frames earlier, nothing else.
// The right input's response at DC is the divider's, Re / (Re + 12) = 1/3,
// halved as well.
TEST(SimModels, ImpedanceJigLeftIsTheDelayedDrive) {
  for (double rate : {8000.0, 48000.0, 192000.0}) {
    SCOPED_TRACE(rate);
    ImpedanceJigModel jig;
    jig.design(rate);
    std::vector<double> right;
    const int frames = static_cast<int>(0.5 * rate);
    for (int i = 0; i < frames; ++i) {
      double l = 0.0, r = 0.0;
      jig.process(i == 0 ? 1.0 : 0.0, l, r);
      EXPECT_EQ(l, i == ImpedanceJigModel::kDelayFrames ? 0.5 : 0.0) << i;
      right.push_back(r);
    }
    // Sum of the right impulse response at DC, the divider's DC value times
    // the attenuator; the resonance's tail beyond half a second (70 time
    // constants) is far below the bound.
    double sum = 0.0;
    for (double r : right) sum += r;
    EXPECT_NEAR(sum, 0.5 * 6.0 / 18.0, 1e-4);
  }
}

// Whatever the signs of a +-30000 sequence, the jig's inputs stay below full
// scale after the card's gain of 0.9: the worst case of a linear filter is the
// input amplitude times the sum of |h| over its impulse response.
TEST(SimModels, ImpedanceJigNeverClipsAtFullDrive) {
  for (double rate : {5666.0, 8000.0, 44100.0, 48000.0, 96000.0, 200000.0}) {
    SCOPED_TRACE(rate);
    ImpedanceJigModel jig;
    jig.design(rate);
    double sumLeft = 0.0, sumRight = 0.0;
    for (int i = 0; i < (1 << 17); ++i) {
      double l = 0.0, r = 0.0;
      jig.process(i == 0 ? 1.0 : 0.0, l, r);
      sumLeft += std::fabs(l);
      sumRight += std::fabs(r);
    }
    EXPECT_LT(0.9 * 30000.0 * sumLeft, 32767.0 - 3.0 - 8.0 * 2.0);  // DC and 8 sigma of noise
    EXPECT_LT(0.9 * 30000.0 * sumRight, 32767.0 - 3.0 - 8.0 * 2.0);
  }
}

TEST(SimModels, SoundCardRoundsAndClipsTo16Bits) {
  EXPECT_EQ(SoundCardModel::toPcm(0.0), 0);
  EXPECT_EQ(SoundCardModel::toPcm(1.4), 1);
  EXPECT_EQ(SoundCardModel::toPcm(0.5), 1);
  EXPECT_EQ(SoundCardModel::toPcm(-0.5), -1);
  EXPECT_EQ(SoundCardModel::toPcm(-2.6), -3);
  EXPECT_EQ(SoundCardModel::toPcm(32767.4), 32767);
  EXPECT_EQ(SoundCardModel::toPcm(32767.6), 32767);
  EXPECT_EQ(SoundCardModel::toPcm(40000.0), 32767);
  EXPECT_EQ(SoundCardModel::toPcm(-32768.4), -32768);
  EXPECT_EQ(SoundCardModel::toPcm(-40000.0), -32768);
}

TEST(SimModels, NoiseIsRepeatableWhiteAndOfUnitRms) {
  constexpr int kN = 400000;
  GaussianNoise a(42), b(42), c(43);
  double sum = 0, sumSq = 0, lag1 = 0, prev = 0;
  int same = 0, sameOther = 0;
  for (int i = 0; i < kN; ++i) {
    const double v = a.next();
    same += v == b.next();
    sameOther += v == c.next();
    sum += v;
    sumSq += v * v;
    lag1 += v * prev;
    prev = v;
  }
  EXPECT_EQ(same, kN);
  EXPECT_LT(sameOther, 10);
  // Bounds at about 6 standard errors of the estimates for kN samples.
  EXPECT_NEAR(sum / kN, 0.0, 0.01);
  EXPECT_NEAR(std::sqrt(sumSq / kN), 1.0, 0.01);
  EXPECT_NEAR(lag1 / kN, 0.0, 0.01);
}

// A simulator in manual pacing with one output and one input open.
struct SimRig {
  SimAudio sim{SimAudio::Pacing::manual};
  NoticeList notices;
  WaveHandle out = kNoWaveHandle, in = kNoWaveHandle;
  std::vector<int16_t> play, rec;
  WaveHeader playHeader, recHeader;

  SimRig(int input, int rate, int playFrames, int recFrames)
      : play(2 * static_cast<size_t>(playFrames)), rec(2 * static_cast<size_t>(recFrames)) {
    const WaveFormat f = stereo16Format(rate);
    EXPECT_EQ(sim.openOutput(0, f, &notices, out), kWaveOk);
    EXPECT_EQ(sim.openInput(input, f, &notices, in), kWaveOk);
    playHeader.data = play.data();
    playHeader.lengthBytes = 4 * static_cast<uint32_t>(playFrames);
    recHeader.data = rec.data();
    recHeader.lengthBytes = 4 * static_cast<uint32_t>(recFrames);
  }
  void run() {
    sim.prepare(in, recHeader);
    sim.addBuffer(in, recHeader);
    sim.start(in);
    sim.prepare(out, playHeader);
    sim.write(out, playHeader);
    sim.runUntilIdle();
  }
  double recorded(int frame, int ch) const { return rec[2 * static_cast<size_t>(frame) + ch]; }
};

// Residual of a recording against what it should hold before noise:
// mean and RMS of (recorded - expected) over a channel.
struct Residual {
  double mean, rms, maxAbs;
};
Residual residual(const SimRig& rig, int ch, const std::vector<double>& expected) {
  double s = 0, s2 = 0, m = 0;
  for (size_t k = 0; k < expected.size(); ++k) {
    const double d = rig.recorded(static_cast<int>(k), ch) - expected[k];
    s += d;
    s2 += d * d;
    m = std::max(m, std::abs(d));
  }
  const double n = static_cast<double>(expected.size());
  return {s / n, std::sqrt(s2 / n), m};
}

// The noise (RMS 2) and the rounding (RMS 1/sqrt(12)) together have an RMS
// of sqrt(4 + 1/12) = 2.02; six of that bounds every single sample.
void expectOnlyNoise(const Residual& r) {
  EXPECT_NEAR(r.mean, 0.0, 0.1);
  EXPECT_NEAR(r.rms, 2.02, 0.1);
  EXPECT_LT(r.maxAbs, 12.5);
}

TEST(SimAudioDevices, LoopbackIsTheCardAlone) {
  constexpr int kPlay = 3000, kRec = 4000, kLatency = 480;
  SimRig rig(SimAudio::kInputLoopback, 48000, kPlay, kRec);
  for (int k = 0; k < kPlay; ++k) {
    rig.play[2 * k] = static_cast<int16_t>(30000 * std::sin(0.05 * k));
    rig.play[2 * k + 1] = static_cast<int16_t>(k % 2 ? -20000 : 20000);
  }
  rig.run();
  for (int ch = 0; ch < 2; ++ch) {
    // recorded[k] = 0.9 x played[k - 480] + 3, plus noise.
    std::vector<double> expected(kRec, 3.0);
    for (int k = kLatency; k < kRec && k - kLatency < kPlay; ++k) {
      expected[k] += 0.9 * rig.play[2 * (k - kLatency) + ch];
    }
    expectOnlyNoise(residual(rig, ch, expected));
  }
}

TEST(SimAudioDevices, LoudspeakerFiltersAndDelaysTheLeftChannel) {
  for (int rate : {8000, 44100, 96000}) {
    SCOPED_TRACE(rate);
    constexpr int kPlay = 3000, kRec = 6000, kLatency = 480;
    const int acoustic = static_cast<int>(std::lround(0.001 * rate));  // 8, 44, 96
    SimRig rig(SimAudio::kInputLoudspeaker, rate, kPlay, kRec);
    rig.play[2 * 1000] = 20000;
    rig.play[2 * 1500 + 1] = -15000;
    rig.run();

    RefSection hp = RefSection::make(true, 60, 0.8, rate);
    RefSection lp = RefSection::make(false, 12000, 0.707, rate);
    const bool withLowPass = 12000 < 0.45 * rate;
    std::vector<double> left(kRec, 3.0), right(kRec, 3.0);
    for (int k = kLatency + acoustic; k < kRec; ++k) {
      const int t = k - kLatency - acoustic;
      double y = hp.step(t < kPlay ? rig.play[2 * t] : 0.0);
      if (withLowPass) y = lp.step(y);
      left[k] += 0.9 * 0.5 * y;
    }
    right[1500 + kLatency] += 0.9 * -15000;
    expectOnlyNoise(residual(rig, 0, left));
    expectOnlyNoise(residual(rig, 1, right));
    // Nothing arrives before the latency and the acoustic delay have passed.
    EXPECT_LT(std::abs(rig.recorded(1000 + kLatency + acoustic - 1, 0) - 3.0), 12.5);
    EXPECT_GT(rig.recorded(1000 + kLatency + acoustic, 0), 500.0);
  }
}

TEST(SimAudioDevices, JigLeftIsTheOutputAndRightTheDivider) {
  constexpr int kPlay = 2000, kRec = 8000, kLatency = 480, kJig = ImpedanceJigModel::kDelayFrames;
  SimRig rig(SimAudio::kInputJig, 44100, kPlay, kRec);
  for (int k = 0; k < kPlay; ++k) {
    rig.play[2 * k] = static_cast<int16_t>(25000 * std::sin(0.01 * k * (1 + k / 500.0)));
    rig.play[2 * k + 1] = 12345;  // the jig is driven from the left output only
  }
  rig.run();
  std::vector<double> left(kRec, 3.0);
  for (int k = kLatency + kJig; k < kRec && k - kLatency - kJig < kPlay; ++k) {
    left[k] += 0.9 * 0.5 * rig.play[2 * (k - kLatency - kJig)];  // card gain, input attenuator
  }
  expectOnlyNoise(residual(rig, 0, left));

  // The right channel, by the divider's DTFT: the sweep's spectrum through
  // Z / (12 + Z) against the left channel's, around 100 Hz .. 1 kHz where
  // the sweep has its energy.
  std::vector<double> l(kRec), r(kRec);
  for (int k = 0; k < kRec; ++k) {
    l[k] = rig.recorded(k, 0) - 3.0;
    r[k] = rig.recorded(k, 1) - 3.0;
  }
  for (double f : {150.0, 300.0, 600.0}) {
    const cplx h = dtft(r, f, 44100) / dtft(l, f, 44100);
    const cplx z = driverZ(f);
    EXPECT_NEAR(std::abs(h - z / (12.0 + z)), 0.0, 0.01) << f;
  }
}

// Device 3 is the jig with the heavier driver: near the lower resonance its
// divider is that driver's, far from the unloaded driver's.
TEST(SimAudioDevices, AddedMassJigMeasuresTheHeavierDriver) {
  constexpr int kPlay = 16384, kRec = 24000;
  SimRig rig(SimAudio::kInputJigAddedMass, 44100, kPlay, kRec);
  for (int k = 0; k < kPlay; ++k) {
    // A slow sweep through both resonances (about 20 .. 80 Hz).
    const double t = k / 44100.0;
    rig.play[2 * k] = static_cast<int16_t>(20000 * std::sin(2 * kPi * (20.0 * t + 80.0 * t * t)));
  }
  rig.run();
  std::vector<double> l(kRec), r(kRec);
  for (int k = 0; k < kRec; ++k) {
    l[k] = rig.recorded(k, 0) - 3.0;
    r[k] = rig.recorded(k, 1) - 3.0;
  }
  for (double f : {30.0, 36.74, 45.0}) {
    const cplx h = dtft(r, f, 44100) / dtft(l, f, 44100);
    const auto z10 = driverZLong(f, 10.0L), z0 = driverZLong(f);
    const cplx heavy(static_cast<double>((z10 / (12.0L + z10)).real()),
                     static_cast<double>((z10 / (12.0L + z10)).imag()));
    const cplx light(static_cast<double>((z0 / (12.0L + z0)).real()),
                     static_cast<double>((z0 / (12.0L + z0)).imag()));
    EXPECT_NEAR(std::abs(h - heavy), 0.0, 0.01) << f;
    EXPECT_GT(std::abs(light - heavy), 0.1) << f;
  }
}

TEST(SimAudioDevices, ReopeningRepeatsTheRecordingExactly) {
  std::vector<int16_t> first;
  for (int pass = 0; pass < 2; ++pass) {
    SimRig rig(SimAudio::kInputLoudspeaker, 44100, 100, 3000);
    rig.play[20] = 30000;
    rig.run();
    if (pass == 0) {
      first = rig.rec;
    } else {
      EXPECT_EQ(rig.rec, first);
    }
  }
  SimAudio other(SimAudio::Pacing::manual, 12345);
  NoticeList n;
  WaveHandle in;
  std::vector<int16_t> rec(2 * 3000);
  WaveHeader h{rec.data(), 4 * 3000};
  other.openInput(0, stereo16Format(44100), &n, in);
  other.prepare(in, h);
  other.addBuffer(in, h);
  other.start(in);
  other.runUntilIdle();
  EXPECT_NE(std::memcmp(rec.data(), first.data(), 400), 0);  // another seed, other noise
}

TEST(SimAudioDevices, BuffersReturnInOrderAndOnlyThroughTheirNotices) {
  SimAudio sim(SimAudio::Pacing::manual);
  NoticeList notices;
  const WaveFormat f = stereo16Format(48000);
  WaveHandle out, in;
  ASSERT_EQ(sim.openOutput(0, f, &notices, out), kWaveOk);
  ASSERT_EQ(sim.openInput(SimAudio::kInputLoopback, f, &notices, in), kWaveOk);
  EXPECT_NE(out, in);

  std::vector<int16_t> play(2 * 100, 1000), rec(2 * 300);
  WaveHeader p{play.data(), 400};
  WaveHeader r[3] = {{rec.data(), 400}, {rec.data() + 200, 800}, {rec.data() + 600, 0}};
  EXPECT_EQ(sim.addBuffer(in, r[0]), kWaveErrUnprepared);
  for (WaveHeader& h : r) {
    ASSERT_EQ(sim.prepare(in, h), kWaveOk);
    ASSERT_EQ(sim.addBuffer(in, h), kWaveOk);
    EXPECT_EQ(h.flags, kWaveHeaderPrepared | kWaveHeaderQueued);
  }
  EXPECT_EQ(sim.addBuffer(in, r[1]), kWaveErrStillPlaying);
  EXPECT_EQ(sim.unprepare(in, r[0]), kWaveErrStillPlaying);
  EXPECT_EQ(sim.addBuffer(out, r[0]), kWaveErrInvalidHandle);
  sim.start(in);
  sim.prepare(out, p);
  sim.write(out, p);

  EXPECT_EQ(sim.advance(99), 99);
  EXPECT_TRUE(notices.notices.empty());
  EXPECT_EQ(sim.advance(1), 1);  // the playback's and the first buffer's last frame
  ASSERT_EQ(notices.notices.size(), 2u);
  EXPECT_EQ(notices.notices[0].kind, WaveNoticeKind::outputDone);
  EXPECT_EQ(notices.notices[0].handle, out);
  EXPECT_EQ(notices.notices[0].header, &p);
  EXPECT_EQ(notices.notices[1].kind, WaveNoticeKind::inputData);
  EXPECT_EQ(notices.notices[1].handle, in);
  EXPECT_EQ(notices.notices[1].header, &r[0]);
  EXPECT_EQ(sim.unprepare(in, r[0]), kWaveOk);
  EXPECT_EQ(r[0].flags, 0u);

  sim.runUntilIdle();
  // The second buffer and, right behind it, the empty one.
  ASSERT_EQ(notices.notices.size(), 4u);
  EXPECT_EQ(notices.notices[2].header, &r[1]);
  EXPECT_EQ(notices.notices[3].header, &r[2]);

  // Nothing queued and the input stopped: the clock stands still.
  sim.reset(in);
  EXPECT_EQ(sim.advance(1000), 0);

  // A reset takes the buffers back without notices.
  sim.prepare(in, r[0]);
  sim.addBuffer(in, r[0]);
  sim.start(in);
  sim.advance(10);
  EXPECT_EQ(sim.reset(in), kWaveOk);
  EXPECT_EQ(r[0].flags, kWaveHeaderPrepared);
  EXPECT_EQ(sim.runUntilIdle(), 0);
  EXPECT_EQ(notices.notices.size(), 4u);

  EXPECT_EQ(sim.close(in), kWaveOk);
  EXPECT_EQ(sim.close(in), kWaveErrInvalidHandle);
  EXPECT_EQ(sim.close(out), kWaveOk);
}

TEST(SimAudioDevices, ListsAndRefusals) {
  SimAudio sim;
  EXPECT_EQ(sim.deviceCount(WaveDirection::output), 1);
  EXPECT_EQ(sim.deviceCount(WaveDirection::input), 4);
  char name[64];
  sim.deviceName(WaveDirection::output, 0, name, sizeof name);
  EXPECT_STREQ(name, "Simulator output");
  sim.deviceName(WaveDirection::input, 0, name, sizeof name);
  EXPECT_STREQ(name, "Simulator: loudspeaker (mic L, loop R)");
  sim.deviceName(WaveDirection::input, 1, name, sizeof name);
  EXPECT_STREQ(name, "Simulator: loopback cable");
  sim.deviceName(WaveDirection::input, 2, name, sizeof name);
  EXPECT_STREQ(name, "Simulator: impedance jig 12 ohm");
  sim.deviceName(WaveDirection::input, 3, name, sizeof name);
  EXPECT_STREQ(name, "Simulator: impedance jig 12 ohm, 10 g added");
  sim.deviceName(WaveDirection::input, 4, name, sizeof name);
  EXPECT_STREQ(name, "");
  sim.deviceName(WaveDirection::input, 1, name, 10);
  EXPECT_STREQ(name, "Simulator");

  WaveHandle h = 77;
  EXPECT_EQ(sim.openOutput(1, stereo16Format(44100), nullptr, h), kWaveErrBadDeviceId);
  EXPECT_EQ(h, kNoWaveHandle);
  EXPECT_EQ(sim.openInput(-1, stereo16Format(44100), nullptr, h), kWaveErrBadDeviceId);
  WaveFormat mono = stereo16Format(44100);
  mono.channels = 1;
  EXPECT_EQ(sim.openOutput(0, mono, nullptr, h), kWaveErrBadFormat);
  EXPECT_EQ(sim.openOutput(0, stereo16Format(500), nullptr, h), kWaveErrBadFormat);

  WaveHandle out, in;
  ASSERT_EQ(sim.openOutput(0, stereo16Format(44100), nullptr, out), kWaveOk);
  EXPECT_EQ(sim.openOutput(0, stereo16Format(44100), nullptr, h), kWaveErrAllocated);
  EXPECT_EQ(sim.openInput(0, stereo16Format(48000), nullptr, in), kWaveErrBadFormat);
  ASSERT_EQ(sim.openInput(0, stereo16Format(44100), nullptr, in), kWaveOk);
  sim.close(out);
  sim.close(in);
  WaveHandle again;
  ASSERT_EQ(sim.openOutput(0, stereo16Format(44100), nullptr, again), kWaveOk);
  EXPECT_NE(again, out);  // handles are never reused
  EXPECT_NE(again, in);
}

// Real-time pacing: the notices come from the simulator's own thread, no
// sooner than the recording's length.
TEST(SimAudioDevices, RealTimePacingTakesTheRecordingsTime) {
  struct Waiter : WaveNotifier {
    std::mutex m;
    std::condition_variable cv;
    int inputs = 0;
    std::thread::id thread;
    void post(const WaveNotice& n) override {
      std::lock_guard lock(m);
      if (n.kind == WaveNoticeKind::inputData) ++inputs;
      thread = std::this_thread::get_id();
      cv.notify_all();
    }
  } waiter;
  SimAudio sim(SimAudio::Pacing::realTime);
  WaveHandle in;
  ASSERT_EQ(sim.openInput(1, stereo16Format(48000), &waiter, in), kWaveOk);
  std::vector<int16_t> rec(2 * 4800);  // 0.1 s
  WaveHeader h{rec.data(), 4 * 4800};
  sim.prepare(in, h);
  sim.addBuffer(in, h);
  const auto t0 = std::chrono::steady_clock::now();
  sim.start(in);
  std::unique_lock lock(waiter.m);
  ASSERT_TRUE(waiter.cv.wait_for(lock, std::chrono::seconds(5), [&] { return waiter.inputs == 1; }));
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_GE(elapsed, 0.095);
  EXPECT_NE(waiter.thread, std::this_thread::get_id());
  lock.unlock();
  sim.close(in);
}

}  // namespace
