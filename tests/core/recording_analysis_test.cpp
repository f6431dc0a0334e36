// The end of a recording on synthetic recordings: the played buffer delayed by
// a known latency, scaled by a known gain, with a DC offset, as a sound card
// would return it. Expected values are worked out from the formulas by hand.

#include "app/recording.h"
#include "display/level_display.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>
#include <string>
#include <vector>

#include "alloc_counter.h"
#include "canvas_records.h"
#include "display/graph_layout.h"
#include "app/app_state.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr Rgb kGreen{0, 255, 0};
constexpr Rgb kYellow{255, 255, 0};
constexpr Rgb kRed{255, 0, 0};

// Records the hooks in order. restoreCursor notes whether both bars had been
// drawn by then; updateViewState notes the flags the view is built from.
class EventHooks final : public RecordingHooks {
 public:
  EventHooks(const RecordingCanvas& left, const RecordingCanvas& right, const AppState& st)
      : left_(left), right_(right), st_(st) {
    events.reserve(32);  // the event names fit in the strings themselves: no allocation per run
  }
  void showBusyCursor() override { events.push_back("busy"); }
  void restoreCursor() override {
    events.push_back(!left_.ops().empty() && !right_.ops().empty() ? "restore+bars" : "restore");
  }
  void enableChannelSelector() override { events.push_back("selector"); }
  void updateViewState() override {
    events.push_back(std::string("view") + (st_.setup.hasResponse ? "+has" : "") +
                     (st_.responseValid ? "+valid" : ""));
  }
  void redrawGraphs() override { events.push_back("redraw"); }
  void startRecording() override { events.push_back("next"); }
  void stopDevices() override { events.push_back("stop"); }
  void setControlsEnabled(bool enable) override {
    events.push_back(enable ? "controls+on" : "controls+off");
  }
  std::vector<std::string> events;

 private:
  const RecordingCanvas& left_;
  const RecordingCanvas& right_;
  const AppState& st_;
};

struct Rig {
  std::unique_ptr<AppState> st = std::make_unique<AppState>();
  RecordingCanvas time{kTimeGraphWidth, kTimeGraphHeight};
  RecordingCanvas leftBar{kLevelBarWidth, kLevelBarHeight};
  RecordingCanvas rightBar{kLevelBarWidth, kLevelBarHeight};
  EventHooks hooks{leftBar, rightBar, *st};

  Rig(int order, int rateIndex) {
    st->setup.setSampleRate(rateIndex);
    st->setup.setMlsOrder(order - 12);
    buildMlsTables(st->setup, st->mls);
  }

  // What a sound card returns for the played buffer: channel ch delayed by
  // latency[ch] frames, scaled by gain[ch] (exact on +-30000), plus dc.
  void record(int latencyL, double gainL, int latencyR, double gainR, int dc) {
    const int latency[2] = {latencyL, latencyR};
    const double gain[2] = {gainL, gainR};
    for (int f = 0; f < kRecCapacityFrames; ++f)
      for (int ch = 0; ch < 2; ++ch) {
        const int p = f - latency[ch];
        const int played = (p >= 0 && p < kPlayBufferFrames) ? st->mls.playBuffer[2 * p + ch] : 0;
        st->recBuffer.samples[2 * f + ch] = static_cast<int16_t>(std::lround(gain[ch] * played) + dc);
      }
  }
  void put(int frame, int ch, int v) {
    st->recBuffer.samples[2 * frame + ch] = static_cast<int16_t>(v);
  }
  void run() { processRecording(*st, {time, leftBar, rightBar}, hooks); }
};

std::vector<CanvasOp> fillsOf(const RecordingCanvas& c) {
  std::vector<CanvasOp> out;
  for (const CanvasOp& op : c.ops())
    if (op.kind == CanvasOpKind::fillRect) out.push_back(op);
  return out;
}

// Before the arrival the envelope holds at most dc^2; the first frame of the
// sequence (frame 2000 + d, envelope index d - 1) lifts it to at least
// 0.1 (g 30000 - dc)^2, while no value can exceed (g 30000 + dc)^2, whose 5 %
// is smaller. So the onset is exactly d - 1 (0 for d = 0, whose first frame
// lies before the envelope), and delaySamples = max(2000, rate / 10) + d - 1.
TEST(RecordingAnalysis, OnsetAndMarginFollowTheLatency) {
  struct Case {
    int rateIndex;
    int latency;
    int onset;
    int delay;
  };
  for (const Case c : {Case{6, 480, 479, 4410 + 479}, Case{6, 1, 0, 4410}, Case{6, 0, 0, 4410},
                       Case{7, 480, 479, 4800 + 479}, Case{1, 2000, 1999, 2000 + 1999}}) {
    Rig rig(13, c.rateIndex);
    rig.record(c.latency, 0.5, c.latency, 0.9, 3);
    const RecordingLevels lv = analyseRecording(*rig.st);
    EXPECT_EQ(lv.onset, c.onset) << c.rateIndex << " " << c.latency;
    EXPECT_EQ(rig.st->setup.delaySamples, c.delay) << c.rateIndex << " " << c.latency;
    EXPECT_EQ(lv.startFrame, c.onset + 1900) << c.rateIndex << " " << c.latency;
    // +-15000 and +-27000 plus 3.
    EXPECT_EQ(lv.peak[0], 15003.0);
    EXPECT_EQ(lv.peak[1], 27003.0);
  }
}

TEST(RecordingAnalysis, PeaksRunFromTheStartFrameToTheEndOfTheNewMargin) {
  // Latency 480 at 44100: start frame 2379, new delaySamples 4889, so the
  // peaks cover frames 2379 .. 8192 + 4889 + 2000 - 1 = 15080.
  Rig rig(13, 6);
  rig.record(480, 0.5, 480, 0.5, 3);
  rig.put(2378, 1, 32767);   // one frame early
  rig.put(15081, 1, 32767);  // one frame late
  rig.put(2379, 1, 20000);   // first frame counted
  rig.put(15080, 0, -32768); // last frame counted; reads as its magnitude
  const RecordingLevels lv = analyseRecording(*rig.st);
  ASSERT_EQ(lv.startFrame, 2379);
  EXPECT_EQ(lv.peak[0], 32768.0);
  EXPECT_EQ(lv.peak[1], 20000.0);
}

// An averaged run's peaks cover every played period: a silent reference
// input (the right one, in two-channel mode; its spikes below lie past the
// onset search's 4096 + 8820 + 2000 frames) gives onset 0, start frame 1900
// and delaySamples 4410 at 44100; with 4 averages of
// order 12 the peaks run up to 5 x 4095 + 4410 + 2000 - 1 = 26884, with a
// single period up to 4096 + 4410 + 2000 - 1 = 10505.
TEST(RecordingAnalysis, AveragedPeaksCoverEveryPlayedPeriod) {
  for (int averages : {4, 1}) {
    SCOPED_TRACE(averages);
    Rig rig(12, 6);
    rig.st->recBuffer.samples.fill(0);
    rig.st->setup.averages = averages;
    rig.st->setup.twoChannel = true;
    rig.put(10505, 0, 1000);   // the last frame of a single period's span
    rig.put(10506, 0, 3000);   // past it, within the averaged span
    rig.put(26884, 1, -20000); // the last frame of the averaged span
    rig.put(26885, 1, 32767);  // past every span
    const RecordingLevels lv = measureRecording(rig.st->setup, rig.st->recBuffer);
    ASSERT_EQ(lv.onset, 0);
    ASSERT_EQ(rig.st->setup.delaySamples, 4410);
    EXPECT_EQ(lv.startFrame, 1900);
    EXPECT_EQ(lv.peak[0], averages == 4 ? 3000.0 : 1000.0);
    EXPECT_EQ(lv.peak[1], averages == 4 ? 20000.0 : 1.0);
  }
}

TEST(RecordingAnalysis, DetectionChannelFollowsTheMode) {
  // Left arrives after 480 frames, right after 100: the onset tells which one was used.
  struct Case {
    bool twoChannel;
    uint8_t impedance;
    int channel;
    int onset;
  };
  for (const Case c : {Case{false, 0, 0, 479}, Case{true, 0, 1, 99}, Case{false, 1, 0, 479},
                       Case{true, 1, 0, 479}}) {
    Rig rig(12, 6);
    rig.record(480, 0.5, 100, 0.9, 3);
    rig.st->setup.twoChannel = c.twoChannel;
    rig.st->setup.impedanceMode = c.impedance;
    EXPECT_EQ(detectionChannel(rig.st->setup), c.channel);
    EXPECT_EQ(analyseRecording(*rig.st).onset, c.onset) << c.twoChannel << " " << int(c.impedance);
  }
}

TEST(RecordingAnalysis, SilentInputEndsTheSearchAndKeepsTheMarginSmall) {
  Rig rig(15, 6);  // the recording stays all zero
  for (int run = 0; run < 3; ++run) {
    const RecordingLevels lv = analyseRecording(*rig.st);
    EXPECT_EQ(lv.onset, 0);
    EXPECT_EQ(lv.startFrame, 1900);
    EXPECT_EQ(rig.st->setup.delaySamples, 4410) << run;
    EXPECT_EQ(lv.peak[0], 1.0);
    EXPECT_EQ(lv.peak[1], 1.0);
  }
  EXPECT_EQ(findOnset(rig.st->recBuffer, 0, 0), 0);
  EXPECT_EQ(findOnset(rig.st->recBuffer, 0, -5), 0);
  EXPECT_EQ(findOnset(rig.st->recBuffer, 0, kEnvelopeCapacity + 1000), 0);
  // One nonzero frame is a signal: frame 2001 + 700 gives onset 700.
  rig.put(2701, 0, 1);
  EXPECT_EQ(findOnset(rig.st->recBuffer, 0, 40000), 700);
}

// Level = 20 log10(peak / 23000). Green from trunc((0.1 - min(0, level) 0.045) 126),
// yellow from trunc(max(2, (0.1 - 0.05 level) 126 - 1)) to trunc(12.6 - 1) = 11,
// red 2 .. 8 above 29000; x always 2 .. 9 on the 11-pixel bar.
TEST(LevelBar, GeometryFollowsThePeak) {
  struct Case {
    double peak;
    std::vector<std::pair<int, Rgb>> fills;  // top edge and colour after the white background
  };
  const std::vector<Case> cases = {
      {32767, {{12, kGreen}, {2, kYellow}, {2, kRed}}},  // +3.07 dB: yellow to the margin
      {29001, {{12, kGreen}, {2, kYellow}, {2, kRed}}},
      {29000, {{12, kGreen}, {2, kYellow}}},             // +2.01 dB, not above 29000
      {25000, {{12, kGreen}, {7, kYellow}}},             // +0.72 dB: 8.04 - 1
      {23000, {{12, kGreen}}},                           // 0 dB: no yellow
      {11500, {{46, kGreen}}},                           // -6.02 dB: 46.74
      {2300, {}},                                        // -20 dB: green without height
      {1.0, {}},                                         // no signal, -87.2 dB
  };
  const int rows[20] = {6, 12, 18, 25, 31, 37, 44, 50, 56, 63,
                        69, 75, 81, 88, 94, 100, 107, 113, 119, 126};  // trunc(6.3 i)
  for (const Case& c : cases) {
    RecordingCanvas bar(kLevelBarWidth, kLevelBarHeight);
    drawLevelBar(bar, c.peak);
    const auto fills = fillsOf(bar);
    ASSERT_EQ(fills.size(), c.fills.size() + 1) << c.peak;
    EXPECT_EQ((std::vector<int>{fills[0].x1, fills[0].y1, fills[0].x2, fills[0].y2}),
              (std::vector<int>{0, 0, 11, 126}));
    EXPECT_EQ(fills[0].fill, colourWhite);
    for (size_t k = 0; k < c.fills.size(); ++k) {
      const CanvasOp& f = fills[k + 1];
      const Rgb colour = c.fills[k].second;
      const int bottom = colour == kGreen ? 124 : colour == kYellow ? 11 : 8;
      EXPECT_EQ(f.fill, colour) << c.peak << " " << k;
      EXPECT_EQ((std::vector<int>{f.x1, f.y1, f.x2, f.y2}),
                (std::vector<int>{2, c.fills[k].first, 9, bottom}))
          << c.peak << " " << k;
    }

    const auto lines = polylinesOf(bar);
    ASSERT_EQ(lines.size(), 21u) << c.peak;
    for (int i = 0; i < 20; ++i) {
      EXPECT_EQ(lines[i].pen, (Pen{colourWhite, PenStyle::solid, 1}));
      EXPECT_EQ(lines[i].points, (std::vector<Point>{{0, rows[i]}, {11, rows[i]}})) << i;
    }
    EXPECT_EQ(lines[20].pen, penSolidBlack);
    EXPECT_EQ(lines[20].points,
              (std::vector<Point>{{0, 0}, {0, 125}, {10, 125}, {10, 0}, {0, 0}}));
    EXPECT_EQ(bar.pen(), penSolidBlack);
  }
}

TEST(RecordingAnalysis, LevelTestDrawsWaveformsAndLeavesTheImpulse) {
  // Latency 480: start frame 2379, the waveform from frame 2374, so the
  // sequence appears at l = 106. y = trunc(74 - v 297 / 130000) for the left,
  // around (3 * 297) / 4 = 222 for the right; x = trunc(l / 4296 * 601 + 1).
  Rig rig(12, 6);
  rig.record(480, 0.5, 480, 0.9, 3);
  AppState& st = *rig.st;
  st.measurementRun = false;
  st.setup.hasResponse = true;
  st.impulse.x[0].fill(7.0);
  st.impulse.x[1].fill(-7.0);
  st.impulse.impulseStart = 55;
  const ComplexCurve responseBefore = st.setup.response;
  rig.run();

  EXPECT_EQ(rig.hooks.events,
            (std::vector<std::string>{"busy", "restore+bars", "stop", "controls+on"}));
  for (int ch = 0; ch < 2; ++ch)
    for (int i = 0; i < kImpulseCapacity; ++i)
      ASSERT_EQ(st.impulse.x[ch][i], ch == 0 ? 7.0 : -7.0) << ch << " " << i;
  EXPECT_EQ(st.impulse.impulseStart, 55);
  EXPECT_FALSE(st.setup.hasResponse);
  EXPECT_FALSE(st.responseValid);
  EXPECT_FALSE(st.measurementShown);
  for (int i = 0; i < kGridPoints; ++i) ASSERT_EQ(st.setup.response[i], responseBefore[i]);
  EXPECT_EQ(st.setup.delaySamples, 4410 + 479);

  ASSERT_EQ(rig.time.ops()[0].kind, CanvasOpKind::rectangle);
  EXPECT_EQ((std::vector<int>{rig.time.ops()[0].x2, rig.time.ops()[0].y2}),
            (std::vector<int>{601, 297}));
  const auto waves = polylinesOf(rig.time);
  ASSERT_EQ(waves.size(), 2u);
  const bool up = st.mls.mlsSamples[0] > 0;
  struct Expect {
    int base, quiet, first;
  };
  // dc 3 alone: 73.99 and 221.99. First sequence frame: +15003 -> 39.72,
  // -14997 -> 108.26; +27003 -> 160.31, -26997 -> 283.68.
  const Expect e[2] = {{74, 73, up ? 39 : 108}, {222, 221, up ? 160 : 283}};
  for (int ch = 0; ch < 2; ++ch) {
    const auto& p = waves[ch].points;
    ASSERT_EQ(p.size(), 4096u + 200u + 1u);
    EXPECT_EQ(p[0], (Point{1, e[ch].base}));
    EXPECT_EQ(p[1], (Point{1, e[ch].quiet}));
    EXPECT_EQ(p[106], (Point{15, e[ch].quiet}));   // l = 105, still before the arrival
    EXPECT_EQ(p[107], (Point{15, e[ch].first}));   // l = 106: 15.83
    EXPECT_EQ(p[2149].x, 301);                     // l = 2148: 301.5
    EXPECT_EQ(p.back().x, 601);                    // l = 4295: 601.86
  }
  // The bars show the peaks: left 15003 is -3.71 dB (green from 33.64), right
  // 27003 is +1.39 dB (yellow from max(2, 2.82)).
  EXPECT_EQ(fillsOf(rig.leftBar)[1].y1, 33);
  EXPECT_EQ(fillsOf(rig.rightBar)[2].fill, kYellow);
  EXPECT_EQ(fillsOf(rig.rightBar)[2].y1, 2);
}

// Latency 480 at 44100 and n = 13: start frame 2379, the sequence arrives 101
// frames later, so the impulse of gain g peaks at element 101 with
// g 30000 8192, and starts 30 samples earlier, at 71. The response of that
// impulse is g 30000 cos(pi 30 / 16384) e^(-j 2 pi f 30 / 44100), up to the
// small offset residue of the DC.
std::complex<double> delayedGain(double gain, double freqHz) {
  const double w = -2.0 * kPi * freqHz * 30.0 / 44100.0;
  return gain * 30000.0 * std::cos(kPi * 30.0 / 16384.0) * std::complex<double>(std::cos(w), std::sin(w));
}

void expectResponse(const ComplexCurve& r, const RealCurve& grid, double gain) {
  for (int i = 0; i < kGridPoints && grid[i] < 20000.0; ++i) {
    const std::complex<double> want = delayedGain(gain, grid[i]);
    ASSERT_NEAR(r[i].re, want.real(), 0.003 * gain * 30000.0) << i;
    ASSERT_NEAR(r[i].im, want.imag(), 0.003 * gain * 30000.0) << i;
  }
}

TEST(RecordingAnalysis, MeasurementDeconvolvesTheLeftChannelIntoTheResponse) {
  Rig rig(13, 6);
  rig.record(480, 0.5, 480, 0.9, 3);
  AppState& st = *rig.st;
  st.measurementRun = true;
  st.impulse.x[1].fill(-7.0);
  rig.run();

  EXPECT_EQ(rig.hooks.events, (std::vector<std::string>{"busy", "restore+bars", "view+has+valid",
                                                        "redraw", "stop", "controls+on"}));
  EXPECT_EQ(st.impulse.impulseStart, 71);
  EXPECT_NEAR(st.impulse.x[0][101], 0.5 * 30000 * 8192, 100.0);
  for (int i = 0; i < kImpulseCapacity; ++i) ASSERT_EQ(st.impulse.x[1][i], -7.0) << i;
  expectResponse(st.setup.response, st.setup.freqGrid, 0.5);
  EXPECT_TRUE(st.setup.hasResponse);
  EXPECT_TRUE(st.responseValid);
  EXPECT_TRUE(st.measurementShown);
}

TEST(RecordingAnalysis, CalibrationRunDeconvolvesBothChannels) {
  Rig rig(13, 6);
  rig.record(480, 0.5, 480, 0.9, 3);  // a loopback: both channels alike but for the gain
  AppState& st = *rig.st;
  st.measurementRun = true;
  st.calibrationRun = true;
  st.calibrationView = true;
  st.impulse.x[1].fill(-7.0);
  const ComplexCurve responseBefore = st.setup.response;
  rig.run();

  EXPECT_EQ(st.impulse.impulseStart, 71);
  EXPECT_NEAR(st.impulse.x[0][101], 0.5 * 30000 * 8192, 100.0);
  EXPECT_NEAR(st.impulse.x[1][101], 0.9 * 30000 * 8192, 100.0);
  // SPL mode, 44100 Hz (index 6), n = 13 (index 1).
  EXPECT_TRUE(st.soundcardCal.calibratedFlags[0][6][1]);
  expectResponse(st.soundcardCal.table[0][6][1][0], st.setup.freqGrid, 0.5);
  expectResponse(st.soundcardCal.table[0][6][1][1], st.setup.freqGrid, 0.9);
  for (int i = 0; i < kGridPoints; ++i) ASSERT_EQ(st.setup.response[i], responseBefore[i]);
  EXPECT_TRUE(st.setup.hasResponse);
  EXPECT_TRUE(st.responseValid);
  EXPECT_FALSE(st.measurementShown);  // the Settings page shows the calibration
  EXPECT_EQ(rig.hooks.events, (std::vector<std::string>{"busy", "restore+bars", "view+has+valid",
                                                        "redraw", "stop", "controls+on"}));
}

TEST(RecordingAnalysis, CyclicRunStartsTheNextRecordingInsteadOfStopping) {
  for (const bool cyclic : {false, true}) {
    Rig rig(12, 6);
    rig.record(480, 0.5, 480, 0.9, 3);
    rig.st->measurementRun = true;
    rig.st->cyclicRunning = cyclic;
    rig.st->setup.twoChannel = true;
    rig.run();
    std::vector<std::string> want = {"busy", "restore+bars", "selector", "view+has+valid", "redraw"};
    if (cyclic) {
      want.push_back("next");
    } else {
      want.push_back("stop");
      want.push_back("controls+on");
    }
    EXPECT_EQ(rig.hooks.events, want) << cyclic;
  }
}

TEST(RecordingAnalysis, AllocatesNothingPerRecording) {
  Rig rig(15, 7);
  rig.record(480, 0.5, 480, 0.9, 3);
  AppState& st = *rig.st;
  st.setup.twoChannel = true;
  const size_t before = allocationCount();
  st.measurementRun = true;
  analyseRecording(st);
  rig.run();
  st.measurementRun = false;  // the level test draws the waveforms too
  rig.run();
  EXPECT_EQ(allocationCount(), before);
  EXPECT_GT(rig.time.ops().size(), 0u);
}

}  // namespace
