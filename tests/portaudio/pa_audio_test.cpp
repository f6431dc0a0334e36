#include "platform/portaudio/pa_audio.h"

#include <gtest/gtest.h>
#include <portaudio.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "../core/fake_wave_audio.h"
#include "engine/mls.h"
#include "engine/sound_card.h"
#include "platform/combined_audio.h"
#include "private_jackd.h"
#include "app/app_state.h"

namespace {

using namespace std::chrono_literals;

WaveResult paResult(PaError e) { return kWaveErrBackendBase + (e - paNotInitialized); }

// On a machine without sound hardware (or with some) the lists come out
// without noise on the console, every name is filled in, and an absent
// device is refused with a text.
TEST(PaAudioDevices, ListsWithoutHardwareQuietly) {
  testing::internal::CaptureStderr();
  auto pa = std::make_unique<PaAudio>();
  const std::string noise = testing::internal::GetCapturedStderr();
  EXPECT_EQ(noise, "");
  EXPECT_TRUE(pa->initialised());

  char text[256];
  for (WaveDirection dir : {WaveDirection::output, WaveDirection::input}) {
    const int n = pa->deviceCount(dir);
    EXPECT_GE(n, 0);
    for (int i = 0; i < n; ++i) {
      pa->deviceName(dir, i, text, sizeof text);
      EXPECT_NE(text[0], '\0') << i;
    }
    pa->deviceName(dir, n, text, sizeof text);
    EXPECT_STREQ(text, "");
  }

  WaveHandle h = 9;
  const int outs = pa->deviceCount(WaveDirection::output);
  EXPECT_EQ(pa->openOutput(outs, stereo16Format(44100), nullptr, h), kWaveErrBadDeviceId);
  EXPECT_EQ(h, kNoWaveHandle);
  EXPECT_EQ(pa->openInput(-1, stereo16Format(44100), nullptr, h), kWaveErrBadDeviceId);
  EXPECT_EQ(pa->close(12345), kWaveErrInvalidHandle);

  pa->errorText(kWaveErrBadDeviceId, text, sizeof text);
  EXPECT_STREQ(text, "There is no sound device with this number.");
  pa->errorText(kWaveErrNotResponding, text, sizeof text);
  EXPECT_STREQ(text, "The sound card stopped responding.");
  pa->errorText(paResult(paInvalidSampleRate), text, sizeof text);
  EXPECT_STREQ(text, "Invalid sample rate");

  // The window's lists: with no real pair the simulator leads.
  SimAudio sim;
  CombinedWaveAudio all(pa.get(), sim);
  const bool realPair = outs > 0 && pa->deviceCount(WaveDirection::input) > 0;
  EXPECT_EQ(all.simulatorFirst(), !realPair);
  EXPECT_EQ(all.deviceCount(WaveDirection::input), pa->deviceCount(WaveDirection::input) + 4);
}

// A JACK server on its dummy driver with the built-in loopback client, under
// a private server name, for as long as the fixture lives.
class JackLoopback : public testing::Test {
 protected:
  void SetUp() override {
    jackd_ = std::make_unique<PrivateJackd>();
    if (!jackd_->ready()) GTEST_SKIP() << jackd_->skipReason();
  }
  void TearDown() override { jackd_.reset(); }
  void stopServer() { jackd_->stop(); }
  static int find(const PaAudio& pa, WaveDirection dir, const std::string& prefix) {
    char text[256];
    for (int i = 0; i < pa.deviceCount(dir); ++i) {
      pa.deviceName(dir, i, text, sizeof text);
      if (std::string(text).rfind(prefix, 0) == 0) return i;
    }
    return -1;
  }

  std::unique_ptr<PrivateJackd> jackd_;
};

// A test process that dies with its JACK server running takes the server
// with it, and the next server, under the same name, comes up. This process
// adopts the orphaned server (a subreaper) to see it end and to reap it.
TEST(PrivateJackdServer, DiesWithItsTestProcessAndItsNameIsTakenBack) {
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  struct NoLongerSubreaper {
    ~NoLongerSubreaper() { prctl(PR_SET_CHILD_SUBREAPER, 0); }
  } restore;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(fds[0]);
    PrivateJackd jackd;
    const pid_t server = jackd.ready() ? jackd.pid() : 0;
    if (write(fds[1], &server, sizeof server) != sizeof server) _exit(2);
    std::abort();  // as a crashed test does, with the server running
  }
  close(fds[1]);
  pid_t server = 0;
  const ssize_t got = read(fds[0], &server, sizeof server);
  close(fds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  if (got != static_cast<ssize_t>(sizeof server) || server == 0) GTEST_SKIP() << "jackd did not come up";
  bool ended = false;
  for (int i = 0; i < 200 && !ended; ++i) {
    ended = waitpid(server, nullptr, WNOHANG) == server;
    if (!ended) std::this_thread::sleep_for(10ms);
  }
  EXPECT_TRUE(ended) << "jackd " << server << " outlived its test process";
  if (!ended) {
    kill(server, SIGKILL);
    waitpid(server, nullptr, 0);
  }

  PrivateJackd next;
  EXPECT_TRUE(next.ready()) << next.skipReason();
}

// Notices from the backend's thread, taken on the test's thread in order,
// as the window does with its queued calls.
class NoticeQueue : public WaveNotifier {
 public:
  void post(const WaveNotice& n) override {
    std::lock_guard lock(m_);
    q_.push_back(n);
    cv_.notify_all();
  }
  bool take(WaveNotice& n, std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_);
    if (!cv_.wait_for(lock, timeout, [&] { return !q_.empty(); })) return false;
    n = q_.front();
    q_.pop_front();
    return true;
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  std::deque<WaveNotice> q_;
};

struct LoopRun {
  std::unique_ptr<AppState> state = std::make_unique<AppState>();
  NoticeQueue notices;
  FakeHost host;

  explicit LoopRun(int in, int out) {
    state->setup.setMlsOrder(0);    // 4096
    state->setup.setSampleRate(7);  // 48000, the server's rate; delaySamples 9600
    buildMlsTables(state->setup, state->mls);
    state->inDeviceId = static_cast<int16_t>(in);
    state->outDeviceId = static_cast<int16_t>(out);
  }
  // The run ended by giving the controls back (after an error).
  bool ended() const {
    return std::find(host.events.begin(), host.events.end(), "controls:on") != host.events.end();
  }
  // Hands notices to the sound card until the analysis or an error ends the
  // run, or nothing happens for `quiet`.
  void dispatch(SoundCard& card, std::chrono::milliseconds quiet, int runs = 1) {
    WaveNotice n;
    while (host.processed < runs && !ended() && notices.take(n, quiet)) {
      card.onNotice(n);
    }
  }
};

// One full-duplex stream through the loopback: the recording holds the
// playback, delayed by whole periods of the server and scaled by
// 32767/32768 (PortAudio's conversion through floating point), within 1 LSB.
// Two recordings, the second queued from the analysis of the first while the
// stream runs on, as a cyclic measurement does.
TEST_F(JackLoopback, RecordingHoldsThePlayback) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    PaAudio pa;
    const int in = find(pa, WaveDirection::input, "loopback (");
    const int out = find(pa, WaveDirection::output, "loopback (");
    ASSERT_GE(in, 0);
    ASSERT_GE(out, 0);
    LoopRun run(in, out);
    SoundCard card(run.state->soundCardContext(), pa, run.notices, run.host);
    run.host.onProcess = [&] {
      if (run.host.processed == 1) {
        run.state->recBuffer.samples.fill(-1);  // the second recording must clear it
        card.startRecording();
      }
    };
    card.openDevices(true);
    ASSERT_TRUE(card.openDevices(false)) << (run.host.events.empty() ? "" : run.host.events[0]);
    card.startRecording();
    run.dispatch(card, 5000ms, 2);
    card.stopDevices();
    const uint32_t flags = pa.takeStatusFlags();
    if (run.host.processed < 2 && attempt == 0 &&
        (flags & (paInputOverflow | paOutputUnderflow))) {
      continue;  // an overrun on a loaded machine: once more
    }
    ASSERT_EQ(run.host.processed, 2) << run.host.events.back();
    EXPECT_EQ(run.host.events, (std::vector<std::string>{"cursor:busy", "cursor:busy"}));

    const auto& play = run.state->mls.playBuffer;
    const RecBuffer& rec = run.state->recBuffer;
    auto expected = [&](int frame, int ch) {
      return frame < 0 ? 0.0 : play[2 * static_cast<size_t>(frame) + ch] * (32767.0 / 32768.0);
    };
    // The sequence's first sample (frame 2000 of the playback) arrives at
    // 2000 + lag; the lag is a whole number of 1024-frame periods.
    int lag = -1;
    for (int d = 0; d <= 9600 && lag < 0; ++d) {
      bool match = true;
      for (int j = 0; j < 64 && match; ++j) {
        match = std::abs(rec.at(2000 + d + j, 0) - expected(2000 + j, 0)) <= 1.0;
      }
      if (match) lag = d;
    }
    ASSERT_GE(lag, 0);
    EXPECT_EQ(lag % 1024, 0) << lag;
    const int frames = 4096 + 9600 + 2000;
    for (int k = 0; k < frames; ++k) {
      for (int ch = 0; ch < 2; ++ch) {
        ASSERT_LE(std::abs(rec.at(k, ch) - expected(k - lag, ch)), 1.0) << k << " " << ch;
      }
    }
    return;
  }
}

// The server vanishes in the middle of a recording: the run must end with an
// error instead of waiting for buffers that never come.
TEST_F(JackLoopback, VanishedServerEndsTheRunWithAnError) {
  PaAudio pa;
  const int in = find(pa, WaveDirection::input, "loopback (");
  const int out = find(pa, WaveDirection::output, "loopback (");
  ASSERT_GE(in, 0);
  ASSERT_GE(out, 0);
  LoopRun run(in, out);
  run.state->setup.delaySamples = 100000;  // about 2.8 s of recording
  SoundCard card(run.state->soundCardContext(), pa, run.notices, run.host);
  ASSERT_TRUE(card.openDevices(false));
  card.startRecording();
  std::this_thread::sleep_for(200ms);
  const auto t0 = std::chrono::steady_clock::now();
  stopServer();
  run.dispatch(card, 10000ms);
  const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

  EXPECT_EQ(run.host.processed, 0);
  ASSERT_EQ(run.host.events.size(), 4u);
  EXPECT_EQ(run.host.events[0], "cursor:busy");
  EXPECT_EQ(run.host.events[1], "cursor:normal");
  EXPECT_EQ(run.host.events[2], "warning:The sound card stopped responding.");
  EXPECT_EQ(run.host.events[3], "controls:on");
  // No later than the recording's length and the 2 s of grace, and some slack.
  EXPECT_LT(waited, 2.8 + 2.0 + 1.0);
  EXPECT_EQ(run.state->soundCard.hWaveIn, kNoWaveHandle);
}

}  // namespace

namespace {

// The server goes away between two runs: the next opening reports the device
// as gone with its reason (PortAudio alone would say "Insufficient memory"),
// and the backend then ends without taking the program down with it.
TEST_F(JackLoopback, ServerGoneBetweenRunsIsReportedAsGone) {
  auto pa = std::make_unique<PaAudio>();
  const int in = find(*pa, WaveDirection::input, "loopback (");
  const int out = find(*pa, WaveDirection::output, "loopback (");
  ASSERT_GE(in, 0);
  ASSERT_GE(out, 0);
  stopServer();
  // The output alone may still pass PortAudio's format check; the stream
  // opened with the input cannot.
  WaveHandle hOut = kNoWaveHandle;
  WaveHandle hIn = kNoWaveHandle;
  NoticeQueue notices;
  WaveResult r = pa->openOutput(out, stereo16Format(48000), &notices, hOut);
  if (r == kWaveOk) r = pa->openInput(in, stereo16Format(48000), &notices, hIn);
  EXPECT_EQ(r, kWaveErrDeviceGone);
  EXPECT_EQ(hIn, kNoWaveHandle);
  char text[200];
  pa->errorText(r, text, sizeof text);
  EXPECT_STREQ(text, "The sound device is no longer available: the JACK server has stopped.");
  if (hOut != kNoWaveHandle) pa->close(hOut);
  pa.reset();  // must return: no abort, no hang
}

}  // namespace

namespace {

using namespace std::chrono_literals;

// One recording through the loopback with the sound card, as a run does:
// true when it ended with its analysis and the recording holds the
// playback (scaled by 32767/32768, delayed by whole server periods, within
// 1 LSB); the run's events otherwise in `why`.
bool loopbackRunIsExact(PaAudio& pa, int in, int out, std::string& why) {
  LoopRun run(in, out);
  SoundCard card(run.state->soundCardContext(), pa, run.notices, run.host);
  card.openDevices(true);  // the priming run, whose failures are ignored
  if (!card.openDevices(false)) {
    for (const std::string& e : run.host.events) why += e + "; ";
    return false;
  }
  card.startRecording();
  run.dispatch(card, 5000ms);
  card.stopDevices();
  if (run.host.processed != 1) {
    for (const std::string& e : run.host.events) why += e + "; ";
    return false;
  }
  const auto& play = run.state->mls.playBuffer;
  const RecBuffer& rec = run.state->recBuffer;
  for (int lag = 0; lag <= 8 * 1024; lag += 1024) {
    bool match = true;
    for (int k = 2000 + lag; k < 4096 + 9600 + 2000 && match; ++k) {
      for (int ch = 0; ch < 2 && match; ++ch) {
        const double expected = play[2 * static_cast<size_t>(k - lag) + ch] * (32767.0 / 32768.0);
        match = std::abs(rec.at(k, ch) - expected) <= 1.0;
      }
    }
    if (match) return true;
  }
  why = "the recording does not hold the playback";
  return false;
}

double secondsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The server goes away between two runs and comes back under its name: the
// run in between is refused with the reason, the next one measures through
// the same device numbers again (PortAudio started afresh on another copy
// of its library, the old state left alone), and the backend then ends
// promptly. An overrun on a loaded machine gets one more run.
TEST_F(JackLoopback, ServerBackUnderItsNameIsUsedAgainWithTheSameNumbers) {
  auto pa = std::make_unique<PaAudio>();
  const int in = find(*pa, WaveDirection::input, "loopback (");
  const int out = find(*pa, WaveDirection::output, "loopback (");
  ASSERT_GE(in, 0);
  ASSERT_GE(out, 0);
  std::string why;
  ASSERT_TRUE(loopbackRunIsExact(*pa, in, out, why) || loopbackRunIsExact(*pa, in, out, why))
      << why;

  stopServer();
  {
    LoopRun run(in, out);
    SoundCard card(run.state->soundCardContext(), *pa, run.notices, run.host);
    card.openDevices(true);
    EXPECT_FALSE(card.openDevices(false));
    card.stopDevices();
    EXPECT_NE(
        std::find(run.host.events.begin(), run.host.events.end(),
                  "warning:The sound device is no longer available: the JACK server has stopped."),
        run.host.events.end());
  }
  // Still gone at the next try (a fresh state without JACK), and the lists
  // keep their numbers.
  WaveHandle h = kNoWaveHandle;
  EXPECT_EQ(pa->openInput(in, stereo16Format(48000), nullptr, h), kWaveErrDeviceGone);
  EXPECT_EQ(find(*pa, WaveDirection::input, "loopback ("), in);

  jackd_->restart();
  ASSERT_TRUE(jackd_->ready()) << jackd_->skipReason();
  why.clear();
  EXPECT_TRUE(loopbackRunIsExact(*pa, in, out, why) || loopbackRunIsExact(*pa, in, out, why))
      << why;
  EXPECT_EQ(find(*pa, WaveDirection::input, "loopback ("), in);

  stopServer();  // and gone again while nothing is open: the end must not abort
  const auto t0 = std::chrono::steady_clock::now();
  pa.reset();
  EXPECT_LT(secondsSince(t0), 1.0);
}

// The server stops answering while a run is closed (as one that dies or
// hangs in the middle of it): PortAudio's abort would wait for it for ten
// minutes; the close gives up after the backend's limit and says so, the
// buffers come back, and once the server is ended and started again the
// next opening works on a fresh state.
TEST_F(JackLoopback, ServerHungDuringCloseIsGivenUpInTime) {
  constexpr auto kLimit = 1000ms;
  auto pa = std::make_unique<PaAudio>(kLimit);
  const int in = find(*pa, WaveDirection::input, "loopback (");
  const int out = find(*pa, WaveDirection::output, "loopback (");
  ASSERT_GE(in, 0);
  ASSERT_GE(out, 0);
  NoticeQueue notices;
  WaveHandle hOut = kNoWaveHandle, hIn = kNoWaveHandle;
  ASSERT_EQ(pa->openOutput(out, stereo16Format(48000), &notices, hOut), kWaveOk);
  ASSERT_EQ(pa->openInput(in, stereo16Format(48000), &notices, hIn), kWaveOk);
  std::vector<int16_t> play(2 * 96000, 1000), rec(2 * 96000, 0);
  WaveHeader ph{play.data(), static_cast<uint32_t>(2 * play.size()), 0, 0};
  WaveHeader rh{rec.data(), static_cast<uint32_t>(2 * rec.size()), 0, 0};
  ASSERT_EQ(pa->prepare(hOut, ph), kWaveOk);
  ASSERT_EQ(pa->prepare(hIn, rh), kWaveOk);
  ASSERT_EQ(pa->addBuffer(hIn, rh), kWaveOk);
  ASSERT_EQ(pa->start(hIn), kWaveOk);
  ASSERT_EQ(pa->write(hOut, ph), kWaveOk);
  std::this_thread::sleep_for(300ms);

  jackd_->freeze();
  auto t0 = std::chrono::steady_clock::now();
  const WaveResult closedIn = pa->close(hIn);
  const WaveResult closedOut = pa->close(hOut);
  const double waited = secondsSince(t0);
  EXPECT_EQ(closedIn, kWaveErrNotResponding);
  EXPECT_EQ(closedOut, kWaveOk);
  EXPECT_EQ(rh.flags & kWaveHeaderQueued, 0u);
  EXPECT_EQ(ph.flags & kWaveHeaderQueued, 0u);
  EXPECT_GE(waited, 0.9);
  EXPECT_LT(waited, 1.0 + 1.0);  // the limit once, and the callback's 0.5 s at most
  char text[200];
  pa->errorText(closedIn, text, sizeof text);
  EXPECT_STREQ(text, "The sound card stopped responding.");

  stopServer();  // it dies now, with the abort still waiting in PortAudio
  jackd_->restart();
  ASSERT_TRUE(jackd_->ready()) << jackd_->skipReason();
  std::string why;
  EXPECT_TRUE(loopbackRunIsExact(*pa, in, out, why) || loopbackRunIsExact(*pa, in, out, why))
      << why;

  t0 = std::chrono::steady_clock::now();
  pa.reset();
  EXPECT_LT(secondsSince(t0), 1.0);
}

// A server started after the backend: its devices are listed only once the
// lists are read again, and then in PortAudio's order, measurable at once;
// while a device is open the lists are not read again.
TEST_F(JackLoopback, RefreshListsAServerStartedLater) {
  stopServer();
  auto pa = std::make_unique<PaAudio>();
  EXPECT_LT(find(*pa, WaveDirection::input, "loopback ("), 0);
  const int outsBefore = pa->deviceCount(WaveDirection::output);
  jackd_->restart();
  ASSERT_TRUE(jackd_->ready()) << jackd_->skipReason();
  EXPECT_LT(find(*pa, WaveDirection::input, "loopback ("), 0);  // not before a refresh

  EXPECT_EQ(pa->refreshDevices(), kWaveOk);
  const int in = find(*pa, WaveDirection::input, "loopback (");
  const int out = find(*pa, WaveDirection::output, "loopback (");
  ASSERT_GE(in, 0);
  ASSERT_GE(out, 0);
  // JACK's two clients, system and loopback, are listed with the rest.
  EXPECT_EQ(pa->deviceCount(WaveDirection::output), outsBefore + 2);
  std::string why;
  EXPECT_TRUE(loopbackRunIsExact(*pa, in, out, why) || loopbackRunIsExact(*pa, in, out, why))
      << why;

  WaveHandle h = kNoWaveHandle;
  ASSERT_EQ(pa->openOutput(out, stereo16Format(48000), nullptr, h), kWaveOk);
  EXPECT_EQ(pa->refreshDevices(), kWaveErrAllocated);
  EXPECT_EQ(find(*pa, WaveDirection::output, "loopback ("), out);
  EXPECT_EQ(pa->close(h), kWaveOk);
}

}  // namespace

namespace {

// The server dies and is back before the next run: PortAudio's client is
// unknown to the new server, so the next opening starts a fresh state at
// once and measures through it, with the same device numbers.
TEST_F(JackLoopback, ServerRestartedBetweenRunsIsUsedAtTheNextRun) {
  auto pa = std::make_unique<PaAudio>();
  const int in = find(*pa, WaveDirection::input, "loopback (");
  const int out = find(*pa, WaveDirection::output, "loopback (");
  ASSERT_GE(in, 0);
  ASSERT_GE(out, 0);
  std::string why;
  ASSERT_TRUE(loopbackRunIsExact(*pa, in, out, why) || loopbackRunIsExact(*pa, in, out, why))
      << why;
  jackd_->restart();
  ASSERT_TRUE(jackd_->ready()) << jackd_->skipReason();
  why.clear();
  EXPECT_TRUE(loopbackRunIsExact(*pa, in, out, why) || loopbackRunIsExact(*pa, in, out, why))
      << why;
  EXPECT_EQ(find(*pa, WaveDirection::input, "loopback ("), in);
  const auto t0 = std::chrono::steady_clock::now();
  pa.reset();
  EXPECT_LT(secondsSince(t0), 1.0);
}

}  // namespace
