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

DriverModel::Electrical DriverModel::withAddedMass(double addedMassKg) {
  // sqrt(1) is exactly 1, so without a mass every value is the constant.
  const double scale = std::sqrt((kMmsKg + addedMassKg) / kMmsKg);
  return {kRe, kLe, kFs / scale, kQms * scale, kQes * scale, kRe * kQms / kQes};
}

std::complex<double> DriverModel::impedance(double freqHz, double addedMassKg) {
  const Electrical d = withAddedMass(addedMassKg);
  const double w = 2.0 * std::numbers::pi * freqHz;
  const double ws = 2.0 * std::numbers::pi * d.fs;
  const cplx jx(0.0, w / (ws * d.qms));
  const cplx motional = d.res * jx / (1.0 - (w / ws) * (w / ws) + jx);
  return cplx(d.re, w * d.le) + motional;
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

// The digital image of the monic quadratic s^2 + c1 s + c0 under z = e^(sT):
// 1 + d[0] z^-1 + d[1] z^-2 with roots e^(rT) for the quadratic's roots r,
// real or a complex pair.
std::array<double, 2> matchedQuadratic(double c1, double c0, double rate) {
  const double t = 1.0 / rate;
  const double disc = 0.25 * c1 * c1 - c0;
  const double decay = std::exp(-0.5 * c1 * t);
  const double spread =
      disc >= 0.0 ? std::cosh(std::sqrt(disc) * t) : std::cos(std::sqrt(-disc) * t);
  return {-2.0 * decay * spread, decay * decay};
}

// (s^2 + n1 s + n0) / (s^2 + m1 s + m0) with its poles and zeros mapped
// exactly by z = e^(sT), and its gain at DC kept. Unlike the bilinear
// transform, this leaves the resonance where it is at every rate; what
// differs from the analog section is a gentle tilt over the whole band with
// no narrow feature at the resonance, which a short FIR filter can take out.
Biquad matchedSection(double n1, double n0, double m1, double m0, double rate) {
  const std::array<double, 2> zeros = matchedQuadratic(n1, n0, rate);
  const std::array<double, 2> poles = matchedQuadratic(m1, m0, rate);
  const double g = (n0 / m0) * (1.0 + poles[0] + poles[1]) / (1.0 + zeros[0] + zeros[1]);
  return normalised(g, g * zeros[0], g * zeros[1], 1.0, poles[0], poles[1]);
}

// Solves the symmetric positive definite Toeplitz system T x = b, T[i][j] =
// r[|i - j|], by Levinson's recursion, in place of b; `f` and `g` are scratch.
// O(n^2) time and no matrix in memory.
template <size_t kN>
void solveToeplitz(const std::array<long double, kN>& r, std::array<long double, kN>& b,
                   std::array<long double, kN>& f, std::array<long double, kN>& g) {
  std::array<long double, kN>& x = g;  // the solution grows here, f is the forward vector
  std::array<long double, kN> prev{};
  f[0] = 1.0L / r[0];
  x[0] = b[0] / r[0];
  for (size_t n = 1; n < kN; ++n) {
    // Forward vector of order n + 1 from that of order n (the backward one is
    // its mirror, the matrix being symmetric).
    long double ef = 0.0L;
    for (size_t i = 0; i < n; ++i) ef += r[n - i] * f[i];
    const long double scale = 1.0L / (1.0L - ef * ef);
    for (size_t i = 0; i < n; ++i) prev[i] = f[i];
    for (size_t i = 0; i <= n; ++i) {
      const long double fwd = i < n ? prev[i] : 0.0L;
      const long double bwd = i > 0 ? prev[n - i] : 0.0L;
      f[i] = scale * (fwd - ef * bwd);
    }
    // The solution of order n + 1: add the backward vector times the error.
    long double ex = 0.0L;
    for (size_t i = 0; i < n; ++i) ex += r[n - i] * x[i];
    x[n] = 0.0L;
    const long double c = b[n] - ex;
    for (size_t i = 0; i <= n; ++i) x[i] += c * f[n - i];
  }
  b = x;
}

// Taps of an FIR filter whose response, times that of the digital resonance
// section, follows the analog divider n(s)/m(s) delayed by `delay` samples,
// fitted by weighted least squares on a dense grid: logarithmic from 10 Hz to
// 0.4 x the rate, where the resonance needs fine steps, plus linear, where the
// voice coil's part changes. The weight makes the error count relative to
// Z rather than to the divider (an error in H shows in Z = R H / (1 - H)
// enlarged by 1 / (1 - H), most near the top of the band, where H tends to 1).
// Above 0.4 x the rate a light weight keeps the response near the divider's
// magnitude, its phase faded to zero towards the Nyquist frequency, where a
// real filter's response must be real; without it the fit would be free to
// swing there. Dividing by the resonance section's own response also takes
// out what the section's mapping leaves in it.
template <size_t kTaps>
void designCoilFir(const std::array<double, 4>& n, const std::array<double, 4>& m,
                   const Biquad& resonance, double rate, int delay,
                   std::array<double, kTaps>& taps) {
  constexpr int kLogPoints = 1600;
  constexpr int kLinearPoints = 800;
  constexpr int kOuterPoints = 200;
  constexpr double kOuterWeight = 0.01;
  constexpr double kFadeStart = 0.84;      // as a fraction of the Nyquist frequency
  constexpr long double kRidge = 1e-9L;    // relative, keeps the system well conditioned
  const double low = 10.0;
  const double top = 0.4 * rate;

  // Normal equations: sum over the grid of weight * |sum_t h[t] e^(-jwt) - target|^2
  // is least where sum_u h[u] corr[|t - u|] = cross[t].
  std::array<long double, kTaps> corr{}, cross{};
  auto addPoint = [&](double freqHz, bool inBand) {
    const double w = 2.0 * std::numbers::pi * freqHz / rate;
    const cplx s(0.0, 2.0 * std::numbers::pi * freqHz);
    const cplx divider = (((n[3] * s + n[2]) * s + n[1]) * s + n[0]) /
                         (((m[3] * s + m[2]) * s + m[1]) * s + m[0]);
    const cplx section = divider / resonance.response(w);
    const double x = (w / std::numbers::pi - kFadeStart) / (1.0 - kFadeStart);
    const double fade =
        x <= 0.0 ? 1.0 : 0.5 * (1.0 + std::cos(std::numbers::pi * std::min(1.0, x)));
    const cplx target = std::polar(std::abs(section), std::arg(section) * fade - w * delay);
    const long double weight = inBand ? 1.0 / std::norm(divider * (1.0 - divider))
                                      : kOuterWeight / std::norm(divider);
    const std::complex<long double> rot(std::cos(static_cast<long double>(w)),
                                        std::sin(static_cast<long double>(w)));
    const std::complex<long double> t(target.real(), target.imag());
    std::complex<long double> e = 1.0L;  // e^(jwd)
    for (size_t d = 0; d < kTaps; ++d) {
      corr[d] += weight * e.real();
      cross[d] += weight * (t * e).real();
      e *= rot;
    }
  };
  for (int k = 0; k < kLogPoints; ++k)
    addPoint(low * std::pow(top / low, k / (kLogPoints - 1.0)), true);
  for (int k = 0; k < kLinearPoints; ++k)
    addPoint(low + (top - low) * k / (kLinearPoints - 1.0), true);
  for (int k = 1; k <= kOuterPoints; ++k)
    addPoint(top + (0.5 * rate - top) * k / kOuterPoints, false);
  corr[0] *= 1.0L + kRidge;

  std::array<long double, kTaps> f{}, g{};
  solveToeplitz(corr, cross, f, g);
  for (size_t t = 0; t < kTaps; ++t) taps[t] = static_cast<double>(cross[t]);
}

}  // namespace

void ImpedanceJigModel::design(double rate, double seriesOhm, double addedMassKg) {
  rate_ = rate;
  const DriverModel::Electrical d = DriverModel::withAddedMass(addedMassKg);
  const double re = d.re;
  const double le = d.le;
  const double qms = d.qms;
  const double ws = 2.0 * std::numbers::pi * d.fs;
  const double res = d.res;
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
  resonance_ = matchedSection(qn[1], qn[0], qm[1], qm[0], rate);
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
