#pragma once
// Radix-2 decimation-in-time FFT of one fixed size, with its bit-reversal and
// twiddle tables built once at construction. transform() allocates nothing.

#include <array>
#include <cstdint>

#include "base/complex.h"

class Fft {
 public:
  static constexpr int kMaxSize = 32768;  // the longest analysis window's transform

  // size must be a power of two, 2 .. kMaxSize.
  explicit Fft(int32_t size);
  Fft(const Fft&) = delete;
  Fft& operator=(const Fft&) = delete;

  // output[k] = sum over n of input[n] * e^(-+j 2 pi k n / size), the sign
  // negative for the forward transform. No 1/size scaling in either direction.
  // input and output each hold size values and must not overlap; the
  // butterflies work in place in output.
  void transform(const Complex* input, Complex* output, bool inverse);

  int32_t size;
  int32_t stages;
  std::array<int32_t, kMaxSize> bitReverse{};
  std::array<Complex, kMaxSize + 1> twiddle{};  // e^(-j 2 pi k / size), k = 0..size

 private:
  // The forward twiddles of each stage side by side (those of the stage with
  // half-length h at h .. 2h-1), so the butterflies read them in order.
  std::array<Complex, kMaxSize> stageTwiddle_{};
};
