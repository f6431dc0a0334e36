// One whole redraw (time graph with an 8192-sample window, frame, dB axis and
// curves) on recording canvases: the cost of the drawing logic itself, without
// any pixels being painted.

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "display/recording_canvas.h"
#include "display/redraw.h"

namespace {

struct RedrawScene {
  MeasSetup setup;
  std::unique_ptr<DisplayCurves> curves = std::make_unique<DisplayCurves>();
  std::unique_ptr<ImpulseResponse> impulse = std::make_unique<ImpulseResponse>();
  RecordingCanvas time{601, 297};
  RecordingCanvas frame{633, 305};
  RecordingCanvas plot{553, 233};
  RedrawHooks hooks;  // curves prepared once below, not per redraw

  RedrawScene() {
    setup.hasResponse = true;
    setup.winLength = 8192;
    impulse->impulseStart = 300;
    for (int ch = 0; ch < 2; ++ch)
      for (int i = 0; i < 20000; ++i)
        impulse->x[ch][i] = 1e8 * std::exp(-i / 400.0) * std::sin(0.05 * i * (ch + 1));
    for (int k = 0; k < 2; ++k) {
      for (int j = 0; j < kGridPoints; ++j) {
        const double octaves = std::log2(setup.freqGrid[j] / 1000.0);
        curves->splMag[k][j] = 85 - 3 * k - 2 * octaves * octaves / (1 + std::fabs(octaves));
        curves->splPhase[k][j] = std::fmod(40 * octaves * (k + 1), 360.0) - 180;
      }
    }
    curves->dBTop = 86;
  }

  void run(const CurveDrawOptions& merge) {
    time.clear();
    frame.clear();
    plot.clear();
    bool calibrationRun = false;
    const GraphInputs in{setup, *curves, *impulse, true, false, merge};
    redrawGraphs(in, calibrationRun, {time, frame, plot}, hooks);
  }
};

void BM_RedrawMeasurement(benchmark::State& state) {
  RedrawScene scene;
  for (auto _ : state) {
    scene.run({});
    benchmark::DoNotOptimize(scene.plot.ops().data());
  }
  state.counters["ops"] = static_cast<double>(scene.time.ops().size() + scene.frame.ops().size() +
                                              scene.plot.ops().size());
}
BENCHMARK(BM_RedrawMeasurement)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

// The heaviest picture: two time-graph channels and a merge (two grey curves,
// two phase parts and two black parts).
void BM_RedrawTwoChannelMerge(benchmark::State& state) {
  RedrawScene scene;
  scene.setup.twoChannel = true;
  const CurveDrawOptions merge{.mergeShown = true, .addMode = false, .transitionFreq = 500.0};
  for (auto _ : state) {
    scene.run(merge);
    benchmark::DoNotOptimize(scene.plot.ops().data());
  }
  state.counters["ops"] = static_cast<double>(scene.time.ops().size() + scene.frame.ops().size() +
                                              scene.plot.ops().size());
}
BENCHMARK(BM_RedrawTwoChannelMerge)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace

