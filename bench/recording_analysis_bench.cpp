// Speed of the analysis at the end of a recording, without drawing: onset,
// peaks, deconvolution of both channels, impulse start and the response.

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "app/recording.h"
#include "display/level_display.h"
#include "app/app_state.h"

namespace {

// The played buffer back through a sound card: 480 frames late, at gains 0.5
// and 0.9, with an offset of 3. With averages >= 2 it is the repeated buffer.
std::unique_ptr<AppState> recordedState(int order, int rateIndex, int averages = 1) {
  auto s = std::make_unique<AppState>();
  s->setup.setSampleRate(rateIndex);
  s->setup.setMlsOrder(order - 12);
  s->setup.averages = averages;
  buildMlsTables(s->setup, s->mls);
  const int16_t* play = playData(s->mls, s->setup);
  const int playFrames = kPlayLeadFrames + playedFrames(s->setup);
  const double gain[2] = {0.5, 0.9};
  for (int f = 0; f < kRecCapacityFrames; ++f)
    for (int ch = 0; ch < 2; ++ch) {
      const int p = f - 480;
      const int played = (p >= 0 && p < playFrames) ? play[2 * p + ch] : 0;
      s->recBuffer.samples[2 * f + ch] = static_cast<int16_t>(std::lround(gain[ch] * played) + 3);
    }
  s->setup.twoChannel = true;  // both channels, the right one as reference
  s->measurementRun = true;
  return s;
}

void BM_AnalyseRecording(benchmark::State& st) {
  auto s = recordedState(static_cast<int>(st.range(0)), 7);  // 48000 Hz
  const int32_t margin = s->setup.delaySamples;
  for (auto _ : st) {
    s->setup.delaySamples = margin;  // each run sees the same recording length
    const RecordingLevels lv = analyseRecording(*s);
    benchmark::DoNotOptimize(lv);
    benchmark::DoNotOptimize(s->setup.response.data());
  }
}
BENCHMARK(BM_AnalyseRecording)->ArgName("n")->Arg(12)->Arg(15)->Unit(benchmark::kMillisecond);

// The same with 32 averages at order 15: 33 periods recorded, 32 summed per
// channel, the peaks over all of them.
void BM_AnalyseAveragedRecording(benchmark::State& st) {
  auto s = recordedState(15, 7, static_cast<int>(st.range(0)));  // 48000 Hz
  const int32_t margin = s->setup.delaySamples;
  for (auto _ : st) {
    s->setup.delaySamples = margin;
    const RecordingLevels lv = analyseRecording(*s);
    benchmark::DoNotOptimize(lv);
    benchmark::DoNotOptimize(s->setup.response.data());
  }
}
BENCHMARK(BM_AnalyseAveragedRecording)->ArgName("averages")->Arg(32)->Unit(benchmark::kMillisecond);

}  // namespace
