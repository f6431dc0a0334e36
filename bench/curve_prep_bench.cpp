// Preparation of the SPL display curves as a redraw runs it, with the widest
// (1 octave) smoothing: one pass for a plain measurement, two weighted passes
// and the sum on the Merge/Add page.

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <memory>

#include "analysis/curve_prep.h"
#include "app/curve_ops.h"

namespace {

struct Inputs {
  MeasSetup setup;
  std::array<MeasSetup, 10> slots;
  ComplexCurve micCal;
  MergeSetup merge;
  DisplayCurves curves;

  Inputs() {
    // A response with a level slope and a phase that turns many times (a delay),
    // so the smoothing meets wraps all along the grid.
    for (int i = 0; i < kGridPoints; ++i) {
      const double f = setup.freqGrid[i];
      const double mag = 1.0 + f / 2000.0;
      const double theta = -2.0 * 3.141592653589793 * f * 2e-4;
      setup.response[i] = {mag * std::cos(theta), mag * std::sin(theta)};
    }
    slots[0].response = setup.response;
    micCal.fill(Complex(1.0, 0.0));
    setup.smoothIndex = 6;
    merge.storedSlot = 0;
    merge.computeMergeWeights(setup.freqGrid);
  }
};

void BM_PrepareSplCurvesOneOctave(benchmark::State& state) {
  auto in = std::make_unique<Inputs>();
  in->merge.mergeShown = state.range(0) != 0;
  in->merge.addMode = true;
  for (auto _ : state) {
    prepareSplCurves(in->setup, in->slots, in->micCal, false, in->merge, in->curves, false);
    benchmark::DoNotOptimize(in->curves.dBTop);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PrepareSplCurvesOneOctave)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

