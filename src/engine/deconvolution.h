#pragma once
// From a recording to the impulse response of each channel: fold the tail onto
// one period (or average the steady-state periods of an averaged run),
// deconvolve with the sequence by the Hadamard method, remove the offset, and
// find where the impulse starts.

#include <array>
#include <cstddef>
#include <cstdint>

#include "engine/mls.h"

struct MeasSetup;

// The longest recording: 2000 + 33 x 32767 (the lead and 33 periods of order
// 15, an averaged run of 32) + 100000 (the largest margin) frames, 4.7 MB.
inline constexpr int kRecCapacityFrames = 1183311;
inline constexpr int kRecCapacitySamples = 2 * kRecCapacityFrames;
inline constexpr int kImpulseCapacity = 100000;
inline constexpr int kImpulseSearchLength = 10192;  // 8192 + 2000

// The recording, 16-bit interleaved left/right: channel ch of frame f is
// sample 2f + ch.
struct RecBuffer {
  std::array<int16_t, kRecCapacitySamples> samples{};

  // Channel ch (0 left, 1 right) at frame f; 0 for any frame outside the
  // buffer, so a short or shifted recording never reads out of bounds.
  int16_t at(int64_t frame, int ch) const {
    if (frame < 0 || frame >= kRecCapacityFrames) return 0;
    return samples[static_cast<std::size_t>(2 * frame + ch)];
  }
};

struct ImpulseResponse {
  // Per channel (0 left, 1 right), unscaled: a gain g at lag k gives
  // g * 30000 * mlsSize at element k.
  std::array<double, kImpulseCapacity> x[2]{};
  int32_t impulseStart = 0;
  std::array<double, kMlsCapacity> fhtWork{};
};

// In-place Walsh-Hadamard transform of a[0..n-1], n a power of two, unnormalised.
void hadamardTransform(double* a, int32_t n);

// Replaces x[0..L-1] (L = 2^order - 1) by the unscaled circular impulse
// response with the sequence of `tables`. work holds 2^order values.
void deconvolveMls(double* x, int32_t order, const MlsTables& tables, double* work);

// Folds channel ch of the recording from start frame s onto one period
// (with setup.exactEvaluation, after taking the offset measured on the
// recording's first 1000 frames out of every recorded frame),
// deconvolves it into imp.x[ch], removes the offset measured on the second
// half, and zeroes everything past the period up to the largest period, so no
// sample of an earlier, longer measurement survives.
void deconvolveChannel(const MeasSetup& setup, const MlsTables& tables, const RecBuffer& rec,
                       ImpulseResponse& imp, int ch, int32_t s);

// Averaged run (averagedPeriods(setup) = N >= 2): the period of channel ch
// starting at frame s settled the system and is skipped; the N periods after
// it (frames s + kL .. s + (k + 1)L - 1, k = 1..N, L = mlsSize - 1) are summed
// and divided by N, so the levels are those of a single period, and
// deconvolved into imp.x[ch] as they are: in steady state each period already
// holds the circular response, nothing is folded. The offset is measured on
// the transformed second half (elements mlsSize/2 .. L - 1) and removed;
// element L and everything past it up to the largest period are zeroed. Noise
// that differs from period to period falls by 10 log10(N) dB. Frames outside
// the buffer read as silence. Allocates nothing.
void deconvolveAveraged(const MeasSetup& setup, const MlsTables& tables, const RecBuffer& rec,
                        ImpulseResponse& imp, int ch, int32_t s);

// Sets imp.impulseStart: 30 samples before the first sample (within the 100
// ahead of the peak) that reaches 5 % of the peak, never below 0. Reads the
// right channel in two-channel mode, else the left.
void findImpulseStart(const MeasSetup& setup, ImpulseResponse& imp);
