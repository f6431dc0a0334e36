// Speed of the driver model's fit: one impedance curve of the program's grid
// over the window's default range (20 Hz .. 20 kHz, 750 points), the
// simulated driver's parameters with 0.3 % of noise; and the whole result of
// the added-mass method (two fits and the mechanical side).

#include <benchmark/benchmark.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "analysis/driver_params.h"
#include "setup/meas_setup.h"

namespace {

struct Curve {
  std::vector<double> f;
  std::vector<Complex> z;
};

// Re 6 ohm, Le 0.4 mH, Qms 3.5, Qes 0.45 at fs.
Curve driverCurve(double fs, double qScale, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> noise(0.0, 0.002);
  Curve c;
  const double re = 6.0, le = 0.4e-3, qms = 3.5 * qScale, qes = 0.45 * qScale, res = re * qms / qes;
  for (int i = 0; i < kGridPoints; ++i) {
    const double f = gridFrequency(i);
    if (f < 20.0 || f > 20000.0) continue;
    const double w = 2 * std::numbers::pi * f, ws = 2 * std::numbers::pi * fs;
    const std::complex<double> x(0.0, w / (ws * qms));
    std::complex<double> z = std::complex<double>(re, w * le) + res * x / (1.0 - (w / ws) * (w / ws) + x);
    z *= std::complex<double>(1.0 + noise(rng), noise(rng));
    c.f.push_back(f);
    c.z.emplace_back(z.real(), z.imag());
  }
  return c;
}

void BM_FitOneCurve(benchmark::State& state) {
  const Curve c = driverCurve(45.0, 1.0, 1);
  for (auto _ : state) {
    ElectricalFit r = fitElectrical(c.f, c.z);
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_FitOneCurve)->Unit(benchmark::kMillisecond);

void BM_AddedMassParameters(benchmark::State& state) {
  const Curve free = driverCurve(45.0, 1.0, 1);
  const double k = std::sqrt(1.5);  // 10 g on 20 g
  const Curve heavy = driverCurve(45.0 / k, k, 2);
  const MechanicalInputs in{MechMethod::addedMass, 10.0, 220.0, 0.0};
  for (auto _ : state) {
    DriverParams r = driverParams(free.f, free.z, heavy.f, heavy.z, 0.0, in);
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_AddedMassParameters)->Unit(benchmark::kMillisecond);

}  // namespace
