// Frame, grid and scales of the frequency graph on the window's canvas sizes
// (plot 553 x 233, frame 633 x 305). Expected pixels are worked out from
// x(f) = W ln(f / freqLow) / ln(freqHigh / freqLow), y = trunc(H / range *
// (dBTop - v)) and y = H - trunc(ln(z / zMin) / ln(zMax / zMin) * H + 0.5),
// by hand and checked with a separate script.

#include "display/graph_axes.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "canvas_records.h"
#include "display/graph_layout.h"
#include "setup/meas_setup.h"

namespace {

constexpr int W = kPlotWidth;
constexpr int H = kPlotHeight;

struct Axes {
  MeasSetup setup;
  RecordingCanvas frame{kFrameWidth, kFrameHeight};
  RecordingCanvas plot{kPlotWidth, kPlotHeight};
};

// The y of every horizontal line drawn across the whole plot width.
std::vector<int> horizontalLines(const RecordingCanvas& plot) {
  std::vector<int> ys;
  for (const CanvasOp& l : linesOf(plot))
    if (l.x1 == 0 && l.x2 == W && l.y1 == l.y2) ys.push_back(l.y1);
  return ys;
}

// Phase ticks: short lines from (W - 5, y) to (W, y).
std::vector<int> phaseTicks(const RecordingCanvas& plot) {
  std::vector<int> ys;
  for (const CanvasOp& l : linesOf(plot))
    if (l.x1 == W - 5 && l.x2 == W && l.y1 == l.y2) ys.push_back(l.y1);
  return ys;
}

TEST(FreqFrame, WipesFrameAndPlotThenDrawsGridDotted) {
  Axes a;
  drawFreqFrame(a.setup, a.frame, a.plot);

  std::vector<CanvasOp> rects;
  for (const CanvasOp& op : a.frame.ops())
    if (op.kind == CanvasOpKind::rectangle) rects.push_back(op);
  ASSERT_EQ(rects.size(), 2u);
  EXPECT_EQ((std::vector<int>{rects[0].x2, rects[0].y2, rects[1].x2, rects[1].y2}),
            (std::vector<int>{633, 305, 632, 304}));
  EXPECT_EQ(rects[0].pen, penSolidBlack);
  // Two borders of four lines each: (0,0) -> (0,304) -> (632,304) -> (632,0) -> (0,0).
  const auto frameLines = linesOf(a.frame);
  ASSERT_EQ(frameLines.size(), 8u);
  EXPECT_EQ(frameLines[1].x2, 632);
  EXPECT_EQ(frameLines[1].y2, 304);

  const auto& first = a.plot.ops().front();
  ASSERT_EQ(a.plot.ops()[1].kind, CanvasOpKind::rectangle);
  EXPECT_EQ(first.pen, penSolidBlack);
  EXPECT_EQ(a.plot.ops()[1].x2, 552);
  EXPECT_EQ(a.plot.ops()[1].y2, 232);

  // 9 x 4 vertical lines, 10 Hz .. 90 kHz, each over the full height.
  const auto grid = linesOf(a.plot);
  ASSERT_EQ(grid.size(), 36u);
  for (const CanvasOp& l : grid) {
    EXPECT_EQ(l.pen, penGrid);
    EXPECT_EQ(l.x1, l.x2);
    EXPECT_EQ(l.y1, 0);
    EXPECT_EQ(l.y2, H);
  }
  // Order i outer, decade inner: 10, 100, 1000, 10000, 20, 200, ...; 10 Hz lies
  // left of the plot (x = trunc(-54.99) = -54) and 20 Hz on its edge.
  EXPECT_EQ(grid[0].x1, -54);
  EXPECT_EQ(grid[1].x1, 129);
  EXPECT_EQ(grid[3].x1, 498);
  EXPECT_EQ(grid[4].x1, 0);
  EXPECT_EQ(grid[7].x1, 553);
  EXPECT_EQ(a.plot.pen(), penGrid);
}

TEST(FreqFrame, LabelsFollowRangeRules) {
  Axes a;
  drawFreqFrame(a.setup, a.frame, a.plot);
  // Defaults 20 Hz .. 20 kHz: 20000 equals freqHigh and gets no label.
  const std::vector<Label> defaults = {{"20Hz", 42, 270},  {"50", 115, 270},   {"100", 168, 270},
                                       {"200", 223, 270},  {"500", 297, 270},  {"1000", 349, 270},
                                       {"2000", 405, 270}, {"5000", 478, 270}, {"10000", 531, 270}};
  EXPECT_EQ(labelsOf(a.frame), defaults);

  // freqLow 5: the first label is 5, with the unit.
  a.setup.freqLow = 5;
  a.frame.clear();
  drawFreqFrame(a.setup, a.frame, a.plot);
  auto five = labelsOf(a.frame);
  ASSERT_EQ(five.size(), 11u);
  EXPECT_EQ(five[0], (Label{"5Hz", 45, 270}));
  EXPECT_EQ(five[1], (Label{"10", 88, 270}));

  // freqLow 21: 20 >= 21 - 1 still gets its label, just left of the plot edge
  // (x(20) = -3.93, +0.5 truncates to -3).
  a.setup.freqLow = 21;
  a.frame.clear();
  drawFreqFrame(a.setup, a.frame, a.plot);
  auto twentyOne = labelsOf(a.frame);
  ASSERT_EQ(twentyOne.size(), 9u);
  EXPECT_EQ(twentyOne[0], (Label{"20Hz", 39, 270}));
  EXPECT_EQ(twentyOne[1], (Label{"50", 112, 270}));

  // freqLow 22: 20 < 21 and is left out; 50 becomes the first, with the unit.
  a.setup.freqLow = 22;
  a.frame.clear();
  drawFreqFrame(a.setup, a.frame, a.plot);
  EXPECT_EQ(labelsOf(a.frame)[0].text, "50Hz");
}

TEST(SplAxis, GridStepThresholds) {
  // Each threshold is a "less than", tested in order, the last that holds wins.
  const struct { double range, step; } rows[] = {
      {200, 10}, {80, 10}, {70.1, 10}, {70, 5}, {40, 5}, {30.1, 5}, {30, 2},   {15.1, 2},
      {15, 1},   {7.1, 1}, {7, 0.5},   {1, 0.5}};
  for (const auto& r : rows) EXPECT_EQ(splGridStep(r.range), r.step) << "range " << r.range;
}

TEST(SplAxis, WorkedExampleLinesLabelsAndPhaseTicks) {
  Axes a;
  drawSplAxis(a.setup, 83.4, a.frame, a.plot);
  // 5 dB steps from 85 (above the top: drawn, no label) down to 45; 40 would
  // lie on the bottom edge (83.4 - 40 = 43.4 < 40 fails) and is not drawn.
  EXPECT_EQ(horizontalLines(a.plot), (std::vector<int>{-9, 19, 48, 78, 107, 136, 165, 194, 223}));
  const std::vector<Label> expected = {
      {"80.0", 19, 45},  {"75.0", 19, 74},  {"70.0", 19, 104}, {"65.0", 19, 133},
      {"60.0", 19, 162}, {"55.0", 19, 191}, {"50.0", 19, 220}, {"45.0", 19, 249},
      {"dB", 10, 7}};
  auto labels = labelsOf(a.frame);
  ASSERT_GE(labels.size(), expected.size());
  EXPECT_EQ(std::vector<Label>(labels.begin(), labels.begin() + 9), expected);

  // Phase ticks every 30 degrees, -180 at the bottom, trunc(116 - 233 p / 360).
  EXPECT_EQ(phaseTicks(a.plot),
            (std::vector<int>{232, 213, 193, 174, 154, 135, 116, 96, 77, 57, 38, 18, 0}));
  ASSERT_EQ(labels.size(), 9u + 13u + 1u);
  EXPECT_EQ(labels[9], (Label{"-180", 602, 258}));
  EXPECT_EQ(labels[15], (Label{" +0", 602, 142}));
  EXPECT_EQ(labels[16], (Label{"+30", 602, 122}));
  EXPECT_EQ(labels[21], (Label{"+180", 602, 26}));
  EXPECT_EQ(labels[22], (Label{"deg", 603, 7}));
  for (const CanvasOp& l : linesOf(a.plot)) EXPECT_EQ(l.pen, penGrid);
}

TEST(SplAxis, NegativeLevelsAndEdgeLines) {
  Axes a;
  // dBTop 3, range 20, 2 dB steps: negative labels sit 3 pixels further left
  // than positive ones with as many digits (2.0 at 25, -2.0 at 22; -10.0 at 16).
  a.setup.displayRange = 20;
  drawSplAxis(a.setup, 3, a.frame, a.plot);
  EXPECT_EQ(horizontalLines(a.plot),
            (std::vector<int>{-11, 11, 34, 58, 81, 104, 128, 151, 174, 198, 221}));
  auto labels = labelsOf(a.frame);
  EXPECT_EQ(labels[0], (Label{"2.0", 25, 37}));
  EXPECT_EQ(labels[1], (Label{"0.0", 25, 60}));
  EXPECT_EQ(labels[2], (Label{"-2.0", 22, 84}));
  EXPECT_EQ(labels[6], (Label{"-10.0", 16, 177}));
  EXPECT_EQ(labels[9], (Label{"-16.0", 16, 247}));

  // dBTop -7: trunc(-7 / 5 + 1) = 0, so the first line is 0 dB, more than one
  // step above the top; 0 and -5 lie above the plot and get no label.
  Axes b;
  drawSplAxis(b.setup, -7, b.frame, b.plot);
  EXPECT_EQ(horizontalLines(b.plot), (std::vector<int>{-40, -11, 17, 46, 75, 104, 133, 163, 192, 221}));
  EXPECT_EQ(labelsOf(b.frame)[0], (Label{"-10.0", 16, 43}));

  // dBTop 80: the 80 dB line lies on the top edge (y = 0), drawn without label.
  Axes c;
  drawSplAxis(c.setup, 80, c.frame, c.plot);
  EXPECT_EQ(horizontalLines(c.plot), (std::vector<int>{-29, 0, 29, 58, 87, 116, 145, 174, 203}));
  EXPECT_EQ(labelsOf(c.frame)[0], (Label{"75.0", 19, 55}));
}

TEST(SplAxis, HiddenPhaseLeavesOutTicksAndLabels) {
  Axes a;
  a.setup.phaseHidden = true;
  drawSplAxis(a.setup, 83.4, a.frame, a.plot);
  EXPECT_TRUE(phaseTicks(a.plot).empty());
  EXPECT_FALSE(hasLabel(a.frame, "deg"));
  EXPECT_FALSE(hasLabel(a.frame, "+30"));
  EXPECT_EQ(labelsOf(a.frame).back(), (Label{"dB", 10, 7}));
}

TEST(ImpedanceAxis, OneToHundredOhm) {
  Axes a;
  drawImpedanceAxis(a.setup, a.frame, a.plot);
  // Grid for i * 10^j, i outer, j = -1 .. 2: 0.1 .. 0.9 below the plot and
  // 200 .. 900 above it are drawn all the same (clipped by the canvas).
  EXPECT_EQ(horizontalLines(a.plot),
            (std::vector<int>{348, 233, 116, 0,   313, 198, 81, -35, 293, 177, 61, -56,
                              278, 163, 46,  -70, 267, 152, 35, -81, 258, 142, 26, -91,
                              250, 135, 18,  -98, 243, 128, 11, -105, 237, 122, 5,  -111}));
  const std::vector<Label> expected = {{"1.0", 30, 259},  {"2.0", 30, 224},  {"5.0", 30, 178},
                                       {"10.0", 24, 142}, {"20.0", 24, 107}, {"50.0", 24, 61},
                                       {"100.0", 18, 26}, {"ohm", 10, 7}};
  auto labels = labelsOf(a.frame);
  ASSERT_EQ(labels.size(), expected.size() + 13u + 1u);
  EXPECT_EQ(std::vector<Label>(labels.begin(), labels.begin() + 8), expected);

  // Phase ticks every 15 degrees over +-90: trunc(116 - 233 p / 180).
  EXPECT_EQ(phaseTicks(a.plot),
            (std::vector<int>{232, 213, 193, 174, 154, 135, 116, 96, 77, 57, 38, 18, 0}));
  EXPECT_EQ(labels[8], (Label{"-90", 602, 258}));
  EXPECT_EQ(labels[14], (Label{" +0", 602, 142}));
  EXPECT_EQ(labels[20], (Label{"+90", 602, 26}));
  EXPECT_EQ(labels[21], (Label{"deg", 603, 7}));

  // A range of 0.1 .. 1000 ohm labels every entry of the list, 0.1 at the bottom.
  Axes wide;
  wide.setup.zMin = 0.1;
  wide.setup.zMax = 1000;
  wide.setup.phaseHidden = true;
  drawImpedanceAxis(wide.setup, wide.frame, wide.plot);
  auto all = labelsOf(wide.frame);
  ASSERT_EQ(all.size(), 14u);
  EXPECT_EQ(all[0], (Label{"0.1", 30, 259}));
  EXPECT_EQ(all[12], (Label{"1000.0", 12, 26}));
  EXPECT_EQ(all[13].text, "ohm");
}

}  // namespace
