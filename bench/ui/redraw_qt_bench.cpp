// One whole redraw as the window does it: the curve preparation, then the time
// graph with an 8192-sample window, the frame, the dB axis and the curves,
// painted into the window's off-screen images; at the default size, at
// 1600 x 1000 (with the time graph's scale), and with the canvases remade
// for a new size before every redraw, as while the window is being resized.
// "allocs" counts operator new calls per redraw.

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "../../tests/core/alloc_counter.h"
#include "analysis/curve_prep.h"
#include "app/app_state.h"
#include "app/curve_ops.h"
#include "app/overlays.h"
#include "display/graph_layout.h"
#include "display/redraw.h"
#include "ui/main_form.h"
#include "ui/qt_canvas.h"

namespace {

class PrepareHooks final : public RedrawHooks {
 public:
  explicit PrepareHooks(AppState& s) : s_(s) {}
  void prepareSplCurves() override { ::prepareSplCurves(s_, false); }

 private:
  AppState& s_;
};

std::unique_ptr<AppState> measuredState(int smoothIndex) {
  auto s = std::make_unique<AppState>();
  s->setup.winLength = 8192;
  s->setup.smoothIndex = static_cast<uint8_t>(smoothIndex);
  s->setup.hasResponse = true;
  s->setup.responseRate = s->setup.sampleRate;
  s->measurementShown = true;
  s->impulse.impulseStart = 300;
  for (int ch = 0; ch < 2; ++ch)
    for (int i = 0; i < 20000; ++i)
      s->impulse.x[ch][i] = 1e8 * std::exp(-i / 400.0) * std::sin(0.05 * i * (ch + 1));
  for (int j = 0; j < kGridPoints; ++j) {
    const double octaves = std::log2(s->setup.freqGrid[j] / 1000.0);
    const double level = std::pow(10.0, (2 - 2 * octaves * octaves / (1 + std::fabs(octaves))) / 20);
    s->setup.response[j] = Complex(level * std::cos(octaves), level * std::sin(octaves));
  }
  return s;
}

void BM_RedrawOnQtCanvas(benchmark::State& st) {
  auto s = measuredState(static_cast<int>(st.range(0)));
  s->setup.hasResponse = false;  // the time graph only wiped, as it always was here
  QtCanvas time(601, 297), frame(633, 305), plot(553, 233);
  PrepareHooks hooks(*s);
  for (auto _ : st) {
    const GraphInputs in{s->setup, s->curves, s->impulse, true, false, {}};
    redrawGraphs(in, s->calibrationRun, {time, frame, plot}, hooks);
    time.finish();
    frame.finish();
    plot.finish();
    benchmark::DoNotOptimize(plot.image().constBits());
  }
}
BENCHMARK(BM_RedrawOnQtCanvas)->ArgName("smoothIndex")->Arg(0)->Arg(6)->Unit(benchmark::kMillisecond);

// The window at 1600 x 1000; with resize set, every redraw first remakes the
// canvases one pixel larger or smaller than the last time.
void redrawAt1600x1000(benchmark::State& st, bool resize) {
  auto s = measuredState(0);
  const GraphGeometry big = graphGeometry(1600 - TMainForm::kWidth, 1000 - TMainForm::kHeight);
  const GraphGeometry bigger = graphGeometry(1601 - TMainForm::kWidth, 1001 - TMainForm::kHeight);
  QtCanvas time(big.timeWidth, big.timeHeight), timeFrame(big.timeFrameWidth, big.timeFrameHeight);
  QtCanvas frame(big.frameWidth, big.frameHeight), plot(big.plotWidth, big.plotHeight);
  PrepareHooks hooks(*s);
  size_t allocations = 0;
  bool odd = false;
  for (auto _ : st) {
    const size_t before = allocationCount();
    const GraphGeometry& g = resize && odd ? bigger : big;
    odd = !odd;
    if (resize) {
      time.resize(g.timeWidth, g.timeHeight);
      timeFrame.resize(g.timeFrameWidth, g.timeFrameHeight);
      frame.resize(g.frameWidth, g.frameHeight);
      plot.resize(g.plotWidth, g.plotHeight);
    }
    const GraphInputs in{s->setup, s->curves, s->impulse, true, false, {}};
    redrawGraphs(in, s->calibrationRun, {time, frame, plot, &timeFrame, g}, hooks);
    time.finish();
    timeFrame.finish();
    frame.finish();
    plot.finish();
    benchmark::DoNotOptimize(plot.image().constBits());
    allocations += allocationCount() - before;
  }
  st.counters["allocs"] =
      benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
}
void BM_RedrawAt1600x1000(benchmark::State& st) { redrawAt1600x1000(st, false); }
void BM_ResizeRedrawAt1600x1000(benchmark::State& st) { redrawAt1600x1000(st, true); }
BENCHMARK(BM_RedrawAt1600x1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResizeRedrawAt1600x1000)->Unit(benchmark::kMillisecond);

// The same redraw on canvases sized for a 1600 x 1000 window, with two
// memory slots drawn over the live curve: their preparation (1/6-octave
// smoothing) and drawing, and the legend, are inside the loop.
class OverlayHooks final : public RedrawHooks {
 public:
  explicit OverlayHooks(AppState& s) : s_(s) {}
  void prepareSplCurves() override {
    ::prepareSplCurves(s_, false);
    prepareOverlayCurves(s_);
  }

 private:
  AppState& s_;
};

void BM_RedrawLargeWithTwoOverlays(benchmark::State& st) {
  auto s = std::make_unique<AppState>();
  s->setup.winLength = 8192;
  s->setup.smoothIndex = 4;
  s->measurementShown = true;
  s->impulse.impulseStart = 300;
  for (int ch = 0; ch < 2; ++ch)
    for (int i = 0; i < 20000; ++i)
      s->impulse.x[ch][i] = 1e8 * std::exp(-i / 400.0) * std::sin(0.05 * i * (ch + 1));
  for (int j = 0; j < kGridPoints; ++j) {
    const double octaves = std::log2(s->setup.freqGrid[j] / 1000.0);
    const double level =
        std::pow(10.0, (2 - 2 * octaves * octaves / (1 + std::fabs(octaves))) / 20);
    s->setup.response[j] = Complex(level * std::cos(octaves), level * std::sin(octaves));
  }
  for (int n : {1, 2}) {
    MeasSetup& slot = s->slots[static_cast<size_t>(n - 1)];
    slot.response = s->setup.response;
    for (Complex& c : slot.response) c = c * (n == 1 ? 2.0 : 0.5);
    slot.hasResponse = true;
    s->overlays.shown[static_cast<size_t>(n - 1)] = true;
  }
  const GraphGeometry g = graphGeometry(1600 - TMainForm::kWidth, 1000 - TMainForm::kHeight);
  QtCanvas time(g.timeWidth, g.timeHeight), timeFrame(g.timeFrameWidth, g.timeFrameHeight);
  QtCanvas frame(g.frameWidth, g.frameHeight), plot(g.plotWidth, g.plotHeight);
  OverlayHooks hooks(*s);
  for (auto _ : st) {
    const GraphInputs in{s->setup, s->curves, s->impulse, true, false, {}, s->overlays.drawn};
    redrawGraphs(in, s->calibrationRun, {time, frame, plot, &timeFrame, g}, hooks);
    time.finish();
    timeFrame.finish();
    frame.finish();
    plot.finish();
    benchmark::DoNotOptimize(plot.image().constBits());
  }
}
BENCHMARK(BM_RedrawLargeWithTwoOverlays)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
