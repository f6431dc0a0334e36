#include "platform/combined_audio.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/mls.h"
#include "engine/sound_card.h"
#include "fake_wave_audio.h"
#include "app/app_state.h"

namespace {

std::vector<std::string> names(const WaveAudio& a, WaveDirection dir) {
  std::vector<std::string> v;
  char text[64];
  for (int i = 0; i < a.deviceCount(dir); ++i) {
    a.deviceName(dir, i, text, sizeof text);
    v.emplace_back(text);
  }
  return v;
}

const std::vector<std::string> kSimInputs = {"Simulator: loudspeaker (mic L, loop R)",
                                             "Simulator: loopback cable",
                                             "Simulator: impedance jig 12 ohm",
                                             "Simulator: impedance jig 12 ohm, 10 g added"};

TEST(CombinedWaveAudio, RealDevicesLeadWhenTheyFormAPair) {
  FakeWaveAudio real;
  real.outCount = 2;
  real.inCount = 1;
  SimAudio sim;
  CombinedWaveAudio all(&real, sim);
  EXPECT_FALSE(all.simulatorFirst());
  EXPECT_EQ(names(all, WaveDirection::output),
            (std::vector<std::string>{"out 0", "out 1", "Simulator output"}));
  std::vector<std::string> in = {"in 0"};
  in.insert(in.end(), kSimInputs.begin(), kSimInputs.end());
  EXPECT_EQ(names(all, WaveDirection::input), in);

  const WaveFormat f = stereo16Format(44100);
  WaveHandle realOut, simOut, simIn, none = 5;
  ASSERT_EQ(all.openOutput(1, f, nullptr, realOut), kWaveOk);
  ASSERT_EQ(real.calls.size(), 1u);
  EXPECT_EQ(real.calls[0].deviceId, 1);
  EXPECT_EQ(realOut, FakeWaveAudio::kOut);

  ASSERT_EQ(all.openOutput(2, f, nullptr, simOut), kWaveOk);
  ASSERT_EQ(all.openInput(2, f, nullptr, simIn), kWaveOk);  // the loopback cable
  EXPECT_NE(simOut & CombinedWaveAudio::kSimHandleBit, 0u);
  EXPECT_NE(simIn & CombinedWaveAudio::kSimHandleBit, 0u);
  EXPECT_EQ(real.calls.size(), 1u);
  // The simulator refuses a second opening of its output: it owns that handle.
  WaveHandle twice;
  EXPECT_EQ(all.openOutput(2, f, nullptr, twice), kWaveErrAllocated);

  WaveHeader h;
  EXPECT_EQ(all.prepare(simOut, h), kWaveOk);
  EXPECT_EQ(all.prepare(realOut, h), kWaveOk);
  EXPECT_EQ(real.count(Op::prepare), 1);
  EXPECT_EQ(all.close(simIn), kWaveOk);
  EXPECT_EQ(all.close(simIn), kWaveErrInvalidHandle);
  EXPECT_EQ(all.openInput(5, f, nullptr, none), kWaveErrBadDeviceId);
  EXPECT_EQ(none, kNoWaveHandle);
  EXPECT_EQ(all.prepare(kNoWaveHandle, h), kWaveErrInvalidHandle);
}

TEST(CombinedWaveAudio, SimulatorLeadsWithoutARealPair) {
  SimAudio sim;
  CombinedWaveAudio alone(nullptr, sim);
  EXPECT_TRUE(alone.simulatorFirst());
  EXPECT_EQ(names(alone, WaveDirection::output), std::vector<std::string>{"Simulator output"});
  EXPECT_EQ(names(alone, WaveDirection::input), kSimInputs);

  FakeWaveAudio outputsOnly;
  outputsOnly.outCount = 2;
  CombinedWaveAudio mixed(&outputsOnly, sim);
  EXPECT_TRUE(mixed.simulatorFirst());
  EXPECT_EQ(names(mixed, WaveDirection::output),
            (std::vector<std::string>{"Simulator output", "out 0", "out 1"}));
  EXPECT_EQ(names(mixed, WaveDirection::input), kSimInputs);
  WaveHandle h;
  ASSERT_EQ(mixed.openOutput(2, stereo16Format(8000), nullptr, h), kWaveOk);
  EXPECT_EQ(outputsOnly.calls.at(0).deviceId, 1);
}

// A whole run of the sound card on the simulated loopback cable: the
// recording must hold the playback (2000 silent frames, then the sequence)
// 480 frames late, times 0.9, plus 3, within the noise.
TEST(SoundCardOnSimulator, LoopbackRecordingHoldsThePlaybackAfterTheLatency) {
  auto state = std::make_unique<AppState>();
  state->setup.setMlsOrder(0);  // 4096
  state->setup.setSampleRate(6);  // 44100, delaySamples 8820
  buildMlsTables(state->setup, state->mls);
  state->outDeviceId = 0;
  state->inDeviceId = 1;
  SimAudio sim;
  CombinedWaveAudio audio(nullptr, sim);
  NoticeList notices;
  FakeHost host;
  SoundCard card(state->soundCardContext(), audio, notices, host);

  card.openDevices(true);
  ASSERT_TRUE(card.openDevices(false));
  card.startRecording();
  sim.runUntilIdle();
  ASSERT_EQ(notices.notices.size(), 2u);  // the playback and the one input buffer
  for (const WaveNotice& n : notices.notices) card.onNotice(n);
  EXPECT_EQ(host.processed, 1);
  EXPECT_EQ(host.events, std::vector<std::string>{"cursor:busy"});

  const int frames = 4096 + 8820 + 2000;
  double sumSq = 0, worst = 0;
  for (int k = 0; k < frames; ++k) {
    for (int ch = 0; ch < 2; ++ch) {
      const int t = k - 480;
      const double played = t >= 0 ? state->mls.playBuffer[2 * t + ch] : 0.0;
      const double d = state->recBuffer.at(k, ch) - (0.9 * played + 3.0);
      sumSq += d * d;
      worst = std::max(worst, std::abs(d));
    }
  }
  // sqrt(4 + 1/12) = 2.02 from the noise and the rounding; 6 x that at most.
  EXPECT_NEAR(std::sqrt(sumSq / (2.0 * frames)), 2.02, 0.1);
  EXPECT_LT(worst, 12.5);
  // The sequence really is in there: its first sample at 2000 + 480.
  EXPECT_NEAR(state->recBuffer.at(2480, 0), 0.9 * state->mls.mlsSamples[0] + 3, 12.5);
  card.stopDevices();
}

}  // namespace
