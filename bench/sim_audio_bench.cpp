// Cost of the simulated devices: one whole recording of the longest sequence
// at 96 kHz with the longest recording (134768 frames, 1.4 s of audio) through
// each simulated input, and the design of the models when an input opens.

#include <benchmark/benchmark.h>

#include <vector>

#include "platform/sim_audio.h"
#include "platform/sim_models.h"

namespace {

class Discard : public WaveNotifier {
 public:
  void post(const WaveNotice&) override {}
};

void BM_SimRecording(benchmark::State& st) {
  constexpr int kRate = 96000;
  constexpr int kPlayFrames = 34768;
  constexpr int kRecFrames = 134768;
  std::vector<int16_t> play(2 * kPlayFrames, 12000), rec(2 * kRecFrames);
  SimAudio sim(SimAudio::Pacing::manual);
  Discard discard;
  for (auto _ : st) {
    WaveHandle out, in;
    sim.openOutput(0, stereo16Format(kRate), &discard, out);
    sim.openInput(static_cast<int>(st.range(0)), stereo16Format(kRate), &discard, in);
    WaveHeader p{play.data(), 4 * kPlayFrames};
    WaveHeader r{rec.data(), 4 * kRecFrames};
    sim.prepare(in, r);
    sim.addBuffer(in, r);
    sim.start(in);
    sim.prepare(out, p);
    sim.write(out, p);
    sim.runUntilIdle();
    sim.close(in);
    sim.close(out);
    benchmark::DoNotOptimize(rec.data());
  }
  st.SetItemsProcessed(st.iterations() * kRecFrames);
}
BENCHMARK(BM_SimRecording)
    ->ArgName("input")
    ->Arg(SimAudio::kInputLoudspeaker)
    ->Arg(SimAudio::kInputLoopback)
    ->Arg(SimAudio::kInputJig)
    ->Unit(benchmark::kMillisecond);

void BM_ImpedanceJigDesign(benchmark::State& st) {
  ImpedanceJigModel jig;
  for (auto _ : st) {
    jig.design(96000);
    benchmark::DoNotOptimize(&jig);
  }
}
BENCHMARK(BM_ImpedanceJigDesign)->Unit(benchmark::kMicrosecond);

}  // namespace
