#include "analysis/frequency_response.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "alloc_counter.h"
#include "app/app_state.h"

namespace {

const double kPi = std::acos(-1.0);

double dB(const Complex& c) { return 20.0 * std::log10(abs(c)); }
double degrees(double rad) { return rad * 180.0 / kPi; }
double phaseDiffDeg(const Complex& a, const Complex& b) {
  double d = degrees(arg(a) - arg(b));
  while (d > 180) d -= 360;
  while (d <= -180) d += 360;
  return d;
}

struct Tap {
  int lag;       // frames after the sequence leaves the buffer
  double gain;
};

// A test system: FIR taps plus a DC offset, as a sound card would record them.
void recordThrough(AppState& s, int ch, const std::vector<Tap>& taps, int dc) {
  const MeasSetup& m = s.setup;
  const int frames = std::min(m.mlsSize + m.delaySamples, m.mlsSize + 100000) + 2000;
  for (int f = 0; f < kRecCapacityFrames; ++f) {
    double v = 0.0;
    if (f < frames) {
      v = dc;
      for (const Tap& t : taps) {
        const int p = f - t.lag;
        if (p >= 0 && p < kPlayBufferFrames) v += t.gain * s.mls.playBuffer[2 * p];
      }
    }
    s.recBuffer.samples[2 * f + ch] = static_cast<int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
  }
}

void analyse(AppState& s, bool bothChannels) {
  deconvolveChannel(s.setup, s.mls, s.recBuffer, s.impulse, 0, kPlayLeadFrames);
  if (bothChannels) deconvolveChannel(s.setup, s.mls, s.recBuffer, s.impulse, 1, kPlayLeadFrames);
  findImpulseStart(s.setup, s.impulse);
  computeResponse(s.responseContext());
}

// The taps' response after the analysis window: 30000 (the excitation level)
// times each gain, tapered by cos(pi m / 2M) at its place m in the window.
Complex firResponse(const std::vector<Tap>& taps, int windowStartLag, int windowLength, double f,
                    double rate) {
  Complex h;
  for (const Tap& t : taps) {
    const int m = t.lag - windowStartLag;
    const double w = std::cos(kPi * m / (2.0 * windowLength));
    const double phi = -2.0 * kPi * f * m / rate;
    h += (30000.0 * t.gain * w) * Complex(std::cos(phi), std::sin(phi));
  }
  return h;
}

std::unique_ptr<AppState> newState(int rateIndex, int orderIndex) {
  auto s = std::make_unique<AppState>();
  s->setup.setSampleRate(rateIndex);
  s->setup.setMlsOrder(orderIndex);
  buildMlsTables(s->setup, s->mls);
  return s;
}

const std::vector<Tap> kFir = {{300, 0.5}, {303, -0.25}, {307, 0.125}};
const std::vector<Tap> kWire = {{300, 1.0}};

TEST(ResponseChain, FirThroughPlayRecordDeconvolveAndTransform) {
  auto s = newState(7, 1);  // 48000 Hz, order 13
  s->setup.winLength = 512;
  recordThrough(*s, 0, kFir, 3);
  analyse(*s, false);
  ASSERT_EQ(s->impulse.impulseStart, 270);  // 30 before the first tap
  int checked = 0;
  for (int i = 0; i < kGridPoints; ++i) {
    const double f = s->setup.freqGrid[i];
    if (f < 20.0 || f > 20000.0) continue;
    const Complex expected = firResponse(kFir, 270, 512, f, 48000.0);
    ASSERT_NEAR(dB(s->setup.response[i]), dB(expected), 0.01) << f;
    ASSERT_NEAR(phaseDiffDeg(s->setup.response[i], expected), 0.0, 0.1) << f;
    ++checked;
  }
  EXPECT_GT(checked, 600);
}

TEST(ResponseChain, CalibrationRunThenMeasurementDividesOutTheCard) {
  auto s = newState(7, 2);  // 48000 Hz, order 14
  s->setup.winLength = 1024;
  // The calibration run sees a wire with the card's latency of 300 frames.
  // (No offset here: where the recording ends, an offset is a step, and the
  // calibration's long window gathers what the step leaves at low
  // frequencies.)
  recordThrough(*s, 0, kWire, 0);
  recordThrough(*s, 1, kWire, 0);
  s->calibrationRun = true;
  const ComplexCurve responseBefore = s->setup.response;
  analyse(*s, true);
  s->calibrationRun = false;

  EXPECT_TRUE(s->soundcardCal.calibratedFlags[0][7][2]);
  EXPECT_FALSE(s->soundcardCal.calibratedFlags[0][7][1]);
  EXPECT_FALSE(s->soundcardCal.calibratedFlags[1][7][2]);
  EXPECT_EQ(s->soundcardCal.table[0][6][2][0][500], Complex(1.0, 0.0));
  for (int i = 0; i < kGridPoints; ++i) ASSERT_EQ(s->setup.response[i], responseBefore[i]);
  // The wire's level: 30000 tapered at sample 30 of the longest window the
  // sequence allows (16383 at order 14), whatever the Length, less 85 dB.
  const double level = 20.0 * std::log10(30000.0 * std::cos(kPi * 30 / (2.0 * 16383))) - 85.0;
  double top = -1e9;
  for (int ch = 0; ch < 2; ++ch)
    for (int i = 0; i < kGridPoints; ++i) {
      const double f = s->setup.freqGrid[i];
      if (f < 10.0 || f > 22000.0) continue;
      ASSERT_NEAR(s->curves.splMag[ch][i], level, 0.01) << ch << " " << f;
      if (f >= 20.0 && f <= 20000.0) top = std::max(top, s->curves.splMag[ch][i]);
    }
  EXPECT_NEAR(s->curves.dBTop, top + 0.025 * 40.0, 1e-9);

  // The measurement, divided by that calibration: the taps relative to the wire.
  recordThrough(*s, 0, kFir, 0);
  analyse(*s, false);
  const double w30 = std::cos(kPi * 30 / (2.0 * 16383));
  for (int i = 0; i < kGridPoints; ++i) {
    const double f = s->setup.freqGrid[i];
    if (f < 20.0 || f > 20000.0) continue;
    // Each tap tapered at its place in the window (30 samples before the
    // wire's lag), over the wire's value in the calibration's long window,
    // delayed relative to the wire.
    Complex e2;
    for (const Tap& t : kFir) {
      const double w = std::cos(kPi * (t.lag - 270) / 2048.0) / w30;
      const double phi = -2.0 * kPi * f * (t.lag - 300) / 48000.0;
      e2 += (t.gain * w) * Complex(std::cos(phi), std::sin(phi));
    }
    ASSERT_NEAR(dB(s->setup.response[i]), dB(e2), 0.01) << f;
    ASSERT_NEAR(phaseDiffDeg(s->setup.response[i], e2), 0.0, 0.1) << f;
  }
}

TEST(ResponseChain, TwoChannelModeAgainstTheReference) {
  auto s = newState(6, 1);  // 44100 Hz, order 13
  s->setup.twoChannel = true;
  s->setup.winLength = 512;
  recordThrough(*s, 0, kFir, 2);
  recordThrough(*s, 1, kWire, 2);  // the reference: the card alone
  deconvolveChannel(s->setup, s->mls, s->recBuffer, s->impulse, 0, kPlayLeadFrames);
  deconvolveChannel(s->setup, s->mls, s->recBuffer, s->impulse, 1, kPlayLeadFrames);
  findImpulseStart(s->setup, s->impulse);
  EXPECT_EQ(s->impulse.impulseStart, 270);  // found on the reference channel

  for (uint8_t show : {0, 1, 2}) {
    s->setup.showChannel = show;
    EXPECT_TRUE(computeResponse(s->responseContext()));  // the selector is enabled
    for (int i = 0; i < kGridPoints; ++i) {
      const double f = s->setup.freqGrid[i];
      if (f < 20.0 || f > 20000.0) continue;
      const Complex fir = firResponse(kFir, 270, 512, f, 44100.0);
      const Complex wire = firResponse(kWire, 270, 512, f, 44100.0);
      const Complex expected = show == 0 ? fir : show == 1 ? wire : fir / wire;
      ASSERT_NEAR(dB(s->setup.response[i]), dB(expected), 0.01) << int(show) << " " << f;
      ASSERT_NEAR(phaseDiffDeg(s->setup.response[i], expected), 0.0, 0.1) << int(show) << " " << f;
    }
  }
  s->setup.showChannel = 7;  // not a list item: a neutral response
  computeResponse(s->responseContext());
  EXPECT_EQ(s->setup.response[400], Complex(1.0, 0.0));
}

// Direct impulse responses, without a recording.
struct Direct {
  std::unique_ptr<AppState> s = std::make_unique<AppState>();
  double* left() { return s->impulse.x[0].data(); }
  double* right() { return s->impulse.x[1].data(); }
};

TEST(ResponseWindow, LengthOffsetAndTaper) {
  Direct d;
  MeasSetup& m = d.s->setup;
  for (int k = 0; k < kImpulseCapacity; ++k) d.left()[k] = d.right()[k] = 8192.0;  // 1 after scaling
  d.s->impulse.impulseStart = 10;
  const auto& in = d.s->responseBuffers.fftInput;

  m.winLength = 100;  // the shortest window: 100 tapered samples, zeros after
  computeResponse(d.s->responseContext());
  for (int k = 0; k < 8192; ++k)
    ASSERT_NEAR(in[k].re, k < 100 ? std::cos(kPi * k / 200.0) : 0.0, 1e-15) << k;

  m.winLength = 30000;  // limited to the longest window the sequence allows
  m.winStart = 99990;   // and running off the end of the response: zeros there
  computeResponse(d.s->responseContext());
  EXPECT_EQ(in[0].re, 0.0);
  for (int k = 0; k < 8192; ++k) ASSERT_EQ(in[k].re, 0.0) << k;
  EXPECT_EQ(m.response[300], Complex(1.0, 0.0));  // no signal: a neutral response

  m.winStart = -20;  // before the start of the response
  computeResponse(d.s->responseContext());
  for (int k = 0; k < 8192; ++k)
    ASSERT_NEAR(in[k].re, k < 10 ? 0.0 : std::cos(kPi * k / 16384.0), 1e-15) << k;

  // Impedance: always 8192 samples from impulseStart, whatever winStart says.
  m.impedanceMode = 1;
  m.winStart = 4000;
  m.winLength = 100;
  computeResponse(d.s->responseContext());
  for (int k = 0; k < 8192; ++k) ASSERT_NEAR(in[k].re, std::cos(kPi * k / 16384.0), 1e-15) << k;
}

TEST(ResponseGrid, InterpolatesBetweenBinsAndHoldsAboveHalfTheRate) {
  auto grid = std::make_unique<MeasSetup>();
  std::vector<Complex> spectrum(8192);
  for (int k = 0; k < 8192; ++k) spectrum[k] = Complex(k, -2.0 * k);
  ComplexCurve out;
  spectrumToGrid(spectrum.data(), 44100, grid->freqGrid, out);
  // 5 Hz between bin 0 (0 Hz) and bin 1 (44100 / 8192 Hz).
  const double t = 5.0 / (44100.0 / 8192.0);
  EXPECT_NEAR(out[0].re, t, 1e-12);
  EXPECT_NEAR(out[0].im, -2.0 * t, 1e-12);
  // A linear spectrum interpolates to the frequency in bins exactly.
  for (int i = 0; i <= 910; ++i) {
    const double bins = grid->freqGrid[i] * 8192.0 / 44100.0;
    ASSERT_NEAR(out[i].re, bins, 1e-9) << i;
  }
  // 22050 Hz lies between points 910 and 911: the 89 points above repeat 910.
  ASSERT_LT(grid->freqGrid[910], 22050.0);
  ASSERT_GT(grid->freqGrid[911], 22050.0);
  for (int i = 911; i < kGridPoints; ++i) ASSERT_EQ(out[i], out[910]) << i;
}

TEST(ResponseImpedance, RatioLimitsAndOpenCircuit) {
  Direct d;
  MeasSetup& m = d.s->setup;
  m.impedanceMode = 1;
  m.seriesR = 12.0;
  d.s->impulse.impulseStart = 0;

  // Right = half of left at every frequency: r = 0.5, Z = 12 * 0.5 / 0.5 = 12 ohm.
  d.left()[0] = 8192.0;
  d.right()[0] = 4096.0;
  computeResponse(d.s->responseContext());
  for (int i = 0; i < kGridPoints; ++i) {
    ASSERT_NEAR(m.response[i].re, 12.0, 1e-9) << i;
    ASSERT_NEAR(m.response[i].im, 0.0, 1e-9) << i;
  }
  // A ratio of 2 is turned over to 0.5.
  d.right()[0] = 16384.0;
  computeResponse(d.s->responseContext());
  EXPECT_NEAR(m.response[500].re, 12.0, 1e-9);
  // Equal channels: r = 1, held at 0.999, Z = 999 * seriesR.
  d.right()[0] = 8192.0;
  computeResponse(d.s->responseContext());
  EXPECT_NEAR(m.response[500].re, 999.0 * 12.0, 1e-6);
  EXPECT_EQ(m.response[500].im, 0.0);
  // No signal on the left: the open-circuit value.
  d.left()[0] = 0.0;
  computeResponse(d.s->responseContext());
  EXPECT_EQ(m.response[500], Complex(12.0e6, 0.0));
  // A zero calibration entry does the same.
  d.left()[0] = 8192.0;
  d.s->soundcardCal.table[1][6][1][0][500] = Complex(0.0, 0.0);
  computeResponse(d.s->responseContext());
  EXPECT_EQ(m.response[500], Complex(12.0e6, 0.0));
  EXPECT_NEAR(m.response[501].re, 999.0 * 12.0, 1e-6);
}

TEST(ResponseSpl, SilenceGivesANeutralResponse) {
  Direct d;
  computeResponse(d.s->responseContext());
  for (int i = 0; i < kGridPoints; ++i) ASSERT_EQ(d.s->setup.response[i], Complex(1.0, 0.0)) << i;
  d.s->setup.twoChannel = true;
  d.s->setup.showChannel = 2;
  d.left()[0] = 8192.0;  // the reference channel stays silent
  computeResponse(d.s->responseContext());
  for (int i = 0; i < kGridPoints; ++i) ASSERT_EQ(d.s->setup.response[i], Complex(1.0, 0.0)) << i;
}

TEST(ResponseSpl, ComputingAllocatesNothing) {
  Direct d;
  d.left()[5] = 1000.0;
  d.right()[5] = 500.0;
  d.s->setup.twoChannel = true;
  const std::size_t before = allocationCount();
  computeResponse(d.s->responseContext());
  d.s->calibrationRun = true;
  computeResponse(d.s->responseContext());
  EXPECT_EQ(allocationCount(), before);
}

}  // namespace

namespace {

// Lengths worked out by hand: the period is 2^order - 1; the impedance
// window is 8192 samples scaled from 44100 Hz, rounded up.
TEST(ResponseWindow, LengthFollowsModeRateAndSequence) {
  MeasSetup m;
  m.winLength = 1234;
  EXPECT_EQ(analysisWindowLength(m, false), 1234);
  // A Length up to the period, or today's 8192 where the period is shorter.
  m.winLength = 30000;
  EXPECT_EQ(analysisWindowLength(m, false), 8192);
  m.setMlsOrder(3);
  EXPECT_EQ(analysisWindowLength(m, false), 30000);
  m.winLength = 40000;
  EXPECT_EQ(analysisWindowLength(m, false), 32767);
  // A calibration ignores the Length: the longest window, at least 8192.
  for (const auto& [order, length] : {std::pair{0, 8192}, {1, 8192}, {2, 16383}, {3, 32767}}) {
    m.setMlsOrder(order);
    m.winLength = 100;
    EXPECT_EQ(analysisWindowLength(m, true), length) << order;
    m.winLength = 8192;
    EXPECT_EQ(analysisWindowLength(m, true), length) << order;
  }
  m.impedanceMode = 1;
  m.setMlsOrder(3);
  m.setSampleRate(6);  // 44100
  EXPECT_EQ(analysisWindowLength(m, false), 8192);
  m.setSampleRate(7);  // 48000: 8192 * 48000 / 44100 = 8916.2
  EXPECT_EQ(analysisWindowLength(m, false), 8917);
  m.sampleRate = 192000;  // 35665.3, more than the period
  EXPECT_EQ(analysisWindowLength(m, false), 32767);
  m.setMlsOrder(1);  // a period of 8191 leaves today's 8192
  EXPECT_EQ(analysisWindowLength(m, false), 8192);

  for (const auto& [window, size] : {std::pair{100, 8192}, {8192, 8192}, {8193, 16384}, {16383, 16384},
                                     {16385, 32768}, {32767, 32768}})
    EXPECT_EQ(responseFftSize(window), size) << window;
}

// Flat for F = max(m / 10 rounded up, 30 - offset + 64) samples (at most
// m), then 0.5 (1 + cos(pi (n - F) / (m - F))); an impedance window's flat
// part is at least half of it.
TEST(ResponseWindow, FlatThenHannShape) {
  const auto hann = [](int n, int m, int flat) {
    return n < flat ? 1.0 : 0.5 * (1.0 + std::cos(kPi * (n - flat) / double(m - flat)));
  };
  for (const auto& [m, offset, flat] :
       {std::tuple{8192, 0, 820}, {200, 0, 94}, {200, 50, 44}, {200, 200, 20}, {100, 0, 94}, {50, 0, 50}}) {
    for (int n = 0; n < m; ++n)
      ASSERT_NEAR(windowWeight(kWindowFlatHann, n, m, offset), hann(n, m, flat), 1e-15)
          << m << " " << offset << " " << n;
  }
  for (const auto& [m, flat] : {std::pair{32767, 16384}, {8192, 4096}, {101, 94}, {189, 95}}) {
    for (int n = 0; n < m; ++n)
      ASSERT_NEAR(windowWeight(kWindowFlatHann, n, m, 0, kImpedanceFlatDivisor), hann(n, m, flat), 1e-15)
          << m << " " << n;
  }
  EXPECT_EQ(windowWeight(kWindowQuarterCosine, 512, 1024, 0), std::cos(kPi * 512 / 2048.0));
}

// One tap 30 samples into a window of 512: exactly cos(30 pi / 1024)
// e^(-j 2 pi f 30 / rate) at every grid point below half the rate with the
// exact evaluation; the interpolated bins miss that by far more.
TEST(ResponseExact, ExactEvaluationOfADelayedTap) {
  Direct d;
  MeasSetup& m = d.s->setup;
  m.winLength = 512;
  d.s->impulse.impulseStart = 100;
  d.left()[130] = 8192.0;  // 1 after scaling by the sequence length
  double worstInterpolated = 0.0;
  for (bool exact : {false, true}) {
    m.exactEvaluation = exact;
    computeResponse(d.s->responseContext());
    const ComplexCurve& r = d.s->responseBuffers.channelResponse[0];
    int below = 0;
    for (int i = 0; i < kGridPoints; ++i) {
      const double f = m.freqGrid[i];
      if (f >= 22050.0) {
        ASSERT_EQ(r[i], r[below - 1]) << i;  // the last one evaluated, held
        continue;
      }
      ++below;
      const double phi = -2.0 * kPi * f * 30.0 / 44100.0;
      const Complex expected = std::cos(30.0 * kPi / 1024.0) * Complex(std::cos(phi), std::sin(phi));
      const double error = abs(r[i] + (-1.0) * expected);
      if (exact) {
        ASSERT_LT(error, 1e-12) << f;
      } else {
        worstInterpolated = std::max(worstInterpolated, error);
      }
    }
  }
  // Halfway between two bins the interpolated phasor falls short by
  // 1 - cos(30 pi / 8192) = 6.6e-5 of its length; some grid point lies near
  // enough to halfway to show at least half of that.
  const double midway = std::cos(30.0 * kPi / 1024.0) * (1.0 - std::cos(30.0 * kPi / 8192.0));
  EXPECT_GT(worstInterpolated, 0.5 * midway);
  EXPECT_LT(worstInterpolated, 1.01 * midway);
}

}  // namespace
