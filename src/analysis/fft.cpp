#include "analysis/fft.h"

#include <cmath>

Fft::Fft(int32_t n) : size(n), stages(static_cast<int32_t>(std::log(n) / std::log(2.0) + 0.1)) {
  const double pi = std::acos(-1.0);
  const Complex w(std::cos(2.0 * pi / n), -std::sin(2.0 * pi / n));
  for (int32_t k = 0; k <= n; ++k) twiddle[k] = pow(w, k);
  for (int32_t j = 0; j < n; ++j) {
    int32_t r = 0;
    int32_t x = j;
    for (int32_t s = 0; s < stages; ++s) {
      r = (r | (x & 1)) << 1;
      x >>= 1;
    }
    bitReverse[j] = r >> 1;
  }
}

void Fft::transform(const Complex* input, Complex* output, bool inverse) {
  const int32_t n = size;
  for (int32_t i = 0; i < n; ++i) output[bitReverse[i]] = input[i];

  const int32_t sign = inverse ? -1 : 1;
  const int32_t base = inverse ? n : 0;
  for (int32_t s = 1; s <= stages; ++s) {
    const int32_t len = 1 << s;
    const int32_t h = len / 2;
    const int32_t stride = n / len;
    for (int32_t b = 0; b < n; b += len) {
      Complex* lo = output + b;
      Complex* hi = output + b + h;
      for (int32_t k = 0; k < h; ++k) {
        // Twiddle the upper half, then the butterfly: lo + t above, lo - t below.
        const Complex t = hi[k] * twiddle[base + sign * k * stride];
        const Complex u = lo[k];
        lo[k] = Complex(u.re + t.re, u.im + t.im);
        hi[k] = Complex(u.re - t.re, u.im - t.im);
      }
    }
  }
}
