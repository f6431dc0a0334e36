// Impulse response and frequency curves on the recording canvas. Expected
// pixels come from the drawing formulas worked by hand: the time graph uses
// x_i = trunc(601 / winLength * i + 1) and y = trunc(centre - scale * sample)
// with scale = 297 / peak * 5 / 41; the frequency curves are drawn over
// 5 Hz .. 50 kHz, where x_j = trunc(553 * j / 999), with levels on
// y = trunc(233 - (m - (dBTop - range)) * 233 / range).

#include "display/curve_drawing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "canvas_records.h"
#include "display/graph_layout.h"

namespace {

constexpr Pen kRedDotted{colourRed, PenStyle::dotted, 1};
constexpr Pen kGreySolid{colourGrey, PenStyle::solid, 1};
constexpr Pen kSilverSolid{colourSilver, PenStyle::solid, 1};
constexpr Pen kRedSolid{colourRed, PenStyle::solid, 1};
constexpr Pen kBlueSolid{colourBlue, PenStyle::solid, 1};
constexpr Pen kSumPen{colourBlack, PenStyle::solid, 3};

struct Scene {
  MeasSetup setup;
  std::unique_ptr<DisplayCurves> curves = std::make_unique<DisplayCurves>();
  std::unique_ptr<ImpulseResponse> impulse = std::make_unique<ImpulseResponse>();
  RecordingCanvas time{kTimeGraphWidth, kTimeGraphHeight};
  RecordingCanvas plot{kPlotWidth, kPlotHeight};

  GraphInputs in(bool shown, bool calibrationView = false, CurveDrawOptions merge = {}) {
    return {setup, *curves, *impulse, shown, calibrationView, merge};
  }
  // Constant test curves; the levels map to the y given beside them.
  void fillSpl() {
    setup.freqLow = 5;
    setup.freqHigh = 50000;
    setup.displayRange = 50;
    curves->dBTop = 100;
    curves->splMag[0].fill(80);     // y 93
    curves->splMag[1].fill(60);     // y 186
    curves->sumSplMag.fill(90);     // y 46
    curves->splPhase[0].fill(90);   // y trunc(116 - 58.25) = 57
    curves->splPhase[1].fill(-45);  // y trunc(116 + 29.125) = 145
  }
  void fillImpedance() {
    setup.freqLow = 5;
    setup.freqHigh = 50000;
    setup.impedanceMode = 1;
    curves->zMag[0].fill(10);     // y 233 - 116.5 -> 116
    curves->zMag[1].fill(100);    // y 0
    curves->sumZMag.fill(1);      // y 233
    curves->zPhase[0].fill(45);   // y trunc(116 - 58.25) = 57
    curves->zPhase[1].fill(-30);  // y trunc(116 + 38.83) = 154
  }
};

// Every point of the polyline has this y.
bool flatAt(const Polyline& p, int y) {
  for (const Point& q : p.points)
    if (q.y != y) return false;
  return true;
}

void expectCurve(const Polyline& p, const Pen& pen, size_t points, int y) {
  EXPECT_EQ(p.pen, pen);
  EXPECT_EQ(p.points.size(), points);
  EXPECT_TRUE(flatAt(p, y)) << "expected every point at y " << y;
}

// Sample ticks: vertical lines rising from the bottom edge.
struct Tick {
  int x, length;
  Rgb colour;
};
std::vector<Tick> ticksOf(const RecordingCanvas& c) {
  std::vector<Tick> out;
  for (const CanvasOp& l : linesOf(c))
    if (l.y1 == c.height() && l.x1 == l.x2) out.push_back({l.x1, l.y1 - l.y2, l.pen.colour});
  return out;
}

TEST(TimeGraph, EmptyWithoutResponse) {
  Scene s;
  drawTimeGraph(s.in(true), s.time);
  ASSERT_EQ(s.time.ops()[1].kind, CanvasOpKind::rectangle);
  EXPECT_EQ(s.time.ops()[1].x2, 601);
  EXPECT_EQ(s.time.ops()[1].y2, 297);
  const auto lines = polylinesOf(s.time);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].points, (std::vector<Point>{{0, 0}, {0, 296}, {600, 296}, {600, 0}, {0, 0}}));
}

TEST(TimeGraph, OneChannelScaledToPeakFromImpulseStart) {
  Scene s;
  s.setup.hasResponse = true;
  s.setup.winLength = 128;
  s.setup.winStart = 10;
  s.impulse->impulseStart = 100;
  auto& ch0 = s.impulse->x[0];
  ch0[103] = -50;  // the peak: searched from impulseStart, not drawn
  ch0[110] = 50;   // i = 0: 148 - 2 * 0.72439 * 50 = 75.56
  ch0[111] = -25;  // i = 1: 148 + 36.22 = 184.22
  ch0[237] = 10;   // i = 127 at x = trunc(597.30): 148 - 14.49 = 133.51
  drawTimeGraph(s.in(true), s.time);
  auto lines = polylinesOf(s.time);
  ASSERT_GE(lines.size(), 2u);
  const Polyline& curve = lines[1];
  EXPECT_EQ(curve.pen, penSolidBlack);
  ASSERT_EQ(curve.points.size(), 129u);
  EXPECT_EQ(curve.points[0], (Point{1, 148}));
  EXPECT_EQ(curve.points[1], (Point{1, 75}));
  EXPECT_EQ(curve.points[2], (Point{5, 184}));
  EXPECT_EQ(curve.points[3], (Point{10, 148}));
  EXPECT_EQ(curve.points[128], (Point{597, 133}));

  // A response whose peak is below 1.0 is drawn on the scale of 1.0:
  // 148 - 2 * 36.2195 * 0.5 = 111.78.
  Scene small;
  small.setup.hasResponse = true;
  small.setup.winLength = 128;
  small.impulse->x[0][0] = 0.5;
  drawTimeGraph(small.in(true), small.time);
  EXPECT_EQ(polylinesOf(small.time)[1].points[1], (Point{1, 111}));
}

TEST(TimeGraph, TwoChannelsReadTheirOwnStart) {
  Scene s;
  s.setup.hasResponse = true;
  s.setup.twoChannel = true;
  s.setup.winLength = 128;
  s.setup.winStart = 200;
  s.impulse->impulseStart = 1000;
  auto& ch0 = s.impulse->x[0];
  auto& ch1 = s.impulse->x[1];
  ch0[1005] = 40;   // channel 0 peak (search ignores winStart): s0 = 0.905488
  ch0[1200] = 10;   // i = 0: 74 - 9.05 = 64.95
  ch0[1250] = 100;  // i = 50, drawn but outside the search: 74 - 90.55 = -16.55
  ch1[1007] = 80;   // channel 1, i = 7 from impulseStart: s1 = 0.452744, 222 - 36.22
  ch1[1207] = 1000; // would show if channel 1 were read with winStart
  drawTimeGraph(s.in(true), s.time);
  auto lines = polylinesOf(s.time);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[1].pen, penSolidBlack);
  EXPECT_EQ(lines[1].points[0], (Point{1, 74}));
  EXPECT_EQ(lines[1].points[1], (Point{1, 64}));
  EXPECT_EQ(lines[1].points[51], (Point{235, -16}));
  EXPECT_EQ(lines[2].pen, kBlueSolid);
  EXPECT_EQ(lines[2].points[0], (Point{1, 222}));
  EXPECT_EQ(lines[2].points[8], (Point{33, 185}));

  // Impedance mode shares channel 0's scale: 222 - 0.905488 * 80 = 149.56.
  s.setup.twoChannel = false;
  s.setup.impedanceMode = 1;
  s.time.clear();
  drawTimeGraph(s.in(true), s.time);
  EXPECT_EQ(polylinesOf(s.time)[2].points[8], (Point{33, 149}));

  // The calibration view shows both channels as well.
  s.setup.impedanceMode = 0;
  s.time.clear();
  drawTimeGraph(s.in(true, true), s.time);
  EXPECT_EQ(polylinesOf(s.time)[2].pen, kBlueSolid);
}

TEST(TimeGraph, SampleTicksByWindowLength) {
  Scene s;
  s.setup.hasResponse = true;
  auto countOf = [](const std::vector<Tick>& t, Rgb colour, int length) {
    return std::count_if(t.begin(), t.end(),
                         [&](const Tick& k) { return k.colour == colour && k.length == length; });
  };

  // 128: red every 5 (26), blue every 20 (7), black at 0 (20 long) and 100.
  s.setup.winLength = 128;
  drawTimeGraph(s.in(true), s.time);
  auto t = ticksOf(s.time);
  ASSERT_EQ(t.size(), 26u + 7u + 2u);
  EXPECT_EQ(countOf(t, colourRed, 4), 26);
  EXPECT_EQ(countOf(t, colourBlue, 8), 7);
  EXPECT_EQ(t[1].x, 24);    // k = 5: trunc(23.48 + 1)
  EXPECT_EQ(t[25].x, 587);  // k = 125
  EXPECT_EQ(t[26].colour, colourBlue);
  EXPECT_EQ(t[33].x, 1);
  EXPECT_EQ(t[33].length, 20);
  EXPECT_EQ(t[34].x, 470);  // k = 100: trunc(469.53 + 1)
  EXPECT_EQ(t[34].length, 12);

  // 512: no red; blue every 20 (26), black every 100 (6).
  s.setup.winLength = 512;
  s.time.clear();
  drawTimeGraph(s.in(true), s.time);
  t = ticksOf(s.time);
  ASSERT_EQ(t.size(), 26u + 6u);
  EXPECT_EQ(countOf(t, colourBlue, 8), 26);
  EXPECT_EQ(countOf(t, colourBlack, 20), 1);
  EXPECT_EQ(countOf(t, colourBlack, 12), 5);
  EXPECT_EQ(t.back().x, 587);  // k = 500: trunc(586.91 + 1)

  // 4096: black only, 41 ticks, 20 long at 0, 1000, 2000, 3000, 4000.
  s.setup.winLength = 4096;
  s.time.clear();
  drawTimeGraph(s.in(true), s.time);
  t = ticksOf(s.time);
  ASSERT_EQ(t.size(), 41u);
  EXPECT_EQ(countOf(t, colourBlack, 20), 5);
  EXPECT_EQ(countOf(t, colourBlack, 12), 36);
  EXPECT_EQ(t[10].x, 147);  // k = 1000: trunc(146.73 + 1)
  EXPECT_EQ(t[10].length, 20);
  EXPECT_EQ(t[40].x, 587);  // k = 4000
}

TEST(TimeGraph, WindowPastChannelEndStopsAtLastSample) {
  Scene s;
  s.setup.hasResponse = true;
  s.setup.winLength = 128;
  s.setup.winStart = 50;
  s.impulse->impulseStart = 99900;
  // Whatever lies past channel 0 in memory is huge: reading it would change
  // both the peak and the curve.
  s.impulse->x[1].fill(1e6);
  s.impulse->fhtWork.fill(1e6);
  s.impulse->x[0][99999] = 20;  // the last sample: i = 49, peak 20
  drawTimeGraph(s.in(true), s.time);
  auto curve = polylinesOf(s.time)[1];
  ASSERT_EQ(curve.points.size(), 1u + 50u);
  EXPECT_EQ(curve.points.back(), (Point{231, 75}));  // 148 - 72.44

  // Two channels: channel 1 from impulseStart 99950 has 50 samples too.
  Scene two;
  two.setup.hasResponse = true;
  two.setup.twoChannel = true;
  two.setup.winLength = 128;
  two.impulse->impulseStart = 99950;
  two.impulse->fhtWork.fill(1e6);
  two.impulse->x[1][99960] = 8;  // i = 10: 222 - 297 / 8 * 5 / 41 * 8 = 185.78
  drawTimeGraph(two.in(true), two.time);
  auto lines = polylinesOf(two.time);
  ASSERT_EQ(lines[2].points.size(), 1u + 50u);
  EXPECT_EQ(lines[2].points[11], (Point{47, 185}));
}

TEST(SplCurveDrawing, NothingWithoutMeasurementOrCalibration) {
  Scene s;
  s.fillSpl();
  drawSplCurves(s.in(false), s.plot);
  EXPECT_TRUE(s.plot.ops().empty());
}

TEST(SplCurveDrawing, SingleMeasurementPhaseUnderMagnitude) {
  Scene s;
  s.fillSpl();
  s.curves->splMag[0][10] = 120;  // above dBTop: off the top, 233 - 326.2
  drawSplCurves(s.in(true), s.plot);
  auto lines = polylinesOf(s.plot);
  ASSERT_EQ(lines.size(), 2u);
  // First point: a move and a line to the same point, then one line per point.
  expectCurve(lines[0], kRedDotted, 1001, 57);
  EXPECT_EQ(lines[0].points[0], lines[0].points[1]);
  EXPECT_EQ(lines[1].pen, penSolidBlack);
  EXPECT_EQ(lines[1].points[11], (Point{5, -93}));   // j = 10: trunc(5.54)
  EXPECT_EQ(lines[1].points[501], (Point{276, 93}));  // j = 500: trunc(276.78)
  EXPECT_EQ(lines[1].points[999], (Point{552, 93}));  // j = 998
  EXPECT_EQ(s.plot.pen(), penSolidBlack);

  // Hidden phase: the magnitude alone.
  s.setup.phaseHidden = true;
  s.plot.clear();
  drawSplCurves(s.in(true), s.plot);
  lines = polylinesOf(s.plot);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].pen, penSolidBlack);
}

TEST(SplCurveDrawing, MergeGreyWholeThenSelectedPartsBlack) {
  Scene s;
  s.fillSpl();
  // A transition exactly on grid point 500: curve 0 takes j < 500, curve 1
  // j > 500, point 500 belongs to neither.
  CurveDrawOptions merge{.mergeShown = true, .addMode = false,
                         .transitionFreq = s.setup.freqGrid[500]};
  drawSplCurves(s.in(true, false, merge), s.plot);
  auto lines = polylinesOf(s.plot);
  ASSERT_EQ(lines.size(), 6u);
  expectCurve(lines[0], kGreySolid, 1001, 93);
  expectCurve(lines[1], kGreySolid, 1001, 186);
  expectCurve(lines[2], kRedDotted, 501, 57);
  expectCurve(lines[3], kRedDotted, 500, 145);
  expectCurve(lines[4], penSolidBlack, 501, 93);
  expectCurve(lines[5], penSolidBlack, 500, 186);
  EXPECT_EQ(lines[4].points.back().x, 276);  // j = 499
  EXPECT_EQ(lines[5].points.front().x, 277);  // j = 501

  // Below 5 Hz the black layer is curve 1 alone, above 50 kHz curve 0 alone;
  // the grey layer always shows both.
  for (const auto& [freq, phaseY, magY] : {std::tuple{4.0, 145, 186}, std::tuple{60000.0, 57, 93}}) {
    merge.transitionFreq = freq;
    s.plot.clear();
    drawSplCurves(s.in(true, false, merge), s.plot);
    lines = polylinesOf(s.plot);
    ASSERT_EQ(lines.size(), 4u) << freq;
    expectCurve(lines[1], kGreySolid, 1001, 186);
    expectCurve(lines[2], kRedDotted, 1001, phaseY);
    expectCurve(lines[3], penSolidBlack, 1001, magY);
  }
}

TEST(SplCurveDrawing, AddAndCalibrationViewInRedAndBlue) {
  Scene s;
  s.fillSpl();
  CurveDrawOptions add{.mergeShown = true, .addMode = true};
  drawSplCurves(s.in(true, false, add), s.plot);
  auto lines = polylinesOf(s.plot);
  ASSERT_EQ(lines.size(), 3u);  // no phase layer in Add
  expectCurve(lines[0], kRedSolid, 1001, 93);
  expectCurve(lines[1], kBlueSolid, 1001, 186);
  expectCurve(lines[2], kSumPen, 1001, 46);
  EXPECT_EQ(s.plot.pen(), penSolidBlack);

  // The calibration view: left channel red, right blue, no phase, no sum.
  s.plot.clear();
  drawSplCurves(s.in(false, true), s.plot);
  lines = polylinesOf(s.plot);
  ASSERT_EQ(lines.size(), 2u);
  expectCurve(lines[0], kRedSolid, 1001, 93);
  expectCurve(lines[1], kBlueSolid, 1001, 186);
}

TEST(ImpedanceCurves, OneCurveOnlyWhenMeasurementShown) {
  Scene s;
  s.fillImpedance();
  drawImpedanceCurves(s.in(false, true), s.plot);
  EXPECT_TRUE(s.plot.ops().empty());

  drawImpedanceCurves(s.in(true), s.plot);
  auto lines = polylinesOf(s.plot);
  ASSERT_EQ(lines.size(), 2u);
  expectCurve(lines[0], kRedDotted, 1001, 57);
  expectCurve(lines[1], penSolidBlack, 1001, 116);
}

TEST(ImpedanceCurves, MergeInSilverAndAddWithoutPhase) {
  Scene s;
  s.fillImpedance();
  CurveDrawOptions merge{.mergeShown = true, .transitionFreq = s.setup.freqGrid[500]};
  drawImpedanceCurves(s.in(true, false, merge), s.plot);
  auto lines = polylinesOf(s.plot);
  ASSERT_EQ(lines.size(), 6u);
  expectCurve(lines[0], kSilverSolid, 1001, 116);
  expectCurve(lines[1], kSilverSolid, 1001, 0);
  expectCurve(lines[2], kRedDotted, 501, 57);
  expectCurve(lines[3], kRedDotted, 500, 154);
  expectCurve(lines[4], penSolidBlack, 501, 116);
  expectCurve(lines[5], penSolidBlack, 500, 0);

  merge.addMode = true;
  s.plot.clear();
  drawImpedanceCurves(s.in(true, false, merge), s.plot);
  lines = polylinesOf(s.plot);
  ASSERT_EQ(lines.size(), 3u);
  expectCurve(lines[0], kRedSolid, 1001, 116);
  expectCurve(lines[1], kBlueSolid, 1001, 0);
  expectCurve(lines[2], kSumPen, 1001, 233);
  EXPECT_EQ(s.plot.pen().width, 1);
}

TEST(ImpedanceCurves, UndefinedPointsSkippedAndZeroRunsOffTheBottom) {
  Scene s;
  s.fillImpedance();
  s.setup.phaseHidden = true;
  s.curves->zMag[0][300] = std::numeric_limits<double>::quiet_NaN();  // open circuit
  s.curves->zMag[0][301] = 0.0;  // ln 0: infinitely far below the plot
  drawImpedanceCurves(s.in(true), s.plot);
  auto lines = polylinesOf(s.plot);
  ASSERT_EQ(lines.size(), 1u);
  ASSERT_EQ(lines[0].points.size(), 1000u);
  EXPECT_EQ(lines[0].points[300], (Point{165, 116}));  // j = 299: trunc(165.63)
  EXPECT_EQ(lines[0].points[301].x, 166);              // j = 301 follows directly
  EXPECT_GT(lines[0].points[301].y, 1000);
}

}  // namespace
