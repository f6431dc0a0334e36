#include "analysis/driver_params.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstddef>
#include <numbers>

namespace {

using cplx = std::complex<double>;
constexpr double kPi = std::numbers::pi;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

constexpr double kOpenCircuitOhm = 1000.0;  // no driver's impedance stays above this
constexpr double kFlatRatio = 1.15;         // max |Z| / min |Z| of a plain resistor
constexpr double kMinPeakRatio = 1.5;       // Zmax / Re of the weakest resonance taken
constexpr double kSideFall = 0.8;           // a peak falls at least this far on each side
constexpr double kMaxResidual = 0.25;       // beyond this the model does not describe the curve
constexpr double kBandBelow = 3.0;          // the band: fs / 3 ..
constexpr double kBandAbove = 8.0;          // .. 8 fs, where the voice coil shows
constexpr double kMinFrequencyRatio = 1.005;
constexpr double kRefPressure = 20e-6;  // Pa, 0 dB SPL

// The fit's unknowns, in this order; fs and Qms by their logarithms so that
// they stay positive and their steps are relative.
enum Param : int { pRe, pLe, pRes, pLnFs, pLnQms, kParams };
using Vec = std::array<double, kParams>;
using Mat = std::array<Vec, kParams>;

struct Model {
  double re, le, res, fs, qms;
  Vec theta() const { return {re, le, res, std::log(fs), std::log(qms)}; }
  static Model from(const Vec& t) { return {t[pRe], t[pLe], t[pRes], std::exp(t[pLnFs]), std::exp(t[pLnQms])}; }
};

// Z at freqHz and, when d is given, its derivative by each unknown.
cplx evaluate(const Model& m, double freqHz, std::array<cplx, kParams>* d = nullptr) {
  const double w = kTwoPi * freqHz;
  const double u = freqHz / m.fs;
  const cplx x(0.0, u / m.qms);
  const cplx den = 1.0 - u * u + x;
  const cplx motional = x / den;
  if (d != nullptr) {
    const cplx den2 = den * den;
    (*d)[pRe] = 1.0;
    (*d)[pLe] = cplx(0.0, w);
    (*d)[pRes] = motional;
    (*d)[pLnFs] = -m.res * x * (1.0 + u * u) / den2;
    (*d)[pLnQms] = -m.res * x * (1.0 - u * u) / den2;
  }
  return cplx(m.re, w * m.le) + m.res * motional;
}

cplx toStd(const Complex& c) { return {c.re, c.im}; }

// The points of the band: [first, last) of the caller's spans.
struct Band {
  std::span<const double> f;
  std::span<const Complex> z;
};

// Sum over the band of |Zmodel - Z|^2 / |Z|^2.
double cost(const Model& m, const Band& b) {
  double sum = 0.0;
  for (size_t k = 0; k < b.f.size(); ++k) {
    const cplx zm = toStd(b.z[k]);
    sum += std::norm(evaluate(m, b.f[k]) - zm) / std::norm(zm);
  }
  return sum;
}

// Solves (A + lambda diag(A)) x = -g over the free unknowns by Cholesky on
// the matrix scaled to a unit diagonal (Marquardt's scaling, so that ohm and
// henry steps are alike). False when the matrix is not positive definite.
bool dampedStep(const Mat& a, const Vec& g, const std::array<bool, kParams>& free, double lambda,
                Vec& step) {
  std::array<int, kParams> idx{};
  int n = 0;
  for (int i = 0; i < kParams; ++i)
    if (free[i]) idx[n++] = i;
  Vec scale{};
  for (int i = 0; i < n; ++i) {
    const double d = a[idx[i]][idx[i]];
    if (!(d > 0.0)) return false;
    scale[i] = 1.0 / std::sqrt(d);
  }
  Mat l{};
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j <= i; ++j) {
      double s = a[idx[i]][idx[j]] * scale[i] * scale[j] + (i == j ? lambda : 0.0);
      for (int k = 0; k < j; ++k) s -= l[i][k] * l[j][k];
      if (i == j) {
        if (!(s > 0.0)) return false;
        l[i][i] = std::sqrt(s);
      } else {
        l[i][j] = s / l[j][j];
      }
    }
  }
  Vec y{};
  for (int i = 0; i < n; ++i) {
    double s = -g[idx[i]] * scale[i];
    for (int k = 0; k < i; ++k) s -= l[i][k] * y[k];
    y[i] = s / l[i][i];
  }
  Vec x{};
  for (int i = n - 1; i >= 0; --i) {
    double s = y[i];
    for (int k = i + 1; k < n; ++k) s -= l[k][i] * x[k];
    x[i] = s / l[i][i];
  }
  step.fill(0.0);
  for (int i = 0; i < n; ++i) step[idx[i]] = x[i] * scale[i];
  return true;
}

// Levenberg-Marquardt from m over the band, with the unknowns not free held.
// Returns the final cost.
double levenbergMarquardt(Model& m, const Band& b, const std::array<bool, kParams>& free) {
  double c = cost(m, b);
  double lambda = 1e-3;
  for (int iter = 0; iter < 200; ++iter) {
    Mat a{};
    Vec g{};
    for (size_t k = 0; k < b.f.size(); ++k) {
      std::array<cplx, kParams> d;
      const cplx zm = toStd(b.z[k]);
      const cplx r = evaluate(m, b.f[k], &d) - zm;
      const double w = 1.0 / std::norm(zm);
      for (int i = 0; i < kParams; ++i) {
        g[i] += w * (std::conj(d[i]) * r).real();
        for (int j = 0; j <= i; ++j) a[i][j] += w * (std::conj(d[i]) * d[j]).real();
      }
    }
    for (int i = 0; i < kParams; ++i)
      for (int j = i + 1; j < kParams; ++j) a[i][j] = a[j][i];

    bool improved = false;
    double newCost = c;
    while (lambda < 1e12) {
      Vec step;
      if (dampedStep(a, g, free, lambda, step)) {
        Vec t = m.theta();
        for (int i = 0; i < kParams; ++i) t[i] += step[i];
        const Model trial = Model::from(t);
        newCost = cost(trial, b);
        if (std::isfinite(newCost) && newCost < c) {
          m = trial;
          improved = true;
          lambda = std::max(lambda / 3.0, 1e-12);
          break;
        }
      }
      lambda *= 4.0;
    }
    if (!improved) break;
    const bool settled = c - newCost <= 1e-12 * c;
    c = newCost;
    if (settled) break;
  }
  return c;
}

// Where |Z| crosses `level` between (f0, m0) and (f1, m1), linearly in log f.
double crossingHz(double f0, double m0, double f1, double m1, double level) {
  if (m0 == m1) return f0;
  const double t = std::clamp((level - m0) / (m1 - m0), 0.0, 1.0);
  return std::exp(std::log(f0) + t * (std::log(f1) - std::log(f0)));
}

// The classic estimates from the curve: Re as its smallest |Z|, the
// resonance as described for fitElectrical.
struct Estimates {
  ParamsStatus status = ParamsStatus::noResonance;
  Model model{};
  double zMax = 0.0;
};

Estimates classicEstimates(std::span<const double> f, std::span<const Complex> z) {
  Estimates e;
  const size_t n = f.size();
  double minMag = abs(z[0]);
  for (size_t k = 0; k < n; ++k) minMag = std::min(minMag, abs(z[k]));
  const double re = minMag;
  // Humps that run off an end of the range are set aside one by one; the
  // voice coil's rise at the top is one, a resonance below the range another.
  constexpr int kAttempts = 16;
  std::array<size_t, kAttempts> asideLo{}, asideHi{};
  int aside = 0;
  auto setAside = [&](size_t k) {
    for (int i = 0; i < aside; ++i)
      if (k >= asideLo[i] && k <= asideHi[i]) return true;
    return false;
  };
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    size_t p = n;
    for (size_t k = 0; k < n; ++k)
      if (!setAside(k) && (p == n || abs(z[k]) > abs(z[p]))) p = k;
    if (p == n) return e;
    const double peak = abs(z[p]);
    if (peak < kMinPeakRatio * re) return e;
    const double level = std::sqrt(re * peak);
    // Walk down each side until |Z| falls below the level, an end of the
    // range or a hump set aside; a side that never gets there must at
    // least fall clearly, so that a flank of a hump set aside is no peak.
    size_t lo = p, hi = p;
    double leftMin = peak, rightMin = peak;
    bool fallsLeft = false, fallsRight = false;
    while (lo > 0 && !setAside(lo - 1)) {
      --lo;
      leftMin = std::min(leftMin, abs(z[lo]));
      if (abs(z[lo]) < level) {
        fallsLeft = true;
        break;
      }
    }
    while (hi + 1 < n && !setAside(hi + 1)) {
      ++hi;
      rightMin = std::min(rightMin, abs(z[hi]));
      if (abs(z[hi]) < level) {
        fallsRight = true;
        break;
      }
    }
    const bool peakLeft = fallsLeft || leftMin < kSideFall * peak;
    const bool peakRight = fallsRight || rightMin < kSideFall * peak;
    if (!(fallsLeft || fallsRight) || !peakLeft || !peakRight || p == 0 || p + 1 >= n) {
      asideLo[aside] = lo;
      asideHi[aside] = hi;
      ++aside;
      continue;
    }
    // fs from a parabola through the peak and its neighbours, in log f.
    double fs = f[p];
    {
      const double x0 = std::log(f[p - 1]), x1 = std::log(f[p]), x2 = std::log(f[p + 1]);
      const double y0 = abs(z[p - 1]), y1 = peak, y2 = abs(z[p + 1]);
      const double denom = (x0 - x1) * (x0 - x2) * (x1 - x2);
      const double a = (x2 * (y1 - y0) + x1 * (y0 - y2) + x0 * (y2 - y1)) / denom;
      const double b = (x2 * x2 * (y0 - y1) + x1 * x1 * (y2 - y0) + x0 * x0 * (y1 - y2)) / denom;
      if (a < 0.0) fs = std::exp(std::clamp(-b / (2.0 * a), x0, x2));
    }
    double f1 = fallsLeft ? crossingHz(f[lo], abs(z[lo]), f[lo + 1], abs(z[lo + 1]), level) : 0.0;
    double f2 = fallsRight ? crossingHz(f[hi - 1], abs(z[hi - 1]), f[hi], abs(z[hi]), level) : 0.0;
    if (!fallsLeft) f1 = fs * fs / f2;
    if (!fallsRight) f2 = fs * fs / f1;
    if (!(f2 > f1)) return e;
    const double r0 = peak / re;
    const double qms = fs * std::sqrt(r0) / (f2 - f1);
    e.status = ParamsStatus::ok;
    e.model = {re, 0.0, peak - re, fs, qms};
    e.zMax = peak;
    return e;
  }
  return e;
}

bool finitePositive(double x) { return std::isfinite(x) && x > 0.0; }

}  // namespace

const char* paramsStatusText(ParamsStatus status) {
  switch (status) {
    case ParamsStatus::ok: return "";
    case ParamsStatus::noCurve: return "No impedance curve.";
    case ParamsStatus::tooFewPoints: return "Too few points of the curve for a fit.";
    case ParamsStatus::openCircuit: return "Open circuit: no driver is connected.";
    case ParamsStatus::flat: return "Flat curve: a resistor, not a driver.";
    case ParamsStatus::noResonance: return "No resonance in the measured range.";
    case ParamsStatus::reDcTooHigh: return "Re (DC) must lie below the impedance peak.";
    case ParamsStatus::fitFailed: return "The driver model does not fit this curve.";
    case ParamsStatus::badInput: return "Enter the added mass or box volume, and Sd.";
    case ParamsStatus::notLower: return "The curve with the added mass must have a lower fs.";
    case ParamsStatus::notHigher: return "The curve in the box must have a higher fs.";
  }
  return "";
}

ElectricalFit fitElectrical(std::span<const double> freqHz, std::span<const Complex> z,
                            double reDcOhm) {
  ElectricalFit out;
  const size_t n = std::min(freqHz.size(), z.size());
  if (n == 0) return out;
  out.status = ParamsStatus::tooFewPoints;
  if (n < static_cast<size_t>(kMinFitPoints)) return out;
  double minMag = abs(z[0]), maxMag = abs(z[0]);
  for (size_t k = 0; k < n; ++k) {
    if (!isFinite(z[k]) || !(freqHz[k] > 0.0)) {
      out.status = ParamsStatus::openCircuit;
      return out;
    }
    minMag = std::min(minMag, abs(z[k]));
    maxMag = std::max(maxMag, abs(z[k]));
  }
  if (minMag > kOpenCircuitOhm) {
    out.status = ParamsStatus::openCircuit;
    return out;
  }
  if (!(minMag > 0.0) || maxMag < kFlatRatio * minMag) {
    out.status = ParamsStatus::flat;
    return out;
  }
  const Estimates est = classicEstimates(freqHz.first(n), z.first(n));
  if (est.status != ParamsStatus::ok) {
    out.status = est.status;
    return out;
  }
  const bool holdRe = reDcOhm > 0.0;
  if (holdRe && !(reDcOhm < est.zMax)) {
    out.status = ParamsStatus::reDcTooHigh;
    return out;
  }

  // The band around the resonance.
  const double bandLow = std::max(freqHz[0], est.model.fs / kBandBelow);
  const double bandHigh = std::min(freqHz[n - 1], est.model.fs * kBandAbove);
  size_t first = 0;
  while (first < n && freqHz[first] < bandLow) ++first;
  size_t last = first;
  while (last < n && freqHz[last] <= bandHigh) ++last;
  if (last - first < static_cast<size_t>(kMinFitPoints)) return out;  // tooFewPoints
  const Band band{freqHz.subspan(first, last - first), z.subspan(first, last - first)};

  Model m = est.model;
  if (holdRe) {
    m.re = reDcOhm;
    m.res = est.zMax - reDcOhm;
  }
  // Le from the top of the band, where the motional part has almost gone.
  {
    const double fTop = band.f.back();
    const cplx rest = toStd(band.z.back()) - evaluate({m.re, 0.0, m.res, m.fs, m.qms}, fTop);
    m.le = std::max(0.0, rest.imag() / (kTwoPi * fTop));
  }
  std::array<bool, kParams> free = {!holdRe, true, true, true, true};
  double c = levenbergMarquardt(m, band, free);
  if (m.le < 0.0) {
    m.le = 0.0;
    free[pLe] = false;
    c = levenbergMarquardt(m, band, free);
  }

  out.status = ParamsStatus::fitFailed;
  const double residual = std::sqrt(c / static_cast<double>(band.f.size()));
  if (!finitePositive(m.re) || !finitePositive(m.res) || !finitePositive(m.fs) ||
      !finitePositive(m.qms) || !std::isfinite(m.le) || !(residual <= kMaxResidual))
    return out;
  if (m.fs < band.f.front() || m.fs > band.f.back()) return out;

  ElectricalParams& p = out.params;
  p.reOhm = m.re;
  p.fsHz = m.fs;
  p.resOhm = m.res;
  p.qms = m.qms;
  p.qes = m.qms * m.re / m.res;
  p.qts = p.qms * p.qes / (p.qms + p.qes);
  p.leH = m.le;
  p.zMaxOhm = std::abs(evaluate(m, m.fs));
  p.residual = residual;
  p.bandLowHz = band.f.front();
  p.bandHighHz = band.f.back();
  p.reFromDc = holdRe;
  out.status = ParamsStatus::ok;
  return out;
}

Complex modelImpedance(const ElectricalParams& p, double freqHz) {
  const cplx z = evaluate({p.reOhm, p.leH, p.resOhm, p.fsHz, p.qms}, freqHz);
  return {z.real(), z.imag()};
}

bool mechanicalInputsComplete(const MechanicalInputs& in) {
  switch (in.method) {
    case MechMethod::none: return true;
    case MechMethod::addedMass: return finitePositive(in.addedMassG) && finitePositive(in.sdCm2);
    case MechMethod::closedBox: return finitePositive(in.boxLitres);
  }
  return false;
}

MechanicalResult mechanicalParams(const ElectricalParams& free, const ElectricalParams& second,
                                  const MechanicalInputs& in) {
  MechanicalResult out;
  if (in.method == MechMethod::none) return out;
  out.status = ParamsStatus::badInput;
  if (!mechanicalInputsComplete(in)) return out;
  const bool haveSd = finitePositive(in.sdCm2);
  const double sd = in.sdCm2 * 1e-4;
  const double ws = kTwoPi * free.fsHz;
  MechanicalParams& p = out.params;
  if (in.method == MechMethod::addedMass) {
    const double ratio = free.fsHz / second.fsHz;
    if (!(ratio > kMinFrequencyRatio)) {
      out.status = ParamsStatus::notLower;
      return out;
    }
    p.mmsKg = in.addedMassG * 1e-3 / (ratio * ratio - 1.0);
    p.cmsMPerN = 1.0 / (ws * ws * p.mmsKg);
    p.vasM3 = kAirDensity * kSoundSpeed * kSoundSpeed * sd * sd * p.cmsMPerN;
  } else {
    const double ratio = second.fsHz / free.fsHz;
    if (!(ratio > kMinFrequencyRatio)) {
      out.status = ParamsStatus::notHigher;
      return out;
    }
    const double vb = in.boxLitres * 1e-3;
    p.vasM3 = vb * (second.fsHz * second.qes / (free.fsHz * free.qes) - 1.0);
    if (!finitePositive(p.vasM3)) {
      out.status = ParamsStatus::notHigher;
      return out;
    }
    if (haveSd) {
      p.cmsMPerN = p.vasM3 / (kAirDensity * kSoundSpeed * kSoundSpeed * sd * sd);
      p.mmsKg = 1.0 / (ws * ws * p.cmsMPerN);
    }
  }
  p.haveVas = finitePositive(p.vasM3);
  p.haveMass = finitePositive(p.mmsKg);
  if (p.haveMass) {
    p.rmsKgPerS = ws * p.mmsKg / free.qms;
    p.blTm = std::sqrt(ws * p.mmsKg * free.reOhm / free.qes);
  }
  if (p.haveVas) {
    const double c3 = kSoundSpeed * kSoundSpeed * kSoundSpeed;
    p.eta0 = 4.0 * kPi * kPi * free.fsHz * free.fsHz * free.fsHz * p.vasM3 / (c3 * free.qes);
    p.splDb = 10.0 * std::log10(p.eta0 * kAirDensity * kSoundSpeed /
                                (2.0 * kPi * kRefPressure * kRefPressure));
  }
  out.status = ParamsStatus::ok;
  return out;
}

DriverParams driverParams(std::span<const double> freqHz, std::span<const Complex> z,
                          std::span<const double> secondFreqHz, std::span<const Complex> secondZ,
                          double reDcOhm, const MechanicalInputs& inputs) {
  DriverParams d;
  d.method = inputs.method;
  const ElectricalFit first = fitElectrical(freqHz, z, reDcOhm);
  d.status = first.status;
  if (first.status != ParamsStatus::ok) return d;
  d.electrical = first.params;
  if (inputs.method == MechMethod::none) return d;
  const ElectricalFit second = fitElectrical(secondFreqHz, secondZ, reDcOhm);
  if (second.status != ParamsStatus::ok) {
    d.mechStatus = second.status;
    return d;
  }
  const MechanicalResult mech = mechanicalParams(first.params, second.params, inputs);
  d.mechStatus = mech.status;
  if (mech.status == ParamsStatus::ok) d.mechanical = mech.params;
  return d;
}
