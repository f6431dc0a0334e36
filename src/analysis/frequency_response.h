#pragma once
// From the impulse responses to complex responses on the frequency grid: the
// calibrated SPL transfer function, the impedance, or (in a calibration run)
// a new entry of the sound card calibration.

#include <array>

#include "analysis/curves.h"
#include "analysis/fft.h"
#include "setup/soundcard_cal.h"
#include "engine/deconvolution.h"
#include "setup/meas_setup.h"

inline constexpr int kResponseFftSize = 8192;
inline constexpr int kImpedanceWindow = 10000;
inline constexpr double kCalibrationLevelOffset = -85.0;  // dB

struct ResponseBuffers {
  ComplexCurve channelResponse[2]{};  // raw per input channel, before calibration
  std::array<Complex, kResponseFftSize> fftInput{};
  std::array<Complex, kResponseFftSize> fftOutput{};
};

// Everything computeResponse reads and writes. fft must be the 8192-point one.
struct ResponseContext {
  MeasSetup& setup;
  const ImpulseResponse& impulse;
  bool calibrationRun;
  Fft& fft;
  ResponseBuffers& buffers;
  SoundcardCal& cal;
  DisplayCurves& curves;
};

// Windows and transforms each needed channel, interpolates onto freqGrid and
// writes setup.response (SPL or impedance), or in a calibration run the
// calibration entry of the current mode, rate and length with its levels in
// curves.splMag and curves.dBTop. Returns true when the channel selector is to
// be enabled (two-channel mode). Allocates nothing.
bool computeResponse(const ResponseContext& ctx);

// Interpolates an 8192-point spectrum of a window at sampleRate onto the grid
// (linear between the two bins around each grid frequency, up to half the
// rate; the points above repeat the last one).
void spectrumToGrid(const Complex* spectrum, int32_t sampleRate, const RealCurve& freqGrid,
                    ComplexCurve& out);
