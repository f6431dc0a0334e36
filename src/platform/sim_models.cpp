#include "platform/sim_models.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <numbers>

using cplx = std::complex<double>;

std::complex<double> Biquad::response(double omega) const {
  const cplx z1 = std::polar(1.0, -omega);
  const cplx z2 = z1 * z1;
  return (b0 + b1 * z1 + b2 * z2) / (1.0 + a1 * z1 + a2 * z2);
}

namespace {

Biquad normalised(double b0, double b1, double b2, double a0, double a1, double a2) {
  Biquad q;
  q.b0 = b0 / a0;
  q.b1 = b1 / a0;
  q.b2 = b2 / a0;
  q.a1 = a1 / a0;
  q.a2 = a2 / a0;
  return q;
}

}  // namespace

Biquad cookbookHighPass(double f0, double q, double rate) {
  const double w0 = 2.0 * std::numbers::pi * f0 / rate;
  const double c = std::cos(w0);
  const double alpha = std::sin(w0) / (2.0 * q);
  return normalised((1.0 + c) / 2.0, -(1.0 + c), (1.0 + c) / 2.0, 1.0 + alpha, -2.0 * c,
                    1.0 - alpha);
}

Biquad cookbookLowPass(double f0, double q, double rate) {
  const double w0 = 2.0 * std::numbers::pi * f0 / rate;
  const double c = std::cos(w0);
  const double alpha = std::sin(w0) / (2.0 * q);
  return normalised((1.0 - c) / 2.0, 1.0 - c, (1.0 - c) / 2.0, 1.0 + alpha, -2.0 * c,
                    1.0 - alpha);
}

void LoudspeakerModel::design(double rate) {
  rate_ = rate;
  highPass_ = cookbookHighPass(kHighPassHz, kHighPassQ, rate);
  hasLowPass_ = kLowPassHz < 0.45 * rate;
  lowPass_ = hasLowPass_ ? cookbookLowPass(kLowPassHz, kLowPassQ, rate) : Biquad{};
}

void LoudspeakerModel::clear() {
  highPass_.clear();
  lowPass_.clear();
}

std::complex<double> LoudspeakerModel::response(double freqHz) const {
  const double w = 2.0 * std::numbers::pi * freqHz / rate_;
  cplx h = kGain * highPass_.response(w);
  if (hasLowPass_) h *= lowPass_.response(w);
  return h;
}

std::complex<double> DriverModel::impedance(double freqHz) {
  const double w = 2.0 * std::numbers::pi * freqHz;
  const double ws = 2.0 * std::numbers::pi * kFs;
  const double res = kRe * kQms / kQes;
  const cplx jx(0.0, w / (ws * kQms));
  const cplx motional = res * jx / (1.0 - (w / ws) * (w / ws) + jx);
  return cplx(kRe, w * kLe) + motional;
}

namespace {

// A real cubic c[3] s^3 + c[2] s^2 + c[1] s + c[0] with positive coefficients
// (a passive network): its real root, found by Newton's method from the left
// of all roots, where the cubic is increasing and concave so the iteration
// climbs monotonically onto the root.
double realRoot(const std::array<double, 4>& c) {
  double s = -c[2] / c[3] - 1.0;
  for (int i = 0; i < 200; ++i) {
    const double p = ((c[3] * s + c[2]) * s + c[1]) * s + c[0];
    const double dp = (3.0 * c[3] * s + 2.0 * c[2]) * s + c[1];
    const double step = p / dp;
    s -= step;
    if (std::abs(step) <= 1e-15 * std::abs(s)) break;
  }
  return s;
}

// The monic quadratic left after dividing the cubic by (s - r): q[1] s + q[0].
std::array<double, 2> deflate(const std::array<double, 4>& c, double r) {
  const double b2 = c[3];
  const double b1 = c[2] + r * b2;
  const double b0 = c[1] + r * b1;
  return {b0 / b2, b1 / b2};
}

// (s^2 + n1 s + n0) / (s^2 + m1 s + m0) by the bilinear transform, with the
// frequency axis matched exactly at w0 (rad/s).
Biquad bilinearQuadratic(double n1, double n0, double m1, double m0, double w0, double rate) {
  const double k = w0 / std::tan(w0 / (2.0 * rate));
  const double kk = k * k;
  return normalised(kk + n1 * k + n0, 2.0 * (n0 - kk), kk - n1 * k + n0, kk + m1 * k + m0,
                    2.0 * (m0 - kk), kk - m1 * k + m0);
}

// Taps of an FIR filter whose response, times that of the digital resonance
// section, follows the analog divider n(s)/m(s) delayed by `delay` samples:
// frequency sampling, where the target is sampled on a fine grid and
// transformed back. Dividing by the resonance section's own response also
// takes out the slight warping that the bilinear transform leaves in it.
// Above 0.42 x the rate the target's phase is faded to zero, so that it is
// real at the Nyquist frequency, as a real filter's response must be, and
// smooth, so that the taps decay quickly and can be cut off.
template <size_t kTaps>
void designCoilFir(const std::array<double, 4>& n, const std::array<double, 4>& m,
                   const Biquad& resonance, double rate, int delay,
                   std::array<double, kTaps>& taps) {
  constexpr int kGrid = 4096;          // points around the unit circle
  constexpr double kFadeStart = 0.84;  // as a fraction of the Nyquist frequency
  std::array<cplx, kGrid / 2 + 1> target;
  for (int k = 0; k <= kGrid / 2; ++k) {
    const double w = 2.0 * std::numbers::pi * k / kGrid;
    const cplx s(0.0, w * rate);
    const cplx divider = (((n[3] * s + n[2]) * s + n[1]) * s + n[0]) /
                         (((m[3] * s + m[2]) * s + m[1]) * s + m[0]);
    const cplx section = divider / resonance.response(w);
    const double x = (w / std::numbers::pi - kFadeStart) / (1.0 - kFadeStart);
    const double fade =
        x <= 0.0 ? 1.0 : 0.5 * (1.0 + std::cos(std::numbers::pi * std::min(1.0, x)));
    target[k] = std::polar(std::abs(section), std::arg(section) * fade - w * delay);
  }
  for (size_t t = 0; t < kTaps; ++t) {
    // h[t] = (1/N) sum over the whole circle; the upper half mirrors the lower.
    const cplx rot = std::polar(1.0, 2.0 * std::numbers::pi * static_cast<double>(t) / kGrid);
    cplx w = rot;
    double sum = target[0].real();
    for (int k = 1; k < kGrid / 2; ++k) {
      sum += 2.0 * (target[k] * w).real();
      w *= rot;
    }
    sum += (target[kGrid / 2] * std::polar(1.0, std::numbers::pi * static_cast<double>(t))).real();
    taps[t] = sum / kGrid;
  }
}

}  // namespace

void ImpedanceJigModel::design(double rate, double seriesOhm) {
  rate_ = rate;
  constexpr double re = DriverModel::kRe;
  constexpr double le = DriverModel::kLe;
  constexpr double qms = DriverModel::kQms;
  const double ws = 2.0 * std::numbers::pi * DriverModel::kFs;
  const double res = re * qms / DriverModel::kQes;
  // Z = N / D with D = s^2 + (ws/Qms) s + ws^2 and
  // N = (Re + s Le) D + Res (ws/Qms) s; the divider is N / (N + R D).
  const double d1 = ws / qms;
  const double d0 = ws * ws;
  const std::array<double, 4> n = {re * d0, re * d1 + le * d0 + res * d1, re + le * d1, le};
  const std::array<double, 4> m = {n[0] + seriesOhm * d0, n[1] + seriesOhm * d1,
                                   n[2] + seriesOhm, n[3]};
  // Both cubics share the leading coefficient Le, so the divider splits into
  // (s - zn)/(s - zm) from the voice coil times a ratio of monic quadratics
  // around the resonance.
  const double zn = realRoot(n);
  const double zm = realRoot(m);
  const std::array<double, 2> qn = deflate(n, zn);
  const std::array<double, 2> qm = deflate(m, zm);
  resonance_ = bilinearQuadratic(qn[1], qn[0], qm[1], qm[0], ws, rate);
  designCoilFir(n, m, resonance_, rate, kDelayFrames, coil_);
  clear();
}

void ImpedanceJigModel::clear() {
  resonance_.clear();
  resonated_.fill(0.0);
  raw_.fill(0.0);
  pos_ = 0;
}

void ImpedanceJigModel::process(double x, double& left, double& right) {
  pos_ = (pos_ + 1) & (kHistory - 1);
  raw_[pos_] = x;
  resonated_[pos_] = resonance_.process(x);
  double sum = 0.0;
  for (int n = 0; n < kCoilTaps; ++n) sum += coil_[n] * resonated_[(pos_ - n) & (kHistory - 1)];
  right = kInputScale * sum;
  left = kInputScale * raw_[(pos_ - kDelayFrames) & (kHistory - 1)];
}

std::complex<double> ImpedanceJigModel::response(double freqHz) const {
  const double w = 2.0 * std::numbers::pi * freqHz / rate_;
  cplx fir = 0.0;
  for (int n = 0; n < kCoilTaps; ++n) fir += coil_[n] * std::polar(1.0, -w * n);
  // Relative to the left output, which is delayed by kDelayFrames.
  return resonance_.response(w) * fir * std::polar(1.0, w * kDelayFrames);
}

void GaussianNoise::reseed(uint64_t seed) {
  // splitmix64 spreads the seed over the generator's state.
  for (uint64_t& s : s_) {
    seed += 0x9e3779b97f4a7c15ull;
    uint64_t z = seed;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    s = z ^ (z >> 31);
  }
  hasSpare_ = false;
}

uint64_t GaussianNoise::nextBits() {
  // xoshiro256**
  const uint64_t result = std::rotl(s_[1] * 5, 7) * 9;
  const uint64_t t = s_[1] << 17;
  s_[2] ^= s_[0];
  s_[3] ^= s_[1];
  s_[1] ^= s_[2];
  s_[0] ^= s_[3];
  s_[2] ^= t;
  s_[3] = std::rotl(s_[3], 45);
  return result;
}

double GaussianNoise::uniform() {
  return (static_cast<double>(nextBits() >> 11) + 0.5) * 0x1.0p-53;
}

double GaussianNoise::next() {
  // Box-Muller: two independent normal values per pair of uniforms.
  if (hasSpare_) {
    hasSpare_ = false;
    return spare_;
  }
  const double r = std::sqrt(-2.0 * std::log(uniform()));
  const double a = 2.0 * std::numbers::pi * uniform();
  spare_ = r * std::sin(a);
  hasSpare_ = true;
  return r * std::cos(a);
}

int16_t SoundCardModel::toPcm(double v) {
  const double r = std::round(v);
  return static_cast<int16_t>(std::clamp(r, -32768.0, 32767.0));
}
