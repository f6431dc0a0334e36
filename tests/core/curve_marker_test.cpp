// The curve marker: the value of the live curve between grid points (on the
// line the graph draws), where the marker lies on the plot, the pin cycle and
// the read-out texts, against curves whose values are known in closed form.

#include "display/curve_marker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "display/graph_layout.h"

namespace {

struct Scene {
  MeasSetup setup;
  RealCurve mag{};
  RealCurve phase{};
  GridMask held;
  MarkerCurve curve{&mag, &phase, &held, kGridPoints};

  Scene() {
    setup.setDefaults();
    held.set();
  }
  // Grid frequency j, as the program's grid holds it.
  double f(int j) const { return setup.freqGrid[j]; }
};

// -6 dB per octave through 80 dB at 1 kHz is a straight line in log
// frequency, so the interpolated value is the line's own value anywhere; a
// power law in ohm is a straight line in log-log, read geometrically.
TEST(CurveMarker, ReadsStraightLinesExactlyBetweenGridPoints) {
  Scene s;
  for (int j = 0; j < kGridPoints; ++j) {
    s.mag[j] = 80.0 - 6.0 * std::log2(s.f(j) / 1000.0);
    s.phase[j] = 10.0;
  }
  for (double freq : {31.7, 1000.0, 1234.5, 19999.0}) {
    const CurveValue v = sampleCurve(s.curve, s.setup.freqGrid, false, freq);
    ASSERT_TRUE(v.valid) << freq;
    EXPECT_NEAR(v.magnitude, 80.0 - 6.0 * std::log2(freq / 1000.0), 1e-9) << freq;
    EXPECT_NEAR(v.phase, 10.0, 1e-12);
  }

  for (int j = 0; j < kGridPoints; ++j) s.mag[j] = 8.0 * std::sqrt(s.f(j) / 100.0);
  for (double freq : {43.0, 777.7, 5000.0}) {
    const CurveValue v = sampleCurve(s.curve, s.setup.freqGrid, true, freq);
    ASSERT_TRUE(v.valid);
    EXPECT_NEAR(v.magnitude, 8.0 * std::sqrt(freq / 100.0), 1e-9) << freq;
  }
}

// Between 179 and -179 degrees the phase goes the short way across 180: a
// quarter of the way (in log frequency) reads 179.5, three quarters -179.5.
TEST(CurveMarker, PhaseFollowsTheShortWayAcrossTheWrap) {
  Scene s;
  const int j = 500;
  s.phase[j] = 179.0;
  s.phase[j + 1] = -179.0;
  const double quarter = s.f(j) * std::pow(s.f(j + 1) / s.f(j), 0.25);
  const double threeQuarters = s.f(j) * std::pow(s.f(j + 1) / s.f(j), 0.75);
  EXPECT_NEAR(sampleCurve(s.curve, s.setup.freqGrid, false, quarter).phase, 179.5, 1e-9);
  EXPECT_NEAR(sampleCurve(s.curve, s.setup.freqGrid, false, threeQuarters).phase, -179.5, 1e-9);
}

// No value where the graph draws no line: below the grid, past the last
// measured point, beside a point the record does not hold, at NaN; a
// frequency exactly on the last drawn point still reads it.
TEST(CurveMarker, NoValueWhereTheGraphDrawsNoLine) {
  Scene s;
  for (int j = 0; j < kGridPoints; ++j) s.mag[j] = j;
  const RealCurve& g = s.setup.freqGrid;
  const double between = std::sqrt(g[600] * g[601]);
  EXPECT_FALSE(sampleCurve(s.curve, g, false, 4.0).valid);
  EXPECT_FALSE(sampleCurve(s.curve, g, false, 0.0).valid);
  EXPECT_FALSE(sampleCurve(s.curve, g, false, g[kGridPoints - 1] * 1.01).valid);

  s.curve.end = 601;  // points 0 .. 600 drawn
  EXPECT_FALSE(sampleCurve(s.curve, g, false, between).valid);
  const CurveValue last = sampleCurve(s.curve, g, false, g[600]);
  ASSERT_TRUE(last.valid);
  EXPECT_EQ(last.magnitude, 600.0);

  s.curve.end = kGridPoints;
  s.held.reset(601);
  EXPECT_FALSE(sampleCurve(s.curve, g, false, between).valid);
  s.held.set();
  s.mag[601] = std::nan("");
  EXPECT_FALSE(sampleCurve(s.curve, g, false, between).valid);
  EXPECT_TRUE(sampleCurve(s.curve, g, false, std::sqrt(g[700] * g[701])).valid);
}

// The read-out of a -6 dB/octave curve at 45 degrees, markers at 1 and
// 2 kHz on the 553 x 233 plot from 20 Hz to 20 kHz, 40 dB below 90 dB.
TEST(CurveMarker, ReadoutTextsAndSpots) {
  Scene s;
  for (int j = 0; j < kGridPoints; ++j) {
    s.mag[j] = 80.0 - 6.0 * std::log2(s.f(j) / 1000.0);
    s.phase[j] = 45.0 - 30.0 * std::log2(s.f(j) / 1000.0);
  }
  const PlotMapping map = plotMapping(s.setup, 90.0, false, 553, 233);
  CurveMarkers m;
  m.hover(500.0);
  m.pin(1000.0);
  m.pin(2000.0);
  MarkerReadout r;
  curveMarkerReadout(s.curve, s.setup.freqGrid, map, true, m, r);
  EXPECT_STREQ(r.hover, "500 Hz  86.00 dB  +75.0 deg");
  EXPECT_STREQ(r.pinned[0], "A  1000 Hz  80.00 dB  +45.0 deg");
  EXPECT_STREQ(r.pinned[1], "B  2000 Hz  74.00 dB  +15.0 deg");
  EXPECT_STREQ(r.difference, "B-A  +1.00 oct  -6.00 dB  -30.0 deg");

  // x = 553 * log(f / 20) / log(1000); y = 233 * (90 - level) / 40.
  // 1 kHz: x = 553 * 0.5663 = 313.2, y = 58.25; 2 kHz: x = 368.7, y = 93.2.
  ASSERT_TRUE(r.pinnedSpot[0].shown);
  EXPECT_EQ(r.pinnedSpot[0].x, 313);
  EXPECT_EQ(r.pinnedSpot[0].y, 58);
  EXPECT_EQ(r.pinnedSpot[1].x, 368);
  EXPECT_EQ(r.pinnedSpot[1].y, 93);
  EXPECT_EQ(r.hoverSpot.x, 257);  // 553 * log(25) / log(1000) = 257.6
  EXPECT_EQ(r.hoverSpot.y, 23);   // 233 * 4 / 40 = 23.3

  // With the phase hidden the texts stop after the level.
  curveMarkerReadout(s.curve, s.setup.freqGrid, map, false, m, r);
  EXPECT_STREQ(r.pinned[0], "A  1000 Hz  80.00 dB");
  EXPECT_STREQ(r.difference, "B-A  +1.00 oct  -6.00 dB");

  // A third click starts again with a new A.
  m.pin(4000.0);
  curveMarkerReadout(s.curve, s.setup.freqGrid, map, false, m, r);
  EXPECT_STREQ(r.pinned[0], "A  4000 Hz  68.00 dB");
  EXPECT_STREQ(r.pinned[1], "");
}

// Values that round to zero print as zero: a flat curve a hair below 0 dB
// and two pins on it give "0.00 dB" and "+0.00 dB", never "-0.00".
TEST(CurveMarker, NoNegativeZeroInTheTexts) {
  Scene s;
  s.mag.fill(-0.001);
  s.phase.fill(-0.01);
  s.mag[600] = -0.004;  // B a little below A: the difference rounds to zero
  const PlotMapping map = plotMapping(s.setup, 10.0, false, 553, 233);
  CurveMarkers m;
  m.pin(s.f(500));
  m.pin(s.f(600));
  MarkerReadout r;
  curveMarkerReadout(s.curve, s.setup.freqGrid, map, true, m, r);
  EXPECT_NE(std::string(r.pinned[0]).find("  0.00 dB  +0.0 deg"), std::string::npos) << r.pinned[0];
  EXPECT_NE(std::string(r.difference).find("  +0.00 dB  +0.0 deg"), std::string::npos)
      << r.difference;
}

// On the impedance axis: ohm with two decimals, the difference in ohm; a
// pinned marker off the curve shows nothing and leaves no difference.
TEST(CurveMarker, ImpedanceReadoutAndMarkersOffTheCurve) {
  Scene s;
  for (int j = 0; j < kGridPoints; ++j) {
    s.mag[j] = 6.0 * std::sqrt(s.f(j) / 100.0);
    s.phase[j] = -12.34;
  }
  s.setup.impedanceMode = 1;
  const PlotMapping map = plotMapping(s.setup, 0.0, false, 553, 233);
  ASSERT_TRUE(map.impedance);
  CurveMarkers m;
  m.pin(100.0);
  m.pin(400.0);
  MarkerReadout r;
  curveMarkerReadout(s.curve, s.setup.freqGrid, map, true, m, r);
  EXPECT_STREQ(r.pinned[0], "A  100 Hz  6.00 ohm  -12.3 deg");
  EXPECT_STREQ(r.pinned[1], "B  400 Hz  12.00 ohm  -12.3 deg");
  EXPECT_STREQ(r.difference, "B-A  +2.00 oct  +6.00 ohm  +0.0 deg");
  // y = 233 - log(6 / 1) * 233 / log(100) = 233 - 90.66 = 142.3
  EXPECT_EQ(r.pinnedSpot[0].y, 142);

  s.curve.end = 400;  // the last drawn point is near 198 Hz
  curveMarkerReadout(s.curve, s.setup.freqGrid, map, true, m, r);
  EXPECT_STREQ(r.pinned[1], "");
  EXPECT_FALSE(r.pinnedSpot[1].shown);
  EXPECT_STREQ(r.difference, "");
  EXPECT_FALSE(r.hoverSpot.shown);

  // No curve, or a plot without area: nothing at all.
  curveMarkerReadout(MarkerCurve{}, s.setup.freqGrid, map, true, m, r);
  EXPECT_STREQ(r.pinned[0], "");
  curveMarkerReadout(s.curve, s.setup.freqGrid, plotMapping(s.setup, 0.0, false, 0, 233), true, m,
                     r);
  EXPECT_STREQ(r.pinned[0], "");
}

}  // namespace
