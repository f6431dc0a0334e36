#include "analysis/grid_dft.h"

#include <cmath>

namespace {

constexpr int kBlock = GridDft::kBlockPoints;
// Samples per pass over a block's states: each state is loaded and stored
// once per kUnroll samples instead of once per sample.
constexpr int kUnroll = 4;

const long double kPiL = 3.14159265358979323846264338327950288L;

// The resonator states of one block of points for Channels sequences.
template <int Channels>
struct BlockState {
  alignas(64) double s[Channels][kBlock];
  alignas(64) double d[Channels][kBlock];
};

// One sample into every state of a block. Difference form (SumForm false):
// d += x - c s, s += d; sum form: d = x + c s - d, s = d - s. d + x is
// formed first so that it need not wait for c s.
template <bool SumForm>
inline void step(double x, const double* __restrict c, double* __restrict s,
                 double* __restrict d) {
  for (int i = 0; i < kBlock; ++i) {
    if constexpr (SumForm) {
      const double e = (x - d[i]) + c[i] * s[i];
      d[i] = e;
      s[i] = e - s[i];
    } else {
      const double e = (d[i] + x) - c[i] * s[i];
      d[i] = e;
      s[i] += e;
    }
  }
}

// kUnroll samples, xs[0] first, into every state of a block.
template <bool SumForm>
inline void steps(const double* xs, const double* __restrict c, double* __restrict s,
                  double* __restrict d) {
  const double x0 = xs[0], x1 = xs[1], x2 = xs[2], x3 = xs[3];
  for (int i = 0; i < kBlock; ++i) {
    double si = s[i], di = d[i];
    const double ci = c[i];
    if constexpr (SumForm) {
      di = (x0 - di) + ci * si;
      si = di - si;
      di = (x1 - di) + ci * si;
      si = di - si;
      di = (x2 - di) + ci * si;
      si = di - si;
      di = (x3 - di) + ci * si;
      si = di - si;
    } else {
      di = (di + x0) - ci * si;
      si += di;
      di = (di + x1) - ci * si;
      si += di;
      di = (di + x2) - ci * si;
      si += di;
      di = (di + x3) - ci * si;
      si += di;
    }
    s[i] = si;
    d[i] = di;
  }
}

// Feeds x[m-1] down to x[0] of each channel through the states of one block
// (which start at zero).
template <bool SumForm, int Channels>
void runBlock(const double* const* x, int32_t m, const double* __restrict c,
              BlockState<Channels>& st) {
  for (int ch = 0; ch < Channels; ++ch)
    for (int i = 0; i < kBlock; ++i) st.s[ch][i] = st.d[ch][i] = 0.0;
  int32_t n = m;
  for (; n % kUnroll != 0; --n)
    for (int ch = 0; ch < Channels; ++ch) step<SumForm>(x[ch][n - 1], c, st.s[ch], st.d[ch]);
  for (; n > 0; n -= kUnroll) {
    for (int ch = 0; ch < Channels; ++ch) {
      const double* p = x[ch] + n - kUnroll;
      const double xs[kUnroll] = {p[3], p[2], p[1], p[0]};
      steps<SumForm>(xs, c, st.s[ch], st.d[ch]);
    }
  }
}

}  // namespace

static_assert(kUnroll == 4, "steps() is written out for four samples");

GridDft::GridDft(const RealCurve& freqGrid) : freqHz_(freqGrid) {}

void GridDft::prepare(int32_t sampleRate) {
  if (sampleRate == preparedRate_) return;
  preparedRate_ = sampleRate;
  const long double rate = sampleRate;
  const double half = sampleRate / 2.0;
  const double quarter = sampleRate / 4.0;
  int slot = 0;
  evaluated_ = 0;
  // First pass the difference form (f < rate/4), then the sum form.
  for (int region = 0; region < 2; ++region) {
    for (int i = 0; i < kGridPoints; ++i) {
      const double f = freqHz_[i];
      if (!(f >= 0.0 && f < half)) continue;
      const bool sumForm = !(f < quarter);
      if (sumForm != (region == 1)) continue;
      // w/2 for the difference form, and (pi - w)/2 from half - f (exact
      // in double for f >= rate/4) for the sum form, so that the
      // coefficient is as precise relative to itself near 0 and half the rate.
      const long double a = kPiL * (sumForm ? static_cast<long double>(half - f) : f) / rate;
      const long double sa = std::sin(a);
      coef_[slot] = static_cast<double>(4.0L * sa * sa);
      sinW_[slot] = static_cast<double>(2.0L * sa * std::cos(a));
      point_[slot] = static_cast<int16_t>(i);
      ++slot;
      ++evaluated_;
    }
    for (; slot % kBlock != 0; ++slot) {
      coef_[slot] = 0.0;
      sinW_[slot] = 0.0;
      point_[slot] = -1;
    }
    if (region == 0) lowSlots_ = slot;
  }
  slots_ = slot;
}

template <int Channels>
int GridDft::run(const double* x0, const double* x1, int32_t m, int32_t sampleRate,
                 ComplexCurve* out0, ComplexCurve* out1) {
  if (sampleRate <= 0) return 0;
  prepare(sampleRate);
  if (m < 0) m = 0;
  const double* x[2] = {x0, x1};
  ComplexCurve* out[2] = {out0, out1};
  BlockState<Channels> st;
  for (int b = 0; b < slots_; b += kBlock) {
    const bool sumForm = b >= lowSlots_;
    if (sumForm)
      runBlock<true, Channels>(x, m, coef_.data() + b, st);
    else
      runBlock<false, Channels>(x, m, coef_.data() + b, st);
    // With p the state one sample before the end, X = s - e^(jw) p: the real
    // part written as d + (1 - cos w) p (difference form) or d - (1 + cos w) p
    // (sum form) so that it keeps its precision near w = 0 and pi.
    for (int i = 0; i < kBlock; ++i) {
      const int k = point_[b + i];
      if (k < 0) continue;
      const double h = 0.5 * coef_[b + i];
      for (int ch = 0; ch < Channels; ++ch) {
        const double s = st.s[ch][i], d = st.d[ch][i];
        const double p = sumForm ? d - s : s - d;
        (*out[ch])[k] = Complex(sumForm ? d - h * p : d + h * p, -sinW_[b + i] * p);
      }
    }
  }
  return evaluated_;
}

int GridDft::evaluate(const double* x, int32_t m, int32_t sampleRate, ComplexCurve& out) {
  return run<1>(x, nullptr, m, sampleRate, &out, nullptr);
}

int GridDft::evaluate2(const double* x0, const double* x1, int32_t m, int32_t sampleRate,
                       ComplexCurve& out0, ComplexCurve& out1) {
  return run<2>(x0, x1, m, sampleRate, &out0, &out1);
}
