#include "analysis/fft.h"

#include <cmath>

namespace {

// One block of a stage: twiddle the upper half, then lo + t above, lo - t below.
template <typename Twiddle>
inline void butterflies(Complex* lo, int32_t h, Twiddle w) {
  Complex* hi = lo + h;
  for (int32_t k = 0; k < h; ++k) {
    const Complex t = w(k);
    const double tr = hi[k].re * t.re - hi[k].im * t.im;
    const double ti = hi[k].im * t.re + hi[k].re * t.im;
    const double ur = lo[k].re;
    const double ui = lo[k].im;
    lo[k] = Complex(ur + tr, ui + ti);
    hi[k] = Complex(ur - tr, ui - ti);
  }
}

}  // namespace

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
  for (int32_t h = 1; h < n; h *= 2) {
    const int32_t stride = n / (2 * h);
    for (int32_t k = 0; k < h; ++k) stageTwiddle_[h + k] = twiddle[k * stride];
  }
}

void Fft::transform(const Complex* input, Complex* output, bool inverse) {
  const int32_t n = size;
  // Bit reversal is its own inverse, so the scatter output[rev(i)] = input[i]
  // is done as a gather, which writes in order. The first two stages ride
  // along: their twiddles are 1 and -j (+j for the inverse), so they need no
  // multiplications.
  if (n >= 4) {
    const double rot = inverse ? 1.0 : -1.0;
    const int32_t* rev = bitReverse.data();
    for (int32_t b = 0; b < n; b += 4) {
      const Complex& x0 = input[rev[b]];
      const Complex& x1 = input[rev[b + 1]];
      const Complex& x2 = input[rev[b + 2]];
      const Complex& x3 = input[rev[b + 3]];
      const Complex s0(x0.re + x1.re, x0.im + x1.im);
      const Complex s1(x0.re - x1.re, x0.im - x1.im);
      const Complex s2(x2.re + x3.re, x2.im + x3.im);
      const Complex s3(x2.re - x3.re, x2.im - x3.im);
      const Complex t(-rot * s3.im, rot * s3.re);  // s3 times -+j
      Complex* a = output + b;
      a[0] = Complex(s0.re + s2.re, s0.im + s2.im);
      a[1] = Complex(s1.re + t.re, s1.im + t.im);
      a[2] = Complex(s0.re - s2.re, s0.im - s2.im);
      a[3] = Complex(s1.re - t.re, s1.im - t.im);
    }
  } else {
    for (int32_t i = 0; i < n; ++i) output[i] = input[bitReverse[i]];
    if (n == 2) {
      const Complex u = output[0], v = output[1];
      output[0] = Complex(u.re + v.re, u.im + v.im);
      output[1] = Complex(u.re - v.re, u.im - v.im);
    }
  }

  if (inverse) {
    // The inverse reads the table from its top end: W^(N - k) = conj(W^k).
    for (int32_t s = 3; s <= stages; ++s) {
      const int32_t len = 1 << s;
      const int32_t h = len / 2;
      const int32_t stride = n / len;
      for (int32_t b = 0; b < n; b += len)
        butterflies(output + b, h, [&](int32_t k) { return twiddle[n - k * stride]; });
    }
    return;
  }

  // Forward: two stages per pass over the data where possible, with the same
  // twiddles and the same arithmetic as one stage at a time.
  int32_t s = 3;
  for (; s + 1 <= stages; s += 2) {
    const int32_t q = 1 << (s - 1);  // half-length of stage s
    const Complex* w1 = stageTwiddle_.data() + q;
    const Complex* w2 = stageTwiddle_.data() + 2 * q;
    for (int32_t b = 0; b < n; b += 4 * q) {
      Complex* a0 = output + b;
      Complex* a1 = a0 + q;
      Complex* a2 = a0 + 2 * q;
      Complex* a3 = a0 + 3 * q;
      for (int32_t k = 0; k < q; ++k) {
        const Complex t1 = a1[k] * w1[k];
        const Complex t3 = a3[k] * w1[k];
        const Complex b0(a0[k].re + t1.re, a0[k].im + t1.im);
        const Complex b1(a0[k].re - t1.re, a0[k].im - t1.im);
        const Complex b2(a2[k].re + t3.re, a2[k].im + t3.im);
        const Complex b3(a2[k].re - t3.re, a2[k].im - t3.im);
        const Complex u2 = b2 * w2[k];
        const Complex u3 = b3 * w2[k + q];
        a0[k] = Complex(b0.re + u2.re, b0.im + u2.im);
        a2[k] = Complex(b0.re - u2.re, b0.im - u2.im);
        a1[k] = Complex(b1.re + u3.re, b1.im + u3.im);
        a3[k] = Complex(b1.re - u3.re, b1.im - u3.im);
      }
    }
  }
  if (s == stages) {
    const int32_t h = 1 << (s - 1);
    const Complex* forward = stageTwiddle_.data() + h;
    butterflies(output, h, [&](int32_t k) { return forward[k]; });
  }
}
