// Preparation of the impedance display curves as a redraw runs it, with the
// 1/24-octave smoothing: one pass for a plain measurement, two weighted passes
// and the sum on the Merge/Add page.

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <memory>

#include "analysis/impedance_curves.h"
#include "app/curve_ops.h"

namespace {

struct ImpedanceInputs {
  MeasSetup setup;
  std::array<MeasSetup, 10> slots;
  MergeSetup merge;
  DisplayCurves curves;

  ImpedanceInputs() {
    // A driver-like curve: 6 ohm plus a resonance peak and a rising inductive part.
    for (int i = 0; i < kGridPoints; ++i) {
      const double f = setup.freqGrid[i];
      const double x = f / 45.0 - 45.0 / f;
      setup.response[i] = Complex(6.0, 2.0 * 3.141592653589793 * f * 4e-4) +
                          Complex(40.0, 0.0) / Complex(1.0, 3.5 * x);
    }
    slots[0].response = setup.response;
    setup.impedanceMode = 1;
    setup.impedanceSmooth = true;
    merge.storedSlot = 0;
    merge.addMode = true;
    merge.computeMergeWeights(setup.freqGrid);
  }
};

void BM_PrepareImpedanceCurves(benchmark::State& state) {
  auto in = std::make_unique<ImpedanceInputs>();
  in->merge.mergeShown = state.range(0) != 0;
  for (auto _ : state) {
    prepareImpedanceCurves(in->setup, in->slots, in->merge, in->curves, false);
    benchmark::DoNotOptimize(in->curves.zMag[0][500]);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PrepareImpedanceCurves)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
