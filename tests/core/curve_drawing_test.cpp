// Impulse response and frequency curves on the recording canvas. Expected
// pixels come from the drawing formulas worked by hand: the time graph uses
// x_i = trunc(601 / winLength * i + 1) and y = trunc(centre - scale * sample)
// with scale = 297 / peak * 5 / 41; the frequency curves are drawn over
// 5 Hz .. 50 kHz, where x_j = trunc(553 * j / 999), with levels on
// y = trunc(233 - (m - (dBTop - range)) * 233 / range).
//
// A curve measured at rate R holds data at grid points 5 * 10^(4 j / 999) <
// R / 2, i.e. j < 999 / 4 * log10(R / 10):
//   R = 44100: j < 249.75 * log10(4410) = 910.2, last j 910 (22009.7 Hz;
//              j 911 is 22213.5 Hz), x = trunc(553 * 910 / 999) = trunc(503.73)
//   R = 96000: j < 249.75 * log10(9600) = 994.6, last j 994 (47747.4 Hz;
//              j 995 is 48189.7 Hz), x = trunc(553 * 994 / 999) = trunc(550.23)
//   R = 11:    j < 249.75 * log10(1.1) = 10.3, last j 10 (5.483 Hz)
// A polyline through points 0..last has last + 2 points (the first is also
// the move).

#include "display/curve_drawing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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
  // At the default 44100 Hz both end at grid point 910 (see the rate tests).
  s.plot.clear();
  drawSplCurves(s.in(false, true), s.plot);
  lines = polylinesOf(s.plot);
  ASSERT_EQ(lines.size(), 2u);
  expectCurve(lines[0], kRedSolid, 912, 93);
  expectCurve(lines[1], kBlueSolid, 912, 186);
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

// Rightmost pixel any line segment on the canvas reaches.
int rightmostLineX(const RecordingCanvas& c) {
  int x = -1;
  for (const CanvasOp& l : linesOf(c)) x = std::max({x, l.x1, l.x2});
  return x;
}

TEST(MeasuredRange, GridPointsBelowHalfTheRate) {
  const MeasSetup s;
  EXPECT_EQ(measuredGridPoints(s.freqGrid, 0), kGridPoints);  // no measurement: no limit
  EXPECT_EQ(measuredGridPoints(s.freqGrid, -8000), kGridPoints);
  EXPECT_EQ(measuredGridPoints(s.freqGrid, 44100), 911);
  EXPECT_EQ(measuredGridPoints(s.freqGrid, 96000), 995);
  EXPECT_EQ(measuredGridPoints(s.freqGrid, 11), 11);
  // Half the rate exactly on grid point 0 (5 Hz): that point is not measured.
  EXPECT_EQ(measuredGridPoints(s.freqGrid, 10), 0);
}

// The live curve, magnitude and phase, ends at the last grid point below half
// its rate however far the shown range goes; without a rate it is whole.
TEST(MeasuredRange, LiveCurveEndsBelowHalfItsRate) {
  Scene s;
  s.fillSpl();
  s.setup.responseRate = 44100;
  drawSplCurves(s.in(true), s.plot);
  auto lines = polylinesOf(s.plot);
  ASSERT_EQ(lines.size(), 2u);
  expectCurve(lines[0], kRedDotted, 912, 57);
  expectCurve(lines[1], penSolidBlack, 912, 93);
  EXPECT_EQ(lines[1].points.back(), (Point{503, 93}));
  EXPECT_EQ(rightmostLineX(s.plot), 503);

  // The live rate is not what limits it: a record measured at 96000 Hz.
  s.setup.sampleRate = 44100;
  s.setup.responseRate = 96000;
  s.plot.clear();
  drawSplCurves(s.in(true), s.plot);
  lines = polylinesOf(s.plot);
  ASSERT_EQ(lines.size(), 2u);
  expectCurve(lines[1], penSolidBlack, 996, 93);
  EXPECT_EQ(rightmostLineX(s.plot), 550);

  // No measured rate (the flat start-up curve): every grid point, to x 553.
  s.setup.responseRate = 0;
  s.plot.clear();
  drawSplCurves(s.in(true), s.plot);
  lines = polylinesOf(s.plot);
  ASSERT_EQ(lines.size(), 2u);
  expectCurve(lines[1], penSolidBlack, 1001, 93);
  EXPECT_EQ(rightmostLineX(s.plot), 553);  // j = 999: 553 * 999 / 999

  // Impedance curves stop the same way.
  Scene z;
  z.fillImpedance();
  z.setup.responseRate = 44100;
  drawImpedanceCurves(z.in(true), z.plot);
  lines = polylinesOf(z.plot);
  ASSERT_EQ(lines.size(), 2u);
  expectCurve(lines[0], kRedDotted, 912, 57);
  expectCurve(lines[1], penSolidBlack, 912, 116);
  EXPECT_EQ(rightmostLineX(z.plot), 503);
}

// In a merge each part ends by its own rate, in the pale pass and in the
// selected parts alike; the Add sum ends where the first part ends.
TEST(MeasuredRange, MergePartsAndSumEachByTheirRates) {
  Scene s;
  s.fillSpl();
  s.setup.responseRate = 44100;
  CurveDrawOptions merge{.mergeShown = true, .addMode = false,
                         .transitionFreq = s.setup.freqGrid[500], .storedRate = 96000};
  drawSplCurves(s.in(true, false, merge), s.plot);
  auto lines = polylinesOf(s.plot);
  ASSERT_EQ(lines.size(), 6u);
  expectCurve(lines[0], kGreySolid, 912, 93);
  expectCurve(lines[1], kGreySolid, 996, 186);
  expectCurve(lines[2], kRedDotted, 501, 57);   // j 0..499, below both limits
  expectCurve(lines[3], kRedDotted, 495, 145);  // j 501..994
  expectCurve(lines[4], penSolidBlack, 501, 93);
  expectCurve(lines[5], penSolidBlack, 495, 186);
  EXPECT_EQ(lines[5].points.back().x, 550);

  // Add: red to 910, blue to 994, the sum only where both are measured. A
  // stored part without a rate is whole, and the sum follows the live part.
  for (const auto& [storedRate, bluePoints] : {std::pair{96000, 996u}, std::pair{0, 1001u}}) {
    merge.addMode = true;
    merge.storedRate = storedRate;
    s.plot.clear();
    drawSplCurves(s.in(true, false, merge), s.plot);
    lines = polylinesOf(s.plot);
    ASSERT_EQ(lines.size(), 3u) << storedRate;
    expectCurve(lines[0], kRedSolid, 912, 93);
    expectCurve(lines[1], kBlueSolid, bluePoints, 186);
    expectCurve(lines[2], kSumPen, 912, 46);
  }

  // Impedance, the live part unmeasured and the stored one at 44100: the sum
  // ends at 910 with the stored part.
  Scene z;
  z.fillImpedance();
  merge.storedRate = 44100;
  drawImpedanceCurves(z.in(true, false, merge), z.plot);
  lines = polylinesOf(z.plot);
  ASSERT_EQ(lines.size(), 3u);
  expectCurve(lines[0], kRedSolid, 1001, 116);
  expectCurve(lines[1], kBlueSolid, 912, 0);
  expectCurve(lines[2], kSumPen, 912, 233);
}

// The calibration curves belong to the current sample rate, whatever rate
// the live response was measured at.
TEST(MeasuredRange, CalibrationViewEndsByTheCurrentRate) {
  Scene s;
  s.fillSpl();
  s.setup.sampleRate = 96000;
  s.setup.responseRate = 44100;
  drawSplCurves(s.in(false, true, {.storedRate = 44100}), s.plot);
  auto lines = polylinesOf(s.plot);
  ASSERT_EQ(lines.size(), 2u);
  expectCurve(lines[0], kRedSolid, 996, 93);
  expectCurve(lines[1], kBlueSolid, 996, 186);

  s.setup.sampleRate = 44100;
  s.setup.responseRate = 96000;
  s.plot.clear();
  drawSplCurves(s.in(false, true), s.plot);
  lines = polylinesOf(s.plot);
  ASSERT_EQ(lines.size(), 2u);
  expectCurve(lines[0], kRedSolid, 912, 93);
  expectCurve(lines[1], kBlueSolid, 912, 186);
  EXPECT_EQ(rightmostLineX(s.plot), 503);
}

// Curve 1 of a merge comes from the chosen slot, or from the live record when
// no slot (-1) or no existing slot is chosen; its rate comes from the same place.
TEST(MeasuredRange, StoredCurveRateFollowsTheChosenRecord) {
  MeasSetup live;
  live.responseRate = 44100;
  std::array<MeasSetup, 3> slots;
  slots[0].responseRate = 8000;
  slots[1].responseRate = 96000;  // slots[2] never stored: 0
  EXPECT_EQ(storedCurveRate(live, slots, 0), 8000);
  EXPECT_EQ(storedCurveRate(live, slots, 1), 96000);
  EXPECT_EQ(storedCurveRate(live, slots, 2), 0);
  EXPECT_EQ(storedCurveRate(live, slots, -1), 44100);
  EXPECT_EQ(storedCurveRate(live, slots, 3), 44100);
}

}  // namespace
