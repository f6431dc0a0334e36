// The graphs' geometry as the window grows or the screen's pixel ratio
// changes, and the time graph's scale. Expected pixels are worked out here
// from the formulas: x = trunc(xStep * samples + 1) with xStep = width /
// winLength for the time graph, trunc(centre - fraction * height * percent /
// 100) for the amplitude, and the labels' offsets times the text scale.

#include "display/time_scale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "alloc_counter.h"
#include "canvas_records.h"
#include "display/graph_axes.h"
#include "display/redraw.h"

namespace {

TEST(GraphGeometry, GrowsTheGraphsByTheExtraSizeAndScalesWithThePixelRatio) {
  const GraphGeometry d;
  EXPECT_EQ(graphGeometry(0, 0), d);
  EXPECT_EQ(graphGeometry(-5, -1), d);  // never below the default
  EXPECT_EQ((std::vector<int>{d.plotWidth, d.plotHeight, d.frameWidth, d.frameHeight, d.timeWidth,
                              d.timeHeight, d.labelX, d.labelY}),
            (std::vector<int>{553, 233, 633, 305, 601, 297, 40, 32}));

  // 1280 x 900 is 613 x 328 more than 667 x 572.
  const GraphGeometry g = graphGeometry(1280 - 667, 900 - 572);
  EXPECT_EQ((std::vector<int>{g.plotWidth, g.plotHeight, g.frameWidth, g.frameHeight, g.timeWidth,
                              g.timeHeight, g.timeFrameWidth, g.timeFrameHeight}),
            (std::vector<int>{1166, 561, 1246, 633, 1214, 625, 1270, 673}));
  EXPECT_EQ((std::vector<int>{g.plotX, g.plotY, g.labelX, g.labelY, g.timeX, g.timeY}),
            (std::vector<int>{48, 32, 40, 32, 8, 16}));

  const GraphGeometry s = scaledGeometry(d, 1.5);
  EXPECT_EQ((std::vector<int>{s.plotWidth, s.plotHeight, s.plotX, s.labelX, s.timeWidth}),
            (std::vector<int>{830, 350, 72, 60, 902}));  // 829.5 and 901.5 round up
  EXPECT_DOUBLE_EQ(s.textScale, 1.5);
  EXPECT_EQ(scaledGeometry(d, 0.0), d);
  EXPECT_EQ(scaledGeometry(d, std::nan("")), d);
  EXPECT_EQ(scaledGeometry(d, 1.0), d);
}

TEST(TimeScale, TickStepIsTheSmallestRoundStepFarEnoughApart) {
  EXPECT_DOUBLE_EQ(timeTickStep(48.0, 48.0), 1.0);                // exactly 48 px per ms
  EXPECT_DOUBLE_EQ(timeTickStep(601.0 * 48 / 8192, 48.0), 20.0);  // 13.6 ms at least
  EXPECT_DOUBLE_EQ(timeTickStep(1.0, 48.0), 50.0);
  EXPECT_DOUBLE_EQ(timeTickStep(100.0, 48.0), 0.5);
  EXPECT_DOUBLE_EQ(timeTickStep(1000.0, 96.0), 0.1);
  EXPECT_EQ(timeTickStep(0.0, 48.0), 0.0);
  EXPECT_EQ(timeTickStep(std::nan(""), 48.0), 0.0);
  EXPECT_EQ(timeTickStep(10.0, -1.0), 0.0);
}

struct TimeScene {
  MeasSetup setup;
  std::unique_ptr<DisplayCurves> curves = std::make_unique<DisplayCurves>();
  std::unique_ptr<ImpulseResponse> impulse = std::make_unique<ImpulseResponse>();
  RecordingCanvas frame{657, 345};

  TimeScene() {
    setup.hasResponse = true;
    setup.sampleRate = setup.responseRate = 48000;
    setup.mlsSize = 32768;
    setup.winLength = 8192;
  }
  void draw(const GraphGeometry& g = {}, bool calibrationView = false) {
    frame.clear();
    const GraphInputs in{setup, *curves, *impulse, true, calibrationView, {}};
    drawTimeScale(in, frame, g);
  }
  // Short vertical black lines hanging from the graph's bottom edge at y.
  std::vector<int> timeTicks(int bottom) const {
    std::vector<int> xs;
    for (const CanvasOp& l : linesOf(frame))
      if (l.x1 == l.x2 && l.y1 == bottom && l.y2 > bottom && l.pen == penSolidBlack)
        xs.push_back(l.x1);
    return xs;
  }
  std::vector<int> percentTicks(int right) const {
    std::vector<int> ys;
    for (const CanvasOp& l : linesOf(frame))
      if (l.y1 == l.y2 && l.x1 == right && l.x2 > right) ys.push_back(l.y1);
    return ys;
  }
  std::vector<CanvasOp> markers() const {
    std::vector<CanvasOp> out;
    for (const CanvasOp& l : linesOf(frame))
      if (l.pen.colour == colourRed) out.push_back(l);
    return out;
  }
};

// 601 pixels for 8192 samples at 48 kHz: 3.52 pixels per ms, so 20 ms
// ticks; the tick at t ms lies at 8 + trunc(601 / 8192 * 48 t + 1).
TEST(TimeScale, MillisecondsFromTheImpulseStartAlongTheBottom) {
  TimeScene s;
  s.draw();
  std::vector<int> expected;
  std::vector<Label> labels;
  for (int t = 0; t <= 160; t += 20) {
    const int x = 8 + static_cast<int>(601.0 / 8192 * 48 * t + 1);
    expected.push_back(x);
    const std::string text = std::to_string(t);
    labels.push_back({text, x - 3 * static_cast<int>(text.size()), 16 + 297 + 5});
  }
  EXPECT_EQ(s.timeTicks(313), expected);  // 9, 79, 149, ... 572
  EXPECT_EQ(expected[1], 79);
  std::vector<Label> drawn;
  for (const Label& l : labelsOf(s.frame))
    if (l.y == 318) drawn.push_back(l);
  labels.push_back({"ms", 8 + 601 + 20, 318});
  EXPECT_EQ(drawn, labels);

  // A window offset of 100 samples (2.08 ms) starts the axis there: the
  // first tick is 20 ms, 860 samples into the graph.
  s.setup.winStart = 100;
  s.draw();
  const std::vector<int> ticks = s.timeTicks(313);
  ASSERT_FALSE(ticks.empty());
  EXPECT_EQ(ticks.front(), 8 + static_cast<int>(601.0 / 8192 * 860 + 1));
}

TEST(TimeScale, AmplitudeInPercentOfThePeakPerChannel) {
  TimeScene s;
  s.draw();
  // One channel: centre 148, a peak-sized sample 2 * 297 * 5 / 41 above it.
  const double one = 2 * 297 * 5.0 / 41;
  std::vector<int> expected;
  for (const int p : {100, 50, 0, -50, -100})
    expected.push_back(16 + static_cast<int>(std::trunc(148 - one * p / 100)));
  EXPECT_EQ(s.percentTicks(609), expected);
  EXPECT_EQ(expected, (std::vector<int>{91, 127, 164, 200, 236}));
  EXPECT_TRUE(hasLabel(s.frame, "100%"));
  EXPECT_TRUE(hasLabel(s.frame, "-50%"));

  // Two channels: centres 74 and 222, half the scale each.
  s.setup.twoChannel = true;
  s.draw();
  expected.clear();
  for (const int centre : {74, 222})
    for (const int p : {100, 0, -100})
      expected.push_back(16 + static_cast<int>(std::trunc(centre - 297 * 5.0 / 41 * p / 100)));
  EXPECT_EQ(s.percentTicks(609), expected);
  EXPECT_FALSE(hasLabel(s.frame, "50%"));
}

TEST(TimeScale, AnalysisWindowMarkersWhereTheWindowLies) {
  TimeScene s;
  s.draw();
  // SPL: the graph is the window, from x = 1 to just past its right edge.
  auto m = s.markers();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0].x1, 8 + 1);
  EXPECT_EQ(m[1].x1, 8 + 601 + 1);
  EXPECT_EQ(m[0].y1, 16 - 10);
  EXPECT_EQ(m[0].y2, 16);
  EXPECT_TRUE(hasLabel(s.frame, "Window 0.0 - 170.7 ms"));  // 8192 / 48

  // A Length longer than the analysis can use: the window ends at 8192
  // samples of a 4096-sample sequence (its period is shorter than 8192),
  // inside a graph 10000 samples wide.
  s.setup.mlsSize = 4096;
  s.setup.winLength = 10000;
  s.draw();
  m = s.markers();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[1].x1, 8 + static_cast<int>(601.0 / 10000 * 8192 + 1));

  // Impedance: the window starts at the impulse, 100 samples left of the
  // graph, and holds 8192 * 48000 / 44100 (rounded up) = 8917 samples.
  s.setup.mlsSize = 32768;
  s.setup.winLength = 8192;
  s.setup.winStart = 100;
  s.setup.impedanceMode = 1;
  s.draw();
  EXPECT_TRUE(s.markers().empty());
  EXPECT_TRUE(hasLabel(s.frame, "Window 0.0 - 185.8 ms"));
}

TEST(TimeScale, NothingButTheEmptyFrameWithoutAResponseOrRate) {
  TimeScene s;
  s.setup.hasResponse = false;
  s.draw();
  EXPECT_TRUE(labelsOf(s.frame).empty());
  EXPECT_EQ(linesOf(s.frame).size(), 4u);  // the border
  // White fills cover the frame around the graph, not the graph's area.
  long filled = 0;
  for (const CanvasOp& op : s.frame.ops()) {
    if (op.kind != CanvasOpKind::fillRect) continue;
    EXPECT_EQ(op.fill, colourWhite);
    filled += static_cast<long>(op.x2 - op.x1) * (op.y2 - op.y1);
    const bool apart = op.x2 <= 8 || op.x1 >= 609 || op.y2 <= 16 || op.y1 >= 313;
    EXPECT_TRUE(apart) << op.x1 << ", " << op.y1;
  }
  EXPECT_EQ(filled, 657L * 345 - 601L * 297);
  s.setup.hasResponse = true;
  s.setup.responseRate = s.setup.sampleRate = 0;
  s.draw();
  EXPECT_TRUE(labelsOf(s.frame).empty());
  s.setup.responseRate = 48000;
  s.setup.winLength = 0;
  s.draw();
  EXPECT_TRUE(labelsOf(s.frame).empty());
}

// At twice the pixels (a HiDPI screen) the labels keep their place relative
// to the lines, at twice the distance; the frequency labels of a wider plot
// move with x(f).
TEST(GraphLabels, FollowThePlotSizeAndTheTextScale) {
  MeasSetup setup;
  const GraphGeometry g = scaledGeometry(graphGeometry(613, 328), 2.0);
  RecordingCanvas frame{g.frameWidth, g.frameHeight};
  RecordingCanvas plot{g.plotWidth, g.plotHeight};
  drawFreqFrame(setup, frame, plot, g);
  drawSplAxis(setup, 80.0, frame, plot, g);
  const int w = g.plotWidth;   // 2332
  const int h = g.plotHeight;  // 1122
  ASSERT_EQ(w, 2332);
  // 1000 Hz: x = trunc(W ln(1000 / 20) / ln(1000) + 0.5), label 5 - 3 * 3
  // default pixels right of it, 5 below the plot.
  const int x1k = static_cast<int>(w * std::log(50.0) / std::log(1000.0) + 0.5);
  bool found = false;
  for (const Label& l : labelsOf(frame))
    if (l.text == "1000") found = l == Label{"1000", 80 + x1k - 8, 64 + h + 10};
  EXPECT_TRUE(found);
  // 70 dB (range 40 from 80): y = trunc(H / 40 * 10), two digits: 15 + 6
  // pixels left of the corner, 6 up.
  const int y70 = static_cast<int>(h / 40.0 * 10);
  found = false;
  for (const Label& l : labelsOf(frame))
    if (l.text == "70.0") found = l == Label{"70.0", 80 - 42, 64 + y70 - 12};
  EXPECT_TRUE(found);
  EXPECT_TRUE(hasLabel(frame, "dB"));
  EXPECT_EQ(labelsOf(frame).back(), (Label{"deg", w + 80 + 20, 64 - 50}));
  // Phase ticks: 10 pixels long at the plot's right edge.
  int ticks = 0;
  for (const CanvasOp& l : linesOf(plot)) ticks += l.x1 == w - 10 && l.x2 == w && l.y1 == l.y2;
  EXPECT_EQ(ticks, 13);
}

// A whole redraw at 1600 x 1000 (the scale included) allocates nothing.
TEST(GraphLabels, RedrawAtALargeSizeAllocatesNothing) {
  const GraphGeometry g = graphGeometry(1600 - 667, 1000 - 572);
  TimeScene s;
  auto time = std::make_unique<RecordingCanvas>(g.timeWidth, g.timeHeight);
  auto timeFrame = std::make_unique<RecordingCanvas>(g.timeFrameWidth, g.timeFrameHeight);
  auto frame = std::make_unique<RecordingCanvas>(g.frameWidth, g.frameHeight);
  auto plot = std::make_unique<RecordingCanvas>(g.plotWidth, g.plotHeight);
  RedrawHooks hooks;
  bool calibrationRun = false;
  const GraphInputs in{s.setup, *s.curves, *s.impulse, true, false, {}};
  const GraphCanvases canvases{*time, *frame, *plot, timeFrame.get(), g};
  const std::size_t before = allocationCount();
  redrawGraphs(in, calibrationRun, canvases, hooks);
  EXPECT_EQ(allocationCount(), before);
  EXPECT_TRUE(hasLabel(*timeFrame, "ms"));
  EXPECT_EQ(timeFrame->dropped() + frame->dropped() + plot->dropped(), 0u);
}

}  // namespace
