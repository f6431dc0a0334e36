#include "analysis/frequency_response.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Sample n of the analysis window of channel ch; anything outside the stored
// response reads as 0, whatever the window settings say.
double impulseSample(const ImpulseResponse& imp, int ch, int64_t index) {
  if (index < 0 || index >= kImpulseCapacity) return 0.0;
  return imp.x[ch][static_cast<std::size_t>(index)];
}

Fft& transformOf(const ResponseTransforms& t, int32_t n) {
  if (n <= 8192) return t.fft8192;
  if (n <= 16384) return t.fft16384;
  return t.fft32768;
}

void channelSpectrum(const ResponseContext& ctx, int ch) {
  const MeasSetup& s = ctx.setup;
  ResponseBuffers& b = ctx.buffers;
  const bool impedance = s.impedanceMode != 0;
  const int32_t m = analysisWindowLength(s, ctx.calibrationRun);
  // The window offset applies only to the measurement channel of an SPL run.
  const int64_t offset = (ch == 1 || impedance || ctx.calibrationRun) ? 0 : s.winStart;
  const int64_t first = static_cast<int64_t>(ctx.impulse.impulseStart) + offset;
  const double scale = 1.0 / s.mlsSize;
  // An impedance window is no gate against reflections: it must hold the
  // driver's ringing whole, so the flat window stays flat over its first half.
  const int32_t flatDivisor = impedance ? kImpedanceFlatDivisor : kGateFlatDivisor;
  for (int32_t n = 0; n < m; ++n)
    b.windowed[n] =
        windowWeight(s.windowShape, n, m, offset, flatDivisor) * impulseSample(ctx.impulse, ch, first + n) * scale;

  ComplexCurve& out = b.channelResponse[ch];
  if (s.exactEvaluation) {
    int i = ctx.transforms.gridDft.evaluate(b.windowed.data(), m, s.sampleRate, out);
    // Above half the rate every point repeats the last one evaluated, as the
    // interpolated spectrum does.
    if (i == 0) out[i++] = Complex(0.0, 0.0);
    for (int j = i; j < kGridPoints; ++j) out[j] = out[j - 1];
    return;
  }
  const int32_t size = responseFftSize(m);
  for (int32_t n = 0; n < size; ++n) b.fftInput[n] = Complex(n < m ? b.windowed[n] : 0.0, 0.0);
  transformOf(ctx.transforms, size).transform(b.fftInput.data(), b.fftOutput.data(), false);
  spectrumToGrid(b.fftOutput.data(), s.sampleRate, s.freqGrid, out, size);
}

}  // namespace

int32_t analysisWindowLength(const MeasSetup& setup, bool calibrationRun) {
  const int32_t period = setup.mlsSize - 1;
  if (calibrationRun) return std::min(std::max(kResponseFftSize, period), kMaxResponseFftSize);
  if (setup.impedanceMode != 0) {
    const int64_t scaled = (static_cast<int64_t>(kImpedanceWindow) * setup.sampleRate + 44099) / 44100;
    return static_cast<int32_t>(std::max<int64_t>(kImpedanceWindow, std::min<int64_t>(scaled, period)));
  }
  // Up to the sequence's period; a longer Length than a short sequence has
  // keeps today's 8192 samples, zeros past the period.
  return std::clamp(setup.winLength, 1, std::min(std::max(kResponseFftSize, period), kMaxResponseFftSize));
}

int32_t responseFftSize(int32_t m) {
  int32_t n = kResponseFftSize;
  while (n < m && n < kMaxResponseFftSize) n *= 2;
  return n;
}

double windowWeight(uint8_t shape, int32_t n, int32_t m, int64_t offset, int32_t flatDivisor) {
  if (shape != kWindowFlatHann) return std::cos(kPi * n / (2.0 * m));
  const int64_t flat = std::min<int64_t>(
      m, std::max<int64_t>((m + flatDivisor - 1) / flatDivisor, kImpulseLead - offset + 64));
  if (n < flat) return 1.0;
  return 0.5 * (1.0 + std::cos(kPi * static_cast<double>(n - flat) / static_cast<double>(m - flat)));
}

void spectrumToGrid(const Complex* spectrum, int32_t sampleRate, const RealCurve& freqGrid,
                    ComplexCurve& out, int32_t fftSize) {
  const double nyquist = sampleRate / 2.0;
  const double binWidth = static_cast<double>(sampleRate) / fftSize;
  int i = 0;
  int k = 0;
  double prevF = 0.0;
  Complex prev = spectrum[0];
  double lastF = 0.0;
  while (i < kGridPoints && lastF < nyquist && k < fftSize) {
    const double f = k * binWidth;
    lastF = f;
    if (f < freqGrid[i]) {
      prev = spectrum[k];
      prevF = f;
      ++k;
    } else {
      // Linear interpolation between the two bins that enclose the grid point.
      const double t = (freqGrid[i] - prevF) / (f - prevF);
      out[i] = (1.0 - t) * prev + t * spectrum[k];
      ++i;
    }
  }
  // Above half the rate every point repeats the last one reached (bin 0 when
  // half the rate lies below the first grid point).
  if (i == 0) out[i++] = spectrum[0];
  for (int j = i; j < kGridPoints; ++j) out[j] = out[j - 1];
}

bool computeResponse(const ResponseContext& ctx) {
  MeasSetup& s = ctx.setup;
  ResponseBuffers& b = ctx.buffers;
  const bool impedance = s.impedanceMode != 0;
  const int channels = (impedance || s.twoChannel || ctx.calibrationRun) ? 2 : 1;
  for (int ch = 0; ch < channels; ++ch) channelSpectrum(ctx, ch);

  const int mode = impedance ? 1 : 0;
  const int rate = s.sRateIndex;
  const int order = s.mlsOrder - 12;
  const ComplexCurve* R = b.channelResponse;

  if (ctx.calibrationRun) {
    DisplayCurves& c = ctx.curves;
    c.dBTop = -1000.0;
    for (int ch = 0; ch < 2; ++ch) {
      ComplexCurve& cal = ctx.cal.table[mode][rate][order][ch];
      for (int i = 0; i < kGridPoints; ++i) {
        cal[i] = R[ch][i];
        c.splMag[ch][i] = 20.0 * std::log10(abs(R[ch][i])) + kCalibrationLevelOffset;
        if (c.dBTop < c.splMag[ch][i] && s.freqLow <= s.freqGrid[i] && s.freqGrid[i] <= s.freqHigh)
          c.dBTop = c.splMag[ch][i];
      }
    }
    ctx.cal.calibratedFlags[mode][rate][order] = true;
    c.dBTop += 0.025 * s.displayRange;
    return s.twoChannel;
  }

  const ComplexCurve* C = ctx.cal.table[mode][rate][order];
  s.responseRate = s.sampleRate;
  s.held.set();
  s.fromFile = false;
  if (!impedance) {
    for (int i = 0; i < kGridPoints; ++i) {
      Complex r(1.0, 0.0);
      if (channels == 1) {
        if (abs(R[0][i]) > 0) r = R[0][i] / C[0][i];
      } else if (abs(R[0][i]) > 0 && abs(R[1][i]) > 0) {
        switch (s.showChannel) {
          case 0: r = R[0][i] / C[0][i]; break;
          case 1: r = R[1][i] / C[1][i]; break;
          case 2: r = (R[0][i] / R[1][i]) / (C[0][i] / C[1][i]); break;
          default: break;
        }
      }
      s.response[i] = r;
    }
    return s.twoChannel;
  }

  // Impedance: the voltage across the driver (right input) relative to the
  // voltage across resistor and driver (left input), corrected by the same
  // ratio from the impedance calibration.
  for (int i = 0; i < kGridPoints; ++i) {
    Complex r = (R[1][i] / R[0][i]) / (C[1][i] / C[0][i]);
    if (abs(r) >= 1.0) r = 1.0 / r;
    if (abs(r) > 0.999) r = Complex(0.999, 0.0);
    // A zero left channel or calibration value leaves r without a number;
    // every comparison above was false and the open-circuit value is taken.
    if (abs(1.0 - r) > 1e-6) {
      s.response[i] = (s.seriesR * r) / (1.0 - r);
    } else {
      s.response[i] = Complex(s.seriesR * 1e6, 0.0);
    }
  }
  return s.twoChannel;
}
