// The Settings page's picture of the microphone curve: where the curve's
// points fall, how its range is chosen, what is left out.
#include "display/mic_curve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "canvas_records.h"

namespace {

// A grid of its own: 1000 points evenly in log frequency from 5 Hz to 50 kHz.
RealCurve logGrid() {
  RealCurve g{};
  for (int i = 0; i < kGridPoints; ++i) g[i] = 5.0 * std::pow(10.0, 4.0 * i / (kGridPoints - 1));
  return g;
}

// A curve of the given level (dB, a function of frequency) at zero phase.
template <typename Level>
ComplexCurve curveOf(const RealCurve& grid, Level level) {
  ComplexCurve c{};
  for (int i = 0; i < kGridPoints; ++i) c[i] = Complex(std::pow(10.0, level(grid[i]) / 20.0), 0.0);
  return c;
}

constexpr Rgb kBlue{0, 0, 255};
constexpr Rgb kGrey{128, 128, 128};

TEST(MicCurve, RangeIsTheLargestDeviationInTheBandRoundedUpToAWholeDb) {
  const RealCurve g = logGrid();
  EXPECT_DOUBLE_EQ(micGraphRangeDb(g, curveOf(g, [](double) { return 0.0; })), 1.0);
  EXPECT_DOUBLE_EQ(micGraphRangeDb(g, curveOf(g, [](double) { return -12.3; })), 13.0);
  EXPECT_DOUBLE_EQ(micGraphRangeDb(g, curveOf(g, [](double f) { return f > 1000 ? 4.0 : -6.5; })),
                   7.0);
  // 40 dB below 20 Hz and above 20 kHz lie outside the picture.
  EXPECT_DOUBLE_EQ(
      micGraphRangeDb(g, curveOf(g, [](double f) { return f < 20 || f > 20000 ? 40.0 : 1.5; })),
      2.0);
}

// 0 dB at 20 Hz rising to +6 dB at 20 kHz, on 108 x 19 pixels: the range is
// +-6 dB, the middle row 9 with 8 rows to either border. The curve starts
// at (1, 9), reaches +3 dB (row 9 - 4) at 632 Hz (x 1 + 52.5) and +6 dB (row
// 9 - 8) at 20 kHz (x 106).
TEST(MicCurve, PointsFallOnTheLogAxisAndTheLevelScale) {
  const RealCurve g = logGrid();
  const ComplexCurve mic = curveOf(g, [](double f) { return 2.0 * std::log10(f / 20.0); });
  RecordingCanvas c(108, 19);
  drawMicCurve(c, g, mic, true);

  const std::vector<Polyline> lines = polylinesOf(c);
  ASSERT_GE(lines.size(), 3u);  // border, 0 dB line, curve
  const Polyline& zero = lines[lines.size() - 2];
  EXPECT_EQ(zero.pen.colour, kGrey);
  EXPECT_EQ(zero.pen.style, PenStyle::dotted);
  ASSERT_EQ(zero.points.size(), 2u);
  EXPECT_EQ(zero.points[0], (Point{1, 9}));
  EXPECT_EQ(zero.points[1], (Point{107, 9}));

  const Polyline& curve = lines.back();
  EXPECT_EQ(curve.pen.colour, kBlue);
  // Grid points from 20 Hz to 20 kHz: three decades of 999/4 per decade.
  int inBand = 0;
  for (double f : g) inBand += f >= 20.0 && f <= 20000.0;
  ASSERT_EQ(static_cast<int>(curve.points.size()), inBand);
  EXPECT_EQ(curve.points.front(), (Point{1, 9}));
  EXPECT_EQ(curve.points.back(), (Point{106, 1}));
  for (size_t i = 1; i < curve.points.size(); ++i) {
    EXPECT_GE(curve.points[i].x, curve.points[i - 1].x);  // left to right
    EXPECT_LE(curve.points[i].y, curve.points[i - 1].y);  // rising
  }
  // Half way along the axis the curve is 3 dB up: x 54 (the grid's points
  // from 3.0 to 3.06 dB), row 5 (5.0 .. 4.92).
  bool sawMiddle = false;
  for (const Point& p : curve.points) {
    if (p.x == 54) {
      EXPECT_EQ(p.y, 5);
      sawMiddle = true;
    }
  }
  EXPECT_TRUE(sawMiddle);
}

// Switched off it is grey; a point without level lies on the lowest row.
TEST(MicCurve, SwitchedOffIsGreyAndSilentPointsLieOnTheBorder) {
  const RealCurve g = logGrid();
  ComplexCurve mic = curveOf(g, [](double) { return 0.0; });
  for (int i = 0; i < kGridPoints; ++i)
    if (g[i] > 1000.0 && g[i] < 1100.0) mic[i] = Complex(0.0, 0.0);
  RecordingCanvas c(60, 21);
  drawMicCurve(c, g, mic, false);
  const std::vector<Polyline> lines = polylinesOf(c);
  ASSERT_FALSE(lines.empty());
  const Polyline& curve = lines.back();
  EXPECT_EQ(curve.pen.colour, kGrey);
  int bottom = 0;
  for (const Point& p : curve.points) bottom += p.y == 19;  // the middle is row 10
  EXPECT_GT(bottom, 0);
}

}  // namespace
