// Speed of the exact grid evaluation on the program's frequency grid at
// 44.1 kHz (911 points below half the rate), one and two channels, against
// the 8192-point FFT with interpolation onto the grid that it replaces.

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "analysis/fft.h"
#include "analysis/frequency_response.h"
#include "analysis/grid_dft.h"
#include "setup/meas_setup.h"

namespace {

constexpr int32_t kRate = 44100;

std::vector<double> decayingNoise(int32_t m, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> x(m);
  double g = 1.0;
  for (double& v : x) {
    v = g * u(rng);
    g *= 0.9995;
  }
  return x;
}

void BM_GridDftOneChannel(benchmark::State& st) {
  const auto m = static_cast<int32_t>(st.range(0));
  MeasSetup setup;
  auto dft = std::make_unique<GridDft>(setup.freqGrid);
  const std::vector<double> x = decayingNoise(m, 1);
  ComplexCurve out{};
  for (auto _ : st) {
    benchmark::DoNotOptimize(dft->evaluate(x.data(), m, kRate, out));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_GridDftOneChannel)->Arg(8192)->Arg(32768)->Unit(benchmark::kMillisecond);

void BM_GridDftTwoChannels(benchmark::State& st) {
  const auto m = static_cast<int32_t>(st.range(0));
  MeasSetup setup;
  auto dft = std::make_unique<GridDft>(setup.freqGrid);
  const std::vector<double> x0 = decayingNoise(m, 1);
  const std::vector<double> x1 = decayingNoise(m, 2);
  ComplexCurve out0{}, out1{};
  for (auto _ : st) {
    benchmark::DoNotOptimize(dft->evaluate2(x0.data(), x1.data(), m, kRate, out0, out1));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_GridDftTwoChannels)->Arg(8192)->Arg(32768)->Unit(benchmark::kMillisecond);

// What the response computation does today per channel: an 8192-point FFT of
// the windowed response, then linear interpolation between bins.
void BM_Fft8192ToGrid(benchmark::State& st) {
  const auto channels = static_cast<int>(st.range(0));
  MeasSetup setup;
  auto fft = std::make_unique<Fft>(kResponseFftSize);
  std::vector<Complex> in(kResponseFftSize), fftOut(kResponseFftSize);
  const std::vector<double> x = decayingNoise(kResponseFftSize, 1);
  for (int i = 0; i < kResponseFftSize; ++i) in[i] = Complex(x[i], 0.0);
  ComplexCurve out{};
  for (auto _ : st) {
    for (int ch = 0; ch < channels; ++ch) {
      fft->transform(in.data(), fftOut.data(), false);
      spectrumToGrid(fftOut.data(), kRate, setup.freqGrid, out);
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Fft8192ToGrid)->ArgName("channels")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace
