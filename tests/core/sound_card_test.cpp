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
      // 539072 bytes, the longest recording of a single period.
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

// An averaged run plays averages + 1 periods after the lead and records them
// all and the margin: frames = (N + 1)(2^n - 1) + min(delay, 100000) + 2000,
// worked out by hand below; the playback is 4 x (2000 + (N + 1)(2^n - 1))
// bytes of the repeated buffer.
TEST(SoundCardRecording, AveragedRunPlaysAndRecordsEveryPeriod) {
  struct Case {
    int order, rate, delay, averages;
    int frames;
    uint32_t playBytes;
    std::vector<uint32_t> lengths;
    double seconds;
  };
  // `full` buffers of 200000 bytes and the remainder.
  auto buffers = [](int full, uint32_t last) {
    std::vector<uint32_t> v(static_cast<size_t>(full), 200000u);
    v.push_back(last);
    return v;
  };
  const std::vector<Case> cases = {
      // 5 x 4095 = 20475; + 8820 + 2000 = 31295 frames = 125180 bytes.
      {12, 44100, 8820, 4, 31295, 4 * 22475, {125180}, 31295.0 / 44100},
      // 3 x 8191 = 24573; + 4800 + 2000 = 31373 frames.
      {13, 48000, 4800, 2, 31373, 4 * 26573, {125492}, 31373.0 / 48000},
      // 33 x 32767 = 1081311; + 5279 + 2000 = 1088590 frames = 4354360
      // bytes: 21 buffers of 200000 and 154360.
      {15, 48000, 5279, 32, 1088590, 4 * 1083311, buffers(21, 154360), 1088590.0 / 48000},
      // The longest recording of all: 1081311 + 102000 = 1183311 frames =
      // 4733244 bytes, the recording's capacity: 23 buffers and 133244.
      {15, 96000, 150000, 32, 1183311, 4 * 1083311, buffers(23, 133244), 1183311.0 / 96000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frames);
    Rig rig;
    rig.configure(c.order, c.rate, c.delay);
    rig.state->setup.averages = c.averages;
    EXPECT_EQ(recordingFrames(rig.state->setup), c.frames);
    EXPECT_DOUBLE_EQ(runSeconds(rig.state->setup), c.seconds);
    EXPECT_LE(c.frames, kRecCapacityFrames);

    rig.openAndStart();
    const std::vector<Call> queued = rig.queuedInputs();
    ASSERT_EQ(queued.size(), c.lengths.size());
    for (size_t j = 0; j < queued.size(); ++j) {
      EXPECT_EQ(queued[j].lengthBytes, c.lengths[j]) << j;
      EXPECT_EQ(queued[j].data, rig.rec(static_cast<int>(j) * 200000)) << j;
    }
    const Call& play = rig.audio.calls.back();
    EXPECT_EQ(play.op, Op::write);
    EXPECT_EQ(play.lengthBytes, c.playBytes);
    EXPECT_EQ(play.data, rig.state->mls.repeatedPlayBuffer.data());
  }
  // Back to a single period: the single buffer again, the time of one period.
  Rig rig;
  rig.configure(12, 44100, 8820);
  rig.state->setup.averages = 1;
  EXPECT_DOUBLE_EQ(runSeconds(rig.state->setup), (4096 + 8820 + 2000) / 44100.0);
  rig.openAndStart();
  EXPECT_EQ(rig.audio.calls.back().lengthBytes, 4u * (4096 + 2000));
  EXPECT_EQ(rig.audio.calls.back().data, rig.state->mls.playBuffer.data());
  rig.state->setup.sampleRate = 0;
  EXPECT_EQ(runSeconds(rig.state->setup), 0.0);
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
