#pragma once
// The frequency response of a real sequence evaluated exactly at each point of
// a frequency grid, without an FFT and its interpolation between bins:
//
//   X(f) = sum over n = 0 .. m-1 of x[n] * e^(-j 2 pi f n / sampleRate)
//
// The sign of the exponent is that of Fft's forward transform, so at a bin
// frequency k * sampleRate / N the value equals bin k of Fft(N) applied to the
// sequence padded with zeros to N. No scaling: a unit impulse at n0 gives
// e^(-j 2 pi f n0 / sampleRate), magnitude 1.
//
// Method: a second-order resonator per grid point, all points stepped
// together over the samples (fed from the last sample to the first, so the
// end state needs no phase correction). Below a quarter of the rate it uses
// the difference form d += x - 4 sin^2(w/2) s, s += d (w = 2 pi f / rate);
// above, the sum form e = x + 4 cos^2(w/2) s - e, s = e - s. Both carry the
// coefficient with full relative precision near w = 0 and w = pi, where the
// plain resonator's 2 cos w loses it. Measured against a long-double direct
// sum at every grid point, 44.1 .. 192 kHz, 100 .. 32768 samples, as a
// fraction of the sequence's L1 norm: the plain resonator is off by up to
// 1.7e-9 (a constant sequence, 5.6 Hz at 192 kHz); these forms by at most
// 1.3e-14 for noise and 2.1e-12 for a lone impulse at the far end of 32768
// samples, the worst case, where rounding grows with m. The work is m times
// the number of evaluated points, one multiplication and three additions
// each; the points run in blocks of kBlockPoints whose inner loop the
// compiler vectorises (16-byte vectors with the plain -O2/-O3 flags).

#include <array>
#include <cstdint>

#include "base/grid_curve.h"

class GridDft {
 public:
  // Points per block: one block's resonator states stay in registers or the
  // first-level cache while all samples pass through them.
  static constexpr int kBlockPoints = 16;

  // Keeps a copy of freqGrid (Hz). The grid need not be ascending; points that
  // are negative or not finite are never evaluated. Allocates nothing beyond
  // the object itself (about 27 kB: construct it on the heap).
  explicit GridDft(const RealCurve& freqGrid);
  GridDft(const GridDft&) = delete;
  GridDft& operator=(const GridDft&) = delete;

  // Evaluates x[0 .. m) at every grid point f with 0 <= f < sampleRate / 2 and
  // writes X(f) to the same index of out; the other entries of out are left
  // as they are. Returns the number of points evaluated (0 when sampleRate
  // <= 0). m <= 0 gives zeros at the evaluated points. Accuracy as above for
  // m up to 32768; the worst case grows about linearly beyond. A NaN or
  // infinity in x makes every evaluated point NaN. The coefficients are
  // recomputed only when sampleRate differs from the previous call's (about
  // 60 microseconds); otherwise the call costs about 0.25 ns per point
  // and sample without -march flags (1.7 ms for 8192 samples at 44.1 kHz).
  // Allocates nothing; not thread-safe (one instance per thread).
  int evaluate(const double* x, int32_t m, int32_t sampleRate, ComplexCurve& out);

  // The same for two sequences of the same length at once, x0 into out0 and
  // x1 into out1. Without -march flags the additions bound the speed, so this
  // takes about twice one evaluate; with AVX it takes about as long as one.
  // The results equal those of two evaluate calls to within rounding. out0
  // and out1 must be different curves.
  int evaluate2(const double* x0, const double* x1, int32_t m, int32_t sampleRate,
                ComplexCurve& out0, ComplexCurve& out1);

 private:
  // Both regions (difference form, sum form) are padded to whole blocks.
  static constexpr int kSlots = kGridPoints + 2 * kBlockPoints;

  // Sorts the points evaluated at sampleRate into the two regions and works
  // out their coefficients; does nothing when sampleRate is the prepared one.
  void prepare(int32_t sampleRate);
  // Both evaluate calls: prepares sampleRate, steps each block of slots
  // through x0 (and x1 for two channels) and writes each point's value to
  // its index of out0 (and out1). Returns the count evaluated.
  template <int Channels>
  int run(const double* x0, const double* x1, int32_t m, int32_t sampleRate, ComplexCurve* out0,
          ComplexCurve* out1);

  RealCurve freqHz_{};
  int32_t preparedRate_ = 0;  // 0: nothing prepared yet
  int evaluated_ = 0;         // points below half the prepared rate
  int lowSlots_ = 0;          // slots of the difference form, whole blocks
  int slots_ = 0;             // all used slots, whole blocks
  // Per slot: 4 sin^2(w/2) (difference form) or 4 cos^2(w/2) (sum form), then
  // sin w, and the grid index written (-1 for padding, coefficient 0).
  alignas(64) std::array<double, kSlots> coef_{};
  std::array<double, kSlots> sinW_{};
  std::array<int16_t, kSlots> point_{};
};
