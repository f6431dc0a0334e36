#include "engine/sound_card.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "alloc_counter.h"
#include "fake_wave_audio.h"
#include "app/app_state.h"

namespace {

struct Rig {
  std::unique_ptr<AppState> state = std::make_unique<AppState>();
  FakeWaveAudio audio;
  NoticeList notifier;
  FakeHost host;
  SoundCard card{state->soundCardContext(), audio, notifier, host};

  SoundCardState& sc() { return state->soundCard; }
  // Order 12..15 and the rate by value.
  void configure(int order, int rate, int delay) {
    state->setup.setMlsOrder(order - 12);
    state->setup.sampleRate = rate;
    state->setup.delaySamples = delay;
  }
  void openAndStart() {
    card.openDevices(true);
    card.openDevices(false);
    audio.calls.clear();
    host.events.clear();
    card.startRecording();
  }
  // The input buffers queued by the last startRecording, in order.
  std::vector<Call> queuedInputs() const {
    std::vector<Call> v;
    for (const Call& c : audio.calls)
      if (c.op == Op::addBuffer) v.push_back(c);
    return v;
  }
  WaveNotice inputNotice(int j) {
    return {WaveNoticeKind::inputData, FakeWaveAudio::kIn, &sc().inHeaders[j], kWaveOk};
  }
  const int16_t* rec(int byteOffset) const {
    return state->recBuffer.samples.data() + byteOffset / 2;
  }
};

// Lengths worked out by hand: frames = min(L + delay, L + 100000) + 2000,
// bytes = 4 x frames, cut into 200000-byte buffers with the remainder last.
TEST(SoundCardRecording, BufferLengthsAndPlacement) {
  struct Case {
    int order, rate, delay;
    int frames;
    std::vector<uint32_t> lengths;
  };
  const std::vector<Case> cases = {
      // 32768 + 8820 + 2000 = 43588 frames = 174352 bytes: one buffer.
      {15, 44100, 8820, 43588, {174352}},
      // 32768 + 19200 + 2000 = 53968 frames = 215872 bytes.
      {15, 96000, 19200, 53968, {200000, 15872}},
      // The delay is capped at 100000: 32768 + 102000 = 134768 frames =
      // 539072 bytes, exactly the capacity of the recording.
      {15, 96000, 150000, 134768, {200000, 200000, 139072}},
      {15, 96000, 100000, 134768, {200000, 200000, 139072}},
      // 4096 + 43904 + 2000 = 50000 frames = 200000 bytes: an empty last buffer.
      {12, 48000, 43904, 50000, {200000, 0}},
      // 32768 + 65232 + 2000 = 100000 frames = 400000 bytes.
      {15, 48000, 65232, 100000, {200000, 200000, 0}},
      // A negative delay from a damaged file counts as none.
      {13, 44100, -5000, 10192, {40768}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.delay);
    Rig rig;
    rig.configure(c.order, c.rate, c.delay);
    EXPECT_EQ(recordingFrames(rig.state->setup), c.frames);
    EXPECT_EQ(inputBufferCount(4 * c.frames), static_cast<int>(c.lengths.size()));

    rig.openAndStart();
    EXPECT_EQ(rig.sc().inBufferCount, static_cast<int>(c.lengths.size()));
    EXPECT_EQ(rig.sc().inBuffersDone, 0);
    // The input starts right after its first buffer; the rest are added
    // while it records, and the playback is written last.
    std::vector<Op> order = {Op::prepare, Op::addBuffer, Op::start};
    for (size_t j = 1; j < c.lengths.size(); ++j) {
      order.insert(order.end(), {Op::prepare, Op::addBuffer});
    }
    order.insert(order.end(), {Op::prepare, Op::write});
    EXPECT_EQ(rig.audio.ops(), order);
    const std::vector<Call> queued = rig.queuedInputs();
    ASSERT_EQ(queued.size(), c.lengths.size());
    for (size_t j = 0; j < queued.size(); ++j) {
      EXPECT_EQ(queued[j].handle, FakeWaveAudio::kIn);
      EXPECT_EQ(queued[j].lengthBytes, c.lengths[j]) << j;
      EXPECT_EQ(queued[j].data, rig.rec(static_cast<int>(j) * 200000)) << j;
      EXPECT_EQ(queued[j].header, &rig.sc().inHeaders[j]);
    }
  }
}

TEST(SoundCardRecording, OpensPrimesAndQueuesInTheDeviceOrder) {
  Rig rig;
  rig.configure(13, 48000, 19200);  // 8192 + 19200 + 2000 = 29392 frames: one buffer
  rig.state->outDeviceId = 3;
  rig.state->inDeviceId = 5;
  rig.state->recBuffer.samples.fill(7);

  EXPECT_FALSE(rig.card.openDevices(true));
  EXPECT_TRUE(rig.card.openDevices(false));
  rig.card.startRecording();

  const std::vector<Op> expected = {
      // Priming: the silent head of the playback, played and taken back at once.
      Op::openOutput, Op::prepare, Op::write, Op::reset, Op::close,
      // The run: output first, then input, both with notices.
      Op::openOutput, Op::openInput,
      // The input runs before the playback is written.
      Op::prepare, Op::addBuffer, Op::start, Op::prepare, Op::write};
  ASSERT_EQ(rig.audio.ops(), expected);
  const auto& c = rig.audio.calls;
  EXPECT_FALSE(c[0].withNotifier);
  EXPECT_EQ(c[0].deviceId, 3);
  EXPECT_EQ(c[1].lengthBytes, 4000u);
  EXPECT_EQ(c[1].data, rig.state->mls.playBuffer.data());
  EXPECT_TRUE(c[5].withNotifier);
  EXPECT_EQ(c[5].deviceId, 3);
  EXPECT_TRUE(c[6].withNotifier);
  EXPECT_EQ(c[6].deviceId, 5);
  for (int i : {0, 5, 6}) {
    const WaveFormat& f = c[i].format;
    EXPECT_EQ(f.formatTag, 1);
    EXPECT_EQ(f.channels, 2);
    EXPECT_EQ(f.samplesPerSec, 48000u);
    EXPECT_EQ(f.avgBytesPerSec, 192000u);
    EXPECT_EQ(f.blockAlign, 4);
    EXPECT_EQ(f.bitsPerSample, 16);
  }
  // The playback: 2000 silent frames and the sequence, 4 x (8192 + 2000) bytes.
  EXPECT_EQ(c[10].handle, FakeWaveAudio::kOut);
  EXPECT_EQ(c[11].lengthBytes, 40768u);
  EXPECT_EQ(c[11].data, rig.state->mls.playBuffer.data());
  EXPECT_EQ(c[11].header, &rig.sc().outHeader);

  EXPECT_EQ(rig.host.events, std::vector<std::string>{"cursor:busy"});
  for (int16_t v : rig.state->recBuffer.samples) ASSERT_EQ(v, 0);
}

TEST(SoundCardRecording, EndsWhenTheLastBufferIsBack) {
  Rig rig;
  rig.configure(15, 48000, 65232);  // three buffers, the last one empty
  rig.openAndStart();
  rig.audio.calls.clear();

  // The playback's end and notices of other devices don't count.
  rig.card.onNotice({WaveNoticeKind::outputDone, FakeWaveAudio::kOut, &rig.sc().outHeader});
  rig.card.onNotice({WaveNoticeKind::inputData, 999, &rig.sc().inHeaders[0]});
  ASSERT_EQ(rig.audio.calls.size(), 1u);
  EXPECT_EQ(rig.audio.calls[0].op, Op::unprepare);
  EXPECT_EQ(rig.audio.calls[0].handle, FakeWaveAudio::kOut);
  EXPECT_EQ(rig.sc().inBuffersDone, 0);

  rig.card.onNotice(rig.inputNotice(0));
  rig.card.onNotice(rig.inputNotice(1));
  EXPECT_EQ(rig.host.processed, 0);
  rig.card.onNotice(rig.inputNotice(2));
  EXPECT_EQ(rig.host.processed, 1);
  EXPECT_EQ(rig.sc().inBuffersDone, 3);
  EXPECT_EQ(rig.audio.count(Op::unprepare), 4);
  for (int j = 0; j < 3; ++j) {
    EXPECT_EQ(rig.audio.calls[static_cast<size_t>(j) + 1].header, &rig.sc().inHeaders[j]);
    EXPECT_EQ(rig.audio.calls[static_cast<size_t>(j) + 1].handle, FakeWaveAudio::kIn);
  }

  // A late duplicate doesn't run the analysis again.
  rig.card.onNotice(rig.inputNotice(2));
  EXPECT_EQ(rig.host.processed, 1);

  rig.audio.calls.clear();
  rig.card.stopDevices();
  const std::vector<Op> stop = {Op::reset, Op::close, Op::reset, Op::close};
  EXPECT_EQ(rig.audio.ops(), stop);
  EXPECT_EQ(rig.audio.calls[0].handle, FakeWaveAudio::kIn);
  EXPECT_EQ(rig.audio.calls[2].handle, FakeWaveAudio::kOut);
  EXPECT_EQ(rig.sc().hWaveIn, kNoWaveHandle);
  EXPECT_EQ(rig.sc().hWaveOut, kNoWaveHandle);

  // Notices of the closed devices are ignored.
  rig.audio.calls.clear();
  rig.card.onNotice(rig.inputNotice(0));
  rig.card.onNotice({WaveNoticeKind::outputDone, FakeWaveAudio::kOut, &rig.sc().outHeader});
  rig.card.onNotice({WaveNoticeKind::deviceError, FakeWaveAudio::kIn, nullptr, 5});
  EXPECT_TRUE(rig.audio.calls.empty());
  EXPECT_EQ(rig.host.processed, 1);
}

TEST(SoundCardRecording, CyclicRunRestartsFromTheAnalysisWithDevicesOpen) {
  Rig rig;
  rig.configure(13, 44100, 8820);
  int restarts = 0;
  rig.host.onProcess = [&] {
    if (++restarts < 3) rig.card.startRecording();
  };
  rig.openAndStart();
  for (int cycle = 0; cycle < 3; ++cycle) {
    EXPECT_EQ(rig.sc().inBuffersDone, 0);
    rig.card.onNotice(rig.inputNotice(0));
  }
  EXPECT_EQ(rig.host.processed, 3);
  EXPECT_EQ(rig.audio.count(Op::start), 3);
  EXPECT_EQ(rig.audio.count(Op::write), 3);
  EXPECT_EQ(rig.audio.count(Op::close), 0);
  EXPECT_EQ(rig.audio.count(Op::openInput), 0);
}

TEST(SoundCardOpen, OutputFailureShowsItsTextAndLeavesTheEngineIdle) {
  Rig rig;
  rig.audio.outputOpenResult = 2;
  rig.state->calibrationRun = true;
  rig.card.openDevices(true);
  EXPECT_FALSE(rig.card.openDevices(false));

  EXPECT_EQ(rig.host.events, (std::vector<std::string>{"warning:device error 2", "controls:on"}));
  EXPECT_EQ(rig.audio.count(Op::openInput), 0);
  EXPECT_EQ(rig.sc().hWaveOut, kNoWaveHandle);
  EXPECT_FALSE(rig.state->calibrationRun);

  const size_t before = rig.audio.calls.size();
  rig.card.startRecording();
  EXPECT_EQ(rig.audio.calls.size(), before);
  EXPECT_EQ(rig.host.events.size(), 2u);

  // The user picks another device and starts again.
  rig.audio.outputOpenResult = kWaveOk;
  EXPECT_TRUE(rig.card.openDevices(false));
  rig.card.startRecording();
  EXPECT_EQ(rig.audio.count(Op::start), 1);
}

TEST(SoundCardOpen, InputFailureClosesTheOutputAndShowsItsText) {
  Rig rig;
  rig.audio.inputOpenResult = 32;
  rig.card.openDevices(true);
  rig.audio.calls.clear();
  EXPECT_FALSE(rig.card.openDevices(false));

  const std::vector<Op> expected = {Op::openOutput, Op::openInput, Op::reset, Op::close};
  EXPECT_EQ(rig.audio.ops(), expected);
  EXPECT_EQ(rig.audio.calls[3].handle, FakeWaveAudio::kOut);
  EXPECT_EQ(rig.host.events, (std::vector<std::string>{"controls:on", "warning:device error 32"}));
  EXPECT_EQ(rig.sc().hWaveIn, kNoWaveHandle);
  EXPECT_EQ(rig.sc().hWaveOut, kNoWaveHandle);

  rig.audio.calls.clear();
  rig.card.startRecording();
  EXPECT_TRUE(rig.audio.calls.empty());
}

TEST(SoundCardOpen, PrimingIgnoresEveryFailure) {
  Rig rig;
  rig.audio.primingOpenResult = 4;
  rig.card.openDevices(true);
  EXPECT_TRUE(rig.host.events.empty());
  EXPECT_EQ(rig.audio.ops(), std::vector<Op>{Op::openOutput});

  rig.audio.primingOpenResult = kWaveOk;
  rig.audio.prepareFailAt = 0;
  rig.audio.writeResult = 5;
  rig.card.openDevices(true);
  EXPECT_TRUE(rig.host.events.empty());
  EXPECT_EQ(rig.audio.count(Op::close), 1);
}

TEST(SoundCardFailure, UnpreparableBufferEndsTheProgram) {
  for (int failAt : {0, 1}) {  // the input buffer, then the playback
    SCOPED_TRACE(failAt);
    Rig rig;
    rig.configure(13, 44100, 8820);  // one input buffer
    rig.card.openDevices(false);
    rig.audio.prepareFailAt = failAt;
    rig.audio.prepareFailResult = 6;
    rig.card.startRecording();
    EXPECT_EQ(rig.host.events,
              (std::vector<std::string>{"cursor:busy", "warning:device error 6", "exit:1"}));
    EXPECT_EQ(rig.audio.count(Op::write), 0);
    if (failAt == 0) {
      EXPECT_EQ(rig.audio.count(Op::addBuffer), 0);
    }
  }
}

TEST(SoundCardFailure, RefusedOrFailingDeviceEndsTheRunWithItsText) {
  enum Failure { add, start, write, notice };
  for (Failure f : {add, start, write, notice}) {
    SCOPED_TRACE(f);
    Rig rig;
    rig.configure(13, 44100, 8820);
    rig.state->calibrationRun = true;
    rig.card.openDevices(false);
    if (f == add) rig.audio.addResult = 40;
    if (f == start) rig.audio.startResult = 40;
    if (f == write) rig.audio.writeResult = 40;
    rig.card.startRecording();
    if (f == notice) {
      EXPECT_TRUE(rig.sc().recording);
      rig.card.onNotice({WaveNoticeKind::deviceError, FakeWaveAudio::kIn, nullptr, 40});
    }
    EXPECT_EQ(rig.host.events,
              (std::vector<std::string>{"cursor:busy", "cursor:normal", "warning:device error 40",
                                        "controls:on"}));
    EXPECT_EQ(rig.audio.count(Op::close), 2);
    EXPECT_EQ(rig.sc().hWaveIn, kNoWaveHandle);
    EXPECT_FALSE(rig.sc().recording);
    EXPECT_FALSE(rig.state->calibrationRun);
    // Whatever the device still returns is ignored.
    rig.card.onNotice(rig.inputNotice(0));
    EXPECT_EQ(rig.host.processed, 0);
  }
}

TEST(SoundCardRecording, RunAllocatesNothing) {
  Rig rig;
  rig.configure(15, 96000, 150000);
  rig.card.openDevices(false);
  const size_t before = allocationCount();
  for (int cycle = 0; cycle < 2; ++cycle) {
    rig.card.startRecording();
    for (int j = 0; j < 3; ++j) rig.card.onNotice(rig.inputNotice(j));
  }
  rig.card.stopDevices();
  EXPECT_EQ(allocationCount(), before);
  EXPECT_EQ(rig.host.processed, 2);
}

}  // namespace
