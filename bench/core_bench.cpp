// Speed of the measurement core: table construction, deconvolution, FFT (with
// FFTW's transform of the same size as a yardstick) and the frequency response.

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <memory>
#include <random>

#include "analysis/fft.h"
#include "analysis/frequency_response.h"
#include "app/app_state.h"

namespace {

std::unique_ptr<AppState> stateWithOrder(int order) {
  auto s = std::make_unique<AppState>();
  s->setup.setMlsOrder(order - 12);
  buildMlsTables(s->setup, s->mls);
  std::mt19937 rng(1);
  std::uniform_int_distribution<int> u(-20000, 20000);
  for (auto& v : s->recBuffer.samples) v = static_cast<int16_t>(u(rng));
  return s;
}

void BM_BuildMlsTables(benchmark::State& st) {
  auto s = stateWithOrder(static_cast<int>(st.range(0)));
  for (auto _ : st) {
    buildMlsTables(s->setup, s->mls);
    benchmark::DoNotOptimize(s->mls.outputPerm.data());
  }
}
BENCHMARK(BM_BuildMlsTables)->Arg(15)->Unit(benchmark::kMillisecond);

void BM_DeconvolveChannel(benchmark::State& st) {
  auto s = stateWithOrder(static_cast<int>(st.range(0)));
  for (auto _ : st) {
    deconvolveChannel(s->setup, s->mls, s->recBuffer, s->impulse, 0, 2000);
    benchmark::DoNotOptimize(s->impulse.x[0].data());
  }
}
BENCHMARK(BM_DeconvolveChannel)->Arg(12)->Arg(15)->Unit(benchmark::kMicrosecond);

void BM_Fft8192Forward(benchmark::State& st) {
  auto fft = std::make_unique<Fft>(8192);
  std::vector<Complex> in(8192), out(8192);
  for (int i = 0; i < 8192; ++i) in[i] = Complex(std::sin(i * 0.01), std::cos(i * 0.003));
  for (auto _ : st) {
    fft->transform(in.data(), out.data(), false);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_Fft8192Forward)->Unit(benchmark::kMicrosecond);

void BM_Fftw8192Forward(benchmark::State& st) {
  fftw_complex* in = fftw_alloc_complex(8192);
  fftw_complex* out = fftw_alloc_complex(8192);
  fftw_plan plan = fftw_plan_dft_1d(8192, in, out, FFTW_FORWARD, FFTW_MEASURE);
  for (int i = 0; i < 8192; ++i) {
    in[i][0] = std::sin(i * 0.01);
    in[i][1] = std::cos(i * 0.003);
  }
  for (auto _ : st) {
    fftw_execute(plan);
    benchmark::DoNotOptimize(out);
  }
  fftw_destroy_plan(plan);
  fftw_free(in);
  fftw_free(out);
}
BENCHMARK(BM_Fftw8192Forward)->Unit(benchmark::kMicrosecond);

void BM_ComputeResponse(benchmark::State& st) {
  auto s = stateWithOrder(13);
  deconvolveChannel(s->setup, s->mls, s->recBuffer, s->impulse, 0, 2000);
  deconvolveChannel(s->setup, s->mls, s->recBuffer, s->impulse, 1, 2000);
  s->setup.twoChannel = st.range(0) == 2;
  s->setup.showChannel = 2;
  for (auto _ : st) {
    computeResponse(s->responseContext());
    benchmark::DoNotOptimize(s->setup.response.data());
  }
}
BENCHMARK(BM_ComputeResponse)->ArgName("channels")->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

}  // namespace

