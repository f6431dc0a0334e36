#pragma once
// From the impulse responses to complex responses on the frequency grid: the
// calibrated SPL transfer function, the impedance, or (in a calibration run)
// a new entry of the sound card calibration.

#include <array>

#include "analysis/curves.h"
#include "analysis/fft.h"
#include "analysis/grid_dft.h"
#include "setup/soundcard_cal.h"
#include "engine/deconvolution.h"
#include "setup/meas_setup.h"

// The shortest transform; a longer window takes the next power of two.
inline constexpr int kResponseFftSize = 8192;
inline constexpr int kMaxResponseFftSize = 32768;
// The impedance window at 44100 Hz, 185.8 ms; it grows with the rate.
inline constexpr int kImpedanceWindow = 8192;
inline constexpr double kCalibrationLevelOffset = -85.0;  // dB
// The analysis window starts this many samples before the impulse's onset
// (see findImpulseStart).
inline constexpr int kImpulseLead = 30;

struct ResponseBuffers {
  ComplexCurve channelResponse[2]{};  // raw per input channel, before calibration
  std::array<Complex, kMaxResponseFftSize> fftInput{};
  std::array<Complex, kMaxResponseFftSize> fftOutput{};
  std::array<double, kMaxResponseFftSize> windowed{};  // the exact evaluation's input
};

// The transforms computeResponse may use, each of its size.
struct ResponseTransforms {
  Fft& fft8192;
  Fft& fft16384;
  Fft& fft32768;
  GridDft& gridDft;  // on the settings' freqGrid
};

// Everything computeResponse reads and writes.
struct ResponseContext {
  MeasSetup& setup;
  const ImpulseResponse& impulse;
  bool calibrationRun;
  const ResponseTransforms& transforms;
  ResponseBuffers& buffers;
  SoundcardCal& cal;
  DisplayCurves& curves;
};

// The length of the analysis window, in samples. A calibration run takes the
// longest window the sequence allows, at least 8192, whatever the Length is:
// the calibration describes the sound card, not the gate. Impedance takes
// 8192 samples at 44100 Hz and as many more as keep it 185.8 ms long at a
// higher rate, as far as the sequence allows. SPL takes the Length.
int32_t analysisWindowLength(const MeasSetup& setup, bool calibrationRun);

// The transform size for a window of m samples: the next power of two, at
// least 8192, at most 32768.
int32_t responseFftSize(int32_t m);

// The flat window's flat part, as a share 1 / divisor of the window at least:
// a tenth for an SPL gate, half for an impedance window.
inline constexpr int32_t kGateFlatDivisor = 10;
inline constexpr int32_t kImpedanceFlatDivisor = 2;

// Weight of sample n of an analysis window of m samples that starts `offset`
// samples after the impulse start. Quarter cosine: cos(pi n / 2m). Flat then
// half-Hann: 1 over the impulse's lead and the first part of the window (at
// least m / flatDivisor rounded up and 64 samples past the onset), then
// 0.5 (1 + cos(pi (n - F) / (m - F))) down to the end.
double windowWeight(uint8_t shape, int32_t n, int32_t m, int64_t offset,
                    int32_t flatDivisor = kGateFlatDivisor);

// Windows and transforms each needed channel (with setup.exactEvaluation,
// evaluates the windowed response at every grid point below half the rate
// instead), interpolates onto freqGrid and
// writes setup.response (SPL or impedance), or in a calibration run the
// calibration entry of the current mode, rate and length with its levels in
// curves.splMag and curves.dBTop. Returns true when the channel selector is to
// be enabled (two-channel mode). Allocates nothing.
bool computeResponse(const ResponseContext& ctx);

// Interpolates an fftSize-point spectrum of a window at sampleRate onto the
// grid (linear between the two bins around each grid frequency, up to half
// the rate; the points above repeat the last one).
void spectrumToGrid(const Complex* spectrum, int32_t sampleRate, const RealCurve& freqGrid,
                    ComplexCurve& out, int32_t fftSize = kResponseFftSize);
